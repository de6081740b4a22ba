// The component against real servers on loopback: pyftpdlib (with MLSD and,
// as a second flavour, with LIST only) and vsftpd (also without UTF8).
#include "FtpFixture.h"
#include "ftp/ExistingFiles.h"

#include <QProcess>
#include <QRegularExpression>

#include <fcntl.h>

namespace {

struct ServerKind {
    const char* name;
    bool bVsftpd, bMlsd, bUtf8 = true;  // bUtf8: the server announces UTF8 (vsftpd's own default does not)
};

class FtpEngineTest : public ::testing::TestWithParam<ServerKind>, protected FtpClient {
protected:
    void SetUp() override
    {
        const ServerKind kind = GetParam();
        if (kind.bVsftpd) server = std::make_unique<VsftpdServer>(VsftpdServer::Options{false, kind.bUtf8});
        else server = std::make_unique<PyFtpdServer>(PyFtpdServer::Options{kind.bMlsd});
        KELVO_START_OR_SKIP(*server);
        PointAtServer(ftp, *server, 20'000);
    }
    // Files placed straight into the server's folder belong to its user, so
    // that the server may rename and delete them.
    void Place(std::initializer_list<std::pair<QString, QByteArray>> files)
    {
        for (const auto& [name, data] : files) ASSERT_TRUE(WriteTestFile(Remote(name), data));
        GiveToServer();
    }
    void GiveToServer() { QProcess::execute("chown", {"-R", "--reference=" + server->root(), server->root()}); }
    void SetTime(const QString& sPath, const QDateTime& when)
    {
        QFile file(sPath);
        ASSERT_TRUE(file.open(QIODevice::Append) && file.setFileTime(when, QFileDevice::FileModificationTime));
    }
    // How a name stored in UTF-8 reads from this server: as it is, or byte
    // by byte where the server does not announce UTF8.
    QString Listed(const QString& sName) const { return GetParam().bUtf8 ? sName : QString::fromLatin1(sName.toUtf8()); }
    void Connect() { ASSERT_TRUE(Succeeds([&] { ftp.Connect(); })); }
};

}  // namespace

TEST_P(FtpEngineTest, LoginListingRemoteOperationsAndNamesInTheServersCharacterSet)
{
    ASSERT_TRUE(QFile::link("a.txt", Remote("link")));
    Place({{"a.txt", "abc"}, {"name with  spaces.txt", "12345"}, {"Grüße.txt", "x"}, {"sub/inner.txt", "inner"}, {"two.txt", "2"}});

    ftp.setPassword("wrong password");
    EXPECT_TRUE(FailsWith(kLoginFailed, "530", [&] { ftp.Connect(); }));
    ftp.setPassword(server->password());
    ASSERT_NO_FATAL_FAILURE(Connect());
    EXPECT_EQ(ftp.GetProperty(FtpComponent::kState).toLongLong(), FtpComponent::kStateConnected);
    EXPECT_EQ(ftp.currentFolder(), "/");
    EXPECT_TRUE(Logged("PASS "));
    EXPECT_FALSE(Logged(server->password()));
    EXPECT_EQ(ErrorOf([&] { ftp.Connect(); }).number, kInvalidArgument) << "already connected";

    QMap<QString, ListingEntry> byName;
    for (const ListingEntry& e : ftp.FolderContents()) byName.insert(e.name, e);
    EXPECT_EQ(QStringList(byName.keys()), (QStringList{Listed("Grüße.txt"), "a.txt", "link", "name with  spaces.txt", "sub", "two.txt"}));
    EXPECT_EQ(byName["a.txt"].size, 3);
    EXPECT_EQ(byName["a.txt"].kind, ListingEntry::File);
    EXPECT_LE(qAbs(byName["a.txt"].date.secsTo(QDateTime::currentDateTime())), 24 * 3600);
    EXPECT_EQ(byName["name with  spaces.txt"].size, 5);
    EXPECT_EQ(byName["sub"].kind, ListingEntry::Folder);
    if (!GetParam().bMlsd || GetParam().bVsftpd) {  // pyftpdlib's MLSD reports what a link points to
        EXPECT_EQ(byName["link"].kind, ListingEntry::Link);
    }
    QStringList signalled;
    QObject::connect(&ftp, &FtpComponent::listingEntry, [&](const ListingEntry& entry) { signalled << entry.name; });
    ftp.ListFolder("*.txt");
    signalled.sort();
    EXPECT_EQ(signalled, (QStringList{Listed("Grüße.txt"), "a.txt", "name with  spaces.txt", "two.txt"}));
    ftp.ChangeFolder("sub");
    EXPECT_EQ(ftp.currentFolder(), "/sub");
    EXPECT_EQ(ftp.FolderContents().size(), 1);
    ftp.ParentFolder();
    EXPECT_EQ(ftp.currentFolder(), "/");
    EXPECT_TRUE(FailsWith(kRefused, "550", [&] { ftp.ChangeFolder("no such folder"); }));

    ftp.CreateFolder("made");
    EXPECT_TRUE(QFileInfo(Remote("made")).isDir());
    EXPECT_EQ(ErrorOf([&] { ftp.CreateFolder("made"); }).number, kRefused);
    ftp.Rename("a.txt", "made/moved.txt");
    EXPECT_EQ(ReadTestFile(Remote("made/moved.txt")), "abc");
    // Renaming onto a name that is taken is refused as "exists", and the file there is not replaced.
    EXPECT_EQ(ErrorOf([&] { ftp.Rename("two.txt", "made/moved.txt"); }).number, kFileExists);
    EXPECT_EQ(ReadTestFile(Remote("made/moved.txt")), "abc");
    EXPECT_EQ(ErrorOf([&] { ftp.Rename("two.txt", "made"); }).number, kFileExists);
    EXPECT_EQ(ErrorOf([&] { ftp.Rename("ghost.txt", "x.txt"); }).number, kRefused);
    EXPECT_TRUE(FailsWith(kRefused, "550", [&] { ftp.RemoveFolder("made"); }));
    ftp.DeleteFile("made/moved.txt");
    ftp.RemoveFolder("made");
    EXPECT_FALSE(QFileInfo::exists(Remote("made")));
    EXPECT_TRUE(FailsWith(kRefused, "550", [&] { ftp.DeleteFile("made/moved.txt"); }));
    // A refused download leaves an existing local file untouched.
    ASSERT_TRUE(WriteTestFile(Local("keep.txt"), "precious"));
    EXPECT_EQ(ErrorOf([&] { ftp.ReceiveFile("ghost.txt", 0, Local("keep.txt")); }).number, kRefused);
    EXPECT_EQ(ReadTestFile(Local("keep.txt")), "precious");

    // Raw commands: refusals are not errors.
    ftp.SendCommand("XYZZY");
    EXPECT_EQ(ftp.lastReplyCode() / 100, 5);
    log.clear();
    ftp.SendCommand("QUOTE NOOP");
    EXPECT_EQ(log.value(0), "NOOP") << "QUOTE sends what follows it";
    log.clear();
    ftp.SendCommand("NLST");
    EXPECT_TRUE(log.contains("two.txt")) << Log();
    EXPECT_EQ(ErrorOf([&] { ftp.SendCommand("RETR two.txt"); }).number, kInvalidArgument);
    EXPECT_EQ(ErrorOf([&] { ftp.SendCommand("NOOP\r\nDELE two.txt"); }).number, kInvalidArgument);
    EXPECT_TRUE(QFileInfo::exists(Remote("two.txt"))) << "no command smuggled in";

    // Names go back in the bytes the server listed them in.
    Place({{"ключ.txt", "key"}});
    const QString listed = Listed("ключ.txt");
    ASSERT_EQ(Names(Listed("ключ*")), QStringList{listed});
    ftp.ReceiveFile(listed, 0, Local(listed));
    EXPECT_EQ(ReadTestFile(Local(listed)), "key");
    ftp.DeleteFile(listed);
    EXPECT_FALSE(QFileInfo::exists(Remote("ключ.txt")));
    if (GetParam().bVsftpd && GetParam().bUtf8) {
        // A name that is no UTF-8 on a server that speaks it reads as Latin-1 and still names its file.
        const QByteArray raw = QFile::encodeName(server->root()) + "/caf\xe9.bin";
        const int fd = ::open(raw.constData(), O_CREAT | O_WRONLY, 0644);
        ASSERT_TRUE(fd >= 0 && ::write(fd, "raw", 3) == 3 && ::close(fd) == 0);
        GiveToServer();
        ASSERT_EQ(Names("caf*"), QStringList{"café.bin"});
        ftp.ReceiveFile("café.bin", 0, Local("café.bin"));
        EXPECT_EQ(ReadTestFile(Local("café.bin")), "raw");
    }
    // A new name goes out in the server's character set, or not at all.
    ASSERT_TRUE(WriteTestFile(Local("файл1.txt"), "one") && WriteTestFile(Local("café.txt"), "cafe"));
    const FtpError upload = ErrorOf([&] { ftp.SendFile(Local("файл1.txt"), 0, "файл1.txt", false); });
    ftp.SendFile(Local("café.txt"), 0, "café.txt", false);
    EXPECT_TRUE(Names().filter("?").isEmpty()) << Names().join(',').toStdString();
    if (GetParam().bUtf8) {
        EXPECT_EQ(upload.number, 0) << upload.description.toStdString();
        EXPECT_EQ(ReadTestFile(Remote("файл1.txt")), "one");
        EXPECT_EQ(ReadTestFile(Remote("café.txt")), "cafe");
    } else {
        EXPECT_TRUE(upload.number == kNameEncoding && upload.description.contains("файл1.txt")) << upload.description.toStdString();
        EXPECT_EQ(Names("caf*.txt"), QStringList{"café.txt"});  // in Latin-1 on the server
        // Inside a folder upload such a file is skipped, and the rest goes.
        ASSERT_TRUE(WriteTestFile(Local("up/файл2.txt"), "two") && WriteTestFile(Local("up/plain.txt"), "plain"));
        ftp.SendFolder(Local("up/*"), "up", true, true);
        EXPECT_EQ(skipped.size(), 1);
        EXPECT_TRUE(Skipped("файл2.txt", FtpComponent::kSkipEncoding)) << skipped.join(' ').toStdString();
        EXPECT_EQ(ReadTestFile(Remote("up/plain.txt")), "plain");
    }
    ftp.Disconnect();
    EXPECT_EQ(ftp.state(), FtpComponent::kStateNotConnected);
    EXPECT_EQ(ErrorOf([&] { ftp.ChangeFolder("x"); }).number, kNotConnected);
}

TEST_P(FtpEngineTest, FilesTravelIntactResumeConvertKeepTheirTimesAndAbortsDoNotStick)
{
    const QList<QByteArray> contents = {QByteArray(""), QByteArray("x"), RandomBytes(64 << 20, 7)};
    ASSERT_NO_FATAL_FAILURE(Connect());
    qint64 lastProgress = -1;
    QStringList receiving, sending;
    QObject::connect(&ftp, &FtpComponent::progress, [&](qint64 done, qint64, int) { lastProgress = done; });
    QObject::connect(&ftp, &FtpComponent::receiving, [&](const QString& name) { receiving << name; });
    QObject::connect(&ftp, &FtpComponent::sending, [&](const QString& name) { sending << name; });
    for (qsizetype i = 0; i < contents.size(); ++i) {
        const QString name = QStringLiteral("file%1.bin").arg(i), back = Local(QStringLiteral("back%1.bin").arg(i));
        ASSERT_TRUE(WriteTestFile(Local(name), contents[i]));
        ftp.SendFile(Local(name), 0, name, false);
        EXPECT_TRUE(ReadTestFile(Remote(name)) == contents[i]) << "upload " << i;
        EXPECT_EQ(lastProgress, contents[i].size());
        ftp.ReceiveFile(name, 0, back);
        EXPECT_TRUE(ReadTestFile(back) == contents[i]) << "download " << i;
        EXPECT_EQ(lastProgress, contents[i].size());
    }
    EXPECT_EQ(receiving.size(), 3);
    EXPECT_EQ(sending.value(0), "file0.bin");

    // An abort stops a download (a call from an event handler meanwhile is
    // refused, not queued); one set between calls does not touch the next
    // call, and the partial file resumes to the whole.
    const QByteArray& huge = contents[2];
    long nested = -1;
    auto aborter = QObject::connect(&ftp, &FtpComponent::progress, [&](qint64, qint64, int) {
        if (nested < 0) nested = ErrorOf([&] { ftp.ChangeFolder("/"); }).number;
        ftp.setAbort(true);
    });
    EXPECT_EQ(ErrorOf([&] { ftp.ReceiveFile("file2.bin", 0, Local("huge.bin")); }).number, kAborted);
    EXPECT_EQ(nested, kBusy) << "a call from an event handler is refused, not queued";
    const qint64 have = QFileInfo(Local("huge.bin")).size();
    EXPECT_LT(have, huge.size());
    QObject::disconnect(aborter);
    ftp.setAbort(true);
    EXPECT_EQ(ftp.state(), FtpComponent::kStateConnected);
    ftp.ReceiveFile("file1.bin", 0, Local("one.bin"));
    EXPECT_EQ(ReadTestFile(Local("one.bin")), "x");
    ftp.ReceiveFile("file2.bin", have, Local("huge.bin"));
    EXPECT_TRUE(ReadTestFile(Local("huge.bin")) == huge);

    // Active mode: listing, both ways, a folder, and an abort, all without falling back to passive.
    Place({{"dir/inner.txt", "inner"}});
    ftp.setPassiveMode(false);
    log.clear();
    EXPECT_TRUE(Names().contains("file1.bin"));
    ftp.SendFile(Local("file1.bin"), 0, "copy.bin", false);
    EXPECT_EQ(ReadTestFile(Remote("copy.bin")), "x");
    ftp.ReceiveFolder("dir/*", Local("dir"), true);
    EXPECT_EQ(ReadTestFile(Local("dir/inner.txt")), "inner");
    EXPECT_GE(log.filter("EPRT |1|127.0.0.1|").size(), 3) << Log();
    EXPECT_FALSE(Logged("uses passive mode")) << "active mode worked without falling back";
    aborter = QObject::connect(&ftp, &FtpComponent::progress, [&](qint64, qint64, int) { ftp.setAbort(true); });
    EXPECT_EQ(ErrorOf([&] { ftp.ReceiveFile("file2.bin", 0, Local("again.bin")); }).number, kAborted);
    QObject::disconnect(aborter);
    EXPECT_TRUE(Names().contains("copy.bin")) << "the connection works after the abort";
    EXPECT_TRUE(log.filter(QRegularExpression("^(PASV|EPSV)$")).isEmpty()) << "no passive command in active mode";
    ftp.setPassiveMode(true);

    // Replacing a longer file leaves no old bytes behind.
    ASSERT_TRUE(WriteTestFile(Local("short.bin"), "new"));
    ftp.SendFile(Local("short.bin"), 0, "file2.bin", false);
    EXPECT_EQ(ReadTestFile(Remote("file2.bin")), "new");
    // An upload resumed from the middle; without the resume flag the whole file goes again.
    const QByteArray data = huge.left(3 << 20);
    const qint64 half = data.size() / 2 + 13;
    ASSERT_TRUE(WriteTestFile(Local("big.bin"), data));
    Place({{"up.bin", data.left(half)}});
    ftp.SendFile(Local("big.bin"), half, "up.bin", true);
    EXPECT_TRUE(ReadTestFile(Remote("up.bin")) == data);
    Place({{"up.bin", "garbage that must go"}});
    ftp.SendFile(Local("big.bin"), half, "up.bin", false);
    EXPECT_TRUE(ReadTestFile(Remote("up.bin")) == data);
    // A resume past the local file's end is refused before anything changes.
    EXPECT_EQ(ErrorOf([&] { ftp.ReceiveFile("up.bin", 10, Local("short.bin")); }).number, kInvalidArgument);
    EXPECT_EQ(ReadTestFile(Local("short.bin")), "new");

    ftp.setTransferType(1);
    const QByteArray text = "line one\nline two\r\nlast\n";
    ASSERT_TRUE(WriteTestFile(Local("notes.txt"), text));
    ftp.SendFile(Local("notes.txt"), 0, "notes.txt", false);
    if (!GetParam().bVsftpd) {  // vsftpd stores ASCII uploads as they come, CRLF and all
        EXPECT_EQ(ReadTestFile(Remote("notes.txt")), "line one\nline two\nlast\n");
    }
    ftp.ReceiveFile("notes.txt", 0, Local("back.txt"));
    EXPECT_EQ(ReadTestFile(Local("back.txt")), "line one\nline two\nlast\n");
    ftp.setTransferType(0);
    ftp.SendFile(Local("notes.txt"), 0, "raw.txt", false);
    EXPECT_EQ(ReadTestFile(Remote("raw.txt")), text);

    const QDateTime then(QDate(2020, 1, 2), QTime(3, 4, 5), Qt::UTC), earlier(QDate(2019, 5, 6), QTime(7, 8, 9), Qt::UTC);
    ASSERT_NO_FATAL_FAILURE(SetTime(Remote("raw.txt"), then));
    ftp.ReceiveFile("raw.txt", 0, Local("old.txt"));
    EXPECT_EQ(QFileInfo(Local("old.txt")).lastModified().toUTC(), then);
    ASSERT_NO_FATAL_FAILURE(SetTime(Local("notes.txt"), earlier));
    ftp.SendFile(Local("notes.txt"), 0, "up.txt", false);
    if (!GetParam().bVsftpd) {  // vsftpd cannot set times (no MFMT)
        EXPECT_EQ(QFileInfo(Remote("up.txt")).lastModified().toUTC(), earlier);
    }
}

TEST_P(FtpEngineTest, FolderTreesTravelAndExistingFilesAreAskedAbout)
{
    Place({{"tree/a.txt", "a"}, {"tree/b.log", "b"}, {"tree/sub/c.txt", "c"}, {"tree/sub/deeper/d.txt", "d"}, {"tree/.hidden", "h"}});
    // vsftpd names the folder a link leads to by the folder's own path, so the loop shows.
    if (GetParam().bVsftpd) { ASSERT_TRUE(QFile::link("..", Remote("tree/sub/up"))); }
    ASSERT_NO_FATAL_FAILURE(Connect());
    ftp.ReceiveFolder("tree/*", Local("flat"), false);
    EXPECT_EQ(TreeOf(Local("flat")).keys(), (QStringList{".hidden", "a.txt", "b.log"})) << "hidden files too, no subfolder";
    EXPECT_EQ(ReadTestFile(Local("flat/a.txt")), "a");
    EXPECT_TRUE(Skipped("sub", FtpComponent::kSkipSubfolder)) << skipped.join(' ').toStdString();
    ftp.ReceiveFolder("tree\\*.txt", Local("deep"), true);
    EXPECT_EQ(TreeOf(Local("deep")).keys(), (QStringList{"a.txt", "sub", "sub/c.txt", "sub/deeper", "sub/deeper/d.txt"}))
        << "the mask filters files";
    EXPECT_EQ(ReadTestFile(Local("deep/sub/deeper/d.txt")), "d");
    if (GetParam().bVsftpd) { EXPECT_TRUE(Skipped("up", FtpComponent::kSkipLoop)) << skipped.join(' ').toStdString(); }
    skipped.clear();
    ftp.SendFolder(Local("deep/*"), "copy", true, true);
    EXPECT_EQ(TreeOf(Remote("copy")), TreeOf(Local("deep")));
    ftp.SendFolder(Local("deep/*"), "shallow", true, false);
    EXPECT_EQ(TreeOf(Remote("shallow")).keys(), QStringList{"a.txt"});
    EXPECT_TRUE(Skipped("sub", FtpComponent::kSkipSubfolder));

    ftp.setExistingFiles(ExistingFiles::Policy::Ask);
    QList<ExistingFileQuestion> questions;
    QList<int> answers;
    QObject::connect(&ftp, &FtpComponent::existingFileQuery, [&](const ExistingFileQuestion& q, int& nAnswer) {
        questions << q;
        nAnswer = answers.value(questions.size() - 1, ExistingFiles::kCancel);
    });
    const QString copy = Local("copy");
    skipped.clear();
    ftp.ReceiveFolder("copy/*", copy, true);
    ftp.ReceiveFolder("copy/*", copy, true);  // all the same now: nothing questions
    EXPECT_TRUE(questions.isEmpty());
    EXPECT_EQ(skipped.filter(QStringLiteral("|%1").arg(FtpComponent::kSkipIdentical)).size(), 3) << skipped.join(' ').toStdString();
    // Another size, or a time a second off within the same minute (which
    // only the exact time, MLSD or MDTM, shows): another file.
    ASSERT_TRUE(WriteTestFile(copy + "/a.txt", "changed here"));
    const qint64 t = QFileInfo(copy + "/sub/c.txt").lastModified().toSecsSinceEpoch();
    ASSERT_NO_FATAL_FAILURE(SetTime(copy + "/sub/c.txt", QDateTime::fromSecsSinceEpoch(t - t % 60 + (t % 60 ? 0 : 1))));
    answers = {ExistingFiles::kSkip, ExistingFiles::kSkip, ExistingFiles::kOverwrite, ExistingFiles::kOverwrite};
    ftp.ReceiveFolder("copy/*", copy, true);
    EXPECT_EQ(ReadTestFile(copy + "/a.txt"), "changed here") << "skipped: the copy stays";
    ftp.ReceiveFolder("copy/*", copy, true);
    EXPECT_EQ(ReadTestFile(copy + "/a.txt"), "a");
    ASSERT_EQ(questions.size(), 4);
    const auto a = std::find_if(questions.cbegin(), questions.cend(), [](const auto& q) { return q.sName.endsWith("/a.txt"); });
    ASSERT_NE(a, questions.cend());
    EXPECT_FALSE(a->bUpload);
    EXPECT_EQ(a->source.nSize, 1);
    EXPECT_EQ(a->destination.nSize, 12);
    // Uploads into a folder that exists ask the same way.
    questions.clear();
    answers = {ExistingFiles::kCancel};
    ASSERT_TRUE(WriteTestFile(copy + "/sub/c.txt", "changed too"));
    ftp.SendFolder(copy + "/*", "copy", true, true);
    ASSERT_EQ(questions.size(), 1);
    EXPECT_TRUE(questions[0].bUpload);
    EXPECT_EQ(ReadTestFile(Remote("copy/sub/c.txt")), "c");
}

INSTANTIATE_TEST_SUITE_P(Servers, FtpEngineTest,
                         ::testing::Values(ServerKind{"pyftpdlib", false, true}, ServerKind{"pyftpdlibList", false, false},
                                           ServerKind{"vsftpd", true, false}, ServerKind{"vsftpdLatin1", true, false, false}),
                         [](const auto& info) { return std::string(info.param.name); });
