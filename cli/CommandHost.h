#pragma once
// What the commands need from the program that runs them and cannot do portably: the open of
// the service's pipe, the tray program's mutex, the two dialogs, sleeping and the clock. The console
// program implements it over Win32; the tests fake it.
#include "ServiceRequests.h"

#include <cstdint>
#include <memory>
#include <string>

namespace corvel::cli {

// How a modal dialog ended: OK, Cancel (also its close box), or it could not be created.
enum class DialogEnd { Ok, Cancel, NotCreated };

// The credentials dialog: shown with these, and after OK holding what the user entered.
struct CredentialsDialogData {
    std::u16string Name; // the connection's name, fitted and escaped by the dialog
    std::u16string UserName;
    std::u16string Password;
    bool SaveCredentials = true; // the check box: store them before the connect
    std::wstring LanguagePath;
};

struct ConnectingDialogData {
    std::u16string Name;
    uint8_t VpnIndex = 0;
    std::wstring LanguagePath;
};

struct ConnectingDialogResult {
    DialogEnd End = DialogEnd::NotCreated;
    uint32_t CloseCode = 0; // with Cancel: the code the dialog closed itself with; 0 = the user
};

class CCommandHost {
public:
    virtual ~CCommandHost() = default;

    // One connection of the command pipe through the shared open and its policy
    // (waits for a missing or busy pipe). 0 with `pipe` set, or the open's error.
    virtual uint32_t OpenServicePipe(std::unique_ptr<CServicePipe>& pipe) = 0;
    // OpenMutexW of the tray program's mutex: 0 when it opened (the handle is closed at once),
    // else the error (2 when it does not exist).
    virtual uint32_t OpenGuiMutex() = 0;
    // Modal, without a parent. On Ok `data` holds the user's entries.
    virtual DialogEnd RunCredentialsDialog(CredentialsDialogData& data) = 0;
    // Modal, without a parent; its ticks are CConnectingTicks over this host.
    virtual ConnectingDialogResult RunConnectingDialog(const ConnectingDialogData& data) = 0;
    virtual void Sleep(uint32_t milliseconds) = 0;
    // A monotonic clock in milliseconds; only differences between two readings mean anything.
    virtual uint64_t NowMs() = 0;
};

// One request on a connection of its own: open, `request(pipe)`, close. The open's error, or
// the request's result.
template <typename Request> uint32_t WithServicePipe(CCommandHost& host, Request&& request) {
    std::unique_ptr<CServicePipe> pipe;
    if (uint32_t rc = host.OpenServicePipe(pipe))
        return rc;
    if (!pipe)
        return ResultCode::InternalError;
    return request(*pipe);
}

} // namespace corvel::cli
