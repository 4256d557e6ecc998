#pragma once
// Shown while one connection is disconnected: sends CMD_DISCONNECT through the caller's pipe
// thread as it opens, cannot be closed while the answer is awaited, and closes itself after.
#include "Dialog.h"
#include "WorkerThread.h"

#include <cstdint>

namespace corvel {

class CDlgVpnDisconnecting : public CDialog {
public:
    // UiTexts of the failure box.
    static constexpr unsigned kTextDisconnectFailed = 215;
    static constexpr unsigned kTextCaption = 208;

    explicit CDlgVpnDisconnecting(CWnd* parent = nullptr);

    // Set by the caller before DoModal. Null: nothing is sent and the dialog stays closable.
    void SetPipeThread(const CThreadOwner* thread) { PipeThread = thread; }

    // 1 at construction, 0 while the reply is awaited (UI thread only).
    DWORD CanClose = 1;
    // The connection to end; its CMD_DISCONNECT frame is built when the dialog opens and
    // travels with the request, so the pipe thread reads nothing of the dialog.
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

    // The failure box, posted from the reply (see WM_PIPE_REPLY).
    static constexpr UINT WM_DISCONNECT_FAILED = WM_APP + 0x41;

    const CThreadOwner* PipeThread = nullptr;
    bool m_awaitingReply = false; // one request posted, its one WM_PIPE_REPLY not yet handled
};

} // namespace corvel
