#include "PipeService.h"

#include "ByteOrder.h"
#include "ConfigItems.h"
#include "Protocol.h"
#include "Requests.h"

#include <algorithm>

namespace corvel {

int CPipeService::Open() {
    if (m_pipe)
        return 1;
    return OpenServicePipe(m_pipe) == 0 ? 1 : 0;
}

DWORD CPipeService::Write(const uint8_t* buffer, DWORD size) {
    if (!m_pipe)
        return ERROR_INVALID_HANDLE;
    CPipeIo io(m_pipe.get(), m_timeoutMs);
    return io.WriteAll(buffer, size);
}

DWORD CPipeService::Read(uint8_t* buffer, DWORD capacity) {
    if (!m_pipe)
        return ERROR_INVALID_HANDLE;
    CPipeIo io(m_pipe.get(), m_timeoutMs);
    uint8_t head[CommandHeader::kSize];
    DWORD got = 0;
    DWORD error = io.ReadExact(head, sizeof head, got);
    if (error != 0)
        return error;
    const uint32_t dataLength = ReadBe24(head + 1);
    if (capacity < CommandHeader::kSize || capacity - CommandHeader::kSize < dataLength)
        return 1;
    std::copy(head, head + sizeof head, buffer);
    return io.ReadExact(buffer + CommandHeader::kSize, dataLength, got);
}

int CPipeService::Close() {
    if (!m_pipe)
        return 1;
    if (!::CloseHandle(m_pipe.get()))
        return 0;
    (void)m_pipe.release();
    return 1;
}

bool ProbeService(DWORD timeoutMs) {
    const RequestFrame probe = BuildProbeRequest();
    CPipeService service(timeoutMs);
    service.Open();
    // A failed Open makes the Write fail.
    const DWORD written = service.Write(probe.data(), static_cast<DWORD>(probe.size()));
    DWORD read = 1;
    if (written == 0) {
        uint8_t reply[PROBE_REPLY_CAPACITY];
        read = service.Read(reply, sizeof reply);
    }
    service.Close();
    return written == 0 && read == 0;
}

} // namespace corvel
