#pragma once
// The GUI's server of "\\.\pipe\corvelgui": one inbound instance and one thread that takes one
// message per connection and posts it to the window that currently follows the connection.
#include "Handles.h"
#include "PipeIo.h"

#include <windows.h>

#include <atomic>

namespace corvel {

constexpr const wchar_t* kNotificationPipeName = L"\\\\.\\pipe\\corvelgui";
// A client that connects and writes nothing (or never closes) is given up after this long.
constexpr DWORD kNotificationReadTimeoutMs = 2000;

// Owned by the application object, which offers the three operations to the windows. All three
// are called on the main thread.
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
    static unsigned __stdcall ThreadMain(void* self);
    DWORD NotificationThread();
    // 0 when a client is connected, ERROR_OPERATION_ABORTED when stopped, or the error that
    // ends the thread.
    static DWORD AwaitClient(CPipeIo& io);
    // What the client wrote until it closed or the read bound passed; false when stopped.
    bool ReadMessage(CPipeIo& io, uint8_t* bytes, DWORD capacity, DWORD& length) const;

    // The notification thread reads NotifyTarget only while it holds NotifySemaphore; the main
    // thread changes it only while it holds it (or before the thread exists).
    HWND NotifyTarget = nullptr;
    UniqueFile NotifyPipe;
    // Written by the main thread, read by the notification thread after each connection.
    std::atomic<LONG> NotifyRunning{0};
    UniqueHandle<> NotifyThread;
    UniqueHandle<> NotifySemaphore;
    // Set by StopNotificationServer: ends every wait of the thread at once.
    UniqueEvent m_stopEvent;
    const DWORD m_readTimeoutMs;
};

} // namespace corvel
