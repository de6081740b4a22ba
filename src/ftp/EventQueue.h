#pragma once

#include <QObject>

#include <deque>
#include <functional>
#include <mutex>

// Events raised in worker threads, raised again in the owner's thread in
// the order they came. While the owner holds them (a call is running, and
// it takes them a few times a second) nothing wakes the owner's thread for
// each one: a folder transfer raises about ten an item.
class EventQueue {
public:
    explicit EventQueue(QObject& owner) : m_owner(owner) {}

    // Any thread. A prompt event is handed over at once even while held
    // (progress, whose handlers may stop the call).
    void push(std::function<void()> event, bool bPrompt = false);
    // The owner's thread: while held, events wait for deliver(); released,
    // each one is handed over as it comes.
    void hold(bool bHold);
    // The owner's thread: raises every event waiting, oldest first.
    void deliver();

private:
    QObject& m_owner;
    std::mutex m_mutex;
    std::deque<std::function<void()>> m_events;
    bool m_bHeld = false;
    bool m_bPosted = false;  // a deliver() is on its way to the owner's thread
};
