#include "TrayLogic.h"

#include "Protocol.h"
#include "Records.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace corvel {
namespace {

TEST(AnalyzeCommandLine, CasesOfTheLine) {
    struct Case {
        const wchar_t* line;
        bool withVpn, openSettings, pending;
        int index;
    };
    const Case cases[] = {
        {L"", false, true, false, 0},                    // started by the user
        {L"connect vpn3", true, true, true, 2},          // service, ShowGui 1
        {L"vpn3", true, true, true, 2},                  // "connect" taken as the program name
        {L"connect vpn12 /hide", true, false, false, 0}, // service, ShowGui 0
        {L"vpn5 /hide", true, false, false, 0},
        {L"connect vpn12", true, true, true, 11}, // 12 is found before 1
        {L"connect vpn20", true, true, true, 19},
        {L"connect vpn21", true, true, true, 1},  // "vpn2" inside it
        {L"connect vpn", true, true, false, 0},   // no number
        {L"connect VPN3", false, true, false, 0}, // case-sensitive
        {L"connect vpn3 /HIDE", true, true, true, 2},
    };
    for (const Case& c : cases) {
        const CCommandLineOptions o = AnalyzeCommandLine(c.line);
        EXPECT_EQ(o.LaunchedWithVpn, c.withVpn) << c.line;
        EXPECT_EQ(o.OpenSettingsWhenLoaded, c.openSettings) << c.line;
        EXPECT_EQ(o.AutoConnectPending, c.pending) << c.line;
        EXPECT_EQ(o.AutoConnectIndex, c.index) << c.line;
    }
}

TEST(DecideStartupOutcome, TableOfOutcomes) {
    struct Case {
        bool answered, ready, timedOut, cancelled;
        int count;
        StartupAction action;
        unsigned text;
        int stored;
    };
    const Case cases[] = {
        {true, false, false, false, 1, StartupAction::Continue, 0, 0},
        {false, true, false, false, 2, StartupAction::Continue, 0, 0},
        {false, false, false, true, 1, StartupAction::CloseSilently, 0, 0},
        {false, false, true, false, 0, StartupAction::ShowFailureAndClose, 227, 1},
        {false, false, true, false, 1, StartupAction::ShowFailureAndClose, 227, 2},
        {false, false, true, false, 2, StartupAction::ShowFailureAndClose, 228, 2},
        {false, false, true, false, 7, StartupAction::ShowFailureAndClose, 228, 2},
        {false, false, true, false, -3, StartupAction::ShowFailureAndClose, 227, -2},
        // The dialog ended without an outcome (say, by IDOK): not a ready service.
        {false, false, false, false, 0, StartupAction::CloseSilently, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.answered << c.ready << c.timedOut << c.cancelled << " " << c.count);
        const CStartupOutcome o = DecideStartupOutcome(c.answered, c.ready, c.timedOut, c.cancelled, c.count);
        EXPECT_EQ(o.Action, c.action);
        EXPECT_EQ(o.TextId, c.text);
        if (o.Action != StartupAction::CloseSilently) {
            EXPECT_EQ(o.CountToStore, c.stored);
        }
    }
}

TEST(StartupFailureFile, CountOfTheFirstLine) {
    const std::pair<const char*, int> cases[] = {
        {"0", 0},
        {"2", 2},
        {"  7", 7},
        {"\t+1x", 1},
        {"-3", -3},
        {"", 0},
        {"abc", 0},
        {"12", 12},
        {"99999999999999999999", 2147483647},
        {"-99999999999999999999", -2147483647 - 1},
    };
    for (const auto& [line, count] : cases)
        EXPECT_EQ(ParseStartupFailureCount(line), count) << line;
}

TEST(StartupFailureFile, TextOfACount) {
    EXPECT_EQ(StartupFailureText(0), "0");
    EXPECT_EQ(StartupFailureText(3), "3");
    EXPECT_EQ(StartupFailureText(4), "0");
    EXPECT_EQ(StartupFailureText(-1), "0");
}

TEST(StartupFailureFile, WholeFirstLineReplacedRestKept) {
    const std::pair<const char*, const char*> cases[] = {
        {"12", "1"}, {"12\r\nkeep\r\n", "1\r\nkeep\r\n"}, {"2\nmore", "1\nmore"},
        {"", "1"},   {"\r\nsecond", "1\r\nsecond"},
    };
    for (const auto& [before, after] : cases)
        EXPECT_EQ(ReplaceFirstLine(before, "1"), after) << before;
    EXPECT_EQ(FirstLine("7\r\nx"), "7");
}

TEST(ChooseTrayIcon, StatesToIcon) {
    struct Case {
        std::vector<uint8_t> head; // the rest is 0
        unsigned icon;
    };
    const Case cases[] = {
        {{}, 145},        {{0, 0, 2, 1}, 130},
        {{2, 0, 2}, 145}, {{0, 5, 0, 1}, 130}, // a byte out of range does not hide a later connection
        {{1}, 130},
    };
    for (const Case& c : cases) {
        uint8_t states[kConnectionCount] = {};
        for (size_t i = 0; i < c.head.size(); ++i)
            states[i] = c.head[i];
        EXPECT_EQ(ChooseTrayIcon(states), c.icon);
        for (uint8_t s : states)
            EXPECT_LE(s, 2);
    }
    uint8_t last[kConnectionCount] = {};
    last[19] = 1;
    last[0] = 9;
    EXPECT_EQ(ChooseTrayIcon(last), 130u);
    EXPECT_EQ(last[0], 0);
}

TEST(FindLastActiveConnection, LastOfStateOneOrTwo) {
    uint8_t states[kConnectionCount] = {};
    EXPECT_EQ(FindLastActiveConnection(states), -1);
    states[3] = 1;
    states[7] = 2;
    EXPECT_EQ(FindLastActiveConnection(states), 7);
}

TEST(DecideQuit, BusyFirstThenConnected) {
    uint32_t idle[kBusyFlagCount] = {};
    uint8_t states[kConnectionCount] = {};
    EXPECT_EQ(DecideQuit(idle, states).Step, QuitStep::CloseAndEnd);
    states[0] = 2; // connecting does not count
    EXPECT_EQ(DecideQuit(idle, states).Step, QuitStep::CloseAndEnd);
    states[2] = 1;
    const CQuitDecision d = DecideQuit(idle, states);
    EXPECT_EQ(d.Step, QuitStep::AskThenDisconnect);
    EXPECT_EQ(d.VpnIndex, 2);
    for (unsigned f = 0; f < kBusyFlagCount; ++f) {
        uint32_t busy[kBusyFlagCount] = {};
        busy[f] = 1;
        EXPECT_EQ(DecideQuit(busy, states).Step, QuitStep::CloseDialogsOnly) << f;
        // Only the press keeps a Quit for later: the dialog's own operations and the version
        // box close with the program's next Quit, as before.
        EXPECT_EQ(DecideQuit(busy, states).HoldUntilPressEnds, f == 1) << f;
    }
    EXPECT_FALSE(DecideQuit(idle, states).HoldUntilPressEnds);
}

TEST(HeldQuit, RunsOnceWhenThePressAndWhatItLeftInFlightHaveEnded) {
    const uint8_t states[kConnectionCount] = {};
    const uint32_t idle[kBusyFlagCount] = {};
    const uint32_t press[kBusyFlagCount] = {0, 1, 0};
    const uint32_t pressAndSave[kBusyFlagCount] = {1, 1, 0};
    const uint32_t save[kBusyFlagCount] = {1, 0, 0};
    CHeldQuit held;
    held.OnQuit(DecideQuit(save, states));
    EXPECT_FALSE(held.Held()) << "a batch in flight alone keeps nothing";
    EXPECT_FALSE(held.OnBusyFlags(idle));

    held.OnQuit(DecideQuit(pressAndSave, states));
    EXPECT_TRUE(held.Held());
    held.OnQuit(DecideQuit(save, states)); // a second Quit that finds only BusyFlag::Settings keeps it
    EXPECT_TRUE(held.Held());
    EXPECT_FALSE(held.OnBusyFlags(press)) << "the batch ended, the press goes on";
    // The press stopped (no server) with its save still in flight: the Quit waits for it,
    // or it would find BusyFlag::Settings and be lost.
    EXPECT_FALSE(held.OnBusyFlags(save));
    EXPECT_TRUE(held.OnBusyFlags(idle));
    EXPECT_FALSE(held.Held());
    EXPECT_FALSE(held.OnBusyFlags(idle)) << "once";
}

// The one rule of the settings dialog's two holds: its own operations (BusyFlag::Settings, a
// save batch until its last reply) and the connection page's press (BusyFlag::ConnectPress). A
// save started by a press ends, and clears BusyFlag::Settings, while the press's credentials or
// connecting dialog is still open: BusyFlag::ConnectPress alone must keep Quit from destroying
// the dialog under it.
TEST(DecideClosableWindows, EitherHoldOfTheSettingsDialogSparesItTheVersionBoxHasItsOwn) {
    struct Case {
        uint32_t Flags[kBusyFlagCount];
        bool Settings;
        bool Version;
    };
    const Case cases[] = {
        {{0, 0, 0}, true, true},  {{1, 0, 0}, false, true}, // a batch in flight
        {{0, 1, 0}, false, true},                           // a press after its save ended
        {{1, 1, 0}, false, true}, {{0, 0, 1}, true, false}, {{1, 1, 1}, false, false},
    };
    for (const Case& c : cases) {
        const CClosableWindows w = DecideClosableWindows(c.Flags);
        EXPECT_EQ(w.SettingsDialog, c.Settings) << c.Flags[0] << c.Flags[1] << c.Flags[2];
        EXPECT_EQ(w.VersionBox, c.Version) << c.Flags[0] << c.Flags[1] << c.Flags[2];
        // Quit itself waits for every flag.
        const uint8_t states[kConnectionCount] = {};
        const bool anyBusy = c.Flags[0] || c.Flags[1] || c.Flags[2];
        EXPECT_EQ(DecideQuit(c.Flags, states).Step == QuitStep::CloseDialogsOnly, anyBusy);
    }
}

std::vector<uint8_t> RecordPayload(uint8_t item, uint32_t itemLength, uint8_t fill,
                                   size_t bytes = VPNCONFIG::kSize) {
    std::vector<uint8_t> p(5 + bytes, fill);
    p[0] = item;
    p[1] = uint8_t(itemLength >> 24);
    p[2] = uint8_t(itemLength >> 16);
    p[3] = uint8_t(itemLength >> 8);
    p[4] = uint8_t(itemLength);
    return p;
}

TEST(StoreConnectionRecord, InOrderRefusalsAndWrap) {
    std::vector<uint8_t> records(kConnectionCount * VPNCONFIG::kSize, 0);
    uint8_t loadIndex = 0;
    bool last = false;
    for (uint8_t i = 0; i < 6; ++i) {
        auto p = RecordPayload(i, VPNCONFIG::kSize, uint8_t(i + 1));
        ASSERT_EQ(StoreConnectionRecordPayload(p.data(), uint32_t(p.size()), records.data(), loadIndex, last),
                  0u);
    }
    EXPECT_EQ(loadIndex, 6);
    struct Refusal {
        std::vector<uint8_t> payload;
        uint32_t result;
    };
    const Refusal refusals[] = {
        {RecordPayload(7, VPNCONFIG::kSize, 0xEE), 87},      // another record than asked for
        {RecordPayload(6, 1000, 0xEE), 87},                  // another length
        {RecordPayload(6, VPNCONFIG::kSize, 0xEE, 100), 24}, // too short
        {RecordPayload(22, VPNCONFIG::kSize, 0xEE), 0},      // above 19: ignored
    };
    for (const Refusal& r : refusals) {
        EXPECT_EQ(StoreConnectionRecordPayload(r.payload.data(), uint32_t(r.payload.size()), records.data(),
                                               loadIndex, last),
                  r.result);
        EXPECT_EQ(loadIndex, 6);
        EXPECT_FALSE(last);
    }
    EXPECT_EQ(records[6 * VPNCONFIG::kSize], 0);
    EXPECT_EQ(records[5 * VPNCONFIG::kSize + VPNCONFIG::kSize - 1], 6);
    for (uint8_t i = 6; i < 20; ++i) {
        auto p = RecordPayload(i, VPNCONFIG::kSize, uint8_t(i + 1));
        ASSERT_EQ(StoreConnectionRecordPayload(p.data(), uint32_t(p.size()), records.data(), loadIndex, last),
                  0u);
        EXPECT_EQ(last, i == 19);
    }
    EXPECT_EQ(loadIndex, 0);
    EXPECT_EQ(records[19 * VPNCONFIG::kSize], 20);
}

TEST(StoreConnectionStates, CopyPendingAndShort) {
    uint8_t payload[20] = {0, 0, 2, 1};
    uint8_t states[kConnectionCount] = {};
    EXPECT_EQ(StoreConnectionStatesPayload(payload, 4, false, 0, states), 24u);
    EXPECT_EQ(states[3], 0);
    EXPECT_EQ(StoreConnectionStatesPayload(payload, 20, false, 0, states), 0u);
    EXPECT_EQ(states[3], 1);
    uint8_t pending[kConnectionCount] = {};
    EXPECT_EQ(StoreConnectionStatesPayload(payload, 20, true, 5, pending), 0u);
    EXPECT_EQ(pending[5], 2);
    EXPECT_EQ(pending[3], 0);
}

// A reply frame as the pipe thread hands it over: head, ResultCode, payload.
std::vector<uint8_t> ReplyFrame(uint8_t replyId, uint32_t result, const std::vector<uint8_t>& payload) {
    const uint32_t dataLength = uint32_t(4 + payload.size());
    std::vector<uint8_t> f(8 + payload.size());
    f[0] = replyId;
    for (int i = 0; i < 3; ++i)
        f[1 + i] = uint8_t(dataLength >> (16 - 8 * i));
    for (int i = 0; i < 4; ++i)
        f[4 + i] = uint8_t(result >> (24 - 8 * i));
    std::copy(payload.begin(), payload.end(), f.begin() + 8);
    return f;
}

// Each reply the frame can get, and what it means: the frame stores, opens, or shows the box.
TEST(FrameReplies, WhatEachReplyMeans) {
    const std::vector<uint8_t> states(20, 0);
    std::vector<uint8_t> oneUp = states;
    oneUp[3] = 1;
    struct Case {
        const char* name;
        std::vector<uint8_t> frame; // empty: the request failed, (0, null)
        uint8_t loadIndex;
        bool openWhenLoaded;
        bool failure, statesStored, openSettings;
        uint8_t loadIndexAfter;
        uint8_t state3After;
    };
    const Case cases[] = {
        {"failed request", {}, 0, true, false, false, false, 0, 0},
        {"restart check: no payload", ReplyFrame(REPLY_ERR_RESTART_CHK, 0, {}), 0, true, false, false, false,
         0, 0},
        {"restart check refused, no payload", ReplyFrame(REPLY_ERR_RESTART_CHK, 5, {}), 0, true, false, false,
         false, 0, 0},
        {"restart check refused with a payload", ReplyFrame(REPLY_ERR_RESTART_CHK, 5, {0, 0, 0, 0}), 0, true,
         true, false, false, 0, 0},
        {"states", ReplyFrame(REPLY_VPN_STATUS, 0, oneUp), 0, true, false, true, false, 0, 1},
        {"states refused", ReplyFrame(REPLY_VPN_STATUS, 5, oneUp), 0, true, true, false, false, 0, 0},
        {"states too short", ReplyFrame(REPLY_VPN_STATUS, 0, {0, 1, 0, 0}), 0, true, true, false, false, 0,
         0},
        {"a refusal below four payload bytes", ReplyFrame(REPLY_LOAD_CONFIG, 87, {4}), 4, true, false, false,
         false, 4, 0},
        {"record 5", ReplyFrame(REPLY_LOAD_CONFIG, 0, RecordPayload(4, VPNCONFIG::kSize, 9)), 4, true, false,
         false, false, 5, 0},
        {"another record than asked", ReplyFrame(REPLY_LOAD_CONFIG, 0, RecordPayload(5, VPNCONFIG::kSize, 9)),
         4, true, true, false, false, 4, 0},
        {"the 20th record, settings asked for",
         ReplyFrame(REPLY_LOAD_CONFIG, 0, RecordPayload(19, VPNCONFIG::kSize, 9)), 19, true, false, false,
         true, 0, 0},
        {"the 20th record, nothing asked",
         ReplyFrame(REPLY_LOAD_CONFIG, 0, RecordPayload(19, VPNCONFIG::kSize, 9)), 19, false, false, false,
         false, 0, 0},
        {"another command's reply", ReplyFrame(REPLY_DISCONNECT, 5, {0, 0, 0, 0}), 0, true, false, false,
         false, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> records(kConnectionCount * VPNCONFIG::kSize, 0);
        uint8_t frameStates[kConnectionCount] = {};
        CFrameReplies replies(records.data(), frameStates);
        replies.LoadIndex = c.loadIndex;
        replies.OpenSettingsWhenLoaded = c.openWhenLoaded;
        const CFrameReplyStep step = c.frame.empty()
                                         ? replies.OnReply(0, nullptr)
                                         : replies.OnReply(uint32_t(c.frame.size() - 4), c.frame.data());
        EXPECT_EQ(step.ShowFailure, c.failure);
        EXPECT_EQ(step.StatesStored, c.statesStored);
        EXPECT_EQ(step.OpenSettings, c.openSettings);
        EXPECT_EQ(replies.LoadIndex.load(), c.loadIndexAfter);
        EXPECT_EQ(frameStates[3], c.state3After);
        // The settings open once: the 20th record of a later load opens nothing.
        EXPECT_EQ(replies.OpenSettingsWhenLoaded, c.openWhenLoaded && !c.openSettings);
    }
}

TEST(FrameReplies, AStatesReplyUnderAnAutoConnectMarksOnlyThatConnection) {
    std::vector<uint8_t> records(kConnectionCount * VPNCONFIG::kSize, 0);
    uint8_t states[kConnectionCount] = {};
    CFrameReplies replies(records.data(), states);
    replies.AutoConnectPending = true;
    replies.AutoConnectIndex = 7;
    std::vector<uint8_t> up(20, 0);
    up[3] = 1;
    const std::vector<uint8_t> frame = ReplyFrame(REPLY_VPN_STATUS, 0, up);
    EXPECT_TRUE(replies.OnReply(uint32_t(frame.size() - 4), frame.data()).StatesStored);
    EXPECT_EQ(states[7], 2);
    EXPECT_EQ(states[3], 0);
}

} // namespace
} // namespace corvel
