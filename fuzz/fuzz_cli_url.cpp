// kelvoftp's command line: the input's lines are the arguments (the URL
// among them), and each is also tried as a script line and as a
// certificate fingerprint.
#include "FuzzCommon.h"
#include "cli/CliOptions.h"
#include "ftp/Fingerprint.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    const QString text = QString::fromUtf8(FuzzBytes(pData, nSize));
    const QStringList args = text.split(QLatin1Char('\n'));
    const CliParseResult result = ParseCliArguments(args, QStringLiteral("envpass"), QString());
    if (result.ok() && !result.options.bHelp) {
        FUZZ_CHECK(result.options.nPort >= 1 && result.options.nPort <= 65535);
        FUZZ_CHECK(!result.options.sHost.isEmpty());
        for (const QString& fingerprint : result.options.trustedCertificates) {
            FUZZ_CHECK(fingerprint.size() == 95);
            FUZZ_CHECK(Certificates::NormalizeFingerprint(fingerprint) == fingerprint);
        }
    }
    for (const QString& line : args) {
        QStringList words;
        if (TokenizeScriptLine(line, words).isEmpty()) {
            CliCommandLine command;
            (void)ParseCommandWords(words, command, true);
        }
        (void)RemoteBaseName(line);
        (void)RemoteFolderPart(line);
        const QString fingerprint = Certificates::NormalizeFingerprint(line);
        FUZZ_CHECK(fingerprint.isEmpty() || Certificates::NormalizeFingerprint(fingerprint) == fingerprint);
    }
    return 0;
}
