#include "CommandReader.h"

#include "ByteOrder.h"
#include "CommandObjects.h"
#include "Handles.h"
#include "Protocol.h"

#include <new>
#include <vector>

namespace corvel {

std::atomic<LONG> CCommandReader::Stopping{0};

namespace {

std::atomic<DWORD> g_timeoutMs{kPipeIoTimeoutMs};

// DATA grows as it arrives, so an announced length pins no memory that was never sent.
constexpr DWORD kDataChunk = 64 * 1024;

DWORD ReadData(CPipeIo& io, std::vector<uint8_t>& data, uint32_t length) {
    data.clear();
    while (data.size() < length) {
        const size_t have = data.size();
        const DWORD chunk = DWORD(length - have < kDataChunk ? length - have : kDataChunk);
        try {
            data.resize(have + chunk);
        } catch (const std::bad_alloc&) {
            return ERROR_OUTOFMEMORY;
        }
        DWORD got = 0;
        const DWORD e = io.ReadExact(data.data() + have, chunk, got);
        data.resize(have + got);
        if (e != 0)
            return got == 0 && have == 0 && e != ERROR_BROKEN_PIPE ? e : DWORD(ERROR_BAD_LENGTH);
    }
    return 0;
}

} // namespace

DWORD PipeIoTimeoutMs() {
    return g_timeoutMs;
}
void SetPipeIoTimeoutMs(DWORD milliseconds) {
    g_timeoutMs = milliseconds;
}

DWORD CCommandReader::ReadHeader(CPipeIo& io, uint8_t& commandId, uint32_t& dataLength) {
    uint8_t head[CommandHeader::kSize] = {};
    DWORD got = 0;
    const DWORD e = io.ReadExact(head, sizeof head, got);
    if (e != 0)
        return got == 0 ? (e == ERROR_BROKEN_PIPE || e == ERROR_HANDLE_EOF ? DWORD(ERROR_NO_MORE_ITEMS) : e)
                        : DWORD(ERROR_BAD_LENGTH);
    const CommandHeader header = CommandHeader::Read(head);
    commandId = header.CommandId;
    dataLength = header.DataLength;
    return 0;
}

std::unique_ptr<CInnerCommand> CCommandReader::CreateCommand(uint8_t commandId) {
    CInnerCommand* command = nullptr;
    switch (commandId) {
    case CMD_CONNECT:
        command = new (std::nothrow) CIncmdConnect;
        break;
    case CMD_DISCONNECT:
        command = new (std::nothrow) CIncmdDisconnect;
        break;
    case CMD_SAVE_CONFIG:
        command = new (std::nothrow) CIncmdSaveConfig;
        break;
    case CMD_LOAD_CONFIG:
        command = new (std::nothrow) CIncmdLoadConfig;
        break;
    case CMD_IMPORT:
        command = new (std::nothrow) CIncmdImport;
        break;
    case CMD_EXPORT:
        command = new (std::nothrow) CIncmdExport;
        break;
    case CMD_VPN_STATUS:
        command = new (std::nothrow) CIncmdVpnStatus;
        break;
    case CMD_RAS_ERR:
        command = new (std::nothrow) CIncmdRasErr;
        break;
    case CMD_VPN_NOTIFY:
        command = new (std::nothrow) CIncmdVpnNotify;
        break;
    case CMD_RAS_ERR_MSG:
        command = new (std::nothrow) CIncmdRasErrMsg;
        break;
    case CMD_ERR_RESTART_CHK:
        command = new (std::nothrow) IncmdErrRestartChk;
        break;
    default:
        break;
    }
    return std::unique_ptr<CInnerCommand>(command);
}

DWORD CCommandReader::ExecuteCommand(CPipeIo& io, uint8_t commandId, uint32_t dataLength,
                                     const uint8_t* data) {
    if (!FindCommand(commandId))
        return ERROR_BAD_COMMAND;
    std::unique_ptr<CInnerCommand> command = CreateCommand(commandId);
    if (!command)
        return ERROR_OUTOFMEMORY; // no reply
    return command->Execute(io, commandId, dataLength, data);
}

void CCommandReader::ReadCommand(CPipeIo& io) {
    uint8_t commandId = 0;
    uint32_t dataLength = 0;
    if (ReadHeader(io, commandId, dataLength) != 0)
        return;
    // While the service stops only the notifications of the connection engine are carried out.
    if (Stopping.load() != 0 && commandId != CMD_VPN_NOTIFY)
        return;
    std::vector<uint8_t> data;
    // DATA may carry a password: wiped however the request ends.
    const auto wipe = MakeScopeExit([&] {
        if (!data.empty())
            ::SecureZeroMemory(data.data(), data.size());
    });
    if (ReadData(io, data, dataLength) != 0)
        return;
    // The command's own work (a hang-up may take seconds) is not the client's: the reply gets
    // what the request left of the deadline.
    io.PauseDeadline();
    static const uint8_t kNoData = 0;
    ExecuteCommand(io, commandId, dataLength, data.empty() ? &kNoData : data.data());
}

void CCommandReader::ServeConnection(CPipeIo& io) {
    if (io.Connect() != 0)
        return;
    // One deadline for the client's whole request, its reply included: a client that trickles
    // bytes or never reads its reply cannot hold the worker longer than one that sends nothing.
    io.RestartDeadline(PipeIoTimeoutMs());
    ReadCommand(io);
    ::DisconnectNamedPipe(io.Pipe());
}

} // namespace corvel
