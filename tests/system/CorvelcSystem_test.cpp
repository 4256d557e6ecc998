// corvelc.exe against the shipped CORVELSVC.exe under Wine's service manager, with the
// scripted rasapi32.dll and the "Corvel.exe" stand-in beside the service, and once with the
// real tray program running: connect and disconnect from end to end.
#include "CorvelcProcess.h"

#include "E2eHarness.h"
#include "E2eRequests.h"
#include "FakeGuiLog.h"
#include "FakeRasLogFile.h"
#include "FixedString.h"
#include "Protocol.h"
#include "Records.h"
#include "Requests.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

namespace corvel::cli {
namespace {

using namespace corvel::e2e;
using test::RunCorvelc;

constexpr DWORD kStartMs = 15000;
constexpr DWORD kStopMs = 30000;
constexpr DWORD kWaitMs = 30000;

const std::vector<uint8_t> kDisconnectNotification = {0x41, 0, 0, 3, 0, 0, 1};

// Polls `done` every 50 ms (a process's mutex, a pipe coming up and the service's states offer
// nothing to wait on); false at the deadline.
template <typename Done> bool PollUntil(Done done, DWORD timeoutMs = kWaitMs) {
    const ULONGLONG end = ::GetTickCount64() + timeoutMs;
    while (!done()) {
        if (::GetTickCount64() >= end)
            return false;
        ::Sleep(50);
    }
    return true;
}

class CorvelcSystemTest : public ::testing::Test {
protected:
    CorvelcSystemTest() : m_folder(FolderName()) {}

    static std::wstring FolderName() {
        const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        return L"corvelc-" + std::wstring(name.begin(), name.end());
    }

    // The service with the RAS double and the stand-in tray program beside it.
    void SetUp() override {
        ASSERT_EQ(0u, m_folder.Create());
        const std::pair<const char*, const wchar_t*> programs[] = {
            {CORVELC_E2E_SERVICE_EXE, L"CORVELSVC.exe"},
            {CORVELC_E2E_FAKERAS_DLL, L"rasapi32.dll"},
            {CORVELC_E2E_FAKEGUI_EXE, L"Corvel.exe"}};
        for (const auto& [source, name] : programs)
            ASSERT_EQ(0u, m_folder.CopyIn(ToWindowsPath(source), name)) << source;
        ASSERT_EQ(0u, SetNativeRasOverride(L"CORVELSVC.exe"));
    }

    void TearDown() override {
        SERVICE_STATUS_PROCESS status;
        if (m_service.Installed() && m_service.Query(status) == 0 &&
            status.dwCurrentState != SERVICE_STOPPED) {
            EXPECT_EQ(0u, m_service.Stop(kStopMs));
        }
    }

    void StartService(const std::string& rasScript) {
        ASSERT_EQ(0u, ReplaceWholeFile(m_folder.File(fakeras::kScriptFileName), rasScript));
        ASSERT_EQ(0u, m_service.InstallAndRun(kServiceName, m_folder.File(L"CORVELSVC.exe"), kStartMs));
    }

    std::vector<fakeras::FakeRasLogLine> RasCalls(const std::string& event) const {
        std::vector<fakeras::FakeRasLogLine> calls;
        for (const auto& line : fakeras::ReadFakeRasLog(m_folder.File(fakeras::kLogFileName)))
            if (line.Event == event)
                calls.push_back(line);
        return calls;
    }

    std::vector<uint8_t> States() const {
        uint8_t states[20] = {};
        uint32_t result = 99;
        EXPECT_EQ(0u, RequestVpnStatus(m_client, states, result));
        EXPECT_EQ(0u, result);
        return std::vector<uint8_t>(states, states + 20);
    }

    static std::vector<uint8_t> Up(size_t vpnIndex) {
        std::vector<uint8_t> states(20, 0);
        states[vpnIndex] = 1;
        return states;
    }

    CTestFolder m_folder;
    CGuiPipeServer m_gui;
    CServiceControl m_service; // stopped before the GUI pipe goes
    CCommandClient m_client;
};

TEST_F(CorvelcSystemTest, ConnectStartsTheTrayProgramHiddenAndIdpassStoresTheCredentials) {
    ASSERT_EQ(0u, m_gui.Start());
    DWORD eventResult = 0;
    UniqueHandle<> started = CreateNamedEvent(kFakeGuiStartedEvent, eventResult);
    ASSERT_EQ(0u, eventResult);
    ASSERT_NO_FATAL_FAILURE(StartService("outcome=connect\ncallbacks=3\ninterval_ms=50\n"));

    EXPECT_EQ(RunCorvelc({L"connect", L"vpn3"}), 0u);
    EXPECT_EQ(States(), Up(2));
    EXPECT_EQ(DWORD(WAIT_OBJECT_0), ::WaitForSingleObject(started.get(), kWaitMs));
    std::vector<uint8_t> log;
    ASSERT_EQ(0u, ReadWholeFile(m_folder.File(kFakeGuiLogName), log));
    EXPECT_THAT(std::string(log.begin(), log.end()), testing::EndsWith("connect vpn3 /hide\n"));

    // The connection outlives the client; "disconnect" ends it, and the notification reaches
    // the tray program's pipe.
    EXPECT_EQ(RunCorvelc({L"disconnect"}), 0u);
    EXPECT_EQ(RasCalls("RasHangUpW").size(), 1u);
    EXPECT_TRUE(m_gui.WaitForMessage(kDisconnectNotification, kWaitMs));
    EXPECT_EQ(States(), std::vector<uint8_t>(20, 0));

    EXPECT_EQ(RunCorvelc({L"connect", L"vpn3", L"/idpass", L"alice", L"secret"}), 0u);
    const auto dials = RasCalls("RasDialW");
    ASSERT_EQ(dials.size(), 2u);
    EXPECT_EQ(dials[1].Get("entry"), "CORVEL_vpn3");
    EXPECT_EQ(dials[1].Get("user"), "alice");
    EXPECT_EQ(dials[1].Get("password"), "secret");
    // Item 25 went into the stored record.
    std::vector<uint8_t> item;
    uint32_t result = 99;
    ASSERT_EQ(0u, RequestLoadConfig(m_client, 2, item, result));
    ASSERT_EQ(item.size(), VPNCONFIG::kSize);
    const VPNCONFIG record = VPNCONFIG::FromBytes(item.data());
    EXPECT_EQ(FixedToString(record.UserName), u"alice");
    EXPECT_EQ(FixedToString(record.Password), u"secret");
}

TEST_F(CorvelcSystemTest, ARasErrorIsTheExitCodeAfterTheDisconnectNotification) {
    ASSERT_EQ(0u, m_gui.Start());
    ASSERT_NO_FATAL_FAILURE(StartService("outcome=error\nerror=691\ncallbacks=2\ninterval_ms=50\n"));

    EXPECT_EQ(RunCorvelc({L"connect", L"vpn3"}), 691u);
    EXPECT_TRUE(m_gui.WaitForMessage(kDisconnectNotification, kWaitMs));
    EXPECT_EQ(States(), std::vector<uint8_t>(20, 0));
}

TEST_F(CorvelcSystemTest, BesideTheRealTrayProgramConnectIsRefusedAndDisconnectEndsBoth) {
    ASSERT_NO_FATAL_FAILURE(StartService("outcome=connect\ncallbacks=2\ninterval_ms=50\n"));

    const std::wstring program = ToWindowsPath(CORVELC_E2E_CORVEL_EXE);
    std::wstring line = L"\"" + program + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(
        ::CreateProcessW(program.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    ::CloseHandle(pi.hThread);
    UniqueHandle<> tray(pi.hProcess);
    auto end = MakeScopeExit([&] {
        if (::WaitForSingleObject(tray.get(), 0) == WAIT_TIMEOUT)
            ::TerminateProcess(tray.get(), 1);
    });
    // Up: its mutex exists and its notification server listens.
    ASSERT_TRUE(PollUntil([] {
        UniqueHandle<> mutex(::OpenMutexW(SYNCHRONIZE, FALSE, kGuiMutexName));
        return mutex && ::WaitNamedPipeW(kGuiPipeName, 1);
    })) << "the tray program did not come up";

    // A connection to end, begun by another client while the tray program follows it.
    uint32_t result = 99;
    ASSERT_EQ(0u, RequestResult(m_client, BuildConnectRequest(0, 0, {}, {}), CMD_CONNECT, result));
    ASSERT_EQ(0u, result);
    ASSERT_TRUE(PollUntil([&] { return States() == Up(0); }));

    EXPECT_EQ(RunCorvelc({L"connect", L"vpn1"}), 1235u);
    EXPECT_EQ(RunCorvelc({L"disconnect"}), 0u);
    EXPECT_EQ(RasCalls("RasHangUpW").size(), 1u);
    EXPECT_EQ(States(), std::vector<uint8_t>(20, 0));
    EXPECT_EQ(DWORD(WAIT_OBJECT_0), ::WaitForSingleObject(tray.get(), kWaitMs))
        << "the tray program did not quit";
}

} // namespace
} // namespace corvel::cli
