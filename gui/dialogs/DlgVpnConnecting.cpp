#include "DlgVpnConnecting.h"

#include "DataExchange.h"
#include "DialogResource.h"
#include "DlgMsgBoxRasErr.h"
#include "DlgXauth.h"
#include "FrameMessages.h"
#include "MainFrameServices.h"

#include "App.h"
#include "LanguageFile.h"
#include "MessageBox.h"
#include "PipeThread.h"
#include "Protocol.h"
#include "UiTextWin.h"

#include <commctrl.h>

namespace corvel {

namespace {

constexpr int kNameLabelWidth = 290; // pixels
constexpr int kProgressEnd = 160;    // 80 connecting notifications of 2 steps each
constexpr int kProgressStep = 2;

} // namespace

CDlgVpnConnecting::CDlgVpnConnecting(CWnd* parent, std::wstring connectionName, uint8_t vpnIndex,
                                     std::wstring userName, std::wstring password)
    : CDialog(IDD_VPN_CONNECTING, parent), ConnectionName(std::move(connectionName)), VpnIndex(vpnIndex),
      UserName(std::move(userName)), Password(std::move(password)) {}

CDlgVpnConnecting::~CDlgVpnConnecting() {
    ::SecureZeroMemory(Password.data(), Password.size() * sizeof(wchar_t));
}

LRESULT CDlgVpnConnecting::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_VPN_STATE2:
        Apply(ConnectingEvent::Progress);
        return 0;
    case WM_VPN_STATE1:
        // The index in wParam is not compared: this dialog follows the one attempt under way.
        Apply(ConnectingEvent::Connected);
        return 0;
    case WM_VPN_STATE0:
        Apply(lParam != 0 ? ConnectingEvent::QuitNotice : ConnectingEvent::Down);
        return 0;
    case WM_VPN_ERROR:
        Apply(ConnectingEvent::RasError, static_cast<int32_t>(static_cast<uint32_t>(wParam)));
        return 0;
    case WM_PIPE_REPLY:
        OnConnectReply(wParam, lParam);
        return 0;
    case WM_CONNECT_REFUSED:
        Apply(ConnectingEvent::ConnectRefused);
        return 0;
    default:
        break;
    }
    return CDialog::WindowProc(message, wParam, lParam);
}

void CDlgVpnConnecting::DoDataExchange(CDataExchange* dx) {
    DDX_Text(dx, IDC_CONNECTING_NAME, ConnectionName);
    DDX_Text(dx, IDC_CONNECTING_STATUS, StatusText);
}

BOOL CDlgVpnConnecting::OnInitDialog() {
    CMainFrameServices& frame = GetMainFrameServices();
    LoadDialogTexts(m_hWnd, frame.GetLanguagePath(), sections::ConnectingDialog.Name, true,
                    {IDC_CONNECTING_STATUS, IDC_CONNECTING_NAME_LABEL, IDC_CONNECTING_NAME});
    CDialog::OnInitDialog();
    QuitRequested = 0;
    ::SendDlgItemMessageW(m_hWnd, IDC_CONNECTING_PROGRESS, PBM_SETRANGE32, 0, kProgressEnd);
    StatusText = frame.GetUiText(kTextConnecting);
    m_fullName = ConnectionName;
    ConnectionName = MakeLabelText(m_hWnd, m_fullName, kNameLabelWidth);
    UpdateData(FALSE);

    // Not shown yet: the credentials dialog shows alone.
    CDlgXauth credentials(this, m_fullName);
    credentials.SetPipeThread(PipeThread);
    credentials.VpnIndex = VpnIndex;
    credentials.SaveCredentials = InitialSaveCredentials(UserName, Password);
    credentials.UserName = UserName;
    credentials.Password = Password;
    m_modalChild = &credentials;
    const INT_PTR answer = credentials.DoModal();
    m_modalChild = nullptr;
    // Only a save changed the record in the service. The reload runs on the frame's own
    // request thread; without a save it could overtake saves still queued on this one and put
    // the old record back into the frame's copy.
    if (answer == IDOK && credentials.Saved())
        frame.RequestRecord(VpnIndex);
    // No connect after a quit: one that reached this dialog (which ended the credentials
    // dialog with it) or one that the frame holds until the press has ended.
    if (answer != IDOK || QuitRequested || frame.IsQuitPending()) {
        // Nothing was sent; a dialog ended here never shows.
        Apply(ConnectingEvent::Cancel);
        return TRUE;
    }
    UserName = credentials.UserName;
    ::SecureZeroMemory(Password.data(), Password.size() * sizeof(wchar_t));
    Password = credentials.Password;
    // The page takes the target back when this dialog has ended.
    frame.SetNotificationWindow(m_hWnd);
    PostConnectRequest();
    return TRUE;
}

void CDlgVpnConnecting::PostConnectRequest() {
    const bool posted =
        PostCredentialsRequest(PipeThread, m_hWnd, BuildConnectFrame(VpnIndex, UserName, Password));
    ::SecureZeroMemory(Password.data(), Password.size() * sizeof(wchar_t));
    if (!posted) {
        // No reply will come and the service knows nothing of the attempt: a refusal.
        PostMessage(WM_CONNECT_REFUSED);
        return;
    }
    m_awaitingReply = true;
}

void CDlgVpnConnecting::OnConnectReply(WPARAM dataLength, LPARAM frame) {
    // Sent by the pipe thread; the frame is valid only during this call.
    if (!m_awaitingReply)
        return;
    m_awaitingReply = false;
    if (IsRefusedReply(CMD_CONNECT, static_cast<uint32_t>(dataLength),
                       reinterpret_cast<const uint8_t*>(frame)))
        PostMessage(WM_CONNECT_REFUSED);
}

void CDlgVpnConnecting::OnCancel() {
    Apply(ConnectingEvent::Cancel);
}

void CDlgVpnConnecting::OnTimer(UINT_PTR id) {
    if (id != kSuccessTimer) {
        CDialog::OnTimer(id);
        return;
    }
    ::KillTimer(m_hWnd, kSuccessTimer);
    PostMessage(WM_CLOSE);
}

void CDlgVpnConnecting::Apply(ConnectingEvent event, int32_t rasError) {
    const CConnectingStep step = DecideConnectingStep(ConnectState, event);
    // Before any box: notifications handled inside its loop see the new state.
    ConnectState = step.NextState;
    CMainFrameServices& frame = GetMainFrameServices();
    if (step.AdvanceProgress) {
        ProgressPosition += kProgressStep; // the control keeps its position within the range
        ::SendDlgItemMessageW(m_hWnd, IDC_CONNECTING_PROGRESS, PBM_SETPOS, WPARAM(ProgressPosition), 0);
    }
    if (step.ShowSuccess) {
        for (int id : {IDC_CONNECTING_NAME_LABEL, IDC_CONNECTING_NAME, IDC_CONNECTING_PROGRESS, IDCANCEL})
            ::ShowWindow(GetDlgItem(id), SW_HIDE);
        StatusText = frame.GetUiText(kTextConnectSucceeded);
        UpdateData(FALSE);
        if (m_parent && m_parent->m_hWnd)
            ::SendMessageW(m_parent->m_hWnd, WM_SET_TRAY_ICON, 1, 0);
        // A timer, not a sleep: the success text must be painted while the dialog waits.
        ::SetTimer(m_hWnd, kSuccessTimer, kSuccessPauseMs, nullptr);
    }
    if (step.CloseCaptionedWindow)
        CloseActiveWindowTitled(frame.GetUiText(kTextConnectCaption));
    if (step.EndModalChild && m_modalChild)
        m_modalChild->EndDialog(IDCANCEL); // its loop ends once this handler has returned
    if (step.SetQuitRequested)
        QuitRequested = 1;
    if (step.ShowFailureBox) {
        // The service's refusal answers this dialog's request; a failed attempt is the program's.
        const CWnd* main = AfxGetMainWnd();
        ShowFailureBox(event == ConnectingEvent::ConnectRefused ? m_hWnd : (main ? main->m_hWnd : nullptr));
    }
    if (step.ShowRasErrorBox) {
        CDlgMsgBoxRasErr box(nullptr, rasError, frame.GetLanguagePath());
        // Over the credentials dialog, should one be open: that one is the child again after.
        CDialog* const outer = m_modalChild;
        m_modalChild = &box;
        box.Run();
        m_modalChild = outer;
    }
    if (step.Close && m_hWnd)
        PostMessage(WM_CLOSE);
    if (step.End) {
        if (step.SetCancelled)
            Cancelled = 1;
        EndDialog(IDCANCEL);
    }
}

void CDlgVpnConnecting::ShowFailureBox(HWND owner) {
    // A WM_CLOSE while the box is open must not end the dialog under it.
    const HWND cancel = GetDlgItem(IDCANCEL);
    ::EnableWindow(cancel, FALSE);
    const CMainFrameServices& frame = GetMainFrameServices();
    ShowMessageBox(owner, frame.GetUiText(kTextConnectFailed), frame.GetUiText(kTextConnectCaption),
                   MB_OK | MB_ICONERROR);
    if (m_hWnd)
        ::EnableWindow(cancel, TRUE);
}

} // namespace corvel
