#include "PageDlgVpnConnect.h"

#include "ConnectLogic.h"
#include "DataExchange.h"
#include "DialogResource.h"
#include "DlgVpnConnect.h"
#include "DlgVpnConnecting.h"
#include "DlgVpnDisconnecting.h"
#include "FrameMessages.h"
#include "MainFrameServices.h"
#include "SettingValues.h"
#include "SettingsLabels.h"

#include "FixedString.h"
#include "LanguageFile.h"
#include "MessageBox.h"
#include "PipeThread.h"
#include "Protocol.h"
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
    if (!m_states.Show(up, index))
        return;
    const CMainFrameServices& frame = GetMainFrameServices();
    for (size_t i = 0; i < StateTexts.size(); ++i)
        StateTexts[i] = frame.GetUiText(m_states.StateTextIds[i]);
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
    if (id == IDC_CONN_BUTTON && code == BN_CLICKED) {
        OnBnClickedConnect();
        return TRUE;
    }
    if (code == BN_CLICKED && ConnectionIndexOfRadio(id) >= 0) {
        OnBnClickedRadio();
        return TRUE;
    }
    return CDialog::OnCmdMsg(id, code, control);
}

void CPageDlgVpnConnect::OnBnClickedRadio() {
    UpdateData(TRUE);
    // "切断" only on the connection that is up.
    SetConnectButtonText(m_states.ButtonTextId(SelectedIndex));
}

// ---- following the connections ----

LRESULT CPageDlgVpnConnect::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_START_CONNECT:
        OnStartConnect();
        return 0;
    case WM_SET_TRAY_ICON:
        OnConnectionStateChanged(wParam != 0);
        return 0;
    case WM_VPN_STATE1:
        OnVpnState1(wParam);
        return 0;
    case WM_VPN_STATE0:
        // A quit under the credentials dialog is the connecting dialog's that runs it: it ends
        // that dialog and connects nothing, and the page quits once it has ended.
        if (lParam != 0 && m_connecting && m_connecting->m_hWnd) {
            m_connecting->SendMessage(WM_VPN_STATE0, wParam, lParam);
            return 0;
        }
        PostMessage(WM_SET_TRAY_ICON, 0, 0);
        if (lParam != 0)
            GetMainFrameServices().PostQuitRequest();
        return 0;
    case WM_VPN_ERROR:
        // No state 0 need follow a RAS error: the connection is down all the same, and the
        // box is the connecting dialog's alone.
        PostMessage(WM_SET_TRAY_ICON, 0, 0);
        return 0;
    case WM_PIPE_REPLY:
        OnPipeReply(wParam, lParam);
        return 0;
    case WM_DISCONNECT_REFUSED:
        OnDisconnectRefused();
        return 0;
    case WM_SAVE_BATCH_ENDED:
        OnSaveBatchEndedMessage(wParam != 0);
        return 0;
    default:
        break;
    }
    return CDialog::WindowProc(message, wParam, lParam);
}

BOOL CPageDlgVpnConnect::OnInitDialog() {
    CDialog::OnInitDialog();
    m_previousTarget = GetMainFrameServices().SetNotificationWindow(m_hWnd);
    return TRUE;
}

void CPageDlgVpnConnect::OnDestroy() {
    CMainFrameServices& frame = GetMainFrameServices();
    // A press cut short with the page (its dialog cannot close while it runs, but its window
    // can be destroyed all the same) must not leave the settings dialog held for good.
    EndPress();
    // The notifications go back to the frame, unless another window has taken them since.
    const HWND current = frame.SetNotificationWindow(m_previousTarget);
    if (current != m_hWnd)
        frame.SetNotificationWindow(current);
    CDialog::OnDestroy();
}

void CPageDlgVpnConnect::OnVpnState1(WPARAM vpnIndex) {
    // The connection the service names, which need not be the selected one (a dial begun from
    // the command line that the opening status just missed): it becomes the selected one, so
    // that its label, the button and a disconnect all name it.
    if (vpnIndex < kConnectionControls.size())
        SelectConnection(static_cast<int>(vpnIndex));
    PostMessage(WM_SET_TRAY_ICON, 1, 0);
}

void CPageDlgVpnConnect::OnConnectionStateChanged(bool up) {
    m_states.ConnectedFlag = up ? 1 : 0;
    ShowConnectionStates(m_states.ConnectedFlag, SelectedIndex);
    SetConnectButtonText(up ? kTextDisconnectButton : kTextConnectButton);
    // An index outside 0 to 19 marks nothing connected in the frame.
    GetMainFrameServices().SetTrayIcon(up, uint8_t(IsConnectionIndex(SelectedIndex) ? SelectedIndex : 0xFF));
    if (OwnerDialog && OwnerDialog->m_hWnd)
        ::PostMessageW(OwnerDialog->m_hWnd, WM_SET_TRAY_ICON, WPARAM(m_states.ConnectedFlag), 0);
}

// ---- the press of the button ----

template <class Run> auto CPageDlgVpnConnect::RunModal(Run run) -> decltype(run()) {
    struct Scope {
        CDlgVpnConnect* Owner;
        explicit Scope(CDlgVpnConnect* owner) : Owner(owner) {
            if (Owner)
                Owner->EnterPageModal();
        }
        ~Scope() {
            if (Owner)
                Owner->LeavePageModal();
        }
    } scope(OwnerDialog);
    return run();
}

// What the press asks, answered by the page, the settings dialog and the user.
class CPagePressQuestions : public CPressQuestions {
public:
    explicit CPagePressQuestions(CPageDlgVpnConnect& page) : m_page(page) {}

    bool AskSaveFirst() override {
        const std::wstring& text = GetMainFrameServices().GetUiText(kTextSaveBeforeConnect);
        return m_page.RunModal([&] { return AfxMessageBox(text, MB_YESNO | MB_ICONQUESTION); }) == IDYES;
    }
    bool SaveAll() override {
        CDlgVpnConnect* owner = m_page.OwnerDialog;
        return owner && m_page.RunModal([owner] { return owner->SaveAllSettings(true); });
    }
    bool EveryKeyConfirmed() override {
        return !m_page.OwnerDialog || m_page.OwnerDialog->EveryKeyConfirmed();
    }
    bool HasServer() override {
        return !m_page.OwnerDialog || m_page.OwnerDialog->HasServer(m_page.m_pressIndex);
    }

private:
    CPageDlgVpnConnect& m_page;
};

void CPageDlgVpnConnect::OnBnClickedConnect() {
    if (m_pressing)
        return;
    // Not across the settings dialog's own requests: its save would follow them, and a connect
    // would dial a record that an import is replacing.
    if (OwnerDialog && OwnerDialog->IsOperationInFlight()) {
        ::MessageBeep(MB_OK);
        return;
    }
    // The press holds the settings dialog open (BusyFlag::ConnectPress) until the windows it
    // runs have ended, whatever the dialog's own operations do with BusyFlag::Settings meanwhile.
    m_pressing = true;
    m_pressIndex = SelectedIndex;
    GetMainFrameServices().SetBusyFlag(BusyFlag::ConnectPress, true);
    CPagePressQuestions questions(*this);
    const bool modified = OwnerDialog && OwnerDialog->IsModified();
    const CPressDecision decision = DecideConnectPress(m_states.ConnectedFlag != 0, modified, questions);
    switch (decision.Action) {
    case PressAction::Disconnect:
        RunDisconnect();
        return;
    case PressAction::Connect:
        if (decision.AfterSave) {
            m_awaitingSave = true; // OnSaveBatchEnded goes on
            return;
        }
        PostMessage(WM_START_CONNECT);
        return;
    case PressAction::Stop:
        break;
    }
    if (decision.BoxTextId != 0) {
        const std::wstring& text = GetMainFrameServices().GetUiText(decision.BoxTextId);
        RunModal([&] { return AfxMessageBox(text, MB_OK); });
    }
    EndPress();
}

void CPageDlgVpnConnect::RunDisconnect() {
    RunModal([this] {
        CDlgVpnDisconnecting dialog;
        dialog.SetPipeThread(PipeThread);
        dialog.VpnIndex = uint8_t(m_states.ActiveIndex);
        return dialog.DoModal();
    });
    // Down whatever the outcome: a failure was reported by the dialog.
    ShowConnectionStates(0, 0);
    PostMessage(WM_SET_TRAY_ICON, 0, 0);
    if (ConnectAfterDisconnect(SelectedIndex, m_states.ActiveIndex)) {
        m_pressIndex = SelectedIndex;
        PostMessage(WM_START_CONNECT); // the hold stays for it
        return;
    }
    SetConnectButtonText(kTextConnectButton);
    EndPress();
}

void CPageDlgVpnConnect::OnSaveBatchEnded(bool saved) {
    // Called inside the reply that ended the batch, or after its box: posted on.
    if (!m_awaitingSave)
        return; // a press that stopped after its save (no server), or none
    m_awaitingSave = false;
    PostMessage(WM_SAVE_BATCH_ENDED, saved ? 1 : 0);
}

void CPageDlgVpnConnect::OnSaveBatchEndedMessage(bool saved) {
    if (!m_pressing)
        return;
    // A refused batch has shown its box: the service holds the old record, so nothing dials.
    if (saved)
        OnStartConnect();
    else
        EndPress();
}

void CPageDlgVpnConnect::OnStartConnect() {
    if (!m_pressing)
        return; // only a press posts it
    CMainFrameServices& frame = GetMainFrameServices();
    if (!StartConnectNow(m_states.ConnectedFlag != 0, frame.IsQuitPending()) ||
        !IsConnectionIndex(m_pressIndex) || !Records) {
        EndPress(); // a held Quit runs then
        return;
    }
    const int index = m_pressIndex;
    const VPNCONFIG record = VPNCONFIG::FromBytes(Records + size_t(index) * VPNCONFIG::kSize);
    DWORD cancelled = 0;
    DWORD quitRequested = 0;
    RunModal([&] {
        CDlgVpnConnecting dialog(this, ConnectionName(record), uint8_t(index),
                                 WideFromUtf16(FixedToString(record.UserName)),
                                 WideFromUtf16(FixedToString(record.Password)));
        dialog.SetPipeThread(PipeThread);
        m_connecting = &dialog;
        const INT_PTR result = dialog.DoModal();
        m_connecting = nullptr;
        cancelled = dialog.Cancelled;
        quitRequested = dialog.QuitRequested;
        return result;
    });
    const CConnectingEnd end = DecideConnectingEnd(cancelled != 0, quitRequested != 0);
    if (end.Abort)
        AbortConnect(index);
    // Back from the connecting dialog, also when the program is to quit: Quit may leave the
    // settings dialog open.
    frame.SetNotificationWindow(m_hWnd);
    // The service ended the connection when it asked to quit: shown down (in the frame too,
    // at once) before the Quit, which would otherwise ask to disconnect it.
    if (end.MarkDown)
        OnConnectionStateChanged(false);
    // A Quit that the frame holds runs once the press has ended; this one need not follow it.
    const bool quitHeld = frame.IsQuitPending();
    // Released at once, before the Quit is handled.
    EndPress();
    if (end.PostQuit && !quitHeld)
        frame.PostQuitRequest();
}

void CPageDlgVpnConnect::AbortConnect(int vpnIndex) {
    // The frame fixes the connection now: the page may be gone when the thread sends it.
    if (PipeThread)
        PostPipeRequest(*PipeThread, m_hWnd, BuildDisconnectRequest(uint8_t(vpnIndex)));
    ShowConnectionStates(0, 0);
    PostMessage(WM_SET_TRAY_ICON, 0, 0);
    SetConnectButtonText(kTextConnectButton);
}

void CPageDlgVpnConnect::OnPipeReply(WPARAM dataLength, LPARAM frame) {
    // Sent by the pipe thread; the frame is valid only during this call. BusyFlag::Settings is the
    // settings dialog's: the abort's reply leaves it alone.
    if (IsRefusedReply(CMD_DISCONNECT, static_cast<uint32_t>(dataLength),
                       reinterpret_cast<const uint8_t*>(frame)))
        PostMessage(WM_DISCONNECT_REFUSED);
}

void CPageDlgVpnConnect::OnDisconnectRefused() {
    const CMainFrameServices& frame = GetMainFrameServices();
    const std::wstring text = frame.GetUiText(kTextDisconnectFailedBox);
    const std::wstring caption = frame.GetUiText(kTextConnectCaption);
    const HWND self = m_hWnd;
    RunModal([&] { return ShowMessageBox(self, text, caption, MB_OK | MB_ICONERROR); });
}

void CPageDlgVpnConnect::EndPress() {
    m_awaitingSave = false;
    if (!m_pressing)
        return;
    m_pressing = false;
    GetMainFrameServices().SetBusyFlag(BusyFlag::ConnectPress, false);
}

} // namespace corvel
