#include "Requests.h"

#include "ByteOrder.h"
#include "FixedString.h"
#include "Notifications.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace corvel {

namespace {

// A frame of the given DATA length with its head written; empty when the length passes
// 24 bits or memory is short.
RequestFrame NewFrame(uint8_t commandId, uint64_t dataLength) {
    RequestFrame frame;
    if (dataLength > kMaxDataLength)
        return frame;
    try {
        frame.assign(CommandHeader::kSize + size_t(dataLength), 0);
    } catch (const std::bad_alloc&) {
        return RequestFrame();
    }
    CommandHeader{commandId, uint32_t(dataLength)}.Write(frame.data());
    return frame;
}

// A request whose DATA is one byte (a connection index or a configuration item ID).
RequestFrame NewOneByteRequest(uint8_t commandId, uint8_t value) {
    RequestFrame frame = NewFrame(commandId, 1);
    if (!frame.empty())
        frame[CommandHeader::kSize] = value;
    return frame;
}

// CMD_SAVE_CONFIG with its item ID and ItemLength written; the item's bytes are the caller's.
RequestFrame NewSaveFrame(uint8_t configItemId, uint32_t itemLength) {
    RequestFrame frame = NewFrame(CMD_SAVE_CONFIG, uint64_t(itemLength) + 5);
    if (!frame.empty()) {
        frame[4] = configItemId;
        WriteBe32(&frame[5], itemLength);
    }
    return frame;
}

// CMD_SAVE_CONFIG of a whole record in its own layout.
template <typename Record> RequestFrame BuildSaveRecordRequest(uint8_t configItemId, const Record& record) {
    RequestFrame frame = NewSaveFrame(configItemId, uint32_t(Record::kSize));
    if (!frame.empty())
        record.Write(&frame[9]);
    return frame;
}

size_t TextLength(std::u16string_view s) {
    return FixedLength(s.data(), s.size());
}

} // namespace

RequestFrame BuildConnectRequest(uint8_t vpnIndex, uint8_t showGui, std::u16string_view userName,
                                 std::u16string_view password) {
    const uint64_t userBytes = 2 * uint64_t(TextLength(userName)) + 2;
    const uint64_t passwordBytes = 2 * uint64_t(TextLength(password)) + 2;
    RequestFrame frame = NewFrame(CMD_CONNECT, userBytes + passwordBytes + 10);
    if (frame.empty())
        return frame;
    uint8_t* p = frame.data() + CommandHeader::kSize;
    p[0] = vpnIndex;
    p[1] = showGui;
    WriteBe32(p + 2, uint32_t(userBytes));
    WriteUtf16Le(p + 6, userName.data(), size_t(userBytes / 2 - 1)); // terminator: zero already
    WriteBe32(p + 6 + userBytes, uint32_t(passwordBytes));
    WriteUtf16Le(p + 10 + userBytes, password.data(), size_t(passwordBytes / 2 - 1));
    return frame;
}

RequestFrame BuildGuiConnectRequest(uint8_t vpnIndex, std::u16string_view userName,
                                    std::u16string_view password) {
    const uint64_t userBytes = 2 * uint64_t(TextLength(userName));
    const uint64_t passwordBytes = 2 * uint64_t(TextLength(password));
    RequestFrame frame = NewFrame(CMD_CONNECT, userBytes + passwordBytes + 10);
    if (frame.empty())
        return frame;
    uint8_t* p = frame.data() + CommandHeader::kSize;
    p[0] = vpnIndex;
    p[1] = 1; // ShowGui: the tray program is the one asking
    WriteBe32(p + 2, uint32_t(userBytes));
    WriteUtf16Le(p + 6, userName.data(), size_t(userBytes / 2));
    WriteBe32(p + 6 + userBytes, uint32_t(passwordBytes));
    WriteUtf16Le(p + 10 + userBytes, password.data(), size_t(passwordBytes / 2));
    return frame;
}

RequestFrame BuildDisconnectRequest(uint8_t vpnIndex) {
    return NewOneByteRequest(CMD_DISCONNECT, vpnIndex);
}

RequestFrame BuildSaveConfigItemRequest(uint8_t configItemId, const uint8_t* item, uint32_t itemLength) {
    RequestFrame frame = NewSaveFrame(configItemId, itemLength);
    if (!frame.empty() && itemLength != 0)
        std::memcpy(&frame[9], item, itemLength);
    return frame;
}

RequestFrame BuildSaveConfigRequest(uint8_t vpnIndex, const VPNCONFIG& config) {
    return BuildSaveRecordRequest(vpnIndex, config);
}

RequestFrame BuildSaveAuthInfoRequest(const AUTHINFO& authInfo) {
    return BuildSaveRecordRequest(ConfigItem::AuthInfo, authInfo);
}

RequestFrame BuildCredentialsSaveRequest(uint8_t vpnIndex, std::u16string_view userName,
                                         std::u16string_view password) {
    AUTHINFO info;
    info.VpnIndex = vpnIndex;
    CopyToFixed(info.UserName, userName);
    CopyToFixed(info.Password, password);
    RequestFrame frame = BuildSaveAuthInfoRequest(info);
    WipeBytes(info.Password, sizeof info.Password);
    return frame;
}

RequestFrame BuildLoadConfigRequest(uint8_t configItemId) {
    return NewOneByteRequest(CMD_LOAD_CONFIG, configItemId);
}

RequestFrame BuildProbeRequest() {
    return BuildLoadConfigRequest(PROBE_ITEM);
}

RequestFrame BuildFileRequest(uint8_t commandId, std::u16string_view path, uint8_t selection) {
    const uint64_t pathBytes = 2 * uint64_t(TextLength(path));
    RequestFrame frame = NewFrame(commandId, pathBytes + 5);
    if (frame.empty())
        return frame;
    uint8_t* p = frame.data() + CommandHeader::kSize;
    WriteBe32(p, uint32_t(pathBytes));
    WriteUtf16Le(p + 4, path.data(), size_t(pathBytes / 2));
    p[4 + pathBytes] = selection;
    return frame;
}

RequestFrame BuildImportRequest(std::u16string_view path, uint8_t selection) {
    return BuildFileRequest(CMD_IMPORT, path, selection);
}

RequestFrame BuildExportRequest(std::u16string_view path, uint8_t selection) {
    return BuildFileRequest(CMD_EXPORT, path, selection);
}

RequestFrame BuildVpnStatusRequest() {
    return NewFrame(CMD_VPN_STATUS, 0);
}

RequestFrame BuildRasErrRequest() {
    return NewFrame(CMD_RAS_ERR, 0);
}

RequestFrame BuildErrRestartChkRequest() {
    return NewFrame(CMD_ERR_RESTART_CHK, 0);
}

RequestFrame BuildVpnNotifyRequest(uint8_t vpnIndex, uint8_t connectStatus, uint8_t quitGui) {
    RequestFrame frame = NewFrame(CMD_VPN_NOTIFY, 3);
    if (frame.empty())
        return frame;
    const auto bytes = VpnNotifyMessage{vpnIndex, connectStatus, quitGui}.ToBytes();
    std::copy(bytes.begin(), bytes.end(), frame.begin());
    return frame;
}

RequestFrame BuildRasErrMsgRequest(uint32_t rasError) {
    RequestFrame frame = NewFrame(CMD_RAS_ERR_MSG, 4);
    if (frame.empty())
        return frame;
    const auto bytes = RasErrMsgMessage{rasError}.ToBytes();
    std::copy(bytes.begin(), bytes.end(), frame.begin());
    return frame;
}

int CopyRequestFrame(const RequestFrame& frame, uint32_t& size, uint8_t* buffer) {
    if (frame.empty() || frame.size() > size) {
        size = uint32_t(frame.size());
        return 0;
    }
    std::memcpy(buffer, frame.data(), frame.size());
    size = uint32_t(frame.size());
    return 1;
}

void WipeBytes(void* bytes, size_t size) {
    volatile uint8_t* p = static_cast<uint8_t*>(bytes);
    for (size_t i = 0; i < size; ++i)
        p[i] = 0;
}

void WipeFrame(RequestFrame& frame) {
    WipeBytes(frame.data(), frame.size());
}

} // namespace corvel
