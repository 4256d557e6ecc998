#pragma once
// The console client's requests to the service, one per pipe connection: the frames come from
// the protocol's builders, each reply is read with one read of its fixed size and checked here.
// The checks are this client's own, in this order, the first failure deciding: the count read
// (24), the head and echo (11), the length fields (24), then the service's ResultCode.
#include "Protocol.h"
#include "Records.h"
#include "Requests.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace corvel::cli {

class CCommandHost;

// Replies as read: exactly this many bytes or 24.
inline constexpr size_t kLoadConfigReplySize = 1139; // head, item echo, ItemLength, VPNCONFIG
inline constexpr size_t kEchoReplySize = 9;          // head and a one-byte echo
inline constexpr size_t kVpnStatusReplySize = 28;    // head and 20 states
inline constexpr size_t kRasErrReplySize = 12;       // head and LastRasError

// The pause after a state-0 notification, so that the service has ended the connection (and
// the tray program has seen its quit) before the program goes on or exits.
inline constexpr uint32_t kNotifyPauseMs = 5000;

// One open connection of the command pipe; destroying it closes the connection.
class CServicePipe {
public:
    virtual ~CServicePipe() = default;
    // One write of the whole request, then, when replyCapacity is not 0, one read of at most
    // replyCapacity bytes (never more reads: the service keeps the connection open after its
    // reply). 0 with `reply` holding what that read returned, or the write's or read's error.
    virtual uint32_t TransactRequest(const RequestFrame& request, size_t replyCapacity,
                                     std::vector<uint8_t>& reply) = 0;
};

// The reply checks, on the bytes one read returned.

// 0x92: count 1139; byte 0 0x92 and the item echo `vpnIndex`, else 11; DataLength 1135 and
// ItemLength 1126, else 24; then the ResultCode. The record of any well-formed reply is read
// into `config` and sanitized (no string field is trusted to hold its terminator).
uint32_t CheckLoadConfigReply(const uint8_t* reply, size_t count, uint8_t vpnIndex, VPNCONFIG& config);
// 0x91: count 9; byte 0 0x91 and echo 25 (bytes 1-3 are not looked at), else 11.
uint32_t CheckSaveAuthInfoReply(const uint8_t* reply, size_t count);
// 0x81: count 9; head 81 00 00 05 and echo `vpnIndex`, else 11.
uint32_t CheckConnectReply(const uint8_t* reply, size_t count, uint8_t vpnIndex);
// 0xB1: count 28; head B1 00 00 18, else 11. `states` (connection 1 first) only on 0.
uint32_t CheckVpnStatusReply(const uint8_t* reply, size_t count, uint8_t (&states)[kVpnCount]);
// 0xB2: count 12; head B2 00 00 08, else 11. `lastRasError` only on 0.
uint32_t CheckRasErrReply(const uint8_t* reply, size_t count, uint32_t& lastRasError);

// The seven requests on an open connection. Each returns 0, the pipe's error, 24, 11 or the
// service's ResultCode; an empty request frame (no memory) is 14 and nothing is written.
// Frames that carry credentials are wiped once written.

uint32_t LoadVpnConfig(CServicePipe& pipe, uint8_t vpnIndex, VPNCONFIG& config);
// The item-25 save of one connection's credentials.
uint32_t SendSaveCredentials(CServicePipe& pipe, uint8_t vpnIndex, std::u16string_view userName,
                             std::u16string_view password);
// Each string with its terminator counted: an empty user name and password make 18 bytes.
uint32_t SendConnect(CServicePipe& pipe, uint8_t vpnIndex, uint8_t showGui, std::u16string_view userName,
                     std::u16string_view password);
uint32_t QueryVpnStates(CServicePipe& pipe, uint8_t (&states)[kVpnCount]);
// The state of one connection (87 for an index outside 0 to 19, nothing sent).
uint32_t QueryVpnState(CServicePipe& pipe, uint8_t vpnIndex, uint8_t& state);
uint32_t QueryRasErr(CServicePipe& pipe, uint32_t& lastRasError);
// 41 00 00 03 vpnIndex connectStatus quitGui, no reply read. After a successful write of state 0
// it pauses kNotifyPauseMs through `host`.
uint32_t SendVpnNotify(CServicePipe& pipe, CCommandHost& host, uint8_t vpnIndex, uint8_t connectStatus,
                       uint8_t quitGui);

} // namespace corvel::cli
