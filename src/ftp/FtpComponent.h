#pragma once

#include "ftp/Certificates.h"
#include "ftp/EventQueue.h"
#include "ftp/ExistingFiles.h"
#include "ftp/FtpError.h"
#include "ftp/FtpState.h"
#include "ftp/ListingEntry.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QVariant>

#include <atomic>
#include <functional>
#include <memory>

class FtpSession;
class QThread;

// The FTP component: properties and calls by dispatch id, and one signal per
// event. The protocol work runs in a worker thread; every call made from the
// owning thread posts its operation there and runs a local event loop until
// it ends, so the event signals arrive (and are handled) while the call is
// still in progress, and the abort property can be set from a handler or a
// button in the meantime. Failing calls throw FtpError (see FtpError.h).
//
// Only one call runs at a time: a call made while another is running (from
// an event handler, say) throws FtpError kBusy instead of queueing.
class FtpComponent final : public QObject {
    Q_OBJECT
public:
    enum DispatchId {
        kUserName = 100,
        kPassword = 101,
        kServerAddress = 102,
        kPort = 103,
        kCurrentFolder = 200,
        kListingOption = 201,
        kPassiveMode = 304,
        kLogFile = 402,
        kState = 403,
        kTransferType = 405,
        kProxyType = 500,
        kProxyAddress = 501,
        kProxyPort = 502,
        kProxyUser = 503,
        kProxyPassword = 504,
        kAbort = 1900,
        kChangeFolder = 2000,
        kParentFolder = 2001,
        kConnect = 2003,
        kCreateFolder = 2004,
        kDeleteFile = 2005,
        kDisconnect = 2006,
        kFolderContents = 2007,
        kListFolder = 2008,
        kReceiveFile = 2009,
        kReceiveFolder = 2011,
        kRemoveFolder = 2012,
        kRename = 2013,
        kSendCommand = 2014,
        kSendFile = 2015,
        kSendFolder = 2018,
        kReasonText = 2020,
    };

    // Values of the state property: the connection's phase as the owner
    // sees it (connecting counts as not connected).
    enum State {
        kStateNotConnected = static_cast<int>(FtpState::Phase::NotConnected),
        kStateConnected = static_cast<int>(FtpState::Phase::Connected),
        kStateBusy = static_cast<int>(FtpState::Phase::Busy),
    };

    // Reason codes of the item-skipped event; ReasonText gives their words.
    using SkipReason = FtpState::SkipReason;
    using enum FtpState::SkipReason;

    explicit FtpComponent(QObject* parent = nullptr);
    ~FtpComponent() override;

    // --- by dispatch id ----------------------------------------------------
    QVariant GetProperty(int nId) const;
    void PutProperty(int nId, const QVariant& value);
    QVariant Invoke(int nId, const QVariantList& args = {});

    // --- properties ----------------------------------------------------------
    void setUserName(const QString& s) { m_sUserName = s; }
    QString userName() const { return m_sUserName; }
    void setPassword(const QString& s) { m_sPassword = s; }
    QString password() const { return m_sPassword; }  // not a dispatch property: for the program's own checks
    void setServerAddress(const QString& s) { m_sServer = s; }
    QString serverAddress() const { return m_sServer; }
    void setPort(int n) { m_nPort = n; }
    int port() const { return m_nPort; }
    QString currentFolder() const;           // as the server last reported it (PWD)
    void setListingOption(long n) { m_nListingOption = n; }  // kept; listings always use MLSD or plain LIST
    void setPassiveMode(bool b) { m_bPassive = b; }
    bool passiveMode() const { return m_bPassive; }
    void setLogFile(const QString& sPath);   // the protocol log; empty: none
    long state() const;
    void setTransferType(long n);            // 1 ASCII, 0 binary
    long transferType() const { return m_nTransferType; }
    void setProxyType(long n) { m_nProxyType = n; }
    void setProxyAddress(const QString& s) { m_sProxyAddress = s; }
    void setProxyPort(int n) { m_nProxyPort = n ? n : 1080; }
    void setProxyUser(const QString& s) { m_sProxyUser = s; }
    void setProxyPassword(const QString& s) { m_sProxyPassword = s; }
    QString proxyPassword() const { return m_sProxyPassword; }
    // True stops the running call (it then throws kAborted). Set while no
    // call runs, it has no effect: it never carries over to the next call.
    void setAbort(bool b);

    // Waits, in milliseconds: connecting (and the greeting), and any other
    // wait for the server (a reply, data, the data connection).
    void setConnectTimeout(int nMs) { m_nConnectTimeoutMs = nMs; }
    void setIdleTimeout(int nMs) { m_nIdleTimeoutMs = nMs; }
    // Use MLSD for listings when the server offers it (default true).
    void setUseMlsd(bool b) { m_bUseMlsd = b; }
    // How many connections the files of a folder transfer may use, this one
    // included (1 to kMaxConnections, default 4). The extra ones log in
    // when the first file is ready and are not used when the server
    // refuses them.
    static constexpr int kMaxConnections = 10;
    void setParallelConnections(int n) { m_nConnections = qBound(1, n, kMaxConnections); }
    int parallelConnections() const { return m_nConnections; }

    // Explicit FTPS (AUTH TLS, data connections encrypted too): off by default.
    void setUseTls(bool b) { m_bUseTls = b; }
    bool useTls() const { return m_bUseTls; }
    // SHA-256 fingerprints of certificates to accept without asking although
    // the system's certificate store does not vouch for them (pinned or
    // self-signed ones); any form NormalizeFingerprint takes.
    void setTrustedCertificates(const QStringList& fingerprints);
    QStringList trustedCertificates() const { return m_trustedCertificates; }  // canonical
    // What folder transfers do with a file whose copy exists at its
    // destination (default: skip the same file, replace any other). With
    // Ask the existingFileQuery event decides.
    void setExistingFiles(ExistingFiles::Policy policy) { m_existingFiles = policy; }
    ExistingFiles::Policy existingFiles() const { return m_existingFiles; }
    // Whether the connection is encrypted now.
    bool encrypted() const { return m_bEncrypted && state() != kStateNotConnected; }

    // --- calls ---------------------------------------------------------------
    void ChangeFolder(const QString& sFolder);
    void ParentFolder();
    void Connect();
    // Harmless when not connected. Called while a call runs (from an event
    // handler or a button), it stops that call and logs out once it has.
    void Disconnect();
    // The program is ending: a running call stops (a partial file stays for
    // a later resume) and the connection is closed once it has; questions
    // are no longer passed on (they get the answers that change nothing)
    // and no other call starts. A call is never left while it runs, not
    // even when the program quits meanwhile.
    void Close();
    // Whether a call is running (its events are arriving).
    bool running() const { return m_bRunning; }
    void CreateFolder(const QString& sName);
    void DeleteFile(const QString& sName);
    void RemoveFolder(const QString& sName);
    // The entries of the current folder; sMask filters names with * and ?.
    QList<ListingEntry> FolderContents(const QString& sMask = QString(), long nReserved = 0);
    // One listingEntry signal per entry of the current folder matching sMask,
    // in batches with events handled in between; until the last the call
    // counts as running (other calls throw kBusy).
    void ListFolder(const QString& sMask = QString());
    // Receives sRemote into sLocal, from byte nOffset (the local file is kept
    // up to there and appended to) or from the start (the file is replaced).
    void ReceiveFile(const QString& sRemote, qint64 nOffset, const QString& sLocal);
    // sMask is "folder/*" (or "folder\*", or "folder/*.txt"): the files of the
    // remote folder that match go into sLocalFolder, which is created when
    // missing; with bRecurse its subfolders follow, each into a local folder
    // of the same name, whatever the mask.
    void ReceiveFolder(const QString& sMask, const QString& sLocalFolder, bool bRecurse);
    void Rename(const QString& sOld, const QString& sNew);
    // Sends a raw command line; the replies arrive as logText signals. A
    // negative reply is not an error here: the caller reads the log.
    void SendCommand(const QString& sCommand);
    // The server's final reply code and text for the last SendCommand, for
    // callers that must tell acceptance from refusal.
    int lastReplyCode() const { return m_nLastReplyCode; }
    QString lastReplyText() const { return m_sLastReplyText; }
    // Sends sLocal as sRemote. With bResume and nOffset > 0 the transfer
    // continues the remote file from byte nOffset (REST + STOR, or APPE when
    // the server refuses REST); otherwise the remote file is replaced.
    void SendFile(const QString& sLocal, qint64 nOffset, const QString& sRemote, bool bResume);
    // sLocalMask is "<local folder>/*" (or with "\" or a pattern); the remote
    // folder sRemoteFolder is created inside the current folder when missing.
    void SendFolder(const QString& sLocalMask, const QString& sRemoteFolder, bool bReserved, bool bRecurse);
    QString ReasonText(long nReason) const;
    // A file's modification time as MDTM tells it (UTC, exact to the
    // second); invalid where the server offers no MDTM or refuses it.
    QDateTime ModificationTime(const QString& sName);

Q_SIGNALS:
    void accountQuery(QString& sAccount);     // fill in the account, or leave it empty to give up
    void passwordQuery(QString& sPassword);   // the same for a password the server asks again for
    // The server's certificate is not one the system or the trusted list
    // vouches for: set bTrust to connect all the same (it is then trusted
    // for this connection and its extra ones); left false, Connect fails
    // with kTls.
    void certificateQuery(const CertificateInfo& info, bool& bTrust);
    // A file of a folder transfer exists at its destination and differs
    // from its source: set nAnswer to an ExistingFiles::Answer (Cancel,
    // the default, keeps the copy). One question at a time.
    void existingFileQuery(const ExistingFileQuestion& question, int& nAnswer);
    void disconnected();
    void progress(qint64 nBytes, qint64 nTotalBytes, int nPercent);
    // One entry of ListFolder, whole (raw name, date precision, permissions).
    void listingEntry(const ListingEntry& entry);
    void logText(const QString& sText, long nReserved);
    void receiving(const QString& sFileName);
    void sending(const QString& sFileName);
    // sDetail says what went wrong when an error made the item be skipped
    // (empty otherwise); the log has it too.
    void itemSkipped(const QString& sRemoteName, const QString& sLocalName, long nReason, const QString& sDetail);
    void stateChanged(long nState, long nPrevious, const QString& sText);

private:
    // Runs fn in the worker thread and waits, handling events, until it ends.
    void Run(const std::function<void(FtpSession&)>& fn, bool bEvenWhenClosing = false);
    void RunConnected(const std::function<void(FtpSession&)>& fn);  // Run, for calls that need a connection
    void ApplySettings(FtpSession& session) const;

    QString m_sUserName, m_sPassword, m_sServer;
    int m_nPort = 21;
    long m_nListingOption = 0;
    bool m_bPassive = true;
    long m_nTransferType = 0;
    long m_nProxyType = 0;
    QString m_sProxyAddress, m_sProxyUser, m_sProxyPassword;
    int m_nProxyPort = 1080;
    int m_nConnectTimeoutMs = 30'000;
    int m_nIdleTimeoutMs = 60'000;
    bool m_bUseMlsd = true;
    int m_nConnections = 4;
    bool m_bUseTls = false;
    ExistingFiles::Policy m_existingFiles = ExistingFiles::Policy::SkipIdentical;
    QStringList m_trustedCertificates;
    bool m_bEncrypted = false;     // copied from the session after every call
    bool m_bRunning = false;
    bool m_bClosing = false;            // Close() was called, or the program quit during a call
    bool m_bDisconnectAfterCall = false;
    QString m_sCurrentFolder;      // copied from the session after every call
    QString m_sLogFile;
    int m_nLastReplyCode = 0;
    QString m_sLastReplyText;
    std::atomic<bool> m_abort{false};
    std::atomic<FtpState::Phase> m_phase{FtpState::Phase::NotConnected};  // written by the worker

    QThread* m_pThread = nullptr;
    FtpSession* m_pSession = nullptr;  // lives in m_pThread
    EventQueue m_events{*this};        // what the worker raised, for this thread
};
