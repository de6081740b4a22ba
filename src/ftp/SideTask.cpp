#include "ftp/SideTask.h"

SideTask::~SideTask()
{
    {
        const std::lock_guard lock(m_mutex);
        m_bStopping = true;
    }
    m_changed.notify_all();
    if (m_thread.joinable()) m_thread.join();
}

void SideTask::start(std::function<void()> job)
{
    {
        const std::lock_guard lock(m_mutex);
        m_job = std::move(job);
    }
    if (!m_thread.joinable()) m_thread = std::thread([this] { run(); });
    m_changed.notify_all();
}

void SideTask::wait()
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return !m_job; });
}

void SideTask::run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_bStopping || m_job; });
        if (!m_job) return;  // stopping, nothing left to do
        const std::function<void()> job = m_job;
        lock.unlock();
        job();
        lock.lock();
        m_job = nullptr;
        m_changed.notify_all();
    }
}
