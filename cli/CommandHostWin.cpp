#include "CommandHostWin.h"

#include "DlgVpnConnecting.h"
#include "DlgXauth.h"
#include "ServicePipeWin.h"

#include <windows.h>

namespace corvel::cli {

uint32_t CWin32CommandHost::OpenServicePipe(std::unique_ptr<CServicePipe>& pipe) {
    return OpenConsoleServicePipe(pipe);
}

uint32_t CWin32CommandHost::OpenGuiMutex() {
    return OpenTrayProgramMutex();
}

DialogEnd CWin32CommandHost::RunCredentialsDialog(CredentialsDialogData& data) {
    return ShowCredentialsDialog(data);
}

ConnectingDialogResult CWin32CommandHost::RunConnectingDialog(const ConnectingDialogData& data) {
    return ShowConnectingDialog(data, *this);
}

void CWin32CommandHost::Sleep(uint32_t milliseconds) {
    ::Sleep(milliseconds);
}

uint64_t CWin32CommandHost::NowMs() {
    return ::GetTickCount64();
}

} // namespace corvel::cli
