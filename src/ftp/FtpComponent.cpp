#include "ftp/FtpComponent.h"

#include "ftp/FolderWalk.h"
#include "ftp/FtpSession.h"
#include "ftp/NameRules.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QPointer>
#include <QSemaphore>
#include <QThread>
#include <QTimer>

#include <optional>
#include <utility>

using namespace FtpErrorNumber;

namespace {
constexpr int kEventIntervalMs = 25;  // how often a running call's events are taken
}  // namespace

FtpComponent::FtpComponent(QObject* parent) : QObject(parent)
{
    m_pThread = new QThread(this);
    m_pThread->setObjectName(QStringLiteral("FtpWorker"));
    m_pSession = new FtpSession(m_abort, m_phase);
    m_pSession->moveToThread(m_pThread);
    connect(m_pThread, &QThread::finished, m_pSession, &QObject::deleteLater);

    // Events wait in the queue, to be raised in this thread while a call's
    // local event loop runs, in the order the worker raised them.
    const auto relay = [this](auto signal, auto raise, bool bPrompt = false) {
        connect(
            m_pSession, signal, this,
            [this, raise, bPrompt](auto... args) { m_events.push([this, raise, args...] { raise(args...); }, bPrompt); },
            Qt::DirectConnection);
    };
    relay(&FtpSession::logText, [this](const QString& sText, long n) { Q_EMIT logText(sText, n); });
    // Progress comes a few times a second at most, and its handlers may stop the call: at once.
    relay(&FtpSession::progress, [this](qint64 nBytes, qint64 nTotal, int nPercent) { Q_EMIT progress(nBytes, nTotal, nPercent); },
          true);
    relay(&FtpSession::receiving, [this](const QString& sName) { Q_EMIT receiving(sName); });
    relay(&FtpSession::sending, [this](const QString& sName) { Q_EMIT sending(sName); });
    relay(&FtpSession::itemSkipped, [this](const QString& sRemote, const QString& sLocal, long nReason, const QString& sDetail) {
        Q_EMIT itemSkipped(sRemote, sLocal, nReason, sDetail);
    });
    relay(&FtpSession::disconnected, [this] {
        if (!m_bRunning) m_sCurrentFolder.clear();
        Q_EMIT disconnected();
    });
    // The worker waits for these answers; a call is always running then, so
    // this thread is in its local event loop and answers at once, after the
    // events raised before the question.
    // While the program closes nobody is asked: the answers are the ones
    // that change nothing (no account, no trust, keep the file).
    connect(
        m_pSession, &FtpSession::accountQuery, this,
        [this](QString* pAccount) {
            m_events.deliver();
            if (!m_bClosing) Q_EMIT accountQuery(*pAccount);
        },
        Qt::BlockingQueuedConnection);
    connect(
        m_pSession, &FtpSession::passwordQuery, this,
        [this](QString* pPassword) {
            m_events.deliver();
            if (!m_bClosing) Q_EMIT passwordQuery(*pPassword);
        },
        Qt::BlockingQueuedConnection);
    connect(
        m_pSession, &FtpSession::existingFileQuery, this,
        [this](const ExistingFileQuestion& question, int* pAnswer) {
            m_events.deliver();
            if (!m_bClosing) Q_EMIT existingFileQuery(question, *pAnswer);
            if (m_bClosing) *pAnswer = ExistingFiles::kCancel;  // closed meanwhile: whatever was answered
        },
        Qt::BlockingQueuedConnection);
    connect(
        m_pSession, &FtpSession::certificateQuery, this,
        [this](const CertificateInfo& info, bool* pTrust) {
            m_events.deliver();
            if (!m_bClosing) Q_EMIT certificateQuery(info, *pTrust);
            if (m_bClosing) *pTrust = false;
        },
        Qt::BlockingQueuedConnection);
    m_pThread->start();
}

FtpComponent::~FtpComponent()
{
    m_abort = true;
    FtpSession* session = m_pSession;
    QMetaObject::invokeMethod(
        session, [session] { session->disconnectFromServer(); }, Qt::BlockingQueuedConnection);
    m_pThread->quit();
    m_pThread->wait();
}

// --- the worker -----------------------------------------------------------------

void FtpComponent::setTrustedCertificates(const QStringList& fingerprints)
{
    m_trustedCertificates.clear();
    for (const QString& text : fingerprints) {
        const QString fingerprint = Certificates::NormalizeFingerprint(text);
        if (!fingerprint.isEmpty() && !m_trustedCertificates.contains(fingerprint)) m_trustedCertificates << fingerprint;
    }
}

void FtpComponent::ApplySettings(FtpSession& session) const
{
    FtpSession::Settings s;
    s.sUser = m_sUserName;
    s.sPassword = m_sPassword;
    s.sServer = m_sServer;
    s.nPort = m_nPort;
    s.bPassive = m_bPassive;
    s.nTransferType = m_nTransferType;
    s.nConnectTimeoutMs = m_nConnectTimeoutMs;
    s.nIdleTimeoutMs = m_nIdleTimeoutMs;
    s.bUseMlsd = m_bUseMlsd;
    s.nConnections = m_nConnections;
    s.nProxyType = m_nProxyType;
    s.sProxyHost = m_sProxyAddress.trimmed();
    s.nProxyPort = m_nProxyPort;
    s.sProxyUser = m_sProxyUser;
    s.sProxyPassword = m_sProxyPassword;
    s.bTls = m_bUseTls;
    s.trustedCertificates = m_trustedCertificates;
    s.existingFiles = m_existingFiles;
    session.apply(s);
}

void FtpComponent::Run(const std::function<void(FtpSession&)>& fn, bool bEvenWhenClosing)
{
    if (m_bRunning) throw FtpError{kBusy, QStringLiteral("Another FTP operation is still running.")};
    if (m_bClosing && !bEvenWhenClosing) throw FtpError{kAborted, QStringLiteral("The program is closing.")};
    m_bRunning = true;
    m_abort = false;
    const long previous = state();

    std::optional<FtpError> error;
    QString folder;
    bool bEncrypted = false;
    std::atomic<bool> bDone{false};
    QEventLoop loop;
    // The call's events are taken a few times a second, not one by one.
    QTimer pump;
    pump.callOnTimeout([this] { m_events.deliver(); });
    m_events.hold(true);
    pump.start(kEventIntervalMs);
    FtpSession* session = m_pSession;
    QMetaObject::invokeMethod(
        session,
        [&, session] {
            ApplySettings(*session);
            session->beginOperation();
            try {
                fn(*session);
            } catch (const FtpError& e) {
                error = e;
            } catch (const std::exception& e) {
                error = FtpError{kProtocol, QString::fromLocal8Bit(e.what())};
            }
            session->endOperation();
            folder = session->currentFolder();
            bEncrypted = session->encrypted();
            bDone = true;
            // Queued behind every event raised above, so they are all
            // delivered before the call returns.
            QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
    loop.exec();
    // The loop also ends (or does not even start) when the program quits:
    // every event loop is told to end then. The call still owns this frame,
    // so it is stopped and waited for here, its events still handled.
    while (!bDone) {
        m_bClosing = true;
        m_abort = true;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    pump.stop();
    m_events.hold(false);
    QCoreApplication::sendPostedEvents(this);  // the call's last events
    m_events.deliver();

    m_bRunning = false;
    m_abort = false;
    m_sCurrentFolder = folder;
    m_bEncrypted = bEncrypted;
    if (state() != previous) Q_EMIT stateChanged(state(), previous, QString());
    // A Disconnect asked for while the call ran: now that it has stopped.
    if (std::exchange(m_bDisconnectAfterCall, false)) {
        try {
            Disconnect();
        } catch (const FtpError&) {
        }
    }
    if (error) throw *error;
}

void FtpComponent::RunConnected(const std::function<void(FtpSession&)>& fn)
{
    Run([&fn](FtpSession& s) {
        if (!s.connected()) throw FtpError{kNotConnected, QStringLiteral("Not connected to a server.")};
        fn(s);
    });
}

void FtpComponent::Close()
{
    m_bClosing = true;
    if (m_bRunning) {
        m_abort = true;
        m_bDisconnectAfterCall = true;
    }
}

// --- properties -----------------------------------------------------------------

QString FtpComponent::currentFolder() const { return m_sCurrentFolder; }

long FtpComponent::state() const
{
    const FtpState::Phase phase = m_phase;
    return phase == FtpState::Phase::Connecting ? static_cast<long>(kStateNotConnected) : static_cast<long>(phase);
}

void FtpComponent::setLogFile(const QString& sPath)
{
    m_sLogFile = sPath;
    FtpSession* session = m_pSession;
    // Queued: the worker may be busy, and it takes the file between calls.
    QMetaObject::invokeMethod(session, [session, sPath] { session->setLogFile(sPath); }, Qt::QueuedConnection);
}

void FtpComponent::setTransferType(long n) { m_nTransferType = n == 1 ? 1 : 0; }

void FtpComponent::setAbort(bool b)
{
    if (b && m_bRunning) m_abort = true;
}

QVariant FtpComponent::GetProperty(int nId) const
{
    switch (nId) {
    case kUserName: return m_sUserName;
    case kServerAddress: return m_sServer;
    case kPort: return m_nPort;
    case kCurrentFolder: return currentFolder();
    case kListingOption: return static_cast<qlonglong>(m_nListingOption);
    case kPassiveMode: return m_bPassive;
    case kLogFile: return m_sLogFile;
    case kState: return static_cast<qlonglong>(state());
    case kTransferType: return static_cast<qlonglong>(m_nTransferType);
    case kProxyType: return static_cast<qlonglong>(m_nProxyType);
    case kProxyAddress: return m_sProxyAddress;
    case kProxyPort: return m_nProxyPort;
    case kProxyUser: return m_sProxyUser;
    default: throw FtpError{kInvalidArgument, QStringLiteral("Property %1 cannot be read.").arg(nId)};
    }
}

void FtpComponent::PutProperty(int nId, const QVariant& value)
{
    switch (nId) {
    case kUserName: setUserName(value.toString()); break;
    case kPassword: setPassword(value.toString()); break;
    case kServerAddress: setServerAddress(value.toString()); break;
    case kPort: setPort(value.toInt()); break;
    case kListingOption: setListingOption(value.toLongLong()); break;
    case kPassiveMode: setPassiveMode(value.toBool()); break;
    case kLogFile: setLogFile(value.toString()); break;
    case kTransferType: setTransferType(value.toLongLong()); break;
    case kProxyType: setProxyType(value.toLongLong()); break;
    case kProxyAddress: setProxyAddress(value.toString()); break;
    case kProxyPort: setProxyPort(value.toInt()); break;
    case kProxyUser: setProxyUser(value.toString()); break;
    case kProxyPassword: setProxyPassword(value.toString()); break;
    case kAbort: setAbort(value.toBool()); break;
    default: throw FtpError{kInvalidArgument, QStringLiteral("Property %1 cannot be set.").arg(nId)};
    }
}

QVariant FtpComponent::Invoke(int nId, const QVariantList& args)
{
    auto arg = [&](int i) {
        if (i >= args.size())
            throw FtpError{kInvalidArgument, QStringLiteral("Call %1 needs at least %2 arguments.").arg(nId).arg(i + 1)};
        return args[i];
    };
    switch (nId) {
    case kChangeFolder: ChangeFolder(arg(0).toString()); return {};
    case kParentFolder: ParentFolder(); return {};
    case kConnect: Connect(); return {};
    case kDisconnect: Disconnect(); return {};
    case kCreateFolder: CreateFolder(arg(0).toString()); return {};
    case kDeleteFile: DeleteFile(arg(0).toString()); return {};
    case kRemoveFolder: RemoveFolder(arg(0).toString()); return {};
    case kFolderContents: {
        QVariantList rows;
        for (const ListingEntry& e : FolderContents(args.value(0).toString(), args.value(1).toLongLong()))
            rows.append(QVariantList{e.name, e.date, e.size});
        return rows;
    }
    case kListFolder: ListFolder(args.value(0).toString()); return {};
    case kReceiveFile: ReceiveFile(arg(0).toString(), arg(1).toLongLong(), arg(2).toString()); return {};
    case kReceiveFolder: ReceiveFolder(arg(0).toString(), arg(1).toString(), arg(2).toBool()); return {};
    case kRename: Rename(arg(0).toString(), arg(1).toString()); return {};
    case kSendCommand: SendCommand(arg(0).toString()); return {};
    case kSendFile: SendFile(arg(0).toString(), arg(1).toLongLong(), arg(2).toString(), arg(3).toBool()); return {};
    case kSendFolder: SendFolder(arg(0).toString(), arg(1).toString(), arg(2).toBool(), arg(3).toBool()); return {};
    case kReasonText: return ReasonText(arg(0).toLongLong());
    default: throw FtpError{kInvalidArgument, QStringLiteral("There is no call %1.").arg(nId)};
    }
}

// --- calls ----------------------------------------------------------------------

namespace {

void RequireName(const QString& sName, const char* sWhat)
{
    if (sName.trimmed().isEmpty())
        throw FtpError{kInvalidArgument, QStringLiteral("No %1 given.").arg(QLatin1String(sWhat))};
}

}  // namespace

void FtpComponent::Connect()
{
    Run([](FtpSession& s) { s.connectAndLogin(); });
}

void FtpComponent::Disconnect()
{
    if (m_bRunning) {  // from an event handler: stop the call first, then log out
        m_abort = true;
        m_bDisconnectAfterCall = true;
        return;
    }
    const bool bWasConnected = state() != kStateNotConnected;
    Run([](FtpSession& s) { s.disconnectFromServer(); }, true);
    m_sCurrentFolder.clear();
    // The owner hears of every disconnection, its own included.
    if (bWasConnected) Q_EMIT disconnected();
}

void FtpComponent::ChangeFolder(const QString& sFolder)
{
    RequireName(sFolder, "folder");
    RunConnected([&](FtpSession& s) { s.changeFolder(sFolder); });
}

void FtpComponent::ParentFolder()
{
    RunConnected([](FtpSession& s) { s.parentFolder(); });
}

void FtpComponent::CreateFolder(const QString& sName)
{
    RequireName(sName, "folder name");
    RunConnected([&](FtpSession& s) { s.makeFolder(sName); });
}

void FtpComponent::DeleteFile(const QString& sName)
{
    RequireName(sName, "file name");
    RunConnected([&](FtpSession& s) { s.deleteFile(sName); });
}

void FtpComponent::RemoveFolder(const QString& sName)
{
    RequireName(sName, "folder name");
    RunConnected([&](FtpSession& s) { s.removeFolder(sName); });
}

QList<ListingEntry> FtpComponent::FolderContents(const QString& sMask, long)
{
    QList<ListingEntry> entries;
    RunConnected([&](FtpSession& s) { entries = s.list(); });
    entries.removeIf([&](const ListingEntry& e) { return !NameRules::MatchesMask(e.name, sMask); });
    return entries;
}

void FtpComponent::ListFolder(const QString& sMask)
{
    // The entries come over in batches while the listing arrives, and each
    // batch's events are raised here while the call runs, the event loop
    // running in between: a window filling itself from a folder of 100 000
    // stays responsive. Only a few batches wait at a time, so a receiver
    // that is slower than the server holds up the listing instead of making
    // it pile up.
    constexpr qsizetype kEntriesPerBatch = 1000;
    constexpr int kBatchesWaiting = 4;
    QSemaphore room(kBatchesWaiting);
    RunConnected([&](FtpSession& s) {
        QList<ListingEntry> batch;
        const auto handOn = [&] {
            s.control()
                .wait(s.settings().nIdleTimeoutMs)
                .until([&] { return room.tryAcquire() ? Wait::Done : Wait::Idle; },
                       [&](int nSliceMs) {
                           if (room.tryAcquire(1, nSliceMs)) room.release();
                       },
                       [] {});  // a receiver that long in a handler: on regardless
            QMetaObject::invokeMethod(
                this,
                [this, &room, entries = std::exchange(batch, {})] {
                    for (const ListingEntry& entry : entries) Q_EMIT listingEntry(entry);
                    room.release();
                },
                Qt::QueuedConnection);
        };
        s.list([&](ListingEntry& entry) {
            if (!NameRules::MatchesMask(entry.name, sMask)) return;
            if (batch.isEmpty()) batch.reserve(kEntriesPerBatch);
            batch.append(std::move(entry));
            if (batch.size() >= kEntriesPerBatch) handOn();
        });
        if (!batch.isEmpty()) handOn();
    });
}

void FtpComponent::ReceiveFile(const QString& sRemote, qint64 nOffset, const QString& sLocal)
{
    RequireName(sRemote, "remote file name");
    RequireName(sLocal, "local file name");
    RunConnected([&](FtpSession& s) { s.receiveFile(sRemote, nOffset, sLocal); });
}

void FtpComponent::ReceiveFolder(const QString& sMask, const QString& sLocalFolder, bool bRecurse)
{
    RequireName(sMask, "remote folder");
    RequireName(sLocalFolder, "local folder");
    RunConnected([&](FtpSession& s) { FolderWalk(s).receive(sMask, sLocalFolder, bRecurse); });
}

void FtpComponent::Rename(const QString& sOld, const QString& sNew)
{
    RequireName(sOld, "name");
    RequireName(sNew, "new name");
    RunConnected([&](FtpSession& s) { s.rename(sOld, sNew); });
}

void FtpComponent::SendCommand(const QString& sCommand)
{
    RequireName(sCommand, "command");
    m_nLastReplyCode = 0;
    m_sLastReplyText.clear();
    RunConnected([&](FtpSession& s) {
        s.sendCommand(sCommand);
        const FtpReply reply = s.lastCommandReply();
        m_nLastReplyCode = reply.code;
        m_sLastReplyText = reply.lines.join(QLatin1Char('\n'));
    });
}

void FtpComponent::SendFile(const QString& sLocal, qint64 nOffset, const QString& sRemote, bool bResume)
{
    RequireName(sLocal, "local file name");
    RequireName(sRemote, "remote file name");
    RunConnected([&](FtpSession& s) { s.sendFile(sLocal, nOffset, sRemote, bResume); });
}

void FtpComponent::SendFolder(const QString& sLocalMask, const QString& sRemoteFolder, bool, bool bRecurse)
{
    RequireName(sLocalMask, "local folder");
    RequireName(sRemoteFolder, "remote folder name");
    RunConnected([&](FtpSession& s) { FolderWalk(s).send(sLocalMask, sRemoteFolder, bRecurse); });
}

QDateTime FtpComponent::ModificationTime(const QString& sName)
{
    RequireName(sName, "file name");
    QDateTime time;
    RunConnected([&](FtpSession& s) { time = s.modificationTime(sName); });
    return time;
}

QString FtpComponent::ReasonText(long nReason) const
{
    switch (nReason) {
    case kSkipUnsafeName: return QStringLiteral("the name cannot be used as a file name here");
    case kSkipSubfolder: return QStringLiteral("it is a subfolder, and subfolders were not asked for");
    case kSkipNoMatch: return QStringLiteral("the name does not match the mask");
    case kSkipLoop: return QStringLiteral("it leads back into a folder already being copied");
    case kSkipSpecial: return QStringLiteral("it is not a regular file or folder");
    case kSkipLocalError: return QStringLiteral("the local file or folder could not be created or read");
    case kSkipRefused: return QStringLiteral("the server refused it");
    case kSkipIdentical: return QStringLiteral("the same file is there already");
    case kSkipExisting: return QStringLiteral("a copy is there already and was kept");
    case kSkipEncoding: return QStringLiteral("the server's character set cannot carry the name");
    default: return QStringLiteral("unknown reason %1").arg(nReason);
    }
}
