#include "InnerCommand.h"

#include "ByteOrder.h"
#include "GuiForwarder.h"
#include "PipeIo.h"
#include "Protocol.h"

#include <cstring>
#include <new>
#include <vector>

namespace corvel {

DWORD CInnerCommand::Execute(CPipeIo& io, uint32_t commandId, uint32_t dataLength, const uint8_t* data) {
    m_io = &io;
    m_hPipe = io.Pipe();
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

    // What the request left of the deadline, from now: the command's work was not the client's.
    m_io->ResumeDeadline();
    const DWORD written = m_io->WriteAll(reply.data(), DWORD(reply.size()));
    // The flush runs whatever the write gave; without it the disconnect that follows
    // would throw away a reply the client has not read yet. It has what is left of the
    // same deadline: a write that took it all leaves nothing to wait for.
    m_io->WaitForClientClose();
    return written;
}

void CInnerCommand::ForwardToGui(const uint8_t* message, DWORD length) const {
    corvel::ForwardToGui(message, length, m_io->AbortEvent(), m_io->Event());
}

} // namespace corvel
