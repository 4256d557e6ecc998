#pragma once
// Bounded I/O on a pipe handle opened with FILE_FLAG_OVERLAPPED, for servers and clients alike.
// Every read, write and wait ends by a deadline, and an abort event (a stop) ends any wait at
// once. A cancelled operation is waited for before its OVERLAPPED and buffer go out of scope.
#include "Handles.h"

#include <windows.h>

#include <cstdint>

namespace corvel {

// A timeout of this value: no deadline (the abort event alone ends the waits).
constexpr DWORD kPipeIoNoDeadline = INFINITE;

// Errors: ERROR_TIMEOUT (1460) when the deadline passed, ERROR_OPERATION_ABORTED (995) when the
// abort event was set; otherwise the pipe's own (109 the other end closed).
class CPipeIo {
public:
    // event: a manual-reset event for the operations, which the caller owns and keeps as long
    // as this object (null: the object creates its own). abortEvent may be null. The deadline
    // starts now.
    CPipeIo(HANDLE pipe, DWORD timeoutMs, HANDLE abortEvent = nullptr, HANDLE event = nullptr);
    // Cancels a wait for a client that BeginConnect left running, and waits for its end.
    ~CPipeIo();
    CPipeIo(const CPipeIo&) = delete;
    CPipeIo& operator=(const CPipeIo&) = delete;

    void RestartDeadline(DWORD timeoutMs);
    // What is left of the deadline in milliseconds (0 once passed; INFINITE without one).
    DWORD RemainingMs() const;
    // Time the caller spends on its own work (no I/O meanwhile) need not count against the
    // other end: PauseDeadline keeps what is left, ResumeDeadline runs it on from now.
    void PauseDeadline();
    void ResumeDeadline();

    HANDLE Pipe() const { return m_pipe; }
    HANDLE Event() const { return m_event; }
    HANDLE AbortEvent() const { return m_abort; }

    // Server side: waits for a client, without the deadline (only the abort event ends it).
    // 0 also when the client came before the call; ERROR_NO_DATA when it came and went again.
    DWORD Connect();
    // The same for a thread that serves several instances and waits for them together: starts
    // the wait and returns at once, 0 or ERROR_NO_DATA as Connect, ERROR_IO_PENDING while it
    // waits (Event() is set once a client came: then FinishConnect), or the error.
    DWORD BeginConnect();
    // After Event() was set: 0 when a client is connected (ERROR_NO_DATA: it came and went
    // again), or the error that ended the wait.
    DWORD FinishConnect();
    // One read of up to capacity bytes; got tells how many came. In a message-mode pipe
    // ERROR_MORE_DATA says the message goes on (got bytes of it came).
    DWORD ReadSome(uint8_t* buffer, DWORD capacity, DWORD& got);
    // Reads until length bytes came (ERROR_MORE_DATA is progress): 0; ERROR_HANDLE_EOF for a
    // read of 0 bytes; or the error that stopped it, with got telling how many came.
    DWORD ReadExact(uint8_t* buffer, DWORD length, DWORD& got);
    // Writes all bytes (normally in one WriteFile): 0, or the error (ERROR_WRITE_FAULT for a
    // write that took nothing).
    DWORD WriteAll(const uint8_t* buffer, DWORD length);
    // The bounded flush: returns 0 once the other end has closed (so it has read what was
    // written: a byte pipe keeps written data until it is read), or ERROR_TIMEOUT. What it
    // sends meanwhile is discarded.
    DWORD WaitForClientClose();

private:
    // Ends the operation that ov started: waits for it (bounded or not), or cancels it on the
    // deadline or the abort and waits for its end. transferred: the bytes it moved.
    DWORD Complete(OVERLAPPED& ov, DWORD started, DWORD& transferred, bool bounded);

    HANDLE m_pipe;
    HANDLE m_abort;
    HANDLE m_event;
    UniqueEvent m_ownEvent;
    DWORD m_eventError = 0;
    ULONGLONG m_deadline = 0;
    bool m_bounded = true;
    bool m_paused = false;
    DWORD m_leftWhenPaused = 0;
    OVERLAPPED m_connect = {}; // BeginConnect's, while m_connecting
    bool m_connecting = false;
};

} // namespace corvel
