#include "DisconnectReply.h"

#include "PipeReply.h"
#include "Protocol.h"

namespace corvel {

DisconnectOutcome ClassifyDisconnectReply(uint32_t dataLength, const uint8_t* frame) {
    ReplyView reply;
    if (!ReadPipeReply(CMD_DISCONNECT, dataLength, frame, reply))
        return DisconnectOutcome::Failed;
    return reply.ResultCode == 0 ? DisconnectOutcome::Disconnected : DisconnectOutcome::Failed;
}

} // namespace corvel
