// CorvelShots.exe: opens one of the tray program's windows in a known state for a screenshot.
//   CorvelShots.exe wait|menu|version|disconnecting|settings|settings-host|settings-from-page|
//                   credentials|connecting <ready file>
//   CorvelShots.exe raserror <ready file> <language.csv>
// Creates <ready file> once the window is on the screen and ends when the file is deleted.
#include "resource.h"

#include "DialogResource.h"

#include "App.h"
#include "Dialog.h"
#include "DlgMsgBoxRasErr.h"
#include "DlgVerInfo.h"
#include "DlgVpnConnect.h"
#include "DlgVpnConnecting.h"
#include "DlgVpnDisconnecting.h"
#include "DlgVpnInit.h"
#include "DlgXauth.h"
#include "FakeService.h"
#include "FixedString.h"
#include "Handles.h"
#include "Menu.h"
#include "MessageLoop.h"
#include "PipeMessages.h"
#include "PipeThread.h"
#include "Protocol.h"
#include "Records.h"
#include "UiTextWin.h"

#include <windows.h>
#include <shellapi.h>

#include <commctrl.h>

#include <functional>
#include <memory>
#include <string>

namespace {

corvel::CWinApp theApp(L"Corvel");

std::wstring g_readyFile;
HWND g_shown = nullptr; // the window that must be visible before the file is written
bool g_ready = false;
// When set: what the user does once the window shows, one call per tick until it answers true;
// the picture then shows the windows as that left them (no redraw of ours before it).
std::function<bool()> g_userSteps;

bool NeverAnswers() {
    return false;
}

// Signals once the window shows, then ends the process when the script has taken its picture.
void CALLBACK Watch(HWND, UINT, UINT_PTR, DWORD) {
    if (!g_ready) {
        if (!g_shown || !::IsWindowVisible(g_shown))
            return;
        if (g_userSteps) {
            if (!g_userSteps())
                return;
        } else {
            ::RedrawWindow(g_shown, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        }
        corvel::UniqueFile file(::CreateFileW(g_readyFile.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                              FILE_ATTRIBUTE_NORMAL, nullptr));
        g_ready = static_cast<bool>(file);
        return;
    }
    if (::GetFileAttributesW(g_readyFile.c_str()) == INVALID_FILE_ATTRIBUTES)
        ::ExitProcess(0);
}

void MoveToCorner(HWND hwnd) {
    ::SetWindowPos(hwnd, nullptr, 20, 20, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

// Every dialog, the modal ones included (created inside DoModal, after this program last had
// control), is placed before it shows and becomes the window to wait for; the pages inside a
// dialog stay where it puts them.
void PlaceEachDialog() {
    corvel::SetDialogHook([](corvel::CDialog& dialog) {
        if (::GetWindowLongPtrW(dialog.m_hWnd, GWL_STYLE) & WS_CHILD)
            return;
        MoveToCorner(dialog.m_hWnd);
        g_shown = dialog.m_hWnd;
    });
}

// Settings as a user has them: names of several widths (one cut in its tab), a host name, an
// address, credentials.
void FillSampleRecords(uint8_t* records) {
    const char16_t* const names[] = {u"本社", u"大阪支店",  u"R&D ラボ", u"名古屋営業所（第二ビル）",
                                     u"福岡", u"在宅勤務用"};
    for (size_t k = 0; k < corvel::kVpnCount; ++k) {
        corvel::VPNCONFIG record = corvel::VPNCONFIG::Default(k);
        if (k < std::size(names)) {
            corvel::CopyToFixed(record.Name, names[k]);
            corvel::CopyToFixed(record.PreSharedKey, u"secret");
            corvel::CopyToFixed(record.UserName, u"yamada");
        }
        if (k == 1) {
            record.ServerIsIpAddress = 0;
            record.SetServerHostName(u"vpn.osaka.example.co.jp");
        } else if (k < std::size(names)) {
            const uint8_t address[4] = {203, 0, 113, uint8_t(10 + k)};
            record.SetServerAddress(address);
        }
        record.Write(records + k * corvel::VPNCONFIG::kSize);
    }
}

// A click on tab `index` of the settings dialog, as the user makes it (the tab control tells the
// dialog itself).
void ClickTab(HWND dialog, int index) {
    const HWND tab = ::GetDlgItem(dialog, IDC_SETTINGS_TAB);
    RECT item{};
    if (!TabCtrl_GetItemRect(tab, index, &item))
        return;
    const LPARAM at = MAKELPARAM((item.left + item.right) / 2, (item.top + item.bottom) / 2);
    ::SendMessageW(tab, WM_LBUTTONDOWN, MK_LBUTTON, at);
    ::SendMessageW(tab, WM_LBUTTONUP, 0, at);
}

enum class SettingsShot {
    ConnectionPage, // connection 3 up
    HostPage,       // the page of connection 2 (a host name), chosen before the dialog shows
    PageFromPage,   // the page of connection 4, clicked from that of connection 6 once shown
};

int ShowSettings(SettingsShot shot) {
    static uint8_t records[corvel::kVpnCount * corvel::VPNCONFIG::kSize];
    FillSampleRecords(records);
    corvel::SetDialogHook([shot](corvel::CDialog& dialog) {
        if (dialog.GetTemplateId() != IDD_VPN_CONNECT)
            return;
        MoveToCorner(dialog.m_hWnd);
        g_shown = dialog.m_hWnd;
        if (shot != SettingsShot::HostPage)
            return;
        const HWND tab = dialog.GetDlgItem(IDC_SETTINGS_TAB);
        TabCtrl_SetCurSel(tab, 2);
        NMHDR change{tab, UINT_PTR(IDC_SETTINGS_TAB), UINT(TCN_SELCHANGE)};
        dialog.SendMessage(WM_NOTIFY, IDC_SETTINGS_TAB, reinterpret_cast<LPARAM>(&change));
    });
    auto* dialog = new corvel::CDlgVpnConnect(records, shot == SettingsShot::ConnectionPage, 2);
    if (!dialog->Create())
        return 3;
    dialog->ShowWindow(SW_SHOWNORMAL);
    if (shot == SettingsShot::PageFromPage) {
        // One step a tick: the dialog painted first, then each click handled and painted.
        g_userSteps = [dialog, step = 0]() mutable {
            switch (step++) {
            case 0:
                return false;
            case 1:
                ClickTab(dialog->m_hWnd, 6);
                return false;
            case 2:
                ClickTab(dialog->m_hWnd, 4);
                return false;
            default:
                return ::IsWindowVisible(dialog->GetSettingPage(3).m_hWnd) != FALSE;
            }
        };
    }
    return corvel::RunMessageLoop();
}

// The credentials dialog as the connecting dialog opens it for a connection with stored
// credentials (its box ticked).
int ShowCredentials() {
    corvel::CDlgXauth dialog(nullptr, L"名古屋営業所（第二ビル）");
    dialog.VpnIndex = 3;
    dialog.UserName = L"yamada";
    dialog.Password = L"secret";
    dialog.SaveCredentials = 1;
    PlaceEachDialog();
    dialog.DoModal();
    return 0;
}

// The connecting dialog after 30 of its 80 connecting notifications: the credentials confirmed
// (box clear, nothing saved) and the connect taken by a service that then only notifies.
int ShowConnecting() {
    using namespace corvel;
    CFakeService service(
        [](const FakeRequest& r) {
            const uint8_t index = r.Frame.size() > 4 ? r.Frame[4] : 0;
            return FakeExchange::Answer(FakeReply(CMD_CONNECT, 0, {index}));
        },
        2);
    CThreadOwner pipeThread;
    if (service.Start() != 0 || StartPipeThread(pipeThread) != 0)
        return 3;
    SetDialogHook([](CDialog& dialog) {
        if (dialog.GetTemplateId() == IDD_XAUTH) {
            ::CheckDlgButton(dialog.m_hWnd, IDC_XAUTH_SAVE, BST_UNCHECKED);
            dialog.PostMessage(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                               reinterpret_cast<LPARAM>(dialog.GetDlgItem(IDOK)));
            return;
        }
        if (dialog.GetTemplateId() != IDD_VPN_CONNECTING)
            return;
        MoveToCorner(dialog.m_hWnd);
        g_shown = dialog.m_hWnd;
        for (int n = 0; n < 30; ++n)
            dialog.PostMessage(WM_VPN_STATE2, 0, 0);
    });
    CDlgVpnConnecting dialog(nullptr, L"名古屋営業所（第二ビル）", 3, L"yamada", L"secret");
    dialog.SetPipeThread(&pipeThread);
    dialog.DoModal();
    return 0;
}

// The RAS-error box for 691 with the texts of the given "language.csv" (the shipped one).
int ShowRasError(const std::wstring& languagePath) {
    PlaceEachDialog();
    corvel::CDlgMsgBoxRasErr box(nullptr, 691, languagePath);
    box.Run();
    return 0;
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    using namespace corvel;
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    if (!argv || argc < 3)
        return 2;
    const std::wstring which = argv[1];
    g_readyFile = argv[2];
    AfxWinInit(instance, ::GetCommandLineW());

    ::SetTimer(nullptr, 0, 100, &Watch);
    std::wstring languagePath;
    BuildLanguagePath(languagePath);

    if (which == L"wait") {
        CStartupWaitFlags flags;
        CDlgVpnInit dialog(flags, &NeverAnswers);
        PlaceEachDialog();
        dialog.DoModal();
        return 0;
    }
    if (which == L"disconnecting") {
        // A service that takes the disconnect and never answers: the dialog keeps waiting.
        CFakeService service([](const FakeRequest&) { return FakeExchange::Silence(); }, 2);
        if (service.Start() != 0)
            return 3;
        CThreadOwner pipeThread;
        if (StartPipeThread(pipeThread) != 0)
            return 3;
        CDlgVpnDisconnecting dialog;
        dialog.SetPipeThread(&pipeThread);
        dialog.VpnIndex = 2;
        PlaceEachDialog();
        dialog.DoModal();
        return 0;
    }
    if (which == L"version") {
        PlaceEachDialog();
        auto* box = new CDlgVerInfo();
        if (!box->Create())
            return 3;
        box->ShowWindow(SW_SHOWNORMAL);
        return RunMessageLoop();
    }
    if (which == L"settings")
        return ShowSettings(SettingsShot::ConnectionPage);
    if (which == L"settings-host")
        return ShowSettings(SettingsShot::HostPage);
    if (which == L"settings-from-page")
        return ShowSettings(SettingsShot::PageFromPage);
    if (which == L"credentials")
        return ShowCredentials();
    if (which == L"connecting")
        return ShowConnecting();
    if (which == L"raserror" && argc >= 4)
        return ShowRasError(argv[3]);
    if (which == L"menu") {
        // The tray menu as the frame opens it, with the texts of "language.csv" applied.
        UniqueMenu menu = LoadMenuResource(IDR_MAINFRAME);
        const BorrowedMenu popup = GetPopup(menu.get(), 0);
        const HWND owner = ::CreateWindowExW(0, AfxRegisterWndClass(0), L"Corvel", WS_POPUP, 0, 0, 1, 1,
                                             nullptr, nullptr, instance, nullptr);
        if (!popup || !owner)
            return 3;
        LoadMainMenuTexts(popup.get(), languagePath);
        ::SetTimer(nullptr, 0, 20, [](HWND, UINT, UINT_PTR, DWORD) {
            if (!g_shown)
                g_shown = ::FindWindowW(L"#32768", nullptr);
        });
        ::SetForegroundWindow(owner);
        TrackPopupAt(popup.get(), owner, POINT{40, 40}, 0);
        return 0;
    }
    return 2;
}
