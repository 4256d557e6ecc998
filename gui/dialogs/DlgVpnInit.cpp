#include "DlgVpnInit.h"

#include "DialogResource.h"

#include "LanguageFile.h"
#include "PipeService.h"
#include "UiTextWin.h"

namespace corvel {

namespace {

// Open, write the probe request, read a reply of at most 64 bytes, close; each step bounded,
// so a service that accepts and never answers cannot hold the UI thread.
bool ProbeServiceOnce() {
    return ProbeService();
}

} // namespace

CDlgVpnInit::CDlgVpnInit(CStartupWaitFlags& flags, ServiceProbe probe, CWnd* parent)
    : CDialog(IDD_VPN_INIT, parent), m_flags(flags), m_probe(probe ? probe : &ProbeServiceOnce) {}

BOOL CDlgVpnInit::PreTranslateMessage(MSG* msg) {
    if (msg->message == WM_KEYDOWN && (msg->wParam == VK_RETURN || msg->wParam == VK_ESCAPE))
        return TRUE;
    return CDialog::PreTranslateMessage(msg);
}

BOOL CDlgVpnInit::OnInitDialog() {
    CDialog::OnInitDialog();
    LoadDialogTexts(m_hWnd, GetMainFrameServices().GetLanguagePath(), sections::StartupWaitDialog.Name, true,
                    {IDC_INIT_MESSAGE});
    SetTimer(kProbeTimer, kProbePeriodMs);
    SetTimer(kGiveUpTimer, kGiveUpMs);
    return TRUE;
}

void CDlgVpnInit::OnTimer(UINT_PTR id) {
    const bool decided = m_flags.ServiceReady == 1 || m_flags.ServiceTimedOut == 1;
    switch (id) {
    case kProbeTimer:
        // A tick already queued when the outcome was decided changes nothing.
        if (decided)
            return;
        // Synchronous on the UI thread: the dialog does not repaint while a probe waits.
        if (!m_probe())
            return;
        StopTimers();
        m_flags.ServiceReady = 1;
        m_flags.ServiceTimedOut = 0;
        PostMessage(WM_CLOSE);
        return;
    case kGiveUpTimer:
        if (decided)
            return;
        StopTimers();
        m_flags.ServiceReady = 0;
        m_flags.ServiceTimedOut = 1;
        PostMessage(WM_CLOSE);
        return;
    default:
        CDialog::OnTimer(id);
        return;
    }
}

void CDlgVpnInit::StopTimers() {
    KillTimer(kProbeTimer);
    KillTimer(kGiveUpTimer);
}

void CDlgVpnInit::OnOK() {}

void CDlgVpnInit::OnCancel() {
    // Every close ends here (WM_CLOSE becomes the Cancel command).
    if (m_flags.ServiceReady == 1 || m_flags.ServiceTimedOut == 1) {
        m_flags.StartupCancelled = 0;
    } else {
        StopTimers();
        m_flags.StartupCancelled = 1;
    }
    CDialog::OnCancel();
}

} // namespace corvel
