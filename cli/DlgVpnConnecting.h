#pragma once
// The console client's connecting dialog (resource 102), shown with "/win" after the connect
// was sent: it polls the connection's state on its 500 ms timer (CConnectingTicks) and ends
// with OK once connected, or closes itself with a code for the caller (CloseWithResult). The
// tray program has a class of the same name that behaves otherwise, hence the namespace.
#include "CommandHost.h"
#include "ConnectingTicks.h"

#include "Dialog.h"

#include <cstdint>
#include <string>

namespace corvel::cli {

class CDlgVpnConnecting : public CDialog {
public:
    // The name label is fitted below this width, then its "&" doubled.
    static constexpr int kNameLimitPx = 290;

    // Each tick's requests go through `host`.
    explicit CDlgVpnConnecting(CCommandHost& host, CWnd* parent = nullptr);

    std::wstring Name;
    uint32_t CloseCode = 0; // the code the dialog closed itself with; 0 = the user closed it
    uint8_t VpnIndex = 0;
    std::wstring LanguagePath;

    // CloseCode = code, then WM_CLOSE, which ends the dialog through Cancel.
    void CloseWithResult(uint32_t code);
    // The bar shows the ticks' progress (2 more on each connecting tick, 0 to 100).
    void StepProgress();

    int Progress() const { return m_ticks.Progress(); }
    int TickCount() const { return m_ticks.TickCount(); }

protected:
    BOOL OnInitDialog() override;
    void OnTimer(UINT_PTR id) override;
    // Only a connected tick ends the dialog with OK: Enter must not report a connection.
    void OnOK() override;
    void OnCancel() override;

private:
    void CentreTopmost();

    CCommandHost& m_host;
    CConnectingTicks m_ticks{0};
};

// Runs the dialog modally without a parent, its ticks over `host`.
ConnectingDialogResult ShowConnectingDialog(const ConnectingDialogData& data, CCommandHost& host);

} // namespace corvel::cli
