// corvelc.exe as a process against a fake service on the real pipe: the frames it writes, the
// tray program's mutex, and the waits and bounds of its pipe (missing, busy, silent), each
// outcome read as the full exit code.
#include "CorvelcProcess.h"
#include "FakeCommandHost.h"

#include "CommandData.h"
#include "FakeService.h"
#include "FixedString.h"
#include "Handles.h"
#include "Protocol.h"
#include "Records.h"
#include "Requests.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace corvel::cli {
namespace {

using testing::ElementsAre;

// The build of corvelc.exe that takes this test program, whose fake serves the pipe, for
// CORVELSVC; the shipped one would refuse the fake as it refuses any stranger.
class CCorvelcProcess : public test::CCorvelcProcess {
public:
    explicit CCorvelcProcess(const std::vector<std::wstring>& words, const std::wstring& folder = {})
        : test::CCorvelcProcess(words, folder, test::kCorvelcForFakeService) {}
};

DWORD RunCorvelc(const std::vector<std::wstring>& words) {
    return CCorvelcProcess(words).Wait();
}

// A service as far as the client can tell: the records, and the states every status query reads.
class CScriptedService {
public:
    CScriptedService() { test::StoreSampleRecords(m_records); }

    void SetState(size_t vpnIndex, uint8_t state) {
        std::lock_guard<std::mutex> guard(m_lock);
        m_states[vpnIndex] = state;
    }

    FakeResponder Responder() {
        return [this](const FakeRequest& request) { return Answer(request.Frame); };
    }

private:
    FakeExchange Answer(const std::vector<uint8_t>& f) {
        std::lock_guard<std::mutex> guard(m_lock);
        if (f.size() < CommandHeader::kSize)
            return FakeExchange::Hangup();
        const uint8_t item = f.size() > CommandHeader::kSize ? f[CommandHeader::kSize] : 0;
        switch (f[0]) {
        case CMD_LOAD_CONFIG: {
            const std::vector<uint8_t> record = m_records[item % kVpnCount].ToBytes();
            std::vector<uint8_t> payload;
            BuildLoadConfigPayload(item, record.data(), uint32_t(record.size()), payload);
            return FakeExchange::Answer(FakeReply(CMD_LOAD_CONFIG, 0, payload));
        }
        case CMD_SAVE_CONFIG:
        case CMD_CONNECT:
            return FakeExchange::Answer(FakeReply(f[0], 0, {item}));
        case CMD_VPN_STATUS:
            return FakeExchange::Answer(FakeReply(CMD_VPN_STATUS, 0, m_states));
        case CMD_RAS_ERR:
            return FakeExchange::Answer(FakeReply(CMD_RAS_ERR, 0, BuildRasErrPayload(0)));
        default:
            return FakeExchange::Hangup(); // the notification has no reply
        }
    }

    std::mutex m_lock; // the fake's instance threads answer while the test changes states
    VPNCONFIG m_records[kVpnCount];
    std::vector<uint8_t> m_states = std::vector<uint8_t>(kVpnCount, 0);
};

std::vector<std::vector<uint8_t>> Frames(const CFakeService& service, size_t from = 0) {
    std::vector<std::vector<uint8_t>> frames;
    const std::vector<FakeRequest> requests = service.Requests();
    for (size_t i = from; i < requests.size(); ++i) {
        EXPECT_EQ(requests[i].Writes, 1u) << "request " << i << " was not written whole";
        frames.push_back(requests[i].Frame);
    }
    return frames;
}

std::wstring TempFolder(const std::wstring& name) {
    wchar_t base[MAX_PATH];
    ::GetTempPathW(MAX_PATH, base);
    const std::wstring folder = std::wstring(base) + name + L"\\";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

const std::vector<uint8_t> kDisconnectNotification = {0x41, 0, 0, 3, 0, 0, 1};

TEST(CorvelcExe, ConnectAndDisconnectWriteTheirFramesAndExitWithTheOutcome) {
    CScriptedService script;
    CFakeService service(script.Responder(), 3);
    ASSERT_EQ(service.Start(), 0u);
    script.SetState(2, 1);

    // Polling reads "connected".
    EXPECT_EQ(RunCorvelc({L"connect", L"vpn3"}), 0u);
    EXPECT_THAT(Frames(service), ElementsAre(BuildLoadConfigRequest(2),
                                             BuildConnectRequest(2, 0, u"stored-user", u"stored-pw"),
                                             BuildVpnStatusRequest()));

    // "/idpass" stores first; a password that is a wildcard matching a file of the working folder
    // reaches the service as it was typed.
    const std::wstring folder = TempFolder(L"corvelc-wildcard");
    UniqueFile match(::CreateFileW((folder + L"a.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(match);
    match.reset();
    size_t before = service.Requests().size();
    EXPECT_EQ(CCorvelcProcess({L"connect", L"/idpass", L"alice", L"*.txt", L"vpn3"}, folder).Wait(), 0u);
    ::DeleteFileW((folder + L"a.txt").c_str());
    ::RemoveDirectoryW(folder.c_str());
    AUTHINFO credentials;
    credentials.VpnIndex = 2;
    CopyToFixed(credentials.UserName, u"alice");
    CopyToFixed(credentials.Password, u"*.txt");
    EXPECT_THAT(Frames(service, before),
                ElementsAre(BuildLoadConfigRequest(2), BuildSaveAuthInfoRequest(credentials),
                            BuildConnectRequest(2, 0, u"alice", u"*.txt"), BuildVpnStatusRequest()));

    // Something up: the notification, whichever connection it is, after which the client
    // pauses 5 s so the service has ended it.
    before = service.Requests().size();
    CCorvelcProcess disconnect({L"disconnect"});
    EXPECT_EQ(disconnect.Wait(), 0u);
    EXPECT_GE(disconnect.ElapsedMs(), 5000u);
    EXPECT_THAT(Frames(service, before), ElementsAre(BuildVpnStatusRequest(), kDisconnectNotification));

    // Nothing up: nothing is sent.
    script.SetState(2, 0);
    before = service.Requests().size();
    EXPECT_EQ(RunCorvelc({L"disconnect"}), 0u);
    EXPECT_THAT(Frames(service, before), ElementsAre(BuildVpnStatusRequest()));
}

TEST(CorvelcExe, TheTrayProgramsMutexIsTestedAfterParsing) {
    CScriptedService script;
    CFakeService service(script.Responder(), 2);
    ASSERT_EQ(service.Start(), 0u);

    // Without the tray program: a line without a command word passes parsing and is refused.
    EXPECT_EQ(RunCorvelc({}), 87u);
    EXPECT_EQ(RunCorvelc({L"vpn3"}), 1359u);

    {
        UniqueHandle<> mutex(::CreateMutexW(nullptr, FALSE, kGuiMutexName));
        ASSERT_TRUE(mutex);
        EXPECT_EQ(RunCorvelc({L"connect", L"vpn3"}), 1235u);
        EXPECT_EQ(RunCorvelc({L"vpn3", L"/win"}), 1235u);
        // Parsing comes first.
        EXPECT_EQ(RunCorvelc({L"Connect"}), 87u);
        EXPECT_EQ(RunCorvelc({L"connect", L"vpn21"}), 160u);
        EXPECT_TRUE(service.Requests().empty());
        // "disconnect" runs beside the tray program.
        EXPECT_EQ(RunCorvelc({L"disconnect"}), 0u);
        EXPECT_THAT(Frames(service), ElementsAre(BuildVpnStatusRequest()));
    }

    // A mutex that exists but may not be opened (another user's tray program) counts as present.
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P", SDDL_REVISION_1, &descriptor,
                                                                       nullptr));
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    UniqueHandle<> denied(::CreateMutexW(&attributes, FALSE, kGuiMutexName));
    ::LocalFree(descriptor);
    ASSERT_TRUE(denied);
    {
        UniqueHandle<> probe(::OpenMutexW(MUTEX_ALL_ACCESS, FALSE, kGuiMutexName));
        ASSERT_FALSE(probe);
        ASSERT_EQ(::GetLastError(), DWORD(ERROR_ACCESS_DENIED));
    }
    EXPECT_EQ(RunCorvelc({L"connect", L"vpn3"}), 1235u);
    EXPECT_EQ(service.Requests().size(), 1u);
}

// The shipped corvelc.exe with no CORVELSVC running: a program that took the pipe's name gets
// connections, closed before anything was written, and the client exits 5.
TEST(CorvelcExe, AProgramThatTookThePipesNameReceivesNothing) {
    CScriptedService script;
    CFakeService rogue(script.Responder(), 2);
    ASSERT_EQ(rogue.Start(), 0u);
    const std::vector<std::vector<std::wstring>> lines = {
        {L"connect", L"vpn1", L"/idpass", L"alice", L"secret"}, {L"connect", L"vpn1"}, {L"disconnect"}};
    for (const std::vector<std::wstring>& words : lines) {
        const size_t connections = rogue.Connections();
        EXPECT_EQ(test::CCorvelcProcess(words).Wait(), DWORD(ERROR_ACCESS_DENIED)) << words[0];
        EXPECT_TRUE(rogue.WaitForConnections(connections + 1, 5000)) << "the client never opened the pipe";
    }
    EXPECT_EQ(rogue.BytesReceived(), 0u);
    EXPECT_TRUE(rogue.Requests().empty());
}

// Slow (about 34 s): one client waits in a service that never answers, another finds every
// instance taken for all of its 33 attempts.
TEST(CorvelcExeSlow, ASilentServiceIs1460AndBusyInstancesAre231) {
    CFakeService service([](const FakeRequest&) { return FakeExchange::Silence(); }, 2);
    ASSERT_EQ(service.Start(), 0u);
    CCorvelcProcess silent({L"connect", L"vpn3"});
    ASSERT_TRUE(service.WaitForRequests(1, 30000));
    // The other instance, held by the test.
    UniqueFile holder(::CreateFileW(kServicePipeName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_OVERLAPPED, nullptr));
    ASSERT_TRUE(holder) << ::GetLastError();
    CCorvelcProcess busy({L"disconnect"});

    EXPECT_EQ(silent.Wait(), DWORD(ERROR_TIMEOUT));
    EXPECT_GE(silent.ElapsedMs(), 9500u);
    EXPECT_EQ(busy.Wait(), DWORD(ERROR_PIPE_BUSY));
    EXPECT_GE(busy.ElapsedMs(), 30000u);
    EXPECT_EQ(service.Requests().size(), 1u);
}

// Slow (about 33 s): no service at all.
TEST(CorvelcExeSlow, AMissingServiceIs2AfterItsAttempts) {
    UniqueFile probe(
        ::CreateFileW(kServicePipeName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_FALSE(probe);
    ASSERT_EQ(::GetLastError(), DWORD(ERROR_FILE_NOT_FOUND)) << "a service pipe exists";

    CCorvelcProcess connect({L"connect", L"vpn3"});
    EXPECT_EQ(connect.Wait(), DWORD(ERROR_FILE_NOT_FOUND));
    // 33 attempts a second apart, the last one's pause included.
    EXPECT_GE(connect.ElapsedMs(), 32000u);
    EXPECT_LE(connect.ElapsedMs(), 50000u);
}

} // namespace
} // namespace corvel::cli
