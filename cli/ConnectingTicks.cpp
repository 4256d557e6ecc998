#include "ConnectingTicks.h"

#include "ExitCodes.h"

namespace corvel::cli {

TickOutcome CConnectingTicks::Tick(CCommandHost& host) {
    std::unique_ptr<CServicePipe> pipe;
    if (uint32_t rc = host.OpenServicePipe(pipe))
        return Outcome(TickAction::Close, rc); // not a counted tick
    if (!pipe)
        return Outcome(TickAction::Close, ExitCode::InternalError);
    uint8_t state = ConnectStatus::Disconnected;
    const uint32_t queryResult = QueryVpnState(*pipe, m_vpnIndex, state);
    pipe.reset(); // closed before the RAS-error query opens its own
    const TickOutcome outcome = Decide(queryResult, state, host);
    ++m_tickCount;
    return outcome;
}

TickOutcome CConnectingTicks::Decide(uint32_t queryResult, uint8_t state, CCommandHost& host) {
    if (queryResult != 0)
        return Outcome(TickAction::Close, queryResult);
    if (state == ConnectStatus::Connected)
        return Outcome(TickAction::Connected);
    if (state == ConnectStatus::Connecting) {
        m_progress += kProgressStep;
        if (m_progress >= kProgressMax)
            return Outcome(TickAction::Close, ExitCode::WaitTimeout);
        return Outcome(TickAction::Rearm);
    }
    // State 0, or a value outside 0 to 2, which would otherwise leave the dialog idle for ever.
    uint32_t rasError = 0;
    if (uint32_t rc =
            WithServicePipe(host, [&](CServicePipe& rasPipe) { return QueryRasErr(rasPipe, rasError); }))
        return Outcome(TickAction::Close, rc);
    if (rasError != 0)
        return Outcome(TickAction::Close, rasError);
    if (m_tickCount >= kGraceTicks) {
        m_tickCount = 0;
        return Outcome(TickAction::Close, ExitCode::AccessDenied);
    }
    return Outcome(TickAction::Rearm);
}

} // namespace corvel::cli
