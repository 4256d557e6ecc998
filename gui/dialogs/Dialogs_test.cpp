// The start-up wait, disconnecting and version dialogs under Wine with a display, against the
// fake service on the command pipe and the real pipe client.
#include "DialogResource.h"
#include "DlgVerInfo.h"
#include "DlgVpnDisconnecting.h"
#include "DlgVpnInit.h"

#include "App.h"
#include "FakeFrameServices.h"
#include "FakeService.h"
#include "MessageBox.h"
#include "PipeMessages.h"
#include "PipeThread.h"
#include "Protocol.h"
#include "WindowTestSupport.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace corvel {
namespace {

CWinApp g_app; // the test program's application object

using wintest::PostKey;
using wintest::PostStep;
using wintest::PumpPosted;

std::vector<HWND> VersionBoxWindows() {
    return wintest::OpenDialogs(IDD_VERINFO);
}

class DialogsTest : public ::testing::Test {
protected:
    void SetUp() override { g_app.m_pMainWnd = nullptr; }
    void TearDown() override {
        for (HWND box : VersionBoxWindows()) // left by a test that failed half-way
            ::DestroyWindow(box);
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
        if (!m_languageFile.empty())
            ::DeleteFileW(m_languageFile.c_str());
    }

    // A "language.csv" of ASCII lines (the same bytes in every ANSI code page).
    void WriteLanguageFile(const std::string& content) {
        wchar_t folder[MAX_PATH];
        ASSERT_NE(::GetTempPathW(MAX_PATH, folder), 0u);
        m_languageFile = std::wstring(folder) + L"corvel_dialogs_test_language.csv";
        std::ofstream file(m_languageFile.c_str(), std::ios::binary);
        file << content;
        file.close();
        Services.LanguagePath = m_languageFile;
    }

    // Runs `dialog` modally. As it opens (the dialog hook), its caption and the text of control
    // `messageId` are recorded and `onOpen` runs; a watchdog ends it if it never closes.
    INT_PTR RunModal(CDialog& dialog, int messageId, const std::function<void(HWND)>& onOpen = {}) {
        CDialogRecorder dialogs;
        dialogs.OnDialog = [&](CDialog& opened) {
            Caption = opened.GetWindowText();
            Message = opened.GetDlgItemText(messageId);
            if (onOpen)
                onOpen(opened.m_hWnd);
        };
        wintest::CModalWatchdog watchdog;
        const INT_PTR result = dialog.DoModal();
        WatchdogFired = watchdog.Fired();
        return result;
    }

    CFakeFrameServices Services; // the frame while the test lives
    std::wstring Caption, Message;
    bool WatchdogFired = false;

private:
    std::wstring m_languageFile;
};

// ---------------------------------------------------------------------------------------------
// Start-up wait dialog

void PostTimer(HWND hwnd, UINT_PTR id) {
    ::PostMessageW(hwnd, WM_TIMER, id, 0);
}

std::vector<uint8_t> ProbeReply(uint32_t resultCode, size_t payloadBytes = 0) {
    return FakeReply(CMD_LOAD_CONFIG, resultCode, std::vector<uint8_t>(payloadBytes, 0));
}

TEST_F(DialogsTest, WaitDialogEndsReadyOnTheFirstAnsweredProbeWhateverItsResult) {
    struct Case {
        const char* Name;
        bool ServiceRuns;
        FakeExchange Exchange;
        CStartupWaitFlags Expected; // after one probe tick and then the give-up timer
    };
    const Case cases[] = {
        {"answer", true, FakeExchange::Answer(ProbeReply(0, 5)), {1, 0, 0}},
        {"error answer", true, FakeExchange::Answer(ProbeReply(87)), {1, 0, 0}},
        {"answer of 64 bytes", true, FakeExchange::Answer(ProbeReply(0, 56)), {1, 0, 0}},
        {"answer above 64 bytes", true, FakeExchange::Answer(ProbeReply(0, 57)), {0, 1, 0}},
        {"closed without answer", true, FakeExchange::Hangup(), {0, 1, 0}},
        {"never answers", true, FakeExchange::Silence(), {0, 1, 0}},
        {"no service", false, FakeExchange::Hangup(), {0, 1, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        CFakeService service(ScriptedResponder({c.Exchange}));
        if (c.ServiceRuns) {
            ASSERT_EQ(service.Start(), 0u);
        }
        CStartupWaitFlags flags;
        CDlgVpnInit dialog(flags);
        EXPECT_EQ(RunModal(dialog, IDC_INIT_MESSAGE,
                           [](HWND hwnd) {
                               PostTimer(hwnd, CDlgVpnInit::kProbeTimer);
                               PostTimer(hwnd, CDlgVpnInit::kGiveUpTimer); // ignored once a probe succeeded
                           }),
                  IDCANCEL);
        EXPECT_FALSE(WatchdogFired);
        EXPECT_EQ(flags.ServiceReady, c.Expected.ServiceReady);
        EXPECT_EQ(flags.ServiceTimedOut, c.Expected.ServiceTimedOut);
        EXPECT_EQ(flags.StartupCancelled, c.Expected.StartupCancelled);
        if (c.ServiceRuns) {
            const auto requests = service.Requests();
            ASSERT_EQ(requests.size(), 1u);
            EXPECT_EQ(requests[0].Frame, (std::vector<uint8_t>{0x12, 0, 0, 1, 23}));
        }
    }
}

TEST_F(DialogsTest, WaitDialogIgnoresEnterEscapeAndOkAndCountsAnyOtherCloseAsCancelled) {
    struct Case {
        const char* Name;
        std::function<void(HWND)> Input;
        bool ThenClose; // else the give-up timer ends it
        CStartupWaitFlags Expected;
    };
    const Case cases[] = {
        {"Enter and Esc",
         [](HWND h) {
             PostKey(h, VK_RETURN);
             PostKey(h, VK_ESCAPE);
         },
         false,
         {0, 1, 0}},
        {"IDOK",
         [](HWND h) { ::PostMessageW(h, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0); },
         false,
         {0, 1, 0}},
        {"IDOK, then WM_CLOSE",
         [](HWND h) { ::PostMessageW(h, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0); },
         true,
         {0, 0, 1}},
        {"Alt+F4", [](HWND h) { ::PostMessageW(h, WM_SYSCOMMAND, SC_CLOSE, 0); }, false, {0, 0, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        CStartupWaitFlags flags;
        CDlgVpnInit dialog(flags, [] { return false; });
        EXPECT_EQ(RunModal(dialog, IDC_INIT_MESSAGE,
                           [&c](HWND hwnd) {
                               c.Input(hwnd);
                               PostStep(
                                   [hwnd, &c] {
                                       if (c.ThenClose)
                                           ::PostMessageW(hwnd, WM_CLOSE, 0, 0);
                                       else
                                           PostTimer(hwnd, CDlgVpnInit::kGiveUpTimer);
                                   },
                                   3);
                           }),
                  IDCANCEL);
        EXPECT_FALSE(WatchdogFired);
        EXPECT_EQ(flags.ServiceReady, c.Expected.ServiceReady);
        EXPECT_EQ(flags.ServiceTimedOut, c.Expected.ServiceTimedOut);
        EXPECT_EQ(flags.StartupCancelled, c.Expected.StartupCancelled);
    }
}

TEST_F(DialogsTest, WaitDialogShowsItsBuiltInTextsOrThoseOfTheLanguageFile) {
    const auto close = [](HWND hwnd) { ::PostMessageW(hwnd, WM_CLOSE, 0, 0); };
    {
        CStartupWaitFlags flags;
        CDlgVpnInit dialog(flags, [] { return false; });
        RunModal(dialog, IDC_INIT_MESSAGE, close);
        EXPECT_EQ(Caption, L"Corvel");
        EXPECT_EQ(Message, L"初期化中");
    }
    WriteLanguageFile("[dlginitmessage]\r\nWaiting\r\nStarting up\r\n");
    CStartupWaitFlags flags;
    CDlgVpnInit dialog(flags, [] { return false; });
    RunModal(dialog, IDC_INIT_MESSAGE, close);
    EXPECT_EQ(Caption, L"Waiting");
    EXPECT_EQ(Message, L"Starting up");
}

// ---------------------------------------------------------------------------------------------
// Disconnecting dialog

bool CloseCommandGrayed(HWND dialog) {
    MENUITEMINFOW item{};
    item.cbSize = sizeof(item);
    item.fMask = MIIM_STATE;
    const HMENU menu = ::GetSystemMenu(dialog, FALSE);
    return menu && ::GetMenuItemInfoW(menu, SC_CLOSE, FALSE, &item) && (item.fState & MFS_GRAYED) != 0;
}

// The real pipe thread against the fake service; the fake's answers wait while held.
class CDisconnectRig {
public:
    explicit CDisconnectRig(FakeExchange exchange) : m_release(::CreateEventW(nullptr, TRUE, TRUE, nullptr)) {
        const HANDLE release = m_release.get();
        m_service = std::make_unique<CFakeService>([release, exchange](const FakeRequest&) {
            ::WaitForSingleObject(release, INFINITE);
            return exchange;
        });
        Started = m_release && m_service->Start() == 0 && StartPipeThread(Thread) == 0;
    }
    ~CDisconnectRig() {
        ::SetEvent(m_release.get());
        if (Thread)
            Thread.Quit(kPipeThreadQuitWaitMs);
    }
    void Hold() { ::ResetEvent(m_release.get()); }
    void Release() { ::SetEvent(m_release.get()); }
    std::vector<FakeRequest> Requests() const { return m_service->Requests(); }

    bool Started = false;
    CThreadOwner Thread;

private:
    UniqueEvent m_release;
    std::unique_ptr<CFakeService> m_service;
};

class DisconnectingTest : public DialogsTest {
protected:
    void SetUp() override {
        DialogsTest::SetUp();
        Services.Texts[215] = L"disconnect failed";
        Services.Texts[208] = L"connection state";
    }
};

TEST_F(DisconnectingTest, WhileTheReplyIsAwaitedEnterEscapeAndTheCloseBoxDoNothing) {
    CDisconnectRig rig(FakeExchange::Answer(FakeReply(CMD_DISCONNECT, 0, {7})));
    ASSERT_TRUE(rig.Started);
    rig.Hold();
    CMessageBoxRecorder boxes;
    CDlgVpnDisconnecting dialog;
    dialog.SetPipeThread(&rig.Thread);
    dialog.VpnIndex = 7;
    bool stillOpen = false, grayed = false;
    DWORD canClose = 1;
    RunModal(dialog, IDC_DISCONNECTING_MESSAGE, [&](HWND hwnd) {
        PostKey(hwnd, VK_RETURN);
        PostKey(hwnd, VK_ESCAPE);
        ::PostMessageW(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
        ::PostMessageW(hwnd, WM_CLOSE, 0, 0);
        PostStep(
            [&, hwnd] {
                stillOpen = ::IsWindow(hwnd) != FALSE;
                grayed = CloseCommandGrayed(hwnd);
                canClose = dialog.CanClose;
                rig.Release();
            },
            3);
    });
    EXPECT_FALSE(WatchdogFired);
    EXPECT_TRUE(stillOpen);
    EXPECT_TRUE(grayed);
    EXPECT_EQ(canClose, 0u);
    EXPECT_TRUE(boxes.Calls.empty()) << "a successful disconnect closes without a message";
    const auto requests = rig.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].Frame, (std::vector<uint8_t>{0x02, 0, 0, 1, 7}));
    EXPECT_EQ(requests[0].Writes, 1u);
}

TEST_F(DisconnectingTest, EveryOutcomeClosesTheDialogAndAllButSuccessShowTheFailureBox) {
    struct Case {
        const char* Name;
        FakeExchange Exchange;
        bool FailureBox;
    };
    const Case cases[] = {
        {"success", FakeExchange::Answer(FakeReply(CMD_DISCONNECT, 0, {3})), false},
        {"refused", FakeExchange::Answer(FakeReply(CMD_DISCONNECT, 1359, {3})), true},
        {"no reply", FakeExchange::Hangup(), true},
        {"another command's reply", FakeExchange::Answer(FakeReply(CMD_LOAD_CONFIG, 0, {3})), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        CDisconnectRig rig(c.Exchange);
        ASSERT_TRUE(rig.Started);
        CMessageBoxRecorder boxes;
        CDlgVpnDisconnecting dialog;
        dialog.SetPipeThread(&rig.Thread);
        dialog.VpnIndex = 3;
        HWND hwnd = nullptr;
        bool openWhileBox = false;
        boxes.OnBox = [&](const MessageBoxCall&) { openWhileBox = ::IsWindow(hwnd) && dialog.CanClose == 0; };
        EXPECT_EQ(RunModal(dialog, IDC_DISCONNECTING_MESSAGE, [&](HWND opened) { hwnd = opened; }), IDCANCEL);
        EXPECT_FALSE(WatchdogFired);
        EXPECT_EQ(dialog.CanClose, 1u);
        if (!c.FailureBox) {
            EXPECT_TRUE(boxes.Calls.empty());
            continue;
        }
        ASSERT_EQ(boxes.Calls.size(), 1u);
        EXPECT_EQ(boxes.Calls[0].Owner, hwnd);
        EXPECT_EQ(boxes.Calls[0].Text, L"disconnect failed");
        EXPECT_EQ(boxes.Calls[0].Caption, L"connection state");
        EXPECT_EQ(boxes.Calls[0].Type, UINT(MB_OK | MB_ICONERROR));
        EXPECT_TRUE(openWhileBox) << "the box comes first, then the dialog closes";
    }
}

TEST_F(DisconnectingTest, APipeThreadThatTakesNoMoreRequestsIsAFailedDisconnect) {
    CThreadOwner ended;
    ASSERT_EQ(StartPipeThread(ended), 0u);
    ended.Quit(kPipeThreadQuitWaitMs);
    CMessageBoxRecorder boxes;
    CDlgVpnDisconnecting dialog;
    dialog.SetPipeThread(&ended);
    EXPECT_EQ(RunModal(dialog, IDC_DISCONNECTING_MESSAGE), IDCANCEL);
    EXPECT_FALSE(WatchdogFired);
    ASSERT_EQ(boxes.Calls.size(), 1u);
    EXPECT_EQ(boxes.Calls[0].Text, L"disconnect failed");
}

TEST_F(DisconnectingTest, WithoutAPipeThreadNothingIsSentAndTheDialogCloses) {
    struct Case {
        const char* Name;
        std::function<void(HWND)> Close;
    };
    const Case cases[] = {
        {"Esc", [](HWND h) { PostKey(h, VK_ESCAPE); }},
        {"close box", [](HWND h) { ::PostMessageW(h, WM_SYSCOMMAND, SC_CLOSE, 0); }},
        {"WM_CLOSE", [](HWND h) { ::PostMessageW(h, WM_CLOSE, 0, 0); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        CMessageBoxRecorder boxes;
        CDlgVpnDisconnecting dialog;
        bool grayed = true;
        EXPECT_EQ(RunModal(dialog, IDC_DISCONNECTING_MESSAGE,
                           [&](HWND hwnd) {
                               grayed = CloseCommandGrayed(hwnd);
                               c.Close(hwnd);
                           }),
                  IDCANCEL);
        EXPECT_FALSE(WatchdogFired);
        EXPECT_FALSE(grayed);
        EXPECT_TRUE(boxes.Calls.empty());
    }
}

TEST_F(DisconnectingTest, ShowsItsBuiltInTextsOrThoseOfTheLanguageFile) {
    struct Case {
        const char* File; // nullptr: no file
        const wchar_t* Caption;
        const wchar_t* Message;
    };
    const Case cases[] = {
        {nullptr, L"Corvel", L"切断しています。"},
        {"[dlgdisconnecting]\nEnding\nDisconnecting now\n", L"Ending", L"Disconnecting now"},
        {"[dlgdisconnecting]\n\nDisconnecting now\n", L"Corvel", L"Disconnecting now"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.File ? c.File : "no file");
        if (c.File)
            WriteLanguageFile(c.File);
        CDlgVpnDisconnecting dialog;
        RunModal(dialog, IDC_DISCONNECTING_MESSAGE, [](HWND hwnd) { ::PostMessageW(hwnd, WM_CLOSE, 0, 0); });
        EXPECT_EQ(Caption, c.Caption);
        EXPECT_EQ(Message, c.Message);
    }
}

// ---------------------------------------------------------------------------------------------
// Version box

std::wstring ItemText(HWND dialog, int id) {
    wchar_t text[256] = {};
    ::GetDlgItemTextW(dialog, id, text, 256);
    return text;
}

std::wstring WindowText(HWND hwnd) {
    wchar_t text[256] = {};
    ::GetWindowTextW(hwnd, text, 256);
    return text;
}

TEST(VersionInfoTest, ReadsTheRunningProgramsOwnProductVersion) {
    wchar_t path[MAX_PATH];
    ASSERT_NE(::GetModuleFileNameW(nullptr, path, MAX_PATH), 0u);
    ProductVersion version;
    ASSERT_EQ(ReadFileVersion(path, version), 0u);
    EXPECT_EQ(version.Words, (std::array<uint16_t, 4>{2, 10, 3, 7}));
    EXPECT_EQ(FormatVersionText(), L"Version 02.10.03");

    EXPECT_NE(ReadFileVersion(L"C:\\no\\such\\program.exe", version), 0u);
    EXPECT_EQ(FormatVersionText(version), L"Version 00.00.00");
}

// As the frame opens it: the box is its own from here on.
CDlgVerInfo* OpenVersionBox() {
    auto* box = new CDlgVerInfo();
    if (!box->Create())
        return nullptr;
    box->ShowWindow(SW_SHOWNORMAL);
    return box;
}

TEST_F(DialogsTest, VersionBoxClosesWithEscapeOrOkAndTellsTheFrameItIsGone) {
    CDlgVerInfo* box = OpenVersionBox();
    ASSERT_NE(box, nullptr);
    PumpPosted();
    const HWND first = box->m_hWnd;
    ASSERT_TRUE(::IsWindowVisible(first));
    EXPECT_EQ(::GetParent(first), nullptr);
    EXPECT_EQ(ItemText(first, IDC_VER_VERSION), L"Version 02.10.03");

    PostKey(first, VK_ESCAPE);
    PumpPosted();
    EXPECT_FALSE(::IsWindow(first));
    EXPECT_EQ(Services.AboutClosed, 1);
    using Call = CFakeFrameServices::BusyCall;
    EXPECT_EQ(Services.BusyCalls,
              (std::vector<Call>{{BusyFlag::VersionBox, true, false}, {BusyFlag::VersionBox, false, false}}))
        << "busy while it closes, sent";

    // The OK button closes it as well.
    box = OpenVersionBox();
    ASSERT_NE(box, nullptr);
    const HWND second = box->m_hWnd;
    ::SendMessageW(second, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    EXPECT_FALSE(::IsWindow(second));
    EXPECT_EQ(Services.AboutClosed, 2);
    EXPECT_TRUE(VersionBoxWindows().empty());
}

TEST_F(DialogsTest, VersionBoxClosedByTheFrameReportsWhetherItWentAway) {
    CDlgVerInfo* box = OpenVersionBox();
    ASSERT_NE(box, nullptr);
    const HWND hwnd = box->m_hWnd;
    EXPECT_TRUE(box->RequestClose());
    EXPECT_FALSE(::IsWindow(hwnd)) << "gone when the frame's WM_CLOSE returns";
    EXPECT_EQ(Services.AboutClosed, 1) << "told before RequestClose returned";

    // A WM_CLOSE from anywhere closes it at once too, and so does its owner going.
    box = OpenVersionBox();
    ASSERT_NE(box, nullptr);
    const HWND again = box->m_hWnd;
    ::SendMessageW(again, WM_CLOSE, 0, 0);
    EXPECT_FALSE(::IsWindow(again));
    EXPECT_EQ(Services.AboutClosed, 2);
    box = OpenVersionBox();
    ASSERT_NE(box, nullptr);
    ::DestroyWindow(box->m_hWnd);
    EXPECT_EQ(Services.AboutClosed, 3);
}

TEST_F(DialogsTest, VersionBoxTakesItsTextsFromTheLanguageFileButKeepsItsVersionLine) {
    CDlgVerInfo* opened = OpenVersionBox();
    ASSERT_NE(opened, nullptr);
    HWND box = opened->m_hWnd;
    EXPECT_EQ(WindowText(box), L"Corvel バージョン情報");
    EXPECT_EQ(ItemText(box, IDC_VER_PRODUCT_NAME), L"Corvel VPNクライアント");
    EXPECT_EQ(ItemText(box, IDC_VER_DESCRIPTION), L"L2TP/IPsec でリモートネットワークに接続します。");
    EXPECT_EQ(ItemText(box, IDC_VER_TRADEMARK), L"会社名、製品名は一般的に各社の商標または登録商標です。　");
    EXPECT_EQ(ItemText(box, IDC_VER_VERSION), L"Version 02.10.03");
    EXPECT_TRUE(opened->RequestClose());

    WriteLanguageFile(
        "[dlgversion]\r\nAbout\r\nreserved\r\nDescription\r\nVersion 9.9\r\nProduct\r\nTrademarks\r\n"
        "r7\r\nr8\r\nr9\r\n");
    opened = OpenVersionBox();
    ASSERT_NE(opened, nullptr);
    box = opened->m_hWnd;
    EXPECT_EQ(WindowText(box), L"About");
    EXPECT_EQ(ItemText(box, IDC_VER_DESCRIPTION), L"Description");
    EXPECT_EQ(ItemText(box, IDC_VER_PRODUCT_NAME), L"Product");
    EXPECT_EQ(ItemText(box, IDC_VER_TRADEMARK), L"Trademarks");
    EXPECT_EQ(ItemText(box, IDC_VER_VERSION), L"Version 02.10.03");
    EXPECT_EQ(ItemText(box, IDOK), L"OK");
    EXPECT_TRUE(opened->RequestClose());
}

} // namespace
} // namespace corvel
