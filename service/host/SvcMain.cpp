#include "SvcMain.h"

#include "DotDat.h"
#include "Handles.h"
#include "PipeServer.h"
#include "VpnAdmin.h"

namespace corvel {

SERVICE_STATUS CSvcMain::ServiceStatus = {};
SERVICE_STATUS_HANDLE CSvcMain::StatusHandle = nullptr;
std::mutex CSvcMain::StatusLock;
CSvcMain::SetStatusFunction CSvcMain::SetStatus = ::SetServiceStatus;
HANDLE CSvcMain::InstanceMutex = nullptr;
HANDLE CSvcMain::StopEvent = nullptr;
HANDLE CSvcMain::LoopEndEvent = nullptr;
std::mutex CSvcMain::HandlesLock;
const wchar_t* CSvcMain::PipeName = kServicePipeName;
DWORD (*CSvcMain::SecurityBuilder)(CPipeSecurity&) = &CSvcMain::BuildSecurityAttributes;

namespace {
constexpr DWORD kStartWaitHint = 1000;
constexpr DWORD kStopWaitHint = 3000;
} // namespace

DWORD CSvcMain::ReportStatus(DWORD state, DWORD checkPoint, DWORD waitHint, DWORD exitCode) {
    SERVICE_STATUS copy;
    {
        std::lock_guard<std::mutex> lock(StatusLock);
        ServiceStatus.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
        // No control is accepted before start-up is done: the stop sequence needs its events.
        ServiceStatus.dwControlsAccepted =
            state == SERVICE_START_PENDING ? 0 : DWORD(SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN);
        ServiceStatus.dwCurrentState = state;
        ServiceStatus.dwCheckPoint = checkPoint;
        ServiceStatus.dwWaitHint = waitHint;
        ServiceStatus.dwWin32ExitCode = exitCode;
        ServiceStatus.dwServiceSpecificExitCode = 0;
        copy = ServiceStatus;
    }
    // Outside the lock: the service manager may hold its own lock while our handler runs, so a
    // report from another thread can block until the handler returns; the handler must never
    // wait for that thread's report in turn.
    return SetStatus(StatusHandle, &copy) ? 0 : LastErrorOr1359();
}

DWORD CSvcMain::InitService() {
    DWORD result = ReportStatus(SERVICE_START_PENDING, 1, kStartWaitHint, 0);
    if (result != 0)
        return result;
    {
        std::lock_guard<std::mutex> lock(HandlesLock);
        InstanceMutex = ::CreateMutexW(nullptr, TRUE, kInstanceMutexName);
        const DWORD e = ::GetLastError();
        if (!InstanceMutex)
            return LastErrorOr1359();
        if (e == ERROR_ALREADY_EXISTS)
            return ERROR_SERVICE_ALREADY_RUNNING; // the handle stays for the clean-up
        StopEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (!StopEvent)
            return LastErrorOr1359();
        LoopEndEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (!LoopEndEvent)
            return LastErrorOr1359();
    }
    Stopping = 0;
    // A missing or unreadable "corvel.dat" leaves the defaults: the service still starts.
    CDotDatSemaphore::GetInstance().Init();
    CVpnAdmin::GetInstance();
    return ReportStatus(SERVICE_RUNNING, 0, 0, 0);
}

DWORD CSvcMain::BuildSecurityAttributes(CPipeSecurity& security) {
    return security.Build();
}

DWORD CSvcMain::MainLoop(SECURITY_ATTRIBUTES* security) {
    HANDLE stop = nullptr;
    {
        std::lock_guard<std::mutex> lock(HandlesLock);
        stop = StopEvent;
    }
    // StopEvent is closed only after LoopEndEvent, which is set after this returns.
    CPipeServer server(PipeName, security, stop);
    return server.Run();
}

DWORD CSvcMain::RunService() {
    DWORD result = InitService();
    if (result == 0) {
        CPipeSecurity security;
        result = SecurityBuilder(security);
        // A descriptor that could not be built stops the start: never the default security.
        if (result == 0)
            result = MainLoop(security.Attributes());
    }
    {
        std::lock_guard<std::mutex> lock(HandlesLock);
        if (LoopEndEvent)
            ::SetEvent(LoopEndEvent);
    }
    // A stop sequence under way reports STOPPED itself once it sees the loop's end; a second
    // report from here could reach the manager between its STOP_PENDING checkpoints.
    if (Stopping.load() == 0)
        ReportStatus(SERVICE_STOPPED, 0, 0, result);
    CloseHandles();
    return result;
}

void CSvcMain::StopSequence() {
    // From now on workers carry out only the engine's notifications.
    Stopping = 1;
    CVpnAdmin::GetInstance().EndVpn();
    UniqueEvent loopEnd;
    {
        std::lock_guard<std::mutex> lock(HandlesLock);
        if (!StopEvent || !LoopEndEvent)
            return; // the loop has ended and cleaned up already
        // Our own handle: ServiceMain may close the shared one while we wait.
        if (!::DuplicateHandle(::GetCurrentProcess(), LoopEndEvent, ::GetCurrentProcess(), loopEnd.put(),
                               SYNCHRONIZE, FALSE, 0))
            loopEnd.reset();
        ::SetEvent(StopEvent);
    }
    if (loopEnd) {
        // The checkpoint rises while the workers are joined.
        for (DWORD checkPoint = 2; ::WaitForSingleObject(loopEnd.get(), kStopWaitHint / 3) == WAIT_TIMEOUT;
             ++checkPoint)
            ReportStatus(SERVICE_STOP_PENDING, checkPoint, kStopWaitHint, 0);
    }
    ReportStatus(SERVICE_STOPPED, 0, 0, 0);
    CloseHandles();
}

void CSvcMain::CloseHandles() {
    std::lock_guard<std::mutex> lock(HandlesLock);
    // Each handle is taken out before it is closed, so the second caller finds nothing.
    if (HANDLE mutex = InstanceMutex) {
        InstanceMutex = nullptr;
        ::ReleaseMutex(mutex); // fails on another thread than the owner's; closing frees it anyway
        ::CloseHandle(mutex);
    }
    if (HANDLE stop = StopEvent) {
        StopEvent = nullptr;
        ::CloseHandle(stop);
    }
    if (HANDLE loopEnd = LoopEndEvent) {
        LoopEndEvent = nullptr;
        ::CloseHandle(loopEnd);
    }
}

void WINAPI ServiceMain(DWORD, LPWSTR*) {
    CSvcMain::StatusHandle = ::RegisterServiceCtrlHandlerExW(kServiceName, ServiceCtrlHandler, nullptr);
    if (!CSvcMain::StatusHandle)
        return;
    CSvcMain::RunService();
}

DWORD WINAPI ServiceCtrlHandler(DWORD control, DWORD, LPVOID, LPVOID) {
    switch (control) {
    case SERVICE_CONTROL_STOP:
        // STOP_PENDING goes out before anything stops; a STOP that cannot say so changes nothing.
        if (CSvcMain::ReportStatus(SERVICE_STOP_PENDING, 1, kStopWaitHint, 0) != 0)
            return NO_ERROR;
        CSvcMain::StopSequence();
        return NO_ERROR;
    case SERVICE_CONTROL_SHUTDOWN:
        CSvcMain::ReportStatus(SERVICE_STOP_PENDING, 1, kStopWaitHint, 0);
        CSvcMain::StopSequence();
        return NO_ERROR;
    case SERVICE_CONTROL_PAUSE:
    case SERVICE_CONTROL_CONTINUE:
        return NO_ERROR;
    default:
        return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

} // namespace corvel
