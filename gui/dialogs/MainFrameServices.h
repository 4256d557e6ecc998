#pragma once

#include <windows.h>

#include <string>

namespace corvel {

// What the dialogs need of the main frame; one instance, registered by the frame.
class CMainFrameServices {
public:
    virtual ~CMainFrameServices() = default;
    virtual const std::wstring& GetUiText(unsigned id) const = 0; // the shared UiText table (128, 200..228)
    virtual const std::wstring& GetLanguagePath() const = 0;      // "language.csv" next to the program
    virtual void SetBusyFlag(unsigned flag, bool busy) = 0;       // WM_BUSY_FLAGS, if a dialog needs it
};

CMainFrameServices* GetMainFrameServices(); // null until registered
void SetMainFrameServices(CMainFrameServices*);

// The three outcome flags of the start-up wait, written by CDlgVpnInit, read by the frame.
struct CStartupWaitFlags {
    DWORD ServiceReady = 0;
    DWORD ServiceTimedOut = 0;
    DWORD StartupCancelled = 0;
};

} // namespace corvel
