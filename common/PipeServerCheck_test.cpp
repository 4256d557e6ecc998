// Which pipe servers the clients write to: only the process that the service manager runs as
// the running CORVELSVC.
#include "PipeServerCheck.h"

#include <gtest/gtest.h>

namespace corvel {
namespace {

constexpr uint32_t kStopped = 1, kStartPending = 2, kStopPending = 3, kRunning = 4, kPaused = 7;

struct ServerCase {
    const char* What;
    uint32_t ServerError;
    uint32_t ServerPid;
    ServiceProcessFacts Service;
    uint32_t Expected;
};

TEST(PipeServerCheck, OnlyTheRunningServicesOwnProcessIsTrusted) {
    const ServerCase cases[] = {
        {"the service's own instance", 0, 288, {0, kRunning, 288}, 0},
        {"another process took the name", 0, 400, {0, kRunning, 288}, 5},
        {"service not installed", 0, 400, {1060, 0, 0}, 5},
        {"service manager refused", 0, 400, {5, 0, 0}, 5},
        {"service stopped, its old id", 0, 288, {0, kStopped, 288}, 5},
        {"service stopped", 0, 400, {0, kStopped, 0}, 5},
        {"service still starting", 0, 288, {0, kStartPending, 288}, 5},
        {"service stopping", 0, 288, {0, kStopPending, 288}, 5},
        {"service paused", 0, 288, {0, kPaused, 288}, 5},
        {"running without a process id", 0, 0, {0, kRunning, 0}, 5},
        {"server id unreadable", 1, 288, {0, kRunning, 288}, 5},
        {"server id unreadable, read as 0", 6, 0, {0, kRunning, 0}, 5},
        {"status unreadable, stale ids equal", 0, 288, {1359, kRunning, 288}, 5},
    };
    for (const ServerCase& c : cases)
        EXPECT_EQ(JudgePipeServer(c.ServerError, c.ServerPid, c.Service), c.Expected) << c.What;
}

TEST(PipeServerCheck, AWriterIsJudgedOnAFreshAnswerUnlessAStrangerComesTooSoonAfterOne) {
    const ServiceProcessSeen never;
    const ServiceProcessSeen running{true, {0, kRunning, 288}, 1000};
    const ServiceProcessSeen none{true, {1060, 0, 0}, 1000};
    struct Case {
        const char* What;
        uint32_t ClientError;
        uint32_t ClientPid;
        const ServiceProcessSeen& Seen;
        uint64_t Now;
        bool Asks;
    } cases[] = {
        {"first writer", 0, 288, never, 5, true},
        {"first stranger", 0, 400, never, 5, true},
        {"the service seen, at once", 0, 288, running, 1000, true},
        {"the service seen, later", 0, 288, running, 900000, true},
        {"a stranger right after an answer", 0, 400, running, 1001, false},
        {"a stranger just before it goes stale", 0, 400, running, 1099, false},
        {"a stranger once the answer is stale", 0, 400, running, 1100, true},
        {"a stranger while no service was seen", 0, 400, none, 1050, false},
        {"a new service once that answer is stale", 0, 400, none, 1100, true},
        {"a clock that went back", 0, 400, running, 999, true},
        {"id unreadable", 1, 288, running, 900000, false},
        {"id read as 0", 0, 0, never, 5, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MustAskForTheService(c.ClientError, c.ClientPid, c.Seen, c.Now), c.Asks) << c.What;
}

} // namespace
} // namespace corvel
