// The tray program's notification server against the shipped CORVELSVC.exe under Wine's service
// manager, the service manager's own answer deciding who the service is: while strangers hold
// the pipe (silent connections that come back after each cut) or flood it, every state change
// the service forwards still arrives, and promptly. Each case prints its figures.
#include "NotificationServer.h"

#include "E2eHarness.h"
#include "GuiWriterProcess.h"
#include "Requests.h"
#include "TestWindow.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

namespace corvel {
namespace {

using namespace e2e;
using pipetest::CTestWindow;

constexpr DWORD kStartMs = 15000;
constexpr DWORD kStopMs = 30000;
constexpr DWORD kStrangerStartMs = 30000;
// A forward gives up after half a second: a state not here by then is lost for good.
constexpr DWORD kLostAfterMs = 2000;
constexpr int kStates = 14;
constexpr unsigned kFloodCount = 2000;
// What the flood writes: connection 20 connecting, a state no case sends through the service.
const std::vector<uint8_t> kFloodBytes = {0x41, 0, 0, 3, 19, 2, 0};

struct Strangers {
    const char* Name;
    int Holders;
    bool Flood;
};

void PrintTo(const Strangers& s, std::ostream* out) {
    *out << s.Name;
}

class NotificationServiceTest : public ::testing::TestWithParam<Strangers> {
protected:
    NotificationServiceTest() : Folder(L"Notification-Service") {}

    void SetUp() override {
        ASSERT_EQ(0u, Folder.Create());
        ASSERT_EQ(0u, Folder.CopyIn(ToWindowsPath(CORVEL_E2E_SERVICE_EXE)));
        ASSERT_EQ(0u, Service.InstallAndRun(kServiceName, Folder.File(L"CORVELSVC.exe"), kStartMs));
        ASSERT_NE(nullptr, Window.Hwnd());
        ASSERT_EQ(0u, Server.StartNotificationServer(Window.Hwnd()));
    }
    void TearDown() override {
        Stranger.Stop();
        Server.StopNotificationServer();
        if (Service.Installed()) {
            EXPECT_EQ(0u, Service.Stop(kStopMs));
        }
    }

    static const std::wstring& WriterProgram() {
        static const std::wstring path = ToWindowsPath(CORVEL_GUIWRITER_EXE);
        return path;
    }

    // Whether the service's state message for connection `index` was posted.
    bool Arrived(UINT message, WPARAM index) const {
        for (const pipetest::RecordedMessage& m : Window.Messages())
            if (m.Message == message && m.WParam == index)
                return true;
        return false;
    }
    // The service forwards the state message; true once posted, with the milliseconds it took.
    bool SendThroughTheService(uint8_t index, uint8_t state, DWORD timeoutMs, double& ms) {
        const double since = NowMs();
        if (CCommandClient().Send(BuildVpnNotifyRequest(index, state, 0)) != 0)
            return false;
        const bool arrived =
            wintest::PumpUntil([&] { return Arrived(WM_VPN_STATE0 + state, index); }, timeoutMs);
        ms = NowMs() - since;
        return arrived;
    }

    CTestFolder Folder;
    CServiceControl Service;
    CTestWindow Window;
    CNotificationServer Server;
    guiwriter::CStranger Stranger;
};

TEST_P(NotificationServiceTest, EveryStateTheServiceSendsArrives) {
    const Strangers& s = GetParam();
    if (s.Holders > 0) {
        ASSERT_EQ(0u, Stranger.StartHolders(WriterProgram(), s.Holders, kStrangerStartMs));
    }
    if (s.Flood) {
        ASSERT_EQ(0u, Stranger.StartFlood(WriterProgram(), kFloodCount, kFloodBytes, kStrangerStartMs));
    }

    int arrived = 0;
    double worstMs = 0;
    for (int i = 0; i < kStates; ++i) {
        double ms = 0;
        if (SendThroughTheService(uint8_t(i), 2, kLostAfterMs, ms)) {
            ++arrived;
            worstMs = std::max(worstMs, ms);
        }
    }
    std::printf("%s: %d of %d states arrived (%d lost), the slowest after %.0f ms\n", s.Name, arrived,
                kStates, kStates - arrived, worstMs);
    EXPECT_EQ(kStates, arrived);

    if (s.Flood) {
        // The flood over, the next state is posted at once: nothing of the flood is queued.
        ASSERT_EQ(0u, Stranger.WaitForEnd(300000)) << "the flood did not end";
        double ms = 0;
        const bool next = SendThroughTheService(17, 1, 300000, ms);
        std::printf("%s: the state after the flood of %u arrived after %.0f ms\n", s.Name, kFloodCount, ms);
        ASSERT_TRUE(next);
        EXPECT_LT(ms, 1000.0);
    }
    EXPECT_FALSE(Arrived(WM_VPN_STATE2, kFloodBytes[4])) << "a stranger's message was posted";
}

INSTANTIATE_TEST_SUITE_P(Strangers, NotificationServiceTest,
                         ::testing::Values(Strangers{"no stranger", 0, false},
                                           Strangers{"one looping silent holder", 1, false},
                                           Strangers{"three looping silent holders", 3, false},
                                           Strangers{"twelve looping silent holders", 12, false},
                                           Strangers{"a flood of 2000", 0, true}),
                         [](const ::testing::TestParamInfo<Strangers>& info) {
                             return info.param.Flood ? std::string("Flood")
                                                     : "Holders" + std::to_string(info.param.Holders);
                         });

} // namespace
} // namespace corvel
