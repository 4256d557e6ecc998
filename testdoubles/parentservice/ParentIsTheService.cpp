// Linked into the test builds of Corvel.exe and corvelc.exe that run against a fake service in
// the test program which starts them: their server check takes that parent process for the
// service manager's CORVELSVC. Every other process that takes the pipe's name stays a stranger.
#include "PipeClientOpen.h"

#include <windows.h>
#include <tlhelp32.h>

namespace corvel {
namespace {

DWORD ParentProcessId() {
    const UniqueFile snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot)
        return 0;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    const DWORD self = ::GetCurrentProcessId();
    for (BOOL more = ::Process32FirstW(snapshot.get(), &entry); more;
         more = ::Process32NextW(snapshot.get(), &entry)) {
        if (entry.th32ProcessID == self)
            return entry.th32ParentProcessID;
    }
    return 0;
}

ServiceProcessFacts ParentIsTheService() {
    // Read once: the parent's id names the test program for as long as it runs.
    static const DWORD parent = ParentProcessId();
    ServiceProcessFacts facts;
    facts.Error = parent == 0 ? ERROR_NOT_FOUND : 0;
    facts.State = SERVICE_RUNNING;
    facts.ProcessId = parent;
    return facts;
}

const ServiceProcessQuery installed = SetServiceProcessQuery(&ParentIsTheService);

} // namespace
} // namespace corvel
