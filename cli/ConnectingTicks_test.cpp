#include "ConnectingTicks.h"

#include "FakeCommandHost.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace corvel::cli {
namespace {

using test::CFakeCommandHost;

// "R" rearm, "C" connected, a number: closed with it; the bar's position after each tick.
struct Ticks {
    std::vector<std::string> Actions;
    std::vector<int> Progress;
};

// Ticks until the dialog would end, or `limit` ticks.
Ticks RunTicks(CFakeCommandHost& host, CConnectingTicks& ticks, size_t limit = 200) {
    Ticks out;
    for (size_t i = 0; i < limit; ++i) {
        const TickOutcome o = ticks.Tick(host);
        out.Progress.push_back(o.Progress);
        switch (o.Action) {
        case TickAction::Rearm:
            out.Actions.push_back("R");
            continue;
        case TickAction::Connected:
            out.Actions.push_back("C");
            break;
        case TickAction::Close:
            out.Actions.push_back(std::to_string(o.CloseCode));
            break;
        }
        break;
    }
    return out;
}

std::vector<std::string> Rearms(size_t n, const std::string& last) {
    std::vector<std::string> v(n, "R");
    v.push_back(last);
    return v;
}

TEST(CConnectingTicks, TickDecisions) {
    struct Case {
        const char* Name;
        std::vector<uint8_t> States; // connection 6's state per tick, the last repeating
        uint32_t RasError;
        std::vector<std::string> Expected;
        int FinalProgress;
    };
    const Case cases[] = {
        {"connected at once", {1}, 0, {"C"}, 0},
        {"connecting, then connected", {2, 2, 2, 1}, 0, Rearms(3, "C"), 6},
        {"connecting throughout: 258 with the bar full on the 50th tick", {2}, 0, Rearms(49, "258"), 100},
        {"down without a RAS error: grace for seven ticks, 5 on the eighth", {0}, 0, Rearms(7, "5"), 0},
        {"down on ticks 1 to 7, then connecting", {0, 0, 0, 0, 0, 0, 0, 2, 1}, 0, Rearms(8, "C"), 2},
        {"the grace counts every tick, connecting ones too", {2, 2, 2, 2, 2, 0}, 0, Rearms(7, "5"), 10},
        {"down after the grace: 5 at once", {2, 2, 2, 2, 2, 2, 2, 2, 2, 0}, 0, Rearms(9, "5"), 18},
        {"a RAS error on the first tick", {0}, 691, {"691"}, 0},
        {"a RAS error after connecting", {2, 2, 0}, 720, Rearms(2, "720"), 4},
        {"a state outside 0 to 2 counts as 0", {3}, 0, Rearms(7, "5"), 0},
        {"a state outside 0 to 2 with a RAS error", {0xFF}, 691, {"691"}, 0},
    };
    for (const Case& c : cases) {
        CFakeCommandHost host;
        host.ScriptStates(6, c.States);
        host.RasError = c.RasError;
        CConnectingTicks ticks(6);
        const Ticks t = RunTicks(host, ticks);
        EXPECT_EQ(t.Actions, c.Expected) << c.Name;
        EXPECT_EQ(t.Progress.back(), c.FinalProgress) << c.Name;
        EXPECT_EQ(ticks.Progress(), c.FinalProgress) << c.Name;
        EXPECT_EQ(host.OpenPipes, 0) << c.Name;
        EXPECT_EQ(host.MaxOpenPipes, 1)
            << c.Name << ": the status connection closes before the RAS one opens";
    }
}

TEST(CConnectingTicks, TheBarStepsByTwoOnConnectingTicksOnly) {
    CFakeCommandHost host;
    host.ScriptStates(0, {2, 0, 2, 0, 2});
    CConnectingTicks ticks(0);
    const Ticks t = RunTicks(host, ticks, 5);
    EXPECT_THAT(t.Progress, testing::ElementsAre(2, 2, 4, 4, 6));
    EXPECT_THAT(host.Log,
                testing::ElementsAre("status", "status", "raserr", "status", "status", "raserr", "status"));
    EXPECT_EQ(ticks.TickCount(), 5);
}

TEST(CConnectingTicks, FailuresCloseWithTheirError) {
    struct Case {
        const char* Name;
        std::function<void(CFakeCommandHost&)> Script;
        uint32_t Expected;
        int TickCount; // after the tick
    };
    const Case cases[] = {
        {"no pipe: not a counted tick", [](CFakeCommandHost& h) { h.OpenErrors[1] = 2; }, 2, 0},
        {"the status refused", [](CFakeCommandHost& h) { h.StatusResult = 1359; }, 1359, 1},
        {"a status reply of the wrong size", [](CFakeCommandHost& h) { h.RawReplies[0x31] = {0xB1}; }, 24, 1},
        {"the status pipe breaks", [](CFakeCommandHost& h) { h.TransferErrors[0x31] = 109; }, 109, 1},
        {"no pipe for the RAS error", [](CFakeCommandHost& h) { h.OpenErrors[2] = 231; }, 231, 1},
        {"the RAS-error query refused", [](CFakeCommandHost& h) { h.RasErrResult = 11; }, 11, 1},
        {"a RAS-error reply with another head",
         [](CFakeCommandHost& h) { h.RawReplies[0x32] = {0xB2, 0, 0, 9, 0, 0, 0, 0, 0, 0, 0, 0}; }, 11, 1},
    };
    for (const Case& c : cases) {
        CFakeCommandHost host;
        c.Script(host);
        CConnectingTicks ticks(0);
        const TickOutcome o = ticks.Tick(host);
        EXPECT_EQ(o.Action, TickAction::Close) << c.Name;
        EXPECT_EQ(o.CloseCode, c.Expected) << c.Name;
        EXPECT_EQ(ticks.TickCount(), c.TickCount) << c.Name;
        EXPECT_EQ(host.OpenPipes, 0) << c.Name;
    }
}

} // namespace
} // namespace corvel::cli
