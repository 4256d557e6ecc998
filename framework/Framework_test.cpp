// Windows, dialogs, the loop, data exchange and boxes, under Wine with a display.
#include "App.h"
#include "DataExchange.h"
#include "Dialog.h"
#include "FileDialog.h"
#include "Format.h"
#include "Frame.h"
#include "FrameworkTestResource.h"
#include "MessageBox.h"
#include "Menu.h"
#include "MessageLoop.h"
#include "TextMeasure.h"
#include "WindowTestSupport.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace corvel {
namespace {

CWinApp g_app; // the test program's application object, as a console program holds one

constexpr UINT_PTR kTimer = 1;
constexpr UINT WM_TEST_CHECK = WM_USER + 100;

// Each test starts with no main window and leaves no message behind.
class FrameworkTest : public ::testing::Test {
protected:
    void SetUp() override { g_app.m_pMainWnd = nullptr; }
    void TearDown() override {
        g_app.m_pMainWnd = nullptr;
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
    }
};

using wintest::CModalWatchdog;
using wintest::PostStep;
using wintest::PumpPosted;

// A hidden main window, as the tray program has.
class CTestFrame : public CFrameWnd {
public:
    std::vector<MessageBoxCall>* boxesInCreate = nullptr;

protected:
    int OnCreate(CREATESTRUCTW* cs) override {
        // A handler that runs before CreateWindowEx returns may already show boxes.
        if (boxesInCreate)
            AfxMessageBox(L"from OnCreate");
        return CFrameWnd::OnCreate(cs);
    }
};

TEST_F(FrameworkTest, HiddenFrameIsBoundBeforeCreateReturnsAndEndsTheLoopWhenDestroyed) {
    CMessageBoxRecorder boxes;
    CTestFrame frame;
    std::vector<MessageBoxCall> unused;
    frame.boxesInCreate = &unused;
    g_app.m_pMainWnd = &frame; // made the main window before it is created, as the program does
    ASSERT_TRUE(frame.LoadFrame(IDR_TEST_FRAME));
    ASSERT_EQ(boxes.Calls.size(), 1u);
    EXPECT_EQ(boxes.Calls[0].Owner, frame.m_hWnd) << "the window was bound from WM_NCCREATE";
    EXPECT_FALSE(frame.IsWindowVisible());
    EXPECT_EQ(::GetClassLongPtrW(frame.m_hWnd, GCL_STYLE), 0u);
    EXPECT_EQ(::GetClassLongPtrW(frame.m_hWnd, GCLP_HCURSOR), 0u);
    EXPECT_EQ(::GetClassLongPtrW(frame.m_hWnd, GCLP_HBRBACKGROUND), 0u);
    EXPECT_EQ(::GetClassLongPtrW(frame.m_hWnd, GCLP_HICON), 0u);
    EXPECT_EQ(frame.GetWindowText(), L"Corvel");
    EXPECT_EQ(frame.GetStyle() & FWS_ADDTOTITLE, 0u);
    EXPECT_EQ(CWnd::FromHandle(frame.m_hWnd), &frame);

    ::PostMessageW(frame.m_hWnd, WM_CLOSE, 0, 0);
    EXPECT_EQ(RunMessageLoop(), 0);
    EXPECT_EQ(frame.m_hWnd, nullptr);
    EXPECT_EQ(AfxGetMainWnd(), nullptr);
}

// A frame that records the messages of its window's end.
class CEndRecordingFrame : public CFrameWnd {
public:
    std::vector<std::string>* ends = nullptr;

protected:
    void OnDestroy() override {
        ends->push_back("destroy");
        CFrameWnd::OnDestroy();
    }
};

// An object that dies with its window alive takes the window with it while it is still a frame,
// and leaves no binding behind.
TEST_F(FrameworkTest, AFrameThatDiesWithItsWindowDestroysItAndLeavesNoBinding) {
    std::vector<std::string> ends;
    HWND hwnd = nullptr;
    {
        CEndRecordingFrame frame;
        frame.ends = &ends;
        ASSERT_TRUE(frame.LoadFrame(IDR_TEST_FRAME));
        hwnd = frame.m_hWnd;
    }
    EXPECT_FALSE(::IsWindow(hwnd));
    EXPECT_EQ(CWnd::FromHandle(hwnd), nullptr);
    // Destroyed from the frame's destructor: what runs there is the frame's own handler, not
    // the derived one, which is gone by then; nothing ran into a half-destroyed object.
    EXPECT_TRUE(ends.empty());
}

// A program's application object: its main window ends the loop, and the exit code comes back.
class CTestApp : public CWinApp {
public:
    explicit CTestApp(bool start) : m_start(start) {}
    CTestFrame frame;
    std::vector<std::string> calls;
    bool frameWasAlive = false;

    BOOL InitInstance() override {
        calls.push_back("InitInstance");
        m_pMainWnd = &frame;
        if (!frame.LoadFrame(IDR_TEST_FRAME))
            return FALSE;
        frame.ShowWindow(SW_HIDE);
        if (!m_start)
            return FALSE;
        frame.PostMessage(WM_CLOSE);
        return TRUE;
    }
    int ExitInstance() override {
        calls.push_back("ExitInstance");
        frameWasAlive = frame.m_hWnd != nullptr;
        return CWinApp::ExitInstance() + 3;
    }

private:
    bool m_start;
};

TEST_F(FrameworkTest, AfxWinMainRunsInitLoopAndExitAndStopsAfterAFailedInit) {
    {
        CTestApp app(true);
        EXPECT_EQ(AfxGetApp(), &app);
        EXPECT_EQ(AfxWinMain(::GetModuleHandleW(nullptr), SW_SHOWDEFAULT), 3);
        EXPECT_EQ(app.calls, (std::vector<std::string>{"InitInstance", "ExitInstance"}));
        EXPECT_FALSE(app.frameWasAlive) << "the loop ended with the main window";
    }
    {
        CTestApp app(false);
        EXPECT_EQ(AfxWinMain(::GetModuleHandleW(nullptr), SW_SHOWDEFAULT), 3);
        EXPECT_EQ(app.calls, (std::vector<std::string>{"InitInstance", "ExitInstance"}));
        EXPECT_FALSE(app.frameWasAlive) << "a failed start destroys the main window first";
    }
    EXPECT_EQ(AfxGetApp(), &g_app);
}

// Records what the dialog went through.
class CRecordingDialog : public CDialog {
public:
    explicit CRecordingDialog(UINT id, CWnd* parent = nullptr) : CDialog(id, parent) {}
    bool everShown = false;

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_SHOWWINDOW && wParam)
            everShown = true;
        if (message == WM_WINDOWPOSCHANGED && (reinterpret_cast<WINDOWPOS*>(lParam)->flags & SWP_SHOWWINDOW))
            everShown = true;
        return CDialog::WindowProc(message, wParam, lParam);
    }
};

class CEndsInInit : public CRecordingDialog {
public:
    CEndsInInit() : CRecordingDialog(IDD_TEST_VISIBLE) {}

protected:
    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        EndDialog(42);
        return TRUE;
    }
};

TEST_F(FrameworkTest, ModalDialogEndedInOnInitDialogNeverShowsAndReturnsItsCode) {
    CEndsInInit dialog; // its template has WS_VISIBLE
    EXPECT_EQ(dialog.DoModal(), 42);
    EXPECT_FALSE(dialog.everShown);
    EXPECT_EQ(dialog.m_hWnd, nullptr);
}

// Runs under a main window: checks its owner, then shows a framework box, then ends.
class COwnedDialog : public CRecordingDialog {
public:
    COwnedDialog() : CRecordingDialog(IDD_TEST_PLAIN) {}
    HWND ownerSeen = nullptr;
    HWND self = nullptr;
    BOOL mainEnabledInside = TRUE;
    BOOL visibleOnTimer = FALSE;
    int ticks = 0;
    int boxAnswer = 0;

protected:
    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        ownerSeen = ::GetWindow(m_hWnd, GW_OWNER);
        mainEnabledInside = ::IsWindowEnabled(AfxGetMainWnd()->m_hWnd);
        SetTimer(kTimer, 10);
        return TRUE;
    }
    void OnTimer(UINT_PTR id) override {
        // The dialog shows once its queue first goes idle; on a loaded machine the first tick
        // can come before that, so look again on later ticks.
        visibleOnTimer = IsWindowVisible();
        if (!visibleOnTimer && ++ticks < 200)
            return;
        KillTimer(id);
        self = m_hWnd;
        boxAnswer = AfxMessageBox(L"問題があります。", MB_OKCANCEL);
        EndDialog(7);
    }
};

TEST_F(FrameworkTest, DoModalDisablesItsOwnerAndEnablesItAfterAndBoxesAreOwnedByTheLastActivePopup) {
    CMessageBoxRecorder boxes;
    boxes.Answers = {IDCANCEL};
    CTestFrame frame;
    ASSERT_TRUE(frame.LoadFrame(IDR_TEST_FRAME));
    g_app.m_pMainWnd = &frame;

    COwnedDialog dialog;
    EXPECT_EQ(dialog.DoModal(), 7);
    EXPECT_EQ(dialog.ownerSeen, frame.m_hWnd);
    EXPECT_FALSE(dialog.mainEnabledInside);
    EXPECT_TRUE(dialog.visibleOnTimer);
    EXPECT_TRUE(frame.IsWindowEnabled());

    ASSERT_EQ(boxes.Calls.size(), 1u);
    EXPECT_EQ(boxes.Calls[0].Text, L"問題があります。");
    EXPECT_EQ(boxes.Calls[0].Caption, L"Corvel");
    EXPECT_EQ(boxes.Calls[0].Type, UINT(MB_OKCANCEL | MB_ICONEXCLAMATION));
    EXPECT_EQ(boxes.Calls[0].Owner, dialog.self) << "the main window's last active popup";
    EXPECT_EQ(dialog.boxAnswer, IDCANCEL);
    g_app.m_pMainWnd = nullptr;
}

TEST_F(FrameworkTest, AfxMessageBoxAddsTheFrameworksIconOnlyWhenNoneIsNamed) {
    struct Case {
        UINT given;
        UINT shown;
    };
    const Case cases[] = {
        {MB_OK, MB_OK | MB_ICONEXCLAMATION},
        {MB_OKCANCEL, MB_OKCANCEL | MB_ICONEXCLAMATION},
        {MB_YESNO, MB_YESNO | MB_ICONQUESTION},
        {MB_YESNOCANCEL, MB_YESNOCANCEL | MB_ICONQUESTION},
        {MB_OKCANCEL | MB_ICONQUESTION, MB_OKCANCEL | MB_ICONQUESTION},
        {MB_OK | MB_ICONERROR, MB_OK | MB_ICONERROR},
        {MB_RETRYCANCEL, MB_RETRYCANCEL},
    };
    CMessageBoxRecorder boxes;
    for (const Case& c : cases) {
        const int answer = AfxMessageBox(L"text", c.given);
        ASSERT_FALSE(boxes.Calls.empty());
        EXPECT_EQ(boxes.Calls.back().Type, c.shown) << "given " << c.given;
        EXPECT_EQ(boxes.Calls.back().Owner, nullptr) << "no main window: no owner";
        EXPECT_EQ(answer, (c.given & MB_TYPEMASK) == MB_RETRYCANCEL   ? IDRETRY
                          : (c.given & MB_TYPEMASK) >= MB_YESNOCANCEL ? IDYES
                                                                      : IDOK);
    }
}

// Outer dialog: runs an inner dialog from OnInitDialog, then a real box, during which a timer
// ends the outer dialog and closes the box.
class CInner : public CDialog {
public:
    CInner() : CDialog(IDD_TEST_VISIBLE) {}

protected:
    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        SetTimer(kTimer, 10);
        return TRUE;
    }
    void OnTimer(UINT_PTR) override {
        KillTimer(kTimer);
        EndDialog(5);
    }
};

class COuter : public CDialog {
public:
    COuter() : CDialog(IDD_TEST_PLAIN) {}
    INT_PTR innerResult = 0;
    int boxAnswer = 0;
    bool endedWhileBoxOpen = false;

protected:
    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        CInner inner;
        innerResult = inner.DoModal();
        PostMessage(WM_TEST_CHECK);
        return TRUE;
    }
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        switch (message) {
        case WM_TEST_CHECK:
            SetTimer(kTimer + 1, 10);
            boxAnswer = ShowMessageBox(m_hWnd, L"inner box", L"Corvel", MB_OK);
            return 0;
        default:
            break;
        }
        return CDialog::WindowProc(message, wParam, lParam);
    }
    void OnTimer(UINT_PTR id) override {
        // Runs inside the box's own loop.
        const HWND box = ::GetLastActivePopup(m_hWnd);
        if (box == m_hWnd)
            return; // the box is not up yet
        KillTimer(id);
        EndDialog(9);
        endedWhileBoxOpen = true;
        ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    }
};

TEST_F(FrameworkTest, ModalDialogsNestAndEndDialogWhileAnInnerBoxRunsTakesEffectAfterIt) {
    COuter outer;
    EXPECT_EQ(outer.DoModal(), 9);
    EXPECT_EQ(outer.innerResult, 5);
    EXPECT_TRUE(outer.endedWhileBoxOpen);
    EXPECT_EQ(outer.boxAnswer, IDOK);
}

class CCloseDialog : public CDialog {
public:
    CCloseDialog() : CDialog(IDD_TEST_PLAIN) {}
    int cancels = 0;
    int cancelsWhileDisabled = -1;

protected:
    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        ::EnableWindow(GetDlgItem(IDCANCEL), FALSE);
        PostMessage(WM_CLOSE);
        PostMessage(WM_TEST_CHECK); // after the IDCANCEL that a close would post
        return TRUE;
    }
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        switch (message) {
        case WM_TEST_CHECK:
            cancelsWhileDisabled = cancels;
            ::EnableWindow(GetDlgItem(IDCANCEL), TRUE);
            PostMessage(WM_CLOSE);
            return 0;
        default:
            break;
        }
        return CDialog::WindowProc(message, wParam, lParam);
    }
    void OnCancel() override {
        ++cancels;
        CDialog::OnCancel();
    }
};

TEST_F(FrameworkTest, CloseIsIgnoredWhileTheCancelButtonIsDisabled) {
    CCloseDialog dialog;
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_EQ(dialog.cancelsWhileDisabled, 0);
    EXPECT_EQ(dialog.cancels, 1);
}

// A control object that records the messages offered to it.
class CRecordingEdit : public CWnd {
public:
    std::vector<std::wstring>* order = nullptr;
    bool take = false;
    bool sawKeyDown = false;

    BOOL PreTranslateMessage(MSG* msg) override {
        if (msg->message != WM_KEYDOWN || msg->wParam != 'A')
            return FALSE;
        order->push_back(L"edit");
        return take;
    }

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_KEYDOWN && wParam == 'A')
            sawKeyDown = true;
        return CWnd::WindowProc(message, wParam, lParam);
    }
};

// Modeless, owns itself: deleted in PostNcDestroy.
class CModeless : public CDialog {
public:
    CModeless(std::vector<std::wstring>* order, bool* deleted)
        : CDialog(IDD_TEST_PLAIN), m_order(order), m_deleted(deleted) {
        edit.order = order;
    }
    ~CModeless() override { *m_deleted = true; }
    CRecordingEdit edit;

    BOOL PreTranslateMessage(MSG* msg) override {
        if (msg->message == WM_KEYDOWN && msg->wParam == 'A')
            m_order->push_back(L"dialog");
        return CDialog::PreTranslateMessage(msg);
    }

protected:
    void DoDataExchange(CDataExchange* dx) override { DDX_Control(dx, IDC_TEST_EDIT, edit); }
    void PostNcDestroy() override { delete this; }

private:
    std::vector<std::wstring>* m_order;
    bool* m_deleted;
};

TEST_F(FrameworkTest, LoopOffersMessagesDeepestWindowFirstThenToTheModelessDialog) {
    std::vector<std::wstring> order;
    bool deleted = false;
    auto* dialog = new CModeless(&order, &deleted);
    ASSERT_TRUE(dialog->Create());
    ASSERT_EQ(CWnd::FromHandle(dialog->GetDlgItem(IDC_TEST_EDIT)), &dialog->edit);
    dialog->ShowWindow(SW_SHOWNORMAL);
    const HWND edit = dialog->edit.m_hWnd;
    ::SetFocus(edit);

    auto sendKey = [&](WPARAM key) {
        ::PostMessageW(edit, WM_KEYDOWN, key, 1);
        PumpPosted();
    };
    sendKey('A');
    EXPECT_EQ(order, (std::vector<std::wstring>{L"edit", L"dialog"}));
    EXPECT_TRUE(dialog->edit.sawKeyDown);

    order.clear();
    dialog->edit.sawKeyDown = false;
    dialog->edit.take = true;
    sendKey('A');
    EXPECT_EQ(order, (std::vector<std::wstring>{L"edit"})) << "the first window that takes it ends the walk";
    EXPECT_FALSE(dialog->edit.sawKeyDown) << "a consumed message is not dispatched";

    // Tab reaches IsDialogMessage of the modeless dialog: the focus moves on.
    sendKey(VK_TAB);
    EXPECT_EQ(::GetFocus(), dialog->GetDlgItem(IDC_TEST_EDIT2));

    // Cancel of a modeless dialog destroys it (never a hidden, ended dialog).
    const HWND hwnd = dialog->m_hWnd;
    ::SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    EXPECT_FALSE(::IsWindow(hwnd));
    EXPECT_TRUE(deleted);
}

// Runs a second modal dialog from its push button's handler, as the connection page runs the
// connecting dialog, which runs the credentials dialog in turn.
class CRunsInner : public CDialog {
public:
    CRunsInner() : CDialog(IDD_TEST_PLAIN) {}
    INT_PTR innerResult = 0;

protected:
    BOOL OnCmdMsg(UINT id, UINT code, HWND control) override {
        if (id == IDC_TEST_PUSH && code == BN_CLICKED) {
            CDialog inner(IDD_TEST_VISIBLE, this);
            innerResult = inner.DoModal();
            return TRUE;
        }
        return CDialog::OnCmdMsg(id, code, control);
    }
};

void Click(HWND dialog, int id) {
    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(dialog, id)));
}

TEST_F(FrameworkTest, DialogHookOffersNestedModalDialogsBeforeTheyShowAndTheTestDrivesThem) {
    CDialogRecorder dialogs;
    CModalWatchdog watchdog;
    CRunsInner outer;
    struct Offered {
        UINT id;
        bool visible;
        bool ownerEnabled;
        std::wstring caption;
    };
    std::vector<Offered> offered;
    dialogs.OnDialog = [&](CDialog& dialog) {
        const HWND hwnd = dialog.m_hWnd;
        const HWND owner = ::GetWindow(hwnd, GW_OWNER);
        offered.push_back({dialog.GetTemplateId(), dialog.IsWindowVisible() != FALSE,
                           owner && ::IsWindowEnabled(owner), dialog.GetWindowText()});
        if (&dialog == &outer) {
            // OnInitDialog has run: its members are in the controls.
            PostStep([hwnd] { Click(hwnd, IDC_TEST_PUSH); });
            return;
        }
        // The inner one: OK ends it, and a step behind that ends the outer one.
        const HWND outerWindow = outer.m_hWnd;
        PostStep([hwnd, outerWindow] {
            Click(hwnd, IDOK);
            PostStep([outerWindow] { Click(outerWindow, IDCANCEL); }, 1);
        });
    };
    EXPECT_EQ(outer.DoModal(), IDCANCEL);
    EXPECT_EQ(outer.innerResult, IDOK);
    EXPECT_FALSE(watchdog.Fired());
    EXPECT_EQ(dialogs.Opened, (std::vector<UINT>{IDD_TEST_PLAIN, IDD_TEST_VISIBLE}));
    ASSERT_EQ(offered.size(), 2u);
    EXPECT_FALSE(offered[0].visible);
    EXPECT_FALSE(offered[1].visible) << "offered before it shows, although its template is visible";
    EXPECT_FALSE(offered[1].ownerEnabled) << "the outer dialog is disabled while the inner one runs";
    EXPECT_EQ(offered[1].caption, L"Visible");

    // Modeless too, before its visible template shows it.
    bool visibleWhenOffered = true;
    dialogs.OnDialog = [&](CDialog& dialog) { visibleWhenOffered = dialog.IsWindowVisible() != FALSE; };
    CDialog modeless(IDD_TEST_VISIBLE);
    ASSERT_TRUE(modeless.Create());
    EXPECT_EQ(dialogs.Opened.size(), 3u);
    EXPECT_FALSE(visibleWhenOffered);
    EXPECT_TRUE(modeless.IsWindowVisible());
    modeless.DestroyWindow();
}

TEST_F(FrameworkTest, WatchdogEndsEveryModalLoopOfANestedDialogThatNeverCloses) {
    CDialogRecorder dialogs;
    CRunsInner outer;
    dialogs.OnDialog = [&](CDialog& dialog) {
        if (&dialog == &outer) {
            const HWND hwnd = dialog.m_hWnd;
            PostStep([hwnd] { Click(hwnd, IDC_TEST_PUSH); });
        }
    };
    CModalWatchdog watchdog(100);
    EXPECT_EQ(outer.DoModal(), wintest::kWatchdogResult);
    EXPECT_EQ(outer.innerResult, wintest::kWatchdogResult);
    EXPECT_TRUE(watchdog.Fired());
    EXPECT_EQ(dialogs.Opened.size(), 2u);
}

// Self-owned: counts its deletions; can refuse to close, or end itself while it opens.
class CSelfOwned : public CModelessDialog {
public:
    CSelfOwned(UINT templateId, int* deletions) : CModelessDialog(templateId), m_deletions(deletions) {}
    bool endInInit = false;
    bool stayOpen = false;

protected:
    ~CSelfOwned() override { ++*m_deletions; }
    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        if (endInInit)
            EndDialog(IDCANCEL);
        return TRUE;
    }
    void OnCancel() override {
        if (!stayOpen)
            CModelessDialog::OnCancel();
    }

private:
    int* m_deletions;
};

TEST_F(FrameworkTest, ModelessDialogThatFailsToOpenIsDeletedOnceAndCreateSaysSo) {
    struct Case {
        const char* name;
        UINT templateId;
        bool endInInit;
    };
    const Case cases[] = {
        {"no such template", 999, false},
        {"ends itself in OnInitDialog", IDD_TEST_PLAIN, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        int deletions = 0;
        auto* dialog = new CSelfOwned(c.templateId, &deletions);
        dialog->endInInit = c.endInInit;
        EXPECT_FALSE(dialog->Create());
        EXPECT_EQ(deletions, 1);
    }
}

TEST_F(FrameworkTest, RequestCloseAnswersWhetherTheModelessWindowWentAndItDeletesItself) {
    int deletions = 0;
    auto* dialog = new CSelfOwned(IDD_TEST_PLAIN, &deletions);
    ASSERT_TRUE(dialog->Create());
    const HWND hwnd = dialog->m_hWnd;

    dialog->stayOpen = true; // busy, or asking first
    EXPECT_FALSE(dialog->RequestClose());
    EXPECT_TRUE(::IsWindow(hwnd));
    dialog->stayOpen = false;
    ::EnableWindow(dialog->GetDlgItem(IDCANCEL), FALSE); // the Windows rule holds for modeless too
    EXPECT_FALSE(dialog->RequestClose());
    EXPECT_TRUE(::IsWindow(hwnd));
    EXPECT_EQ(deletions, 0);

    ::EnableWindow(dialog->GetDlgItem(IDCANCEL), TRUE);
    EXPECT_TRUE(dialog->RequestClose()) << "closed when its WM_CLOSE returns, with no posted Cancel";
    EXPECT_FALSE(::IsWindow(hwnd));
    EXPECT_EQ(deletions, 1);

    // Destroyed some other way (its owner went): deleted all the same, once.
    dialog = new CSelfOwned(IDD_TEST_PLAIN, &deletions);
    ASSERT_TRUE(dialog->Create());
    ::DestroyWindow(dialog->m_hWnd);
    EXPECT_EQ(deletions, 2);
}

// Members of every kind, and a record of the notifications.
class CExchangeDialog : public CDialog {
public:
    CExchangeDialog() : CDialog(IDD_TEST_PLAIN) {}
    std::wstring name = L"abc";
    std::wstring second = L"second";
    int radio = 1;
    int radio2 = 0;
    int check = BST_CHECKED;
    int combo = 1;
    DWORD ip = 0x0A000102;
    int rawNotifications = 0;    // seen by OnCommand
    int routedNotifications = 0; // reached OnCmdMsg

protected:
    void DoDataExchange(CDataExchange* dx) override {
        DDX_TextLimited(dx, IDC_TEST_EDIT, name, 5);
        DDX_Text(dx, IDC_TEST_EDIT2, second);
        DDX_Radio(dx, IDC_TEST_R1, radio);
        DDX_Radio(dx, IDC_TEST_STOP, radio2);
        DDX_Check(dx, IDC_TEST_CHECK, check);
        DDX_CBIndex(dx, IDC_TEST_COMBO, combo);
        DDX_IPAddress(dx, IDC_TEST_IP, ip);
    }
    BOOL OnInitDialog() override {
        for (const wchar_t* item : {L"zero", L"one", L"two"})
            ::SendMessageW(GetDlgItem(IDC_TEST_COMBO), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
        return CDialog::OnInitDialog();
    }
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override {
        if (LOWORD(wParam) == IDC_TEST_EDIT && HIWORD(wParam) == EN_CHANGE)
            ++rawNotifications;
        return CDialog::OnCommand(wParam, lParam);
    }
    BOOL OnCmdMsg(UINT id, UINT code, HWND control) override {
        if (id == IDC_TEST_EDIT && code == EN_CHANGE) {
            ++routedNotifications;
            return TRUE;
        }
        return CDialog::OnCmdMsg(id, code, control);
    }
};

TEST_F(FrameworkTest, DataExchangeLoadsAndSavesEveryKindAndHoldsBackNotificationsMeanwhile) {
    CExchangeDialog dialog;
    ASSERT_TRUE(dialog.Create());
    dialog.ShowWindow(SW_SHOWNORMAL);
    auto item = [&](int id) { return dialog.GetDlgItem(id); };

    // Loaded by OnInitDialog: the text change notified OnCommand but was held back from OnCmdMsg.
    EXPECT_EQ(dialog.GetDlgItemText(IDC_TEST_EDIT), L"abc");
    EXPECT_EQ(::SendMessageW(item(IDC_TEST_EDIT), EM_GETLIMITTEXT, 0, 0), 5);
    EXPECT_GE(dialog.rawNotifications, 1);
    EXPECT_EQ(dialog.routedNotifications, 0);
    EXPECT_EQ(::SendMessageW(item(IDC_TEST_R2), BM_GETCHECK, 0, 0), BST_CHECKED)
        << "the push button is not counted";
    EXPECT_EQ(::SendMessageW(item(IDC_TEST_R1), BM_GETCHECK, 0, 0), BST_UNCHECKED);
    EXPECT_EQ(::SendMessageW(item(IDC_TEST_R4), BM_GETCHECK, 0, 0), BST_CHECKED)
        << "group of one radio after a static";
    EXPECT_EQ(::SendMessageW(item(IDC_TEST_COMBO), CB_GETCURSEL, 0, 0), 1);
    DWORD address = 0;
    ::SendMessageW(item(IDC_TEST_IP), IPM_GETADDRESS, 0, reinterpret_cast<LPARAM>(&address));
    EXPECT_EQ(address, 0x0A000102u);

    // Outside an exchange the notification is routed.
    dialog.SetDlgItemText(IDC_TEST_EDIT, L"xy");
    EXPECT_EQ(dialog.routedNotifications, 1);

    // Saved.
    ::SendMessageW(item(IDC_TEST_R2), BM_SETCHECK, BST_UNCHECKED, 0);
    ::SendMessageW(item(IDC_TEST_R3), BM_SETCHECK, BST_CHECKED, 0);
    ::SendMessageW(item(IDC_TEST_CHECK), BM_SETCHECK, BST_UNCHECKED, 0);
    ::SendMessageW(item(IDC_TEST_COMBO), CB_SETCURSEL, 2, 0);
    ::SendMessageW(item(IDC_TEST_IP), IPM_SETADDRESS, 0, static_cast<LPARAM>(0xC0A80001u));
    ASSERT_TRUE(dialog.UpdateData(TRUE));
    EXPECT_EQ(dialog.name, L"xy");
    EXPECT_EQ(dialog.radio, 2);
    EXPECT_EQ(dialog.check, BST_UNCHECKED);
    EXPECT_EQ(dialog.combo, 2);
    EXPECT_EQ(dialog.ip, 0xC0A80001u);

    // No radio checked: -1.
    ::SendMessageW(item(IDC_TEST_R3), BM_SETCHECK, BST_UNCHECKED, 0);
    ASSERT_TRUE(dialog.UpdateData(TRUE));
    EXPECT_EQ(dialog.radio, -1);

    // Too long: refused with the framework's text, focus on the edit, later members untouched.
    CMessageBoxRecorder boxes;
    dialog.SetDlgItemText(IDC_TEST_EDIT, L"123456");
    dialog.SetDlgItemText(IDC_TEST_EDIT2, L"changed");
    ::SetFocus(item(IDC_TEST_CHECK));
    EXPECT_FALSE(dialog.UpdateData(TRUE));
    ASSERT_EQ(boxes.Calls.size(), 1u);
    EXPECT_EQ(boxes.Calls[0].Text, L"Enter no more than 5 characters.");
    EXPECT_EQ(boxes.Calls[0].Type, UINT(MB_OK | MB_ICONEXCLAMATION));
    EXPECT_EQ(::GetFocus(), item(IDC_TEST_EDIT));
    EXPECT_EQ(dialog.second, L"second");
    dialog.DestroyWindow();
}

TEST_F(FrameworkTest, JapaneseCaptionFromTheUtf8ResourceReadsBack) {
    CDialog dialog(IDD_TEST_JAPANESE);
    ASSERT_TRUE(dialog.Create());
    wchar_t caption[64] = {};
    ::GetWindowTextW(dialog.m_hWnd, caption, 64);
    EXPECT_STREQ(caption, L"接続設定のテスト");
    EXPECT_EQ(LoadResString(IDS_TEST_JAPANESE), L"未接続");
    dialog.DestroyWindow();

    UniqueMenu menu = LoadMenuResource(IDR_TEST_FRAME);
    ASSERT_TRUE(menu);
    const BorrowedMenu popup = GetPopup(menu.get(), 0);
    EXPECT_EQ(GetMenuItemText(popup.get(), 0, true), L"接続設定(&S)");
    EXPECT_TRUE(SetMenuItemText(popup.get(), ID_TEST_ITEM, false, L"終了(&Q)"));
    EXPECT_EQ(GetMenuItemText(popup.get(), 0, true), L"終了(&Q)");
}

TEST_F(FrameworkTest, FileDialogGoesThroughTheHookWithTheFrameworksFilterAndFlags) {
    bool sawOpen = false;
    std::wstring filter;
    DWORD flags = 0;
    SetFileDialogHook([&](bool open, OPENFILENAMEW& ofn) {
        sawOpen = open;
        for (const wchar_t* p = ofn.lpstrFilter; *p; p += wcslen(p) + 1)
            filter += std::wstring(p) + L";";
        flags = ofn.Flags;
        EXPECT_STREQ(ofn.lpstrFile, L"*.bin");
        wcscpy(ofn.lpstrFile, L"C:\\data\\設定.bin");
        return TRUE;
    });
    CFileDialog dialog(TRUE, L"*.bin", L"*.bin", 0x201004, L"Binary File (*.bin)|*.bin|All File(*.*)|*.*||");
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(dialog.GetPathName(), L"C:\\data\\設定.bin");
    EXPECT_TRUE(sawOpen);
    EXPECT_EQ(filter, L"Binary File (*.bin);*.bin;All File(*.*);*.*;");
    EXPECT_EQ(flags & 0x201004u, 0x201004u);

    SetFileDialogHook([](bool, OPENFILENAMEW&) { return FALSE; });
    CFileDialog save(FALSE, L"*.bin", L"*.bin", 0x201002, L"Binary File (*.bin)|*.bin||");
    EXPECT_EQ(save.DoModal(), IDCANCEL);
    EXPECT_EQ(save.GetPathName(), L"");
    SetFileDialogHook(nullptr);
}

TEST_F(FrameworkTest, CenterWindowCentresOnAShownOwnerElseOnTheScreenAndStaysOnIt) {
    RECT work{};
    ASSERT_TRUE(::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0));
    const LONG workWidth = work.right - work.left;
    const LONG workHeight = work.bottom - work.top;
    struct Case {
        const char* Name;
        bool Owned, OwnerShown;
        RECT Owner; // as left, top, width, height
        SIZE Window;
        POINT Expected; // top-left corner
    };
    const Case cases[] = {
        {"on its shown owner", true, true, {100, 80, 400, 300}, {200, 100}, {200, 180}},
        {"a hidden owner: the screen",
         true,
         false,
         {0, 0, 400, 300},
         {200, 100},
         {work.left + (workWidth - 200) / 2, work.top + (workHeight - 100) / 2}},
        {"no owner: the screen",
         false,
         false,
         {},
         {200, 100},
         {work.left + (workWidth - 200) / 2, work.top + (workHeight - 100) / 2}},
        {"an owner at the screen's corner: kept on the screen",
         true,
         true,
         {work.left, work.top, 100, 60},
         {300, 200},
         {work.left, work.top}},
        {"larger than the screen: its corner at the screen's",
         false,
         false,
         {},
         {workWidth + 50, workHeight + 50},
         {work.left, work.top}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        HWND owner = nullptr;
        if (c.Owned) {
            owner = ::CreateWindowExW(0, L"Static", L"owner", WS_POPUP | (c.OwnerShown ? WS_VISIBLE : 0),
                                      int(c.Owner.left), int(c.Owner.top), int(c.Owner.right),
                                      int(c.Owner.bottom), nullptr, nullptr, nullptr, nullptr);
            ASSERT_NE(owner, nullptr);
        }
        const HWND window = ::CreateWindowExW(0, L"Static", L"centred", WS_POPUP, 7, 7, int(c.Window.cx),
                                              int(c.Window.cy), owner, nullptr, nullptr, nullptr);
        ASSERT_NE(window, nullptr);
        CenterWindow(window);
        RECT placed{};
        ::GetWindowRect(window, &placed);
        EXPECT_EQ(placed.left, c.Expected.x);
        EXPECT_EQ(placed.top, c.Expected.y);
        EXPECT_EQ(placed.right - placed.left, c.Window.cx) << "at its size";
        ::DestroyWindow(window);
        if (owner)
            ::DestroyWindow(owner);
    }
}

TEST_F(FrameworkTest, LabelMeasureIsTheFontsOrTheTestsReplacement) {
    CDialog dialog(IDD_TEST_JAPANESE);
    ASSERT_TRUE(dialog.Create());
    const TextWidthMeasure gdi = LabelTextMeasure(dialog.m_hWnd);
    EXPECT_GT(gdi(L"接続設定"), 0);
    EXPECT_GT(gdi(L"接続設定接続設定"), gdi(L"接続設定"));
    EXPECT_EQ(gdi(L""), 0);

    SetLabelTextMeasureFactory(
        [](HWND) { return [](std::wstring_view text) { return static_cast<int>(text.size()) * 7; }; });
    EXPECT_EQ(LabelTextMeasure(dialog.m_hWnd)(L"abc"), 21);
    SetLabelTextMeasureFactory(nullptr);
    dialog.DestroyWindow();
}

} // namespace
} // namespace corvel
