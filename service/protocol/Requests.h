#pragma once
// Request frames that the clients send (CommandHeader and DATA, the whole frame). Each
// builder returns an empty frame when DATA would pass the 24-bit DataLength or memory is
// short; no builder throws. CopyRequestFrame adapts a frame to the GUI's
// ServiceRequestBuilder contract.
#include "ConfigItems.h"
#include "Protocol.h"
#include "Records.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace corvel {

using RequestFrame = std::vector<uint8_t>;

// CMD_CONNECT. Each string is sent with its terminator counted (UserBytes = 2 x characters
// + 2), as both clients do, so an empty user name is 2 bytes; text after an embedded
// terminator is not sent.
RequestFrame BuildConnectRequest(uint8_t vpnIndex, uint8_t showGui, std::u16string_view userName,
                                 std::u16string_view password);
// CMD_CONNECT as the tray program sends it: ShowGui 1, each string without its terminator
// (UserBytes = 2 x characters, 0 for an empty one, which the service reads as "none").
RequestFrame BuildGuiConnectRequest(uint8_t vpnIndex, std::u16string_view userName,
                                    std::u16string_view password);
RequestFrame BuildDisconnectRequest(uint8_t vpnIndex);
// CMD_SAVE_CONFIG of item vpnIndex (0 to 19) with the 1126-byte record: 1135 bytes.
RequestFrame BuildSaveConfigRequest(uint8_t vpnIndex, const VPNCONFIG& config);
// CMD_SAVE_CONFIG of item 25 with the 261-byte AUTHINFO: 270 bytes.
RequestFrame BuildSaveAuthInfoRequest(const AUTHINFO& authInfo);
// The same for one connection's credentials, from an AUTHINFO built fresh (every unit after a
// string's terminator is 0, so nothing of an earlier request's strings goes with it) and wiped
// once the frame holds it. The one builder of this save; the caller wipes the frame once sent.
RequestFrame BuildCredentialsSaveRequest(uint8_t vpnIndex, std::u16string_view userName,
                                         std::u16string_view password);
// CMD_SAVE_CONFIG of any item bytes.
RequestFrame BuildSaveConfigItemRequest(uint8_t configItemId, const uint8_t* item, uint32_t itemLength);
RequestFrame BuildLoadConfigRequest(uint8_t configItemId);
// CMD_LOAD_CONFIG of PROBE_ITEM: 12 00 00 01 17.
RequestFrame BuildProbeRequest();
// CMD_IMPORT or CMD_EXPORT: PathBytes, the path without terminator, Selection (0: all
// connections; k: connection k).
RequestFrame BuildFileRequest(uint8_t commandId, std::u16string_view path, uint8_t selection);
RequestFrame BuildImportRequest(std::u16string_view path, uint8_t selection);
RequestFrame BuildExportRequest(std::u16string_view path, uint8_t selection);
RequestFrame BuildVpnStatusRequest();
RequestFrame BuildRasErrRequest();
RequestFrame BuildErrRestartChkRequest();
// CMD_VPN_NOTIFY and CMD_RAS_ERR_MSG requests are VpnNotifyMessage and RasErrMsgMessage.
RequestFrame BuildVpnNotifyRequest(uint8_t vpnIndex, uint8_t connectStatus, uint8_t quitGui);
RequestFrame BuildRasErrMsgRequest(uint32_t rasError);

// A GUI request builder: it reads its data from its owner, then calls CopyRequestFrame.
using ServiceRequestBuilder = int (*)(uint32_t& size, uint8_t* buffer);

// The ServiceRequestBuilder contract: size is the buffer's capacity on entry. If the frame
// fits, it is copied, size becomes its length and the result is 1. Otherwise size becomes
// the length needed and the result is 0; an empty frame (a failed build) gives 0 with
// size 0, which the pipe thread takes as a failure.
int CopyRequestFrame(const RequestFrame& frame, uint32_t& size, uint8_t* buffer);

// Zeroes bytes that held credentials, in a way the compiler keeps although nothing reads them
// afterwards: every frame or buffer that carried a password goes through these.
void WipeBytes(void* bytes, size_t size);
void WipeFrame(RequestFrame& frame);

} // namespace corvel
