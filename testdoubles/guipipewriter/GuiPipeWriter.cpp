// corvel-guiwriter: a stranger on the notification pipe.
//   write HEX             one connection: the bytes in one write, then held until the server cuts
//                         it; exit code 0 when the write went through, else its error
//   hold-once             one connection that writes nothing, held until the server cuts it;
//                         0 once cut, 1460 when still held after 30 s
//   hold THREADS STOP READY
//                         each thread connects, writes nothing and comes back after each cut,
//                         until the named event STOP is set; READY is set once every thread
//                         has had its first connection; prints the connections made
//   flood COUNT HEX READY COUNT connections in a row, each the bytes in one write and a close at
//                         once; READY (unless "-") is set after the first; prints the
//                         connections made and the time taken
#include "Handles.h"
#include "PipeNames.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace corvel;

constexpr DWORD kHeldAtMostMs = 30000;

bool ParseHex(const wchar_t* text, std::vector<uint8_t>& bytes) {
    const std::wstring t(text);
    if (t.size() % 2 != 0)
        return false;
    for (size_t i = 0; i < t.size(); i += 2) {
        wchar_t* end = nullptr;
        const std::wstring pair = t.substr(i, 2);
        const unsigned long v = std::wcstoul(pair.c_str(), &end, 16);
        if (end != pair.c_str() + 2)
            return false;
        bytes.push_back(uint8_t(v));
    }
    return true;
}

// Opens the pipe as fast as it can, waiting while every instance is busy; false once `stop`
// is set or `deadline` has passed.
bool Open(UniqueFile& pipe, HANDLE stop, ULONGLONG deadline) {
    for (;;) {
        if (stop && ::WaitForSingleObject(stop, 0) == WAIT_OBJECT_0)
            return false;
        if (::GetTickCount64() >= deadline)
            return false;
        pipe.reset(::CreateFileW(kGuiPipeName, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED,
                                 nullptr));
        if (pipe)
            return true;
        if (::GetLastError() == ERROR_PIPE_BUSY)
            ::WaitNamedPipeW(kGuiPipeName, 100);
        else
            ::Sleep(1); // not there (yet)
    }
}

// The server end has let go once the client end's state can no longer be read.
bool Cut(HANDLE pipe) {
    DWORD state = 0;
    return !::GetNamedPipeHandleStateW(pipe, &state, nullptr, nullptr, nullptr, nullptr, 0);
}

// Holds the connection until the server cuts it, `stop` is set or `ms` passed; true when cut.
bool HoldUntilCut(HANDLE pipe, HANDLE stop, DWORD ms) {
    const ULONGLONG until = ::GetTickCount64() + ms;
    while (!Cut(pipe)) {
        if (::GetTickCount64() >= until)
            return false;
        if (stop && ::WaitForSingleObject(stop, 0) == WAIT_OBJECT_0)
            return false;
        ::Sleep(1);
    }
    return true;
}

// One write, bounded: a server that never reads does not hold it.
DWORD Write(HANDLE pipe, const std::vector<uint8_t>& bytes, DWORD ms) {
    UniqueEvent done(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    OVERLAPPED ov = {};
    ov.hEvent = done.get();
    DWORD written = 0;
    if (::WriteFile(pipe, bytes.data(), DWORD(bytes.size()), nullptr, &ov))
        return ::GetOverlappedResult(pipe, &ov, &written, TRUE) ? 0 : LastErrorOr1359();
    DWORD error = ::GetLastError();
    if (error != ERROR_IO_PENDING)
        return error;
    if (::WaitForSingleObject(done.get(), ms) != WAIT_OBJECT_0)
        ::CancelIoEx(pipe, &ov);
    if (::GetOverlappedResult(pipe, &ov, &written, TRUE))
        return 0;
    return LastErrorOr1359();
}

int WriteOnce(const std::vector<uint8_t>& bytes) {
    UniqueFile pipe;
    if (!Open(pipe, nullptr, ::GetTickCount64() + kHeldAtMostMs))
        return ERROR_TIMEOUT;
    const ULONGLONG since = ::GetTickCount64();
    const DWORD written = Write(pipe.get(), bytes, kHeldAtMostMs);
    const bool cut = HoldUntilCut(pipe.get(), nullptr, kHeldAtMostMs);
    std::printf("write: %lu, %s after %llu ms\n", written, cut ? "cut" : "still held",
                ::GetTickCount64() - since);
    return int(written);
}

int HoldOnce() {
    UniqueFile pipe;
    if (!Open(pipe, nullptr, ::GetTickCount64() + kHeldAtMostMs))
        return ERROR_TIMEOUT;
    const ULONGLONG since = ::GetTickCount64();
    const bool cut = HoldUntilCut(pipe.get(), nullptr, kHeldAtMostMs);
    std::printf("hold-once: %s after %llu ms\n", cut ? "cut" : "still held", ::GetTickCount64() - since);
    return cut ? 0 : ERROR_TIMEOUT;
}

int Hold(int threads, const wchar_t* stopName, const wchar_t* readyName) {
    UniqueHandle<> stop(::OpenEventW(SYNCHRONIZE, FALSE, stopName));
    UniqueHandle<> ready(::OpenEventW(EVENT_MODIFY_STATE, FALSE, readyName));
    if (!stop || !ready)
        return int(LastErrorOr1359());
    std::atomic<unsigned> connections{0};
    std::atomic<int> started{0};
    std::vector<std::thread> holders;
    for (int i = 0; i < threads; ++i) {
        holders.emplace_back([&] {
            const ULONGLONG never = ~0ULL;
            UniqueFile pipe;
            bool first = true;
            while (Open(pipe, stop.get(), never)) {
                ++connections;
                if (first && ++started == threads)
                    ::SetEvent(ready.get());
                first = false;
                HoldUntilCut(pipe.get(), stop.get(), INFINITE);
                pipe.reset();
            }
        });
    }
    for (std::thread& t : holders)
        t.join();
    std::printf("hold: %d threads, %u connections\n", threads, connections.load());
    return 0;
}

int Flood(unsigned count, const std::vector<uint8_t>& bytes, const wchar_t* readyName) {
    UniqueHandle<> ready;
    if (std::wstring(readyName) != L"-") {
        ready.reset(::OpenEventW(EVENT_MODIFY_STATE, FALSE, readyName));
        if (!ready)
            return int(LastErrorOr1359());
    }
    const ULONGLONG since = ::GetTickCount64();
    unsigned opened = 0, written = 0;
    for (unsigned i = 0; i < count; ++i) {
        UniqueFile pipe;
        if (!Open(pipe, nullptr, ::GetTickCount64() + 5000))
            break;
        if (++opened == 1 && ready)
            ::SetEvent(ready.get());
        written += Write(pipe.get(), bytes, 1000) == 0;
    }
    std::printf("flood: %u of %u connections, %u writes taken, %llu ms\n", opened, count, written,
                ::GetTickCount64() - since);
    return opened == count ? 0 : ERROR_TIMEOUT;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    const std::wstring mode = argc > 1 ? argv[1] : L"";
    std::vector<uint8_t> bytes;
    if (mode == L"write" && argc == 3 && ParseHex(argv[2], bytes))
        return WriteOnce(bytes);
    if (mode == L"hold-once" && argc == 2)
        return HoldOnce();
    if (mode == L"hold" && argc == 5)
        return Hold(std::max(1, _wtoi(argv[2])), argv[3], argv[4]);
    if (mode == L"flood" && argc == 5 && ParseHex(argv[3], bytes))
        return Flood(unsigned(_wtoi(argv[2])), bytes, argv[4]);
    std::fprintf(stderr, "usage: corvel-guiwriter write HEX | hold-once | hold THREADS STOP READY | "
                         "flood COUNT HEX READY\n");
    return ERROR_INVALID_PARAMETER;
}
