// The loopback servers the other tests start: each comes up on a port of its
// own and answers, and Stop() leaves no process, session, listener or test
// user behind, so no later test finds its port taken.
#include "FtpFixture.h"
#include "SocksTestServer.h"

#include <QTcpSocket>

#include <cerrno>
#include <csignal>
#include <pwd.h>

TEST(TestServers, EachAnswersAndStopsWithoutLeftovers)
{
    PyFtpdServer pyftpd;
    auto vsftpd = std::make_unique<VsftpdServer>();
    // Start() must not use up the one connection such a script accepts.
    ScriptedServer scripted("import socket, sys\ns = socket.create_server(('127.0.0.1', int(sys.argv[1])))\n"
                            "c = s.accept()[0]; c.sendall(b'220 hi\\r\\n'); c.recv(1)\n");
    DanteServer dante;
    const auto line = [](QTcpSocket& socket, const QByteArray& send) {
        socket.write(send);
        while (!socket.canReadLine() && socket.waitForReadyRead(5000)) {}
        return socket.readLine();
    };
    for (FtpTestServer* server : std::initializer_list<FtpTestServer*>{&pyftpd, vsftpd.get(), &scripted, &dante}) {
        KELVO_START_OR_SKIP(*server);
        QTcpSocket socket;
        socket.connectToHost(server->host(), server->port());
        ASSERT_TRUE(socket.waitForConnected(5000));
        if (server == &dante) {  // SOCKS 5 without login, as a proxy that relays
            socket.write(QByteArray("\x05\x01\x00", 3));
            EXPECT_TRUE(socket.waitForReadyRead(5000) && socket.read(2) == QByteArray("\x05\x00", 2));
        } else {
            EXPECT_TRUE(line(socket, "").startsWith("220"));
        }
        if (!server->user().isEmpty()) {
            EXPECT_TRUE(line(socket, "USER " + server->user().toUtf8() + "\r\n").startsWith("331"));
            EXPECT_TRUE(line(socket, "PASS " + server->password().toUtf8() + "\r\n").startsWith("230"));
        }
        const qint64 nPid = server->pid();
        ASSERT_GT(nPid, 0);
        server->Stop();
        EXPECT_TRUE(::kill(pid_t(nPid), 0) != 0 && errno == ESRCH);
        EXPECT_TRUE(socket.state() == QAbstractSocket::UnconnectedState || socket.waitForDisconnected(5000));
        QTcpSocket again;
        again.connectToHost(server->host(), server->port());
        EXPECT_FALSE(again.waitForConnected(2000));
    }
    const QString user = vsftpd->user();
    vsftpd.reset();
    EXPECT_EQ(::getpwnam(user.toLocal8Bit().constData()), nullptr) << user.toStdString();
}
