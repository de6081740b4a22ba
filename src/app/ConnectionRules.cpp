#include "app/ConnectionRules.h"

#include "ftp/Certificates.h"
#include "ftp/FtpComponent.h"
#include "settings/CRegister.h"
#include "settings/Settings.h"

namespace ConnectionRules {

namespace {

QString Read(const CRegister& reg, const char* sName, const char* sDefault)
{
    return reg.REGGetSetting(kHKEY_LOCAL_MACHINE, QLatin1String(Settings::kSection), QLatin1String(sName),
                             QLatin1String(sDefault));
}

QString ServerName(const QString& sHost, int nPort)
{
    QString host = sHost.trimmed().toLower();
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']'))) host = host.mid(1, host.size() - 2);
    if (host.contains(QLatin1Char(':'))) host = QLatin1Char('[') + host + QLatin1Char(']');
    return host + QLatin1Char(':') + QString::number(nPort);
}

}  // namespace

QString TrustedCertificate(const CRegister& reg, const QString& sHost, int nPort)
{
    return Certificates::NormalizeFingerprint(reg.REGGetSetting(
        kHKEY_LOCAL_MACHINE, QLatin1String(Settings::kTrustedCertificatesSection), ServerName(sHost, nPort), QString()));
}

bool TrustCertificate(const CRegister& reg, const QString& sHost, int nPort, const QString& sFingerprint)
{
    const QString fingerprint = Certificates::NormalizeFingerprint(sFingerprint);
    return !fingerprint.isEmpty()
           && reg.REGSaveSetting(kHKEY_LOCAL_MACHINE, QLatin1String(Settings::kTrustedCertificatesSection),
                                 ServerName(sHost, nPort), fingerprint);
}

QString CertificateQuestion(const CertificateInfo& info, const QString& sTrusted)
{
    const QString opening =
        !sTrusted.isEmpty() && sTrusted != info.sFingerprint
            ? QStringLiteral("WARNING: this server shows another certificate than the one you chose to trust for it. "
                             "Someone may be intercepting the connection, or the server has a new certificate: "
                             "ask its administrator before you trust it.")
            : QStringLiteral("The identity of this server cannot be confirmed: nothing this computer trusts vouches "
                             "for its certificate.");
    return opening + QStringLiteral("\n\n") + Certificates::DescribeForUser(info)
           + QStringLiteral("\n\nTrust this certificate?\n"
                            "Yes: always, for this server (it is remembered)\n"
                            "No: for this connection only\n"
                            "Cancel: do not connect");
}

int ParallelConnections(const QString& sStored)
{
    double dValue = 0;
    if (!Settings::ParseNumber(sStored, dValue) || dValue < 1 || dValue != static_cast<int>(dValue)) return kDefaultConnections;
    return qMin(static_cast<int>(dValue), FtpComponent::kMaxConnections);
}

bool ParsePort(const QString& sText, quint16& nPort)
{
    const QString text = sText.trimmed();
    if (text.isEmpty() || text.size() > 5) return false;
    for (QChar c : text)
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return false;
    const int value = text.toInt();
    if (value < 1 || value > 65535) return false;
    nPort = static_cast<quint16>(value);
    return true;
}

QString Apply(FtpComponent& ftp, const ConnectionRequest& request, const CRegister& reg)
{
    quint16 port = 0;
    if (!ParsePort(request.sPort, port))
        return QStringLiteral("The port \"%1\" is not a port number (1 to 65535).").arg(request.sPort);

    const bool bFirewall = Settings::NumberOrZero(Read(reg, Settings::kFirewallUse, "0")) == 1.0;
    quint16 proxyPort = 1080;
    if (bFirewall) {
        const QString text = Read(reg, Settings::kFirewallProxyPort, "");
        if (!ParsePort(text, proxyPort))
            return QStringLiteral("The firewall proxy port \"%1\" is not a port number (1 to 65535).").arg(text);
    }

    ftp.PutProperty(FtpComponent::kServerAddress, request.sServer);
    ftp.PutProperty(FtpComponent::kPort, port);
    ftp.PutProperty(FtpComponent::kUserName, request.bAnonymous ? QStringLiteral("anonymous") : request.sUserName);
    ftp.PutProperty(FtpComponent::kPassword,
                    request.bAnonymous ? QLatin1String(kAnonymousPassword) : request.sPassword);
    ftp.setUseTls(request.bUseTls);
    const QString trusted = request.bUseTls ? TrustedCertificate(reg, request.sServer, port) : QString();
    ftp.setTrustedCertificates(trusted.isEmpty() ? QStringList() : QStringList{trusted});
    ftp.PutProperty(FtpComponent::kPassiveMode, Settings::NumberOrZero(Read(reg, Settings::kFtpPasv, Settings::kFtpPasvDefault)) == 1.0);
    ftp.setParallelConnections(ParallelConnections(Read(reg, Settings::kParallelConnections, "")));

    if (bFirewall) {
        ftp.PutProperty(FtpComponent::kProxyAddress, Read(reg, Settings::kFirewallHostName, ""));
        ftp.PutProperty(FtpComponent::kProxyUser, Read(reg, Settings::kFirewallUserName, ""));
        ftp.PutProperty(FtpComponent::kProxyPassword, Read(reg, Settings::kFirewallPassword, ""));
        ftp.PutProperty(FtpComponent::kProxyType, Read(reg, Settings::kFirewallType, "") == QLatin1String("SOCKS 4") ? 4 : 5);
        ftp.PutProperty(FtpComponent::kProxyPort, proxyPort);
    } else {
        ftp.PutProperty(FtpComponent::kProxyType, 0);
        ftp.PutProperty(FtpComponent::kProxyAddress, QString());
        ftp.PutProperty(FtpComponent::kProxyPassword, QString());
        ftp.PutProperty(FtpComponent::kProxyPort, 1080);
        ftp.PutProperty(FtpComponent::kProxyUser, QString());
    }
    return QString();
}

}  // namespace ConnectionRules
