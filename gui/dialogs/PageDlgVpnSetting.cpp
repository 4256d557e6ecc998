#include "PageDlgVpnSetting.h"

#include "DataExchange.h"
#include "DialogResource.h"
#include "DlgVpnConnect.h"
#include "FrameMessages.h"
#include "MainFrameServices.h"
#include "MessageBox.h"

#include "LanguageFile.h"
#include "UiTextWin.h"

#include <commctrl.h>

namespace corvel {

namespace {

// The list of authentication methods, in the order of VPNCONFIG::AuthProtocol.
const wchar_t* const kAuthMethods[] = {L"MS-CHAP v2", L"PAP", L"CHAP", L"PAP/CHAP"};

// The controls that take input while no connection is up.
const int kInputControls[] = {IDC_SET_NAME,
                              IDC_SET_PSK,
                              IDC_SET_PSK_AGAIN,
                              IDC_SET_SERVER_ADDRESS_MODE,
                              IDC_SET_SERVER_HOST_MODE,
                              IDC_SET_SERVER_ADDRESS,
                              IDC_SET_SERVER_HOST,
                              IDC_SET_AUTH,
                              IDC_SET_USE_VPN_GATEWAY,
                              IDC_SET_USER,
                              IDC_SET_PASSWORD};

} // namespace

CPageDlgVpnSetting::CPageDlgVpnSetting() : CDialog(IDD_PAGE_VPN_SETTING) {}

void CPageDlgVpnSetting::DoDataExchange(CDataExchange* dx) {
    DDX_TextLimited(dx, IDC_SET_NAME, m_values.NameText, kNameMaxChars);
    DDX_TextLimited(dx, IDC_SET_PSK, m_values.PskText, kPreSharedKeyMaxChars);
    DDX_TextLimited(dx, IDC_SET_PSK_AGAIN, m_values.PskAgainText, kPreSharedKeyMaxChars);
    DDX_Radio(dx, IDC_SET_SERVER_ADDRESS_MODE, m_values.ServerChoice);
    DWORD address = m_values.ServerAddress;
    DDX_IPAddress(dx, IDC_SET_SERVER_ADDRESS, address);
    m_values.ServerAddress = address;
    DDX_TextLimited(dx, IDC_SET_SERVER_HOST, m_values.ServerHostText, kServerHostMaxChars);
    DDX_Text(dx, IDC_SET_SERVER_LABEL, ServerLabelText);
    DDX_CBIndex(dx, IDC_SET_AUTH, m_values.AuthChoice);
    DDX_Check(dx, IDC_SET_USE_VPN_GATEWAY, m_values.UseVpnGateway);
    DDX_TextLimited(dx, IDC_SET_USER, m_values.UserText, kUserNameMaxChars);
    DDX_TextLimited(dx, IDC_SET_PASSWORD, m_values.PasswordText, kPasswordMaxChars);
}

BOOL CPageDlgVpnSetting::OnInitDialog() {
    // Line 7 (the server label) is replaced at once by ShowServerKind.
    LoadDialogTexts(
        m_hWnd, GetMainFrameServices().GetLanguagePath(), sections::ConnectionSettingPage.Name, false,
        {IDC_SET_SERVER_ADDRESS_MODE, IDC_SET_SERVER_HOST_MODE, IDC_SET_NAME_LABEL, IDC_SET_PSK_LABEL,
         IDC_SET_PSK_AGAIN_LABEL, IDC_SET_SERVER_KIND_LABEL, IDC_SET_SERVER_LABEL, IDC_SET_AUTH_LABEL,
         IDC_SET_USER_LABEL, IDC_SET_PASSWORD_LABEL, IDC_SET_GROUP});
    const HWND list = GetDlgItem(IDC_SET_AUTH);
    for (const wchar_t* method : kAuthMethods)
        ::SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(method));
    CDialog::OnInitDialog();
    ShowServerKind(m_values.IsHostMode());
    UpdateData(FALSE);
    return TRUE;
}

void CPageDlgVpnSetting::ShowServerKind(bool hostMode) {
    ServerLabelText =
        GetMainFrameServices().GetUiText(hostMode ? kTextServerHostLabel : kTextServerAddressLabel);
    ::ShowWindow(GetDlgItem(IDC_SET_SERVER_ADDRESS), hostMode ? SW_HIDE : SW_SHOW);
    ::ShowWindow(GetDlgItem(IDC_SET_SERVER_HOST), hostMode ? SW_SHOW : SW_HIDE);
    m_hostModeShown = hostMode;
}

void CPageDlgVpnSetting::SetSettingRecord(const uint8_t* record) {
    if (!record)
        return;
    m_values.LoadFromRecord(VPNCONFIG::FromBytes(record));
    ShowServerKind(m_values.IsHostMode());
    UpdateData(FALSE);
}

bool CPageDlgVpnSetting::GetSettingRecord(uint8_t* record) {
    if (!record)
        return false;
    // A value the exchange refused (a host name from a settings file longer than the edit
    // takes) has been reported; the values after it are stale, so nothing is written.
    if (!UpdateData(TRUE))
        return false;
    VPNCONFIG config = VPNCONFIG::FromBytes(record);
    switch (m_values.WriteToRecord(config)) {
    case SettingWriteResult::Written:
        config.Write(record);
        return true;
    case SettingWriteResult::KeyMismatch:
        AfxMessageBox(KeyMismatchText(GetMainFrameServices().GetUiText(kTextKeyMismatch), config), MB_OK);
        return false;
    case SettingWriteResult::ValueTooLong:
        break;
    }
    return false;
}

void CPageDlgVpnSetting::EnableSettingControls(BOOL enable) {
    for (const int id : kInputControls)
        ::EnableWindow(GetDlgItem(id), enable);
}

BOOL CPageDlgVpnSetting::PreTranslateMessage(MSG* msg) {
    if (msg->message == WM_KEYDOWN) {
        if (msg->wParam == VK_RETURN) {
            SendMessage(WM_NEXTDLGCTL, 0, 0);
            return TRUE;
        }
        if (msg->wParam == VK_ESCAPE)
            return TRUE;
    }
    return CDialog::PreTranslateMessage(msg);
}

BOOL CPageDlgVpnSetting::OnCommand(WPARAM wParam, LPARAM lParam) {
    // The address control is seen here, before the lock-out of the exchange drops it: its
    // EN_CHANGE comes eight times for every address set, also the page's own. Only the user's
    // count, and only once the page has been painted since it was shown.
    if (LOWORD(wParam) == IDC_SET_SERVER_ADDRESS && HIWORD(wParam) == EN_CHANGE && lParam != 0 &&
        AfxGetLockoutNotifyWindow() != m_hWnd && OwnerDialog && Painted == 1) {
        CMainFrameServices& frame = GetMainFrameServices();
        if (frame.GetLaunchedWithVpn())
            frame.ClearLaunchedWithVpn();
        NotifyModified();
    }
    return CDialog::OnCommand(wParam, lParam);
}

BOOL CPageDlgVpnSetting::OnCmdMsg(UINT id, UINT code, HWND control) {
    switch (id) {
    case IDC_SET_SERVER_ADDRESS_MODE:
    case IDC_SET_SERVER_HOST_MODE:
        if (code != BN_CLICKED)
            break;
        OnServerKindClicked(id == IDC_SET_SERVER_HOST_MODE);
        return TRUE;
    case IDC_SET_NAME:
    case IDC_SET_PSK:
    case IDC_SET_PSK_AGAIN:
    case IDC_SET_SERVER_HOST:
    case IDC_SET_USER:
    case IDC_SET_PASSWORD:
        if (code != EN_CHANGE)
            break;
        NotifyModified();
        return TRUE;
    case IDC_SET_USE_VPN_GATEWAY:
        if (code != BN_CLICKED)
            break;
        NotifyModified();
        return TRUE;
    case IDC_SET_AUTH:
        if (code != CBN_SELENDOK)
            break;
        NotifyModified();
        return TRUE;
    default:
        break;
    }
    return CDialog::OnCmdMsg(id, code, control);
}

void CPageDlgVpnSetting::OnServerKindClicked(bool hostMode) {
    if (!UpdateData(TRUE)) {
        // A value the exchange refused: the mode stays as shown, and the values after the
        // refused one (stale) are not written back over what the user typed.
        m_values.ServerChoice = m_hostModeShown ? 1 : 0;
        ::CheckRadioButton(m_hWnd, IDC_SET_SERVER_ADDRESS_MODE, IDC_SET_SERVER_HOST_MODE,
                           m_hostModeShown ? IDC_SET_SERVER_HOST_MODE : IDC_SET_SERVER_ADDRESS_MODE);
        return;
    }
    ShowServerKind(hostMode);
    UpdateData(FALSE);
    NotifyModified();
}

void CPageDlgVpnSetting::NotifyModified() {
    if (OwnerDialog && OwnerDialog->m_hWnd)
        ::SendMessageW(OwnerDialog->m_hWnd, WM_PAGE_MODIFIED, 0, 0);
}

void CPageDlgVpnSetting::OnPaint() {
    PAINTSTRUCT paint;
    ::BeginPaint(m_hWnd, &paint);
    ::EndPaint(m_hWnd, &paint);
    Painted = 1;
}

} // namespace corvel
