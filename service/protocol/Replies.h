#pragma once
// Replies: the service builds them from (command, result, payload); clients check the head
// and take the result and payload out of the received frame.
#include "Protocol.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace corvel {

// ReplyHeader (ReplyIdOf(commandId), 4 + payloadLength, resultCode) and the payload, the
// whole reply as the service writes it in one write. 87 when the payload does not fit
// the 24-bit DataLength; 14 when no memory.
uint32_t BuildReply(uint8_t commandId, uint32_t resultCode, const uint8_t* payload, size_t payloadLength,
                    std::vector<uint8_t>& reply);

// A received reply; Payload points into the frame given to ParseReply.
struct ReplyView {
    uint8_t ReplyId = 0;
    uint32_t DataLength = 0;
    uint32_t ResultCode = 0;
    const uint8_t* Payload = nullptr;
    uint32_t PayloadLength = 0;
};

// Checks a whole reply frame (head and payload) to commandId: 24 when it is shorter than
// the 8-byte head; 11 when ReplyId is not the command's, DataLength is below 4 or does not
// match the frame's length. 0 otherwise (then out.ResultCode is the service's result).
uint32_t ParseReply(const uint8_t* frame, size_t frameLength, uint8_t commandId, ReplyView& out);

// The CMD_LOAD_CONFIG reply payload.
struct LoadConfigReply {
    uint8_t ConfigItemId = 0;
    uint32_t ItemLength = 0;
    const uint8_t* Item = nullptr; // ItemLength bytes inside the payload
};

// 11 when the payload is below 5 bytes or ItemLength disagrees with its length.
uint32_t ParseLoadConfigReply(const uint8_t* payload, uint32_t payloadLength, LoadConfigReply& out);

// The CMD_VPN_STATUS reply payload: 20 ConnectStatus bytes, connection 0 first. 11 when the
// payload is not 20 bytes.
uint32_t ParseVpnStatusReply(const uint8_t* payload, uint32_t payloadLength, uint8_t states[20]);

// The CMD_RAS_ERR reply payload: LastRasError. 11 when the payload is not 4 bytes.
uint32_t ParseRasErrReply(const uint8_t* payload, uint32_t payloadLength, uint32_t& lastRasError);

// The one-byte echo of CMD_CONNECT, CMD_DISCONNECT and CMD_SAVE_CONFIG replies. 11 when the
// payload is not 1 byte.
uint32_t ParseEchoReply(const uint8_t* payload, uint32_t payloadLength, uint8_t& echo);

} // namespace corvel
