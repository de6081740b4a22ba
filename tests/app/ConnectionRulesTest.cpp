// What a connection puts on the FTP component, from the site manager's
// values and the stored settings.
#include "StoredSettings.h"
#include "app/ConnectionRules.h"
#include "ftp/Certificates.h"
#include "ftp/FtpComponent.h"

#include <gtest/gtest.h>

namespace {

using F = FtpComponent;
namespace S = Settings;

// All a connection sets, in one line: "server:port user/password passive
// proxy<type> user/password@address:port connections tls trusted...".
QString Given(const FtpComponent& ftp)
{
    const auto get = [&](int id) { return ftp.GetProperty(id).toString(); };
    return (QStringList{get(F::kServerAddress) + ':' + get(F::kPort), get(F::kUserName) + '/' + ftp.password(),
                        get(F::kPassiveMode), "proxy" + get(F::kProxyType),
                        get(F::kProxyUser) + '/' + ftp.proxyPassword() + '@' + get(F::kProxyAddress) + ':' + get(F::kProxyPort),
                        QString::number(ftp.parallelConnections()), ftp.useTls() ? "tls" : "plain"}
            + ftp.trustedCertificates())
        .join(' ');
}

const QString kFingerprint = QStringLiteral("AA:") + QStringLiteral("BB:").repeated(30) + QStringLiteral("CC");
const QString kOther = QStringLiteral("11:").repeated(31) + QStringLiteral("22");

}  // namespace

TEST(ConnectionRules, PortsAreWholeNumbersFromOneTo65535)
{
    for (const auto& [text, expected] : {std::pair{"21", 21}, {" 2121 ", 2121}, {"65535", 65535} /* above 32767 too */,
                                         {"", 0}, {"abc", 0}, {"70000", 0}, {"0", 0}, {"-21", 0}, {"21x", 0},
                                         {"2 1", 0}, {"+21", 0}, {"99999999999", 0}}) {
        quint16 port = 0;
        EXPECT_EQ(ConnectionRules::ParsePort(QLatin1String(text), port), expected != 0) << text;
        EXPECT_EQ(port, expected) << text;
    }
    for (const auto& [text, expected] : {std::pair{"", ConnectionRules::kDefaultConnections}, {"1", 1}, {"500", F::kMaxConnections},
                                         {"0", 4}, {"-3", 4}, {"two", 4}, {"2.5", 4}})
        EXPECT_EQ(ConnectionRules::ParallelConnections(QLatin1String(text)), expected) << text;
}

// One component through all the rows, so that settings one connection
// put on it and the next one has not must be taken off again.
TEST(ConnectionRules, EachConnectionSetsLoginModeProxyAndConnectionsFromTheRequestAndSettings)
{
    const std::initializer_list<std::pair<const char*, const char*>> firewall = {
        {S::kFirewallUse, "1"}, {S::kFirewallHostName, "proxy.example.test"}, {S::kFirewallUserName, "bob"},
        {S::kFirewallPassword, "pw"}, {S::kFirewallProxyPort, "1081"}, {S::kFirewallType, "SOCKS 4"}};
    const struct {
        const char* what;
        const char* port;
        bool bAnonymous;
        std::vector<std::pair<const char*, const char*>> stored, more;
        const char* problem;
        const char* given;
    } rows[] = {
        {"nothing stored: passive, as the Options window shows", "2121", false, {}, {}, "",
         "ftp.example.test:2121 alice/s3cret true proxy0 /@:1080 4 plain"},
        {"anonymous, whatever the boxes hold; active", "21", true, {{S::kFtpPasv, "0"}}, {{S::kParallelConnections, "1"}}, "",
         "ftp.example.test:21 anonymous/pmqrt false proxy0 /@:1080 1 plain"},
        {"SOCKS 4 proxy", "21", false, firewall, {}, "", "ftp.example.test:21 alice/s3cret true proxy4 bob/pw@proxy.example.test:1081 4 plain"},
        {"any other type is SOCKS 5", "21", false, firewall, {{S::kFirewallType, "socks 4"}}, "",
         "ftp.example.test:21 alice/s3cret true proxy5 bob/pw@proxy.example.test:1081 4 plain"},
        {"a bad port changes nothing", "70000", true, {}, {}, "\"70000\"",
         "ftp.example.test:21 alice/s3cret true proxy5 bob/pw@proxy.example.test:1081 4 plain"},
        {"a bad proxy port changes nothing", "21", true, firewall, {{S::kFirewallProxyPort, ""}}, "firewall proxy port",
         "ftp.example.test:21 alice/s3cret true proxy5 bob/pw@proxy.example.test:1081 4 plain"},
        {"firewall off takes the proxy away", "21", false, {{S::kFirewallUse, "0"}, {S::kFirewallHostName, "p"}},
         {{S::kParallelConnections, "500"}}, "", "ftp.example.test:21 alice/s3cret true proxy0 /@:1080 10 plain"},
    };
    FtpComponent ftp;
    for (const auto& row : rows) {
        const StoredSettings settings;
        for (const auto& [name, value] : row.stored) settings.Set(name, value);
        for (const auto& [name, value] : row.more) settings.Set(name, value);
        const ConnectionRequest request{QStringLiteral("ftp.example.test"), QLatin1String(row.port), QStringLiteral("alice"),
                                        QStringLiteral("s3cret"), row.bAnonymous};
        const QString problem = ConnectionRules::Apply(ftp, request, settings.reg);
        EXPECT_EQ(problem.isEmpty(), !*row.problem) << row.what;
        EXPECT_TRUE(problem.contains(QLatin1String(row.problem))) << problem.toStdString();
        EXPECT_EQ(Given(ftp), row.given) << row.what;
    }
}

TEST(ConnectionRules, TlsSitesTrustTheCertificateStoredForTheirServer)
{
    const StoredSettings settings;
    const CRegister& reg = settings.reg;
    FtpComponent ftp;
    ASSERT_TRUE(ConnectionRules::TrustCertificate(reg, QStringLiteral("FTP.Example.Test "), 2121, kFingerprint.toLower()));
    const auto apply = [&](const char* port, bool bTls) {
        ConnectionRequest request{QStringLiteral("ftp.example.test"), QLatin1String(port), {}, {}, false, bTls};
        EXPECT_TRUE(ConnectionRules::Apply(ftp, request, reg).isEmpty());
        return QStringList{ftp.useTls() ? "tls" : "plain"} + ftp.trustedCertificates();
    };
    EXPECT_EQ(apply("2121", false), QStringList{"plain"});
    EXPECT_EQ(apply("2121", true), (QStringList{"tls", kFingerprint})) << "host names ignore case and blanks";
    EXPECT_EQ(apply("21", true), QStringList{"tls"}) << "another port is another server";

    ASSERT_TRUE(ConnectionRules::TrustCertificate(reg, QStringLiteral("ftp.example.test"), 2121, kOther));
    EXPECT_EQ(ConnectionRules::TrustedCertificate(reg, QStringLiteral("ftp.example.test"), 2121), kOther) << "trusting again replaces";
    // IPv6 with or without brackets, stored under the bracketed address;
    // nothing that is not a fingerprint is stored or read.
    ASSERT_TRUE(ConnectionRules::TrustCertificate(reg, QStringLiteral("[::1]"), 990, kOther));
    EXPECT_EQ(ConnectionRules::TrustedCertificate(reg, QStringLiteral("::1"), 990), kOther);
    EXPECT_EQ(reg.REGGetSetting(kHKEY_LOCAL_MACHINE, QLatin1String(S::kTrustedCertificatesSection), "[::1]:990", {}), kOther);
    EXPECT_FALSE(ConnectionRules::TrustCertificate(reg, QStringLiteral("h"), 21, QStringLiteral("not one")));
    reg.REGSaveSetting(kHKEY_LOCAL_MACHINE, QLatin1String(S::kTrustedCertificatesSection), "h:21", "garbage");
    EXPECT_TRUE(ConnectionRules::TrustedCertificate(reg, QStringLiteral("h"), 21).isEmpty());
}

TEST(ConnectionRules, CertificateQuestionWarnsWhenTheServerShowsAnotherThanTheTrustedOne)
{
    CertificateInfo info;
    info.sHost = QStringLiteral("127.0.0.1");
    info.nPort = 21;
    info.sFingerprint = kOther;
    const QString fresh = ConnectionRules::CertificateQuestion(info, QString());
    EXPECT_TRUE(fresh.startsWith(QLatin1String("The identity of this server cannot be confirmed")));
    EXPECT_TRUE(fresh.contains(kOther)) << fresh.toStdString();
    EXPECT_TRUE(ConnectionRules::CertificateQuestion(info, kOther).startsWith(QLatin1String("The identity")));
    EXPECT_TRUE(ConnectionRules::CertificateQuestion(info, kFingerprint).startsWith(QLatin1String("WARNING: this server shows another certificate")));
}
