#pragma once
// A message-only window on the test's thread that records what the pipes deliver to it, and
// pumps the thread's messages while a test waits.
#include "PipeMessages.h"
#include "WindowTestSupport.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <vector>

namespace corvel {
namespace pipetest {

struct RecordedMessage {
    UINT Message = 0;
    WPARAM WParam = 0;
    LPARAM LParam = 0;
    std::vector<uint8_t> Frame; // WM_PIPE_REPLY: the 4 + wParam bytes, copied during the call
};

class CTestWindow {
public:
    CTestWindow() {
        WNDCLASSW wc{};
        wc.lpfnWndProc = &CTestWindow::Proc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = L"CorvelPipeTestWindow";
        ::RegisterClassW(&wc); // a second registration fails harmlessly
        m_hwnd = ::CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                   wc.hInstance, this);
    }
    ~CTestWindow() {
        if (m_hwnd)
            ::DestroyWindow(m_hwnd);
    }
    CTestWindow(const CTestWindow&) = delete;
    CTestWindow& operator=(const CTestWindow&) = delete;

    HWND Hwnd() const { return m_hwnd; }
    const std::vector<RecordedMessage>& Messages() const { return m_messages; }
    // Runs inside WM_PIPE_REPLY, while the pipe thread waits (as the main frame's handler does).
    std::function<void(const RecordedMessage&)> OnReply;

    // Pumps until `count` messages are recorded; false when `timeoutMs` passed first.
    bool WaitForMessages(size_t count, DWORD timeoutMs) {
        return wintest::PumpUntil([&] { return m_messages.size() >= count; }, timeoutMs);
    }
    // Pumps until `handle` is signalled; false when `timeoutMs` passed first.
    bool WaitForHandle(HANDLE handle, DWORD timeoutMs) {
        return wintest::PumpUntilSignalled(handle, timeoutMs);
    }

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_NCCREATE)
            ::SetWindowLongPtrW(
                hwnd, GWLP_USERDATA,
                reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
        auto* self = reinterpret_cast<CTestWindow*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
        switch (message) {
        case WM_PIPE_REPLY:
        case WM_VPN_STATE0:
        case WM_VPN_STATE1:
        case WM_VPN_STATE2:
        case WM_VPN_ERROR:
            if (self) {
                RecordedMessage m{message, wParam, lParam, {}};
                if (message == WM_PIPE_REPLY && lParam != 0) {
                    const auto* frame = reinterpret_cast<const uint8_t*>(lParam);
                    m.Frame.assign(frame, frame + 4 + wParam);
                }
                self->m_messages.push_back(m);
                if (message == WM_PIPE_REPLY && self->OnReply)
                    self->OnReply(self->m_messages.back());
            }
            return 0;
        default:
            return ::DefWindowProcW(hwnd, message, wParam, lParam);
        }
    }

    HWND m_hwnd = nullptr;
    std::vector<RecordedMessage> m_messages;
};

} // namespace pipetest
} // namespace corvel
