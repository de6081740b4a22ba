#include "ftp/EventQueue.h"

void EventQueue::push(std::function<void()> event, bool bPrompt)
{
    const std::lock_guard lock(m_mutex);
    m_events.push_back(std::move(event));
    if ((m_bHeld && !bPrompt) || m_bPosted) return;
    m_bPosted = true;
    QMetaObject::invokeMethod(&m_owner, [this] { deliver(); }, Qt::QueuedConnection);
}

void EventQueue::hold(bool bHold)
{
    const std::lock_guard lock(m_mutex);
    m_bHeld = bHold;
}

void EventQueue::deliver()
{
    // One at a time: a handler that runs an event loop of its own delivers
    // the rest from there, still in order.
    for (;;) {
        std::function<void()> event;
        {
            const std::lock_guard lock(m_mutex);
            if (m_events.empty()) {
                m_bPosted = false;
                return;
            }
            event = std::move(m_events.front());
            m_events.pop_front();
        }
        event();
    }
}
