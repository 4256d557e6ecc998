#pragma once
// What a connection-setting page holds between its controls and its record. The page's data
// exchange fills these members; SetSettingRecord and GetSettingRecord are the two mappings below,
// so the window only moves them to and from its controls.
#include "Records.h"
#include "WideText.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace corvel {

// Shared texts the setting page shows.
inline constexpr unsigned kTextServerAddressLabel = 210; // "IPアドレス ："
inline constexpr unsigned kTextServerHostLabel = 211;    // "ホスト名 ："
inline constexpr unsigned kTextKeyMismatch = 212;

// Each edit's maximum length (EM_LIMITTEXT and the refusal of a longer text). The host edit
// takes fewer characters than its field holds.
inline constexpr int kNameMaxChars = 32;
inline constexpr int kPreSharedKeyMaxChars = 128;
inline constexpr int kServerHostMaxChars = 120;
inline constexpr int kUserNameMaxChars = 64;
inline constexpr int kPasswordMaxChars = 64;

// The name of a record, up to its terminator or the end of its array.
std::wstring ConnectionName(const VPNCONFIG& record);
// The same, read from record `index` of the 20 consecutive record images (1126 bytes each)
// without parsing the rest.
std::wstring ConnectionNameAt(const uint8_t* records, size_t index);

enum class SettingWriteResult {
    Written,
    KeyMismatch,  // the key differs from its re-entry: show KeyMismatchText; record unchanged
    ValueTooLong, // a text does not fit its field; record unchanged
};

struct CSettingValues {
    std::wstring NameText;
    std::wstring PskText;
    std::wstring PskAgainText;
    int ServerChoice = 0;       // 0 address, any other value host name
    uint32_t ServerAddress = 0; // first octet in the highest byte, as the IP address control packs it
    std::wstring ServerHostText;
    int AuthChoice = 0; // list index; -1 none
    // Fields without a control, carried from the record back into it.
    int KeptNoDestination = 0;
    uint32_t KeptDestination = 0; // first octet in the highest byte
    int KeptPrefixIndex = 16;     // prefix length minus 8
    uint32_t KeptDnsAddress = 0;  // first octet in the highest byte; 0: no address
    int UseVpnGateway = 1;
    std::wstring UserText;
    std::wstring PasswordText;

    bool IsHostMode() const { return ServerChoice != 0; }
    // The label of the server field (210 or 211); the address control shows in address mode,
    // the host edit otherwise.
    unsigned ServerLabelTextId() const {
        return IsHostMode() ? kTextServerHostLabel : kTextServerAddressLabel;
    }

    // Two empty texts are equal.
    bool IsPreSharedKeyConfirmed() const { return PskText == PskAgainText; }
    // Host mode: a host name; address mode: an address other than 0.0.0.0.
    bool HasServerAddress() const;

    // SetSettingRecord: the record's fields into the members. The member of the other server
    // mode, and the destination fields when the record has none, keep their values.
    void LoadFromRecord(const VPNCONFIG& record);

    // GetSettingRecord after the exchange: checks the key, then writes the record. Address mode
    // writes only the 4 address bytes of Server; a zero DNS address or no destination network
    // leaves the stored bytes alone; Reserved is never touched. A text that does not fit its
    // field (a host name from a settings file, say) refuses the whole write.
    SettingWriteResult WriteToRecord(VPNCONFIG& record) const;
};

// The key-mismatch box: UiText 212, then the name the record holds before the save in
// full-width parentheses.
std::wstring KeyMismatchText(std::wstring_view text212, const VPNCONFIG& record);

} // namespace corvel
