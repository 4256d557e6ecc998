// A worker thread with a message queue (in place of the framework's CWinThread).
#pragma once

#include "Handles.h"

#include <windows.h>

#include <memory>
#include <mutex>

namespace corvel {

// Shared by a thread and the owners posting to it: posts are refused once the thread has
// taken WM_QUIT, so no payload can be left in a queue that nobody drains.
struct ThreadGate {
    std::mutex Lock; // guards `Open` against a post racing the thread's end
    bool Open = true;
    DWORD ThreadId = 0;
};

// The owner's side of a running thread: its id for posting, and a handle of its own (duplicated,
// so it stays valid after the thread object has deleted itself) for the bounded wait.
class CThreadOwner {
public:
    CThreadOwner() = default;
    explicit operator bool() const { return static_cast<bool>(m_handle); }
    DWORD ThreadId() const { return m_gate ? m_gate->ThreadId : 0; }
    HANDLE Handle() const { return m_handle.get(); }

    // FALSE when the thread takes no more messages: the caller still owns (and frees) the payload.
    BOOL Post(UINT message, WPARAM wParam, LPARAM lParam) const;
    // Posts WM_QUIT and waits up to `timeoutMs` for the thread to end: 0, WAIT_TIMEOUT, or the error.
    // The handle is released either way.
    DWORD Quit(DWORD timeoutMs);

private:
    friend class CWinThread;
    std::shared_ptr<ThreadGate> m_gate;
    UniqueHandle<> m_handle;
};

class CWinThread {
public:
    CWinThread() = default;
    virtual ~CWinThread() = default;
    CWinThread(const CWinThread&) = delete;
    CWinThread& operator=(const CWinThread&) = delete;

    // Starts the thread and returns once its queue exists and InitInstance has returned, so the owner
    // may post at once. 0 on success (`owner` set), else the error (InitInstance FALSE: 1359). With
    // m_bAutoDelete the object deletes itself when the thread ends, also when starting fails.
    DWORD CreateThread(CThreadOwner& owner);

    // On the thread, before its loop. FALSE ends the thread at once.
    virtual BOOL InitInstance();
    // One thread message (hwnd NULL); the class's switch. Messages for windows are dispatched.
    virtual void OnThreadMessage(const MSG& msg);
    // A thread message still queued behind WM_QUIT: free its payload (no reply is sent).
    virtual void FreeQueuedMessage(const MSG& msg);
    // After the loop; the thread's exit code.
    virtual int ExitInstance();

    BOOL m_bAutoDelete = TRUE;
    DWORD m_nThreadID = 0;

private:
    static unsigned __stdcall ThreadMain(void* self);
    int Run();

    struct StartState {
        HANDLE Ready;
        BOOL InitOk;
    };
    std::shared_ptr<ThreadGate> m_gate;
    StartState* m_start = nullptr; // the creator's, until the thread signals `Ready`
    int m_quitCode = 0;
};

// Creates a T with the arguments and starts it: AfxBeginThread<CPipeThread>(owner).
// Returns 0 or the error; the thread object belongs to itself (m_bAutoDelete).
template <class T, class... Args> DWORD AfxBeginThread(CThreadOwner& owner, Args&&... args) {
    T* thread = new T(static_cast<Args&&>(args)...);
    return thread->CreateThread(owner);
}

} // namespace corvel
