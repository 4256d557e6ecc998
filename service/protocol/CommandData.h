#pragma once
// DATA parsers of every command, as the service's command classes run them (AnalyzeDATA).
// Each takes the received DATA and its length, never reads past it, applies the checks in
// their fixed order and returns the ResultCode of the first that fails (0 when all pass).
// The out structure holds the reply's payload values also after a failed check.
//
// Strings in DATA are a 32-bit big-endian byte count and UTF-16LE bytes. The sender may
// count a terminator or not: a parsed string ends at its first terminator. A count that is
// odd cannot be UTF-16 and is refused with 11 (no client sends one).
#include "Protocol.h"
#include "Records.h"

#include <cstdint>
#include <string>
#include <vector>

namespace corvel {

struct ConnectRequest {
    uint8_t VpnIndex = kNoVpnIndex; // echo: 255 until DATA holds it
    uint8_t ShowGui = 0;            // 0: a GUI the service starts stays in the tray
    uint32_t UserBytes = 0;
    uint32_t PasswordBytes = 0;
    std::u16string UserName; // valid only when HasUserName()
    std::u16string Password; // valid only when HasPassword()

    // UserBytes 0 means "no user name", which is not the same as an empty one.
    bool HasUserName() const { return UserBytes != 0; }
    bool HasPassword() const { return PasswordBytes != 0; }
};

// 11 DATA below 10; 87 VpnIndex 20 or more; 11 DATA below U + 10; 11 below U + P + 10;
// 11 U = 0 with P not 0; 11 odd U or P; 14 no memory for the strings.
uint32_t ParseConnect(const uint8_t* data, uint32_t dataLength, ConnectRequest& out);

struct DisconnectRequest {
    uint8_t VpnIndex = 0; // echo: 0 when DATA is empty
};

// 11 DATA empty; 87 VpnIndex 20 or more (clients send only 0 to 19; any larger index is
// refused like CMD_CONNECT's rather than ending whatever connection is active).
uint32_t ParseDisconnect(const uint8_t* data, uint32_t dataLength, DisconnectRequest& out);

struct SaveConfigRequest {
    uint8_t ConfigItemId = 0; // echo: 0 when DATA is below 5
    uint32_t ItemLength = 0;
    std::vector<uint8_t> Item; // the record bytes as received

    // The item as a record with every string terminated (valid after a result of 0 for
    // items 0 to 19, or 25).
    VPNCONFIG SanitizedVpnConfig() const;
    AUTHINFO SanitizedAuthInfo() const;
};

// 11 DATA below 5; 87 ConfigItemId 26 or more; 11 DATA below L + 5; 14 no memory; then the
// item's own data checks: items 0-19 and 25 of the wrong length 13, an AUTHINFO VpnIndex
// of 20 or more 87. The connection-state check of items 0-19 (5) is the caller's.
uint32_t ParseSaveConfig(const uint8_t* data, uint32_t dataLength, SaveConfigRequest& out);

struct LoadConfigRequest {
    uint8_t ConfigItemId = 0; // echo: 0 when DATA is empty
};

// 11 DATA empty; 87 ConfigItemId 26 or more.
uint32_t ParseLoadConfig(const uint8_t* data, uint32_t dataLength, LoadConfigRequest& out);

// The CMD_LOAD_CONFIG reply payload: ConfigItemId, ItemLength (big-endian), the item.
// Pass no item (nullptr, 0) after a failed check. 14 when no memory.
uint32_t BuildLoadConfigPayload(uint8_t configItemId, const uint8_t* item, uint32_t itemLength,
                                std::vector<uint8_t>& payload);

struct FileRequest {
    uint32_t PathBytes = 0;
    std::u16string Path;
    uint8_t Selection = 0; // 0: all connections; k: connection k only (its range is the
                           // caller's to check)
};

// CMD_IMPORT and CMD_EXPORT: 11 DATA below 5; 11 DATA below N + 5; 11 odd N; 14 no memory.
uint32_t ParseFileRequest(const uint8_t* data, uint32_t dataLength, FileRequest& out);

// CMD_VPN_STATUS and CMD_ERR_RESTART_CHK: DATA is not looked at; always 0.
uint32_t ParseVpnStatus(const uint8_t* data, uint32_t dataLength);
uint32_t ParseErrRestartChk(const uint8_t* data, uint32_t dataLength);

// CMD_RAS_ERR: 11 unless DATA is empty.
uint32_t ParseRasErr(const uint8_t* data, uint32_t dataLength);

// The 4-byte payload of the CMD_RAS_ERR reply (zeros after a failed check).
std::vector<uint8_t> BuildRasErrPayload(uint32_t lastRasError);

struct VpnNotifyRequest {
    uint8_t VpnIndex = 0;
    uint8_t ConnectStatus = 0;
    uint8_t QuitGui = 0;
};

// CMD_VPN_NOTIFY: 11 DATA below 3; 87 VpnIndex 20 or more; 87 ConnectStatus 3 or more.
// Nonzero: no effect at all, nothing ended, nothing forwarded. Bytes after the third are
// not forwarded.
uint32_t ParseVpnNotify(const uint8_t* data, uint32_t dataLength, VpnNotifyRequest& out);

struct RasErrMsgRequest {
    uint32_t RasError = 0;
};

// CMD_RAS_ERR_MSG: 11 DATA below 4, with the same meaning as a short CMD_VPN_NOTIFY: no
// effect, nothing ended, nothing forwarded (a short message carries no error to show).
uint32_t ParseRasErrMsg(const uint8_t* data, uint32_t dataLength, RasErrMsgRequest& out);

} // namespace corvel
