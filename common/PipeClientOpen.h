#pragma once
// The one client open of a named pipe, for the service, the tray program and the console
// client: CreateFileW with the policy's attempts and waits (PipeOpenPolicy.h).
#include "Handles.h"
#include "PipeOpenPolicy.h"

#include <windows.h>

namespace corvel {

// 0 with `pipe` open (no sharing, OPEN_EXISTING, the policy's FileFlags); else the error that
// ended the attempts, and `pipe` is empty.
DWORD OpenPipeClient(const wchar_t* name, DWORD access, const PipeOpenPolicy& policy, UniqueFile& pipe);

} // namespace corvel
