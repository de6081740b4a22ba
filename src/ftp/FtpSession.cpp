#include "ftp/FtpSession.h"

#include "ftp/ExistingFiles.h"
#include "ftp/FtpComponent.h"
#include "ftp/ListingParser.h"
#include "ftp/NameRules.h"
#include "ftp/SocksClient.h"
#include "ftp/TransferPool.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QHostInfo>
#include <QFileInfo>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSslCipher>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>

#include <mutex>
#include <utility>

#if defined(Q_OS_LINUX)
#include <cerrno>
#include <csignal>
#include <ctime>
#include <poll.h>
#include <pthread.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {

using namespace FtpErrorNumber;

constexpr int kSliceMs = 50;                       // how often waits look at the abort flag
constexpr qint64 kBlockSize = 1 << 20;             // bytes moved per read or write
constexpr qint64 kMaxListingBytes = 256LL << 20;   // a listing larger than this is refused
constexpr int kMaxDepth = 64;                      // folder recursion
constexpr int kProgressIntervalMs = 250;
// Inside receiveFile only: more data than the file holds (reported as kProtocol).
constexpr long kBeyondEnd = -1;

FtpError Error(long nNumber, const QString& sText) { return FtpError{nNumber, sText}; }

#if defined(Q_OS_LINUX)
// sendfile has no MSG_NOSIGNAL: a write to a connection the server closed
// raises SIGPIPE, which would end the program. While this lives the signal
// is blocked in this thread, and one raised meanwhile is taken back.
class NoSigPipe {
public:
    NoSigPipe()
    {
        sigemptyset(&m_pipe);
        sigaddset(&m_pipe, SIGPIPE);
        sigset_t pending;
        sigpending(&pending);
        m_bWasPending = sigismember(&pending, SIGPIPE) == 1;
        pthread_sigmask(SIG_BLOCK, &m_pipe, &m_old);
    }
    ~NoSigPipe()
    {
        if (!m_bWasPending) {
            const timespec none{0, 0};
            while (sigtimedwait(&m_pipe, nullptr, &none) > 0) {
            }
        }
        pthread_sigmask(SIG_SETMASK, &m_old, nullptr);
    }
    NoSigPipe(const NoSigPipe&) = delete;
    NoSigPipe& operator=(const NoSigPipe&) = delete;

private:
    sigset_t m_pipe, m_old;
    bool m_bWasPending = false;
};

// For the native data loops: waits up to one slice for the socket to become
// ready (the caller then looks at the abort flag again); false once the
// idle time has run out.
bool WaitReady(int nSocket, short nEvents, const QDeadlineTimer& idle)
{
    if (idle.hasExpired()) return false;
    pollfd wait{nSocket, nEvents, 0};
    ::poll(&wait, 1, kSliceMs);
    return true;
}
#endif

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

bool IsTls(const QAbstractSocket& socket) { return qobject_cast<const QSslSocket*>(&socket) != nullptr; }

QString ProtocolName(QSsl::SslProtocol protocol)
{
    switch (protocol) {
    case QSsl::TlsV1_2: return QStringLiteral("TLS 1.2");
    case QSsl::TlsV1_3: return QStringLiteral("TLS 1.3");
    default: return QStringLiteral("TLS");
    }
}

// "host:port", with an IPv6 address in brackets.
QString HostAndPort(const QString& sHost, int nPort)
{
    return (sHost.contains(QLatin1Char(':')) ? QLatin1Char('[') + sHost + QLatin1Char(']') : sHost) + QLatin1Char(':')
           + QString::number(nPort);
}

// Line-end conversion for ASCII transfers: the wire uses CRLF, files here LF.
class AsciiDecoder {
public:
    QByteArray convert(const QByteArray& in)
    {
        QByteArray out;
        out.reserve(in.size() + 1);
        for (char c : in) {
            if (m_bPendingCr) {
                m_bPendingCr = false;
                if (c != '\n') out += '\r';
            }
            if (c == '\r') m_bPendingCr = true;
            else out += c;
        }
        return out;
    }
    QByteArray finish() { return std::exchange(m_bPendingCr, false) ? QByteArray("\r") : QByteArray(); }

private:
    bool m_bPendingCr = false;
};

QByteArray ToCrLf(const QByteArray& in, bool& bLastWasCr)
{
    QByteArray out;
    out.reserve(in.size() + in.size() / 32 + 1);
    for (char c : in) {
        if (c == '\n' && !bLastWasCr) out += '\r';
        out += c;
        bLastWasCr = c == '\r';
    }
    return out;
}

}  // namespace

FtpSession::FtpSession(std::atomic<bool>& abortFlag, std::atomic<int>& state) : m_abort(abortFlag), m_state(state) {}

FtpSession::~FtpSession() { closeControl(); }

void FtpSession::setLogFile(const QString& sPath)
{
    m_logFile.close();
    m_logFile.setFileName(sPath);
    if (!sPath.isEmpty()) {
        QDir().mkpath(QFileInfo(sPath).absolutePath());
        m_logFile.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text);
    }
}

FtpSession::Settings FtpSession::settingsForExtraConnection() const
{
    Settings settings = m_settings;
    if (!m_sAcceptedCertificate.isEmpty()) settings.trustedCertificates << m_sAcceptedCertificate;
    return settings;
}

bool FtpSession::connected() const { return m_control && m_control->state() == QAbstractSocket::ConnectedState; }

void FtpSession::beginOperation()
{
    m_bInOperation = true;
    if (connected()) m_state = FtpComponent::kStateBusy;
    settleOwedReplies();
}

void FtpSession::settleOwedReplies()
{
    // Replies to commands whose wait an abort cut short are read (and
    // logged) before anything else is sent; the folder may have changed
    // meanwhile, so it is asked for again.
    const int nOwed = std::exchange(m_nOwedReplies, 0);
    if (nOwed == 0 || !connected()) return;
    try {
        for (int i = 0; i < nOwed; ++i) readFinalReply();
        refreshCurrentFolder();
    } catch (const FtpError&) {
        // A lost connection is closed already, and the call that follows
        // says so; another abort leaves the replies owed for the next call.
    }
}

void FtpSession::endOperation()
{
    m_bInOperation = false;
    m_state = connected() ? FtpComponent::kStateConnected : FtpComponent::kStateNotConnected;
}

// --- logging -------------------------------------------------------------------

void FtpSession::log(const QString& sText)
{
    const QMutexLocker lock(&m_logMutex);
    Q_EMIT logText(sText, 0);
    if (m_logFile.isOpen()) {
        const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
        m_logFile.write((stamp + QLatin1Char(' ') + sText + QLatin1Char('\n')).toUtf8());
        m_logFile.flush();
    }
}

void FtpSession::logReply(const FtpReply& reply)
{
    for (const QString& line : reply.lines) log(line);
}

// --- control connection ----------------------------------------------------------

QByteArray FtpSession::encode(const QString& sText, const QString& sWhat) const
{
    if (m_bUtf8) return sText.toUtf8();
    // A server that does not announce UTF8 gets Latin-1; what Latin-1 cannot
    // carry is refused rather than sent with "?" in its place, which would
    // name another file (or make two names one).
    for (QChar c : sText)
        if (c.unicode() > 0xFF)
            throw Error(kNameEncoding, QStringLiteral("The server does not announce UTF-8, and %1 cannot be written in its "
                                                      "character set (Latin-1).").arg(sWhat));
    return sText.toLatin1();
}

QString FtpSession::decode(const QByteArray& bytes) const { return DecodeServerText(bytes, m_bUtf8); }

void FtpSession::checkAbort() const
{
    if (m_abort) throw Error(kAborted, QStringLiteral("The operation was aborted."));
}

void FtpSession::closeControl()
{
    m_nOwedReplies = 0;
    if (!m_control) return;
    m_control->disconnect(this);
    m_control->abort();
    // Later: this may run inside one of the socket's own signals.
    m_control.release()->deleteLater();
    m_parser.reset();
    m_sCurrentFolder.clear();
    m_nSentType = -1;
    m_bEncrypted = false;
}

void FtpSession::lost(const QString& sWhy, long nNumber)
{
    // After a timeout the server may still answer the old command later, so
    // the connection cannot be trusted either: it is closed all the same.
    closeControl();
    m_state = FtpComponent::kStateNotConnected;
    log(sWhy);
    Q_EMIT disconnected();
    throw Error(nNumber, sWhy);
}

void FtpSession::waitConnected(QAbstractSocket& socket, int nTimeoutMs, const QString& sWhat)
{
    const QDeadlineTimer deadline(nTimeoutMs);
    while (socket.state() != QAbstractSocket::ConnectedState) {
        checkAbort();
        if (socket.state() == QAbstractSocket::UnconnectedState)
            throw Error(sWhat == QLatin1String("data") ? kDataConnection : kConnectFailed,
                        QStringLiteral("Cannot open the %1 connection: %2").arg(sWhat, socket.errorString()));
        if (deadline.hasExpired())
            throw Error(kTimeout, QStringLiteral("Timed out opening the %1 connection.").arg(sWhat));
        socket.waitForConnected(kSliceMs);
    }
}

void FtpSession::connectDirect(QTcpSocket& socket, const QString& sHost, quint16 nPort, int nTimeoutMs,
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
            throw Error(kConnectFailed, QStringLiteral("Cannot find the host %1: %2").arg(sHost, info.errorString()));
    }
    // Each address in turn, with its share of the time, so that one dead
    // address (an IPv6 route that goes nowhere, say) does not use it all.
    const QDeadlineTimer deadline(nTimeoutMs);
    FtpError last{kConnectFailed, QString()};
    for (qsizetype i = 0; i < addresses.size(); ++i) {
        const qint64 left = deadline.remainingTime();
        if (left <= 0) break;
        const qsizetype others = addresses.size() - i - 1;
        const int share = static_cast<int>(others == 0 ? left : qMax<qint64>(qMin<qint64>(left, 2'000), left / (others + 1)));
        socket.abort();
        socket.connectToHost(addresses[i], nPort);
        try {
            waitConnected(socket, share, sWhat);
            return;
        } catch (const FtpError& e) {
            if (e.number == kAborted) throw;
            last = e;
            if (addresses.size() > 1)
                log(QStringLiteral("%1 (%2) did not answer: %3").arg(sHost, addresses[i].toString(), e.description));
        }
    }
    socket.abort();
    if (last.description.isEmpty()) last = Error(kTimeout, QStringLiteral("Timed out opening the %1 connection.").arg(sWhat));
    throw last;
}

void FtpSession::connectTo(QTcpSocket& socket, const QString& sHost, quint16 nPort, int nTimeoutMs, const QString& sWhat)
{
    if (!viaProxy()) {
        connectDirect(socket, sHost, nPort, nTimeoutMs, sWhat);
        return;
    }
    const QDeadlineTimer deadline(nTimeoutMs);
    try {
        connectDirect(socket, m_settings.sProxyHost, static_cast<quint16>(m_settings.nProxyPort), nTimeoutMs,
                      QStringLiteral("proxy"));
    } catch (const FtpError& e) {
        if (e.number == kAborted) throw;
        throw Error(e.number, QStringLiteral("SOCKS proxy %1: %2").arg(HostAndPort(m_settings.sProxyHost, m_settings.nProxyPort), e.description));
    }
    Socks::Proxy proxy{static_cast<int>(m_settings.nProxyType), m_settings.sProxyHost,
                       static_cast<quint16>(m_settings.nProxyPort), m_settings.sProxyUser, m_settings.sProxyPassword};
    Socks::Connect(socket, proxy, sHost, nPort, static_cast<int>(qMax<qint64>(1, deadline.remainingTime())),
                   [this] { checkAbort(); });
}

void FtpSession::send(const QString& sCommand)
{
    const bool bPassword = sCommand.startsWith(QLatin1String("PASS "), Qt::CaseInsensitive);
    sendLine(encode(sCommand, bPassword ? QStringLiteral("the password") : QLatin1Char('"') + sCommand + QLatin1Char('"')),
             bPassword ? QStringLiteral("PASS ****") : sCommand);
}

void FtpSession::send(const QString& sVerb, const QString& sName, const ListingEntry* pListed)
{
    sendLine(encode(sVerb + QLatin1Char(' '), sVerb) + wireName(sName, pListed), sVerb + QLatin1Char(' ') + sName);
}

FtpReply FtpSession::named(const QString& sVerb, const QString& sName, const ListingEntry* pListed)
{
    send(sVerb, sName, pListed);
    return readFinalReply();
}

QByteArray FtpSession::wireName(const QString& sName, const ListingEntry* pListed) const
{
    // A name the server listed goes back in exactly the bytes it listed.
    if (pListed && pListed->name == sName && !pListed->rawName.isEmpty()) return pListed->rawName;
    if (m_sListedFolder == m_sCurrentFolder) {
        const auto raw = m_listedRawNames.constFind(sName);
        if (raw != m_listedRawNames.constEnd()) return *raw;
    }
    return encode(sName, QLatin1Char('"') + sName + QLatin1Char('"'));
}

void FtpSession::sendLine(const QByteArray& line, const QString& sLogged)
{
    if (!connected()) throw Error(kNotConnected, QStringLiteral("Not connected."));
    drainUnsolicited();
    if (line.contains('\r') || line.contains('\n') || line.contains('\0'))
        throw Error(kInvalidArgument, QStringLiteral("A command or name may not contain a line break."));
    log(sLogged);
    m_control->write(line + "\r\n");
    const QDeadlineTimer deadline(m_settings.nIdleTimeoutMs);
    while (m_control->bytesToWrite() > 0) {
        if (m_control->state() != QAbstractSocket::ConnectedState) lost(QStringLiteral("The server closed the connection."));
        if (deadline.hasExpired()) lost(QStringLiteral("Timed out sending to the server."), kTimeout);
        m_control->waitForBytesWritten(kSliceMs);
    }
}

void FtpSession::drainUnsolicited()
{
    // Anything the server said while no command was running (a "421 idle
    // timeout", say) is logged now, so that it is not taken for the reply
    // to the next command.
    if (!m_control) return;
    if (m_control->bytesAvailable() > 0 && !m_parser.feed(m_control->readAll()))
        lost(QStringLiteral("Protocol error: ") + m_parser.error());
    bool bClosing = false;
    while (m_parser.hasReply()) {
        const FtpReply reply = m_parser.takeReply();
        logReply(reply);
        if (reply.code == 421) bClosing = true;
    }
    if (bClosing || m_control->state() != QAbstractSocket::ConnectedState)
        lost(QStringLiteral("The server closed the connection."));
}

FtpReply FtpSession::readReply(int nTimeoutMs)
{
    if (!m_control) throw Error(kNotConnected, QStringLiteral("Not connected."));
    // The wait counts from the last byte: a slow server that keeps talking
    // is waited for, and the parser's bounds stop one that talks forever.
    const int timeout = nTimeoutMs < 0 ? m_settings.nIdleTimeoutMs : nTimeoutMs;
    QDeadlineTimer deadline(timeout);
    while (!m_parser.hasReply()) {
        if (m_control->bytesAvailable() > 0) {
            if (!m_parser.feed(m_control->readAll())) lost(QStringLiteral("Protocol error: ") + m_parser.error());
            deadline.setRemainingTime(timeout);
            continue;
        }
        if (m_control->state() != QAbstractSocket::ConnectedState)
            lost(QStringLiteral("The server closed the connection."));
        if (deadline.hasExpired()) lost(QStringLiteral("Timed out waiting for the server's reply."), kTimeout);
        if (m_abort && !m_bDrainingAbort) {
            // The command's reply is still to come: it must not be taken
            // for the reply to a later one.
            ++m_nOwedReplies;
            checkAbort();
        }
        m_control->waitForReadyRead(kSliceMs);
    }
    const FtpReply reply = m_parser.takeReply();
    logReply(reply);
    if (reply.code == 421) lost(QStringLiteral("The server closed the connection: ") + reply.text());
    return reply;
}

FtpReply FtpSession::readFinalReply(int nTimeoutMs)
{
    FtpReply reply;
    do reply = readReply(nTimeoutMs);
    while (reply.kind() == 1);
    return reply;
}

FtpReply FtpSession::command(const QString& sCommand)
{
    send(sCommand);
    return readFinalReply();
}

void FtpSession::expectPositive(const FtpReply& reply, long nNumber)
{
    if (!reply.positive()) throw Error(nNumber, QStringLiteral("%1 %2").arg(reply.code).arg(reply.text()));
}

// --- connecting --------------------------------------------------------------------

void FtpSession::connectAndLogin()
{
    if (connected()) throw Error(kInvalidArgument, QStringLiteral("Already connected; disconnect first."));
    if (m_settings.nProxyType != 0 && m_settings.nProxyType != 4 && m_settings.nProxyType != 5)
        throw Error(kInvalidArgument, QStringLiteral("Unknown proxy type %1 (4 and 5 are SOCKS 4 and 5).").arg(m_settings.nProxyType));
    if (viaProxy() && m_settings.sProxyHost.trimmed().isEmpty())
        throw Error(kInvalidArgument, QStringLiteral("No SOCKS proxy address given."));
    if (m_settings.sServer.trimmed().isEmpty()) throw Error(kInvalidArgument, QStringLiteral("No server address given."));
    if (m_settings.nPort < 1 || m_settings.nPort > 65535)
        throw Error(kInvalidArgument, QStringLiteral("The port %1 is not valid.").arg(m_settings.nPort));

    closeControl();
    m_bUtf8 = false;
    m_parser.setUtf8(false);
    m_bFeatMlsd = m_bFeatSize = m_bFeatRest = m_bFeatMdtm = m_bFeatMfmt = false;
    m_bFeatEpsv = true;
    m_bEpsvRefused = false;
    m_bListAllRefused = false;
    m_sListedFolder.clear();
    m_listedRawNames.clear();
    m_bDroppedWhileIdle = false;
    m_sAcceptedCertificate.clear();
    m_serverCertificate = QSslCertificate();

    m_control = m_settings.bTls ? std::make_unique<QSslSocket>() : std::make_unique<QTcpSocket>();
    QTcpSocket* control = m_control.get();
    connect(control, &QTcpSocket::disconnected, this, [this] {
        // Noticed by the operation itself when one runs; otherwise reported now.
        if (m_bInOperation) return;
        closeControl();
        m_state = FtpComponent::kStateNotConnected;
        log(QStringLiteral("The server closed the connection."));
        Q_EMIT disconnected();
    });
    QString server = m_settings.sServer.trimmed();
    if (server.startsWith(QLatin1Char('[')) && server.endsWith(QLatin1Char(']'))) server = server.mid(1, server.size() - 2);
    const QString target = HostAndPort(server, m_settings.nPort);
    log(viaProxy() ? QStringLiteral("Connecting to %1 through the SOCKS %2 proxy %3")
                         .arg(target)
                         .arg(m_settings.nProxyType)
                         .arg(HostAndPort(m_settings.sProxyHost, m_settings.nProxyPort))
                   : QStringLiteral("Connecting to %1").arg(target));
    try {
        connectTo(*control, server, static_cast<quint16>(m_settings.nPort), m_settings.nConnectTimeoutMs,
                  QStringLiteral("control"));
    } catch (const FtpError&) {
        closeControl();
        throw;
    }
    if (viaProxy()) {
        m_peerAddress = QHostAddress(server);
        m_sDataHost = server;
    } else {
        m_peerAddress = control->peerAddress();
        m_sDataHost = m_peerAddress.toString();
    }
    control->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_state = FtpComponent::kStateBusy;

    FtpReply greeting = readFinalReply(m_settings.nConnectTimeoutMs);
    if (greeting.code != 220) {
        closeControl();
        throw Error(kConnectFailed, QStringLiteral("The server did not greet: %1 %2").arg(greeting.code).arg(greeting.text()));
    }
    if (m_settings.bTls) {
        try {
            startControlTls(server);
        } catch (const FtpError&) {
            closeControl();
            throw;
        }
    } else {
        log(QStringLiteral("The connection is not encrypted: the password and the files travel in the clear."));
    }

    const QString user = m_settings.sUser.isEmpty() ? QStringLiteral("anonymous") : m_settings.sUser;
    FtpReply reply = command(QStringLiteral("USER ") + user);
    if (reply.code == 331) {
        reply = command(QStringLiteral("PASS ") + m_settings.sPassword);
        if (reply.code == 530) {
            // One more try with a password the user types, when one is given.
            QString again;
            Q_EMIT passwordQuery(&again);
            if (!again.isEmpty()) {
                reply = command(QStringLiteral("USER ") + user);
                if (reply.code == 331) reply = command(QStringLiteral("PASS ") + again);
            }
        }
    }
    if (reply.code == 332) {
        QString account;
        Q_EMIT accountQuery(&account);
        if (account.isEmpty()) {
            closeControl();
            throw Error(kLoginFailed, QStringLiteral("The server asks for an account; none was given."));
        }
        reply = command(QStringLiteral("ACCT ") + account);
    }
    if (reply.code != 230 && reply.code != 202) {
        const QString text = QStringLiteral("%1 %2").arg(reply.code).arg(reply.text());
        closeControl();
        throw Error(kLoginFailed, QStringLiteral("Login failed: ") + text);
    }
    if (m_bEncrypted) {
        // Data connections are encrypted too; a server that will not is
        // left rather than used half in the clear.
        command(QStringLiteral("PBSZ 0"));
        reply = command(QStringLiteral("PROT P"));
        if (!reply.positive()) {
            const QString text = QStringLiteral("%1 %2").arg(reply.code).arg(reply.text());
            disconnectFromServer();
            throw Error(kTls, QStringLiteral("The server will not encrypt data connections: ") + text);
        }
    }

    reply = command(QStringLiteral("FEAT"));
    QString sMlstOptions;
    if (reply.code == 211) {
        for (const QString& line : reply.lines) {
            const QString feature = line.trimmed().section(QLatin1Char(' '), 0, 0).toUpper();
            if (feature == QLatin1String("MLST")) sMlstOptions = ListingParser::MlstOptionsWanted(line);
            if (feature == QLatin1String("MLSD") || feature == QLatin1String("MLST")) m_bFeatMlsd = true;
            else if (feature == QLatin1String("SIZE")) m_bFeatSize = true;
            else if (feature == QLatin1String("REST")) m_bFeatRest = true;
            else if (feature == QLatin1String("MDTM")) m_bFeatMdtm = true;
            else if (feature == QLatin1String("MFMT")) m_bFeatMfmt = true;
            else if (feature == QLatin1String("UTF8")) m_bUtf8 = true;  // provisional, confirmed below
        }
    }
    if (m_bUtf8) {
        // A server that lists UTF8 speaks it (RFC 2640); OPTS UTF8 ON only
        // switches on those that ask for it, so a refusal changes nothing.
        command(QStringLiteral("OPTS UTF8 ON"));
        m_parser.setUtf8(true);
    }
    // Listings then carry each entry's permissions where the server has them.
    if (!sMlstOptions.isEmpty()) command(sMlstOptions);
    command(QStringLiteral("SYST"));
    refreshCurrentFolder();
    log(QStringLiteral("Connected to %1").arg(server));
}

// --- TLS -------------------------------------------------------------------------------

void FtpSession::startControlTls(const QString& sHost)
{
    const FtpReply reply = command(QStringLiteral("AUTH TLS"));
    if (reply.code != 234)
        throw Error(kTls, QStringLiteral("The server does not offer TLS: %1 %2").arg(reply.code).arg(reply.text()));
    auto* control = static_cast<QSslSocket*>(m_control.get());
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    config.setProtocol(QSsl::TlsV1_2OrLater);
    config.setPeerVerifyMode(QSslSocket::VerifyPeer);
    // The session is kept so that data connections can resume it: many
    // servers refuse data connections that do not.
    config.setSslOption(QSsl::SslOptionDisableSessionPersistence, false);
    control->setSslConfiguration(config);
    control->setPeerVerifyName(sHost);
    m_sCertificateRefusal.clear();
    connect(control, &QSslSocket::sslErrors, this, [this, control, sHost](const QList<QSslError>& errors) {
        if (acceptCertificate(control->peerCertificate(), errors, sHost)) control->ignoreSslErrors();
    });
    control->startClientEncryption();
    waitEncrypted(*control, m_settings.nConnectTimeoutMs, QStringLiteral("control"));
    m_bEncrypted = true;
    m_serverCertificate = control->peerCertificate();
    const QSslCipher cipher = control->sessionCipher();
    log(QStringLiteral("The connection is encrypted (%1, %2).").arg(ProtocolName(control->sessionProtocol()), cipher.name()));
}

bool FtpSession::acceptCertificate(const QSslCertificate& certificate, const QList<QSslError>& errors, const QString& sHost)
{
    const QString fingerprint = Certificates::Fingerprint(certificate);
    if (!fingerprint.isEmpty()
        && (fingerprint == m_sAcceptedCertificate || m_settings.trustedCertificates.contains(fingerprint))) {
        log(QStringLiteral("The server's certificate is one trusted for this server (SHA-256 %1).").arg(fingerprint));
        return true;
    }
    const CertificateInfo info = Certificates::Describe(certificate, errors, sHost, m_settings.nPort);
    bool bTrust = false;
    if (!fingerprint.isEmpty()) {
        ++m_nCertificateQueries;
        Q_EMIT certificateQuery(info, &bTrust);
    }
    if (bTrust) {
        m_sAcceptedCertificate = fingerprint;
        log(QStringLiteral("The server's certificate was accepted (SHA-256 %1).").arg(fingerprint));
        return true;
    }
    m_sCertificateRefusal = QStringLiteral("The server's certificate is not trusted (%1). SHA-256 fingerprint: %2")
                                .arg(info.problems.join(QStringLiteral("; ")),
                                     fingerprint.isEmpty() ? QStringLiteral("none") : fingerprint);
    return false;
}

void FtpSession::waitEncrypted(QSslSocket& socket, int nTimeoutMs, const QString& sWhat)
{
    QDeadlineTimer deadline(nTimeoutMs);
    int queries = m_nCertificateQueries;
    while (!socket.isEncrypted()) {
        checkAbort();
        if (queries != m_nCertificateQueries) {
            // The user took their time over the certificate: that is no
            // reason to give up on the server.
            queries = m_nCertificateQueries;
            deadline.setRemainingTime(nTimeoutMs);
        }
        if (socket.state() != QAbstractSocket::ConnectedState) {
            if (!m_sCertificateRefusal.isEmpty()) throw Error(kTls, m_sCertificateRefusal);
            throw Error(kTls, QStringLiteral("TLS on the %1 connection failed: %2").arg(sWhat, socket.errorString()));
        }
        if (deadline.hasExpired()) throw Error(kTimeout, QStringLiteral("Timed out setting up TLS on the %1 connection.").arg(sWhat));
        socket.waitForEncrypted(kSliceMs);
    }
}

void FtpSession::encryptData(DataChannel& channel)
{
    auto* data = qobject_cast<QSslSocket*>(channel.socket.get());
    if (!data || !m_bEncrypted) throw Error(kTls, QStringLiteral("The data connection cannot be encrypted."));
    // The control connection's configuration carries its session, which
    // the data connection resumes; the certificate it shows must be the
    // one the control connection showed.
    QSslConfiguration config = static_cast<QSslSocket*>(m_control.get())->sslConfiguration();
    config.setPeerVerifyMode(QSslSocket::VerifyNone);
    data->setSslConfiguration(config);
    // A server that ends the data with close_notify may wait for the
    // connection to close before it confirms the transfer: the end of the
    // TLS stream is the end of the data.
    connect(data, &QAbstractSocket::errorOccurred, data, [&channel](QAbstractSocket::SocketError error) {
        if (error == QAbstractSocket::RemoteHostClosedError) channel.bTlsClosed = true;
    });
    data->startClientEncryption();
    m_sCertificateRefusal.clear();
    waitEncrypted(*data, m_settings.nConnectTimeoutMs, QStringLiteral("data"));
    if (data->peerCertificate() != m_serverCertificate) {
        data->abort();
        throw Error(kTls, QStringLiteral("The data connection showed another certificate than the control connection."));
    }
}

void FtpSession::disconnectFromServer()
{
    if (!m_control) return;
    if (connected()) {
        try {
            send(QStringLiteral("QUIT"));
            readFinalReply(qMin(m_settings.nIdleTimeoutMs, 5'000));
        } catch (const FtpError&) {
            // Gone already, or slow to say goodbye: closing is all that is left.
        }
    }
    closeControl();
    m_state = FtpComponent::kStateNotConnected;
    log(QStringLiteral("Disconnected."));
}

// --- simple commands ------------------------------------------------------------------

QString FtpSession::ParsePwdReply(const QString& sText)
{
    const qsizetype open = sText.indexOf(QLatin1Char('"'));
    if (open < 0) return sText.section(QLatin1Char(' '), 0, 0);
    QString path;
    for (qsizetype i = open + 1; i < sText.size(); ++i) {
        if (sText[i] == QLatin1Char('"')) {
            if (i + 1 < sText.size() && sText[i + 1] == QLatin1Char('"')) {
                path += QLatin1Char('"');
                ++i;
                continue;
            }
            return path;
        }
        path += sText[i];
    }
    return path;
}

void FtpSession::refreshCurrentFolder()
{
    const FtpReply reply = command(QStringLiteral("PWD"));
    if (reply.code == 257) m_sCurrentFolder = ParsePwdReply(reply.text());
}

void FtpSession::changeFolder(const QString& sFolder)
{
    expectPositive(named(QStringLiteral("CWD"), sFolder));
    refreshCurrentFolder();
}

bool FtpSession::tryChangeFolder(const QString& sFolder)
{
    if (!named(QStringLiteral("CWD"), sFolder).positive()) return false;
    refreshCurrentFolder();
    return true;
}

void FtpSession::parentFolder()
{
    expectPositive(command(QStringLiteral("CDUP")));
    refreshCurrentFolder();
}

void FtpSession::makeFolder(const QString& sName) { expectPositive(named(QStringLiteral("MKD"), sName)); }

void FtpSession::deleteFile(const QString& sName) { expectPositive(named(QStringLiteral("DELE"), sName)); }

void FtpSession::removeFolder(const QString& sName) { expectPositive(named(QStringLiteral("RMD"), sName)); }

bool FtpSession::remoteExists(const QString& sName)
{
    if (m_bFeatMlsd && named(QStringLiteral("MLST"), sName).positive()) return true;
    if (m_bFeatSize) {
        ensureType(false);  // some servers answer SIZE only in binary mode
        if (named(QStringLiteral("SIZE"), sName).positive()) return true;
    }
    const QString here = m_sCurrentFolder;
    if (!named(QStringLiteral("CWD"), sName).positive()) return false;
    changeFolder(here.isEmpty() ? QStringLiteral("/") : here);
    return true;
}

void FtpSession::rename(const QString& sOld, const QString& sNew)
{
    // Most servers replace an existing target without a word; a rename must
    // never cost the user the file that had the new name.
    if (remoteExists(sNew))
        throw Error(kFileExists, QStringLiteral("%1 already exists.").arg(sNew));
    const FtpReply from = named(QStringLiteral("RNFR"), sOld);
    if (from.code != 350) throw Error(kRefused, QStringLiteral("%1 %2").arg(from.code).arg(from.text()));
    const FtpReply to = named(QStringLiteral("RNTO"), sNew);
    if (to.positive()) return;
    throw Error(remoteExists(sNew) ? kFileExists : kRefused, QStringLiteral("%1 %2").arg(to.code).arg(to.text()));
}

void FtpSession::sendCommand(const QString& sCommand)
{
    m_lastCommandReply = FtpReply{226, {}};  // listings end well or throw
    const QString line = sCommand.trimmed();
    const QString verb = line.section(QLatin1Char(' '), 0, 0).toUpper();
    // "QUOTE <command>" is how users ask for a raw command; the server knows
    // no QUOTE, so what follows is what it gets.
    if (verb == QLatin1String("QUOTE")) {
        const QString rest = line.section(QLatin1Char(' '), 1).trimmed();
        if (rest.isEmpty()) throw Error(kInvalidArgument, QStringLiteral("QUOTE needs a command to send."));
        sendCommand(rest);
        return;
    }
    // Listings come over a data connection of their own; their lines go to
    // the log like replies.
    if (verb == QLatin1String("LIST") || verb == QLatin1String("NLST") || verb == QLatin1String("MLSD")) {
        for (const QByteArray& listed : readListing(line)) log(decode(listed));
        return;
    }
    // Transfers and data-connection set-up have their own calls: sent raw,
    // they would wait for a data connection that never comes.
    static const QStringList kDataVerbs = {QStringLiteral("RETR"), QStringLiteral("STOR"), QStringLiteral("STOU"),
                                           QStringLiteral("APPE"), QStringLiteral("PASV"), QStringLiteral("EPSV"),
                                           QStringLiteral("PORT"), QStringLiteral("EPRT"), QStringLiteral("REST")};
    if (kDataVerbs.contains(verb))
        throw Error(kInvalidArgument, QStringLiteral("%1 needs a data connection; use the transfer commands.").arg(verb));
    // Encryption is set up at login and kept for the whole connection:
    // sent raw, these would leave both sides disagreeing about it.
    static const QStringList kTlsVerbs = {QStringLiteral("AUTH"), QStringLiteral("PBSZ"), QStringLiteral("PROT"),
                                          QStringLiteral("CCC")};
    if (kTlsVerbs.contains(verb))
        throw Error(kInvalidArgument, QStringLiteral("%1 changes the connection's encryption; choose TLS for the site instead.").arg(verb));
    if (verb == QLatin1String("QUIT")) {
        disconnectFromServer();
        Q_EMIT disconnected();
        return;
    }
    const FtpReply reply = command(line);
    m_lastCommandReply = reply;
    if (verb == QLatin1String("CWD") || verb == QLatin1String("CDUP") || verb == QLatin1String("XCWD")) {
        if (reply.positive()) refreshCurrentFolder();
    }
    if (verb == QLatin1String("TYPE")) m_nSentType = -1;
}

void FtpSession::ensureType(bool bAscii)
{
    const int wanted = bAscii ? 1 : 0;
    if (m_nSentType == wanted) return;
    expectPositive(command(bAscii ? QStringLiteral("TYPE A") : QStringLiteral("TYPE I")));
    m_nSentType = wanted;
}

// --- data connections ------------------------------------------------------------------

FtpReply FtpSession::startTransfer(const QString& sVerb, const QString& sArgument, qint64 nRest,
                                   bool bAppendWhenRestRefused, DataChannel& channel, const ListingEntry* pListed)
{
    bool bPassive = m_settings.bPassive;
    for (int attempt = 0;; ++attempt) {
        channel = DataChannel();
        if (bPassive) {
            preparePassive(channel);
        } else if (!prepareActive(channel)) {
            log(QStringLiteral("The server refused active mode; this transfer uses passive mode."));
            bPassive = true;
            preparePassive(channel);
        }
        QString verb = sVerb;
        if (nRest > 0) {
            const FtpReply rest = command(QStringLiteral("REST %1").arg(nRest));
            if (rest.code != 350) {
                if (!bAppendWhenRestRefused)
                    throw Error(kRefused, QStringLiteral("The server cannot resume: %1 %2").arg(rest.code).arg(rest.text()));
                verb = QStringLiteral("APPE");  // appending continues at the remote end
            }
        }
        if (sArgument.isEmpty()) send(verb);
        else send(verb, sArgument, pListed);
        const FtpReply reply = readReply();
        if (reply.code == 425 && !bPassive && attempt == 0) {
            log(QStringLiteral("The server could not open the active data connection; this transfer uses passive mode."));
            bPassive = true;
            continue;
        }
        if (reply.kind() == 1) {
            try {
                if (!bPassive) completeActive(channel);
                if (m_bEncrypted) encryptData(channel);
            } catch (const FtpError& e) {
                if (e.number != kConnectionLost) abortTransfer(channel.socket.get());
                throw;
            }
        }
        return reply;
    }
}

void FtpSession::preparePassive(DataChannel& channel)
{
    bool bMappedV4 = false;
    m_peerAddress.toIPv4Address(&bMappedV4);
    const bool bIpv6 = m_peerAddress.protocol() == QAbstractSocket::IPv6Protocol && !bMappedV4;
    int port = -1;
    if (!m_bEpsvRefused) {
        const FtpReply reply = command(QStringLiteral("EPSV"));
        port = ParseEpsvPort(reply);
        if (!port && reply.kind() == 5) m_bEpsvRefused = true;
    }
    if (port <= 0 || port > 65535) {
        if (bIpv6)
            throw Error(kDataConnection, QStringLiteral("The server refused EPSV, which passive mode over IPv6 needs."));
        const FtpReply reply = command(QStringLiteral("PASV"));
        if (reply.code != 227)
            throw Error(kDataConnection, QStringLiteral("The server refused passive mode: %1 %2").arg(reply.code).arg(reply.text()));
        const std::optional<PasvTarget> target = ParsePasvReply(reply.text());
        if (!target) throw Error(kDataConnection, QStringLiteral("The server sent a malformed PASV reply."));
        port = target->nPort;
        const QHostAddress named(target->sAddress);
        // The data connection goes where the control connection goes: a
        // reply naming another host is either a NAT mistake or an attempt
        // to make us connect somewhere else.
        if (!named.isEqual(m_peerAddress, QHostAddress::ConvertV4MappedToIPv4))
            log(QStringLiteral("The server named %1 for the data connection; using %2, the server's own address.")
                    .arg(named.toString(), m_sDataHost));
    }
    if (port <= 0 || port > 65535) throw Error(kDataConnection, QStringLiteral("The server named no usable data port."));
    channel.socket = m_bEncrypted ? std::make_unique<QSslSocket>() : std::make_unique<QTcpSocket>();
    // A plain socket's buffer is bounded; an encrypted one is left as it is
    // (the loops read it empty before they wait again), so that a full
    // buffer can never hold up the decryption of what is still to come.
    if (!m_bEncrypted) channel.socket->setReadBufferSize(4 * kBlockSize);
    connectTo(*channel.socket, m_sDataHost, static_cast<quint16>(port), m_settings.nConnectTimeoutMs, QStringLiteral("data"));
}

bool FtpSession::prepareActive(DataChannel& channel)
{
    QHostAddress address;
    quint16 port = 0;
    if (viaProxy()) {
        // The proxy listens for the server's connection (SOCKS BIND); with
        // TLS the socket is encrypted once the server is through.
        channel.bound = m_bEncrypted ? std::make_unique<QSslSocket>() : std::make_unique<QTcpSocket>();
        try {
            connectDirect(*channel.bound, m_settings.sProxyHost, static_cast<quint16>(m_settings.nProxyPort),
                          m_settings.nConnectTimeoutMs, QStringLiteral("proxy"));
        } catch (const FtpError& e) {
            if (e.number == kAborted) throw;
            throw Error(e.number, QStringLiteral("SOCKS proxy: ") + e.description);
        }
        const Socks::Proxy proxy{static_cast<int>(m_settings.nProxyType), m_settings.sProxyHost,
                                 static_cast<quint16>(m_settings.nProxyPort), m_settings.sProxyUser, m_settings.sProxyPassword};
        const Socks::Endpoint bound = Socks::Bind(*channel.bound, proxy, m_sDataHost, 0, m_settings.nConnectTimeoutMs,
                                                  [this] { checkAbort(); });
        address = bound.address.isNull() || bound.address.isEqual(QHostAddress::AnyIPv4)
                      ? channel.bound->peerAddress()
                      : bound.address;
        port = bound.port;
    } else {
        channel.listener = std::make_unique<DataListener>(m_bEncrypted);
        address = m_control->localAddress();
        if (!channel.listener->listen(address, 0))
            throw Error(kDataConnection, QStringLiteral("Cannot listen for the data connection: ") + channel.listener->errorString());
        port = channel.listener->serverPort();
    }

    bool bIsV4 = false;
    const quint32 v4 = address.toIPv4Address(&bIsV4);
    const QString text = bIsV4 ? QHostAddress(v4).toString() : address.toString();
    if (command(QStringLiteral("EPRT |%1|%2|%3|").arg(bIsV4 ? 1 : 2).arg(text).arg(port)).positive()) return true;
    if (!bIsV4) return false;  // PORT cannot name an IPv6 address
    const QString portArgument = QStringLiteral("%1,%2,%3,%4,%5,%6")
                                     .arg((v4 >> 24) & 0xFF)
                                     .arg((v4 >> 16) & 0xFF)
                                     .arg((v4 >> 8) & 0xFF)
                                     .arg(v4 & 0xFF)
                                     .arg(port >> 8)
                                     .arg(port & 0xFF);
    return command(QStringLiteral("PORT ") + portArgument).positive();
}

void FtpSession::completeActive(DataChannel& channel)
{
    if (channel.bound) {
        const Socks::Proxy proxy{static_cast<int>(m_settings.nProxyType), m_settings.sProxyHost,
                                 static_cast<quint16>(m_settings.nProxyPort), m_settings.sProxyUser, m_settings.sProxyPassword};
        Socks::AwaitBoundConnection(*channel.bound, proxy, m_settings.nConnectTimeoutMs, [this] { checkAbort(); });
        channel.socket = std::move(channel.bound);
        if (!m_bEncrypted) channel.socket->setReadBufferSize(4 * kBlockSize);
        return;
    }
    const QDeadlineTimer deadline(m_settings.nConnectTimeoutMs);
    while (!channel.socket) {
        checkAbort();
        while (channel.listener->hasPendingConnections()) {
            std::unique_ptr<QTcpSocket> incoming(channel.listener->nextPendingConnection());
            incoming->setParent(nullptr);
            // Only the server may deliver the data: anyone else who finds
            // the port is turned away.
            if (incoming->peerAddress().isEqual(m_peerAddress, QHostAddress::ConvertV4MappedToIPv4)) {
                channel.socket = std::move(incoming);
                break;
            }
            log(QStringLiteral("Refused a data connection from %1: only the server may connect.")
                    .arg(incoming->peerAddress().toString()));
            incoming->abort();
        }
        if (channel.socket) break;
        if (deadline.hasExpired()) throw Error(kTimeout, QStringLiteral("The server did not open the data connection in time."));
        channel.listener->waitForNewConnection(kSliceMs);
    }
    channel.listener->close();
    if (!m_bEncrypted) channel.socket->setReadBufferSize(4 * kBlockSize);
}

void FtpSession::abortTransfer(QTcpSocket* pData)
{
    // ABOR, then whatever the server says about the transfer it ends (426
    // and 226, or just 226); a short wait, since some servers say nothing.
    if (pData) pData->abort();
    if (!connected()) return;
    // The drain itself must not be cut short, not even by a second abort
    // that arrives meanwhile.
    m_bDrainingAbort = true;
    const auto drained = qScopeGuard([this] { m_bDrainingAbort = false; });
    try {
        m_abort = false;
        send(QStringLiteral("ABOR"));
        const int wait = qMin(m_settings.nIdleTimeoutMs, 5'000);
        FtpReply reply = readReply(wait);
        while (reply.code == 426 || reply.code == 450 || reply.code == 451 || reply.kind() == 1)
            reply = readReply(wait);
        // Some servers answer the transfer first and ABOR after; take that too.
        if (m_control->waitForReadyRead(200) || m_control->bytesAvailable() > 0) {
            while (m_control->bytesAvailable() > 0 || m_parser.hasReply()) {
                if (!m_parser.hasReply() && !m_parser.feed(m_control->readAll())) break;
                if (!m_parser.hasReply()) break;
                logReply(m_parser.takeReply());
            }
        }
    } catch (const FtpError&) {
        // Already closed and reported, or a server that ignores ABOR: the
        // connection is unusable either way. The caller's error stands.
        if (!m_control) return;
        closeControl();
        m_state = FtpComponent::kStateNotConnected;
        log(QStringLiteral("The server did not complete the abort; the connection is closed."));
        Q_EMIT disconnected();
    }
}

QList<QByteArray> FtpSession::readListing(const QString& sCommand)
{
    DataChannel channel;
    FtpReply reply = startTransfer(sCommand, QString(), 0, false, channel);
    if (reply.kind() != 1) {
        expectPositive(reply);
        // Some servers answer 226 at once, sending the data all the same.
        if (!channel.socket) return {};
        if (m_bEncrypted) encryptData(channel);
    }
    QTcpSocket* data = channel.socket.get();
    QByteArray bytes;
    try {
        QDeadlineTimer idle(m_settings.nIdleTimeoutMs);
        for (;;) {
            checkAbort();
            if (data->bytesAvailable() > 0) {
                bytes += data->readAll();
                idle.setRemainingTime(m_settings.nIdleTimeoutMs);
                if (bytes.size() > kMaxListingBytes)
                    throw Error(kProtocol, QStringLiteral("The listing is larger than %1 MiB.").arg(kMaxListingBytes >> 20));
                continue;
            }
            if (data->state() != QAbstractSocket::ConnectedState || channel.bTlsClosed) break;
            if (idle.hasExpired()) throw Error(kTimeout, QStringLiteral("Timed out waiting for the listing."));
            data->waitForReadyRead(kSliceMs);
        }
        bytes += data->readAll();
        data->abort();  // some servers confirm the listing only once it is closed
    } catch (const FtpError& e) {
        if (e.number == kAborted || e.number == kTimeout || e.number == kProtocol) abortTransfer(data);
        throw;
    }
    if (reply.kind() == 1) {
        reply = readFinalReply();
        if (!reply.positive())
            throw Error(kShortTransfer, QStringLiteral("The listing did not complete: %1 %2").arg(reply.code).arg(reply.text()));
    }
    QList<QByteArray> lines = bytes.split('\n');
    for (QByteArray& line : lines)
        if (line.endsWith('\r')) line.chop(1);
    lines.removeIf([](const QByteArray& line) { return line.trimmed().isEmpty(); });
    return lines;
}

QList<QByteArray> FtpSession::readUnixListing()
{
    // Plain LIST leaves out the hidden files of Unix servers; "-a" takes
    // them in where the server knows it.
    if (!m_bListAllRefused) {
        try {
            return readListing(QStringLiteral("LIST -a"));
        } catch (const FtpError& e) {
            if (e.number != kRefused || !e.description.startsWith(QLatin1Char('5'))) throw;
            m_bListAllRefused = true;
            log(QStringLiteral("The server does not take LIST -a; listings use plain LIST."));
        }
    }
    return readListing(QStringLiteral("LIST"));
}

QList<ListingEntry> FtpSession::list()
{
    const bool bMlsd = m_settings.bUseMlsd && m_bFeatMlsd;
    const QList<QByteArray> lines = bMlsd ? readListing(QStringLiteral("MLSD")) : readUnixListing();
    const QDateTime now = QDateTime::currentDateTime();
    m_sListedFolder = m_sCurrentFolder;
    m_listedRawNames.clear();
    QList<ListingEntry> entries;
    for (const QByteArray& raw : lines) {
        bool bLatin1 = false;
        const QString line = DecodeServerText(raw, m_bUtf8, &bLatin1);
        std::optional<ListingEntry> entry =
            bMlsd ? ListingParser::ParseMlsdLine(line) : ListingParser::ParseListLine(line, now);
        if (entry) {
            // A name a UTF-8 server lists in other bytes goes back in those.
            if (bLatin1) {
                entry->rawName = entry->name.toLatin1();
                m_listedRawNames.insert(entry->name, entry->rawName);
            }
            entries.append(*entry);
        } else if (!bMlsd && !line.startsWith(QLatin1String("total "), Qt::CaseInsensitive)
                   && !line.endsWith(QLatin1String(" .")) && !line.endsWith(QLatin1String(" .."))) {
            // (LIST -a shows the folder itself and its parent: no entries.)
            log(QStringLiteral("Listing line not understood, skipped: ") + line.left(200));
        }
    }
    return entries;
}

// --- transfers ---------------------------------------------------------------------------

void FtpSession::emitProgress(qint64 nDone, qint64 nTotal, bool bFinal)
{
    // Started once, whichever connection's thread gets here first.
    static const QElapsedTimer clock = [] {
        QElapsedTimer started;
        started.start();
        return started;
    }();
    const qint64 now = clock.elapsed();
    if (!bFinal && m_nLastProgressMs >= 0 && now - m_nLastProgressMs < kProgressIntervalMs) return;
    m_nLastProgressMs = now;
    // Without a known size the total is 0 and the percentage stays at 0
    // until the end: the bytes so far are no total.
    const qint64 total = nTotal > 0 ? nTotal : (bFinal ? nDone : 0);
    const int percent = total > 0 ? static_cast<int>(qBound(qint64(0), nDone * 100 / total, qint64(100))) : (bFinal ? 100 : 0);
    Q_EMIT progress(nDone, total, percent);
}

void FtpSession::receiveFile(const QString& sRemote, qint64 nOffset, const QString& sLocal)
{
    receiveFile(sRemote, nOffset, sLocal, nullptr);
}

void FtpSession::receiveFile(const QString& sRemote, qint64 nOffset, const QString& sLocal, const ListingEntry* pListed)
{
    if (sRemote.isEmpty() || sLocal.isEmpty()) throw Error(kInvalidArgument, QStringLiteral("No file name given."));
    if (nOffset < 0) throw Error(kInvalidArgument, QStringLiteral("The start offset may not be negative."));
    const bool bAscii = m_settings.nTransferType == 1;

    // Open the local file before asking for the remote one, but change
    // nothing in it until the server has agreed to send.
    QFile file(sLocal);
    const bool bExisted = QFileInfo::exists(sLocal);
    if (QFileInfo(sLocal).isDir())
        throw Error(kLocalFile, QStringLiteral("Cannot write %1: it is a folder.").arg(sLocal));
    if (!file.open(QIODevice::ReadWrite))
        throw Error(kLocalFile, QStringLiteral("Cannot write %1: %2").arg(sLocal, file.errorString()));
    if (nOffset > file.size())
        throw Error(kInvalidArgument, QStringLiteral("Cannot resume %1 at byte %2: the local file has only %3 bytes.")
                                          .arg(sLocal).arg(nOffset).arg(file.size()));

    // Until the server agrees to send, a file that this call created goes
    // again when the call fails.
    DataChannel channel;
    qint64 expected = -1;  // the whole file's size, when the server tells
    FtpReply reply;
    try {
        ensureType(bAscii);
        if (!bAscii) expected = remoteSize(sRemote, pListed, nOffset > 0);
        // What is written is checked against the server's size: a resume
        // is only possible inside the file, and where the size is unknown
        // nothing would show a server that ignores the offset.
        if (nOffset > 0 && !bAscii) {
            if (expected < 0)
                throw Error(kRefused, QStringLiteral("Cannot resume %1: the server does not tell its size.").arg(sRemote));
            if (nOffset > expected)
                throw Error(kInvalidArgument, QStringLiteral("Cannot resume %1 at byte %2: the file on the server has only %3 bytes.")
                                                  .arg(sRemote).arg(nOffset).arg(expected));
            if (nOffset == expected) {
                file.close();
                log(QStringLiteral("%1 is complete already (%2 bytes).").arg(sRemote).arg(expected));
                emitProgress(expected, expected, true);
                return;
            }
        }

        reply = startTransfer(QStringLiteral("RETR"), sRemote, nOffset, false, channel, pListed);
        if (reply.kind() != 1) {
            expectPositive(reply);
            throw Error(kProtocol, QStringLiteral("The server did not start the transfer: %1 %2").arg(reply.code).arg(reply.text()));
        }
    } catch (const FtpError&) {
        if (!bExisted) file.remove();
        throw;
    }
    std::unique_ptr<QTcpSocket>& data = channel.socket;
    if (expected < 0 && nOffset == 0 && !bAscii) {
        static const QRegularExpression kBytes(QStringLiteral("\\((\\d+) bytes\\)"));
        const QRegularExpressionMatch match = kBytes.match(reply.text());
        if (match.hasMatch()) expected = match.captured(1).toLongLong();
    }

    Q_EMIT receiving(QFileInfo(sRemote).fileName().isEmpty() ? sRemote : QFileInfo(sRemote).fileName());
    // Only a file that is longer is cut: truncating a new, empty file would
    // make some file systems (ext4) write it out at close, which costs
    // dearly over thousands of small files.
    if ((file.size() != nOffset && !file.resize(nOffset)) || !file.seek(nOffset)) {
        const QString why = file.errorString();
        abortTransfer(data.get());
        throw Error(kLocalFile, QStringLiteral("Cannot write %1: %2").arg(sLocal, why));
    }

    qint64 received = 0;
    m_nLastProgressMs = -1;
    AsciiDecoder ascii;
    QByteArray buffer(kBlockSize, Qt::Uninitialized);
    try {
        // Binary data goes from the socket to the file without the socket
        // class's own buffer in between, where the system allows it.
        if (!bAscii && receiveNative(*data, file, sLocal, sRemote, buffer, nOffset, received, expected)) {
            if (!file.flush()) throw Error(kLocalFile, QStringLiteral("Cannot write %1: %2").arg(sLocal, file.errorString()));
        } else {
        QDeadlineTimer idle(m_settings.nIdleTimeoutMs);
        for (;;) {
            checkAbort();
            const qint64 got = data->read(buffer.data(), buffer.size());
            if (got > 0) {
                if (!bAscii) checkNotBeyond(sRemote, nOffset, received + got, expected);
                received += got;
                const bool bWritten = bAscii ? [&] {
                    const QByteArray text = ascii.convert(QByteArray::fromRawData(buffer.constData(), got));
                    return file.write(text) == text.size();
                }()
                                             : file.write(buffer.constData(), got) == got;
                if (!bWritten) throw Error(kLocalFile, QStringLiteral("Cannot write %1: %2").arg(sLocal, file.errorString()));
                idle.setRemainingTime(m_settings.nIdleTimeoutMs);
                emitProgress(nOffset + received, expected, false);
                continue;
            }
            if (got < 0 || data->state() != QAbstractSocket::ConnectedState || channel.bTlsClosed) {
                if (data->bytesAvailable() > 0) continue;
                break;
            }
            if (idle.hasExpired()) throw Error(kTimeout, QStringLiteral("Timed out waiting for data of %1.").arg(sRemote));
            data->waitForReadyRead(kSliceMs);
        }
        if (bAscii) file.write(ascii.finish());
        if (!file.flush()) throw Error(kLocalFile, QStringLiteral("Cannot write %1: %2").arg(sLocal, file.errorString()));
        }
    } catch (const FtpError& e) {
        // What has arrived stays, for a resume; bytes beyond the file's end
        // are the wrong bytes, and the file goes back to what it was.
        if (e.number == kBeyondEnd && !file.resize(nOffset)) log(QStringLiteral("Cannot cut %1 back: %2").arg(sLocal, file.errorString()));
        file.close();
        if (e.number == kBeyondEnd && nOffset == 0 && !bExisted) QFile::remove(sLocal);
        if (e.number != kConnectionLost) abortTransfer(data.get());
        throw FtpError{e.number == kBeyondEnd ? kProtocol : e.number, e.description};
    }
    file.close();
    data.reset();

    try {
        reply = readFinalReply();
    } catch (const FtpError& e) {
        if (e.number == kTimeout || e.number == kConnectionLost)
            throw Error(kShortTransfer, QStringLiteral("%1: the server did not confirm the end of the transfer (%2)")
                                            .arg(sRemote, e.description));
        throw;
    }
    if (!reply.positive())
        throw Error(kShortTransfer, QStringLiteral("The transfer of %1 failed: %2 %3").arg(sRemote).arg(reply.code).arg(reply.text()));
    if (expected >= 0 && nOffset + received < expected)
        throw Error(kShortTransfer, QStringLiteral("The transfer of %1 ended early: %2 of %3 bytes arrived.")
                                        .arg(sRemote)
                                        .arg(nOffset + received)
                                        .arg(expected));
    emitProgress(nOffset + received, expected >= 0 ? expected : nOffset + received, true);
    // An MLSD time is exact to the second: no need to ask for it again.
    if (pListed && pListed->date.isValid() && pListed->nDatePrecision == 1) setLocalTime(sLocal, pListed->date);
    else copyRemoteTime(sRemote, sLocal, pListed);
}

qint64 FtpSession::remoteSize(const QString& sRemote, const ListingEntry* pListed, bool bListIfUnknown)
{
    // A listing entry just read gives the size without asking again (a
    // link's entry gives the link's own size, not its target's).
    if (pListed && pListed->kind == ListingEntry::File) return pListed->size;
    if (m_bFeatSize) {
        const FtpReply size = named(QStringLiteral("SIZE"), sRemote);
        bool ok = false;
        const qint64 value = size.text().toLongLong(&ok);
        if (size.code == 213 && ok && value >= 0) return value;
    }
    if (bListIfUnknown && !sRemote.contains(QLatin1Char('/'))) {
        try {
            for (const ListingEntry& entry : list())
                if (entry.name == sRemote && entry.kind == ListingEntry::File) return entry.size;
        } catch (const FtpError& e) {
            if (e.number != kRefused) throw;  // a server that will not list tells nothing
        }
    }
    return -1;
}

void FtpSession::checkNotBeyond(const QString& sRemote, qint64 nOffset, qint64 nReceived, qint64 nExpected) const
{
    if (nExpected < 0 || nOffset + nReceived <= nExpected) return;
    throw Error(kBeyondEnd, QStringLiteral("The server sent more of %1 than the file holds (%2 bytes from byte %3 of %4)%5; "
                                           "the local file is left as it was before.")
                                .arg(sRemote)
                                .arg(nReceived)
                                .arg(nOffset)
                                .arg(nExpected)
                                .arg(nOffset > 0 ? QStringLiteral(": it did not resume where it was asked to") : QString()));
}

bool FtpSession::receiveNative(QTcpSocket& data, QFile& file, const QString& sLocal, const QString& sRemote,
                               QByteArray& buffer, qint64 nOffset, qint64& received, qint64 expected)
{
#if defined(Q_OS_LINUX)
    const int nSocket = static_cast<int>(data.socketDescriptor());
    if (nSocket < 0 || IsTls(data) || !file.flush()) return false;
    const int nFile = file.handle();
    const auto writeAll = [&](const char* p, qint64 n) {
        while (n > 0) {
            const ssize_t done = ::write(nFile, p, static_cast<size_t>(n));
            if (done < 0 && errno == EINTR) continue;
            if (done <= 0)
                throw Error(kLocalFile, QStringLiteral("Cannot write %1: %2").arg(sLocal, QString::fromLocal8Bit(strerror(errno))));
            p += done;
            n -= done;
        }
    };
    // What the socket class has read already comes first.
    while (data.bytesAvailable() > 0) {
        const qint64 got = data.read(buffer.data(), buffer.size());
        if (got <= 0) break;
        checkNotBeyond(sRemote, nOffset, received + got, expected);
        writeAll(buffer.constData(), got);
        received += got;
    }
    QDeadlineTimer idle(m_settings.nIdleTimeoutMs);
    for (;;) {
        checkAbort();
        const ssize_t got = ::read(nSocket, buffer.data(), static_cast<size_t>(buffer.size()));
        if (got > 0) {
            checkNotBeyond(sRemote, nOffset, received + got, expected);
            writeAll(buffer.constData(), got);
            received += got;
            idle.setRemainingTime(m_settings.nIdleTimeoutMs);
            emitProgress(nOffset + received, expected, false);
            continue;
        }
        if (got == 0) break;  // the server closed the data connection: the end of the file
        if (errno == EINTR) continue;
        if (errno == EAGAIN) {
            if (!WaitReady(nSocket, POLLIN, idle)) throw Error(kTimeout, QStringLiteral("Timed out waiting for data of %1.").arg(sRemote));
            continue;
        }
        // A reset connection ends the data like a close; the server's final
        // reply and the size check tell whether it was all.
        if (errno == ECONNRESET) break;
        throw Error(kShortTransfer, QStringLiteral("The data connection of %1 failed: %2").arg(sRemote, QString::fromLocal8Bit(strerror(errno))));
    }
    // The file was written around QFile: bring its idea of the position in line.
    file.seek(nOffset + received);
    return true;
#else
    Q_UNUSED(data) Q_UNUSED(file) Q_UNUSED(sLocal) Q_UNUSED(sRemote) Q_UNUSED(buffer) Q_UNUSED(nOffset)
    Q_UNUSED(received) Q_UNUSED(expected)
    return false;
#endif
}

void FtpSession::sendNative(QTcpSocket& data, QFile& file, const QString& sLocal, qint64& sent, qint64 total)
{
#if defined(Q_OS_LINUX)
    const int nSocket = static_cast<int>(data.socketDescriptor());
    if (nSocket < 0 || IsTls(data) || data.bytesToWrite() > 0) return;
    const NoSigPipe noSigPipe;
    QDeadlineTimer idle(m_settings.nIdleTimeoutMs);
    while (sent < total) {
        checkAbort();
        off_t position = static_cast<off_t>(sent);
        const ssize_t n = ::sendfile(nSocket, file.handle(), &position, static_cast<size_t>(qMin<qint64>(total - sent, 8 * kBlockSize)));
        if (n > 0) {
            sent += n;
            idle.setRemainingTime(m_settings.nIdleTimeoutMs);
            emitProgress(sent, total, false);
            continue;
        }
        if (n == 0) return;  // the file is shorter than it was: the loop after this sees its end
        if (errno == EINTR) continue;
        if (errno == EAGAIN) {
            if (!WaitReady(nSocket, POLLOUT, idle)) throw Error(kTimeout, QStringLiteral("Timed out sending %1.").arg(sLocal));
            continue;
        }
        if (errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP) return;  // not for this file: copy instead
        if (errno == EPIPE || errno == ECONNRESET)
            throw Error(kShortTransfer, QStringLiteral("The server closed the data connection while %1 was sent.").arg(sLocal));
        throw Error(kLocalFile, QStringLiteral("Cannot send %1: %2").arg(sLocal, QString::fromLocal8Bit(strerror(errno))));
    }
#else
    Q_UNUSED(data) Q_UNUSED(file) Q_UNUSED(sLocal) Q_UNUSED(sent) Q_UNUSED(total)
#endif
}

void FtpSession::closeSentData(QTcpSocket& data)
{
#if defined(Q_OS_LINUX)
    // A TLS server sends on the data connection too (session tickets), and
    // closing a socket with unread data resets the connection, which can
    // destroy the end of the upload before the server has read it. So the
    // connection is kept open past the socket class's close (a second
    // descriptor), shut for writing after its close_notify, and read to
    // the server's end before it is closed.
    const int nKept = IsTls(data) && data.socketDescriptor() >= 0 ? ::dup(static_cast<int>(data.socketDescriptor())) : -1;
    const auto closeKept = qScopeGuard([nKept] {
        if (nKept >= 0) ::close(nKept);
    });
#endif
    QDeadlineTimer idle(m_settings.nIdleTimeoutMs);
    data.disconnectFromHost();
    while (data.state() != QAbstractSocket::UnconnectedState) {
        checkAbort();
        if (idle.hasExpired()) break;
        data.waitForDisconnected(kSliceMs);
    }
#if defined(Q_OS_LINUX)
    if (nKept < 0) return;
    ::shutdown(nKept, SHUT_WR);
    char sink[4096];
    idle.setRemainingTime(m_settings.nIdleTimeoutMs);
    for (;;) {
        checkAbort();
        const ssize_t got = ::read(nKept, sink, sizeof sink);
        if (got > 0) continue;
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 && errno == EAGAIN && WaitReady(nKept, POLLIN, idle)) continue;
        break;  // the server's end, a reset or the idle time: nothing more to wait for
    }
#endif
}

void FtpSession::sendFile(const QString& sLocal, qint64 nOffset, const QString& sRemote, bool bResume)
{
    if (sRemote.isEmpty() || sLocal.isEmpty()) throw Error(kInvalidArgument, QStringLiteral("No file name given."));
    if (nOffset < 0) throw Error(kInvalidArgument, QStringLiteral("The start offset may not be negative."));
    const QFileInfo info(sLocal);
    if (!info.isFile()) throw Error(kLocalFile, QStringLiteral("Cannot read %1: not a file.").arg(sLocal));
    QFile file(sLocal);
    if (!file.open(QIODevice::ReadOnly))
        throw Error(kLocalFile, QStringLiteral("Cannot read %1: %2").arg(sLocal, file.errorString()));
    const qint64 total = file.size();
    const qint64 offset = bResume ? nOffset : 0;
    if (offset > total)
        throw Error(kInvalidArgument, QStringLiteral("Cannot resume at byte %1: %2 has only %3 bytes.").arg(offset).arg(sLocal).arg(total));
    const bool bAscii = m_settings.nTransferType == 1;
    ensureType(bAscii);

    DataChannel channel;
    FtpReply reply = startTransfer(QStringLiteral("STOR"), sRemote, offset, true, channel);
    std::unique_ptr<QTcpSocket>& data = channel.socket;
    if (reply.kind() != 1) {
        expectPositive(reply);
        throw Error(kProtocol, QStringLiteral("The server did not start the transfer: %1 %2").arg(reply.code).arg(reply.text()));
    }
    Q_EMIT sending(info.fileName());

    qint64 sent = offset;
    m_nLastProgressMs = -1;
    bool bLastWasCr = false;
    try {
        if (!file.seek(offset)) throw Error(kLocalFile, QStringLiteral("Cannot read %1: %2").arg(sLocal, file.errorString()));
        // Binary data goes from the file to the socket inside the kernel
        // where it can; the loop below finishes whatever is left.
        if (!bAscii) sendNative(*data, file, sLocal, sent, total);
        if (!file.seek(sent)) throw Error(kLocalFile, QStringLiteral("Cannot read %1: %2").arg(sLocal, file.errorString()));
        QByteArray buffer(kBlockSize, Qt::Uninitialized);
        for (;;) {
            checkAbort();
            const qint64 got = file.read(buffer.data(), buffer.size());
            if (got < 0) throw Error(kLocalFile, QStringLiteral("Cannot read %1: %2").arg(sLocal, file.errorString()));
            if (got == 0) break;
            if (bAscii) data->write(ToCrLf(QByteArray::fromRawData(buffer.constData(), got), bLastWasCr));
            else data->write(buffer.constData(), got);
            QDeadlineTimer idle(m_settings.nIdleTimeoutMs);
            qint64 pending = data->bytesToWrite();
            while (data->bytesToWrite() > kBlockSize / 2) {
                checkAbort();
                if (data->state() != QAbstractSocket::ConnectedState)
                    throw Error(kShortTransfer, QStringLiteral("The server closed the data connection while %1 was sent.").arg(sLocal));
                if (data->bytesToWrite() < pending) {
                    pending = data->bytesToWrite();
                    idle.setRemainingTime(m_settings.nIdleTimeoutMs);
                }
                if (idle.hasExpired()) throw Error(kTimeout, QStringLiteral("Timed out sending %1.").arg(sLocal));
                data->waitForBytesWritten(kSliceMs);
            }
            sent += got;
            emitProgress(sent, total, false);
        }
        QDeadlineTimer idle(m_settings.nIdleTimeoutMs);
        while (data->bytesToWrite() > 0) {
            checkAbort();
            if (data->state() != QAbstractSocket::ConnectedState)
                throw Error(kShortTransfer, QStringLiteral("The server closed the data connection while %1 was sent.").arg(sLocal));
            if (idle.hasExpired()) throw Error(kTimeout, QStringLiteral("Timed out sending %1.").arg(sLocal));
            data->waitForBytesWritten(kSliceMs);
        }
        closeSentData(*data);
    } catch (const FtpError& e) {
        if (e.number == kAborted && IsTls(*data)) {
            // Stopped, an encrypted upload still ends its stream the way a
            // finished one does: a reset in the middle of it makes some
            // servers (vsftpd) end the whole session. The server keeps what
            // has arrived, as it does after a reset.
            m_abort = false;
            try {
                closeSentData(*data);
            } catch (const FtpError&) {
                // Stopped again or gone: the abort below deals with it.
            }
        }
        if (e.number != kConnectionLost) abortTransfer(data.get());
        throw;
    }
    data.reset();

    reply = readFinalReply();
    if (!reply.positive())
        throw Error(kShortTransfer, QStringLiteral("The transfer of %1 failed: %2 %3").arg(sLocal).arg(reply.code).arg(reply.text()));
    if (!bAscii && m_bFeatSize) {
        const FtpReply size = named(QStringLiteral("SIZE"), sRemote);
        bool ok = false;
        const qint64 value = size.text().toLongLong(&ok);
        if (size.code == 213 && ok && value < total)
            throw Error(kShortTransfer, QStringLiteral("The server holds %1 of the %2 bytes of %3.").arg(value).arg(total).arg(sLocal));
    }
    emitProgress(total, total, true);
    copyLocalTime(sLocal, sRemote);
}

// The copy carries the original's modification time where the server tells
// it exactly (MDTM) or can set it (MFMT), so that the next comparison of the
// two sides sees them equal. Failing to is no failure of the transfer.
QDateTime FtpSession::modificationTime(const QString& sRemote, const ListingEntry* pListed)
{
    if (!m_bFeatMdtm) return {};
    const FtpReply reply = named(QStringLiteral("MDTM"), sRemote, pListed);
    return reply.code == 213 ? ListingParser::ParseTimeVal(reply.text()) : QDateTime();
}

void FtpSession::copyRemoteTime(const QString& sRemote, const QString& sLocal, const ListingEntry* pListed)
{
    setLocalTime(sLocal, modificationTime(sRemote, pListed));
}

void FtpSession::setLocalTime(const QString& sLocal, const QDateTime& time)
{
    if (!time.isValid()) return;
    QFile file(sLocal);
    if (file.open(QIODevice::Append)) file.setFileTime(time, QFileDevice::FileModificationTime);
}

void FtpSession::copyLocalTime(const QString& sLocal, const QString& sRemote)
{
    if (!m_bFeatMfmt) return;
    const QDateTime time = QFileInfo(sLocal).lastModified().toUTC();
    if (time.isValid()) named(QStringLiteral("MFMT ") + time.toString(QStringLiteral("yyyyMMddHHmmss")), sRemote);
}

// --- folders ------------------------------------------------------------------------------

void FtpSession::receiveFolder(const QString& sMask, const QString& sLocalFolder, bool bRecurse)
{
    QString folder, pattern;
    NameRules::SplitMask(sMask, folder, pattern);
    if (sLocalFolder.isEmpty()) throw Error(kInvalidArgument, QStringLiteral("No local folder given."));
    const QString start = m_sCurrentFolder;
    QSet<QString> visited;
    try {
        TransferPool pool(*this, m_abort, m_settings.nConnections);
        receiveTree(folder, sLocalFolder, pattern, bRecurse, visited, 0, pool);
        pool.finish();
    } catch (const FtpError& e) {
        if (e.number != kConnectionLost && connected() && !start.isEmpty()) tryChangeFolder(start);
        throw;
    }
    if (!start.isEmpty() && m_sCurrentFolder != start) changeFolder(start);
}

void FtpSession::receiveTree(const QString& sRemoteFolder, const QString& sLocalFolder, const QString& sPattern,
                             bool bRecurse, QSet<QString>& visited, int nDepth, TransferPool& pool)
{
    if (!sRemoteFolder.isEmpty()) changeFolder(sRemoteFolder);
    const QString here = m_sCurrentFolder;
    visited.insert(here);
    if (!QFileInfo(sLocalFolder).isDir() && !QDir().mkpath(sLocalFolder))
        throw Error(kLocalFile, QStringLiteral("Cannot create the folder %1.").arg(sLocalFolder));

    const QList<ListingEntry> entries = list();
    QSet<QString> localNames;
    for (const ListingEntry& entry : entries) {
        checkAbort();
        const QString remoteName = here.endsWith(QLatin1Char('/')) ? here + entry.name : here + QLatin1Char('/') + entry.name;
        const std::optional<QString> localPath = NameRules::LocalPath(sLocalFolder, entry.name);
        if (!localPath) {
            Q_EMIT itemSkipped(remoteName, QString(), FtpComponent::kSkipUnsafeName);
            continue;
        }
        const QString& local = *localPath;
        if (localNames.contains(local)) {  // two names that read the same here: never one file
            Q_EMIT itemSkipped(remoteName, QString(), FtpComponent::kSkipUnsafeName);
            continue;
        }
        localNames.insert(local);
        if (entry.bSpecial) {
            Q_EMIT itemSkipped(remoteName, QString(), FtpComponent::kSkipSpecial);
            continue;
        }
        bool bFolder = entry.kind == ListingEntry::Folder;
        if (entry.kind == ListingEntry::Link && bRecurse) {
            // A link is followed as a folder when the server lets us in.
            if (tryChangeFolder(entry.name)) {
                const bool bSeen = visited.contains(m_sCurrentFolder);
                changeFolder(here);
                if (bSeen || nDepth + 1 >= kMaxDepth) {
                    Q_EMIT itemSkipped(remoteName, QString(), FtpComponent::kSkipLoop);
                    continue;
                }
                bFolder = true;
            }
        }
        if (bFolder) {
            if (!bRecurse) {
                Q_EMIT itemSkipped(remoteName, QString(), FtpComponent::kSkipSubfolder);
                continue;
            }
            if (nDepth + 1 >= kMaxDepth) {
                Q_EMIT itemSkipped(remoteName, QString(), FtpComponent::kSkipLoop);
                continue;
            }
            if (!QFileInfo(local).isDir() && !QDir().mkdir(local)) {
                Q_EMIT itemSkipped(remoteName, QString(), FtpComponent::kSkipLocalError);
                continue;
            }
            if (!tryChangeFolder(entry.name)) {
                Q_EMIT itemSkipped(remoteName, QString(), FtpComponent::kSkipRefused);
                continue;
            }
            receiveTree(QString(), local, sPattern, bRecurse, visited, nDepth + 1, pool);
            changeFolder(here);
            continue;
        }
        if (!NameRules::MatchesMask(entry.name, sPattern)) {
            Q_EMIT itemSkipped(remoteName, QString(), FtpComponent::kSkipNoMatch);
            continue;
        }
        pool.schedule(FileJob{here, entry.name, local, remoteName, false, entry, true});
    }
}

void FtpSession::sendFolder(const QString& sLocalMask, const QString& sRemoteFolder, bool bRecurse)
{
    QString folder, pattern;
    NameRules::SplitMask(sLocalMask, folder, pattern);
    if (!QFileInfo(folder).isDir()) throw Error(kLocalFile, QStringLiteral("%1 is not a folder.").arg(folder));
    if (sRemoteFolder.isEmpty()) throw Error(kInvalidArgument, QStringLiteral("No remote folder name given."));
    const QString start = m_sCurrentFolder;
    QSet<QString> visited;
    try {
        const bool bExisted = tryChangeFolder(sRemoteFolder);
        if (!bExisted) {
            makeFolder(sRemoteFolder);
            changeFolder(sRemoteFolder);
        }
        TransferPool pool(*this, m_abort, m_settings.nConnections);
        sendTree(folder, pattern, bRecurse, visited, 0, pool, bExisted);
        pool.finish();
    } catch (const FtpError& e) {
        if (e.number != kConnectionLost && connected() && !start.isEmpty()) tryChangeFolder(start);
        throw;
    }
    if (!start.isEmpty() && m_sCurrentFolder != start) changeFolder(start);
}

void FtpSession::sendTree(const QString& sLocalFolder, const QString& sPattern, bool bRecurse, QSet<QString>& visited,
                          int nDepth, TransferPool& pool, bool bRemoteExisted)
{
    const QString canonical = QFileInfo(sLocalFolder).canonicalFilePath();
    visited.insert(canonical);
    const QString here = m_sCurrentFolder;
    // What the server has here already, for the decision about existing
    // files; a folder made just now holds nothing.
    QHash<QString, ListingEntry> remote;
    if (bRemoteExisted && m_settings.existingFiles != ExistingFiles::Policy::Overwrite)
        for (const ListingEntry& entry : list()) remote.insert(entry.name, entry);
    const QFileInfoList entries =
        QDir(sLocalFolder).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name);
    for (const QFileInfo& info : entries) {
        checkAbort();
        const QString local = info.filePath();
        if (!encodable(info.fileName())) {
            Q_EMIT itemSkipped(QString(), local, FtpComponent::kSkipEncoding);
            continue;
        }
        if (info.isDir()) {
            if (!bRecurse) {
                Q_EMIT itemSkipped(QString(), local, FtpComponent::kSkipSubfolder);
                continue;
            }
            if (visited.contains(info.canonicalFilePath()) || nDepth + 1 >= kMaxDepth) {
                Q_EMIT itemSkipped(QString(), local, FtpComponent::kSkipLoop);
                continue;
            }
            const bool bExisted = tryChangeFolder(info.fileName());
            if (!bExisted) {
                if (!named(QStringLiteral("MKD"), info.fileName()).positive() || !tryChangeFolder(info.fileName())) {
                    Q_EMIT itemSkipped(QString(), local, FtpComponent::kSkipRefused);
                    continue;
                }
            }
            sendTree(local, sPattern, bRecurse, visited, nDepth + 1, pool, bExisted);
            changeFolder(here);
            continue;
        }
        if (!info.isFile()) {  // a pipe or device would block or never end
            Q_EMIT itemSkipped(QString(), local, FtpComponent::kSkipSpecial);
            continue;
        }
        if (!NameRules::MatchesMask(info.fileName(), sPattern)) {
            Q_EMIT itemSkipped(QString(), local, FtpComponent::kSkipNoMatch);
            continue;
        }
        const auto listed = remote.constFind(info.fileName());
        pool.schedule(FileJob{here, info.fileName(), local, local, true, listed != remote.cend() ? *listed : ListingEntry(),
                              listed != remote.cend()});
    }
}

bool FtpSession::encodable(const QString& sName) const
{
    try {
        encode(sName, QString());
        return true;
    } catch (const FtpError&) {
        return false;
    }
}

namespace {
// One question at a time, from whichever connection asks.
std::mutex g_questionMutex;
}  // namespace

bool FtpSession::decideExisting(const FileJob& job, qint64& nOffset)
{
    using namespace ExistingFiles;
    const QFileInfo info(job.sLocal);
    const Facts local{info.exists(), info.exists() ? info.size() : -1, info.lastModified(), 1};
    Facts remote{job.bListed, job.listed.kind == ListingEntry::File ? job.listed.size : -1, job.listed.date,
                 job.listed.nDatePrecision};
    // Where the listing gives the time coarser than MDTM does, the exact
    // time decides between the same file and another.
    if (WantsExactTime(remote, local)) {
        const QDateTime exact = modificationTime(job.sName, &job.listed);
        if (exact.isValid()) {
            remote.date = exact;
            remote.nPrecision = 1;
        }
    }
    const Facts& source = job.bUpload ? local : remote;
    const Facts& destination = job.bUpload ? remote : local;
    Action action = Decide(m_settings.existingFiles, source, destination);
    if (action == Action::Ask) {
        const ExistingFileQuestion question{job.sReportName, job.bUpload, source, destination, Resumable(source, destination)};
        int nAnswer = kCancel;
        {
            const std::lock_guard lock(g_questionMutex);
            checkAbort();
            Q_EMIT existingFileQuery(question, &nAnswer);
        }
        checkAbort();
        action = nAnswer == kOverwrite                              ? Action::Transfer
                 : nAnswer == kResume && question.bResumeAllowed ? Action::Resume
                                                                  : Action::Skip;
    }
    const long nReason = action == Action::SkipIdentical ? FtpComponent::kSkipIdentical
                         : action == Action::Skip        ? FtpComponent::kSkipExisting
                                                         : 0;
    if (nReason) {
        if (job.bUpload) Q_EMIT itemSkipped(QString(), job.sReportName, nReason);
        else Q_EMIT itemSkipped(job.sReportName, QString(), nReason);
        return false;
    }
    nOffset = action == Action::Resume ? destination.nSize : 0;
    return true;
}

void FtpSession::transferJob(const FileJob& job)
{
    if (!job.sRemoteFolder.isEmpty() && m_sCurrentFolder != job.sRemoteFolder) changeFolder(job.sRemoteFolder);
    try {
        qint64 nOffset = 0;
        if (!decideExisting(job, nOffset)) return;
        if (job.bUpload) sendFile(job.sLocal, nOffset, job.sName, nOffset > 0);
        else receiveFile(job.sName, nOffset, job.sLocal, &job.listed);
    } catch (const FtpError& e) {
        const long nReason = e.number == kRefused        ? FtpComponent::kSkipRefused
                             : e.number == kLocalFile    ? FtpComponent::kSkipLocalError
                             : e.number == kNameEncoding ? FtpComponent::kSkipEncoding
                                                         : 0;
        if (!nReason) throw;
        if (job.bUpload) Q_EMIT itemSkipped(QString(), job.sReportName, nReason);
        else Q_EMIT itemSkipped(job.sReportName, QString(), nReason);
    }
}
