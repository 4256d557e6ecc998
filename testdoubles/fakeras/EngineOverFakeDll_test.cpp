// The engine over the real rasapi32 binding, with this folder's scripted rasapi32.dll standing
// in for RAS (the test runs with WINEDLLOVERRIDES=rasapi32=n).
#include "FakeRasLogFile.h"
#include "FakeRasScript.h"

#include "CapturingSink.h"
#include "FakeVpnConfigSource.h"
#include "FixedString.h"
#include "VpnAdmin.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

using namespace corvel;
using namespace corvel::fakeras;

namespace {

// Short real ticks, so the scripted callbacks (real time) come within the attempt; no pause
// after the hang-up.
class CShortTicks : public CEngineClock {
public:
    void Pause(DWORD milliseconds) override {
        if (milliseconds == 500)
            ::Sleep(20);
    }
};

std::wstring ExeFolder() {
    wchar_t path[MAX_PATH];
    const DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring p(path, n);
    return p.substr(0, p.find_last_of(L"\\/") + 1);
}

void WriteText(const std::wstring& path, const std::string& text) {
    HANDLE f = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ::WriteFile(f, text.data(), DWORD(text.size()), &written, nullptr);
    ::CloseHandle(f);
}

const FakeRasLogLine* Find(const std::vector<FakeRasLogLine>& log, const std::string& event) {
    for (const auto& l : log)
        if (l.Event == event)
            return &l;
    return nullptr;
}

class EngineOverFakeDll : public ::testing::Test {
protected:
    void SetUp() override {
        ::DeleteFileW((ExeFolder() + kLogFileName).c_str());
        VPNCONFIG record = VPNCONFIG::Default(0);
        const uint8_t server[4] = {10, 0, 0, 1};
        record.SetServerAddress(server);
        record.AuthProtocol = 1;
        CopyToFixed(record.PreSharedKey, u"psk");
        store.Set(0, record);
        parts.Ras = &ras;
        parts.Clock = &clock;
        parts.Sink = &sink;
        parts.Store = &store;
    }

    CRasApiWin32 ras;
    CShortTicks clock;
    CCapturingSink sink;
    CFakeVpnConfigSource store;
    CVpnAdminParts parts;
};

TEST_F(EngineOverFakeDll, DialsConnectsAndReportsTheDrop) {
    WriteText(ExeFolder() + kScriptFileName,
              "outcome=connect\ncallbacks=2\ninterval_ms=10\ndrop_after_ms=100\n");
    CVpnAdmin engine(parts);
    ASSERT_EQ(engine.BeginVpn(0, L"user", L"pw"), 0u);
    ASSERT_TRUE(sink.WaitForFrame(CCapturingSink::VpnNotify(0, ConnectStatus::Connected)));
    ASSERT_TRUE(sink.WaitForFrame(CCapturingSink::VpnNotify(0, ConnectStatus::Disconnected)));
    EXPECT_EQ(engine.EndVpn(), 0u);
    ASSERT_TRUE(engine.WaitForAllThreads(10000));

    const auto log = ReadFakeRasLog(ExeFolder() + kLogFileName);
    const FakeRasLogLine* entry = Find(log, "RasSetEntryPropertiesW");
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->Get("entry"), "CORVEL_vpn1");
    EXPECT_EQ(entry->Number("size"), sizeof(RASENTRYW));
    EXPECT_EQ(entry->Get("phone"), "10.0.0.1");
    EXPECT_EQ(entry->Number("options"), 0x1008u | 0x10u | 0x40000u);
    EXPECT_EQ(entry->Get("devicename"), "WAN Miniport (L2TP)");
    const FakeRasLogLine* psk = Find(log, "RasSetCredentialsW");
    ASSERT_TRUE(psk);
    EXPECT_EQ(psk->Get("psk"), "psk");
    EXPECT_EQ(psk->Number("size"), sizeof(RASCREDENTIALSW));
    const FakeRasLogLine* dial = Find(log, "RasDialW");
    ASSERT_TRUE(dial);
    EXPECT_EQ(dial->Number("size"), sizeof(RASDIALPARAMSW));
    EXPECT_EQ(dial->Get("user"), "user");
    EXPECT_EQ(dial->Get("notifier"), "2");
    const FakeRasLogLine* hangUp = Find(log, "RasHangUpW");
    ASSERT_TRUE(hangUp);
    EXPECT_EQ(hangUp->Get("handle"), dial->Get("handle"));
    EXPECT_EQ(hangUp->Number("result"), 0u);
    const FakeRasLogLine* deleted = Find(log, "RasDeleteEntryW");
    ASSERT_TRUE(deleted);
    EXPECT_EQ(deleted->Get("entry"), "CORVEL_vpn1");
}

TEST_F(EngineOverFakeDll, ReportsTheRasErrorOfTheCallback) {
    WriteText(ExeFolder() + kScriptFileName, "outcome=error\ncallbacks=2\nerror=691\ninterval_ms=10\n");
    CVpnAdmin engine(parts);
    ASSERT_EQ(engine.BeginVpn(0, nullptr, nullptr), 0u);
    ASSERT_TRUE(sink.WaitForFrame(CCapturingSink::RasErrMsg(691)));
    EXPECT_EQ(engine.GetLastRasError(), 691u);
    EXPECT_EQ(engine.EndVpn(), 0u);
}

} // namespace
