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

} // namespace
} // namespace corvel
