#pragma once
// The one client open of a named pipe, for the service, the tray program and the console
// client: CreateFileW with the policy's attempts and waits (PipeOpenPolicy.h), and, where the
// policy asks for it, the check that the server is the service (PipeServerCheck.h).
#include "Handles.h"
#include "PipeOpenPolicy.h"
#include "PipeServerCheck.h"

#include <windows.h>

namespace corvel {

inline constexpr wchar_t kCorvelServiceName[] = L"CORVELSVC";

// 0 with `pipe` open (no sharing, OPEN_EXISTING, the policy's FileFlags); else the error that
// ended the attempts, or 5 when the server is not the service, and `pipe` is empty: nothing was
// written to it. endEvent (manual-reset, may be null): once set, the open gives up with 995 at
// its next attempt, and a pause while the pipe is missing ends at once.
DWORD OpenPipeClient(const wchar_t* name, DWORD access, const PipeOpenPolicy& policy, UniqueFile& pipe,
                     HANDLE endEvent = nullptr);

// 0 when the server end of the client handle `pipe` belongs to the process that the service
// manager runs as the running CORVELSVC; else 5.
DWORD CheckPipeServer(HANDLE pipe);

// The service manager's view of CORVELSVC (OpenSCManagerW, OpenServiceW, QueryServiceStatusEx).
ServiceProcessFacts QueryCorvelServiceProcess();

// What CheckPipeServer asks for the service's process. Tests whose fake service is not the
// service manager's process put their own in; the previous one is returned. Any thread may
// call it; an open under way uses the one it read first.
using ServiceProcessQuery = ServiceProcessFacts (*)();
ServiceProcessQuery SetServiceProcessQuery(ServiceProcessQuery query);
// Asks the query set now (QueryCorvelServiceProcess unless a test put its own in).
ServiceProcessFacts QueryServiceProcess();

} // namespace corvel
