// The remote pane against a real pyftpdlib (LIST listings, so that links
// show as links): rows and icons, navigation, filters, the toolbar.
#include "FtpTestServers.h"
#include "TestFiles.h"
#include "PointAtServer.h"
#include "ScriptedPrompter.h"
#include "ftp/FtpComponent.h"
#include "remote/RemotePane.h"
#include "ui/FilePane.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTest>
#include <QToolBar>

#include <memory>

class tst_RemotePane : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void rowsFollowTheIconRules();
    void foldersAndLinksOpenFilesDownload();
    void goingUpAndAtTheRoot();
    void filtersAndRefresh();
    void refusedFolderChangeKeepsTheRows();
    void toolbarButtonsRunTheirCommands();

private:
    void Place(const QString& name, const QByteArray& data = "x")
    {
        QVERIFY(WriteTestFile(m_server->root() + QLatin1Char('/') + name, data));
    }
    int Row(const QString& name) const
    {
        for (int i = 0; i < m_list->Count(); ++i)
            if (m_list->Text(i) == name) return i;
        return -1;
    }
    QStringList Names() const
    {
        QStringList names;
        for (int i = 0; i < m_list->Count(); ++i) names << m_list->Text(i);
        names.sort();
        return names;
    }
    void Select(const QString& name)
    {
        m_list->ClearSelection();
        m_list->SetSelected(Row(name), true);
    }

    std::unique_ptr<PyFtpdServer> m_server;
    std::unique_ptr<FtpComponent> m_ftp;
    std::unique_ptr<FilePane> m_list;
    std::unique_ptr<QComboBox> m_path;
    std::unique_ptr<RemotePane> m_pane;
    std::unique_ptr<ScriptedPrompter> m_prompter;
    std::unique_ptr<ScopedPrompter> m_installed;
    QStringList m_log;
    int m_nDownloads = 0;
};

void tst_RemotePane::init()
{
    PyFtpdServer::Options options;
    options.bMlsd = false;
    m_server = std::make_unique<PyFtpdServer>(options);
    if (!m_server->Start()) QSKIP(qPrintable(m_server->skipReason()));
    Place(QStringLiteral("notes.txt"), "12345");
    Place(QStringLiteral("setup.exe"));
    Place(QStringLiteral("archive.weird"));
    Place(QStringLiteral("with space.txt"));
    Place(QStringLiteral("Grüße.txt"));
    Place(QStringLiteral("sub/inner.txt"));
    QFile::link(QStringLiteral("sub"), m_server->root() + QStringLiteral("/tosub"));
    QFile::link(QStringLiteral("notes.txt"), m_server->root() + QStringLiteral("/tonotes"));

    m_ftp = std::make_unique<FtpComponent>();
    PointAtServer(*m_ftp, *m_server);
    m_ftp->Connect();
    m_list = std::make_unique<FilePane>();
    m_path = std::make_unique<QComboBox>();
    m_path->setEditable(true);
    m_pane = std::make_unique<RemotePane>(m_list.get(), m_path.get(), *m_ftp);
    m_log.clear();
    m_nDownloads = 0;
    m_pane->displayMessage = [this](const QString& line) { m_log << line; };
    m_pane->receiveSelectedItems = [this] { ++m_nDownloads; };
    m_prompter = std::make_unique<ScriptedPrompter>();
    m_installed = std::make_unique<ScopedPrompter>(*m_prompter);
    m_pane->GetRemoteFolder();
    m_pane->RefreshRemoteList();
}

void tst_RemotePane::cleanup()
{
    QVERIFY2(!m_prompter || m_prompter->ScriptDone(), "a scripted answer was not used");
    m_installed.reset();
    m_prompter.reset();
    m_pane.reset();
    m_list.reset();
    m_path.reset();
    m_ftp.reset();
    m_server.reset();
}

void tst_RemotePane::rowsFollowTheIconRules()
{
    QCOMPARE(Names(), (QStringList{QStringLiteral("Grüße.txt"), QStringLiteral("archive.weird"), QStringLiteral("notes.txt"),
                                   QStringLiteral("setup.exe"), QStringLiteral("sub"), QStringLiteral("tonotes"),
                                   QStringLiteral("tosub"), QStringLiteral("with space.txt")}));
    const int notes = Row(QStringLiteral("notes.txt"));
    QCOMPARE(m_list->SmallIcon(notes), 3);
    QCOMPARE(m_list->SubItem(notes, 1), QStringLiteral("5"));
    QCOMPARE(m_list->SubItem(notes, 3), QStringLiteral("F"));
    QCOMPARE(m_list->SmallIcon(Row(QStringLiteral("setup.exe"))), 9);
    QCOMPARE(m_list->SmallIcon(Row(QStringLiteral("archive.weird"))), 3);  // unknown kind (10) shows as 3
    QCOMPARE(m_list->SmallIcon(Row(QStringLiteral("sub"))), RemotePane::kFolderIcon);
    QCOMPARE(m_list->SubItem(Row(QStringLiteral("sub")), 3), QStringLiteral("D"));
    QCOMPARE(m_list->SmallIcon(Row(QStringLiteral("tosub"))), RemotePane::kLinkIcon);  // a link without a known extension
    QCOMPARE(m_list->SubItem(Row(QStringLiteral("tosub")), 3), QStringLiteral("E"));
    QVERIFY(!m_list->SubItem(notes, 2).isEmpty());
    QCOMPARE(m_path->currentText(), QStringLiteral("/"));
}

void tst_RemotePane::foldersAndLinksOpenFilesDownload()
{
    Select(QStringLiteral("sub"));
    m_pane->OnDoubleClick();
    QCOMPARE(m_ftp->currentFolder(), QStringLiteral("/sub"));
    QCOMPARE(Names(), QStringList{QStringLiteral("inner.txt")});
    QCOMPARE(m_path->currentText(), QStringLiteral("/sub"));
    QCOMPARE(m_pane->RememberedFolder(), QStringLiteral("/sub"));

    m_pane->GoUpRemoteFolder();
    Select(QStringLiteral("tosub"));  // a link the server lets us into
    m_pane->OnDoubleClick();
    QCOMPARE(m_ftp->currentFolder(), QStringLiteral("/tosub"));
    QCOMPARE(m_nDownloads, 0);

    m_pane->GoUpRemoteFolder();
    Select(QStringLiteral("tonotes"));  // a link to a file: downloaded
    m_pane->OnDoubleClick();
    QCOMPARE(m_nDownloads, 1);
    QCOMPARE(m_ftp->currentFolder(), QStringLiteral("/"));
    Select(QStringLiteral("notes.txt"));
    m_pane->OnDoubleClick();
    QCOMPARE(m_nDownloads, 2);
    QCOMPARE(m_path->property("Tag").toString(), QStringLiteral("0"));
}

void tst_RemotePane::goingUpAndAtTheRoot()
{
    m_pane->GoUpRemoteFolder();
    QCOMPARE(m_log.last(), QStringLiteral("Remote path already at a root folder."));
    QCOMPARE(Names().size(), 8);

    m_pane->ChangeCurrentRemoteFolder(QStringLiteral("sub"), true);
    m_pane->GoUpRemoteFolder();
    QCOMPARE(m_log.last(), QStringLiteral("Remote path now up one folder."));
    QCOMPARE(m_ftp->currentFolder(), QStringLiteral("/"));
    QCOMPARE(Names().size(), 8);
    // Each folder once in the history, whatever its spelling's case.
    m_pane->AddToRemotePaths(QStringLiteral("/SUB"));
    QCOMPARE(m_path->count(), 2);
    QCOMPARE(m_path->currentText(), QStringLiteral("/SUB"));
}

void tst_RemotePane::filtersAndRefresh()
{
    m_prompter->AnswerInput(QStringLiteral("*.txt"));
    m_pane->FilterDefineTypes();
    QCOMPARE(Names(), (QStringList{QStringLiteral("Grüße.txt"), QStringLiteral("notes.txt"), QStringLiteral("with space.txt")}));
    QCOMPARE(m_prompter->shown().last().sTitle, QStringLiteral("Define Type For Remote Server Directory Listing"));
    QCOMPARE(m_prompter->shown().last().sText, QStringLiteral("Please enter the type ex: *.gif "));

    m_prompter->AnswerInput(QString());
    m_prompter->AnswerMessage(PromptResult::Ok);
    m_pane->FilterDefineTypes();
    QCOMPARE(m_prompter->shown().last().sText, QStringLiteral("No command entered, quiting"));
    QCOMPARE(Names().size(), 3);  // unchanged

    m_pane->RefreshRemoteList();
    QCOMPARE(Names().size(), 8);
}

void tst_RemotePane::refusedFolderChangeKeepsTheRows()
{
    QVERIFY(!m_pane->ChangeCurrentRemoteFolder(QStringLiteral("nowhere"), true));
    QVERIFY(!m_log.filter(QRegularExpression(QStringLiteral("^Error: 550"))).isEmpty());
    QCOMPARE(Names().size(), 8);
    const int before = m_log.size();
    QVERIFY(!m_pane->ChangeCurrentRemoteFolder(QStringLiteral("nowhere"), false));
    QCOMPARE(m_log.size(), before);
}

void tst_RemotePane::toolbarButtonsRunTheirCommands()
{
    QToolBar toolbar;
    m_pane->BuildToolbar(&toolbar);
    const QList<QAction*> buttons = toolbar.actions();
    QCOMPARE(buttons.size(), 11);
    QCOMPARE(buttons.at(3)->toolTip(), QStringLiteral("Download selection"));
    buttons.at(3)->trigger();
    QCOMPARE(m_nDownloads, 1);
    buttons.at(8)->trigger();
    QCOMPARE(m_list->View(), int(FilePane::Details));
    buttons.at(5)->trigger();
    QCOMPARE(m_list->View(), int(FilePane::LargeIcons));

    // "New Folder" and "Delete" do what they say.
    m_prompter->AnswerInput(QStringLiteral("made by button"));
    buttons.at(10)->trigger();
    QVERIFY(QFileInfo(m_server->root() + QStringLiteral("/made by button")).isDir());
    Select(QStringLiteral("notes.txt"));
    m_prompter->AnswerMessage(PromptResult::Yes);
    buttons.at(2)->trigger();
    QVERIFY(!QFileInfo::exists(m_server->root() + QStringLiteral("/notes.txt")));
    QCOMPARE(Row(QStringLiteral("notes.txt")), -1);
}

QTEST_MAIN(tst_RemotePane)
#include "tst_RemotePane.moc"
