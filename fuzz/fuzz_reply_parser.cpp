// The control connection's reply parser, fed the bytes in pieces whose
// sizes come from the input, and the passive-mode replies it yields.
#include "FuzzCommon.h"
#include "ftp/ReplyParser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    if (nSize < 1) return 0;
    const bool bUtf8 = pData[0] & 1;
    const int nPiece = 1 + (pData[0] >> 1);
    const QByteArray bytes = FuzzBytes(pData + 1, nSize - 1);
    ReplyParser parser;
    parser.setUtf8(bUtf8);
    qsizetype nFed = 0;
    for (qsizetype i = 0; i < bytes.size(); i += nPiece) {
        const QByteArray piece = bytes.mid(i, nPiece);
        nFed += piece.size();
        if (!parser.feed(piece)) {
            FUZZ_CHECK(!parser.error().isEmpty());
            FUZZ_CHECK(!parser.feed(QByteArray("200 ok\r\n")));  // nothing more after an error
            break;
        }
        while (parser.hasReply()) {
            const FtpReply reply = parser.takeReply();
            FUZZ_CHECK(reply.code >= 100 && reply.code <= 999);
            FUZZ_CHECK(!reply.lines.isEmpty());
            const int nPort = ParseEpsvPort(reply);
            FUZZ_CHECK(nPort >= 0 && nPort <= 65535);
            if (const auto target = ParsePasvReply(reply.text())) {
                FUZZ_CHECK(target->nPort >= 0 && target->nPort <= 65535);
                FUZZ_CHECK(target->sAddress.count(QLatin1Char('.')) == 3);
            }
        }
    }
    // Whatever it was given, the text decodes without failing.
    (void)DecodeServerText(bytes, bUtf8);
    return 0;
}
