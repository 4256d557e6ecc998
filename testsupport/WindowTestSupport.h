#pragma once
// What the GUI tests share to drive windows on their own thread: pumping the framework's loop,
// steps that run from inside whatever loop runs (a modal dialog's included), keys, and a
// watchdog that ends a modal dialog that never closes. Header-only: link
// corvel_window_test_support. Pair it with the dialog hook (CDialogRecorder, Dialog.h) to see
// each dialog as it opens, without a subclass per dialog.
#include "App.h"
#include "Dialog.h"
#include "MessageLoop.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <functional>
#include <map>
#include <utility>
#include <vector>

namespace corvel {
namespace wintest {

// A window test program starts as our programs do, with the common control classes, before
// its first test opens a window.
class CCommonControlsEnvironment : public ::testing::Environment {
public:
    void SetUp() override { InitCommonControlClasses(); }
};
inline ::testing::Environment* const kCommonControlsEnvironment =
    ::testing::AddGlobalTestEnvironment(new CCommonControlsEnvironment);

inline constexpr DWORD kPumpTimeoutMs = 15000;
inline constexpr DWORD kWatchdogMs = 20000;
// The EndDialog code of a dialog that the watchdog ended.
inline constexpr int kWatchdogResult = -2;

// Pumps through the framework's loop until everything posted before the call has been handled.
inline void PumpPosted() {
    constexpr UINT kSentinel = WM_APP + 77;
    ::PostThreadMessageW(::GetCurrentThreadId(), kSentinel, 0, 0);
    MSG msg{};
    do {
        ASSERT_TRUE(AfxPumpMessage(msg, nullptr));
    } while (!(msg.hwnd == nullptr && msg.message == kSentinel));
}

namespace detail {

// The loop until `done` holds or `handle` (when given) is signalled; false on the time-out.
inline bool Pump(const std::function<bool()>& done, DWORD timeoutMs, HANDLE handle) {
    const ULONGLONG end = ::GetTickCount64() + timeoutMs;
    for (;;) {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (!AfxPreTranslateMessage(&msg)) {
                ::TranslateMessage(&msg);
                ::DispatchMessageW(&msg);
            }
        }
        if (done())
            return true;
        const ULONGLONG now = ::GetTickCount64();
        if (now >= end)
            return false;
        // Woken by the next message; the bound covers changes of other threads that post nothing.
        const DWORD wait = static_cast<DWORD>(std::min<ULONGLONG>(end - now, 20));
        if (handle && ::MsgWaitForMultipleObjects(1, &handle, FALSE, wait, QS_ALLINPUT) == WAIT_OBJECT_0)
            return true; // an auto-reset object's signal is taken by this wait
        if (!handle)
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, wait, QS_ALLINPUT);
    }
}

} // namespace detail

// Runs the loop until `done` holds; false when `timeoutMs` passed first.
inline bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = kPumpTimeoutMs) {
    return detail::Pump(done, timeoutMs, nullptr);
}

// Runs the loop until `handle` is signalled; false when `timeoutMs` passed first.
inline bool PumpUntilSignalled(HANDLE handle, DWORD timeoutMs = kPumpTimeoutMs) {
    return detail::Pump([handle] { return ::WaitForSingleObject(handle, 0) == WAIT_OBJECT_0; }, timeoutMs,
                        handle);
}

// Pumps for `ms`: for what a handler might still post when the test expects nothing more.
inline void PumpFor(DWORD ms) {
    PumpUntil([] { return false; }, ms);
}

// WM_KEYDOWN to the control of `window` that has the focus, else to `window` itself; the loop
// offers it to the dialog's IsDialogMessage either way.
inline void PostKey(HWND window, WPARAM key) {
    const HWND focus = ::GetFocus();
    ::PostMessageW(focus && ::IsChild(window, focus) ? focus : window, WM_KEYDOWN, key, 1);
}

// This thread's top-level dialogs of ours made from template `templateId`, in no set order.
inline std::vector<HWND> OpenDialogs(UINT templateId) {
    struct Search {
        UINT TemplateId;
        std::vector<HWND> Found;
    } search{templateId, {}};
    ::EnumThreadWindows(
        ::GetCurrentThreadId(),
        [](HWND hwnd, LPARAM lParam) {
            auto* s = reinterpret_cast<Search*>(lParam);
            const CDialog* dialog = CDialog::FromDialogHandle(hwnd);
            if (dialog && dialog->GetTemplateId() == s->TemplateId)
                s->Found.push_back(hwnd);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.Found;
}

namespace detail {

// A message-only window of the test's thread that runs posted steps and timed actions from
// whichever loop dispatches (a modal loop included). Made once and kept for the process.
class CStepWindow {
public:
    static CStepWindow& Get() {
        static CStepWindow* window = new CStepWindow;
        return *window;
    }

    void Post(std::function<void()> action, int hops) {
        const UINT_PTR id = m_next++;
        m_steps.emplace(id, Step{hops, std::move(action)});
        ::PostMessageW(m_hwnd, kStepMessage, 0, static_cast<LPARAM>(id));
    }

    UINT_PTR StartTimer(DWORD ms, std::function<void()> action) {
        const UINT_PTR id = m_next++;
        m_timers.emplace(id, std::move(action));
        ::SetTimer(m_hwnd, id, ms, nullptr);
        return id;
    }
    void StopTimer(UINT_PTR id) {
        ::KillTimer(m_hwnd, id);
        m_timers.erase(id);
    }

private:
    static constexpr UINT kStepMessage = WM_APP + 200;
    struct Step {
        int Hops;
        std::function<void()> Action;
    };

    CStepWindow() {
        WNDCLASSW wc{};
        wc.lpfnWndProc = &CStepWindow::Proc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"CorvelTestSteps";
        ::RegisterClassW(&wc);
        m_hwnd = ::CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                   wc.hInstance, nullptr);
    }

    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        switch (message) {
        case kStepMessage:
            Get().RunStep(static_cast<UINT_PTR>(lParam));
            return 0;
        case WM_TIMER:
            Get().RunTimer(wParam);
            return 0;
        default:
            return ::DefWindowProcW(hwnd, message, wParam, lParam);
        }
    }

    void RunStep(UINT_PTR id) {
        const auto found = m_steps.find(id);
        if (found == m_steps.end())
            return;
        if (found->second.Hops-- > 0) {
            ::PostMessageW(m_hwnd, kStepMessage, 0, static_cast<LPARAM>(id));
            return;
        }
        const std::function<void()> action = std::move(found->second.Action);
        m_steps.erase(found);
        action();
    }

    void RunTimer(UINT_PTR id) {
        const auto found = m_timers.find(id);
        if (found == m_timers.end())
            return;
        const std::function<void()> action = found->second; // the action may stop its timer
        action();
    }

    HWND m_hwnd = nullptr;
    UINT_PTR m_next = 1;
    std::map<UINT_PTR, Step> m_steps;
    std::map<UINT_PTR, std::function<void()>> m_timers;
};

} // namespace detail

// Runs `action` on this thread from whichever loop runs next (a modal dialog's included), after
// the step has gone `hops` more times to the back of the queue: each hop lets whatever the
// messages before it posted in turn (a WM_CHAR, a posted command) be handled first.
inline void PostStep(std::function<void()> action, int hops = 0) {
    detail::CStepWindow::Get().Post(std::move(action), hops);
}

// While it lives: once `ms` have passed, every modal dialog of ours on this thread still running
// is ended with kWatchdogResult (innermost loops end first), so a test that would hang fails.
class CModalWatchdog {
public:
    explicit CModalWatchdog(DWORD ms = kWatchdogMs) {
        m_timer = detail::CStepWindow::Get().StartTimer(ms, [this] { Fire(); });
    }
    ~CModalWatchdog() { detail::CStepWindow::Get().StopTimer(m_timer); }
    CModalWatchdog(const CModalWatchdog&) = delete;
    CModalWatchdog& operator=(const CModalWatchdog&) = delete;

    bool Fired() const { return m_fired; }

private:
    void Fire() {
        detail::CStepWindow::Get().StopTimer(m_timer);
        m_fired = true;
        ::EnumThreadWindows(
            ::GetCurrentThreadId(),
            [](HWND hwnd, LPARAM) {
                CDialog* dialog = CDialog::FromDialogHandle(hwnd);
                if (dialog && dialog->IsModal())
                    dialog->EndDialog(kWatchdogResult);
                return TRUE;
            },
            0);
    }

    UINT_PTR m_timer = 0;
    bool m_fired = false;
};

// A visible top-level window of another process (a program the test started) that holds a
// control with `controlId`.
inline HWND FindDialogWith(DWORD processId, int controlId) {
    struct Search {
        DWORD ProcessId;
        int ControlId;
        HWND Found = nullptr;
    } search{processId, controlId};
    ::EnumWindows(
        [](HWND hwnd, LPARAM lParam) {
            auto* s = reinterpret_cast<Search*>(lParam);
            DWORD owner = 0;
            ::GetWindowThreadProcessId(hwnd, &owner);
            if (owner == s->ProcessId && ::IsWindowVisible(hwnd) && ::GetDlgItem(hwnd, s->ControlId)) {
                s->Found = hwnd;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.Found;
}

// Polls every 50 ms until `found` gives a window: another process's windows offer nothing to
// wait on. nullptr once `timeoutMs` has passed.
inline HWND WaitForWindow(const std::function<HWND()>& found, DWORD timeoutMs) {
    const ULONGLONG end = ::GetTickCount64() + timeoutMs;
    for (;;) {
        if (const HWND hwnd = found())
            return hwnd;
        if (::GetTickCount64() >= end)
            return nullptr;
        ::Sleep(50);
    }
}

} // namespace wintest
} // namespace corvel
