#pragma once
// Reading and executing one request of "\\.\pipe\corvelservice" on a worker that has a
// client connected. The service host (CSvcMain) derives from this, so its operations are
// CSvcMain::ReadCommand and so on.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>

namespace corvel {

class CInnerCommand;

class CCommandReader {
public:
    // 0 after start-up, 1 from the first STOP or SHUTDOWN on. Written by the control
    // handler, read by every worker once per request, after the head.
    static std::atomic<LONG> Stopping;

    // Reads and executes one request; every outcome stays inside. The pipe must have been
    // opened with FILE_FLAG_OVERLAPPED; stopEvent (may be null) ends every wait at once.
    static void ReadCommand(HANDLE pipe, HANDLE stopEvent = nullptr);

    // 0; 259 when the client closed before sending a byte; 24 for 1 to 3 bytes; or the
    // read's error (258 when the deadline passed).
    static DWORD ReadHeader(HANDLE pipe, uint8_t& commandId, uint32_t& dataLength,
                            HANDLE stopEvent = nullptr);

    // The command object of a command byte; null for a byte outside the table or when
    // there is no memory.
    static std::unique_ptr<CInnerCommand> CreateCommand(uint8_t commandId);

    // 22 for a command byte outside the table (no reply). The reply (write and the wait for
    // the client to take it) is bounded by replyTimeoutMs (0xFFFFFFFF: the worker bound).
    static DWORD ExecuteCommand(HANDLE pipe, uint8_t commandId, uint32_t dataLength, const uint8_t* data,
                                HANDLE stopEvent = nullptr, DWORD replyTimeoutMs = 0xFFFFFFFF);
};

} // namespace corvel
