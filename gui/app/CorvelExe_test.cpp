// Corvel.exe as a process: one instance per machine, and the mutex that tells the service and
// the console client that it runs lives exactly as long as the program; a program that took the
// service's pipe name receives nothing from it.
#include "DialogResource.h"
#include "FakeService.h"
#include "Handles.h"
#include "ConfigItems.h"
#include "Protocol.h"
#include "Records.h"

#include "WindowTestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

namespace corvel {
namespace {

// The shipped program, and its build that takes this test program, whose fake serves the pipe,
// for CORVELSVC.
constexpr wchar_t kShipped[] = L"Corvel.exe";
constexpr wchar_t kForFakeService[] = L"Corvel-fakesvc.exe";

std::wstring ProgramPath(const wchar_t* program) {
    wchar_t self[MAX_PATH];
    const DWORD n = ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path(self, n);
    return path.substr(0, path.rfind(L'\\') + 1) + program;
}

struct StartedProgram {
    UniqueHandle<> Process;
    DWORD ProcessId = 0;
};

StartedProgram Start(const std::wstring& arguments, const wchar_t* program = kForFakeService) {
    const std::wstring path = ProgramPath(program);
    std::wstring line = L"\"" + path + L"\" " + arguments;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(path.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return {};
    ::CloseHandle(pi.hThread);
    return {UniqueHandle<>(pi.hProcess), pi.dwProcessId};
}

bool MutexExists() {
    UniqueHandle<> mutex(::OpenMutexW(SYNCHRONIZE, FALSE, kGuiMutexName));
    return static_cast<bool>(mutex);
}

// Answers every request of the tray program's start-up.
FakeExchange Answer(const FakeRequest& request) {
    const std::vector<uint8_t>& f = request.Frame;
    if (f.empty())
        return FakeExchange::Hangup();
    if (f[0] == CMD_VPN_STATUS)
        return FakeExchange::Answer(FakeReply(CMD_VPN_STATUS, 0, std::vector<uint8_t>(20, 0)));
    if (f[0] == CMD_LOAD_CONFIG && f.size() > 4) {
        std::vector<uint8_t> payload(5 + VPNCONFIG::kSize, 0);
        payload[0] = f[4];
        payload[3] = uint8_t(VPNCONFIG::kSize >> 8);
        payload[4] = uint8_t(VPNCONFIG::kSize & 0xFF);
        if (f[4] == PROBE_ITEM)
            payload = {PROBE_ITEM, 0, 0, 0, 0};
        return FakeExchange::Answer(FakeReply(CMD_LOAD_CONFIG, 0, payload));
    }
    return FakeExchange::Answer(FakeReply(f[0], 0));
}

void NotifyQuit() {
    ASSERT_EQ(SendGuiNotification({0x41, 0, 0, 3, 0, 0, 1}), 0u) << "the notification pipe never opened";
}

TEST(CorvelExe, SecondInstanceEndsAtOnceAndTheMutexLivesWithTheFirst) {
    CFakeService service(&Answer, 4);
    ASSERT_EQ(service.Start(), 0u);
    ASSERT_FALSE(MutexExists());

    UniqueHandle<> first = Start(L"vpn1 /hide").Process;
    ASSERT_TRUE(first);
    // The probe and the 22 start-up requests: the first instance is up.
    if (!service.WaitForRequests(23, 30000)) {
        DWORD code = 0;
        ::GetExitCodeProcess(first.get(), &code);
        ::TerminateProcess(first.get(), 1);
        FAIL() << "requests " << service.Requests().size() << ", exit code " << code;
    }
    EXPECT_TRUE(MutexExists());

    UniqueHandle<> second = Start(L"").Process;
    ASSERT_TRUE(second);
    EXPECT_EQ(::WaitForSingleObject(second.get(), 15000), WAIT_OBJECT_0);
    DWORD code = 0;
    ::GetExitCodeProcess(second.get(), &code);
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(service.Requests().size(), 23u); // the second one asked the service nothing
    EXPECT_EQ(::WaitForSingleObject(first.get(), 0), DWORD(WAIT_TIMEOUT));
    EXPECT_TRUE(MutexExists());

    // The console client's way of ending: state 0 with QuitGui.
    NotifyQuit();
    ASSERT_EQ(::WaitForSingleObject(first.get(), 15000), WAIT_OBJECT_0);
    EXPECT_FALSE(MutexExists());
    EXPECT_EQ(::GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
}

// The shipped program with no CORVELSVC running: the probes open the pipe and close it
// unwritten, so the wait dialog goes on waiting for the real service.
TEST(CorvelExe, AProgramThatTookThePipesNameGetsNoRequestAndTheWaitDialogWaits) {
    CFakeService rogue(&Answer, 2);
    ASSERT_EQ(rogue.Start(), 0u);
    StartedProgram tray = Start(L"", kShipped);
    ASSERT_TRUE(tray.Process);
    ScopeExit end([&] {
        ::TerminateProcess(tray.Process.get(), 1);
        ::WaitForSingleObject(tray.Process.get(), 5000);
    });

    const HWND wait = wintest::WaitForWindow(
        [&] { return wintest::FindDialogWith(tray.ProcessId, IDC_INIT_MESSAGE); }, 30000);
    EXPECT_TRUE(wait) << "no wait dialog";
    // The start-up probe and those of the dialog, one a second.
    EXPECT_TRUE(rogue.WaitForConnections(3, 15000)) << rogue.Connections() << " connections";
    EXPECT_EQ(::WaitForSingleObject(tray.Process.get(), 0), DWORD(WAIT_TIMEOUT));
    EXPECT_EQ(rogue.BytesReceived(), 0u);
    EXPECT_TRUE(rogue.Requests().empty());
}

} // namespace
} // namespace corvel
