#pragma once

#include <QDeadlineTimer>

#include <functional>

// The one shape of every wait of the engine. The work is done in steps that
// never block; after a step that found nothing to do the wait blocks for one
// short slice at most. So an abort is seen within a slice, and no wait
// outlasts its time.
class Wait {
public:
    static constexpr int kSliceMs = 50;

    enum Step {
        Done,   // the wait is over
        Moved,  // something arrived or went out: the time starts again (unless fixed)
        Idle,   // nothing to do yet
    };

    // checkAbort throws to stop the wait; empty, nothing stops it. A fixed
    // wait has one deadline for all its until() calls, progress or not.
    Wait(int nTimeoutMs, std::function<void()> checkAbort, bool bFixed = false);

    // Runs step until it says Done. After every other step the abort check
    // runs; after an idle one, timedOut runs once the time is up (it throws,
    // or returns to end the wait quietly), else block waits up to kSliceMs.
    void until(const std::function<Step()>& step, const std::function<void(int nSliceMs)>& block,
               const std::function<void()>& timedOut);

    bool expired() const { return m_deadline.hasExpired(); }

private:
    const int m_nTimeoutMs;
    const std::function<void()> m_checkAbort;
    const bool m_bFixed;
    QDeadlineTimer m_deadline;
};
