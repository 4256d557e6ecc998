#pragma once
// The tray program's client end of the command pipe, shared by CPipeThread and
// CPipeService: the open with the tray program's busy rule. Reads and writes go through
// CPipeIo (common/PipeIo.h), bounded so that a service which never answers cannot hold them.
#include "Handles.h"
#include "PipeIo.h"
#include "PipeNames.h"

#include <windows.h>

namespace corvel {

// Bound of one ordinary request from its write to the last reply byte.
constexpr DWORD kPipeRequestTimeoutMs = 10000;
// Bound of each probe operation: a service that accepts and never answers counts as silent.
constexpr DWORD kProbeTimeoutMs = 2000;

// Two attempts at most; on ERROR_PIPE_BUSY the first waits with WaitNamedPipeW(name, 0), the
// server's default time-out (TrayPipePolicy). 0 with `pipe` open for overlapped I/O; else the
// error (a second busy attempt gives ERROR_PIPE_BUSY, a failed wait its own error, a server that
// is not CORVELSVC's process 5, before anything is written).
DWORD OpenServicePipe(UniqueFile& pipe);

} // namespace corvel
