#pragma once
// The one way a window reads what its WM_PIPE_REPLY carries: the reply parser over the frame
// the pipe thread hands over. The frame lives only while WM_PIPE_REPLY is being handled, so the
// view's payload must be used (or copied) before the handler returns.
#include "Replies.h"

#include <cstdint>

namespace corvel {

// `dataLength` and `frame` as WM_PIPE_REPLY carries them (the frame is 4 + dataLength bytes;
// 0 and null when the request failed). True when the frame is a whole, consistent reply to
// `commandId`; false for no reply at all, a short frame or another command's reply.
bool ReadPipeReply(uint8_t commandId, uint32_t dataLength, const uint8_t* frame, ReplyView& reply);

} // namespace corvel
