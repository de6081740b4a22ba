#include "ftp/SocksClient.h"

#include "ftp/FtpError.h"
#include "ftp/Wait.h"

#include <QTcpSocket>
#include <QtEndian>

namespace Socks {

namespace {

using namespace FtpErrorNumber;

FtpError ProxyError(const QString& sText) { return FtpError{kConnectFailed, QStringLiteral("SOCKS proxy: ") + sText}; }

void WriteAll(QTcpSocket& socket, const QByteArray& data, Wait& wait)
{
    socket.write(data);
    wait.until(
        [&] {
            if (socket.bytesToWrite() == 0) return Wait::Done;
            if (socket.state() != QAbstractSocket::ConnectedState) throw ProxyError(QStringLiteral("the proxy closed the connection."));
            return Wait::Idle;
        },
        [&](int nSliceMs) { socket.waitForBytesWritten(nSliceMs); },
        [] { throw FtpError{kTimeout, QStringLiteral("SOCKS proxy: timed out sending to the proxy.")}; });
}

QByteArray ReadExactly(QTcpSocket& socket, qint64 nBytes, Wait& wait)
{
    QByteArray data;
    wait.until(
        [&] {
            if (data.size() >= nBytes) return Wait::Done;
            if (socket.bytesAvailable() > 0) {
                data += socket.read(nBytes - data.size());
                return Wait::Moved;
            }
            if (socket.state() != QAbstractSocket::ConnectedState)
                throw ProxyError(QStringLiteral("the proxy closed the connection during the handshake."));
            return Wait::Idle;
        },
        [&](int nSliceMs) { socket.waitForReadyRead(nSliceMs); },
        [] { throw FtpError{kTimeout, QStringLiteral("SOCKS proxy: timed out waiting for the proxy's answer.")}; });
    return data;
}

QByteArray PortBytes(quint16 nPort)
{
    QByteArray bytes(2, '\0');
    qToBigEndian(nPort, bytes.data());
    return bytes;
}

// --- SOCKS 4 / 4a ------------------------------------------------------------------

QString Socks4Failure(quint8 code)
{
    switch (code) {
    case 91: return QStringLiteral("the proxy refused the request (code 91).");
    case 92: return QStringLiteral("the proxy could not reach the client's identd (code 92).");
    case 93: return QStringLiteral("the proxy's identd check failed (code 93).");
    default: return QStringLiteral("the proxy answered with the unknown code %1.").arg(code);
    }
}

Endpoint Socks4Request(QTcpSocket& socket, const Proxy& settings, quint8 command, const QString& sHost, quint16 nPort,
                       Wait& wait)
{
    QHostAddress address(sHost);
    QByteArray request;
    request += char(4);
    request += char(command);
    request += PortBytes(nPort);
    const bool bByName = address.isNull();
    if (!bByName && address.protocol() != QAbstractSocket::IPv4Protocol)
        throw ProxyError(QStringLiteral("SOCKS 4 cannot reach the IPv6 address %1; use SOCKS 5.").arg(sHost));
    QByteArray ip(4, '\0');
    if (bByName) ip[3] = 1;  // 0.0.0.1: the name follows (SOCKS 4a)
    else qToBigEndian(address.toIPv4Address(), ip.data());
    request += ip;
    request += settings.sUser.toUtf8();
    request += '\0';
    if (bByName) {
        request += sHost.toUtf8();
        request += '\0';
    }
    WriteAll(socket, request, wait);
    const QByteArray reply = ReadExactly(socket, 8, wait);
    if (static_cast<quint8>(reply[1]) != 90) throw ProxyError(Socks4Failure(static_cast<quint8>(reply[1])));
    Endpoint bound;
    bound.port = qFromBigEndian<quint16>(reply.constData() + 2);
    const quint32 ip4 = qFromBigEndian<quint32>(reply.constData() + 4);
    if (ip4 != 0) bound.address = QHostAddress(ip4);
    return bound;
}

// --- SOCKS 5 --------------------------------------------------------------------------

QString Socks5Failure(quint8 code)
{
    switch (code) {
    case 1: return QStringLiteral("general failure of the proxy.");
    case 2: return QStringLiteral("the proxy's rules do not allow this connection.");
    case 3: return QStringLiteral("the proxy reports the network unreachable.");
    case 4: return QStringLiteral("the proxy reports the host unreachable.");
    case 5: return QStringLiteral("the FTP server refused the proxy's connection.");
    case 6: return QStringLiteral("the proxy's connection timed out (TTL expired).");
    case 7: return QStringLiteral("the proxy does not support this command.");
    case 8: return QStringLiteral("the proxy does not support this address type.");
    default: return QStringLiteral("the proxy answered with the unknown code %1.").arg(code);
    }
}

void Socks5Greet(QTcpSocket& socket, const Proxy& settings, Wait& wait)
{
    const bool bCredentials = !settings.sUser.isEmpty();
    QByteArray greeting;
    greeting += char(5);
    if (bCredentials) greeting += QByteArray::fromRawData("\x02\x00\x02", 3);
    else greeting += QByteArray::fromRawData("\x01\x00", 2);
    WriteAll(socket, greeting, wait);
    const QByteArray choice = ReadExactly(socket, 2, wait);
    if (choice[0] != 5) throw ProxyError(QStringLiteral("the proxy does not speak SOCKS 5."));
    const quint8 method = static_cast<quint8>(choice[1]);
    if (method == 0xFF)
        throw ProxyError(bCredentials ? QStringLiteral("the proxy accepts none of the offered login methods.")
                                      : QStringLiteral("the proxy requires a user name and password."));
    if (method == 0) return;
    if (method != 2 || !bCredentials) throw ProxyError(QStringLiteral("the proxy chose a login method that was not offered."));
    const QByteArray user = settings.sUser.toUtf8(), password = settings.sPassword.toUtf8();
    if (user.size() > 255 || password.size() > 255) throw ProxyError(QStringLiteral("the user name or password is too long."));
    QByteArray login;
    login += char(1);
    login += char(user.size());
    login += user;
    login += char(password.size());
    login += password;
    WriteAll(socket, login, wait);
    const QByteArray status = ReadExactly(socket, 2, wait);
    if (status[1] != 0)
        throw FtpError{kLoginFailed, QStringLiteral("SOCKS proxy: the proxy refused the user name or password.")};
}

Endpoint Socks5Reply(QTcpSocket& socket, Wait& wait)
{
    const QByteArray head = ReadExactly(socket, 4, wait);
    if (head[0] != 5) throw ProxyError(QStringLiteral("the proxy sent a malformed answer."));
    if (head[1] != 0) throw ProxyError(Socks5Failure(static_cast<quint8>(head[1])));
    Endpoint bound;
    switch (head[3]) {
    case 1: {
        const QByteArray ip = ReadExactly(socket, 4, wait);
        const quint32 ip4 = qFromBigEndian<quint32>(ip.constData());
        if (ip4 != 0) bound.address = QHostAddress(ip4);
        break;
    }
    case 4: {
        const QByteArray ip = ReadExactly(socket, 16, wait);
        bound.address = QHostAddress(reinterpret_cast<const quint8*>(ip.constData()));
        if (bound.address == QHostAddress::AnyIPv6) bound.address = QHostAddress();
        break;
    }
    case 3: {
        const quint8 length = static_cast<quint8>(ReadExactly(socket, 1, wait)[0]);
        bound.address = QHostAddress(QString::fromUtf8(ReadExactly(socket, length, wait)));
        break;
    }
    default: throw ProxyError(QStringLiteral("the proxy sent an unknown address type."));
    }
    bound.port = qFromBigEndian<quint16>(ReadExactly(socket, 2, wait).constData());
    return bound;
}

Endpoint Socks5Request(QTcpSocket& socket, const Proxy& settings, quint8 command, const QString& sHost, quint16 nPort,
                       Wait& wait)
{
    Socks5Greet(socket, settings, wait);
    QByteArray request;
    request += char(5);
    request += char(command);
    request += char(0);
    const QHostAddress address(sHost);
    if (address.protocol() == QAbstractSocket::IPv4Protocol) {
        QByteArray ip(4, '\0');
        qToBigEndian(address.toIPv4Address(), ip.data());
        request += char(1);
        request += ip;
    } else if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        const Q_IPV6ADDR ip = address.toIPv6Address();
        request += char(4);
        request += QByteArray(reinterpret_cast<const char*>(ip.c), 16);
    } else {
        const QByteArray name = sHost.toUtf8();
        if (name.isEmpty() || name.size() > 255) throw ProxyError(QStringLiteral("the host name is not usable."));
        request += char(3);
        request += char(name.size());
        request += name;
    }
    request += PortBytes(nPort);
    WriteAll(socket, request, wait);
    return Socks5Reply(socket, wait);
}

}  // namespace

void Connect(QTcpSocket& proxy, const Proxy& settings, const QString& sHost, quint16 nPort, int nTimeoutMs,
             const AbortCheck& checkAbort)
{
    Wait wait(nTimeoutMs, checkAbort, true);
    if (settings.nVersion == 4) Socks4Request(proxy, settings, 1, sHost, nPort, wait);
    else Socks5Request(proxy, settings, 1, sHost, nPort, wait);
}

Endpoint Bind(QTcpSocket& proxy, const Proxy& settings, const QString& sHost, quint16 nPort, int nTimeoutMs,
              const AbortCheck& checkAbort)
{
    Wait wait(nTimeoutMs, checkAbort, true);
    try {
        return settings.nVersion == 4 ? Socks4Request(proxy, settings, 2, sHost, nPort, wait)
                                      : Socks5Request(proxy, settings, 2, sHost, nPort, wait);
    } catch (const FtpError& e) {
        if (e.number == kTimeout) throw;
        throw FtpError{kDataConnection, QStringLiteral("Active mode is not possible through this proxy; enable passive mode (%1)")
                                            .arg(e.description)};
    }
}

void AwaitBoundConnection(QTcpSocket& proxy, const Proxy& settings, int nTimeoutMs, const AbortCheck& checkAbort)
{
    Wait wait(nTimeoutMs, checkAbort, true);
    if (settings.nVersion == 4) {
        const QByteArray reply = ReadExactly(proxy, 8, wait);
        if (static_cast<quint8>(reply[1]) != 90) throw ProxyError(Socks4Failure(static_cast<quint8>(reply[1])));
    } else {
        Socks5Reply(proxy, wait);
    }
}

}  // namespace Socks
