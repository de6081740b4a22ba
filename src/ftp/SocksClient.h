#pragma once

#include <QHostAddress>
#include <QString>

#include <functional>

class QTcpSocket;

// The client side of SOCKS 4, 4a (RFC-less, the common extension) and 5
// (RFC 1928, with RFC 1929 user/password), done with blocking waits on a
// socket that is already connected to the proxy. Failures throw FtpError
// with texts that say the proxy, not the FTP server, refused.
namespace Socks {

struct Proxy {
    int nVersion = 0;  // 4 or 5
    QString sHost;
    quint16 nPort = 1080;
    QString sUser, sPassword;
};

struct Endpoint {
    QHostAddress address;  // null when the proxy gave none (use the proxy's own)
    quint16 port = 0;
};

// Called often during waits; throws to stop (the abort flag).
using AbortCheck = std::function<void()>;

// Asks the proxy to connect to sHost:nPort. A host name goes to the proxy
// unresolved (SOCKS 4a and 5); SOCKS 4 needs an IPv4 address.
void Connect(QTcpSocket& proxy, const Proxy& settings, const QString& sHost, quint16 nPort, int nTimeoutMs,
             const AbortCheck& checkAbort);

// Asks the proxy to listen for one connection from sHost:nPort (the FTP
// server, for active mode). Returns where the proxy listens, to announce it.
Endpoint Bind(QTcpSocket& proxy, const Proxy& settings, const QString& sHost, quint16 nPort, int nTimeoutMs,
              const AbortCheck& checkAbort);
// After Bind: waits for the proxy's second reply, sent when the server has
// connected; from then on the socket carries the data.
void AwaitBoundConnection(QTcpSocket& proxy, const Proxy& settings, int nTimeoutMs, const AbortCheck& checkAbort);

}  // namespace Socks
