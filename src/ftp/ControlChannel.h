#pragma once

#include "ftp/FtpError.h"
#include "ftp/FtpSettings.h"
#include "ftp/FtpState.h"
#include "ftp/ListingEntry.h"
#include "ftp/ReplyParser.h"
#include "ftp/Wait.h"

#include <QByteArray>
#include <QFile>
#include <QHash>
#include <QHostAddress>
#include <QMutex>
#include <QString>

#include <atomic>
#include <memory>

class FtpEvents;
class QTcpSocket;

// What the server offers, as its FEAT announced it, and what its refusals
// taught us; forgotten when a new connection opens.
struct ServerFeatures {
    bool bMlsd = false, bSize = false, bMdtm = false, bMfmt = false;
    bool bEpsvRefused = false;
    bool bListAllRefused = false;  // "LIST -a" refused: plain LIST from then on
};

// The control connection of one session: opening it (directly or through
// the SOCKS proxy), commands out and replies in, the log, and the state
// that lives and dies with the connection (phase, folder, type, character
// set). Every wait of the engine goes through wait(), and every end of a
// connection nobody asked for through dropConnection().
class ControlChannel {
public:
    ControlChannel(FtpEvents& events, const FtpSettings& settings, std::atomic<bool>& abortFlag,
                   std::atomic<FtpState::Phase>& phase);
    ~ControlChannel();
    ControlChannel(const ControlChannel&) = delete;
    ControlChannel& operator=(const ControlChannel&) = delete;

    // --- the connection -------------------------------------------------------
    // The one setter of the phase the component reads.
    void setPhase(FtpState::Phase phase) { m_phase = phase; }
    FtpState::Phase phase() const { return m_phase; }
    bool connected() const;
    bool isOpen() const { return m_socket != nullptr; }  // connected, or closing without having been told to
    // Connects to sServer at the settings' port: phase Connecting, then Busy
    // once the connection stands (the greeting is the caller's). On failure
    // nothing stays open.
    void open(const QString& sServer);
    QTcpSocket& socket() { return *m_socket; }
    // Closes the connection and forgets what belonged to it (phase NotConnected).
    void close();
    // The one place where a connection ends that nobody asked to end: closes
    // it, logs why and tells the owner. A closed connection is not reported again.
    void dropConnection(const QString& sWhy);
    // dropConnection, then throws sWhy as nNumber.
    [[noreturn]] void lost(const QString& sWhy, long nNumber = FtpErrorNumber::kConnectionLost);

    // Connections for this session's use: to each address of a host in
    // turn, or through the SOCKS proxy when the settings name one.
    void connectTo(QTcpSocket& socket, const QString& sHost, quint16 nPort, int nTimeoutMs, const QString& sWhat);
    void connectDirect(QTcpSocket& socket, const QString& sHost, quint16 nPort, int nTimeoutMs, const QString& sWhat);
    QHostAddress peerAddress() const { return m_peerAddress; }  // null through a proxy that resolved a name
    QString dataHost() const { return m_sDataHost; }             // where passive data connections go: the server itself

    // --- waits and the abort --------------------------------------------------
    void checkAbort() const;
    bool aborted() const { return m_abort; }
    void clearAbort() { m_abort = false; }
    // A wait of nTimeoutMs, restarted by progress, that the abort flag stops
    // (unless bAbortable is false).
    Wait wait(int nTimeoutMs, bool bAbortable = true) const;
    // Before a call: the replies to commands whose wait an abort cut short
    // are read first; true when there were any, read now or drained since
    // (the folder may have changed).
    bool readOwedReplies();
    // ABOR, and what the server says about the transfer it ends (426 and
    // 226, or just 226). Neither this wait nor the abort flag cut it short;
    // the wait is short, since some servers say nothing.
    void abortCommand();

    // --- commands and replies -------------------------------------------------
    FtpReply command(const QString& sCommand);  // sends, and reads the final reply
    void send(const QString& sCommand);
    // A command whose argument is a file or folder name: the name goes out
    // as wireName gives it.
    void send(const QString& sVerb, const QString& sName, const ListingEntry* pListed = nullptr);
    FtpReply named(const QString& sVerb, const QString& sName, const ListingEntry* pListed = nullptr);
    FtpReply readReply(int nTimeoutMs = -1);       // the next reply, preliminary ones included
    FtpReply readFinalReply(int nTimeoutMs = -1);  // skips 1xx
    static void expectPositive(const FtpReply& reply, long nNumber = FtpErrorNumber::kRefused);
    void ensureType(bool bAscii);  // TYPE A or I, when not sent already
    void forgetType() { m_nSentType = -1; }

    // --- names and text -------------------------------------------------------
    void setUtf8(bool bUtf8);
    bool utf8() const { return m_bUtf8; }
    // sText in the server's character set; throws kNameEncoding, naming
    // sWhat, for text that the character set cannot carry.
    QByteArray encode(const QString& sText, const QString& sWhat) const;
    QString decode(QByteArrayView bytes) const;
    bool encodable(const QString& sName) const;
    // The bytes that name sName on the server: those it listed the name with
    // (pListed's, or the current folder's last listing's), else the name in
    // the server's character set.
    QByteArray wireName(const QString& sName, const ListingEntry* pListed = nullptr) const;
    // Names of the current folder's listing that the server spelled in
    // other bytes than their decoded form gives back.
    void rememberListedNames(const QHash<QString, QByteArray>& names);

    // --- what the connection knows --------------------------------------------
    ServerFeatures& features() { return m_features; }
    QString currentFolder() const { return m_sCurrentFolder; }
    void setCurrentFolder(const QString& sFolder) { m_sCurrentFolder = sFolder; }
    bool encrypted() const { return m_bEncrypted; }
    void setEncrypted() { m_bEncrypted = true; }

    // --- the log ----------------------------------------------------------------
    void setLogFile(const QString& sPath);
    void log(const QString& sText);  // thread-safe: extra connections log through here
    void logReply(const FtpReply& reply);

private:
    FtpReply readReply(int nTimeoutMs, bool bAbortable);
    void sendLine(const QByteArray& line, const QString& sLogged);
    void drainUnsolicited();

    FtpEvents& m_events;
    const FtpSettings& m_settings;
    std::atomic<bool>& m_abort;
    std::atomic<FtpState::Phase>& m_phase;
    std::unique_ptr<QTcpSocket> m_socket;
    ReplyParser m_parser;
    QHostAddress m_peerAddress;
    QString m_sDataHost;
    ServerFeatures m_features;
    bool m_bUtf8 = false;
    QString m_sCurrentFolder;
    QString m_sListedFolder;  // the folder m_listedRawNames belong to
    QHash<QString, QByteArray> m_listedRawNames;
    int m_nSentType = -1;     // -1 unknown, 0 I, 1 A
    bool m_bEncrypted = false;
    int m_nOwedReplies = 0;   // replies whose wait an abort cut short
    bool m_bOwedRepliesDrained = false;  // some came in before a later command went out
    QFile m_logFile;
    QMutex m_logMutex;
};
