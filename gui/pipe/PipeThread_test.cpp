#include "PipeThread.h"

#include "FakeService.h"
#include "PipeClientOpen.h"
#include "Records.h"
#include "TestWindow.h"

#include <gtest/gtest.h>

#include <vector>

namespace corvel {
namespace {

using pipetest::CTestWindow;
using pipetest::RecordedMessage;
using Bytes = std::vector<uint8_t>;

// Builders get no context, as in the program: what they read and record is process-wide.
std::vector<uint32_t> g_offered; // the size each builder call was offered
uint8_t g_loadIndex = 0;

int BuildStatus(uint32_t& size, uint8_t* buffer) {
    g_offered.push_back(size);
    return CopyRequestFrame(BuildVpnStatusRequest(), size, buffer);
}

int BuildSave(uint32_t& size, uint8_t* buffer) {
    g_offered.push_back(size);
    VPNCONFIG config{};
    return CopyRequestFrame(BuildSaveConfigRequest(3, config), size, buffer);
}

int BuildNextRecord(uint32_t& size, uint8_t* buffer) {
    g_offered.push_back(size);
    return CopyRequestFrame(BuildLoadConfigRequest(g_loadIndex), size, buffer);
}

int BuildNothing(uint32_t& size, uint8_t*) {
    g_offered.push_back(size);
    size = 0;
    return 0;
}

int BuildNeverFits(uint32_t& size, uint8_t*) {
    g_offered.push_back(size);
    size = size + 1;
    return 0;
}

class PipeThreadTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_offered.clear();
        g_loadIndex = 0;
        ASSERT_NE(window.Hwnd(), nullptr);
    }
    void TearDown() override {
        if (thread)
            thread.Quit(kPipeThreadQuitWaitMs);
    }
    void StartThread(DWORD timeoutMs = kPipeRequestTimeoutMs) {
        ASSERT_EQ(StartPipeThread(thread, timeoutMs), 0u);
    }
    void Post(ServiceRequestBuilder builder) { ASSERT_TRUE(PostPipeRequest(thread, window.Hwnd(), builder)); }
    // Ends the thread while this thread takes what it sends: after this nothing more can come.
    void QuitAndDrain() {
        const HANDLE handle = thread.Handle();
        ASSERT_TRUE(thread.Post(WM_QUIT, 0, 0));
        ASSERT_TRUE(window.WaitForHandle(handle, 10000));
        thread.Quit(0);
    }
    static void ExpectFailure(const RecordedMessage& m) {
        EXPECT_EQ(m.Message, WM_PIPE_REPLY);
        EXPECT_EQ(m.WParam, 0u);
        EXPECT_EQ(m.LParam, 0);
    }

    CTestWindow window;
    CThreadOwner thread;
};

TEST_F(PipeThreadTest, WithoutServiceEveryRequestFailsOnceAndNothingIsBuilt) {
    StartThread();
    Post(BuildStatus);
    Post(BuildSave);
    Post(BuildStatus);
    QuitAndDrain();
    ASSERT_EQ(window.Messages().size(), 3u);
    for (const RecordedMessage& m : window.Messages())
        ExpectFailure(m);
    EXPECT_TRUE(g_offered.empty());
}

TEST_F(PipeThreadTest, LongRequestIsBuiltInTwoCallsAndWrittenWhole) {
    CFakeService service(ScriptedResponder({FakeExchange::Answer(FakeReply(CMD_SAVE_CONFIG, 0, {3}))}));
    ASSERT_EQ(service.Start(), 0u);
    StartThread();
    Post(BuildSave);
    ASSERT_TRUE(window.WaitForMessages(1, 10000));
    EXPECT_EQ(g_offered, (std::vector<uint32_t>{256, 1135}));
    const std::vector<FakeRequest> requests = service.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].Frame.size(), 1135u);
    EXPECT_EQ(requests[0].Writes, 1u);
    const RecordedMessage& m = window.Messages()[0];
    EXPECT_EQ(m.WParam, 5u);
    EXPECT_EQ(m.Frame, (Bytes{0x91, 0, 0, 5, 0, 0, 0, 0, 3}));
}

TEST_F(PipeThreadTest, RepliesArriveWholeAndInPostingOrder) {
    // A reply of DataLength 4, one in short pieces, and five record loads whose builder reads the
    // index that the previous reply's handler advanced.
    Bytes status = FakeReply(CMD_VPN_STATUS, 0, Bytes(20, 0));
    status[8 + 2] = 2;
    std::vector<FakeExchange> script;
    script.push_back(FakeExchange::Answer(FakeReply(CMD_ERR_RESTART_CHK, 0)));
    FakeExchange pieces = FakeExchange::Answer(status);
    pieces.Chunks = {6, 3};
    script.push_back(pieces);
    for (uint8_t item = 0; item < 5; ++item)
        script.push_back(FakeExchange::Answer(FakeReply(CMD_LOAD_CONFIG, 0, {item, 0, 0, 0, 0})));
    CFakeService service(ScriptedResponder(script));
    ASSERT_EQ(service.Start(), 0u);
    window.OnReply = [](const RecordedMessage& m) {
        if (m.Frame.size() > 8 && m.Frame[0] == REPLY_LOAD_CONFIG)
            ++g_loadIndex;
    };
    StartThread();
    Post([](uint32_t& size, uint8_t* buffer) {
        return CopyRequestFrame(BuildErrRestartChkRequest(), size, buffer);
    });
    Post(BuildStatus);
    for (int i = 0; i < 5; ++i)
        Post(BuildNextRecord);
    ASSERT_TRUE(window.WaitForMessages(7, 10000));

    const std::vector<RecordedMessage>& m = window.Messages();
    EXPECT_EQ(m[0].WParam, 4u);
    EXPECT_EQ(m[0].Frame, (Bytes{0x41, 0, 0, 4, 0, 0, 0, 0}));
    EXPECT_EQ(m[1].WParam, 24u);
    EXPECT_EQ(m[1].Frame, status);
    for (uint8_t item = 0; item < 5; ++item) {
        SCOPED_TRACE(item);
        ASSERT_EQ(m[2 + item].Frame.size(), 13u);
        EXPECT_EQ(m[2 + item].Frame[8], item);
    }
    const std::vector<FakeRequest> requests = service.Requests();
    ASSERT_EQ(requests.size(), 7u);
    for (uint8_t item = 0; item < 5; ++item)
        EXPECT_EQ(requests[2 + item].Frame, (Bytes{0x12, 0, 0, 1, item}));
}

TEST_F(PipeThreadTest, BrokenExchangesEachReportOneFailureAndTheThreadGoesOn) {
    std::vector<FakeExchange> script;
    script.push_back(FakeExchange::Answer({0xB1, 0, 0, 3, 0, 0, 0})); // no room for ResultCode
    script.push_back(FakeExchange::Hangup());                         // no reply at all
    script.push_back({FakeExchange::Action::Close, FakeReply(CMD_VPN_STATUS, 0), {}}); // head says more
    script.back().Reply[3] = 24;
    script.push_back(FakeExchange::Answer(FakeReply(CMD_VPN_STATUS, 0, Bytes(20, 1))));
    CFakeService service(ScriptedResponder(script));
    ASSERT_EQ(service.Start(), 0u);
    StartThread(2000);
    for (int i = 0; i < 4; ++i)
        Post(BuildStatus);
    Post(BuildNothing);
    Post(BuildNeverFits);
    QuitAndDrain();
    const std::vector<RecordedMessage>& m = window.Messages();
    ASSERT_EQ(m.size(), 6u);
    for (size_t i : {0u, 1u, 2u, 4u, 5u}) {
        SCOPED_TRACE(i);
        ExpectFailure(m[i]);
    }
    EXPECT_EQ(m[3].WParam, 24u);
    // The failed builds sent nothing; the second builder was offered what it asked once.
    EXPECT_EQ(service.Requests().size(), 4u);
    EXPECT_EQ(g_offered, (std::vector<uint32_t>{256, 256, 256, 256, 256, 256, 257}));
}

TEST_F(PipeThreadTest, BusyServiceFailsTheRequestAndTheNextOneGetsThrough) {
    CFakeService service(
        ScriptedResponder({FakeExchange::Answer(FakeReply(CMD_VPN_STATUS, 0, Bytes(20, 0)))}), 1, 200);
    ASSERT_EQ(service.Start(), 0u);
    // Holds the only instance: every attempt finds the pipe busy for the whole default wait.
    UniqueFile blocker;
    ASSERT_EQ(OpenPipeClient(kServicePipeName, GENERIC_READ | GENERIC_WRITE, PipeOpenPolicy(), blocker), 0u);
    ASSERT_TRUE(service.WaitForConnections(1, 5000));
    StartThread();
    Post(BuildStatus);
    ASSERT_TRUE(window.WaitForMessages(1, 10000));
    ExpectFailure(window.Messages()[0]);
    EXPECT_TRUE(g_offered.empty());

    blocker.reset();
    Post(BuildStatus);
    ASSERT_TRUE(window.WaitForMessages(2, 10000));
    EXPECT_EQ(window.Messages()[1].WParam, 24u);
}

TEST_F(PipeThreadTest, RequestsQueuedBehindQuitAreDroppedWithoutReply) {
    StartThread();
    // This thread takes no sent message until it pumps, so the first request's reply holds the
    // pipe thread while the quit and the second request queue up behind it.
    Post(BuildStatus);
    ASSERT_TRUE(thread.Post(WM_QUIT, 0, 0));
    Post(BuildStatus);
    const HANDLE handle = thread.Handle();
    ASSERT_TRUE(window.WaitForHandle(handle, 10000));
    thread.Quit(0);
    ASSERT_EQ(window.Messages().size(), 1u);
    ExpectFailure(window.Messages()[0]);
}

TEST_F(PipeThreadTest, RequestCarryingItsFrameSendsTheBytesCopiedWhenPosted) {
    CFakeService service(ScriptedResponder({FakeExchange::Answer(FakeReply(CMD_DISCONNECT, 0, {7}))}));
    ASSERT_EQ(service.Start(), 0u);
    StartThread();
    RequestFrame frame = BuildDisconnectRequest(7);
    ASSERT_TRUE(PostPipeRequest(thread, window.Hwnd(), frame));
    frame.assign(frame.size(), 0); // the sender's copy changes nothing once posted
    ASSERT_TRUE(window.WaitForMessages(1, 10000));
    const std::vector<FakeRequest> requests = service.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].Frame, (Bytes{0x02, 0, 0, 1, 7}));
    EXPECT_EQ(window.Messages()[0].Frame, (Bytes{0x82, 0, 0, 5, 0, 0, 0, 0, 7}));

    // Queued behind the quit, or posted after the thread has ended: no reply, nothing sent.
    ASSERT_TRUE(PostPipeRequest(thread, window.Hwnd(), BuildVpnStatusRequest()));
    ASSERT_TRUE(thread.Post(WM_QUIT, 0, 0));
    ASSERT_TRUE(PostPipeRequest(thread, window.Hwnd(), BuildVpnStatusRequest()));
    const HANDLE handle = thread.Handle();
    ASSERT_TRUE(window.WaitForHandle(handle, 10000));
    thread.Quit(0);
    EXPECT_FALSE(PostPipeRequest(thread, window.Hwnd(), BuildVpnStatusRequest()));
    EXPECT_EQ(window.Messages().size(), 2u);
}

TEST_F(PipeThreadTest, ServiceThatNeverAnswersFailsWithinTheBound) {
    CFakeService service(ScriptedResponder({FakeExchange::Silence()}));
    ASSERT_EQ(service.Start(), 0u);
    StartThread(500);
    const ULONGLONG start = ::GetTickCount64();
    Post(BuildStatus);
    ASSERT_TRUE(window.WaitForMessages(1, 10000));
    const ULONGLONG elapsed = ::GetTickCount64() - start;
    ExpectFailure(window.Messages()[0]);
    EXPECT_GE(elapsed, 400u);
    EXPECT_LT(elapsed, 5000u);
}

} // namespace
} // namespace corvel
