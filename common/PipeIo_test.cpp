// The bounded I/O on real pipe pairs: what reads, writes and waits return, how a deadline or
// an abort ends them, and that a cancelled operation leaves the pipe usable.
#include "PipeClientCheck.h"
#include "PipeClientOpen.h"
#include "PipeIo.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace corvel {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr DWORD kShortMs = 300;

std::wstring UniqueName(const wchar_t* tag) {
    static std::atomic<int> counter{0};
    return L"\\\\.\\pipe\\corvelpipeio-" + std::wstring(tag) + L"-" +
           std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(++counter);
}

bool IsOpen(HANDLE h) {
    DWORD flags = 0;
    return ::GetHandleInformation(h, &flags) != FALSE;
}

// A server instance and a client connected to it, both overlapped.
struct PipePair {
    explicit PipePair(bool messages = false, const wchar_t* tag = L"pair") : Name(UniqueName(tag)) {
        const DWORD mode =
            messages ? PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE : PIPE_TYPE_BYTE | PIPE_READMODE_BYTE;
        Server.reset(::CreateNamedPipeW(Name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                        mode | PIPE_WAIT, 1, 4096, 4096, 1000, nullptr));
        if (!Server)
            return;
        if (OpenPipeClient(Name.c_str(), GENERIC_READ | GENERIC_WRITE, PipeOpenPolicy(), Client) != 0)
            return;
        if (messages) {
            DWORD readMode = PIPE_READMODE_MESSAGE;
            ::SetNamedPipeHandleState(Client.get(), &readMode, nullptr, nullptr);
        }
        Connected = CPipeIo(Server.get(), kShortMs).Connect() == 0;
    }
    DWORD ClientWrites(const Bytes& bytes) {
        return CPipeIo(Client.get(), 5000).WriteAll(bytes.data(), DWORD(bytes.size()));
    }

    std::wstring Name;
    UniqueFile Server;
    UniqueFile Client;
    bool Connected = false;
};

TEST(CPipeIo, ReadsWhatWasWrittenWhateverTheReadsReturn) {
    // Byte mode: two writes, one exact read.
    {
        PipePair p;
        ASSERT_TRUE(p.Connected);
        ASSERT_EQ(0u, p.ClientWrites({'a', 'b'}));
        ASSERT_EQ(0u, p.ClientWrites({'c', 'd', 'e', 'f'}));
        Bytes got(6);
        DWORD n = 0;
        EXPECT_EQ(0u, CPipeIo(p.Server.get(), kShortMs).ReadExact(got.data(), 6, n));
        EXPECT_EQ(6u, n);
        EXPECT_EQ((Bytes{'a', 'b', 'c', 'd', 'e', 'f'}), got);
    }
    // Message mode: a read shorter than the message says so and still counts its bytes, both
    // when the message was there before the read and when it comes while the read waits.
    for (bool waiting : {false, true}) {
        SCOPED_TRACE(waiting ? "message comes during the read" : "message there before the read");
        PipePair p(true);
        ASSERT_TRUE(p.Connected);
        const Bytes message = {1, 2, 3, 4, 5, 6, 7, 8};
        std::thread writer;
        if (waiting)
            writer = std::thread([&] { p.ClientWrites(message); });
        else
            ASSERT_EQ(0u, p.ClientWrites(message));
        CPipeIo io(p.Server.get(), 5000);
        Bytes got(8);
        DWORD n = 0;
        EXPECT_EQ(DWORD(ERROR_MORE_DATA), io.ReadSome(got.data(), 3, n));
        EXPECT_EQ(3u, n);
        EXPECT_EQ(0u, io.ReadExact(got.data() + 3, 5, n));
        EXPECT_EQ(5u, n);
        EXPECT_EQ(message, got);
        if (writer.joinable())
            writer.join();
        // A message read in pieces by ReadExact alone.
        ASSERT_EQ(0u, p.ClientWrites(message));
        Bytes again(8);
        CPipeIo small(p.Server.get(), 5000);
        EXPECT_EQ(0u, small.ReadExact(again.data(), 2, n));
        EXPECT_EQ(0u, small.ReadExact(again.data() + 2, 6, n));
        EXPECT_EQ(message, again);
    }
}

TEST(CPipeIo, TheOtherEndClosingEndsReadsAfterWhatItSent) {
    PipePair p;
    ASSERT_TRUE(p.Connected);
    ASSERT_EQ(0u, p.ClientWrites({9, 9, 9}));
    p.Client.reset();
    uint8_t got[8] = {};
    DWORD n = 0;
    EXPECT_EQ(DWORD(ERROR_BROKEN_PIPE), CPipeIo(p.Server.get(), 5000).ReadExact(got, sizeof got, n));
    EXPECT_EQ(3u, n);
}

TEST(CPipeIo, DeadlineAndAbortEndEveryWaitAndLeaveThePipeUsable) {
    PipePair p;
    ASSERT_TRUE(p.Connected);
    UniqueEvent abort(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    CPipeIo io(p.Server.get(), kShortMs, abort.get());
    uint8_t byte = 0;
    DWORD n = 0;

    // A read that completes at once leaves the event set; the next read must still wait.
    ASSERT_EQ(0u, p.ClientWrites({7}));
    EXPECT_EQ(0u, io.ReadSome(&byte, 1, n));
    EXPECT_EQ(1u, n);
    ULONGLONG since = ::GetTickCount64();
    EXPECT_EQ(DWORD(ERROR_TIMEOUT), io.ReadExact(&byte, 1, n));
    const ULONGLONG took = ::GetTickCount64() - since;
    EXPECT_EQ(0u, n);
    EXPECT_GE(took + 50, kShortMs);
    EXPECT_LT(took, kShortMs + 1500);
    EXPECT_EQ(0u, io.RemainingMs());

    // The cancelled read took nothing: what comes next is read whole.
    io.RestartDeadline(5000);
    ASSERT_EQ(0u, p.ClientWrites({42}));
    EXPECT_EQ(0u, io.ReadExact(&byte, 1, n));
    EXPECT_EQ(42, byte);

    // The abort ends a read at once, whatever the deadline.
    ::SetEvent(abort.get());
    since = ::GetTickCount64();
    EXPECT_EQ(DWORD(ERROR_OPERATION_ABORTED), io.ReadSome(&byte, 1, n));
    EXPECT_LT(::GetTickCount64() - since, 2000u);

    // A write that nobody reads ends by the deadline.
    CPipeIo writer(p.Client.get(), kShortMs);
    const Bytes big(1 << 20, 0x41);
    since = ::GetTickCount64();
    EXPECT_EQ(DWORD(ERROR_TIMEOUT), writer.WriteAll(big.data(), DWORD(big.size())));
    EXPECT_LT(::GetTickCount64() - since, kShortMs + 1500);
}

TEST(CPipeIo, ConnectTakesEarlyClientsAndEndsOnlyByTheAbort) {
    const std::wstring name = UniqueName(L"connect");
    UniqueFile server(::CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                         PIPE_TYPE_BYTE | PIPE_WAIT, 1, 0, 0, 1000, nullptr));
    ASSERT_TRUE(server);
    UniqueEvent abort(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    CPipeIo io(server.get(), 1, abort.get()); // the deadline does not bound Connect

    // Long after the object's deadline, the wait for a client still goes on: the abort ends it.
    std::thread stopper([&] {
        UniqueEvent never(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        ::WaitForSingleObject(never.get(), 3 * kShortMs);
        ::SetEvent(abort.get());
    });
    const ULONGLONG since = ::GetTickCount64();
    EXPECT_EQ(DWORD(ERROR_OPERATION_ABORTED), io.Connect());
    EXPECT_GE(::GetTickCount64() - since + 50, 3 * kShortMs);
    stopper.join();

    // A client that came before the call is connected.
    ::ResetEvent(abort.get());
    UniqueFile client;
    ASSERT_EQ(0u, OpenPipeClient(name.c_str(), GENERIC_READ | GENERIC_WRITE, PipeOpenPolicy(), client));
    EXPECT_EQ(0u, io.Connect());
}

TEST(CPipeIo, BeginConnectWaitsBesideOthersAndIsCancelledWithTheObject) {
    const std::wstring name = UniqueName(L"begin");
    UniqueFile server(::CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                         PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4096, 4096, 1000, nullptr));
    ASSERT_TRUE(server);
    {
        // Left waiting: the object's end cancels the wait, and the instance takes a client after.
        CPipeIo io(server.get(), kShortMs);
        EXPECT_EQ(DWORD(ERROR_IO_PENDING), io.BeginConnect());
        EXPECT_EQ(DWORD(WAIT_TIMEOUT), ::WaitForSingleObject(io.Event(), 0));
    }
    CPipeIo io(server.get(), kShortMs);
    ASSERT_EQ(DWORD(ERROR_IO_PENDING), io.BeginConnect());
    UniqueFile client;
    ASSERT_EQ(0u, OpenPipeClient(name.c_str(), GENERIC_READ | GENERIC_WRITE, PipeOpenPolicy(), client));
    EXPECT_EQ(DWORD(WAIT_OBJECT_0), ::WaitForSingleObject(io.Event(), 5000));
    EXPECT_EQ(0u, io.FinishConnect());
    ASSERT_EQ(0u, CPipeIo(client.get(), 5000).WriteAll(reinterpret_cast<const uint8_t*>("x"), 1));
    uint8_t byte = 0;
    DWORD n = 0;
    EXPECT_EQ(0u, io.ReadExact(&byte, 1, n));
    EXPECT_EQ('x', byte);

    // A client that came before the call, to a fresh instance: connected at once.
    const std::wstring early = UniqueName(L"early");
    UniqueFile second(::CreateNamedPipeW(early.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                         PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4096, 4096, 1000, nullptr));
    ASSERT_TRUE(second);
    UniqueFile earlyClient;
    ASSERT_EQ(0u, OpenPipeClient(early.c_str(), GENERIC_READ | GENERIC_WRITE, PipeOpenPolicy(), earlyClient));
    EXPECT_EQ(0u, CPipeIo(second.get(), kShortMs).BeginConnect());
}

TEST(CPipeIo, WaitForClientCloseReturnsOnceTheReplyWasTaken) {
    PipePair p;
    ASSERT_TRUE(p.Connected);
    CPipeIo io(p.Server.get(), kShortMs);
    const Bytes reply = {0xB1, 0, 0, 4, 0, 0, 0, 0};
    ASSERT_EQ(0u, io.WriteAll(reply.data(), DWORD(reply.size())));
    // A client that stays: the flush ends by the deadline.
    EXPECT_EQ(DWORD(ERROR_TIMEOUT), io.WaitForClientClose());

    io.RestartDeadline(5000);
    std::thread client([&] {
        Bytes got(reply.size());
        DWORD n = 0;
        CPipeIo(p.Client.get(), 5000).ReadExact(got.data(), DWORD(got.size()), n);
        p.ClientWrites({1, 2}); // discarded
        p.Client.reset();
    });
    EXPECT_EQ(0u, io.WaitForClientClose());
    client.join();
}

TEST(CPipeIo, APausedDeadlineDoesNotRun) {
    PipePair p;
    ASSERT_TRUE(p.Connected);
    CPipeIo io(p.Server.get(), kShortMs);
    io.PauseDeadline();
    // The caller's own work, longer than the whole deadline.
    UniqueEvent never(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ::WaitForSingleObject(never.get(), 2 * kShortMs);
    EXPECT_GT(io.RemainingMs(), kShortMs - 100);
    io.ResumeDeadline();
    // What was left still bounds the next read, from now on.
    uint8_t byte = 0;
    DWORD n = 0;
    const ULONGLONG since = ::GetTickCount64();
    EXPECT_EQ(DWORD(ERROR_TIMEOUT), io.ReadSome(&byte, 1, n));
    const ULONGLONG took = ::GetTickCount64() - since;
    EXPECT_GE(took + 50, kShortMs - 100);
    EXPECT_LT(took, kShortMs + 1500);
}

TEST(CPipeIo, BorrowsTheCallersEventAndHasNoDeadlineWhenAskedForNone) {
    UniqueEvent event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    PipePair p;
    ASSERT_TRUE(p.Connected);
    {
        CPipeIo io(p.Server.get(), kPipeIoNoDeadline, nullptr, event.get());
        EXPECT_EQ(event.get(), io.Event());
        EXPECT_EQ(DWORD(INFINITE), io.RemainingMs());
        ASSERT_EQ(0u, p.ClientWrites({5}));
        uint8_t byte = 0;
        DWORD n = 0;
        EXPECT_EQ(0u, io.ReadExact(&byte, 1, n));
    }
    EXPECT_TRUE(IsOpen(event.get()));
}

// The open that must reach the service: only the server process that the service manager names
// gets the handle; any other is closed before a byte was written.
ServiceProcessFacts g_facts;
ServiceProcessFacts ScriptedServiceProcess() {
    return g_facts;
}

UniqueFile ListeningServer(const std::wstring& name) {
    return UniqueFile(::CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT, 1,
                                         4096, 4096, 1000, nullptr));
}

int g_asked = 0;
ServiceProcessFacts CountedServiceProcess() {
    ++g_asked;
    return g_facts;
}

// The server's side: whether a connected client is the service's process, and how often the
// service manager is asked.
TEST(CPipeClientCheck, OnlyTheServicesProcessIsTrustedAndStrangersInARowAreRefusedUnasked) {
    const DWORD self = ::GetCurrentProcessId();
    const ServiceProcessQuery previous = SetServiceProcessQuery(&CountedServiceProcess);
    CPipeClientCheck check;
    auto judge = [&](DWORD& result) {
        const std::wstring name = UniqueName(L"client");
        UniqueFile server = ListeningServer(name);
        UniqueFile client;
        if (!server || OpenPipeClient(name.c_str(), GENERIC_WRITE, PipeOpenPolicy(), client) != 0)
            return false;
        result = check.Check(server.get());
        return true;
    };
    DWORD result = 1;
    g_facts = {0, SERVICE_RUNNING, self};
    g_asked = 0;
    ASSERT_TRUE(judge(result));
    EXPECT_EQ(0u, result) << "this process is the service";
    ASSERT_TRUE(judge(result));
    EXPECT_EQ(0u, result);
    EXPECT_EQ(2, g_asked) << "the service's id is asked about every time";

    // The service now runs elsewhere: the id seen is asked about, found to be a stranger's now,
    // and the next connections so soon after that answer are refused without a question.
    g_facts = {0, SERVICE_RUNNING, self + 4};
    g_asked = 0;
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(judge(result));
        EXPECT_EQ(DWORD(ERROR_ACCESS_DENIED), result) << i;
    }
    EXPECT_GE(g_asked, 1);
    EXPECT_LE(g_asked, 2) << "at most one more once the answer went stale";

    // Not running, or a client id that cannot be read: refused.
    g_facts = {0, SERVICE_STOP_PENDING, self};
    ASSERT_TRUE(judge(result));
    EXPECT_EQ(DWORD(ERROR_ACCESS_DENIED), result);
    EXPECT_EQ(DWORD(ERROR_ACCESS_DENIED), check.Check(INVALID_HANDLE_VALUE));
    SetServiceProcessQuery(previous);
}

TEST(OpenPipeClient, AServerThatIsNotTheServicesProcessGetsNothing) {
    struct Case {
        const char* What;
        ServiceProcessFacts Facts;
        DWORD Expected;
    };
    const DWORD self = ::GetCurrentProcessId();
    const Case cases[] = {
        {"this process is the running service", {0, SERVICE_RUNNING, self}, 0},
        {"the service runs in another process", {0, SERVICE_RUNNING, self + 4}, ERROR_ACCESS_DENIED},
        {"the service is stopped", {0, SERVICE_STOPPED, 0}, ERROR_ACCESS_DENIED},
        {"the service is not installed", {ERROR_SERVICE_DOES_NOT_EXIST, 0, 0}, ERROR_ACCESS_DENIED},
    };
    PipeOpenPolicy policy;
    policy.ServerMustBeService = true;
    const ServiceProcessQuery previous = SetServiceProcessQuery(&ScriptedServiceProcess);
    for (const Case& c : cases) {
        g_facts = c.Facts;
        const std::wstring name = UniqueName(L"check");
        UniqueFile server = ListeningServer(name);
        ASSERT_TRUE(server);
        UniqueFile client;
        EXPECT_EQ(OpenPipeClient(name.c_str(), GENERIC_READ | GENERIC_WRITE, policy, client), c.Expected)
            << c.What;
        EXPECT_EQ(bool(client), c.Expected == 0) << c.What;
        DWORD available = 0;
        const BOOL peeked = ::PeekNamedPipe(server.get(), nullptr, 0, nullptr, &available, nullptr);
        if (c.Expected == 0) {
            EXPECT_TRUE(peeked) << c.What;
        } else {
            // The client came and went: nothing to read, its end is closed.
            EXPECT_FALSE(peeked) << c.What;
            EXPECT_EQ(::GetLastError(), DWORD(ERROR_BROKEN_PIPE)) << c.What;
        }
        EXPECT_EQ(available, 0u) << c.What;
    }
    SetServiceProcessQuery(previous);

    // The service manager's own answer: no CORVELSVC runs this test, so this process is a stranger.
    const std::wstring name = UniqueName(L"scm");
    UniqueFile server = ListeningServer(name);
    ASSERT_TRUE(server);
    UniqueFile client;
    EXPECT_EQ(OpenPipeClient(name.c_str(), GENERIC_READ | GENERIC_WRITE, policy, client),
              DWORD(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(client);
    // Without the check, a server of this process is opened.
    const std::wstring other = UniqueName(L"unchecked");
    UniqueFile unchecked = ListeningServer(other);
    ASSERT_TRUE(unchecked);
    EXPECT_EQ(OpenPipeClient(other.c_str(), GENERIC_READ | GENERIC_WRITE, PipeOpenPolicy(), client), 0u);
}

} // namespace
} // namespace corvel
