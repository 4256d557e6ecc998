#include "Replies.h"

#include "ByteOrder.h"

#include <algorithm>
#include <new>

namespace corvel {

uint32_t BuildReply(uint8_t commandId, uint32_t resultCode, const uint8_t* payload, size_t payloadLength,
                    std::vector<uint8_t>& reply) {
    reply.clear();
    if (payloadLength > kMaxDataLength - 4)
        return ResultCode::InvalidParameter;
    try {
        reply.assign(ReplyHeader::kSize + payloadLength, 0);
    } catch (const std::bad_alloc&) {
        return ResultCode::OutOfMemory;
    }
    ReplyHeader head;
    head.ReplyId = ReplyIdOf(commandId);
    head.DataLength = uint32_t(4 + payloadLength);
    head.ResultCode = resultCode;
    head.Write(reply.data());
    if (payloadLength != 0)
        std::copy(payload, payload + payloadLength, reply.begin() + ReplyHeader::kSize);
    return ResultCode::Success;
}

uint32_t ParseReply(const uint8_t* frame, size_t frameLength, uint8_t commandId, ReplyView& out) {
    out = ReplyView();
    if (frameLength < ReplyHeader::kSize)
        return ResultCode::BadLength;
    const ReplyHeader head = ReplyHeader::Read(frame);
    if (head.ReplyId != ReplyIdOf(commandId))
        return ResultCode::BadFormat;
    if (head.DataLength < 4 || size_t(head.DataLength) + 4 != frameLength)
        return ResultCode::BadFormat;
    out.ReplyId = head.ReplyId;
    out.DataLength = head.DataLength;
    out.ResultCode = head.ResultCode;
    out.Payload = frame + ReplyHeader::kSize;
    out.PayloadLength = head.DataLength - 4;
    return ResultCode::Success;
}

uint32_t ParseLoadConfigReply(const uint8_t* payload, uint32_t payloadLength, LoadConfigReply& out) {
    out = LoadConfigReply();
    if (payloadLength < 5)
        return ResultCode::BadFormat;
    const uint32_t itemLength = ReadBe32(payload + 1);
    if (uint64_t(itemLength) + 5 != payloadLength)
        return ResultCode::BadFormat;
    out.ConfigItemId = payload[0];
    out.ItemLength = itemLength;
    out.Item = payload + 5;
    return ResultCode::Success;
}

uint32_t ParseVpnStatusReply(const uint8_t* payload, uint32_t payloadLength, uint8_t states[20]) {
    if (payloadLength != kVpnIndexLimit)
        return ResultCode::BadFormat;
    std::copy(payload, payload + kVpnIndexLimit, states);
    return ResultCode::Success;
}

uint32_t ParseRasErrReply(const uint8_t* payload, uint32_t payloadLength, uint32_t& lastRasError) {
    if (payloadLength != 4)
        return ResultCode::BadFormat;
    lastRasError = ReadBe32(payload);
    return ResultCode::Success;
}

uint32_t ParseEchoReply(const uint8_t* payload, uint32_t payloadLength, uint8_t& echo) {
    if (payloadLength != 1)
        return ResultCode::BadFormat;
    echo = payload[0];
    return ResultCode::Success;
}

} // namespace corvel
