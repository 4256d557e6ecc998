#include "PipeIo.h"

namespace corvel {

CPipeIo::CPipeIo(HANDLE pipe, DWORD timeoutMs, HANDLE abortEvent, HANDLE event)
    : m_pipe(pipe), m_abort(abortEvent), m_event(event) {
    if (!m_event) {
        m_ownEvent.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        m_event = m_ownEvent.get();
        if (!m_event)
            m_eventError = LastErrorOr1359();
    }
    RestartDeadline(timeoutMs);
}

CPipeIo::~CPipeIo() {
    if (m_connecting) {
        ::CancelIoEx(m_pipe, &m_connect);
        DWORD ignored = 0;
        ::GetOverlappedResult(m_pipe, &m_connect, &ignored, TRUE);
    }
}

void CPipeIo::RestartDeadline(DWORD timeoutMs) {
    m_bounded = timeoutMs != kPipeIoNoDeadline;
    m_deadline = m_bounded ? ::GetTickCount64() + timeoutMs : 0;
    m_paused = false;
}

void CPipeIo::PauseDeadline() {
    if (m_paused || !m_bounded)
        return;
    m_leftWhenPaused = RemainingMs();
    m_paused = true;
}

void CPipeIo::ResumeDeadline() {
    if (m_paused)
        RestartDeadline(m_leftWhenPaused);
}

DWORD CPipeIo::RemainingMs() const {
    if (!m_bounded)
        return INFINITE;
    if (m_paused)
        return m_leftWhenPaused;
    const ULONGLONG now = ::GetTickCount64();
    return now >= m_deadline ? 0 : DWORD(m_deadline - now);
}

// ReadFile, WriteFile and ConnectNamedPipe reset the event when they start, so it is never
// reset here. `started` is the call's result: TRUE, or FALSE with its last error unread.
DWORD CPipeIo::Complete(OVERLAPPED& ov, DWORD started, DWORD& transferred, bool bounded) {
    transferred = 0;
    if (!started) {
        const DWORD e = ::GetLastError();
        if (e != ERROR_IO_PENDING && e != ERROR_MORE_DATA)
            return e != 0 ? e : ERROR_INTERNAL_ERROR;
        if (e == ERROR_IO_PENDING) {
            const HANDLE waits[2] = {m_event, m_abort};
            const DWORD w =
                ::WaitForMultipleObjects(m_abort ? 2 : 1, waits, FALSE, bounded ? RemainingMs() : INFINITE);
            if (w != WAIT_OBJECT_0) {
                const DWORD reason = w == WAIT_TIMEOUT        ? DWORD(ERROR_TIMEOUT)
                                     : w == WAIT_OBJECT_0 + 1 ? DWORD(ERROR_OPERATION_ABORTED)
                                                              : LastErrorOr1359();
                ::CancelIoEx(m_pipe, &ov);
                // The operation must have ended before ov and its buffer go out of scope; one
                // that completed before the cancel took hold counts.
                if (::GetOverlappedResult(m_pipe, &ov, &transferred, TRUE))
                    return 0;
                return ::GetLastError() == ERROR_MORE_DATA ? DWORD(ERROR_MORE_DATA) : reason;
            }
        }
    }
    if (::GetOverlappedResult(m_pipe, &ov, &transferred, TRUE))
        return 0;
    return LastErrorOr1359();
}

DWORD CPipeIo::Connect() {
    if (m_eventError != 0)
        return m_eventError;
    OVERLAPPED ov = {};
    ov.hEvent = m_event;
    const BOOL started = ::ConnectNamedPipe(m_pipe, &ov);
    if (!started && ::GetLastError() == ERROR_PIPE_CONNECTED)
        return 0;
    DWORD ignored = 0;
    const DWORD result = Complete(ov, started, ignored, false);
    return result == ERROR_PIPE_CONNECTED ? 0 : result;
}

DWORD CPipeIo::BeginConnect() {
    if (m_eventError != 0)
        return m_eventError;
    m_connect = {};
    m_connect.hEvent = m_event;
    // The event may still be set by the instance's last read, and a client that is there already
    // does not touch it.
    ::ResetEvent(m_event);
    if (::ConnectNamedPipe(m_pipe, &m_connect))
        return 0;
    const DWORD e = ::GetLastError();
    if (e == ERROR_PIPE_CONNECTED)
        return 0;
    if (e == ERROR_IO_PENDING)
        m_connecting = true;
    return e != 0 ? e : DWORD(ERROR_INTERNAL_ERROR);
}

DWORD CPipeIo::FinishConnect() {
    if (!m_connecting)
        return 0;
    m_connecting = false;
    DWORD ignored = 0;
    if (::GetOverlappedResult(m_pipe, &m_connect, &ignored, TRUE))
        return 0;
    const DWORD e = LastErrorOr1359();
    return e == ERROR_PIPE_CONNECTED ? 0 : e;
}

DWORD CPipeIo::ReadSome(uint8_t* buffer, DWORD capacity, DWORD& got) {
    got = 0;
    if (m_eventError != 0)
        return m_eventError;
    OVERLAPPED ov = {};
    ov.hEvent = m_event;
    const BOOL started = ::ReadFile(m_pipe, buffer, capacity, nullptr, &ov);
    return Complete(ov, started, got, m_bounded);
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
    if (m_eventError != 0)
        return m_eventError;
    DWORD written = 0;
    while (written < length) {
        OVERLAPPED ov = {};
        ov.hEvent = m_event;
        const BOOL started = ::WriteFile(m_pipe, buffer + written, length - written, nullptr, &ov);
        DWORD n = 0;
        const DWORD e = Complete(ov, started, n, m_bounded);
        if (e != 0)
            return e;
        if (n == 0)
            return ERROR_WRITE_FAULT;
        written += n;
    }
    return 0;
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
            return ERROR_TIMEOUT; // a client that keeps writing empty messages
    }
}

} // namespace corvel
