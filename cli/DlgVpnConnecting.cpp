#include "DlgVpnConnecting.h"

#include "CommandLine.h"
#include "resource.h"

#include "LanguageFile.h"
#include "UiTextWin.h"
#include "WideText.h"

#include <commctrl.h>

namespace corvel::cli {

CDlgVpnConnecting::CDlgVpnConnecting(CCommandHost& host, CWnd* parent)
    : CDialog(IDD_CLI_VPN_CONNECTING, parent), m_host(host) {}

BOOL CDlgVpnConnecting::OnInitDialog() {
    LoadDialogTexts(m_hWnd, LanguagePath, sections::CliConnectingDialog.Name, true,
                    {IDC_CONNECTING_MESSAGE, IDC_CONNECTING_TARGET_LABEL, IDC_CONNECTING_NAME});
    CDialog::OnInitDialog();
    Name = MakeLabelText(m_hWnd, Name, kNameLimitPx);
    SetDlgItemText(IDC_CONNECTING_NAME, Name);

    m_ticks = CConnectingTicks(VpnIndex);
    ::SendDlgItemMessageW(m_hWnd, IDC_CONNECTING_PROGRESS, PBM_SETRANGE, 0,
                          MAKELPARAM(0, CConnectingTicks::kProgressMax));
    StepProgress();
    SetTimer(CConnectingTicks::kTimerId, CConnectingTicks::kTickMs);
    CentreTopmost();
    return TRUE;
}

// Centred on the screen and above other windows: a console program's dialog would otherwise
// open behind the console that started it.
void CDlgVpnConnecting::CentreTopmost() {
    const HWND desktop = ::GetDesktopWindow();
    RECT screen{};
    RECT own{};
    if (!desktop || !::GetWindowRect(desktop, &screen) || !::GetWindowRect(m_hWnd, &own))
        return;
    const int x = (screen.right - screen.left) / 2 - (own.right - own.left) / 2;
    const int y = (screen.bottom - screen.top) / 2 - (own.bottom - own.top) / 2;
    ::SetWindowPos(m_hWnd, HWND_TOPMOST, x, y, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
}

void CDlgVpnConnecting::OnTimer(UINT_PTR id) {
    if (id != CConnectingTicks::kTimerId) {
        CDialog::OnTimer(id);
        return;
    }
    // Off while the tick's requests block the thread, so ticks never overlap.
    KillTimer(id);
    const TickOutcome outcome = m_ticks.Tick(m_host);
    StepProgress();
    switch (outcome.Action) {
    case TickAction::Rearm:
        SetTimer(id, CConnectingTicks::kTickMs);
        return;
    case TickAction::Connected:
        CloseCode = 0;
        EndDialog(IDOK);
        return;
    case TickAction::Close:
        CloseWithResult(outcome.CloseCode);
        return;
    }
}

void CDlgVpnConnecting::CloseWithResult(uint32_t code) {
    CloseCode = code;
    PostMessage(WM_CLOSE);
}

void CDlgVpnConnecting::StepProgress() {
    ::SendDlgItemMessageW(m_hWnd, IDC_CONNECTING_PROGRESS, PBM_SETPOS, WPARAM(m_ticks.Progress()), 0);
}

void CDlgVpnConnecting::OnOK() {}

void CDlgVpnConnecting::OnCancel() {
    KillTimer(CConnectingTicks::kTimerId);
    CDialog::OnCancel();
}

ConnectingDialogResult ShowConnectingDialog(const ConnectingDialogData& data, CCommandHost& host) {
    CDlgVpnConnecting dialog(host);
    dialog.Name = WideFromUtf16(data.Name);
    dialog.VpnIndex = data.VpnIndex;
    dialog.LanguagePath = data.LanguagePath;
    switch (dialog.DoModal()) {
    case IDOK:
        return {DialogEnd::Ok, 0};
    case IDCANCEL:
        return {DialogEnd::Cancel, dialog.CloseCode};
    default:
        return {DialogEnd::NotCreated, 0}; // -1: no window could be made
    }
}

} // namespace corvel::cli
