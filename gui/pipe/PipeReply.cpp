#include "PipeReply.h"

#include "Protocol.h"

namespace corvel {

bool ReadPipeReply(uint8_t commandId, uint32_t dataLength, const uint8_t* frame, ReplyView& reply) {
    return frame && dataLength != 0 &&
           ParseReply(frame, size_t(CommandHeader::kSize) + dataLength, commandId, reply) == 0;
}

} // namespace corvel
