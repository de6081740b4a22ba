#pragma once

#include <QSet>
#include <QString>

#include <functional>

class FtpSession;
class TransferPool;
struct FileJob;

// A folder transfer: the walk through the remote folders (receive) or the
// local ones (send), which creates the folders, skips what cannot or need
// not go (reported with the item-skipped event) and hands every file to a
// TransferPool; and the transfer of one such file, with the decision about
// a copy that exists at its destination.
//
// Names a server lists become local paths through NameRules::LocalPath
// only: nothing is ever written outside the chosen folder.
class FolderWalk {
public:
    explicit FolderWalk(FtpSession& session);

    // sMask is "folder/*" (or "folder\*", or "folder/*.txt").
    void receive(const QString& sMask, const QString& sLocalFolder, bool bRecurse);
    // sLocalMask is "<local folder>/*" (or with "\" or a pattern); the remote
    // folder is created inside the current folder when missing.
    void send(const QString& sLocalMask, const QString& sRemoteFolder, bool bRecurse);
    // One file of a folder transfer, from or into its folder (changed to
    // when it is not the current one). A file the server refuses or that
    // cannot be written or read here is reported as skipped.
    void transferJob(const FileJob& job);

private:
    // Runs walk, then goes back to the folder that was current before it.
    void returningToStart(const std::function<void()>& walk);
    void receiveTree(const QString& sRemoteFolder, const QString& sLocalFolder, int nDepth, TransferPool& pool);
    void sendTree(const QString& sLocalFolder, int nDepth, TransferPool& pool, bool bRemoteExisted);
    // What to do with a file whose copy exists: false when it is skipped
    // (reported); else nOffset is where it starts.
    bool decideExisting(const FileJob& job, qint64& nOffset);
    void skipped(const FileJob& job, long nReason, const QString& sDetail = QString());

    FtpSession& m_session;
    QString m_sPattern;
    bool m_bRecurse = false;
    QSet<QString> m_visited;
};
