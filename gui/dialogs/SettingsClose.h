#pragma once
// How the settings dialog closes (WM_CLOSE) and quits (menu 32801): whether it asks to save
// the edits, saves first, or goes at once. The dialog keeps the state here and does the steps
// it is told, in the order of CCloseStep's fields.
namespace corvel {

inline constexpr unsigned kTextSaveQuestion = 209; // Yes / No

// CloseState: the dialog is open, closing (a close is under way, or the quit request has
// been posted), or quitting (a quit waits for its save).
inline constexpr int kCloseStateOpen = 0;
inline constexpr int kCloseStateClosing = 1;
inline constexpr int kCloseStateQuitting = 2;

// What the end of the dialog's requests means for a close or quit under way
// (CSettingsCloseLogic::OnRequestsEnded).
enum class SettingsCloseEvent {
    None,
    CloseSaveDone,   // the save batch that a close or quit started: every item saved
    CloseSaveFailed, // that batch: some item failed
    ExportFailed,
};

struct CCloseStep {
    bool Refused = false;   // under the open question: nothing happens (a beep)
    bool SetBusy = false;   // BusyFlag::Settings set (the first step of a close or a quit)
    bool AskSave = false;   // ask 209 with Yes / No, then OnAnswer
    bool StartSave = false; // SaveAllSettings, then OnSaveStarted with whether it posted the batch
    bool ClearSettingsOpen = false;
    bool ClearBusy = false;       // BusyFlag::Settings cleared (see CSettingsRequests::Idle)
    bool PostQuitRequest = false; // WM_QUIT_REQUEST to the main frame
    bool Destroy = false;         // DestroyWindow; CloseRefused from its result
};

class CSettingsCloseLogic {
public:
    explicit CSettingsCloseLogic(int closeState = kCloseStateOpen) : m_state(closeState) {}

    int CloseState() const { return m_state; }
    // The question (209) of a close or quit is open. Nothing closes meanwhile, whatever ends
    // under it: its answer decides.
    bool Asking() const { return m_asking; }

    // WM_CLOSE. Asks only when the dialog was open and has edits; a second WM_CLOSE (after
    // the save a close or quit started) closes without a question, and one that a quit
    // started also posts the quit request. Refused while the question is open.
    CCloseStep OnClose(bool modified);
    // Menu 32801. Without edits (or after No) the quit request goes at once and the dialog
    // stays open until the main frame's Quit closes it. Refused while the question is open.
    CCloseStep OnQuit(bool modified);
    // The answer to 209 of the close or quit under way.
    CCloseStep OnAnswer(bool yes);
    // What the save did: false when nothing was sent (a page refused its values, or an import
    // is under way). A refused save ends the close or quit: the dialog stays open and asks
    // again next time.
    CCloseStep OnSaveStarted(bool posted);
    // The end of the save batch that a close or quit started, or a failed export, as the dialog
    // carries it out (after the box that reports a failure): true when WM_CLOSE is to be posted
    // again. Only a close or quit still under way goes on; a failed batch ends it (the dialog
    // stays open with its edits and asks again next time); under the open question nothing
    // happens.
    bool OnRequestsEnded(SettingsCloseEvent event);
    // An edit in a page. A close or quit that is still under way, or one that the main frame
    // did not carry out (a request in flight keeps the dialog through its Quit), did not cover
    // it: the next close asks again instead of discarding it.
    void OnEdited() { m_state = kCloseStateOpen; }

private:
    CCloseStep CloseNow();

    CCloseStep Ask(bool forQuit);

    int m_state;
    bool m_asking = false;     // the question is open
    bool m_quitAsking = false; // the question belongs to a quit
};

} // namespace corvel
