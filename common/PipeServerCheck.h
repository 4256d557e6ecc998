#pragma once
// Whether the server end of "\\.\pipe\corvelservice" is the service itself. The clients write
// keys and passwords into that pipe, and while the service is stopped, still starting or gone,
// any local process can take the name. Plain C++: OpenPipeClient gathers the facts on Windows.
#include <cstdint>

namespace corvel {

constexpr uint32_t kServiceStateRunning = 4; // SERVICE_RUNNING
constexpr uint32_t kPipeServerRefused = 5;   // ERROR_ACCESS_DENIED

// What the service manager tells of CORVELSVC.
struct ServiceProcessFacts {
    uint32_t Error = 0;     // 0, or why its status could not be read (1060: not installed)
    uint32_t State = 0;     // dwCurrentState
    uint32_t ProcessId = 0; // dwProcessId: 0 while no process runs it
};

// 0 when the pipe's server process (`serverError` 0, `serverProcessId`) is the process the
// service manager runs for the running service; else kPipeServerRefused.
uint32_t JudgePipeServer(uint32_t serverError, uint32_t serverProcessId, const ServiceProcessFacts& service);

} // namespace corvel
