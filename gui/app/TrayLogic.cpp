#include "TrayLogic.h"

#include "ByteOrder.h"
#include "PipeReply.h"
#include "Protocol.h"
#include "Records.h"

#include <algorithm>
#include <climits>
#include <iterator>
#include <cstring>
#include <cwchar>

namespace corvel {

CCommandLineOptions AnalyzeCommandLine(std::wstring_view arguments) {
    CCommandLineOptions options;
    if (arguments.find(L"vpn") == std::wstring_view::npos) {
        options.OpenSettingsWhenLoaded = true;
        return options;
    }
    options.LaunchedWithVpn = true;
    if (arguments.find(L"/hide") != std::wstring_view::npos)
        return options; // stays in the tray: no dialog, no connection taken from the line
    options.OpenSettingsWhenLoaded = true;
    for (unsigned d = kConnectionCount; d >= 1; --d) {
        const std::wstring word = L"vpn" + std::to_wstring(d);
        if (arguments.find(word) != std::wstring_view::npos) {
            options.AutoConnectIndex = static_cast<uint8_t>(d - 1);
            options.AutoConnectPending = true;
            break;
        }
    }
    return options;
}

CStartupOutcome DecideStartupOutcome(bool probeAnswered, bool serviceReady, bool serviceTimedOut,
                                     bool startupCancelled, int failureCount) {
    CStartupOutcome outcome;
    if (probeAnswered)
        return outcome;
    if (startupCancelled || (!serviceTimedOut && !serviceReady)) {
        outcome.Action = StartupAction::CloseSilently;
        return outcome;
    }
    if (serviceTimedOut) {
        outcome.Action = StartupAction::ShowFailureAndClose;
        if (failureCount >= 2) {
            outcome.TextId = kTextStartupFailedReinstall;
            outcome.CountToStore = 2;
        } else {
            outcome.TextId = kTextStartupFailedRestart;
            outcome.CountToStore = failureCount + 1;
        }
    }
    return outcome;
}

int ParseStartupFailureCount(std::string_view line) {
    size_t i = 0;
    while (i < line.size() && (line[i] == ' ' || (line[i] >= '\t' && line[i] <= '\r')))
        ++i;
    bool negative = false;
    if (i < line.size() && (line[i] == '+' || line[i] == '-')) {
        negative = line[i] == '-';
        ++i;
    }
    long long value = 0;
    for (; i < line.size() && line[i] >= '0' && line[i] <= '9'; ++i) {
        value = value * 10 + (line[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative)
        value = -value;
    if (value > INT_MAX)
        value = INT_MAX;
    return static_cast<int>(value);
}

std::string StartupFailureText(int count) {
    if (count < 0 || count > 3)
        count = 0;
    return std::string(1, static_cast<char>('0' + count));
}

std::string_view FirstLine(std::string_view content) {
    const size_t end = content.find_first_of("\r\n");
    return end == std::string_view::npos ? content : content.substr(0, end);
}

std::string ReplaceFirstLine(std::string_view content, std::string_view text) {
    std::string result(text);
    result.append(content.substr(FirstLine(content).size()));
    return result;
}

unsigned ChooseTrayIcon(uint8_t (&states)[kConnectionCount]) {
    unsigned icon = IDI_DISCONNECTED;
    for (uint8_t& state : states) {
        if (state > 2)
            state = 0;
        if (state == 1)
            icon = IDI_CONNECTED;
    }
    return icon;
}

int FindLastActiveConnection(const uint8_t (&states)[kConnectionCount]) {
    for (int i = kConnectionCount - 1; i >= 0; --i) {
        if (states[i] == 1 || states[i] == 2)
            return i;
    }
    return -1;
}

CQuitDecision DecideQuit(const uint32_t (&busyFlags)[kBusyFlagCount],
                         const uint8_t (&states)[kConnectionCount]) {
    CQuitDecision decision;
    for (uint32_t busy : busyFlags) {
        if (busy) {
            decision.Step = QuitStep::CloseDialogsOnly;
            decision.HoldUntilPressEnds = busyFlags[kBusyFlagPress] != 0;
            return decision;
        }
    }
    for (unsigned i = 0; i < kConnectionCount; ++i) {
        if (states[i] == 1) {
            decision.Step = QuitStep::AskThenDisconnect;
            decision.VpnIndex = static_cast<uint8_t>(i);
            return decision;
        }
    }
    return decision;
}

CClosableWindows DecideClosableWindows(const uint32_t (&busyFlags)[kBusyFlagCount]) {
    CClosableWindows windows;
    windows.SettingsDialog = busyFlags[kBusyFlagSettings] == 0 && busyFlags[kBusyFlagPress] == 0;
    windows.VersionBox = busyFlags[kBusyFlagVersionBox] == 0;
    return windows;
}

uint32_t StoreConnectionRecordPayload(const uint8_t* payload, uint32_t length, uint8_t* records,
                                      uint8_t& loadIndex, bool& lastStored) {
    lastStored = false;
    if (!payload || length < 1)
        return 24;
    const uint8_t item = payload[0];
    if (item >= kConnectionCount)
        return 0;
    if (length < 5 + VPNCONFIG::kSize)
        return 24;
    if (item != loadIndex || ReadBe32(payload + 1) != VPNCONFIG::kSize)
        return 87;
    std::memcpy(records + size_t(item) * VPNCONFIG::kSize, payload + 5, VPNCONFIG::kSize);
    if (++loadIndex >= kConnectionCount) {
        loadIndex = 0;
        lastStored = true;
    }
    return 0;
}

uint32_t StoreConnectionStatesPayload(const uint8_t* payload, uint32_t length, bool autoConnectPending,
                                      uint8_t autoConnectIndex, uint8_t (&states)[kConnectionCount]) {
    if (!payload || length < kConnectionCount)
        return 24;
    if (autoConnectPending) {
        if (autoConnectIndex < kConnectionCount)
            states[autoConnectIndex] = 2;
    } else {
        std::memcpy(states, payload, kConnectionCount);
    }
    return 0;
}

CFrameReplyStep CFrameReplies::OnReply(uint32_t dataLength, const uint8_t* frame) {
    CFrameReplyStep step;
    ReplyView reply;
    const uint8_t asked[] = {CMD_VPN_STATUS, CMD_LOAD_CONFIG, CMD_ERR_RESTART_CHK};
    const uint8_t* answered = std::find_if(std::begin(asked), std::end(asked), [&](uint8_t command) {
        return ReadPipeReply(command, dataLength, frame, reply);
    });
    // Below four payload bytes a reply tells the frame nothing, refused or not.
    if (answered == std::end(asked) || reply.PayloadLength < 4)
        return step;
    if (reply.ResultCode != 0) {
        step.ShowFailure = true;
        return step;
    }
    if (*answered == CMD_LOAD_CONFIG) {
        uint8_t index = LoadIndex.load();
        bool lastStored = false;
        step.ShowFailure = StoreConnectionRecordPayload(reply.Payload, reply.PayloadLength, m_records, index,
                                                        lastStored) != 0;
        LoadIndex = index;
        if (lastStored && OpenSettingsWhenLoaded) {
            step.OpenSettings = true;
            OpenSettingsWhenLoaded = false;
        }
    } else if (*answered == CMD_VPN_STATUS) {
        step.ShowFailure = StoreConnectionStatesPayload(reply.Payload, reply.PayloadLength,
                                                        AutoConnectPending, AutoConnectIndex, m_states) != 0;
        step.StatesStored = !step.ShowFailure;
    }
    return step;
}

} // namespace corvel
