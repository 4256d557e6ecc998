#pragma once
// A synchronous client of the command pipe on the calling thread, for the liveness
// probe at start-up and in the wait dialog.
#include "PipeClient.h"

#include <windows.h>

#include <cstdint>

namespace corvel {

class CPipeService {
public:
    // Each Write, and each Read with both its reads, is bounded by `timeoutMs`.
    explicit CPipeService(DWORD timeoutMs = kProbeTimeoutMs) : m_timeoutMs(timeoutMs) {}
    virtual ~CPipeService() { Close(); }
    CPipeService(const CPipeService&) = delete;
    CPipeService& operator=(const CPipeService&) = delete;

    // 1 when the pipe is open (also when it was already), 0 on failure.
    int Open();
    // 0, or the error of the write (ERROR_INVALID_HANDLE while not open).
    DWORD Write(const uint8_t* buffer, DWORD size);
    // 0 with the whole reply in `buffer`; 1 when the reply is larger than `capacity` (nothing
    // more is read); or the error of the read (ERROR_TIMEOUT for a silent service).
    DWORD Read(uint8_t* buffer, DWORD capacity);
    // 1 when closed or not open; 0 when CloseHandle fails (the handle stays set).
    int Close();

private:
    UniqueFile m_pipe;
    const DWORD m_timeoutMs;
};

// The liveness probe: CMD_LOAD_CONFIG of PROBE_ITEM, a reply of at most PROBE_REPLY_CAPACITY
// bytes, whatever its content. true when the service answered within the bound.
bool ProbeService(DWORD timeoutMs = kProbeTimeoutMs);

} // namespace corvel
