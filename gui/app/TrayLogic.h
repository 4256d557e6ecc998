#pragma once
// The tray program's decisions that need no window: what the command line asks for, how a
// start-up ends, which tray icon the connection states show, what Quit does, and what the
// replies to the frame's requests mean. Plain C++, tested natively as well.
#include "resource.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

namespace corvel {

inline constexpr unsigned kConnectionCount = 20;
inline constexpr unsigned kBusyFlagCount = 3;
// The indices of the frame's busy flags (BusyFlag, which the windows use).
inline constexpr unsigned kBusyFlagSettings = 0;   // BusyFlag::Settings
inline constexpr unsigned kBusyFlagPress = 1;      // BusyFlag::ConnectPress
inline constexpr unsigned kBusyFlagVersionBox = 2; // BusyFlag::VersionBox

// Shared texts the frame itself shows.
inline constexpr unsigned kTextLoadFailed = 213;
inline constexpr unsigned kTextQuitQuestion = 216;
inline constexpr unsigned kTextStartupFailedRestart = 227;
inline constexpr unsigned kTextStartupFailedReinstall = 228;

// What the command line asks of the start-up.
struct CCommandLineOptions {
    bool LaunchedWithVpn = false;        // "vpn" occurs
    bool OpenSettingsWhenLoaded = false; // open the settings dialog after the 20th record
    bool AutoConnectPending = false;     // a connection is named and shown as connecting
    uint8_t AutoConnectIndex = 0;        // its VpnIndex
};

// `arguments` is the command line after the program's name (what wWinMain receives), so the
// program's folder never takes part. Case-sensitive substring searches; "vpn%d" from 20 down,
// so that the longest number wins ("vpn12" before "vpn1").
CCommandLineOptions AnalyzeCommandLine(std::wstring_view arguments);

enum class StartupAction {
    Continue,           // tray icon, requests; count 0 stored
    CloseSilently,      // no message; count unchanged
    ShowFailureAndClose // message TextId, then CountToStore stored
};

struct CStartupOutcome {
    StartupAction Action = StartupAction::Continue;
    unsigned TextId = 0;  // 227 or 228 for ShowFailureAndClose
    int CountToStore = 0; // Continue: 0; ShowFailureAndClose: the new count
};

// `probeAnswered`: the first probe; the three flags: how the wait dialog ended (only read
// when the probe did not answer). A wait that ended with none of the flags set (the dialog
// closed some other way) is not taken as a ready service: the program closes silently.
CStartupOutcome DecideStartupOutcome(bool probeAnswered, bool serviceReady, bool serviceTimedOut,
                                     bool startupCancelled, int failureCount);

// StartupFailureCount from the first line of "prmfile.bin": leading white space, a sign and
// decimal digits up to the first other character; no digits give 0; saturates at the int range.
int ParseStartupFailureCount(std::string_view firstLine);
// The stored text of a count: "0" to "3", "0" for any other value.
std::string StartupFailureText(int count);
// The file's new content: its first line (without its line end) replaced by `text`, the line
// end and everything after it kept. Replacing the whole line keeps a "12" from becoming "02".
std::string ReplaceFirstLine(std::string_view content, std::string_view text);
// The first line of a file's content, without its line end.
std::string_view FirstLine(std::string_view content);

// IDI_CONNECTED (130) when a connection is in state 1, else IDI_DISCONNECTED (145). A byte
// outside 0 to 2 is set to 0 and the scan goes on, so it never hides a later connected one.
unsigned ChooseTrayIcon(uint8_t (&states)[kConnectionCount]);

// The last connection in state 1 or 2, or -1 (the active one the settings dialog shows).
int FindLastActiveConnection(const uint8_t (&states)[kConnectionCount]);

enum class QuitStep {
    CloseDialogsOnly,  // a window is busy: close the others, keep running
    CloseAndEnd,       // nothing connected: close the dialogs, then the program
    AskThenDisconnect, // ask 216; OK disconnects VpnIndex, then as CloseAndEnd
};

struct CQuitDecision {
    QuitStep Step = QuitStep::CloseAndEnd;
    uint8_t VpnIndex = 0;
    // CloseDialogsOnly under the connection page's press (BusyFlag::ConnectPress): the Quit is kept and
    // run once the press, and what it started (a save batch), has ended; the press connects
    // nothing after it.
    bool HoldUntilPressEnds = false;
};

// Only a connected connection (state 1) asks; a connecting one (2) does not.
CQuitDecision DecideQuit(const uint32_t (&busyFlags)[kBusyFlagCount],
                         const uint8_t (&states)[kConnectionCount]);

// The Quit that a press kept from running (a QuitGui notification or the tray menu while the
// page asks, saves, or runs its dialogs): without it the request would be lost.
class CHeldQuit {
public:
    void OnQuit(const CQuitDecision& decision) { m_held = m_held || decision.HoldUntilPressEnds; }
    // After a busy flag changed: true once, when a held Quit finds no flag set any more (the
    // press has ended, and a save it left in flight too) and is to run now.
    bool OnBusyFlags(const uint32_t (&busyFlags)[kBusyFlagCount]) {
        if (!m_held)
            return false;
        for (uint32_t busy : busyFlags) {
            if (busy)
                return false;
        }
        m_held = false;
        return true;
    }
    bool Held() const { return m_held; }

private:
    bool m_held = false;
};

// Which of the frame's two windows Quit may close. The settings dialog is held by
// BusyFlag::Settings (its own operations: a save batch until its last reply, an import or
// export, a close) and by BusyFlag::ConnectPress (the connection page's press, until the dialogs
// it ran have ended): a save that the press started may end, and clear BusyFlag::Settings, while
// the press's dialogs are still open. The version box is held by BusyFlag::VersionBox while it
// closes.
struct CClosableWindows {
    bool SettingsDialog = true;
    bool VersionBox = true;
};
CClosableWindows DecideClosableWindows(const uint32_t (&busyFlags)[kBusyFlagCount]);

// The CMD_LOAD_CONFIG reply payload for the record `loadIndex`: 0 (also for an item above 19,
// which is ignored), 24 when shorter than 5 + 1126, 87 for another item or length. On 0 the
// record is copied into `records` (20 x 1126 bytes) and `loadIndex` advances; after the 20th
// it wraps to 0 and `lastStored` is set.
uint32_t StoreConnectionRecordPayload(const uint8_t* payload, uint32_t length, uint8_t* records,
                                      uint8_t& loadIndex, bool& lastStored);

// The CMD_VPN_STATUS reply payload: 24 when shorter than 20 bytes (nothing changes). With an
// auto-connect pending only that connection is marked as connecting.
uint32_t StoreConnectionStatesPayload(const uint8_t* payload, uint32_t length, bool autoConnectPending,
                                      uint8_t autoConnectIndex, uint8_t (&states)[kConnectionCount]);

// What the frame does after one reply to its own requests (the restart check, the states, the
// 20 records). The box is posted: the reply is handled while the pipe thread waits for it.
struct CFrameReplyStep {
    bool ShowFailure = false;  // the load failure box (213)
    bool StatesStored = false; // the tray icon follows the new states; the notification server starts
    bool OpenSettings = false; // the 20th record is in and the settings were asked for
};

// The frame's replies: what each means, and the load of the 20 records they follow.
class CFrameReplies {
public:
    // `records` (20 x 1126 bytes) and `states` are the frame's copies, which the replies fill.
    CFrameReplies(uint8_t* records, uint8_t (&states)[kConnectionCount])
        : m_records(records), m_states(states) {}
    CFrameReplies(const CFrameReplies&) = delete;
    CFrameReplies& operator=(const CFrameReplies&) = delete;

    // `dataLength` and `frame` as WM_PIPE_REPLY carries them. A failed request, a reply
    // without a payload (the restart check's) and a reply to another command change nothing;
    // any other refusal, and a payload the store refuses, show the failure.
    CFrameReplyStep OnReply(uint32_t dataLength, const uint8_t* frame);

    // The record the next CMD_LOAD_CONFIG asks for. Read by its builder on the pipe thread;
    // written on the main thread before the request is posted or while the pipe thread waits
    // in its SendMessageW of the reply.
    std::atomic<uint8_t> LoadIndex{0};
    // Open the settings dialog once the 20th record is in.
    bool OpenSettingsWhenLoaded = false;
    // The connection the command line names: shown as connecting, whatever the states say.
    bool AutoConnectPending = false;
    uint8_t AutoConnectIndex = 0;

private:
    uint8_t* m_records;
    uint8_t (&m_states)[kConnectionCount];
};

} // namespace corvel
