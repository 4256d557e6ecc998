#pragma once
// One connection setting on a page of the settings dialog (tabs 1 to 20): the record moves into
// the controls and back, every edit is reported to the dialog, and the key is checked against
// its re-entry when the dialog saves. The fields without a control travel in the values and go
// back into the record unchanged.
#include "Dialog.h"
#include "SettingValues.h"

#include <cstdint>
#include <string>

namespace corvel {

class CDlgVpnConnect;

class CPageDlgVpnSetting : public CDialog {
public:
    CPageDlgVpnSetting();

    // From SetOwnerDialog on, edits are reported to the dialog (WM_PAGE_MODIFIED, sent).
    void SetOwnerDialog(CDlgVpnConnect* owner) { OwnerDialog = owner; }
    // One record image (VPNCONFIG::kSize bytes) into the values and the controls; null does
    // nothing.
    void SetSettingRecord(const uint8_t* record);
    // The controls into the values and, when they are accepted and the key matches its
    // re-entry, into the record image: true. A refused value (the exchange told the user) or a
    // key mismatch (the 212 box names the record as it was) leaves the record untouched: false.
    bool GetSettingRecord(uint8_t* record);
    // The values as last exchanged.
    bool IsPreSharedKeyConfirmed() const { return m_values.IsPreSharedKeyConfirmed(); }
    bool HasServerAddress() const { return m_values.HasServerAddress(); }

    void EnableSettingControls(BOOL enable);
    void SetPainted(int painted) { Painted = painted; }
    void SetShownIndex(int index) { ShownIndex = index; }

    const CSettingValues& GetValues() const { return m_values; }

protected:
    void DoDataExchange(CDataExchange* dx) override;
    BOOL PreTranslateMessage(MSG* msg) override;
    BOOL OnInitDialog() override;
    // The page never ends itself: Enter and Escape reach no button of it.
    void OnOK() override {}
    void OnCancel() override {}
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    BOOL OnCmdMsg(UINT id, UINT code, HWND control) override;
    void OnPaint() override;

private:
    // Address mode (210, the address control) or host mode (211, the host edit); the values go
    // to the controls by the caller.
    void ShowServerKind(bool hostMode);
    void OnServerKindClicked(bool hostMode);
    void NotifyModified();

    CSettingValues m_values;
    std::wstring ServerLabelText;
    CDlgVpnConnect* OwnerDialog = nullptr;
    int Painted = 0;
    int ShownIndex = 0;
    bool m_hostModeShown = false; // the server field the page shows now
};

} // namespace corvel
