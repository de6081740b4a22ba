// Talks SOCKS to the Dante fixture byte by byte, so a broken proxy setup
// shows up here rather than as a puzzling failure of the engine's SOCKS code.
#include "SocksTestServer.h"

#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtEndian>

#include <gtest/gtest.h>

#include <memory>
#include <pwd.h>

namespace {

constexpr int kTimeoutMs = 5000;

#define START_OR_SKIP(server)                                                        \
    do {                                                                             \
        if (!(server).Start()) {                                                     \
            if (!(server).skipReason().isEmpty())                                    \
                GTEST_SKIP() << (server).skipReason().toStdString();                 \
            FAIL() << "danted did not start, log: " << (server).logFile().toStdString(); \
        }                                                                            \
    } while (false)

bool Send(QTcpSocket& socket, const QByteArray& data)
{
    socket.write(data);
    return socket.waitForBytesWritten(kTimeoutMs);
}

// Exactly nBytes, or fewer when the proxy closes or a wait times out.
QByteArray ReadExactly(QTcpSocket& socket, int nBytes)
{
    QByteArray data;
    while (data.size() < nBytes) {
        if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(kTimeoutMs)) break;
        data += socket.read(nBytes - data.size());
    }
    return data;
}

bool ConnectTo(QTcpSocket& socket, const DanteServer& proxy)
{
    socket.connectToHost(proxy.host(), proxy.port());
    return socket.waitForConnected(kTimeoutMs);
}

// RFC 1928 greeting: the method the proxy picked, -1 on a broken answer.
int Greet(QTcpSocket& socket, const QByteArray& methods)
{
    if (!Send(socket, QByteArray("\x05", 1) + char(methods.size()) + methods)) return -1;
    const QByteArray answer = ReadExactly(socket, 2);
    return answer.size() == 2 && answer[0] == 5 ? quint8(answer[1]) : -1;
}

// RFC 1929 subnegotiation: the status byte, -1 on a broken answer.
int Login(QTcpSocket& socket, const QString& sUser, const QString& sPassword)
{
    const QByteArray user = sUser.toUtf8(), password = sPassword.toUtf8();
    if (!Send(socket, "\x01" + QByteArray(1, char(user.size())) + user + char(password.size()) + password)) return -1;
    const QByteArray answer = ReadExactly(socket, 2);
    return answer.size() == 2 && answer[0] == 1 ? quint8(answer[1]) : -1;
}

QByteArray Endpoint(const QHostAddress& address, quint16 nPort)
{
    QByteArray bytes(6, '\0');
    qToBigEndian<quint32>(address.toIPv4Address(), bytes.data());
    qToBigEndian<quint16>(nPort, bytes.data() + 4);
    return bytes;
}

// A SOCKS 5 request for an IPv4 endpoint: 1 CONNECT, 2 BIND.
QByteArray Socks5Request(char command, quint16 nPort, const QHostAddress& address = QHostAddress::LocalHost)
{
    return QByteArray("\x05", 1) + command + QByteArray("\x00\x01", 2) + Endpoint(address, nPort);
}

struct Reply {
    int nCode = -1;  // REP, -1 when the reply was cut short or malformed
    QHostAddress address;
    quint16 nPort = 0;
};

Reply ReadSocks5Reply(QTcpSocket& socket)
{
    Reply reply;
    const QByteArray head = ReadExactly(socket, 4);
    if (head.size() < 4 || head[0] != 5 || head[3] != 1) return reply;
    const QByteArray endpoint = ReadExactly(socket, 6);
    if (endpoint.size() < 6) return reply;
    reply.nCode = quint8(head[1]);
    reply.address = QHostAddress(qFromBigEndian<quint32>(endpoint.constData()));
    reply.nPort = qFromBigEndian<quint16>(endpoint.constData() + 4);
    return reply;
}

// Bytes go both ways through an established relay.
void ExpectRelay(QTcpSocket& client, QTcpSocket& peer)
{
    ASSERT_TRUE(Send(client, "ping\n"));
    EXPECT_EQ(ReadExactly(peer, 5), QByteArray("ping\n"));
    ASSERT_TRUE(Send(peer, "pong\r\n"));
    EXPECT_EQ(ReadExactly(client, 6), QByteArray("pong\r\n"));
}

std::unique_ptr<QTcpSocket> Accept(QTcpServer& server)
{
    if (!server.hasPendingConnections() && !server.waitForNewConnection(kTimeoutMs)) return nullptr;
    return std::unique_ptr<QTcpSocket>(server.nextPendingConnection());
}

// Processes of a group still running (zombies aside).
int LiveInGroup(qint64 nGroup)
{
    int nCount = 0;
    for (const QString& name : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile stat(QStringLiteral("/proc/%1/stat").arg(name));
        if (!stat.open(QIODevice::ReadOnly)) continue;
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() >= 3 && fields[0] != "Z" && fields[2].toLongLong() == nGroup) ++nCount;
    }
    return nCount;
}

}  // namespace

TEST(DanteServer, RelaysSocks5AndSocks4ConnectWithoutLogin)
{
    DanteServer proxy;
    START_OR_SKIP(proxy);
    EXPECT_EQ(proxy.host(), QStringLiteral("127.0.0.1"));
    EXPECT_TRUE(proxy.user().isEmpty());
    QTcpServer target;
    ASSERT_TRUE(target.listen(QHostAddress::LocalHost, 0));

    {
        QTcpSocket client;
        ASSERT_TRUE(ConnectTo(client, proxy));
        ASSERT_EQ(Greet(client, QByteArray("\x00", 1)), 0);
        ASSERT_TRUE(Send(client, Socks5Request(1, target.serverPort())));
        const Reply reply = ReadSocks5Reply(client);
        ASSERT_EQ(reply.nCode, 0);
        const std::unique_ptr<QTcpSocket> peer = Accept(target);
        ASSERT_TRUE(peer);
        // BND names the proxy's end of the connection it made.
        EXPECT_EQ(reply.address, peer->peerAddress());
        EXPECT_EQ(reply.nPort, peer->peerPort());
        ExpectRelay(client, *peer);
    }
    {
        // SOCKS 4: VN CD DSTPORT DSTIP USERID NUL; granted is 90.
        QTcpSocket client;
        ASSERT_TRUE(ConnectTo(client, proxy));
        const QByteArray endpoint = Endpoint(QHostAddress::LocalHost, target.serverPort());
        ASSERT_TRUE(Send(client, QByteArray("\x04\x01", 2) + endpoint.mid(4, 2) + endpoint.left(4) + QByteArray("kelvo\0", 6)));
        const QByteArray reply = ReadExactly(client, 8);
        ASSERT_EQ(reply.size(), 8);
        EXPECT_EQ(quint8(reply[0]), 0);
        EXPECT_EQ(quint8(reply[1]), 90);
        const std::unique_ptr<QTcpSocket> peer = Accept(target);
        ASSERT_TRUE(peer);
        ExpectRelay(client, *peer);
    }
    {
        // Nothing listens on a fresh free port: the proxy must say so.
        QTcpSocket client;
        ASSERT_TRUE(ConnectTo(client, proxy));
        ASSERT_EQ(Greet(client, QByteArray("\x00", 1)), 0);
        ASSERT_TRUE(Send(client, Socks5Request(1, FreeLoopbackPort())));
        const Reply reply = ReadSocks5Reply(client);
        EXPECT_NE(reply.nCode, 0);
    }

    const qint64 nPid = proxy.pid();
    ASSERT_GT(nPid, 0);
    proxy.Stop();
    EXPECT_EQ(LiveInGroup(nPid), 0);
    QTcpSocket late;
    late.connectToHost(QHostAddress::LocalHost, proxy.port());
    EXPECT_FALSE(late.waitForConnected(kTimeoutMs));
}

TEST(DanteServer, DemandsUsernameAndPassword)
{
    QString user;
    qint64 nPid = 0;
    {
        DanteServer proxy(DanteServer::Options{true});
        START_OR_SKIP(proxy);
        user = proxy.user();
        nPid = proxy.pid();
        ASSERT_FALSE(user.isEmpty());
        ASSERT_FALSE(proxy.password().isEmpty());
        EXPECT_NE(::getpwnam(user.toLocal8Bit().constData()), nullptr);
        QTcpServer target;
        ASSERT_TRUE(target.listen(QHostAddress::LocalHost, 0));

        {
            QTcpSocket client;
            ASSERT_TRUE(ConnectTo(client, proxy));
            ASSERT_EQ(Greet(client, QByteArray("\x00\x02", 2)), 2);
            ASSERT_EQ(Login(client, user, proxy.password()), 0);
            ASSERT_TRUE(Send(client, Socks5Request(1, target.serverPort())));
            ASSERT_EQ(ReadSocks5Reply(client).nCode, 0);
            const std::unique_ptr<QTcpSocket> peer = Accept(target);
            ASSERT_TRUE(peer);
            ExpectRelay(client, *peer);
        }
        {
            QTcpSocket client;
            ASSERT_TRUE(ConnectTo(client, proxy));
            ASSERT_EQ(Greet(client, QByteArray("\x02", 1)), 2);
            const int nStatus = Login(client, user, proxy.password() + QStringLiteral("x"));
            EXPECT_NE(nStatus, 0);
            EXPECT_NE(nStatus, -1);
        }
        {
            QTcpSocket client;
            ASSERT_TRUE(ConnectTo(client, proxy));
            EXPECT_EQ(Greet(client, QByteArray("\x00", 1)), 0xFF);
        }
    }
    // The destructor leaves neither the user nor a process behind.
    EXPECT_EQ(::getpwnam(user.toLocal8Bit().constData()), nullptr);
    EXPECT_EQ(LiveInGroup(nPid), 0);
}

TEST(DanteServer, GrantsBind)
{
    DanteServer proxy;
    START_OR_SKIP(proxy);
    QTcpSocket client;
    ASSERT_TRUE(ConnectTo(client, proxy));
    ASSERT_EQ(Greet(client, QByteArray("\x00", 1)), 0);
    ASSERT_TRUE(Send(client, Socks5Request(2, 0)));
    const Reply listening = ReadSocks5Reply(client);
    ASSERT_EQ(listening.nCode, 0);
    ASSERT_NE(listening.nPort, 0);
    EXPECT_TRUE(listening.address.isLoopback()) << listening.address.toString().toStdString();

    QTcpSocket peer;
    peer.connectToHost(listening.address, listening.nPort);
    ASSERT_TRUE(peer.waitForConnected(kTimeoutMs));
    // The second reply names the peer that connected.
    const Reply connected = ReadSocks5Reply(client);
    ASSERT_EQ(connected.nCode, 0);
    EXPECT_EQ(connected.address, peer.localAddress());
    EXPECT_EQ(connected.nPort, peer.localPort());
    ExpectRelay(client, peer);
}
