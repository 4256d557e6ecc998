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
           a.RefreshView == b.RefreshView && a.DisableSave == b.DisableSave && a.CloseEvent == b.CloseEvent &&
           a.ClearBusy == b.ClearBusy;
}

void PrintTo(const CSettingsActions& a, std::ostream* os) {
    *os << "{stored " << a.StoredRecord << ", box " << a.MessageTextId << ", refresh " << a.RefreshView
        << ", disable save " << a.DisableSave << ", close event " << int(a.CloseEvent) << ", clear busy "
        << a.ClearBusy << "}";
}

namespace {

using Event = SettingsCloseEvent;

CSettingsActions Actions(unsigned box, bool refresh, bool disableSave, bool clearBusy,
                         Event event = Event::None, int stored = -1) {
    CSettingsActions a;
    a.StoredRecord = stored;
    a.MessageTextId = box;
    a.RefreshView = refresh;
    a.DisableSave = disableSave;
    a.CloseEvent = event;
    a.ClearBusy = clearBusy;
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
        return Requests->OnReply(uint32_t(frame.size() - 4), frame.data());
    }
    CSettingsActions NoReply() { return Requests->OnReply(0, nullptr); }

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
    std::unique_ptr<CSettingsRequests> Requests;
};

TEST_F(SettingsRequestsTest, SaveFramesAreCopiedFromTheRecordsWhenPosted) {
    std::vector<RequestFrame> expected;
    for (uint8_t k = 0; k < kVpnCount; ++k)
        expected.push_back(BuildSaveConfigRequest(k, VPNCONFIG::FromBytes(RecordImage(k).data())));
    EXPECT_EQ(Requests->StartSave(false), kNothing);
    EXPECT_FALSE(Requests->Idle());
    // An edit after the post reaches no frame: the pipe thread reads nothing of the dialog.
    std::memset(Records.data(), 0x55, VPNCONFIG::kSize);
    ASSERT_EQ(Posted, expected);
    EXPECT_EQ(Posted[19].size(), 1135u);
}

// A batch tells a close of its end only when a close or quit started it: a batch of Save that
// ends while a close has begun since (its question open) is no end of that close.
TEST_F(SettingsRequestsTest, SaveBatchEndsOnceAtItsLastAnswer) {
    struct Case {
        const char* Name;
        std::map<uint8_t, Answer> Answers; // items not named answer Ok
        bool ForClose;
        CSettingsActions End;
    };
    std::map<uint8_t, Answer> allNone;
    for (uint8_t k = 0; k < kVpnCount; ++k)
        allNone[k] = Answer::None;
    const CSettingsActions saved = Actions(0, true, true, true);
    const CSettingsActions failed = Actions(214, true, false, true);
    const Case cases[] = {
        {"all saved", {}, false, saved},
        {"all saved, for a close or quit", {}, true, Actions(0, true, true, true, Event::CloseSaveDone)},
        // Item 19 succeeds after a failure: refreshed, Save stays enabled.
        {"item 3 refused", {{3, Answer::Refused}}, false, failed},
        {"item 19 refused", {{19, Answer::Refused}}, false, failed},
        {"items 0 and 19 without reply", {{0, Answer::None}, {19, Answer::None}}, false, failed},
        {"a stopped service: no reply at all", allNone, false, failed},
        {"echo of another item", {{4, Answer::OtherItem}}, false, failed},
        {"reply without its item byte", {{4, Answer::NoItemByte}}, false, failed},
        {"reply without ResultCode", {{4, Answer::ShortHead}}, false, failed},
        {"another command's reply", {{4, Answer::ForeignId}}, false, failed},
        // A close or quit waited for the save: it hears of the failure.
        {"refused, for a close",
         {{7, Answer::Refused}},
         true,
         Actions(214, true, false, true, Event::CloseSaveFailed)},
        {"no reply, for a quit",
         {{19, Answer::None}},
         true,
         Actions(214, true, false, true, Event::CloseSaveFailed)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        NewRequests();
        ASSERT_EQ(Requests->StartSave(c.ForClose), kNothing);
        for (uint8_t k = 0; k < kVpnCount; ++k) {
            const auto it = c.Answers.find(k);
            const Answer answer = it == c.Answers.end() ? Answer::Ok : it->second;
            // BusyFlag::Settings stays set and no box opens before the batch's last answer.
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
        bool ForClose;
        bool Saved;
    };
    const Case cases[] = {
        {"all saved", true, {}, false, true},
        {"item 5 refused", true, {{5, Answer::Refused}}, false, false},
        {"item 19 without reply", true, {{19, Answer::None}}, false, false},
        {"echo of another item", true, {{0, Answer::OtherItem}}, false, false},
        {"all saved, for a close", true, {}, true, true},
        {"not reported", false, {}, false, false},
        {"not reported, refused", false, {{5, Answer::Refused}}, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        NewRequests();
        EXPECT_FALSE(Requests->StartSave(c.ForClose, c.Report).SaveBatchEnded);
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
    const CSettingsActions none = Requests->StartSave(false, true);
    EXPECT_TRUE(none.SaveBatchEnded);
    EXPECT_FALSE(none.SaveBatchSaved);
    EXPECT_EQ(none.MessageTextId, 214u);

    // Two batches in flight: only the end of the one last started to be reported is told, so a
    // press never takes an earlier batch's end for its own.
    AcceptedPosts = SIZE_MAX;
    for (const bool firstReported : {false, true}) {
        NewRequests();
        Requests->StartSave(false, firstReported);
        Requests->StartSave(false, true);
        for (uint8_t k = 0; k < kVpnCount; ++k)
            EXPECT_FALSE(AnswerSave(k, Answer::Ok).SaveBatchEnded) << int(k);
        for (uint8_t k = 0; k < kVpnCount; ++k)
            EXPECT_EQ(AnswerSave(k, Answer::Ok).SaveBatchSaved, k + 1u == kVpnCount) << int(k);
    }
}

// What a page took in after the batch was posted is not in its frames: the batch's end leaves
// Save enabled, so that the edit is still asked about. An edit before the batch counts for none.
TEST_F(SettingsRequestsTest, AnEditMadeWhileABatchIsInFlightKeepsSaveEnabledAtItsEnd) {
    struct Case {
        const char* Name;
        int EditAfterItem; // -2: none; -1: before the batch; k: after item k's answer
        bool SaveDisabledAtEnd;
    };
    const Case cases[] = {
        {"no edit", -2, true},
        {"an edit before the batch", -1, true},
        {"an edit before the first answer", 0, false},
        {"an edit before the last answer", 18, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        NewRequests();
        if (c.EditAfterItem == -1)
            Requests->OnEdited();
        Requests->StartSave(false);
        for (uint8_t k = 0; k < kVpnCount; ++k) {
            if (int(k) == c.EditAfterItem + 1 && c.EditAfterItem >= 0)
                Requests->OnEdited();
            const CSettingsActions end = AnswerSave(k, Answer::Ok);
            if (k == 19) {
                EXPECT_EQ(end, Actions(0, true, c.SaveDisabledAtEnd, true));
            }
        }
    }
    // Two batches: an edit between their posts is in the second one's frames only.
    NewRequests();
    Requests->StartSave(false);
    Requests->OnEdited();
    Requests->StartSave(false);
    for (uint8_t k = 0; k < kVpnCount; ++k)
        EXPECT_EQ(AnswerSave(k, Answer::Ok), k < 19 ? kNothing : Actions(0, true, false, false));
    for (uint8_t k = 0; k < kVpnCount; ++k)
        EXPECT_EQ(AnswerSave(k, Answer::Ok), k < 19 ? kNothing : Actions(0, true, true, true));
}

TEST_F(SettingsRequestsTest, PostsThatFailCountAsItemsWithoutReply) {
    // No pipe thread takes requests: the whole batch fails at once, with one box.
    AcceptedPosts = 0;
    EXPECT_EQ(Requests->StartSave(false), Actions(214, true, false, true));
    EXPECT_TRUE(Requests->Idle());

    // The thread stops taking requests after item 9: the batch ends at item 9's answer.
    AcceptedPosts = 10;
    NewRequests();
    EXPECT_EQ(Requests->StartSave(false), kNothing);
    for (uint8_t k = 0; k < 10; ++k)
        EXPECT_EQ(AnswerSave(k, Answer::Ok), k < 9 ? kNothing : Actions(214, true, false, true));
    EXPECT_TRUE(Requests->Idle());
}

TEST_F(SettingsRequestsTest, ImportOfAllReloadsTheTwentyRecordsOneAfterTheOther) {
    EXPECT_EQ(Requests->StartImport(L"C:\\s.bin", 0), kNothing);
    ASSERT_EQ(Posted.size(), 1u);
    EXPECT_EQ(Posted[0], BuildImportRequest(u"C:\\s.bin", 0));
    EXPECT_TRUE(Requests->ImportUnderWay());
    for (size_t k = 0; k < kVpnCount; ++k)
        EXPECT_TRUE(Requests->ImportReplaces(k)) << k;

    EXPECT_EQ(Reply(ReplyFrame(CMD_IMPORT, 0, {})), kNothing);
    for (uint8_t k = 0; k < kVpnCount; ++k) {
        ASSERT_EQ(Posted.size(), k + 2u);
        EXPECT_EQ(Posted.back(), (RequestFrame{0x12, 0, 0, 1, k}));
        EXPECT_TRUE(Requests->ImportUnderWay());
        const CSettingsActions actions = AnswerLoad(k, Answer::Ok);
        EXPECT_EQ(actions, k < 19 ? Actions(0, false, false, false, Event::None, k)
                                  : Actions(0, true, true, true, Event::None, 19));
        EXPECT_EQ(RecordImage(k), ServiceRecord(k));
    }
    EXPECT_EQ(Posted.size(), 21u);
    EXPECT_TRUE(Requests->Idle());
    EXPECT_FALSE(Requests->ImportUnderWay());
    EXPECT_FALSE(Requests->ImportReplaces(0));
}

// The service stores a file of one connection as connection n alone: only that record is loaded
// again, the others (and what their pages hold) stay, and Save is left as it is.
TEST_F(SettingsRequestsTest, ImportOfOneConnectionReloadsThatRecordAlone) {
    for (const uint8_t selection : {uint8_t(1), uint8_t(3), uint8_t(20)}) {
        SCOPED_TRACE(int(selection));
        NewRequests();
        const std::vector<uint8_t> before = Records;
        const uint8_t item = uint8_t(selection - 1);
        EXPECT_EQ(Requests->StartImport(L"one.bin", selection), kNothing);
        EXPECT_EQ(Posted[0], BuildImportRequest(u"one.bin", selection));
        for (size_t k = 0; k < kVpnCount; ++k)
            EXPECT_EQ(Requests->ImportReplaces(k), k == item) << k;
        EXPECT_EQ(Reply(ReplyFrame(CMD_IMPORT, 0, {})), kNothing);
        ASSERT_EQ(Posted.size(), 2u);
        EXPECT_EQ(Posted[1], (RequestFrame{0x12, 0, 0, 1, item}));
        EXPECT_EQ(AnswerLoad(item, Answer::Ok), Actions(0, true, false, true, Event::None, item));
        EXPECT_EQ(Posted.size(), 2u) << "no other record is loaded";
        EXPECT_TRUE(Requests->Idle());
        EXPECT_FALSE(Requests->ImportUnderWay());
        for (size_t k = 0; k < kVpnCount; ++k) {
            const size_t at = k * VPNCONFIG::kSize;
            EXPECT_EQ(RecordImage(k),
                      k == item
                          ? ServiceRecord(item)
                          : std::vector<uint8_t>(before.begin() + at, before.begin() + at + VPNCONFIG::kSize))
                << k;
        }
        Records = before;
    }
    // Its load refused: the box, nothing shown anew.
    NewRequests();
    Requests->StartImport(L"one.bin", 5);
    Reply(ReplyFrame(CMD_IMPORT, 0, {}));
    EXPECT_EQ(AnswerLoad(4, Answer::Refused), Actions(213, false, false, true));
    EXPECT_FALSE(Requests->ImportUnderWay());
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
        ASSERT_EQ(Requests->StartImport(L"x.bin", 0), kNothing);
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
        EXPECT_EQ(last, Actions(213, c.FailingLoad > 0, false, true));
        EXPECT_FALSE(Requests->ImportUnderWay());
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
    Requests->StartImport(L"x.bin", 0);
    Reply(ReplyFrame(CMD_IMPORT, 0, {}));
    EXPECT_EQ(AnswerLoad(0, Answer::Ok), Actions(0, false, false, false, Event::None, 0));
    EXPECT_EQ(AnswerLoad(1, Answer::Ok), Actions(213, true, false, true, Event::None, 1));
    EXPECT_TRUE(Requests->Idle());
}

// A failed export tells the close under way (if any) of it; whether the dialog then closes is
// the close's decision (SettingsCloseTest).
TEST_F(SettingsRequestsTest, ExportShowsOnlyItsFailure) {
    struct Case {
        const char* Name;
        Answer How;
        CSettingsActions End;
    };
    const CSettingsActions failed = Actions(214, false, false, true, Event::ExportFailed);
    const Case cases[] = {
        {"saved", Answer::Ok, Actions(0, false, false, true)},
        {"refused", Answer::Refused, failed},
        {"no reply", Answer::None, failed},
        {"answered by another command", Answer::ForeignId, failed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        Posted.clear();
        ASSERT_EQ(Requests->StartExport(L"out.bin", 20), kNothing);
        ASSERT_EQ(Posted.size(), 1u);
        EXPECT_EQ(Posted[0], BuildExportRequest(u"out.bin", 20));
        EXPECT_FALSE(Requests->ImportUnderWay());
        const CSettingsActions end = c.How == Answer::Ok        ? Reply(ReplyFrame(CMD_EXPORT, 0, {}))
                                     : c.How == Answer::Refused ? Reply(ReplyFrame(CMD_EXPORT, 5, {}))
                                     : c.How == Answer::None    ? NoReply()
                                                                : Reply(ReplyFrame(CMD_IMPORT, 0, {}));
        EXPECT_EQ(end, c.End);
    }
    // An export the thread does not take fails at once.
    AcceptedPosts = 0;
    EXPECT_EQ(Requests->StartExport(L"out.bin", 0), failed);
}

TEST_F(SettingsRequestsTest, BusyIsClearedOnlyWhenNothingIsInFlight) {
    Requests->StartSave(false);
    Requests->StartExport(L"out.bin", 0);
    for (uint8_t k = 0; k < 19; ++k)
        AnswerSave(k, Answer::Ok);
    // The batch ends while the export waits: the flag stays for the export.
    EXPECT_EQ(AnswerSave(19, Answer::Ok), Actions(0, true, true, false));
    EXPECT_EQ(Reply(ReplyFrame(CMD_EXPORT, 0, {})), Actions(0, false, false, true));
    EXPECT_TRUE(Requests->Idle());
    // A reply with no request waiting changes nothing.
    EXPECT_EQ(Reply(ReplyFrame(CMD_EXPORT, 5, {})), kNothing);
    EXPECT_EQ(NoReply(), kNothing);
}

TEST_F(SettingsRequestsTest, TwoBatchesEndEachAtItsOwnLastItem) {
    Requests->StartSave(false);
    Requests->StartSave(true);
    for (uint8_t k = 0; k < kVpnCount; ++k)
        EXPECT_EQ(AnswerSave(k, k == 2 ? Answer::Refused : Answer::Ok),
                  k < 19 ? kNothing : Actions(214, true, false, false));
    for (uint8_t k = 0; k < kVpnCount; ++k)
        EXPECT_EQ(AnswerSave(k, Answer::Ok),
                  k < 19 ? kNothing : Actions(0, true, true, true, Event::CloseSaveDone));
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
            const bool closeAgain = logic.OnRequestsEnded(
                outcome == SaveOutcome::Saved ? Event::CloseSaveDone : Event::CloseSaveFailed);
            if (!closeAgain)
                run.BusyCleared = true; // the batch's end clears it
            if (closeAgain) {
                step = logic.OnClose(modified);
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
    EXPECT_FALSE(quitting.OnRequestsEnded(Event::CloseSaveFailed));
    EXPECT_EQ(quitting.CloseState(), kCloseStateOpen);
    EXPECT_TRUE(quitting.OnClose(true).AskSave);
}

TEST(SettingsCloseTest, AnEditAfterAQuitThatDidNotHappenIsAskedAbout) {
    // Quit without edits posts the quit request; a reload still in flight keeps BusyFlag::Settings set,
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
    EXPECT_FALSE(saving.OnRequestsEnded(Event::CloseSaveDone));
}

// Whatever ends while the question of a close or quit is open, nothing closes and the close is
// not given up: the answer decides. Afterwards the end of the close's own batch closes.
TEST(SettingsCloseTest, NothingClosesOrEndsTheCloseUnderItsOpenQuestion) {
    enum class Start { Open, Closing, Quitting, CloseAsking, QuitAsking };
    struct Case {
        const char* Name;
        Start From;
        Event What;
        bool CloseAgain;
        int StateAfter;
    };
    const Case cases[] = {
        {"no close: a batch's end", Start::Open, Event::CloseSaveDone, false, kCloseStateOpen},
        {"no close: a failed export", Start::Open, Event::ExportFailed, false, kCloseStateOpen},
        {"closing: its batch saved", Start::Closing, Event::CloseSaveDone, true, kCloseStateClosing},
        {"closing: its batch failed", Start::Closing, Event::CloseSaveFailed, false, kCloseStateOpen},
        {"closing: an export failed", Start::Closing, Event::ExportFailed, true, kCloseStateClosing},
        {"quitting: its batch saved", Start::Quitting, Event::CloseSaveDone, true, kCloseStateQuitting},
        {"closing: nothing of it ended", Start::Closing, Event::None, false, kCloseStateClosing},
        {"close question: a batch saved", Start::CloseAsking, Event::CloseSaveDone, false,
         kCloseStateClosing},
        {"close question: a batch failed", Start::CloseAsking, Event::CloseSaveFailed, false,
         kCloseStateClosing},
        {"close question: an export failed", Start::CloseAsking, Event::ExportFailed, false,
         kCloseStateClosing},
        {"quit question: a batch failed", Start::QuitAsking, Event::CloseSaveFailed, false,
         kCloseStateQuitting},
        {"quit question: an export failed", Start::QuitAsking, Event::ExportFailed, false,
         kCloseStateQuitting},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        CSettingsCloseLogic logic;
        switch (c.From) {
        case Start::Open:
            break;
        case Start::Closing:
        case Start::Quitting:
            ASSERT_TRUE((c.From == Start::Closing ? logic.OnClose(true) : logic.OnQuit(true)).AskSave);
            ASSERT_TRUE(logic.OnAnswer(true).StartSave);
            logic.OnSaveStarted(true);
            break;
        case Start::CloseAsking:
            ASSERT_TRUE(logic.OnClose(true).AskSave);
            break;
        case Start::QuitAsking:
            ASSERT_TRUE(logic.OnQuit(true).AskSave);
            break;
        }
        const bool asking = c.From == Start::CloseAsking || c.From == Start::QuitAsking;
        EXPECT_EQ(logic.Asking(), asking);
        EXPECT_EQ(logic.OnRequestsEnded(c.What), c.CloseAgain);
        EXPECT_EQ(logic.CloseState(), c.StateAfter);
        if (!asking)
            continue;
        // A close or quit under the open question is refused.
        EXPECT_TRUE(logic.OnClose(true).Refused);
        EXPECT_FALSE(logic.OnClose(false).Destroy);
        EXPECT_TRUE(logic.OnQuit(false).Refused);
        EXPECT_FALSE(logic.OnQuit(true).PostQuitRequest);
        // Yes: the close's own batch; its end closes (and a quit's goes on to the quit request).
        ASSERT_TRUE(logic.OnAnswer(true).StartSave);
        EXPECT_FALSE(logic.Asking());
        logic.OnSaveStarted(true);
        EXPECT_TRUE(logic.OnRequestsEnded(Event::CloseSaveDone));
        const CCloseStep close = logic.OnClose(true);
        EXPECT_TRUE(close.Destroy);
        EXPECT_EQ(close.PostQuitRequest, c.From == Start::QuitAsking);
    }
}

} // namespace
} // namespace corvel
