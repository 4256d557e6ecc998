#include "E2eHarness.h"

#include "PipeClientOpen.h"
#include "PipeIo.h"

#include <algorithm>
#include <atomic>

namespace corvel::e2e {

namespace {

constexpr DWORD kPollMs = 50;

ULONGLONG Now() {
    return ::GetTickCount64();
}

DWORD Remaining(ULONGLONG deadline) {
    const ULONGLONG now = Now();
    return now >= deadline ? 0 : DWORD(deadline - now);
}

// Removes a folder and everything below it; a missing folder is fine.
void RemoveTree(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    UniqueFind find(::FindFirstFileW((folder + L"*").c_str(), &found));
    if (find) {
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..")
                continue;
            const std::wstring path = folder + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(path + L"\\");
            } else {
                ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                ::DeleteFileW(path.c_str());
            }
        } while (::FindNextFileW(find.get(), &found));
    }
    find.reset();
    ::RemoveDirectoryW(folder.c_str());
}

// Stop controls still waiting for their answer; joined when the process ends.
class CPendingControls {
public:
    ~CPendingControls() {
        std::lock_guard<std::mutex> lock(m_lock);
        for (auto& t : m_threads)
            t.join();
    }
    void Add(std::thread t) {
        std::lock_guard<std::mutex> lock(m_lock);
        m_threads.push_back(std::move(t));
    }

private:
    std::mutex m_lock;
    std::vector<std::thread> m_threads;
};

CPendingControls& PendingControls() {
    static CPendingControls controls;
    return controls;
}

} // namespace

std::wstring UniqueServiceName() {
    static std::atomic<unsigned> next{0};
    return std::wstring(kServiceName) + L"_E2E_" + std::to_wstring(::GetCurrentProcessId()) + L"_" +
           std::to_wstring(++next);
}

std::wstring ToWindowsPath(const char* unixPath) {
    std::wstring path = L"Z:";
    for (const char* p = unixPath; *p; ++p)
        path += *p == '/' ? L'\\' : wchar_t(static_cast<unsigned char>(*p));
    return path;
}

std::wstring FolderOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

std::wstring FileNameOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

DWORD ReadWholeFile(const std::wstring& path, std::vector<uint8_t>& content) {
    content.clear();
    UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return LastErrorOr1359();
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(file.get(), &size))
        return LastErrorOr1359();
    content.resize(size_t(size.QuadPart));
    DWORD read = 0;
    if (!content.empty() && (!::ReadFile(file.get(), content.data(), DWORD(content.size()), &read, nullptr) ||
                             read != content.size()))
        return ERROR_BAD_LENGTH;
    return 0;
}

DWORD WriteWholeFile(const std::wstring& path, const std::vector<uint8_t>& content) {
    UniqueFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return LastErrorOr1359();
    DWORD written = 0;
    if (!content.empty() &&
        (!::WriteFile(file.get(), content.data(), DWORD(content.size()), &written, nullptr) ||
         written != content.size()))
        return LastErrorOr1359();
    return 0;
}

DWORD ReplaceWholeFile(const std::wstring& path, const std::string& content) {
    const std::wstring fresh = path + L".new";
    const DWORD written = WriteWholeFile(fresh, std::vector<uint8_t>(content.begin(), content.end()));
    if (written)
        return written;
    return ::MoveFileExW(fresh.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : LastErrorOr1359();
}

long long FileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return -1;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

CTestFolder::CTestFolder(const std::wstring& name) : m_path(L"C:\\corvel-e2e\\" + name + L"\\") {}

DWORD CTestFolder::Create() {
    ::CreateDirectoryW(L"C:\\corvel-e2e", nullptr);
    RemoveTree(m_path);
    if (!::CreateDirectoryW(m_path.c_str(), nullptr))
        return LastErrorOr1359();
    return 0;
}

DWORD CTestFolder::CopyIn(const std::wstring& source, const std::wstring& targetName) {
    const std::wstring target = m_path + (targetName.empty() ? FileNameOf(source) : targetName);
    if (!::CopyFileW(source.c_str(), target.c_str(), FALSE))
        return LastErrorOr1359();
    return 0;
}

DWORD SetNativeRasOverride(const std::wstring& programName) {
    const std::wstring keyPath = L"Software\\Wine\\AppDefaults\\" + programName + L"\\DllOverrides";
    UniqueRegKey key;
    LSTATUS status = ::RegCreateKeyExW(HKEY_CURRENT_USER, keyPath.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                                       nullptr, key.put(), nullptr);
    if (status != ERROR_SUCCESS)
        return DWORD(status);
    static const wchar_t value[] = L"native,builtin";
    status = ::RegSetValueExW(key.get(), L"rasapi32", 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                              sizeof(value));
    return DWORD(status);
}

CServiceControl::~CServiceControl() {
    if (!m_service)
        return;
    SERVICE_STATUS_PROCESS status;
    if (Query(status) == 0 && status.dwCurrentState != SERVICE_STOPPED)
        Stop(30000);
    Remove();
}

DWORD CServiceControl::Install(const std::wstring& name, const std::wstring& binaryPath, DWORD startType) {
    m_manager.reset(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!m_manager)
        return LastErrorOr1359();
    // A service of this name left behind by an interrupted run goes first.
    {
        UniqueServiceHandle stale(::OpenServiceW(m_manager.get(), name.c_str(), SERVICE_ALL_ACCESS));
        if (stale) {
            SERVICE_STATUS s;
            ::ControlService(stale.get(), SERVICE_CONTROL_STOP, &s);
            m_service = std::move(stale);
            m_name = name;
            WaitForState(SERVICE_STOPPED, 20000);
            Remove();
        }
    }
    const std::wstring quoted = L"\"" + binaryPath + L"\"";
    m_service.reset(::CreateServiceW(m_manager.get(), name.c_str(), name.c_str(), SERVICE_ALL_ACCESS,
                                     SERVICE_WIN32_OWN_PROCESS, startType, SERVICE_ERROR_NORMAL,
                                     quoted.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
    if (!m_service)
        return LastErrorOr1359();
    m_name = name;
    return 0;
}

DWORD CServiceControl::Start() {
    if (!::StartServiceW(m_service.get(), 0, nullptr))
        return LastErrorOr1359();
    return 0;
}

DWORD CServiceControl::Query(SERVICE_STATUS_PROCESS& status) {
    DWORD needed = 0;
    if (!::QueryServiceStatusEx(m_service.get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                                sizeof(status), &needed))
        return LastErrorOr1359();
    return 0;
}

DWORD CServiceControl::WaitForState(DWORD state, DWORD timeoutMs, SERVICE_STATUS_PROCESS* last) {
    const ULONGLONG deadline = Now() + timeoutMs;
    SERVICE_STATUS_PROCESS status = {};
    for (;;) {
        const DWORD result = Query(status);
        if (last)
            *last = status;
        if (result != 0)
            return result;
        if (status.dwCurrentState == state)
            return 0;
        if (Remaining(deadline) == 0)
            return ERROR_TIMEOUT;
        ::Sleep(kPollMs); // the service manager has no event to wait on
    }
}

DWORD CServiceControl::Stop(DWORD timeoutMs, SERVICE_STATUS_PROCESS* last) {
    SERVICE_STATUS_PROCESS before = {};
    UniqueHandle<> process;
    if (Query(before) == 0 && before.dwProcessId != 0)
        process.reset(::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, before.dwProcessId));
    // The thread has handles of its own, so it outlives this object safely.
    PendingControls().Add(std::thread([name = m_name] {
        UniqueServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
        if (!manager)
            return;
        UniqueServiceHandle service(::OpenServiceW(manager.get(), name.c_str(), SERVICE_STOP));
        SERVICE_STATUS status;
        if (service)
            ::ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
    }));
    const DWORD result = WaitForState(SERVICE_STOPPED, timeoutMs, last);
    if (result != 0 || !process)
        return result;
    if (::WaitForSingleObject(process.get(), kProcessEndMs) == WAIT_OBJECT_0)
        return 0;
    ::TerminateProcess(process.get(), ERROR_TIMEOUT);
    ::WaitForSingleObject(process.get(), kProcessEndMs);
    return WAIT_TIMEOUT;
}

DWORD CServiceControl::Remove() {
    if (!m_service)
        return 0;
    DWORD result = ::DeleteService(m_service.get()) ? 0 : LastErrorOr1359();
    m_service.reset();
    // The name is free once the manager has dropped the entry; a new install must not meet
    // ERROR_SERVICE_MARKED_FOR_DELETE.
    const ULONGLONG deadline = Now() + 10000;
    for (;;) {
        UniqueServiceHandle probe(::OpenServiceW(m_manager.get(), m_name.c_str(), SERVICE_QUERY_STATUS));
        if (!probe)
            break;
        probe.reset();
        if (Remaining(deadline) == 0) {
            result = result ? result : ERROR_TIMEOUT;
            break;
        }
        ::Sleep(kPollMs);
    }
    return result;
}

DWORD CServiceControl::InstallAndRun(const std::wstring& name, const std::wstring& binaryPath,
                                     DWORD timeoutMs) {
    DWORD result = Install(name, binaryPath);
    if (result == 0)
        result = Start();
    if (result == 0)
        result = WaitForState(SERVICE_RUNNING, timeoutMs);
    if (result == 0)
        result = WaitForCommandPipe(timeoutMs);
    return result;
}

double NowMs() {
    static const LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    ::QueryPerformanceCounter(&t);
    return double(t.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

DWORD WaitForCommandPipe(DWORD timeoutMs) {
    const ULONGLONG deadline = Now() + timeoutMs;
    for (;;) {
        // A busy pipe exists too: WaitNamedPipe then waits for an instance or times out.
        if (::WaitNamedPipeW(kServicePipeName, 1) || ::GetLastError() != ERROR_FILE_NOT_FOUND)
            return 0;
        if (Remaining(deadline) == 0)
            return ERROR_TIMEOUT;
        ::Sleep(kPollMs);
    }
}

DWORD CCommandClient::Open(UniqueFile& pipe) const {
    PipeOpenPolicy policy;
    policy.Attempts = kUnlimitedAttempts;
    policy.BusyWaitMs = 5000;
    // A failed wait (121 after the default time-out) is retried until the deadline.
    policy.OnFailedWait = FailedWait::TriesAgain;
    policy.DeadlineMs = m_timeoutMs;
    return OpenPipeClient(kServicePipeName, GENERIC_READ | GENERIC_WRITE, policy, pipe);
}

DWORD CCommandClient::WriteAll(HANDLE pipe, const std::vector<uint8_t>& bytes) const {
    return CPipeIo(pipe, m_timeoutMs).WriteAll(bytes.data(), DWORD(bytes.size()));
}

DWORD CCommandClient::ReadExact(HANDLE pipe, uint8_t* target, DWORD count) const {
    DWORD got = 0;
    const DWORD result = CPipeIo(pipe, m_timeoutMs).ReadExact(target, count, got);
    return result == ERROR_HANDLE_EOF ? DWORD(ERROR_BROKEN_PIPE) : result;
}

DWORD CCommandClient::ReadReply(HANDLE pipe, std::vector<uint8_t>& reply) const {
    reply.assign(8, 0);
    DWORD result = ReadExact(pipe, reply.data(), 8);
    if (result != 0) {
        reply.clear();
        return result;
    }
    const uint32_t dataLength = (uint32_t(reply[1]) << 16) | (uint32_t(reply[2]) << 8) | reply[3];
    if (dataLength < 4)
        return ERROR_BAD_FORMAT;
    reply.resize(4 + size_t(dataLength));
    if (dataLength > 4)
        result = ReadExact(pipe, reply.data() + 8, dataLength - 4);
    return result;
}

DWORD CCommandClient::Transact(const std::vector<uint8_t>& request, std::vector<uint8_t>& reply) const {
    reply.clear();
    UniqueFile pipe;
    DWORD result = Open(pipe);
    if (result == 0)
        result = WriteAll(pipe.get(), request);
    if (result == 0)
        result = ReadReply(pipe.get(), reply);
    return result;
}

DWORD CCommandClient::Send(const std::vector<uint8_t>& request) const {
    UniqueFile pipe;
    DWORD result = Open(pipe);
    if (result == 0)
        result = WriteAll(pipe.get(), request);
    return result;
}

DWORD CCommandClient::ExpectNoReply(const std::vector<uint8_t>& request) const {
    UniqueFile pipe;
    DWORD result = Open(pipe);
    if (result == 0)
        result = WriteAll(pipe.get(), request);
    if (result != 0)
        return result;
    uint8_t byte = 0;
    result = ReadExact(pipe.get(), &byte, 1);
    // The service closing the connection is the expected outcome.
    return (result == ERROR_BROKEN_PIPE || result == ERROR_PIPE_NOT_CONNECTED || result == ERROR_NO_DATA)
               ? 0
               : (result == 0 ? ERROR_MORE_DATA : result);
}

CGuiPipeServer::~CGuiPipeServer() {
    Stop();
}

DWORD CGuiPipeServer::CreateInstance(UniqueFile& pipe) {
    pipe.reset(::CreateNamedPipeW(kGuiPipeName, PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED,
                                  PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, PIPE_UNLIMITED_INSTANCES,
                                  0, 256, 1000, nullptr));
    return pipe ? 0 : LastErrorOr1359();
}

DWORD CGuiPipeServer::Start() {
    m_stop.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!m_stop)
        return LastErrorOr1359();
    // The first instance exists before Start returns, so nothing sent after it is lost.
    UniqueFile first;
    const DWORD result = CreateInstance(first);
    if (result != 0)
        return result;
    m_thread = std::thread([this, pipe = first.release()]() mutable {
        UniqueFile listening(pipe);
        UniqueEvent event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        if (!event)
            return;
        for (;;) {
            const DWORD connected =
                CPipeIo(listening.get(), kPipeIoNoDeadline, m_stop.get(), event.get()).Connect();
            if (connected == ERROR_OPERATION_ABORTED)
                return;
            UniqueFile current(listening.release());
            // The next instance listens before this one is read and closed.
            if (CreateInstance(listening) != 0)
                return;
            if (connected != 0)
                continue;
            Message message;
            uint8_t buffer[64];
            CPipeIo io(current.get(), 5000, m_stop.get(), event.get());
            for (;;) {
                DWORD done = 0;
                if (io.ReadSome(buffer, sizeof(buffer), done) != 0 || done == 0)
                    break;
                message.insert(message.end(), buffer, buffer + done);
            }
            {
                std::lock_guard<std::mutex> lock(m_lock);
                m_messages.push_back(std::move(message));
            }
            m_changed.notify_all();
        }
    });
    return 0;
}

void CGuiPipeServer::Stop() {
    if (m_stop)
        ::SetEvent(m_stop.get());
    if (m_thread.joinable())
        m_thread.join();
}

std::vector<CGuiPipeServer::Message> CGuiPipeServer::Messages() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_messages;
}

bool CGuiPipeServer::WaitUntil(const std::function<bool(const std::vector<Message>&)>& done,
                               DWORD timeoutMs) const {
    std::unique_lock<std::mutex> lock(m_lock);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return done(m_messages); });
}

bool CGuiPipeServer::WaitForMessage(const Message& bytes, DWORD timeoutMs) const {
    return WaitUntil(
        [&](const std::vector<Message>& all) {
            return std::find(all.begin(), all.end(), bytes) != all.end();
        },
        timeoutMs);
}

UniqueHandle<> CreateNamedEvent(const wchar_t* name, DWORD& result) {
    UniqueHandle<> event(::CreateEventW(nullptr, TRUE, FALSE, name));
    result = event ? 0 : LastErrorOr1359();
    return event;
}

} // namespace corvel::e2e
