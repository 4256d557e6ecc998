#include "NotificationServer.h"

#include "NotificationMessage.h"

#include <process.h>

#include <iterator>
#include <memory>

namespace corvel {

namespace {
// Not in MinGW's headers; Windows' value (Vista and later).
constexpr DWORD kPipeRejectRemoteClients = 0x00000008;
constexpr DWORD kPipeDefaultTimeoutMs = 1000;
// One byte more than the longest message: a client that sends that much sent too much.
constexpr DWORD kReadCapacity = 9;
} // namespace

DWORD CNotificationServer::CreateInstances() {
    BYTE system[SECURITY_MAX_SID_SIZE];
    DWORD systemSize = sizeof system;
    if (!::CreateWellKnownSid(WinLocalSystemSid, nullptr, system, &systemSize))
        return LastErrorOr1359();
    PSID user = nullptr;
    DWORD result = ReadTokenSid(TokenUser, m_user, user);
    if (result != 0)
        return result;
    // CreateFileW asks for the attributes beside the access it is given.
    const PipeAccessEntry entries[] = {
        {true, user, GENERIC_ALL},
        {true, system, GENERIC_WRITE | FILE_READ_ATTRIBUTES},
    };
    if ((result = m_security.Build(entries, std::size(entries))) != 0)
        return result;
    std::vector<UniqueFile> pipes;
    for (size_t i = 0; i < kNotificationInstances; ++i) {
        // The first instance only when the name is free: a name that someone else serves is
        // theirs, not ours to share.
        const DWORD first = i == 0 ? FILE_FLAG_FIRST_PIPE_INSTANCE : 0;
        UniqueFile pipe(::CreateNamedPipeW(
            kGuiPipeName, PIPE_ACCESS_INBOUND | first | FILE_FLAG_OVERLAPPED,
            PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | kPipeRejectRemoteClients,
            DWORD(kNotificationInstances), 0, 0, kPipeDefaultTimeoutMs, m_security.Attributes()));
        if (!pipe)
            return LastErrorOr1359();
        pipes.push_back(std::move(pipe));
    }
    m_notifyPipes = std::move(pipes);
    return 0;
}

DWORD CNotificationServer::StartNotificationServer(HWND target) {
    if (!NotifySemaphore) {
        NotifySemaphore.reset(::CreateSemaphoreW(nullptr, 1, 1, nullptr));
        if (!NotifySemaphore)
            return LastErrorOr1359();
    }
    if (!m_notifyPipes.empty())
        return 0;
    UniqueEvent stop(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!stop)
        return LastErrorOr1359();
    if (const DWORD created = CreateInstances())
        return created;
    m_stopEvent = std::move(stop);
    NotifyRunning = 1;
    NotifyTarget = target; // no thread runs yet
    OnPipeCreated();
    NotifyThread.reset(reinterpret_cast<HANDLE>(
        _beginthreadex(nullptr, 0, &CNotificationServer::ThreadMain, this, 0, nullptr)));
    if (!NotifyThread) {
        NotifyRunning = 0;
        m_notifyPipes.clear();
        m_stopEvent.reset();
        return ERROR_INTERNAL_ERROR;
    }
    return 0;
}

void CNotificationServer::StopNotificationServer() {
    if (!m_notifyPipes.empty()) {
        NotifyRunning = 0;
        if (NotifyThread) {
            // Every wait of the thread includes the stop event, so this returns promptly; no
            // connection of our own is needed to wake it (and it would count as a stranger's).
            ::SetEvent(m_stopEvent.get());
            ::WaitForSingleObject(NotifyThread.get(), INFINITE);
            NotifyThread.reset();
        }
        m_notifyPipes.clear();
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

DWORD CNotificationServer::Serve(CPipeIo& io, CPipeClientCheck& check) {
    // Before any read: a stranger's bytes are never looked at.
    if (check.Check(io.Pipe()) != 0)
        return 0;
    uint8_t bytes[kReadCapacity];
    DWORD length = 0;
    if (!ReadMessage(io, bytes, sizeof bytes, length))
        return ERROR_OPERATION_ABORTED;
    const NotificationPost post = NotificationMessageFor(bytes, length);
    if (!post.Post)
        return 0;
    // Taking the target and posting to it is one step against SetNotificationWindow.
    if (::WaitForSingleObject(NotifySemaphore.get(), INFINITE) != WAIT_OBJECT_0)
        return LastErrorOr1359();
    ::PostMessageW(NotifyTarget, post.Message, post.WParam, static_cast<LPARAM>(post.LParam));
    if (!::ReleaseSemaphore(NotifySemaphore.get(), 1, nullptr))
        return LastErrorOr1359();
    return 0;
}

DWORD CNotificationServer::NotificationThread() {
    const size_t count = m_notifyPipes.size();
    // Every wait of the thread ends at once when the stop event is set. The objects live on this
    // thread, and a wait for a client that is still under way ends with them.
    std::vector<std::unique_ptr<CPipeIo>> ios;
    std::vector<HANDLE> waits;
    for (const UniqueFile& pipe : m_notifyPipes) {
        ios.push_back(std::make_unique<CPipeIo>(pipe.get(), kPipeIoNoDeadline, m_stopEvent.get()));
        waits.push_back(ios.back()->Event());
    }
    waits.push_back(m_stopEvent.get());
    std::vector<bool> connected(count, false);
    // A client that came before the wait (and one that has gone again, which may have left its
    // message) is served like any other.
    auto listen = [&](size_t i) -> DWORD {
        const DWORD started = ios[i]->BeginConnect();
        connected[i] = started == 0 || started == ERROR_NO_DATA;
        return connected[i] || started == ERROR_IO_PENDING ? 0 : started;
    };
    for (size_t i = 0; i < count; ++i)
        if (const DWORD error = listen(i))
            return error;
    CPipeClientCheck check;
    size_t first = 0;
    while (NotifyRunning != 0) {
        bool any = false;
        for (size_t i = 0; i < count && !any; ++i)
            any = connected[i];
        if (!any) {
            const DWORD w = ::WaitForMultipleObjects(DWORD(waits.size()), waits.data(), FALSE, INFINITE);
            if (w == WAIT_OBJECT_0 + count)
                return 0;
            if (w >= WAIT_OBJECT_0 + count)
                return LastErrorOr1359();
        }
        // Every instance whose client came has its turn, from a first one that moves on, so that
        // no client waits behind another that keeps coming back.
        for (size_t k = 0; k < count; ++k) {
            const size_t i = (first + k) % count;
            if (!connected[i]) {
                if (::WaitForSingleObject(waits[i], 0) != WAIT_OBJECT_0)
                    continue;
                const DWORD finished = ios[i]->FinishConnect();
                if (finished != 0 && finished != ERROR_NO_DATA)
                    return finished;
            }
            connected[i] = false;
            const DWORD served = Serve(*ios[i], check);
            ::DisconnectNamedPipe(m_notifyPipes[i].get());
            if (served == ERROR_OPERATION_ABORTED || NotifyRunning == 0)
                return 0;
            if (served != 0)
                return served;
            if (const DWORD error = listen(i))
                return error;
        }
        first = (first + 1) % count;
    }
    return 0;
}

} // namespace corvel
