#include "ftp/Wait.h"

#include <utility>

Wait::Wait(int nTimeoutMs, std::function<void()> checkAbort, bool bFixed)
    : m_nTimeoutMs(nTimeoutMs), m_checkAbort(std::move(checkAbort)), m_bFixed(bFixed), m_deadline(nTimeoutMs)
{
}

void Wait::until(const std::function<Step()>& step, const std::function<void(int)>& block,
                 const std::function<void()>& timedOut)
{
    for (;;) {
        const Step done = step();
        if (done == Done) return;
        if (done == Moved && !m_bFixed) m_deadline.setRemainingTime(m_nTimeoutMs);
        if (m_checkAbort) m_checkAbort();
        if (done == Moved) continue;
        if (m_deadline.hasExpired()) {
            timedOut();
            return;
        }
        block(kSliceMs);
    }
}
