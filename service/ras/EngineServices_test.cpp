// The notifier's real pipe: a command pipe whose every instance a client holds is waited out
// until an instance frees, the attempt's end, or the time limit.
#include "EngineServices.h"

#include "Handles.h"
#include "PipeIo.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

using namespace corvel;

namespace {

// A pipe of one instance, with the service's default wait of 1000 ms, that a client of the test
// holds until the server frees it (as the service's deadline does a silent client) after holdMs.
// Then it takes one client's frame.
class CHeldPipe {
public:
    explicit CHeldPipe(DWORD holdMs)
        : m_name(L"\\\\.\\pipe\\corvel-sink-test-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                 std::to_wstring(++s_count)),
          m_holdMs(holdMs) {}
    ~CHeldPipe() {
        ::SetEvent(m_stop.get());
        if (m_server.joinable())
            m_server.join();
    }

    DWORD Start() {
        m_pipe.reset(::CreateNamedPipeW(m_name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                        PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 0, 0, 1000,
                                        nullptr));
        if (!m_pipe)
            return LastErrorOr1359();
        m_holder.reset(::CreateFileW(m_name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                     FILE_FLAG_OVERLAPPED, nullptr));
        if (!m_holder)
            return LastErrorOr1359();
        m_server = std::thread([this] { Serve(); });
        return 0;
    }
    const wchar_t* Name() const { return m_name.c_str(); }
    // What the one client after the holder wrote; empty when none came within 10 s.
    std::vector<uint8_t> Received() {
        ::WaitForSingleObject(m_done.get(), 10000);
        ::SetEvent(m_stop.get());
        m_server.join();
        return m_received;
    }

private:
    void Serve() {
        CPipeIo io(m_pipe.get(), kPipeIoNoDeadline, m_stop.get());
        if (io.Connect() != 0 || ::WaitForSingleObject(m_stop.get(), m_holdMs) != WAIT_TIMEOUT)
            return;
        ::DisconnectNamedPipe(m_pipe.get()); // the holder is cut; the instance is free again
        if (io.Connect() != 0)
            return;
        uint8_t frame[7] = {};
        DWORD got = 0;
        io.RestartDeadline(10000);
        if (io.ReadExact(frame, sizeof frame, got) == 0)
            m_received.assign(frame, frame + sizeof frame);
        ::SetEvent(m_done.get());
    }

    static inline std::atomic<unsigned> s_count{0};
    std::wstring m_name;
    DWORD m_holdMs;
    UniqueFile m_pipe;
    UniqueFile m_holder;
    UniqueEvent m_stop{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    UniqueEvent m_done{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    std::thread m_server;
    std::vector<uint8_t> m_received;
};

const std::vector<uint8_t> kFrame = {0x41, 0x00, 0x00, 0x03, 0x02, 0x02, 0x00};

TEST(CommandPipeSink, AHeldPipeIsWaitedOutNotTakenForAFailedNotification) {
    for (const DWORD holdMs : {1500u, 6000u}) {
        SCOPED_TRACE(holdMs);
        CHeldPipe pipe(holdMs);
        ASSERT_EQ(pipe.Start(), 0u);
        CCommandPipeSink sink(pipe.Name());
        UniqueEvent end(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        NotifyBound bound;
        bound.EndEvent = end.get();
        EXPECT_EQ(sink.Send(kFrame.data(), DWORD(kFrame.size()), bound), 0u);
        EXPECT_EQ(pipe.Received(), kFrame);
    }
}

TEST(CommandPipeSink, TheAttemptsEndOrItsTimeLimitEndsTheWait) {
    {
        CHeldPipe pipe(INFINITE);
        ASSERT_EQ(pipe.Start(), 0u);
        CCommandPipeSink sink(pipe.Name());
        UniqueEvent end(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        NotifyBound bound;
        bound.EndEvent = end.get();
        DWORD result = 0;
        std::thread sender([&] { result = sink.Send(kFrame.data(), DWORD(kFrame.size()), bound); });
        ::SetEvent(end.get());
        sender.join();
        EXPECT_EQ(result, DWORD(ERROR_OPERATION_ABORTED));
    }
    {
        CHeldPipe pipe(INFINITE);
        ASSERT_EQ(pipe.Start(), 0u);
        CCommandPipeSink sink(pipe.Name());
        NotifyBound bound;
        bound.TimeLimitMs = 600;
        EXPECT_EQ(sink.Send(kFrame.data(), DWORD(kFrame.size()), bound), DWORD(ERROR_PIPE_BUSY));
    }
}

} // namespace
