#include "Notifications.h"

#include "ByteOrder.h"

namespace corvel {

std::array<uint8_t, VpnNotifyMessage::kSize> VpnNotifyMessage::ToBytes() const {
    std::array<uint8_t, kSize> b{};
    CommandHeader{CMD_VPN_NOTIFY, 3}.Write(b.data());
    b[4] = VpnIndex;
    b[5] = ConnectStatus;
    b[6] = QuitGui;
    return b;
}

std::array<uint8_t, RasErrMsgMessage::kSize> RasErrMsgMessage::ToBytes() const {
    std::array<uint8_t, kSize> b{};
    CommandHeader{CMD_RAS_ERR_MSG, 4}.Write(b.data());
    WriteBe32(b.data() + 4, RasError);
    return b;
}

Notification ClassifyNotification(const uint8_t* bytes, size_t length) {
    Notification n;
    if (length == VpnNotifyMessage::kSize) {
        const CommandHeader head = CommandHeader::Read(bytes);
        if (head.CommandId != CMD_VPN_NOTIFY || head.DataLength != 3)
            return n;
        if (bytes[4] >= kVpnIndexLimit || bytes[5] >= ConnectStatus::kLimit)
            return n;
        n.Kind = NotificationKind::VpnState;
        n.VpnNotify.VpnIndex = bytes[4];
        n.VpnNotify.ConnectStatus = bytes[5];
        n.VpnNotify.QuitGui = bytes[6];
    } else if (length == RasErrMsgMessage::kSize && bytes[0] == CMD_RAS_ERR_MSG) {
        n.Kind = NotificationKind::RasError;
        n.RasErrMsg.RasError = ReadBe32(bytes + 4);
    }
    return n;
}

} // namespace corvel
