// What a connection puts on the FTP component, from the site manager's
// values and the stored settings.
#include "MemoryRegistryBackend.h"
#include "app/ConnectionRules.h"
#include "ftp/Certificates.h"
#include "ftp/FtpComponent.h"
#include "settings/CRegister.h"
#include "settings/Settings.h"

#include <gtest/gtest.h>

namespace {

class ConnectionRulesTest : public ::testing::Test {
protected:
    void Store(const char* name, const char* value)
    {
        m_reg.REGSaveSetting(kHKEY_LOCAL_MACHINE, QLatin1String(Settings::kSection), QLatin1String(name),
                             QLatin1String(value));
    }
    QVariant Get(int id) const { return m_ftp.GetProperty(id); }

    MemoryRegistryBackend m_store;
    CRegister m_reg{m_store};
    FtpComponent m_ftp;
};

ConnectionRequest Request(const char* port, bool bAnonymous)
{
    return ConnectionRequest{QStringLiteral("ftp.example.test"), QLatin1String(port), QStringLiteral("alice"),
                             QStringLiteral("s3cret"), bAnonymous};
}

}  // namespace

TEST(ConnectionPorts, OnlyWholeNumbersFromOneTo65535)
{
    quint16 port = 0;
    EXPECT_TRUE(ConnectionRules::ParsePort(QStringLiteral("21"), port));
    EXPECT_EQ(port, 21);
    EXPECT_TRUE(ConnectionRules::ParsePort(QStringLiteral(" 2121 "), port));
    EXPECT_EQ(port, 2121);
    EXPECT_TRUE(ConnectionRules::ParsePort(QStringLiteral("65535"), port));
    EXPECT_EQ(port, 65535) << "ports above 32767 are ports too";
    for (const char* bad : {"", "abc", "70000", "0", "-21", "21x", "2 1", "+21", "99999999999"})
        EXPECT_FALSE(ConnectionRules::ParsePort(QLatin1String(bad), port)) << bad;
}

TEST_F(ConnectionRulesTest, LoginAndModeFollowTheRequestAndSettings)
{
    ASSERT_TRUE(ConnectionRules::Apply(m_ftp, Request("2121", false), m_reg).isEmpty());
    EXPECT_EQ(Get(FtpComponent::kServerAddress).toString(), QStringLiteral("ftp.example.test"));
    EXPECT_EQ(Get(FtpComponent::kPort).toInt(), 2121);
    EXPECT_EQ(Get(FtpComponent::kUserName).toString(), QStringLiteral("alice"));
    EXPECT_EQ(m_ftp.password(), QStringLiteral("s3cret"));
    EXPECT_TRUE(Get(FtpComponent::kPassiveMode).toBool()) << "no stored FTP PASV: passive, as the Options window shows";
    EXPECT_EQ(Get(FtpComponent::kProxyType).toInt(), 0);
    EXPECT_EQ(Get(FtpComponent::kProxyPort).toInt(), 1080);

    Store(Settings::kFtpPasv, "0");
    ASSERT_TRUE(ConnectionRules::Apply(m_ftp, Request("21", true), m_reg).isEmpty());
    EXPECT_EQ(Get(FtpComponent::kUserName).toString(), QStringLiteral("anonymous"));
    EXPECT_EQ(m_ftp.password(), QStringLiteral("pmqrt")) << "whatever the site manager's boxes hold";
    EXPECT_FALSE(Get(FtpComponent::kPassiveMode).toBool());
}

TEST_F(ConnectionRulesTest, FirewallSettingsChooseTheProxy)
{
    Store(Settings::kFirewallUse, "1");
    Store(Settings::kFirewallHostName, "proxy.example.test");
    Store(Settings::kFirewallUserName, "bob");
    Store(Settings::kFirewallPassword, "pw");
    Store(Settings::kFirewallProxyPort, "1081");
    for (const auto& [type, expected] : {std::pair{"SOCKS 4", 4}, std::pair{"SOCKS 5", 5}, std::pair{"socks 4", 5},
                                         std::pair{"anything", 5}}) {
        Store(Settings::kFirewallType, type);
        ASSERT_TRUE(ConnectionRules::Apply(m_ftp, Request("21", false), m_reg).isEmpty());
        EXPECT_EQ(Get(FtpComponent::kProxyType).toInt(), expected) << type;
    }
    EXPECT_EQ(Get(FtpComponent::kProxyAddress).toString(), QStringLiteral("proxy.example.test"));
    EXPECT_EQ(Get(FtpComponent::kProxyUser).toString(), QStringLiteral("bob"));
    EXPECT_EQ(m_ftp.proxyPassword(), QStringLiteral("pw"));
    EXPECT_EQ(Get(FtpComponent::kProxyPort).toInt(), 1081);

    Store(Settings::kFirewallUse, "0");
    ASSERT_TRUE(ConnectionRules::Apply(m_ftp, Request("21", false), m_reg).isEmpty());
    EXPECT_EQ(Get(FtpComponent::kProxyType).toInt(), 0);
    EXPECT_TRUE(Get(FtpComponent::kProxyAddress).toString().isEmpty());
    EXPECT_EQ(Get(FtpComponent::kProxyPort).toInt(), 1080);
}

TEST_F(ConnectionRulesTest, BadPortsChangeNothing)
{
    ASSERT_TRUE(ConnectionRules::Apply(m_ftp, Request("21", false), m_reg).isEmpty());
    ConnectionRequest other = Request("70000", true);
    other.sServer = QStringLiteral("elsewhere.test");
    const QString problem = ConnectionRules::Apply(m_ftp, other, m_reg);
    EXPECT_TRUE(problem.contains(QStringLiteral("\"70000\""))) << problem.toStdString();
    EXPECT_EQ(Get(FtpComponent::kServerAddress).toString(), QStringLiteral("ftp.example.test"));
    EXPECT_EQ(Get(FtpComponent::kUserName).toString(), QStringLiteral("alice"));

    Store(Settings::kFirewallUse, "1");
    Store(Settings::kFirewallProxyPort, "");
    other.sPort = QStringLiteral("21");
    EXPECT_TRUE(ConnectionRules::Apply(m_ftp, other, m_reg).contains(QStringLiteral("firewall proxy port")));
    EXPECT_EQ(Get(FtpComponent::kServerAddress).toString(), QStringLiteral("ftp.example.test"));
}

TEST_F(ConnectionRulesTest, FolderTransferConnectionsComeFromTheHiddenSetting)
{
    ASSERT_TRUE(ConnectionRules::Apply(m_ftp, Request("21", true), m_reg).isEmpty());
    EXPECT_EQ(m_ftp.parallelConnections(), ConnectionRules::kDefaultConnections) << "nothing stored";
    Store(Settings::kParallelConnections, "1");
    ASSERT_TRUE(ConnectionRules::Apply(m_ftp, Request("21", true), m_reg).isEmpty());
    EXPECT_EQ(m_ftp.parallelConnections(), 1) << "one connection: files in walk order";
    Store(Settings::kParallelConnections, "500");
    ASSERT_TRUE(ConnectionRules::Apply(m_ftp, Request("21", true), m_reg).isEmpty());
    EXPECT_EQ(m_ftp.parallelConnections(), FtpComponent::kMaxConnections);
    for (const char* bad : {"0", "-3", "two", "2.5", ""})
        EXPECT_EQ(ConnectionRules::ParallelConnections(QLatin1String(bad)), ConnectionRules::kDefaultConnections) << bad;
}

TEST_F(ConnectionRulesTest, TlsSitesTrustTheCertificateStoredForTheirServer)
{
    const QString stored = QStringLiteral("AA:") + QStringLiteral("BB:").repeated(30) + QStringLiteral("CC");
    ASSERT_TRUE(ConnectionRules::TrustCertificate(m_reg, QStringLiteral("FTP.Example.Test "), 2121, stored.toLower()));
    ConnectionRequest request = Request("2121", false);
    ASSERT_TRUE(ConnectionRules::Apply(m_ftp, request, m_reg).isEmpty());
    EXPECT_FALSE(m_ftp.useTls());
    EXPECT_TRUE(m_ftp.trustedCertificates().isEmpty());

    request.bUseTls = true;
    ASSERT_TRUE(ConnectionRules::Apply(m_ftp, request, m_reg).isEmpty());
    EXPECT_TRUE(m_ftp.useTls());
    EXPECT_EQ(m_ftp.trustedCertificates(), QStringList{stored}) << "host names ignore case and blanks";

    // Another port is another server; trusting again replaces.
    request.sPort = QStringLiteral("21");
    ASSERT_TRUE(ConnectionRules::Apply(m_ftp, request, m_reg).isEmpty());
    EXPECT_TRUE(m_ftp.trustedCertificates().isEmpty());
    const QString other = QStringLiteral("11:").repeated(31) + QStringLiteral("22");
    ASSERT_TRUE(ConnectionRules::TrustCertificate(m_reg, QStringLiteral("ftp.example.test"), 2121, other));
    EXPECT_EQ(ConnectionRules::TrustedCertificate(m_reg, QStringLiteral("ftp.example.test"), 2121), other);

    // IPv6 with or without brackets, stored under the bracketed address; nothing that is not a fingerprint is stored or read.
    ASSERT_TRUE(ConnectionRules::TrustCertificate(m_reg, QStringLiteral("[::1]"), 990, other));
    EXPECT_EQ(ConnectionRules::TrustedCertificate(m_reg, QStringLiteral("::1"), 990), other);
    EXPECT_EQ(m_reg.REGGetSetting(kHKEY_LOCAL_MACHINE, QLatin1String(Settings::kTrustedCertificatesSection), QStringLiteral("[::1]:990"), QString()), other);
    EXPECT_FALSE(ConnectionRules::TrustCertificate(m_reg, QStringLiteral("h"), 21, QStringLiteral("not one")));
    m_reg.REGSaveSetting(kHKEY_LOCAL_MACHINE, QLatin1String(Settings::kTrustedCertificatesSection),
                         QStringLiteral("h:21"), QStringLiteral("garbage"));
    EXPECT_TRUE(ConnectionRules::TrustedCertificate(m_reg, QStringLiteral("h"), 21).isEmpty());
}

TEST(CertificateQuestion, WarnsWhenTheServerShowsAnotherCertificateThanTheTrustedOne)
{
    CertificateInfo info;
    info.sHost = QStringLiteral("127.0.0.1");
    info.nPort = 21;
    info.sFingerprint = QStringLiteral("11:").repeated(31) + QStringLiteral("22");
    const QString fresh = ConnectionRules::CertificateQuestion(info, QString());
    EXPECT_TRUE(fresh.startsWith(QLatin1String("The identity of this server cannot be confirmed")));
    EXPECT_TRUE(fresh.contains(info.sFingerprint));
    EXPECT_TRUE(fresh.contains(QLatin1String("Yes: always, for this server")));
    EXPECT_TRUE(fresh.contains(QLatin1String("Cancel: do not connect")));
    const QString changed = ConnectionRules::CertificateQuestion(info, QStringLiteral("33:").repeated(31) + QStringLiteral("44"));
    EXPECT_TRUE(changed.startsWith(QLatin1String("WARNING: this server shows another certificate"))) << changed.toStdString();
}
