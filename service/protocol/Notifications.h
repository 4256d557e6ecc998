#pragma once
// The two notifications: written by the service's connection engine to its own command
// pipe as requests, and forwarded byte for byte to the notification pipe.
#include "Protocol.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace corvel {

struct VpnNotifyMessage {
    static constexpr size_t kSize = 7; // 41 00 00 03, VpnIndex, ConnectStatus, QuitGui
    uint8_t VpnIndex = 0;
    uint8_t ConnectStatus = 0;
    uint8_t QuitGui = 0; // nonzero with ConnectStatus 0: the GUI closes its dialogs and quits

    std::array<uint8_t, kSize> ToBytes() const;
};

struct RasErrMsgMessage {
    static constexpr size_t kSize = 8; // 44 00 00 04, RasError big-endian
    uint32_t RasError = 0;

    std::array<uint8_t, kSize> ToBytes() const;
};

enum class NotificationKind {
    None,     // posts nothing
    VpnState, // VpnNotify holds the message
    RasError, // RasErrMsg holds the message
};

struct Notification {
    NotificationKind Kind = NotificationKind::None;
    VpnNotifyMessage VpnNotify;
    RasErrMsgMessage RasErrMsg;
};

// The GUI's reading of one message from its notification pipe: exactly 7 bytes with the
// head 41 00 00 03, VpnIndex below 20 and ConnectStatus below 3 is a state; exactly 8 bytes
// with byte 0 = 0x44 (bytes 1 to 3 not examined) a RAS error; anything else is None.
Notification ClassifyNotification(const uint8_t* bytes, size_t length);

} // namespace corvel
