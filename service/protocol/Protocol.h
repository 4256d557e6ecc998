#pragma once
// Frames of the command pipe and the notification pipe: the command and reply heads,
// command and reply ids, result codes and connection states. Frame integers are
// big-endian; the records inside DATA keep their own little-endian layout (Records.h).
#include <cstddef>
#include <cstdint>

namespace corvel {

constexpr uint8_t CMD_CONNECT = 0x01;
constexpr uint8_t CMD_DISCONNECT = 0x02;
constexpr uint8_t CMD_SAVE_CONFIG = 0x11;
constexpr uint8_t CMD_LOAD_CONFIG = 0x12;
constexpr uint8_t CMD_IMPORT = 0x21;
constexpr uint8_t CMD_EXPORT = 0x22;
constexpr uint8_t CMD_VPN_STATUS = 0x31;
constexpr uint8_t CMD_RAS_ERR = 0x32;
constexpr uint8_t CMD_VPN_NOTIFY = 0x41;  // no reply; forwarded as VpnNotifyMessage
constexpr uint8_t CMD_RAS_ERR_MSG = 0x44; // no reply; forwarded as RasErrMsgMessage
constexpr uint8_t CMD_ERR_RESTART_CHK = 0xC1;

constexpr uint8_t REPLY_FLAG = 0x80;

// The reply id wraps modulo 256: CMD_ERR_RESTART_CHK 0xC1 is answered 0x41.
constexpr uint8_t ReplyIdOf(uint8_t commandId) {
    return uint8_t(commandId + REPLY_FLAG);
}

constexpr uint8_t REPLY_CONNECT = ReplyIdOf(CMD_CONNECT);                 // 0x81
constexpr uint8_t REPLY_DISCONNECT = ReplyIdOf(CMD_DISCONNECT);           // 0x82
constexpr uint8_t REPLY_SAVE_CONFIG = ReplyIdOf(CMD_SAVE_CONFIG);         // 0x91
constexpr uint8_t REPLY_LOAD_CONFIG = ReplyIdOf(CMD_LOAD_CONFIG);         // 0x92
constexpr uint8_t REPLY_IMPORT = ReplyIdOf(CMD_IMPORT);                   // 0xA1
constexpr uint8_t REPLY_EXPORT = ReplyIdOf(CMD_EXPORT);                   // 0xA2
constexpr uint8_t REPLY_VPN_STATUS = ReplyIdOf(CMD_VPN_STATUS);           // 0xB1
constexpr uint8_t REPLY_RAS_ERR = ReplyIdOf(CMD_RAS_ERR);                 // 0xB2
constexpr uint8_t REPLY_ERR_RESTART_CHK = ReplyIdOf(CMD_ERR_RESTART_CHK); // 0x41

// Win32 error codes as the protocol uses them (named here so that this header needs no
// windows.h; the values are Windows' own).
namespace ResultCode {
constexpr uint32_t Success = 0;
constexpr uint32_t AccessDenied = 5; // the connection concerned is not disconnected
constexpr uint32_t BadFormat = 11;   // DATA too short, inconsistent lengths
constexpr uint32_t InvalidData = 13; // a setting item or file of the wrong size
constexpr uint32_t OutOfMemory = 14;
constexpr uint32_t BadCommand = 22;           // command byte outside the table (never sent)
constexpr uint32_t BadLength = 24;            // a short read or a reply of the wrong size
constexpr uint32_t InvalidParameter = 87;     // VpnIndex, ConfigItemId or ConnectStatus out of range
constexpr uint32_t NoMoreItems = 259;         // a read of 0 bytes
constexpr uint32_t AlreadyInitialized = 1247; // CMD_CONNECT while a connection is active
constexpr uint32_t AlreadyThread = 1281;      // the connection thread did not start
constexpr uint32_t InternalError = 1359;
constexpr uint32_t NotConnected = 2250; // CMD_DISCONNECT with nothing to end
} // namespace ResultCode

// ConnectStatus: one byte per connection.
namespace ConnectStatus {
constexpr uint8_t Disconnected = 0;
constexpr uint8_t Connected = 1;
constexpr uint8_t Connecting = 2;
constexpr uint8_t kLimit = 3; // 3 or more is out of range
} // namespace ConnectStatus

constexpr uint8_t kVpnIndexLimit = 20;        // VpnIndex 0 to 19
constexpr uint8_t kNoVpnIndex = 255;          // CMD_CONNECT's echo when DATA is too short
constexpr uint32_t kMaxDataLength = 0xFFFFFF; // DataLength is 24 bits

struct CommandHeader {
    static constexpr size_t kSize = 4;
    uint8_t CommandId = 0;
    uint32_t DataLength = 0; // DATA bytes that follow, 24 bits

    static CommandHeader Read(const uint8_t* p); // p holds kSize bytes
    void Write(uint8_t* p) const;                // DataLength above 24 bits is cut: check first
};

struct ReplyHeader {
    static constexpr size_t kSize = 8;
    uint8_t ReplyId = 0;
    uint32_t DataLength = 0; // 4 + payload length, 24 bits
    uint32_t ResultCode = 0;

    static ReplyHeader Read(const uint8_t* p);
    void Write(uint8_t* p) const;
};

// One row of the command table.
struct CommandInfo {
    uint8_t CommandId;
    const char* Name;         // "CMD_CONNECT"
    const char* ServiceClass; // "CIncmdConnect"
    bool HasReply;
};

// The row of a command byte; nullptr for a byte outside the table, which the service
// drops without a reply.
const CommandInfo* FindCommand(uint8_t commandId);

} // namespace corvel
