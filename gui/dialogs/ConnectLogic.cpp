#include "ConnectLogic.h"

#include "ConfigItems.h"
#include "FixedString.h"
#include "PipeReply.h"
#include "Protocol.h"
#include "Records.h"
#include "Replies.h"
#include "SettingValues.h"

namespace corvel {

CPressDecision DecideConnectPress(bool up, bool modified, CPressQuestions& questions) {
    CPressDecision decision;
    if (up) {
        decision.Action = PressAction::Disconnect;
        decision.ReleaseHold = false;
        return decision;
    }
    if (modified) {
        if (!questions.AskSaveFirst())
            return decision;
        // Whatever stopped the save has been told already; dialling a record the user was
        // just told is not saved would be worse than saying nothing more.
        if (!questions.SaveAll())
            return decision;
    } else if (!questions.EveryKeyConfirmed()) {
        decision.BoxTextId = kTextPressKeyMismatch;
        return decision;
    }
    if (!questions.HasServer()) {
        decision.BoxTextId = kTextNoServer;
        return decision;
    }
    decision.Action = PressAction::Connect;
    decision.ReleaseHold = false;
    decision.AfterSave = modified;
    return decision;
}

CConnectingEnd DecideConnectingEnd(bool cancelled, bool quitRequested) {
    CConnectingEnd end;
    end.Abort = cancelled;
    end.MarkDown = quitRequested;
    end.PostQuit = quitRequested;
    return end;
}

CConnectingStep DecideConnectingStep(uint8_t connectState, ConnectingEvent event) {
    CConnectingStep step;
    step.NextState = connectState;
    const bool stillOpen = connectState != kConnectStateFailed;
    switch (event) {
    case ConnectingEvent::Progress:
        step.AdvanceProgress = true;
        break;
    case ConnectingEvent::Connected:
        // A repeated connected notification must not start a second pause.
        if (connectState != kConnectStateConnected) {
            step.ShowSuccess = true;
            step.NextState = kConnectStateConnected;
        }
        break;
    case ConnectingEvent::Down:
    case ConnectingEvent::RasError:
        // The state 0 that the service sends after a RAS error or a failure finds state 0: no
        // second box.
        if (stillOpen) {
            (event == ConnectingEvent::Down ? step.ShowFailureBox : step.ShowRasErrorBox) = true;
            step.Close = true;
            step.NextState = kConnectStateFailed;
        }
        break;
    case ConnectingEvent::QuitNotice:
        // Nothing waits for the user: a box or dialog it runs goes with it.
        step.CloseCaptionedWindow = true;
        step.EndModalChild = true;
        step.SetQuitRequested = true;
        step.Close = true;
        break;
    case ConnectingEvent::ConnectRefused:
        step.ShowFailureBox = true;
        step.Close = true;
        break;
    case ConnectingEvent::Cancel:
        step.End = true;
        step.SetCancelled = connectState != kConnectStateConnected;
        break;
    }
    return step;
}

bool IsRefusedReply(uint8_t commandId, uint32_t dataLength, const uint8_t* frame) {
    ReplyView reply;
    return ReadPipeReply(commandId, dataLength, frame, reply) && reply.ResultCode != ResultCode::Success;
}

CredentialsSaveOutcome ClassifyCredentialsSaveReply(uint32_t dataLength, const uint8_t* frame) {
    ReplyView reply;
    if (!ReadPipeReply(CMD_SAVE_CONFIG, dataLength, frame, reply))
        return CredentialsSaveOutcome::Ignored;
    return reply.ResultCode == ResultCode::Success ? CredentialsSaveOutcome::Saved
                                                   : CredentialsSaveOutcome::Refused;
}

RequestFrame BuildCredentialsSaveFrame(uint8_t vpnIndex, std::wstring_view userName,
                                       std::wstring_view password) {
    std::u16string pass = Utf16FromWide(password);
    RequestFrame frame = BuildCredentialsSaveRequest(vpnIndex, Utf16FromWide(userName), pass);
    WipeBytes(pass.data(), pass.size() * sizeof(char16_t));
    return frame;
}

RequestFrame BuildConnectFrame(uint8_t vpnIndex, std::wstring_view userName, std::wstring_view password) {
    std::u16string pass = Utf16FromWide(password);
    RequestFrame frame = BuildGuiConnectRequest(vpnIndex, Utf16FromWide(userName), pass);
    WipeBytes(pass.data(), pass.size() * sizeof(char16_t));
    return frame;
}

} // namespace corvel
