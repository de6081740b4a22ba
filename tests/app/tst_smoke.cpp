// Starts the real kelvo executable offscreen in a temporary home, and ends it
// with SIGTERM as a logout would.
#include "TestEnvironment.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

namespace {

QByteArray ReadStore(const TestEnvironment& env)
{
    QFile file(env.registry() + QStringLiteral("/HKEY_LOCAL_MACHINE.reg"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Polls until `ready` holds or 20 seconds pass.
template <typename Ready>
bool WaitFor(Ready ready)
{
    const QDeadlineTimer deadline(20'000);
    while (!ready()) {
        if (deadline.hasExpired()) return false;
        QTest::qWait(50);
    }
    return true;
}

}  // namespace

class tst_smoke : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void startsAndEndsCleanly_data();
    void startsAndEndsCleanly();
    void refusesToStartWithoutADisplay();
};

void tst_smoke::startsAndEndsCleanly_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("storesGeometry");
    QTest::newRow("shown") << QStringList() << true;
    QTest::newRow("/STARTUP") << QStringList{QStringLiteral("/STARTUP")} << false;  // minimised: nothing to store
}

void tst_smoke::startsAndEndsCleanly()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, storesGeometry);
    TestEnvironment env;

    QProcess kelvo;
    kelvo.setProcessChannelMode(QProcess::ForwardedChannels);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    kelvo.setProcessEnvironment(environment);
    kelvo.start(QStringLiteral(KELVO_EXECUTABLE), arguments);
    QVERIFY2(kelvo.waitForStarted(10'000), qPrintable(kelvo.errorString()));

    // Start-up has run once the folders exist and the log name is stored.
    QVERIFY(WaitFor([&] {
        return QFileInfo(env.home() + QStringLiteral("/Log")).isDir() && ReadStore(env).contains("LOG FILE NAME=FTP.LOG");
    }));
    QVERIFY(kelvo.state() == QProcess::Running);

    kelvo.terminate();
    QVERIFY(kelvo.waitForFinished(20'000));
    QCOMPARE(kelvo.exitStatus(), QProcess::NormalExit);
    QCOMPARE(kelvo.exitCode(), 0);
    QCOMPARE(ReadStore(env).contains("MAIN TOP="), storesGeometry);
    QVERIFY(QFileInfo(env.config() + QStringLiteral("/autostart/kelvo.desktop")).isFile());
}

void tst_smoke::refusesToStartWithoutADisplay()
{
    TestEnvironment env;
    QProcess kelvo;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) environment.remove(QLatin1String(name));
    kelvo.setProcessEnvironment(environment);
    kelvo.start(QStringLiteral(KELVO_EXECUTABLE), {});
    QVERIFY(kelvo.waitForFinished(20'000));
    QCOMPARE(kelvo.exitStatus(), QProcess::NormalExit);
    QVERIFY(kelvo.exitCode() != 0);
    QVERIFY(kelvo.readAllStandardError().contains("no display available"));
    QVERIFY2(!QFileInfo::exists(env.home()), "nothing was set up");
}

QTEST_GUILESS_MAIN(tst_smoke)
#include "tst_smoke.moc"
