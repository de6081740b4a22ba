// The remote operations and manual commands against a real pyftpdlib, with
// a selection and window routines of the test's own.
#include "FtpTestServers.h"
#include "TestFiles.h"
#include "PointAtServer.h"
#include "ScriptedPrompter.h"
#include "ftp/FtpComponent.h"
#include "remote/RemoteCommands.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

class tst_RemoteCommands : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void deleteAsksOnceAndDeletesEachRow();
    void renameAsksThenRenames();
    void createAndRemoveFolders();
    void moveAsksOnceAndOncePerRow();
    void inPlaceRenameAsksOnlyWhenTheExtensionChanges();
    void manualCommandsReachTheServer();
    void manualTransfersMoveTheFileAndRefresh();

private:
    void Place(const QString& name, const QByteArray& data = "x")
    {
        QVERIFY(WriteTestFile(m_server->root() + QLatin1Char('/') + name, data));
    }
    bool OnServer(const QString& name) const { return QFileInfo::exists(m_server->root() + QLatin1Char('/') + name); }

    std::unique_ptr<PyFtpdServer> m_server;
    std::unique_ptr<FtpComponent> m_ftp;
    std::unique_ptr<ScriptedPrompter> m_prompter;
    std::unique_ptr<ScopedPrompter> m_installed;
    QTemporaryDir m_local;
    RemoteContext m_ctx;
    QStringList m_selection, m_log;
    int m_nRemoteRefreshes = 0, m_nLocalRefreshes = 0;
};

void tst_RemoteCommands::init()
{
    m_server = std::make_unique<PyFtpdServer>();
    if (!m_server->Start()) QSKIP(qPrintable(m_server->skipReason()));
    m_ftp = std::make_unique<FtpComponent>();
    PointAtServer(*m_ftp, *m_server);
    m_ftp->Connect();
    m_prompter = std::make_unique<ScriptedPrompter>();
    m_installed = std::make_unique<ScopedPrompter>(*m_prompter);
    m_selection.clear();
    m_log.clear();
    m_nRemoteRefreshes = m_nLocalRefreshes = 0;
    connect(m_ftp.get(), &FtpComponent::logText, this, [this](const QString& line, long) { m_log << line; });

    m_ctx.ftp = m_ftp.get();
    m_ctx.selectedNames = [this] { return m_selection; };
    m_ctx.selectedName = [this] { return m_selection.value(0); };
    m_ctx.displayMessage = [this](const QString& line) { m_log << line; };
    m_ctx.clearStatus = [] {};
    m_ctx.refreshRemoteList = [this] { ++m_nRemoteRefreshes; };
    m_ctx.updateRemoteCommands = [] {};
    m_ctx.currentLocalFolder = [this] { return m_local.path() + QLatin1Char('/'); };
    m_ctx.refreshLocalList = [this] { ++m_nLocalRefreshes; };
    m_ctx.updateLocalCommands = [] {};
}

void tst_RemoteCommands::cleanup()
{
    QVERIFY2(!m_prompter || m_prompter->ScriptDone(), "a scripted answer was not used");
    m_installed.reset();
    m_prompter.reset();
    m_ftp.reset();
    m_server.reset();
}

void tst_RemoteCommands::deleteAsksOnceAndDeletesEachRow()
{
    Place(QStringLiteral("a.txt"));
    Place(QStringLiteral("b.txt"));
    Place(QStringLiteral("keep.txt"));
    m_selection = {QStringLiteral("a.txt"), QStringLiteral("b.txt")};

    m_prompter->AnswerMessage(PromptResult::No);
    RemoteOperations::DeleteRemoteFiles(m_ctx);
    QVERIFY(OnServer(QStringLiteral("a.txt")));
    QCOMPARE(m_nRemoteRefreshes, 0);

    m_prompter->AnswerMessage(PromptResult::Yes);
    RemoteOperations::DeleteRemoteFiles(m_ctx);
    QCOMPARE(m_prompter->shown().last().sText, QStringLiteral("Are you sure you want to delete the selected remote file(s)?"));
    QCOMPARE(m_prompter->shown().last().sTitle, QStringLiteral("Kelvo [Confirm]"));
    QVERIFY(m_prompter->shown().last().defaultButton == PromptResult::No);  // Enter deletes nothing
    QVERIFY(!OnServer(QStringLiteral("a.txt")) && !OnServer(QStringLiteral("b.txt")) && OnServer(QStringLiteral("keep.txt")));
    QCOMPARE(m_nRemoteRefreshes, 1);

    m_selection = {QStringLiteral("ghost.txt")};
    m_prompter->AnswerMessage(PromptResult::Yes);
    RemoteOperations::DeleteRemoteFiles(m_ctx);
    QVERIFY2(!m_log.filter(QRegularExpression(QStringLiteral("^Error: 550"))).isEmpty(), qPrintable(m_log.join('\n')));
}

void tst_RemoteCommands::renameAsksThenRenames()
{
    Place(QStringLiteral("old.txt"));
    Place(QStringLiteral("taken.txt"), "precious");
    m_selection = {QStringLiteral("old.txt")};
    m_prompter->AnswerMessage(PromptResult::Yes);
    m_prompter->AnswerInput(QStringLiteral("new.txt"));
    RemoteOperations::RenameRemoteFile(m_ctx);
    QCOMPARE(m_prompter->shown()[0].sText, QStringLiteral("Rename remote file old.txt?"));
    QCOMPARE(m_prompter->shown()[1].sTitle, QStringLiteral("Kelvo - Rename Remote File"));
    QCOMPARE(m_prompter->shown()[1].sText, QStringLiteral("Rename remote file to : "));
    QVERIFY(OnServer(QStringLiteral("new.txt")) && !OnServer(QStringLiteral("old.txt")));

    // Onto a name that is taken: refused, logged, nothing lost.
    m_selection = {QStringLiteral("new.txt")};
    m_prompter->AnswerMessage(PromptResult::Yes);
    m_prompter->AnswerInput(QStringLiteral("taken.txt"));
    RemoteOperations::RenameRemoteFile(m_ctx);
    QVERIFY(!m_log.filter(QStringLiteral("Error: taken.txt already exists.")).isEmpty());
    QVERIFY(OnServer(QStringLiteral("new.txt")));

    // An empty answer sends nothing.
    m_prompter->AnswerMessage(PromptResult::Yes);
    m_prompter->AnswerInput(std::nullopt);
    const int before = m_log.size();
    RemoteOperations::RenameRemoteFile(m_ctx);
    QCOMPARE(m_log.size(), before);
}

void tst_RemoteCommands::createAndRemoveFolders()
{
    m_prompter->AnswerInput(QStringLiteral("made"));
    RemoteOperations::CreateRemoteFolder(m_ctx);
    QCOMPARE(m_prompter->shown().last().sTitle, QStringLiteral("Kelvo - Create RemoteFolder"));
    QVERIFY(QFileInfo(m_server->root() + QStringLiteral("/made")).isDir());

    m_selection = {QStringLiteral("made")};
    m_prompter->AnswerMessage(PromptResult::Yes);
    RemoteOperations::RemoveRemoteFolder(m_ctx);
    QCOMPARE(m_prompter->shown().last().sText, QStringLiteral("Delete made?"));
    QVERIFY(!OnServer(QStringLiteral("made")));
    QCOMPARE(m_nRemoteRefreshes, 2);

    m_prompter->AnswerMessage(PromptResult::Yes);
    RemoteOperations::RemoveRemoteFolder(m_ctx);  // gone already
    QVERIFY(!m_log.filter(QStringLiteral("Error: ")).isEmpty());
}

void tst_RemoteCommands::moveAsksOnceAndOncePerRow()
{
    Place(QStringLiteral("one.txt"));
    Place(QStringLiteral("two.txt"));
    Place(QStringLiteral("sub/.keep"));
    m_selection = {QStringLiteral("one.txt"), QStringLiteral("two.txt")};
    m_prompter->AnswerMessage(PromptResult::Yes);
    m_prompter->AnswerInput(QStringLiteral("sub"));
    m_prompter->AnswerInput(QStringLiteral("/sub/"));
    RemoteOperations::MoveRemoteItems(m_ctx);
    QCOMPARE(m_prompter->shown().size(), 3);
    QCOMPARE(m_prompter->shown()[0].sText, QStringLiteral("Move remote file(s) / folder(s) one.txt?"));
    QCOMPARE(m_prompter->shown()[1].sTitle, QStringLiteral("kelvo"));
    QCOMPARE(m_prompter->shown()[2].sText, QStringLiteral("Move two.txt to : "));
    QVERIFY(OnServer(QStringLiteral("sub/one.txt")) && OnServer(QStringLiteral("sub/two.txt")));
    QVERIFY2(!m_log.filter(QStringLiteral("RNTO /sub/two.txt")).isEmpty(), "no doubled separator");

    QCOMPARE(RemoteOperations::MoveTarget(QStringLiteral("a"), QStringLiteral("b")), QStringLiteral("a/b"));
    QCOMPARE(RemoteOperations::MoveTarget(QStringLiteral("a/"), QStringLiteral("b")), QStringLiteral("a/b"));
}

void tst_RemoteCommands::inPlaceRenameAsksOnlyWhenTheExtensionChanges()
{
    Place(QStringLiteral("report.txt"));
    Place(QStringLiteral("other.doc"), "precious");
    QCOMPARE(RemoteOperations::Extension(QStringLiteral("a.tar.gz")), QStringLiteral("gz"));
    QCOMPARE(RemoteOperations::Extension(QStringLiteral("README")), QStringLiteral("README"));

    RemoteOperations::StartInPlaceRename(m_ctx, QStringLiteral("report.txt"));
    QCOMPARE(m_log.last(), QStringLiteral("Server: Renaming file: \"report.txt\""));

    QVERIFY(RemoteOperations::FinishInPlaceRename(m_ctx, QStringLiteral("report.txt"), QStringLiteral("final.txt")));
    QVERIFY(OnServer(QStringLiteral("final.txt")));
    QVERIFY(m_prompter->shown().isEmpty());

    m_prompter->AnswerMessage(PromptResult::No);
    QVERIFY(!RemoteOperations::FinishInPlaceRename(m_ctx, QStringLiteral("final.txt"), QStringLiteral("final.doc")));
    QCOMPARE(m_prompter->shown().last().sText,
             QStringLiteral("Are you sure to exchange the file extension from: \"txt\" to: \"doc\""));
    QVERIFY(OnServer(QStringLiteral("final.txt")));

    m_prompter->AnswerMessage(PromptResult::Yes);
    m_prompter->AnswerMessage(PromptResult::Ok);
    QVERIFY(!RemoteOperations::FinishInPlaceRename(m_ctx, QStringLiteral("final.txt"), QStringLiteral("other.doc")));
    QCOMPARE(m_prompter->shown().last().sText, QStringLiteral("File name exists in folder? no way!"));
    QCOMPARE(m_prompter->shown().last().icon, PromptIcon::Exclamation);
    QFile other(m_server->root() + QStringLiteral("/other.doc"));
    QVERIFY(other.open(QIODevice::ReadOnly));
    QCOMPARE(other.readAll(), QByteArray("precious"));
}

void tst_RemoteCommands::manualCommandsReachTheServer()
{
    Place(QStringLiteral("listed.txt"));
    for (const char* word : {"HELP", "PWD", "SYST", "NLST"}) {
        m_log.clear();
        ManualCommands::SendFixed(m_ctx, QLatin1String(word));
        QVERIFY2(m_log.size() >= 2, word);
        QVERIFY2(m_log.contains(QLatin1String(word)), word);
    }
    QVERIFY(m_log.contains(QStringLiteral("listed.txt")));

    m_prompter->AnswerInput(QString());
    m_prompter->AnswerMessage(PromptResult::Ok);
    ManualCommands::Quote(m_ctx);
    QCOMPARE(m_prompter->shown().last().sText, QStringLiteral("No command entered, quiting"));
    QCOMPARE(m_prompter->shown().last().sTitle, QStringLiteral("Remote Server Custom Command"));

    m_log.clear();
    m_prompter->AnswerInput(QStringLiteral("NOOP"));
    ManualCommands::Quote(m_ctx);
    QCOMPARE(m_log.first(), QStringLiteral("NOOP"));

    m_prompter->AnswerInput(QStringLiteral("sub dir"));
    Place(QStringLiteral("sub dir/x"));
    ManualCommands::ChangeFolder(m_ctx);
    QCOMPARE(m_ftp->currentFolder(), QStringLiteral("/sub dir"));
    QCOMPARE(m_nRemoteRefreshes, 0);  // CWD does not relist
}

void tst_RemoteCommands::manualTransfersMoveTheFileAndRefresh()
{
    Place(QStringLiteral("hidden.bin"), "remote bytes");
    m_prompter->AnswerInput(QStringLiteral("hidden.bin"));
    ManualCommands::ReceiveFile(m_ctx);
    QFile got(m_local.path() + QStringLiteral("/hidden.bin"));
    QVERIFY(got.open(QIODevice::ReadOnly));
    QCOMPARE(got.readAll(), QByteArray("remote bytes"));
    QCOMPARE(m_nLocalRefreshes, 1);

    QFile mine(m_local.path() + QStringLiteral("/mine.bin"));
    QVERIFY(mine.open(QIODevice::WriteOnly));
    mine.write("local bytes");
    mine.close();
    m_prompter->AnswerInput(QStringLiteral("mine.bin"));
    ManualCommands::SendFile(m_ctx);
    QVERIFY(OnServer(QStringLiteral("mine.bin")));
    QCOMPARE(m_nRemoteRefreshes, 1);

    m_prompter->AnswerInput(QStringLiteral("not-there.bin"));
    ManualCommands::ReceiveFile(m_ctx);
    QVERIFY(!m_log.filter(QStringLiteral("Error: 550")).isEmpty());
    QCOMPARE(m_nLocalRefreshes, 1);
    QVERIFY(!QFileInfo::exists(m_local.path() + QStringLiteral("/not-there.bin")));
}

QTEST_MAIN(tst_RemoteCommands)
#include "tst_RemoteCommands.moc"
