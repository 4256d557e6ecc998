#pragma once
// The private window messages of the two GUI pipes (WM_USER + n), for the message tables of
// the windows that post requests and follow notifications. No windows.h here, so the portable
// notification mapping uses the same numbers.
namespace corvel {

// Thread message to a CPipeThread: wParam the requesting window, lParam the ServiceRequestBuilder.
constexpr unsigned int WM_PIPE_REQUEST = 1064; // WM_USER + 40
// Sent (SendMessageW) by a CPipeThread to the requesting window: wParam the reply's DataLength,
// lParam the whole reply frame (4 + DataLength bytes, valid only during the call); (0, 0) on failure.
// Read with ReadPipeReply (PipeReply.h). The pipe is closed by then, but the thread, and every
// request queued behind this one, waits until the handler returns: so no handler shows a box or
// runs any other modal loop inside it. It posts to itself what it will show, as every window
// of the tray program does.
constexpr unsigned int WM_PIPE_REPLY = 1065; // WM_USER + 41

// Posted by the notification thread to the notification target: wParam VpnIndex, lParam QuitGui.
constexpr unsigned int WM_VPN_STATE0 = 1054; // WM_USER + 30, disconnected
constexpr unsigned int WM_VPN_STATE1 = 1055; // WM_USER + 31, connected
constexpr unsigned int WM_VPN_STATE2 = 1056; // WM_USER + 32, connecting
// Posted by the notification thread to the notification target: wParam RasError, lParam 0.
constexpr unsigned int WM_VPN_ERROR = 1076; // WM_USER + 52

} // namespace corvel
