#include "PipeServer.h"

#include "CommandReader.h"
#include "PipeIo.h"
#include "VpnAdmin.h"

#include <process.h>

#include <cerrno>

namespace corvel {

unsigned __stdcall PipeWorkerThread(void* param) {
    const PipeSlot& slot = *static_cast<const PipeSlot*>(param);
    // One I/O object from the connect to the reply; its deadline starts with the client.
    CPipeIo io(slot.Pipe.get(), kPipeIoNoDeadline, slot.WorkerStop, slot.Event.get());
    CCommandReader::ServeConnection(io);
    // The main loop closes the pipe handle.
    return 0;
}

CPipeServer::CPipeServer(const wchar_t* pipeName, SECURITY_ATTRIBUTES* security, HANDLE stopEvent)
    : m_pipeName(pipeName), m_security(security), m_stopEvent(stopEvent),
      m_workerStop(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

DWORD CPipeServer::CreatePipeInstance(PipeSlot& slot, bool first) {
    // The first instance must create the name: one that exists already belongs to someone
    // else. FILE_FLAG_FIRST_PIPE_INSTANCE says so atomically where it is honoured; the
    // probe before it makes the refusal visible also where the flag is ignored (Wine).
    if (first && (::WaitNamedPipeW(m_pipeName, 1) || ::GetLastError() == ERROR_SEM_TIMEOUT ||
                  ::GetLastError() == ERROR_PIPE_BUSY))
        return ERROR_ALREADY_EXISTS;
    const DWORD openMode =
        PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | (first ? FILE_FLAG_FIRST_PIPE_INSTANCE : 0);
    UniqueFile pipe(::CreateNamedPipeW(
        m_pipeName, openMode, PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
        MAX_PIPE_INSTANCES, 0, 0, PIPE_DEFAULT_TIMEOUT, m_security));
    if (!pipe)
        return LastErrorOr1359();
    if (!slot.Event) {
        slot.Event.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        if (!slot.Event)
            return LastErrorOr1359();
    }
    slot.WorkerStop = m_workerStop.get();
    slot.Pipe = std::move(pipe);
    slot.Thread.reset(
        reinterpret_cast<HANDLE>(::_beginthreadex(nullptr, 0, PipeWorkerThread, &slot, 0, nullptr)));
    if (!slot.Thread) {
        const DWORD e = errno == EAGAIN ? DWORD(ERROR_NOT_ENOUGH_MEMORY) : LastErrorOr1359();
        slot.Pipe.reset();
        return e;
    }
    return 0;
}

DWORD CPipeServer::RecreatePipeInstance(PipeSlot& slot) {
    DWORD result = 0;
    for (DWORD attempt = 0; attempt < m_recreateAttempts; ++attempt) {
        result = CreatePipeInstance(slot, false);
        if (result == 0)
            return 0;
        // A short pause, cut short by a stop.
        if (::WaitForSingleObject(m_stopEvent, m_recreatePauseMs) != WAIT_TIMEOUT)
            return result;
    }
    return result;
}

void CPipeServer::WaitForWorkerEnd() {
    ::SetEvent(m_workerStop.get());
    for (PipeSlot& slot : m_slots) {
        if (slot.Thread)
            ::WaitForSingleObject(slot.Thread.get(), INFINITE);
        slot.Thread.reset();
        slot.Pipe.reset();
    }
}

DWORD CPipeServer::Run() {
    if (!m_workerStop)
        return LastErrorOr1359();
    for (DWORD i = 0; i < MAX_PIPE_INSTANCES; ++i) {
        const DWORD created = CreatePipeInstance(m_slots[i], i == 0);
        if (created != 0) {
            WaitForWorkerEnd();
            return created;
        }
    }
    // Nothing was begun yet: entries a previous run left behind go. The workers already serve.
    CVpnAdmin::GetInstance().DeleteAllEntries();

    DWORD result = 0;
    while (result == 0) {
        HANDLE waits[MAX_PIPE_INSTANCES + 1];
        for (DWORD i = 0; i < MAX_PIPE_INSTANCES; ++i)
            waits[i] = m_slots[i].Thread.get();
        waits[MAX_PIPE_INSTANCES] = m_stopEvent;
        const DWORD w = ::WaitForMultipleObjects(MAX_PIPE_INSTANCES + 1, waits, FALSE, INFINITE);
        if (w == WAIT_OBJECT_0 + MAX_PIPE_INSTANCES)
            break;
        if (w >= WAIT_OBJECT_0 + MAX_PIPE_INSTANCES) {
            result = w == WAIT_FAILED ? LastErrorOr1359() : DWORD(ERROR_INTERNAL_ERROR);
            break;
        }
        PipeSlot& slot = m_slots[w - WAIT_OBJECT_0];
        slot.Thread.reset();
        slot.Pipe.reset();
        result = RecreatePipeInstance(slot);
        if (result != 0 && ::WaitForSingleObject(m_stopEvent, 0) == WAIT_OBJECT_0) {
            result = 0; // a stop came during the retries: it is a stop, not a failure
            break;
        }
    }
    if (result != 0)
        CVpnAdmin::GetInstance().EndVpn(); // the loop failed: no connection stays behind
    WaitForWorkerEnd();
    return result;
}

} // namespace corvel
