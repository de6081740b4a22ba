// The permissions dialog: box weights, typed values, Ok and Cancel, the value
// check, and the SITE chmod walk against a real server.
#include "FtpTestServers.h"
#include "WindowTestFixture.h"

#include "ftp/FtpComponent.h"
#include "remote/ChangeMode.h"
#include "remote/frmRemoteChangeMode.h"
#include "settings/CRegister.h"
#include "settings/OptionsForm.h"
#include "settings/Settings.h"

#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <sys/stat.h>

#include <functional>
#include <memory>

namespace {

template <typename T = QCheckBox>
T* Child(const QObject& dlg, const char* sName)
{
    T* child = dlg.findChild<T*>(QLatin1String(sName));
    if (!child) qFatal("no control %s", sName);
    return child;
}

void Tick(const char* sName) { Child(frmRemoteChangeMode::Loaded(), sName)->click(); }
QLineEdit* Value() { return Child<QLineEdit>(frmRemoteChangeMode::Loaded(), "txtNumericValue"); }
void Press(const char* sButton) { Child<QPushButton>(frmRemoteChangeMode::Loaded(), sButton)->click(); }

int ModeOnDisk(const QString& sPath)
{
    struct stat st {};
    return ::stat(QFile::encodeName(sPath).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

}  // namespace

class tst_RemoteChangeMode : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void boxesAddAndSubtractTheirWeights();
    void typedValueAndTicksAdd();
    void cancelSendsNothingAndKeepsTheBoxes();
    void invalidValueIsRefused();
    void emptySelectionOnlyRefreshes();
    void connectionFailureStopsTheWalk();
    void threeNamesGiveThreeCommandsInOrder();
    void refusedItemIsLoggedAsError();
    void geometryIsStoredAndRestored();

private:
    // Runs the operation; fn acts on the dialog once it is up and must close it.
    void Run(const QStringList& names, const std::function<void(frmRemoteChangeMode&)>& fn);
    void ConnectToServer();

    std::unique_ptr<WindowTestFixture> m_fixture;
    TestEnvironment* m_env = nullptr;           // parts of m_fixture
    MemoryRegistryBackend* m_store = nullptr;
    ScriptedPrompter* m_prompter = nullptr;
    std::unique_ptr<PyFtpdServer> m_server;
    std::unique_ptr<FtpComponent> m_ftp;
    QStringList m_log;
    int m_nAfterwards = 0;
};

void tst_RemoteChangeMode::init()
{
    m_fixture = std::make_unique<WindowTestFixture>();
    m_env = &m_fixture->env;
    m_store = &m_fixture->store;
    m_prompter = &m_fixture->prompter;
    m_ftp = std::make_unique<FtpComponent>();
    m_log.clear();
    m_nAfterwards = 0;
}

void tst_RemoteChangeMode::cleanup()
{
    frmRemoteChangeMode::Unload();
    OptionsForm::Unload();
    m_ftp.reset();
    m_server.reset();
    QVERIFY2(!m_prompter || m_prompter->ScriptDone(), "a scripted answer was not used");
    m_fixture.reset();
    m_env = nullptr;
    m_store = nullptr;
    m_prompter = nullptr;
}

void tst_RemoteChangeMode::Run(const QStringList& names, const std::function<void(frmRemoteChangeMode&)>& fn)
{
    bool bRan = false;
    QTimer::singleShot(0, this, [&] {
        frmRemoteChangeMode& dlg = frmRemoteChangeMode::Loaded();
        bRan = dlg.isVisible() && dlg.isModal();
        fn(dlg);
        if (dlg.isVisible()) {  // not closed by fn: end the run rather than hang
            bRan = false;
            dlg.reject();
        }
    });
    ChangeModeOfSelection(*m_ftp, names, nullptr, [this](const QString& s) { m_log << s; },
                          [this] { ++m_nAfterwards; });
    QVERIFY2(bRan, "the dialog was not shown modally, or the step did not close it");
}

void tst_RemoteChangeMode::ConnectToServer()
{
    m_server = std::make_unique<PyFtpdServer>();
    if (!m_server->Start()) QSKIP(qPrintable(m_server->skipReason()));
    m_ftp->setServerAddress(m_server->host());
    m_ftp->setPort(m_server->port());
    m_ftp->setUserName(m_server->user());
    m_ftp->setPassword(m_server->password());
    m_ftp->setConnectTimeout(10'000);
    m_ftp->setIdleTimeout(10'000);
    m_ftp->Connect();
}

void tst_RemoteChangeMode::boxesAddAndSubtractTheirWeights()
{
    frmRemoteChangeMode& dlg = frmRemoteChangeMode::Loaded();
    QCOMPARE(dlg.windowTitle(), QStringLiteral("File/Folder Permission Change"));
    QCOMPARE(Value()->text(), QStringLiteral("0"));
    QCOMPARE(Child<QPushButton>(dlg, "cmdOk")->toolTip(), QStringLiteral("Change Mode"));
    QCOMPARE(Child<QPushButton>(dlg, "cmdCancel")->toolTip(), QStringLiteral("Close window"));
    for (const char* s : {"chkOwnerRead", "chkOwnerWrite", "chkOwnerExecute"}) Tick(s);
    Tick("chkGroupRead");
    Tick("chkOtherRead");
    QCOMPARE(Value()->text(), QStringLiteral("744"));
    Tick("chkGroupRead");
    QCOMPARE(Value()->text(), QStringLiteral("704"));
    for (const char* s : {"chkGroupWrite", "chkGroupExecute", "chkOtherWrite", "chkOtherExecute"}) Tick(s);
    QCOMPARE(Value()->text(), QStringLiteral("737"));
    // Only a click changes the number, not a box set by the program.
    Child(dlg, "chkOwnerRead")->setChecked(false);
    QCOMPARE(Value()->text(), QStringLiteral("737"));
}

void tst_RemoteChangeMode::typedValueAndTicksAdd()
{
    Value()->setText(QStringLiteral("7"));
    Tick("chkOwnerRead");
    QCOMPARE(Value()->text(), QStringLiteral("407"));
    Value()->setText(QStringLiteral("abc"));
    Tick("chkOtherWrite");
    QCOMPARE(Value()->text(), QStringLiteral("2"));
    Value()->setText(QStringLiteral(" 12x"));
    Tick("chkOwnerRead");  // ticked before, so this unticks it
    QCOMPARE(Value()->text(), QStringLiteral("-388"));
}

void tst_RemoteChangeMode::cancelSendsNothingAndKeepsTheBoxes()
{
    // Not connected: anything sent would be logged as an error.
    Run({QStringLiteral("a.txt")}, [](frmRemoteChangeMode&) {
        Tick("chkOwnerRead");
        Tick("chkOtherExecute");
        Press("cmdCancel");
    });
    QCOMPARE(frmRemoteChangeMode::Loaded().nResult, 0);
    Run({QStringLiteral("a.txt")}, [](frmRemoteChangeMode& dlg) {
        QVERIFY(Child(dlg, "chkOwnerRead")->isChecked() && Child(dlg, "chkOtherExecute")->isChecked());
        QCOMPARE(Value()->text(), QStringLiteral("401"));
        QTest::keyClick(&dlg, Qt::Key_Escape);
    });
    QVERIFY2(m_log.isEmpty(), qPrintable(m_log.join(QLatin1Char('\n'))));
    QCOMPARE(m_nAfterwards, 0);
}

void tst_RemoteChangeMode::invalidValueIsRefused()
{
    for (const QString& sText : {QStringLiteral("abc"), QStringLiteral("8"), QStringLiteral("12345")}) {
        m_prompter->AnswerMessage(PromptResult::Ok);
        Run({QStringLiteral("a.txt")}, [&](frmRemoteChangeMode&) {
            Value()->setText(sText);
            Press("cmdOk");
        });
        const ScriptedPrompter::Shown& shown = m_prompter->shown().last();
        QCOMPARE(shown.sTitle, QStringLiteral("Kelvo"));
        QCOMPARE(shown.sText, QStringLiteral("The permission value \"") + sText
                                  + QStringLiteral("\" is not a valid mode: use up to four digits 0 to 7."));
        QCOMPARE(shown.icon, PromptIcon::Exclamation);
    }
    QCOMPARE(m_prompter->shown().size(), 3);
    QVERIFY(m_log.isEmpty());
    QCOMPARE(m_nAfterwards, 0);
    QCOMPARE(ModeToSend(QStringLiteral(" 0644 ")), std::optional<QString>(QStringLiteral("644")));
    QCOMPARE(ModeToSend(QStringLiteral("0000")), std::optional<QString>(QStringLiteral("0")));
    QVERIFY(!ModeToSend(QString()) && !ModeToSend(QStringLiteral("-1")) && !ModeToSend(QStringLiteral("7 5")));
}

void tst_RemoteChangeMode::emptySelectionOnlyRefreshes()
{
    Run({}, [](frmRemoteChangeMode& dlg) {
        Tick("chkOwnerRead");
        QTest::keyClick(Value(), Qt::Key_Return);  // Enter is Ok
        QCOMPARE(dlg.nResult, 1);
    });
    QVERIFY(m_log.isEmpty());
    QCOMPARE(m_nAfterwards, 1);
}

void tst_RemoteChangeMode::connectionFailureStopsTheWalk()
{
    Run({QStringLiteral("a.txt"), QStringLiteral("b.txt")}, [](frmRemoteChangeMode&) { Press("cmdOk"); });
    QCOMPARE(m_log, QStringList({QStringLiteral("SITE chmod 0 a.txt"),
                                 QStringLiteral("Error: Not connected to a server.")}));
    QCOMPARE(m_nAfterwards, 1);
}

void tst_RemoteChangeMode::threeNamesGiveThreeCommandsInOrder()
{
    ConnectToServer();
    const QStringList names = {QStringLiteral("c.txt"), QStringLiteral("a b.txt"), QStringLiteral("b.txt")};
    for (const QString& sName : names) {
        QFile file(m_server->root() + QLatin1Char('/') + sName);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QVERIFY(::chmod(QFile::encodeName(file.fileName()).constData(), 0644) == 0);
    }
    Run(names, [](frmRemoteChangeMode&) {
        for (const char* s : {"chkOwnerRead", "chkOwnerWrite", "chkOwnerExecute", "chkGroupRead", "chkGroupExecute"})
            Tick(s);
        Press("cmdOk");
    });
    QStringList expected;
    for (const QString& sName : names)
        expected << QStringLiteral("SITE chmod 750 ") + sName << QStringLiteral("Change Permission Complete");
    QCOMPARE(m_log, expected);
    for (const QString& sName : names) QCOMPARE(ModeOnDisk(m_server->root() + QLatin1Char('/') + sName), 0750);
    QCOMPARE(m_nAfterwards, 1);
}

void tst_RemoteChangeMode::refusedItemIsLoggedAsError()
{
    ConnectToServer();
    for (const char* s : {"a.txt", "b.txt"}) {
        QFile file(m_server->root() + QLatin1Char('/') + QLatin1String(s));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    Run({QStringLiteral("a.txt"), QStringLiteral("missing.txt"), QStringLiteral("b.txt")}, [](frmRemoteChangeMode&) {
        Value()->setText(QStringLiteral("0600"));  // the leading zero is dropped
        Press("cmdOk");
    });
    QCOMPARE(m_log.size(), 6);
    QCOMPARE(m_log.mid(0, 3), QStringList({QStringLiteral("SITE chmod 600 a.txt"),
                                           QStringLiteral("Change Permission Complete"),
                                           QStringLiteral("SITE chmod 600 missing.txt")}));
    QVERIFY2(m_log.at(3).startsWith(QStringLiteral("Error: ")) && m_log.at(3).contains(QStringLiteral("550")),
             qPrintable(m_log.at(3)));
    QCOMPARE(m_log.mid(4),
             QStringList({QStringLiteral("SITE chmod 600 b.txt"), QStringLiteral("Change Permission Complete")}));
    QCOMPARE(ModeOnDisk(m_server->root() + QStringLiteral("/b.txt")), 0600);
}

void tst_RemoteChangeMode::geometryIsStoredAndRestored()
{
    frmRemoteChangeMode::Loaded().resize(520, 410);
    frmRemoteChangeMode::Unload();
    QVERIFY(!frmRemoteChangeMode::IsLoaded());
    const QString sSection = QLatin1String(Settings::kSection).mid(1);  // the store keeps no leading "\\"
    for (const char* s : {"TOP", "LEFT", "HEIGHT", "WIDTH"})
        QVERIFY2(m_store->has(kHKEY_LOCAL_MACHINE, sSection, QStringLiteral("REMOTE CHANGE MODE ") + QLatin1String(s)),
                 s);
    QCOMPARE(frmRemoteChangeMode::Loaded().size(), QSize(520, 410));
}

QTEST_MAIN(tst_RemoteChangeMode)
#include "tst_RemoteChangeMode.moc"
