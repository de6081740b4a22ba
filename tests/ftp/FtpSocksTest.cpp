// The component through a real SOCKS proxy (Dante) to pyftpdlib, both on
// loopback: SOCKS 4 and 5, with and without a login, passive and active,
// plain and TLS, and the proxy's refusals.
#include "FtpFixture.h"
#include "SocksTestServer.h"

TEST(FtpSocksTest, ListsAndTransfersThroughTheProxyAndNamesItsRefusals)
{
    PyFtpdServer plain, tls(PyFtpdServer::Options{.bTls = true});
    DanteServer open, login(DanteServer::Options{true});
    for (FtpTestServer* server : std::initializer_list<FtpTestServer*>{&plain, &tls, &open, &login})
        KELVO_START_OR_SKIP(*server);
    const QByteArray data = RandomBytes(2 << 20, 5);
    for (PyFtpdServer* server : {&plain, &tls}) ASSERT_TRUE(WriteTestFile(server->root() + "/remote.bin", data));

    const struct {
        const char* name;
        int nVersion;
        bool bLogin, bPassive, bTls;
    } cases[] = {{"socks5", 5, false, true, false},        {"socks4", 4, false, true, false},
                 {"socks5login", 5, true, true, false},    {"socks5active", 5, false, false, false},
                 {"socks4active", 4, false, false, false}, {"socks5tls", 5, false, true, true},
                 {"socks5tlsactive", 5, false, false, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FtpClient client;
        PyFtpdServer& server = c.bTls ? tls : plain;
        DanteServer& proxy = c.bLogin ? login : open;
        PointAtServer(client.ftp, server);
        client.ftp.setPassiveMode(c.bPassive);
        client.ftp.setUseTls(c.bTls);
        client.ftp.setProxyType(c.nVersion);
        client.ftp.setProxyAddress(proxy.host());
        client.ftp.setProxyPort(proxy.port());
        client.ftp.setProxyUser(proxy.user());
        client.ftp.setProxyPassword(proxy.password());
        const QString up = QStringLiteral("up-%1.bin").arg(c.name);
        ASSERT_TRUE(client.Succeeds([&] {
            client.ftp.Connect();
            client.ftp.ReceiveFile("remote.bin", 0, client.Local("down.bin"));
            client.ftp.SendFile(client.Local("down.bin"), 0, up, false);
        })) << "proxy log " << proxy.logFile().toStdString();
        EXPECT_TRUE(ReadTestFile(client.Local("down.bin")) == data);
        EXPECT_TRUE(ReadTestFile(server.root() + "/" + up) == data);
        EXPECT_TRUE(client.Logged("through the SOCKS"));
        EXPECT_FALSE(client.Logged("uses passive mode")) << "no fallback was needed";
        EXPECT_EQ(client.Logged("The connection is encrypted"), c.bTls);
    }

    FtpClient client;
    PointAtServer(client.ftp, plain);
    client.ftp.setProxyType(5);
    client.ftp.setProxyAddress(login.host());
    const struct {
        const char* user;
        const char* password;
        quint16 nProxyPort, nPort;
        long nError;
        const char* sPart;  // of the description
    } refusals[] = {
        {"login", "wrong", login.port(), plain.port(), kLoginFailed, "SOCKS proxy:"},
        {"", "", login.port(), plain.port(), kConnectFailed, "requires a user name"},  // no login offered
        {"login", "", FreeLoopbackPort(), plain.port(), kConnectFailed, "SOCKS proxy 127.0.0.1:"},  // no proxy there
        {"login", "login", login.port(), FreeLoopbackPort(), kConnectFailed, "SOCKS proxy:"},  // no FTP server there
        {"login", "login", login.port(), plain.port(), 0, ""},
    };
    for (const auto& r : refusals) {
        client.ftp.setProxyUser(QLatin1String(r.user) == "login" ? login.user() : QString());
        client.ftp.setProxyPassword(QLatin1String(r.password) == "login" ? login.password() : QString::fromUtf8(r.password));
        client.ftp.setProxyPort(r.nProxyPort);
        client.ftp.setPort(r.nPort);
        EXPECT_TRUE(FailsWith(r.nError, QString::fromUtf8(r.sPart), [&] { client.ftp.Connect(); })) << r.sPart;
    }
    EXPECT_EQ(client.ftp.state(), FtpComponent::kStateConnected) << "right settings connect";
}
