#include "NotificationServer.h"

#include "E2eHarness.h"
#include "FakeService.h"
#include "GuiWriterProcess.h"
#include "PipeClientOpen.h"
#include "TestWindow.h"

#include <gtest/gtest.h>

#include <aclapi.h>

#include <thread>
#include <vector>

namespace corvel {
namespace {

using pipetest::CTestWindow;
using pipetest::RecordedMessage;
using Bytes = std::vector<uint8_t>;

constexpr DWORD kTestReadBoundMs = 300;
// What a stranger's run may take at most: far below a read bound that would let it hold.
constexpr DWORD kStrangerMs = 20000;
constexpr DWORD kLongReadBoundMs = 60000;

const std::wstring& WriterProgram() {
    static const std::wstring path = e2e::ToWindowsPath(CORVEL_GUIWRITER_EXE);
    return path;
}

// A client of the GUI pipe as the service's forwarder is: open (waiting while busy), write, close.
UniqueFile OpenGuiPipe() {
    UniqueFile pipe;
    OpenGuiNotificationPipe(pipe);
    return pipe;
}

void Notify(const Bytes& bytes) {
    ASSERT_EQ(SendGuiNotification(bytes), 0u);
}

const Bytes kSentinel = {0x41, 0, 0, 3, 7, 1, 0}; // index 7 connected

void ExpectMessage(const RecordedMessage& m, UINT message, WPARAM wParam, LPARAM lParam) {
    EXPECT_EQ(m.Message, message);
    EXPECT_EQ(m.WParam, wParam);
    EXPECT_EQ(m.LParam, lParam);
}

class NotificationServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(window.Hwnd(), nullptr);
        ASSERT_EQ(server.StartNotificationServer(window.Hwnd()), 0u);
    }

    // The test process writes as the service does; the writer program is a stranger.
    CThisProcessIsTheService trusted;
    CTestWindow window;
    CNotificationServer server{kTestReadBoundMs};
};

TEST_F(NotificationServerTest, PostsAcceptedMessagesInOrderAndKeepsServing) {
    struct Case {
        const char* name;
        Bytes bytes;
        bool posts;
        UINT message;
        WPARAM wParam;
    };
    const Case cases[] = {
        {"index 4 connecting", {0x41, 0, 0, 3, 4, 2, 0}, true, WM_VPN_STATE2, 4},
        {"index 20", {0x41, 0, 0, 3, 20, 1, 0}, false, 0, 0},
        {"state 3", {0x41, 0, 0, 3, 4, 3, 0}, false, 0, 0},
        {"ras error 691", {0x44, 0, 0, 4, 0, 0, 0x02, 0xB3}, true, WM_VPN_ERROR, 691},
        {"state message of 8 bytes", {0x41, 0, 0, 3, 4, 1, 0, 0}, false, 0, 0},
        {"too much", {0x44, 0, 0, 4, 0, 0, 0x02, 0xB3, 0}, false, 0, 0},
        {"nothing", {}, false, 0, 0},
        {"quit", {0x41, 0, 0, 3, 0, 0, 1}, true, WM_VPN_STATE0, 0},
    };
    size_t expected = 0;
    for (const Case& c : cases) {
        Notify(c.bytes);
        expected += c.posts ? 1 : 0;
    }
    Notify(kSentinel);
    ASSERT_TRUE(window.WaitForMessages(expected + 1, 10000));
    const std::vector<RecordedMessage>& m = window.Messages();
    ASSERT_EQ(m.size(), expected + 1);
    size_t next = 0;
    for (const Case& c : cases) {
        if (!c.posts)
            continue;
        SCOPED_TRACE(c.name);
        ExpectMessage(m[next++], c.message, c.wParam, c.message == WM_VPN_STATE0 ? 1 : 0);
    }
    ExpectMessage(m[next], WM_VPN_STATE1, 7, 0);
}

TEST_F(NotificationServerTest, ClientThatNeverWritesIsGivenUp) {
    UniqueFile silent = OpenGuiPipe();
    ASSERT_TRUE(silent);
    Notify(kSentinel); // busy until the server gives the silent client up
    ASSERT_TRUE(window.WaitForMessages(1, 10000));
    ExpectMessage(window.Messages()[0], WM_VPN_STATE1, 7, 0);
}

// Another process's messages are dropped unread, whatever they say; the service's next one is
// the first to arrive.
TEST_F(NotificationServerTest, AStrangersMessagesPostNothing) {
    const Bytes forged[] = {
        {0x44, 0, 0, 4, 0, 0, 0x02, 0xB3}, // RAS error 691
        {0x41, 0, 0, 3, 0, 0, 1},          // quit
        {0x41, 0, 0, 3, 0, 1, 0},          // connection 1 up
    };
    // Each run ends once the server has let its connection go.
    for (const Bytes& bytes : forged)
        EXPECT_NE(DWORD(ERROR_TIMEOUT),
                  guiwriter::Run(WriterProgram(), L"write " + guiwriter::Hex(bytes), kStrangerMs));
    Notify(kSentinel);
    ASSERT_TRUE(window.WaitForMessages(1, 10000));
    ExpectMessage(window.Messages()[0], WM_VPN_STATE1, 7, 0);
}

// Cut before any read: a stranger that writes nothing is let go at once, not at the read bound.
TEST(NotificationServer, AStrangerThatWritesNothingIsCutAtOnce) {
    CThisProcessIsTheService trusted;
    CTestWindow window;
    CNotificationServer server(kLongReadBoundMs);
    ASSERT_EQ(server.StartNotificationServer(window.Hwnd()), 0u);
    EXPECT_EQ(0u, guiwriter::Run(WriterProgram(), L"hold-once", kStrangerMs));
    Notify(kSentinel);
    ASSERT_TRUE(window.WaitForMessages(1, 10000));
    ExpectMessage(window.Messages()[0], WM_VPN_STATE1, 7, 0);
}

TEST_F(NotificationServerTest, ThePipeLetsOnlySystemAndThisUserIn) {
    UniqueFile client = OpenGuiPipe();
    ASSERT_TRUE(client);
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_EQ(DWORD(ERROR_SUCCESS),
              ::GetSecurityInfo(client.get(), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                &dacl, nullptr, &descriptor));
    ScopeExit freeDescriptor([&] { ::LocalFree(descriptor); });
    ASSERT_NE(nullptr, dacl);
    ASSERT_EQ(2, dacl->AceCount);

    UniqueHandle<> token;
    ASSERT_TRUE(::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put()));
    uint8_t user[256];
    DWORD size = 0;
    ASSERT_TRUE(::GetTokenInformation(token.get(), TokenUser, user, sizeof user, &size));
    BYTE system[SECURITY_MAX_SID_SIZE];
    DWORD systemSize = sizeof system;
    ASSERT_TRUE(::CreateWellKnownSid(WinLocalSystemSid, nullptr, system, &systemSize));

    struct Expected {
        PSID Sid;
        ACCESS_MASK Required;
        ACCESS_MASK Refused;
    } expected[] = {
        // The tray program's user serves the pipe; SYSTEM, the service, only writes to it.
        {reinterpret_cast<TOKEN_USER*>(user)->User.Sid, FILE_CREATE_PIPE_INSTANCE | FILE_WRITE_DATA, 0},
        {system, FILE_WRITE_DATA, FILE_READ_DATA},
    };
    GENERIC_MAPPING mapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};
    for (WORD i = 0; i < 2; ++i) {
        void* ace = nullptr;
        ASSERT_TRUE(::GetAce(dacl, i, &ace));
        const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
        EXPECT_EQ(ACCESS_ALLOWED_ACE_TYPE, allowed->Header.AceType) << i;
        EXPECT_TRUE(::EqualSid(const_cast<DWORD*>(&allowed->SidStart), expected[i].Sid)) << i;
        ACCESS_MASK mask = allowed->Mask;
        ::MapGenericMask(&mask, &mapping);
        EXPECT_EQ(expected[i].Required, mask & expected[i].Required) << i;
        EXPECT_EQ(0u, mask & expected[i].Refused) << i;
    }
}

TEST_F(NotificationServerTest, StartAgainKeepsTheTargetAndSetNotificationWindowMovesIt) {
    CTestWindow other;
    EXPECT_EQ(server.StartNotificationServer(other.Hwnd()), 0u);
    Notify(kSentinel);
    ASSERT_TRUE(window.WaitForMessages(1, 10000));

    EXPECT_EQ(server.SetNotificationWindow(other.Hwnd()), window.Hwnd()) << "the previous target";
    Notify({0x41, 0, 0, 3, 2, 0, 0});
    ASSERT_TRUE(other.WaitForMessages(1, 10000));
    ExpectMessage(other.Messages()[0], WM_VPN_STATE0, 2, 0);
    EXPECT_EQ(window.Messages().size(), 1u);

    // Given back, as the connection page takes the target back after the connecting dialog.
    EXPECT_EQ(server.SetNotificationWindow(window.Hwnd()), other.Hwnd());
    Notify(kSentinel);
    ASSERT_TRUE(window.WaitForMessages(2, 10000));
    EXPECT_EQ(other.Messages().size(), 1u);
}

TEST_F(NotificationServerTest, NameServedAlreadyFailsTheStartUntilItIsFree) {
    CNotificationServer second(kTestReadBoundMs);
    EXPECT_NE(second.StartNotificationServer(window.Hwnd()), 0u);
    server.StopNotificationServer();
    EXPECT_EQ(second.StartNotificationServer(window.Hwnd()), 0u);
    Notify(kSentinel);
    ASSERT_TRUE(window.WaitForMessages(1, 10000));
}

TEST(NotificationServer, StopReturnsPromptlyWhileWaitingOrReading) {
    CThisProcessIsTheService trusted;
    CTestWindow window;
    CNotificationServer never;
    never.StopNotificationServer(); // never started: nothing to do
    EXPECT_EQ(never.SetNotificationWindow(window.Hwnd()), nullptr);
    EXPECT_EQ(never.SetNotificationWindow(nullptr), window.Hwnd()) << "kept for the start";

    CNotificationServer idle(10000);
    ASSERT_EQ(idle.StartNotificationServer(window.Hwnd()), 0u);
    ULONGLONG start = ::GetTickCount64();
    idle.StopNotificationServer();
    EXPECT_LT(::GetTickCount64() - start, 2000u);

    // A read bound far above what Stop may take: the client holds the thread in its read.
    CNotificationServer reading(10000);
    ASSERT_EQ(reading.StartNotificationServer(window.Hwnd()), 0u);
    UniqueFile silent = OpenGuiPipe();
    ASSERT_TRUE(silent);
    start = ::GetTickCount64();
    reading.StopNotificationServer();
    EXPECT_LT(::GetTickCount64() - start, 2000u);
}

// Connects a client while the pipe exists and the thread has not reached ConnectNamedPipe.
class CEarlyClientServer : public CNotificationServer {
public:
    CEarlyClientServer() : CNotificationServer(kTestReadBoundMs) {}
    ~CEarlyClientServer() override {
        StopNotificationServer();
        if (writer.joinable())
            writer.join();
    }
    UniqueFile client;
    std::thread writer;

protected:
    void OnPipeCreated() override {
        // One attempt: the instance exists and nobody else is connected.
        if (OpenPipeClient(kGuiPipeName, GENERIC_WRITE, PipeOpenPolicy(), client) != 0)
            return;
        // The write may wait for the server's read: not on this thread, which starts the server.
        const HANDLE pipe = client.get();
        writer = std::thread([pipe] {
            const uint8_t bytes[] = {0x41, 0, 0, 3, 4, 2, 0};
            CPipeIo(pipe, 10000).WriteAll(bytes, sizeof bytes);
        });
    }
};

TEST(NotificationServer, ClientConnectedBeforeTheServerWaitsIsServed) {
    CThisProcessIsTheService trusted;
    CTestWindow window;
    CEarlyClientServer server;
    ASSERT_EQ(server.StartNotificationServer(window.Hwnd()), 0u);
    ASSERT_TRUE(server.client);
    ASSERT_TRUE(window.WaitForMessages(1, 10000));
    ExpectMessage(window.Messages()[0], WM_VPN_STATE2, 4, 0);
    server.writer.join();
    server.client.reset();
    Notify(kSentinel);
    ASSERT_TRUE(window.WaitForMessages(2, 10000));
    ExpectMessage(window.Messages()[1], WM_VPN_STATE1, 7, 0);
}

} // namespace
} // namespace corvel
