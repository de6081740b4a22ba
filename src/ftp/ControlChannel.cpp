#include "ftp/ControlChannel.h"

#include "ftp/FtpEvents.h"
#include "ftp/SocksClient.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHostInfo>
#include <QScopeGuard>
#include <QSslSocket>
#include <QTcpSocket>

#include <utility>

using namespace FtpErrorNumber;
using FtpState::Phase;

namespace {

// "host:port", with an IPv6 address in brackets.
QString HostAndPort(const QString& sHost, int nPort)
{
    return (sHost.contains(QLatin1Char(':')) ? QLatin1Char('[') + sHost + QLatin1Char(']') : sHost) + QLatin1Char(':')
           + QString::number(nPort);
}

}  // namespace

ControlChannel::ControlChannel(FtpEvents& events, const FtpSettings& settings, std::atomic<bool>& abortFlag,
                               std::atomic<Phase>& phase)
    : m_events(events), m_settings(settings), m_abort(abortFlag), m_phase(phase)
{
}

ControlChannel::~ControlChannel() { close(); }

// --- the connection -------------------------------------------------------------------

bool ControlChannel::connected() const { return m_socket && m_socket->state() == QAbstractSocket::ConnectedState; }

void ControlChannel::open(const QString& sServer)
{
    close();
    setPhase(Phase::Connecting);
    setUtf8(false);
    m_features = ServerFeatures();
    m_sListedFolder.clear();
    m_listedRawNames.clear();

    m_socket = m_settings.bTls ? std::make_unique<QSslSocket>() : std::make_unique<QTcpSocket>();
    QTcpSocket* socket = m_socket.get();
    QObject::connect(socket, &QTcpSocket::disconnected, &m_events, [this] {
        // Noticed by the call itself when one runs; otherwise reported now.
        if (phase() == Phase::Busy || phase() == Phase::Connecting) return;
        dropConnection(QStringLiteral("The server closed the connection."));
    });
    const QString target = HostAndPort(sServer, m_settings.nPort);
    log(m_settings.viaProxy() ? QStringLiteral("Connecting to %1 through the SOCKS %2 proxy %3")
                                    .arg(target)
                                    .arg(m_settings.nProxyType)
                                    .arg(HostAndPort(m_settings.sProxyHost, m_settings.nProxyPort))
                              : QStringLiteral("Connecting to %1").arg(target));
    try {
        connectTo(*socket, sServer, static_cast<quint16>(m_settings.nPort), m_settings.nConnectTimeoutMs,
                  QStringLiteral("control"));
    } catch (const FtpError&) {
        close();
        throw;
    }
    if (m_settings.viaProxy()) {
        m_peerAddress = QHostAddress(sServer);
        m_sDataHost = sServer;
    } else {
        m_peerAddress = socket->peerAddress();
        m_sDataHost = m_peerAddress.toString();
    }
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    setPhase(Phase::Busy);
}

void ControlChannel::close()
{
    m_nOwedReplies = 0;
    m_bOwedRepliesDrained = false;
    setPhase(Phase::NotConnected);
    if (!m_socket) return;
    m_socket->disconnect(&m_events);
    m_socket->abort();
    // Later: this may run inside one of the socket's own signals.
    m_socket.release()->deleteLater();
    m_parser.reset();
    m_sCurrentFolder.clear();
    m_nSentType = -1;
    m_bEncrypted = false;
}

void ControlChannel::dropConnection(const QString& sWhy)
{
    if (!m_socket) return;
    close();
    log(sWhy);
    Q_EMIT m_events.disconnected();
}

void ControlChannel::lost(const QString& sWhy, long nNumber)
{
    // After a timeout the server may still answer the old command later, so
    // the connection cannot be trusted either: it is closed all the same.
    dropConnection(sWhy);
    throw FtpError{nNumber, sWhy};
}

void ControlChannel::connectDirect(QTcpSocket& socket, const QString& sHost, quint16 nPort, int nTimeoutMs,
                                   const QString& sWhat)
{
    QList<QHostAddress> addresses;
    const QHostAddress literal(sHost);
    if (!literal.isNull()) {
        addresses << literal;
    } else {
        const QHostInfo info = QHostInfo::fromName(sHost);
        addresses = info.addresses();
        if (addresses.isEmpty())
            throw FtpError{kConnectFailed, QStringLiteral("Cannot find the host %1: %2").arg(sHost, info.errorString())};
    }
    // Each address in turn, with its share of the time, so that one dead
    // address (an IPv6 route that goes nowhere, say) does not use it all.
    const QDeadlineTimer deadline(nTimeoutMs);
    const QString timedOut = QStringLiteral("Timed out opening the %1 connection.").arg(sWhat);
    FtpError last{kConnectFailed, QString()};
    for (qsizetype i = 0; i < addresses.size(); ++i) {
        const qint64 left = deadline.remainingTime();
        if (left <= 0) break;
        const qsizetype others = addresses.size() - i - 1;
        const int share = static_cast<int>(others == 0 ? left : qMax<qint64>(qMin<qint64>(left, 2'000), left / (others + 1)));
        socket.abort();
        socket.connectToHost(addresses[i], nPort);
        try {
            wait(share).until(
                [&] {
                    if (socket.state() == QAbstractSocket::ConnectedState) return Wait::Done;
                    if (socket.state() == QAbstractSocket::UnconnectedState)
                        throw FtpError{sWhat == QLatin1String("data") ? kDataConnection : kConnectFailed,
                                    QStringLiteral("Cannot open the %1 connection: %2").arg(sWhat, socket.errorString())};
                    return Wait::Idle;
                },
                [&](int nSliceMs) { socket.waitForConnected(nSliceMs); }, [&] { throw FtpError{kTimeout, timedOut}; });
            return;
        } catch (const FtpError& e) {
            if (e.number == kAborted) throw;
            last = e;
            if (addresses.size() > 1)
                log(QStringLiteral("%1 (%2) did not answer: %3").arg(sHost, addresses[i].toString(), e.description));
        }
    }
    socket.abort();
    if (last.description.isEmpty()) last = FtpError{kTimeout, timedOut};
    throw last;
}

void ControlChannel::connectTo(QTcpSocket& socket, const QString& sHost, quint16 nPort, int nTimeoutMs,
                               const QString& sWhat)
{
    if (!m_settings.viaProxy()) {
        connectDirect(socket, sHost, nPort, nTimeoutMs, sWhat);
        return;
    }
    const QDeadlineTimer deadline(nTimeoutMs);
    try {
        connectDirect(socket, m_settings.sProxyHost, static_cast<quint16>(m_settings.nProxyPort), nTimeoutMs,
                      QStringLiteral("proxy"));
    } catch (const FtpError& e) {
        if (e.number == kAborted) throw;
        throw FtpError{e.number, QStringLiteral("SOCKS proxy %1: %2").arg(HostAndPort(m_settings.sProxyHost, m_settings.nProxyPort), e.description)};
    }
    Socks::Proxy proxy{static_cast<int>(m_settings.nProxyType), m_settings.sProxyHost,
                       static_cast<quint16>(m_settings.nProxyPort), m_settings.sProxyUser, m_settings.sProxyPassword};
    Socks::Connect(socket, proxy, sHost, nPort, static_cast<int>(qMax<qint64>(1, deadline.remainingTime())),
                   [this] { checkAbort(); });
}

// --- waits and the abort ----------------------------------------------------------------

void ControlChannel::checkAbort() const
{
    if (m_abort) throw FtpError{kAborted, QStringLiteral("The operation was aborted.")};
}

Wait ControlChannel::wait(int nTimeoutMs, bool bAbortable) const
{
    if (!bAbortable) return Wait(nTimeoutMs, nullptr);
    return Wait(nTimeoutMs, [this] { checkAbort(); });
}

bool ControlChannel::readOwedReplies()
{
    const int nOwed = std::exchange(m_nOwedReplies, 0);
    const bool bSettled = std::exchange(m_bOwedRepliesDrained, false);
    if (!connected()) return false;
    for (int i = 0; i < nOwed; ++i) readFinalReply();
    return nOwed > 0 || bSettled;
}

void ControlChannel::abortCommand()
{
    m_abort = false;
    send(QStringLiteral("ABOR"));
    const int nWait = qMin(m_settings.nIdleTimeoutMs, 5'000);
    FtpReply reply = readReply(nWait, false);
    while (reply.code == 426 || reply.code == 450 || reply.code == 451 || reply.kind() == 1) reply = readReply(nWait, false);
    // Some servers answer the transfer first and ABOR after; take that too.
    if (m_socket->waitForReadyRead(200) || m_socket->bytesAvailable() > 0) {
        while (m_socket->bytesAvailable() > 0 || m_parser.hasReply()) {
            if (!m_parser.hasReply() && !m_parser.feed(m_socket->readAll())) break;
            if (!m_parser.hasReply()) break;
            logReply(m_parser.takeReply());
        }
    }
}

// --- commands and replies ---------------------------------------------------------------

void ControlChannel::send(const QString& sCommand)
{
    const bool bPassword = sCommand.startsWith(QLatin1String("PASS "), Qt::CaseInsensitive);
    sendLine(encode(sCommand, bPassword ? QStringLiteral("the password") : QLatin1Char('"') + sCommand + QLatin1Char('"')),
             bPassword ? QStringLiteral("PASS ****") : sCommand);
}

void ControlChannel::send(const QString& sVerb, const QString& sName, const ListingEntry* pListed)
{
    sendLine(encode(sVerb + QLatin1Char(' '), sVerb) + wireName(sName, pListed), sVerb + QLatin1Char(' ') + sName);
}

FtpReply ControlChannel::named(const QString& sVerb, const QString& sName, const ListingEntry* pListed)
{
    send(sVerb, sName, pListed);
    return readFinalReply();
}

FtpReply ControlChannel::command(const QString& sCommand)
{
    send(sCommand);
    return readFinalReply();
}

void ControlChannel::sendLine(const QByteArray& line, const QString& sLogged)
{
    if (!connected()) throw FtpError{kNotConnected, QStringLiteral("Not connected.")};
    drainUnsolicited();
    if (line.contains('\r') || line.contains('\n') || line.contains('\0'))
        throw FtpError{kInvalidArgument, QStringLiteral("A command or name may not contain a line break.")};
    log(sLogged);
    m_socket->write(line + "\r\n");
    m_socket->flush();  // mostly all of it at once, without waiting to be told the socket can take it
    wait(m_settings.nIdleTimeoutMs, false)
        .until(
            [&] {
                if (!m_socket) lost(QStringLiteral("The server closed the connection."));
                if (m_socket->bytesToWrite() == 0) return Wait::Done;
                if (m_socket->state() != QAbstractSocket::ConnectedState) lost(QStringLiteral("The server closed the connection."));
                return Wait::Idle;
            },
            [&](int nSliceMs) { m_socket->waitForBytesWritten(nSliceMs); },
            [&] { lost(QStringLiteral("Timed out sending to the server."), kTimeout); });
}

void ControlChannel::drainUnsolicited()
{
    // Anything the server said while no command was running (a "421 idle
    // timeout", say) is logged now, so that it is not taken for the reply
    // to the next command.
    if (!m_socket) return;
    if (m_socket->bytesAvailable() > 0 && !m_parser.feed(m_socket->readAll()))
        lost(QStringLiteral("Protocol error: ") + m_parser.error());
    // Replies owed since an abort come first, in order: they are settled
    // here, as they would be at the start of the next call.
    bool bClosing = false;
    while (m_parser.hasReply()) {
        const FtpReply reply = m_parser.takeReply();
        logReply(reply);
        if (reply.code == 421) bClosing = true;
        if (m_nOwedReplies > 0 && reply.kind() != 1) --m_nOwedReplies, m_bOwedRepliesDrained = true;
    }
    if (bClosing || m_socket->state() != QAbstractSocket::ConnectedState)
        lost(QStringLiteral("The server closed the connection."));
}

FtpReply ControlChannel::readReply(int nTimeoutMs) { return readReply(nTimeoutMs, true); }

FtpReply ControlChannel::readReply(int nTimeoutMs, bool bAbortable)
{
    if (!m_socket) throw FtpError{kNotConnected, QStringLiteral("Not connected.")};
    // The wait counts from the last byte: a slow server that keeps talking
    // is waited for, and the parser's bounds stop one that talks forever.
    try {
        wait(nTimeoutMs < 0 ? m_settings.nIdleTimeoutMs : nTimeoutMs, bAbortable)
            .until(
                [&] {
                    if (m_parser.hasReply()) return Wait::Done;
                    if (!m_socket) throw FtpError{kConnectionLost, QStringLiteral("The server closed the connection.")};
                    if (m_socket->bytesAvailable() > 0) {
                        if (!m_parser.feed(m_socket->readAll())) lost(QStringLiteral("Protocol error: ") + m_parser.error());
                        return Wait::Moved;
                    }
                    if (m_socket->state() != QAbstractSocket::ConnectedState)
                        lost(QStringLiteral("The server closed the connection."));
                    return Wait::Idle;
                },
                [&](int nSliceMs) { m_socket->waitForReadyRead(nSliceMs); },
                [&] { lost(QStringLiteral("Timed out waiting for the server's reply."), kTimeout); });
    } catch (const FtpError& e) {
        // The command's reply is still to come: it must not be taken for the
        // reply to a later one.
        if (e.number == kAborted) ++m_nOwedReplies;
        throw;
    }
    const FtpReply reply = m_parser.takeReply();
    logReply(reply);
    if (reply.code == 421) lost(QStringLiteral("The server closed the connection: ") + reply.text());
    return reply;
}

FtpReply ControlChannel::readFinalReply(int nTimeoutMs)
{
    FtpReply reply;
    do reply = readReply(nTimeoutMs);
    while (reply.kind() == 1);
    return reply;
}

void ControlChannel::expectPositive(const FtpReply& reply, long nNumber)
{
    if (!reply.positive()) throw FtpError{nNumber, QStringLiteral("%1 %2").arg(reply.code).arg(reply.text())};
}

void ControlChannel::ensureType(bool bAscii)
{
    const int wanted = bAscii ? 1 : 0;
    if (m_nSentType == wanted) return;
    expectPositive(command(bAscii ? QStringLiteral("TYPE A") : QStringLiteral("TYPE I")));
    m_nSentType = wanted;
}

// --- names and text -------------------------------------------------------------------

void ControlChannel::setUtf8(bool bUtf8)
{
    m_bUtf8 = bUtf8;
    m_parser.setUtf8(bUtf8);
}

QByteArray ControlChannel::encode(const QString& sText, const QString& sWhat) const
{
    if (m_bUtf8) return sText.toUtf8();
    // A server that does not announce UTF8 gets Latin-1; what Latin-1 cannot
    // carry is refused rather than sent with "?" in its place, which would
    // name another file (or make two names one).
    for (QChar c : sText)
        if (c.unicode() > 0xFF)
            throw FtpError{kNameEncoding, QStringLiteral("The server does not announce UTF-8, and %1 cannot be written in its "
                                                      "character set (Latin-1).").arg(sWhat)};
    return sText.toLatin1();
}

QString ControlChannel::decode(QByteArrayView bytes) const { return DecodeServerText(bytes, m_bUtf8); }

bool ControlChannel::encodable(const QString& sName) const
{
    try {
        encode(sName, QString());
        return true;
    } catch (const FtpError&) {
        return false;
    }
}

QByteArray ControlChannel::wireName(const QString& sName, const ListingEntry* pListed) const
{
    // A name the server listed goes back in exactly the bytes it listed.
    if (pListed && pListed->name == sName) {
        const QByteArray raw = pListed->rawName();
        if (!raw.isEmpty()) return raw;
    }
    if (m_sListedFolder == m_sCurrentFolder) {
        const auto raw = m_listedRawNames.constFind(sName);
        if (raw != m_listedRawNames.constEnd()) return *raw;
    }
    return encode(sName, QLatin1Char('"') + sName + QLatin1Char('"'));
}

void ControlChannel::rememberListedNames(const QHash<QString, QByteArray>& names)
{
    m_sListedFolder = m_sCurrentFolder;
    m_listedRawNames = names;
}

// --- the log ----------------------------------------------------------------------------

void ControlChannel::setLogFile(const QString& sPath)
{
    m_logFile.close();
    m_logFile.setFileName(sPath);
    if (!sPath.isEmpty()) {
        QDir().mkpath(QFileInfo(sPath).absolutePath());
        m_logFile.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text);
    }
}

void ControlChannel::log(const QString& sText)
{
    const QMutexLocker lock(&m_logMutex);
    Q_EMIT m_events.logText(sText, 0);
    if (m_logFile.isOpen()) {
        const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
        m_logFile.write((stamp + QLatin1Char(' ') + sText + QLatin1Char('\n')).toUtf8());
        m_logFile.flush();
    }
}

void ControlChannel::logReply(const FtpReply& reply)
{
    for (const QString& line : reply.lines) log(line);
}
