#pragma once
// What the dialogs and pages may ask of the main frame: the one way from a window to it. The
// frame registers itself; a test registers a double of its own (testdoubles/fakeframe). All of
// it is called on the UI thread.
#include "Records.h"

#include <windows.h>

#include <cstdint>
#include <string>

namespace corvel {

// The frame's busy flags (WM_BUSY_FLAGS wParam). While one is set, Quit neither quits nor
// closes the window that set it.
enum class BusyFlag : unsigned {
    // The settings dialog's own operations: a save batch until its last reply, an import or
    // export, a close.
    Settings = 0,
    // The connection page's press of its button, until the windows it ran have ended. Quit
    // spares the settings dialog while either of these two is set.
    ConnectPress = 1,
    VersionBox = 2, // the version box while it closes
};

// The frame's copy of the 20 settings, read-only; the settings dialog alone edits them, through
// the records the frame hands it when it opens it.
class CConfigRecordsView {
public:
    CConfigRecordsView() = default;
    explicit CConfigRecordsView(const uint8_t* bytes) : m_bytes(bytes) {}

    // kVpnCount records of VPNCONFIG::kSize bytes each; null when there are none.
    const uint8_t* Bytes() const { return m_bytes; }
    // Record `vpnIndex` (0 to 19), copied; an empty record for any other index.
    VPNCONFIG Record(unsigned vpnIndex) const;

private:
    const uint8_t* m_bytes = nullptr;
};

using ConnectStatusArray = uint8_t[kVpnCount]; // ConnectStatus of each connection

class CMainFrameServices {
public:
    virtual ~CMainFrameServices() = default;

    // The shared UiText table (128, 200 to 228) and "language.csv" next to the program.
    virtual const std::wstring& GetUiText(unsigned id) const = 0;
    virtual const std::wstring& GetLanguagePath() const = 0;

    virtual CConfigRecordsView GetConfigRecords() const = 0;
    virtual const ConnectStatusArray& GetConnectStates() const = 0;
    // Reloads record `vpnIndex` from the service through the frame's request thread.
    virtual void RequestRecord(uint8_t vpnIndex) = 0;

    // The window that the notification server posts to from now on; returns the previous one,
    // so that a window that took the target can give it back.
    virtual HWND SetNotificationWindow(HWND window) = 0;

    // The tray icon and the frame's states follow a connection that went up or down (sent:
    // done when it returns). Down marks every connection not connected.
    virtual void SetTrayIcon(bool connected, uint8_t vpnIndex) = 0;
    // Runs the frame's Quit once the caller's handler has returned (posted).
    virtual void PostQuitRequest() = 0;
    // A Quit that the connection page's press kept from running waits for the press to end;
    // the press connects nothing after it.
    virtual bool IsQuitPending() const = 0;

    // A busy flag, sent (in effect when this returns) or posted (in effect once the frame's
    // queue reaches it, after what was posted to it before).
    virtual void SetBusyFlag(BusyFlag flag, bool busy) = 0;
    virtual void PostBusyFlag(BusyFlag flag, bool busy) = 0;

    // The two modeless windows of the frame tell it from their PostNcDestroy that they are
    // gone, whichever way they went (SettingsOpen, AboutOpen).
    virtual void ClearSettingsOpen() = 0;
    virtual void ClearAboutOpen() = 0;

    // The command line named a connection ("vpn"); the setting pages and the settings dialog
    // clear it.
    virtual bool GetLaunchedWithVpn() const = 0;
    virtual void ClearLaunchedWithVpn() = 0;
};

// The registered frame; while none is (a dialog on its own, as in a test or a screenshot), a
// stand-in with the built-in texts, no "language.csv", empty records, no connection, and
// requests, flags and targets that go nowhere.
CMainFrameServices& GetMainFrameServices();
// nullptr goes back to the stand-in.
void SetMainFrameServices(CMainFrameServices* services);

// The three outcome flags of the start-up wait, written by CDlgVpnInit, read by the frame.
struct CStartupWaitFlags {
    DWORD ServiceReady = 0;
    DWORD ServiceTimedOut = 0;
    DWORD StartupCancelled = 0;
};

} // namespace corvel
