// The component through a real SOCKS proxy (Dante) to pyftpdlib, both on
// loopback: SOCKS 4 and 5, with and without a login, passive and active.
#include "FtpTestServers.h"
#include "TestFiles.h"
#include "StartOrSkip.h"
#include "SocksTestServer.h"
#include "ftp/FtpComponent.h"

#include <QCryptographicHash>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace {

using namespace FtpErrorNumber;



struct ProxyCase {
    const char* name;
    int nVersion;
    bool bLogin;
    bool bPassive;
    bool bTls = false;
};

class FtpSocksTest : public ::testing::TestWithParam<ProxyCase> {
protected:
    void SetUp() override
    {
        PyFtpdServer::Options serverOptions;
        serverOptions.bTls = GetParam().bTls;
        m_pFtpServer = std::make_unique<PyFtpdServer>(serverOptions);
        KELVO_START_OR_SKIP(*m_pFtpServer, "pyftpdlib did not start");
        DanteServer::Options options;
        options.bUserPassword = GetParam().bLogin;
        m_proxy = std::make_unique<DanteServer>(options);
        KELVO_START_OR_SKIP(*m_proxy, "danted did not start");
        m_ftp.setServerAddress(m_pFtpServer->host());
        m_ftp.setPort(m_pFtpServer->port());
        m_ftp.setUserName(m_pFtpServer->user());
        m_ftp.setPassword(m_pFtpServer->password());
        m_ftp.setPassiveMode(GetParam().bPassive);
        m_ftp.setConnectTimeout(10'000);
        m_ftp.setIdleTimeout(10'000);
        m_ftp.setProxyType(GetParam().nVersion);
        m_ftp.setProxyAddress(m_proxy->host());
        m_ftp.setProxyPort(m_proxy->port());
        m_ftp.setProxyUser(m_proxy->user());
        m_ftp.setProxyPassword(m_proxy->password());
        m_ftp.setUseTls(GetParam().bTls);
        QObject::connect(&m_ftp, &FtpComponent::certificateQuery, [](const CertificateInfo&, bool& bTrust) { bTrust = true; });
        QObject::connect(&m_ftp, &FtpComponent::logText, [this](const QString& line, long) { m_log << line; });
    }
    void TearDown() override
    {
        try {
            m_ftp.Disconnect();
        } catch (const FtpError&) {
        }
    }
    std::string Log() const { return m_log.join(QLatin1Char('\n')).toStdString() + "\n(proxy log " + m_proxy->logFile().toStdString() + ")"; }

    std::unique_ptr<PyFtpdServer> m_pFtpServer;
    std::unique_ptr<DanteServer> m_proxy;
    FtpComponent m_ftp;
    QTemporaryDir m_local;
    QStringList m_log;
};

}  // namespace

TEST_P(FtpSocksTest, ListsAndTransfersThroughTheProxy)
{
    QByteArray data(2 << 20, Qt::Uninitialized);
    for (char& c : data) c = static_cast<char>(QRandomGenerator::global()->generate());
    ASSERT_TRUE(WriteTestFile(m_pFtpServer->root() + QStringLiteral("/remote.bin"), data));

    try {
        m_ftp.Connect();
        ASSERT_EQ(m_ftp.FolderContents().size(), 1) << Log();
        m_ftp.ReceiveFile(QStringLiteral("remote.bin"), 0, m_local.path() + QStringLiteral("/down.bin"));
        m_ftp.SendFile(m_local.path() + QStringLiteral("/down.bin"), 0, QStringLiteral("up.bin"), false);
    } catch (const FtpError& e) {
        FAIL() << e.number << " " << e.description.toStdString() << "\n" << Log();
    }
    EXPECT_EQ(ReadTestFile(m_local.path() + QStringLiteral("/down.bin")), data);
    EXPECT_EQ(ReadTestFile(m_pFtpServer->root() + QStringLiteral("/up.bin")), data);
    EXPECT_FALSE(m_log.filter(QStringLiteral("through the SOCKS")).isEmpty());
    EXPECT_TRUE(m_log.filter(QStringLiteral("uses passive mode")).isEmpty()) << "no fallback was needed";
    EXPECT_EQ(m_log.filter(QStringLiteral("The connection is encrypted")).isEmpty(), !GetParam().bTls);
}

INSTANTIATE_TEST_SUITE_P(Proxies, FtpSocksTest,
                         ::testing::Values(ProxyCase{"socks5", 5, false, true}, ProxyCase{"socks4", 4, false, true},
                                           ProxyCase{"socks5login", 5, true, true},
                                           ProxyCase{"socks5active", 5, false, false},
                                           ProxyCase{"socks4active", 4, false, false},
                                           ProxyCase{"socks5tls", 5, false, true, true},
                                           ProxyCase{"socks5tlsactive", 5, false, false, true}),
                         [](const ::testing::TestParamInfo<ProxyCase>& info) { return std::string(info.param.name); });

TEST(FtpSocksFailures, ProxyRefusalsSayItWasTheProxy)
{
    PyFtpdServer ftpServer;
    if (!ftpServer.Start()) GTEST_SKIP() << ftpServer.skipReason().toStdString();
    DanteServer::Options options;
    options.bUserPassword = true;
    DanteServer proxy(options);
    if (!proxy.Start()) GTEST_SKIP() << proxy.skipReason().toStdString();

    FtpComponent ftp;
    ftp.setServerAddress(ftpServer.host());
    ftp.setPort(ftpServer.port());
    ftp.setUserName(ftpServer.user());
    ftp.setPassword(ftpServer.password());
    ftp.setConnectTimeout(5'000);
    ftp.setProxyType(5);
    ftp.setProxyAddress(proxy.host());
    ftp.setProxyPort(proxy.port());
    auto failure = [&] {
        try {
            ftp.Connect();
        } catch (const FtpError& e) {
            return e;
        }
        return FtpError{0, QString()};
    };

    ftp.setProxyUser(proxy.user());
    ftp.setProxyPassword(QStringLiteral("wrong"));
    FtpError e = failure();
    EXPECT_EQ(e.number, kLoginFailed);
    EXPECT_TRUE(e.description.startsWith(QStringLiteral("SOCKS proxy:"))) << e.description.toStdString();

    ftp.setProxyUser(QString());  // no login offered to a proxy that wants one
    e = failure();
    EXPECT_EQ(e.number, kConnectFailed);
    EXPECT_TRUE(e.description.contains(QStringLiteral("requires a user name"))) << e.description.toStdString();

    ftp.setProxyPort(FreeLoopbackPort());  // nothing listens there
    e = failure();
    EXPECT_EQ(e.number, kConnectFailed);
    EXPECT_TRUE(e.description.startsWith(QStringLiteral("SOCKS proxy 127.0.0.1:"))) << e.description.toStdString();
    EXPECT_EQ(ftp.state(), FtpComponent::kStateNotConnected);

    // The proxy cannot reach a port where no FTP server listens.
    ftp.setProxyPort(proxy.port());
    ftp.setProxyUser(proxy.user());
    ftp.setProxyPassword(proxy.password());
    ftp.setPort(FreeLoopbackPort());
    e = failure();
    EXPECT_EQ(e.number, kConnectFailed);
    EXPECT_TRUE(e.description.startsWith(QStringLiteral("SOCKS proxy:"))) << e.description.toStdString();

    ftp.setPort(ftpServer.port());
    EXPECT_EQ(failure().number, 0) << "right settings connect";
}
