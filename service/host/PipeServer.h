#pragma once
// The body of the service: 7 instances of the command pipe, each served by a worker that
// handles one request and ends, replaced by the main loop as it ends, until the stop
// event. It knows nothing of the service control manager, so tests run it in-process.
#include <windows.h>

#include "Handles.h"
#include "PipeNames.h"

namespace corvel {

constexpr DWORD MAX_PIPE_INSTANCES = 7;
constexpr DWORD PIPE_DEFAULT_TIMEOUT = 1000;

// One of the 7 instances: its pipe and the worker that serves it, replaced after each request,
// and the I/O event the workers of the slot use, created once with the slot.
struct PipeSlot {
    UniqueFile Pipe;
    UniqueHandle<> Thread;
    UniqueEvent Event;
    HANDLE WorkerStop = nullptr;
};

class CPipeServer {
public:
    // security must stay valid while Run runs; stopEvent is set by whoever stops the loop.
    CPipeServer(const wchar_t* pipeName, SECURITY_ATTRIBUTES* security, HANDLE stopEvent);
    CPipeServer(const CPipeServer&) = delete;
    CPipeServer& operator=(const CPipeServer&) = delete;

    // The main loop: 0 after a stop, or the error that ended it (the active connection is
    // ended first then). Returns only when every worker has ended.
    DWORD Run();

    // Bound of the retries when an instance cannot be created again (tests shorten it).
    DWORD m_recreateAttempts = 20;
    DWORD m_recreatePauseMs = 250;

private:
    DWORD CreatePipeInstance(PipeSlot& slot, bool first);
    DWORD RecreatePipeInstance(PipeSlot& slot);
    void WaitForWorkerEnd();

    const wchar_t* m_pipeName;
    SECURITY_ATTRIBUTES* m_security;
    HANDLE m_stopEvent;
    // Set when the loop ends: wakes every worker, in ConnectNamedPipe or in the middle of a
    // request. Workers only wait on it.
    UniqueEvent m_workerStop;
    PipeSlot m_slots[MAX_PIPE_INSTANCES];
};

// The worker's thread routine (param: its PipeSlot, which the main loop leaves alone until the
// thread has ended).
unsigned __stdcall PipeWorkerThread(void* param);

} // namespace corvel
