#include "ftp/TransferPool.h"

#include "ftp/FtpSession.h"

#include <QThread>

#include <chrono>

using namespace FtpErrorNumber;
using namespace std::chrono_literals;

namespace {

constexpr auto kPollInterval = 20ms;  // how often a waiting owner looks at the abort flag

}  // namespace

TransferPool::TransferPool(FtpSession& owner, int nConnections, Transfer transfer)
    : m_owner(owner), m_nConnections(nConnections), m_transfer(std::move(transfer))
{
}

TransferPool::~TransferPool() { stopHelpers(); }

void TransferPool::schedule(const FileJob& job)
{
    if (m_nConnections <= 1) {
        m_transfer(m_owner, job);
        return;
    }
    if (m_helpers.empty()) startHelpers();
    {
        const std::lock_guard lock(m_mutex);
        m_queue.push_back(job);
    }
    m_wake.notify_one();
}

void TransferPool::finish()
{
    if (m_helpers.empty()) return;
    {
        const std::lock_guard lock(m_mutex);
        m_bWalkDone = true;
    }
    m_wake.notify_all();
    while (true) {
        std::optional<FileJob> job;
        {
            std::unique_lock lock(m_mutex);
            if (!m_queue.empty()) {
                job = std::move(m_queue.front());
                m_queue.pop_front();
            } else if (m_nRunning == 0) {
                break;
            } else {
                // Nothing left to hand out: a connection still logging in
                // would only arrive to an empty queue.
                for (const auto& helper : m_helpers)
                    if (!helper->bLoggedIn) helper->abort = true;
                m_wake.wait_for(lock, kPollInterval);
            }
        }
        if (m_owner.control().aborted()) stopHelpers();
        m_owner.control().checkAbort();
        if (job) m_transfer(m_owner, *job);
    }
    stopHelpers();
}

void TransferPool::startHelpers()
{
    for (int n = 2; n <= m_nConnections; ++n) {
        auto helper = std::make_unique<Helper>();
        helper->nNumber = n;
        Helper* pHelper = helper.get();
        helper->pThread = QThread::create([this, pHelper] { runHelper(*pHelper); });
        helper->pThread->setObjectName(QStringLiteral("FtpTransfer%1").arg(n));
        m_helpers.push_back(std::move(helper));
    }
    {
        const std::lock_guard lock(m_mutex);
        m_nRunning = static_cast<int>(m_helpers.size());
    }
    for (const auto& helper : m_helpers) helper->pThread->start();
}

void TransferPool::runHelper(Helper& helper)
{
    const QString sPrefix = QStringLiteral("[%1] ").arg(helper.nNumber);
    {
        FtpSession session(helper.abort, helper.phase);
        session.apply(m_owner.settingsForExtraConnection());
        // Everything the extra connection reports goes out through the
        // owning session, so the component hears it as one stream; its log
        // lines carry the connection's number.
        QObject::connect(&session, &FtpSession::logText, [this, sPrefix](const QString& sText, long) {
            m_owner.control().log(sPrefix + sText);
        });
        QObject::connect(&session, &FtpSession::progress, &m_owner, &FtpSession::progress, Qt::DirectConnection);
        QObject::connect(&session, &FtpSession::receiving, &m_owner, &FtpSession::receiving, Qt::DirectConnection);
        QObject::connect(&session, &FtpSession::sending, &m_owner, &FtpSession::sending, Qt::DirectConnection);
        QObject::connect(&session, &FtpSession::itemSkipped, &m_owner, &FtpSession::itemSkipped, Qt::DirectConnection);
        QObject::connect(&session, &FtpSession::existingFileQuery, &m_owner, &FtpSession::existingFileQuery,
                         Qt::DirectConnection);

        try {
            session.beginOperation();
            session.connectAndLogin();
            helper.bLoggedIn = true;
            while (std::optional<FileJob> job = takeForHelper(helper)) {
                try {
                    m_transfer(session, *job);
                } catch (const FtpError& e) {
                    // The file goes back for another connection; this one
                    // is not trusted with more.
                    {
                        const std::lock_guard lock(m_mutex);
                        m_queue.push_front(*job);
                    }
                    if (e.number != kAborted)
                        m_owner.control().log(sPrefix + QStringLiteral("This connection stops; its file is sent again: ") + e.description);
                    break;
                }
            }
        } catch (const FtpError& e) {
            if (e.number != kAborted)
                m_owner.control().log(sPrefix + QStringLiteral("No extra connection: ") + e.description);
        }
        session.endOperation();
        if (!helper.abort) {
            try {
                session.disconnectFromServer();
            } catch (const FtpError&) {
            }
        }
    }
    {
        const std::lock_guard lock(m_mutex);
        --m_nRunning;
    }
    m_wake.notify_all();
}

std::optional<FileJob> TransferPool::takeForHelper(Helper& helper)
{
    std::unique_lock lock(m_mutex);
    while (!helper.abort) {
        if (!m_queue.empty()) {
            FileJob job = std::move(m_queue.front());
            m_queue.pop_front();
            return job;
        }
        if (m_bWalkDone) break;
        m_wake.wait_for(lock, kPollInterval);
    }
    return std::nullopt;
}

void TransferPool::stopHelpers()
{
    for (const auto& helper : m_helpers) {
        // After a normal finish every helper has ended; otherwise (an error
        // or an abort) the running files stop at their next slice.
        if (!helper->pThread) continue;
        if (helper->pThread->isRunning()) helper->abort = true;
        helper->pThread->wait();
        delete helper->pThread;
        helper->pThread = nullptr;
    }
}
