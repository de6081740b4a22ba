#include "app/ConnectionRules.h"

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

}  // namespace

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
    ftp.PutProperty(FtpComponent::kPassiveMode, Settings::NumberOrZero(Read(reg, Settings::kFtpPasv, "0")) == 1.0);
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
