#include "PipeIo.h"

#include <atomic>

namespace corvel {

namespace {
std::atomic<DWORD> g_timeoutMs{kPipeIoTimeoutMs};
}

DWORD PipeIoTimeoutMs() {
    return g_timeoutMs;
}
void SetPipeIoTimeoutMs(DWORD milliseconds) {
    g_timeoutMs = milliseconds;
}

CPipeIo::CPipeIo(HANDLE pipe, HANDLE abortEvent, DWORD timeoutMs)
    : m_pipe(pipe), m_abort(abortEvent), m_timeoutMs(timeoutMs),
      m_event(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    StartDeadline();
}

void CPipeIo::StartDeadline() {
    m_deadline = ::GetTickCount64() + m_timeoutMs;
}

DWORD CPipeIo::RemainingMs() const {
    const ULONGLONG now = ::GetTickCount64();
    return now >= m_deadline ? 0 : DWORD(m_deadline - now);
}

DWORD CPipeIo::Complete(OVERLAPPED& ov, DWORD& transferred, bool bounded) {
    HANDLE waits[2] = {ov.hEvent, m_abort};
    const DWORD count = m_abort ? 2 : 1;
    const DWORD w = ::WaitForMultipleObjects(count, waits, FALSE, bounded ? RemainingMs() : INFINITE);
    DWORD result = 0;
    if (w != WAIT_OBJECT_0) {
        result = w == WAIT_TIMEOUT        ? DWORD(WAIT_TIMEOUT)
                 : w == WAIT_OBJECT_0 + 1 ? DWORD(ERROR_OPERATION_ABORTED)
                                          : LastErrorOr1359();
        ::CancelIoEx(m_pipe, &ov);
    }
    // Also after a cancel: the operation must have ended before ov goes out of scope.
    if (::GetOverlappedResult(m_pipe, &ov, &transferred, TRUE))
        return 0; // it completed before the cancel took hold
    const DWORD e = LastErrorOr1359();
    return result != 0 ? result : e;
}

DWORD CPipeIo::Connect() {
    if (!m_event)
        return ERROR_OUTOFMEMORY;
    OVERLAPPED ov = {};
    ov.hEvent = m_event.get();
    ::ResetEvent(ov.hEvent);
    if (::ConnectNamedPipe(m_pipe, &ov))
        return 0;
    const DWORD e = ::GetLastError();
    if (e == ERROR_PIPE_CONNECTED)
        return 0;
    if (e != ERROR_IO_PENDING)
        return e != 0 ? e : ERROR_INTERNAL_ERROR;
    DWORD n = 0;
    return Complete(ov, n, false);
}

DWORD CPipeIo::ReadSome(uint8_t* buffer, DWORD capacity, DWORD& got) {
    got = 0;
    if (!m_event)
        return ERROR_OUTOFMEMORY;
    OVERLAPPED ov = {};
    ov.hEvent = m_event.get();
    ::ResetEvent(ov.hEvent);
    if (::ReadFile(m_pipe, buffer, capacity, nullptr, &ov))
        return ::GetOverlappedResult(m_pipe, &ov, &got, TRUE) ? 0 : LastErrorOr1359();
    const DWORD e = ::GetLastError();
    if (e != ERROR_IO_PENDING)
        return e != 0 ? e : ERROR_INTERNAL_ERROR;
    return Complete(ov, got, true);
}

DWORD CPipeIo::ReadExact(uint8_t* buffer, DWORD length, DWORD& got) {
    got = 0;
    while (got < length) {
        DWORD n = 0;
        const DWORD e = ReadSome(buffer + got, length - got, n);
        got += n;
        if (e != 0 && e != ERROR_MORE_DATA)
            return e;
        if (e == 0 && n == 0)
            return ERROR_HANDLE_EOF;
    }
    return 0;
}

DWORD CPipeIo::WriteAll(const uint8_t* buffer, DWORD length) {
    if (!m_event)
        return ERROR_OUTOFMEMORY;
    OVERLAPPED ov = {};
    ov.hEvent = m_event.get();
    ::ResetEvent(ov.hEvent);
    DWORD written = 0;
    DWORD result = 0;
    if (::WriteFile(m_pipe, buffer, length, nullptr, &ov)) {
        result = ::GetOverlappedResult(m_pipe, &ov, &written, TRUE) ? 0 : LastErrorOr1359();
    } else {
        const DWORD e = ::GetLastError();
        result = e != ERROR_IO_PENDING ? (e != 0 ? e : ERROR_INTERNAL_ERROR) : Complete(ov, written, true);
    }
    if (result == 0 && written != length)
        result = ERROR_BAD_LENGTH;
    return result;
}

DWORD CPipeIo::WaitForClientClose() {
    uint8_t sink[64];
    for (;;) {
        DWORD n = 0;
        const DWORD e = ReadSome(sink, sizeof sink, n);
        if (e == ERROR_BROKEN_PIPE || e == ERROR_PIPE_NOT_CONNECTED || e == ERROR_HANDLE_EOF)
            return 0;
        if (e != 0 && e != ERROR_MORE_DATA)
            return e;
        if (RemainingMs() == 0)
            return WAIT_TIMEOUT; // a client that keeps writing empty messages
    }
}

} // namespace corvel
