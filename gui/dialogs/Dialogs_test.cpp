// The start-up wait, disconnecting and version dialogs under Wine with a display, against the
// fake service on "\\.\pipe\corvelservice" and the real pipe client.
#include "DialogResource.h"
#include "DlgVerInfo.h"
#include "DlgVpnDisconnecting.h"
#include "DlgVpnInit.h"
#include "MainFrameServices.h"

#include "App.h"
#include "FakeService.h"
#include "MessageBox.h"
#include "MessageLoop.h"
#include "PipeMessages.h"
#include "PipeThread.h"
#include "Protocol.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace corvel {
namespace {

CWinApp g_app; // the test program's application object

// What the main frame would offer the dialogs.
class CFakeFrameServices : public CMainFrameServices {
public:
    std::map<unsigned, std::wstring> Texts;
    std::wstring LanguagePath;
    std::vector<std::pair<unsigned, bool>> BusyCalls;

    const std::wstring& GetUiText(unsigned id) const override {
        static const std::wstring none;
        const auto found = Texts.find(id);
        return found == Texts.end() ? none : found->second;
    }
    const std::wstring& GetLanguagePath() const override { return LanguagePath; }
    void SetBusyFlag(unsigned flag, bool busy) override { BusyCalls.emplace_back(flag, busy); }
};

// A private message that re-posts itself `hops` times before it runs its action, so that
// whatever the messages before it posted in turn (WM_CHAR, a posted command) is handled first.
constexpr UINT WM_TEST_STEP = WM_APP + 200;
constexpr UINT_PTR kWatchdogTimer = 99;
constexpr UINT kWatchdogMs = 20000;

struct TestStep {
    int Hops;
    std::function<void()> Action;
};

void PostStep(HWND hwnd, TestStep* step) {
    ::PostMessageW(hwnd, WM_TEST_STEP, 0, reinterpret_cast<LPARAM>(step));
}

void RunStep(HWND hwnd, LPARAM lParam) {
    auto* step = reinterpret_cast<TestStep*>(lParam);
    if (step->Hops-- > 0) {
        PostStep(hwnd, step);
        return;
    }
    step->Action();
}

void PostKey(HWND hwnd, WPARAM key) {
    ::PostMessageW(hwnd, WM_KEYDOWN, key, 1);
}

class DialogsTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_app.m_pMainWnd = nullptr;
        SetMainFrameServices(&Services);
    }
    void TearDown() override {
        SetMainFrameServices(nullptr);
        if (CDlgVerInfo::IsOpen())
            CDlgVerInfo::CloseVersionBox();
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

    // Pumps through the framework's loop until everything posted before has been handled.
    static void PumpPosted() {
        constexpr UINT kSentinel = WM_APP + 77;
        ::PostThreadMessageW(::GetCurrentThreadId(), kSentinel, 0, 0);
        MSG msg{};
        do {
            ASSERT_TRUE(AfxPumpMessage(msg, nullptr));
        } while (!(msg.hwnd == nullptr && msg.message == kSentinel));
    }

    CFakeFrameServices Services;

private:
    std::wstring m_languageFile;
};

// ---------------------------------------------------------------------------------------------
// Start-up wait dialog

// Runs the test's steps once the dialog is up; a watchdog ends a dialog that never closes.
class CTestVpnInit : public CDlgVpnInit {
public:
    using CDlgVpnInit::CDlgVpnInit;
    std::function<void(CTestVpnInit&)> OnOpened;
    bool WatchdogFired = false;
    std::wstring Caption, Message;

protected:
    BOOL OnInitDialog() override {
        const BOOL result = CDlgVpnInit::OnInitDialog();
        Caption = GetWindowText();
        Message = GetDlgItemText(IDC_INIT_MESSAGE);
        ::SetTimer(m_hWnd, kWatchdogTimer, kWatchdogMs, nullptr);
        if (OnOpened)
            OnOpened(*this);
        return result;
    }
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_TEST_STEP) {
            RunStep(m_hWnd, lParam);
            return 0;
        }
        if (message == WM_TIMER && wParam == kWatchdogTimer) {
            WatchdogFired = true;
            EndDialog(-2);
            return 0;
        }
        return CDlgVpnInit::WindowProc(message, wParam, lParam);
    }
};

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
        CTestVpnInit dialog(flags);
        dialog.OnOpened = [](CTestVpnInit& d) {
            PostTimer(d.m_hWnd, CDlgVpnInit::kProbeTimer);
            PostTimer(d.m_hWnd, CDlgVpnInit::kGiveUpTimer); // ignored once a probe succeeded
        };
        EXPECT_EQ(dialog.DoModal(), IDCANCEL);
        EXPECT_FALSE(dialog.WatchdogFired);
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
        CTestVpnInit dialog(flags, [] { return false; });
        TestStep after{3, {}};
        dialog.OnOpened = [&](CTestVpnInit& d) {
            const HWND hwnd = d.m_hWnd;
            c.Input(hwnd);
            after.Action = [hwnd, &c] {
                if (c.ThenClose)
                    ::PostMessageW(hwnd, WM_CLOSE, 0, 0);
                else
                    PostTimer(hwnd, CDlgVpnInit::kGiveUpTimer);
            };
            PostStep(hwnd, &after);
        };
        EXPECT_EQ(dialog.DoModal(), IDCANCEL);
        EXPECT_FALSE(dialog.WatchdogFired);
        EXPECT_EQ(flags.ServiceReady, c.Expected.ServiceReady);
        EXPECT_EQ(flags.ServiceTimedOut, c.Expected.ServiceTimedOut);
        EXPECT_EQ(flags.StartupCancelled, c.Expected.StartupCancelled);
    }
}

TEST_F(DialogsTest, WaitDialogShowsItsBuiltInTextsOrThoseOfTheLanguageFile) {
    {
        CStartupWaitFlags flags;
        CTestVpnInit dialog(flags, [] { return false; });
        dialog.OnOpened = [](CTestVpnInit& d) { ::PostMessageW(d.m_hWnd, WM_CLOSE, 0, 0); };
        dialog.DoModal();
        EXPECT_EQ(dialog.Caption, L"Corvel");
        EXPECT_EQ(dialog.Message, L"初期化中");
    }
    WriteLanguageFile("[dlginitmessage]\r\nWaiting\r\nStarting up\r\n");
    CStartupWaitFlags flags;
    CTestVpnInit dialog(flags, [] { return false; });
    dialog.OnOpened = [](CTestVpnInit& d) { ::PostMessageW(d.m_hWnd, WM_CLOSE, 0, 0); };
    dialog.DoModal();
    EXPECT_EQ(dialog.Caption, L"Waiting");
    EXPECT_EQ(dialog.Message, L"Starting up");
}

// ---------------------------------------------------------------------------------------------
// Disconnecting dialog

class CTestDisconnecting : public CDlgVpnDisconnecting {
public:
    std::function<void(CTestDisconnecting&)> OnOpened;
    bool WatchdogFired = false;
    std::wstring Caption, Message;

    bool CloseCommandGrayed() const {
        MENUITEMINFOW item{};
        item.cbSize = sizeof(item);
        item.fMask = MIIM_STATE;
        const HMENU menu = ::GetSystemMenu(m_hWnd, FALSE);
        return menu && ::GetMenuItemInfoW(menu, SC_CLOSE, FALSE, &item) && (item.fState & MFS_GRAYED) != 0;
    }

protected:
    BOOL OnInitDialog() override {
        const BOOL result = CDlgVpnDisconnecting::OnInitDialog();
        Caption = GetWindowText();
        Message = GetDlgItemText(IDC_DISCONNECTING_MESSAGE);
        ::SetTimer(m_hWnd, kWatchdogTimer, kWatchdogMs, nullptr);
        if (OnOpened)
            OnOpened(*this);
        return result;
    }
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_TEST_STEP) {
            RunStep(m_hWnd, lParam);
            return 0;
        }
        if (message == WM_TIMER && wParam == kWatchdogTimer) {
            WatchdogFired = true;
            CanClose = 1;
            EndDialog(-2);
            return 0;
        }
        return CDlgVpnDisconnecting::WindowProc(message, wParam, lParam);
    }
};

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
    CTestDisconnecting dialog;
    dialog.PipeThread = &rig.Thread;
    dialog.VpnIndex = 7;
    bool stillOpen = false, grayed = false;
    DWORD canClose = 1;
    TestStep check{3, {}};
    dialog.OnOpened = [&](CTestDisconnecting& d) {
        const HWND hwnd = d.m_hWnd;
        PostKey(hwnd, VK_RETURN);
        PostKey(hwnd, VK_ESCAPE);
        ::PostMessageW(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
        ::PostMessageW(hwnd, WM_CLOSE, 0, 0);
        check.Action = [&] {
            stillOpen = ::IsWindow(d.m_hWnd) != FALSE;
            grayed = d.CloseCommandGrayed();
            canClose = d.CanClose;
            rig.Release();
        };
        PostStep(hwnd, &check);
    };
    dialog.DoModal();
    EXPECT_FALSE(dialog.WatchdogFired);
    EXPECT_TRUE(stillOpen);
    EXPECT_TRUE(grayed);
    EXPECT_EQ(canClose, 0u);
    EXPECT_TRUE(boxes.calls.empty()) << "a successful disconnect closes without a message";
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
        CTestDisconnecting dialog;
        dialog.PipeThread = &rig.Thread;
        dialog.VpnIndex = 3;
        HWND hwnd = nullptr;
        bool openWhileBox = false;
        boxes.onBox = [&](const MessageBoxCall&) { openWhileBox = ::IsWindow(hwnd) && dialog.CanClose == 0; };
        dialog.OnOpened = [&](CTestDisconnecting& d) { hwnd = d.m_hWnd; };
        EXPECT_EQ(dialog.DoModal(), IDCANCEL);
        EXPECT_FALSE(dialog.WatchdogFired);
        EXPECT_EQ(dialog.CanClose, 1u);
        if (!c.FailureBox) {
            EXPECT_TRUE(boxes.calls.empty());
            continue;
        }
        ASSERT_EQ(boxes.calls.size(), 1u);
        EXPECT_EQ(boxes.calls[0].owner, hwnd);
        EXPECT_EQ(boxes.calls[0].text, L"disconnect failed");
        EXPECT_EQ(boxes.calls[0].caption, L"connection state");
        EXPECT_EQ(boxes.calls[0].type, UINT(MB_OK | MB_ICONERROR));
        EXPECT_TRUE(openWhileBox) << "the box comes first, then the dialog closes";
    }
}

TEST_F(DisconnectingTest, APipeThreadThatTakesNoMoreRequestsIsAFailedDisconnect) {
    CThreadOwner ended;
    ASSERT_EQ(StartPipeThread(ended), 0u);
    ended.Quit(kPipeThreadQuitWaitMs);
    CMessageBoxRecorder boxes;
    CTestDisconnecting dialog;
    dialog.PipeThread = &ended;
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_FALSE(dialog.WatchdogFired);
    ASSERT_EQ(boxes.calls.size(), 1u);
    EXPECT_EQ(boxes.calls[0].text, L"disconnect failed");
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
        CTestDisconnecting dialog;
        bool grayed = true;
        dialog.OnOpened = [&](CTestDisconnecting& d) {
            grayed = d.CloseCommandGrayed();
            c.Close(d.m_hWnd);
        };
        EXPECT_EQ(dialog.DoModal(), IDCANCEL);
        EXPECT_FALSE(dialog.WatchdogFired);
        EXPECT_FALSE(grayed);
        EXPECT_TRUE(boxes.calls.empty());
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
        CTestDisconnecting dialog;
        dialog.OnOpened = [](CTestDisconnecting& d) { ::PostMessageW(d.m_hWnd, WM_CLOSE, 0, 0); };
        dialog.DoModal();
        EXPECT_EQ(dialog.Caption, c.Caption);
        EXPECT_EQ(dialog.Message, c.Message);
    }
}

// ---------------------------------------------------------------------------------------------
// Version box

std::vector<HWND> VersionBoxWindows() {
    std::vector<HWND> found;
    ::EnumThreadWindows(
        ::GetCurrentThreadId(),
        [](HWND hwnd, LPARAM list) {
            if (::GetDlgItem(hwnd, IDC_VER_VERSION) && ::GetDlgItem(hwnd, IDC_VER_TRADEMARK))
                reinterpret_cast<std::vector<HWND>*>(list)->push_back(hwnd);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

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

TEST_F(DialogsTest, VersionBoxOpensOnceClosesWithEscapeAndOpensAgain) {
    ASSERT_TRUE(CDlgVerInfo::OpenOrActivate());
    PumpPosted();
    ASSERT_TRUE(CDlgVerInfo::IsOpen());
    const HWND first = CDlgVerInfo::Current()->m_hWnd;
    ASSERT_TRUE(::IsWindowVisible(first));
    EXPECT_EQ(::GetParent(first), nullptr);
    EXPECT_EQ(ItemText(first, IDC_VER_VERSION), L"Version 02.10.03");

    ASSERT_TRUE(CDlgVerInfo::OpenOrActivate()) << "the menu item again";
    PumpPosted();
    EXPECT_EQ(VersionBoxWindows(), std::vector<HWND>{first});
    EXPECT_EQ(CDlgVerInfo::Current()->m_hWnd, first);

    PostKey(first, VK_ESCAPE);
    PumpPosted();
    EXPECT_FALSE(::IsWindow(first));
    EXPECT_FALSE(CDlgVerInfo::IsOpen());
    EXPECT_EQ(Services.BusyCalls, (std::vector<std::pair<unsigned, bool>>{{2, true}, {2, false}}));

    ASSERT_TRUE(CDlgVerInfo::OpenOrActivate());
    PumpPosted();
    ASSERT_TRUE(CDlgVerInfo::IsOpen());
    const HWND second = CDlgVerInfo::Current()->m_hWnd;
    EXPECT_TRUE(::IsWindowVisible(second));
    EXPECT_EQ(VersionBoxWindows().size(), 1u);

    // The OK button closes it as well.
    ::SendMessageW(second, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    EXPECT_FALSE(::IsWindow(second));
    EXPECT_FALSE(CDlgVerInfo::IsOpen());
}

TEST_F(DialogsTest, VersionBoxClosedByTheFrameReportsWhetherItWentAway) {
    EXPECT_EQ(CDlgVerInfo::CloseVersionBox(), 0u) << "no box open";
    ASSERT_TRUE(CDlgVerInfo::OpenOrActivate());
    const HWND box = CDlgVerInfo::Current()->m_hWnd;
    EXPECT_EQ(CDlgVerInfo::CloseVersionBox(), 0u);
    EXPECT_FALSE(::IsWindow(box)) << "gone when the frame's WM_CLOSE returns";
    EXPECT_FALSE(CDlgVerInfo::IsOpen());

    // A WM_CLOSE from anywhere closes it at once too.
    ASSERT_TRUE(CDlgVerInfo::OpenOrActivate());
    const HWND again = CDlgVerInfo::Current()->m_hWnd;
    ::SendMessageW(again, WM_CLOSE, 0, 0);
    EXPECT_FALSE(::IsWindow(again));
    EXPECT_FALSE(CDlgVerInfo::IsOpen());
}

TEST_F(DialogsTest, VersionBoxTakesItsTextsFromTheLanguageFileButKeepsItsVersionLine) {
    ASSERT_TRUE(CDlgVerInfo::OpenOrActivate());
    HWND box = CDlgVerInfo::Current()->m_hWnd;
    EXPECT_EQ(WindowText(box), L"Corvel バージョン情報");
    EXPECT_EQ(ItemText(box, IDC_VER_PRODUCT_NAME), L"Corvel VPNクライアント");
    EXPECT_EQ(ItemText(box, IDC_VER_DESCRIPTION), L"L2TP/IPsec でリモートネットワークに接続します。");
    EXPECT_EQ(ItemText(box, IDC_VER_TRADEMARK), L"会社名、製品名は一般的に各社の商標または登録商標です。　");
    EXPECT_EQ(ItemText(box, IDC_VER_VERSION), L"Version 02.10.03");
    CDlgVerInfo::CloseVersionBox();

    WriteLanguageFile(
        "[dlgversion]\r\nAbout\r\nreserved\r\nDescription\r\nVersion 9.9\r\nProduct\r\nTrademarks\r\n"
        "r7\r\nr8\r\nr9\r\n");
    ASSERT_TRUE(CDlgVerInfo::OpenOrActivate());
    box = CDlgVerInfo::Current()->m_hWnd;
    EXPECT_EQ(WindowText(box), L"About");
    EXPECT_EQ(ItemText(box, IDC_VER_DESCRIPTION), L"Description");
    EXPECT_EQ(ItemText(box, IDC_VER_PRODUCT_NAME), L"Product");
    EXPECT_EQ(ItemText(box, IDC_VER_TRADEMARK), L"Trademarks");
    EXPECT_EQ(ItemText(box, IDC_VER_VERSION), L"Version 02.10.03");
    EXPECT_EQ(ItemText(box, IDOK), L"OK");
}

} // namespace
} // namespace corvel
