#include "ftp/DataChannel.h"

#include "ftp/ControlChannel.h"
#include "ftp/SocksClient.h"
#include "ftp/Tls.h"

#include <QSslSocket>

using namespace FtpErrorNumber;

namespace {

// Listens for active-mode data connections; with TLS they arrive as sockets
// that can be encrypted once the server has answered the command.
class DataListener final : public QTcpServer {
public:
    explicit DataListener(bool bTls) : m_bTls(bTls) {}

protected:
    void incomingConnection(qintptr nDescriptor) override
    {
        auto* socket = m_bTls ? new QSslSocket : new QTcpSocket;
        if (!socket->setSocketDescriptor(nDescriptor)) {
            delete socket;
            return;
        }
        addPendingConnection(socket);
    }

private:
    const bool m_bTls;
};

// What a data connection holds of what has arrived and is not read yet:
// bounded, so that a fast server cannot fill the memory. An encrypted one
// holds less, since it keeps its data twice (as it came, and decrypted).
void BoundReadBuffer(QTcpSocket& socket)
{
    socket.setReadBufferSize(qobject_cast<QSslSocket*>(&socket) ? DataChannel::kBlockSize / 4 : 4 * DataChannel::kBlockSize);
}

Socks::Proxy ProxyOf(const FtpSettings& settings)
{
    return Socks::Proxy{static_cast<int>(settings.nProxyType), settings.sProxyHost, static_cast<quint16>(settings.nProxyPort),
                        settings.sProxyUser, settings.sProxyPassword};
}

}  // namespace

DataChannel::DataChannel(ControlChannel& control, FtpTls& tls, const FtpSettings& settings)
    : m_control(control), m_tls(tls), m_settings(settings)
{
}

FtpReply DataChannel::open(const QString& sVerb, const QString& sArgument, qint64 nRest, bool bAppendWhenRestRefused,
                           DataConnection& connection, const ListingEntry* pListed,
                           const std::function<void()>& beforeAsking)
{
    bool bPassive = m_settings.bPassive;
    for (int attempt = 0;; ++attempt) {
        connection = DataConnection();
        if (bPassive) {
            preparePassive(connection);
        } else if (!prepareActive(connection)) {
            m_control.log(QStringLiteral("The server refused active mode; this transfer uses passive mode."));
            bPassive = true;
            preparePassive(connection);
        }
        if (beforeAsking) beforeAsking();
        QString verb = sVerb;
        if (nRest > 0) {
            const FtpReply rest = m_control.command(QStringLiteral("REST %1").arg(nRest));
            if (rest.code != 350) {
                if (!bAppendWhenRestRefused)
                    throw FtpError{kRefused, QStringLiteral("The server cannot resume: %1 %2").arg(rest.code).arg(rest.text())};
                verb = QStringLiteral("APPE");  // appending continues at the remote end
            }
        }
        if (sArgument.isEmpty()) m_control.send(verb);
        else m_control.send(verb, sArgument, pListed);
        const FtpReply reply = m_control.readReply();
        if (reply.code == 425 && !bPassive && attempt == 0) {
            m_control.log(QStringLiteral("The server could not open the active data connection; this transfer uses passive mode."));
            bPassive = true;
            continue;
        }
        if (reply.kind() == 1) {
            try {
                if (!bPassive) completeActive(connection);
                if (m_control.encrypted()) encrypt(connection);
            } catch (const FtpError& e) {
                if (e.number != kConnectionLost) abortTransfer(connection.socket.get());
                throw;
            }
        }
        return reply;
    }
}

void DataChannel::encrypt(DataConnection& connection) { m_tls.encryptData(connection.socket.get(), connection.bTlsClosed); }

void DataChannel::preparePassive(DataConnection& connection)
{
    const QHostAddress peer = m_control.peerAddress();
    bool bMappedV4 = false;
    peer.toIPv4Address(&bMappedV4);
    const bool bIpv6 = peer.protocol() == QAbstractSocket::IPv6Protocol && !bMappedV4;
    int port = -1;
    ServerFeatures& features = m_control.features();
    if (!features.bEpsvRefused) {
        const FtpReply reply = m_control.command(QStringLiteral("EPSV"));
        port = ParseEpsvPort(reply);
        if (!port && reply.kind() == 5) features.bEpsvRefused = true;
    }
    if (port <= 0 || port > 65535) {
        if (bIpv6)
            throw FtpError{kDataConnection, QStringLiteral("The server refused EPSV, which passive mode over IPv6 needs.")};
        const FtpReply reply = m_control.command(QStringLiteral("PASV"));
        if (reply.code != 227)
            throw FtpError{kDataConnection, QStringLiteral("The server refused passive mode: %1 %2").arg(reply.code).arg(reply.text())};
        const std::optional<PasvTarget> target = ParsePasvReply(reply.text());
        if (!target) throw FtpError{kDataConnection, QStringLiteral("The server sent a malformed PASV reply.")};
        port = target->nPort;
        const QHostAddress named(target->sAddress);
        // The data connection goes where the control connection goes: a
        // reply naming another host is either a NAT mistake or an attempt
        // to make us connect somewhere else.
        if (!named.isEqual(peer, QHostAddress::ConvertV4MappedToIPv4))
            m_control.log(QStringLiteral("The server named %1 for the data connection; using %2, the server's own address.")
                              .arg(named.toString(), m_control.dataHost()));
    }
    if (port <= 0 || port > 65535) throw FtpError{kDataConnection, QStringLiteral("The server named no usable data port.")};
    const bool bTls = m_control.encrypted();
    connection.socket = bTls ? std::make_unique<QSslSocket>() : std::make_unique<QTcpSocket>();
    BoundReadBuffer(*connection.socket);
    m_control.connectTo(*connection.socket, m_control.dataHost(), static_cast<quint16>(port), m_settings.nConnectTimeoutMs,
                        QStringLiteral("data"));
}

bool DataChannel::prepareActive(DataConnection& connection)
{
    const bool bTls = m_control.encrypted();
    QHostAddress address;
    quint16 port = 0;
    if (m_settings.viaProxy()) {
        // The proxy listens for the server's connection (SOCKS BIND); with
        // TLS the socket is encrypted once the server is through.
        connection.bound = bTls ? std::make_unique<QSslSocket>() : std::make_unique<QTcpSocket>();
        try {
            m_control.connectDirect(*connection.bound, m_settings.sProxyHost, static_cast<quint16>(m_settings.nProxyPort),
                                    m_settings.nConnectTimeoutMs, QStringLiteral("proxy"));
        } catch (const FtpError& e) {
            if (e.number == kAborted) throw;
            throw FtpError{e.number, QStringLiteral("SOCKS proxy: ") + e.description};
        }
        const Socks::Endpoint bound = Socks::Bind(*connection.bound, ProxyOf(m_settings), m_control.dataHost(), 0,
                                                  m_settings.nConnectTimeoutMs, [this] { m_control.checkAbort(); });
        address = bound.address.isNull() || bound.address.isEqual(QHostAddress::AnyIPv4) ? connection.bound->peerAddress()
                                                                                         : bound.address;
        port = bound.port;
    } else {
        connection.listener = std::make_unique<DataListener>(bTls);
        address = m_control.socket().localAddress();
        if (!connection.listener->listen(address, 0))
            throw FtpError{kDataConnection, QStringLiteral("Cannot listen for the data connection: ") + connection.listener->errorString()};
        port = connection.listener->serverPort();
    }

    bool bIsV4 = false;
    const quint32 v4 = address.toIPv4Address(&bIsV4);
    const QString text = bIsV4 ? QHostAddress(v4).toString() : address.toString();
    if (m_control.command(QStringLiteral("EPRT |%1|%2|%3|").arg(bIsV4 ? 1 : 2).arg(text).arg(port)).positive()) return true;
    if (!bIsV4) return false;  // PORT cannot name an IPv6 address
    const QString portArgument = QStringLiteral("%1,%2,%3,%4,%5,%6")
                                     .arg((v4 >> 24) & 0xFF)
                                     .arg((v4 >> 16) & 0xFF)
                                     .arg((v4 >> 8) & 0xFF)
                                     .arg(v4 & 0xFF)
                                     .arg(port >> 8)
                                     .arg(port & 0xFF);
    return m_control.command(QStringLiteral("PORT ") + portArgument).positive();
}

void DataChannel::completeActive(DataConnection& connection)
{
    if (connection.bound) {
        Socks::AwaitBoundConnection(*connection.bound, ProxyOf(m_settings), m_settings.nConnectTimeoutMs,
                                    [this] { m_control.checkAbort(); });
        connection.socket = std::move(connection.bound);
        BoundReadBuffer(*connection.socket);
        return;
    }
    const QHostAddress peer = m_control.peerAddress();
    m_control.wait(m_settings.nConnectTimeoutMs)
        .until(
            [&] {
                while (connection.listener->hasPendingConnections()) {
                    std::unique_ptr<QTcpSocket> incoming(connection.listener->nextPendingConnection());
                    incoming->setParent(nullptr);
                    // Only the server may deliver the data: anyone else who
                    // finds the port is turned away.
                    if (incoming->peerAddress().isEqual(peer, QHostAddress::ConvertV4MappedToIPv4)) {
                        connection.socket = std::move(incoming);
                        return Wait::Done;
                    }
                    m_control.log(QStringLiteral("Refused a data connection from %1: only the server may connect.")
                                      .arg(incoming->peerAddress().toString()));
                    incoming->abort();
                }
                return Wait::Idle;
            },
            [&](int nSliceMs) { connection.listener->waitForNewConnection(nSliceMs); },
            [] { throw FtpError{kTimeout, QStringLiteral("The server did not open the data connection in time.")}; });
    connection.listener->close();
    BoundReadBuffer(*connection.socket);
}

void DataChannel::waitForData(QTcpSocket& socket, int nSliceMs)
{
    // With its buffer bounded, an encrypted socket stops decrypting once the
    // buffer is full, and would wait for the network while data it already
    // holds is still to be decrypted: flushing it decrypts that first.
    if (qobject_cast<QSslSocket*>(&socket)) {
        socket.flush();
        if (socket.bytesAvailable() > 0) return;
    }
    socket.waitForReadyRead(nSliceMs);
}

void DataChannel::abortTransfer(QTcpSocket* pData)
{
    if (pData) pData->abort();
    if (!m_control.connected()) return;
    try {
        m_control.abortCommand();
    } catch (const FtpError&) {
        // Already closed and reported, or a server that ignores ABOR: the
        // connection is unusable either way. The caller's error stands.
        m_control.dropConnection(QStringLiteral("The server did not complete the abort; the connection is closed."));
    }
}
