#pragma once
// The base of the command objects: one object per request, created from the command byte,
// executed once on the worker that read the request, then deleted.
#include <windows.h>

#include <cstdint>

namespace corvel {

class CInnerCommand {
public:
    CInnerCommand() = default;
    virtual ~CInnerCommand() = default;
    CInnerCommand(const CInnerCommand&) = delete;
    CInnerCommand& operator=(const CInnerCommand&) = delete;

    // data is borrowed: the reader owns it and frees it after the command.
    virtual DWORD Execute(HANDLE pipe, uint32_t commandId, uint32_t dataLength, const uint8_t* data);
    virtual DWORD InExecute() = 0;

    // The worker's stop: ends a reply write that a client does not take (may stay null).
    void SetAbortEvent(HANDLE abortEvent) { m_hAbort = abortEvent; }
    // What is left of the request's deadline for the reply: its write and the wait for the
    // client to take it share it, so a client that never reads holds the worker no longer
    // than one that sends nothing.
    void SetReplyTimeout(DWORD milliseconds) { m_replyTimeoutMs = milliseconds; }

protected:
    // replyLength is the reply's DataLength (4 + payload). One write of the whole reply,
    // then the bounded flush. 0, 14, or the write's error.
    DWORD Reply(uint32_t replyLength, uint32_t resultCode, const uint8_t* payload);
    void SetHeader(uint8_t* reply, uint32_t replyLength) const; // reply bytes 0 to 3
    static void SetResult(uint8_t* reply, uint32_t resultCode); // reply bytes 4 to 7

    HANDLE m_hPipe = nullptr;
    uint32_t m_CommandId = 0;
    uint32_t m_DataLength = 0;
    const uint8_t* m_pData = nullptr;
    HANDLE m_hAbort = nullptr;
    DWORD m_replyTimeoutMs = kReplyTimeoutUnset;

private:
    static constexpr DWORD kReplyTimeoutUnset = 0xFFFFFFFF; // the whole worker bound
};

} // namespace corvel
