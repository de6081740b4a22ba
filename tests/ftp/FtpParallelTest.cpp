// Folder transfers over several connections against real servers: the same
// tree and the same skipped items as over one connection, a server that
// takes fewer connections than asked for, and an abort that stops them all.
#include "FtpFixture.h"

#include <QDeadlineTimer>
#include <QRegularExpression>
#include <QThread>
#include <QTimeZone>

#include <list>

namespace {

// Six folders, some nested, with files from empty to a few hundred KiB, and
// a .log file in each that a "*.txt" mask leaves out.
void MakeTree(const QString& root)
{
    QRandomGenerator random(7);
    for (const char* folder : {"", "/a", "/a/deep", "/b", "/b/one", "/b/one/two"}) {
        for (int i = 0; i < 8; ++i)
            WriteTestFile(QStringLiteral("%1%2/f%3.txt").arg(root, QLatin1String(folder)).arg(i),
                          RandomBytes(i == 0 ? 0 : random.bounded(1, 300'000), random.generate()));
        WriteTestFile(root + folder + "/notes.log", "not asked for");
    }
}

// A component for the server over nConnections, with what it started.
struct ParallelClient : FtpClient {
    QStringList started;
    ParallelClient(const FtpTestServer& server, int nConnections)
    {
        PointAtServer(ftp, server, 20'000);
        ftp.setParallelConnections(nConnections);
        QObject::connect(&ftp, &FtpComponent::receiving, [this](const QString& s) { started << s; });
        QObject::connect(&ftp, &FtpComponent::sending, [this](const QString& s) { started << s; });
    }
};

}  // namespace

TEST(FtpParallelTest, ManyConnectionsCopyTheSameTreeAsOneBothWays)
{
    VsftpdServer vsftpd;
    PyFtpdServer pyftpd;
    for (FtpTestServer* server : std::initializer_list<FtpTestServer*>{&pyftpd, &vsftpd}) {
        KELVO_START_OR_SKIP(*server);
        const QString remote = server->root();
        MakeTree(remote + "/tree");
        // A time well in the past, which the copies must carry (from the MLSD
        // listing on pyftpdlib, asked for with MDTM on vsftpd).
        const QDateTime past(QDate(2020, 5, 1), QTime(10, 20, 30), QTimeZone::utc());
        QFile old(remote + "/tree/b/one/f2.txt");
        ASSERT_TRUE(old.open(QIODevice::Append) && old.setFileTime(past, QFileDevice::FileModificationTime));
        QTemporaryDir local;
        QStringList skipped[2], started[2];
        for (int i = 0; i < 2; ++i) {
            ParallelClient client(*server, i ? 4 : 1);
            const QString copy = local.filePath(i ? "four" : "one");
            QDir().mkpath(copy + "/a/f3.txt");  // a folder where a file should go: that file cannot be written
            QFile::link("/nonexistent/f4.txt", copy + "/a/f4.txt");  // nor can one through a link that leads nowhere
            ASSERT_TRUE(client.Succeeds([&] { client.ftp.Connect(); }));
            client.ftp.ReceiveFolder("tree/*.txt", copy, true);
            EXPECT_EQ(client.ftp.currentFolder(), "/") << "the current folder is restored";
            EXPECT_EQ(client.Logged("[2] "), i == 1) << "extra connections used: " << client.Log();
            EXPECT_EQ(client.skipDetails.filter(QRegularExpression("^Cannot write .*/a/f[34].txt: .")).size(), 2) << client.Log();
            (skipped[i] = client.skipped).sort();
            (started[i] = client.started).sort();
            client.ftp.SendFolder(copy + "/*", i ? "up4" : "up1", true, true);
        }
        const auto tree = TreeOf(local.filePath("four"));
        EXPECT_EQ(tree, TreeOf(local.filePath("one")));
        EXPECT_EQ(tree.value("b/one/two/f5.txt"), TreeOf(remote + "/tree").value("b/one/two/f5.txt"));
        EXPECT_FALSE(tree.contains("notes.log"));
        EXPECT_EQ(tree.value("a/f3.txt"), "<dir>");
        for (const char* copy : {"/four", "/one"})
            EXPECT_EQ(QFileInfo(local.path() + copy + "/b/one/f2.txt").lastModified().toUTC(), past) << copy;
        // The same items skipped for the same reasons, whichever connection
        // met them, and every file started exactly once.
        EXPECT_EQ(skipped[1], skipped[0]);
        EXPECT_EQ(skipped[1].filter(QStringLiteral("|%1").arg(FtpComponent::kSkipLocalError)).size(), 2) << skipped[1].join(' ').toStdString();
        EXPECT_EQ(skipped[1].filter(QStringLiteral("|%1").arg(FtpComponent::kSkipNoMatch)).size(), 6);
        EXPECT_EQ(started[1], started[0]) << "every file once, none twice";
        EXPECT_EQ(TreeOf(remote + "/up4"), TreeOf(remote + "/up1"));
        EXPECT_EQ(TreeOf(remote + "/up4"), tree);
    }
}

TEST(FtpParallelTest, FewerConnectionsThanAskedForStillCopyEverything)
{
    // The server takes only this many control connections and answers 421 to the rest.
    for (int nLimit : {1, 2}) {
        SCOPED_TRACE(nLimit);
        PyFtpdServer server(PyFtpdServer::Options{.nMaxConnections = nLimit});
        KELVO_START_OR_SKIP(server);
        MakeTree(server.root() + "/tree");
        ParallelClient client(server, 4);
        ASSERT_TRUE(client.Succeeds([&] {
            client.ftp.Connect();
            client.ftp.ReceiveFolder("tree/*", client.Local("copy"), true);
        }));
        // A refused connection is logged, unless the copy was done before it
        // was refused (then it is called off unnoticed).
        EXPECT_LE(client.log.filter("No extra connection:").size(), 4 - nLimit) << client.Log();
        ASSERT_TRUE(client.Succeeds([&] { client.ftp.SendFolder(client.Local("copy/*"), "back", true, true); }));
        EXPECT_EQ(TreeOf(client.Local("copy")), TreeOf(server.root() + "/tree"));
        EXPECT_EQ(TreeOf(server.root() + "/back"), TreeOf(server.root() + "/tree"));
    }
}

TEST(FtpParallelTest, AbortStopsEveryConnection)
{
    PyFtpdServer server(PyFtpdServer::Options{.nMaxConnections = 5});
    KELVO_START_OR_SKIP(server);
    // Enough data that the transfer is still running when the abort comes.
    const QByteArray data(16 << 20, 'x');
    for (int i = 0; i < 8; ++i) WriteTestFile(server.root() + QStringLiteral("/big/file%1.bin").arg(i), data);
    ParallelClient client(server, 4);
    qint64 nSeen = 0;
    const auto aborter = QObject::connect(&client.ftp, &FtpComponent::progress, [&](qint64 nBytes, qint64, int) {
        nSeen = qMax(nSeen, nBytes);
        if (nBytes > 0) client.ftp.setAbort(true);
    });
    ASSERT_TRUE(client.Succeeds([&] { client.ftp.Connect(); }));
    EXPECT_EQ(ErrorOf([&] { client.ftp.ReceiveFolder("big/*", client.Local("big"), true); }).number, kAborted) << client.Log();
    EXPECT_GT(nSeen, 0);
    qint64 nArrived = 0;
    for (const QFileInfo& info : QDir(client.Local("big")).entryInfoList(QDir::Files)) nArrived += info.size();
    EXPECT_LT(nArrived, 8 * data.size()) << "the files stopped coming";
    // Every extra connection has gone: with ours still logged in, the server
    // takes four more logins again (it may need a moment to see the closed ones).
    std::list<FtpClient> others(4);
    for (FtpClient& other : others) {
        PointAtServer(other.ftp, server);
        const QDeadlineTimer deadline(5000);
        while (!other.Succeeds([&] { other.ftp.Connect(); }) && !deadline.hasExpired()) QThread::msleep(100);
        EXPECT_EQ(other.ftp.state(), FtpComponent::kStateConnected);
    }
    // And the component goes on working over its own connection.
    QObject::disconnect(aborter);
    client.ftp.setParallelConnections(1);
    EXPECT_TRUE(client.Succeeds([&] { client.ftp.ReceiveFile("big/file0.bin", 0, client.Local("again.bin")); }));
    EXPECT_EQ(QFileInfo(client.Local("again.bin")).size(), data.size());
}
