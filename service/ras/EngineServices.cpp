#include "EngineServices.h"

#include "DotDat.h"
#include "Handles.h"
#include "PipeClientOpen.h"
#include "PipeIo.h"

namespace corvel {

DWORD CCommandPipeSink::Send(const uint8_t* frame, DWORD length) {
    // Waits while busy, for as long as the instances stay busy; a failed wait is the error.
    PipeOpenPolicy policy;
    policy.Attempts = kUnlimitedAttempts;
    policy.OnFailedWait = FailedWait::Ends;
    // Identification only: the service's own server learns who writes, nothing more.
    policy.FileFlags = kPipeFileAttributeNormal | kPipeFileOverlapped | kPipeFileIdentificationOnly;
    UniqueFile pipe;
    const DWORD opened = OpenPipeClient(m_pipeName, GENERIC_READ | GENERIC_WRITE, policy, pipe);
    if (opened != 0)
        return opened;
    return CPipeIo(pipe.get(), kPipeIoNoDeadline).WriteAll(frame, length);
}

DWORD CStoreConfigSource::GetVpnConfig(uint8_t* target, uint8_t index) {
    return CDotDatSemaphore::GetInstance().GetVpnConfig(target, index);
}

} // namespace corvel
