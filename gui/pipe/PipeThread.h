#pragma once
// The GUI's request thread: windows post it requests, it performs them one at a time on
// the command pipe and sends each requesting window exactly one WM_PIPE_REPLY.
#include "PipeClient.h"
#include "PipeMessages.h"
#include "Requests.h"
#include "WorkerThread.h"

#include <windows.h>

#include <cstdint>
#include <memory>

namespace corvel {

// How long an owner waits for its thread to end after posting WM_QUIT.
constexpr DWORD kPipeThreadQuitWaitMs = 1000;

// One performed request: the whole reply frame (ReplyHeader and payload), 4 + DataLength bytes.
struct PipeReply {
    std::unique_ptr<uint8_t[]> Frame;
    uint32_t DataLength = 0;
};

// Opens the pipe, has the builder write the frame (256 bytes offered, then the size it asks),
// writes it, reads the 4-byte head and DataLength bytes. 0 with `reply` filled; else the error
// (ERROR_INVALID_DATA for a builder that fails or a reply whose DataLength is below 4, which
// cannot hold its ResultCode). Every write and read shares one deadline of `timeoutMs`.
DWORD PerformServiceRequest(ServiceRequestBuilder builder, DWORD timeoutMs, PipeReply& reply);
// The same with a frame built beforehand.
DWORD PerformServiceRequest(const RequestFrame& request, DWORD timeoutMs, PipeReply& reply);

// Thread message of a request that carries its own frame (lParam: a RequestFrame on the heap,
// owned by the thread once posted).
constexpr UINT WM_PIPE_FRAME_REQUEST = WM_APP + 1;

class CPipeThread : public CWinThread {
public:
    explicit CPipeThread(DWORD timeoutMs = kPipeRequestTimeoutMs) : m_timeoutMs(timeoutMs) {}

protected:
    void OnThreadMessage(const MSG& msg) override;
    // A request queued behind WM_QUIT is dropped without a reply; a frame it carries is freed.
    void FreeQueuedMessage(const MSG& msg) override;

private:
    void OnPipeRequest(HWND window, ServiceRequestBuilder builder);
    void OnFrameRequest(HWND window, const RequestFrame& request);
    void SendReply(HWND window, DWORD error, const PipeReply& reply);

    const DWORD m_timeoutMs;
};

// Starts a CPipeThread for `owner` (0, or the error). The owner ends it with
// owner.Quit(kPipeThreadQuitWaitMs); its handle stays valid until that wait is over.
DWORD StartPipeThread(CThreadOwner& owner, DWORD timeoutMs = kPipeRequestTimeoutMs);

// Posts WM_PIPE_REQUEST. FALSE when the thread takes no more requests: no reply will come.
BOOL PostPipeRequest(const CThreadOwner& thread, HWND window, ServiceRequestBuilder builder);
// Posts a request whose frame is copied now: it reads nothing of its sender when it is performed,
// so the sender may be gone by then. FALSE when the thread takes no more requests.
BOOL PostPipeRequest(const CThreadOwner& thread, HWND window, RequestFrame request);

} // namespace corvel
