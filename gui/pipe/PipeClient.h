#pragma once
// The client end of "\\.\pipe\corvelservice" shared by CPipeThread and CPipeService: opening
// with the busy rule, and reads and writes that a service which never answers cannot hold.
#include "Handles.h"

#include <windows.h>

#include <cstdint>

namespace corvel {

constexpr const wchar_t* kServicePipeName = L"\\\\.\\pipe\\corvelservice";
// Bound of one ordinary request from its write to the last reply byte.
constexpr DWORD kPipeRequestTimeoutMs = 10000;
// Bound of each probe operation: a service that accepts and never answers counts as silent.
constexpr DWORD kProbeTimeoutMs = 2000;

// A point in time that a sequence of operations shares.
class CDeadline {
public:
    explicit CDeadline(DWORD timeoutMs) : m_end(::GetTickCount64() + timeoutMs) {}
    DWORD Remaining() const {
        const ULONGLONG now = ::GetTickCount64();
        return now >= m_end ? 0 : static_cast<DWORD>(m_end - now);
    }

private:
    ULONGLONG m_end;
};

// Two attempts at most; on ERROR_PIPE_BUSY the first waits with WaitNamedPipeW(name, 0), the
// server's default time-out. 0 with `pipe` open for overlapped I/O; else the error (a second busy
// attempt gives ERROR_PIPE_BUSY, a failed wait its own error).
DWORD OpenServicePipe(UniqueFile& pipe);

// Overlapped reads and writes on one open pipe, each bounded by a deadline. When the deadline
// passes the operation is cancelled and waited for, so no buffer is left in the kernel's hands.
class CBoundedPipeIo {
public:
    explicit CBoundedPipeIo(HANDLE pipe);
    CBoundedPipeIo(const CBoundedPipeIo&) = delete;
    CBoundedPipeIo& operator=(const CBoundedPipeIo&) = delete;

    // The whole buffer, normally in one WriteFile. 0, ERROR_TIMEOUT or the error.
    DWORD WriteAll(const uint8_t* data, DWORD size, const CDeadline& deadline);
    // Exactly `size` bytes: a short read is completed by further reads. The server closing
    // first is its error (ERROR_BROKEN_PIPE), a read of 0 bytes ERROR_HANDLE_EOF; or ERROR_TIMEOUT.
    DWORD ReadExact(uint8_t* data, DWORD size, const CDeadline& deadline);

private:
    DWORD Transfer(bool write, uint8_t* data, DWORD size, DWORD& done, const CDeadline& deadline);

    HANDLE m_pipe;
    UniqueEvent m_event;
};

} // namespace corvel
