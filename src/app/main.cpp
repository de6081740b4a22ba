#include "app/UnixSignalWatcher.h"
#include "app/frmMain.h"
#include "ftp/LocalTimeZone.h"

#include <QApplication>
#include <QStringList>

#include <cstdio>
#include <cstdlib>

namespace {

// Qt aborts when it cannot reach a display; say why and stop cleanly instead.
bool DisplayAvailable()
{
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (!platform.isEmpty()) return true;  // the user chose one (offscreen, vnc, ...)
#if defined(Q_OS_LINUX) || defined(Q_OS_FREEBSD)
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
#else
    return true;
#endif
}

}  // namespace

int main(int argc, char* argv[])
{
    if (!DisplayAvailable()) {
        std::fprintf(stderr,
                     "kelvo: no display available (neither DISPLAY nor WAYLAND_DISPLAY is set).\n"
                     "Start it from a desktop session, under a virtual display (xvfb-run -a scripts/run),\n"
                     "or with QT_QPA_PLATFORM=offscreen.\n");
        return EXIT_FAILURE;
    }

    CacheLocalTimeZone();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kelvo"));
    QApplication::setQuitOnLastWindowClosed(false);  // the window may live hidden in the tray

    const QStringList arguments = QApplication::arguments().mid(1);
    frmMain window;
    QObject::connect(&window, &frmMain::programEnded, &app, &QCoreApplication::quit, Qt::QueuedConnection);

    // A request to end (logout, kill) closes the window as the user would.
    UnixSignalWatcher signals_;
    QObject::connect(&signals_, &UnixSignalWatcher::terminationRequested, &window, &QWidget::close);

    window.Load(arguments.join(QLatin1Char(' ')));
    return app.exec();
}
