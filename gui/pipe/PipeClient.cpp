#include "PipeClient.h"

namespace corvel {

DWORD OpenServicePipe(UniqueFile& pipe) {
    for (int attempt = 0;; ++attempt) {
        pipe.reset(::CreateFileW(kServicePipeName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr));
        if (pipe)
            return 0;
        const DWORD error = LastErrorOr1359();
        if (error != ERROR_PIPE_BUSY || attempt == 1)
            return error;
        if (!::WaitNamedPipeW(kServicePipeName, NMPWAIT_USE_DEFAULT_WAIT))
            return LastErrorOr1359();
    }
}

CBoundedPipeIo::CBoundedPipeIo(HANDLE pipe)
    : m_pipe(pipe), m_event(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

DWORD CBoundedPipeIo::Transfer(bool write, uint8_t* data, DWORD size, DWORD& done,
                               const CDeadline& deadline) {
    done = 0;
    if (!m_event)
        return ERROR_NOT_ENOUGH_MEMORY;
    OVERLAPPED ov{};
    ov.hEvent = m_event.get();
    ::ResetEvent(m_event.get());
    const BOOL started =
        write ? ::WriteFile(m_pipe, data, size, nullptr, &ov) : ::ReadFile(m_pipe, data, size, nullptr, &ov);
    if (!started) {
        const DWORD error = ::GetLastError();
        if (error != ERROR_IO_PENDING)
            return error != 0 ? error : ERROR_INTERNAL_ERROR;
        const DWORD wait = ::WaitForSingleObject(m_event.get(), deadline.Remaining());
        if (wait != WAIT_OBJECT_0) {
            const DWORD waitError = wait == WAIT_TIMEOUT ? ERROR_TIMEOUT : LastErrorOr1359();
            ::CancelIo(m_pipe);
            // `ov` and `data` must outlive the cancelled operation: wait for it to finish.
            DWORD count = 0;
            if (::GetOverlappedResult(m_pipe, &ov, &count, TRUE)) {
                done = count; // it completed before the cancel reached it
                return 0;
            }
            return waitError;
        }
    }
    DWORD count = 0;
    if (!::GetOverlappedResult(m_pipe, &ov, &count, FALSE))
        return LastErrorOr1359();
    done = count;
    return 0;
}

DWORD CBoundedPipeIo::WriteAll(const uint8_t* data, DWORD size, const CDeadline& deadline) {
    DWORD written = 0;
    while (written < size) {
        DWORD done = 0;
        // WriteFile takes a const buffer; Transfer shares the read path's signature.
        const DWORD error =
            Transfer(true, const_cast<uint8_t*>(data) + written, size - written, done, deadline);
        if (error != 0)
            return error;
        if (done == 0)
            return ERROR_WRITE_FAULT;
        written += done;
    }
    return 0;
}

DWORD CBoundedPipeIo::ReadExact(uint8_t* data, DWORD size, const CDeadline& deadline) {
    DWORD got = 0;
    while (got < size) {
        DWORD done = 0;
        const DWORD error = Transfer(false, data + got, size - got, done, deadline);
        if (error != 0)
            return error;
        if (done == 0)
            return ERROR_HANDLE_EOF;
        got += done;
    }
    return 0;
}

} // namespace corvel
