// The shipped CORVELSVC.exe under Wine's service manager, under bad input, faults and load:
// killed while it saves, links planted at its data file, silent and slow clients, a storm of
// dropped connections, every command byte and huge announcements, a GUI pipe that never
// reads, and a decoy tray program. Each test prints its figures; seeds and counts are fixed.
#include "DataFileImages.h"
#include "E2eHarness.h"
#include "E2eRequests.h"
#include "FakeGuiLog.h"
#include "PipeIo.h"
#include "StressKit.h"

#include "FixedString.h"
#include "Protocol.h"
#include "Records.h"
#include "Replies.h"
#include "Requests.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <winternl.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

using namespace corvel;
using namespace corvel::e2e;
using namespace corvel::stress;

namespace {

constexpr DWORD kStartMs = 15000;
constexpr uint32_t kSeed = 20260611;
// The worker's bound of one request's reads, of one write and of the wait for the client.
constexpr double kWorkerDeadlineMs = 5000;

using Bytes = std::vector<uint8_t>;

std::wstring TestFolderName() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string("stress-") + info->name();
    std::wstring wide;
    for (char c : name)
        wide += (c == '/' || c == '\\') ? L'-' : wchar_t(static_cast<unsigned char>(c));
    return wide;
}

double NowMs() {
    return double(::GetTickCount64());
}

// Starts a Unix program (Wine starts ELF files): the way to make a Unix symbolic link where
// CreateSymbolicLinkW does nothing. Wine gives no handle to wait on for such a program, so
// callers look for its effect. False when it cannot be started.
bool StartUnixProgram(const std::wstring& program, const std::wstring& arguments) {
    std::wstring line = L"\"" + program + L"\" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!::CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &process))
        return false;
    if (process.hThread)
        ::CloseHandle(process.hThread);
    if (process.hProcess)
        ::CloseHandle(process.hProcess);
    return true;
}

// The Unix path of a Windows path under Wine; empty elsewhere.
std::wstring UnixPathOf(const std::wstring& path) {
    using Function = char*(CDECL*)(const wchar_t*);
    const auto toUnix = reinterpret_cast<Function>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!toUnix)
        return {};
    char* unixPath = toUnix(path.c_str());
    if (!unixPath)
        return {};
    std::wstring wide;
    for (const char* p = unixPath; *p; ++p)
        wide += wchar_t(static_cast<unsigned char>(*p));
    ::HeapFree(::GetProcessHeap(), 0, unixPath);
    return wide;
}

// True when the file reads as exactly these bytes.
bool LeadsTo(const std::wstring& path, const std::vector<uint8_t>& bytes) {
    std::vector<uint8_t> content;
    return ReadWholeFile(path, content) == 0 && content == bytes;
}

// The current directory of another process, from its process parameters (64-bit layout).
std::wstring CurrentDirectoryOf(HANDLE process) {
    static_assert(sizeof(void*) == 8, "offsets of the 64-bit PEB");
    using QueryFunction = LONG(NTAPI*)(HANDLE, ULONG, PVOID, ULONG, PULONG);
    const auto query = reinterpret_cast<QueryFunction>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
    PROCESS_BASIC_INFORMATION basic = {};
    ULONG got = 0;
    if (!query || query(process, 0, &basic, sizeof basic, &got) != 0 || !basic.PebBaseAddress)
        return {};
    uint8_t* parameters = nullptr;
    SIZE_T read = 0;
    if (!::ReadProcessMemory(process, reinterpret_cast<uint8_t*>(basic.PebBaseAddress) + 0x20, &parameters,
                             sizeof parameters, &read) ||
        !parameters)
        return {};
    struct {
        USHORT Length;
        USHORT MaximumLength;
        ULONG Padding;
        wchar_t* Buffer;
    } directory = {};
    if (!::ReadProcessMemory(process, parameters + 0x38, &directory, sizeof directory, &read) ||
        !directory.Buffer || directory.Length == 0 || directory.Length > 2 * MAX_PATH)
        return {};
    std::wstring text(directory.Length / 2, L'\0');
    if (!::ReadProcessMemory(process, directory.Buffer, text.data(), directory.Length, &read))
        return {};
    if (!text.empty() && text.back() != L'\\')
        text += L'\\';
    return text;
}

class StressTest : public ::testing::Test {
protected:
    StressTest() : m_folder(TestFolderName()) {}

    void SetUp() override {
        ASSERT_EQ(0u, m_folder.Create());
        ASSERT_EQ(0u, m_folder.CopyIn(ToWindowsPath(CORVEL_STRESS_SERVICE_EXE)));
    }

    DWORD StartService() {
        return m_service.InstallAndRun(kServiceName, m_folder.File(L"CORVELSVC.exe"), kStartMs);
    }
    // Starts the service again after its process `killedPid` was killed. Wine's service
    // manager never notices the death (the state stays RUNNING with the dead process), and
    // Windows' may take a moment (1056 until then): the new process is what is waited for,
    // polled since the service manager has no event for it.
    DWORD RestartAfterKill(DWORD killedPid) {
        const ULONGLONG deadline = ::GetTickCount64() + kStartMs;
        DWORD result = 0;
        while ((result = m_service.Start()) == ERROR_SERVICE_ALREADY_RUNNING && ::GetTickCount64() < deadline)
            ::Sleep(50);
        if (result != 0)
            return result;
        for (;;) {
            SERVICE_STATUS_PROCESS status = {};
            if ((result = m_service.Query(status)) != 0)
                return result;
            if (status.dwCurrentState == SERVICE_RUNNING && status.dwProcessId != 0 &&
                status.dwProcessId != killedPid)
                break;
            if (::GetTickCount64() >= deadline)
                return ERROR_TIMEOUT;
            ::Sleep(20);
        }
        return WaitForCommandPipe(kStartMs);
    }
    std::wstring DataFile() const { return m_folder.File(L"corvel.dat"); }

    CTestFolder m_folder;
    CServiceControl m_service;
    CCommandClient m_client{20000};
};

// ---- killed while it saves ----

uint32_t StoredCounter(const std::vector<uint8_t>& plain, size_t index) {
    const VPNCONFIG r = VPNCONFIG::FromBytes(plain.data() + kRecordsOffset + index * VPNCONFIG::kSize);
    return r.Reserved;
}

VPNCONFIG CountedRecord(size_t index, uint32_t counter) {
    VPNCONFIG r = VPNCONFIG::Default(index);
    const std::string digits = "k" + std::to_string(counter);
    CopyToFixed(r.Name, std::u16string(digits.begin(), digits.end()));
    r.Reserved = counter;
    return r;
}

TEST_F(StressTest, KilledWhileSavingTheFileIsAlwaysWhole) {
    constexpr int kKills = 100;
    constexpr double kBudgetMs = 150000; // the rest of the kills go when this is used up
    DataFileContent content = MakeSampleContent(u"k");
    for (size_t i = 0; i < kVpnCount; ++i)
        content.Records[i] = CountedRecord(i, 0);
    std::vector<uint8_t> file = BuildPlainDataFile(kDataFileSize, content);
    ASSERT_EQ(0u, CryptDataFile(file));
    ASSERT_EQ(0u, WriteWholeFile(DataFile(), file));
    ASSERT_EQ(0u, StartService());

    std::mt19937 random(kSeed);
    uint32_t acknowledged[kVpnCount] = {}, sent[kVpnCount] = {};
    uint32_t counter = 0, saves = 0;
    int kills = 0, shortFiles = 0, lostRecords = 0;
    const double begin = NowMs();
    DWORD killedPid = 0;
    for (; kills < kKills && NowMs() - begin < kBudgetMs; ++kills) {
        SCOPED_TRACE("kill " + std::to_string(kills));
        if (kills > 0) {
            ASSERT_EQ(0u, RestartAfterKill(killedPid));
        }
        CServiceProcess process;
        ASSERT_EQ(0u, process.Open(m_service));

        // The client saves one record after another and notes what was acknowledged.
        std::mutex lock;
        std::condition_variable firstAck;
        bool acked = false;
        std::thread saver([&] {
            const CCommandClient client(5000);
            for (;;) {
                const size_t index = counter % kVpnCount;
                const uint32_t value = ++counter;
                sent[index] = value;
                uint32_t result = 99;
                if (RequestResult(client, BuildSaveConfigRequest(uint8_t(index), CountedRecord(index, value)),
                                  CMD_SAVE_CONFIG, result) != 0 ||
                    result != 0)
                    return; // the service is gone
                acknowledged[index] = value;
                ++saves;
                std::lock_guard<std::mutex> hold(lock);
                acked = true;
                firstAck.notify_all();
            }
        });
        {
            std::unique_lock<std::mutex> hold(lock);
            const bool saving = firstAck.wait_for(hold, std::chrono::seconds(20), [&] { return acked; });
            if (!saving) {
                hold.unlock();
                ::TerminateProcess(process.Get(), 1);
                saver.join();
                FAIL() << "no save was acknowledged";
            }
        }
        // The random moment: somewhere within the next few saves.
        ::Sleep(random() % 120);
        ASSERT_TRUE(::TerminateProcess(process.Get(), 1)) << ::GetLastError();
        ASSERT_EQ(DWORD(WAIT_OBJECT_0), ::WaitForSingleObject(process.Get(), 10000));
        saver.join();
        killedPid = process.Pid();

        std::vector<uint8_t> left;
        ASSERT_EQ(0u, ReadWholeFile(DataFile(), left));
        if (left.size() != kDataFileSize) {
            ++shortFiles;
            ADD_FAILURE() << "corvel.dat has " << left.size() << " bytes";
            continue;
        }
        ASSERT_EQ(0u, CryptDataFile(left));
        for (size_t i = 0; i < kVpnCount; ++i) {
            const uint32_t stored = StoredCounter(left, i);
            const VPNCONFIG r = VPNCONFIG::FromBytes(left.data() + kRecordsOffset + i * VPNCONFIG::kSize);
            const std::string digits = "k" + std::to_string(stored);
            const bool whole = FixedToString(r.Name) == std::u16string(digits.begin(), digits.end());
            if (stored < acknowledged[i] || stored > sent[i] || !whole) {
                ++lostRecords;
                ADD_FAILURE() << "record " << i << " holds " << stored << ", acknowledged " << acknowledged[i]
                              << ", last sent " << sent[i];
            }
        }
    }
    // Running again, so that the clean-up stops a live service.
    EXPECT_EQ(0u, RestartAfterKill(killedPid));
    std::printf(
        "kill while saving: %d kills (TerminateProcess) at random moments (seed %u) over %u "
        "acknowledged saves in %.1f s: %d short or missing files, %d records older than acknowledged\n",
        kills, kSeed, saves, (NowMs() - begin) / 1000.0, shortFiles, lostRecords);
    if (kills < kKills)
        std::printf("kill while saving: only %d of %d kills fit the time budget of %.0f s\n", kills, kKills,
                    kBudgetMs / 1000.0);
    EXPECT_EQ(0, shortFiles);
    EXPECT_EQ(0, lostRecords);
    EXPECT_GE(kills, 20);
}

// ---- links planted at "corvel.dat" ----

class LinkTest : public StressTest, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        // A Unix link left by an interrupted run is not removed by Windows calls once its
        // target is gone.
        // The folder goes whole, and is waited for: Wine gives no handle to wait
        // on for a Unix program.
        std::wstring folder = m_folder.Path();
        folder.pop_back();
        const std::wstring stale = UnixPathOf(folder);
        if (!stale.empty() && ::GetFileAttributesW(folder.c_str()) != INVALID_FILE_ATTRIBUTES &&
            StartUnixProgram(L"Z:\\bin\\rm", L"-rf \"" + stale + L"\""))
            for (int poll = 0; poll < 250 && ::GetFileAttributesW(folder.c_str()) != INVALID_FILE_ATTRIBUTES;
                 ++poll)
                ::Sleep(20);
        StressTest::SetUp();
    }
};

TEST_P(LinkTest, ASaveReplacesTheLinkAndLeavesItsTargetAlone) {
    const bool symbolic = GetParam();
    const std::wstring sentinel = m_folder.File(L"sentinel.dat");
    std::vector<uint8_t> sentinelBytes = BuildPlainDataFile(kDataFileSize, MakeSampleContent(u"sentinel"));
    ASSERT_EQ(0u, CryptDataFile(sentinelBytes));
    ASSERT_EQ(0u, WriteWholeFile(sentinel, sentinelBytes));

    std::string how;
    if (!symbolic) {
        ASSERT_TRUE(::CreateHardLinkW(DataFile().c_str(), sentinel.c_str(), nullptr)) << ::GetLastError();
        how = "CreateHardLinkW";
    } else {
        // CreateSymbolicLinkW may answer TRUE and make nothing (Wine): then a Unix link.
        if (::CreateSymbolicLinkW(DataFile().c_str(), sentinel.c_str(), 0) && FileSize(DataFile()) >= 0) {
            how = "CreateSymbolicLinkW";
        } else {
            const std::wstring from = UnixPathOf(sentinel), to = UnixPathOf(DataFile());
            // No event tells when the link is there: it is looked for.
            bool linked =
                !from.empty() && StartUnixProgram(L"Z:\\bin\\ln", L"-s \"" + from + L"\" \"" + to + L"\"");
            for (int poll = 0; linked && poll < 250 && !LeadsTo(DataFile(), sentinelBytes); ++poll)
                ::Sleep(20);
            if (!linked || !LeadsTo(DataFile(), sentinelBytes)) {
                std::printf("links at corvel.dat: symbolic link skipped: CreateSymbolicLinkW made none (%lu) "
                            "and no Unix ln could run\n",
                            ::GetLastError());
                GTEST_SKIP() << "no symbolic links here";
            }
            how = "a Unix symlink (ln -s), CreateSymbolicLinkW makes none here";
        }
    }
    ASSERT_TRUE(LeadsTo(DataFile(), sentinelBytes)) << "the link does not lead to the sentinel";

    ASSERT_EQ(0u, StartService());
    // The service read the sentinel through the link.
    std::u16string name;
    uint32_t result = 99;
    ASSERT_EQ(0u, RequestConnectionName(m_client, 0, name, result));
    EXPECT_EQ(FixedToString(MakeSampleContent(u"sentinel").Records[0].Name), name);
    VPNCONFIG changed = VPNCONFIG::Default(3);
    CopyToFixed(changed.Name, u"after the link");
    ASSERT_EQ(0u, RequestResult(m_client, BuildSaveConfigRequest(3, changed), CMD_SAVE_CONFIG, result));
    ASSERT_EQ(0u, result);

    // The sentinel as it was, and "corvel.dat" holding the new image: so it is a file of its
    // own (file ids and link counts are not to be had under Wine, nor a Unix link's mark).
    std::vector<uint8_t> now;
    ASSERT_EQ(0u, ReadWholeFile(sentinel, now));
    const bool sentinelKept = now == sentinelBytes;
    std::vector<uint8_t> saved;
    ASSERT_EQ(0u, ReadWholeFile(DataFile(), saved));
    bool holdsTheSave =
        saved.size() == kDataFileSize && CryptDataFile(saved) == 0 &&
        FixedToString(changed.Name) ==
            FixedToString(VPNCONFIG::FromBytes(saved.data() + kRecordsOffset + 3 * VPNCONFIG::kSize).Name);
    const DWORD attributes = ::GetFileAttributesW(DataFile().c_str());
    const bool regular = holdsTheSave && attributes != INVALID_FILE_ATTRIBUTES &&
                         !(attributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY));
    std::printf(
        "links at corvel.dat: %s link made with %s; after a save the sentinel is %s and corvel.dat is %s\n",
        symbolic ? "symbolic" : "hard", how.c_str(), sentinelKept ? "unchanged" : "CHANGED",
        regular ? "a regular file of its own" : "NOT a regular file of its own");
    EXPECT_TRUE(sentinelKept);
    EXPECT_TRUE(regular) << "attributes " << attributes << ", holds the save " << holdsTheSave;
}

INSTANTIATE_TEST_SUITE_P(HardAndSymbolic, LinkTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Symbolic" : "Hard"; });

// ---- silent and slow clients ----

TEST_F(StressTest, SilentAndSlowClientsCannotFreezeTheService) {
    ASSERT_EQ(0u, StartService());
    struct Group {
        const char* Name;
        Bytes Sent;
    } groups[] = {
        {"connect and send nothing", {}},
        {"announce 16,777,215 bytes and stop", {0x11, 0xFF, 0xFF, 0xFF, 0x03}},
        {"never read the reply", BuildLoadConfigRequest(0)},
    };
    const double bound = kWorkerDeadlineMs + 1000;
    for (const Group& g : groups) {
        SCOPED_TRACE(g.Name);
        std::vector<UniqueFile> stalled(7);
        for (auto& pipe : stalled) {
            ASSERT_EQ(0u, m_client.Open(pipe));
            if (!g.Sent.empty()) {
                ASSERT_EQ(0u, m_client.WriteAll(pipe.get(), g.Sent));
            }
        }
        double ms = 0;
        EXPECT_EQ(0u, TimedStatus(m_client, ms));
        std::printf("silent and slow clients: 7 that %s: a status request answered in %.0f ms (bound %.0f)\n",
                    g.Name, ms, bound);
        EXPECT_LE(ms, bound);
    }

    // All three kinds at once hold every worker: the stop still comes through.
    std::vector<UniqueFile> stalled(7);
    for (size_t i = 0; i < stalled.size(); ++i) {
        ASSERT_EQ(0u, m_client.Open(stalled[i]));
        const Bytes& sent = groups[i % 3].Sent;
        if (!sent.empty()) {
            ASSERT_EQ(0u, m_client.WriteAll(stalled[i].get(), sent));
        }
    }
    const double since = NowMs();
    SERVICE_STATUS_PROCESS status = {};
    EXPECT_EQ(0u, m_service.Stop(5000, &status));
    const double stopMs = NowMs() - since;
    std::printf(
        "silent and slow clients: net stop with 7 stalled clients reached STOPPED in %.0f ms (bound 5000)\n",
        stopMs);
    EXPECT_EQ(DWORD(SERVICE_STOPPED), status.dwCurrentState);
}

// ---- connect and drop storm ----

TEST_F(StressTest, AStormOfDroppedConnectionsLeavesNoHandlesBehind) {
    ASSERT_EQ(0u, StartService());
    CServiceProcess process;
    ASSERT_EQ(0u, process.Open(m_service));
    double ms = 0;
    for (int i = 0; i < 20; ++i)
        ASSERT_EQ(0u, TimedStatus(m_client, ms));
    DWORD before = 0;
    std::string how;
    ASSERT_EQ(0u, process.HandleCount(before, &how));

    const StormFigures storm = RunStorm(10000, 16);

    uint32_t answered = 0;
    for (int i = 0; i < 20; ++i)
        answered += TimedStatus(m_client, ms) == 0;
    SERVICE_STATUS_PROCESS status = {};
    ASSERT_EQ(0u, m_service.Query(status));
    DWORD after = 0;
    ASSERT_EQ(0u, process.HandleCount(after, &how));
    std::printf(
        "connect/drop storm: %u cycles (connect-close, 1 byte, a head) from 16 threads in %.1f s, "
        "%u opens failed; afterwards %u/20 status requests answered, process %s, handles %lu -> %lu (%s)\n",
        storm.Cycles, storm.Seconds, storm.OpenFailures, answered,
        process.Running() && status.dwProcessId == process.Pid() ? "still the same" : "GONE", before, after,
        how.c_str());
    EXPECT_EQ(0u, storm.OpenFailures);
    EXPECT_EQ(20u, answered);
    EXPECT_TRUE(process.Running());
    EXPECT_EQ(process.Pid(), status.dwProcessId);
    EXPECT_LE(after, before + 16);
    EXPECT_GE(after + 16, before);
}

// ---- every command byte, short and oversized requests, memory ----

// The reply of each command byte to a head with DataLength 0; empty: none.
Bytes ReplyToEmptyData(uint8_t command) {
    auto reply = [](uint8_t id, uint32_t result, const Bytes& payload) {
        Bytes r(8 + payload.size(), 0);
        r[0] = id;
        r[3] = uint8_t(4 + payload.size());
        r[7] = uint8_t(result);
        for (size_t i = 0; i < payload.size(); ++i)
            r[8 + i] = payload[i];
        return r;
    };
    switch (command) {
    case 0x01:
        return reply(0x81, 11, {0xFF});
    case 0x02:
        return reply(0x82, 11, {0x00});
    case 0x11:
        return reply(0x91, 11, {0x00});
    case 0x12:
        return reply(0x92, 11, {0, 0, 0, 0, 0});
    case 0x21:
        return reply(0xA1, 11, {});
    case 0x22:
        return reply(0xA2, 11, {});
    case 0x31:
        return reply(0xB1, 0, Bytes(20, 0));
    case 0x32:
        return reply(0xB2, 0, Bytes(4, 0));
    case 0xC1:
        return reply(0x41, 0, {});
    default:
        return {}; // the two notifications and every byte outside the table
    }
}

// Writes the bytes and reads what comes back: nothing when the service closes at once, else
// the reply as its head says, after which the client closes (the service waits for that).
DWORD Answer(const CCommandClient& client, const Bytes& request, Bytes& answer) {
    answer.clear();
    UniqueFile pipe;
    DWORD result = client.Open(pipe);
    if (result == 0 && !request.empty())
        result = client.WriteAll(pipe.get(), request);
    if (result != 0)
        return result;
    uint8_t first = 0;
    result = client.ReadExact(pipe.get(), &first, 1);
    if (result == ERROR_BROKEN_PIPE || result == ERROR_PIPE_NOT_CONNECTED || result == ERROR_NO_DATA)
        return 0;
    if (result != 0)
        return result;
    answer.assign(8, 0);
    answer[0] = first;
    if ((result = client.ReadExact(pipe.get(), answer.data() + 1, 7)) != 0)
        return result;
    const uint32_t dataLength = (uint32_t(answer[1]) << 16) | (uint32_t(answer[2]) << 8) | answer[3];
    if (dataLength < 4 || dataLength > 4096)
        return ERROR_BAD_FORMAT;
    answer.resize(4 + size_t(dataLength));
    return dataLength > 4 ? client.ReadExact(pipe.get(), answer.data() + 8, dataLength - 4) : 0;
}

TEST_F(StressTest, EveryCommandByteAndEveryShortRequestGetsItsReplyOrNone) {
    ASSERT_EQ(0u, StartService());
    int wrong = 0, cases = 0;
    const double begin = NowMs();
    std::vector<double> phases;
    // A full head with no DATA, for all 256 command bytes.
    for (int command = 0; command < 256; ++command) {
        Bytes answer;
        ASSERT_EQ(0u, Answer(m_client, {uint8_t(command), 0, 0, 0}, answer)) << command;
        const Bytes expected = ReplyToEmptyData(uint8_t(command));
        ++cases;
        if (answer != expected) {
            ++wrong;
            ADD_FAILURE() << "command " << command << ": " << answer.size() << " bytes back";
        }
    }
    phases.push_back(NowMs());
    // Lengths inside DATA beyond DATA: refused with 11.
    const struct {
        const char* Name;
        Bytes Request;
        Bytes Expected;
    } inner[] = {
        {"connect user beyond DATA",
         {0x01, 0, 0, 10, 2, 1, 0xFF, 0xFF, 0xFF, 0xF0, 0, 0, 0, 0},
         {0x81, 0, 0, 5, 0, 0, 0, 11, 2}},
        {"connect password beyond DATA",
         {0x01, 0, 0, 12, 2, 1, 0, 0, 0, 2, 'a', 0, 0, 0, 1, 0},
         {0x81, 0, 0, 5, 0, 0, 0, 11, 2}},
        {"save item beyond DATA",
         {0x11, 0, 0, 6, 3, 0xFF, 0xFF, 0xFF, 0xFF, 7},
         {0x91, 0, 0, 5, 0, 0, 0, 11, 3}},
        {"import path beyond DATA", {0x21, 0, 0, 7, 0, 0, 0, 0x10, 'a', 0, 1}, {0xA1, 0, 0, 4, 0, 0, 0, 11}},
        {"export path beyond DATA",
         {0x22, 0, 0, 7, 0xFF, 0xFF, 0xFF, 0xFF, 'a', 0, 1},
         {0xA2, 0, 0, 4, 0, 0, 0, 11}},
    };
    for (const auto& c : inner) {
        Bytes answer;
        ASSERT_EQ(0u, Answer(m_client, c.Request, answer)) << c.Name;
        ++cases;
        if (answer != c.Expected) {
            ++wrong;
            ADD_FAILURE() << c.Name << ": " << answer.size() << " bytes back";
        }
    }
    phases.push_back(NowMs());
    // Heads of 0 to 3 bytes and DATA shorter than announced, for every command byte: the
    // client closes, the worker drops it.
    for (int command = 0; command < 256; ++command)
        for (size_t length : {0, 1, 2, 3, 6}) {
            Bytes bytes = {uint8_t(command), 0, 0, 9, 1, 2};
            bytes.resize(length);
            UniqueFile pipe;
            ASSERT_EQ(0u, m_client.Open(pipe));
            if (!bytes.empty()) {
                ASSERT_EQ(0u, m_client.WriteAll(pipe.get(), bytes));
            }
            ++cases;
        }
    phases.push_back(NowMs());
    // The same, kept open: nothing comes back before the worker's deadline drops them.
    const uint8_t sampled[] = {0x01, 0x11, 0x12, 0x21, 0x31, 0x41, 0xC1};
    for (size_t length : {1, 2, 3, 6}) {
        std::vector<std::thread> waits;
        std::atomic<int> answered{0};
        for (uint8_t command : sampled)
            waits.emplace_back([&, command] {
                Bytes bytes = {command, 0, 0, 9, 1, 2};
                bytes.resize(length);
                Bytes answer;
                if (Answer(m_client, bytes, answer) != 0 || !answer.empty())
                    ++answered;
            });
        for (auto& t : waits)
            t.join();
        cases += int(std::size(sampled));
        wrong += answered;
        EXPECT_EQ(0, answered.load()) << "length " << length;
    }
    phases.push_back(NowMs());
    double ms = 0;
    EXPECT_EQ(0u, TimedStatus(m_client, ms));
    std::printf("every command byte: phases ended after");
    for (double p : phases)
        std::printf(" %.1f s", (p - begin) / 1000.0);
    std::printf("\n");
    std::printf(
        "every command byte: %d requests (256 command bytes with empty DATA, inner lengths beyond DATA, "
        "heads of 0 to 3 bytes, DATA shorter than announced): %d answered otherwise than defined\n",
        cases, wrong);
}

TEST_F(StressTest, HugeAnnouncementsLeaveNoMemoryBehind) {
    ASSERT_EQ(0u, StartService());
    CServiceProcess process;
    ASSERT_EQ(0u, process.Open(m_service));
    double ms = 0;
    for (int i = 0; i < 20; ++i)
        ASSERT_EQ(0u, TimedStatus(m_client, ms));
    uint64_t before = 0, after = 0;
    std::string how;
    ASSERT_EQ(0u, process.PrivateBytes(before, &how));

    // Each request announces 16 MiB and sends 160 KiB of it before it goes.
    constexpr uint32_t kRequests = 1000, kClients = 7, kSentBytes = 160 * 1024;
    Bytes request(4 + kSentBytes, 0x5A);
    request[0] = 0x11;
    request[1] = request[2] = request[3] = 0xFF;
    std::atomic<uint32_t> next{0}, failed{0};
    std::vector<std::thread> clients;
    const double since = NowMs();
    for (uint32_t c = 0; c < kClients; ++c)
        clients.emplace_back([&] {
            const CCommandClient client(20000);
            while (next.fetch_add(1) < kRequests) {
                UniqueFile pipe;
                if (client.Open(pipe) != 0 || client.WriteAll(pipe.get(), request) != 0)
                    ++failed;
            }
        });
    for (auto& t : clients)
        t.join();
    const double seconds = (NowMs() - since) / 1000.0;
    // Every dropped request has ended once seven further requests were answered.
    for (int i = 0; i < 20; ++i)
        ASSERT_EQ(0u, TimedStatus(m_client, ms));
    ASSERT_EQ(0u, process.PrivateBytes(after, &how));
    const double grownMiB = (double(after) - double(before)) / (1024.0 * 1024.0);
    std::printf(
        "bounded memory: %u requests announcing 16 MiB (160 KiB sent each) from %u clients in %.1f s, "
        "%u failed to send; private bytes %.1f MiB -> %.1f MiB (%+.1f MiB, bound 10; %s)\n",
        kRequests, kClients, seconds, failed.load(), double(before) / 1048576.0, double(after) / 1048576.0,
        grownMiB, how.c_str());
    EXPECT_LE(grownMiB, 10.0);
    EXPECT_TRUE(process.Running());
}

// ---- a GUI pipe that never reads ----

// the notification pipe served by a GUI that accepts every connection and never reads.
class CSilentGuiPipe {
public:
    ~CSilentGuiPipe() { Stop(); }
    DWORD Start() {
        m_stop.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        UniqueFile first;
        const DWORD result = Create(first);
        if (result != 0)
            return result;
        m_thread = std::thread([this, h = first.release()] {
            UniqueFile listening(h);
            UniqueEvent connected(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
            for (;;) {
                // No deadline: the stop ends the wait for a client.
                if (CPipeIo(listening.get(), kPipeIoNoDeadline, m_stop.get(), connected.get()).Connect() ==
                    ERROR_OPERATION_ABORTED)
                    return;
                {
                    // The accepted connections are kept open and never read.
                    std::lock_guard<std::mutex> hold(m_lock);
                    m_accepted.push_back(std::move(listening));
                }
                m_changed.notify_all();
                if (Create(listening) != 0)
                    return;
            }
        });
        return 0;
    }
    void Stop() {
        if (m_stop)
            ::SetEvent(m_stop.get());
        if (m_thread.joinable())
            m_thread.join();
        std::lock_guard<std::mutex> hold(m_lock);
        m_accepted.clear();
    }
    size_t Accepted() {
        std::lock_guard<std::mutex> hold(m_lock);
        return m_accepted.size();
    }
    bool WaitForAccepted(size_t count, DWORD timeoutMs) {
        std::unique_lock<std::mutex> hold(m_lock);
        return m_changed.wait_for(hold, std::chrono::milliseconds(timeoutMs),
                                  [&] { return m_accepted.size() >= count; });
    }

private:
    static DWORD Create(UniqueFile& pipe) {
        pipe.reset(::CreateNamedPipeW(kGuiPipeName, PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED,
                                      PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT,
                                      PIPE_UNLIMITED_INSTANCES, 0, 0, 1000, nullptr));
        return pipe ? 0 : LastErrorOr1359();
    }
    UniqueEvent m_stop;
    std::thread m_thread;
    // Shared between the accepting thread and the test: under m_lock.
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<UniqueFile> m_accepted;
};

TEST_F(StressTest, AGuiPipeThatNeverReadsHoldsNoWorker) {
    CSilentGuiPipe gui;
    ASSERT_EQ(0u, gui.Start());
    ASSERT_EQ(0u, StartService());

    std::atomic<bool> done{false};
    std::atomic<uint32_t> polls{0}, failures{0};
    double worstMs = 0; // written by the poller only, read after its join
    std::thread poller([&] {
        const CCommandClient client(20000);
        while (!done) {
            double ms = 0;
            if (TimedStatus(client, ms) != 0)
                ++failures;
            worstMs = std::max(worstMs, ms);
            ++polls;
        }
    });
    const CCommandClient sender(20000);
    uint32_t sent = 0;
    for (uint8_t i = 0; i < 20; ++i)
        sent += sender.Send(BuildVpnNotifyRequest(i, 2, 0)) == 0;
    const bool allForwarded = gui.WaitForAccepted(20, 30000);
    // A little longer: the forwards that write into the unread pipe are still under way.
    const double until = NowMs() + 2 * kWorkerDeadlineMs;
    while (NowMs() < until && !HasFatalFailure()) {
        double ms = 0;
        if (TimedStatus(m_client, ms) != 0)
            ++failures;
        worstMs = std::max(worstMs, ms);
    }
    done = true;
    poller.join();
    std::printf("GUI pipe that never reads: %u/20 notifications sent, %zu reached the GUI pipe; %u status "
                "requests meanwhile, %u failed, the slowest answered in %.0f ms (bound 2000)\n",
                sent, gui.Accepted(), polls.load(), failures.load(), worstMs);
    EXPECT_EQ(20u, sent);
    EXPECT_TRUE(allForwarded);
    EXPECT_EQ(0u, failures.load());
    EXPECT_LT(worstMs, 2000.0);
}

// ---- the tray program comes only from the service's folder ----

TEST_F(StressTest, TheTrayProgramIsStartedOnlyFromTheServiceFolder) {
    // No "Corvel.exe" beside the service (SetUp copies none).
    ASSERT_EQ(-1, FileSize(m_folder.File(L"Corvel.exe")));
    DWORD eventResult = 0;
    UniqueHandle<> started = CreateNamedEvent(kFakeGuiStartedEvent, eventResult);
    ASSERT_EQ(0u, eventResult);
    ASSERT_EQ(0u, StartService());
    CServiceProcess process;
    ASSERT_EQ(0u, process.Open(m_service));

    // Decoys where a search would look: the service's current directory, the system folders
    // on every PATH, and the test's own current directory.
    wchar_t system[MAX_PATH] = {}, windows[MAX_PATH] = {}, own[MAX_PATH] = {};
    ::GetSystemDirectoryW(system, MAX_PATH);
    ::GetWindowsDirectoryW(windows, MAX_PATH);
    ::GetCurrentDirectoryW(MAX_PATH, own);
    std::vector<std::wstring> folders = {CurrentDirectoryOf(process.Get()), std::wstring(system) + L"\\",
                                         std::wstring(windows) + L"\\", std::wstring(own) + L"\\"};
    std::sort(folders.begin(), folders.end());
    folders.erase(std::unique(folders.begin(), folders.end()), folders.end());
    folders.erase(std::remove(folders.begin(), folders.end(), std::wstring()), folders.end());
    std::vector<std::wstring> decoys;
    auto removeDecoys = MakeScopeExit([&] {
        for (const std::wstring& d : decoys) {
            ::DeleteFileW(d.c_str());
            ::DeleteFileW((FolderOf(d) + kFakeGuiLogName).c_str());
        }
    });
    std::string where;
    for (const std::wstring& folder : folders) {
        const std::wstring decoy = folder + L"Corvel.exe";
        ::DeleteFileW((folder + kFakeGuiLogName).c_str());
        ASSERT_TRUE(::CopyFileW(ToWindowsPath(CORVEL_STRESS_FAKEGUI_EXE).c_str(), decoy.c_str(), TRUE))
            << "a Corvel.exe is already in " << std::string(folder.begin(), folder.end()) << ": "
            << ::GetLastError();
        decoys.push_back(decoy);
        where += (where.empty() ? "" : ", ") + std::string(folder.begin(), folder.end());
    }

    uint32_t result = 99;
    std::vector<uint8_t> payload;
    ASSERT_EQ(0u, RequestResult(m_client, BuildConnectRequest(4, 1, {}, {}), CMD_CONNECT, result, &payload));
    const bool nothingStarted = ::WaitForSingleObject(started.get(), 2000) == WAIT_TIMEOUT;
    size_t logs = 0;
    for (const std::wstring& d : decoys)
        logs += FileSize(FolderOf(d) + kFakeGuiLogName) >= 0;
    uint8_t states[20] = {};
    uint32_t statusResult = 99;
    ASSERT_EQ(0u, RequestVpnStatus(m_client, states, statusResult));
    std::printf("tray program: with Corvel.exe gone and decoys in %s, CMD_CONNECT answered %u and %s "
                "(%zu decoy logs written)\n",
                where.c_str(), result, nothingStarted && logs == 0 ? "nothing started" : "A DECOY STARTED",
                logs);
    EXPECT_EQ(uint32_t(ERROR_FILE_NOT_FOUND), result);
    EXPECT_EQ(std::vector<uint8_t>{4}, payload);
    EXPECT_TRUE(nothingStarted);
    EXPECT_EQ(0u, logs);
    EXPECT_EQ(0, states[4]);
}

} // namespace
