#pragma once
// Bounded I/O on a pipe handle opened with FILE_FLAG_OVERLAPPED. No client may hold a
// worker for long: every read, write and wait has a deadline, and an abort event (the
// workers' stop) ends any wait at once.
#include <windows.h>

#include <cstdint>

#include "Handles.h"

namespace corvel {

// The bound of one request's reads, of one write, and of the wait for the client to take
// its reply.
constexpr DWORD kPipeIoTimeoutMs = 5000;

// The bound in force (kPipeIoTimeoutMs unless a test shortened it).
DWORD PipeIoTimeoutMs();
void SetPipeIoTimeoutMs(DWORD milliseconds);

class CPipeIo {
public:
    // abortEvent may be null. The deadline starts with StartDeadline (or construction).
    CPipeIo(HANDLE pipe, HANDLE abortEvent, DWORD timeoutMs = PipeIoTimeoutMs());
    CPipeIo(const CPipeIo&) = delete;
    CPipeIo& operator=(const CPipeIo&) = delete;

    void StartDeadline();

    // Server side: waits for a client without a deadline (only the abort event ends it).
    DWORD Connect();
    // Reads until length bytes came: 0; or the error that stopped it (109 the client
    // closed, 258 the deadline passed, 995 aborted) with got telling how many came.
    DWORD ReadExact(uint8_t* buffer, DWORD length, DWORD& got);
    // One read of up to capacity bytes.
    DWORD ReadSome(uint8_t* buffer, DWORD capacity, DWORD& got);
    // Writes all bytes: 0, or the error (a short write gives 24).
    DWORD WriteAll(const uint8_t* buffer, DWORD length);
    // The bounded flush: returns once the client has closed its end (so it has read what
    // was written: a byte pipe keeps written data until it is read) or the deadline passed.
    // Whatever else the client sends meanwhile is discarded.
    DWORD WaitForClientClose();

    // What is left of the deadline, in milliseconds (0 once it has passed).
    DWORD RemainingMs() const;

private:
    // Waits for the operation that ov started; on the deadline or the abort it cancels the
    // operation and waits for its end, so ov and the buffer are free when it returns.
    DWORD Complete(OVERLAPPED& ov, DWORD& transferred, bool bounded);

    HANDLE m_pipe;
    HANDLE m_abort;
    DWORD m_timeoutMs;
    ULONGLONG m_deadline = 0;
    UniqueEvent m_event;
};

} // namespace corvel
