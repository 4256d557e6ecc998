#pragma once
// The connecting dialog's decision on each tick of its 500 ms timer, without the window: the
// dialog kills its timer, calls Tick, shows Progress, and then re-arms the timer, ends with
// OK, or closes itself with the code (ending through Cancel, the code kept for the caller).
#include "CommandHost.h"

#include <cstdint>

namespace corvel::cli {

enum class TickAction {
    Rearm,     // set the timer again
    Connected, // end with OK
    Close,     // CloseWithResult(CloseCode); the timer stays off
};

struct TickOutcome {
    TickAction Action = TickAction::Rearm;
    uint32_t CloseCode = 0;
    int Progress = 0; // the bar's position after this tick
};

class CConnectingTicks {
public:
    static constexpr unsigned kTimerId = 101;
    static constexpr uint32_t kTickMs = 500;
    static constexpr int kProgressMax = 100; // the bar's range is 0 to 100
    static constexpr int kProgressStep = 2;  // per connecting tick: 50 ticks fill it
    // Ticks whose state 0 without a RAS error is taken as "not dialling yet".
    static constexpr int kGraceTicks = 7;

    explicit CConnectingTicks(uint8_t vpnIndex) : m_vpnIndex(vpnIndex) {}

    // One tick: the connection's state over a connection of its own, and for state 0 (or a
    // value outside 0 to 2, read as 0) the last RAS error over another. A failed open or
    // query closes with its error; state 1 is Connected; state 2 steps the bar and closes with
    // 258 once it is full; state 0 closes with a RAS error at once, and without one with 5
    // from the eighth counted tick on.
    TickOutcome Tick(CCommandHost& host);

    int Progress() const { return m_progress; }
    // Ticks whose first open succeeded.
    int TickCount() const { return m_tickCount; }

private:
    TickOutcome Outcome(TickAction action, uint32_t closeCode = 0) const {
        return {action, closeCode, m_progress};
    }
    TickOutcome Decide(uint32_t queryResult, uint8_t state, CCommandHost& host);

    uint8_t m_vpnIndex;
    int m_progress = 0;
    int m_tickCount = 0;
};

} // namespace corvel::cli
