// The main frame in this process under Wine with a display, against the fake service on
// the command pipe: start-up with and without a service, the first requests, replies,
// notifications on the notification pipe, Quit, the version box, and what the frame offers
// the windows (CMainFrameServices).
#include "MainFrameTestFixture.h"

#include "Menu.h"
#include "TestWindow.h"

namespace corvel {

CCorvelApp g_app; // the test program's application object; InitInstance never runs here

namespace {

using namespace testfixture;
using wintest::PumpFor;
using wintest::PumpUntil;

TEST_F(MainFrameTest, StartupWithServiceSendsTheRequestsInOrderAndStoresTheRecords) {
    WritePrm("2\r\nrest");
    Script.States[3] = 1;
    StartService();
    CMessageBoxRecorder boxes;
    CreateFrame();
    WaitForStartupRequests();

    const std::vector<FakeRequest> requests = Service->Requests();
    ASSERT_EQ(requests.size(), 23u);
    EXPECT_EQ(requests[0].Frame, Bytes({0x12, 0, 0, 1, PROBE_ITEM}));
    EXPECT_EQ(requests[1].Frame, Bytes({0xC1, 0, 0, 0}));
    EXPECT_EQ(requests[2].Frame, Bytes({0x31, 0, 0, 0}));
    for (uint8_t i = 0; i < 20; ++i)
        EXPECT_EQ(requests[3 + i].Frame, Bytes({0x12, 0, 0, 1, i})) << int(i);
    EXPECT_TRUE(boxes.Calls.empty());
    EXPECT_EQ(ReadPrm(), "0\r\nrest");
    EXPECT_EQ(Frame->GetConnectStates()[3], 1);
    EXPECT_EQ(Frame->GetTrayIconId(), 130u);
    EXPECT_EQ(Frame->GetTrayIconData().uCallbackMessage, 1034u);
    EXPECT_STREQ(Frame->GetTrayIconData().szTip, L"Corvel");
    EXPECT_FALSE(Frame->IsWindowVisible());
    // Started by the user: the settings dialog opens once the 20th record is in.
    ASSERT_TRUE(PumpUntil([&] { return Frame->SettingsOpenings == 1; }));
    EXPECT_EQ(Frame->ActiveIndex, 3);
    EXPECT_STREQ(GetMenuItemText(GetPopup(Frame->GetTrayMenu(), 0).get(), 4, true).c_str(), L"終了(&Q)");
}

TEST_F(MainFrameTest, TrayIconIsAddedAgainWhenTheShellStartsAfresh) {
    StartService();
    CMessageBoxRecorder boxes;
    CreateFrame();
    WaitForStartupRequests();
    NOTIFYICONDATAW data = Frame->GetTrayIconData();
    // As a shell that restarts has lost every icon.
    ASSERT_TRUE(::Shell_NotifyIconW(NIM_DELETE, &data));
    ASSERT_FALSE(::Shell_NotifyIconW(NIM_MODIFY, &data));
    Frame->SendMessage(::RegisterWindowMessageW(L"TaskbarCreated"));
    EXPECT_TRUE(::Shell_NotifyIconW(NIM_MODIFY, &data));
}

TEST_F(MainFrameTest, RefusedRecordIsAskedForAgain) {
    Script.WrongRecordAt = 6;
    StartService();
    CMessageBoxRecorder boxes;
    CreateFrame();
    ASSERT_TRUE(PumpUntil([&] { return Service->Requests().size() >= 23; }));
    ASSERT_TRUE(PumpUntil([&] { return Frame->GetLoadIndex() == 19; }));
    const std::vector<FakeRequest> requests = Service->Requests();
    std::vector<uint8_t> items;
    for (size_t i = 3; i < requests.size(); ++i)
        items.push_back(requests[i].Frame.at(4));
    const std::vector<uint8_t> expected = {0, 1,  2,  3,  4,  5,  6,  6,  7,  8,
                                           9, 10, 11, 12, 13, 14, 15, 16, 17, 18};
    EXPECT_EQ(items, expected);
    EXPECT_EQ(BoxesWith(boxes, 213), 1u);
    EXPECT_EQ(Records(), 19u);
    EXPECT_EQ(Frame->SettingsOpenings, 0);
}

// The pipe thread waits in its SendMessageW while a reply is handled: the failure box must not
// keep it there (and every request behind it) while the user reads it.
TEST_F(MainFrameTest, TheLoadFailureBoxComesOnlyAfterThePipeThreadIsLetGo) {
    Script.WrongRecordAt = 6;
    StartService();
    CMessageBoxRecorder boxes;
    bool insideTheReply = false;
    boxes.OnBox = [&](const MessageBoxCall&) { insideTheReply = insideTheReply || ::InSendMessage(); };
    CreateFrame();
    ASSERT_TRUE(PumpUntil([&] { return BoxesWith(boxes, 213) == 1; }));
    EXPECT_FALSE(insideTheReply);
}

TEST_F(MainFrameTest, CommandLineOfTheServiceMarksTheConnection) {
    g_app.m_cmdLine = L"vpn3"; // "connect vpn3" after the program name is cut
    Script.States[0] = 1;      // not taken while the auto-connect is pending
    StartService();
    CreateFrame();
    WaitForStartupRequests();
    EXPECT_EQ(Frame->GetConnectStates()[2], 2);
    EXPECT_EQ(Frame->GetConnectStates()[0], 0);
    ASSERT_TRUE(PumpUntil([&] { return Frame->SettingsOpenings == 1; }));
    EXPECT_EQ(Frame->ActiveIndex, 2);
    EXPECT_FALSE(Frame->IsAutoConnectPending());
    EXPECT_TRUE(Frame->GetLaunchedWithVpn());
    Frame->ClearLaunchedWithVpn(); // a setting page's first edit
    EXPECT_FALSE(Frame->GetLaunchedWithVpn());
}

TEST_F(MainFrameTest, WaitDialogThenServiceReady) {
    WritePrm("1");
    OnWaitDialog = [this](CDlgVpnInit& dialog) {
        StartService();
        dialog.SendMessage(WM_TIMER, CDlgVpnInit::kProbeTimer);
    };
    CMessageBoxRecorder boxes;
    CreateFrame();
    EXPECT_EQ(Frame->GetStartupWaitFlags().ServiceReady, 1u);
    WaitForStartupRequests(1); // the dialog's probe, then the 22
    EXPECT_TRUE(boxes.Calls.empty());
    EXPECT_EQ(ReadPrm(), "0");
}

TEST_F(MainFrameTest, WaitDialogCancelledClosesSilently) {
    WritePrm("1");
    OnWaitDialog = [](CDlgVpnInit& dialog) { dialog.PostMessage(WM_CLOSE); };
    CMessageBoxRecorder boxes;
    CreateFrame();
    EXPECT_EQ(Frame->GetStartupWaitFlags().StartupCancelled, 1u);
    ASSERT_TRUE(PumpUntil([&] { return Gone(); }));
    EXPECT_TRUE(boxes.Calls.empty());
    EXPECT_EQ(ReadPrm(), "1");
}

TEST_F(MainFrameTest, TimedOutStartsCountTowardsTheSecondMessage) {
    WritePrm("0\r\nkeep");
    OnWaitDialog = [](CDlgVpnInit& dialog) { dialog.SendMessage(WM_TIMER, CDlgVpnInit::kGiveUpTimer); };
    const struct {
        unsigned text;
        const char* stored;
    } starts[] = {{227, "1\r\nkeep"}, {227, "2\r\nkeep"}, {228, "2\r\nkeep"}};
    for (const auto& start : starts) {
        CMessageBoxRecorder boxes;
        CreateFrame();
        ASSERT_TRUE(PumpUntil([&] { return Gone(); }));
        ASSERT_EQ(boxes.Calls.size(), 1u);
        EXPECT_EQ(boxes.Calls[0].Text, BuiltinUiText(start.text));
        EXPECT_EQ(boxes.Calls[0].Type & MB_ICONMASK, UINT(MB_ICONEXCLAMATION));
        EXPECT_EQ(ReadPrm(), start.stored);
        Frame.reset();
    }
}

TEST_F(MainFrameTest, TimedOutWithoutTheFileCreatesNothing) {
    OnWaitDialog = [](CDlgVpnInit& dialog) { dialog.SendMessage(WM_TIMER, CDlgVpnInit::kGiveUpTimer); };
    CMessageBoxRecorder boxes;
    CreateFrame();
    ASSERT_TRUE(PumpUntil([&] { return Gone(); }));
    ASSERT_EQ(boxes.Calls.size(), 1u);
    EXPECT_EQ(boxes.Calls[0].Text, BuiltinUiText(227));
    EXPECT_EQ(::GetFileAttributesW(PrmPath.c_str()), INVALID_FILE_ATTRIBUTES);
}

// A status reply delivered as the pipe thread delivers it.
void SendStatusReply(CMainFrame& frame, const std::array<uint8_t, 20>& states, size_t length = 20) {
    std::vector<uint8_t> reply = FakeReply(CMD_VPN_STATUS, 0, {states.begin(), states.begin() + length});
    frame.SendMessage(WM_PIPE_REPLY, reply.size() - 4, reinterpret_cast<LPARAM>(reply.data()));
}

TEST_F(MainFrameTest, StatusTablesChooseTheIcon) {
    StartService();
    CreateFrame();
    WaitForStartupRequests();
    struct Case {
        std::array<uint8_t, 20> states;
        UINT icon;
    };
    const Case cases[] = {
        {{0, 0, 2, 1}, 130},
        {{0, 2}, 145},
        {{0, 7, 0, 1}, 130},
        {{}, 145},
        {{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}, 130},
    };
    CMessageBoxRecorder boxes;
    for (const Case& c : cases) {
        SendStatusReply(*Frame, c.states);
        EXPECT_EQ(Frame->GetTrayIconId(), c.icon);
    }
    EXPECT_TRUE(boxes.Calls.empty());
    SendStatusReply(*Frame, {0, 1}, 4); // too short: refused, nothing changes
    wintest::PumpPosted();              // the box comes after the reply
    EXPECT_EQ(BoxesWith(boxes, 213), 1u);
    EXPECT_EQ(Frame->GetConnectStates()[19], 1);
}

TEST_F(MainFrameTest, NotificationsUpdateStatesAndIcon) {
    StartService();
    CreateFrame();
    WaitForStartupRequests();
    Notify({0x41, 0, 0, 3, 4, 1, 0});
    ASSERT_TRUE(PumpUntil([&] { return Frame->GetConnectStates()[4] == 1; }));
    EXPECT_EQ(Frame->GetTrayIconId(), 130u);
    Notify({0x41, 0, 0, 3, 6, 2, 0}); // connecting: the frame changes nothing
    Notify({0x41, 0, 0, 3, 4, 0, 0});
    ASSERT_TRUE(PumpUntil([&] { return Frame->GetConnectStates()[4] == 0; }));
    EXPECT_EQ(Frame->GetTrayIconId(), 145u);
    EXPECT_EQ(Frame->GetConnectStates()[6], 0);
    EXPECT_FALSE(Gone());
    // QuitGui: icon 145 and Quit, which asks nothing with no connection connected.
    CMessageBoxRecorder boxes;
    Notify({0x41, 0, 0, 3, 4, 0, 1});
    ASSERT_TRUE(PumpUntil([&] { return Gone(); }));
    EXPECT_TRUE(boxes.Calls.empty());
}

class QuitTest : public MainFrameTest {
protected:
    void StartConnected(uint8_t index, uint8_t state) {
        Script.States[index] = state;
        StartService();
        CreateFrame();
        WaitForStartupRequests();
    }
};

TEST_F(QuitTest, ConnectedAsksOnceAndDisconnectsThatConnection) {
    StartConnected(2, 1);
    CMessageBoxRecorder boxes;
    Quit();
    ASSERT_TRUE(PumpUntil([&] { return Gone(); }));
    EXPECT_EQ(BoxesWith(boxes, 216), 1u);
    EXPECT_EQ(boxes.Calls.size(), 1u);
    EXPECT_EQ(boxes.Calls[0].Type, UINT(MB_OKCANCEL | MB_ICONQUESTION));
    const std::vector<FakeRequest> requests = Service->Requests();
    EXPECT_EQ(requests.back().Frame, Bytes({0x02, 0, 0, 1, 2}));
}

TEST_F(QuitTest, RefusedDisconnectStillQuits) {
    Script.DisconnectResult = 2250;
    StartConnected(5, 1);
    CMessageBoxRecorder boxes;
    Quit();
    ASSERT_TRUE(PumpUntil([&] { return Gone(); }));
    EXPECT_EQ(BoxesWith(boxes, 216), 1u);
    EXPECT_EQ(BoxesWith(boxes, 215), 1u);
}

TEST_F(QuitTest, DisconnectWithoutReplyStillQuits) {
    Script.DisconnectSilent = true;
    StartConnected(0, 1);
    CMessageBoxRecorder boxes;
    Quit();
    ASSERT_TRUE(PumpUntil([&] { return Gone(); }));
    EXPECT_EQ(BoxesWith(boxes, 216), 1u);
}

TEST_F(QuitTest, CancelKeepsRunning) {
    StartConnected(2, 1);
    CMessageBoxRecorder boxes;
    boxes.Answers = {IDCANCEL};
    const size_t before = Service->Requests().size();
    Quit();
    ASSERT_TRUE(PumpUntil([&] { return boxes.Calls.size() == 1; }));
    PumpFor(200); // whatever Cancel might still post
    EXPECT_FALSE(Gone());
    EXPECT_EQ(Service->Requests().size(), before);
}

TEST_F(QuitTest, ConnectingOnlyQuitsWithoutAsking) {
    StartConnected(1, 2);
    CMessageBoxRecorder boxes;
    Quit();
    ASSERT_TRUE(PumpUntil([&] { return Gone(); }));
    EXPECT_TRUE(boxes.Calls.empty());
}

TEST_F(QuitTest, BusyFlagOnlyClosesTheDialogs) {
    StartConnected(1, 0);
    Frame->PostMessage(WM_COMMAND, ID_APP_ABOUT);
    ASSERT_TRUE(PumpUntil([&] { return Frame->IsAboutOpen(); }));
    Frame->SendMessage(WM_BUSY_FLAGS, 1, 1);
    Quit();
    ASSERT_TRUE(PumpUntil([&] { return !Frame->IsAboutOpen(); }));
    PumpFor(200);
    EXPECT_FALSE(Gone());
    Frame->SendMessage(WM_BUSY_FLAGS, 1, 0);
    Quit();
    ASSERT_TRUE(PumpUntil([&] { return Gone(); }));
}

// The connection page's press (BusyFlag::ConnectPress) holds a Quit, which would otherwise be lost: it runs
// once the press, and a save the press left in flight (BusyFlag::Settings), have ended, and asks then as any
// Quit does.
TEST_F(QuitTest, AQuitThatAPressHeldRunsOnceThePressAndItsSaveHaveEnded) {
    StartConnected(2, 1);
    CMessageBoxRecorder boxes;
    Frame->SendMessage(WM_BUSY_FLAGS, 1, 1);
    Quit();
    PumpFor(200);
    EXPECT_FALSE(Gone());
    EXPECT_TRUE(boxes.Calls.empty());
    Frame->SendMessage(WM_BUSY_FLAGS, 0, 1);
    Frame->SendMessage(WM_BUSY_FLAGS, 1, 0); // the press stops, its save goes on
    PumpFor(200);
    EXPECT_FALSE(Gone());
    EXPECT_TRUE(boxes.Calls.empty());
    Frame->SendMessage(WM_BUSY_FLAGS, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return Gone(); }));
    EXPECT_EQ(BoxesWith(boxes, 216), 1u);
    EXPECT_EQ(Service->Requests().back().Frame, Bytes({0x02, 0, 0, 1, 2}));
}

std::vector<HWND> VersionBoxWindows() {
    return wintest::OpenDialogs(IDD_VERINFO);
}

TEST_F(MainFrameTest, VersionBoxOpensOnceClosesWithEscapeAndOpensAgain) {
    StartService();
    CreateFrame();
    WaitForStartupRequests();
    Frame->PostMessage(WM_COMMAND, ID_APP_ABOUT);
    ASSERT_TRUE(PumpUntil([&] { return Frame->IsAboutOpen(); }));
    CModelessDialog* first = Frame->GetAboutBox();
    ASSERT_NE(first, nullptr);
    const HWND box = first->m_hWnd;
    EXPECT_TRUE(::IsWindowVisible(box));
    Frame->PostMessage(WM_COMMAND, ID_APP_ABOUT);
    PumpFor(100);
    EXPECT_EQ(Frame->GetAboutBox(), first);
    EXPECT_EQ(VersionBoxWindows(), std::vector<HWND>{box}) << "the item again activates the open box";
    wintest::PostKey(box, VK_ESCAPE);
    ASSERT_TRUE(PumpUntil([&] { return !Frame->IsAboutOpen(); }));
    EXPECT_FALSE(::IsWindow(box));
    EXPECT_EQ(Frame->GetAboutBox(), nullptr);
    EXPECT_FALSE(Frame->IsBusy(BusyFlag::VersionBox));
    Frame->PostMessage(WM_COMMAND, ID_APP_ABOUT);
    ASSERT_TRUE(PumpUntil([&] { return Frame->IsAboutOpen(); }));
    EXPECT_EQ(VersionBoxWindows().size(), 1u);
    EXPECT_TRUE(Frame->GetAboutBox()->RequestClose());
    EXPECT_FALSE(Frame->IsAboutOpen());
}

TEST_F(QuitTest, CloseDialogsAsksEveryOpenWindowAndOneThatStaysOpenKeepsTheProgram) {
    Settings = SettingsWindow::StandIn;
    StartConnected(1, 0);
    ASSERT_TRUE(PumpUntil([&] { return Frame->IsSettingsOpen(); }));
    const size_t requests = Service->Requests().size();
    Frame->SendMessage(WM_TRAY_NOTIFY, 0, WM_LBUTTONDBLCLK);
    EXPECT_EQ(Service->Requests().size(), requests) << "a double click while the dialog is open";

    Frame->Settings->StayOpen = true; // asking whether to save, say
    Frame->PostMessage(WM_COMMAND, ID_APP_ABOUT);
    ASSERT_TRUE(PumpUntil([&] { return Frame->IsAboutOpen(); }));
    Quit();
    ASSERT_TRUE(PumpUntil([&] { return !Frame->IsAboutOpen(); }))
        << "asked after the settings window, which stayed";
    PumpFor(200);
    EXPECT_FALSE(Gone());
    EXPECT_TRUE(Frame->IsSettingsOpen());
    EXPECT_EQ(Frame->GetCloseRefused(), 1u) << "the settings window's answer counts, not the last one";

    Frame->Settings->StayOpen = false;
    Quit();
    ASSERT_TRUE(PumpUntil([&] { return Gone(); }));
    EXPECT_FALSE(Frame->IsSettingsOpen()) << "cleared by the window as it went";
}

// What the windows ask of the frame, through the interface they see.
class FrameServicesTest : public MainFrameTest {
protected:
    void SetUp() override {
        MainFrameTest::SetUp();
        StartService();
        CreateFrame();
        WaitForStartupRequests();
        ASSERT_EQ(&GetMainFrameServices(), static_cast<CMainFrameServices*>(Frame.get()));
    }
    CMainFrameServices& Seam() { return GetMainFrameServices(); }
};

TEST_F(FrameServicesTest, RecordsStatesAndOneRecordReloaded) {
    const CConfigRecordsView records = Seam().GetConfigRecords();
    ASSERT_NE(records.Bytes(), nullptr);
    EXPECT_EQ(records.Bytes()[7 * VPNCONFIG::kSize + 100], 0xA7);
    EXPECT_EQ(records.Record(7).Reserved, 0xA7A7A7A7u);
    EXPECT_EQ(records.Record(20).Reserved, 0u) << "no record 20";
    Script.States[3] = 1;
    SendStatusReply(*Frame, Script.States);
    EXPECT_EQ(Seam().GetConnectStates()[3], 1);

    // The connecting dialog reloads the record the credentials dialog may have saved; the
    // 20th record stored again does not reopen the settings dialog.
    const size_t before = Service->Requests().size();
    ASSERT_TRUE(PumpUntil([&] { return Frame->SettingsOpenings == 1; }));
    Seam().RequestRecord(19);
    ASSERT_TRUE(PumpUntil([&] { return Service->Requests().size() == before + 1; }));
    EXPECT_EQ(Service->Requests().back().Frame, Bytes({0x12, 0, 0, 1, 19}));
    ASSERT_TRUE(PumpUntil([&] { return Frame->GetLoadIndex() == 0; }));
    PumpFor(100);
    EXPECT_EQ(Frame->SettingsOpenings, 1);
}

TEST_F(FrameServicesTest, BusyFlagsSentAtOncePostedInTurnAndTheyHoldQuit) {
    Seam().SetBusyFlag(BusyFlag::Settings, true);
    EXPECT_TRUE(Frame->IsBusy(BusyFlag::Settings)) << "sent";
    Quit();
    Seam().PostBusyFlag(BusyFlag::Settings, false);
    EXPECT_TRUE(Frame->IsBusy(BusyFlag::Settings)) << "posted: not yet";
    wintest::PumpPosted();
    EXPECT_FALSE(Frame->IsBusy(BusyFlag::Settings));
    PumpFor(100);
    EXPECT_FALSE(Gone()) << "the Quit posted before the flag was cleared found it set";

    // A busy version box is not closed by Quit, and holds it.
    Frame->PostMessage(WM_COMMAND, ID_APP_ABOUT);
    ASSERT_TRUE(PumpUntil([&] { return Frame->IsAboutOpen(); }));
    Seam().SetBusyFlag(BusyFlag::VersionBox, true);
    Quit();
    PumpFor(200);
    EXPECT_TRUE(Frame->IsAboutOpen());
    EXPECT_FALSE(Gone());
    Seam().SetBusyFlag(BusyFlag::VersionBox, false);
    Seam().PostQuitRequest(); // as the settings dialog asks
    ASSERT_TRUE(PumpUntil([&] { return Gone(); }));
}

TEST_F(FrameServicesTest, TrayIconFollowsAConnectionUpAndDown) {
    Seam().SetTrayIcon(true, 5);
    EXPECT_EQ(Frame->GetTrayIconId(), 130u) << "sent: done on return";
    EXPECT_EQ(Frame->GetConnectStates()[5], 1);
    Seam().SetTrayIcon(false, 5);
    EXPECT_EQ(Frame->GetTrayIconId(), 145u);
    EXPECT_EQ(Frame->GetConnectStates()[5], 0);
}

TEST_F(FrameServicesTest, NotificationTargetMovesAndIsGivenBack) {
    pipetest::CTestWindow page;
    const HWND previous = Seam().SetNotificationWindow(page.Hwnd());
    EXPECT_EQ(previous, Frame->m_hWnd) << "the frame follows from the first status reply on";
    Notify({0x41, 0, 0, 3, 4, 1, 0});
    ASSERT_TRUE(page.WaitForMessages(1, 10000));
    EXPECT_EQ(page.Messages()[0].Message, UINT(WM_VPN_STATE1));
    PumpFor(100);
    EXPECT_EQ(Frame->GetConnectStates()[4], 0) << "not the frame's any more";

    EXPECT_EQ(Seam().SetNotificationWindow(previous), page.Hwnd());
    Notify({0x41, 0, 0, 3, 4, 1, 0});
    ASSERT_TRUE(PumpUntil([&] { return Frame->GetConnectStates()[4] == 1; }));
    EXPECT_EQ(page.Messages().size(), 1u);
}

} // namespace
} // namespace corvel

namespace corvel {
namespace {

// The frame reads the arguments after the program's name, as wWinMain receives them.
TEST(CommandLineOfTheProcess, ProgramFolderNeverCountsAndTheServiceLineWorks) {
    const std::wstring saved = g_app.m_cmdLine;
    ASSERT_TRUE(AfxWinInit(nullptr, L"\"C:\\Program Files\\myvpn\\Corvel.exe\""));
    EXPECT_FALSE(AnalyzeCommandLine(g_app.m_cmdLine).LaunchedWithVpn);
    ASSERT_TRUE(AfxWinInit(nullptr, L"connect vpn5 /hide")); // the service's line, no program name
    const CCommandLineOptions hidden = AnalyzeCommandLine(g_app.m_cmdLine);
    EXPECT_TRUE(hidden.LaunchedWithVpn);
    EXPECT_FALSE(hidden.OpenSettingsWhenLoaded);
    ASSERT_TRUE(AfxWinInit(nullptr, L"connect vpn5"));
    const CCommandLineOptions shown = AnalyzeCommandLine(g_app.m_cmdLine);
    EXPECT_TRUE(shown.AutoConnectPending);
    EXPECT_EQ(shown.AutoConnectIndex, 4);
    g_app.m_cmdLine = saved;
}

} // namespace
} // namespace corvel
