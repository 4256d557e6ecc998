#include "DisconnectReply.h"

#include "Protocol.h"
#include "Replies.h"

namespace corvel {

DisconnectOutcome ClassifyDisconnectReply(uint32_t dataLength, const uint8_t* frame) {
    if (!frame || dataLength == 0)
        return DisconnectOutcome::Failed;
    ReplyView reply;
    if (ParseReply(frame, size_t(CommandHeader::kSize) + dataLength, CMD_DISCONNECT, reply) != 0)
        return DisconnectOutcome::Failed;
    return reply.ResultCode == 0 ? DisconnectOutcome::Disconnected : DisconnectOutcome::Failed;
}

} // namespace corvel
