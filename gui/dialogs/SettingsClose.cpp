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

CCloseStep CSettingsCloseLogic::Ask(bool forQuit) {
    m_asking = true;
    m_quitAsking = forQuit;
    CCloseStep step;
    step.SetBusy = true;
    step.AskSave = true;
    return step;
}

CCloseStep CSettingsCloseLogic::OnClose(bool modified) {
    if (m_asking) {
        CCloseStep step;
        step.Refused = true;
        return step;
    }
    if (m_state == kCloseStateOpen) {
        m_state = kCloseStateClosing;
        if (modified)
            return Ask(false);
    }
    CCloseStep step = CloseNow();
    step.SetBusy = true;
    return step;
}

CCloseStep CSettingsCloseLogic::OnQuit(bool modified) {
    CCloseStep step;
    if (m_asking) {
        step.Refused = true;
        return step;
    }
    m_state = kCloseStateQuitting;
    if (modified)
        return Ask(true);
    step.SetBusy = true;
    step.ClearBusy = true;
    step.PostQuitRequest = true;
    m_state = kCloseStateClosing;
    return step;
}

CCloseStep CSettingsCloseLogic::OnAnswer(bool yes) {
    m_asking = false;
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
        return step; // the end of the batch decides (OnRequestsEnded)
    m_state = kCloseStateOpen;
    step.ClearBusy = true;
    return step;
}

bool CSettingsCloseLogic::OnRequestsEnded(SettingsCloseEvent event) {
    if (event == SettingsCloseEvent::None || m_asking || m_state == kCloseStateOpen)
        return false;
    if (event == SettingsCloseEvent::CloseSaveFailed) {
        m_state = kCloseStateOpen;
        return false;
    }
    return true;
}

} // namespace corvel
