// Connecting and disconnecting from the settings dialog's connection page, in this process
// under Wine with a display, as a Japanese system (code page 932) runs it: the credentials,
// connecting and RAS-error dialogs against the fake service and notifications on the real
// the notification pipe; the shipped "language.csv"; the RAS-error text on the clipboard.
#include "SettingsDialogFixture.h"

#include "DlgMsgBoxRasErr.h"
#include "DlgVpnConnecting.h"
#include "DlgXauth.h"
#include "E2eHarness.h"
#include "LanguageFile.h"

#include <atomic>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>

namespace corvel {

CCorvelApp g_app; // the test program's application object; InitInstance never runs here

namespace {

using namespace settingstest;
using namespace testfixture;
using wintest::PostStep;
using wintest::PumpFor;
using wintest::PumpPosted;
using wintest::PumpUntil;

constexpr DWORD kSuccessCloseMs = CDlgVpnConnecting::kSuccessPauseMs + 10000;

// The shipped file in the source tree.
std::wstring ShippedPath() {
    return e2e::ToWindowsPath(CORVEL_SHIPPED_LANGUAGE_CSV);
}

std::string ShippedLanguageFile() {
    std::ifstream in(ShippedPath().c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string Cp932(const std::wstring& text) {
    std::string out;
    EXPECT_TRUE(ConvertForClipboard(text, 932, out));
    return out;
}

// CF_TEXT as it is on the clipboard now, up to its terminator.
std::string ClipboardText() {
    if (!::OpenClipboard(nullptr))
        return "<not opened>";
    std::string text = "<none>";
    if (const HANDLE data = ::GetClipboardData(CF_TEXT)) {
        if (const char* bytes = static_cast<const char*>(::GlobalLock(data))) {
            text.assign(bytes, strnlen(bytes, ::GlobalSize(data)));
            ::GlobalUnlock(data);
        }
    }
    ::CloseClipboard();
    return text;
}

void SetClipboardText(const char* text) {
    ASSERT_TRUE(::OpenClipboard(nullptr));
    ::EmptyClipboard();
    const size_t size = std::strlen(text) + 1;
    const HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, size);
    std::memcpy(::GlobalLock(memory), text, size);
    ::GlobalUnlock(memory);
    ::SetClipboardData(CF_TEXT, memory);
    ::CloseClipboard();
}

// The shipped text of one RAS error code, read as a Japanese system reads the file.
std::wstring ShippedText(int32_t code) {
    return ReadRasErrorTexts(ShippedPath(), code, 932).Message;
}

HWND Item(HWND dialog, int id) {
    return ::GetDlgItem(dialog, id);
}

void Click(HWND button) {
    ::SendMessageW(button, BM_CLICK, 0, 0);
}

// The notifications as the service forwards them.
std::vector<uint8_t> StateNotice(uint8_t vpnIndex, uint8_t state, uint8_t quitGui = 0) {
    return {0x41, 0, 0, 3, vpnIndex, state, quitGui};
}
std::vector<uint8_t> RasErrorNotice(uint32_t code) {
    return {0x44, 0, 0, 4, uint8_t(code >> 24), uint8_t(code >> 16), uint8_t(code >> 8), uint8_t(code)};
}

// While it lives, the service holds its answer to the save of item 10 until Release (20 s at
// most), so that a test acts while a save batch is under way.
class CHeldSave {
public:
    explicit CHeldSave(SettingsService& service)
        : m_service(service), m_release(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
        std::lock_guard<std::mutex> guard(m_service.Lock);
        m_service.BeforeSaveReply = [this](uint8_t item) {
            if (item != 10)
                return;
            m_held = true;
            ::WaitForSingleObject(m_release, 20000);
        };
    }
    ~CHeldSave() {
        Release();
        std::lock_guard<std::mutex> guard(m_service.Lock);
        m_service.BeforeSaveReply = nullptr;
        ::CloseHandle(m_release);
    }
    CHeldSave(const CHeldSave&) = delete;
    CHeldSave& operator=(const CHeldSave&) = delete;

    bool Held() const { return m_held.load(); }
    void Release() { ::SetEvent(m_release); }

private:
    SettingsService& m_service;
    HANDLE m_release;
    std::atomic<bool> m_held{false};
};

class ConnectTest : public SettingsDialogTest {
protected:
    void SetUp() override {
        SettingsDialogTest::SetUp();
        ASSERT_EQ(::GetACP(), 932u) << "run with LC_ALL=ja_JP.UTF-8, as a Japanese system";
        Responder = [this](const FakeRequest& r) { return AnswerConnect(r); };
    }

    // From here on the dialogs that open are recorded and offered to OnDialog (the frame's
    // start-up uses the hook of its own).
    void RecordDialogs() {
        Dialogs = std::make_unique<CDialogRecorder>();
        Dialogs->OnDialog = [this](CDialog& dialog) {
            const UINT id = dialog.GetTemplateId();
            const auto found = OnDialog.find(id);
            if (found != OnDialog.end() && found->second)
                found->second(dialog);
        };
    }
    // The dialogs of connecting and disconnecting that opened, in order.
    std::vector<UINT> Opened() const {
        std::vector<UINT> ids;
        for (UINT id : Dialogs->Opened) {
            if (id == IDD_XAUTH || id == IDD_VPN_CONNECTING || id == IDD_MSGBOX_RASERR ||
                id == IDD_VPN_DISCONNECTING)
                ids.push_back(id);
        }
        return ids;
    }

    void TearDown() override {
        Dialogs.reset();
        for (UINT id : {IDD_XAUTH, IDD_VPN_CONNECTING, IDD_MSGBOX_RASERR})
            for (HWND dialog : wintest::OpenDialogs(id))
                ::DestroyWindow(dialog);
        SettingsDialogTest::TearDown();
    }

    FakeExchange AnswerConnect(const FakeRequest& r) {
        const std::vector<uint8_t>& f = r.Frame;
        if (f.size() >= 5 && f[0] == CMD_CONNECT) {
            std::lock_guard<std::mutex> guard(Svc.Lock);
            return FakeExchange::Answer(FakeReply(CMD_CONNECT, ConnectResult, {f[4]}));
        }
        if (f.size() >= 5 && f[0] == CMD_SAVE_CONFIG && f[4] == 25) {
            std::lock_guard<std::mutex> guard(Svc.Lock);
            return FakeExchange::Answer(FakeReply(CMD_SAVE_CONFIG, AuthSaveResult, {25}));
        }
        return Svc.Answer(r);
    }

    // Requests of one kind since the dialog opened.
    std::vector<std::vector<uint8_t>> Sent(uint8_t command) const {
        std::vector<std::vector<uint8_t>> frames;
        for (const FakeRequest& r : RequestsOf(command, OpenedAt))
            frames.push_back(r.Frame);
        return frames;
    }
    std::vector<uint8_t> Commands() const {
        std::vector<uint8_t> ids;
        const std::vector<FakeRequest> all = Service->Requests();
        for (size_t i = OpenedAt; i < all.size(); ++i)
            ids.push_back(all[i].Frame.empty() ? 0 : all[i].Frame[0]);
        return ids;
    }

    void OpenDialog() {
        Open();
        OpenedAt = Service->Requests().size();
        RecordDialogs();
    }

    void Press() { Click(ConnControl(IDC_CONN_BUTTON)); }
    bool Pressing() const { return Dialog() && Dialog()->GetConnectionPage().IsPressing(); }
    bool PressEnded() const { return !Pressing() && !Frame->IsBusy(BusyFlag::ConnectPress); }
    std::wstring Button() const { return WindowText(ConnControl(IDC_CONN_BUTTON)); }

    // The credentials dialog, when it opens, answered with OK (after `edit`) or Cancel.
    void AnswerCredentials(bool ok, std::function<void(HWND)> edit = nullptr) {
        OnDialog[IDD_XAUTH] = [ok, edit](CDialog& dialog) {
            const HWND h = dialog.m_hWnd;
            PostStep([h, ok, edit] {
                if (edit)
                    edit(h);
                Click(Item(h, ok ? IDOK : IDCANCEL));
            });
        };
    }

    // Runs `step` from inside the connecting dialog's loop once its CMD_CONNECT has reached the
    // service.
    void WhileConnecting(std::function<void(CDlgVpnConnecting&)> step) {
        OnDialog[IDD_VPN_CONNECTING] = [this, step](CDialog& dialog) {
            auto* connecting = dynamic_cast<CDlgVpnConnecting*>(&dialog);
            ASSERT_NE(connecting, nullptr);
            PostStep([this, connecting, step] {
                ASSERT_TRUE(PumpUntil([&] { return Sent(CMD_CONNECT).size() == 1; }));
                step(*connecting);
            });
        };
    }

    // From inside the loop of `dialog`, a box or dialog under the connecting dialog: the service
    // asks the GUI to quit. Once the attempt has taken the quit, a user who still finds `dialog`
    // open (its loop did not end with the quit) clicks `button`, and `waited` says so.
    void QuitGuiUnder(HWND dialog, int button, bool& waited) {
        PostStep([dialog, button, &waited] {
            const std::vector<HWND> found = wintest::OpenDialogs(IDD_VPN_CONNECTING);
            ASSERT_EQ(found.size(), 1u);
            auto* connecting = dynamic_cast<CDlgVpnConnecting*>(CDialog::FromDialogHandle(found[0]));
            ASSERT_NE(connecting, nullptr);
            Notify(StateNotice(0, 0, 1));
            // Bounded: only a quit that never reaches the attempt waits this long.
            PumpUntil([&] { return connecting->QuitRequested != 0; }, 3000);
            // Its loop ends once this step has returned, unless it waits for the user.
            PostStep([dialog, button, &waited] {
                if (::IsWindow(dialog)) {
                    waited = true;
                    Click(Item(dialog, button));
                }
            });
        });
    }

    std::unique_ptr<CDialogRecorder> Dialogs;
    std::map<UINT, std::function<void(CDialog&)>> OnDialog;
    uint32_t ConnectResult = 0;  // under Svc.Lock
    uint32_t AuthSaveResult = 0; // under Svc.Lock
    size_t OpenedAt = 0;
};

// ---------------------------------------------------------------------------------------------
// Connecting

TEST_F(ConnectTest, StoredCredentialsAreSavedFirstThenConnectedAndTheProgressEndsInSuccess) {
    CopyToFixed(Svc.Records[1].Name, u"本社&支社");
    OpenDialog();
    Click(Radio(1));
    CMessageBoxRecorder boxes;
    std::wstring shownName;
    int boxTicked = -1;
    std::wstring shownUser, shownPassword;
    AnswerCredentials(true, [&](HWND h) {
        shownName = WindowText(Item(h, IDC_XAUTH_NAME));
        boxTicked = int(::SendMessageW(Item(h, IDC_XAUTH_SAVE), BM_GETCHECK, 0, 0));
        shownUser = WindowText(Item(h, IDC_XAUTH_USER));
        shownPassword = WindowText(Item(h, IDC_XAUTH_PASSWORD));
        Type(Item(h, IDC_XAUTH_USER), L"山田");
    });
    std::vector<int> positions;
    bool hidden = false;
    std::wstring success;
    WhileConnecting([&](CDlgVpnConnecting& dialog) {
        const HWND h = dialog.m_hWnd;
        EXPECT_EQ(WindowText(h), L"VPN接続の状態");
        EXPECT_EQ(WindowText(Item(h, IDC_CONNECTING_STATUS)), L"次の接続先へのVPN接続をしています。");
        EXPECT_EQ(WindowText(Item(h, IDC_CONNECTING_NAME)), L"本社&&支社");
        EXPECT_TRUE(Frame->IsBusy(BusyFlag::ConnectPress));
        for (int n = 0; n < 3; ++n) {
            Notify(StateNotice(1, 2));
            ASSERT_TRUE(PumpUntil([&] { return dialog.GetProgressPosition() == 2 * (n + 1); }));
            positions.push_back(int(::SendMessageW(Item(h, IDC_CONNECTING_PROGRESS), PBM_GETPOS, 0, 0)));
        }
        Notify(StateNotice(7, 1)); // the index is not compared
        ASSERT_TRUE(PumpUntil([&] { return dialog.GetConnectState() == 1; }));
        success = WindowText(Item(h, IDC_CONNECTING_STATUS));
        hidden = !::IsWindowVisible(Item(h, IDCANCEL)) &&
                 !::IsWindowVisible(Item(h, IDC_CONNECTING_PROGRESS)) &&
                 !::IsWindowVisible(Item(h, IDC_CONNECTING_NAME));
        // Up at once, while the success text shows.
        EXPECT_EQ(WindowText(StateLabel(1)), L"接続中");
        EXPECT_EQ(Frame->GetTrayIconId(), 130u);
        EXPECT_EQ(Frame->GetConnectStates()[1], 1);
    });
    Press();
    ASSERT_TRUE(PumpUntil([&] { return PressEnded(); }, kSuccessCloseMs));

    EXPECT_EQ(shownName, L"本社&&支社") << "shown with one &";
    EXPECT_EQ(boxTicked, BST_CHECKED);
    EXPECT_EQ(shownUser, L"user");
    EXPECT_EQ(shownPassword, L"pass");
    EXPECT_EQ(positions, (std::vector<int>{2, 4, 6}));
    EXPECT_EQ(success, L"接続に成功しました。");
    EXPECT_TRUE(hidden);
    EXPECT_TRUE(boxes.Calls.empty());

    // The item-25 save, the connect with what the user typed, and the frame's reload of the
    // record after the save; nothing else.
    const auto saves = Sent(CMD_SAVE_CONFIG);
    ASSERT_EQ(saves.size(), 1u);
    EXPECT_EQ(saves[0], BuildCredentialsSaveFrame(1, L"山田", L"pass"));
    const auto connects = Sent(CMD_CONNECT);
    ASSERT_EQ(connects.size(), 1u);
    EXPECT_EQ(connects[0], BuildConnectFrame(1, L"山田", L"pass"));
    ASSERT_TRUE(PumpUntil([&] { return Sent(CMD_LOAD_CONFIG).size() == 1; }));
    EXPECT_EQ(Sent(CMD_LOAD_CONFIG)[0], Bytes({0x12, 0, 0, 1, 1}));
    // The reload goes through the frame's own thread: after the save, in no set order with
    // the connect.
    const std::vector<uint8_t> order = Commands();
    ASSERT_EQ(order.size(), 3u);
    EXPECT_EQ(order[0], CMD_SAVE_CONFIG);

    // The page is up on connection 2 and follows the notifications again: a drop takes it down.
    EXPECT_EQ(Button(), L"切断");
    EXPECT_EQ(WindowText(StateLabel(1)), L"接続中");
    for (int k = 0; k < 20; ++k)
        EXPECT_EQ(::IsWindowEnabled(Radio(k)) != FALSE, k == 1) << k;
    EXPECT_FALSE(::IsWindowEnabled(Control(0, IDC_SET_NAME)));
    Notify(StateNotice(1, 0));
    ASSERT_TRUE(PumpUntil([&] { return Frame->GetTrayIconId() == 145u; }));
    PumpPosted();
    EXPECT_EQ(WindowText(StateLabel(1)), L"未接続");
    EXPECT_EQ(Button(), L"接続");
    EXPECT_TRUE(::IsWindowEnabled(Radio(5)));
    EXPECT_TRUE(::IsWindowEnabled(Control(0, IDC_SET_NAME)));
    EXPECT_TRUE(Sent(CMD_DISCONNECT).empty()) << "a success is no abort";
    EXPECT_TRUE(boxes.Calls.empty());
}

TEST_F(ConnectTest, WithoutStoredCredentialsNothingIsSavedNorReloadedAndAStateZeroFails) {
    CopyToFixed(Svc.Records[0].UserName, u"");
    CopyToFixed(Svc.Records[0].Password, u"");
    OpenDialog();
    CMessageBoxRecorder boxes;
    int boxTicked = -1;
    AnswerCredentials(
        true, [&](HWND h) { boxTicked = int(::SendMessageW(Item(h, IDC_XAUTH_SAVE), BM_GETCHECK, 0, 0)); });
    uint8_t stateAfterBox = 99;
    boxes.OnBox = [&](const MessageBoxCall&) { stateAfterBox = 0; };
    WhileConnecting([&](CDlgVpnConnecting& dialog) {
        Notify(StateNotice(0, 0));
        ASSERT_TRUE(PumpUntil([&] { return dialog.GetConnectState() == 0; }));
    });
    Press();
    ASSERT_TRUE(PumpUntil([&] { return PressEnded(); }));
    EXPECT_EQ(boxTicked, BST_UNCHECKED);
    EXPECT_EQ(stateAfterBox, 0);
    ASSERT_EQ(boxes.Calls.size(), 1u);
    EXPECT_EQ(boxes.Calls[0].Text, BuiltinUiText(205));
    EXPECT_EQ(boxes.Calls[0].Caption, L"VPN接続の状態");
    EXPECT_EQ(boxes.Calls[0].Type & MB_ICONMASK, UINT(MB_ICONERROR));
    // Empty strings go as 0 bytes; the failed attempt is ended with a disconnect of its own.
    ASSERT_TRUE(PumpUntil([&] { return Sent(CMD_DISCONNECT).size() == 1; }));
    EXPECT_EQ(Sent(CMD_CONNECT)[0], Bytes({1, 0, 0, 10, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(Sent(CMD_DISCONNECT)[0], Bytes({2, 0, 0, 1, 0}));
    EXPECT_EQ(Commands(), Bytes({CMD_CONNECT, CMD_DISCONNECT})) << "no save and no reload";
    EXPECT_EQ(Button(), L"接続");
}

TEST_F(ConnectTest, ARefusedCredentialsSaveEndsTheAttemptWithoutConnectOrBox) {
    AuthSaveResult = 5;
    OpenDialog();
    CMessageBoxRecorder boxes;
    AnswerCredentials(true);
    Press();
    ASSERT_TRUE(PumpUntil([&] { return PressEnded(); }));
    ASSERT_TRUE(PumpUntil([&] { return Sent(CMD_DISCONNECT).size() == 1; }));
    EXPECT_EQ(Commands(), Bytes({CMD_SAVE_CONFIG, CMD_DISCONNECT}));
    EXPECT_TRUE(boxes.Calls.empty());
    EXPECT_EQ(Opened(), (std::vector<UINT>{IDD_XAUTH, IDD_VPN_CONNECTING}));
    EXPECT_TRUE(wintest::OpenDialogs(IDD_VPN_CONNECTING).empty());
}

TEST_F(ConnectTest, CancelSendsTheDisconnectOfThatConnectionAndARefusalOfItIsReported) {
    Svc.DisconnectResult = 0x45D;
    OpenDialog();
    Click(Radio(2));
    CMessageBoxRecorder boxes;
    // A tray Quit under the box, which runs outside any press: no busy flag spares the settings
    // dialog, which refuses to close under a window of its page, and the program keeps running.
    bool refusedUnderTheBox = false;
    boxes.OnBox = [&](const MessageBoxCall&) {
        Quit();
        PumpPosted();
        refusedUnderTheBox = Frame->GetCloseRefused() == 1 && !Closed() && !Gone();
    };
    AnswerCredentials(true);
    WhileConnecting([&](CDlgVpnConnecting& dialog) {
        Notify(StateNotice(2, 2));
        ASSERT_TRUE(PumpUntil([&] { return dialog.GetProgressPosition() == 2; }));
        Click(Item(dialog.m_hWnd, IDCANCEL));
    });
    Press();
    ASSERT_TRUE(PumpUntil([&] { return PressEnded(); }));
    ASSERT_TRUE(PumpUntil([&] { return boxes.Calls.size() == 1; }));
    EXPECT_EQ(Sent(CMD_DISCONNECT)[0], Bytes({2, 0, 0, 1, 2}));
    EXPECT_EQ(boxes.Calls[0].Text, BuiltinUiText(215));
    EXPECT_EQ(boxes.Calls[0].Caption, L"VPN接続の状態");
    EXPECT_EQ(boxes.Calls[0].Owner, ConnPage());
    EXPECT_EQ(boxes.Calls[0].Type & MB_ICONMASK, UINT(MB_ICONERROR));
    for (int k = 0; k < 20; ++k)
        EXPECT_EQ(WindowText(StateLabel(k)), L"未接続") << k;
    EXPECT_EQ(Button(), L"接続");
    EXPECT_EQ(Frame->GetTrayIconId(), 145u);
    EXPECT_FALSE(Frame->IsBusy(BusyFlag::Settings)) << "the abort's reply leaves the dialog's flag alone";
    EXPECT_TRUE(refusedUnderTheBox);
    // With the box gone, Quit closes the dialog and ends the program.
    Quit();
    ASSERT_TRUE(PumpUntil([&] { return Gone(); }));
}

TEST_F(ConnectTest, ARefusedConnectShowsTheFailureOverTheDialogAndEndsTheAttempt) {
    ConnectResult = 87;
    CopyToFixed(Svc.Records[0].UserName, u"");
    CopyToFixed(Svc.Records[0].Password, u"");
    OpenDialog();
    CMessageBoxRecorder boxes;
    HWND connecting = nullptr;
    bool cancelDisabled = false;
    OnDialog[IDD_VPN_CONNECTING] = [&](CDialog& dialog) { connecting = dialog.m_hWnd; };
    boxes.OnBox = [&](const MessageBoxCall&) {
        cancelDisabled = !::IsWindowEnabled(Item(connecting, IDCANCEL));
    };
    AnswerCredentials(true);
    Press();
    ASSERT_TRUE(PumpUntil([&] { return PressEnded(); }));
    ASSERT_EQ(boxes.Calls.size(), 1u);
    EXPECT_EQ(boxes.Calls[0].Text, BuiltinUiText(205));
    EXPECT_EQ(boxes.Calls[0].Owner, connecting);
    EXPECT_TRUE(cancelDisabled);
    ASSERT_TRUE(PumpUntil([&] { return Sent(CMD_DISCONNECT).size() == 1; }));
    EXPECT_EQ(Commands(), Bytes({CMD_CONNECT, CMD_DISCONNECT}));
    EXPECT_EQ(Sent(CMD_DISCONNECT)[0], Bytes({2, 0, 0, 1, 0}));
}

// ---------------------------------------------------------------------------------------------
// RAS errors

TEST_F(ConnectTest, RasError691ShowsTheShippedTextAndCopiesItInCodePage932) {
    WriteLanguageFile(ShippedLanguageFile());
    OpenDialog();
    SetClipboardText("before");
    CMessageBoxRecorder boxes;
    AnswerCredentials(true);
    std::wstring message, caption, copy, close;
    CDlgVpnConnecting* connecting = nullptr;
    HWND activeAfterCredentials = nullptr;
    WhileConnecting([&](CDlgVpnConnecting& dialog) {
        connecting = &dialog;
        activeAfterCredentials = ::GetActiveWindow();
        Notify(RasErrorNotice(691));
    });
    OnDialog[IDD_MSGBOX_RASERR] = [&](CDialog& dialog) {
        const HWND h = dialog.m_hWnd;
        PostStep([&, h] {
            // The box closes by caption the window that is active when it ends: the connecting
            // dialog, active again once the credentials dialog had gone.
            EXPECT_EQ(activeAfterCredentials, connecting->m_hWnd);
            message = WindowText(Item(h, IDC_RASERR_MESSAGE));
            caption = WindowText(h);
            copy = WindowText(Item(h, IDC_RASERR_COPY));
            close = WindowText(Item(h, IDC_RASERR_CLOSE));
            // The service's state 0 after the error, while the box is open: no second box. A
            // connecting notice behind it shows when the dialog has handled both.
            Notify(StateNotice(0, 0));
            Notify(StateNotice(0, 2));
            ASSERT_TRUE(PumpUntil([&] { return connecting->GetProgressPosition() == 2; }));
            EXPECT_EQ(connecting->GetConnectState(), 0);
            Click(Item(h, IDC_RASERR_COPY));
        });
    };
    Press();
    ASSERT_TRUE(PumpUntil([&] { return PressEnded(); }));

    const std::wstring expected = ShippedText(691);
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(expected.substr(expected.size() - 5), L"(691)");
    EXPECT_EQ(message, expected);
    EXPECT_EQ(caption, L"Corvel") << "lines 1-3 are empty: the built-in texts stay";
    EXPECT_EQ(copy, L"エラーをクリップボードにコピー");
    EXPECT_EQ(close, L"閉じる");
    EXPECT_EQ(RasErrorText(), expected);
    EXPECT_EQ(ClipboardText(), Cp932(expected).c_str());
    EXPECT_TRUE(boxes.Calls.empty()) << "neither the state 0 nor anything else showed a box";
    ASSERT_TRUE(PumpUntil([&] { return Sent(CMD_DISCONNECT).size() == 1; }));
    EXPECT_EQ(Button(), L"接続");
}

TEST_F(ConnectTest, ARasErrorOnAPageOpenedForConnectVpnNIsADropWithoutABox) {
    WriteLanguageFile(ShippedLanguageFile());
    g_app.m_cmdLine = L"connect vpn5";
    StartService();
    CreateFrame();
    RecordDialogs();
    ASSERT_TRUE(PumpUntil([&] { return Dialog() != nullptr && ::IsWindowVisible(Dlg()); }));
    EXPECT_EQ(WindowText(StateLabel(4)), L"接続中");
    EXPECT_EQ(Button(), L"切断");
    Notify(RasErrorNotice(691));
    ASSERT_TRUE(PumpUntil([&] { return WindowText(StateLabel(4)) == L"未接続"; }));
    PumpPosted();
    EXPECT_EQ(Button(), L"接続");
    EXPECT_EQ(Frame->GetTrayIconId(), 145u);
    EXPECT_TRUE(::IsWindowEnabled(Radio(0)));
    EXPECT_TRUE(Opened().empty()) << "no RAS-error box on the page";
    // The service's state 0 after it changes nothing more.
    Notify(StateNotice(4, 0));
    PumpFor(200);
    EXPECT_TRUE(Opened().empty());
}

// ---------------------------------------------------------------------------------------------
// Quit and the holds

// A box of ours that is no dialog object: the failure box, found by its caption.
HWND FailureBoxWindow() {
    struct Search {
        HWND Found = nullptr;
    } search;
    ::EnumThreadWindows(
        ::GetCurrentThreadId(),
        [](HWND hwnd, LPARAM lParam) {
            if (!CDialog::FromDialogHandle(hwnd) && ::IsWindowVisible(hwnd) &&
                WindowText(hwnd) == L"VPN接続の状態")
                reinterpret_cast<Search*>(lParam)->Found = hwnd;
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.Found;
}

// Runs `action` from inside whatever loop runs once `ready` holds, looking again after every
// other message.
void WhenReady(std::function<bool()> ready, std::function<void()> action) {
    PostStep(
        [ready, action] {
            if (ready())
                action();
            else
                WhenReady(ready, action);
        },
        1);
}

TEST_F(ConnectTest, QuitGuiWithTheFailureBoxOpenClosesTheBoxThenTheDialogAndQuits) {
    OpenDialog();
    AnswerCredentials(true);
    wintest::CModalWatchdog watchdog;
    bool boxSeen = false;
    WhileConnecting([&](CDlgVpnConnecting&) {
        // A real box this time: the quit closes it by its caption.
        Notify(StateNotice(0, 0));
        WhenReady([] { return FailureBoxWindow() != nullptr && ::GetActiveWindow() == FailureBoxWindow(); },
                  [&] {
                      boxSeen = true;
                      Notify(StateNotice(0, 0, 1));
                  });
    });
    Press();
    ASSERT_TRUE(PumpUntil([&] { return Gone(); }));
    EXPECT_TRUE(boxSeen);
    EXPECT_FALSE(watchdog.Fired());
    EXPECT_TRUE(Closed());
    EXPECT_EQ(FailureBoxWindow(), nullptr);
}

TEST_F(ConnectTest, TrayQuitWhileTheCredentialsDialogIsOpenAfterTheSaveCompletedLeavesTheDialogAlone) {
    OpenDialog();
    SelectTab(1);
    Type(Control(0, IDC_SET_NAME), L"Edited");
    SelectTab(0);
    CMessageBoxRecorder boxes;
    boxes.Answers = {IDYES};
    bool checked = false;
    OnDialog[IDD_XAUTH] = [&](CDialog& dialog) {
        const HWND h = dialog.m_hWnd;
        PostStep([&, h] {
            // The batch of the "Yes" has ended and cleared its flag; the press still holds.
            ASSERT_TRUE(PumpUntil([&] {
                return RequestsOf(CMD_SAVE_CONFIG, OpenedAt).size() == 20 &&
                       !Frame->IsBusy(BusyFlag::Settings);
            }));
            EXPECT_TRUE(Frame->IsBusy(BusyFlag::ConnectPress));
            Quit();
            PumpFor(300);
            EXPECT_EQ(Frame->GetCloseRefused(), 0u) << "spared by the frame, not asked";
            EXPECT_FALSE(Closed());
            EXPECT_FALSE(Gone());
            EXPECT_TRUE(::IsWindow(h));
            // Asked directly, the settings dialog refuses while a window of its page runs.
            EXPECT_FALSE(Dialog()->RequestClose());
            EXPECT_TRUE(::IsWindow(h));
            checked = true;
            Click(Item(h, IDCANCEL));
        });
    };
    Press();
    ASSERT_TRUE(PumpUntil([&] { return PressEnded(); }));
    EXPECT_TRUE(checked);
    ASSERT_EQ(boxes.Calls.size(), 1u);
    EXPECT_EQ(boxes.Calls[0].Text, BuiltinUiText(209));
    EXPECT_EQ(ConnectionName(Svc.Record(0)), L"Edited");
    EXPECT_TRUE(Sent(CMD_CONNECT).empty());
    // Nothing holds the dialog now: Quit ends the program.
    Quit();
    ASSERT_TRUE(PumpUntil([&] { return Gone(); }));
}

TEST_F(ConnectTest, ANoASaveThatAPageRefusesAndAMissingServerConnectNothing) {
    const uint8_t none[4] = {0, 0, 0, 0};
    Svc.Records[3].SetServerAddress(none);
    OpenDialog();
    CMessageBoxRecorder boxes;

    // Edits, answered No: nothing saved, nothing sent, Quit works again at once.
    SelectTab(2);
    Type(Control(1, IDC_SET_PSK), L"one");
    Type(Control(1, IDC_SET_PSK_AGAIN), L"two");
    SelectTab(0);
    boxes.Answers = {IDNO};
    Press();
    EXPECT_TRUE(PressEnded());
    ASSERT_EQ(boxes.Calls.size(), 1u);
    EXPECT_EQ(boxes.Calls[0].Text, BuiltinUiText(209));

    // Yes: the page refuses its key and says so; the press stops without a word more.
    boxes.Answers = {IDYES};
    Press();
    EXPECT_TRUE(PressEnded());
    ASSERT_EQ(boxes.Calls.size(), 3u);
    EXPECT_NE(boxes.Calls[2].Text.find(BuiltinUiText(212)), std::wstring::npos);
    EXPECT_FALSE(Frame->IsBusy(BusyFlag::Settings));

    // Without edits: a key that differs from its re-entry is named by 212 alone.
    Type(Control(1, IDC_SET_PSK_AGAIN), L"one");
    ClickSave();
    ASSERT_TRUE(WaitForSaves(20, OpenedAt));
    const size_t saved = Service->Requests().size();
    Click(Radio(3));
    Press();
    EXPECT_TRUE(PressEnded());
    ASSERT_EQ(boxes.Calls.size(), 4u);
    EXPECT_EQ(boxes.Calls[3].Text, BuiltinUiText(219)) << "connection 4 names no server";
    PumpFor(200);
    EXPECT_EQ(Service->Requests().size(), saved);
    EXPECT_TRUE(Opened().empty());
}

TEST_F(ConnectTest, TheButtonOfTheConnectionUpDisconnectsItThroughTheDisconnectingDialog) {
    Svc.States[3] = 1;
    OpenDialog();
    EXPECT_EQ(Button(), L"切断");
    Press();
    ASSERT_TRUE(PumpUntil([&] { return PressEnded(); }));
    EXPECT_EQ(Opened(), (std::vector<UINT>{IDD_VPN_DISCONNECTING}));
    EXPECT_EQ(Sent(CMD_DISCONNECT)[0], Bytes({2, 0, 0, 1, 3}));
    PumpPosted();
    EXPECT_EQ(Button(), L"接続");
    EXPECT_EQ(WindowText(StateLabel(3)), L"未接続");
    EXPECT_EQ(Frame->GetTrayIconId(), 145u);
    EXPECT_TRUE(::IsWindowEnabled(Radio(0)));
    EXPECT_TRUE(Sent(CMD_CONNECT).empty());
}

// ---------------------------------------------------------------------------------------------
// Notifications and quits that arrive while a press is under way, and the save before a connect

// An edit on setting page 1, so that the press asks 209 first.
void EditConnectionOne(SettingsDialogTest& test, const std::wstring& name) {
    test.SelectTab(1);
    Type(test.Control(0, IDC_SET_NAME), name);
    test.SelectTab(0);
}

// `corvelc disconnect` while the success text shows: the service has ended the connection and
// asks the GUI to quit. Nothing is up any more, so the Quit asks nothing and disconnects nothing.
TEST_F(ConnectTest, QuitGuiDuringTheSuccessPauseShowsTheConnectionDownAndQuitsWithoutAsking) {
    OpenDialog();
    CMessageBoxRecorder boxes;
    AnswerCredentials(true);
    bool upInThePause = false;
    WhileConnecting([&](CDlgVpnConnecting& dialog) {
        Notify(StateNotice(0, 1));
        ASSERT_TRUE(PumpUntil([&] { return dialog.GetConnectState() == 1; }));
        upInThePause = Frame->GetConnectStates()[0] == 1 && WindowText(StateLabel(0)) == L"接続中";
        Notify(StateNotice(0, 0, 1));
    });
    Press();
    ASSERT_TRUE(PumpUntil([&] { return Gone(); }));
    EXPECT_TRUE(upInThePause);
    EXPECT_TRUE(boxes.Calls.empty()) << "no 216 for a connection already gone";
    EXPECT_EQ(Opened(), (std::vector<UINT>{IDD_XAUTH, IDD_VPN_CONNECTING})) << "no disconnecting dialog";
    EXPECT_TRUE(Sent(CMD_DISCONNECT).empty());
    EXPECT_EQ(Frame->GetTrayIconId(), 145u);
}

// The page is the target while the credentials dialog runs (the connecting dialog takes it only
// after OK): the quit still ends that dialog at once, and nothing is connected.
TEST_F(ConnectTest, QuitGuiWhileTheCredentialsDialogIsOpenEndsItConnectsNothingAndQuits) {
    OpenDialog();
    CMessageBoxRecorder boxes;
    wintest::CModalWatchdog watchdog;
    bool waitedForTheUser = false;
    OnDialog[IDD_XAUTH] = [&](CDialog& dialog) { QuitGuiUnder(dialog.m_hWnd, IDOK, waitedForTheUser); };
    Press();
    ASSERT_TRUE(PumpUntil([&] { return Gone(); }));
    EXPECT_FALSE(waitedForTheUser);
    EXPECT_FALSE(watchdog.Fired());
    EXPECT_TRUE(Sent(CMD_CONNECT).empty());
    EXPECT_TRUE(Sent(CMD_SAVE_CONFIG).empty()) << "not even the credentials";
    EXPECT_TRUE(boxes.Calls.empty());
}

// A Quit that reaches the frame while the press holds the settings dialog is kept and runs when
// the press ends; the press connects nothing after it. Whether it is the service's (QuitGui) or
// the user's (the tray menu), under a box, during the save or under the credentials dialog.
enum class QuitDuringPress {
    QuitGuiUnderTheSaveQuestion,
    TrayQuitDuringTheSave,
    TrayQuitUnderTheCredentials
};

class QuitDuringPressTest : public ConnectTest, public testing::WithParamInterface<QuitDuringPress> {};

TEST_P(QuitDuringPressTest, RunsWhenThePressEndsAndNothingIsConnectedAfterIt) {
    using When = QuitDuringPress;
    const When at = GetParam();
    const bool saves = at != When::TrayQuitUnderTheCredentials; // the press saves first
    std::unique_ptr<CHeldSave> held;
    if (at == When::TrayQuitDuringTheSave)
        held = std::make_unique<CHeldSave>(Svc);
    OpenDialog();
    // The version box: the frame's Quit closes it whatever holds the settings dialog, which
    // shows that the Quit has been handled.
    Frame->PostMessage(WM_COMMAND, ID_APP_ABOUT);
    ASSERT_TRUE(PumpUntil([&] { return Frame->IsAboutOpen(); }));
    const auto quitHandled = [&] { return !Frame->IsAboutOpen(); };
    if (saves)
        EditConnectionOne(*this, L"Saved");
    wintest::CModalWatchdog watchdog;
    CMessageBoxRecorder boxes;
    boxes.Answers = {IDYES};
    boxes.OnBox = [&](const MessageBoxCall& box) {
        if (at == When::QuitGuiUnderTheSaveQuestion && box.Text == BuiltinUiText(209)) {
            Notify(StateNotice(0, 0, 1));
            ASSERT_TRUE(PumpUntil(quitHandled));
        }
    };
    bool credentialsAnswered = false;
    OnDialog[IDD_XAUTH] = [&](CDialog& dialog) {
        const HWND h = dialog.m_hWnd;
        PostStep([&, h] {
            if (at == When::TrayQuitUnderTheCredentials) {
                Quit();
                ASSERT_TRUE(PumpUntil(quitHandled));
                EXPECT_TRUE(::IsWindow(h)) << "the user's own dialog stays open";
            }
            credentialsAnswered = true;
            Click(Item(h, at == When::TrayQuitUnderTheCredentials ? IDOK : IDCANCEL));
        });
    };
    Press();
    if (held) {
        ASSERT_TRUE(PumpUntil([&] { return held->Held(); }));
        Quit();
        ASSERT_TRUE(PumpUntil(quitHandled));
        EXPECT_FALSE(Gone());
        held->Release();
    }
    ASSERT_TRUE(PumpUntil([&] { return Gone(); }));
    EXPECT_FALSE(watchdog.Fired());
    EXPECT_EQ(credentialsAnswered, at == When::TrayQuitUnderTheCredentials);
    EXPECT_TRUE(Sent(CMD_CONNECT).empty());
    // The batch, or the credentials that the user's OK stores (item 25) without connecting.
    EXPECT_EQ(RequestsOf(CMD_SAVE_CONFIG, OpenedAt).size(), saves ? 20u : 1u);
    EXPECT_EQ(BoxesWith(boxes, 216), 0u);
}

INSTANTIATE_TEST_SUITE_P(ConnectTest, QuitDuringPressTest,
                         testing::Values(QuitDuringPress::QuitGuiUnderTheSaveQuestion,
                                         QuitDuringPress::TrayQuitDuringTheSave,
                                         QuitDuringPress::TrayQuitUnderTheCredentials),
                         [](const testing::TestParamInfo<QuitDuringPress>& info) {
                             switch (info.param) {
                             case QuitDuringPress::QuitGuiUnderTheSaveQuestion:
                                 return std::string("QuitGuiUnderTheSaveQuestion");
                             case QuitDuringPress::TrayQuitDuringTheSave:
                                 return std::string("TrayQuitWhileTheSaveIsUnderWay");
                             case QuitDuringPress::TrayQuitUnderTheCredentials:
                                 return std::string("TrayQuitUnderTheCredentialsThenOk");
                             }
                             return std::string();
                         });

// A dial begun by `connect vpn6 /hide` that the opening status just missed: the state 1 names
// connection 6, which the page shows up and whose disconnect its button sends.
TEST_F(ConnectTest, AStateOneForAnotherConnectionShowsThatOneUpAndTheButtonDisconnectsIt) {
    OpenDialog();
    ASSERT_TRUE(Checked(Radio(0)));
    CMessageBoxRecorder boxes;
    Notify(StateNotice(5, 1));
    ASSERT_TRUE(PumpUntil([&] { return Frame->GetTrayIconId() == 130u; }));
    PumpPosted();
    for (int k = 0; k < 20; ++k) {
        EXPECT_EQ(Frame->GetConnectStates()[k], k == 5 ? 1 : 0) << k;
        EXPECT_EQ(WindowText(StateLabel(k)), k == 5 ? L"接続中" : L"未接続") << k;
        EXPECT_EQ(::IsWindowEnabled(Radio(k)) != FALSE, k == 5) << k;
    }
    EXPECT_TRUE(Checked(Radio(5)));
    EXPECT_EQ(Button(), L"切断");
    Press();
    ASSERT_TRUE(PumpUntil([&] { return PressEnded(); }));
    ASSERT_EQ(Sent(CMD_DISCONNECT).size(), 1u);
    EXPECT_EQ(Sent(CMD_DISCONNECT)[0], Bytes({2, 0, 0, 1, 5}));
    EXPECT_TRUE(Sent(CMD_CONNECT).empty());
    EXPECT_TRUE(boxes.Calls.empty());
}

// One connection at a time: a state 1 under the save question (for whichever connection) leaves
// the press nothing to dial once its save is done.
TEST_F(ConnectTest, AConnectionThatComesUpUnderTheSaveQuestionIsNotDialledOver) {
    OpenDialog();
    EditConnectionOne(*this, L"Saved");
    CMessageBoxRecorder boxes;
    boxes.Answers = {IDYES};
    boxes.OnBox = [&](const MessageBoxCall&) {
        Notify(StateNotice(6, 1));
        ASSERT_TRUE(PumpUntil([&] { return Frame->GetTrayIconId() == 130u; }));
    };
    wintest::CModalWatchdog watchdog;
    AnswerCredentials(false);
    Press();
    ASSERT_TRUE(
        PumpUntil([&] { return PressEnded() && RequestsOf(CMD_SAVE_CONFIG, OpenedAt).size() == 20; }));
    PumpFor(200);
    EXPECT_TRUE(Opened().empty()) << "no credentials dialog";
    EXPECT_TRUE(Sent(CMD_CONNECT).empty());
    EXPECT_EQ(WindowText(StateLabel(6)), L"接続中");
    EXPECT_EQ(Button(), L"切断");
}

// The RAS-error box is the connecting dialog's: a quit closes it with the dialog instead of
// waiting for the user.
TEST_F(ConnectTest, QuitGuiWhileTheRasErrorBoxIsOpenClosesTheBoxWithTheDialogAndQuits) {
    OpenDialog();
    CMessageBoxRecorder boxes;
    wintest::CModalWatchdog watchdog;
    AnswerCredentials(true);
    WhileConnecting([&](CDlgVpnConnecting&) { Notify(RasErrorNotice(691)); });
    bool waitedForTheUser = false;
    OnDialog[IDD_MSGBOX_RASERR] = [&](CDialog& dialog) {
        QuitGuiUnder(dialog.m_hWnd, IDC_RASERR_CLOSE, waitedForTheUser);
    };
    Press();
    ASSERT_TRUE(PumpUntil([&] { return Gone(); }));
    EXPECT_FALSE(waitedForTheUser);
    EXPECT_FALSE(watchdog.Fired());
    EXPECT_EQ(Opened(), (std::vector<UINT>{IDD_XAUTH, IDD_VPN_CONNECTING, IDD_MSGBOX_RASERR}));
    EXPECT_TRUE(wintest::OpenDialogs(IDD_MSGBOX_RASERR).empty());
    EXPECT_TRUE(boxes.Calls.empty());
}

// "Yes, save" first: the credentials dialog opens, and the connect goes, only once every item
// of the batch has been answered 0; a second click meanwhile starts nothing.
TEST_F(ConnectTest, YesSaveConnectsOnlyOnceTheWholeBatchIsSavedAndASecondClickMeanwhileDoesNothing) {
    CHeldSave held(Svc);
    OpenDialog();
    EditConnectionOne(*this, L"Saved first");
    wintest::CModalWatchdog watchdog;
    CMessageBoxRecorder boxes;
    boxes.Answers = {IDYES};
    size_t savesWhenAsked = 0;
    bool batchBusyWhenAsked = true;
    std::wstring shownName;
    AnswerCredentials(true, [&](HWND h) {
        savesWhenAsked = RequestsOf(CMD_SAVE_CONFIG, OpenedAt).size();
        batchBusyWhenAsked = Frame->IsBusy(BusyFlag::Settings);
        shownName = WindowText(Item(h, IDC_XAUTH_NAME));
    });
    WhileConnecting([&](CDlgVpnConnecting& dialog) {
        Notify(StateNotice(0, 1));
        ASSERT_TRUE(PumpUntil([&] { return dialog.GetConnectState() == 1; }));
    });
    Press();
    ASSERT_TRUE(PumpUntil([&] { return held.Held(); }));
    Press(); // again, while the first waits
    PumpFor(200);
    EXPECT_TRUE(Opened().empty()) << "nothing runs before the batch is saved";
    EXPECT_EQ(boxes.Calls.size(), 1u) << "the second click asks nothing";
    EXPECT_TRUE(Frame->IsBusy(BusyFlag::ConnectPress));
    held.Release();
    ASSERT_TRUE(PumpUntil([&] { return PressEnded(); }, kSuccessCloseMs));
    EXPECT_FALSE(watchdog.Fired());
    EXPECT_EQ(savesWhenAsked, 20u);
    EXPECT_FALSE(batchBusyWhenAsked);
    EXPECT_EQ(shownName, L"Saved first");
    EXPECT_EQ(ConnectionName(Svc.Record(0)), L"Saved first");
    // The batch's 20 items, then the credentials (item 25), then the one connect.
    const std::vector<uint8_t> order = Commands();
    ASSERT_GE(order.size(), 22u);
    for (size_t i = 0; i < 21; ++i)
        EXPECT_EQ(order[i], CMD_SAVE_CONFIG) << i;
    EXPECT_EQ(Sent(CMD_CONNECT).size(), 1u);
    EXPECT_EQ(Button(), L"切断");
    EXPECT_EQ(boxes.Calls.size(), 1u);
}

// A batch that the service refuses shows its box alone, over no dialog of the press, and the
// attempt never dials the record the service still holds.
TEST_F(ConnectTest, ARefusedSaveBeforeAConnectShowsItsBoxAndConnectsNothing) {
    Svc.SaveResults[4] = 5;
    OpenDialog();
    EditConnectionOne(*this, L"Refused");
    wintest::CModalWatchdog watchdog;
    CMessageBoxRecorder boxes;
    boxes.Answers = {IDYES};
    bool heldUnderTheBox = false;
    boxes.OnBox = [&](const MessageBoxCall& box) {
        if (box.Text == BuiltinUiText(214))
            heldUnderTheBox = Frame->IsBusy(BusyFlag::ConnectPress) && Opened().empty();
    };
    AnswerCredentials(false);
    Press();
    ASSERT_TRUE(PumpUntil([&] { return PressEnded() && boxes.Calls.size() == 2; }));
    PumpFor(200);
    EXPECT_FALSE(watchdog.Fired());
    ASSERT_EQ(boxes.Calls.size(), 2u);
    EXPECT_EQ(boxes.Calls[0].Text, BuiltinUiText(209));
    EXPECT_EQ(boxes.Calls[1].Text, BuiltinUiText(214));
    EXPECT_TRUE(heldUnderTheBox) << "the press waits for its box";
    EXPECT_TRUE(Opened().empty()) << "no credentials dialog";
    EXPECT_TRUE(Sent(CMD_CONNECT).empty());
    EXPECT_TRUE(SaveEnabled());
    EXPECT_FALSE(Frame->IsBusy(BusyFlag::Settings));
}

// ---------------------------------------------------------------------------------------------
// The shipped "language.csv" and the RAS-error box

constexpr int32_t kShippedCodes[] = {628, 629, 633, 678, 691, 718, 720, 734, 741, 742,
                                     769, 787, 788, 789, 792, 800, 809, 812, 868};

TEST(ShippedLanguageFile, OnlyTheRasErrorSectionInCodePage932WithCrLfAndNoByteOrderMark) {
    const std::string bytes = ShippedLanguageFile();
    ASSERT_FALSE(bytes.empty());
    EXPECT_NE(bytes.substr(0, 3), "\xEF\xBB\xBF");
    EXPECT_EQ(bytes.substr(0, 17), "[ras_error_msg]\r\n");
    EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n");
    size_t sections = 0;
    for (size_t at = 0; at < bytes.size(); ++at) {
        if (bytes[at] == '\n') {
            EXPECT_EQ(bytes[at - 1], '\r') << at;
        }
        if (bytes[at] == '[' && (at == 0 || bytes[at - 1] == '\n'))
            ++sections;
    }
    EXPECT_EQ(sections, 1u);
    // Every byte is code page 932.
    EXPECT_GT(::MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, bytes.data(), int(bytes.size()), nullptr, 0),
              0);
}

TEST(ShippedLanguageFile, EachListedCodeHasItsOwnTextEndingInItsCodeAndOthersTheGenericOne) {
    std::set<std::wstring> seen;
    for (const int32_t code : kShippedCodes) {
        const RasErrorTexts texts = ReadRasErrorTexts(ShippedPath(), code, 932);
        ASSERT_TRUE(texts.SectionFound);
        EXPECT_TRUE(texts.Caption.empty() && texts.CopyButton.empty() && texts.CloseButton.empty());
        const std::wstring suffix = L"(" + std::to_wstring(code) + L")";
        ASSERT_GT(texts.Message.size(), suffix.size() + 8) << code;
        EXPECT_EQ(texts.Message.substr(texts.Message.size() - suffix.size()), suffix) << code;
        EXPECT_TRUE(seen.insert(texts.Message).second) << code;
        // Japanese text, not a code page's replacement characters.
        EXPECT_EQ(texts.Message.find(L'?'), std::wstring::npos) << code;
        EXPECT_EQ(texts.Message.find(L'\x30FB'), std::wstring::npos) << code;
    }
    const std::wstring other = ReadRasErrorTexts(ShippedPath(), 651, 932).Message;
    EXPECT_EQ(other, L"VPN接続でエラーが発生しました。エラーコード(651)");
}

class RasErrorBoxTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(::GetACP(), 932u);
        Recorder.OnDialog = [this](CDialog& dialog) {
            if (OnBox)
                OnBox(dialog.m_hWnd);
        };
    }
    CDialogRecorder Recorder;
    std::function<void(HWND)> OnBox;
};

TEST_F(RasErrorBoxTest, EveryShippedTextFitsTheMessageEditWithoutScrolling) {
    for (const int32_t code : kShippedCodes) {
        int lastLineBottom = 0, editHeight = 0, lines = 0;
        OnBox = [&](HWND box) {
            const HWND edit = Item(box, IDC_RASERR_MESSAGE);
            const int length = ::GetWindowTextLengthW(edit);
            const LRESULT at = ::SendMessageW(edit, EM_POSFROMCHAR, WPARAM(length - 1), 0);
            TEXTMETRICW metrics{};
            const HDC dc = ::GetDC(edit);
            const HGDIOBJ old =
                ::SelectObject(dc, reinterpret_cast<HGDIOBJ>(::SendMessageW(edit, WM_GETFONT, 0, 0)));
            ::GetTextMetricsW(dc, &metrics);
            ::SelectObject(dc, old);
            ::ReleaseDC(edit, dc);
            RECT format{};
            ::SendMessageW(edit, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&format));
            lastLineBottom = short(HIWORD(at)) + metrics.tmHeight;
            editHeight = format.bottom;
            lines = int(::SendMessageW(edit, EM_GETLINECOUNT, 0, 0));
            PostStep([box] { Click(Item(box, IDC_RASERR_CLOSE)); });
        };
        CDlgMsgBoxRasErr box(nullptr, code, ShippedPath());
        box.Run();
        EXPECT_GT(lines, 0) << code;
        EXPECT_LE(lastLineBottom, editHeight) << code << ": " << lines << " lines";
    }
}

TEST_F(RasErrorBoxTest, WithoutTheSectionTheBoxShowsAndCopiesNothingAndAnEmptyCloseCaptionClosesNothing) {
    RasErrorText() = L"an earlier box's text";
    SetClipboardText("kept");
    std::wstring message;
    OnBox = [&](HWND box) {
        message = WindowText(Item(box, IDC_RASERR_MESSAGE));
        PostStep([box] { Click(Item(box, IDC_RASERR_COPY)); });
    };
    CDlgMsgBoxRasErr box(nullptr, 691, L"C:\\no\\such\\language.csv");
    box.Run();
    EXPECT_TRUE(box.GetCloseCaption().empty());
    EXPECT_TRUE(message.empty());
    EXPECT_TRUE(RasErrorText().empty()) << "exactly what the edit showed";
    EXPECT_EQ(ClipboardText(), "kept") << "Copy with no message changes nothing";
}

// After either button, once the box's own loop has ended: the window that became active in its
// place is closed when its caption is line 1 of "[c_dlgvpnconnecting]"; Escape closes nothing.
TEST_F(RasErrorBoxTest, AButtonClosesTheActiveWindowOfTheNamedCaptionOnceTheBoxHasEnded) {
    const std::wstring caption = L"VPN接続の状態";
    std::string named = Cp932(caption);
    named.pop_back(); // the terminator
    wchar_t folder[MAX_PATH];
    ASSERT_GT(::GetTempPathW(MAX_PATH, folder), 0u);
    const std::wstring path = std::wstring(folder) + L"corvel-caption-language.csv";
    {
        std::ofstream file(path.c_str(), std::ios::binary);
        file << "[c_dlgvpnconnecting]\r\n" << named << "\r\n";
    }
    WNDCLASSW wc{};
    wc.lpfnWndProc = ::DefWindowProcW; // WM_CLOSE destroys it
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"CorvelCaptionTarget";
    ::RegisterClassW(&wc);

    struct Case {
        const char* Name;
        std::wstring Title;
        int Control; // the button clicked, or 0 for Escape
        bool Closed;
    };
    const Case cases[] = {
        {"Close", caption, IDC_RASERR_CLOSE, true},
        {"Copy", caption, IDC_RASERR_COPY, true},
        {"Escape", caption, 0, false},
        {"another caption", L"Corvel", IDC_RASERR_CLOSE, false},
    };
    for (const Case& c : cases) {
        const HWND target =
            ::CreateWindowExW(0, wc.lpszClassName, c.Title.c_str(), WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50, 50,
                              300, 200, nullptr, nullptr, wc.hInstance, nullptr);
        ASSERT_TRUE(target) << c.Name;
        ::SetForegroundWindow(target);
        ::SetActiveWindow(target);
        HWND activeUnderTheBox = nullptr;
        OnBox = [&](HWND box) {
            PostStep([&, box] {
                activeUnderTheBox = ::GetActiveWindow();
                if (c.Control != 0)
                    Click(Item(box, c.Control));
                else
                    wintest::PostKey(box, VK_ESCAPE);
            });
        };
        CDlgMsgBoxRasErr box(nullptr, 691, path);
        box.Run();
        EXPECT_EQ(box.GetCloseCaption(), caption) << c.Name;
        EXPECT_NE(activeUnderTheBox, target) << c.Name << ": the box was the active window while it ran";
        PumpPosted();
        EXPECT_EQ(::IsWindow(target) == FALSE, c.Closed) << c.Name;
        if (::IsWindow(target))
            ::DestroyWindow(target);
    }
    ::DeleteFileW(path.c_str());
}

TEST(ClipboardConversion, SizedFromTheConversionInTheCodePageGiven) {
    struct Case {
        const char* Name;
        std::wstring Text;
        UINT CodePage;
        std::string Expected; // with the terminator
    };
    const std::wstring kana(600, L'\x3042'); // 1800 bytes in UTF-8: past any 1024-byte buffer
    const Case cases[] = {
        {"932", L"接続(691)", 932, std::string("\x90\xda\x91\xb1(691)", 9) + '\0'},
        {"65001, 3 bytes a character", L"あい", 65001, std::string("\xE3\x81\x82\xE3\x81\x84") + '\0'},
        {"65001, over 1024 bytes whole", kana, 65001,
         [&] {
             std::string s;
             for (size_t i = 0; i < kana.size(); ++i)
                 s += "\xE3\x81\x82";
             return s + '\0';
         }()},
        {"empty", L"", 932, std::string(1, '\0')},
    };
    for (const Case& c : cases) {
        std::string out;
        ASSERT_TRUE(ConvertForClipboard(c.Text, c.CodePage, out)) << c.Name;
        EXPECT_EQ(out, c.Expected) << c.Name;
    }
    std::string out = "x";
    EXPECT_FALSE(ConvertForClipboard(L"text", 54321, out)) << "no such code page";
    EXPECT_TRUE(out.empty());

    // On the clipboard whole, and a failed conversion leaves it alone.
    ASSERT_TRUE(CopyTextToClipboard(nullptr, kana, 65001));
    EXPECT_EQ(ClipboardText().size(), 1800u);
    EXPECT_FALSE(CopyTextToClipboard(nullptr, L"text", 54321));
    EXPECT_EQ(ClipboardText().size(), 1800u);
    EXPECT_FALSE(CopyTextToClipboard(nullptr, L"", 932));
    EXPECT_EQ(ClipboardText().size(), 1800u);
}

} // namespace
} // namespace corvel
