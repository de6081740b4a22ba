// The loopback servers the other tests start: each comes up on a port of its
// own and answers, and Stop() leaves no process, session or listener behind,
// so no later test finds its port taken.
#include "SocksTestServer.h"
#include "StartOrSkip.h"

#include <QSet>
#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <memory>
#include <pwd.h>

namespace {

constexpr int kTimeoutMs = 5000;

QByteArray Read(QTcpSocket& socket, qint64 nBytes)
{
    while (socket.bytesAvailable() < nBytes && socket.waitForReadyRead(kTimeoutMs)) {}
    return socket.read(nBytes);
}

// Sends a command (when given), then reads one reply line; empty on timeout.
QByteArray Line(QTcpSocket& socket, const QByteArray& command = {})
{
    if (!command.isEmpty()) socket.write(command + "\r\n");
    while (!socket.canReadLine())
        if (!socket.waitForReadyRead(kTimeoutMs)) return {};
    return socket.readLine();
}

std::unique_ptr<QTcpSocket> Connect(const FtpTestServer& server)
{
    auto socket = std::make_unique<QTcpSocket>();
    socket->connectToHost(server.host(), server.port());
    return socket->waitForConnected(kTimeoutMs) ? std::move(socket) : nullptr;
}

// `open` is a connection to the server, still held: its session must end too.
template <class Server>
void ExpectStops(Server& server, QTcpSocket& open)
{
    const qint64 nPid = server.pid();
    ASSERT_GT(nPid, 0);
    ASSERT_EQ(open.state(), QAbstractSocket::ConnectedState);
    server.Stop();
    EXPECT_TRUE(::kill(pid_t(nPid), 0) != 0 && errno == ESRCH);
    EXPECT_TRUE(open.state() == QAbstractSocket::UnconnectedState || open.waitForDisconnected(kTimeoutMs));
    EXPECT_FALSE(Connect(server));
}

void ExpectGreetsLogsInAndStops(FtpTestServer& server)
{
    const std::unique_ptr<QTcpSocket> control = Connect(server);
    ASSERT_TRUE(control);
    EXPECT_TRUE(Line(*control).startsWith("220"));
    EXPECT_TRUE(Line(*control, "USER " + server.user().toUtf8()).startsWith("331"));
    EXPECT_TRUE(Line(*control, "PASS " + server.password().toUtf8()).startsWith("230"));
    ExpectStops(server, *control);
}

}  // namespace

TEST(TestServers, FreeLoopbackPortNeverRepeats)
{
    QSet<quint16> ports;
    for (int i = 0; i < 30; ++i) ports.insert(FreeLoopbackPort());
    EXPECT_TRUE(ports.size() == 30 && !ports.contains(0));
}

TEST(TestServers, PyFtpd)
{
    PyFtpdServer server;
    KELVO_START_OR_SKIP(server, "pyftpdlib did not start");
    ExpectGreetsLogsInAndStops(server);
}

TEST(TestServers, VsftpdAndItsUserGo)
{
    QString sUser;
    {
        VsftpdServer server;
        KELVO_START_OR_SKIP(server, "vsftpd did not start");
        sUser = server.user();
        ExpectGreetsLogsInAndStops(server);
    }
    EXPECT_EQ(::getpwnam(sUser.toLocal8Bit().constData()), nullptr) << sUser.toStdString();
}

// Start() must not use up the one connection the script accepts.
TEST(TestServers, ScriptedServerLeavesItsOnlyConnectionToTheTest)
{
    ScriptedServer server(QStringLiteral("import socket, sys\n"
                                         "s = socket.create_server(('127.0.0.1', int(sys.argv[1])))\n"
                                         "c = s.accept()[0]; c.sendall(b'220 hi\\r\\n'); c.recv(1)\n"));
    KELVO_START_OR_SKIP(server, "scripted server did not start");
    const std::unique_ptr<QTcpSocket> control = Connect(server);
    ASSERT_TRUE(control);
    EXPECT_EQ(Line(*control), "220 hi\r\n");
    ExpectStops(server, *control);
}

TEST(TestServers, DanteRelaysAConnection)
{
    DanteServer proxy;
    KELVO_START_OR_SKIP(proxy, "danted did not start, log: " << proxy.logFile().toStdString());
    QTcpServer target;
    ASSERT_TRUE(target.listen(QHostAddress::LocalHost, 0));
    const std::unique_ptr<QTcpSocket> client = Connect(proxy);
    ASSERT_TRUE(client);
    client->write(QByteArray("\x05\x01\x00", 3));  // SOCKS 5 without login, then CONNECT 127.0.0.1:port
    ASSERT_EQ(Read(*client, 2), QByteArray("\x05\x00", 2));
    const quint16 nPort = target.serverPort();
    client->write(QByteArray("\x05\x01\x00\x01\x7f\x00\x00\x01", 8) + char(nPort >> 8) + char(nPort & 0xFF));
    ASSERT_EQ(Read(*client, 10).left(2), QByteArray("\x05\x00", 2));
    ASSERT_TRUE(target.waitForNewConnection(kTimeoutMs));
    const std::unique_ptr<QTcpSocket> peer(target.nextPendingConnection());
    client->write("ping");
    client->flush();
    EXPECT_EQ(Read(*peer, 4), "ping");
    ExpectStops(proxy, *client);
}
