#pragma once
// The start-up wait: probes the service once a second for at most five minutes while the
// main frame's first probe has found no service.
#include "Dialog.h"
#include "MainFrameServices.h"

namespace corvel {

class CDlgVpnInit : public CDialog {
public:
    // One liveness probe of the service: true when it answered, whatever its ResultCode.
    // A probe that runs out of time is no answer.
    using ServiceProbe = bool (*)();

    static constexpr UINT_PTR kProbeTimer = 2;
    static constexpr UINT kProbePeriodMs = 1000;
    static constexpr UINT_PTR kGiveUpTimer = 3;
    static constexpr UINT kGiveUpMs = 300000;

    // `flags` belong to the main frame and outlive the dialog. Without `probe`, the pipe
    // client's own probe of the command pipe.
    explicit CDlgVpnInit(CStartupWaitFlags& flags, ServiceProbe probe = nullptr, CWnd* parent = nullptr);

protected:
    BOOL PreTranslateMessage(MSG* msg) override;
    BOOL OnInitDialog() override;
    // Only a probe, the give-up timer or a close decides the outcome: IDOK would end the
    // dialog with all three flags 0, which the frame takes for a ready service.
    void OnOK() override;
    void OnCancel() override;
    // The probe's tick and the give-up.
    void OnTimer(UINT_PTR id) override;

private:
    void StopTimers();

    CStartupWaitFlags& m_flags;
    ServiceProbe m_probe;
};

} // namespace corvel
