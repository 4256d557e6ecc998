#pragma once
// The credentials dialog: the user name and password of one connection just before it is
// dialled. With its box ticked it first stores them in the service (item 25) and ends only
// once the service has answered.
#include "Dialog.h"
#include "Requests.h"
#include "WorkerThread.h"

#include <cstdint>
#include <string>

namespace corvel {

// Posts a request whose frame holds credentials (a copy travels with it) and wipes this one.
// FALSE without a thread, or when it takes no more requests: no reply will come.
BOOL PostCredentialsRequest(const CThreadOwner* thread, HWND window, RequestFrame frame);

class CDlgXauth : public CDialog {
public:
    // `connectionName` as the record holds it; the label shows it fitted and escaped.
    CDlgXauth(CWnd* parent, std::wstring connectionName);
    ~CDlgXauth() override;

    // The request thread that carries the save; null sends nothing and a ticked box then ends
    // the dialog as a refused save would.
    void SetPipeThread(const CThreadOwner* thread) { PipeThread = thread; }

    // Set by the caller before DoModal; after IDOK the credentials to use.
    uint8_t VpnIndex = 0;
    std::wstring UserName;
    std::wstring Password;
    int SaveCredentials = 1;

    // IDOK after the service stored the credentials (false: IDOK with the box clear).
    bool Saved() const { return m_saved; }

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    void DoDataExchange(CDataExchange* dx) override;
    BOOL OnInitDialog() override;
    BOOL OnCmdMsg(UINT id, UINT code, HWND control) override;

private:
    void OnBnClickedOk();
    void OnSaveAuthInfoReply(WPARAM dataLength, LPARAM frame);

    std::wstring ConnectionName;
    const CThreadOwner* PipeThread = nullptr;
    bool m_okPressed = false;
    bool m_awaitingReply = false;
    bool m_saved = false;
};

} // namespace corvel
