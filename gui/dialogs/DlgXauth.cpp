#include "DlgXauth.h"

#include "ConnectLogic.h"
#include "DataExchange.h"
#include "DialogResource.h"
#include "MainFrameServices.h"
#include "SettingValues.h"

#include "LanguageFile.h"
#include "PipeThread.h"
#include "UiTextWin.h"

namespace corvel {

namespace {

constexpr int kNameLabelWidth = 230; // pixels

} // namespace

CDlgXauth::CDlgXauth(CWnd* parent, std::wstring connectionName)
    : CDialog(IDD_XAUTH, parent), ConnectionName(std::move(connectionName)) {}

CDlgXauth::~CDlgXauth() {
    // The password has been handed on (or was not wanted): none of it stays in this object.
    ::SecureZeroMemory(Password.data(), Password.size() * sizeof(wchar_t));
}

LRESULT CDlgXauth::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PIPE_REPLY:
        OnSaveAuthInfoReply(wParam, lParam);
        return 0;
    default:
        break;
    }
    return CDialog::WindowProc(message, wParam, lParam);
}

void CDlgXauth::DoDataExchange(CDataExchange* dx) {
    DDX_Text(dx, IDC_XAUTH_NAME, ConnectionName);
    DDX_TextLimited(dx, IDC_XAUTH_USER, UserName, kUserNameMaxChars);
    DDX_TextLimited(dx, IDC_XAUTH_PASSWORD, Password, kPasswordMaxChars);
    DDX_Check(dx, IDC_XAUTH_SAVE, SaveCredentials);
}

BOOL CDlgXauth::OnInitDialog() {
    LoadDialogTexts(m_hWnd, GetMainFrameServices().GetLanguagePath(), sections::CredentialsDialog.Name, true,
                    {IDC_XAUTH_CONNECT_LABEL, IDC_XAUTH_NAME, IDC_XAUTH_USER_LABEL, IDC_XAUTH_PASSWORD_LABEL,
                     IDC_XAUTH_SAVE});
    CDialog::OnInitDialog();
    ConnectionName = MakeLabelText(m_hWnd, ConnectionName, kNameLabelWidth);
    UpdateData(FALSE);
    return TRUE;
}

BOOL CDlgXauth::OnCmdMsg(UINT id, UINT code, HWND control) {
    if (id == IDOK && code == BN_CLICKED) {
        OnBnClickedOk();
        return TRUE;
    }
    return CDialog::OnCmdMsg(id, code, control);
}

void CDlgXauth::OnBnClickedOk() {
    // Enter reaches here too, also while OK is disabled: one save, and nothing after it.
    if (m_okPressed || !UpdateData(TRUE))
        return;
    m_okPressed = true;
    ::EnableWindow(GetDlgItem(IDOK), FALSE);
    if (SaveCredentials != 1) {
        EndDialog(IDOK);
        return;
    }
    if (!PostCredentialsRequest(PipeThread, m_hWnd,
                                BuildCredentialsSaveFrame(VpnIndex, UserName, Password))) {
        // No reply will come: as a save the service refused.
        EndDialog(IDCANCEL);
        return;
    }
    m_awaitingReply = true;
}

void CDlgXauth::OnSaveAuthInfoReply(WPARAM dataLength, LPARAM frame) {
    // Sent by the pipe thread; the frame is valid only during this call.
    if (!m_awaitingReply)
        return;
    m_awaitingReply = false; // the request's one reply
    switch (ClassifyCredentialsSaveReply(static_cast<uint32_t>(dataLength),
                                         reinterpret_cast<const uint8_t*>(frame))) {
    case CredentialsSaveOutcome::Saved:
        m_saved = true;
        EndDialog(IDOK);
        break;
    case CredentialsSaveOutcome::Refused:
        EndDialog(IDCANCEL);
        break;
    case CredentialsSaveOutcome::Ignored:
        // No answer, or not the save's: OK stays disabled and the user can only cancel.
        break;
    }
}

BOOL PostCredentialsRequest(const CThreadOwner* thread, HWND window, RequestFrame frame) {
    const BOOL posted = thread && PostPipeRequest(*thread, window, frame);
    WipeFrame(frame);
    return posted;
}

} // namespace corvel
