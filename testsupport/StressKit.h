#pragma once
// What the stress tests and the storm benchmark share: the service's process as seen from
// outside (handles, private bytes, liveness), a connect-and-drop storm, and a status load
// with latency figures. Everything is bounded in count and time.
#include "E2eHarness.h"

#include <windows.h>

#include <cstdint>
#include <string>

namespace corvel::stress {

// The process of an installed service (QueryServiceStatusEx's dwProcessId), opened for
// queries, memory reads, termination and waiting.
class CServiceProcess {
public:
    DWORD Open(e2e::CServiceControl& service);
    HANDLE Get() const { return m_process.get(); }
    DWORD Pid() const { return m_pid; }
    bool Running() const;

    // GetProcessHandleCount; where that answers 0 (Wine), the system handle table.
    // `how` names the source used.
    DWORD HandleCount(DWORD& count, std::string* how = nullptr) const;
    // PROCESS_MEMORY_COUNTERS_EX.PrivateUsage; where that answers 0 (Wine), the committed
    // private regions found with VirtualQueryEx.
    DWORD PrivateBytes(uint64_t& bytes, std::string* how = nullptr) const;

private:
    UniqueHandle<> m_process;
    DWORD m_pid = 0;
};

struct StormFigures {
    uint32_t Cycles = 0;
    uint32_t OpenFailures = 0; // the pipe could not be opened within the bound
    double Seconds = 0;
};

// `cycles` connections to the command pipe from `threads` threads, in turn:
// connect and close, one byte and close, a head that announces DATA and close.
StormFigures RunStorm(uint32_t cycles, uint32_t threads);

struct LoadFigures {
    uint32_t Requests = 0;
    uint32_t Failed = 0;
    double Seconds = 0;
    double P50Ms = 0;
    double P99Ms = 0;
    double MaxMs = 0;
    double PerSecond() const { return Seconds > 0 ? Requests / Seconds : 0; }
};

// `requests` CMD_VPN_STATUS requests from `clients` threads, one connection each, timed.
LoadFigures RunStatusLoad(uint32_t requests, uint32_t clients);

// One CMD_VPN_STATUS: 0 when the 20 states came back with result 0; `ms` its duration.
DWORD TimedStatus(const e2e::CCommandClient& client, double& ms);

} // namespace corvel::stress
