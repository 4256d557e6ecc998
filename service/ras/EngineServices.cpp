#include "EngineServices.h"

#include "DotDat.h"
#include "Handles.h"
#include "PipeClientOpen.h"
#include "PipeIo.h"

namespace corvel {

DWORD CCommandPipeSink::Send(const uint8_t* frame, DWORD length, const NotifyBound& bound) {
    // Any local process can keep every instance busy for a while: that is waited out, not taken
    // for a failed notification, which would end the connection unannounced.
    const ULONGLONG start = ::GetTickCount64();
    UniqueFile pipe;
    const DWORD opened = OpenPipeClient(m_pipeName, GENERIC_READ | GENERIC_WRITE,
                                        NotifierPipePolicy(bound.TimeLimitMs), pipe, bound.EndEvent);
    if (opened != 0)
        return opened;
    // The write within what is left of the same bound.
    const ULONGLONG spent = ::GetTickCount64() - start;
    const DWORD left = spent >= bound.TimeLimitMs ? 1 : DWORD(bound.TimeLimitMs - spent);
    return CPipeIo(pipe.get(), left, bound.EndEvent).WriteAll(frame, length);
}

DWORD CStoreConfigSource::GetVpnConfig(uint8_t* target, uint8_t index) {
    return CDotDatSemaphore::GetInstance().GetVpnConfig(target, index);
}

} // namespace corvel
