#include "ftp/FtpSession.h"

#include "ftp/ListingParser.h"

using namespace FtpErrorNumber;
using FtpState::Phase;

namespace {

QString ReplyText(const FtpReply& reply) { return QStringLiteral("%1 %2").arg(reply.code).arg(reply.text()); }

}  // namespace

FtpSession::FtpSession(std::atomic<bool>& abortFlag, std::atomic<Phase>& phase)
    : m_control(*this, m_settings, abortFlag, phase),
      m_tls(m_control, *this, m_settings),
      m_data(m_control, m_tls, m_settings),
      m_listing(m_control, m_data, m_settings),
      m_files(m_control, m_data, m_listing, *this, m_settings)
{
}

FtpSession::~FtpSession() = default;

FtpSession::Settings FtpSession::settingsForExtraConnection() const
{
    Settings settings = m_settings;
    if (!m_tls.acceptedCertificate().isEmpty()) settings.trustedCertificates << m_tls.acceptedCertificate();
    return settings;
}

void FtpSession::beginOperation()
{
    if (connected()) m_control.setPhase(Phase::Busy);
    // Replies to commands whose wait an abort cut short are read (and
    // logged) before anything else is sent; the folder may have changed
    // meanwhile, so it is asked for again.
    try {
        if (m_control.readOwedReplies()) refreshCurrentFolder();
    } catch (const FtpError&) {
        // A lost connection is closed already, and the call that follows
        // says so; another abort leaves the replies owed for the next call.
    }
}

void FtpSession::endOperation() { m_control.setPhase(connected() ? Phase::Connected : Phase::NotConnected); }

// --- connecting --------------------------------------------------------------------------

void FtpSession::checkSettings() const
{
    if (m_settings.nProxyType != 0 && m_settings.nProxyType != 4 && m_settings.nProxyType != 5)
        throw FtpError{kInvalidArgument, QStringLiteral("Unknown proxy type %1 (4 and 5 are SOCKS 4 and 5).").arg(m_settings.nProxyType)};
    if (m_settings.viaProxy() && m_settings.sProxyHost.trimmed().isEmpty())
        throw FtpError{kInvalidArgument, QStringLiteral("No SOCKS proxy address given.")};
    if (m_settings.sServer.trimmed().isEmpty()) throw FtpError{kInvalidArgument, QStringLiteral("No server address given.")};
    if (m_settings.nPort < 1 || m_settings.nPort > 65535)
        throw FtpError{kInvalidArgument, QStringLiteral("The port %1 is not valid.").arg(m_settings.nPort)};
}

void FtpSession::connectAndLogin()
{
    if (connected()) throw FtpError{kInvalidArgument, QStringLiteral("Already connected; disconnect first.")};
    checkSettings();
    QString server = m_settings.sServer.trimmed();
    if (server.startsWith(QLatin1Char('[')) && server.endsWith(QLatin1Char(']'))) server = server.mid(1, server.size() - 2);

    m_tls.reset();
    m_control.open(server);
    const FtpReply greeting = m_control.readFinalReply(m_settings.nConnectTimeoutMs);
    if (greeting.code != 220) {
        m_control.close();
        throw FtpError{kConnectFailed, QStringLiteral("The server did not greet: ") + ReplyText(greeting)};
    }
    if (m_settings.bTls) {
        try {
            m_tls.startOnControl(server);
        } catch (const FtpError&) {
            m_control.close();
            throw;
        }
    } else {
        m_control.log(QStringLiteral("The connection is not encrypted: the password and the files travel in the clear."));
    }
    login();
    if (m_control.encrypted()) {
        // Data connections are encrypted too; a server that will not is
        // left rather than used half in the clear.
        m_control.command(QStringLiteral("PBSZ 0"));
        const FtpReply reply = m_control.command(QStringLiteral("PROT P"));
        if (!reply.positive()) {
            disconnectFromServer();
            throw FtpError{kTls, QStringLiteral("The server will not encrypt data connections: ") + ReplyText(reply)};
        }
    }
    readFeatures();
    m_control.command(QStringLiteral("SYST"));
    refreshCurrentFolder();
    m_control.log(QStringLiteral("Connected to %1").arg(server));
}

void FtpSession::login()
{
    const QString user = m_settings.sUser.isEmpty() ? QStringLiteral("anonymous") : m_settings.sUser;
    FtpReply reply = m_control.command(QStringLiteral("USER ") + user);
    if (reply.code == 331) {
        reply = m_control.command(QStringLiteral("PASS ") + m_settings.sPassword);
        if (reply.code == 530) {
            // One more try with a password the user types, when one is given.
            QString again;
            Q_EMIT passwordQuery(&again);
            if (!again.isEmpty()) {
                reply = m_control.command(QStringLiteral("USER ") + user);
                if (reply.code == 331) reply = m_control.command(QStringLiteral("PASS ") + again);
            }
        }
    }
    if (reply.code == 332) {
        QString account;
        Q_EMIT accountQuery(&account);
        if (account.isEmpty()) {
            m_control.close();
            throw FtpError{kLoginFailed, QStringLiteral("The server asks for an account; none was given.")};
        }
        reply = m_control.command(QStringLiteral("ACCT ") + account);
    }
    if (reply.code != 230 && reply.code != 202) {
        m_control.close();
        throw FtpError{kLoginFailed, QStringLiteral("Login failed: ") + ReplyText(reply)};
    }
}

void FtpSession::readFeatures()
{
    const FtpReply reply = m_control.command(QStringLiteral("FEAT"));
    ServerFeatures& features = m_control.features();
    QString sMlstOptions;
    bool bUtf8 = false;
    if (reply.code == 211) {
        for (const QString& line : reply.lines) {
            const QString feature = line.trimmed().section(QLatin1Char(' '), 0, 0).toUpper();
            if (feature == QLatin1String("MLST")) sMlstOptions = ListingParser::MlstOptionsWanted(line);
            if (feature == QLatin1String("MLSD") || feature == QLatin1String("MLST")) features.bMlsd = true;
            else if (feature == QLatin1String("SIZE")) features.bSize = true;
            else if (feature == QLatin1String("MDTM")) features.bMdtm = true;
            else if (feature == QLatin1String("MFMT")) features.bMfmt = true;
            else if (feature == QLatin1String("UTF8")) bUtf8 = true;
        }
    }
    if (bUtf8) {
        // A server that lists UTF8 speaks it (RFC 2640); OPTS UTF8 ON only
        // switches on those that ask for it, so a refusal changes nothing.
        m_control.command(QStringLiteral("OPTS UTF8 ON"));
        m_control.setUtf8(true);
    }
    // Listings then carry each entry's permissions where the server has them.
    if (!sMlstOptions.isEmpty()) m_control.command(sMlstOptions);
}

void FtpSession::disconnectFromServer()
{
    if (!m_control.isOpen()) return;
    if (connected()) {
        try {
            m_control.send(QStringLiteral("QUIT"));
            m_control.readFinalReply(qMin(m_settings.nIdleTimeoutMs, 5'000));
        } catch (const FtpError&) {
            // Gone already, or slow to say goodbye: closing is all that is left.
        }
    }
    m_control.close();
    m_control.log(QStringLiteral("Disconnected."));
}

// --- folders -------------------------------------------------------------------------------

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
    const FtpReply reply = m_control.command(QStringLiteral("PWD"));
    if (reply.code == 257) m_control.setCurrentFolder(ParsePwdReply(reply.text()));
}

void FtpSession::changeFolder(const QString& sFolder)
{
    ControlChannel::expectPositive(m_control.named(QStringLiteral("CWD"), sFolder));
    refreshCurrentFolder();
}

bool FtpSession::tryChangeFolder(const QString& sFolder)
{
    if (!m_control.named(QStringLiteral("CWD"), sFolder).positive()) return false;
    refreshCurrentFolder();
    return true;
}

void FtpSession::parentFolder()
{
    ControlChannel::expectPositive(m_control.command(QStringLiteral("CDUP")));
    refreshCurrentFolder();
}

void FtpSession::makeFolder(const QString& sName) { ControlChannel::expectPositive(m_control.named(QStringLiteral("MKD"), sName)); }

void FtpSession::deleteFile(const QString& sName) { ControlChannel::expectPositive(m_control.named(QStringLiteral("DELE"), sName)); }

void FtpSession::removeFolder(const QString& sName) { ControlChannel::expectPositive(m_control.named(QStringLiteral("RMD"), sName)); }

bool FtpSession::remoteExists(const QString& sName)
{
    if (m_control.features().bMlsd && m_control.named(QStringLiteral("MLST"), sName).positive()) return true;
    if (m_control.features().bSize) {
        m_control.ensureType(false);  // some servers answer SIZE only in binary mode
        if (m_control.named(QStringLiteral("SIZE"), sName).positive()) return true;
    }
    const QString here = currentFolder();
    if (!m_control.named(QStringLiteral("CWD"), sName).positive()) return false;
    changeFolder(here.isEmpty() ? QStringLiteral("/") : here);
    return true;
}

void FtpSession::rename(const QString& sOld, const QString& sNew)
{
    // Most servers replace an existing target without a word; a rename must
    // never cost the user the file that had the new name.
    if (remoteExists(sNew)) throw FtpError{kFileExists, QStringLiteral("%1 already exists.").arg(sNew)};
    const FtpReply from = m_control.named(QStringLiteral("RNFR"), sOld);
    if (from.code != 350) throw FtpError{kRefused, ReplyText(from)};
    const FtpReply to = m_control.named(QStringLiteral("RNTO"), sNew);
    if (to.positive()) return;
    throw FtpError{remoteExists(sNew) ? kFileExists : kRefused, ReplyText(to)};
}

// --- raw commands -----------------------------------------------------------------------------

void FtpSession::sendCommand(const QString& sCommand)
{
    m_lastCommandReply = FtpReply{226, {}};  // listings end well or throw
    const QString line = sCommand.trimmed();
    const QString verb = line.section(QLatin1Char(' '), 0, 0).toUpper();
    // "QUOTE <command>" is how users ask for a raw command; the server knows
    // no QUOTE, so what follows is what it gets.
    if (verb == QLatin1String("QUOTE")) {
        const QString rest = line.section(QLatin1Char(' '), 1).trimmed();
        if (rest.isEmpty()) throw FtpError{kInvalidArgument, QStringLiteral("QUOTE needs a command to send.")};
        sendCommand(rest);
        return;
    }
    // Listings come over a data connection of their own; their lines go to
    // the log like replies.
    if (verb == QLatin1String("LIST") || verb == QLatin1String("NLST") || verb == QLatin1String("MLSD")) {
        m_listing.read(line, [this](QByteArrayView listed) { m_control.log(m_control.decode(listed)); });
        return;
    }
    // Transfers and data-connection set-up have their own calls: sent raw,
    // they would wait for a data connection that never comes.
    static const QStringList kDataVerbs = {QStringLiteral("RETR"), QStringLiteral("STOR"), QStringLiteral("STOU"),
                                           QStringLiteral("APPE"), QStringLiteral("PASV"), QStringLiteral("EPSV"),
                                           QStringLiteral("PORT"), QStringLiteral("EPRT"), QStringLiteral("REST")};
    if (kDataVerbs.contains(verb))
        throw FtpError{kInvalidArgument, QStringLiteral("%1 needs a data connection; use the transfer commands.").arg(verb)};
    // Encryption is set up at login and kept for the whole connection:
    // sent raw, these would leave both sides disagreeing about it.
    static const QStringList kTlsVerbs = {QStringLiteral("AUTH"), QStringLiteral("PBSZ"), QStringLiteral("PROT"),
                                          QStringLiteral("CCC")};
    if (kTlsVerbs.contains(verb))
        throw FtpError{kInvalidArgument, QStringLiteral("%1 changes the connection's encryption; choose TLS for the site instead.").arg(verb)};
    if (verb == QLatin1String("QUIT")) {
        disconnectFromServer();
        Q_EMIT disconnected();
        return;
    }
    const FtpReply reply = m_control.command(line);
    m_lastCommandReply = reply;
    if ((verb == QLatin1String("CWD") || verb == QLatin1String("CDUP") || verb == QLatin1String("XCWD")) && reply.positive())
        refreshCurrentFolder();
    if (verb == QLatin1String("TYPE")) m_control.forgetType();
}
