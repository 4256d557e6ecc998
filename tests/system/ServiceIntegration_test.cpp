// The shipped CORVELSVC.exe under Wine's service manager, driven through its pipes, with the
// scripted rasapi32.dll and the "Corvel.exe" stand-in beside it in a folder of the prefix.
#include "DataFileImages.h"
#include "E2eHarness.h"
#include "E2eRequests.h"
#include "FakeGuiLog.h"
#include "FakeRasScript.h"
#include "Notifications.h"
#include "PipeIo.h"
#include "Protocol.h"
#include "Replies.h"
#include "Requests.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <random>
#include <string>
#include <thread>

using namespace corvel;
using namespace corvel::e2e;
using ::testing::ElementsAreArray;

namespace {

// Deadlines, generous: nothing here waits for them unless something is wrong.
constexpr DWORD kStartMs = 15000;
constexpr DWORD kStopMs = 30000;
constexpr DWORD kNotifyMs = 30000; // a hang-up pauses 5 s before the forward

std::wstring TestFolderName() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "-" + info->name();
    std::wstring wide;
    for (char c : name)
        wide += (c == '/' || c == '\\') ? L'-' : wchar_t(static_cast<unsigned char>(c));
    return wide;
}

std::vector<uint8_t> StateMessage(uint8_t vpnIndex, uint8_t state) {
    VpnNotifyMessage m;
    m.VpnIndex = vpnIndex;
    m.ConnectStatus = state;
    const auto bytes = m.ToBytes();
    return {bytes.begin(), bytes.end()};
}

std::vector<uint8_t> RasErrorMessage(uint32_t error) {
    RasErrMsgMessage m;
    m.RasError = error;
    const auto bytes = m.ToBytes();
    return {bytes.begin(), bytes.end()};
}

std::u16string NameOf(const VPNCONFIG& r) {
    size_t n = 0;
    while (n < VPNCONFIG::kNameChars && r.Name[n])
        ++n;
    return std::u16string(r.Name, n);
}

template <size_t N> std::u16string Text(const char16_t (&field)[N]) {
    size_t n = 0;
    while (n < N && field[n])
        ++n;
    return std::u16string(field, n);
}

class ServiceTest : public ::testing::Test {
protected:
    ServiceTest() : m_folder(TestFolderName()) {}

    void SetUp() override {
        ASSERT_EQ(0u, m_folder.Create());
        ASSERT_EQ(0u, m_folder.CopyIn(ToWindowsPath(CORVEL_E2E_SERVICE_EXE)));
        ASSERT_EQ(0u, m_folder.CopyIn(ToWindowsPath(CORVEL_E2E_FAKERAS_DLL), L"rasapi32.dll"));
        ASSERT_EQ(0u, m_folder.CopyIn(ToWindowsPath(CORVEL_E2E_FAKEGUI_EXE), L"Corvel.exe"));
        ASSERT_EQ(0u, SetNativeRasOverride(L"CORVELSVC.exe"));
        ASSERT_EQ(0u, m_gui.Start());
    }

    // Every test ends with a stop that must succeed: a service whose process hangs in its
    // shut-down fails the test that stopped it, not the next one.
    void TearDown() override {
        SERVICE_STATUS_PROCESS status;
        if (m_service.Installed() && m_service.Query(status) == 0 &&
            status.dwCurrentState != SERVICE_STOPPED) {
            EXPECT_EQ(0u, m_service.Stop(kStopMs)) << "stopping the service at the end of the test";
        }
    }

    DWORD StartService() {
        return m_service.InstallAndRun(UniqueServiceName(), m_folder.File(L"CORVELSVC.exe"), kStartMs);
    }

    void WriteRasScript(const std::string& script) {
        ASSERT_EQ(0u, ReplaceWholeFile(m_folder.File(fakeras::kScriptFileName), script));
    }

    std::vector<fakeras::FakeRasLogLine> RasLog(const std::string& event = {}) {
        // Shared for writing: the DLL may be appending a line right now.
        std::vector<uint8_t> bytes;
        UniqueFile file(::CreateFileW(m_folder.File(fakeras::kLogFileName).c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        char chunk[4096];
        DWORD got = 0;
        while (file && ::ReadFile(file.get(), chunk, sizeof chunk, &got, nullptr) && got > 0)
            bytes.insert(bytes.end(), chunk, chunk + got);
        std::vector<fakeras::FakeRasLogLine> lines;
        std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        while (!text.empty()) {
            const size_t end = text.find('\n');
            const auto line = fakeras::FakeRasLogLine::Parse(text.substr(0, end));
            if (!line.Event.empty() && (event.empty() || line.Event == event))
                lines.push_back(line);
            text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        }
        return lines;
    }

    // A running GUI, as far as the service can tell.
    UniqueHandle<> HoldGuiMutex() {
        UniqueHandle<> mutex(::CreateMutexW(nullptr, FALSE, kGuiMutexName));
        EXPECT_TRUE(bool(mutex));
        return mutex;
    }

    void ExpectStates(const std::vector<uint8_t>& expected) {
        uint8_t states[20] = {};
        uint32_t result = 99;
        ASSERT_EQ(0u, RequestVpnStatus(m_client, states, result));
        EXPECT_EQ(0u, result);
        EXPECT_THAT(states, ElementsAreArray(expected));
    }

    void Connect(uint8_t vpnIndex, uint8_t showGui, std::u16string_view user = {},
                 std::u16string_view password = {}) {
        uint32_t result = 99;
        std::vector<uint8_t> payload;
        ASSERT_EQ(0u, RequestResult(m_client, BuildConnectRequest(vpnIndex, showGui, user, password),
                                    CMD_CONNECT, result, &payload));
        EXPECT_EQ(0u, result);
        EXPECT_THAT(payload, ElementsAreArray({vpnIndex}));
    }

    // Connects and waits for the state-1 notification; every one before it says 2.
    void ConnectThroughToConnected(uint8_t vpnIndex, std::u16string_view user = {},
                                   std::u16string_view password = {}) {
        ASSERT_NO_FATAL_FAILURE(Connect(vpnIndex, 1, user, password));
        ASSERT_TRUE(m_gui.WaitForMessage(StateMessage(vpnIndex, 1), kNotifyMs));
        const auto messages = m_gui.Messages();
        ASSERT_GE(messages.size(), 2u);
        EXPECT_EQ(StateMessage(vpnIndex, 1), messages.back());
        for (size_t i = 0; i + 1 < messages.size(); ++i)
            EXPECT_EQ(StateMessage(vpnIndex, 2), messages[i]) << "message " << i;
    }

    // The 20 records of `content` saved through the pipe.
    void SaveRecords(const DataFileContent& content) {
        uint32_t result = 99;
        for (uint8_t i = 0; i < 20; ++i) {
            ASSERT_EQ(0u, RequestResult(m_client, BuildSaveConfigRequest(i, content.Records[i]),
                                        CMD_SAVE_CONFIG, result));
            ASSERT_EQ(0u, result) << int(i);
        }
    }

    // Exports all 20 and each one, imports each file again with its selection: every import
    // succeeds and the records are as before.
    void ExpectEveryExportImportsAgain();

    static std::vector<uint8_t> AllStates(uint8_t vpnIndex = 0, uint8_t state = 0) {
        std::vector<uint8_t> states(20, 0);
        states[vpnIndex] = state;
        return states;
    }

    CTestFolder m_folder;
    CGuiPipeServer m_gui;
    CServiceControl m_service; // stopped and deleted before the GUI pipe goes
    CCommandClient m_client;
};

TEST_F(ServiceTest, RunsUnderTheServiceManagerAndStopsCleanly) {
    ASSERT_EQ(0u, StartService());
    SERVICE_STATUS_PROCESS status;
    ASSERT_EQ(0u, m_service.Query(status));
    EXPECT_EQ(DWORD(SERVICE_RUNNING), status.dwCurrentState);
    EXPECT_EQ(DWORD(SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN), status.dwControlsAccepted);

    ExpectStates(AllStates());
    uint32_t result = 99;
    EXPECT_EQ(0u, RequestResult(m_client, BuildErrRestartChkRequest(), CMD_ERR_RESTART_CHK, result));
    EXPECT_EQ(0u, result);
    // An unknown command byte is dropped without a reply, and the service goes on.
    EXPECT_EQ(0u, m_client.ExpectNoReply({0x03, 0x00, 0x00, 0x00}));
    ExpectStates(AllStates());

    ASSERT_EQ(0u, m_service.Stop(kStopMs, &status));
    EXPECT_EQ(0u, status.dwWin32ExitCode);
    UniqueFile pipe;
    EXPECT_EQ(DWORD(ERROR_FILE_NOT_FOUND), CCommandClient(1000).Open(pipe));
}

TEST_F(ServiceTest, SecondCopyUnderAnotherNameStopsWith1056) {
    ASSERT_EQ(0u, StartService());

    // Another folder: Wine hands a second service of the very same program file to the
    // process that already runs it.
    CTestFolder copyFolder(TestFolderName() + L"-copy");
    ASSERT_EQ(0u, copyFolder.Create());
    ASSERT_EQ(0u, copyFolder.CopyIn(m_folder.File(L"CORVELSVC.exe")));
    CServiceControl copy;
    ASSERT_EQ(0u, copy.Install(UniqueServiceName(), copyFolder.File(L"CORVELSVC.exe")));
    copy.Start(); // may already see the copy gone
    SERVICE_STATUS_PROCESS status = {};
    ASSERT_EQ(0u, copy.WaitForState(SERVICE_STOPPED, kStartMs, &status));
    EXPECT_EQ(DWORD(ERROR_SERVICE_ALREADY_RUNNING), status.dwWin32ExitCode);

    ASSERT_EQ(0u, m_service.Query(status));
    EXPECT_EQ(DWORD(SERVICE_RUNNING), status.dwCurrentState);
    ExpectStates(AllStates());
}

TEST_F(ServiceTest, EighthClientWaitsForAFreeInstanceAndIsServed) {
    ASSERT_EQ(0u, StartService());
    UniqueFile holders[7];
    for (auto& holder : holders)
        ASSERT_EQ(0u, m_client.Open(holder));

    DWORD firstOpen = 0, waited = 0, served = 99;
    uint32_t result = 99;
    DWORD eventResult = 0;
    UniqueHandle<> sawBusy = CreateNamedEvent(nullptr, eventResult);
    ASSERT_EQ(0u, eventResult);
    std::thread eighth([&] {
        UniqueFile pipe(::CreateFileW(kServicePipeName, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        firstOpen = pipe ? 0 : ::GetLastError();
        ::SetEvent(sawBusy.get());
        if (pipe)
            return;
        waited = ::WaitNamedPipeW(kServicePipeName, 20000) ? 0 : ::GetLastError();
        uint8_t states[20];
        served = RequestVpnStatus(m_client, states, result);
    });
    const bool busySeen = ::WaitForSingleObject(sawBusy.get(), 20000) == WAIT_OBJECT_0;

    // One of the seven is served; its worker's end frees a slot for the eighth.
    std::vector<uint8_t> reply;
    DWORD firstServed = m_client.WriteAll(holders[0].get(), BuildVpnStatusRequest());
    if (firstServed == 0)
        firstServed = m_client.ReadReply(holders[0].get(), reply);
    holders[0].reset();
    eighth.join();

    EXPECT_TRUE(busySeen);
    EXPECT_EQ(0u, firstServed);
    EXPECT_EQ(DWORD(ERROR_PIPE_BUSY), firstOpen);
    EXPECT_EQ(0u, waited);
    EXPECT_EQ(0u, served);
    EXPECT_EQ(0u, result);
    // The rest close without a request: their workers drop them and the service goes on.
    for (auto& holder : holders)
        holder.reset();
    ExpectStates(AllStates());
}

TEST_F(ServiceTest, ConnectThroughTheRasDoubleReachesConnectedAndDisconnects) {
    WriteRasScript("outcome=connect\ncallbacks=3\ninterval_ms=50\n");
    const auto gui = HoldGuiMutex();
    ASSERT_EQ(0u, StartService());

    ASSERT_NO_FATAL_FAILURE(ConnectThroughToConnected(2, u"alice", u"secret"));
    ExpectStates(AllStates(2, 1));
    const auto dials = RasLog("RasDialW");
    ASSERT_EQ(1u, dials.size());
    EXPECT_EQ("CORVEL_vpn3", dials[0].Get("entry"));
    EXPECT_EQ("alice", dials[0].Get("user"));
    EXPECT_EQ("secret", dials[0].Get("password"));

    // A second connect while one is held is refused and changes nothing.
    uint32_t result = 0;
    ASSERT_EQ(0u, RequestResult(m_client, BuildConnectRequest(5, 1, {}, {}), CMD_CONNECT, result));
    EXPECT_EQ(ResultCode::AlreadyInitialized, result);

    std::vector<uint8_t> payload;
    ASSERT_EQ(0u, RequestResult(m_client, BuildDisconnectRequest(2), CMD_DISCONNECT, result, &payload));
    EXPECT_EQ(0u, result);
    ExpectStates(AllStates());
    EXPECT_EQ(1u, RasLog("RasHangUpW").size());
    const auto deletes = RasLog("RasDeleteEntryW");
    ASSERT_FALSE(deletes.empty());
    EXPECT_EQ("CORVEL_vpn3", deletes.back().Get("entry"));
}

TEST_F(ServiceTest, ADropIsNotifiedWithStateZeroAndEndsTheConnection) {
    WriteRasScript("outcome=connect\ninterval_ms=50\ndrop_after_ms=1500\n");
    const auto gui = HoldGuiMutex();
    ASSERT_EQ(0u, StartService());

    ASSERT_NO_FATAL_FAILURE(Connect(0, 0));
    // The worker that receives the engine's state 0 ends the connection before it forwards
    // the message, so the hang-up is logged once the message is here.
    ASSERT_TRUE(m_gui.WaitForMessage(StateMessage(0, 0), kNotifyMs));
    const auto messages = m_gui.Messages();
    EXPECT_EQ(StateMessage(0, 0), messages.back());
    EXPECT_NE(messages.end(), std::find(messages.begin(), messages.end(), StateMessage(0, 1)));
    EXPECT_EQ(1u, RasLog("Drop").size());
    EXPECT_EQ(1u, RasLog("RasHangUpW").size());
    ExpectStates(AllStates());
}

TEST_F(ServiceTest, ARasErrorIsForwardedAndEndsTheAttempt) {
    WriteRasScript("outcome=error\nerror=691\ncallbacks=2\ninterval_ms=50\n");
    const auto gui = HoldGuiMutex();
    ASSERT_EQ(0u, StartService());

    ASSERT_NO_FATAL_FAILURE(Connect(5, 1, u"bob", u"wrong"));
    ASSERT_TRUE(m_gui.WaitForMessage(RasErrorMessage(691), kNotifyMs));
    const auto messages = m_gui.Messages();
    EXPECT_EQ(RasErrorMessage(691), messages.back());
    for (size_t i = 0; i + 1 < messages.size(); ++i)
        EXPECT_EQ(StateMessage(5, 2), messages[i]) << "message " << i;

    uint32_t result = 99;
    std::vector<uint8_t> payload;
    ASSERT_EQ(0u, RequestResult(m_client, BuildRasErrRequest(), CMD_RAS_ERR, result, &payload));
    EXPECT_EQ(0u, result);
    EXPECT_THAT(payload, ElementsAreArray({0x00, 0x00, 0x02, 0xB3}));
    ExpectStates(AllStates());
    EXPECT_EQ(1u, RasLog("RasHangUpW").size());
}

TEST_F(ServiceTest, StopWhileConnectedHangsUpBeforeStopped) {
    WriteRasScript("outcome=connect\ninterval_ms=50\n");
    const auto gui = HoldGuiMutex();
    ASSERT_EQ(0u, StartService());
    ASSERT_NO_FATAL_FAILURE(ConnectThroughToConnected(7));
    ASSERT_TRUE(RasLog("RasHangUpW").empty());

    SERVICE_STATUS_PROCESS status;
    ASSERT_EQ(0u, m_service.Stop(kStopMs, &status));
    EXPECT_EQ(0u, status.dwWin32ExitCode);
    const auto hangUps = RasLog("RasHangUpW");
    ASSERT_EQ(1u, hangUps.size());
    EXPECT_EQ(RasLog("RasDialW").at(0).Get("handle"), hangUps[0].Get("handle"));
    const auto deletes = RasLog("RasDeleteEntryW");
    ASSERT_FALSE(deletes.empty());
    EXPECT_EQ("CORVEL_vpn8", deletes.back().Get("entry"));
}

TEST_F(ServiceTest, SettingsSurviveAnExportAndImportRoundTrip) {
    ASSERT_EQ(0u, StartService());
    const DataFileContent sample = MakeSampleContent(u"往復");
    ASSERT_NO_FATAL_FAILURE(SaveRecords(sample));
    uint32_t result = 99;

    const std::wstring all = m_folder.File(L"all.bin");
    ASSERT_EQ(0u, RequestResult(m_client, BuildExportRequest(U16(all), 0), CMD_EXPORT, result));
    ASSERT_EQ(0u, result);
    std::vector<uint8_t> file;
    ASSERT_EQ(0u, ReadWholeFile(all, file));
    ASSERT_EQ(20u * VPNCONFIG::kSize, file.size());
    ASSERT_EQ(0u, CryptSettingsFile(file));
    for (size_t i = 0; i < 20; ++i)
        EXPECT_EQ(sample.Records[i].ToBytes(),
                  std::vector<uint8_t>(file.begin() + i * VPNCONFIG::kSize,
                                       file.begin() + (i + 1) * VPNCONFIG::kSize))
            << i;

    // Overwrite two records, then bring all 20 back from the file.
    const DataFileContent other = MakeSampleContent(u"上書き");
    for (uint8_t i : {uint8_t(2), uint8_t(19)}) {
        ASSERT_EQ(0u, RequestResult(m_client, BuildSaveConfigRequest(i, other.Records[i]), CMD_SAVE_CONFIG,
                                    result));
        ASSERT_EQ(0u, result);
    }
    ASSERT_EQ(0u, RequestResult(m_client, BuildImportRequest(U16(all), 3), CMD_IMPORT, result));
    EXPECT_EQ(ResultCode::InvalidData, result); // 20 records for a selection of one
    ASSERT_EQ(0u, RequestResult(m_client, BuildImportRequest(U16(all), 0), CMD_IMPORT, result));
    ASSERT_EQ(0u, result);
    std::vector<uint8_t> item;
    for (uint8_t i = 0; i < 20; ++i) {
        ASSERT_EQ(0u, RequestLoadConfig(m_client, i, item, result));
        EXPECT_EQ(sample.Records[i].ToBytes(), item) << int(i);
    }

    // One record: exported from connection 3, imported as connection 5.
    const std::wstring one = m_folder.File(L"one.bin");
    ASSERT_EQ(0u, RequestResult(m_client, BuildExportRequest(U16(one), 3), CMD_EXPORT, result));
    ASSERT_EQ(0u, result);
    EXPECT_EQ(static_cast<long long>(VPNCONFIG::kSize), FileSize(one));
    ASSERT_EQ(0u, RequestResult(m_client, BuildImportRequest(U16(one), 5), CMD_IMPORT, result));
    ASSERT_EQ(0u, result);
    ASSERT_EQ(0u, RequestLoadConfig(m_client, 4, item, result));
    EXPECT_EQ(sample.Records[2].ToBytes(), item);
}

// Files of the right size that hold no settings: noise, or a real export under another key.
TEST_F(ServiceTest, AnImportOfAFileThatHoldsNoSettingsIsRefusedWithTheDataFileUnchanged) {
    ASSERT_EQ(0u, StartService());
    const DataFileContent sample = MakeSampleContent(u"本物");
    ASSERT_NO_FATAL_FAILURE(SaveRecords(sample));
    uint32_t result = 99;
    const std::wstring exported = m_folder.File(L"exported.bin");
    ASSERT_EQ(0u, RequestResult(m_client, BuildExportRequest(U16(exported), 0), CMD_EXPORT, result));
    ASSERT_EQ(0u, result);
    std::vector<uint8_t> otherKey;
    ASSERT_EQ(0u, ReadWholeFile(exported, otherKey));
    ASSERT_EQ(0u, CryptSettingsFile(otherKey)); // the plain records
    ASSERT_EQ(0u, CryptDataFile(otherKey));     // under the data file's key
    std::mt19937 engine(18);
    auto random = [&](size_t size) {
        std::vector<uint8_t> bytes(size);
        for (uint8_t& b : bytes)
            b = uint8_t(engine());
        return bytes;
    };
    struct Case {
        const char* Name;
        std::vector<uint8_t> File;
        uint8_t Selection;
    };
    const Case cases[] = {
        {"22520 random bytes", random(20 * VPNCONFIG::kSize), 0},
        {"an export of all under another key", otherKey, 0},
        {"1126 random bytes", random(VPNCONFIG::kSize), 4},
        {"33880 random bytes", random(20 * VPNCONFIG_1694::kSize), 0},
    };
    std::vector<uint8_t> dataFile, after;
    ASSERT_EQ(0u, ReadWholeFile(m_folder.File(L"corvel.dat"), dataFile));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const std::wstring path = m_folder.File(L"noise.bin");
        ASSERT_EQ(0u, WriteWholeFile(path, c.File));
        ASSERT_EQ(0u,
                  RequestResult(m_client, BuildImportRequest(U16(path), c.Selection), CMD_IMPORT, result));
        EXPECT_EQ(ResultCode::InvalidData, result);
        ASSERT_EQ(0u, ReadWholeFile(m_folder.File(L"corvel.dat"), after));
        EXPECT_EQ(dataFile, after) << "corvel.dat byte for byte";
        std::vector<uint8_t> item;
        for (uint8_t i = 0; i < 20; ++i) {
            ASSERT_EQ(0u, RequestLoadConfig(m_client, i, item, result));
            EXPECT_EQ(sample.Records[i].ToBytes(), item) << int(i);
        }
    }
}

// Every file that export writes imports again and brings back what was exported, also after
// a peer saved records and credentials whose strings have no terminator.
TEST_F(ServiceTest, AnExportImportsAgainAfterAPeerSavedStringsWithoutTerminators) {
    ASSERT_EQ(0u, StartService());
    uint32_t result = 99;
    const DataFileContent sample = MakeSampleContent(u"満杯");
    std::mt19937 engine(18);
    for (uint8_t i = 0; i < 20; ++i) {
        // Text to the end of every array, or noise.
        VPNCONFIG r = sample.Records[i];
        std::fill(std::begin(r.Name), std::end(r.Name), u'名');
        std::fill(std::begin(r.PreSharedKey), std::end(r.PreSharedKey), u'鍵');
        std::fill(std::begin(r.Server), std::end(r.Server), uint8_t(0x61));
        std::fill(std::begin(r.UserName), std::end(r.UserName), u'u');
        std::fill(std::begin(r.Password), std::end(r.Password), u'p');
        std::vector<uint8_t> item = r.ToBytes();
        if (i % 2)
            for (uint8_t& b : item)
                b = uint8_t(engine());
        ASSERT_EQ(0u,
                  RequestResult(m_client, BuildSaveConfigItemRequest(i, item.data(), uint32_t(item.size())),
                                CMD_SAVE_CONFIG, result));
        ASSERT_EQ(0u, result) << int(i);
    }
    std::vector<uint8_t> credentials(AUTHINFO::kSize, 0x4B); // no terminator in either string
    credentials[AUTHINFO::kOffVpnIndex] = 6;
    ASSERT_EQ(0u, RequestResult(m_client, BuildSaveConfigItemRequest(25, credentials.data(), AUTHINFO::kSize),
                                CMD_SAVE_CONFIG, result));
    ASSERT_EQ(0u, result);
    ExpectEveryExportImportsAgain();
}

void ServiceTest::ExpectEveryExportImportsAgain() {
    uint32_t result = 99;
    std::vector<std::vector<uint8_t>> before(20);
    for (uint8_t i = 0; i < 20; ++i)
        ASSERT_EQ(0u, RequestLoadConfig(m_client, i, before[i], result));
    const std::wstring path = m_folder.File(L"again.bin");
    for (uint8_t selection = 0; selection <= 20; ++selection) {
        SCOPED_TRACE(int(selection));
        ASSERT_EQ(0u, RequestResult(m_client, BuildExportRequest(U16(path), selection), CMD_EXPORT, result));
        ASSERT_EQ(0u, result);
        ASSERT_EQ(0u, RequestResult(m_client, BuildImportRequest(U16(path), selection), CMD_IMPORT, result));
        EXPECT_EQ(0u, result);
    }
    std::vector<uint8_t> item;
    for (uint8_t i = 0; i < 20; ++i) {
        ASSERT_EQ(0u, RequestLoadConfig(m_client, i, item, result));
        EXPECT_EQ(before[i], item) << int(i);
    }
}

TEST_F(ServiceTest, ConnectWithoutGuiStartsTheStandInFromTheServiceFolder) {
    // The dial fails at once, so each attempt ends without a hang-up pause.
    WriteRasScript("dial_result=623\n");
    DWORD eventResult = 0;
    UniqueHandle<> started = CreateNamedEvent(kFakeGuiStartedEvent, eventResult);
    ASSERT_EQ(0u, eventResult);
    ASSERT_EQ(0u, StartService());

    struct Case {
        uint8_t VpnIndex;
        uint8_t ShowGui;
        const char* CommandLine;
    };
    const Case cases[] = {{4, 0, "connect vpn5 /hide"}, {19, 1, "connect vpn20"}, {0, 7, "connect vpn1"}};
    std::string expectedLog;
    const std::string session = "session=" + std::to_string(::WTSGetActiveConsoleSessionId()) + "|";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.CommandLine);
        ::ResetEvent(started.get());
        ASSERT_NO_FATAL_FAILURE(Connect(c.VpnIndex, c.ShowGui));
        EXPECT_EQ(DWORD(WAIT_OBJECT_0), ::WaitForSingleObject(started.get(), 20000));
        // The failed dial's state 0 means the attempt is over and the next may begin.
        ASSERT_TRUE(m_gui.WaitForMessage(StateMessage(c.VpnIndex, 0), kNotifyMs));
        expectedLog += session + c.CommandLine + "\n";
    }
    std::vector<uint8_t> log;
    ASSERT_EQ(0u, ReadWholeFile(m_folder.File(kFakeGuiLogName), log));
    EXPECT_EQ(expectedLog, std::string(log.begin(), log.end()));
}

TEST_F(ServiceTest, ConnectWhileTheGuiMutexIsHeldStartsNothing) {
    WriteRasScript("dial_result=623\n");
    DWORD eventResult = 0;
    UniqueHandle<> started = CreateNamedEvent(kFakeGuiStartedEvent, eventResult);
    ASSERT_EQ(0u, eventResult);
    const auto gui = HoldGuiMutex();
    ASSERT_EQ(0u, StartService());

    ASSERT_NO_FATAL_FAILURE(Connect(4, 0));
    // StartGui would have run before the attempt whose end this is.
    ASSERT_TRUE(m_gui.WaitForMessage(StateMessage(4, 0), kNotifyMs));
    EXPECT_EQ(DWORD(WAIT_TIMEOUT), ::WaitForSingleObject(started.get(), 0));
    EXPECT_EQ(-1, FileSize(m_folder.File(kFakeGuiLogName)));
    EXPECT_EQ(1u, RasLog("RasDialW").size());
}

// corvel.dat written by the test in each known size, before the service starts.
class DataFileTest : public ServiceTest, public ::testing::WithParamInterface<size_t> {};

TEST_P(DataFileTest, IsReadAndRewrittenInTheCurrentForm) {
    const size_t size = GetParam();
    const DataFileContent content = MakeSampleContent(u"データ" + U16(std::to_wstring(size)) + u"-");
    std::vector<uint8_t> file = BuildPlainDataFile(size, content);
    ASSERT_EQ(0u, CryptDataFile(file));
    const std::wstring path = m_folder.File(L"corvel.dat");
    ASSERT_EQ(0u, WriteWholeFile(path, file));
    ASSERT_EQ(0u, StartService());

    uint32_t result = 99;
    for (uint8_t i = 0; i < 20; ++i) {
        std::u16string name;
        ASSERT_EQ(0u, RequestConnectionName(m_client, i, name, result));
        EXPECT_EQ(0u, result);
        EXPECT_EQ(NameOf(content.Records[i]), name) << int(i);
    }
    std::vector<uint8_t> item;
    ASSERT_EQ(0u, RequestLoadConfig(m_client, 22, item, result));
    EXPECT_EQ(content.Log.ToBytes(), item);

    // The store rewrote the file at start-up, before it reported RUNNING.
    ASSERT_EQ(0u, ReadWholeFile(path, file));
    ASSERT_EQ(kDataFileSize, file.size());
    ASSERT_EQ(0u, CryptDataFile(file));
    EXPECT_EQ(std::vector<uint8_t>(content.ReservedBlock, content.ReservedBlock + kReservedBlockSize),
              std::vector<uint8_t>(file.begin(), file.begin() + kReservedBlockSize));
    for (size_t i = 0; i < 20; ++i) {
        SCOPED_TRACE(i);
        const VPNCONFIG stored = VPNCONFIG::FromBytes(file.data() + kRecordsOffset + i * VPNCONFIG::kSize);
        const VPNCONFIG& sent = content.Records[i];
        EXPECT_EQ(NameOf(sent), NameOf(stored));
        EXPECT_EQ(Text(sent.PreSharedKey), Text(stored.PreSharedKey));
        EXPECT_EQ(Text(sent.UserName), Text(stored.UserName));
        EXPECT_EQ(Text(sent.Password), Text(stored.Password));
        uint8_t a[4], b[4];
        sent.GetServerAddress(a);
        stored.GetServerAddress(b);
        EXPECT_THAT(b, ElementsAreArray(a));
        EXPECT_EQ(sent.AuthProtocol, stored.AuthProtocol);
        EXPECT_EQ(sent.DestinationPrefixLength, stored.DestinationPrefixLength);
        EXPECT_EQ(sent.Reserved, stored.Reserved);
        EXPECT_EQ(1u, stored.UseRemoteGateway);
    }
}

// Converted from an older form or read as it lies, strings that filled their arrays to the
// end are stored terminated: what export then writes imports again.
TEST_P(DataFileTest, WithStringsFillingTheirArraysExportsFilesThatImportAgain) {
    const size_t size = GetParam();
    std::vector<uint8_t> file = BuildPlainDataFile(size, MakeSampleContent(u"満杯"));
    FillRecordStringsToTheEnd(file);
    ASSERT_EQ(0u, CryptDataFile(file));
    ASSERT_EQ(0u, WriteWholeFile(m_folder.File(L"corvel.dat"), file));
    ASSERT_EQ(0u, StartService());
    ExpectEveryExportImportsAgain();
}

INSTANTIATE_TEST_SUITE_P(KnownSizes, DataFileTest,
                         ::testing::Values(kDataFileSize, kDataFileSize1694, kDataFileSize1698));

// Four clients that together keep all 7 instances of the command pipe, as a local process can:
// each instance connected with 1 to 3 bytes of a head written. The service cuts a silent client
// at its deadline (5 s); a holder takes the instance back at once, until its hold is over.
class CInstanceHolders {
public:
    ~CInstanceHolders() { Finish(); }

    // Returns once all 7 are held (0) and keeps them for holdMs from then (INFINITE: until
    // Finish); 1460 when they could not all be taken within 20 s.
    DWORD Start(DWORD holdMs) {
        m_release.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        m_allHeld.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        m_timer.reset(::CreateWaitableTimerW(nullptr, TRUE, nullptr));
        if (!m_release || !m_allHeld || !m_timer)
            return LastErrorOr1359();
        static const unsigned kInstances[] = {2, 2, 2, 1};
        for (unsigned client = 0; client < 4; ++client)
            m_clients.emplace_back([this, client] { Hold(kInstances[client], client % 3 + 1); });
        if (::WaitForSingleObject(m_allHeld.get(), 20000) != WAIT_OBJECT_0)
            return ERROR_TIMEOUT;
        if (holdMs != INFINITE) {
            LARGE_INTEGER due;
            due.QuadPart = -LONGLONG(holdMs) * 10000;
            if (!::SetWaitableTimer(m_timer.get(), &due, 0, nullptr, nullptr, FALSE))
                return LastErrorOr1359();
        }
        return 0;
    }
    // Waits until the hold is over (false after timeoutMs); the holders then let go.
    bool WaitForHoldEnd(DWORD timeoutMs) {
        return ::WaitForSingleObject(m_timer.get(), timeoutMs) == WAIT_OBJECT_0;
    }
    // Ends the hold (if it has not ended) and waits until every instance has been let go.
    void Finish() {
        if (m_release)
            ::SetEvent(m_release.get());
        for (auto& t : m_clients)
            t.join();
        m_clients.clear();
    }
    unsigned Retaken() const { return m_retaken; }

private:
    struct Instance {
        UniqueFile Pipe;
        UniqueEvent ReadDone{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
        OVERLAPPED Read = {};
        uint8_t Byte = 0;
    };

    bool Released() const {
        const HANDLE waits[] = {m_release.get(), m_timer.get()};
        return ::WaitForMultipleObjects(2, waits, FALSE, 0) != WAIT_TIMEOUT;
    }

    // Connects, writes the first bytes of a head and leaves a read pending that completes when
    // the service cuts the instance. False once the hold is over.
    bool Take(Instance& instance, unsigned bytes) {
        static const uint8_t kHead[] = {CMD_VPN_STATUS, 0x00, 0x00};
        while (!Released()) {
            instance.Pipe.reset(::CreateFileW(kServicePipeName, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                              OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
            if (!instance.Pipe) {
                if (::GetLastError() == ERROR_PIPE_BUSY)
                    ::WaitNamedPipeW(kServicePipeName, 50);
                else
                    ::WaitForSingleObject(m_release.get(), 20); // missing for a moment
                continue;
            }
            if (CPipeIo(instance.Pipe.get(), 5000).WriteAll(kHead, bytes) != 0)
                continue;
            instance.Read = {};
            instance.Read.hEvent = instance.ReadDone.get();
            ::ResetEvent(instance.ReadDone.get());
            if (!::ReadFile(instance.Pipe.get(), &instance.Byte, 1, nullptr, &instance.Read) &&
                ::GetLastError() != ERROR_IO_PENDING)
                continue;
            if (++m_held == 7)
                ::SetEvent(m_allHeld.get());
            return true;
        }
        return false;
    }

    void Hold(unsigned count, unsigned bytes) {
        std::vector<Instance> instances(count);
        bool holding = true;
        for (Instance& i : instances)
            holding = holding && Take(i, bytes);
        while (holding) {
            std::vector<HANDLE> waits{m_release.get(), m_timer.get()};
            for (Instance& i : instances)
                waits.push_back(i.ReadDone.get());
            const DWORD w = ::WaitForMultipleObjects(DWORD(waits.size()), waits.data(), FALSE, INFINITE);
            if (w < WAIT_OBJECT_0 + 2 || w >= WAIT_OBJECT_0 + waits.size())
                break;
            Instance& cut = instances[w - WAIT_OBJECT_0 - 2];
            DWORD got = 0;
            ::GetOverlappedResult(cut.Pipe.get(), &cut.Read, &got, TRUE);
            cut.Pipe.reset();
            --m_held;
            ++m_retaken;
            holding = Take(cut, bytes);
        }
        for (Instance& i : instances) {
            if (!i.Pipe)
                continue;
            DWORD got = 0;
            ::CancelIo(i.Pipe.get());
            ::GetOverlappedResult(i.Pipe.get(), &i.Read, &got, TRUE);
        }
    }

    UniqueEvent m_release;
    UniqueEvent m_allHeld;
    UniqueHandle<> m_timer;
    std::vector<std::thread> m_clients;
    std::atomic<int> m_held{0};
    std::atomic<unsigned> m_retaken{0};
};

// The messages in short: "2x5 1" for five of state 2 and one of state 1, "e691" for a RAS error.
std::string Describe(const std::vector<CGuiPipeServer::Message>& messages) {
    std::string text;
    for (size_t i = 0; i < messages.size();) {
        size_t n = 1;
        while (i + n < messages.size() && messages[i + n] == messages[i])
            ++n;
        const auto& m = messages[i];
        std::string one = "?";
        if (m.size() == 7 && m[0] == CMD_VPN_NOTIFY)
            one = std::to_string(m[5]);
        else if (m.size() == 8 && m[0] == CMD_RAS_ERR_MSG)
            one = "e" + std::to_string((uint32_t(m[4]) << 24) | (uint32_t(m[5]) << 16) |
                                       (uint32_t(m[6]) << 8) | m[7]);
        text += (text.empty() ? "" : " ") + one + (n > 1 ? "x" + std::to_string(n) : "");
        i += n;
    }
    return text.empty() ? "none" : text;
}

// What comes about while every instance of the command pipe is held: the dial's outcome, a RAS
// error or the drop of an established connection, each made to happen during the hold. The
// connection's outcome and the tray program's messages must be those of the run without a hold.
enum class HeldPhase { Dialling, RasError, Connected };

struct HeldCase {
    const char* Name;
    HeldPhase Phase;
    DWORD HoldMs; // 0: the run without a hold
};

class HeldPipeTest : public ServiceTest, public ::testing::WithParamInterface<HeldCase> {};

TEST_P(HeldPipeTest, EveryStateChangeReachesTheTrayProgramAndTheOutcomeStands) {
    const HeldCase& c = GetParam();
    const std::string gate = "Global\\CorvelHeldPipeGate" + std::to_string(::GetCurrentProcessId());
    DWORD eventResult = 0;
    UniqueHandle<> gateEvent = CreateNamedEvent(std::wstring(gate.begin(), gate.end()).c_str(), eventResult);
    ASSERT_EQ(0u, eventResult);
    switch (c.Phase) {
    case HeldPhase::Dialling:
        WriteRasScript("outcome=connect\ncallbacks=1\ninterval_ms=50\noutcome_event=" + gate + "\n");
        break;
    case HeldPhase::RasError:
        WriteRasScript("outcome=error\nerror=691\ncallbacks=1\ninterval_ms=50\noutcome_event=" + gate + "\n");
        break;
    case HeldPhase::Connected:
        WriteRasScript("outcome=connect\ncallbacks=1\ninterval_ms=50\ndrop_event=" + gate + "\n");
        break;
    }
    const auto gui = HoldGuiMutex();
    ASSERT_EQ(0u, StartService());

    constexpr uint8_t vpn = 3;
    ASSERT_NO_FATAL_FAILURE(Connect(vpn, 1));
    const auto begun = c.Phase == HeldPhase::Connected ? StateMessage(vpn, 1) : StateMessage(vpn, 2);
    ASSERT_TRUE(m_gui.WaitForMessage(begun, kNotifyMs));

    CInstanceHolders holders;
    size_t atHold = 0, atRelease = 0;
    if (c.HoldMs != 0) {
        ASSERT_EQ(0u, holders.Start(c.HoldMs));
        atHold = m_gui.Messages().size();
    }
    ::SetEvent(gateEvent.get()); // the outcome, or the drop, comes while all 7 are held
    if (c.HoldMs != 0) {
        ASSERT_TRUE(holders.WaitForHoldEnd(c.HoldMs + 20000));
        atRelease = m_gui.Messages().size();
        holders.Finish();
    }

    const auto last = c.Phase == HeldPhase::Dialling   ? StateMessage(vpn, 1)
                      : c.Phase == HeldPhase::RasError ? RasErrorMessage(691)
                                                       : StateMessage(vpn, 0);
    const bool arrived = m_gui.WaitForMessage(last, kNotifyMs);
    const auto messages = m_gui.Messages();
    uint8_t states[20] = {};
    uint32_t statusResult = 99;
    RequestVpnStatus(m_client, states, statusResult);
    std::printf("held command pipe: %s: messages %s (%zu during the hold), %u instances taken back; "
                "state %u, %zu hang-ups\n",
                c.Name, Describe(messages).c_str(), atRelease - atHold, holders.Retaken(),
                unsigned(states[vpn]), RasLog("RasHangUpW").size());
    EXPECT_TRUE(arrived) << "the tray program was not told";
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(last, messages.back());

    // The messages of a run without a hold: 2 on every tick until the outcome.
    size_t i = 0;
    while (i < messages.size() && messages[i] == StateMessage(vpn, 2))
        ++i;
    EXPECT_GE(i, 1u);
    if (c.Phase == HeldPhase::Connected) {
        ASSERT_LT(i, messages.size());
        EXPECT_EQ(StateMessage(vpn, 1), messages[i++]);
    }
    EXPECT_EQ(messages.size(), i + 1) << "a state 2 after the outcome, or more than one outcome";
    EXPECT_TRUE(RasLog("RasDialW").at(0).Get("gates").empty());

    if (c.Phase == HeldPhase::Dialling) {
        ExpectStates(AllStates(vpn, 1));
        EXPECT_TRUE(RasLog("RasHangUpW").empty());
        uint32_t result = 99;
        ASSERT_EQ(0u, RequestResult(m_client, BuildDisconnectRequest(vpn), CMD_DISCONNECT, result));
        EXPECT_EQ(0u, result);
    }
    ExpectStates(AllStates());
    EXPECT_EQ(1u, RasLog("RasHangUpW").size());
    EXPECT_EQ(c.Phase == HeldPhase::Connected ? 1u : 0u, RasLog("Drop").size());
}

INSTANTIATE_TEST_SUITE_P(OneAndSixSeconds, HeldPipeTest,
                         ::testing::Values(HeldCase{"dialling, unheld", HeldPhase::Dialling, 0},
                                           HeldCase{"dialling, held 1 s", HeldPhase::Dialling, 1000},
                                           HeldCase{"dialling, held 6 s", HeldPhase::Dialling, 6000},
                                           HeldCase{"RAS error, unheld", HeldPhase::RasError, 0},
                                           HeldCase{"RAS error, held 1 s", HeldPhase::RasError, 1000},
                                           HeldCase{"RAS error, held 6 s", HeldPhase::RasError, 6000},
                                           HeldCase{"connected, unheld", HeldPhase::Connected, 0},
                                           HeldCase{"connected, held 1 s", HeldPhase::Connected, 1000},
                                           HeldCase{"connected, held 6 s", HeldPhase::Connected, 6000}),
                         [](const ::testing::TestParamInfo<HeldCase>& info) {
                             std::string name;
                             for (const char* p = info.param.Name; *p; ++p)
                                 if (std::isalnum(static_cast<unsigned char>(*p)))
                                     name += *p;
                             return name;
                         });

// A stop while the connect thread waits for a held pipe ends it as promptly as any stop.
TEST_F(ServiceTest, AStopWhileEveryInstanceIsHeldEndsTheWaitingDial) {
    WriteRasScript("outcome=never\ncallbacks=1\ninterval_ms=50\n");
    const auto gui = HoldGuiMutex();
    ASSERT_EQ(0u, StartService());
    ASSERT_NO_FATAL_FAILURE(Connect(0, 1));
    ASSERT_TRUE(m_gui.WaitForMessage(StateMessage(0, 2), kNotifyMs));

    CInstanceHolders holders;
    ASSERT_EQ(0u, holders.Start(INFINITE));
    const double since = NowMs();
    SERVICE_STATUS_PROCESS status;
    EXPECT_EQ(0u, m_service.Stop(kStopMs, &status)); // 258 when the process hung in its end
    std::printf("held command pipe: a stop during the held dial reached STOPPED in %.0f ms\n",
                NowMs() - since);
    holders.Finish();
    EXPECT_EQ(DWORD(SERVICE_STOPPED), status.dwCurrentState);
    EXPECT_EQ(1u, RasLog("RasHangUpW").size());
}

} // namespace
