#include "PipeServerCheck.h"

namespace corvel {

uint32_t JudgePipeServer(uint32_t serverError, uint32_t serverProcessId, const ServiceProcessFacts& service) {
    // Nothing falls back to trusting the name: whatever cannot be read counts as a stranger.
    const bool known = serverError == 0 && serverProcessId != 0 && service.Error == 0 &&
                       service.State == kServiceStateRunning && service.ProcessId != 0;
    return known && serverProcessId == service.ProcessId ? 0 : kPipeServerRefused;
}

bool MustAskForTheService(uint32_t clientError, uint32_t clientProcessId, const ServiceProcessSeen& seen,
                          uint64_t nowMs) {
    if (clientError != 0 || clientProcessId == 0)
        return false;
    if (!seen.Read || JudgePipeServer(0, clientProcessId, seen.Facts) == 0)
        return true;
    return nowMs < seen.ReadAtMs || nowMs - seen.ReadAtMs >= kServiceFactsFreshMs;
}

} // namespace corvel
