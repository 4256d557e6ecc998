#include "NotificationServer.h"

#include "NotificationMessage.h"

#include <process.h>

namespace corvel {

namespace {
// Not in MinGW's headers; Windows' value (Vista and later).
constexpr DWORD kPipeRejectRemoteClients = 0x00000008;
constexpr DWORD kPipeDefaultTimeoutMs = 1000;
// One byte more than the longest message: a client that sends that much sent too much.
constexpr DWORD kReadCapacity = 9;
} // namespace

DWORD CNotificationServer::StartNotificationServer(HWND target) {
    if (!NotifySemaphore) {
        NotifySemaphore.reset(::CreateSemaphoreW(nullptr, 1, 1, nullptr));
        if (!NotifySemaphore)
            return LastErrorOr1359();
    }
    if (NotifyPipe)
        return 0;
    // The first instance only: a name that someone else serves is theirs, not ours to share.
    UniqueFile pipe(::CreateNamedPipeW(
        kNotificationPipeName, PIPE_ACCESS_INBOUND | FILE_FLAG_FIRST_PIPE_INSTANCE | FILE_FLAG_OVERLAPPED,
        PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | kPipeRejectRemoteClients, 1, 0, 0,
        kPipeDefaultTimeoutMs, nullptr));
    if (!pipe)
        return LastErrorOr1359();
    UniqueEvent stop(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!stop)
        return LastErrorOr1359();
    NotifyPipe = std::move(pipe);
    m_stopEvent = std::move(stop);
    NotifyRunning = 1;
    NotifyTarget = target; // no thread runs yet
    OnPipeCreated();
    NotifyThread.reset(reinterpret_cast<HANDLE>(
        _beginthreadex(nullptr, 0, &CNotificationServer::ThreadMain, this, 0, nullptr)));
    if (!NotifyThread) {
        NotifyRunning = 0;
        NotifyPipe.reset();
        m_stopEvent.reset();
        return ERROR_INTERNAL_ERROR;
    }
    return 0;
}

void CNotificationServer::StopNotificationServer() {
    if (NotifyPipe) {
        NotifyRunning = 0;
        if (NotifyThread) {
            ::SetEvent(m_stopEvent.get());
            // Every wait of the thread includes the stop event, so this returns promptly.
            ::WaitForSingleObject(NotifyThread.get(), INFINITE);
            NotifyThread.reset();
        }
        NotifyPipe.reset();
        m_stopEvent.reset();
    }
    NotifySemaphore.reset();
}

HWND CNotificationServer::SetNotificationWindow(HWND window) {
    const HWND previous = NotifyTarget; // written on this thread only
    if (!NotifySemaphore) {
        NotifyTarget = window; // no server: no thread reads it
        return previous;
    }
    const DWORD wait = ::WaitForSingleObject(NotifySemaphore.get(), INFINITE);
    NotifyTarget = window;
    if (wait == WAIT_OBJECT_0)
        ::ReleaseSemaphore(NotifySemaphore.get(), 1, nullptr);
    return previous;
}

unsigned __stdcall CNotificationServer::ThreadMain(void* self) {
    return static_cast<unsigned>(static_cast<CNotificationServer*>(self)->NotificationThread());
}

DWORD CNotificationServer::AwaitClient(CPipeIo& io) {
    const DWORD error = io.Connect();
    // A client that came before the call is served like any other; one that has already gone
    // again (ERROR_NO_DATA) may have left its message.
    return error == ERROR_NO_DATA ? 0 : error;
}

bool CNotificationServer::ReadMessage(CPipeIo& io, uint8_t* bytes, DWORD capacity, DWORD& length) const {
    length = 0;
    io.RestartDeadline(m_readTimeoutMs);
    // The message is all the client writes before it closes: one read may return part of it.
    while (length < capacity) {
        DWORD count = 0;
        const DWORD error = io.ReadSome(bytes + length, capacity - length, count);
        if (error == ERROR_OPERATION_ABORTED)
            return false;
        if (error != 0 || count == 0)
            break; // closed, failed or timed out: what came so far is the message
        length += count;
    }
    return true;
}

DWORD CNotificationServer::NotificationThread() {
    // Every wait of the thread ends at once when the stop event is set.
    CPipeIo io(NotifyPipe.get(), kPipeIoNoDeadline, m_stopEvent.get());
    while (NotifyRunning != 0) {
        const DWORD connected = AwaitClient(io);
        if (connected == ERROR_OPERATION_ABORTED)
            return 0;
        if (connected != 0)
            return connected;
        uint8_t bytes[kReadCapacity];
        DWORD length = 0;
        const bool stopped = !ReadMessage(io, bytes, sizeof bytes, length);
        if (!stopped) {
            const NotificationPost post = NotificationMessageFor(bytes, length);
            if (post.Post) {
                // Taking the target and posting to it is one step against SetNotificationWindow.
                if (::WaitForSingleObject(NotifySemaphore.get(), INFINITE) != WAIT_OBJECT_0)
                    return LastErrorOr1359();
                ::PostMessageW(NotifyTarget, post.Message, post.WParam, static_cast<LPARAM>(post.LParam));
                if (!::ReleaseSemaphore(NotifySemaphore.get(), 1, nullptr))
                    return LastErrorOr1359();
            }
        }
        ::DisconnectNamedPipe(NotifyPipe.get());
        if (stopped)
            return 0;
    }
    return 0;
}

} // namespace corvel
