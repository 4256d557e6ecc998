#pragma once
// The body of the service: 7 instances of the command pipe, each served by a worker that
// handles one request and ends, replaced by the main loop as it ends, until the stop
// event. It knows nothing of the service control manager, so tests run it in-process.
#include <windows.h>

#include "Handles.h"

namespace corvel {

constexpr DWORD MAX_PIPE_INSTANCES = 7;
constexpr DWORD PIPE_DEFAULT_TIMEOUT = 1000;
constexpr const wchar_t* kCommandPipeName = L"\\\\.\\pipe\\corvelservice";

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
    DWORD RecreateAttempts = 20;
    DWORD RecreatePauseMs = 250;

private:
    struct Slot {
        UniqueFile Pipe;
        UniqueHandle<> Thread;
    };

    DWORD CreatePipeInstance(Slot& slot, bool first);
    DWORD RecreatePipeInstance(Slot& slot);
    void WaitForWorkerEnd();

    const wchar_t* m_pipeName;
    SECURITY_ATTRIBUTES* m_security;
    HANDLE m_stopEvent;
    // Set when the loop ends: wakes every worker, in ConnectNamedPipe or in the middle of a
    // request. Workers only wait on it.
    UniqueEvent m_workerStop;
    Slot m_slots[MAX_PIPE_INSTANCES];
};

// The worker's thread routine (param: its start block).
unsigned __stdcall PipeWorkerThread(void* param);

} // namespace corvel
