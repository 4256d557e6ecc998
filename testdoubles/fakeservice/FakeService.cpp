#include "FakeService.h"

#include "ByteOrder.h"
#include "Protocol.h"

#include <algorithm>
#include <chrono>
#include <memory>

namespace corvel {

FakeResponder ScriptedResponder(std::vector<FakeExchange> script) {
    auto shared = std::make_shared<std::vector<FakeExchange>>(std::move(script));
    auto next = std::make_shared<size_t>(0);
    // CFakeService calls the responder under its lock: no lock of our own.
    return [shared, next](const FakeRequest&) {
        if (*next >= shared->size())
            return FakeExchange::Hangup();
        return (*shared)[(*next)++];
    };
}

std::vector<uint8_t> FakeReply(uint8_t commandId, uint32_t resultCode, const std::vector<uint8_t>& payload) {
    std::vector<uint8_t> reply(ReplyHeader::kSize + payload.size());
    ReplyHeader{ReplyIdOf(commandId), uint32_t(4 + payload.size()), resultCode}.Write(reply.data());
    std::copy(payload.begin(), payload.end(), reply.begin() + ReplyHeader::kSize);
    return reply;
}

CFakeService::CFakeService(FakeResponder responder, int instances, DWORD defaultTimeoutMs,
                           const wchar_t* name)
    : m_responder(std::move(responder)), m_instances(instances), m_defaultTimeoutMs(defaultTimeoutMs),
      m_name(name) {}

namespace {

ServiceProcessFacts ThisProcessIsTheService() {
    ServiceProcessFacts facts;
    facts.State = SERVICE_RUNNING;
    facts.ProcessId = ::GetCurrentProcessId();
    return facts;
}

} // namespace

CThisProcessIsTheService::CThisProcessIsTheService()
    : m_previous(SetServiceProcessQuery(&ThisProcessIsTheService)) {}

CThisProcessIsTheService::~CThisProcessIsTheService() {
    SetServiceProcessQuery(m_previous);
}

DWORD CFakeService::Start() {
    m_stop.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!m_stop)
        return LastErrorOr1359();
    for (int i = 0; i < m_instances; ++i) {
        HANDLE pipe = ::CreateNamedPipeW(m_name, PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                         PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, m_instances,
                                         65536, 65536, m_defaultTimeoutMs, nullptr);
        if (pipe == INVALID_HANDLE_VALUE) {
            const DWORD error = LastErrorOr1359();
            Stop();
            return error;
        }
        m_threads.emplace_back([this, pipe] {
            UniqueFile owned(pipe);
            Serve(owned.get());
        });
    }
    if (!m_standsForService)
        m_standsForService = std::make_unique<CThisProcessIsTheService>();
    return 0;
}

void CFakeService::Stop() {
    if (m_stop)
        ::SetEvent(m_stop.get());
    for (std::thread& t : m_threads)
        t.join();
    m_threads.clear();
    m_standsForService.reset();
}

bool CFakeService::ReadRequest(CPipeIo& io, FakeRequest& request) {
    std::vector<uint8_t> message(65536);
    for (;;) {
        DWORD count = 0;
        const DWORD error = io.ReadSome(message.data(), DWORD(message.size()), count);
        if (error != 0 && error != ERROR_MORE_DATA)
            return false; // stopped, or the client went away
        request.Frame.insert(request.Frame.end(), message.begin(), message.begin() + count);
        if (error != ERROR_MORE_DATA)
            ++request.Writes;
        if (request.Frame.size() >= CommandHeader::kSize &&
            request.Frame.size() >= CommandHeader::kSize + ReadBe24(request.Frame.data() + 1))
            return true;
    }
}

bool CFakeService::WriteReply(CPipeIo& io, const FakeExchange& exchange) {
    // The pieces asked for, then the rest in one.
    std::vector<size_t> pieces = exchange.Chunks;
    size_t listed = 0;
    for (size_t piece : pieces)
        listed += piece;
    if (listed < exchange.Reply.size())
        pieces.push_back(exchange.Reply.size() - listed);
    size_t offset = 0;
    for (size_t i = 0; i < pieces.size() && offset < exchange.Reply.size(); ++i) {
        const size_t size = std::min(pieces[i], exchange.Reply.size() - offset);
        if (io.WriteAll(exchange.Reply.data() + offset, DWORD(size)) != 0)
            return false;
        offset += size;
        // The client has read this piece before the next one exists: its read comes back short.
        if (i + 1 < pieces.size())
            ::FlushFileBuffers(io.Pipe());
    }
    return true;
}

void CFakeService::Serve(HANDLE pipe) {
    // No deadline: Stop ends every wait.
    CPipeIo io(pipe, kPipeIoNoDeadline, m_stop.get());
    for (;;) {
        const DWORD connected = io.Connect();
        if (connected != 0 && connected != ERROR_NO_DATA)
            return; // stopped, or the instance is unusable
        {
            std::lock_guard<std::mutex> guard(m_lock);
            ++m_connections;
        }
        m_changed.notify_all();
        FakeRequest request;
        const bool whole = ReadRequest(io, request);
        {
            std::lock_guard<std::mutex> guard(m_lock);
            m_bytesReceived += request.Frame.size();
        }
        if (whole) {
            FakeExchange exchange;
            {
                std::lock_guard<std::mutex> guard(m_lock);
                m_requests.push_back(request);
                exchange = m_responder(request);
            }
            m_changed.notify_all();
            switch (exchange.What) {
            case FakeExchange::Action::Reply:
                // The real service flushes before it disconnects; waiting for the client's
                // close does the same and can be cut short by Stop.
                if (WriteReply(io, exchange))
                    io.WaitForClientClose();
                break;
            case FakeExchange::Action::Silent:
                ::WaitForSingleObject(m_stop.get(), INFINITE);
                break;
            case FakeExchange::Action::Close:
                if (!exchange.Reply.empty())
                    WriteReply(io, exchange);
                break;
            }
        }
        ::DisconnectNamedPipe(pipe);
        if (::WaitForSingleObject(m_stop.get(), 0) == WAIT_OBJECT_0)
            return;
    }
}

std::vector<FakeRequest> CFakeService::Requests() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_requests;
}

bool CFakeService::WaitForRequests(size_t count, DWORD timeoutMs) const {
    std::unique_lock<std::mutex> guard(m_lock);
    return m_changed.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                              [&] { return m_requests.size() >= count; });
}

size_t CFakeService::BytesReceived() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_bytesReceived;
}

size_t CFakeService::Connections() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_connections;
}

bool CFakeService::WaitForConnections(size_t count, DWORD timeoutMs) const {
    std::unique_lock<std::mutex> guard(m_lock);
    return m_changed.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                              [&] { return m_connections >= count; });
}

DWORD OpenGuiNotificationPipe(UniqueFile& pipe, DWORD timeoutMs) {
    PipeOpenPolicy policy;
    policy.Attempts = kUnlimitedAttempts;
    policy.BusyWaitMs = 100;
    policy.OnFailedWait = FailedWait::TriesAgain;
    // A missing pipe (the GUI still starting its server) offers nothing to wait on: look again
    // shortly.
    policy.WaitWhileMissing = true;
    policy.MissingPauseMs = 20;
    policy.DeadlineMs = timeoutMs;
    return OpenPipeClient(kGuiPipeName, GENERIC_WRITE, policy, pipe);
}

DWORD SendGuiNotification(const std::vector<uint8_t>& bytes, DWORD timeoutMs) {
    UniqueFile pipe;
    const DWORD opened = OpenGuiNotificationPipe(pipe, timeoutMs);
    if (opened != 0)
        return opened;
    return CPipeIo(pipe.get(), timeoutMs).WriteAll(bytes.data(), DWORD(bytes.size()));
}

} // namespace corvel
