#pragma once
// The connecting dialog: runs the credentials dialog, sends CMD_CONNECT with them, and follows
// the service's notifications while it is their target: a progress bar, the success text for
// three seconds, the failure box, or the RAS-error box. It ends itself in every case; the
// connection page reads Cancelled and QuitRequested afterwards.
#include "ConnectLogic.h"
#include "Dialog.h"
#include "WorkerThread.h"

#include <cstdint>
#include <string>

namespace corvel {

class CDlgVpnConnecting : public CDialog {
public:
    // The pause after the connected notification, before the dialog closes itself.
    static constexpr UINT kSuccessPauseMs = 3000;

    // `parent` (the connection page) is told WM_SET_TRAY_ICON(1, 0) when the connection is up.
    // `userName` and `password`: the connection's stored credentials.
    CDlgVpnConnecting(CWnd* parent, std::wstring connectionName, uint8_t vpnIndex, std::wstring userName,
                      std::wstring password);
    ~CDlgVpnConnecting() override;

    void SetPipeThread(const CThreadOwner* thread) { PipeThread = thread; }

    // Read after DoModal: 1 when it ended while not connected (the page sends CMD_DISCONNECT
    // for the connection); 1 when the service asked the program to quit.
    DWORD Cancelled = 0;
    DWORD QuitRequested = 0;

    uint8_t GetConnectState() const { return ConnectState; }
    int GetProgressPosition() const { return ProgressPosition; }

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    void DoDataExchange(CDataExchange* dx) override;
    BOOL OnInitDialog() override;
    // Enter: there is no OK button, and nothing to confirm.
    void OnOK() override {}
    // IDCANCEL, and so every WM_CLOSE while Cancel is enabled.
    void OnCancel() override;
    void OnTimer(UINT_PTR id) override;

private:
    // The connect request built now, from the credentials the user confirmed, and posted.
    void PostConnectRequest();
    void OnConnectReply(WPARAM dataLength, LPARAM frame);
    // One notification or reply through the state table; `rasError` for the RAS-error box.
    void Apply(ConnectingEvent event, int32_t rasError = 0);
    void ShowFailureBox(HWND owner);

    // Posted to itself by a refusing reply, so that the box opens once the pipe thread is no
    // longer held in its SendMessageW.
    static constexpr UINT WM_CONNECT_REFUSED = WM_APP + 0x43;
    static constexpr UINT_PTR kSuccessTimer = 1;

    std::wstring ConnectionName;
    std::wstring StatusText;
    std::wstring m_fullName; // the name as given, unfitted, for the credentials dialog
    const CThreadOwner* PipeThread = nullptr;
    uint8_t VpnIndex;
    std::wstring UserName;
    std::wstring Password;
    int ProgressPosition = 0;
    uint8_t ConnectState = kConnectStateConnecting;
    bool m_awaitingReply = false;
    // The credentials dialog or the RAS-error box while it runs: a quit notification ends it.
    CDialog* m_modalChild = nullptr;
};

} // namespace corvel
