#pragma once
// What the connection engine needs besides RAS: pauses, a way to send its notifications and
// the stored records. The service uses the real ones below; tests put their own in place
// (testdoubles/rasfakes: VirtualClock.h, CapturingSink.h, FakeVpnConfigSource.h).
#include "PipeNames.h"

#include <windows.h>

#include <cstdint>

namespace corvel {

// The pauses of the connect thread's ticks and after a hang-up.
class CEngineClock {
public:
    virtual ~CEngineClock() = default;
    virtual void Pause(DWORD milliseconds) = 0;
};

class CSystemClock : public CEngineClock {
public:
    void Pause(DWORD milliseconds) override { ::Sleep(milliseconds); }
};

// The longest a connection attempt may dial: 82 ticks of 500 ms.
inline constexpr DWORD kAttemptTimeLimitMs = 82 * 500;

// How long one frame may wait while the pipe's instances are all busy: a busy pipe is no failed
// notification, so it waits until the attempt ends (its end event: a disconnect request or a
// stop) or for as long as an attempt may dial, never longer.
struct NotifyBound {
    HANDLE EndEvent = nullptr; // manual-reset; null: none
    DWORD TimeLimitMs = kAttemptTimeLimitMs;
};

// Where the engine's VpnNotifyMessage and RasErrMsgMessage frames go.
class CNotificationSink {
public:
    virtual ~CNotificationSink() = default;
    // 0; ERROR_OPERATION_ABORTED (995) when the end event came first; or the Win32 error that
    // kept the frame from being written whole (after the time limit, the busy pipe's 231).
    virtual DWORD Send(const uint8_t* frame, DWORD length, const NotifyBound& bound) = 0;
};

// The service's own command pipe: a worker there ends the connection when it has to and
// forwards the frame to the user's program. One connection per frame, one write, no reply.
class CCommandPipeSink : public CNotificationSink {
public:
    explicit CCommandPipeSink(const wchar_t* pipeName = kServicePipeName) : m_pipeName(pipeName) {}
    DWORD Send(const uint8_t* frame, DWORD length, const NotifyBound& bound) override;

private:
    const wchar_t* m_pipeName;
};

// The stored connection settings.
class CVpnConfigSource {
public:
    virtual ~CVpnConfigSource() = default;
    // Writes the 1126-byte VPNCONFIG image of `index`; 87 for an index of 20 or more.
    virtual DWORD GetVpnConfig(uint8_t* target, uint8_t index) = 0;
};

// CDotDatSemaphore::GetInstance(), the service's store.
class CStoreConfigSource : public CVpnConfigSource {
public:
    DWORD GetVpnConfig(uint8_t* target, uint8_t index) override;
};

} // namespace corvel
