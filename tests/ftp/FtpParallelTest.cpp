// Folder transfers over several connections against real servers: the same
// tree and the same skipped items as over one connection, a server that
// takes fewer connections than asked for, and an abort that stops them all.
#include "FtpTestServers.h"
#include "PointAtServer.h"
#include "StartOrSkip.h"
#include "TestFiles.h"
#include "ftp/FtpComponent.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QMap>
#include <QProcess>
#include <QRandomGenerator>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QThread>

#include <gtest/gtest.h>

#include <memory>

namespace {

using namespace FtpErrorNumber;

// Relative path -> SHA-256 of every file under root (folders as "<dir>").
QMap<QString, QByteArray> TreeOf(const QString& root)
{
    QMap<QString, QByteArray> tree;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        const QString relative = QDir(root).relativeFilePath(info.filePath());
        tree.insert(relative, info.isDir() ? QByteArray("<dir>")
                                           : QCryptographicHash::hash(ReadTestFile(info.filePath()),
                                                                      QCryptographicHash::Sha256).toHex());
    }
    return tree;
}

// Six folders, some nested, with files from empty to a few hundred KiB, and
// a .log file in each that a "*.txt" mask leaves out.
void MakeTree(const QString& root)
{
    QRandomGenerator random(7);
    const QStringList folders = {QString(), QStringLiteral("a"), QStringLiteral("a/deep"), QStringLiteral("b"),
                                 QStringLiteral("b/one"), QStringLiteral("b/one/two")};
    for (const QString& folder : folders) {
        const QString base = folder.isEmpty() ? root : root + QLatin1Char('/') + folder;
        QDir().mkpath(base);
        for (int i = 0; i < 8; ++i) {
            QByteArray data(i == 0 ? 0 : static_cast<int>(random.bounded(1, 300'000)), Qt::Uninitialized);
            for (char& c : data) c = static_cast<char>(random.generate());
            WriteTestFile(QStringLiteral("%1/f%2.txt").arg(base).arg(i), data);
        }
        WriteTestFile(base + QStringLiteral("/notes.log"), "not asked for");
    }
}

struct ServerKind {
    const char* name;
    bool bVsftpd;
};

// The component pointed at the server's test user, with its log collected.
void PointAt(FtpComponent& ftp, const FtpTestServer& server, int nConnections, QStringList& log)
{
    PointAtServer(ftp, server, 20'000);
    ftp.setParallelConnections(nConnections);
    QObject::connect(&ftp, &FtpComponent::logText, [&log](const QString& s, long) { log << s; });
}

class FtpParallelTest : public ::testing::TestWithParam<ServerKind> {
protected:
    void SetUp() override
    {
        if (GetParam().bVsftpd) m_server = std::make_unique<VsftpdServer>();
        else m_server = std::make_unique<PyFtpdServer>();
        KELVO_START_OR_SKIP(*m_server, "the server did not start");
    }

    std::unique_ptr<FtpComponent> NewComponent(int nConnections)
    {
        auto ftp = std::make_unique<FtpComponent>();
        PointAt(*ftp, *m_server, nConnections, m_log);
        QObject::connect(ftp.get(), &FtpComponent::itemSkipped, [this](const QString& r, const QString& l, long n) {
            m_skipped << QStringLiteral("%1|%2|%3").arg(r, l).arg(n);
        });
        QObject::connect(ftp.get(), &FtpComponent::receiving, [this](const QString& s) { m_started << s; });
        QObject::connect(ftp.get(), &FtpComponent::sending, [this](const QString& s) { m_started << s; });
        return ftp;
    }

    void GiveToServer()
    {
        QProcess::execute(QStringLiteral("chown"), {QStringLiteral("-R"), QStringLiteral("--reference=") + m_server->root(),
                                                    m_server->root()});
    }
    QString Remote(const QString& relative) const { return m_server->root() + QLatin1Char('/') + relative; }
    QString Local(const QString& relative) const { return m_local.path() + QLatin1Char('/') + relative; }
    int ExtraConnectionLines() const
    {
        return static_cast<int>(std::count_if(m_log.begin(), m_log.end(), [](const QString& s) {
            return s.startsWith(QLatin1String("[2] ")) || s.startsWith(QLatin1String("[3] ")) || s.startsWith(QLatin1String("[4] "));
        }));
    }
    std::string Log() const { return m_log.join(QLatin1Char('\n')).toStdString(); }

    std::unique_ptr<FtpTestServer> m_server;
    QTemporaryDir m_local;
    QStringList m_log, m_skipped, m_started;
};

}  // namespace

TEST_P(FtpParallelTest, ManyConnectionsCopyTheSameTreeAsOne)
{
    MakeTree(Remote(QStringLiteral("tree")));
    // A time well in the past, which the copies must carry (from the MLSD
    // listing on pyftpdlib, asked for with MDTM on vsftpd).
    const QDateTime past(QDate(2020, 5, 1), QTime(10, 20, 30), QTimeZone::utc());
    {
        QFile old(Remote(QStringLiteral("tree/b/one/f2.txt")));
        ASSERT_TRUE(old.open(QIODevice::Append) && old.setFileTime(past, QFileDevice::FileModificationTime));
    }
    GiveToServer();
    // A folder where a file should go: that file cannot be written here.
    QDir().mkpath(Local(QStringLiteral("four/a/f3.txt")));
    QDir().mkpath(Local(QStringLiteral("one/a/f3.txt")));

    QStringList skipped[2], started[2];
    const int counts[2] = {1, 4};
    for (int i = 0; i < 2; ++i) {
        auto ftp = NewComponent(counts[i]);
        m_skipped.clear();
        m_started.clear();
        ASSERT_NO_THROW(ftp->Connect()) << Log();
        ftp->ReceiveFolder(QStringLiteral("tree/*.txt"), Local(i ? QStringLiteral("four") : QStringLiteral("one")), true);
        EXPECT_EQ(ftp->currentFolder(), QStringLiteral("/")) << "the current folder is restored";
        skipped[i] = m_skipped;
        started[i] = m_started;
        ftp->Disconnect();
    }
    EXPECT_GT(ExtraConnectionLines(), 0) << "the second run used extra connections\n" << Log();

    const auto tree = TreeOf(Local(QStringLiteral("four")));
    EXPECT_EQ(tree, TreeOf(Local(QStringLiteral("one"))));
    EXPECT_EQ(tree.value(QStringLiteral("b/one/two/f5.txt")),
              TreeOf(Remote(QStringLiteral("tree"))).value(QStringLiteral("b/one/two/f5.txt")));
    EXPECT_FALSE(tree.contains(QStringLiteral("notes.log")));
    EXPECT_EQ(tree.value(QStringLiteral("a/f3.txt")), QByteArray("<dir>"));
    for (const char* copy : {"four", "one"})
        EXPECT_EQ(QFileInfo(Local(QLatin1String(copy) + QStringLiteral("/b/one/f2.txt"))).lastModified().toUTC(), past) << copy;

    // The same items skipped for the same reasons, whichever connection met
    // them, and every file started exactly once.
    skipped[0].sort();
    skipped[1].sort();
    EXPECT_EQ(skipped[1], skipped[0]);
    EXPECT_EQ(skipped[1].filter(QStringLiteral("|%1").arg(FtpComponent::kSkipLocalError)).size(), 1) << skipped[1].join(' ').toStdString();
    EXPECT_EQ(skipped[1].filter(QStringLiteral("|%1").arg(FtpComponent::kSkipNoMatch)).size(), 6);
    started[0].sort();
    started[1].sort();
    EXPECT_EQ(started[1], started[0]) << "every file once, none twice";

    // Back up, both ways, and the server holds what was sent.
    m_log.clear();
    for (int i = 0; i < 2; ++i) {
        auto ftp = NewComponent(counts[i]);
        ASSERT_NO_THROW(ftp->Connect()) << Log();
        ftp->SendFolder(Local(QStringLiteral("four/*")), i ? QStringLiteral("up4") : QStringLiteral("up1"), true, true);
        EXPECT_EQ(ftp->currentFolder(), QStringLiteral("/"));
        ftp->Disconnect();
    }
    EXPECT_GT(ExtraConnectionLines(), 0) << Log();
    const auto up = TreeOf(Remote(QStringLiteral("up4")));
    EXPECT_EQ(up, TreeOf(Remote(QStringLiteral("up1"))));
    EXPECT_EQ(up, tree);
}

INSTANTIATE_TEST_SUITE_P(Servers, FtpParallelTest,
                         ::testing::Values(ServerKind{"pyftpdlib", false}, ServerKind{"vsftpd", true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FtpParallelLimitTest, FewerConnectionsThanAskedForStillCopyEverything)
{
    // The server takes only this many control connections and answers 421
    // to the rest.
    for (int nLimit : {1, 2}) {
        SCOPED_TRACE(nLimit);
        PyFtpdServer::Options options;
        options.nMaxConnections = nLimit;
        PyFtpdServer server(options);
        KELVO_START_OR_SKIP(server, "the server did not start");
        MakeTree(server.root() + QStringLiteral("/tree"));
        QTemporaryDir local;
        QStringList log;
        FtpComponent ftp;
        PointAt(ftp, server, 4, log);
        ASSERT_NO_THROW(ftp.Connect());
        const QString copy = local.path() + QStringLiteral("/copy");
        ASSERT_NO_THROW(ftp.ReceiveFolder(QStringLiteral("tree/*"), copy, true)) << log.join('\n').toStdString();
        EXPECT_EQ(TreeOf(copy), TreeOf(server.root() + QStringLiteral("/tree")));
        EXPECT_EQ(log.filter(QStringLiteral("No extra connection:")).size(), 4 - nLimit) << log.join('\n').toStdString();

        ASSERT_NO_THROW(ftp.SendFolder(copy + QStringLiteral("/*"), QStringLiteral("back"), true, true));
        EXPECT_EQ(TreeOf(server.root() + QStringLiteral("/back")), TreeOf(server.root() + QStringLiteral("/tree")));
    }
}

namespace {

// How many control connections the server still takes, up to n: each probe
// connects and counts a 220 greeting (a full server answers 421).
int FreeSlots(const QString& host, quint16 port, int n)
{
    std::vector<std::unique_ptr<QTcpSocket>> probes;
    int nFree = 0;
    for (int i = 0; i < n; ++i) {
        auto socket = std::make_unique<QTcpSocket>();
        socket->connectToHost(host, port);
        if (!socket->waitForConnected(2000)) break;
        while (!socket->canReadLine() && socket->waitForReadyRead(2000)) {
        }
        if (socket->readLine().startsWith("220")) ++nFree;
        probes.push_back(std::move(socket));
    }
    return nFree;
}

}  // namespace

TEST(FtpParallelAbortTest, AbortStopsEveryConnection)
{
    PyFtpdServer::Options options;
    options.nMaxConnections = 5;
    PyFtpdServer server(options);
    KELVO_START_OR_SKIP(server, "the server did not start");
    // Enough data that the transfer is still running when the abort comes.
    QByteArray data(16 << 20, 'x');
    for (int i = 0; i < 8; ++i) WriteTestFile(server.root() + QStringLiteral("/big/file%1.bin").arg(i), data);

    QTemporaryDir local;
    FtpComponent ftp;
    QStringList log;
    PointAt(ftp, server, 4, log);
    qint64 nSeen = 0;
    const QMetaObject::Connection aborter = QObject::connect(&ftp, &FtpComponent::progress, [&](qint64 nBytes, qint64, int) {
        nSeen = qMax(nSeen, nBytes);
        if (nBytes > 0) ftp.setAbort(true);
    });
    ASSERT_NO_THROW(ftp.Connect());
    long nError = 0;
    try {
        ftp.ReceiveFolder(QStringLiteral("big/*"), local.path() + QStringLiteral("/big"), true);
    } catch (const FtpError& e) {
        nError = e.number;
    }
    EXPECT_EQ(nError, kAborted) << log.join('\n').toStdString();
    EXPECT_GT(nSeen, 0);
    qint64 nArrived = 0;
    for (const QFileInfo& info : QDir(local.path() + QStringLiteral("/big")).entryInfoList(QDir::Files)) nArrived += info.size();
    EXPECT_LT(nArrived, 8 * data.size()) << "the files stopped coming";

    // Every extra connection has gone: with ours still logged in, the server
    // takes four more again (it may need a moment to see the closed ones).
    int nFree = 0;
    QElapsedTimer timer;
    timer.start();
    while ((nFree = FreeSlots(server.host(), server.port(), 4)) < 4 && timer.elapsed() < 5000) QThread::msleep(100);
    EXPECT_EQ(nFree, 4);

    // And the component goes on working over its own connection.
    QObject::disconnect(aborter);
    ftp.setParallelConnections(1);
    try {
        ftp.ReceiveFile(QStringLiteral("big/file0.bin"), 0, local.path() + QStringLiteral("/again.bin"));
    } catch (const FtpError& e) {
        ADD_FAILURE() << e.number << " " << e.description.toStdString() << "\n" << log.join('\n').toStdString();
    }
    EXPECT_EQ(QFileInfo(local.path() + QStringLiteral("/again.bin")).size(), data.size());
}
