#pragma once
// A clock for tests: every pause returns at once and only moves virtual time on, so the 41 s
// give-up and the 5 s pause after a hang-up take no time. A hook may hold a pause back.
#include "EngineServices.h"

#include <functional>
#include <mutex>
#include <vector>

namespace corvel {

class CVirtualClock : public CEngineClock {
public:
    void Pause(DWORD milliseconds) override {
        std::function<void(DWORD)> hook;
        {
            std::lock_guard<std::mutex> hold(m_lock);
            m_now += milliseconds;
            m_pauses.push_back(milliseconds);
            hook = m_hook;
        }
        if (hook)
            hook(milliseconds); // on the pausing thread, after the time has moved
    }

    ULONGLONG Now() const {
        std::lock_guard<std::mutex> hold(m_lock);
        return m_now;
    }
    std::vector<DWORD> Pauses() const {
        std::lock_guard<std::mutex> hold(m_lock);
        return m_pauses;
    }
    size_t CountPauses(DWORD milliseconds) const {
        std::lock_guard<std::mutex> hold(m_lock);
        size_t n = 0;
        for (DWORD p : m_pauses)
            n += p == milliseconds ? 1 : 0;
        return n;
    }
    void SetPauseHook(std::function<void(DWORD)> hook) {
        std::lock_guard<std::mutex> hold(m_lock);
        m_hook = std::move(hook);
    }

private:
    mutable std::mutex m_lock;
    ULONGLONG m_now = 0;
    std::vector<DWORD> m_pauses;
    std::function<void(DWORD)> m_hook;
};

} // namespace corvel
