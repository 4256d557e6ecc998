#include "PageDlgVpnConnect.h"

#include "DataExchange.h"
#include "DialogResource.h"
#include "MainFrameServices.h"
#include "SettingValues.h"
#include "SettingsLabels.h"

#include "LanguageFile.h"
#include "UiTextWin.h"

namespace corvel {

CPageDlgVpnConnect::CPageDlgVpnConnect() : CDialog(IDD_PAGE_VPN_CONNECT) {
    StateTexts.fill(BuiltinUiText(kTextConnectionDown));
}

void CPageDlgVpnConnect::DoDataExchange(CDataExchange* dx) {
    DDX_Radio(dx, int(kConnectionControls[0].Radio), SelectedIndex);
    for (size_t i = 0; i < kConnectionControls.size(); ++i)
        DDX_Text(dx, int(kConnectionControls[i].StateLabel), StateTexts[i]);
}

void CPageDlgVpnConnect::LoadDialogTexts() {
    // Group box, the 20 radio buttons, the button, the 20 state labels.
    std::vector<int> controls;
    controls.push_back(IDC_CONN_GROUP);
    for (const CConnectionControlIds& c : kConnectionControls)
        controls.push_back(int(c.Radio));
    controls.push_back(IDC_CONN_BUTTON);
    for (const CConnectionControlIds& c : kConnectionControls)
        controls.push_back(int(c.StateLabel));
    ::corvel::LoadDialogTexts(m_hWnd, GetMainFrameServices().GetLanguagePath(), sections::ConnectionPage.Name,
                              false, controls);
    // The labels' texts become the members; no radio is on yet, so the selection reads -1
    // until SelectConnection.
    UpdateData(TRUE);
}

void CPageDlgVpnConnect::SetConnectionLabels(const uint8_t* records) {
    if (!records)
        return;
    const TextWidthMeasure measure = LabelTextMeasure(m_hWnd);
    for (size_t i = 0; i < kConnectionControls.size(); ++i) {
        SetDlgItemText(int(kConnectionControls[i].Radio),
                       MakeConnectionRadioLabel(unsigned(i + 1), ConnectionNameAt(records, i), measure));
    }
    UpdateData(FALSE);
}

void CPageDlgVpnConnect::SelectConnection(int index) {
    if (IsConnectionIndex(index))
        SelectedIndex = index;
    UpdateData(FALSE);
}

void CPageDlgVpnConnect::ShowConnectionStates(int up, int index) {
    if (!States.Show(up, index))
        return;
    const CMainFrameServices& frame = GetMainFrameServices();
    for (size_t i = 0; i < StateTexts.size(); ++i)
        StateTexts[i] = frame.GetUiText(States.StateTextIds[i]);
    UpdateData(FALSE);
}

void CPageDlgVpnConnect::SetButtonText(const std::wstring& text) {
    SetDlgItemText(IDC_CONN_BUTTON, text);
    UpdateData(FALSE);
}

void CPageDlgVpnConnect::EnableAllRadios() {
    for (const CConnectionControlIds& c : kConnectionControls)
        ::EnableWindow(GetDlgItem(int(c.Radio)), TRUE);
    UpdateData(FALSE);
}

void CPageDlgVpnConnect::EnableOnlyRadio(int index) {
    for (size_t i = 0; i < kConnectionControls.size(); ++i)
        ::EnableWindow(GetDlgItem(int(kConnectionControls[i].Radio)), int(i) == index);
    UpdateData(FALSE);
}

void CPageDlgVpnConnect::SetConnectButtonText(unsigned textId) {
    SetButtonText(GetMainFrameServices().GetUiText(textId));
}

BOOL CPageDlgVpnConnect::PreTranslateMessage(MSG* msg) {
    if (msg->message == WM_KEYDOWN && msg->wParam == VK_ESCAPE)
        return TRUE;
    return CDialog::PreTranslateMessage(msg);
}

BOOL CPageDlgVpnConnect::OnCmdMsg(UINT id, UINT code, HWND control) {
    if (code == BN_CLICKED && ConnectionIndexOfRadio(id) >= 0) {
        OnBnClickedRadio();
        return TRUE;
    }
    return CDialog::OnCmdMsg(id, code, control);
}

void CPageDlgVpnConnect::OnBnClickedRadio() {
    UpdateData(TRUE);
    // "切断" only on the connection that is up.
    SetConnectButtonText(States.ButtonTextId(SelectedIndex));
}

} // namespace corvel
