#pragma once
// The tray program's private window messages (WM_USER + n) that the main frame and the
// settings windows exchange. The pipe messages (1054 to 1056, 1064, 1065, 1076) are in
// PipeMessages.h. No windows.h here, so the portable code uses the same numbers.
namespace corvel {

// From the shell for the tray icon: wParam the icon ID (0), lParam the mouse message.
constexpr unsigned int WM_TRAY_NOTIFY = 1034; // WM_USER + 10
// The frame to itself: close when no dialog stays open.
constexpr unsigned int WM_CLOSE_IF_IDLE = 1037; // WM_USER + 13
// To the frame: wParam the BusyFlag, lParam its new value.
constexpr unsigned int WM_BUSY_FLAGS = 1038; // WM_USER + 14
// Connection-setting page to the settings dialog.
constexpr unsigned int WM_PAGE_MODIFIED = 1044; // WM_USER + 20
// To the frame: wParam tray icon 130 or 145, lParam VpnIndex. To the connection page and the
// settings dialog: wParam 1 connected, 0 not.
constexpr unsigned int WM_SET_TRAY_ICON = 1045; // WM_USER + 21
// Connection page to itself.
constexpr unsigned int WM_START_CONNECT = 1046; // WM_USER + 22
// Settings dialog to the frame: run Quit.
constexpr unsigned int WM_QUIT_REQUEST = 1047; // WM_USER + 23
// The frame to itself: the 20 records are loaded, open the settings dialog.
constexpr unsigned int WM_SETTINGS_LOADED = 1075; // WM_USER + 51

} // namespace corvel
