#include "PipeServerCheck.h"

namespace corvel {

uint32_t JudgePipeServer(uint32_t serverError, uint32_t serverProcessId, const ServiceProcessFacts& service) {
    // Nothing falls back to trusting the name: whatever cannot be read counts as a stranger.
    const bool known = serverError == 0 && serverProcessId != 0 && service.Error == 0 &&
                       service.State == kServiceStateRunning && service.ProcessId != 0;
    return known && serverProcessId == service.ProcessId ? 0 : kPipeServerRefused;
}

} // namespace corvel
