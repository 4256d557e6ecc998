// Every exit code of the console client through its two commands, over a scripted service.
#include "ConsoleCommands.h"

#include "FakeCommandHost.h"

#include "FixedString.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace corvel::cli {
namespace {

using test::CFakeCommandHost;
using testing::ElementsAre;
using testing::ElementsAreArray;
using HostScript = std::function<void(CFakeCommandHost&)>;
using Log = std::vector<std::string>;

const std::string kNotify = "notify 0 0 1";
const std::string kPause = "sleep 5000";
const std::string kPoll = "sleep 500";

uint32_t RunCorvelc(CFakeCommandHost& host, std::vector<std::wstring> words,
                    const HostScript& script = nullptr) {
    test::StoreSampleRecords(host.Records);
    if (script)
        script(host);
    std::vector<const wchar_t*> argv{L"corvelc.exe"};
    for (const std::wstring& w : words)
        argv.push_back(w.c_str());
    CommandLineOptions options;
    options.LanguagePath = L"C:\\Corvel\\language.csv";
    return RunCommandLine(options, int(argv.size()), argv.data(), host);
}

Log Repeat(const std::string& entry, size_t n) {
    return Log(n, entry);
}

Log Join(std::initializer_list<Log> parts) {
    Log all;
    for (const Log& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

// Connection 3 reads these states in turn, the last one from then on.
HostScript States(std::initializer_list<uint8_t> states) {
    return [states = std::vector<uint8_t>(states)](CFakeCommandHost& host) { host.ScriptStates(2, states); };
}

HostScript Then(HostScript a, HostScript b) {
    return [a, b](CFakeCommandHost& host) {
        a(host);
        b(host);
    };
}

const Log kConnected = {"load 2", "connect 2 0 stored-user stored-pw"};

TEST(ConnectCommand, PollingOutcomes) {
    const Log poll0 = {"status", "raserr"};
    Log eightPollsDown;
    for (int i = 0; i < 8; ++i)
        eightPollsDown.insert(eightPollsDown.end(), poll0.begin(), poll0.end());
    struct Case {
        const char* Name;
        HostScript Script;
        uint32_t Expected;
        Log Requests; // the log without the polls' sleeps
        size_t Polls;
    };
    const Case cases[] = {
        {"connected at once", States({1}), 0, Join({kConnected, {"status"}}), 1},
        {"connecting, then connected", States({2, 2, 1}), 0, Join({kConnected, Repeat("status", 3)}), 3},
        {"connecting throughout: 258 on the 81st poll", States({2}), 258,
         Join({kConnected, Repeat("status", 81), {kNotify, kPause}}), 81},
        {"the 81st poll ends the wait even when it reads connected",
         [](CFakeCommandHost& h) {
             std::vector<uint8_t> states(80, 2);
             states.push_back(1);
             h.ScriptStates(2, states);
         },
         258, Join({kConnected, Repeat("status", 81), {kNotify, kPause}}), 81},
        {"not dialling yet on the first polls is waited for", States({0, 0, 0, 2, 1}), 0,
         Join({kConnected, poll0, poll0, poll0, {"status", "status"}}), 5},
        {"down seven polls, then connected", States({0, 0, 0, 0, 0, 0, 0, 1}), 0,
         Join({kConnected, poll0, poll0, poll0, poll0, poll0, poll0, poll0, {"status"}}), 8},
        {"down without a RAS error: 65 on the eighth poll", States({0}), 65,
         Join({kConnected, eightPollsDown, {kNotify, kPause}}), 8},
        {"a RAS error ends the first poll", Then(States({0}), [](CFakeCommandHost& h) { h.RasError = 691; }),
         691, Join({kConnected, poll0, {kNotify, kPause}}), 1},
        {"a RAS error after connecting",
         Then(States({2, 2, 0}), [](CFakeCommandHost& h) { h.RasError = 720; }), 720,
         Join({kConnected, {"status", "status"}, poll0, {kNotify, kPause}}), 3},
        {"a state outside 0 to 2 counts as 0", States({7}), 65,
         Join({kConnected, eightPollsDown, {kNotify, kPause}}), 8},
        {"a state outside 0 to 2 with a RAS error",
         Then(States({0xFF}), [](CFakeCommandHost& h) { h.RasError = 691; }), 691,
         Join({kConnected, poll0, {kNotify, kPause}}), 1},
        {"a failed RAS-error query reads as none",
         Then(States({0}),
              [](CFakeCommandHost& h) {
                  h.RasError = 691;
                  h.RasErrResult = 1359;
              }),
         65, Join({kConnected, eightPollsDown, {kNotify, kPause}}), 8},
        {"a failed status query ends it without a notification",
         [](CFakeCommandHost& h) { h.StatusResult = 1359; }, 1359, Join({kConnected, {"status"}}), 1},
        {"a status reply of the wrong size",
         [](CFakeCommandHost& h) {
             h.RawReplies[0x31] = {0xB1, 0, 0, 0x18};
         },
         24, Join({kConnected, {"status"}}), 1},
        {"a pipe error of the status query", [](CFakeCommandHost& h) { h.TransferErrors[0x31] = 109; }, 109,
         Join({kConnected, {"status failed 109"}}), 1},
        {"the status pipe missing after connecting",
         Then(States({2}), [](CFakeCommandHost& h) { h.OpenErrors[4] = 2; }), 2,
         Join({kConnected, {"status", "open failed 2"}}), 2},
        {"a failed query on the 81st poll still ends the attempt",
         Then(States({2}), [](CFakeCommandHost& h) { h.OpenErrors[2 + 81] = 2; }), 258,
         Join({kConnected, Repeat("status", 80), {"open failed 2", kNotify, kPause}}), 81},
        {"a notification that cannot be opened ends with the open's error",
         Then(States({0}),
              [](CFakeCommandHost& h) {
                  h.RasError = 691;
                  h.OpenErrors[5] = 231;
              }),
         231, Join({kConnected, poll0, {"open failed 231"}}), 1},
        {"the notification's own failure changes nothing",
         Then(States({0}),
              [](CFakeCommandHost& h) {
                  h.RasError = 691;
                  h.TransferErrors[0x41] = 109;
              }),
         691, Join({kConnected, poll0, {kNotify + " failed 109"}}), 1},
    };
    for (const Case& c : cases) {
        CFakeCommandHost host;
        EXPECT_EQ(RunCorvelc(host, {L"connect", L"vpn3"}, c.Script), c.Expected) << c.Name;
        EXPECT_EQ(host.LogWithout({"mutex", kPoll}), c.Requests) << c.Name;
        EXPECT_EQ(host.Count(kPoll), c.Polls) << c.Name;
        EXPECT_EQ(host.OpenPipes, 0) << c.Name;
        EXPECT_EQ(host.MaxOpenPipes, 1) << c.Name;
    }
}

TEST(ConnectCommand, EachPollSleepsBeforeItsQuery) {
    CFakeCommandHost host;
    EXPECT_EQ(RunCorvelc(host, {L"connect", L"vpn3"}, States({2, 1})), 0u);
    EXPECT_THAT(host.Log, ElementsAre("mutex", "load 2", "connect 2 0 stored-user stored-pw", kPoll, "status",
                                      kPoll, "status"));
}

// The wait is 40.5 s of clock from the connect reply however long each round trip takes, so it
// ends with 258 before the service's own give-up (state 0 about 41 s after it began to dial)
// can be read as 65.
TEST(ConnectCommand, TheWaitEndsByTheClockWhateverEachRoundTripTakes) {
    constexpr uint64_t kDeadlineMs = 40500;
    constexpr uint64_t kServiceGivesUpMs = 41000;
    for (const bool serviceGivesUp : {false, true}) {
        for (const uint32_t roundTrip : {0u, 1u, 300u, 700u, 2000u}) {
            const std::string name =
                std::string(serviceGivesUp ? "the service gives up" : "connecting for ever") +
                ", round trips of " + std::to_string(roundTrip) + " ms";
            CFakeCommandHost host;
            host.RoundTripMs = roundTrip;
            host.StatusAt = [&host, serviceGivesUp](uint64_t now) {
                const uint64_t connectReply = host.FrameTimes.at(1);
                std::vector<uint8_t> states(kVpnCount, 0);
                states[2] = serviceGivesUp && now - connectReply >= kServiceGivesUpMs ? 0 : 2;
                return states;
            };
            EXPECT_EQ(RunCorvelc(host, {L"connect", L"vpn3"}), 258u) << name;
            const Log log = host.LogWithout({"mutex", kPoll});
            ASSERT_GE(log.size(), 4u) << name;
            EXPECT_EQ(Log(log.end() - 3, log.end()), (Log{"status", kNotify, kPause})) << name;
            EXPECT_EQ(host.Count("raserr"), 0u) << name;

            // The query that ends the wait is the first one answered at or after the deadline.
            ASSERT_GE(host.FrameTimes.size(), 4u) << name;
            const uint64_t connectReply = host.FrameTimes[1];
            const size_t last = host.FrameTimes.size() - 2; // the notification comes after it
            EXPECT_GE(host.FrameTimes[last] - connectReply, kDeadlineMs) << name;
            EXPECT_LE(host.FrameTimes[last] - connectReply, kDeadlineMs + roundTrip) << name;
            EXPECT_LT(host.FrameTimes[last - 1] - connectReply, kDeadlineMs) << name;
            for (const std::string& entry : host.Log) {
                if (entry.rfind("sleep ", 0) == 0 && entry != kPause) {
                    EXPECT_LE(std::stoul(entry.substr(6)), kPollIntervalMs) << name;
                }
            }
            if (roundTrip == 0) {
                EXPECT_EQ(host.Count(kPoll), 81u) << name;
            }
        }
    }
}

TEST(ConnectCommand, TheNotificationIsAlwaysTheSameSevenBytesWhicheverConnection) {
    CFakeCommandHost host;
    EXPECT_EQ(RunCorvelc(host, {L"connect", L"vpn20"}, [](CFakeCommandHost& h) { h.RasError = 691; }), 691u);
    ASSERT_FALSE(host.Frames.empty());
    EXPECT_THAT(host.Frames.back(), ElementsAre(0x41, 0, 0, 3, 0, 0, 1));
    EXPECT_THAT(host.LogWithout({kPoll}),
                ElementsAre("mutex", "load 19", "connect 19 0  ", "status", "raserr", kNotify, kPause));
}

TEST(ConnectCommand, FailuresBeforeTheWait) {
    struct Case {
        const char* Name;
        std::vector<std::wstring> Words;
        HostScript Script;
        uint32_t Expected;
        Log Requests;
    };
    const std::vector<std::wstring> plain{L"connect", L"vpn3"};
    const std::vector<std::wstring> idpass{L"connect", L"vpn3", L"/idpass", L"alice", L"secret"};
    const Case cases[] = {
        {"service missing", plain, [](CFakeCommandHost& h) { h.OpenErrors[1] = 2; }, 2, {"open failed 2"}},
        {"pipe busy", plain, [](CFakeCommandHost& h) { h.OpenErrors[1] = 231; }, 231, {"open failed 231"}},
        {"load refused", plain, [](CFakeCommandHost& h) { h.LoadResult = 1359; }, 1359, {"load 2"}},
        {"load: another item's echo",
         plain,
         [](CFakeCommandHost& h) {
             const std::vector<uint8_t> record = h.Records[3].ToBytes();
             std::vector<uint8_t> payload;
             BuildLoadConfigPayload(3, record.data(), uint32_t(record.size()), payload);
             BuildReply(CMD_LOAD_CONFIG, 0, payload.data(), payload.size(), h.RawReplies[0x12]);
         },
         11,
         {"load 2"}},
        {"load: an empty item",
         plain,
         [](CFakeCommandHost& h) {
             std::vector<uint8_t> payload;
             BuildLoadConfigPayload(2, nullptr, 0, payload);
             BuildReply(CMD_LOAD_CONFIG, 0, payload.data(), payload.size(), h.RawReplies[0x12]);
         },
         24,
         {"load 2"}},
        {"load: the pipe breaks",
         plain,
         [](CFakeCommandHost& h) { h.TransferErrors[0x12] = 109; },
         109,
         {"load 2 failed 109"}},
        {"another connection is active", plain, [](CFakeCommandHost& h) { h.ConnectResult = 1247; }, 1247,
         kConnected},
        {"connect refused with 5", plain, [](CFakeCommandHost& h) { h.ConnectResult = 5; }, 5, kConnected},
        {"connect: a short reply", plain,
         [](CFakeCommandHost& h) { h.RawReplies[0x01] = {0x81, 0, 0, 5, 0, 0, 0}; }, 24, kConnected},
        {"connect: another head", plain,
         [](CFakeCommandHost& h) { h.RawReplies[0x01] = {0x81, 0, 0, 6, 0, 0, 0, 0, 2}; }, 11, kConnected},
        {"connect: pipe missing",
         plain,
         [](CFakeCommandHost& h) { h.OpenErrors[2] = 2; },
         2,
         {"load 2", "open failed 2"}},
        {"idpass: the save refused, nothing connects",
         idpass,
         [](CFakeCommandHost& h) { h.SaveResult = 87; },
         87,
         {"load 2", "save 25 2 alice secret"}},
        {"idpass: the save's echo wrong",
         idpass,
         [](CFakeCommandHost& h) { h.RawReplies[0x11] = {0x91, 0, 0, 5, 0, 0, 0, 0, 2}; },
         11,
         {"load 2", "save 25 2 alice secret"}},
        {"idpass: no pipe for the save",
         idpass,
         [](CFakeCommandHost& h) { h.OpenErrors[2] = 5; },
         5,
         {"load 2", "open failed 5"}},
    };
    for (const Case& c : cases) {
        CFakeCommandHost host;
        EXPECT_EQ(RunCorvelc(host, c.Words, c.Script), c.Expected) << c.Name;
        EXPECT_EQ(host.LogWithout({"mutex"}), c.Requests) << c.Name;
        EXPECT_EQ(host.OpenPipes, 0) << c.Name;
    }
}

TEST(ConnectCommand, IdPassStoresBeforeTheConnectAndSkipsTheCredentialsDialog) {
    {
        CFakeCommandHost host;
        EXPECT_EQ(
            RunCorvelc(host, {L"connect", L"vpn3", L"/idpass", L"\"alice smith\"", L"secret"}, States({1})),
            0u);
        EXPECT_THAT(host.LogWithout({kPoll}), ElementsAre("mutex", "load 2", "save 25 2 alice smith secret",
                                                          "connect 2 0 alice smith secret", "status"));
    }
    {
        CFakeCommandHost host;
        EXPECT_EQ(RunCorvelc(host, {L"/win", L"connect", L"vpn3", L"/idpass", L"alice", L"secret"}), 0u);
        EXPECT_THAT(host.Log, ElementsAre("mutex", "load 2", "save 25 2 alice secret",
                                          "connect 2 1 alice secret", "connecting dialog"));
    }
    {
        // Empty credentials are stored and sent as such.
        CFakeCommandHost host;
        EXPECT_EQ(RunCorvelc(host, {L"connect", L"vpn3", L"/idpass", L"", L"\"\""}, States({1})), 0u);
        EXPECT_THAT(host.LogWithout({kPoll}),
                    ElementsAre("mutex", "load 2", "save 25 2  \"\"", "connect 2 0  \"\"", "status"));
    }
}

TEST(ConnectCommand, CredentialsDialog) {
    using Dialog = std::function<DialogEnd(CredentialsDialogData&)>;
    const Dialog ok = [](CredentialsDialogData&) { return DialogEnd::Ok; };
    const Dialog bob = [](CredentialsDialogData& d) {
        d.UserName = u"bob";
        d.Password = u"pw2";
        d.SaveCredentials = false;
        return DialogEnd::Ok;
    };
    const Dialog bobSaved = [](CredentialsDialogData& d) {
        d.UserName = u"bob";
        d.Password = u"pw2";
        d.SaveCredentials = true;
        return DialogEnd::Ok;
    };
    const Dialog longName = [](CredentialsDialogData& d) {
        d.UserName = std::u16string(65, u'n');
        return DialogEnd::Ok;
    };
    const Dialog longPassword = [](CredentialsDialogData& d) {
        d.Password = std::u16string(65, u'p');
        return DialogEnd::Ok;
    };
    const Dialog fits = [](CredentialsDialogData& d) {
        d.UserName = std::u16string(64, u'n');
        d.Password = std::u16string(64, u'p');
        d.SaveCredentials = false;
        return DialogEnd::Ok;
    };
    struct Case {
        const char* Name;
        Dialog Answer;
        uint32_t Expected;
        Log Requests;
    };
    const Log shown = {"mutex", "load 2", "credentials dialog"};
    const Case cases[] = {
        {"OK with the stored credentials, box ticked", ok, 0,
         Join({shown,
               {"save 25 2 stored-user stored-pw", "connect 2 1 stored-user stored-pw",
                "connecting dialog"}})},
        {"new credentials, box unticked", bob, 0,
         Join({shown, {"connect 2 1 bob pw2", "connecting dialog"}})},
        {"new credentials, box ticked: saved first", bobSaved, 0,
         Join({shown, {"save 25 2 bob pw2", "connect 2 1 bob pw2", "connecting dialog"}})},
        {"64 units fit", fits, 0,
         Join({shown,
               {"connect 2 1 " + std::string(64, 'n') + " " + std::string(64, 'p'), "connecting dialog"}})},
        {"Cancel: nothing saved or sent", [](CredentialsDialogData&) { return DialogEnd::Cancel; }, 1223,
         shown},
        {"a dialog that cannot be created", [](CredentialsDialogData&) { return DialogEnd::NotCreated; },
         1359, shown},
        {"a user name of 65 units", longName, 160, shown},
        {"a password of 65 units", longPassword, 160, shown},
    };
    for (const Case& c : cases) {
        CFakeCommandHost host;
        host.Credentials = c.Answer;
        EXPECT_EQ(RunCorvelc(host, {L"connect", L"vpn3", L"/win"}), c.Expected) << c.Name;
        EXPECT_EQ(host.Log, c.Requests) << c.Name;
        EXPECT_EQ(host.CredentialsShown.Name, u"office") << c.Name;
        EXPECT_EQ(host.CredentialsShown.UserName, u"stored-user") << c.Name;
        EXPECT_EQ(host.CredentialsShown.Password, u"stored-pw") << c.Name;
        EXPECT_TRUE(host.CredentialsShown.SaveCredentials) << c.Name;
        EXPECT_EQ(host.CredentialsShown.LanguagePath, L"C:\\Corvel\\language.csv") << c.Name;
    }
}

TEST(ConnectCommand, TheSaveBoxStartsUntickedOnlyWhenBothStoredStringsAreEmpty) {
    struct Case {
        const char16_t* User;
        const char16_t* Password;
        bool Ticked;
    };
    const Case cases[] = {{u"", u"", false}, {u"u", u"", true}, {u"", u"p", true}, {u"u", u"p", true}};
    for (const Case& c : cases) {
        CFakeCommandHost host;
        RunCorvelc(host, {L"connect", L"vpn3", L"/win"}, [&](CFakeCommandHost& h) {
            CopyToFixed(h.Records[2].UserName, c.User);
            CopyToFixed(h.Records[2].Password, c.Password);
        });
        EXPECT_EQ(host.CredentialsShown.SaveCredentials, c.Ticked) << c.Ticked;
    }
}

TEST(ConnectCommand, ConnectingDialogOutcomes) {
    struct Case {
        const char* Name;
        ConnectingDialogResult Result;
        HostScript Script;
        uint32_t Expected;
        Log After; // after the connecting dialog
    };
    const Case cases[] = {
        {"connected", {DialogEnd::Ok, 0}, nullptr, 0, {}},
        {"the user's Cancel or close box", {DialogEnd::Cancel, 0}, nullptr, 1223, {kNotify, kPause}},
        {"the bar full", {DialogEnd::Cancel, 258}, nullptr, 258, {kNotify, kPause}},
        {"down without a RAS error", {DialogEnd::Cancel, 5}, nullptr, 5, {kNotify, kPause}},
        {"a RAS error", {DialogEnd::Cancel, 691}, nullptr, 691, {kNotify, kPause}},
        {"a pipe error in a tick", {DialogEnd::Cancel, 231}, nullptr, 231, {kNotify, kPause}},
        {"a dialog that cannot be created", {DialogEnd::NotCreated, 0}, nullptr, 1359, {kNotify, kPause}},
        {"no pipe for the notification",
         {DialogEnd::Cancel, 258},
         [](CFakeCommandHost& h) { h.OpenErrors[4] = 2; },
         2,
         {"open failed 2"}},
        {"a failed notification write",
         {DialogEnd::Cancel, 258},
         [](CFakeCommandHost& h) { h.TransferErrors[0x41] = 232; },
         258,
         {kNotify + " failed 232"}},
    };
    for (const Case& c : cases) {
        CFakeCommandHost host;
        host.Connecting = c.Result;
        EXPECT_EQ(RunCorvelc(host, {L"connect", L"vpn3", L"/win"}, c.Script), c.Expected) << c.Name;
        const Log before = {"mutex",
                            "load 2",
                            "credentials dialog",
                            "save 25 2 stored-user stored-pw",
                            "connect 2 1 stored-user stored-pw",
                            "connecting dialog"};
        EXPECT_EQ(host.Log, Join({before, c.After})) << c.Name;
        EXPECT_EQ(host.ConnectingShown.Name, u"office") << c.Name;
        EXPECT_EQ(host.ConnectingShown.VpnIndex, 2) << c.Name;
        EXPECT_EQ(host.ConnectingShown.LanguagePath, L"C:\\Corvel\\language.csv") << c.Name;
        EXPECT_EQ(host.OpenPipes, 0) << c.Name;
    }
}

TEST(DisconnectCommand, Outcomes) {
    auto up = [](size_t index, uint8_t state) {
        return [index, state](CFakeCommandHost& h) {
            std::vector<uint8_t> all(kVpnCount, 0);
            all[index] = state;
            h.StatusScript = {all};
        };
    };
    struct Case {
        const char* Name;
        std::vector<std::wstring> Words;
        HostScript Script;
        uint32_t Expected;
        Log Requests;
    };
    const std::vector<std::wstring> plain{L"disconnect"};
    const Case cases[] = {
        {"nothing up: nothing sent", plain, nullptr, 0, {"status"}},
        {"connection 5 up", plain, up(4, 1), 0, {"status", kNotify, kPause}},
        {"connection 20 connecting", plain, up(19, 2), 0, {"status", kNotify, kPause}},
        {"a state outside 0 to 2 is not 0", plain, up(0, 9), 0, {"status", kNotify, kPause}},
        {"the options have no effect",
         {L"/win", L"disconnect", L"vpn3", L"/idpass", L"a", L"b"},
         up(7, 1),
         0,
         {"status", kNotify, kPause}},
        {"status refused", plain, [](CFakeCommandHost& h) { h.StatusResult = 1359; }, 1359, {"status"}},
        {"status: a wrong head",
         plain,
         [](CFakeCommandHost& h) {
             h.RawReplies[0x31] = std::vector<uint8_t>(28, 0);
             h.RawReplies[0x31][0] = 0xB1;
         },
         11,
         {"status"}},
        {"service missing", plain, [](CFakeCommandHost& h) { h.OpenErrors[1] = 2; }, 2, {"open failed 2"}},
        {"the status pipe breaks",
         plain,
         [](CFakeCommandHost& h) { h.TransferErrors[0x31] = 109; },
         109,
         {"status failed 109"}},
        {"no pipe for the notification",
         plain,
         Then(up(4, 1), [](CFakeCommandHost& h) { h.OpenErrors[2] = 231; }),
         231,
         {"status", "open failed 231"}},
        {"the notification's write fails: its error",
         plain,
         Then(up(4, 1), [](CFakeCommandHost& h) { h.TransferErrors[0x41] = 232; }),
         232,
         {"status", kNotify + " failed 232"}},
    };
    for (const Case& c : cases) {
        CFakeCommandHost host;
        EXPECT_EQ(RunCorvelc(host, c.Words, c.Script), c.Expected) << c.Name;
        EXPECT_EQ(host.Log, c.Requests) << c.Name;
        EXPECT_EQ(host.OpenPipes, 0) << c.Name;
        if (host.Count(kNotify) == 1) {
            EXPECT_THAT(host.Frames.back(), ElementsAre(0x41, 0, 0, 3, 0, 0, 1)) << c.Name;
        }
    }
}

TEST(RunCommandLine, TheMutexIsTestedAfterParsingAndOnlyRefusesAllButDisconnect) {
    struct Case {
        const char* Name;
        std::vector<std::wstring> Words;
        uint32_t Mutex;
        uint32_t Expected;
        Log Requests;
    };
    const Case cases[] = {
        {"connect beside the tray program", {L"connect"}, 0, 1235, {"mutex"}},
        {"another user's tray program (5)", {L"connect", L"vpn3"}, 5, 1235, {"mutex"}},
        {"connect without the tray program",
         {L"connect", L"vpn3"},
         2,
         0,
         Join({{"mutex"}, kConnected, {"status"}})},
        {"any other failure counts as absent",
         {L"connect", L"vpn3"},
         6,
         0,
         Join({{"mutex"}, kConnected, {"status"}})},
        {"disconnect beside the tray program", {L"disconnect"}, 0, 0, {"status", kNotify, kPause}},
        {"no command word beside the tray program", {L"vpn3"}, 0, 1235, {"mutex"}},
        {"no command word alone", {L"/win"}, 2, 1359, {"mutex"}},
        {"a parse error comes first", {L"connect", L"vpn21"}, 0, 160, {}},
        {"no word at all", {}, 0, 87, {}},
    };
    for (const Case& c : cases) {
        CFakeCommandHost host;
        host.MutexResult = c.Mutex;
        EXPECT_EQ(RunCorvelc(host, c.Words, States({1})), c.Expected) << c.Name;
        EXPECT_EQ(host.LogWithout({kPoll}), c.Requests) << c.Name;
    }
}

TEST(RunCommand, AnUnknownCommandIsAnInternalError) {
    CFakeCommandHost host;
    CommandLineOptions options;
    options.Command = static_cast<CommandWord>(7);
    EXPECT_EQ(RunCommand(options, host), 1359u);
    options.Command = CommandWord::None;
    EXPECT_EQ(RunCommand(options, host), 1359u);
    EXPECT_TRUE(host.Log.empty());
}

TEST(GuiMutexPresent, OpenedOrDeniedIsPresent) {
    EXPECT_TRUE(GuiMutexPresent(0));
    EXPECT_TRUE(GuiMutexPresent(5));
    EXPECT_FALSE(GuiMutexPresent(2));
    EXPECT_FALSE(GuiMutexPresent(6));
}

} // namespace
} // namespace corvel::cli
