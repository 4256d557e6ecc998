// The service host in-process: the control handler, the pipe's security, the body serving
// and stopping, and the whole start and stop as the service control manager drives it.
#include "PipeSecurity.h"
#include "PipeServer.h"
#include "SvcMain.h"

#include "PipeIo.h"
#include "TestPipes.h"

#include <aclapi.h>
#include <gtest/gtest.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace corvel {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(ServiceCtrlHandlerTest, AnswersTheControlsItDoesNotCarryOut) {
    struct Case {
        DWORD Control;
        DWORD Expected;
    } cases[] = {
        {SERVICE_CONTROL_PAUSE, NO_ERROR},
        {SERVICE_CONTROL_CONTINUE, NO_ERROR},
        {SERVICE_CONTROL_INTERROGATE, ERROR_CALL_NOT_IMPLEMENTED},
        {SERVICE_CONTROL_PARAMCHANGE, ERROR_CALL_NOT_IMPLEMENTED},
        {128, ERROR_CALL_NOT_IMPLEMENTED},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.Expected, ServiceCtrlHandler(c.Control, 0, nullptr, nullptr)) << c.Control;
}

// Everything the host reports, in order; waits for a state to be reported.
class CStatusRecorder {
public:
    CStatusRecorder() {
        s_current = this;
        CSvcMain::SetStatus = &Record;
    }
    ~CStatusRecorder() {
        CSvcMain::SetStatus = ::SetServiceStatus;
        s_current = nullptr;
    }
    bool WaitFor(DWORD state, DWORD timeoutMs = 10000) {
        std::unique_lock<std::mutex> lock(m_lock);
        return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
            for (const SERVICE_STATUS& s : m_reports)
                if (s.dwCurrentState == state)
                    return true;
            return false;
        });
    }
    std::vector<SERVICE_STATUS> Reports() {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_reports;
    }

private:
    static BOOL WINAPI Record(SERVICE_STATUS_HANDLE, LPSERVICE_STATUS status) {
        std::lock_guard<std::mutex> lock(s_current->m_lock);
        s_current->m_reports.push_back(*status);
        s_current->m_changed.notify_all();
        return TRUE;
    }
    static CStatusRecorder* s_current;
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<SERVICE_STATUS> m_reports;
};
CStatusRecorder* CStatusRecorder::s_current = nullptr;

std::vector<DWORD> States(const std::vector<SERVICE_STATUS>& reports) {
    std::vector<DWORD> states;
    for (const SERVICE_STATUS& s : reports)
        if (states.empty() || states.back() != s.dwCurrentState)
            states.push_back(s.dwCurrentState);
    return states;
}

TEST(PipeSecurityTest, OwnerMayDoAllLocalUsersMayReadAndWriteButNotServe) {
    CPipeSecurity security;
    ASSERT_EQ(0u, security.Build());
    const std::wstring name = test::UniquePipeName(L"dacl");
    UniqueFile server(::CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                         PIPE_TYPE_BYTE, 1, 0, 0, 1000, security.Attributes()));
    ASSERT_TRUE(server);
    UniqueFile client = test::OpenClientPipe(name);
    ASSERT_TRUE(client);

    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_EQ(DWORD(ERROR_SUCCESS),
              ::GetSecurityInfo(client.get(), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                &dacl, nullptr, &descriptor));
    auto freeDescriptor = MakeScopeExit([&] { ::LocalFree(descriptor); });
    ASSERT_NE(nullptr, dacl);
    ASSERT_EQ(3, dacl->AceCount);

    SID_IDENTIFIER_AUTHORITY localAuthority = SECURITY_LOCAL_SID_AUTHORITY;
    PSID local = nullptr;
    ASSERT_TRUE(
        ::AllocateAndInitializeSid(&localAuthority, 1, SECURITY_LOCAL_RID, 0, 0, 0, 0, 0, 0, 0, &local));
    auto freeLocal = MakeScopeExit([&] { ::FreeSid(local); });

    struct Expected {
        BYTE Type;
        PSID Sid;
        ACCESS_MASK Required; // bits the entry must hold
    } expected[] = {
        {ACCESS_ALLOWED_ACE_TYPE, security.OwnerSid(),
         FILE_CREATE_PIPE_INSTANCE | FILE_READ_DATA | FILE_WRITE_DATA},
        {ACCESS_DENIED_ACE_TYPE, local, FILE_CREATE_PIPE_INSTANCE},
        {ACCESS_ALLOWED_ACE_TYPE, local, FILE_READ_DATA | FILE_WRITE_DATA},
    };
    for (WORD i = 0; i < 3; ++i) {
        void* ace = nullptr;
        ASSERT_TRUE(::GetAce(dacl, i, &ace));
        const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(ace); // same layout as a deny entry
        EXPECT_EQ(expected[i].Type, allowed->Header.AceType) << i;
        EXPECT_TRUE(::EqualSid(const_cast<DWORD*>(&allowed->SidStart), expected[i].Sid)) << i;
        // Generic rights may come back mapped to the file rights.
        ACCESS_MASK mask = allowed->Mask;
        GENERIC_MAPPING mapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE,
                                   FILE_ALL_ACCESS};
        ::MapGenericMask(&mask, &mapping);
        EXPECT_EQ(expected[i].Required, mask & expected[i].Required) << i;
    }
    // The deny holds nothing else: LOCAL keeps reading and writing.
    void* ace = nullptr;
    ASSERT_TRUE(::GetAce(dacl, 1, &ace));
    EXPECT_EQ(ACCESS_MASK(FILE_CREATE_PIPE_INSTANCE), static_cast<const ACCESS_DENIED_ACE*>(ace)->Mask);
}

// The body on a thread of its own, as ServiceMain runs it.
class CRunningServer {
public:
    explicit CRunningServer(SECURITY_ATTRIBUTES* security = nullptr)
        : Name(test::UniquePipeName(L"svc")), Stop(::CreateEventW(nullptr, TRUE, FALSE, nullptr)),
          m_server(Name.c_str(), security, Stop.get()) {
        m_thread = std::thread([this] { m_result = m_server.Run(); });
    }
    ~CRunningServer() { StopAndJoin(); }
    // The milliseconds from the stop to the loop's end.
    ULONGLONG StopAndJoin() {
        const ULONGLONG since = ::GetTickCount64();
        ::SetEvent(Stop.get());
        if (m_thread.joinable())
            m_thread.join();
        return ::GetTickCount64() - since;
    }
    DWORD Result() const { return m_result; }
    UniqueFile Connect() { return test::ConnectClientPipe(Name); }
    Bytes Exchange(const Bytes& request) {
        UniqueFile client = Connect();
        if (!client)
            return {0xEE};
        test::WriteBytes(client.get(), request);
        return test::ReadReply(client.get());
    }

    std::wstring Name;
    UniqueEvent Stop;

private:
    CPipeServer m_server;
    std::thread m_thread;
    DWORD m_result = 0xFFFFFFFF;
};

const Bytes kStatusRequest = {0x31, 0, 0, 0};

TEST(PipeServerTest, ServesMoreRequestsThanInstancesAndStops) {
    CRunningServer server;
    for (int i = 0; i < 3 * int(MAX_PIPE_INSTANCES); ++i) {
        const Bytes reply = server.Exchange(kStatusRequest);
        ASSERT_EQ(28u, reply.size()) << i;
        EXPECT_EQ(0xB1, reply[0]);
    }
    EXPECT_LT(server.StopAndJoin(), 3000u);
    EXPECT_EQ(0u, server.Result());
}

TEST(PipeServerTest, SevenClientsAtOnceAndAnEighthWaits) {
    CRunningServer server;
    std::vector<UniqueFile> clients;
    for (DWORD i = 0; i < MAX_PIPE_INSTANCES; ++i) {
        clients.push_back(server.Connect());
        ASSERT_TRUE(clients.back()) << i;
    }
    UniqueFile eighth;
    EXPECT_EQ(DWORD(ERROR_PIPE_BUSY), test::OpenClientPipe(server.Name, eighth));
    EXPECT_FALSE(eighth);
    for (UniqueFile& c : clients) {
        test::WriteBytes(c.get(), kStatusRequest);
        EXPECT_EQ(28u, test::ReadReply(c.get()).size());
    }
}

TEST(PipeServerTest, StopsWithinSecondsWhileClientsStall) {
    SetPipeIoTimeoutMs(60000); // the stop, not the deadline, must end them
    CRunningServer server;
    UniqueFile silent = server.Connect();
    UniqueFile halfHead = server.Connect();
    UniqueFile hugeAnnounce = server.Connect();
    ASSERT_TRUE(silent && halfHead && hugeAnnounce);
    test::WriteBytes(halfHead.get(), {0x31, 0});
    test::WriteBytes(hugeAnnounce.get(), {0x11, 0xFF, 0xFF, 0xFF, 1});
    EXPECT_LT(server.StopAndJoin(), 3000u);
    EXPECT_EQ(0u, server.Result());
    SetPipeIoTimeoutMs(kPipeIoTimeoutMs);
}

TEST(PipeServerTest, SilentClientIsDroppedAndItsInstanceReplaced) {
    SetPipeIoTimeoutMs(300);
    CRunningServer server;
    UniqueFile silent = server.Connect();
    ASSERT_TRUE(silent);
    uint8_t byte = 0;
    DWORD got = 0;
    CPipeIo io(silent.get(), 5000);
    EXPECT_NE(0u, io.ReadExact(&byte, 1, got)); // the service closed it
    EXPECT_EQ(28u, server.Exchange(kStatusRequest).size());
    SetPipeIoTimeoutMs(kPipeIoTimeoutMs);
}

TEST(PipeServerTest, ANameSomeoneElseServesStopsTheStart) {
    // Everything the run uses lives as long as the run: should it ever not end, the test
    // fails after a bound instead of waiting for it (and for CTest's time-out) forever.
    struct Run {
        std::wstring Name = test::UniquePipeName(L"squat");
        UniqueEvent Stop{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
        UniqueEvent Ended{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
        CPipeServer Server{Name.c_str(), nullptr, Stop.get()};
        DWORD Result = 0;
    };
    auto run = std::make_shared<Run>();
    UniqueFile squatter(::CreateNamedPipeW(run->Name.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE,
                                           PIPE_UNLIMITED_INSTANCES, 0, 0, 1000, nullptr));
    ASSERT_TRUE(squatter);
    std::thread thread([run] {
        run->Result = run->Server.Run();
        ::SetEvent(run->Ended.get());
    });
    const bool refused = ::WaitForSingleObject(run->Ended.get(), 5000) == WAIT_OBJECT_0;
    ::SetEvent(run->Stop.get());
    const bool ended = refused || ::WaitForSingleObject(run->Ended.get(), 10000) == WAIT_OBJECT_0;
    if (ended)
        thread.join();
    else
        thread.detach(); // keeps `run` alive; the process ends with the test program
    EXPECT_TRUE(refused);
    ASSERT_TRUE(ended) << "the run neither refused the name nor ended after its stop";
    EXPECT_EQ(DWORD(ERROR_ALREADY_EXISTS), run->Result);
}

// ---- the whole service, as the service control manager drives it ----

class ServiceRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_name = test::UniquePipeName(L"run");
        CSvcMain::PipeName = m_name.c_str();
    }
    void TearDown() override { CSvcMain::PipeName = kServicePipeName; }
    std::wstring m_name;
};

TEST_F(ServiceRunTest, StartsServesAndStopsOnStop) {
    CStatusRecorder recorder;
    DWORD result = 0xFFFFFFFF;
    std::thread service([&] { result = CSvcMain::RunService(); });
    ASSERT_TRUE(recorder.WaitFor(SERVICE_RUNNING));

    UniqueFile client = test::ConnectClientPipe(m_name);
    ASSERT_TRUE(client);
    test::WriteBytes(client.get(), kStatusRequest);
    EXPECT_EQ(28u, test::ReadReply(client.get()).size());
    client.reset();
    UniqueFile silent = test::OpenClientPipe(m_name); // connected, sends nothing

    const ULONGLONG since = ::GetTickCount64();
    EXPECT_EQ(DWORD(NO_ERROR), ServiceCtrlHandler(SERVICE_CONTROL_STOP, 0, nullptr, nullptr));
    EXPECT_LT(::GetTickCount64() - since, 8000u);
    service.join();
    EXPECT_EQ(0u, result);
    EXPECT_EQ(1, CSvcMain::Stopping.load()); // set by the stop, before the loop ended

    const auto reports = recorder.Reports();
    EXPECT_EQ(
        (std::vector<DWORD>{SERVICE_START_PENDING, SERVICE_RUNNING, SERVICE_STOP_PENDING, SERVICE_STOPPED}),
        States(reports));
    for (const SERVICE_STATUS& s : reports) {
        EXPECT_EQ(DWORD(SERVICE_WIN32_OWN_PROCESS), s.dwServiceType);
        EXPECT_EQ(s.dwCurrentState == SERVICE_START_PENDING ? 0u : 5u, s.dwControlsAccepted);
        EXPECT_EQ(0u, s.dwWin32ExitCode);
    }
    EXPECT_EQ(1u, reports.front().dwCheckPoint);
    EXPECT_EQ(1000u, reports.front().dwWaitHint);
    CSvcMain::Stopping = 0;

    // Everything was closed once: a second clean-up finds nothing, and the mutex is free.
    CSvcMain::CloseHandles();
    UniqueHandle<> mutex(::CreateMutexW(nullptr, FALSE, kInstanceMutexName));
    EXPECT_NE(DWORD(ERROR_ALREADY_EXISTS), ::GetLastError());
}

TEST_F(ServiceRunTest, ASecondCopyStopsWith1056) {
    UniqueHandle<> running(::CreateMutexW(nullptr, TRUE, kInstanceMutexName));
    ASSERT_NE(DWORD(ERROR_ALREADY_EXISTS), ::GetLastError());
    CStatusRecorder recorder;
    EXPECT_EQ(DWORD(ERROR_SERVICE_ALREADY_RUNNING), CSvcMain::RunService());
    const auto reports = recorder.Reports();
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(DWORD(SERVICE_STOPPED), reports.back().dwCurrentState);
    EXPECT_EQ(1056u, reports.back().dwWin32ExitCode);
}

TEST_F(ServiceRunTest, AMainLoopThatFailsReportsItsError) {
    UniqueFile squatter(::CreateNamedPipeW(m_name.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE,
                                           PIPE_UNLIMITED_INSTANCES, 0, 0, 1000, nullptr));
    ASSERT_TRUE(squatter);
    CStatusRecorder recorder;
    const DWORD result = CSvcMain::RunService();
    EXPECT_NE(0u, result);
    const auto reports = recorder.Reports();
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(DWORD(SERVICE_STOPPED), reports.back().dwCurrentState);
    EXPECT_EQ(result, reports.back().dwWin32ExitCode);
}

TEST_F(ServiceRunTest, ASecurityThatCannotBeBuiltStopsTheStart) {
    CSvcMain::SecurityBuilder = [](CPipeSecurity&) -> DWORD { return ERROR_INVALID_ACL; };
    CStatusRecorder recorder;
    const DWORD result = CSvcMain::RunService();
    CSvcMain::SecurityBuilder = &CSvcMain::BuildSecurityAttributes;
    EXPECT_EQ(DWORD(ERROR_INVALID_ACL), result);
    const auto reports = recorder.Reports();
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(DWORD(SERVICE_STOPPED), reports.back().dwCurrentState);
    EXPECT_EQ(DWORD(ERROR_INVALID_ACL), reports.back().dwWin32ExitCode);
    // No pipe was served with the default security.
    EXPECT_FALSE(test::OpenClientPipe(m_name));
    EXPECT_EQ(DWORD(ERROR_FILE_NOT_FOUND), ::GetLastError());
}

} // namespace
} // namespace corvel
