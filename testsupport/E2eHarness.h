#pragma once
// What the integration tests, the probe and the benchmark need to run the shipped
// CORVELSVC.exe under the service manager and talk to it: a folder inside the prefix with
// the programs copied in, the service's installation and its states, a command-pipe client
// with deadlines, and a test-owned notification pipe that records notifications.
#include "Handles.h"
#include "PipeNames.h"

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace corvel::e2e {

inline constexpr wchar_t kServiceName[] = L"CORVELSVC";

// A path of the build tree as the programs under Wine see it (drive Z: maps "/").
std::wstring ToWindowsPath(const char* unixPath);
std::wstring FolderOf(const std::wstring& path); // with its final backslash
std::wstring FileNameOf(const std::wstring& path);

DWORD ReadWholeFile(const std::wstring& path, std::vector<uint8_t>& content);
DWORD WriteWholeFile(const std::wstring& path, const std::vector<uint8_t>& content);
// Writes beside the file and renames over it: a reader that has the file open (the scripted
// RAS reads its script at every call, sharing delete) sees the old text or the new, and the
// write never meets its handle.
DWORD ReplaceWholeFile(const std::wstring& path, const std::string& content);
// -1 when the file does not exist.
long long FileSize(const std::wstring& path);

// A fresh folder for one test inside the prefix, under C:\corvel-e2e\; whatever an earlier
// run left there is removed first.
class CTestFolder {
public:
    explicit CTestFolder(const std::wstring& name);
    DWORD Create();
    // Copies a file in under its own name (or the given one).
    DWORD CopyIn(const std::wstring& source, const std::wstring& targetName = {});
    const std::wstring& Path() const { return m_path; } // with its final backslash
    std::wstring File(const std::wstring& name) const { return m_path + name; }

private:
    std::wstring m_path;
};

// Makes a service process of the given program load a "rasapi32.dll" from its own folder
// instead of Wine's built-in one. The override is per program name, so other programs of
// the prefix keep the built-in DLL.
DWORD SetNativeRasOverride(const std::wstring& programName);

// A service name of its own for each installation in this process ("CORVELSVC_E2E_<n>"): a
// stop control still pending for an earlier installation keeps that name marked for
// deletion. Under Wine a single-service program runs whatever name it was installed as.
std::wstring UniqueServiceName();

// One installed service. Everything waits with a deadline: status is polled (the service
// manager offers no event) every 50 ms.
class CServiceControl {
public:
    CServiceControl() = default;
    ~CServiceControl(); // stops (bounded) and deletes what it installed
    CServiceControl(const CServiceControl&) = delete;
    CServiceControl& operator=(const CServiceControl&) = delete;

    DWORD Install(const std::wstring& name, const std::wstring& binaryPath,
                  DWORD startType = SERVICE_DEMAND_START);
    DWORD Start();
    // 0 once the state is reached; 1460 (ERROR_TIMEOUT) when the deadline passed first.
    DWORD WaitForState(DWORD state, DWORD timeoutMs, SERVICE_STATUS_PROCESS* last = nullptr);
    DWORD Query(SERVICE_STATUS_PROCESS& status);
    // Sends STOP and waits for STOPPED. The control goes out on a thread of its own, and only
    // the state is waited for: when the handler itself reports STOPPED, Wine may end the
    // process before the handler's answer reaches the manager, and ControlService then
    // returns 1053 only after its own time-out although the service has stopped.
    // Once STOPPED, the service's process must end within kProcessEndMs; one that does not
    // (a hang in its shut-down) is terminated so that the next installation can start, and
    // Stop returns WAIT_TIMEOUT (258).
    DWORD Stop(DWORD timeoutMs, SERVICE_STATUS_PROCESS* last = nullptr);
    static constexpr DWORD kProcessEndMs = 5000;
    // Deletes the service and waits until its name is free again.
    DWORD Remove();
    bool Installed() const { return bool(m_service); }

    // Install, Start, wait for RUNNING and for the command pipe (RUNNING is reported before
    // the pipe instances exist) in one.
    DWORD InstallAndRun(const std::wstring& name, const std::wstring& binaryPath, DWORD timeoutMs = 15000);

private:
    UniqueServiceHandle m_manager;
    UniqueServiceHandle m_service;
    std::wstring m_name;
};

// A client of the command pipe, as the real clients use it: one connection per
// request. Reads end at a deadline, so a service that stays silent fails the test instead
// of hanging it.
class CCommandClient {
public:
    explicit CCommandClient(DWORD timeoutMs = 20000) : m_timeoutMs(timeoutMs) {}

    // Writes the request and reads the whole reply (head, then DataLength - 4 bytes).
    // 109 (ERROR_BROKEN_PIPE) or 232 when the service closed without a reply.
    DWORD Transact(const std::vector<uint8_t>& request, std::vector<uint8_t>& reply) const;
    // Writes a request that has no reply and closes.
    DWORD Send(const std::vector<uint8_t>& request) const;
    // Writes the request and expects the service to close without any reply byte.
    DWORD ExpectNoReply(const std::vector<uint8_t>& request) const;

    // Opens the pipe for overlapped I/O (waiting with WaitNamedPipe while it is busy, at most
    // the deadline; then 231). A missing pipe gives 2 at once.
    DWORD Open(UniqueFile& pipe) const;
    // Each bounded by the deadline (then 1460).
    DWORD WriteAll(HANDLE pipe, const std::vector<uint8_t>& bytes) const;
    // Reads exactly count bytes (byte-mode reads may return fewer), or fails; 109 when the
    // service closed first.
    DWORD ReadExact(HANDLE pipe, uint8_t* target, DWORD count) const;
    DWORD ReadReply(HANDLE pipe, std::vector<uint8_t>& reply) const;

private:
    DWORD m_timeoutMs;
};

// The test's stand-in for the GUI's notification server: serves the notification pipe and
// keeps each message it receives (the service writes one message per connection). There is
// always one listening instance, created before the connected one is read, so a forward
// never finds the pipe missing.
class CGuiPipeServer {
public:
    CGuiPipeServer() = default;
    ~CGuiPipeServer();
    CGuiPipeServer(const CGuiPipeServer&) = delete;
    CGuiPipeServer& operator=(const CGuiPipeServer&) = delete;

    DWORD Start();
    void Stop();

    using Message = std::vector<uint8_t>;
    std::vector<Message> Messages() const;
    // Waits until the messages received so far satisfy the predicate; false at the deadline.
    bool WaitUntil(const std::function<bool(const std::vector<Message>&)>& done, DWORD timeoutMs) const;
    // Waits for a message equal to bytes; true when one has arrived.
    bool WaitForMessage(const Message& bytes, DWORD timeoutMs) const;

private:
    void Serve();
    DWORD CreateInstance(UniqueFile& pipe);

    UniqueEvent m_stop;
    std::thread m_thread;
    // Shared between the server thread (appends) and the test thread (reads): under m_lock.
    mutable std::mutex m_lock;
    mutable std::condition_variable m_changed;
    std::vector<Message> m_messages;
};

// A high-resolution clock in milliseconds, for the timings of the stress tests and benchmarks.
double NowMs();

// Waits until the command pipe exists (polled: a missing pipe cannot be waited on).
DWORD WaitForCommandPipe(DWORD timeoutMs);

// Owns a named event or mutex for a test.
UniqueHandle<> CreateNamedEvent(const wchar_t* name, DWORD& result);

} // namespace corvel::e2e
