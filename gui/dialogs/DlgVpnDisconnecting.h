#pragma once
// Shown while one connection is disconnected: sends CMD_DISCONNECT through the caller's pipe
// thread as it opens, cannot be closed while the answer is awaited, and closes itself after.
#include "Dialog.h"
#include "WorkerThread.h"

#include <atomic>
#include <cstdint>

namespace corvel {

class CDlgVpnDisconnecting : public CDialog {
public:
    // UiTexts of the failure box.
    static constexpr unsigned kTextDisconnectFailed = 215;
    static constexpr unsigned kTextCaption = 208;

    // At most one exists at a time; it becomes the dialog that BuildDisconnectRequest reads.
    explicit CDlgVpnDisconnecting(CWnd* parent = nullptr);
    ~CDlgVpnDisconnecting() override;

    // ServiceRequestBuilder of CMD_DISCONNECT for the current dialog's VpnIndex: no buffer
    // (or no dialog): size 0 and 0; capacity below 5: size 5 and 0; else 5 bytes, size 5, 1.
    // Runs on the pipe thread: the dialog cannot end before its reply, so it still exists.
    static int BuildDisconnectRequest(uint32_t& size, uint8_t* buffer);

    // Set by the caller before DoModal. Null: nothing is sent and the dialog stays closable.
    const CThreadOwner* PipeThread = nullptr;
    // 1 at construction, 0 while the reply is awaited (UI thread only).
    DWORD CanClose = 1;
    // Read by the pipe thread in BuildDisconnectRequest; not changed while the dialog waits.
    uint8_t VpnIndex = 0;

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;

private:
    void OnDisconnectReply(WPARAM dataLength, LPARAM frame);
    void OnDisconnectFailed();
    void SetCloseCommandEnabled(bool enabled);
    void FinishWaiting();

    // The failure box is shown after WM_PIPE_REPLY has returned, so the pipe thread is not
    // held (with the pipe still open) while the user reads it.
    static constexpr UINT WM_DISCONNECT_FAILED = WM_APP + 0x41;

    bool m_awaitingReply = false; // one request posted, its one WM_PIPE_REPLY not yet handled

    static std::atomic<CDlgVpnDisconnecting*> s_current;
};

} // namespace corvel
