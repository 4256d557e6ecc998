#pragma once
// Tab 0 of the settings dialog: the 20 connections as radio buttons labelled with their names,
// a state label beside each, and the one button that connects or disconnects. While the settings
// dialog is open the page follows the notifications (the connecting dialog takes them while it
// runs), and gives them back to whoever had them when its window goes.
#include "ConnectionPageLogic.h"
#include "Dialog.h"
#include "WorkerThread.h"

#include <array>
#include <cstdint>
#include <string>

namespace corvel {

class CDlgVpnConnect;
class CDlgVpnConnecting;

class CPageDlgVpnConnect : public CDialog {
public:
    CPageDlgVpnConnect();

    // The settings dialog's request thread, its records (20 images of VPNCONFIG::kSize bytes,
    // borrowed) and the dialog itself.
    void SetPipeThread(const CThreadOwner* thread) { PipeThread = thread; }
    void SetRecords(const uint8_t* records) { Records = records; }
    void SetOwnerDialog(CDlgVpnConnect* owner) { OwnerDialog = owner; }

    // "[olevpnconnect]", then the state labels' texts become the members.
    void LoadDialogTexts();
    // The radio buttons labelled "01：name" to "20：name", fitted to 175 pixels; null does nothing.
    void SetConnectionLabels(const uint8_t* records);
    // An index outside 0 to 19 leaves the selection.
    void SelectConnection(int index);
    // An index outside 0 to 19 changes nothing.
    void ShowConnectionStates(int up, int index);
    void SetButtonText(const std::wstring& text);
    void EnableAllRadios();
    void EnableOnlyRadio(int index);
    int GetActiveIndex() const { return m_states.ActiveIndex; }

    int GetSelectedIndex() const { return SelectedIndex; }
    int GetConnectedFlag() const { return m_states.ConnectedFlag; }
    // From a press of the button until the windows it ran have ended (BusyFlag::ConnectPress is set).
    bool IsPressing() const { return m_pressing; }

    // The settings dialog: the save batch that the press started has ended, `saved` when every
    // item was answered 0. The press connects then, or ends.
    void OnSaveBatchEnded(bool saved);

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    void DoDataExchange(CDataExchange* dx) override;
    BOOL PreTranslateMessage(MSG* msg) override;
    BOOL OnInitDialog() override;
    // Enter and Escape never end the page.
    void OnOK() override {}
    void OnCancel() override {}
    BOOL OnCmdMsg(UINT id, UINT code, HWND control) override;
    void OnDestroy() override;

private:
    friend class CPagePressQuestions;

    void OnBnClickedRadio();
    void SetConnectButtonText(unsigned textId);
    void OnBnClickedConnect();
    void RunDisconnect();
    void OnStartConnect();
    void OnVpnState1(WPARAM vpnIndex);
    void OnSaveBatchEndedMessage(bool saved);
    void AbortConnect(int vpnIndex);
    void OnPipeReply(WPARAM dataLength, LPARAM frame);
    void OnDisconnectRefused();
    void OnConnectionStateChanged(bool up);
    void EndPress();
    // A box or dialog run by the page: the settings dialog refuses to close meanwhile.
    template <class Run> auto RunModal(Run run) -> decltype(run());

    // Posted to itself by a refusing reply: the box opens once the pipe thread is free again.
    static constexpr UINT WM_DISCONNECT_REFUSED = WM_APP + 0x44;
    // Posted to itself at the end of the press's save batch (wParam 1: all saved): the
    // connecting dialog does not run inside the reply that ended it, and a Quit posted before
    // it has been handled first.
    static constexpr UINT WM_SAVE_BATCH_ENDED = WM_APP + 0x45;

    int SelectedIndex = 0;
    CConnectionStates m_states; // ActiveIndex, ConnectedFlag and the label of each connection
    std::array<std::wstring, 20> StateTexts;
    const CThreadOwner* PipeThread = nullptr;
    const uint8_t* Records = nullptr;
    CDlgVpnConnect* OwnerDialog = nullptr;
    HWND m_previousTarget = nullptr; // the notification target before the page took it
    bool m_pressing = false;
    bool m_awaitingSave = false; // the press connects once its save batch has ended saved
    // The connection the press connects, fixed when it decided to: the selection may move
    // meanwhile (a state 1 under its box, a click while it waits for its save).
    int m_pressIndex = 0;
    // While it runs; it is not the notification target during its credentials dialog, so a
    // QuitGui reaches it through the page.
    CDlgVpnConnecting* m_connecting = nullptr;
};

} // namespace corvel
