// The open's decisions as call sequences: what each policy does with a pipe that is missing,
// busy, refused, or that goes away while a client waits for it.
#include "PipeOpenPolicy.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace corvel {
namespace {

constexpr uint32_t kAccessDenied = 5;

// Plays the scripted results (the last one repeats) and records each call; waits and pauses
// move a virtual clock by what they were asked (a default wait by 1000 ms).
class CScriptedCalls : public CPipeOpenCalls {
public:
    CScriptedCalls(std::deque<uint32_t> opens, std::deque<uint32_t> waits)
        : m_opens(std::move(opens)), m_waits(std::move(waits)) {}

    uint32_t Open() override {
        ++m_opensMade;
        Log.push_back("open");
        return Next(m_opens);
    }
    uint32_t WaitForInstance(uint32_t timeoutMs) override {
        Log.push_back("wait " + std::to_string(timeoutMs));
        m_now += timeoutMs == kPipeDefaultWait ? 1000 : timeoutMs;
        return Next(m_waits);
    }
    void Pause(uint32_t milliseconds) override {
        Log.push_back("pause " + std::to_string(milliseconds));
        m_now += milliseconds;
    }
    uint64_t NowMs() override { return m_now; }
    bool Abandoned() override { return m_opensMade >= AbandonAfterOpens; }

    std::vector<std::string> Log;
    // The caller's end comes once this many opens have been made.
    size_t AbandonAfterOpens = SIZE_MAX;

private:
    static uint32_t Next(std::deque<uint32_t>& results) {
        const uint32_t r = results.empty() ? 0 : results.front();
        if (results.size() > 1)
            results.pop_front();
        return r;
    }
    std::deque<uint32_t> m_opens;
    std::deque<uint32_t> m_waits;
    uint64_t m_now = 5000;
    size_t m_opensMade = 0;
};

std::vector<std::string> Repeat(std::initializer_list<const char*> calls, int times) {
    std::vector<std::string> all;
    for (int i = 0; i < times; ++i)
        all.insert(all.end(), calls.begin(), calls.end());
    return all;
}

std::vector<std::string> Then(std::vector<std::string> first, std::initializer_list<const char*> more) {
    first.insert(first.end(), more.begin(), more.end());
    return first;
}

// `count` times `result`, then `last`.
std::deque<uint32_t> Script(size_t count, uint32_t result, uint32_t last) {
    std::deque<uint32_t> all(count, result);
    all.push_back(last);
    return all;
}

PipeOpenPolicy WithDeadline(uint32_t deadlineMs, uint32_t busyWaitMs) {
    PipeOpenPolicy p;
    p.Attempts = kUnlimitedAttempts;
    p.BusyWaitMs = busyWaitMs;
    p.OnFailedWait = FailedWait::TriesAgain;
    p.DeadlineMs = deadlineMs;
    return p;
}

struct OpenCase {
    const char* Name;
    PipeOpenPolicy Policy;
    std::deque<uint32_t> Opens;
    std::deque<uint32_t> Waits;
    uint32_t Result;
    std::vector<std::string> Calls;
};

TEST(RunPipeOpen, EachPolicyMakesItsCalls) {
    const OpenCase cases[] = {
        // The console client.
        {"console: open at once", ConsolePipePolicy(), {0}, {0}, 0, {"open"}},
        {"console: missing throughout", ConsolePipePolicy(), {2}, {0}, 2, Repeat({"open", "pause 1000"}, 33)},
        {"console: busy throughout",
         ConsolePipePolicy(),
         {231},
         {121},
         231,
         Repeat({"open", "wait 1000"}, 33)},
        {"console: busy, an instance frees, busy again",
         ConsolePipePolicy(),
         {231},
         {0},
         231,
         Repeat({"open", "wait 1000"}, 33)},
        {"console: access denied at once",
         ConsolePipePolicy(),
         {kAccessDenied},
         {0},
         kAccessDenied,
         {"open"}},
        {"console: the service starts after two seconds",
         ConsolePipePolicy(),
         {2, 2, 0},
         {0},
         0,
         {"open", "pause 1000", "open", "pause 1000", "open"}},
        {"console: the pipe goes away during the wait",
         ConsolePipePolicy(),
         {231, 0},
         {2},
         0,
         {"open", "wait 1000", "pause 1000", "open"}},
        {"console: a wait that fails otherwise ends it",
         ConsolePipePolicy(),
         {231},
         {kAccessDenied},
         kAccessDenied,
         {"open", "wait 1000"}},
        {"console: the last attempt's wait, then its error",
         ConsolePipePolicy(),
         Script(32, 2, 231),
         {121},
         231,
         Then(Repeat({"open", "pause 1000"}, 32), {"open", "wait 1000"})},
        // The tray program.
        {"tray: open at once", TrayPipePolicy(), {0}, {0}, 0, {"open"}},
        {"tray: second busy attempt gives 231",
         TrayPipePolicy(),
         {231},
         {0},
         231,
         {"open", "wait 0", "open"}},
        {"tray: busy, then free", TrayPipePolicy(), {231, 0}, {0}, 0, {"open", "wait 0", "open"}},
        {"tray: a failed wait gives its error", TrayPipePolicy(), {231}, {121}, 121, {"open", "wait 0"}},
        {"tray: the pipe went away during the wait", TrayPipePolicy(), {231}, {2}, 2, {"open", "wait 0"}},
        {"tray: missing at once", TrayPipePolicy(), {2}, {0}, 2, {"open"}},
        {"tray: access denied at once", TrayPipePolicy(), {kAccessDenied}, {0}, kAccessDenied, {"open"}},
        // A deadline bounds every wait and ends the open with the last attempt's error.
        {"deadline: waits shrink to what is left",
         WithDeadline(2500, 1000),
         {231},
         {121},
         231,
         Then(Repeat({"open", "wait 1000"}, 2), {"open", "wait 500", "open"})},
        {"deadline: the default wait becomes what is left",
         WithDeadline(1500, kPipeDefaultWait),
         {231, 0},
         {0},
         0,
         {"open", "wait 1500", "open"}},
        {"deadline: missing is not waited for unless asked", WithDeadline(2500, 1000), {2}, {0}, 2, {"open"}},
    };
    for (const OpenCase& c : cases) {
        SCOPED_TRACE(c.Name);
        CScriptedCalls calls(c.Opens, c.Waits);
        EXPECT_EQ(RunPipeOpen(c.Policy, calls), c.Result);
        EXPECT_EQ(calls.Log, c.Calls);
    }
}

TEST(RunPipeOpen, AMissingPipeIsWaitedForWithinTheDeadline) {
    PipeOpenPolicy p = WithDeadline(250, 100);
    p.WaitWhileMissing = true;
    p.MissingPauseMs = 100;
    CScriptedCalls calls({2, 231, 2}, {2});
    EXPECT_EQ(RunPipeOpen(p, calls), 2u);
    EXPECT_EQ(calls.Log,
              (std::vector<std::string>{"open", "pause 100", "open", "wait 100", "pause 50", "open"}));
}

// The connect thread's notification: every instance busy for 6 s (the service frees a silent
// client within 5 s) is no failure; only the caller's end or the time limit ends the wait.
TEST(RunPipeOpen, TheNotifierWaitsOutABusyPipeUntilItsEndOrItsTimeLimit) {
    const std::vector<std::string> busySixSeconds = Repeat({"open", "wait 250"}, 24);
    struct Case {
        const char* Name;
        uint32_t TimeLimitMs;
        std::deque<uint32_t> Opens;
        std::deque<uint32_t> Waits;
        size_t AbandonAfterOpens;
        uint32_t Result;
        std::vector<std::string> Calls;
    };
    const Case cases[] = {
        {"free at once", 41000, {0}, {0}, SIZE_MAX, 0, {"open"}},
        {"busy for 6 s, then free",
         41000,
         Script(24, 231, 0),
         {121},
         SIZE_MAX,
         0,
         Then(busySixSeconds, {"open"})},
        {"an instance frees now and then but is taken first",
         41000,
         Script(24, 231, 0),
         {0},
         SIZE_MAX,
         0,
         Then(busySixSeconds, {"open"})},
        {"the pipe missing a moment while an instance is made anew",
         41000,
         {231, 2, 0},
         {2},
         SIZE_MAX,
         0,
         {"open", "wait 250", "pause 250", "open", "pause 250", "open"}},
        {"the attempt is ended during the wait",
         41000,
         {231},
         {121},
         3,
         kPipeOpenAbandoned,
         Repeat({"open", "wait 250"}, 3)},
        {"ended before it began", 41000, {0}, {0}, 0, kPipeOpenAbandoned, {}},
        {"busy to the time limit: the busy error",
         600,
         {231},
         {121},
         SIZE_MAX,
         231,
         {"open", "wait 250", "open", "wait 250", "open", "wait 100", "open"}},
        {"access denied at once", 41000, {kAccessDenied}, {0}, SIZE_MAX, kAccessDenied, {"open"}},
        {"a time limit of 0 still bounds the wait",
         0,
         {231},
         {121},
         SIZE_MAX,
         231,
         {"open", "wait 1", "open"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        CScriptedCalls calls(c.Opens, c.Waits);
        calls.AbandonAfterOpens = c.AbandonAfterOpens;
        EXPECT_EQ(RunPipeOpen(NotifierPipePolicy(c.TimeLimitMs), calls), c.Result);
        EXPECT_EQ(calls.Log, c.Calls);
    }
    EXPECT_EQ(NotifierPipePolicy(41000).FileFlags,
              kPipeFileAttributeNormal | kPipeFileOverlapped | kPipeFileIdentificationOnly);
    EXPECT_FALSE(NotifierPipePolicy(41000).ServerMustBeService);
}

TEST(PipeOpenPolicy, NamedPoliciesOpenForOverlappedIo) {
    for (const PipeOpenPolicy& p : {TrayPipePolicy(), ConsolePipePolicy()}) {
        EXPECT_EQ(p.FileFlags & kPipeFileOverlapped, kPipeFileOverlapped);
        EXPECT_EQ(p.DeadlineMs, 0u);
    }
}

} // namespace
} // namespace corvel
