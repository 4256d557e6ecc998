#pragma once
// How a client opens a named pipe: how often it tries, how it waits while every instance is
// busy or the pipe does not exist yet, and when it gives up. Plain C++: the Win32 calls sit
// behind CPipeOpenCalls, so the decisions are tested natively (OpenPipeClient binds them).
#include <cstdint>

namespace corvel {

// The Win32 codes the decisions look at (windows.h values).
constexpr uint32_t kPipeOpenFileNotFound = 2; // ERROR_FILE_NOT_FOUND: no such pipe (yet)
constexpr uint32_t kPipeOpenSemTimeout = 121; // ERROR_SEM_TIMEOUT: WaitNamedPipe found no free instance
constexpr uint32_t kPipeOpenBusy = 231;       // ERROR_PIPE_BUSY
constexpr uint32_t kPipeOpenAbandoned = 995;  // ERROR_OPERATION_ABORTED: the caller's end came first

// CreateFile's flags (windows.h values; PipeClientOpen.cpp checks them).
constexpr uint32_t kPipeFileAttributeNormal = 0x00000080; // FILE_ATTRIBUTE_NORMAL
constexpr uint32_t kPipeFileOverlapped = 0x40000000;      // FILE_FLAG_OVERLAPPED
constexpr uint32_t kPipeFileIdentificationOnly =
    0x00110000; // SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION

constexpr uint32_t kUnlimitedAttempts = 0xFFFFFFFF;
// WaitNamedPipe's time-out 0: the wait the server gave its pipe.
constexpr uint32_t kPipeDefaultWait = 0;

enum class FailedWait {
    Ends,       // the open returns the wait's error
    TriesAgain, // 121 tries again, 2 (the pipe went away) counts as missing, others end the open
};

struct PipeOpenPolicy {
    uint32_t Attempts = 1; // opens at most (kUnlimitedAttempts: until something else ends it)
    // The wait on ERROR_PIPE_BUSY (kPipeDefaultWait: the pipe's own). With a deadline, never
    // longer than what is left of it.
    uint32_t BusyWaitMs = kPipeDefaultWait;
    FailedWait OnFailedWait = FailedWait::Ends;
    // A missing pipe (2) is tried again after this pause; otherwise 2 is returned at once.
    bool WaitWhileMissing = false;
    uint32_t MissingPauseMs = 0;
    // The last attempt also has its wait or pause before its error is returned.
    bool WaitAfterLastAttempt = false;
    // Bound of the whole open, waits included (0: none); when it has passed the error of the
    // last attempt is returned.
    uint32_t DeadlineMs = 0;
    uint32_t FileFlags = kPipeFileAttributeNormal | kPipeFileOverlapped; // CreateFile's flags
    // The open succeeds only when the server end belongs to the process that the service
    // manager runs as CORVELSVC (PipeServerCheck.h); any other server gets 5 and no byte.
    bool ServerMustBeService = false;
};

// The tray program: two attempts; on busy the pipe's default wait, a failed wait is a failure,
// a second busy attempt gives 231. The server must be the service.
PipeOpenPolicy TrayPipePolicy();
// The console client: 33 attempts; on busy a wait of 1000 ms (121 tries again); a missing pipe
// is tried again after 1000 ms; after the 33rd attempt and its wait, that attempt's error. The
// server must be the service.
PipeOpenPolicy ConsolePipePolicy();

// The service's connect thread to its own command pipe: every instance busy, or the pipe missing
// for a moment while an instance is made anew, is waited out (waits of kNotifierWaitSliceMs, so
// that the caller's end is seen soon) until the time limit (0 counts as 1 ms), then the last
// attempt's error. Identification only; no server check (the server is this process).
constexpr uint32_t kNotifierWaitSliceMs = 250;
PipeOpenPolicy NotifierPipePolicy(uint32_t timeLimitMs);

// What the open does, behind an interface so the decisions can be tested without Windows.
class CPipeOpenCalls {
public:
    virtual ~CPipeOpenCalls() = default;
    // CreateFile: 0 when the pipe is open, else its error.
    virtual uint32_t Open() = 0;
    // WaitNamedPipe: 0 when an instance is free, else its error.
    virtual uint32_t WaitForInstance(uint32_t timeoutMs) = 0;
    virtual void Pause(uint32_t milliseconds) = 0;
    virtual uint64_t NowMs() = 0;
    // True once the caller no longer wants the pipe (its end event is set); looked at before
    // every attempt. Opens without an end event are never abandoned.
    virtual bool Abandoned() { return false; }
};

// The attempt loop: 0 once Open succeeded, kPipeOpenAbandoned when the caller's end came first,
// else the error that ended it.
uint32_t RunPipeOpen(const PipeOpenPolicy& policy, CPipeOpenCalls& calls);

} // namespace corvel
