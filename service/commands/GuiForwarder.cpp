#include "GuiForwarder.h"

#include "Handles.h"
#include "PipeIo.h"

#include <atomic>

namespace corvel {

namespace {
std::atomic<const wchar_t*> g_guiPipeName{kGuiPipeName};
// A busy GUI pipe is waited for twice at most, and the whole forward (the waits and the
// write) ends by this bound: a GUI that does not read must not hold the worker, or a burst
// of notifications would take every worker from the clients. The GUI reads at once.
constexpr DWORD kForwardTimeoutMs = 500;
constexpr int kBusyAttempts = 2;
} // namespace

void SetGuiPipeName(const wchar_t* name) {
    g_guiPipeName = name ? name : kGuiPipeName;
}
const wchar_t* GetGuiPipeName() {
    return g_guiPipeName;
}

DWORD ForwardToGui(const uint8_t* message, DWORD length, HANDLE abortEvent) {
    const wchar_t* name = GetGuiPipeName();
    const ULONGLONG deadline = ::GetTickCount64() + kForwardTimeoutMs;
    auto remaining = [&] {
        const ULONGLONG now = ::GetTickCount64();
        return now >= deadline ? DWORD(0) : DWORD(deadline - now);
    };
    UniqueFile pipe;
    for (int attempt = 0;; ++attempt) {
        // Identification only: the GUI may learn who writes, but cannot act as the service.
        pipe.reset(::CreateFileW(name, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT |
                                     SECURITY_IDENTIFICATION,
                                 nullptr));
        if (pipe)
            break;
        const DWORD e = LastErrorOr1359();
        // The GUI's own default wait could be anything: bound it here.
        // (A wait of 0 would mean the pipe's own default: never ask for it.)
        if (e != ERROR_PIPE_BUSY || attempt + 1 >= kBusyAttempts || remaining() == 0 ||
            !::WaitNamedPipeW(name, remaining()))
            return e;
    }
    CPipeIo io(pipe.get(), abortEvent, remaining());
    return io.WriteAll(message, length);
}

} // namespace corvel
