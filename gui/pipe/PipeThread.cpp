#include "PipeThread.h"

#include "ByteOrder.h"
#include "Protocol.h"

#include <algorithm>
#include <new>

namespace corvel {

namespace {

constexpr uint32_t kFirstOffer = 256;
// A request frame can carry at most a 24-bit DataLength.
constexpr uint32_t kMaxFrame = CommandHeader::kSize + kMaxDataLength;

std::unique_ptr<uint8_t[]> Allocate(uint32_t size) {
    return std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[size]);
}

// The builder runs here, on the pipe thread, when the request is performed.
DWORD BuildRequest(ServiceRequestBuilder builder, std::unique_ptr<uint8_t[]>& frame, uint32_t& length) {
    if (builder == nullptr)
        return ERROR_INVALID_DATA;
    uint32_t capacity = kFirstOffer;
    frame = Allocate(capacity);
    if (!frame)
        return ERROR_OUTOFMEMORY;
    uint32_t size = capacity;
    int built = builder(size, frame.get());
    if (!built) {
        if (size == 0 || size > kMaxFrame)
            return ERROR_INVALID_DATA;
        capacity = size;
        frame = Allocate(capacity);
        if (!frame)
            return ERROR_OUTOFMEMORY;
        built = builder(size, frame.get());
        if (!built)
            return ERROR_INVALID_DATA;
    }
    // A builder that claims more than it was offered has overrun nothing we would send.
    if (size == 0 || size > capacity)
        return ERROR_INVALID_DATA;
    length = size;
    return 0;
}

} // namespace

namespace {

// Writes the request and reads the whole reply, all within one deadline.
DWORD Exchange(HANDLE pipe, const uint8_t* request, uint32_t requestLength, DWORD timeoutMs,
               PipeReply& reply) {
    CPipeIo io(pipe, timeoutMs);
    DWORD error = io.WriteAll(request, requestLength);
    if (error != 0)
        return error;
    uint8_t head[CommandHeader::kSize];
    DWORD got = 0;
    error = io.ReadExact(head, sizeof head, got);
    if (error != 0)
        return error;
    const uint32_t dataLength = ReadBe24(head + 1);
    if (dataLength < ReplyHeader::kSize - CommandHeader::kSize)
        return ERROR_INVALID_DATA;
    std::unique_ptr<uint8_t[]> frame = Allocate(CommandHeader::kSize + dataLength);
    if (!frame)
        return ERROR_OUTOFMEMORY;
    std::copy(head, head + sizeof head, frame.get());
    error = io.ReadExact(frame.get() + CommandHeader::kSize, dataLength, got);
    if (error != 0)
        return error;
    reply.Frame = std::move(frame);
    reply.DataLength = dataLength;
    return 0;
}

} // namespace

DWORD PerformServiceRequest(ServiceRequestBuilder builder, DWORD timeoutMs, PipeReply& reply) {
    reply = PipeReply();
    UniqueFile pipe;
    // Opened before the build: with the service stopped no builder runs.
    DWORD error = OpenServicePipe(pipe);
    if (error != 0)
        return error;
    std::unique_ptr<uint8_t[]> request;
    uint32_t requestLength = 0;
    error = BuildRequest(builder, request, requestLength);
    if (error != 0)
        return error;
    return Exchange(pipe.get(), request.get(), requestLength, timeoutMs, reply);
}

DWORD PerformServiceRequest(const RequestFrame& request, DWORD timeoutMs, PipeReply& reply) {
    reply = PipeReply();
    if (request.empty() || request.size() > kMaxFrame)
        return ERROR_INVALID_DATA;
    UniqueFile pipe;
    DWORD error = OpenServicePipe(pipe);
    if (error != 0)
        return error;
    return Exchange(pipe.get(), request.data(), uint32_t(request.size()), timeoutMs, reply);
}

void CPipeThread::OnThreadMessage(const MSG& msg) {
    switch (msg.message) {
    case WM_PIPE_REQUEST:
        OnPipeRequest(reinterpret_cast<HWND>(msg.wParam),
                      reinterpret_cast<ServiceRequestBuilder>(msg.lParam));
        break;
    case WM_PIPE_FRAME_REQUEST: {
        const std::unique_ptr<RequestFrame> request(reinterpret_cast<RequestFrame*>(msg.lParam));
        OnFrameRequest(reinterpret_cast<HWND>(msg.wParam), *request);
        break;
    }
    default:
        break;
    }
}

void CPipeThread::FreeQueuedMessage(const MSG& msg) {
    if (msg.message == WM_PIPE_FRAME_REQUEST)
        delete reinterpret_cast<RequestFrame*>(msg.lParam);
}

void CPipeThread::OnPipeRequest(HWND window, ServiceRequestBuilder builder) {
    PipeReply reply;
    // The pipe is closed before the reply is handed over: the window may take its time (a
    // message box) without holding one of the service's instances.
    const DWORD error = PerformServiceRequest(builder, m_timeoutMs, reply);
    SendReply(window, error, reply);
}

void CPipeThread::OnFrameRequest(HWND window, const RequestFrame& request) {
    PipeReply reply;
    const DWORD error = PerformServiceRequest(request, m_timeoutMs, reply);
    SendReply(window, error, reply);
}

void CPipeThread::SendReply(HWND window, DWORD error, const PipeReply& reply) {
    if (error != 0) {
        ::SendMessageW(window, WM_PIPE_REPLY, 0, 0);
        return;
    }
    // The frame is ours: the window copies what it keeps before SendMessageW returns.
    ::SendMessageW(window, WM_PIPE_REPLY, reply.DataLength, reinterpret_cast<LPARAM>(reply.Frame.get()));
}

DWORD StartPipeThread(CThreadOwner& owner, DWORD timeoutMs) {
    return AfxBeginThread<CPipeThread>(owner, timeoutMs);
}

BOOL PostPipeRequest(const CThreadOwner& thread, HWND window, ServiceRequestBuilder builder) {
    return thread.Post(WM_PIPE_REQUEST, reinterpret_cast<WPARAM>(window), reinterpret_cast<LPARAM>(builder));
}

BOOL PostPipeRequest(const CThreadOwner& thread, HWND window, RequestFrame request) {
    auto payload = std::make_unique<RequestFrame>(std::move(request));
    if (!thread.Post(WM_PIPE_FRAME_REQUEST, reinterpret_cast<WPARAM>(window),
                     reinterpret_cast<LPARAM>(payload.get())))
        return FALSE; // not posted: still ours, freed here
    payload.release();
    return TRUE;
}

} // namespace corvel
