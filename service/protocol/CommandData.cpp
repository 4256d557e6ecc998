#include "CommandData.h"

#include "ByteOrder.h"
#include "ConfigItems.h"

#include <new>

namespace corvel {

namespace {

// UTF-16LE bytes (an even count) up to the first terminator among them.
std::u16string DecodeString(const uint8_t* p, uint32_t byteCount) {
    size_t chars = byteCount / 2;
    size_t n = 0;
    while (n < chars && ReadLe16(p + 2 * n) != 0)
        ++n;
    std::u16string s(n, u'\0');
    ReadUtf16Le(p, &s[0], n);
    return s;
}

} // namespace

uint32_t ParseConnect(const uint8_t* data, uint32_t dataLength, ConnectRequest& out) {
    out = ConnectRequest();
    if (dataLength < 10)
        return ResultCode::BadFormat;
    out.VpnIndex = data[0];
    out.ShowGui = data[1];
    if (out.VpnIndex >= kVpnIndexLimit)
        return ResultCode::InvalidParameter;
    const uint64_t userBytes = ReadBe32(data + 2);
    if (dataLength < userBytes + 10)
        return ResultCode::BadFormat;
    const uint64_t passwordBytes = ReadBe32(data + 6 + userBytes);
    if (dataLength < userBytes + passwordBytes + 10)
        return ResultCode::BadFormat;
    if (userBytes == 0 && passwordBytes != 0)
        return ResultCode::BadFormat;
    if (userBytes % 2 != 0 || passwordBytes % 2 != 0)
        return ResultCode::BadFormat;
    out.UserBytes = uint32_t(userBytes);
    out.PasswordBytes = uint32_t(passwordBytes);
    try {
        out.UserName = DecodeString(data + 6, out.UserBytes);
        out.Password = DecodeString(data + 10 + userBytes, out.PasswordBytes);
    } catch (const std::bad_alloc&) {
        out.UserName.clear();
        out.Password.clear();
        return ResultCode::OutOfMemory;
    }
    return ResultCode::Success;
}

uint32_t ParseDisconnect(const uint8_t* data, uint32_t dataLength, DisconnectRequest& out) {
    out = DisconnectRequest();
    if (dataLength == 0)
        return ResultCode::BadFormat;
    out.VpnIndex = data[0];
    if (out.VpnIndex >= kVpnIndexLimit)
        return ResultCode::InvalidParameter;
    return ResultCode::Success;
}

VPNCONFIG SaveConfigRequest::SanitizedVpnConfig() const {
    VPNCONFIG r;
    if (Item.size() == VPNCONFIG::kSize) {
        r.Read(Item.data());
        r.Sanitize();
    }
    return r;
}

AUTHINFO SaveConfigRequest::SanitizedAuthInfo() const {
    AUTHINFO r;
    if (Item.size() == AUTHINFO::kSize) {
        r.Read(Item.data());
        r.Sanitize();
    }
    return r;
}

uint32_t ParseSaveConfig(const uint8_t* data, uint32_t dataLength, SaveConfigRequest& out) {
    out = SaveConfigRequest();
    if (dataLength < 5)
        return ResultCode::BadFormat;
    out.ConfigItemId = data[0];
    if (out.ConfigItemId >= ConfigItem::kLimit)
        return ResultCode::InvalidParameter;
    const uint64_t itemLength = ReadBe32(data + 1);
    if (dataLength < itemLength + 5)
        return ResultCode::BadFormat;
    try {
        out.Item.assign(data + 5, data + 5 + itemLength);
    } catch (const std::bad_alloc&) {
        return ResultCode::OutOfMemory;
    }
    out.ItemLength = uint32_t(itemLength);
    const ConfigItemRule rule = GetConfigItemRule(out.ConfigItemId);
    if (rule.RequiredSaveLength != 0 && out.ItemLength != rule.RequiredSaveLength)
        return ResultCode::InvalidData;
    if (rule.Save == SaveAction::StoreAuthInfo && out.Item[AUTHINFO::kOffVpnIndex] >= kVpnIndexLimit)
        return ResultCode::InvalidParameter;
    return ResultCode::Success;
}

uint32_t ParseLoadConfig(const uint8_t* data, uint32_t dataLength, LoadConfigRequest& out) {
    out = LoadConfigRequest();
    if (dataLength == 0)
        return ResultCode::BadFormat;
    out.ConfigItemId = data[0];
    if (out.ConfigItemId >= ConfigItem::kLimit)
        return ResultCode::InvalidParameter;
    return ResultCode::Success;
}

uint32_t BuildLoadConfigPayload(uint8_t configItemId, const uint8_t* item, uint32_t itemLength,
                                std::vector<uint8_t>& payload) {
    try {
        payload.assign(size_t(5) + itemLength, 0);
    } catch (const std::bad_alloc&) {
        payload.clear();
        return ResultCode::OutOfMemory;
    }
    payload[0] = configItemId;
    WriteBe32(&payload[1], itemLength);
    if (itemLength != 0)
        std::copy(item, item + itemLength, payload.begin() + 5);
    return ResultCode::Success;
}

uint32_t ParseFileRequest(const uint8_t* data, uint32_t dataLength, FileRequest& out) {
    out = FileRequest();
    if (dataLength < 5)
        return ResultCode::BadFormat;
    const uint64_t pathBytes = ReadBe32(data);
    if (dataLength < pathBytes + 5)
        return ResultCode::BadFormat;
    if (pathBytes % 2 != 0)
        return ResultCode::BadFormat;
    out.PathBytes = uint32_t(pathBytes);
    out.Selection = data[4 + pathBytes];
    try {
        out.Path = DecodeString(data + 4, out.PathBytes);
    } catch (const std::bad_alloc&) {
        return ResultCode::OutOfMemory;
    }
    return ResultCode::Success;
}

uint32_t ParseVpnStatus(const uint8_t*, uint32_t) {
    return ResultCode::Success;
}

uint32_t ParseErrRestartChk(const uint8_t*, uint32_t) {
    return ResultCode::Success;
}

uint32_t ParseRasErr(const uint8_t*, uint32_t dataLength) {
    return dataLength == 0 ? ResultCode::Success : ResultCode::BadFormat;
}

std::vector<uint8_t> BuildRasErrPayload(uint32_t lastRasError) {
    std::vector<uint8_t> payload(4);
    WriteBe32(payload.data(), lastRasError);
    return payload;
}

uint32_t ParseVpnNotify(const uint8_t* data, uint32_t dataLength, VpnNotifyRequest& out) {
    out = VpnNotifyRequest();
    if (dataLength < 3)
        return ResultCode::BadFormat;
    out.VpnIndex = data[0];
    out.ConnectStatus = data[1];
    out.QuitGui = data[2];
    if (out.VpnIndex >= kVpnIndexLimit)
        return ResultCode::InvalidParameter;
    if (out.ConnectStatus >= ConnectStatus::kLimit)
        return ResultCode::InvalidParameter;
    return ResultCode::Success;
}

uint32_t ParseRasErrMsg(const uint8_t* data, uint32_t dataLength, RasErrMsgRequest& out) {
    out = RasErrMsgRequest();
    if (dataLength < 4)
        return ResultCode::BadFormat;
    out.RasError = ReadBe32(data);
    return ResultCode::Success;
}

} // namespace corvel
