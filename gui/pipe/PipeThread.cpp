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

    CBoundedPipeIo io(pipe.get());
    const CDeadline deadline(timeoutMs);
    error = io.WriteAll(request.get(), requestLength, deadline);
    if (error != 0)
        return error;
    uint8_t head[CommandHeader::kSize];
    error = io.ReadExact(head, sizeof head, deadline);
    if (error != 0)
        return error;
    const uint32_t dataLength = ReadBe24(head + 1);
    if (dataLength < ReplyHeader::kSize - CommandHeader::kSize)
        return ERROR_INVALID_DATA;
    std::unique_ptr<uint8_t[]> frame = Allocate(CommandHeader::kSize + dataLength);
    if (!frame)
        return ERROR_OUTOFMEMORY;
    std::copy(head, head + sizeof head, frame.get());
    error = io.ReadExact(frame.get() + CommandHeader::kSize, dataLength, deadline);
    if (error != 0)
        return error;
    reply.Frame = std::move(frame);
    reply.DataLength = dataLength;
    return 0;
}

void CPipeThread::OnThreadMessage(const MSG& msg) {
    switch (msg.message) {
    case WM_PIPE_REQUEST:
        OnPipeRequest(reinterpret_cast<HWND>(msg.wParam),
                      reinterpret_cast<ServiceRequestBuilder>(msg.lParam));
        break;
    default:
        break;
    }
}

void CPipeThread::OnPipeRequest(HWND window, ServiceRequestBuilder builder) {
    PipeReply reply;
    // The pipe is closed before the reply is handed over: the window may take its time (a
    // message box) without holding one of the service's instances.
    if (PerformServiceRequest(builder, m_timeoutMs, reply) != 0) {
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

} // namespace corvel
