#pragma once
// Reading and executing one request of the command pipe on a worker that has a
// client connected. The service host (CSvcMain) derives from this, so its operations are
// CSvcMain::ReadCommand and so on.
#include "PipeIo.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>

namespace corvel {

class CInnerCommand;

// The bound of one request from the client's connect to the end of its reply: its reads, the
// write and the wait for the client to take the reply.
constexpr DWORD kPipeIoTimeoutMs = 5000;

// The bound in force (kPipeIoTimeoutMs unless a test shortened it).
DWORD PipeIoTimeoutMs();
void SetPipeIoTimeoutMs(DWORD milliseconds);

class CCommandReader {
public:
    // 0 after start-up, 1 from the first STOP or SHUTDOWN on. Written by the control
    // handler, read by every worker once per request, after the head.
    static std::atomic<LONG> Stopping;

    // A worker's whole connection on io's pipe instance: waits for a client (io's abort event
    // ends the wait), starts the one deadline of the request, reads and executes it, and
    // disconnects.
    static void ServeConnection(CPipeIo& io);

    // Reads and executes one request on io, within io's deadline; every outcome stays inside.
    static void ReadCommand(CPipeIo& io);

    // 0; 259 when the client closed before sending a byte; 24 for 1 to 3 bytes; or the
    // read's error (1460 when the deadline passed, 995 at the stop).
    static DWORD ReadHeader(CPipeIo& io, uint8_t& commandId, uint32_t& dataLength);

    // The command object of a command byte; null for a byte outside the table or when
    // there is no memory.
    static std::unique_ptr<CInnerCommand> CreateCommand(uint8_t commandId);

    // 22 for a command byte outside the table (no reply). The reply goes out on io, within
    // what is left of its deadline (ReadCommand pauses it for the command's work).
    static DWORD ExecuteCommand(CPipeIo& io, uint8_t commandId, uint32_t dataLength, const uint8_t* data);
};

} // namespace corvel
