// Requests as the service reads them: a 4-byte head, then as much DATA as arrived, through
// the parser of the command byte and the reply builder. Every parser gets exactly the bytes
// that arrived (libFuzzer's buffer is exactly sized, so any over-read is reported).
#include "CommandData.h"
#include "FixedString.h"
#include "ConfigItems.h"
#include "Protocol.h"
#include "Records.h"
#include "Replies.h"

#include <cstdlib>
#include <vector>

using namespace corvel;

namespace {

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

void CheckReply(uint8_t commandId, uint32_t result, const std::vector<uint8_t>& payload) {
    std::vector<uint8_t> reply;
    Require(BuildReply(commandId, result, payload.data(), payload.size(), reply) == 0);
    ReplyView view;
    Require(ParseReply(reply.data(), reply.size(), commandId, view) == 0);
    Require(view.ResultCode == result && view.PayloadLength == payload.size());
}

void ParseData(uint8_t commandId, const uint8_t* data, uint32_t length) {
    switch (commandId) {
    case CMD_CONNECT: {
        ConnectRequest r;
        uint32_t rc = ParseConnect(data, length, r);
        if (rc == 0) {
            Require(uint64_t(r.UserBytes) + r.PasswordBytes + 10 <= length);
            Require(r.UserName.size() * 2 <= r.UserBytes && r.Password.size() * 2 <= r.PasswordBytes);
            Require(r.HasUserName() || !r.HasPassword());
        }
        CheckReply(commandId, rc, {r.VpnIndex});
        break;
    }
    case CMD_DISCONNECT: {
        DisconnectRequest r;
        uint32_t rc = ParseDisconnect(data, length, r);
        Require(rc != 0 || r.VpnIndex < kVpnIndexLimit);
        CheckReply(commandId, rc, {r.VpnIndex});
        break;
    }
    case CMD_SAVE_CONFIG: {
        SaveConfigRequest r;
        uint32_t rc = ParseSaveConfig(data, length, r);
        if (rc == 0 && r.ConfigItemId < kVpnIndexLimit) {
            VPNCONFIG config = r.SanitizedVpnConfig();
            Require(IsTerminated(config.Name, VPNCONFIG::kNameChars) &&
                    IsTerminated(config.PreSharedKey, VPNCONFIG::kPreSharedKeyChars) &&
                    IsTerminated(config.UserName, VPNCONFIG::kUserNameChars) &&
                    IsTerminated(config.Password, VPNCONFIG::kPasswordChars));
            // What the store writes back reads back the same, and an export of it imports.
            const std::vector<uint8_t> image = config.ToBytes();
            Require(VPNCONFIG::FromBytes(image.data()).ToBytes() == image);
            Require(VPNCONFIG::HasTerminatedStrings(image.data()));
        }
        if (rc == 0 && r.ConfigItemId == ConfigItem::AuthInfo) {
            AUTHINFO info = r.SanitizedAuthInfo();
            Require(info.VpnIndex < kVpnIndexLimit);
        }
        CheckReply(commandId, rc, {r.ConfigItemId});
        break;
    }
    case CMD_LOAD_CONFIG: {
        LoadConfigRequest r;
        uint32_t rc = ParseLoadConfig(data, length, r);
        std::vector<uint8_t> payload;
        Require(BuildLoadConfigPayload(r.ConfigItemId, nullptr, 0, payload) == 0);
        CheckReply(commandId, rc, payload);
        break;
    }
    case CMD_IMPORT:
    case CMD_EXPORT: {
        FileRequest r;
        uint32_t rc = ParseFileRequest(data, length, r);
        if (rc == 0) {
            Require(uint64_t(r.PathBytes) + 5 <= length && r.Path.size() * 2 <= r.PathBytes);
        }
        CheckReply(commandId, rc, {});
        break;
    }
    case CMD_VPN_STATUS:
        Require(ParseVpnStatus(data, length) == 0);
        CheckReply(commandId, 0, std::vector<uint8_t>(20, 0));
        break;
    case CMD_RAS_ERR:
        CheckReply(commandId, ParseRasErr(data, length), BuildRasErrPayload(0));
        break;
    case CMD_VPN_NOTIFY: {
        VpnNotifyRequest r;
        if (ParseVpnNotify(data, length, r) == 0) {
            Require(r.VpnIndex < kVpnIndexLimit && r.ConnectStatus < ConnectStatus::kLimit);
        }
        break;
    }
    case CMD_RAS_ERR_MSG: {
        RasErrMsgRequest r;
        ParseRasErrMsg(data, length, r);
        break;
    }
    case CMD_ERR_RESTART_CHK:
        Require(ParseErrRestartChk(data, length) == 0);
        CheckReply(commandId, 0, {});
        break;
    default:
        Require(FindCommand(commandId) == nullptr);
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    if (size < CommandHeader::kSize) {
        return 0; // the service drops a short head unread
    }
    CommandHeader head = CommandHeader::Read(bytes);
    size_t arrived = size - CommandHeader::kSize;
    // A DATA read shorter than announced drops the request; parse what a complete one holds.
    uint32_t length = uint32_t(arrived < head.DataLength ? arrived : head.DataLength);
    std::vector<uint8_t> data(bytes + CommandHeader::kSize, bytes + CommandHeader::kSize + length);
    ParseData(head.CommandId, data.data(), length);
    return 0;
}
