// No client can hold a worker: each way of stalling a request ends within the deadline,
// and the workers' stop ends it at once.
#include "CommandReader.h"
#include "GuiForwarder.h"
#include "TestPipes.h"

#include <gtest/gtest.h>

namespace corvel {
namespace {

using test::CServedPipe;
using Bytes = std::vector<uint8_t>;

constexpr DWORD kShortDeadlineMs = 400;

class DeadlineTest : public ::testing::Test {
protected:
    void SetUp() override { SetPipeIoTimeoutMs(kShortDeadlineMs); }
    void TearDown() override { SetPipeIoTimeoutMs(kPipeIoTimeoutMs); }

    // Waits for the served request to end; the milliseconds it took after the client came.
    static ULONGLONG WaitServed(CServedPipe& served, ULONGLONG since) {
        served.Join();
        return ::GetTickCount64() - since;
    }
};

TEST_F(DeadlineTest, StalledClientsLoseTheirConnection) {
    struct Case {
        const char* Name;
        Bytes Sent;
    } cases[] = {
        {"sends nothing", {}},
        {"sends half a head", {0x31, 0}},
        {"announces 16 MiB and stops", {0x11, 0xFF, 0xFF, 0xFF, 3, 0, 0}},
        {"never reads its reply", {0x31, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        CServedPipe served;
        UniqueFile client = test::OpenClientPipe(served.Name);
        ASSERT_TRUE(client) << c.Name;
        const ULONGLONG since = ::GetTickCount64();
        ASSERT_EQ(0u, test::WriteBytes(client.get(), c.Sent)) << c.Name;
        // The client neither writes nor reads any more, nor closes.
        const ULONGLONG took = WaitServed(served, since);
        EXPECT_LT(took, 2 * kShortDeadlineMs + 1500) << c.Name;
        // Its connection is gone: a read ends instead of waiting.
        uint8_t byte = 0;
        DWORD got = 0;
        CPipeIo io(client.get(), 2000);
        EXPECT_NE(0u, io.ReadExact(&byte, 1, got)) << c.Name;
    }
}

TEST_F(DeadlineTest, TheDefaultDeadlineDropsASilentClient) {
    SetPipeIoTimeoutMs(kPipeIoTimeoutMs);
    CServedPipe served;
    UniqueFile client = test::OpenClientPipe(served.Name);
    ASSERT_TRUE(client);
    const ULONGLONG since = ::GetTickCount64();
    const ULONGLONG took = WaitServed(served, since);
    EXPECT_GE(took + 100, kPipeIoTimeoutMs);
    EXPECT_LT(took, kPipeIoTimeoutMs + 2000);
}

TEST_F(DeadlineTest, TheStopEndsAWaitingRequestAtOnce) {
    SetPipeIoTimeoutMs(60000);
    UniqueEvent stop(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    CServedPipe served(L"stop", stop.get());
    UniqueFile client = test::OpenClientPipe(served.Name);
    ASSERT_TRUE(client);
    ASSERT_EQ(0u, test::WriteBytes(client.get(), {0x12, 0, 0, 9}));
    const ULONGLONG since = ::GetTickCount64();
    ::SetEvent(stop.get());
    EXPECT_LT(WaitServed(served, since), 3000u);
}

TEST_F(DeadlineTest, AGuiThatNeverReadsCannotHoldTheForward) {
    const std::wstring name = test::UniquePipeName(L"deafgui");
    UniqueFile gui = test::CreateServerPipe(name);
    ASSERT_TRUE(gui);
    SetGuiPipeName(name.c_str());
    // A message bigger than any pipe buffer: the write can only end by the deadline.
    Bytes big(1 << 20, 0x41);
    const ULONGLONG since = ::GetTickCount64();
    EXPECT_NE(0u, ForwardToGui(big.data(), DWORD(big.size()), nullptr));
    EXPECT_LT(::GetTickCount64() - since, 2 * kShortDeadlineMs + 1500);
    SetGuiPipeName(nullptr);
}

} // namespace
} // namespace corvel
