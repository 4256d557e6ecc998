// Connecting without windows: the connection page's press, the connecting dialog's state
// table, the frames the dialogs send and what their replies mean.
#include "ConnectLogic.h"

#include "Protocol.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace corvel {
namespace {

// Answers the press's questions from a row of the table and records which were asked.
class CScriptedQuestions : public CPressQuestions {
public:
    CScriptedQuestions(bool yes, bool saveSent, bool keys, bool server)
        : m_yes(yes), m_saveSent(saveSent), m_keys(keys), m_server(server) {}
    bool AskSaveFirst() override {
        Asked += "ask ";
        return m_yes;
    }
    bool SaveAll() override {
        Asked += "save ";
        return m_saveSent;
    }
    bool EveryKeyConfirmed() override {
        Asked += "keys ";
        return m_keys;
    }
    bool HasServer() override {
        Asked += "server ";
        return m_server;
    }
    std::string Asked;

private:
    bool m_yes, m_saveSent, m_keys, m_server;
};

TEST(ConnectPressTest, UpUnsavedAnswerSaveKeysAndServerDecideWhatThePressDoes) {
    struct Case {
        const char* Name;
        bool Up, Modified, Yes, SaveSent, Keys, Server;
        PressAction Action;
        unsigned Box;
        bool ReleaseHold;
        const char* Asked; // the questions reached, in order
        bool AfterSave;    // the connect waits for the end of the save batch
    };
    const Case cases[] = {
        {"up: disconnect, nothing asked", true, true, true, true, false, false, PressAction::Disconnect, 0,
         false, "", false},
        {"clean, all well: connect at once", false, false, false, false, true, true, PressAction::Connect, 0,
         false, "keys server ", false},
        {"clean, a key differs", false, false, false, false, false, true, PressAction::Stop, 212, true,
         "keys ", false},
        {"clean, no server", false, false, false, false, true, false, PressAction::Stop, 219, true,
         "keys server ", false},
        {"edits, No: nothing saved or checked", false, true, false, true, true, true, PressAction::Stop, 0,
         true, "ask ", false},
        {"edits, Yes, posted: connect once the batch is saved", false, true, true, true, true, true,
         PressAction::Connect, 0, false, "ask save server ", true},
        // The save told the user why (a key, a host name too long for its edit, ...): no
        // second box, and above all no connect of a record that was not saved.
        {"edits, Yes, save stopped by a key", false, true, true, false, false, true, PressAction::Stop, 0,
         true, "ask save ", false},
        {"edits, Yes, save stopped otherwise", false, true, true, false, true, true, PressAction::Stop, 0,
         true, "ask save ", false},
        {"edits, Yes, posted, no server", false, true, true, true, true, false, PressAction::Stop, 219, true,
         "ask save server ", false},
    };
    for (const Case& c : cases) {
        CScriptedQuestions questions(c.Yes, c.SaveSent, c.Keys, c.Server);
        const CPressDecision d = DecideConnectPress(c.Up, c.Modified, questions);
        EXPECT_EQ(d.Action, c.Action) << c.Name;
        EXPECT_EQ(d.BoxTextId, c.Box) << c.Name;
        EXPECT_EQ(d.ReleaseHold, c.ReleaseHold) << c.Name;
        EXPECT_EQ(questions.Asked, c.Asked) << c.Name;
        EXPECT_EQ(d.AfterSave, c.AfterSave) << c.Name;
    }
}

TEST(ConnectPressTest, ADisconnectConnectsTheSelectedConnectionNextOnlyWhenItIsAnother) {
    EXPECT_FALSE(ConnectAfterDisconnect(3, 3));
    EXPECT_TRUE(ConnectAfterDisconnect(4, 3));
}

// What happened while the press waited (under its box, for its save, for its disconnect)
// decides whether its connecting dialog still runs.
TEST(ConnectPressTest, NoConnectingDialogAfterAQuitOrWithAConnectionThatCameUpMeanwhile) {
    EXPECT_TRUE(StartConnectNow(false, false));
    EXPECT_FALSE(StartConnectNow(false, true)) << "a quit waits for the press";
    EXPECT_FALSE(StartConnectNow(true, false)) << "a state 1 arrived under a box";
    EXPECT_FALSE(StartConnectNow(true, true));
}

TEST(ConnectPressTest, AQuitRequestShowsTheConnectionDownBeforeTheQuitWhateverTheEnd) {
    struct Case {
        const char* Name;
        bool Cancelled, QuitRequested;
        bool Abort, MarkDown, PostQuit;
    };
    const Case cases[] = {
        {"connected, pause over", false, false, false, false, false},
        {"cancelled, failed or refused", true, false, true, false, false},
        // The service ended the connection when it asked to quit: the page and the frame must
        // not still show it up, or the frame's Quit asks 216 and disconnects nothing.
        {"quit during the success pause", false, true, false, true, true},
        {"quit while connecting", true, true, true, true, true},
    };
    for (const Case& c : cases) {
        const CConnectingEnd end = DecideConnectingEnd(c.Cancelled, c.QuitRequested);
        EXPECT_EQ(end.Abort, c.Abort) << c.Name;
        EXPECT_EQ(end.MarkDown, c.MarkDown) << c.Name;
        EXPECT_EQ(end.PostQuit, c.PostQuit) << c.Name;
    }
}

TEST(ConnectingStateTest, EachStateAndEventGiveTheActionNextStateAndResults) {
    constexpr unsigned None = 0, Progress = 1, Success = 2, CloseCaptioned = 4, Quit = 8, FailureBox = 16,
                       RasBox = 32, Close = 64, End = 128, Cancelled = 256, EndChild = 512;
    struct Case {
        uint8_t State;
        ConnectingEvent Event;
        unsigned Acts;
        uint8_t Next;
    };
    using E = ConnectingEvent;
    const Case cases[] = {
        {2, E::Progress, Progress, 2},
        {1, E::Progress, Progress, 1},
        {0, E::Progress, Progress, 0},
        {2, E::Connected, Success, 1},
        {0, E::Connected, Success, 1},
        {1, E::Connected, None, 1}, // one pause, one WM_SET_TRAY_ICON
        {2, E::Down, FailureBox | Close, 0},
        {1, E::Down, FailureBox | Close, 0},
        {0, E::Down, None, 0}, // the state 0 after a RAS error or a failure: no second box
        // The credentials dialog or the RAS-error box under it goes too: nothing waits for the user.
        {2, E::QuitNotice, CloseCaptioned | EndChild | Quit | Close, 2},
        {1, E::QuitNotice, CloseCaptioned | EndChild | Quit | Close, 1},
        {0, E::QuitNotice, CloseCaptioned | EndChild | Quit | Close, 0},
        {2, E::RasError, RasBox | Close, 0},
        {1, E::RasError, RasBox | Close, 0},
        {0, E::RasError, None, 0},
        {2, E::ConnectRefused, FailureBox | Close, 2},
        {0, E::ConnectRefused, FailureBox | Close, 0},
        {2, E::Cancel, End | Cancelled, 2},
        {0, E::Cancel, End | Cancelled, 0},
        {1, E::Cancel, End, 1}, // after success: the page keeps the connection
    };
    for (const Case& c : cases) {
        const CConnectingStep s = DecideConnectingStep(c.State, c.Event);
        const unsigned acts = (s.AdvanceProgress ? Progress : 0) | (s.ShowSuccess ? Success : 0) |
                              (s.CloseCaptionedWindow ? CloseCaptioned : 0) |
                              (s.SetQuitRequested ? Quit : 0) | (s.ShowFailureBox ? FailureBox : 0) |
                              (s.ShowRasErrorBox ? RasBox : 0) | (s.Close ? Close : 0) | (s.End ? End : 0) |
                              (s.SetCancelled ? Cancelled : 0) | (s.EndModalChild ? EndChild : 0);
        EXPECT_EQ(acts, c.Acts) << int(c.State) << " " << int(c.Event);
        EXPECT_EQ(int(s.NextState), int(c.Next)) << int(c.State) << " " << int(c.Event);
    }
}

std::string Hex(const std::vector<uint8_t>& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (uint8_t b : bytes) {
        if (!out.empty())
            out += ' ';
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

TEST(ConnectFramesTest, ConnectItem25AndAbortFramesByteForByte) {
    struct Case {
        const char* Name;
        RequestFrame Frame;
        std::string Expected;
    };
    const std::string zeros(129 * 3 - 1, ' ');
    const Case cases[] = {
        // ShowGui 1; no terminators; an empty string is 0 bytes, which the service reads as none.
        {"connect", BuildConnectFrame(2, L"ab", L"\u3042"),
         "01 00 00 10 02 01 00 00 00 04 61 00 62 00 00 00 00 02 42 30"},
        {"connect, both empty", BuildConnectFrame(19, L"", L""), "01 00 00 0A 13 01 00 00 00 00 00 00 00 00"},
        {"connect, password only", BuildConnectFrame(0, L"", L"pw"),
         "01 00 00 0E 00 01 00 00 00 00 00 00 00 04 70 00 77 00"},
        {"abort of connection 3", BuildDisconnectRequest(2), "02 00 00 01 02"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Hex(c.Frame), c.Expected) << c.Name;

    // Item 25: 270 bytes, the AUTHINFO built fresh: every unit after a terminator zero.
    const RequestFrame save = BuildCredentialsSaveFrame(7, L"yamada", L"p&ss");
    ASSERT_EQ(save.size(), 270u);
    std::vector<uint8_t> expected = {0x11, 0x00, 0x01, 0x0A, 0x19, 0x00, 0x00, 0x01, 0x05, 0x07};
    std::vector<uint8_t> user(130, 0), pass(130, 0);
    const std::u16string u = u"yamada", p = u"p&ss";
    for (size_t i = 0; i < u.size(); ++i)
        user[2 * i] = uint8_t(u[i]);
    for (size_t i = 0; i < p.size(); ++i)
        pass[2 * i] = uint8_t(p[i]);
    expected.insert(expected.end(), user.begin(), user.end());
    expected.insert(expected.end(), pass.begin(), pass.end());
    EXPECT_EQ(Hex(save), Hex(expected));

    // 64 characters fill the field up to its terminator; what passes it is cut there.
    const RequestFrame full = BuildCredentialsSaveFrame(0, std::wstring(70, L'u'), std::wstring(64, L'p'));
    ASSERT_EQ(full.size(), 270u);
    EXPECT_EQ(full[10 + 2 * 63], 'u');
    EXPECT_EQ(full[10 + 2 * 64], 0);
    EXPECT_EQ(full[140 + 2 * 63], 'p');
    EXPECT_EQ(full[140 + 2 * 64], 0);
}

TEST(ConnectRepliesTest, OnlyAWholeAnswerToTheRequestCounts) {
    struct Case {
        const char* Name;
        std::vector<uint8_t> Frame; // empty: the request failed
        bool ConnectRefused;
        bool DisconnectRefused;
        CredentialsSaveOutcome Save;
    };
    using S = CredentialsSaveOutcome;
    const Case cases[] = {
        {"no reply", {}, false, false, S::Ignored},
        {"connect ok", {0x81, 0, 0, 5, 0, 0, 0, 0, 2}, false, false, S::Ignored},
        {"connect refused", {0x81, 0, 0, 5, 0, 0, 0, 5, 2}, true, false, S::Ignored},
        {"disconnect refused", {0x82, 0, 0, 5, 0, 0, 0x04, 0x5D, 2}, false, true, S::Ignored},
        {"disconnect ok", {0x82, 0, 0, 5, 0, 0, 0, 0, 2}, false, false, S::Ignored},
        {"item 25 saved", {0x91, 0, 0, 5, 0, 0, 0, 0, 25}, false, false, S::Saved},
        {"item 25 refused", {0x91, 0, 0, 5, 0, 0, 0, 87, 25}, false, false, S::Refused},
        {"head lies about its length", {0x81, 0, 0, 9, 0, 0, 0, 5, 2}, false, false, S::Ignored},
        {"no ResultCode", {0x91, 0, 0, 1, 0}, false, false, S::Ignored},
    };
    for (const Case& c : cases) {
        const uint32_t length = c.Frame.empty() ? 0 : uint32_t(c.Frame.size() - 4);
        const uint8_t* frame = c.Frame.empty() ? nullptr : c.Frame.data();
        EXPECT_EQ(IsRefusedReply(CMD_CONNECT, length, frame), c.ConnectRefused) << c.Name;
        EXPECT_EQ(IsRefusedReply(CMD_DISCONNECT, length, frame), c.DisconnectRefused) << c.Name;
        EXPECT_EQ(ClassifyCredentialsSaveReply(length, frame), c.Save) << c.Name;
    }
}

TEST(CredentialsTest, TheSaveBoxOpensTickedWhenEitherCredentialIsStored) {
    EXPECT_EQ(InitialSaveCredentials(L"", L""), 0);
    EXPECT_EQ(InitialSaveCredentials(L"u", L""), 1);
    EXPECT_EQ(InitialSaveCredentials(L"", L"p"), 1);
}

} // namespace
} // namespace corvel
