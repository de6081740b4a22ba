// Transfers through the main window against a real pyftpdlib: the buttons,
// menu and toolbar commands, the file-exists window with Apply To All, and
// drops between the panes and from other programs. (Progress, Abort,
// Disconnect and quitting during a transfer are driven from outside, in
// tests/acceptance.)
#include "FtpTestServers.h"
#include "WindowTestFixture.h"
#include "TestFiles.h"
#include "app/frmMain.h"
#include "ftp/FtpComponent.h"
#include "remote/frmExist.h"
#include "settings/OptionsForm.h"
#include "ui/FilePane.h"

#include <QAbstractItemModel>
#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

class tst_frmMainTransfers : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void commandsStartTheEngines();
    void theFileExistsWindowAppliesToAllForOneRun();

private:
    QString Remote(const QString& name) const { return m_server->root() + QLatin1Char('/') + name; }
    QString Local(const QString& name) const { return m_env->path(QStringLiteral("local/") + name); }
    FilePane* Pane(const char* name) const { return m_window->findChild<FilePane*>(QLatin1String(name)); }
    // Selects exactly the rows with these names.
    static void Select(FilePane* pane, const QStringList& names)
    {
        pane->ClearSelection();
        for (int i = 0; i < pane->Count(); ++i)
            if (names.contains(pane->Text(i))) pane->SetSelected(i, true);
    }
    static bool Lists(const FilePane* pane, const QString& name)
    {
        for (int i = 0; i < pane->Count(); ++i)
            if (pane->Text(i) == name) return true;
        return false;
    }
    QString Panel1() const { return m_window->findChild<QLabel*>(QStringLiteral("stbProgressPanel1"))->text(); }
    // Answers every file-exists window shown while it lives; counts them.
    void AnswerExists(const std::function<void(frmExist&)>& act);

    std::unique_ptr<WindowTestFixture> m_fixture;
    TestEnvironment* m_env = nullptr;           // parts of m_fixture
    MemoryRegistryBackend* m_store = nullptr;
    ScriptedPrompter* m_prompter = nullptr;
    std::unique_ptr<PyFtpdServer> m_server;
    std::unique_ptr<frmMain> m_window;
    std::unique_ptr<QTimer> m_answerer;
    int m_nExistShown = 0;
};

void tst_frmMainTransfers::init()
{
    m_fixture = std::make_unique<WindowTestFixture>();
    m_env = &m_fixture->env;
    m_store = &m_fixture->store;
    m_prompter = &m_fixture->prompter;
    m_server = std::make_unique<PyFtpdServer>();
    if (!m_server->Start()) QSKIP(qPrintable(m_server->skipReason()));
    QVERIFY(QDir().mkpath(Local(QString())));
    m_window = std::make_unique<frmMain>();
    m_window->Load(QString());
    m_window->SetSiteManager([this](ConnectionRequest& request) {
        request.sServer = m_server->host();
        request.sPort = QString::number(m_server->port());
        request.sUserName = m_server->user();
        request.sPassword = m_server->password();
        request.bAnonymous = false;
        return true;
    });
    m_nExistShown = 0;
}

void tst_frmMainTransfers::cleanup()
{
    m_answerer.reset();
    if (m_window) m_window->close();
    m_window.reset();
    frmExist::Unload();
    OptionsForm::Unload();
    m_server.reset();
    QVERIFY2(!m_prompter || m_prompter->ScriptDone(), "a scripted answer was not used");
    m_fixture.reset();
    m_env = nullptr;
    m_store = nullptr;
    m_prompter = nullptr;
}

void tst_frmMainTransfers::AnswerExists(const std::function<void(frmExist&)>& act)
{
    m_answerer = std::make_unique<QTimer>();
    m_answerer->setInterval(10);
    connect(m_answerer.get(), &QTimer::timeout, this, [this, act] {
        if (!frmExist::IsLoaded() || !frmExist::Loaded().isVisible()) return;
        ++m_nExistShown;
        act(frmExist::Loaded());
    });
    m_answerer->start();
}

void tst_frmMainTransfers::commandsStartTheEngines()
{
    QVERIFY(WriteTestFile(Remote("down.txt"), "from the server"));
    QVERIFY(WriteTestFile(Remote("menu.txt"), "by the menu"));
    QVERIFY(WriteTestFile(Local("up.txt"), "from here"));
    m_window->ConnectThroughSiteManager();
    QVERIFY(m_window->OpenLocalFolder(Local(QString())));
    FilePane* remote = Pane("lstRemoteFileList");
    FilePane* local = Pane("lstLocalFileList");

    Select(remote, {"down.txt"});
    auto* receive = m_window->findChild<QPushButton*>(QStringLiteral("cmdReceive"));
    QVERIFY(receive->isEnabled());
    receive->click();
    QCOMPARE(ReadTestFile(Local("down.txt")), QByteArray("from the server"));
    QCOMPARE(Panel1(), QStringLiteral("Download complete"));
    QVERIFY(Lists(local, "down.txt"));  // the local pane was relisted

    Select(remote, {"menu.txt"});
    m_window->findChild<QAction*>(QStringLiteral("mnuRemoteDownload"))->trigger();
    QCOMPARE(ReadTestFile(Local("menu.txt")), QByteArray("by the menu"));

    Select(local, {"up.txt"});
    auto* send = m_window->findChild<QPushButton*>(QStringLiteral("cmdSend"));
    QVERIFY(send->isEnabled());
    m_window->findChild<QAction*>(QStringLiteral("Toolbar1_Upload"))->trigger();
    QCOMPARE(ReadTestFile(Remote("up.txt")), QByteArray("from here"));
    QCOMPARE(Panel1(), QStringLiteral("Upload complete"));
    QVERIFY(Lists(remote, "up.txt"));
    // Idle again: the commands are back.
    QVERIFY(send->isEnabled());
    QVERIFY(!m_window->findChild<QPushButton*>(QStringLiteral("cmdAbort"))->isEnabled());
}

void tst_frmMainTransfers::theFileExistsWindowAppliesToAllForOneRun()
{
    for (const char* name : {"one.txt", "two.txt", "three.txt"}) {
        QVERIFY(WriteTestFile(Remote(name), QByteArray("server ") + name));
        QVERIFY(WriteTestFile(Local(name), "stale"));
    }
    m_window->ConnectThroughSiteManager();
    QVERIFY(m_window->OpenLocalFolder(Local(QString())));
    FilePane* remote = Pane("lstRemoteFileList");

    // First run: Overwrite with Apply To All ticked answers all three.
    AnswerExists([](frmExist& dlg) {
        dlg.findChild<QCheckBox*>(QStringLiteral("chkAll"))->setChecked(true);
        dlg.findChild<QPushButton*>(QStringLiteral("cmdOverwrite"))->click();
    });
    Select(remote, {"one.txt", "two.txt"});
    m_window->cmdReceive_Click();
    QCOMPARE(m_nExistShown, 1);
    QCOMPARE(ReadTestFile(Local("one.txt")), QByteArray("server one.txt"));
    QCOMPARE(ReadTestFile(Local("two.txt")), QByteArray("server two.txt"));

    // The next run asks again; closing the window skips that file.
    m_nExistShown = 0;
    AnswerExists([](frmExist& dlg) { dlg.close(); });
    Select(remote, {"three.txt"});
    m_window->cmdReceive_Click();
    QCOMPARE(m_nExistShown, 1);
    QCOMPARE(ReadTestFile(Local("three.txt")), QByteArray("stale"));
}

QTEST_MAIN(tst_frmMainTransfers)
#include "tst_frmMainTransfers.moc"
