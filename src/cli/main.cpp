// kelvoftp: one FTP command (or a script of them) from the command line.
#include "cli/CliOptions.h"
#include "cli/CliRunner.h"
#include "ftp/LocalTimeZone.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

int main(int argc, char** argv)
{
    CacheLocalTimeZone();
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();

    const CliParseResult parsed = ParseCliArguments(args, qEnvironmentVariable("KELVO_PASSWORD"),
                                                    qEnvironmentVariable("KELVO_SOCKS_PASSWORD"));
    if (!parsed.ok()) {
        const QByteArray text = (QStringLiteral("kelvoftp: ") + parsed.sError + QLatin1Char('\n') + CliUsageHint()).toLocal8Bit();
        std::fputs(text.constData(), stderr);
        return kExitUsage;
    }
    if (parsed.options.bHelp) {
        std::fputs(CliUsageText().toLocal8Bit().constData(), stdout);
        return kExitOk;
    }

    QTextStream script(stdin);
    CliRunner runner(parsed.options, script);
    return runner.Run();
}
