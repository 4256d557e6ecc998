#pragma once
// What connecting from the settings dialog decides without a window: the connection page's
// press of its button, the connecting dialog's answer to each notification and reply, and the
// frames the two dialogs and the page send. Each frame is built when its request is posted and
// travels with it, so the pipe thread reads nothing of a dialog that may be gone by then.
#include "Requests.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace corvel {

// Shared texts of the press and the connecting dialog.
inline constexpr unsigned kTextConnectFailed = 205;    // "VPN接続が失敗しました。..."
inline constexpr unsigned kTextConnectSucceeded = 206; // "接続に成功しました。"
inline constexpr unsigned kTextConnecting = 207;     // "次の接続先へのVPN接続をしています。"
inline constexpr unsigned kTextConnectCaption = 208; // "VPN接続の状態"
inline constexpr unsigned kTextSaveBeforeConnect = 209;
inline constexpr unsigned kTextPressKeyMismatch = 212;
inline constexpr unsigned kTextDisconnectFailedBox = 215;
inline constexpr unsigned kTextNoServer = 219;

// ---- the connection page's press of button 1076 ----

// What the press asks of the page and the settings dialog, in the order the decision needs
// it; a question the decision does not reach is never asked (no box, no save).
class CPressQuestions {
public:
    virtual ~CPressQuestions() = default;
    // The question 209 (Yes / No); true for Yes.
    virtual bool AskSaveFirst() = 0;
    // SaveAllSettings: true when the save requests were posted. False when anything stopped it
    // (a key that differs from its re-entry, a stored host name too long for its edit, ...):
    // the dialog has told the user, and nothing was saved.
    virtual bool SaveAll() = 0;
    virtual bool EveryKeyConfirmed() = 0;
    virtual bool HasServer() = 0;
};

enum class PressAction {
    Disconnect, // run the disconnecting dialog for the connection up
    Connect,    // post WM_START_CONNECT: the connecting dialog runs next
    Stop,       // nothing started (after the box of BoxTextId, when not 0)
};

struct CPressDecision {
    PressAction Action = PressAction::Stop;
    unsigned BoxTextId = 0; // Stop: 212 or 219 in an OK box first; 0 none
    // The press's hold on the settings dialog (BusyFlag::ConnectPress) ends with this decision. A
    // disconnect or a connect keeps it until the dialog it runs has ended.
    bool ReleaseHold = true;
    // Connect: only once the save batch the press posted has ended with every item answered 0
    // (a refused batch shows its box and connects nothing), so that no attempt dials a record
    // the service did not take.
    bool AfterSave = false;
};

// `up`: the page shows a connection up; `modified`: the settings dialog has unsaved edits.
CPressDecision DecideConnectPress(bool up, bool modified, CPressQuestions& questions);

// After the disconnecting dialog: the selected connection is connected next when it is not
// the one that was up (the hold stays for it); otherwise the press ends.
inline bool ConnectAfterDisconnect(int selectedIndex, int activeIndex) {
    return selectedIndex != activeIndex;
}

// Whether the press's connecting dialog runs now (WM_START_CONNECT, or the end of the save it
// waited for). Not when a Quit waits for the press to end: no connect is sent after a quit;
// nor when a connection has come up meanwhile (a notification under a box): one at a time.
inline bool StartConnectNow(bool connectionUp, bool quitPending) {
    return !connectionUp && !quitPending;
}

// What the page does once the connecting dialog has ended, in the order of the fields.
struct CConnectingEnd {
    bool Abort = false;    // CMD_DISCONNECT for the attempt; the page shows it down
    bool MarkDown = false; // the page, the settings dialog and the frame show every connection
                           // down before the Quit: the service ended it when it asked the GUI
                           // to quit, also during the success pause
    bool PostQuit = false; // the frame's Quit, once the press has ended
};
CConnectingEnd DecideConnectingEnd(bool cancelled, bool quitRequested);

// ---- the connecting dialog ----

// ConnectState
inline constexpr uint8_t kConnectStateFailed = 0;
inline constexpr uint8_t kConnectStateConnected = 1;
inline constexpr uint8_t kConnectStateConnecting = 2;

enum class ConnectingEvent {
    Progress,       // WM_VPN_STATE2
    Connected,      // WM_VPN_STATE1
    Down,           // WM_VPN_STATE0 with QuitGui 0
    QuitNotice,     // WM_VPN_STATE0 with QuitGui nonzero
    RasError,       // WM_VPN_ERROR
    ConnectRefused, // the reply 0x81 with a nonzero ResultCode
    Cancel,         // IDCANCEL: the user, Esc, the close box, or any WM_CLOSE
};

// What the dialog does, in the order of the fields.
struct CConnectingStep {
    bool AdvanceProgress = false;      // ProgressPosition + 2 onto the bar
    bool ShowSuccess = false;          // hide name, bar and Cancel; 206; WM_SET_TRAY_ICON(1) to the page;
                                       // WM_CLOSE after a one-shot 3-second timer
    bool CloseCaptionedWindow = false; // post WM_CLOSE to the active window titled 208
    bool EndModalChild = false;        // end the credentials dialog or RAS-error box it runs
    bool SetQuitRequested = false;
    bool ShowFailureBox = false;  // 205 / 208, error icon, Cancel disabled around it
    bool ShowRasErrorBox = false; // the RAS-error box for the code
    bool Close = false;           // post WM_CLOSE to itself (after the box, when there is one)
    bool End = false;             // Cancel: the dialog ends now
    bool SetCancelled = false;    // Cancelled = 1 (with End)
    uint8_t NextState = kConnectStateConnecting;
};

CConnectingStep DecideConnectingStep(uint8_t connectState, ConnectingEvent event);

// A reply (`dataLength` and `frame` as WM_PIPE_REPLY carries them) that answers `commandId`
// with a nonzero ResultCode. No reply at all, a success and a frame that is not the answer are
// no refusal: the connecting dialog then waits for the notifications, and the page, after the
// disconnect of an aborted attempt, says nothing.
bool IsRefusedReply(uint8_t commandId, uint32_t dataLength, const uint8_t* frame);

// What the credentials dialog makes of the reply to its item-25 save.
enum class CredentialsSaveOutcome {
    Saved,   // 0x91 with ResultCode 0: the dialog ends with IDOK
    Refused, // 0x91 with a nonzero ResultCode: the dialog ends with IDCANCEL, no box
    Ignored, // no reply, or not the save's: the dialog waits on (Cancel still ends it)
};
CredentialsSaveOutcome ClassifyCredentialsSaveReply(uint32_t dataLength, const uint8_t* frame);

// The 270-byte CMD_SAVE_CONFIG of item 25: an AUTHINFO built fresh (every unit after a string's
// terminator zero) from the index and the two texts, cut to 64 characters each.
RequestFrame BuildCredentialsSaveFrame(uint8_t vpnIndex, std::wstring_view userName,
                                       std::wstring_view password);

// The CMD_CONNECT of the tray program: ShowGui 1, each string without its terminator.
RequestFrame BuildConnectFrame(uint8_t vpnIndex, std::wstring_view userName, std::wstring_view password);

// The credentials dialog's save box opens ticked when the connection has stored credentials.
inline int InitialSaveCredentials(std::wstring_view userName, std::wstring_view password) {
    return userName.empty() && password.empty() ? 0 : 1;
}

} // namespace corvel
