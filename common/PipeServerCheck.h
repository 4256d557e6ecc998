#pragma once
// Whether the server end of the command pipe is the service itself. The clients write
// keys and passwords into that pipe, and while the service is stopped, still starting or gone,
// any local process can take the name. The same question the other way round: whether the
// writer of the notification pipe is the service, for the tray program acts on what it is told.
// Plain C++: OpenPipeClient and CPipeClientCheck gather the facts on Windows.
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

// What a server's check of its clients last learnt of the service.
struct ServiceProcessSeen {
    bool Read = false; // asked at least once
    ServiceProcessFacts Facts;
    uint64_t ReadAtMs = 0;
};

// A stranger who connects in a loop would otherwise cost the server one question to the
// service manager per connection: other process ids are refused on an answer this recent.
constexpr uint64_t kServiceFactsFreshMs = 100;

// Whether a connected client (`clientError` 0, `clientProcessId`) is judged on a fresh answer of
// the service manager (true) or refused on what was seen (false). The id of the service seen is
// always asked about again, since it may name another process once the service has ended; any
// other id only when the last answer is older than kServiceFactsFreshMs (the service may have
// started again since). A client whose id cannot be read is refused.
bool MustAskForTheService(uint32_t clientError, uint32_t clientProcessId, const ServiceProcessSeen& seen,
                          uint64_t nowMs);

} // namespace corvel
