#include "SettingsClose.h"

namespace corvel {

CCloseStep CSettingsCloseLogic::CloseNow() {
    CCloseStep step;
    step.ClearSettingsOpen = true;
    step.ClearBusy = true;
    if (m_state == kCloseStateQuitting) {
        m_state = kCloseStateClosing;
        step.PostQuitRequest = true;
    }
    step.Destroy = true;
    return step;
}

CCloseStep CSettingsCloseLogic::OnClose(bool modified) {
    if (m_state == kCloseStateOpen) {
        m_state = kCloseStateClosing;
        if (modified) {
            m_quitAsking = false;
            CCloseStep step;
            step.SetBusy = true;
            step.AskSave = true;
            return step;
        }
    }
    CCloseStep step = CloseNow();
    step.SetBusy = true;
    return step;
}

CCloseStep CSettingsCloseLogic::OnQuit(bool modified) {
    m_state = kCloseStateQuitting;
    CCloseStep step;
    step.SetBusy = true;
    if (modified) {
        m_quitAsking = true;
        step.AskSave = true;
        return step;
    }
    step.ClearBusy = true;
    step.PostQuitRequest = true;
    m_state = kCloseStateClosing;
    return step;
}

CCloseStep CSettingsCloseLogic::OnAnswer(bool yes) {
    if (yes) {
        CCloseStep step;
        step.StartSave = true;
        return step;
    }
    if (!m_quitAsking)
        return CloseNow();
    CCloseStep step;
    step.ClearBusy = true;
    step.PostQuitRequest = true;
    m_state = kCloseStateClosing;
    return step;
}

CCloseStep CSettingsCloseLogic::OnSaveStarted(bool posted) {
    CCloseStep step;
    if (posted)
        return step; // the end of the batch decides (DecideSaveEnd)
    m_state = kCloseStateOpen;
    step.ClearBusy = true;
    return step;
}

CSaveEndStep DecideSaveEnd(int closeState, bool allSaved) {
    CSaveEndStep step;
    if (closeState == kCloseStateOpen)
        return step;
    if (allSaved)
        step.PostClose = true;
    else
        step.ResetCloseState = true;
    return step;
}

} // namespace corvel
