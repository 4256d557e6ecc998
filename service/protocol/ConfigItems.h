#pragma once
// Setting items of CMD_SAVE_CONFIG and CMD_LOAD_CONFIG (ConfigItemId) and what a save or a
// load of each does, as data the service's commands follow.
#include <cstdint>

namespace corvel {

namespace ConfigItem {
constexpr uint8_t FirstVpnConfig = 0; // items 0 to 19: the VPNCONFIG of that connection
constexpr uint8_t LastVpnConfig = 19;
constexpr uint8_t Reserved20 = 20;
constexpr uint8_t Reserved21 = 21;
constexpr uint8_t LogInfo = 22;
constexpr uint8_t Probe = 23; // PROBE_ITEM
constexpr uint8_t Reserved24 = 24;
constexpr uint8_t AuthInfo = 25;
constexpr uint8_t kLimit = 26; // 26 or more is out of range (87)
} // namespace ConfigItem

// The item the GUI loads only to learn whether the service answers.
constexpr uint8_t PROBE_ITEM = ConfigItem::Probe;
// The probe reads at most this many reply bytes.
constexpr uint32_t PROBE_REPLY_CAPACITY = 64;

enum class SaveAction {
    StoreVpnConfig, // ItemLength must be RequiredSaveLength (13); the connection must be
                    // disconnected (5); then the store's result
    StoreAuthInfo,  // ItemLength must be RequiredSaveLength (13); VpnIndex below 20 (87);
                    // credentials replaced whatever the connection's state
    Ignore,         // nothing is stored; result 0
};

enum class LoadAction {
    VpnConfig, // the stored record, LoadLength bytes
    LogInfo,   // the stored LogInfo, LoadLength bytes
    Empty,     // ItemLength 0; result 0
};

struct ConfigItemRule {
    SaveAction Save;
    uint32_t RequiredSaveLength; // 0 when any length is accepted
    LoadAction Load;
    uint32_t LoadLength; // ItemLength of a load reply
};

// Items 21, 23 and the load of 24 answer like item 20 (nothing stored; empty load), which
// keeps the probe's reply at 9 bytes. itemId must be below ConfigItem::kLimit.
ConfigItemRule GetConfigItemRule(uint8_t itemId);

// Items 0 to 19 name a connection.
constexpr bool IsVpnConfigItem(uint8_t itemId) {
    return itemId <= ConfigItem::LastVpnConfig;
}

} // namespace corvel
