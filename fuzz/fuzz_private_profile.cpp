// The profile reader and writer on arbitrary file contents: reading never
// fails, and a value written reads back as written.
#include "FuzzCommon.h"
#include "sites/PrivateProfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    const QByteArray data = FuzzBytes(pData, nSize);
    // Names and a value from the input's first line, the file from the rest.
    const qsizetype nEnd = data.indexOf('\n');
    const QByteArray head = nEnd < 0 ? QByteArray() : data.left(nEnd);
    const QByteArray file = nEnd < 0 ? data : data.mid(nEnd + 1);
    const QList<QByteArray> words = head.split('|');
    const QString sSection = PrivateProfile::FromAnsi(words.value(0, "Site"));
    const QString sKey = PrivateProfile::FromAnsi(words.value(1, "Host"));
    const QString sValue = PrivateProfile::FromAnsi(words.value(2, "value"));

    (void)PrivateProfile::GetStringIn(file, sSection, sKey, QStringLiteral("default"), 255);
    const std::optional<QByteArray> written = PrivateProfile::WithStrings(file, sSection, {{sKey, sValue}});
    if (written) {
        // The reader trims the blanks Windows trims (not every Unicode space).
        const auto blank = [](QChar c) { return c == u' ' || c == u'\t' || c == u'\v' || c == u'\f' || c == u'\r' || c == u'\n'; };
        QString sExpected = sValue;
        while (!sExpected.isEmpty() && blank(sExpected.front())) sExpected.remove(0, 1);
        while (!sExpected.isEmpty() && blank(sExpected.back())) sExpected.chop(1);
        if (sExpected.size() >= 2 && (sExpected.front() == u'"' || sExpected.front() == u'\'') && sExpected.back() == sExpected.front())
            sExpected = sExpected.mid(1, sExpected.size() - 2);
        const QString sRead = PrivateProfile::GetStringIn(*written, sSection, sKey, QStringLiteral("<none>"), 1 << 20);
        if (sRead != sExpected) {
            std::fprintf(stderr, "wrote [%s] %s=%s, read %s\n", qPrintable(sSection), qPrintable(sKey), qPrintable(sValue),
                         qPrintable(sRead));
            FUZZ_CHECK(sRead == sExpected);
        }
    }
    return 0;
}
