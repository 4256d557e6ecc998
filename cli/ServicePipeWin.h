#pragma once
// The console client's connections of the command pipe on Windows: the shared client
// open with the console policy, and CServicePipe over the one bounded pipe I/O class.
#include "PipeNames.h"
#include "ServiceRequests.h"

#include "Handles.h"

#include <windows.h>

#include <cstdint>
#include <memory>

namespace corvel::cli {

// Bound of the write and, separately, of the one read of a request. The service answers before
// any slow work (a connect is answered before the dial), so only a service that stopped
// answering reaches it: 1460.
inline constexpr DWORD kRequestTimeoutMs = 10000;

class CWin32ServicePipe final : public CServicePipe {
public:
    explicit CWin32ServicePipe(UniqueFile pipe, DWORD timeoutMs = kRequestTimeoutMs)
        : m_pipe(std::move(pipe)), m_timeoutMs(timeoutMs) {}

    // One write of the whole frame, then at most one read: the service keeps the connection
    // open after its reply until the client closes, so a second read would only wait.
    uint32_t TransactRequest(const RequestFrame& request, size_t replyCapacity,
                             std::vector<uint8_t>& reply) override;

private:
    UniqueFile m_pipe;
    DWORD m_timeoutMs;
};

// 33 attempts, waiting while the pipe is busy or missing (ConsolePipePolicy). 0 with `pipe`
// set, or the error of the last attempt; 5 at once, nothing written, when the server is not
// CORVELSVC's process.
uint32_t OpenConsoleServicePipe(std::unique_ptr<CServicePipe>& pipe);

// OpenMutexW(MUTEX_ALL_ACCESS) of the tray program's mutex, closed at once: 0 when it opened,
// else the error (2 when it does not exist, 5 when another user's program holds it).
uint32_t OpenTrayProgramMutex();

} // namespace corvel::cli
