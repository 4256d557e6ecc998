#include "Protocol.h"

#include "ByteOrder.h"
#include "ConfigItems.h"
#include "Records.h"

namespace corvel {

CommandHeader CommandHeader::Read(const uint8_t* p) {
    CommandHeader h;
    h.CommandId = p[0];
    h.DataLength = ReadBe24(p + 1);
    return h;
}

void CommandHeader::Write(uint8_t* p) const {
    p[0] = CommandId;
    WriteBe24(p + 1, DataLength);
}

ReplyHeader ReplyHeader::Read(const uint8_t* p) {
    ReplyHeader h;
    h.ReplyId = p[0];
    h.DataLength = ReadBe24(p + 1);
    h.ResultCode = ReadBe32(p + 4);
    return h;
}

void ReplyHeader::Write(uint8_t* p) const {
    p[0] = ReplyId;
    WriteBe24(p + 1, DataLength);
    WriteBe32(p + 4, ResultCode);
}

namespace {

constexpr CommandInfo kCommands[] = {
    {CMD_CONNECT, "CMD_CONNECT", "CIncmdConnect", true},
    {CMD_DISCONNECT, "CMD_DISCONNECT", "CIncmdDisconnect", true},
    {CMD_SAVE_CONFIG, "CMD_SAVE_CONFIG", "CIncmdSaveConfig", true},
    {CMD_LOAD_CONFIG, "CMD_LOAD_CONFIG", "CIncmdLoadConfig", true},
    {CMD_IMPORT, "CMD_IMPORT", "CIncmdImport", true},
    {CMD_EXPORT, "CMD_EXPORT", "CIncmdExport", true},
    {CMD_VPN_STATUS, "CMD_VPN_STATUS", "CIncmdVpnStatus", true},
    {CMD_RAS_ERR, "CMD_RAS_ERR", "CIncmdRasErr", true},
    {CMD_VPN_NOTIFY, "CMD_VPN_NOTIFY", "CIncmdVpnNotify", false},
    {CMD_RAS_ERR_MSG, "CMD_RAS_ERR_MSG", "CIncmdRasErrMsg", false},
    {CMD_ERR_RESTART_CHK, "CMD_ERR_RESTART_CHK", "IncmdErrRestartChk", true},
};

} // namespace

const CommandInfo* FindCommand(uint8_t commandId) {
    for (const CommandInfo& c : kCommands)
        if (c.CommandId == commandId)
            return &c;
    return nullptr;
}

ConfigItemRule GetConfigItemRule(uint8_t itemId) {
    if (IsVpnConfigItem(itemId))
        return {SaveAction::StoreVpnConfig, uint32_t(VPNCONFIG::kSize), LoadAction::VpnConfig,
                uint32_t(VPNCONFIG::kSize)};
    switch (itemId) {
    case ConfigItem::LogInfo:
        return {SaveAction::Ignore, 0, LoadAction::LogInfo, uint32_t(LogInfo::kSize)};
    case ConfigItem::AuthInfo:
        return {SaveAction::StoreAuthInfo, uint32_t(AUTHINFO::kSize), LoadAction::Empty, 0};
    default: // 20, 21, 23 (PROBE_ITEM), 24: reserved, answered like item 20
        return {SaveAction::Ignore, 0, LoadAction::Empty, 0};
    }
}

} // namespace corvel
