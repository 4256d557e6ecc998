#pragma once
// A notification sink for tests: keeps every frame and lets a test wait for the ones it expects.
#include "EngineServices.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

namespace corvel {

class CCapturingSink : public CNotificationSink {
public:
    using Frame = std::vector<uint8_t>;

    // Result: what Send answers (0, or an error to make the engine's sending fail).
    std::atomic<DWORD> Result{0};
    // When set, runs before the frame is kept, as a busy pipe would hold the sender; what it
    // returns other than 0 is Send's answer, and the frame is not kept.
    std::function<DWORD(const NotifyBound&)> Busy;

    DWORD Send(const uint8_t* frame, DWORD length, const NotifyBound& bound) override {
        std::function<DWORD(const NotifyBound&)> busy;
        {
            std::lock_guard<std::mutex> hold(m_lock);
            busy = Busy;
            m_bounds.push_back(bound);
        }
        if (busy) {
            if (const DWORD held = busy(bound))
                return held;
        }
        {
            std::lock_guard<std::mutex> hold(m_lock);
            m_frames.emplace_back(frame, frame + length);
        }
        m_changed.notify_all();
        return Result;
    }

    // The bound of every Send, also of the frames not kept.
    std::vector<NotifyBound> Bounds() const {
        std::lock_guard<std::mutex> hold(m_lock);
        return m_bounds;
    }

    std::vector<Frame> Frames() const {
        std::lock_guard<std::mutex> hold(m_lock);
        return m_frames;
    }
    void Clear() {
        std::lock_guard<std::mutex> hold(m_lock);
        m_frames.clear();
    }
    // True as soon as `done` holds for the frames so far; false after the time-out.
    bool WaitFor(const std::function<bool(const std::vector<Frame>&)>& done, DWORD timeoutMs = 10000) {
        std::unique_lock<std::mutex> hold(m_lock);
        return m_changed.wait_for(hold, std::chrono::milliseconds(timeoutMs), [&] { return done(m_frames); });
    }
    bool WaitForFrame(const Frame& frame, DWORD timeoutMs = 10000) {
        return WaitFor(
            [&](const std::vector<Frame>& frames) {
                for (const auto& f : frames)
                    if (f == frame)
                        return true;
                return false;
            },
            timeoutMs);
    }

    static Frame VpnNotify(uint8_t index, uint8_t status) { return {0x41, 0, 0, 3, index, status, 0}; }
    static Frame RasErrMsg(uint32_t code) {
        return {0x44, 0, 0, 4, uint8_t(code >> 24), uint8_t(code >> 16), uint8_t(code >> 8), uint8_t(code)};
    }

private:
    mutable std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<Frame> m_frames;
    std::vector<NotifyBound> m_bounds;
};

} // namespace corvel
