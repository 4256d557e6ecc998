// The settings dialog's requests, replies, closing and quitting, without windows.
#include "ByteOrder.h"
#include "Protocol.h"
#include "Records.h"
#include "Replies.h"
#include "SettingsClose.h"
#include "SettingsRequests.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>
#include <ostream>
#include <vector>

namespace corvel {

bool operator==(const CSettingsActions& a, const CSettingsActions& b) {
    return a.StoredRecord == b.StoredRecord && a.MessageTextId == b.MessageTextId &&
           a.RefreshView == b.RefreshView && a.DisableSave == b.DisableSave &&
           a.ResetCloseState == b.ResetCloseState && a.ClearBusy == b.ClearBusy && a.PostClose == b.PostClose;
}

void PrintTo(const CSettingsActions& a, std::ostream* os) {
    *os << "{stored " << a.StoredRecord << ", box " << a.MessageTextId << ", refresh " << a.RefreshView
        << ", disable save " << a.DisableSave << ", reset close " << a.ResetCloseState << ", clear busy "
        << a.ClearBusy << ", post close " << a.PostClose << "}";
}

namespace {

CSettingsActions Actions(unsigned box, bool refresh, bool disableSave, bool resetClose, bool clearBusy,
                         bool postClose, int stored = -1) {
    CSettingsActions a;
    a.StoredRecord = stored;
    a.MessageTextId = box;
    a.RefreshView = refresh;
    a.DisableSave = disableSave;
    a.ResetCloseState = resetClose;
    a.ClearBusy = clearBusy;
    a.PostClose = postClose;
    return a;
}
const CSettingsActions kNothing;

std::vector<uint8_t> ReplyFrame(uint8_t command, uint32_t result, const std::vector<uint8_t>& payload) {
    std::vector<uint8_t> frame;
    BuildReply(command, result, payload.data(), payload.size(), frame);
    return frame;
}

// A record that differs from the defaults in its name, so a stored copy shows.
std::vector<uint8_t> ServiceRecord(uint8_t item) {
    VPNCONFIG r = VPNCONFIG::Default(item);
    r.Name[0] = u'S';
    r.Reserved = 0x11223344u + item;
    return r.ToBytes();
}

std::vector<uint8_t> LoadPayload(uint8_t item, uint32_t itemLength, const std::vector<uint8_t>& record) {
    std::vector<uint8_t> payload(5 + record.size());
    payload[0] = item;
    WriteBe32(payload.data() + 1, itemLength);
    std::copy(record.begin(), record.end(), payload.begin() + 5);
    return payload;
}

std::vector<uint8_t> LoadOk(uint8_t item) {
    return ReplyFrame(CMD_LOAD_CONFIG, 0, LoadPayload(item, VPNCONFIG::kSize, ServiceRecord(item)));
}

// How the service answers one request in a table; None is a failed transaction (no frame).
enum class Answer {
    Ok,
    Refused,     // ResultCode 5
    None,        // no frame at all
    OtherItem,   // the answer for another item
    NoItemByte,  // a save reply without its echo / a load reply without its item and length
    ShortHead,   // DataLength below 4: no ResultCode
    ForeignId,   // another command's reply
    WrongLength, // a load reply with ItemLength 1125
    CutRecord,   // a load reply that claims 1126 bytes but holds fewer
    ItemAbove19, // a load reply for item 20
};

class SettingsRequestsTest : public testing::Test {
protected:
    SettingsRequestsTest() : Records(kVpnCount * VPNCONFIG::kSize) {
        for (size_t k = 0; k < kVpnCount; ++k)
            VPNCONFIG::Default(k).Write(Records.data() + k * VPNCONFIG::kSize);
        NewRequests();
    }

    CSettingsActions Reply(const std::vector<uint8_t>& frame) {
        return Requests->OnReply(uint32_t(frame.size() - 4), frame.data(), CloseState);
    }
    CSettingsActions NoReply() { return Requests->OnReply(0, nullptr, CloseState); }

    // A dialog's queue anew, posting through the recording poster.
    void NewRequests() {
        Posted.clear();
        PostAttempts = 0;
        Requests = std::make_unique<CSettingsRequests>(Records.data(), [this](const RequestFrame& frame) {
            if (PostAttempts++ >= AcceptedPosts)
                return false;
            Posted.push_back(frame);
            return true;
        });
    }

    CSettingsActions AnswerSave(uint8_t item, Answer answer) {
        switch (answer) {
        case Answer::Ok:
            return Reply(ReplyFrame(CMD_SAVE_CONFIG, 0, {item}));
        case Answer::Refused:
            return Reply(ReplyFrame(CMD_SAVE_CONFIG, ResultCode::AccessDenied, {item}));
        case Answer::None:
            return NoReply();
        case Answer::OtherItem:
            return Reply(ReplyFrame(CMD_SAVE_CONFIG, 0, {uint8_t(item + 1)}));
        case Answer::NoItemByte:
            return Reply(ReplyFrame(CMD_SAVE_CONFIG, 0, {}));
        case Answer::ShortHead:
            return Reply({REPLY_SAVE_CONFIG, 0, 0, 2, 0, 0});
        default:
            return Reply(ReplyFrame(CMD_LOAD_CONFIG, 0, {item}));
        }
    }

    CSettingsActions AnswerLoad(uint8_t item, Answer answer) {
        switch (answer) {
        case Answer::Ok:
            return Reply(LoadOk(item));
        case Answer::Refused:
            return Reply(ReplyFrame(CMD_LOAD_CONFIG, ResultCode::InvalidParameter, {}));
        case Answer::None:
            return NoReply();
        case Answer::OtherItem:
            return Reply(LoadOk(uint8_t(item == 7 ? 8 : 7)));
        case Answer::NoItemByte:
            return Reply(ReplyFrame(CMD_LOAD_CONFIG, 0, {item, 0, 0}));
        case Answer::ShortHead:
            return Reply({REPLY_LOAD_CONFIG, 0, 0, 3, 0, 0, 0});
        case Answer::ForeignId:
            return Reply(ReplyFrame(CMD_SAVE_CONFIG, 0, {item}));
        case Answer::WrongLength: {
            std::vector<uint8_t> record = ServiceRecord(item);
            record.pop_back();
            return Reply(ReplyFrame(CMD_LOAD_CONFIG, 0, LoadPayload(item, 1125, record)));
        }
        case Answer::CutRecord: {
            std::vector<uint8_t> record = ServiceRecord(item);
            record.resize(1000);
            return Reply(ReplyFrame(CMD_LOAD_CONFIG, 0, LoadPayload(item, VPNCONFIG::kSize, record)));
        }
        case Answer::ItemAbove19:
            return Reply(LoadOk(20));
        }
        return kNothing;
    }

    std::vector<uint8_t> RecordImage(size_t k) const {
        return std::vector<uint8_t>(Records.begin() + k * VPNCONFIG::kSize,
                                    Records.begin() + (k + 1) * VPNCONFIG::kSize);
    }

    std::vector<uint8_t> Records;
    std::vector<RequestFrame> Posted;
    size_t PostAttempts = 0;
    size_t AcceptedPosts = SIZE_MAX; // attempts after this many fail: the thread takes no more
    int CloseState = kCloseStateOpen;
    std::unique_ptr<CSettingsRequests> Requests;
};

TEST_F(SettingsRequestsTest, SaveFramesAreCopiedFromTheRecordsWhenPosted) {
    std::vector<RequestFrame> expected;
    for (uint8_t k = 0; k < kVpnCount; ++k)
        expected.push_back(BuildSaveConfigRequest(k, VPNCONFIG::FromBytes(RecordImage(k).data())));
    EXPECT_EQ(Requests->StartSave(CloseState), kNothing);
    EXPECT_FALSE(Requests->Idle());
    // An edit after the post reaches no frame: the pipe thread reads nothing of the dialog.
    std::memset(Records.data(), 0x55, VPNCONFIG::kSize);
    ASSERT_EQ(Posted, expected);
    EXPECT_EQ(Posted[19].size(), 1135u);
}

TEST_F(SettingsRequestsTest, SaveBatchEndsOnceAtItsLastAnswer) {
    struct Case {
        const char* Name;
        std::map<uint8_t, Answer> Answers; // items not named answer Ok
        int CloseState;
        CSettingsActions End;
    };
    std::map<uint8_t, Answer> allNone;
    for (uint8_t k = 0; k < kVpnCount; ++k)
        allNone[k] = Answer::None;
    const CSettingsActions savedOpen = Actions(0, true, true, false, true, false);
    const CSettingsActions failedOpen = Actions(214, true, false, false, true, false);
    const CSettingsActions failedClosing = Actions(214, true, false, true, true, false);
    const Case cases[] = {
        {"all saved", {}, kCloseStateOpen, savedOpen},
        {"all saved while closing", {}, kCloseStateClosing, Actions(0, false, false, false, false, true)},
        {"all saved while quitting", {}, kCloseStateQuitting, Actions(0, false, false, false, false, true)},
        // Item 19 succeeds after a failure: refreshed, Save stays enabled.
        {"item 3 refused", {{3, Answer::Refused}}, kCloseStateOpen, failedOpen},
        {"item 19 refused", {{19, Answer::Refused}}, kCloseStateOpen, failedOpen},
        {"items 0 and 19 without reply",
         {{0, Answer::None}, {19, Answer::None}},
         kCloseStateOpen,
         failedOpen},
        {"a stopped service: no reply at all", allNone, kCloseStateOpen, failedOpen},
        {"echo of another item", {{4, Answer::OtherItem}}, kCloseStateOpen, failedOpen},
        {"reply without its item byte", {{4, Answer::NoItemByte}}, kCloseStateOpen, failedOpen},
        {"reply without ResultCode", {{4, Answer::ShortHead}}, kCloseStateOpen, failedOpen},
        {"another command's reply", {{4, Answer::ForeignId}}, kCloseStateOpen, failedOpen},
        // A close or quit waited for the save: it ends, the dialog asks again next time.
        {"refused while closing", {{7, Answer::Refused}}, kCloseStateClosing, failedClosing},
        {"no reply while quitting", {{19, Answer::None}}, kCloseStateQuitting, failedClosing},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        NewRequests();
        CloseState = c.CloseState;
        ASSERT_EQ(Requests->StartSave(CloseState), kNothing);
        for (uint8_t k = 0; k < kVpnCount; ++k) {
            const auto it = c.Answers.find(k);
            const Answer answer = it == c.Answers.end() ? Answer::Ok : it->second;
            // Busy flag 0 stays set and no box opens before the batch's last answer.
            EXPECT_EQ(AnswerSave(k, answer), k + 1u < kVpnCount ? kNothing : c.End) << "item " << int(k);
        }
        EXPECT_TRUE(Requests->Idle());
    }
}

// The connection page's press connects only after the batch it started: that batch's end is
// told once, at its last answer, with whether every item was answered 0. A batch that nobody
// waits for tells nothing.
TEST_F(SettingsRequestsTest, AReportedBatchTellsItsEndOnceWithWhetherEveryItemWasSaved) {
    struct Case {
        const char* Name;
        bool Report;
        std::map<uint8_t, Answer> Answers; // items not named answer Ok
        int CloseState;
        bool Saved;
    };
    const Case cases[] = {
        {"all saved", true, {}, kCloseStateOpen, true},
        {"item 5 refused", true, {{5, Answer::Refused}}, kCloseStateOpen, false},
        {"item 19 without reply", true, {{19, Answer::None}}, kCloseStateOpen, false},
        {"echo of another item", true, {{0, Answer::OtherItem}}, kCloseStateOpen, false},
        {"all saved while closing", true, {}, kCloseStateClosing, true},
        {"not reported", false, {}, kCloseStateOpen, false},
        {"not reported, refused", false, {{5, Answer::Refused}}, kCloseStateOpen, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        NewRequests();
        CloseState = c.CloseState;
        EXPECT_FALSE(Requests->StartSave(CloseState, c.Report).SaveBatchEnded);
        for (uint8_t k = 0; k < kVpnCount; ++k) {
            const auto it = c.Answers.find(k);
            const CSettingsActions a = AnswerSave(k, it == c.Answers.end() ? Answer::Ok : it->second);
            const bool last = k + 1u == kVpnCount;
            EXPECT_EQ(a.SaveBatchEnded, last && c.Report) << "item " << int(k);
            EXPECT_EQ(a.SaveBatchSaved, last && c.Saved) << "item " << int(k);
        }
    }
    // No thread takes the requests: the batch ends, refused, while it starts.
    AcceptedPosts = 0;
    NewRequests();
    const CSettingsActions none = Requests->StartSave(CloseState, true);
    EXPECT_TRUE(none.SaveBatchEnded);
    EXPECT_FALSE(none.SaveBatchSaved);
    EXPECT_EQ(none.MessageTextId, 214u);

    // Two batches in flight: only the end of the one last started to be reported is told, so a
    // press never takes an earlier batch's end for its own.
    AcceptedPosts = SIZE_MAX;
    for (const bool firstReported : {false, true}) {
        NewRequests();
        Requests->StartSave(CloseState, firstReported);
        Requests->StartSave(CloseState, true);
        for (uint8_t k = 0; k < kVpnCount; ++k)
            EXPECT_FALSE(AnswerSave(k, Answer::Ok).SaveBatchEnded) << int(k);
        for (uint8_t k = 0; k < kVpnCount; ++k)
            EXPECT_EQ(AnswerSave(k, Answer::Ok).SaveBatchSaved, k + 1u == kVpnCount) << int(k);
    }
}

TEST_F(SettingsRequestsTest, PostsThatFailCountAsItemsWithoutReply) {
    // No pipe thread takes requests: the whole batch fails at once, with one box.
    AcceptedPosts = 0;
    EXPECT_EQ(Requests->StartSave(CloseState), Actions(214, true, false, false, true, false));
    EXPECT_TRUE(Requests->Idle());

    // The thread stops taking requests after item 9: the batch ends at item 9's answer.
    AcceptedPosts = 10;
    NewRequests();
    EXPECT_EQ(Requests->StartSave(CloseState), kNothing);
    for (uint8_t k = 0; k < 10; ++k)
        EXPECT_EQ(AnswerSave(k, Answer::Ok),
                  k < 9 ? kNothing : Actions(214, true, false, false, true, false));
    EXPECT_TRUE(Requests->Idle());
}

TEST_F(SettingsRequestsTest, ImportReloadsTheTwentyRecordsOneAfterTheOther) {
    EXPECT_EQ(Requests->StartImport(L"C:\\s.bin", 3, CloseState), kNothing);
    ASSERT_EQ(Posted.size(), 1u);
    EXPECT_EQ(Posted[0], BuildImportRequest(u"C:\\s.bin", 3));

    EXPECT_EQ(Reply(ReplyFrame(CMD_IMPORT, 0, {})), kNothing);
    for (uint8_t k = 0; k < kVpnCount; ++k) {
        ASSERT_EQ(Posted.size(), k + 2u);
        EXPECT_EQ(Posted.back(), (RequestFrame{0x12, 0, 0, 1, k}));
        const CSettingsActions actions = AnswerLoad(k, Answer::Ok);
        EXPECT_EQ(actions, k < 19 ? Actions(0, false, false, false, false, false, k)
                                  : Actions(0, true, true, false, true, false, 19));
        EXPECT_EQ(RecordImage(k), ServiceRecord(k));
    }
    EXPECT_EQ(Posted.size(), 21u);
    EXPECT_TRUE(Requests->Idle());
}

TEST_F(SettingsRequestsTest, AFailedImportOrLoadStopsTheReload) {
    struct Case {
        const char* Name;
        int FailingLoad; // -1: the import itself fails
        Answer How;
    };
    const Case cases[] = {
        {"import refused", -1, Answer::Refused},
        {"import without reply", -1, Answer::None},
        {"import answered by another command", -1, Answer::ForeignId},
        {"load 0 refused", 0, Answer::Refused},
        {"load 5 without reply", 5, Answer::None},
        {"load 5 for another item", 5, Answer::OtherItem},
        {"load 5 for item 20", 5, Answer::ItemAbove19},
        {"load 5 too short for item and length", 5, Answer::NoItemByte},
        {"load 5 without ResultCode", 5, Answer::ShortHead},
        {"load 5 with ItemLength 1125", 5, Answer::WrongLength},
        {"load 5 with a record cut short", 5, Answer::CutRecord},
        {"load 19 answered by another command", 19, Answer::ForeignId},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        Posted.clear();
        const std::vector<uint8_t> before = Records;
        ASSERT_EQ(Requests->StartImport(L"x.bin", 0, CloseState), kNothing);
        CSettingsActions last;
        if (c.FailingLoad < 0) {
            last = c.How == Answer::Refused ? Reply(ReplyFrame(CMD_IMPORT, 13, {}))
                   : c.How == Answer::None  ? NoReply()
                                            : Reply(ReplyFrame(CMD_EXPORT, 0, {}));
        } else {
            Reply(ReplyFrame(CMD_IMPORT, 0, {}));
            for (int k = 0; k < c.FailingLoad; ++k)
                AnswerLoad(uint8_t(k), Answer::Ok);
            last = AnswerLoad(uint8_t(c.FailingLoad), c.How);
        }
        // The records replaced so far are shown; Save is left as it is.
        EXPECT_EQ(last, Actions(213, c.FailingLoad > 0, false, false, true, false));
        EXPECT_EQ(Posted.size(), size_t(c.FailingLoad < 0 ? 1 : 2 + c.FailingLoad)) << "no further request";
        EXPECT_TRUE(Requests->Idle());
        if (c.FailingLoad >= 0) {
            const size_t at = size_t(c.FailingLoad) * VPNCONFIG::kSize;
            EXPECT_EQ(RecordImage(size_t(c.FailingLoad)),
                      std::vector<uint8_t>(before.begin() + at, before.begin() + at + VPNCONFIG::kSize));
        }
        Records = before;
    }
}

TEST_F(SettingsRequestsTest, AReloadThatCannotPostItsNextLoadStopsWithItsBox) {
    AcceptedPosts = 3; // the import and loads 0 and 1
    Requests->StartImport(L"x.bin", 0, CloseState);
    Reply(ReplyFrame(CMD_IMPORT, 0, {}));
    EXPECT_EQ(AnswerLoad(0, Answer::Ok), Actions(0, false, false, false, false, false, 0));
    EXPECT_EQ(AnswerLoad(1, Answer::Ok), Actions(213, true, false, false, true, false, 1));
    EXPECT_TRUE(Requests->Idle());
}

TEST_F(SettingsRequestsTest, ExportShowsOnlyItsFailure) {
    struct Case {
        const char* Name;
        Answer How;
        int CloseState;
        CSettingsActions End;
    };
    const Case cases[] = {
        {"saved", Answer::Ok, kCloseStateOpen, Actions(0, false, false, false, true, false)},
        {"saved while closing", Answer::Ok, kCloseStateClosing, Actions(0, false, false, false, true, false)},
        {"refused", Answer::Refused, kCloseStateOpen, Actions(214, false, false, false, true, false)},
        {"no reply", Answer::None, kCloseStateOpen, Actions(214, false, false, false, true, false)},
        {"refused while closing", Answer::Refused, kCloseStateClosing,
         Actions(214, false, false, false, false, true)},
        {"no reply while quitting", Answer::None, kCloseStateQuitting,
         Actions(214, false, false, false, false, true)},
        {"answered by another command", Answer::ForeignId, kCloseStateOpen,
         Actions(214, false, false, false, true, false)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        Posted.clear();
        CloseState = c.CloseState;
        ASSERT_EQ(Requests->StartExport(L"out.bin", 20, CloseState), kNothing);
        ASSERT_EQ(Posted.size(), 1u);
        EXPECT_EQ(Posted[0], BuildExportRequest(u"out.bin", 20));
        const CSettingsActions end = c.How == Answer::Ok        ? Reply(ReplyFrame(CMD_EXPORT, 0, {}))
                                     : c.How == Answer::Refused ? Reply(ReplyFrame(CMD_EXPORT, 5, {}))
                                     : c.How == Answer::None    ? NoReply()
                                                                : Reply(ReplyFrame(CMD_IMPORT, 0, {}));
        EXPECT_EQ(end, c.End);
    }
    // An export the thread does not take fails at once.
    AcceptedPosts = 0;
    CloseState = kCloseStateOpen;
    EXPECT_EQ(Requests->StartExport(L"out.bin", 0, CloseState),
              Actions(214, false, false, false, true, false));
}

TEST_F(SettingsRequestsTest, BusyIsClearedOnlyWhenNothingIsInFlight) {
    Requests->StartSave(CloseState);
    Requests->StartExport(L"out.bin", 0, CloseState);
    for (uint8_t k = 0; k < 19; ++k)
        AnswerSave(k, Answer::Ok);
    // The batch ends while the export waits: the flag stays for the export.
    EXPECT_EQ(AnswerSave(19, Answer::Ok), Actions(0, true, true, false, false, false));
    EXPECT_EQ(Reply(ReplyFrame(CMD_EXPORT, 0, {})), Actions(0, false, false, false, true, false));
    EXPECT_TRUE(Requests->Idle());
    // A reply with no request waiting changes nothing.
    EXPECT_EQ(Reply(ReplyFrame(CMD_EXPORT, 5, {})), kNothing);
    EXPECT_EQ(NoReply(), kNothing);
}

TEST_F(SettingsRequestsTest, TwoBatchesEndEachAtItsOwnLastItem) {
    Requests->StartSave(CloseState);
    Requests->StartSave(CloseState);
    for (uint8_t k = 0; k < kVpnCount; ++k)
        EXPECT_EQ(AnswerSave(k, k == 2 ? Answer::Refused : Answer::Ok),
                  k < 19 ? kNothing : Actions(214, true, false, false, false, false));
    for (uint8_t k = 0; k < kVpnCount; ++k)
        EXPECT_EQ(AnswerSave(k, Answer::Ok), k < 19 ? kNothing : Actions(0, true, true, false, true, false));
}

// A close or a quit from start to end, as the dialog runs it.
enum class SaveOutcome { Saved, Refused, Failed };

struct CloseRun {
    bool Asked = false, Saved = false, Destroyed = false, QuitRequested = false, SettingsOpenCleared = false,
         BusyCleared = false;
    int FinalState = 0;
};

CloseRun RunClose(bool quit, int initialState, bool modified, bool yes, SaveOutcome outcome) {
    CSettingsCloseLogic logic(initialState);
    CloseRun run;
    CCloseStep step = quit ? logic.OnQuit(modified) : logic.OnClose(modified);
    for (int guard = 0; guard < 10; ++guard) {
        run.SettingsOpenCleared |= step.ClearSettingsOpen;
        run.BusyCleared |= step.ClearBusy;
        run.QuitRequested |= step.PostQuitRequest;
        run.Destroyed |= step.Destroy;
        if (step.Destroy)
            break;
        if (step.AskSave) {
            run.Asked = true;
            step = logic.OnAnswer(yes);
            continue;
        }
        if (step.StartSave) {
            run.Saved = true;
            if (outcome == SaveOutcome::Refused) {
                step = logic.OnSaveStarted(false);
                continue;
            }
            EXPECT_FALSE(logic.OnSaveStarted(true).ClearBusy);
            const CSaveEndStep end = DecideSaveEnd(logic.CloseState(), outcome == SaveOutcome::Saved);
            if (end.ResetCloseState) {
                logic.OnSaveFailed();
                run.BusyCleared = true; // the batch's end clears it
            }
            if (end.PostClose) {
                step = logic.OnClose(modified); // Save is still enabled: the edits were sent, not refreshed
                continue;
            }
        }
        break;
    }
    run.FinalState = logic.CloseState();
    return run;
}

TEST(SettingsCloseTest, CloseAndQuitDecisions) {
    struct Case {
        const char* Name;
        bool Quit;
        int Initial;
        bool Modified;
        bool Yes;
        SaveOutcome Outcome;
        bool Asked, Saved, Destroyed, QuitRequested;
        int FinalState;
    };
    const SaveOutcome ok = SaveOutcome::Saved;
    const Case cases[] = {
        {"close, nothing modified", false, 0, false, false, ok, false, false, true, false, 1},
        {"close, No discards", false, 0, true, false, ok, true, false, true, false, 1},
        {"close, Yes and saved", false, 0, true, true, ok, true, true, true, false, 1},
        {"close, Yes and a page refuses", false, 0, true, true, SaveOutcome::Refused, true, true, false,
         false, 0},
        {"close, Yes and the save fails", false, 0, true, true, SaveOutcome::Failed, true, true, false, false,
         0},
        {"close while closing", false, 1, true, false, ok, false, false, true, false, 1},
        {"close while quitting", false, 2, true, false, ok, false, false, true, true, 1},
        {"quit, nothing modified", true, 0, false, false, ok, false, false, false, true, 1},
        {"quit, No", true, 0, true, false, ok, true, false, false, true, 1},
        {"quit, Yes and saved", true, 0, true, true, ok, true, true, true, true, 1},
        {"quit, Yes and a page refuses", true, 0, true, true, SaveOutcome::Refused, true, true, false, false,
         0},
        {"quit, Yes and the save fails", true, 0, true, true, SaveOutcome::Failed, true, true, false, false,
         0},
        {"quit while closing, Yes and saved", true, 1, true, true, ok, true, true, true, true, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        const CloseRun run = RunClose(c.Quit, c.Initial, c.Modified, c.Yes, c.Outcome);
        EXPECT_EQ(run.Asked, c.Asked);
        EXPECT_EQ(run.Saved, c.Saved);
        EXPECT_EQ(run.Destroyed, c.Destroyed);
        EXPECT_EQ(run.SettingsOpenCleared, c.Destroyed);
        EXPECT_EQ(run.QuitRequested, c.QuitRequested);
        EXPECT_EQ(run.FinalState, c.FinalState);
        // Whatever stays open without waiting for a save has its busy flag back.
        if (!run.Destroyed) {
            EXPECT_TRUE(run.BusyCleared);
        }
    }
}

TEST(SettingsCloseTest, AfterARefusedSaveTheNextCloseAsksAgain) {
    CSettingsCloseLogic logic;
    ASSERT_TRUE(logic.OnClose(true).AskSave);
    ASSERT_TRUE(logic.OnAnswer(true).StartSave);
    logic.OnSaveStarted(false); // a page's key differs from its re-entry
    const CCloseStep again = logic.OnClose(true);
    EXPECT_TRUE(again.AskSave);
    EXPECT_FALSE(again.Destroy);

    // The same after a batch that the service refused while a quit waited for it.
    CSettingsCloseLogic quitting;
    ASSERT_TRUE(quitting.OnQuit(true).AskSave);
    ASSERT_TRUE(quitting.OnAnswer(true).StartSave);
    quitting.OnSaveStarted(true);
    ASSERT_TRUE(DecideSaveEnd(quitting.CloseState(), false).ResetCloseState);
    quitting.OnSaveFailed();
    EXPECT_TRUE(quitting.OnClose(true).AskSave);
}

TEST(SettingsCloseTest, AnEditAfterAQuitThatDidNotHappenIsAskedAbout) {
    // Quit without edits posts the quit request; a reload still in flight keeps busy flag 0 set,
    // so the main frame's Quit leaves the dialog open.
    CSettingsCloseLogic logic;
    ASSERT_TRUE(logic.OnQuit(false).PostQuitRequest);
    logic.OnEdited();
    const CCloseStep close = logic.OnClose(true);
    EXPECT_TRUE(close.AskSave);
    EXPECT_FALSE(close.Destroy);

    // The same after No to the quit's question: only the edits made before it were given up.
    CSettingsCloseLogic afterNo;
    ASSERT_TRUE(afterNo.OnQuit(true).AskSave);
    ASSERT_TRUE(afterNo.OnAnswer(false).PostQuitRequest);
    afterNo.OnEdited();
    EXPECT_TRUE(afterNo.OnClose(true).AskSave);

    // An edit while the save of a close is under way: the batch's end no longer closes.
    CSettingsCloseLogic saving;
    ASSERT_TRUE(saving.OnClose(true).AskSave);
    ASSERT_TRUE(saving.OnAnswer(true).StartSave);
    saving.OnSaveStarted(true);
    saving.OnEdited();
    EXPECT_FALSE(DecideSaveEnd(saving.CloseState(), true).PostClose);
}

} // namespace
} // namespace corvel
