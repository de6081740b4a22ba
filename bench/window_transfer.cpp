// One download or upload through the main window, as a user would start it:
// connect, select the row (a file or a folder, whose subfolders are taken
// too), run the Download or Upload command; or "open": double-click a remote
// folder row, so that its listing fills the pane. Prints the seconds the
// command took and the longest stall of the window's event loop meanwhile
// in milliseconds (how late a 5 ms timer in the window's thread fired at
// worst); exits 1 when the run did not complete.
//
//   bench_window_transfer get|put|open HOST PORT USER NAME LOCAL_FOLDER
//
// The password comes from BENCH_FTP_PASSWORD, so that it is not on the
// command line. Settings go wherever HOME points: run it with a HOME of its
// own (the suite does).
#include "app/frmMain.h"
#include "ftp/FtpComponent.h"
#include "settings/CRegister.h"
#include "settings/Settings.h"
#include "ui/FilePane.h"
#include "ui/Prompter.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QTextStream>

#include <QTimer>

#include <cstdio>

namespace {

// Yes to the question whether to take subfolders; nothing else is asked.
class YesPrompter final : public Prompter {
public:
    PromptResult message(const QString&, const QString& sText, PromptButtons buttons, PromptIcon,
                         std::optional<PromptResult>) override
    {
        std::fprintf(stderr, "bench_window_transfer: asked \"%s\"\n", qPrintable(sText));
        return buttons == PromptButtons::YesNo || buttons == PromptButtons::YesNoCancel ? PromptResult::Yes : PromptResult::Ok;
    }
    std::optional<QString> input(const QString&, const QString&, const QString&) override { return std::nullopt; }
};

// The longest time the event loop of this thread kept a due timer waiting.
class StallMeter {
public:
    StallMeter()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(kIntervalMs);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            m_nWorstMs = qMax(m_nWorstMs, m_clock.restart() - kIntervalMs);
        });
    }
    void start()
    {
        m_clock.start();
        m_timer.start();
    }
    qint64 worstMs() const { return qMax<qint64>(m_nWorstMs, m_clock.elapsed() - kIntervalMs); }

private:
    static constexpr int kIntervalMs = 5;
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_nWorstMs = 0;
};

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QStringList modes = {QStringLiteral("get"), QStringLiteral("put"), QStringLiteral("open")};
    if (args.size() != 7 || !modes.contains(args[1])) {
        std::fprintf(stderr, "usage: bench_window_transfer get|put|open HOST PORT USER NAME LOCAL_FOLDER\n");
        return 2;
    }
    YesPrompter prompter;
    SetPrompter(&prompter);
    const bool bOpen = args[1] == QLatin1String("open");
    const bool bGet = bOpen || args[1] == QLatin1String("get");
    const QString sName = args[5];

    // Passive mode like the other clients; the connections for folders from
    // BENCH_CONNECTIONS when set.
    const CRegister reg;
    reg.REGSaveSetting(kHKEY_LOCAL_MACHINE, QLatin1String(Settings::kSection), QLatin1String(Settings::kFtpPasv),
                       QStringLiteral("1"));
    if (qEnvironmentVariableIsSet("BENCH_CONNECTIONS"))
        reg.REGSaveSetting(kHKEY_LOCAL_MACHINE, QLatin1String(Settings::kSection),
                           QLatin1String(Settings::kParallelConnections), qEnvironmentVariable("BENCH_CONNECTIONS"));

    frmMain window;
    window.Load(QString());
    window.SetSiteManager([&](ConnectionRequest& request) {
        request.sServer = args[2];
        request.sPort = args[3];
        request.sUserName = args[4];
        request.sPassword = qEnvironmentVariable("BENCH_FTP_PASSWORD");
        request.bAnonymous = false;
        return true;
    });
    window.ConnectThroughSiteManager();
    if (window.Ftp().state() != FtpComponent::kStateConnected) {
        std::fprintf(stderr, "bench_window_transfer: could not connect\n");
        return 1;
    }
    if (!window.OpenLocalFolder(args[6])) return 1;

    auto* pane = window.findChild<FilePane*>(bGet ? QStringLiteral("lstRemoteFileList") : QStringLiteral("lstLocalFileList"));
    pane->ClearSelection();
    for (int i = 0; i < pane->Count(); ++i)
        if (pane->Text(i) == sName) pane->SetSelected(i, true);
    if (pane->SelectedRows().isEmpty()) {
        std::fprintf(stderr, "bench_window_transfer: no row %s\n", qPrintable(sName));
        return 1;
    }

    const int nRowsBefore = pane->Count();
    StallMeter stalls;
    QElapsedTimer clock;
    stalls.start();
    clock.start();
    if (bOpen) Q_EMIT pane->itemDoubleClicked(pane->SelectedRows().first());
    else if (bGet) window.cmdReceive_Click();
    else window.cmdSend_Click();
    const double seconds = clock.nsecsElapsed() / 1e9;
    const qint64 nStallMs = stalls.worstMs();
    const QString sDone = window.findChild<QLabel*>(QStringLiteral("stbProgressPanel1"))->text();
    const int nRows = pane->Count();
    window.close();
    if (bOpen) {
        if (nRows == nRowsBefore) {
            std::fprintf(stderr, "bench_window_transfer: the folder did not open\n");
            return 1;
        }
        std::fprintf(stderr, "bench_window_transfer: %d rows\n", nRows);
    } else if (sDone != (bGet ? QLatin1String("Download complete") : QLatin1String("Upload complete"))) {
        std::fprintf(stderr, "bench_window_transfer: the run ended with \"%s\"\n", qPrintable(sDone));
        return 1;
    }
    std::printf("%.3f %lld\n", seconds, static_cast<long long>(nStallMs));
    return 0;
}
