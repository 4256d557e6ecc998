#include "DlgVpnDisconnecting.h"

#include "DialogResource.h"
#include "DisconnectReply.h"
#include "MainFrameServices.h"

#include "LanguageFile.h"
#include "MessageBox.h"
#include "PipeThread.h"
#include "Requests.h"
#include "UiTextWin.h"

namespace corvel {

CDlgVpnDisconnecting::CDlgVpnDisconnecting(CWnd* parent) : CDialog(IDD_VPN_DISCONNECTING, parent) {}

LRESULT CDlgVpnDisconnecting::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PIPE_REPLY:
        OnDisconnectReply(wParam, lParam);
        return 0;
    case WM_DISCONNECT_FAILED:
        OnDisconnectFailed();
        return 0;
    default:
        break;
    }
    return CDialog::WindowProc(message, wParam, lParam);
}

BOOL CDlgVpnDisconnecting::OnInitDialog() {
    LoadDialogTexts(m_hWnd, GetMainFrameServices().GetLanguagePath(), sections::DisconnectingDialog.Name,
                    true, {IDC_DISCONNECTING_MESSAGE});
    CDialog::OnInitDialog();
    if (!PipeThread)
        return TRUE;
    if (!PostPipeRequest(*PipeThread, m_hWnd, BuildDisconnectRequest(VpnIndex))) {
        // The thread takes no more requests: no reply will ever come, so this is a failed
        // disconnect and the dialog must not wait for one.
        PostMessage(WM_DISCONNECT_FAILED);
        return TRUE;
    }
    SetCloseCommandEnabled(false);
    CanClose = 0;
    m_awaitingReply = true;
    return TRUE;
}

void CDlgVpnDisconnecting::OnOK() {
    if (CanClose == 0)
        return;
    CDialog::OnOK();
}

void CDlgVpnDisconnecting::OnCancel() {
    // Esc, the close box and WM_CLOSE (which Wine's dialog manager makes IDCANCEL) end here.
    if (CanClose == 0)
        return;
    CDialog::OnCancel();
}

void CDlgVpnDisconnecting::OnDisconnectReply(WPARAM dataLength, LPARAM frame) {
    // Sent by the pipe thread; the frame is valid only during this call.
    if (!m_awaitingReply)
        return;
    m_awaitingReply = false;
    const DisconnectOutcome outcome =
        ClassifyDisconnectReply(static_cast<uint32_t>(dataLength), reinterpret_cast<const uint8_t*>(frame));
    if (outcome == DisconnectOutcome::Disconnected) {
        FinishWaiting();
        return;
    }
    // A refusal, no reply at all, or a reply of another kind: all end the wait as a failure.
    PostMessage(WM_DISCONNECT_FAILED);
}

void CDlgVpnDisconnecting::OnDisconnectFailed() {
    const CMainFrameServices& frame = GetMainFrameServices();
    ShowMessageBox(m_hWnd, frame.GetUiText(kTextDisconnectFailed), frame.GetUiText(kTextCaption),
                   MB_OK | MB_ICONERROR);
    FinishWaiting();
}

void CDlgVpnDisconnecting::FinishWaiting() {
    SetCloseCommandEnabled(true);
    CanClose = 1;
    PostMessage(WM_CLOSE);
}

void CDlgVpnDisconnecting::SetCloseCommandEnabled(bool enabled) {
    const BorrowedMenu menu(::GetSystemMenu(m_hWnd, FALSE));
    if (!menu)
        return;
    MENUITEMINFOW item{};
    item.cbSize = sizeof(item);
    item.fMask = MIIM_STATE;
    item.fState = enabled ? MFS_ENABLED : (MFS_DISABLED | MFS_GRAYED);
    ::SetMenuItemInfoW(menu.get(), SC_CLOSE, FALSE, &item);
}

} // namespace corvel
