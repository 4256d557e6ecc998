// CorvelcShots.exe: opens one of corvelc's dialogs in a known state for tools/screenshots.sh.
//   CorvelcShots.exe credentials|connecting <ready file>
// Creates <ready file> once the dialog is on the screen and ends when the file is deleted.
#include "DlgVpnConnecting.h"
#include "DlgXauth.h"
#include "FakeCommandHost.h"
#include "resource.h"

#include "App.h"
#include "Handles.h"
#include "UiTextWin.h"

#include <windows.h>
#include <shellapi.h>

#include <string>

namespace {

corvel::CWinApp theApp(L"Corvel");

// A name that shows whether "&" stays literal.
constexpr wchar_t kName[] = L"本社&開発センター";

class CReadySignal {
public:
    static void Watch(const std::wstring& file) {
        s_file = file;
        ::SetTimer(nullptr, 0, 100, &CReadySignal::Check);
    }
    static void Show(HWND dialog) { s_dialog = dialog; }

private:
    // First: the file once the dialog is visible and painted. Then: the end once it is gone.
    static void CALLBACK Check(HWND, UINT, UINT_PTR, DWORD) {
        if (s_written) {
            if (::GetFileAttributesW(s_file.c_str()) == INVALID_FILE_ATTRIBUTES)
                ::ExitProcess(0);
            return;
        }
        if (s_dialog == nullptr || !::IsWindowVisible(s_dialog))
            return;
        ::RedrawWindow(s_dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        const corvel::UniqueFile ready(::CreateFileW(s_file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                                     FILE_ATTRIBUTE_NORMAL, nullptr));
        s_written = static_cast<bool>(ready);
    }

    static inline std::wstring s_file;
    static inline HWND s_dialog = nullptr;
    static inline bool s_written = false;
};

int ShowCredentials(const std::wstring& languagePath) {
    corvel::cli::CDlgXauth dialog(nullptr, kName, L"yamada.taro", L"password");
    dialog.LanguagePath = languagePath;
    corvel::SetDialogHook([](corvel::CDialog& d) { CReadySignal::Show(d.m_hWnd); });
    dialog.DoModal();
    return 0;
}

// Twenty connecting ticks have run (the bar at 40 of 100); the timer then stays off.
int ShowConnecting(const std::wstring& languagePath) {
    corvel::cli::test::CFakeCommandHost host;
    host.ScriptStates(2, {2});
    corvel::cli::CDlgVpnConnecting dialog(host);
    dialog.Name = kName;
    dialog.VpnIndex = 2;
    dialog.LanguagePath = languagePath;
    corvel::SetDialogHook([](corvel::CDialog& d) {
        for (int tick = 0; tick < 20; ++tick) {
            ::SendMessageW(d.m_hWnd, WM_TIMER, corvel::cli::CConnectingTicks::kTimerId, 0);
            ::KillTimer(d.m_hWnd, corvel::cli::CConnectingTicks::kTimerId);
        }
        CReadySignal::Show(d.m_hWnd);
    });
    dialog.DoModal();
    return 0;
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    if (!argv || argc < 3)
        return 2;
    const std::wstring which = argv[1];
    corvel::AfxWinInit(instance, ::GetCommandLineW());
    CReadySignal::Watch(argv[2]);
    std::wstring languagePath;
    corvel::BuildLanguagePath(languagePath);
    if (which == L"credentials")
        return ShowCredentials(languagePath);
    if (which == L"connecting")
        return ShowConnecting(languagePath);
    return 2;
}
