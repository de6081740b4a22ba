#pragma once

#include "ftp/FtpState.h"
#include "ftp/ListingEntry.h"

#include <QString>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

class FtpSession;
class QThread;

// One file of a folder transfer: where it is on the server, where it is
// here, and the name the item-skipped event reports for it.
struct FileJob {
    QString sRemoteFolder;  // absolute, as the server's PWD gave it
    QString sName;          // inside sRemoteFolder
    QString sLocal;         // the local file's path
    QString sReportName;    // the remote path for a download, the local path for an upload
    bool bUpload = false;
    ListingEntry listed;    // the remote file's entry in its folder's listing
    bool bListed = false;   // the server lists the remote file (downloads: always)
};

// The files of one folder transfer, spread over extra connections.
//
// The owning session walks the tree (listing, creating folders, deciding
// what to skip) and hands each file to schedule(); transfer moves one file
// on the session it is given. With one connection the file is transferred
// there and then, in walk order. With more, extra
// sessions log in with the same settings, each in its own thread, and take
// files from a queue while the walk goes on; finish() lets the owning
// session take files too and waits until every file is done.
//
// An extra connection that the server refuses (421 or 530 "too many
// connections", or no greeting at all) is simply not used, and one that
// fails during a file gives the file back to the queue and stops: the
// transfer goes on with fewer connections and never fails for it. The
// owning session's own errors end the transfer; they stop every extra
// connection before they reach the caller, as an abort does.
class TransferPool {
public:
    using Transfer = std::function<void(FtpSession& session, const FileJob& job)>;

    TransferPool(FtpSession& owner, int nConnections, Transfer transfer);
    ~TransferPool();
    TransferPool(const TransferPool&) = delete;
    TransferPool& operator=(const TransferPool&) = delete;

    void schedule(const FileJob& job);
    void finish();

private:
    struct Helper {
        int nNumber = 0;
        std::atomic<bool> abort{false};
        std::atomic<FtpState::Phase> phase{FtpState::Phase::NotConnected};
        std::atomic<bool> bLoggedIn{false};
        QThread* pThread = nullptr;
    };

    void startHelpers();
    void runHelper(Helper& helper);
    std::optional<FileJob> takeForHelper(Helper& helper);
    void stopHelpers();

    FtpSession& m_owner;
    const int m_nConnections;
    const Transfer m_transfer;
    std::vector<std::unique_ptr<Helper>> m_helpers;

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<FileJob> m_queue;
    bool m_bWalkDone = false;
    int m_nRunning = 0;  // helper threads that have not ended
};
