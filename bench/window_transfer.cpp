// One download or upload through the main window, as a user would start it:
// connect, select the row, run the Download or Upload command. Prints the
// seconds the command took; exits 1 when the run did not complete.
//
//   bench_window_transfer get|put HOST PORT USER NAME LOCAL_FOLDER
//
// The password comes from BENCH_FTP_PASSWORD, so that it is not on the
// command line. Settings go wherever HOME points: run it with a HOME of its
// own (transfer.sh does).
#include "app/frmMain.h"
#include "ftp/FtpComponent.h"
#include "ui/FilePane.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QTextStream>

#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 7 || (args[1] != QLatin1String("get") && args[1] != QLatin1String("put"))) {
        std::fprintf(stderr, "usage: bench_window_transfer get|put HOST PORT USER NAME LOCAL_FOLDER\n");
        return 2;
    }
    const bool bGet = args[1] == QLatin1String("get");
    const QString sName = args[5];

    frmMain window;
    window.Load(QString());
    window.SetSiteManager([&](QString& sAddress, QString& sPort, QString& sUser, QString& sPassword, bool& bAnon) {
        sAddress = args[2];
        sPort = args[3];
        sUser = args[4];
        sPassword = qEnvironmentVariable("BENCH_FTP_PASSWORD");
        bAnon = false;
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

    QElapsedTimer clock;
    clock.start();
    if (bGet) window.cmdReceive_Click();
    else window.cmdSend_Click();
    const double seconds = clock.nsecsElapsed() / 1e9;
    const QString sDone = window.findChild<QLabel*>(QStringLiteral("stbProgressPanel1"))->text();
    window.close();
    if (sDone != (bGet ? QLatin1String("Download complete") : QLatin1String("Upload complete"))) {
        std::fprintf(stderr, "bench_window_transfer: the run ended with \"%s\"\n", qPrintable(sDone));
        return 1;
    }
    std::printf("%.3f\n", seconds);
    return 0;
}
