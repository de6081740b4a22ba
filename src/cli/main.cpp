// kelvoftp: one FTP command (or a script of them) from the command line.
#include "cli/CliOptions.h"
#include "cli/CliRunner.h"
#include "cli/TerminalPassword.h"
#include "ftp/LocalTimeZone.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

int main(int argc, char** argv)
{
    CacheLocalTimeZone();
    // No GLib main loop here: Qt's own event dispatcher does not wake a
    // thread each time one of its sockets starts or stops being watched,
    // which a connection's worker does several times a file.
    qputenv("QT_NO_GLIB", "1");
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

    CliOptions options = parsed.options;
    if (options.bPasswordInUrl)
        std::fputs("kelvoftp: warning: a password in the URL can be read in the process list; "
                   "KELVO_PASSWORD or the prompt keep it out\n",
                   stderr);
    if (options.bAskPassword) {
        // No terminal (a pipeline, a service): the login goes ahead without
        // one, and the server says whether that will do.
        if (const std::optional<QString> password = ReadPasswordFromTerminal(
                QStringLiteral("Password for %1@%2: ").arg(options.sUser, options.sHost)))
            options.sPassword = *password;
    }

    QTextStream script(stdin);
    CliRunner runner(options, script);
    return runner.Run();
}
