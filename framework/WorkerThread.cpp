#include "WorkerThread.h"

#include <process.h>

namespace corvel {

BOOL CThreadOwner::Post(UINT message, WPARAM wParam, LPARAM lParam) const {
    if (!m_gate)
        return FALSE;
    std::lock_guard<std::mutex> guard(m_gate->Lock);
    if (!m_gate->Open)
        return FALSE;
    return ::PostThreadMessageW(m_gate->ThreadId, message, wParam, lParam);
}

DWORD CThreadOwner::Quit(DWORD timeoutMs) {
    if (!m_handle)
        return 0;
    Post(WM_QUIT, 0, 0);
    const DWORD wait = ::WaitForSingleObject(m_handle.get(), timeoutMs);
    const DWORD result = wait == WAIT_OBJECT_0 ? 0 : wait == WAIT_TIMEOUT ? WAIT_TIMEOUT : LastErrorOr1359();
    m_handle.reset();
    m_gate.reset();
    return result;
}

DWORD CWinThread::CreateThread(CThreadOwner& owner) {
    const bool autoDelete = m_bAutoDelete != FALSE;
    UniqueEvent ready(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!ready) {
        const DWORD error = LastErrorOr1359();
        if (autoDelete)
            delete this;
        return error;
    }
    std::shared_ptr<ThreadGate> gate = std::make_shared<ThreadGate>();
    m_gate = gate;
    StartState start{ready.get(), FALSE};
    m_start = &start;
    unsigned id = 0;
    UniqueHandle<> thread(
        reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &CWinThread::ThreadMain, this, 0, &id)));
    if (!thread) {
        const DWORD error = LastErrorOr1359();
        if (autoDelete)
            delete this;
        return error;
    }
    // Once `Ready` is set the thread may end and delete this object at any time: only locals below.
    ::WaitForSingleObject(ready.get(), INFINITE);
    if (!start.InitOk) {
        ::WaitForSingleObject(thread.get(), INFINITE);
        return ERROR_INTERNAL_ERROR;
    }
    owner.m_gate = std::move(gate);
    owner.m_handle = std::move(thread);
    return 0;
}

unsigned __stdcall CWinThread::ThreadMain(void* self) {
    auto* thread = static_cast<CWinThread*>(self);
    MSG msg;
    // Our queue exists before anyone learns our id.
    ::PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    thread->m_nThreadID = ::GetCurrentThreadId();
    thread->m_gate->ThreadId = thread->m_nThreadID;
    StartState* start = thread->m_start;
    thread->m_start = nullptr;
    start->InitOk = thread->InitInstance();
    if (!start->InitOk) {
        {
            std::lock_guard<std::mutex> guard(thread->m_gate->Lock);
            thread->m_gate->Open = false;
        }
        const int code = thread->ExitInstance();
        if (thread->m_bAutoDelete)
            delete thread;
        ::SetEvent(start->Ready);
        return static_cast<unsigned>(code);
    }
    ::SetEvent(start->Ready); // `start` lives on the creator's stack: not touched again
    const int code = thread->Run();
    if (thread->m_bAutoDelete)
        delete thread;
    return static_cast<unsigned>(code);
}

int CWinThread::Run() {
    MSG msg;
    for (;;) {
        const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0 || got == -1) {
            m_quitCode = got == 0 ? static_cast<int>(msg.wParam) : -1;
            break;
        }
        if (msg.hwnd) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        } else {
            OnThreadMessage(msg);
        }
    }
    {
        std::lock_guard<std::mutex> guard(m_gate->Lock);
        m_gate->Open = false;
    }
    // Nothing can be posted through the gate any more: what is queued now is all there is.
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (!msg.hwnd && msg.message != WM_QUIT)
            FreeQueuedMessage(msg);
    }
    return ExitInstance();
}

BOOL CWinThread::InitInstance() {
    return TRUE;
}
void CWinThread::OnThreadMessage(const MSG&) {}
void CWinThread::FreeQueuedMessage(const MSG&) {}
int CWinThread::ExitInstance() {
    return m_quitCode;
}

} // namespace corvel
