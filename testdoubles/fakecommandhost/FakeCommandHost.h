#pragma once
// A host for the commands' tests: a scripted service behind the pipe, the dialogs' answers and
// the mutex as data, and one log of everything done in order (requests as the service's own
// parsers read them, sleeps, dialogs). Nothing waits: the clock is virtual, moved on by the sleeps
// and by each request's round trip.
#include "CommandHost.h"

#include "ByteOrder.h"
#include "CommandData.h"
#include "FixedString.h"
#include "Replies.h"

#include <functional>
#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace corvel::cli::test {

inline std::string Narrow(std::u16string_view s) {
    return std::string(s.begin(), s.end()); // the tests use ASCII credentials
}

// The records the tests store: defaults, and connection 3 (index 2) as "office" with
// stored-user / stored-pw.
inline void StoreSampleRecords(VPNCONFIG (&records)[kVpnCount]) {
    for (size_t i = 0; i < kVpnCount; ++i)
        records[i] = VPNCONFIG::Default(i);
    CopyToFixed(records[2].Name, u"office");
    CopyToFixed(records[2].UserName, u"stored-user");
    CopyToFixed(records[2].Password, u"stored-pw");
}

class CFakeCommandHost : public CCommandHost {
public:
    // The service.
    VPNCONFIG Records[kVpnCount];
    uint32_t LoadResult = 0;
    uint32_t SaveResult = 0;
    uint32_t ConnectResult = 0;
    // The state of every connection for each status query in turn; the last one repeats.
    std::vector<std::vector<uint8_t>> StatusScript{std::vector<uint8_t>(kVpnCount, 0)};
    // When set, the states instead as the service reads them at this clock reading (the end of
    // the query's round trip).
    std::function<std::vector<uint8_t>(uint64_t nowMs)> StatusAt;
    uint32_t StatusResult = 0;
    uint32_t RasError = 0;
    uint32_t RasErrResult = 0;
    // Replies sent instead of the service's, by command byte.
    std::map<uint8_t, std::vector<uint8_t>> RawReplies;
    // The open with this number (1 for the first) fails with the error.
    std::map<int, uint32_t> OpenErrors;
    // Requests of this command byte fail in the pipe (write or read) with the error.
    std::map<uint8_t, uint32_t> TransferErrors;

    // The program's surroundings.
    uint32_t MutexResult = 2; // no tray program
    uint64_t Clock = 0;       // virtual milliseconds
    uint32_t RoundTripMs = 0; // what each request adds to the clock
    std::function<DialogEnd(CredentialsDialogData&)> Credentials = [](CredentialsDialogData&) {
        return DialogEnd::Ok;
    };
    ConnectingDialogResult Connecting{DialogEnd::Ok, 0};

    // What was done.
    std::vector<std::string> Log;
    std::vector<RequestFrame> Frames;
    std::vector<uint64_t> FrameTimes; // the clock when each frame was answered
    CredentialsDialogData CredentialsShown;
    ConnectingDialogData ConnectingShown;
    int Opens = 0;
    int OpenPipes = 0;    // connections not closed yet
    int MaxOpenPipes = 0; // most connections open at once

    // A state script where connection `vpnIndex` reads each state of `states` in turn.
    void ScriptStates(uint8_t vpnIndex, const std::vector<uint8_t>& states) {
        StatusScript.clear();
        for (uint8_t s : states) {
            std::vector<uint8_t> all(kVpnCount, 0);
            all[vpnIndex] = s;
            StatusScript.push_back(all);
        }
    }

    size_t Count(const std::string& entry) const {
        size_t n = 0;
        for (const std::string& e : Log)
            n += e == entry;
        return n;
    }

    // The log without these entries (say the mutex test and the polls' sleeps).
    std::vector<std::string> LogWithout(std::initializer_list<std::string> entries) const {
        std::vector<std::string> out;
        for (const std::string& e : Log)
            if (std::find(entries.begin(), entries.end(), e) == entries.end())
                out.push_back(e);
        return out;
    }

    uint32_t OpenServicePipe(std::unique_ptr<CServicePipe>& pipe) override {
        ++Opens;
        const auto failure = OpenErrors.find(Opens);
        if (failure != OpenErrors.end()) {
            Log.push_back("open failed " + std::to_string(failure->second));
            return failure->second;
        }
        pipe = std::make_unique<Pipe>(*this);
        return 0;
    }

    uint32_t OpenGuiMutex() override {
        Log.push_back("mutex");
        return MutexResult;
    }

    DialogEnd RunCredentialsDialog(CredentialsDialogData& data) override {
        Log.push_back("credentials dialog");
        CredentialsShown = data;
        return Credentials(data);
    }

    ConnectingDialogResult RunConnectingDialog(const ConnectingDialogData& data) override {
        Log.push_back("connecting dialog");
        ConnectingShown = data;
        return Connecting;
    }

    void Sleep(uint32_t milliseconds) override {
        Log.push_back("sleep " + std::to_string(milliseconds));
        Clock += milliseconds;
    }

    uint64_t NowMs() override { return Clock; }

private:
    class Pipe : public CServicePipe {
    public:
        explicit Pipe(CFakeCommandHost& host) : m_host(host) {
            m_host.MaxOpenPipes = std::max(m_host.MaxOpenPipes, ++m_host.OpenPipes);
        }
        ~Pipe() override { --m_host.OpenPipes; }
        uint32_t TransactRequest(const RequestFrame& request, size_t replyCapacity,
                                 std::vector<uint8_t>& reply) override {
            if (m_used)
                return 1359; // one request per connection
            m_used = true;
            return m_host.Serve(request, replyCapacity, reply);
        }

    private:
        CFakeCommandHost& m_host;
        bool m_used = false;
    };

    static std::vector<uint8_t> Reply(uint8_t commandId, uint32_t result,
                                      const std::vector<uint8_t>& payload) {
        std::vector<uint8_t> reply;
        BuildReply(commandId, result, payload.data(), payload.size(), reply);
        return reply;
    }

    std::vector<uint8_t> Answer(const RequestFrame& request) {
        const CommandHeader head = CommandHeader::Read(request.data());
        const uint8_t* data = request.data() + CommandHeader::kSize;
        const uint32_t length = uint32_t(request.size() - CommandHeader::kSize);
        switch (head.CommandId) {
        case CMD_LOAD_CONFIG: {
            LoadConfigRequest r;
            ParseLoadConfig(data, length, r);
            Log.push_back("load " + std::to_string(r.ConfigItemId));
            std::vector<uint8_t> payload;
            const std::vector<uint8_t> record = Records[r.ConfigItemId % kVpnCount].ToBytes();
            BuildLoadConfigPayload(r.ConfigItemId, record.data(), uint32_t(record.size()), payload);
            return Reply(CMD_LOAD_CONFIG, LoadResult, payload);
        }
        case CMD_SAVE_CONFIG: {
            SaveConfigRequest r;
            const uint32_t rc = ParseSaveConfig(data, length, r);
            const AUTHINFO info = r.SanitizedAuthInfo();
            Log.push_back("save " + std::to_string(r.ConfigItemId) + " " + std::to_string(info.VpnIndex) +
                          " " + Narrow(FixedToString(info.UserName)) + " " +
                          Narrow(FixedToString(info.Password)) + (rc != 0 ? " refused" : ""));
            return Reply(CMD_SAVE_CONFIG, SaveResult, {r.ConfigItemId});
        }
        case CMD_CONNECT: {
            ConnectRequest r;
            const uint32_t rc = ParseConnect(data, length, r);
            Log.push_back("connect " + std::to_string(r.VpnIndex) + " " + std::to_string(r.ShowGui) + " " +
                          Narrow(r.UserName) + " " + Narrow(r.Password) + (rc != 0 ? " refused" : ""));
            return Reply(CMD_CONNECT, ConnectResult, {r.VpnIndex});
        }
        case CMD_VPN_STATUS: {
            Log.push_back("status");
            const size_t n = std::min(m_statusQueries++, StatusScript.size() - 1);
            return Reply(CMD_VPN_STATUS, StatusResult, StatusAt ? StatusAt(Clock) : StatusScript[n]);
        }
        case CMD_RAS_ERR: {
            Log.push_back("raserr");
            std::vector<uint8_t> payload(4);
            WriteBe32(payload.data(), RasError);
            return Reply(CMD_RAS_ERR, RasErrResult, payload);
        }
        case CMD_VPN_NOTIFY: {
            VpnNotifyRequest r;
            ParseVpnNotify(data, length, r);
            Log.push_back("notify " + std::to_string(r.VpnIndex) + " " + std::to_string(r.ConnectStatus) +
                          " " + std::to_string(r.QuitGui));
            return {};
        }
        default:
            Log.push_back("unknown");
            return {};
        }
    }

    uint32_t Serve(const RequestFrame& request, size_t replyCapacity, std::vector<uint8_t>& reply) {
        Clock += RoundTripMs;
        Frames.push_back(request);
        FrameTimes.push_back(Clock);
        if (request.size() < CommandHeader::kSize) {
            Log.push_back("short frame");
            return 1359;
        }
        std::vector<uint8_t> answer = Answer(request);
        const uint8_t commandId = request[0];
        const auto failure = TransferErrors.find(commandId);
        if (failure != TransferErrors.end()) {
            Log.back() += " failed " + std::to_string(failure->second);
            return failure->second;
        }
        const auto raw = RawReplies.find(commandId);
        if (raw != RawReplies.end())
            answer = raw->second;
        // One read of at most the capacity, as the pipe gives it.
        reply.assign(answer.begin(), answer.begin() + std::min(answer.size(), replyCapacity));
        return 0;
    }

    size_t m_statusQueries = 0;
};

} // namespace corvel::cli::test
