#pragma once
// The GUI's server of the notification pipe: a few inbound instances and one thread that takes
// one message per connection from the service and posts it to the window that currently
// follows the connection. Only the service is listened to: any other writer is cut unread.
#include "Handles.h"
#include "PipeClientCheck.h"
#include "PipeIo.h"
#include "PipeNames.h"
#include "PipeSecurityDescriptor.h"

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <vector>

namespace corvel {

// The service writes its 7 or 8 bytes in one write right after it connects, and gives up a
// forward after half a second: a writer that is slower than this is given up.
constexpr DWORD kNotificationReadTimeoutMs = 100;
// Strangers are cut at once, so one of them holds at most one instance at a time: the service
// finds a free one beside a few that connect in a loop. All of them exist while the server
// runs, so nobody else can add an instance of the name.
constexpr size_t kNotificationInstances = 8;

// Owned by the application object, which stops it at the end; the main frame starts it with the
// first states and lets the windows choose the target (CMainFrameServices::SetNotificationWindow).
// All three operations are called on the main thread.
class CNotificationServer {
public:
    explicit CNotificationServer(DWORD readTimeoutMs = kNotificationReadTimeoutMs)
        : m_readTimeoutMs(readTimeoutMs) {}
    virtual ~CNotificationServer() { StopNotificationServer(); }
    CNotificationServer(const CNotificationServer&) = delete;
    CNotificationServer& operator=(const CNotificationServer&) = delete;

    // Starts the server with `target` as the first target. 0, or the error; 1359 when the thread
    // cannot be started. While a server runs this changes nothing (the target stays). A pipe name
    // already served, by another process too, fails the start: the next call tries again.
    DWORD StartNotificationServer(HWND target);
    // Ends the thread, also from inside a read, and closes the pipe and the semaphore.
    void StopNotificationServer();
    // Every message accepted after this call goes to `window`, none to the previous target,
    // which is returned (so that a window can give the target back when it is done).
    HWND SetNotificationWindow(HWND window);

protected:
    // After the pipe exists and before the thread runs (a client may connect in between).
    virtual void OnPipeCreated() {}

private:
    DWORD CreateInstances();
    static unsigned __stdcall ThreadMain(void* self);
    DWORD NotificationThread();
    // One connection: ERROR_OPERATION_ABORTED when stopped, an error that ends the thread, or 0.
    DWORD Serve(CPipeIo& io, CPipeClientCheck& check);
    // What the client wrote until it closed or the read bound passed; false when stopped.
    bool ReadMessage(CPipeIo& io, uint8_t* bytes, DWORD capacity, DWORD& length) const;

    // The notification thread reads NotifyTarget only while it holds NotifySemaphore; the main
    // thread changes it only while it holds it (or before the thread exists).
    HWND NotifyTarget = nullptr;
    // The instances; the first owns the name. Empty while no server runs.
    std::vector<UniqueFile> m_notifyPipes;
    // Written by the main thread, read by the notification thread after each connection.
    std::atomic<LONG> NotifyRunning{0};
    UniqueHandle<> NotifyThread;
    UniqueHandle<> NotifySemaphore;
    // Set by StopNotificationServer: ends every wait of the thread at once.
    UniqueEvent m_stopEvent;
    // SYSTEM (the service) may write, this program's user may serve; nobody else may open it.
    CPipeSecurityDescriptor m_security;
    std::vector<uint8_t> m_user;
    const DWORD m_readTimeoutMs;
};

} // namespace corvel
