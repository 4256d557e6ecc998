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

struct CCloseStep {
    bool SetBusy = false;   // busy flag 0 set (the first step of a close or a quit)
    bool AskSave = false;   // ask 209 with Yes / No, then OnAnswer
    bool StartSave = false; // SaveAllSettings, then OnSaveStarted with whether it posted the batch
    bool ClearSettingsOpen = false;
    bool ClearBusy = false;       // busy flag 0 cleared (see CSettingsRequests::Idle)
    bool PostQuitRequest = false; // WM_QUIT_REQUEST to the main frame
    bool Destroy = false;         // DestroyWindow; CloseRefused from its result
};

class CSettingsCloseLogic {
public:
    explicit CSettingsCloseLogic(int closeState = kCloseStateOpen) : m_state(closeState) {}

    int CloseState() const { return m_state; }

    // WM_CLOSE. Asks only when the dialog was open and has edits; a second WM_CLOSE (after
    // the save a close or quit started) closes without a question, and one that a quit
    // started also posts the quit request.
    CCloseStep OnClose(bool modified);
    // Menu 32801. Without edits (or after No) the quit request goes at once and the dialog
    // stays open until the main frame's Quit closes it.
    CCloseStep OnQuit(bool modified);
    // The answer to 209 of the close or quit under way.
    CCloseStep OnAnswer(bool yes);
    // What SaveAllSettings did: false when a page refused its values (nothing was sent). A
    // refused save ends the close or quit: the dialog stays open and asks again next time.
    CCloseStep OnSaveStarted(bool posted);
    // The batch that a close or quit started ended with a failure (CSettingsActions::
    // ResetCloseState): the dialog stays open with its edits and asks again next time.
    void OnSaveFailed() { m_state = kCloseStateOpen; }
    // An edit in a page. A close or quit that is still under way, or one that the main frame
    // did not carry out (a request in flight keeps the dialog through its Quit), did not cover
    // it: the next close asks again instead of discarding it.
    void OnEdited() { m_state = kCloseStateOpen; }

private:
    CCloseStep CloseNow();

    int m_state;
    bool m_quitAsking = false; // the pending question belongs to a quit
};

// The end of a save batch, as far as closing goes: all saved while closing or quitting posts
// WM_CLOSE again; a failure while closing or quitting puts CloseState back to open.
struct CSaveEndStep {
    bool PostClose = false;
    bool ResetCloseState = false;
};
CSaveEndStep DecideSaveEnd(int closeState, bool allSaved);

} // namespace corvel
