#include "GuiForwarder.h"

#include "Handles.h"
#include "PipeClientOpen.h"
#include "PipeIo.h"

#include <atomic>

namespace corvel {

namespace {
std::atomic<const wchar_t*> g_guiPipeName{kGuiPipeName};
// The whole forward (the waits and the write) ends by this bound: a GUI that does not read
// must not hold the worker, or a burst of notifications would take every worker from the
// clients. The GUI reads at once.
constexpr DWORD kForwardTimeoutMs = 500;

PipeOpenPolicy ForwardPolicy() {
    PipeOpenPolicy p;
    // A busy GUI pipe is tried again for as long as the bound allows: other processes may take
    // its instances for a moment (the GUI cuts them at once), and an instance that frees may go
    // to one of them before this wait ends.
    p.Attempts = kUnlimitedAttempts;
    p.OnFailedWait = FailedWait::TriesAgain;
    p.DeadlineMs = kForwardTimeoutMs; // the GUI's own default wait could be anything
    // Identification only: the GUI may learn who writes, but cannot act as the service.
    p.FileFlags = kPipeFileAttributeNormal | kPipeFileOverlapped | kPipeFileIdentificationOnly;
    return p;
}
} // namespace

void SetGuiPipeName(const wchar_t* name) {
    g_guiPipeName = name ? name : kGuiPipeName;
}
const wchar_t* GetGuiPipeName() {
    return g_guiPipeName;
}

DWORD ForwardToGui(const uint8_t* message, DWORD length, HANDLE abortEvent, HANDLE ioEvent) {
    const ULONGLONG start = ::GetTickCount64();
    UniqueFile pipe;
    const DWORD opened = OpenPipeClient(GetGuiPipeName(), GENERIC_WRITE, ForwardPolicy(), pipe);
    if (opened != 0)
        return opened;
    const ULONGLONG spent = ::GetTickCount64() - start;
    CPipeIo io(pipe.get(), spent >= kForwardTimeoutMs ? 0 : DWORD(kForwardTimeoutMs - spent), abortEvent,
               ioEvent);
    return io.WriteAll(message, length);
}

} // namespace corvel
