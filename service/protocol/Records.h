#pragma once
// Connection-setting records as they lie in "corvel.dat", in settings files and inside pipe
// frames: packed, 32-bit fields little-endian, IPv4 addresses first octet first, strings
// UTF-16LE with a terminator inside their array. The structs hold typed fields; only
// Read/Write touch the byte image, each field at its own offset, never through a cast.
// Read/Write carry every byte (also behind a terminator), so a record read and written
// back is unchanged. Windows code may view the char16_t arrays as wchar_t.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvel {

constexpr size_t kVpnCount = 20; // connection settings, VpnIndex 0 to 19

struct VPNCONFIG {
    static constexpr size_t kSize = 1126;

    static constexpr size_t kNameChars = 33;
    static constexpr size_t kPreSharedKeyChars = 129;
    static constexpr size_t kServerBytes = 512;
    static constexpr size_t kServerChars = kServerBytes / 2;
    static constexpr size_t kUserNameChars = 65;
    static constexpr size_t kPasswordChars = 65;

    static constexpr size_t kOffName = 0;
    static constexpr size_t kOffPreSharedKey = 66;
    static constexpr size_t kOffServerIsIpAddress = 324;
    static constexpr size_t kOffServer = 328;
    static constexpr size_t kOffAuthProtocol = 840;
    static constexpr size_t kOffNoDestinationNetwork = 841;
    static constexpr size_t kOffDestinationNetwork = 845;
    static constexpr size_t kOffDestinationPrefixLength = 849;
    static constexpr size_t kOffDnsAddressSet = 850;
    static constexpr size_t kOffDnsAddress = 854;
    static constexpr size_t kOffUseRemoteGateway = 858;
    static constexpr size_t kOffReserved = 862;
    static constexpr size_t kOffUserName = 866;
    static constexpr size_t kOffPassword = 996;

    char16_t Name[kNameChars] = {};
    char16_t PreSharedKey[kPreSharedKeyChars] = {}; // empty: no key set for the entry
    uint32_t ServerIsIpAddress = 0;                 // not 0: Server holds an IPv4 address
    uint8_t Server[kServerBytes] = {};              // IPv4 in bytes 0-3, or a UTF-16LE host name
    uint8_t AuthProtocol = 0;                       // 0 MS-CHAP v2, 1 PAP, 2 CHAP, 3 PAP and CHAP
    uint32_t NoDestinationNetwork = 0;              // 1: no destination network
    uint8_t DestinationNetwork[4] = {};
    uint8_t DestinationPrefixLength = 0;
    uint32_t DnsAddressSet = 0;
    uint8_t DnsAddress[4] = {};
    uint32_t UseRemoteGateway = 0; // exactly 1: default gateway
    uint32_t Reserved = 0;         // carried through unchanged by every writer
    char16_t UserName[kUserNameChars] = {};
    char16_t Password[kPasswordChars] = {};

    // The record of a connection that has never been saved: "接続<index+1>",
    // ServerIsIpAddress 1, UseRemoteGateway 1, zero elsewhere.
    static VPNCONFIG Default(size_t vpnIndex);

    void Read(const uint8_t* image);  // image holds kSize bytes
    void Write(uint8_t* image) const; // writes kSize bytes
    static VPNCONFIG FromBytes(const uint8_t* image);
    std::vector<uint8_t> ToBytes() const;

    // Server as an IPv4 address: its first 4 bytes.
    void GetServerAddress(uint8_t address[4]) const;
    void SetServerAddress(const uint8_t address[4]); // the other 508 bytes are kept
    // Server as a host name (up to 255 characters; the rest is cut).
    std::u16string GetServerHostName() const;
    bool SetServerHostName(std::u16string_view name); // false when cut

    // Forces a terminator into every string field that holds none (Server's last
    // character included); for records taken from the pipe or a file. True if changed.
    bool Sanitize();

    // True when every string of the record image (kSize bytes) ends inside its array: Name,
    // PreSharedKey, UserName, Password, and Server read as a host name over all its 256
    // characters, whichever form ServerIsIpAddress names. No other field is looked at.
    // Every record the store holds passes; bytes that were never a record almost never do.
    static bool HasTerminatedStrings(const uint8_t* image);
};

struct AUTHINFO {
    static constexpr size_t kSize = 261;
    static constexpr size_t kUserNameChars = 65;
    static constexpr size_t kPasswordChars = 65;
    static constexpr size_t kOffVpnIndex = 0;
    static constexpr size_t kOffUserName = 1;
    static constexpr size_t kOffPassword = 131;

    uint8_t VpnIndex = 0;
    char16_t UserName[kUserNameChars] = {};
    char16_t Password[kPasswordChars] = {};

    void Read(const uint8_t* image);
    void Write(uint8_t* image) const;
    static AUTHINFO FromBytes(const uint8_t* image);
    std::vector<uint8_t> ToBytes() const;
    bool Sanitize();
};

struct LogInfo {
    static constexpr size_t kSize = 527;
    static constexpr size_t kLogTextChars = 263;
    static constexpr size_t kOffLogLevel = 0;
    static constexpr size_t kOffLogText = 1;

    uint8_t LogLevel = 0; // 0 or 1
    char16_t LogText[kLogTextChars] = {};

    void Read(const uint8_t* image);
    void Write(uint8_t* image) const;
    static LogInfo FromBytes(const uint8_t* image);
    std::vector<uint8_t> ToBytes() const;
    bool Sanitize();
};

// Fields common to both older forms; they differ only by the 32-bit field at 666 of the
// 1698-byte form, which the conversion drops.
struct OldVpnConfigFields {
    static constexpr size_t kNameChars = 33;
    static constexpr size_t kPreSharedKeyChars = 33;
    static constexpr size_t kServerBytes = 512;
    static constexpr size_t kUserNameChars = 256;
    static constexpr size_t kPasswordChars = 256;

    char16_t Name[kNameChars] = {};
    char16_t PreSharedKey[kPreSharedKeyChars] = {};
    uint32_t ServerIsIpAddress = 0;
    uint8_t Server[kServerBytes] = {};
    uint8_t AuthProtocol = 0;
    uint32_t NoDestinationNetwork = 0;
    uint8_t DestinationNetwork[4] = {};
    uint8_t DestinationPrefixLength = 0;
    uint32_t DnsAddressSet = 0;
    uint8_t DnsAddress[4] = {};
    uint32_t Reserved = 0;
    char16_t UserName[kUserNameChars] = {};
    char16_t Password[kPasswordChars] = {};
};

// Older form found in data files of 34453 bytes and in settings files.
struct VPNCONFIG_1694 : OldVpnConfigFields {
    static constexpr size_t kSize = 1694;
    static constexpr size_t kOffReserved = 666;
    static constexpr size_t kOffUserName = 670;
    static constexpr size_t kOffPassword = 1182;

    void Read(const uint8_t* image);
    void Write(uint8_t* image) const;

    // As VPNCONFIG::HasTerminatedStrings, over this form's arrays (kSize bytes).
    static bool HasTerminatedStrings(const uint8_t* image);
};

// Older form found in data files of 34533 bytes.
struct VPNCONFIG_1698 : OldVpnConfigFields {
    static constexpr size_t kSize = 1698;
    static constexpr size_t kOffUnconverted = 666;
    static constexpr size_t kOffReserved = 670;
    static constexpr size_t kOffUserName = 674;
    static constexpr size_t kOffPassword = 1186;

    uint32_t Unconverted = 0; // not carried into VPNCONFIG

    void Read(const uint8_t* image);
    void Write(uint8_t* image) const;
};

// Puts the credentials of an AUTHINFO into a record (item 25 of CMD_SAVE_CONFIG): each
// string up to its terminator, at most 64 characters, then a terminator.
void ApplyAuthInfo(const AUTHINFO& authInfo, VPNCONFIG& config);

// What every record form carries into a VPNCONFIG beside its strings and UseRemoteGateway:
// the 32-bit flags and Reserved, AuthProtocol, the addresses and the prefix length, and
// Server: its first 4 bytes whole (an address may hold zero bytes), then its string over the
// target's, cut to 255 characters and terminated; target characters behind the terminator
// keep what they held.
void CopyConnectionFields(const VPNCONFIG& source, VPNCONFIG& target);
void CopyConnectionFields(const OldVpnConfigFields& source, VPNCONFIG& target);

enum class OldRecordForm { Form1694, Form1698 };

constexpr size_t OldRecordSize(OldRecordForm form) {
    return form == OldRecordForm::Form1694 ? VPNCONFIG_1694::kSize : VPNCONFIG_1698::kSize;
}

// Fills target from an older record: strings up to their terminator (cut to what the
// target field holds, always terminated), CopyConnectionFields, UseRemoteGateway 1. Target
// bytes behind a copied string's terminator keep what they held.
void ConvertOldRecord(const OldVpnConfigFields& old, VPNCONFIG& target);
// The same from the byte image of an older record of the given form
// (OldRecordSize(form) bytes).
void ConvertOldRecord(const uint8_t* oldImage, OldRecordForm form, VPNCONFIG& target);

} // namespace corvel
