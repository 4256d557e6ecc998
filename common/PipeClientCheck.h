#pragma once
// The server's side of the check that OpenPipeClient makes of the command pipe's server: whether
// the client end of a connected instance belongs to the process that the service manager runs
// as CORVELSVC (through the same query, SetServiceProcessQuery). Made before any read, so a
// stranger's bytes are never looked at.
#include "PipeServerCheck.h"

#include <windows.h>

namespace corvel {

// For one serving thread: it keeps what the service manager last answered (PipeServerCheck.h
// says when it asks again).
class CPipeClientCheck {
public:
    // 0 when the client of the connected server end `pipe` is the service; else 5.
    DWORD Check(HANDLE pipe);

private:
    ServiceProcessSeen m_seen;
};

} // namespace corvel
