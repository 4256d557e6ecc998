// Loads the scripted rasapi32.dll from this program's folder (the test runs with
// WINEDLLOVERRIDES=rasapi32=n, or Wine would hand out its own) and drives one dial.
#include "FakeRasLogFile.h"
#include "FakeRasScript.h"
#include "Handles.h"

#include <windows.h>
#include <ras.h>

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

using namespace corvel;
using namespace corvel::fakeras;

namespace {

std::wstring ExeFolder() {
    wchar_t path[MAX_PATH];
    const DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring p(path, n);
    return p.substr(0, p.find_last_of(L"\\/") + 1);
}

struct CallbackRecord {
    std::atomic<DWORD> Thread{0};
    std::atomic<int> Count{0};
    std::atomic<ULONG_PTR> Id{0};
    UniqueEvent Connected{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
} g_record;

DWORD WINAPI OnDial(ULONG_PTR id, DWORD, HRASCONN, UINT, RASCONNSTATE state, DWORD error, DWORD) {
    g_record.Thread = ::GetCurrentThreadId();
    g_record.Id = id;
    ++g_record.Count;
    if (state == RASCS_Connected && error == 0)
        ::SetEvent(g_record.Connected.get());
    return 1;
}

template <class F> F Proc(HMODULE module, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

void WriteText(const std::wstring& path, const std::string& text) {
    HANDLE f = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ::WriteFile(f, text.data(), DWORD(text.size()), &written, nullptr);
    ::CloseHandle(f);
}

TEST(FakeRasDll, PlaysAScriptedDialThatConnectsAndDropsAndLogsEveryCall) {
    const std::wstring folder = ExeFolder();
    const std::wstring logPath = folder + kLogFileName;
    ::DeleteFileW(logPath.c_str());
    WriteText(folder + kScriptFileName, "outcome=connect\ncallbacks=3\ninterval_ms=10\ndrop_after_ms=50\n");

    UniqueModule dll(::LoadLibraryW((folder + L"rasapi32.dll").c_str()));
    ASSERT_TRUE(dll);
    auto dial = Proc<decltype(&::RasDialW)>(dll.get(), "RasDialW");
    auto notify = Proc<decltype(&::RasConnectionNotificationW)>(dll.get(), "RasConnectionNotificationW");
    auto hangUp = Proc<decltype(&::RasHangUpW)>(dll.get(), "RasHangUpW");
    ASSERT_TRUE(dial && notify && hangUp);

    RASDIALPARAMSW params = {};
    params.dwSize = sizeof params;
    wcscpy(params.szEntryName, L"CORVEL_vpn3");
    wcscpy(params.szUserName, L"ユーザー");
    params.dwCallbackId = 77;
    HRASCONN connection = nullptr;
    ASSERT_EQ(dial(nullptr, nullptr, &params, 2, reinterpret_cast<LPVOID>(&OnDial), &connection), 0u);
    ASSERT_NE(connection, nullptr);

    ASSERT_EQ(::WaitForSingleObject(g_record.Connected.get(), 10000), WAIT_OBJECT_0);
    EXPECT_EQ(g_record.Count.load(), 3);
    EXPECT_EQ(g_record.Id.load(), 77u);
    EXPECT_NE(g_record.Thread.load(), ::GetCurrentThreadId());

    UniqueEvent dropped(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    ASSERT_EQ(notify(connection, dropped.get(), RASCN_Disconnection), 0u);
    ASSERT_EQ(::WaitForSingleObject(dropped.get(), 10000), WAIT_OBJECT_0);
    EXPECT_EQ(hangUp(connection), 0u);
    EXPECT_EQ(hangUp(connection), static_cast<DWORD>(ERROR_INVALID_HANDLE));

    const std::vector<FakeRasLogLine> log = ReadFakeRasLog(logPath);
    std::vector<std::string> events;
    for (const auto& l : log)
        events.push_back(l.Event);
    const std::vector<std::string> expected = {
        "RasDialW", "Callback",   "Callback",  "Callback", "RasConnectionNotificationW",
        "Drop",     "RasHangUpW", "RasHangUpW"};
    // The registration may come before or after the drop; the rest is in order.
    ASSERT_EQ(events.size(), expected.size());
    if (events[4] == "Drop")
        std::swap(events[4], events[5]);
    EXPECT_EQ(events, expected);
    EXPECT_EQ(log[0].Get("entry"), "CORVEL_vpn3");
    EXPECT_EQ(log[0].Get("user"), "\xE3\x83\xA6\xE3\x83\xBC\xE3\x82\xB6\xE3\x83\xBC");
    EXPECT_EQ(log[0].Number("size"), sizeof(RASDIALPARAMSW));
    EXPECT_EQ(log[0].Get("notifier"), "2");
    EXPECT_EQ(log[3].Number("state"), static_cast<uint32_t>(RASCS_Connected));
    EXPECT_EQ(log.back().Number("result"), static_cast<uint32_t>(ERROR_INVALID_HANDLE));
}

} // namespace
