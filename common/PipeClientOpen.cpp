#include "PipeClientOpen.h"

#include <atomic>

namespace corvel {

static_assert(kPipeOpenFileNotFound == ERROR_FILE_NOT_FOUND && kPipeOpenSemTimeout == ERROR_SEM_TIMEOUT &&
                  kPipeOpenBusy == ERROR_PIPE_BUSY && kPipeOpenAbandoned == ERROR_OPERATION_ABORTED,
              "the decisions look at the Win32 codes");
static_assert(kPipeFileAttributeNormal == FILE_ATTRIBUTE_NORMAL &&
                  kPipeFileOverlapped == FILE_FLAG_OVERLAPPED &&
                  kPipeFileIdentificationOnly == (SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION),
              "the policies carry CreateFile's flags");
static_assert(kPipeDefaultWait == NMPWAIT_USE_DEFAULT_WAIT, "0 is the pipe's own wait");
static_assert(kServiceStateRunning == SERVICE_RUNNING && kPipeServerRefused == ERROR_ACCESS_DENIED,
              "the check looks at the Win32 values");

namespace {

class CWin32PipeOpen : public CPipeOpenCalls {
public:
    CWin32PipeOpen(const wchar_t* name, DWORD access, DWORD flags, UniqueFile& pipe, HANDLE endEvent)
        : m_name(name), m_access(access), m_flags(flags), m_pipe(pipe), m_end(endEvent) {}

    uint32_t Open() override {
        m_pipe.reset(::CreateFileW(m_name, m_access, 0, nullptr, OPEN_EXISTING, m_flags, nullptr));
        return m_pipe ? 0 : LastErrorOr1359();
    }
    uint32_t WaitForInstance(uint32_t timeoutMs) override {
        return ::WaitNamedPipeW(m_name, timeoutMs) ? 0 : LastErrorOr1359();
    }
    void Pause(uint32_t milliseconds) override {
        if (m_end)
            ::WaitForSingleObject(m_end, milliseconds);
        else
            ::Sleep(milliseconds);
    }
    uint64_t NowMs() override { return ::GetTickCount64(); }
    bool Abandoned() override { return m_end && ::WaitForSingleObject(m_end, 0) == WAIT_OBJECT_0; }

private:
    const wchar_t* m_name;
    DWORD m_access;
    DWORD m_flags;
    UniqueFile& m_pipe;
    HANDLE m_end;
};

std::atomic<ServiceProcessQuery> g_serviceProcessQuery{&QueryCorvelServiceProcess};

} // namespace

ServiceProcessFacts QueryCorvelServiceProcess() {
    ServiceProcessFacts facts;
    const UniqueServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) {
        facts.Error = LastErrorOr1359();
        return facts;
    }
    const UniqueServiceHandle service(
        ::OpenServiceW(manager.get(), kCorvelServiceName, SERVICE_QUERY_STATUS));
    if (!service) {
        facts.Error = LastErrorOr1359();
        return facts;
    }
    SERVICE_STATUS_PROCESS status = {};
    DWORD needed = 0;
    if (!::QueryServiceStatusEx(service.get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                                sizeof status, &needed)) {
        facts.Error = LastErrorOr1359();
        return facts;
    }
    facts.State = status.dwCurrentState;
    facts.ProcessId = status.dwProcessId;
    return facts;
}

ServiceProcessQuery SetServiceProcessQuery(ServiceProcessQuery query) {
    return g_serviceProcessQuery.exchange(query);
}

ServiceProcessFacts QueryServiceProcess() {
    return g_serviceProcessQuery.load()();
}

DWORD CheckPipeServer(HANDLE pipe) {
    ULONG serverProcessId = 0;
    const DWORD serverError = ::GetNamedPipeServerProcessId(pipe, &serverProcessId) ? 0 : LastErrorOr1359();
    // Read after the open: the handle's server cannot change, while the service may have
    // stopped (and its process id gone to another process) since any earlier look.
    const ServiceProcessFacts service = QueryServiceProcess();
    return JudgePipeServer(serverError, serverProcessId, service);
}

DWORD OpenPipeClient(const wchar_t* name, DWORD access, const PipeOpenPolicy& policy, UniqueFile& pipe,
                     HANDLE endEvent) {
    CWin32PipeOpen calls(name, access, policy.FileFlags, pipe, endEvent);
    const DWORD result = RunPipeOpen(policy, calls);
    if (result != 0) {
        pipe.reset();
        return result;
    }
    if (policy.ServerMustBeService) {
        if (const DWORD refused = CheckPipeServer(pipe.get())) {
            pipe.reset(); // closed unwritten
            return refused;
        }
    }
    return 0;
}

} // namespace corvel
