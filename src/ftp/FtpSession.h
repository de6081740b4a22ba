#pragma once

#include "ftp/Certificates.h"
#include "ftp/ExistingFiles.h"
#include "ftp/FtpError.h"
#include "ftp/ListingEntry.h"
#include "ftp/ReplyParser.h"

#include <QFile>
#include <QHash>
#include <QHostAddress>
#include <QMutex>
#include <QTcpServer>
#include <QTcpSocket>
#include <QObject>
#include <QSet>
#include <QSslCertificate>
#include <QString>

#include <atomic>
#include <memory>

class QAbstractSocket;
class QSslError;
class QSslSocket;
class QTcpServer;
class QTcpSocket;
class TransferPool;
struct FileJob;

// The protocol work of one FTP connection. It lives in the component's
// worker thread; its operations are plain blocking calls that throw FtpError,
// and it reports through signals that the component forwards to its owner.
// Every wait is cut into short slices so that the abort flag and the
// timeouts are seen promptly.
class FtpSession final : public QObject {
    Q_OBJECT
public:
    struct Settings {
        QString sUser, sPassword, sServer;
        int nPort = 21;
        bool bPassive = true;
        long nTransferType = 0;  // 1 ASCII, 0 binary
        int nConnectTimeoutMs = 30'000;
        int nIdleTimeoutMs = 60'000;
        bool bUseMlsd = true;
        long nProxyType = 0;  // 0 none, 4 SOCKS 4/4a, 5 SOCKS 5
        QString sProxyHost, sProxyUser, sProxyPassword;
        int nProxyPort = 1080;
        int nConnections = 1;  // for the files of folder transfers
        // Explicit FTPS: AUTH TLS before the login, and every data
        // connection encrypted. A certificate the system does not vouch for
        // is accepted when its fingerprint is one of trustedCertificates
        // (canonical form), or when the owner says so when asked.
        bool bTls = false;
        QStringList trustedCertificates;
        // Files of folder transfers whose copy exists at the destination.
        ExistingFiles::Policy existingFiles = ExistingFiles::Policy::SkipIdentical;
    };

    FtpSession(std::atomic<bool>& abortFlag, std::atomic<int>& state);
    ~FtpSession() override;

    void apply(const Settings& settings) { m_settings = settings; }
    const Settings& settings() const { return m_settings; }
    // The settings for an extra connection to the same server: these, with
    // the certificate accepted for this connection trusted too.
    Settings settingsForExtraConnection() const;
    // Whether the control connection is encrypted.
    bool encrypted() const { return m_bEncrypted; }
    void setLogFile(const QString& sPath);

    // Marks the start and end of an operation (state busy, abort cleared by
    // the caller beforehand, drops noticed while idle reported).
    void beginOperation();
    void endOperation();

    void connectAndLogin();
    void disconnectFromServer();
    bool connected() const;
    QString currentFolder() const { return m_sCurrentFolder; }

    void changeFolder(const QString& sFolder);
    void parentFolder();
    void makeFolder(const QString& sName);
    void deleteFile(const QString& sName);
    void removeFolder(const QString& sName);
    void rename(const QString& sOld, const QString& sNew);
    void sendCommand(const QString& sCommand);
    // The final reply to the last raw command (a listing counts as 226).
    FtpReply lastCommandReply() const { return m_lastCommandReply; }
    QList<ListingEntry> list();
    void receiveFile(const QString& sRemote, qint64 nOffset, const QString& sLocal);
    void sendFile(const QString& sLocal, qint64 nOffset, const QString& sRemote, bool bResume);
    void receiveFolder(const QString& sMask, const QString& sLocalFolder, bool bRecurse);
    void sendFolder(const QString& sLocalMask, const QString& sRemoteFolder, bool bRecurse);
    // The file's time as MDTM gives it; invalid without MDTM or when refused.
    QDateTime modificationTime(const QString& sRemote, const ListingEntry* pListed);
    // One file of a folder transfer, from or into its folder (changed to
    // when it is not the current one). A file the server refuses or that
    // cannot be written or read here is reported as skipped.
    void transferJob(const FileJob& job);

    // The path in a 257 reply: the first quoted string, "" standing for ".
    static QString ParsePwdReply(const QString& sText);

Q_SIGNALS:
    void logText(const QString& sText, long nReserved);
    void progress(qint64 nBytes, qint64 nTotalBytes, int nPercent);
    void receiving(const QString& sFileName);
    void sending(const QString& sFileName);
    void itemSkipped(const QString& sRemoteName, const QString& sLocalName, long nReason);
    void disconnected();
    // Blocking: the owner fills in the text (empty: give up).
    void accountQuery(QString* pAccount);
    void passwordQuery(QString* pPassword);
    // Blocking: the server's certificate is not one the system or the
    // settings trust; the owner sets *pTrust to go on with it all the same.
    void certificateQuery(const CertificateInfo& info, bool* pTrust);
    // Blocking: a file of a folder transfer exists at its destination and
    // differs; the owner sets *pAnswer to an ExistingFiles::Answer.
    void existingFileQuery(const ExistingFileQuestion& question, int* pAnswer);

private:
    friend class TransferPool;

    // Control connection.
    FtpReply command(const QString& sCommand);           // send and read the final reply
    void send(const QString& sCommand);
    // A command whose argument is a file or folder name: the name goes out
    // as wireName gives it.
    void send(const QString& sVerb, const QString& sName, const ListingEntry* pListed = nullptr);
    FtpReply named(const QString& sVerb, const QString& sName, const ListingEntry* pListed = nullptr);
    void sendLine(const QByteArray& line, const QString& sLogged);
    // The bytes that name sName on the server: those it listed the name with
    // (pListed's, or the current folder's last listing's), else the name in
    // the server's character set.
    QByteArray wireName(const QString& sName, const ListingEntry* pListed = nullptr) const;
    FtpReply readReply(int nTimeoutMs = -1);             // the next reply (preliminary ones included)
    FtpReply readFinalReply(int nTimeoutMs = -1);        // skips 1xx
    void expectPositive(const FtpReply& reply, long nNumber = FtpErrorNumber::kRefused);
    void drainUnsolicited();
    void settleOwedReplies();
    void log(const QString& sText);
    void logReply(const FtpReply& reply);
    // Closes the control connection, reports it and throws.
    [[noreturn]] void lost(const QString& sWhy, long nNumber = FtpErrorNumber::kConnectionLost);
    void checkAbort() const;
    void closeControl();
    void refreshCurrentFolder();
    void ensureType(bool bAscii);
    // sText in the server's character set; throws kNameEncoding, naming
    // sWhat, for text that the character set cannot carry.
    QByteArray encode(const QString& sText, const QString& sWhat) const;
    QString decode(const QByteArray& bytes) const;

    // Connections: directly to each address of a host in turn, or through
    // the SOCKS proxy.
    void connectDirect(QTcpSocket& socket, const QString& sHost, quint16 nPort, int nTimeoutMs, const QString& sWhat);
    void connectTo(QTcpSocket& socket, const QString& sHost, quint16 nPort, int nTimeoutMs, const QString& sWhat);
    bool viaProxy() const { return m_settings.nProxyType != 0; }

    // Data connections. startTransfer is the one place where passive or
    // active mode is chosen: it prepares the connection, sends REST and
    // the command, and once the server has answered 1xx completes it.
    struct DataChannel {
        std::unique_ptr<QTcpSocket> socket;    // the data, once open
        std::unique_ptr<QTcpServer> listener;  // active mode, direct
        std::unique_ptr<QTcpSocket> bound;     // active mode through the proxy (SOCKS BIND)
        bool bTlsClosed = false;               // the server ended the TLS stream (close_notify)
    };
    FtpReply startTransfer(const QString& sVerb, const QString& sArgument, qint64 nRest, bool bAppendWhenRestRefused,
                           DataChannel& channel, const ListingEntry* pListed = nullptr);
    void preparePassive(DataChannel& channel);
    bool prepareActive(DataChannel& channel);  // false: the server refused active mode
    void completeActive(DataChannel& channel);
    QList<QByteArray> readListing(const QString& sCommand);
    QList<QByteArray> readUnixListing();  // LIST -a, or LIST where that is refused
    void abortTransfer(QTcpSocket* pData);
    void waitConnected(QAbstractSocket& socket, int nTimeoutMs, const QString& sWhat);

    // TLS: AUTH TLS and the handshake on the control connection, and the
    // handshake on a data connection once the server has answered 1xx.
    void startControlTls(const QString& sHost);
    void encryptData(DataChannel& channel);
    void waitEncrypted(QSslSocket& socket, int nTimeoutMs, const QString& sWhat);
    bool acceptCertificate(const QSslCertificate& certificate, const QList<QSslError>& errors, const QString& sHost);

    void receiveTree(const QString& sRemoteFolder, const QString& sLocalFolder, const QString& sPattern,
                     bool bRecurse, QSet<QString>& visited, int nDepth, TransferPool& pool);
    void sendTree(const QString& sLocalFolder, const QString& sPattern, bool bRecurse, QSet<QString>& visited,
                  int nDepth, TransferPool& pool, bool bRemoteExisted);
    // Whether the server's character set can carry sName.
    bool encodable(const QString& sName) const;
    // What to do with a file of a folder transfer whose copy exists: false
    // when it is skipped (reported); else nOffset is where it starts.
    bool decideExisting(const FileJob& job, qint64& nOffset);
    bool tryChangeFolder(const QString& sFolder);
    bool remoteExists(const QString& sName);
    void emitProgress(qint64 nDone, qint64 nTotal, bool bFinal);
    // Sends file from byte sent towards total straight from the kernel's
    // page cache (sendfile), where the system offers it, advancing sent;
    // returns early, with the rest still to send, where it does not.
    void sendNative(QTcpSocket& data, QFile& file, const QString& sLocal, qint64& sent, qint64 total);
    // Reads the data connection to its end straight into file (already at
    // byte nOffset), counting in received; false when the system offers no
    // such path and nothing was read.
    bool receiveNative(QTcpSocket& data, QFile& file, const QString& sLocal, const QString& sRemote, QByteArray& buffer,
                       qint64 nOffset, qint64& received, qint64 expected);
    // Closes the data connection of an upload once everything is written.
    void closeSentData(QTcpSocket& data);
    void copyRemoteTime(const QString& sRemote, const QString& sLocal, const ListingEntry* pListed);
    static void setLocalTime(const QString& sLocal, const QDateTime& time);
    // pListed: the file's entry in a listing just read, whose size and
    // (when exact to the second) time are used instead of asking again.
    void receiveFile(const QString& sRemote, qint64 nOffset, const QString& sLocal, const ListingEntry* pListed);
    // The file's size on the server (pListed's, SIZE, or with bListIfUnknown
    // the current folder's listing); -1 when none of them tells.
    qint64 remoteSize(const QString& sRemote, const ListingEntry* pListed, bool bListIfUnknown);
    // Throws when nReceived bytes from nOffset go beyond a file of nExpected bytes.
    void checkNotBeyond(const QString& sRemote, qint64 nOffset, qint64 nReceived, qint64 nExpected) const;
    void copyLocalTime(const QString& sLocal, const QString& sRemote);

    Settings m_settings;
    std::atomic<bool>& m_abort;
    std::atomic<int>& m_state;
    std::unique_ptr<QTcpSocket> m_control;
    ReplyParser m_parser;
    QHostAddress m_peerAddress;  // the server's address; null through a proxy that resolved a name
    QString m_sDataHost;         // where passive data connections go: always the server itself
    QString m_sCurrentFolder;
    QFile m_logFile;
    QMutex m_logMutex;  // extra connections of a folder transfer log through here
    bool m_bUtf8 = false;
    bool m_bFeatMlsd = false, m_bFeatSize = false, m_bFeatEpsv = true, m_bFeatRest = false, m_bFeatMdtm = false, m_bFeatMfmt = false;
    bool m_bEpsvRefused = false;
    bool m_bListAllRefused = false;  // "LIST -a" refused: plain LIST for this session
    // Names of the last listing that the server spelled in other bytes than
    // their decoded form gives back, and the folder that listing was of.
    QString m_sListedFolder;
    QHash<QString, QByteArray> m_listedRawNames;
    int m_nSentType = -1;  // -1 unknown, 0 I, 1 A
    bool m_bInOperation = false;
    bool m_bDroppedWhileIdle = false;
    int m_nOwedReplies = 0;  // replies whose wait an abort cut short
    bool m_bDrainingAbort = false;  // reading what the server says after ABOR
    qint64 m_nLastProgressMs = -1;
    FtpReply m_lastCommandReply;
    bool m_bEncrypted = false;
    QSslCertificate m_serverCertificate;   // what the control connection showed
    QString m_sAcceptedCertificate;        // fingerprint accepted by the user for this connection
    QString m_sCertificateRefusal;         // why the last handshake's certificate was refused
    int m_nCertificateQueries = 0;         // a question restarts the handshake's timeout
};
