#include "EngineServices.h"

#include "DotDat.h"
#include "Handles.h"

namespace corvel {

DWORD CCommandPipeSink::Send(const uint8_t* frame, DWORD length) {
    for (;;) {
        // Identification only: the service's own server learns who writes, nothing more.
        UniqueFile pipe(::CreateFileW(m_pipeName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                      SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr));
        if (!pipe) {
            const DWORD error = LastErrorOr1359();
            if (error != ERROR_PIPE_BUSY)
                return error;
            if (!::WaitNamedPipeW(m_pipeName, NMPWAIT_USE_DEFAULT_WAIT))
                return LastErrorOr1359();
            continue;
        }
        DWORD written = 0;
        if (!::WriteFile(pipe.get(), frame, length, &written, nullptr))
            return LastErrorOr1359();
        return written == length ? 0 : ERROR_WRITE_FAULT;
    }
}

DWORD CStoreConfigSource::GetVpnConfig(uint8_t* target, uint8_t index) {
    return CDotDatSemaphore::GetInstance().GetVpnConfig(target, index);
}

} // namespace corvel
