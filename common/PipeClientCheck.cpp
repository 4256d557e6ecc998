#include "PipeClientCheck.h"

#include "Handles.h"
#include "PipeClientOpen.h"

namespace corvel {

DWORD CPipeClientCheck::Check(HANDLE pipe) {
    ULONG clientProcessId = 0;
    const DWORD clientError = ::GetNamedPipeClientProcessId(pipe, &clientProcessId) ? 0 : LastErrorOr1359();
    const ULONGLONG now = ::GetTickCount64();
    if (!MustAskForTheService(clientError, clientProcessId, m_seen, now))
        return kPipeServerRefused;
    m_seen.Facts = QueryServiceProcess();
    m_seen.Read = true;
    // The time after the answer: a slow service manager does not make it look older than it is.
    m_seen.ReadAtMs = ::GetTickCount64();
    return JudgePipeServer(0, clientProcessId, m_seen.Facts);
}

} // namespace corvel
