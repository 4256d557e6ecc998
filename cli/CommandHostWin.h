#pragma once
// CCommandHost over Win32: the console policy's pipe open, the tray program's mutex, the two
// dialogs, ::Sleep and GetTickCount64.
#include "CommandHost.h"

namespace corvel::cli {

class CWin32CommandHost : public CCommandHost {
public:
    uint32_t OpenServicePipe(std::unique_ptr<CServicePipe>& pipe) override;
    uint32_t OpenGuiMutex() override;
    DialogEnd RunCredentialsDialog(CredentialsDialogData& data) override;
    ConnectingDialogResult RunConnectingDialog(const ConnectingDialogData& data) override;
    void Sleep(uint32_t milliseconds) override;
    uint64_t NowMs() override;
};

} // namespace corvel::cli
