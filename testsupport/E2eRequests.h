#pragma once
// The requests the tests, the probe and the benchmark send most, through the protocol
// library's builders and reply parser. Each returns the transport's error (0 when a reply
// was read and parsed); `result` then holds the service's ResultCode.
#include "E2eHarness.h"

#include <cstdint>
#include <string>
#include <vector>

namespace corvel::e2e {

DWORD RequestVpnStatus(const CCommandClient& client, uint8_t states[20], uint32_t& result);
DWORD RequestLoadConfig(const CCommandClient& client, uint8_t itemId, std::vector<uint8_t>& item,
                        uint32_t& result);
// The name of a connection from its loaded record.
DWORD RequestConnectionName(const CCommandClient& client, uint8_t vpnIndex, std::u16string& name,
                            uint32_t& result);
// A request whose reply carries only a result or a one-byte echo.
DWORD RequestResult(const CCommandClient& client, const std::vector<uint8_t>& request, uint8_t commandId,
                    uint32_t& result, std::vector<uint8_t>* payload = nullptr);

std::wstring Wide(const std::u16string& text);
std::u16string U16(const std::wstring& text);

} // namespace corvel::e2e
