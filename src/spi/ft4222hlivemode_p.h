#pragma once

#include <atomic>
#include <mutex>

// Whether live data flows. The caller's thread starts, stops and sets it; the reader thread
// switches it on at a live packet while a start is pending. A transition reads one flag and
// sets another, so they share one mutex; the current state is an atomic as well, for those
// that only look at it. Each transition returns the change to report, if any.
class FT4222HLiveMode
{
public:
    enum Change { NoChange, BecameOff, BecameOn };

    bool isActive() const { return m_current.load(std::memory_order_acquire); }
    Change set(bool active)
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return setLocked(active);
    }
    // Live off, start pending.
    Change start()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_startPending = true;
        return setLocked(false);
    }
    // Pending and live go off together: a live packet in flight cannot switch live back on.
    Change stop()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_startPending = false;
        return setLocked(false);
    }
    Change livePacket()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_startPending ? setLocked(true) : NoChange;
    }

private:
    Change setLocked(bool active)
    {
        m_current.store(active, std::memory_order_release);
        if (m_previous == active)
            return NoChange;
        m_previous = active;
        return active ? BecameOn : BecameOff;
    }

    std::mutex m_lock;
    std::atomic<bool> m_current { false };
    bool m_previous = false; // the state last reported
    bool m_startPending = false;
};
