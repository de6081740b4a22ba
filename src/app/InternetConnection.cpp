#include "app/InternetConnection.h"

#include "ui/Prompter.h"

#include <QDesktopServices>
#include <QNetworkInformation>
#include <QNetworkInterface>
#include <QNetworkProxyFactory>

namespace {

std::function<ConnectionState()> g_provider;
std::function<bool(const QUrl&)> g_opener;

// An interface that is up and running, not loopback, with an address.
bool HasUsableInterface(bool* pAnyNonLoopback)
{
    bool bUsable = false;
    for (const QNetworkInterface& nic : QNetworkInterface::allInterfaces()) {
        const auto flags = nic.flags();
        if (flags.testFlag(QNetworkInterface::IsLoopBack)) continue;
        if (pAnyNonLoopback) *pAnyNonLoopback = true;
        if (flags.testFlag(QNetworkInterface::IsUp) && flags.testFlag(QNetworkInterface::IsRunning)
            && !nic.addressEntries().isEmpty())
            bUsable = true;
    }
    return bUsable;
}

ConnectionState PlatformState()
{
    ConnectionState state;
    bool bAnyInterface = false;
    const bool bInterfaceUp = HasUsableInterface(&bAnyInterface);
    if (bAnyInterface) state.nFlags |= ConnectionState::kConfigured;

    bool bDecided = false;
    if (QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::Reachability)) {
        const QNetworkInformation* info = QNetworkInformation::instance();
        switch (info->reachability()) {
        case QNetworkInformation::Reachability::Online:
        case QNetworkInformation::Reachability::Site:
            state.bConnected = true;
            bDecided = true;
            break;
        case QNetworkInformation::Reachability::Disconnected:
        case QNetworkInformation::Reachability::Local:
            state.bConnected = false;
            state.nFlags |= ConnectionState::kOffline;
            bDecided = true;
            break;
        case QNetworkInformation::Reachability::Unknown:
            break;
        }
        if (state.bConnected) {
            switch (info->transportMedium()) {
            case QNetworkInformation::TransportMedium::Cellular:
            case QNetworkInformation::TransportMedium::Bluetooth:
                state.nFlags |= ConnectionState::kModem;
                break;
            default:
                state.nFlags |= ConnectionState::kLan;
                break;
            }
        }
    }
    if (!bDecided) {
        state.bConnected = bInterfaceUp;
        if (bInterfaceUp) state.nFlags |= ConnectionState::kLan;
    }
    if (state.bConnected) {
        const QList<QNetworkProxy> proxies =
            QNetworkProxyFactory::systemProxyForQuery(QNetworkProxyQuery(QUrl(QStringLiteral("http://kelvo.example/"))));
        if (!proxies.isEmpty() && proxies.first().type() != QNetworkProxy::NoProxy)
            state.nFlags |= ConnectionState::kProxy;
    }
    return state;
}

}  // namespace

namespace InternetConnection {

QString ConnectionDescription(const ConnectionState& state)
{
    if (!state.bConnected) return QStringLiteral("No internet connection.");
    const auto has = [&state](unsigned flag) { return (state.nFlags & flag) != 0; };
    QString text;
    if (has(ConnectionState::kConfigured)) text += QStringLiteral("Network connection configured.\n");
    if (has(ConnectionState::kLan)) text += QStringLiteral("Connect via a LAN.");
    text += has(ConnectionState::kProxy) ? QStringLiteral(", and uses a proxy server.") : QStringLiteral(".");
    if (has(ConnectionState::kModem)) text += QStringLiteral("Connect via a Modem.");
    if (has(ConnectionState::kOffline)) text += QStringLiteral("Connection offline.");
    if (has(ConnectionState::kModemBusy)) text += QStringLiteral("Modem is busy with a non-Internet connection.");
    if (has(ConnectionState::kRemoteAccessInstalled)) text += QStringLiteral("Remote Access Services are installed.");
    return text;
}

ConnectionState CurrentConnectionState() { return g_provider ? g_provider() : PlatformState(); }

void SetConnectionStateProvider(std::function<ConnectionState()> provider) { g_provider = std::move(provider); }

bool OpenPage(const QUrl& url)
{
    if (!url.isLocalFile()) {
        const ConnectionState state = CurrentConnectionState();
        if (!state.bConnected) {
            ThePrompter().message(QStringLiteral("Kelvo"), ConnectionDescription(state), PromptButtons::Ok,
                                  PromptIcon::None);
            return false;
        }
    }
    return g_opener ? g_opener(url) : QDesktopServices::openUrl(url);
}

void SetUrlOpener(std::function<bool(const QUrl&)> opener) { g_opener = std::move(opener); }

}  // namespace InternetConnection
