#pragma once

#include <QString>
#include <QUrl>

#include <functional>

class QWidget;

// Whether the machine is on a network, in the terms the program reports it:
// a set of flags and a connected switch, taken from Qt's network
// information where a backend is available, else from the interfaces.
struct ConnectionState {
    enum Flag : unsigned {
        kModem = 1,
        kLan = 2,
        kProxy = 4,
        kModemBusy = 8,
        kRemoteAccessInstalled = 16,
        kOffline = 32,
        kConfigured = 64,
    };
    bool bConnected = false;
    unsigned nFlags = 0;
};

namespace InternetConnection {

// The text shown when a page cannot be opened, or in the About window:
// "No internet connection." when not connected, else the pieces for the
// flags in a fixed order.
QString ConnectionDescription(const ConnectionState& state);

// The machine's state now, or what a test provider answers.
ConnectionState CurrentConnectionState();
void SetConnectionStateProvider(std::function<ConnectionState()> provider);  // null: the platform

// Opens a page in the desktop's handler (browser, mail program). A page on
// the network is opened only when there is a connection; otherwise a
// message with the description says why and nothing opens. A local file
// needs no connection. True when the page was handed to the desktop.
bool OpenPage(const QUrl& url);
void SetUrlOpener(std::function<bool(const QUrl&)> opener);  // null: QDesktopServices

}  // namespace InternetConnection
