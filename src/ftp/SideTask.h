#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

// Runs one job at a time on a thread of its own, beside the caller's work:
// for local work that some file systems make slow (creating a file), done
// while the caller waits for the server. The thread starts with the first
// job and ends with the object.
class SideTask {
public:
    SideTask() = default;
    SideTask(const SideTask&) = delete;
    SideTask& operator=(const SideTask&) = delete;
    ~SideTask();

    // Starts job; the one before must have been waited for. The job must not throw.
    void start(std::function<void()> job);
    // Returns once the job started last has ended (at once when none runs).
    void wait();

private:
    void run();

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::function<void()> m_job;  // set while a job waits or runs
    bool m_bStopping = false;
    std::thread m_thread;
};
