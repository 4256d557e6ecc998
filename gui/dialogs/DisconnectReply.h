#pragma once
// What the disconnecting dialog makes of the answer to its CMD_DISCONNECT.
#include <cstdint>

namespace corvel {

enum class DisconnectOutcome {
    Disconnected, // a 0x82 reply with ResultCode 0
    Failed,       // anything else: a refusal, no reply at all, a short or foreign frame
};

// `dataLength` and `frame` as WM_PIPE_REPLY carries them (the frame is 4 + dataLength bytes;
// 0 and null when the request failed). Every outcome ends the wait, so the dialog can close.
DisconnectOutcome ClassifyDisconnectReply(uint32_t dataLength, const uint8_t* frame);

} // namespace corvel
