#include "ftp/FolderWalk.h"

#include "ftp/ExistingFiles.h"
#include "ftp/FtpSession.h"
#include "ftp/NameRules.h"
#include "ftp/TransferPool.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>

#include <mutex>

using namespace FtpErrorNumber;
using namespace FtpState;

namespace {

constexpr int kMaxDepth = 64;  // folder recursion

// One question at a time, from whichever connection asks.
std::mutex g_questionMutex;

void TransferOne(FtpSession& session, const FileJob& job) { FolderWalk(session).transferJob(job); }

}  // namespace

FolderWalk::FolderWalk(FtpSession& session) : m_session(session) {}

void FolderWalk::receive(const QString& sMask, const QString& sLocalFolder, bool bRecurse)
{
    QString folder;
    NameRules::SplitMask(sMask, folder, m_sPattern);
    m_bRecurse = bRecurse;
    if (sLocalFolder.isEmpty()) throw FtpError{kInvalidArgument, QStringLiteral("No local folder given.")};
    returningToStart([&] {
        TransferPool pool(m_session, m_session.settings().nConnections, TransferOne);
        receiveTree(folder, sLocalFolder, 0, pool);
        pool.finish();
    });
}

void FolderWalk::returningToStart(const std::function<void()>& walk)
{
    const QString start = m_session.currentFolder();
    try {
        walk();
    } catch (const FtpError& e) {
        if (e.number != kConnectionLost && m_session.connected() && !start.isEmpty()) m_session.tryChangeFolder(start);
        throw;
    }
    if (!start.isEmpty() && m_session.currentFolder() != start) m_session.changeFolder(start);
}

void FolderWalk::receiveTree(const QString& sRemoteFolder, const QString& sLocalFolder, int nDepth, TransferPool& pool)
{
    if (!sRemoteFolder.isEmpty()) m_session.changeFolder(sRemoteFolder);
    const QString here = m_session.currentFolder();
    m_visited.insert(here);
    if (!QFileInfo(sLocalFolder).isDir() && !QDir().mkpath(sLocalFolder))
        throw FtpError{kLocalFile, QStringLiteral("Cannot create the folder %1.").arg(sLocalFolder)};

    const QList<ListingEntry> entries = m_session.list();
    QSet<QString> localNames;
    for (const ListingEntry& entry : entries) {
        m_session.control().checkAbort();
        const QString remoteName = here.endsWith(QLatin1Char('/')) ? here + entry.name : here + QLatin1Char('/') + entry.name;
        const auto skip = [&](long nReason) { Q_EMIT m_session.itemSkipped(remoteName, QString(), nReason, QString()); };
        const std::optional<QString> localPath = NameRules::LocalPath(sLocalFolder, entry.name);
        // Two names that read the same here never become one file.
        if (!localPath || localNames.contains(*localPath)) {
            skip(kSkipUnsafeName);
            continue;
        }
        const QString& local = *localPath;
        localNames.insert(local);
        if (entry.bSpecial) {
            skip(kSkipSpecial);
            continue;
        }
        bool bFolder = entry.kind == ListingEntry::Folder;
        if (entry.kind == ListingEntry::Link && m_bRecurse) {
            // A link is followed as a folder when the server lets us in.
            if (m_session.tryChangeFolder(entry.name)) {
                const bool bSeen = m_visited.contains(m_session.currentFolder());
                m_session.changeFolder(here);
                if (bSeen || nDepth + 1 >= kMaxDepth) {
                    skip(kSkipLoop);
                    continue;
                }
                bFolder = true;
            }
        }
        if (!bFolder) {
            if (NameRules::MatchesMask(entry.name, m_sPattern)) pool.schedule(FileJob{here, entry.name, local, remoteName, false, entry, true});
            else skip(kSkipNoMatch);
            continue;
        }
        if (!m_bRecurse) skip(kSkipSubfolder);
        else if (nDepth + 1 >= kMaxDepth) skip(kSkipLoop);
        else if (!QFileInfo(local).isDir() && !QDir().mkdir(local)) skip(kSkipLocalError);
        else if (!m_session.tryChangeFolder(entry.name)) skip(kSkipRefused);
        else {
            receiveTree(QString(), local, nDepth + 1, pool);
            m_session.changeFolder(here);
        }
    }
}

void FolderWalk::send(const QString& sLocalMask, const QString& sRemoteFolder, bool bRecurse)
{
    QString folder;
    NameRules::SplitMask(sLocalMask, folder, m_sPattern);
    m_bRecurse = bRecurse;
    if (!QFileInfo(folder).isDir()) throw FtpError{kLocalFile, QStringLiteral("%1 is not a folder.").arg(folder)};
    if (sRemoteFolder.isEmpty()) throw FtpError{kInvalidArgument, QStringLiteral("No remote folder name given.")};
    returningToStart([&] {
        const bool bExisted = m_session.tryChangeFolder(sRemoteFolder);
        if (!bExisted) {
            m_session.makeFolder(sRemoteFolder);
            m_session.changeFolder(sRemoteFolder);
        }
        TransferPool pool(m_session, m_session.settings().nConnections, TransferOne);
        sendTree(folder, 0, pool, bExisted);
        pool.finish();
    });
}

void FolderWalk::sendTree(const QString& sLocalFolder, int nDepth, TransferPool& pool, bool bRemoteExisted)
{
    ControlChannel& control = m_session.control();
    m_visited.insert(QFileInfo(sLocalFolder).canonicalFilePath());
    const QString here = m_session.currentFolder();
    // What the server has here already, for the decision about existing
    // files; a folder made just now holds nothing.
    QHash<QString, ListingEntry> remote;
    if (bRemoteExisted && m_session.settings().existingFiles != ExistingFiles::Policy::Overwrite)
        for (const ListingEntry& entry : m_session.list()) remote.insert(entry.name, entry);
    const QFileInfoList entries =
        QDir(sLocalFolder).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name);
    for (const QFileInfo& info : entries) {
        control.checkAbort();
        const QString local = info.filePath();
        const QString name = info.fileName();
        const auto skip = [&](long nReason) { Q_EMIT m_session.itemSkipped(QString(), local, nReason, QString()); };
        if (!control.encodable(name)) {
            skip(kSkipEncoding);
        } else if (info.isDir()) {
            if (!m_bRecurse) {
                skip(kSkipSubfolder);
                continue;
            }
            if (m_visited.contains(info.canonicalFilePath()) || nDepth + 1 >= kMaxDepth) {
                skip(kSkipLoop);
                continue;
            }
            const bool bExisted = m_session.tryChangeFolder(name);
            if (!bExisted && (!control.named(QStringLiteral("MKD"), name).positive() || !m_session.tryChangeFolder(name))) {
                skip(kSkipRefused);
                continue;
            }
            sendTree(local, nDepth + 1, pool, bExisted);
            m_session.changeFolder(here);
        } else if (!info.isFile()) {  // a pipe or device would block or never end
            skip(kSkipSpecial);
        } else if (!NameRules::MatchesMask(name, m_sPattern)) {
            skip(kSkipNoMatch);
        } else {
            const auto listed = remote.constFind(name);
            const bool bListed = listed != remote.cend();
            pool.schedule(FileJob{here, name, local, local, true, bListed ? *listed : ListingEntry(), bListed});
        }
    }
}

void FolderWalk::skipped(const FileJob& job, long nReason, const QString& sDetail)
{
    if (job.bUpload) Q_EMIT m_session.itemSkipped(QString(), job.sReportName, nReason, sDetail);
    else Q_EMIT m_session.itemSkipped(job.sReportName, QString(), nReason, sDetail);
}

bool FolderWalk::decideExisting(const FileJob& job, qint64& nOffset)
{
    using namespace ExistingFiles;
    const QFileInfo info(job.sLocal);
    const Facts local{info.exists(), info.exists() ? info.size() : -1, info.lastModified(), 1};
    // Where the listing gives the time coarser than MDTM does, the exact
    // time decides between the same file and another.
    const Facts remote = WithExactTime({job.bListed, job.listed.kind == ListingEntry::File ? job.listed.size : -1,
                                        job.listed.date, job.listed.nDatePrecision},
                                       local, [&] { return m_session.files().modificationTime(job.sName, &job.listed); });
    const Facts& source = job.bUpload ? local : remote;
    const Facts& destination = job.bUpload ? remote : local;
    Action action = Decide(m_session.settings().existingFiles, source, destination);
    if (action == Action::Ask) {
        const ExistingFileQuestion question{job.sReportName, job.bUpload, source, destination, Resumable(source, destination)};
        int nAnswer = kCancel;
        {
            const std::lock_guard lock(g_questionMutex);
            m_session.control().checkAbort();
            Q_EMIT m_session.existingFileQuery(question, &nAnswer);
        }
        m_session.control().checkAbort();
        action = Answered(nAnswer, question.bResumeAllowed);
        if (action == Action::Cancel) action = Action::Skip;  // the walk goes on with the next file
    }
    if (action == Action::SkipIdentical || action == Action::Skip) {
        skipped(job, action == Action::SkipIdentical ? kSkipIdentical : kSkipExisting);
        return false;
    }
    nOffset = action == Action::Resume ? destination.nSize : 0;
    return true;
}

void FolderWalk::transferJob(const FileJob& job)
{
    if (!job.sRemoteFolder.isEmpty() && m_session.currentFolder() != job.sRemoteFolder) m_session.changeFolder(job.sRemoteFolder);
    try {
        qint64 nOffset = 0;
        if (!decideExisting(job, nOffset)) return;
        if (job.bUpload) m_session.files().send(job.sLocal, nOffset, job.sName, nOffset > 0);
        else m_session.files().receive(job.sName, nOffset, job.sLocal, &job.listed);
    } catch (const FtpError& e) {
        const long nReason = e.number == kRefused        ? kSkipRefused
                             : e.number == kLocalFile    ? kSkipLocalError
                             : e.number == kNameEncoding ? kSkipEncoding
                                                         : 0;
        if (!nReason) throw;
        m_session.control().log(e.description);  // why, in the log too
        skipped(job, nReason, e.description);
    }
}
