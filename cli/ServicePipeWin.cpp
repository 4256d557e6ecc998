#include "ServicePipeWin.h"

#include "PipeClientOpen.h"
#include "PipeIo.h"

namespace corvel::cli {

uint32_t CWin32ServicePipe::TransactRequest(const RequestFrame& request, size_t replyCapacity,
                                            std::vector<uint8_t>& reply) {
    reply.clear();
    if (request.size() > MAXDWORD || replyCapacity > MAXDWORD)
        return ERROR_INVALID_PARAMETER;
    CPipeIo io(m_pipe.get(), m_timeoutMs);
    if (const DWORD written = io.WriteAll(request.data(), DWORD(request.size())))
        return written;
    if (replyCapacity == 0)
        return 0;
    io.RestartDeadline(m_timeoutMs);
    reply.resize(replyCapacity);
    DWORD got = 0;
    DWORD result = io.ReadSome(reply.data(), DWORD(replyCapacity), got);
    // A message longer than the buffer: what came is the reply, as a byte read would give it.
    if (result == ERROR_MORE_DATA)
        result = 0;
    reply.resize(result == 0 ? got : 0);
    return result;
}

uint32_t OpenConsoleServicePipe(std::unique_ptr<CServicePipe>& pipe) {
    UniqueFile handle;
    if (const DWORD opened =
            OpenPipeClient(kServicePipeName, GENERIC_READ | GENERIC_WRITE, ConsolePipePolicy(), handle))
        return opened;
    pipe = std::make_unique<CWin32ServicePipe>(std::move(handle));
    return 0;
}

uint32_t OpenTrayProgramMutex() {
    const UniqueHandle<> mutex(::OpenMutexW(MUTEX_ALL_ACCESS, FALSE, kGuiMutexName));
    return mutex ? 0 : LastErrorOr1359();
}

} // namespace corvel::cli
