// The console client's two dialogs as windows, run by the connect command ("/win") over a
// scripted service: what the user sees and enters, the ticks of the connecting dialog driven
// one by one through the dialog hook, and how each way of ending shows in the exit code.
#include "ConsoleCommands.h"
#include "DlgVpnConnecting.h"
#include "DlgXauth.h"
#include "FakeCommandHost.h"
#include "resource.h"

#include "FixedString.h"
#include "Handles.h"
#include "MessageBox.h"
#include "TextMeasure.h"
#include "WindowTestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>
#include <vector>

namespace corvel::cli {
namespace {

using test::CFakeCommandHost;
using testing::ElementsAre;
using Log = std::vector<std::string>;

const std::string kNotify = "notify 0 0 1";
const std::string kPause = "sleep 5000";

// The scripted service with the real dialogs in place of the scripted answers.
class CWindowedHost : public CFakeCommandHost {
public:
    CWindowedHost() { test::StoreSampleRecords(Records); }

    DialogEnd RunCredentialsDialog(CredentialsDialogData& data) override {
        Log.push_back("credentials dialog");
        return ShowCredentialsDialog(data);
    }
    ConnectingDialogResult RunConnectingDialog(const ConnectingDialogData& data) override {
        Log.push_back("connecting dialog");
        return ShowConnectingDialog(data, *this);
    }
};

uint32_t RunConnect(CCommandHost& host, const std::wstring& languagePath = L"C:\\nowhere\\language.csv") {
    const wchar_t* argv[] = {L"corvelc.exe", L"connect", L"vpn3", L"/win"};
    CommandLineOptions options;
    options.LanguagePath = languagePath;
    return RunCommandLine(options, 4, argv, host);
}

void Click(HWND dialog, int id) {
    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), LPARAM(::GetDlgItem(dialog, id)));
}

std::wstring TextOf(HWND window) {
    wchar_t text[512] = {};
    ::GetWindowTextW(window, text, 512);
    return text;
}

std::wstring ItemText(HWND dialog, int id) {
    return TextOf(::GetDlgItem(dialog, id));
}

bool Checked(HWND dialog, int id) {
    return ::IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

// What the connecting dialog did on each tick that the test ran.
struct TickRecord {
    std::vector<bool> Rearmed; // its timer was set again
    std::vector<int> Bar;      // the bar's position after the tick
};

// Runs up to `limit` ticks, one posted step each: the dialog's own timer is stopped before it
// fires and after each tick, which tells whether the tick set it again.
void RunTick(HWND dialog, TickRecord& record, int limit) {
    ::SendMessageW(dialog, WM_TIMER, CConnectingTicks::kTimerId, 0);
    const bool rearmed = ::KillTimer(dialog, CConnectingTicks::kTimerId) != FALSE;
    record.Rearmed.push_back(rearmed);
    record.Bar.push_back(int(::SendDlgItemMessageW(dialog, IDC_CONNECTING_PROGRESS, PBM_GETPOS, 0, 0)));
    if (rearmed && limit > 1)
        wintest::PostStep([dialog, &record, limit] { RunTick(dialog, record, limit - 1); });
}

void DriveTicks(HWND dialog, TickRecord& record, int limit = 100) {
    ASSERT_TRUE(::KillTimer(dialog, CConnectingTicks::kTimerId)) << "the dialog armed no timer 101";
    wintest::PostStep([dialog, &record, limit] { RunTick(dialog, record, limit); });
}

// The credentials dialog answered with OK; the connecting dialog's ticks run by the test.
struct Windowed {
    CWindowedHost Host;
    CDialogRecorder Dialogs;
    wintest::CModalWatchdog Watchdog;
    TickRecord Ticks;
    std::function<void(HWND)> OnCredentials = [](HWND d) { Click(d, IDOK); };
    std::function<void(HWND)> OnConnecting = [this](HWND d) { DriveTicks(d, Ticks); };

    Windowed() {
        Dialogs.OnDialog = [this](CDialog& dialog) {
            const HWND h = dialog.m_hWnd;
            if (dialog.GetTemplateId() == IDD_CLI_XAUTH)
                OnCredentials(h);
            else if (dialog.GetTemplateId() == IDD_CLI_VPN_CONNECTING)
                OnConnecting(h);
        };
    }
};

const Log kBeforeConnecting = {"mutex",
                               "load 2",
                               "credentials dialog",
                               "save 25 2 stored-user stored-pw",
                               "connect 2 1 stored-user stored-pw",
                               "connecting dialog"};

Log Then(Log log, std::initializer_list<std::string> more) {
    log.insert(log.end(), more);
    return log;
}

TEST(CliConnectingDialog, EachTickOutcomeEndsTheCommandWithItsCode) {
    const std::vector<bool> grace(7, true);
    std::vector<bool> fiftyTicks(49, true);
    fiftyTicks.push_back(false);
    std::vector<bool> graceThenClose = grace;
    graceThenClose.push_back(false);
    struct Case {
        const char* Name;
        std::function<void(CWindowedHost&)> Script;
        uint32_t Expected;
        std::vector<bool> Rearmed;
        int FinalBar;
        bool Notified;
    };
    const Case cases[] = {
        {"connected on the first tick",
         [](CWindowedHost& h) { h.ScriptStates(2, {1}); },
         0,
         {false},
         0,
         false},
        {"connecting, then connected",
         [](CWindowedHost& h) {
             h.ScriptStates(2, {2, 2, 1});
         },
         0,
         {true, true, false},
         4,
         false},
        {"a RAS error ends at once",
         [](CWindowedHost& h) {
             h.ScriptStates(2, {0});
             h.RasError = 691;
         },
         691,
         {false},
         0,
         true},
        {"down without a RAS error: grace for seven ticks, 5 on the eighth",
         [](CWindowedHost& h) { h.ScriptStates(2, {0}); }, 5, graceThenClose, 0, true},
        {"connecting for ever: 258 with the bar full", [](CWindowedHost& h) { h.ScriptStates(2, {2}); }, 258,
         fiftyTicks, 100, true},
        {"the tick's open fails",
         [](CWindowedHost& h) {
             h.ScriptStates(2, {2});
             h.OpenErrors[4] = 231; // opens: load, save, connect, then the first tick's
         },
         231,
         {false},
         0,
         true},
        {"the status query fails",
         [](CWindowedHost& h) {
             h.ScriptStates(2, {2, 2});
             h.StatusResult = 1359;
         },
         1359,
         {false},
         0,
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        Windowed w;
        c.Script(w.Host);
        EXPECT_EQ(RunConnect(w.Host), c.Expected);
        EXPECT_FALSE(w.Watchdog.Fired());
        EXPECT_EQ(w.Ticks.Rearmed, c.Rearmed);
        ASSERT_FALSE(w.Ticks.Bar.empty());
        EXPECT_EQ(w.Ticks.Bar.back(), c.FinalBar);
        EXPECT_EQ(w.Host.Count(kNotify), c.Notified ? 1u : 0u);
        if (c.Notified) {
            EXPECT_THAT(w.Host.Frames.back(), ElementsAre(0x41, 0, 0, 3, 0, 0, 1));
        }
        EXPECT_THAT(w.Dialogs.Opened, ElementsAre(IDD_CLI_XAUTH, IDD_CLI_VPN_CONNECTING));
        EXPECT_EQ(w.Host.OpenPipes, 0);
    }
}

TEST(CliConnectingDialog, CancelAndTheCloseBoxNotifyAndExit1223AndOkDoesNothing) {
    struct Case {
        const char* Name;
        std::function<void(HWND)> Act;
    };
    const Case cases[] = {
        {"Cancel", [](HWND d) { Click(d, IDCANCEL); }},
        {"the close box", [](HWND d) { ::PostMessageW(d, WM_SYSCOMMAND, SC_CLOSE, 0); }},
        {"Esc", [](HWND d) { wintest::PostKey(d, VK_ESCAPE); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        Windowed w;
        w.Host.ScriptStates(2, {2});
        w.OnConnecting = c.Act;
        EXPECT_EQ(RunConnect(w.Host), 1223u);
        EXPECT_FALSE(w.Watchdog.Fired());
        EXPECT_EQ(w.Host.Log, Then(kBeforeConnecting, {kNotify, kPause}));
    }

    // Enter where no button has the focus is IDOK, which in the framework's dialog means
    // "connected": here it must change nothing, and the ticks go on after it.
    Windowed w;
    w.Host.ScriptStates(2, {2, 1});
    w.OnConnecting = [&w](HWND d) {
        ::KillTimer(d, CConnectingTicks::kTimerId);
        ::PostMessageW(d, WM_COMMAND, IDOK, 0);
        wintest::PostStep([d, &w] { RunTick(d, w.Ticks, 5); }, 2);
    };
    EXPECT_EQ(RunConnect(w.Host), 0u);
    EXPECT_FALSE(w.Watchdog.Fired());
    EXPECT_EQ(w.Ticks.Rearmed, (std::vector<bool>{true, false}));
}

TEST(CliConnectingDialog, TheRealTimerDrivesTheTicks) {
    Windowed w;
    w.Host.ScriptStates(2, {2, 2, 1});
    w.OnConnecting = [](HWND) {};
    EXPECT_EQ(RunConnect(w.Host), 0u);
    EXPECT_FALSE(w.Watchdog.Fired());
    EXPECT_EQ(w.Host.Count("status"), 3u);
}

TEST(CliConnectingDialog, CentredTopmostWithABarOf0To100) {
    Windowed w;
    w.Host.ScriptStates(2, {1});
    RECT screen{}, own{};
    LONG_PTR exStyle = 0;
    PBRANGE range{};
    w.OnConnecting = [&](HWND d) {
        ::GetWindowRect(::GetDesktopWindow(), &screen);
        ::GetWindowRect(d, &own);
        exStyle = ::GetWindowLongPtrW(d, GWL_EXSTYLE);
        ::SendDlgItemMessageW(d, IDC_CONNECTING_PROGRESS, PBM_GETRANGE, FALSE, LPARAM(&range));
        DriveTicks(d, w.Ticks);
    };
    EXPECT_EQ(RunConnect(w.Host), 0u);
    EXPECT_NE(exStyle & WS_EX_TOPMOST, 0);
    EXPECT_EQ(own.left, (screen.right - screen.left) / 2 - (own.right - own.left) / 2);
    EXPECT_EQ(own.top, (screen.bottom - screen.top) / 2 - (own.bottom - own.top) / 2);
    EXPECT_EQ(range.iLow, 0);
    EXPECT_EQ(range.iHigh, 100);
}

TEST(CliCredentialsDialog, ShowsTheStoredCredentialsAndPresetsTheBox) {
    struct Case {
        const char16_t* User;
        const char16_t* Password;
        bool Ticked;
    };
    const Case cases[] = {{u"", u"", false}, {u"stored-user", u"", true}, {u"", u"stored-pw", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Ticked);
        Windowed w;
        CopyToFixed(w.Host.Records[2].UserName, c.User);
        CopyToFixed(w.Host.Records[2].Password, c.Password);
        w.Host.ScriptStates(2, {1});
        std::wstring user, password;
        bool ticked = !c.Ticked;
        LONG_PTR passwordStyle = 0;
        LRESULT limits[2] = {};
        w.OnCredentials = [&](HWND d) {
            user = ItemText(d, IDC_XAUTH_USER);
            password = ItemText(d, IDC_XAUTH_PASSWORD);
            ticked = Checked(d, IDC_XAUTH_SAVE);
            passwordStyle = ::GetWindowLongPtrW(::GetDlgItem(d, IDC_XAUTH_PASSWORD), GWL_STYLE);
            limits[0] = ::SendDlgItemMessageW(d, IDC_XAUTH_USER, EM_GETLIMITTEXT, 0, 0);
            limits[1] = ::SendDlgItemMessageW(d, IDC_XAUTH_PASSWORD, EM_GETLIMITTEXT, 0, 0);
            Click(d, IDCANCEL);
        };
        EXPECT_EQ(RunConnect(w.Host), 1223u);
        EXPECT_EQ(user, std::wstring(c.User, c.User + std::char_traits<char16_t>::length(c.User)));
        EXPECT_EQ(password,
                  std::wstring(c.Password, c.Password + std::char_traits<char16_t>::length(c.Password)));
        EXPECT_EQ(ticked, c.Ticked);
        EXPECT_NE(passwordStyle & ES_PASSWORD, 0);
        EXPECT_THAT(limits, ElementsAre(64, 64));
        // Cancel: nothing saved, nothing sent.
        EXPECT_THAT(w.Host.Log, ElementsAre("mutex", "load 2", "credentials dialog"));
    }
}

TEST(CliCredentialsDialog, WhatTheUserEntersIsSentAndStoredFirstWhenTicked) {
    struct Case {
        bool Tick;
        Log Expected;
    };
    const Case cases[] = {
        {true,
         {"mutex", "load 2", "credentials dialog", "save 25 2 new-user new-pw", "connect 2 1 new-user new-pw",
          "connecting dialog", "status"}},
        {false,
         {"mutex", "load 2", "credentials dialog", "connect 2 1 new-user new-pw", "connecting dialog",
          "status"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Tick);
        Windowed w;
        w.Host.ScriptStates(2, {1});
        w.OnCredentials = [&c](HWND d) {
            ::SetDlgItemTextW(d, IDC_XAUTH_USER, L"new-user");
            ::SetDlgItemTextW(d, IDC_XAUTH_PASSWORD, L"new-pw");
            ::CheckDlgButton(d, IDC_XAUTH_SAVE, c.Tick ? BST_CHECKED : BST_UNCHECKED);
            Click(d, IDOK);
        };
        EXPECT_EQ(RunConnect(w.Host), 0u);
        EXPECT_EQ(w.Host.Log, c.Expected);
    }
}

TEST(CliCredentialsDialog, SixtyFourCharactersFitASixtyFifthIsRefused) {
    const std::wstring full(64, L'u');
    Windowed w;
    CopyToFixed(w.Host.Records[2].UserName, std::u16string(64, u'u'));
    w.Host.ScriptStates(2, {1});
    CMessageBoxRecorder boxes;
    std::wstring typed, shownUser;
    bool stayed = false;
    w.OnCredentials = [&](HWND d) {
        // A stored name of 64 shows whole.
        shownUser = ItemText(d, IDC_XAUTH_USER);
        // Typing stops at 64.
        const HWND password = ::GetDlgItem(d, IDC_XAUTH_PASSWORD);
        ::SetWindowTextW(password, L"");
        for (int i = 0; i < 65; ++i)
            ::SendMessageW(password, WM_CHAR, L'p', 1);
        typed = TextOf(password);
        // A longer text that did not come by typing is refused on OK; the dialog stays.
        ::SetWindowTextW(password, std::wstring(65, L'p').c_str());
        Click(d, IDOK);
        wintest::PostStep(
            [d, &stayed] {
                stayed = ::IsWindow(d) != FALSE;
                ::SetDlgItemTextW(d, IDC_XAUTH_PASSWORD, std::wstring(64, L'p').c_str());
                ::CheckDlgButton(d, IDC_XAUTH_SAVE, BST_UNCHECKED);
                Click(d, IDOK);
            },
            2);
    };
    EXPECT_EQ(RunConnect(w.Host), 0u);
    EXPECT_EQ(shownUser, full);
    EXPECT_EQ(typed, std::wstring(64, L'p'));
    EXPECT_TRUE(stayed);
    ASSERT_EQ(boxes.Calls.size(), 1u);
    EXPECT_EQ(boxes.Calls[0].Text, L"Enter no more than 64 characters.");
    EXPECT_EQ(w.Host.Count("connect 2 1 " + std::string(64, 'u') + " " + std::string(64, 'p')), 1u);
}

// Writes "language.csv" in the test's temporary folder (ASCII: any code page reads it).
std::wstring WriteLanguageFile(const std::string& content) {
    wchar_t folder[MAX_PATH];
    ::GetTempPathW(MAX_PATH, folder);
    const std::wstring path = std::wstring(folder) + L"corvelc-dialogs-language.csv";
    UniqueFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    EXPECT_TRUE(file && ::WriteFile(file.get(), content.data(), DWORD(content.size()), &written, nullptr));
    return path;
}

TEST(CliDialogs, SectionsAppliedAndTheNameReplacesItsLine) {
    const std::wstring path = WriteLanguageFile("[c_dlgxauth]\r\n"
                                                "Credentials\r\n"
                                                "name line\r\n"
                                                "User:\r\n"
                                                "Password:\r\n"
                                                "Save them\r\n"
                                                "Connecting to:\r\n"
                                                "[c_dlgvpnconnecting]\r\n"
                                                "Progress\r\n"
                                                "Connecting now.\r\n"
                                                "Target:\r\n"
                                                "name line\r\n");
    Windowed w;
    w.Host.ScriptStates(2, {1});
    std::vector<std::wstring> xauth, connecting;
    w.OnCredentials = [&](HWND d) {
        xauth = {TextOf(d),
                 ItemText(d, IDC_XAUTH_NAME),
                 ItemText(d, IDC_XAUTH_USER_LABEL),
                 ItemText(d, IDC_XAUTH_PASSWORD_LABEL),
                 ItemText(d, IDC_XAUTH_SAVE),
                 ItemText(d, IDC_XAUTH_CONNECT_LABEL)};
        Click(d, IDOK);
    };
    w.OnConnecting = [&](HWND d) {
        connecting = {TextOf(d), ItemText(d, IDC_CONNECTING_MESSAGE),
                      ItemText(d, IDC_CONNECTING_TARGET_LABEL), ItemText(d, IDC_CONNECTING_NAME)};
        DriveTicks(d, w.Ticks);
    };
    EXPECT_EQ(RunConnect(w.Host, path), 0u);
    ::DeleteFileW(path.c_str());
    EXPECT_THAT(xauth, ElementsAre(L"Credentials", L"office", L"User:", L"Password:", L"Save them",
                                   L"Connecting to:"));
    EXPECT_THAT(connecting, ElementsAre(L"Progress", L"Connecting now.", L"Target:", L"office"));
}

TEST(CliDialogs, BuiltInTextsWithoutAFile) {
    Windowed w;
    w.Host.ScriptStates(2, {1});
    std::wstring xauthCaption, saveBox, connectingCaption, message;
    w.OnCredentials = [&](HWND d) {
        xauthCaption = TextOf(d);
        saveBox = ItemText(d, IDC_XAUTH_SAVE);
        Click(d, IDOK);
    };
    w.OnConnecting = [&](HWND d) {
        connectingCaption = TextOf(d);
        message = ItemText(d, IDC_CONNECTING_MESSAGE);
        DriveTicks(d, w.Ticks);
    };
    EXPECT_EQ(RunConnect(w.Host), 0u);
    // The UTF-8 resource script came out as UTF-16.
    EXPECT_EQ(xauthCaption, L"Corvel");
    EXPECT_EQ(saveBox, L"ユーザー名およびパスワードを保存する");
    EXPECT_EQ(connectingCaption, L"VPN接続の状態");
    EXPECT_EQ(message, L"次の接続先へのVPN接続をしています。");
}

TEST(CliDialogs, TheNameIsFittedThenEscaped) {
    // 10 pixels a character: below 220 px fit 21, below 290 px 28.
    SetLabelTextMeasureFactory([](HWND) { return [](std::wstring_view t) { return int(t.size()) * 10; }; });
    struct Case {
        const char16_t* Name;
        const wchar_t* Credentials;
        const wchar_t* Connecting;
    };
    const Case cases[] = {
        {u"R&D", L"R&&D", L"R&&D"},
        {u"R&D-0123456789abcdefghijklmnopq", L"R&&D-0123456789abcdefg...",
         L"R&&D-0123456789abcdefghijklmn..."},
        // 210 px fits below 220; 220 px does not.
        {u"0123456789abcdefghijk", L"0123456789abcdefghijk", L"0123456789abcdefghijk"},
        {u"0123456789abcdefghijkl", L"0123456789abcdefghijk...", L"0123456789abcdefghijkl"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.Credentials)));
        Windowed w;
        CopyToFixed(w.Host.Records[2].Name, c.Name);
        w.Host.ScriptStates(2, {1});
        std::wstring credentials, connecting;
        w.OnCredentials = [&](HWND d) {
            credentials = ItemText(d, IDC_XAUTH_NAME);
            Click(d, IDOK);
        };
        w.OnConnecting = [&](HWND d) {
            connecting = ItemText(d, IDC_CONNECTING_NAME);
            DriveTicks(d, w.Ticks);
        };
        EXPECT_EQ(RunConnect(w.Host), 0u);
        EXPECT_EQ(credentials, c.Credentials);
        EXPECT_EQ(connecting, c.Connecting);
    }
    SetLabelTextMeasureFactory(nullptr);
}

} // namespace
} // namespace corvel::cli
