// The download and upload engines against a real pyftpdlib: new, changed and
// unchanged files with each answer of the file-exists question, resumes that
// must give an identical file, folders, links and errors that end a run.
#include "../ftp/ScriptedFtp.h"
#include "FtpTestServers.h"
#include "PointAtServer.h"
#include "TestFiles.h"
#include "ScriptedPrompter.h"
#include "ftp/ExistingFiles.h"
#include "ftp/FtpComponent.h"
#include "remote/TransferEngines.h"
#include "ui/FilePane.h"

#include <QCryptographicHash>
#include <QDir>
#include <QProcess>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

constexpr int kFileIcon = 1;
constexpr int kLinkIcon = 10;
constexpr int kFolderIcon = 11;

QByteArray Pattern(int nBytes, char seed)
{
    QByteArray data(nBytes, Qt::Uninitialized);
    for (int i = 0; i < nBytes; ++i) data[i] = char(seed + (i * 7) % 251);
    return data;
}


QByteArray Sha(const QByteArray& data) { return QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex(); }

}  // namespace

class tst_TransferEngines : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void datesAgreeAtTheListingsPrecision();
    void downloadNewUnchangedAndNothingSelected();
    void downloadMatchesNamesExactly();
    void downloadFoldersAndLinks();
    void downloadErrorEndsTheRun();
    void linksAndNamesOnVsftpd();
    void interruptedDownloadResumesToAnIdenticalFile();
    void uploadResumeAndFolders();

private:
    QString Remote(const QString& name) const { return m_server->root() + QLatin1Char('/') + name; }
    QString Local(const QString& name) const { return m_local->path() + QLatin1Char('/') + name; }
    // Puts rows in a pane and selects those whose names are in selected.
    static void Show(FilePane& pane, const QList<QPair<QString, int>>& rows, const QStringList& selected);
    void Receive() { TransferEngines::ReceiveSelectedItems(m_ctx); }
    void Send() { TransferEngines::SendSelectedItems(m_ctx); }
    bool Logged(const QString& line) const { return m_log.contains(line); }

    std::unique_ptr<PyFtpdServer> m_server;
    std::unique_ptr<FtpComponent> m_ftp;
    std::unique_ptr<ScriptedPrompter> m_prompter;
    std::unique_ptr<ScopedPrompter> m_installed;
    std::unique_ptr<QTemporaryDir> m_local;
    std::unique_ptr<FilePane> m_remoteList, m_localList;
    TransferContext m_ctx;
    QStringList m_log, m_actions;
    struct Question {
        QString sSource, sDestination;
        bool bResumeAllowed;
    };
    QList<Question> m_questions;
    QList<int> m_answers;  // for the file-exists questions, in turn
    int m_nLocalRefreshes = 0, m_nRemoteRefreshes = 0, m_nResets = 0, m_nAborts = 0;
};

void tst_TransferEngines::init()
{
    m_server = std::make_unique<PyFtpdServer>();
    if (!m_server->Start()) QSKIP(qPrintable(m_server->skipReason()));
    m_ftp = std::make_unique<FtpComponent>();
    PointAtServer(*m_ftp, *m_server);
    m_ftp->Connect();
    m_prompter = std::make_unique<ScriptedPrompter>();
    m_installed = std::make_unique<ScopedPrompter>(*m_prompter);
    m_local = std::make_unique<QTemporaryDir>();
    m_remoteList = std::make_unique<FilePane>();
    m_localList = std::make_unique<FilePane>();
    m_log.clear();
    m_actions.clear();
    m_questions.clear();
    m_answers.clear();
    m_nLocalRefreshes = m_nRemoteRefreshes = m_nResets = m_nAborts = 0;

    m_ctx = TransferContext{};
    m_ctx.ftp = m_ftp.get();
    m_ctx.remoteList = m_remoteList.get();
    m_ctx.localList = m_localList.get();
    m_ctx.currentLocalFolder = [this] { return m_local->path() + QLatin1Char('/'); };
    m_ctx.displayMessage = [this](const QString& s) { m_log << s; };
    m_ctx.updateAction = [this](const QString& s) { m_actions << s; };
    m_ctx.refreshLocalList = [this] { ++m_nLocalRefreshes; };
    m_ctx.refreshRemoteList = [this] { ++m_nRemoteRefreshes; };
    m_ctx.resetApplyToAll = [this] { ++m_nResets; };
    m_ctx.abort = [this] { ++m_nAborts; m_ftp->setAbort(true); };
    m_ctx.askExists = [this](const QString& sSource, const QString& sDestination, bool bResumeAllowed) {
        m_questions.append(Question{sSource, sDestination, bResumeAllowed});
        if (m_answers.isEmpty()) throw std::logic_error("an unexpected file-exists question");
        return m_answers.takeFirst();
    };
}

void tst_TransferEngines::cleanup()
{
    if (m_prompter) QVERIFY2(m_prompter->ScriptDone(), "a scripted answer was not asked for");
    QVERIFY2(m_answers.isEmpty(), "a file-exists answer was not asked for");
    m_installed.reset();
    m_ftp.reset();
    m_server.reset();
}

void tst_TransferEngines::Show(FilePane& pane, const QList<QPair<QString, int>>& rows, const QStringList& selected)
{
    pane.Clear();
    for (const auto& row : rows) {
        const int n = pane.AddRow(row.first, row.second, {});
        pane.SetSelected(n, selected.contains(row.first));
    }
}

void tst_TransferEngines::datesAgreeAtTheListingsPrecision()
{
    using ExistingFiles::SameTime;
    const QDateTime t = QDateTime::fromSecsSinceEpoch(1'700'000'000);  // 22:13:20 UTC
    QVERIFY(SameTime(t, 1, t));
    QVERIFY(!SameTime(t, 1, t.addSecs(1)));
    QVERIFY(SameTime(t, 60, t.addSecs(30)));   // same minute
    QVERIFY(!SameTime(t, 60, t.addSecs(50)));  // the next minute
    QVERIFY(SameTime(t.toLocalTime().date().startOfDay(), 86400, t.toLocalTime().date().startOfDay().addSecs(3600)));
    QVERIFY(!SameTime(t, 86400, t.addDays(1)));
    QVERIFY(!SameTime(t, 0, t));  // no date at all never agrees
    QVERIFY(!SameTime(QDateTime(), 1, t));
}

void tst_TransferEngines::downloadNewUnchangedAndNothingSelected()
{
    // Nothing selected: complete at once, and the local pane is relisted.
    Receive();
    QCOMPARE(m_actions.value(m_actions.size() - 1), QStringLiteral("Download complete"));
    QCOMPARE(m_nLocalRefreshes, 1);
    QCOMPARE(m_nResets, 1);

    const QByteArray data = Pattern(300'000, 'a');
    QVERIFY(WriteTestFile(Remote("new.bin"), data));
    QVERIFY(WriteTestFile(Remote("other.txt"), "other"));
    Show(*m_remoteList, {{"new.bin", kFileIcon}, {"other.txt", kFileIcon}}, {"new.bin"});
    Receive();  // no local file: no question
    QCOMPARE(Sha(ReadTestFile(Local("new.bin"))), Sha(data));
    QVERIFY(!QFileInfo::exists(Local("other.txt")));
    QCOMPARE(m_questions.size(), 0);
    // The server's time came along, so a second run finds the file unchanged.
    QCOMPARE(QFileInfo(Local("new.bin")).lastModified().toSecsSinceEpoch(),
             QFileInfo(Remote("new.bin")).lastModified().toSecsSinceEpoch());
    Receive();
    QCOMPARE(m_questions.size(), 0);
    QVERIFY(Logged("Skiped Receiving file: new.bin"));
    QCOMPARE(m_actions.count(QStringLiteral("Download complete")), 6);  // shown again after each relisting
}

void tst_TransferEngines::downloadMatchesNamesExactly()
{
    // A local file as large as the server's: Resume is not offered.
    QVERIFY(WriteTestFile(Remote("README"), "server text"));
    QVERIFY(WriteTestFile(Local("README"), "a longer local text"));
    // The pane shows "readme", which the server does not list under that
    // name: the local file is not compared with "README", yet it is not
    // replaced without a question either.
    QVERIFY(WriteTestFile(Local("readme"), "local only"));
    Show(*m_remoteList, {{"README", kFileIcon}, {"readme", kFileIcon}}, {"README", "readme"});
    m_answers = {TransferEngines::kResume, TransferEngines::kOverwrite};
    Receive();
    QCOMPARE(m_questions.size(), 2);
    QVERIFY(!m_questions[0].bResumeAllowed);
    QVERIFY(m_questions[0].sSource.startsWith(QStringLiteral("Source File Size: 11 ")));
    QVERIFY(!m_questions[1].bResumeAllowed);
    QCOMPARE(m_questions[1].sSource, QStringLiteral("Source File Size:  Last Modified: "));
    // A Resume with nothing to resume leaves the file alone.
    QCOMPARE(ReadTestFile(Local("README")), QByteArray("a longer local text"));
    QVERIFY(Logged("Skiped Receiving file: README"));
    // Overwrite asks the server for "readme", which it does not have: the
    // run ends with the error, and the local file is untouched.
    QCOMPARE(ReadTestFile(Local("readme")), QByteArray("local only"));
    QVERIFY(!m_actions.contains(QStringLiteral("Download complete")));
    QVERIFY(std::any_of(m_log.cbegin(), m_log.cend(), [](const QString& s) { return s.startsWith("Error: "); }));
}

void tst_TransferEngines::downloadFoldersAndLinks()
{
    QVERIFY(WriteTestFile(Remote("tree/top.txt"), "top"));
    QVERIFY(WriteTestFile(Remote("tree/sub/deep.txt"), "deep"));
    QVERIFY(WriteTestFile(Remote("flat/one.txt"), "one"));
    QVERIFY(WriteTestFile(Remote("flat/sub/two.txt"), "two"));
    Show(*m_remoteList, {{"flat", kFolderIcon}, {"tree", kFolderIcon}}, {"flat", "tree"});
    m_prompter->AnswerMessage(PromptResult::No);
    m_prompter->AnswerMessage(PromptResult::Yes);
    Receive();
    QCOMPARE(m_prompter->shown().size(), 2);
    QCOMPARE(m_prompter->shown()[0].sTitle, QStringLiteral("Kelvo [Confirm]"));
    QCOMPARE(m_prompter->shown()[0].sText,
             QStringLiteral("Do you want to receive any subfolders that are contained in the 'flat' folder?"));
    QCOMPARE(ReadTestFile(Local("flat/one.txt")), QByteArray("one"));
    QVERIFY(!QFileInfo::exists(Local("flat/sub")));
    QCOMPARE(ReadTestFile(Local("tree/sub/deep.txt")), QByteArray("deep"));
    QCOMPARE(m_actions.last(), QStringLiteral("Download complete"));

    // A link that opens as a folder comes as a tree, and the rows after it
    // follow; a link to a file fails the enter test and comes as a file. A
    // name that would leave the local folder is skipped.
    QVERIFY(QFile::link(Remote("tree"), Remote("tolink")));
    QVERIFY(QFile::link(Remote("flat/one.txt"), Remote("filelink")));
    QVERIFY(WriteTestFile(Remote("z-after.txt"), "after"));
    m_actions.clear();
    Show(*m_remoteList,
         {{"../escaped.txt", kFileIcon}, {"filelink", kLinkIcon}, {"tolink", kLinkIcon}, {"z-after.txt", kFileIcon}},
         {"../escaped.txt", "filelink", "tolink", "z-after.txt"});
    m_prompter->AnswerMessage(PromptResult::No);
    Receive();
    QVERIFY(Logged("../escaped.txt was skipped. Reason:the name cannot be used as a file name here"));
    QVERIFY(!QFileInfo::exists(Local("../escaped.txt")));
    QCOMPARE(ReadTestFile(Local("filelink")), QByteArray("one"));
    QVERIFY(std::any_of(m_log.cbegin(), m_log.cend(), [](const QString& s) { return s.contains(" Error number is: "); }));
    QCOMPARE(ReadTestFile(Local("tolink/top.txt")), QByteArray("top"));
    QVERIFY(!QFileInfo::exists(Local("tolink/sub")));
    QCOMPARE(ReadTestFile(Local("z-after.txt")), QByteArray("after"));
    QCOMPARE(m_ftp->currentFolder(), QStringLiteral("/"));
    QCOMPARE(m_actions.last(), QStringLiteral("Download complete"));
    QCOMPARE(m_nLocalRefreshes, 2);
}

void tst_TransferEngines::linksAndNamesOnVsftpd()
{
    // vsftpd as it comes: ".." from inside a link leads to the target's
    // parent, and names travel as Latin-1 bytes.
    VsftpdServer vsftpd(VsftpdServer::Options{false, true, false});
    if (!vsftpd.Start()) QSKIP(qPrintable(vsftpd.skipReason()));
    const QString root = vsftpd.root() + QLatin1Char('/');
    QVERIFY(WriteTestFile(root + QStringLiteral("real/inner/in.txt"), "in"));
    QVERIFY(WriteTestFile(root + QStringLiteral("real/decoy.txt"), "decoy"));
    QVERIFY(WriteTestFile(root + QStringLiteral("z-after.txt"), "after"));
    QVERIFY(QFile::link(QStringLiteral("real/inner"), root + QStringLiteral("tolink")));
    QProcess::execute(QStringLiteral("chown"), {QStringLiteral("-R"), QStringLiteral("--reference=") + vsftpd.root(), vsftpd.root()});
    FtpComponent ftp;
    PointAtServer(ftp, vsftpd);
    ftp.Connect();
    m_ctx.ftp = &ftp;
    Show(*m_remoteList, {{"tolink", kLinkIcon}, {"z-after.txt", kFileIcon}}, {"tolink", "z-after.txt"});
    m_prompter->AnswerMessage(PromptResult::Yes);
    Receive();
    QCOMPARE(ReadTestFile(Local("tolink/in.txt")), QByteArray("in"));
    QCOMPARE(ReadTestFile(Local("z-after.txt")), QByteArray("after"));
    QCOMPARE(ftp.currentFolder(), QStringLiteral("/"));

    // A name Latin-1 cannot carry is refused, naming the file; nothing
    // arrives under a name of question marks.
    QVERIFY(WriteTestFile(Local("файл1.txt"), "one"));
    Show(*m_localList, {{"файл1.txt", kFileIcon}}, {"файл1.txt"});
    m_log.clear();
    Send();
    QVERIFY(std::any_of(m_log.cbegin(), m_log.cend(), [](const QString& s) { return s.startsWith("Error: ") && s.contains("файл1.txt"); }));
    QVERIFY(QDir(vsftpd.root()).entryList(QDir::Files).filter(QStringLiteral("?")).isEmpty());
    m_ctx.ftp = m_ftp.get();
}

void tst_TransferEngines::downloadErrorEndsTheRun()
{
    QVERIFY(WriteTestFile(Remote("b.txt"), "b"));
    Show(*m_remoteList, {{"a-gone.txt", kFileIcon}, {"b.txt", kFileIcon}}, {"a-gone.txt", "b.txt"});
    Receive();
    QVERIFY(std::any_of(m_log.cbegin(), m_log.cend(), [](const QString& s) { return s.startsWith("Error: "); }));
    QVERIFY(!QFileInfo::exists(Local("a-gone.txt")));
    QVERIFY(!QFileInfo::exists(Local("b.txt")));
    QVERIFY(m_actions.isEmpty());
    QCOMPARE(m_nLocalRefreshes, 1);
    // The component is still usable: the next run works.
    Show(*m_remoteList, {{"b.txt", kFileIcon}}, {"b.txt"});
    Receive();
    QCOMPARE(ReadTestFile(Local("b.txt")), QByteArray("b"));
}

void tst_TransferEngines::interruptedDownloadResumesToAnIdenticalFile()
{
    // A server that drops the data connection half-way through the first
    // RETR, and serves the rest after REST on the next.
    ScriptedServer server(QString::fromLatin1(kPrelude) + QStringLiteral(R"PY(
data = bytes((i * 7) % 251 for i in range(3000000))
state = {"rest": 0, "retrs": 0}
def listing(a):
    say("150 here")
    send_data(b"-rw-r--r-- 1 u g %d Jan 01  2024 large.bin\r\n" % len(data))
    return "226 done"
def rest(a):
    state["rest"] = int(a); return "350 ok"
def retr(a):
    state["retrs"] += 1
    say("150 sending")
    d = accept_data()
    if state["retrs"] == 1:
        d.sendall(data[:1200000]); d.close(); return "426 connection lost"
    d.sendall(data[state["rest"]:]); d.close(); state["rest"] = 0
    return "226 done"
serve({"LIST": listing, "REST": rest, "RETR": retr})
)PY"));
    QVERIFY(server.Start());
    FtpComponent ftp;
    ftp.setServerAddress(server.host());
    ftp.setPort(server.port());
    ftp.setUserName(QStringLiteral("u"));
    ftp.setPassword(QStringLiteral("p"));
    ftp.Connect();
    m_ctx.ftp = &ftp;
    QByteArray data(3'000'000, Qt::Uninitialized);
    for (int i = 0; i < data.size(); ++i) data[i] = char((i * 7) % 251);

    Show(*m_remoteList, {{"large.bin", kFileIcon}}, {"large.bin"});
    Receive();
    QCOMPARE(QFileInfo(Local("large.bin")).size(), qint64(1'200'000));  // what arrived stays
    QVERIFY(!m_actions.contains(QStringLiteral("Download complete")));
    QVERIFY(std::any_of(m_log.cbegin(), m_log.cend(), [](const QString& s) { return s.startsWith("Error: "); }));

    m_answers = {TransferEngines::kResume};
    Receive();
    QCOMPARE(m_questions.size(), 1);
    QVERIFY(m_questions[0].bResumeAllowed);
    QCOMPARE(m_actions.last(), QStringLiteral("Download complete"));
    QCOMPARE(Sha(ReadTestFile(Local("large.bin"))), Sha(data));
    m_ctx.ftp = m_ftp.get();
}

void tst_TransferEngines::uploadResumeAndFolders()
{
    const QByteArray data = Pattern(400'000, 'f');
    QVERIFY(WriteTestFile(Local("part.bin"), data));
    QVERIFY(WriteTestFile(Remote("part.bin"), data.left(150'000)));
    Show(*m_localList, {{"part.bin", kFileIcon}}, {"part.bin"});
    m_answers = {TransferEngines::kResume};
    Send();
    QVERIFY(m_questions[0].bResumeAllowed);
    QCOMPARE(Sha(ReadTestFile(Remote("part.bin"))), Sha(data));

    QVERIFY(WriteTestFile(Local("up/a.txt"), "a"));
    QVERIFY(WriteTestFile(Local("up/sub/b.txt"), "b"));
    QVERIFY(WriteTestFile(Local("up2/c.txt"), "c"));
    QVERIFY(WriteTestFile(Local("up2/sub/d.txt"), "d"));
    Show(*m_localList, {{"up", kFolderIcon}, {"up2", kFolderIcon}}, {"up", "up2"});
    m_prompter->AnswerMessage(PromptResult::Yes);
    m_prompter->AnswerMessage(PromptResult::No);
    Send();
    QCOMPARE(m_prompter->shown()[0].sText,
             QStringLiteral("Do you want to send any subfolders that are contained in the '%1' folder?").arg(Local("up")));
    QCOMPARE(ReadTestFile(Remote("up/sub/b.txt")), QByteArray("b"));
    QCOMPARE(ReadTestFile(Remote("up2/c.txt")), QByteArray("c"));
    QVERIFY(!QFileInfo::exists(Remote("up2/sub")));
    QCOMPARE(m_actions.last(), QStringLiteral("Upload complete"));
}

QTEST_MAIN(tst_TransferEngines)
#include "tst_TransferEngines.moc"
