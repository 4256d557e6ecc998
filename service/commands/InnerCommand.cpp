#include "InnerCommand.h"

#include "ByteOrder.h"
#include "PipeIo.h"
#include "Protocol.h"

#include <cstring>
#include <new>
#include <vector>

namespace corvel {

DWORD CInnerCommand::Execute(HANDLE pipe, uint32_t commandId, uint32_t dataLength, const uint8_t* data) {
    m_hPipe = pipe;
    m_CommandId = commandId;
    m_DataLength = dataLength;
    m_pData = data;
    return InExecute();
}

void CInnerCommand::SetHeader(uint8_t* reply, uint32_t replyLength) const {
    reply[0] = ReplyIdOf(uint8_t(m_CommandId));
    WriteBe24(reply + 1, replyLength);
}

void CInnerCommand::SetResult(uint8_t* reply, uint32_t resultCode) {
    WriteBe32(reply + 4, resultCode);
}

DWORD CInnerCommand::Reply(uint32_t replyLength, uint32_t resultCode, const uint8_t* payload) {
    if (replyLength < 4 || replyLength > kMaxDataLength)
        return ERROR_INVALID_PARAMETER;
    std::vector<uint8_t> reply;
    try {
        reply.resize(size_t(replyLength) + 4);
    } catch (const std::bad_alloc&) {
        return ERROR_OUTOFMEMORY;
    }
    SetHeader(reply.data(), replyLength);
    SetResult(reply.data(), resultCode);
    if (payload && replyLength > 4)
        std::memcpy(reply.data() + 8, payload, replyLength - 4);

    CPipeIo io(m_hPipe, m_hAbort,
               m_replyTimeoutMs == kReplyTimeoutUnset ? PipeIoTimeoutMs() : m_replyTimeoutMs);
    const DWORD written = io.WriteAll(reply.data(), DWORD(reply.size()));
    // The flush runs whatever the write gave; without it the disconnect that follows
    // would throw away a reply the client has not read yet. It has what is left of the
    // same deadline: a write that took it all leaves nothing to wait for.
    io.WaitForClientClose();
    return written;
}

} // namespace corvel
