#pragma once
// The base of the command objects: one object per request, created from the command byte,
// executed once on the worker that read the request, then deleted.
#include <windows.h>

#include <cstdint>

namespace corvel {

class CPipeIo;

class CInnerCommand {
public:
    CInnerCommand() = default;
    virtual ~CInnerCommand() = default;
    CInnerCommand(const CInnerCommand&) = delete;
    CInnerCommand& operator=(const CInnerCommand&) = delete;

    // io is the worker's connection, with the worker's stop and what is left of the request's
    // deadline (the reader pauses it while the command works); data is borrowed: the reader
    // owns it and frees it after the command.
    virtual DWORD Execute(CPipeIo& io, uint32_t commandId, uint32_t dataLength, const uint8_t* data);
    virtual DWORD InExecute() = 0;

protected:
    // replyLength is the reply's DataLength (4 + payload). One write of the whole reply, then
    // the bounded flush, both within what the request left of its deadline, which runs on from
    // here. 0, 14, or the write's error.
    DWORD Reply(uint32_t replyLength, uint32_t resultCode, const uint8_t* payload);
    void SetHeader(uint8_t* reply, uint32_t replyLength) const; // reply bytes 0 to 3
    static void SetResult(uint8_t* reply, uint32_t resultCode); // reply bytes 4 to 7
    // Forwards a message to the GUI on the worker's stop; the forward borrows the worker's
    // event, since nothing of the worker's own pipe is pending meanwhile.
    void ForwardToGui(const uint8_t* message, DWORD length) const;

    CPipeIo* m_io = nullptr;
    HANDLE m_hPipe = nullptr;
    uint32_t m_CommandId = 0;
    uint32_t m_DataLength = 0;
    const uint8_t* m_pData = nullptr;
};

} // namespace corvel
