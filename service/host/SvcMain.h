#pragma once
// The thin layer between the service control manager and the pipe server: ServiceMain,
// the control handler, the status reports, start-up and the stop sequence. CSvcMain is a
// name space of static operations over process-wide state; there is no CSvcMain object.
#include <windows.h>

#include "CommandReader.h"
#include "PipeSecurity.h"

#include <mutex>

namespace corvel {

constexpr const wchar_t* kServiceName = L"CORVELSVC";
constexpr const wchar_t* kInstanceMutexName = L"CORVELSVC_Mutex";

class CSvcMain : public CCommandReader {
public:
    using SetStatusFunction = BOOL(WINAPI*)(SERVICE_STATUS_HANDLE, LPSERVICE_STATUS);

    // The one record that every report sends; reports come from ServiceMain's thread and
    // from the handler's, so StatusLock guards it.
    static SERVICE_STATUS ServiceStatus;
    static SERVICE_STATUS_HANDLE StatusHandle;
    static std::mutex StatusLock;
    // SetServiceStatus; tests put a recorder here.
    static SetStatusFunction SetStatus;

    // Created by InitService, closed once by CloseHandles, whichever thread comes first;
    // HandlesLock guards every use of them across the handler and ServiceMain.
    static HANDLE InstanceMutex;
    static HANDLE StopEvent;    // set at stop to wake the main loop; never reset
    static HANDLE LoopEndEvent; // set by ServiceMain after the main loop has returned
    static std::mutex HandlesLock;

    // The command pipe's name; tests use names of their own.
    static const wchar_t* PipeName;
    // BuildSecurityAttributes; tests make it fail.
    static DWORD (*SecurityBuilder)(CPipeSecurity& security);

    static DWORD ReportStatus(DWORD state, DWORD checkPoint, DWORD waitHint, DWORD exitCode);
    static DWORD InitService();
    static DWORD BuildSecurityAttributes(CPipeSecurity& security);
    static DWORD MainLoop(SECURITY_ATTRIBUTES* security);
    // ServiceMain after the handler's registration: start-up, main loop, final report.
    static DWORD RunService();
    // On the handler's thread: ends the connection, stops the loop, waits for its end.
    static void StopSequence();
    static void CloseHandles();
};

void WINAPI ServiceMain(DWORD argc, LPWSTR* argv);
DWORD WINAPI ServiceCtrlHandler(DWORD control, DWORD eventType, LPVOID eventData, LPVOID context);

} // namespace corvel
