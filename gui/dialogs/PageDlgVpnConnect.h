#pragma once
// Tab 0 of the settings dialog: the 20 connections as radio buttons labelled with their names,
// a state label beside each, and the one button that connects or disconnects. This page shows
// the states the dialog hands it; the frame stays the notification target.
#include "ConnectionPageLogic.h"
#include "Dialog.h"
#include "WorkerThread.h"

#include <array>
#include <cstdint>
#include <string>

namespace corvel {

class CDlgVpnConnect;

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
    int GetActiveIndex() const { return States.ActiveIndex; }

    int GetSelectedIndex() const { return SelectedIndex; }

protected:
    void DoDataExchange(CDataExchange* dx) override;
    BOOL PreTranslateMessage(MSG* msg) override;
    // Enter and Escape never end the page.
    void OnOK() override {}
    void OnCancel() override {}
    BOOL OnCmdMsg(UINT id, UINT code, HWND control) override;

private:
    void OnBnClickedRadio();
    void SetConnectButtonText(unsigned textId);

    int SelectedIndex = 0;
    CConnectionStates States; // ActiveIndex, ConnectedFlag and the label of each connection
    std::array<std::wstring, 20> StateTexts;
    const CThreadOwner* PipeThread = nullptr;
    const uint8_t* Records = nullptr;
    CDlgVpnConnect* OwnerDialog = nullptr;
};

} // namespace corvel
