#include "E2eRequests.h"

#include "Protocol.h"
#include "Records.h"
#include "Replies.h"
#include "Requests.h"

namespace corvel::e2e {

DWORD RequestResult(const CCommandClient& client, const std::vector<uint8_t>& request, uint8_t commandId,
                    uint32_t& result, std::vector<uint8_t>* payload) {
    std::vector<uint8_t> reply;
    DWORD io = client.Transact(request, reply);
    if (io != 0)
        return io;
    ReplyView view;
    io = ParseReply(reply.data(), reply.size(), commandId, view);
    if (io != 0)
        return io;
    result = view.ResultCode;
    if (payload)
        payload->assign(view.Payload, view.Payload + view.PayloadLength);
    return 0;
}

DWORD RequestVpnStatus(const CCommandClient& client, uint8_t states[20], uint32_t& result) {
    std::vector<uint8_t> payload;
    const DWORD io = RequestResult(client, BuildVpnStatusRequest(), CMD_VPN_STATUS, result, &payload);
    if (io != 0)
        return io;
    return ParseVpnStatusReply(payload.data(), uint32_t(payload.size()), states);
}

DWORD RequestLoadConfig(const CCommandClient& client, uint8_t itemId, std::vector<uint8_t>& item,
                        uint32_t& result) {
    item.clear();
    std::vector<uint8_t> payload;
    DWORD io = RequestResult(client, BuildLoadConfigRequest(itemId), CMD_LOAD_CONFIG, result, &payload);
    if (io != 0)
        return io;
    LoadConfigReply parsed;
    io = ParseLoadConfigReply(payload.data(), uint32_t(payload.size()), parsed);
    if (io != 0)
        return io;
    if (parsed.ConfigItemId != itemId)
        return ERROR_INVALID_DATA;
    item.assign(parsed.Item, parsed.Item + parsed.ItemLength);
    return 0;
}

DWORD RequestConnectionName(const CCommandClient& client, uint8_t vpnIndex, std::u16string& name,
                            uint32_t& result) {
    name.clear();
    std::vector<uint8_t> item;
    const DWORD io = RequestLoadConfig(client, vpnIndex, item, result);
    if (io != 0)
        return io;
    if (result != 0)
        return 0;
    if (item.size() != VPNCONFIG::kSize)
        return ERROR_INVALID_DATA;
    const VPNCONFIG record = VPNCONFIG::FromBytes(item.data());
    size_t n = 0;
    while (n < VPNCONFIG::kNameChars && record.Name[n])
        ++n;
    name.assign(record.Name, n);
    return 0;
}

std::wstring Wide(const std::u16string& text) {
    return std::wstring(text.begin(), text.end());
}
std::u16string U16(const std::wstring& text) {
    return std::u16string(text.begin(), text.end());
}

} // namespace corvel::e2e
