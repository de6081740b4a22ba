// The FTP component against real servers on loopback: pyftpdlib (with MLSD
// and, as a second flavour, with LIST only) and vsftpd.
#include "ErrorOf.h"
#include "FtpTestServers.h"
#include "PointAtServer.h"
#include "TestFiles.h"
#include "StartOrSkip.h"
#include "ftp/ExistingFiles.h"
#include "ftp/FtpComponent.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <memory>

namespace {

using namespace FtpErrorNumber;

QByteArray RandomBytes(qint64 size, quint32 seed)
{
    QByteArray data(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    generator.fillRange(reinterpret_cast<quint32*>(data.data()), size / 4);
    for (qint64 i = size / 4 * 4; i < size; ++i) data[i] = static_cast<char>(generator.generate());
    return data;
}



QByteArray Sha256(const QByteArray& data) { return QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex(); }

struct ServerKind {
    const char* name;
    bool bVsftpd;
    bool bMlsd;
    bool bUtf8 = true;  // the server announces UTF8 (vsftpd's own default does not)
};

class FtpEngineTest : public ::testing::TestWithParam<ServerKind> {
protected:
    void SetUp() override
    {
        const ServerKind kind = GetParam();
        if (kind.bVsftpd) {
            VsftpdServer::Options options;
            options.bUtf8 = kind.bUtf8;
            m_server = std::make_unique<VsftpdServer>(options);
        } else {
            PyFtpdServer::Options options;
            options.bMlsd = kind.bMlsd;
            m_server = std::make_unique<PyFtpdServer>(options);
        }
        KELVO_START_OR_SKIP(*m_server, "the server did not start");
        m_ftp = std::make_unique<FtpComponent>();
        PointAtServer(*m_ftp, *m_server, 20'000);
        QObject::connect(m_ftp.get(), &FtpComponent::logText, [this](const QString& line, long) { m_log << line; });
        QObject::connect(m_ftp.get(), &FtpComponent::itemSkipped,
                         [this](const QString& remote, const QString& local, long reason) {
                             m_skipped << QStringLiteral("%1|%2|%3").arg(QFileInfo(remote).fileName(),
                                                                         QFileInfo(local).fileName())
                                              .arg(reason);
                         });
    }

    void TearDown() override
    {
        if (m_ftp) {
            try {
                m_ftp->Disconnect();
            } catch (const FtpError&) {
            }
        }
        m_ftp.reset();
        m_server.reset();
    }

    // Files placed straight into the server's folder belong to its user, so
    // that the server may rename and delete them.
    void Place(const QString& relative, const QByteArray& data)
    {
        ASSERT_TRUE(WriteTestFile(Remote(relative), data));
        GiveToServer();
    }
    void GiveToServer()
    {
        QProcess::execute(QStringLiteral("chown"), {QStringLiteral("-R"), QStringLiteral("--reference=") + m_server->root(),
                                                    m_server->root()});
    }
    QString Remote(const QString& relative) const { return m_server->root() + QLatin1Char('/') + relative; }
    // How a name stored in UTF-8 reads from this server: as it is, or byte
    // by byte where the server does not announce UTF8.
    QString Listed(const QString& name) const { return GetParam().bUtf8 ? name : QString::fromLatin1(name.toUtf8()); }
    QString Local(const QString& relative) const { return m_local.path() + QLatin1Char('/') + relative; }

    void Connect()
    {
        const FtpError e = ErrorOf([&] { m_ftp->Connect(); });
        ASSERT_EQ(e.number, 0) << e.description.toStdString() << "\n" << m_log.join(QLatin1Char('\n')).toStdString();
    }


    std::unique_ptr<FtpTestServer> m_server;
    std::unique_ptr<FtpComponent> m_ftp;
    QTemporaryDir m_local;
    QStringList m_log, m_skipped;
};

}  // namespace

TEST_P(FtpEngineTest, LoginWorksAndAWrongPasswordIsRefused)
{
    m_ftp->setPassword(QStringLiteral("wrong password"));
    const FtpError refused = ErrorOf([&] { m_ftp->Connect(); });
    EXPECT_EQ(refused.number, kLoginFailed);
    EXPECT_TRUE(refused.description.contains(QStringLiteral("530"))) << refused.description.toStdString();
    EXPECT_EQ(m_ftp->state(), FtpComponent::kStateNotConnected);

    m_ftp->setPassword(m_server->password());
    const FtpError second = ErrorOf([&] { m_ftp->Connect(); });
    ASSERT_EQ(second.number, 0) << second.description.toStdString() << "\n" << m_log.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(m_ftp->state(), FtpComponent::kStateConnected);
    EXPECT_EQ(m_ftp->currentFolder(), QStringLiteral("/"));
    EXPECT_EQ(m_ftp->GetProperty(FtpComponent::kState).toLongLong(), 2);
    EXPECT_FALSE(m_log.filter(QStringLiteral("PASS ")).isEmpty());
    for (const QString& line : m_log) EXPECT_FALSE(line.contains(m_server->password())) << line.toStdString();

    const FtpError busy = ErrorOf([&] { m_ftp->Connect(); });
    EXPECT_EQ(busy.number, kInvalidArgument) << "already connected";
    m_ftp->Disconnect();
    EXPECT_EQ(m_ftp->state(), FtpComponent::kStateNotConnected);
    EXPECT_EQ(ErrorOf([&] { m_ftp->ChangeFolder(QStringLiteral("x")); }).number, kNotConnected);
}

TEST_P(FtpEngineTest, ListingShowsFilesFoldersLinksAndOddNames)
{
    Place(QStringLiteral("a.txt"), "abc");
    Place(QStringLiteral("name with  spaces.txt"), "12345");
    Place(QStringLiteral("Grüße.txt"), "x");
    Place(QStringLiteral("sub/inner.txt"), "inner");
    ASSERT_TRUE(QFile::link(QStringLiteral("a.txt"), Remote(QStringLiteral("link"))));
    GiveToServer();

    ASSERT_NO_FATAL_FAILURE(Connect());
    const QList<ListingEntry> entries = m_ftp->FolderContents();
    QMap<QString, ListingEntry> byName;
    for (const ListingEntry& e : entries) byName.insert(e.name, e);
    ASSERT_TRUE(byName.contains(QStringLiteral("a.txt"))) << QStringList(byName.keys()).join(QLatin1Char(',')).toStdString();
    EXPECT_EQ(byName[QStringLiteral("a.txt")].size, 3);
    EXPECT_EQ(byName[QStringLiteral("a.txt")].kind, ListingEntry::File);
    EXPECT_TRUE(byName[QStringLiteral("a.txt")].date.isValid());
    EXPECT_LE(qAbs(byName[QStringLiteral("a.txt")].date.secsTo(QDateTime::currentDateTime())), 24 * 3600);
    EXPECT_EQ(byName[QStringLiteral("name with  spaces.txt")].size, 5);
    EXPECT_TRUE(byName.contains(Listed(QStringLiteral("Grüße.txt"))));
    EXPECT_EQ(byName[QStringLiteral("sub")].kind, ListingEntry::Folder);
    ASSERT_TRUE(byName.contains(QStringLiteral("link")));
    // pyftpdlib's MLSD reports what a link points to; LIST shows the link.
    if (!GetParam().bMlsd || GetParam().bVsftpd) {
        EXPECT_EQ(byName[QStringLiteral("link")].kind, ListingEntry::Link);
    }

    QStringList signalled;
    QObject::connect(m_ftp.get(), &FtpComponent::listingEntry,
                     [&](const QString& name, const QDateTime&, qint64, int, const QString&) { signalled << name; });
    m_ftp->ListFolder(QStringLiteral("*.txt"));
    signalled.sort();
    EXPECT_EQ(signalled, (QStringList{Listed(QStringLiteral("Grüße.txt")), QStringLiteral("a.txt"), QStringLiteral("name with  spaces.txt")}));

    m_ftp->ChangeFolder(QStringLiteral("sub"));
    EXPECT_EQ(m_ftp->currentFolder(), QStringLiteral("/sub"));
    ASSERT_EQ(m_ftp->FolderContents().size(), 1);
    m_ftp->ParentFolder();
    EXPECT_EQ(m_ftp->currentFolder(), QStringLiteral("/"));
    const FtpError missing = ErrorOf([&] { m_ftp->ChangeFolder(QStringLiteral("no such folder")); });
    EXPECT_EQ(missing.number, kRefused);
    EXPECT_TRUE(missing.description.startsWith(QStringLiteral("550"))) << missing.description.toStdString();
}

TEST_P(FtpEngineTest, FilesOfEverySizeTravelIntact)
{
    const QList<QByteArray> contents = {QByteArray(), QByteArray("x"), RandomBytes(64 << 20, 7)};
    ASSERT_NO_FATAL_FAILURE(Connect());
    qint64 lastProgress = -1;
    QStringList receiving, sending;
    QObject::connect(m_ftp.get(), &FtpComponent::progress, [&](qint64 done, qint64, int) { lastProgress = done; });
    QObject::connect(m_ftp.get(), &FtpComponent::receiving, [&](const QString& name) { receiving << name; });
    QObject::connect(m_ftp.get(), &FtpComponent::sending, [&](const QString& name) { sending << name; });
    for (qsizetype i = 0; i < contents.size(); ++i) {
        const QString name = QStringLiteral("file%1.bin").arg(i);
        ASSERT_TRUE(WriteTestFile(Local(name), contents[i]));
        m_ftp->SendFile(Local(name), 0, name, false);
        EXPECT_EQ(Sha256(ReadTestFile(Remote(name))), Sha256(contents[i])) << "upload " << i;
        EXPECT_EQ(lastProgress, contents[i].size());

        const QString back = Local(QStringLiteral("back%1.bin").arg(i));
        m_ftp->ReceiveFile(name, 0, back);
        EXPECT_EQ(Sha256(ReadTestFile(back)), Sha256(contents[i])) << "download " << i;
        EXPECT_EQ(lastProgress, contents[i].size());
    }
    EXPECT_EQ(receiving.size(), 3);
    EXPECT_EQ(sending.first(), QStringLiteral("file0.bin"));

    // Replacing a longer file leaves no old bytes behind.
    ASSERT_TRUE(WriteTestFile(Local(QStringLiteral("short.bin")), "new"));
    m_ftp->SendFile(Local(QStringLiteral("short.bin")), 0, QStringLiteral("file2.bin"), false);
    EXPECT_EQ(ReadTestFile(Remote(QStringLiteral("file2.bin"))), QByteArray("new"));
    m_ftp->ReceiveFile(QStringLiteral("file1.bin"), 0, Local(QStringLiteral("back2.bin")));
    EXPECT_EQ(ReadTestFile(Local(QStringLiteral("back2.bin"))), QByteArray("x"));
}

TEST_P(FtpEngineTest, AsciiModeConvertsLineEndsBothWays)
{
    ASSERT_NO_FATAL_FAILURE(Connect());
    m_ftp->setTransferType(1);
    const QByteArray text = "line one\nline two\r\nlast\n";
    ASSERT_TRUE(WriteTestFile(Local(QStringLiteral("notes.txt")), text));
    m_ftp->SendFile(Local(QStringLiteral("notes.txt")), 0, QStringLiteral("notes.txt"), false);
    if (!GetParam().bVsftpd) {  // vsftpd stores ASCII uploads as they come, CRLF and all
        EXPECT_EQ(ReadTestFile(Remote(QStringLiteral("notes.txt"))), QByteArray("line one\nline two\nlast\n"));
    }
    m_ftp->ReceiveFile(QStringLiteral("notes.txt"), 0, Local(QStringLiteral("back.txt")));
    EXPECT_EQ(ReadTestFile(Local(QStringLiteral("back.txt"))), QByteArray("line one\nline two\nlast\n"));

    // Binary again: the same bytes exactly.
    m_ftp->setTransferType(0);
    m_ftp->SendFile(Local(QStringLiteral("notes.txt")), 0, QStringLiteral("raw.txt"), false);
    EXPECT_EQ(ReadTestFile(Remote(QStringLiteral("raw.txt"))), text);
}

TEST_P(FtpEngineTest, TransfersCarryTheModificationTime)
{
    const QDateTime then(QDate(2020, 1, 2), QTime(3, 4, 5), Qt::UTC);
    Place(QStringLiteral("old.txt"), "old");
    {
        QFile remote(Remote(QStringLiteral("old.txt")));
        ASSERT_TRUE(remote.open(QIODevice::Append));
        ASSERT_TRUE(remote.setFileTime(then, QFileDevice::FileModificationTime));
    }
    ASSERT_NO_FATAL_FAILURE(Connect());
    m_ftp->ReceiveFile(QStringLiteral("old.txt"), 0, Local(QStringLiteral("old.txt")));
    EXPECT_EQ(QFileInfo(Local(QStringLiteral("old.txt"))).lastModified().toUTC(), then);

    const QDateTime earlier(QDate(2019, 5, 6), QTime(7, 8, 9), Qt::UTC);
    ASSERT_TRUE(WriteTestFile(Local(QStringLiteral("up.txt")), "up"));
    {
        QFile local(Local(QStringLiteral("up.txt")));
        ASSERT_TRUE(local.open(QIODevice::Append));
        ASSERT_TRUE(local.setFileTime(earlier, QFileDevice::FileModificationTime));
    }
    m_ftp->SendFile(Local(QStringLiteral("up.txt")), 0, QStringLiteral("up.txt"), false);
    if (!GetParam().bVsftpd) {  // vsftpd cannot set times (no MFMT)
        EXPECT_EQ(QFileInfo(Remote(QStringLiteral("up.txt"))).lastModified().toUTC(), earlier);
    }
}

TEST_P(FtpEngineTest, TransfersResumeFromTheMiddle)
{
    const QByteArray data = RandomBytes(3 << 20, 11);
    const qint64 half = data.size() / 2 + 13;
    Place(QStringLiteral("big.bin"), data);
    ASSERT_NO_FATAL_FAILURE(Connect());

    ASSERT_TRUE(WriteTestFile(Local(QStringLiteral("big.bin")), data.left(half)));
    m_ftp->ReceiveFile(QStringLiteral("big.bin"), half, Local(QStringLiteral("big.bin")));
    EXPECT_EQ(Sha256(ReadTestFile(Local(QStringLiteral("big.bin")))), Sha256(data));

    Place(QStringLiteral("up.bin"), data.left(half));
    ASSERT_TRUE(WriteTestFile(Local(QStringLiteral("up.bin")), data));
    m_ftp->SendFile(Local(QStringLiteral("up.bin")), half, QStringLiteral("up.bin"), true);
    EXPECT_EQ(Sha256(ReadTestFile(Remote(QStringLiteral("up.bin")))), Sha256(data));

    // Without the resume flag the whole file is sent again.
    Place(QStringLiteral("up.bin"), "garbage that must go");
    m_ftp->SendFile(Local(QStringLiteral("up.bin")), half, QStringLiteral("up.bin"), false);
    EXPECT_EQ(Sha256(ReadTestFile(Remote(QStringLiteral("up.bin")))), Sha256(data));

    // A resume past the local file's end is refused before anything changes.
    ASSERT_TRUE(WriteTestFile(Local(QStringLiteral("small.bin")), "abc"));
    EXPECT_EQ(ErrorOf([&] { m_ftp->ReceiveFile(QStringLiteral("big.bin"), 10, Local(QStringLiteral("small.bin"))); }).number,
              kInvalidArgument);
    EXPECT_EQ(ReadTestFile(Local(QStringLiteral("small.bin"))), QByteArray("abc"));
}

TEST_P(FtpEngineTest, FolderTreesTravelWithAndWithoutSubfolders)
{
    Place(QStringLiteral("tree/a.txt"), "a");
    Place(QStringLiteral("tree/b.log"), "b");
    Place(QStringLiteral("tree/sub/c.txt"), "c");
    Place(QStringLiteral("tree/sub/deeper/d.txt"), "d");
    Place(QStringLiteral("tree/.hidden"), "h");
    // A link back into the tree; vsftpd names the folder a link leads to by
    // the folder's own path, so the loop shows.
    if (GetParam().bVsftpd) {
        ASSERT_TRUE(QFile::link(QStringLiteral(".."), Remote(QStringLiteral("tree/sub/up"))));
    }
    ASSERT_NO_FATAL_FAILURE(Connect());

    m_ftp->ReceiveFolder(QStringLiteral("tree/*"), Local(QStringLiteral("flat")), false);
    EXPECT_EQ(ReadTestFile(Local(QStringLiteral("flat/a.txt"))), QByteArray("a"));
    EXPECT_EQ(ReadTestFile(Local(QStringLiteral("flat/.hidden"))), QByteArray("h")) << "hidden files come too";
    EXPECT_FALSE(QFileInfo::exists(Local(QStringLiteral("flat/sub"))));
    EXPECT_TRUE(m_skipped.contains(QStringLiteral("sub||%1").arg(FtpComponent::kSkipSubfolder))) << m_skipped.join(QLatin1Char(' ')).toStdString();
    EXPECT_EQ(m_ftp->currentFolder(), QStringLiteral("/")) << "the current folder is restored";

    m_ftp->ReceiveFolder(QStringLiteral("tree\\*.txt"), Local(QStringLiteral("deep")), true);
    EXPECT_EQ(ReadTestFile(Local(QStringLiteral("deep/sub/deeper/d.txt"))), QByteArray("d"));
    EXPECT_EQ(ReadTestFile(Local(QStringLiteral("deep/sub/c.txt"))), QByteArray("c"));
    EXPECT_FALSE(QFileInfo::exists(Local(QStringLiteral("deep/b.log")))) << "the mask filters files";
    EXPECT_EQ(m_ftp->currentFolder(), QStringLiteral("/"));
    if (GetParam().bVsftpd) {
        EXPECT_TRUE(m_skipped.contains(QStringLiteral("up||%1").arg(FtpComponent::kSkipLoop))) << m_skipped.join(' ').toStdString();
        EXPECT_FALSE(QFileInfo::exists(Local(QStringLiteral("deep/sub/up"))));
    }

    m_skipped.clear();
    m_ftp->SendFolder(Local(QStringLiteral("deep")) + QStringLiteral("/*"), QStringLiteral("copy"), true, true);
    EXPECT_EQ(ReadTestFile(Remote(QStringLiteral("copy/sub/deeper/d.txt"))), QByteArray("d"));
    EXPECT_EQ(ReadTestFile(Remote(QStringLiteral("copy/a.txt"))), QByteArray("a"));
    m_ftp->SendFolder(Local(QStringLiteral("deep")) + QStringLiteral("/*"), QStringLiteral("shallow"), true, false);
    EXPECT_TRUE(QFileInfo::exists(Remote(QStringLiteral("shallow/a.txt"))));
    EXPECT_FALSE(QFileInfo::exists(Remote(QStringLiteral("shallow/sub"))));
    EXPECT_TRUE(m_skipped.contains(QStringLiteral("|sub|%1").arg(FtpComponent::kSkipSubfolder)));
    EXPECT_EQ(m_ftp->currentFolder(), QStringLiteral("/"));
}

TEST_P(FtpEngineTest, FileOperationsAndRefusals)
{
    Place(QStringLiteral("one.txt"), "1");
    Place(QStringLiteral("two.txt"), "2");
    ASSERT_NO_FATAL_FAILURE(Connect());

    m_ftp->CreateFolder(QStringLiteral("made"));
    EXPECT_TRUE(QFileInfo(Remote(QStringLiteral("made"))).isDir());
    EXPECT_EQ(ErrorOf([&] { m_ftp->CreateFolder(QStringLiteral("made")); }).number, kRefused);

    m_ftp->Rename(QStringLiteral("one.txt"), QStringLiteral("made/moved.txt"));
    EXPECT_EQ(ReadTestFile(Remote(QStringLiteral("made/moved.txt"))), QByteArray("1"));

    // Renaming onto a name that is taken is refused as "exists", and the
    // file there is not replaced.
    const FtpError taken = ErrorOf([&] { m_ftp->Rename(QStringLiteral("two.txt"), QStringLiteral("made/moved.txt")); });
    EXPECT_EQ(taken.number, kFileExists);
    EXPECT_EQ(ReadTestFile(Remote(QStringLiteral("made/moved.txt"))), QByteArray("1"));
    EXPECT_EQ(ErrorOf([&] { m_ftp->Rename(QStringLiteral("two.txt"), QStringLiteral("made")); }).number, kFileExists);
    EXPECT_EQ(ErrorOf([&] { m_ftp->Rename(QStringLiteral("ghost.txt"), QStringLiteral("x.txt")); }).number, kRefused);

    const FtpError notEmpty = ErrorOf([&] { m_ftp->RemoveFolder(QStringLiteral("made")); });
    EXPECT_EQ(notEmpty.number, kRefused);
    EXPECT_FALSE(notEmpty.description.isEmpty());
    m_ftp->DeleteFile(QStringLiteral("made/moved.txt"));
    m_ftp->RemoveFolder(QStringLiteral("made"));
    EXPECT_FALSE(QFileInfo::exists(Remote(QStringLiteral("made"))));
    const FtpError gone = ErrorOf([&] { m_ftp->DeleteFile(QStringLiteral("made/moved.txt")); });
    EXPECT_EQ(gone.number, kRefused);
    EXPECT_TRUE(gone.description.startsWith(QStringLiteral("550"))) << gone.description.toStdString();

    // A refused download leaves an existing local file untouched.
    ASSERT_TRUE(WriteTestFile(Local(QStringLiteral("keep.txt")), "precious"));
    EXPECT_EQ(ErrorOf([&] { m_ftp->ReceiveFile(QStringLiteral("ghost.txt"), 0, Local(QStringLiteral("keep.txt"))); }).number,
              kRefused);
    EXPECT_EQ(ReadTestFile(Local(QStringLiteral("keep.txt"))), QByteArray("precious"));

    // Raw commands: replies go to the log, refusals are not errors.
    m_log.clear();
    m_ftp->SendCommand(QStringLiteral("NOOP"));
    EXPECT_TRUE(m_log.filter(QStringLiteral("200")).size() >= 1) << m_log.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(m_ftp->lastReplyCode(), 200);
    m_ftp->SendCommand(QStringLiteral("XYZZY"));
    EXPECT_EQ(m_ftp->lastReplyCode() / 100, 5);
    EXPECT_EQ(m_ftp->state(), FtpComponent::kStateConnected);
    m_log.clear();
    m_ftp->SendCommand(QStringLiteral("QUOTE NOOP"));
    EXPECT_EQ(m_log.first(), QStringLiteral("NOOP")) << "QUOTE sends what follows it";
    m_log.clear();
    m_ftp->SendCommand(QStringLiteral("NLST"));
    EXPECT_TRUE(m_log.contains(QStringLiteral("two.txt"))) << m_log.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(ErrorOf([&] { m_ftp->SendCommand(QStringLiteral("RETR two.txt")); }).number, kInvalidArgument);
    EXPECT_EQ(ErrorOf([&] { m_ftp->SendCommand(QStringLiteral("NOOP\r\nDELE two.txt")); }).number, kInvalidArgument);
    EXPECT_TRUE(QFileInfo::exists(Remote(QStringLiteral("two.txt")))) << "no command smuggled in";
}

TEST_P(FtpEngineTest, AbortStopsATransferAndDoesNotStick)
{
    Place(QStringLiteral("huge.bin"), RandomBytes(64 << 20, 3));
    Place(QStringLiteral("tiny.txt"), "t");
    ASSERT_NO_FATAL_FAILURE(Connect());

    int nested = -1;
    auto abortOnProgress = QObject::connect(m_ftp.get(), &FtpComponent::progress, [&](qint64, qint64, int) {
        if (nested < 0) nested = static_cast<int>(
                            [&] {
                                try {
                                    m_ftp->ChangeFolder(QStringLiteral("/"));
                                } catch (const FtpError& e) {
                                    return e.number;
                                }
                                return 0L;
                            }());
        m_ftp->setAbort(true);
    });
    const FtpError aborted = ErrorOf([&] { m_ftp->ReceiveFile(QStringLiteral("huge.bin"), 0, Local(QStringLiteral("huge.bin"))); });
    EXPECT_EQ(aborted.number, kAborted);
    EXPECT_EQ(nested, kBusy) << "a call from an event handler is refused, not queued";
    EXPECT_LT(QFileInfo(Local(QStringLiteral("huge.bin"))).size(), 64 << 20);
    QObject::disconnect(abortOnProgress);

    m_ftp->setAbort(true);  // between calls: no effect on the next one
    EXPECT_EQ(m_ftp->state(), FtpComponent::kStateConnected);
    m_ftp->ReceiveFile(QStringLiteral("tiny.txt"), 0, Local(QStringLiteral("tiny.txt")));
    EXPECT_EQ(ReadTestFile(Local(QStringLiteral("tiny.txt"))), QByteArray("t"));
    EXPECT_FALSE(m_ftp->FolderContents().isEmpty());

    // The partial file resumes to the whole.
    const qint64 have = QFileInfo(Local(QStringLiteral("huge.bin"))).size();
    m_ftp->ReceiveFile(QStringLiteral("huge.bin"), have, Local(QStringLiteral("huge.bin")));
    EXPECT_EQ(Sha256(ReadTestFile(Local(QStringLiteral("huge.bin")))), Sha256(ReadTestFile(Remote(QStringLiteral("huge.bin")))));
}

TEST_P(FtpEngineTest, ActiveModeListsTransfersAndAborts)
{
    const QByteArray data = RandomBytes(8 << 20, 5);
    Place(QStringLiteral("data.bin"), data);
    Place(QStringLiteral("dir/inner.txt"), "inner");
    m_ftp->setPassiveMode(false);
    ASSERT_NO_FATAL_FAILURE(Connect());

    EXPECT_EQ(m_ftp->FolderContents().size(), 2);
    m_ftp->ReceiveFile(QStringLiteral("data.bin"), 0, Local(QStringLiteral("data.bin")));
    EXPECT_EQ(Sha256(ReadTestFile(Local(QStringLiteral("data.bin")))), Sha256(data));
    m_ftp->SendFile(Local(QStringLiteral("data.bin")), 0, QStringLiteral("copy.bin"), false);
    EXPECT_EQ(Sha256(ReadTestFile(Remote(QStringLiteral("copy.bin")))), Sha256(data));
    m_ftp->ReceiveFolder(QStringLiteral("dir/*"), Local(QStringLiteral("dir")), true);
    EXPECT_EQ(ReadTestFile(Local(QStringLiteral("dir/inner.txt"))), QByteArray("inner"));
    EXPECT_TRUE(m_log.filter(QStringLiteral("EPRT |1|127.0.0.1|")).size() >= 3) << m_log.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(m_log.filter(QStringLiteral("uses passive mode")).isEmpty()) << "active mode worked without falling back";
    EXPECT_TRUE(m_log.filter(QRegularExpression(QStringLiteral("^(PASV|EPSV)$"))).isEmpty()) << "no passive command sent";

    auto abortOnProgress =
        QObject::connect(m_ftp.get(), &FtpComponent::progress, [&](qint64, qint64, int) { m_ftp->setAbort(true); });
    EXPECT_EQ(ErrorOf([&] { m_ftp->ReceiveFile(QStringLiteral("data.bin"), 0, Local(QStringLiteral("again.bin"))); }).number,
              kAborted);
    QObject::disconnect(abortOnProgress);
    EXPECT_EQ(m_ftp->FolderContents().size(), 3) << "the connection works after the abort";
}

TEST_P(FtpEngineTest, NamesGoBackInTheBytesTheServerListed)
{
    Place(QStringLiteral("ключ.txt"), "key");
    ASSERT_NO_FATAL_FAILURE(Connect());
    // Listed, fetched and deleted by the name as listed: the same bytes go back.
    const QString listed = Listed(QStringLiteral("ключ.txt"));
    ASSERT_EQ(m_ftp->FolderContents().value(0).name, listed);
    m_ftp->ReceiveFile(listed, 0, Local(listed));
    EXPECT_EQ(ReadTestFile(Local(listed)), QByteArray("key"));
    m_ftp->DeleteFile(listed);
    EXPECT_FALSE(QFileInfo::exists(Remote(QStringLiteral("ключ.txt"))));
    if (GetParam().bVsftpd && GetParam().bUtf8) {
        // A name that is no UTF-8 on a server that speaks it reads as Latin-1
        // and still names its file.
        const QByteArray raw = QFile::encodeName(m_server->root()) + "/caf\xe9.bin";
        const int fd = ::open(raw.constData(), O_CREAT | O_WRONLY, 0644);
        ASSERT_TRUE(fd >= 0 && ::write(fd, "raw", 3) == 3 && ::close(fd) == 0);
        GiveToServer();
        ASSERT_EQ(m_ftp->FolderContents(QStringLiteral("caf*")).value(0).name, QStringLiteral("café.bin"));
        m_ftp->ReceiveFile(QStringLiteral("café.bin"), 0, Local(QStringLiteral("café.bin")));
        EXPECT_EQ(ReadTestFile(Local(QStringLiteral("café.bin"))), QByteArray("raw"));
    }

    // A new name goes out in the server's character set, or not at all.
    ASSERT_TRUE(WriteTestFile(Local(QStringLiteral("файл1.txt")), "one"));
    ASSERT_TRUE(WriteTestFile(Local(QStringLiteral("café.txt")), "cafe"));
    const FtpError upload = ErrorOf([&] { m_ftp->SendFile(Local(QStringLiteral("файл1.txt")), 0, QStringLiteral("файл1.txt"), false); });
    m_ftp->SendFile(Local(QStringLiteral("café.txt")), 0, QStringLiteral("café.txt"), false);
    QStringList stored;
    for (const ListingEntry& entry : m_ftp->FolderContents()) stored << entry.name;
    if (GetParam().bUtf8) {
        EXPECT_EQ(upload.number, 0) << upload.description.toStdString();
        EXPECT_EQ(ReadTestFile(Remote(QStringLiteral("файл1.txt"))), QByteArray("one"));
        EXPECT_EQ(ReadTestFile(Remote(QStringLiteral("café.txt"))), QByteArray("cafe"));
    } else {
        EXPECT_EQ(upload.number, kNameEncoding);
        EXPECT_TRUE(upload.description.contains(QStringLiteral("файл1.txt"))) << upload.description.toStdString();
        EXPECT_EQ(stored, QStringList{QStringLiteral("café.txt")});  // in Latin-1 on the server
        // Inside a folder upload such a file is skipped, and the rest goes.
        ASSERT_TRUE(WriteTestFile(Local(QStringLiteral("up/файл2.txt")), "two"));
        ASSERT_TRUE(WriteTestFile(Local(QStringLiteral("up/plain.txt")), "plain"));
        m_ftp->SendFolder(Local(QStringLiteral("up/*")), QStringLiteral("up"), true, true);
        EXPECT_EQ(m_skipped, QStringList{QStringLiteral("|файл2.txt|%1").arg(FtpComponent::kSkipEncoding)});
        EXPECT_EQ(ReadTestFile(Remote(QStringLiteral("up/plain.txt"))), QByteArray("plain"));
    }
    EXPECT_TRUE(stored.filter(QStringLiteral("?")).isEmpty()) << stored.join(QLatin1Char(',')).toStdString();
}

TEST_P(FtpEngineTest, FolderTransfersAskAboutExistingFiles)
{
    Place(QStringLiteral("tree/a.txt"), "aaa");
    Place(QStringLiteral("tree/sub/b.txt"), "bbb");
    ASSERT_NO_FATAL_FAILURE(Connect());
    m_ftp->setExistingFiles(ExistingFiles::Policy::Ask);
    QList<ExistingFileQuestion> asked;
    QList<int> answers;
    QObject::connect(m_ftp.get(), &FtpComponent::existingFileQuery, [&](const ExistingFileQuestion& q, int& nAnswer) {
        asked << q;
        nAnswer = answers.value(asked.size() - 1, ExistingFiles::kCancel);
    });
    const QString copy = Local(QStringLiteral("copy"));
    m_ftp->ReceiveFolder(QStringLiteral("tree/*"), copy, true);
    m_ftp->ReceiveFolder(QStringLiteral("tree/*"), copy, true);  // all the same now: nothing asked
    EXPECT_TRUE(asked.isEmpty());
    EXPECT_EQ(m_skipped.filter(QStringLiteral("|%1").arg(FtpComponent::kSkipIdentical)).size(), 2) << m_skipped.join(' ').toStdString();

    // Another size, or a time a second off within the same minute (which
    // only the exact time, MLSD or MDTM, shows): another file.
    ASSERT_TRUE(WriteTestFile(copy + QStringLiteral("/a.txt"), "changed here"));
    QFile b(copy + QStringLiteral("/sub/b.txt"));
    ASSERT_TRUE(b.open(QIODevice::Append));
    const qint64 t = b.fileTime(QFileDevice::FileModificationTime).toSecsSinceEpoch();
    ASSERT_TRUE(b.setFileTime(QDateTime::fromSecsSinceEpoch(t - t % 60 + (t % 60 ? 0 : 1)), QFileDevice::FileModificationTime));
    b.close();
    answers = {ExistingFiles::kSkip, ExistingFiles::kSkip, ExistingFiles::kOverwrite, ExistingFiles::kOverwrite};
    m_ftp->ReceiveFolder(QStringLiteral("tree/*"), copy, true);
    EXPECT_EQ(ReadTestFile(copy + QStringLiteral("/a.txt")), QByteArray("changed here")) << "skipped: the copy stays";
    m_ftp->ReceiveFolder(QStringLiteral("tree/*"), copy, true);
    EXPECT_EQ(ReadTestFile(copy + QStringLiteral("/a.txt")), QByteArray("aaa"));
    ASSERT_EQ(asked.size(), 4);
    const auto a = std::find_if(asked.cbegin(), asked.cend(), [](const auto& q) { return q.sName.endsWith("/a.txt"); });
    ASSERT_NE(a, asked.cend());
    EXPECT_FALSE(a->bUpload);
    EXPECT_EQ(a->source.nSize, 3);
    EXPECT_EQ(a->destination.nSize, 12);

    // Uploads into a folder that exists ask the same way.
    asked.clear();
    answers = {ExistingFiles::kCancel};
    ASSERT_TRUE(WriteTestFile(copy + QStringLiteral("/sub/b.txt"), "changed too"));
    m_ftp->SendFolder(copy + QStringLiteral("/*"), QStringLiteral("tree"), true, true);
    ASSERT_EQ(asked.size(), 1);
    EXPECT_TRUE(asked[0].bUpload);
    EXPECT_EQ(ReadTestFile(Remote(QStringLiteral("tree/sub/b.txt"))), QByteArray("bbb"));
}

INSTANTIATE_TEST_SUITE_P(Servers, FtpEngineTest,
                         ::testing::Values(ServerKind{"pyftpdlib", false, true}, ServerKind{"pyftpdlibList", false, false},
                                           ServerKind{"vsftpd", true, false}, ServerKind{"vsftpdLatin1", true, false, false}),
                         [](const ::testing::TestParamInfo<ServerKind>& info) { return std::string(info.param.name); });
