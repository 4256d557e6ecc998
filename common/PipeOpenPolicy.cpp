#include "PipeOpenPolicy.h"

namespace corvel {

PipeOpenPolicy TrayPipePolicy() {
    PipeOpenPolicy p;
    p.Attempts = 2;
    p.BusyWaitMs = kPipeDefaultWait;
    p.OnFailedWait = FailedWait::Ends;
    p.ServerMustBeService = true;
    return p;
}

PipeOpenPolicy ConsolePipePolicy() {
    PipeOpenPolicy p;
    p.Attempts = 33;
    p.BusyWaitMs = 1000;
    p.OnFailedWait = FailedWait::TriesAgain;
    p.WaitWhileMissing = true;
    p.MissingPauseMs = 1000;
    p.WaitAfterLastAttempt = true;
    p.ServerMustBeService = true;
    return p;
}

PipeOpenPolicy NotifierPipePolicy(uint32_t timeLimitMs) {
    PipeOpenPolicy p;
    p.Attempts = kUnlimitedAttempts;
    p.BusyWaitMs = kNotifierWaitSliceMs;
    p.OnFailedWait = FailedWait::TriesAgain;
    p.WaitWhileMissing = true;
    p.MissingPauseMs = kNotifierWaitSliceMs;
    p.DeadlineMs = timeLimitMs != 0 ? timeLimitMs : 1; // a deadline of 0 is none
    p.FileFlags = kPipeFileAttributeNormal | kPipeFileOverlapped | kPipeFileIdentificationOnly;
    return p;
}

uint32_t RunPipeOpen(const PipeOpenPolicy& policy, CPipeOpenCalls& calls) {
    const bool bounded = policy.DeadlineMs != 0;
    const uint64_t deadline = bounded ? calls.NowMs() + policy.DeadlineMs : 0;
    // What is left of the deadline, at most `ms` (0 for the pipe's default wait: all that is left).
    auto bound = [&](uint32_t ms) -> uint32_t {
        if (!bounded)
            return ms;
        const uint64_t now = calls.NowMs();
        const uint64_t left = now >= deadline ? 0 : deadline - now;
        return ms != 0 && ms < left ? ms : uint32_t(left);
    };
    auto pauseWhileMissing = [&] {
        if (!policy.WaitWhileMissing)
            return false;
        const uint32_t pause = bound(policy.MissingPauseMs);
        if (bounded && pause == 0)
            return false;
        calls.Pause(pause);
        return true;
    };

    uint32_t error = 0;
    for (uint32_t attempt = 1;; ++attempt) {
        if (calls.Abandoned())
            return kPipeOpenAbandoned;
        error = calls.Open();
        if (error == 0)
            return 0;
        const bool last = policy.Attempts != kUnlimitedAttempts && attempt >= policy.Attempts;
        if (last && !policy.WaitAfterLastAttempt)
            return error;
        if (error == kPipeOpenFileNotFound) {
            if (!pauseWhileMissing())
                return error;
        } else if (error == kPipeOpenBusy) {
            const uint32_t wait = bound(policy.BusyWaitMs);
            // A wait of 0 would be the pipe's default, not "nothing left".
            if (bounded && wait == 0)
                return error;
            const uint32_t waited = calls.WaitForInstance(wait);
            if (waited != 0) {
                if (policy.OnFailedWait == FailedWait::Ends)
                    return waited;
                if (waited == kPipeOpenFileNotFound) {
                    if (!pauseWhileMissing())
                        return waited;
                } else if (waited != kPipeOpenSemTimeout) {
                    return waited;
                }
            }
        } else {
            return error;
        }
        if (last)
            return error;
    }
}

} // namespace corvel
