#include "Records.h"

#include "ByteOrder.h"
#include "FixedString.h"

#include <cstring>

namespace corvel {

namespace {

template <size_t N> void ReadChars(const uint8_t* image, size_t offset, char16_t (&dst)[N]) {
    ReadUtf16Le(image + offset, dst, N);
}
template <size_t N> void WriteChars(uint8_t* image, size_t offset, const char16_t (&src)[N]) {
    WriteUtf16Le(image + offset, src, N);
}
template <size_t N> void ReadRaw(const uint8_t* image, size_t offset, uint8_t (&dst)[N]) {
    std::memcpy(dst, image + offset, N);
}
template <size_t N> void WriteRaw(uint8_t* image, size_t offset, const uint8_t (&src)[N]) {
    std::memcpy(image + offset, src, N);
}

// Fields that lie at the same offsets in both older forms.
void ReadOldHead(const uint8_t* image, OldVpnConfigFields& r) {
    ReadChars(image, 0, r.Name);
    ReadChars(image, 66, r.PreSharedKey);
    r.ServerIsIpAddress = ReadLe32(image + 132);
    ReadRaw(image, 136, r.Server);
    r.AuthProtocol = image[648];
    r.NoDestinationNetwork = ReadLe32(image + 649);
    ReadRaw(image, 653, r.DestinationNetwork);
    r.DestinationPrefixLength = image[657];
    r.DnsAddressSet = ReadLe32(image + 658);
    ReadRaw(image, 662, r.DnsAddress);
}
void WriteOldHead(uint8_t* image, const OldVpnConfigFields& r) {
    WriteChars(image, 0, r.Name);
    WriteChars(image, 66, r.PreSharedKey);
    WriteLe32(image + 132, r.ServerIsIpAddress);
    WriteRaw(image, 136, r.Server);
    image[648] = r.AuthProtocol;
    WriteLe32(image + 649, r.NoDestinationNetwork);
    WriteRaw(image, 653, r.DestinationNetwork);
    image[657] = r.DestinationPrefixLength;
    WriteLe32(image + 658, r.DnsAddressSet);
    WriteRaw(image, 662, r.DnsAddress);
}

// True when one of the `chars` UTF-16LE units at offset is a terminator.
bool HoldsTerminator(const uint8_t* image, size_t offset, size_t chars) {
    for (size_t i = 0; i < chars; ++i)
        if (ReadLe16(image + offset + 2 * i) == 0)
            return true;
    return false;
}

// Server's string lies over its whole 512 bytes, the address bytes included.
void ServerToChars(const uint8_t (&server)[VPNCONFIG::kServerBytes],
                   char16_t (&chars)[VPNCONFIG::kServerChars]) {
    ReadUtf16Le(server, chars, VPNCONFIG::kServerChars);
}
void CharsToServer(const char16_t (&chars)[VPNCONFIG::kServerChars],
                   uint8_t (&server)[VPNCONFIG::kServerBytes]) {
    WriteUtf16Le(server, chars, VPNCONFIG::kServerChars);
}

// Source: VPNCONFIG or OldVpnConfigFields, which name these fields alike.
template <typename Source> void CopyConnectionFieldsFrom(const Source& source, VPNCONFIG& target) {
    static_assert(sizeof source.Server == VPNCONFIG::kServerBytes, "Server field");
    target.ServerIsIpAddress = source.ServerIsIpAddress;
    target.NoDestinationNetwork = source.NoDestinationNetwork;
    target.DnsAddressSet = source.DnsAddressSet;
    target.Reserved = source.Reserved;

    // The first 4 bytes whole (an address may hold zero bytes), then the string over them.
    std::memcpy(target.Server, source.Server, 4);
    char16_t sourceChars[VPNCONFIG::kServerChars];
    char16_t chars[VPNCONFIG::kServerChars];
    ServerToChars(source.Server, sourceChars);
    ServerToChars(target.Server, chars);
    CopyToFixed(chars, sourceChars);
    CharsToServer(chars, target.Server);

    target.AuthProtocol = source.AuthProtocol;
    std::memcpy(target.DestinationNetwork, source.DestinationNetwork, 4);
    target.DestinationPrefixLength = source.DestinationPrefixLength;
    std::memcpy(target.DnsAddress, source.DnsAddress, 4);
}

} // namespace

VPNCONFIG VPNCONFIG::Default(size_t vpnIndex) {
    VPNCONFIG r;
    // "接続%d" formatted into 50 characters, then copied into the 33 of Name.
    std::u16string name = u"接続";
    for (char c : std::to_string(vpnIndex + 1))
        name.push_back(char16_t(c));
    if (name.size() > 49)
        name.resize(49);
    CopyToFixed(r.Name, name);
    r.ServerIsIpAddress = 1;
    r.UseRemoteGateway = 1;
    return r;
}

void VPNCONFIG::Read(const uint8_t* image) {
    ReadChars(image, kOffName, Name);
    ReadChars(image, kOffPreSharedKey, PreSharedKey);
    ServerIsIpAddress = ReadLe32(image + kOffServerIsIpAddress);
    ReadRaw(image, kOffServer, Server);
    AuthProtocol = image[kOffAuthProtocol];
    NoDestinationNetwork = ReadLe32(image + kOffNoDestinationNetwork);
    ReadRaw(image, kOffDestinationNetwork, DestinationNetwork);
    DestinationPrefixLength = image[kOffDestinationPrefixLength];
    DnsAddressSet = ReadLe32(image + kOffDnsAddressSet);
    ReadRaw(image, kOffDnsAddress, DnsAddress);
    UseRemoteGateway = ReadLe32(image + kOffUseRemoteGateway);
    Reserved = ReadLe32(image + kOffReserved);
    ReadChars(image, kOffUserName, UserName);
    ReadChars(image, kOffPassword, Password);
}

void VPNCONFIG::Write(uint8_t* image) const {
    WriteChars(image, kOffName, Name);
    WriteChars(image, kOffPreSharedKey, PreSharedKey);
    WriteLe32(image + kOffServerIsIpAddress, ServerIsIpAddress);
    WriteRaw(image, kOffServer, Server);
    image[kOffAuthProtocol] = AuthProtocol;
    WriteLe32(image + kOffNoDestinationNetwork, NoDestinationNetwork);
    WriteRaw(image, kOffDestinationNetwork, DestinationNetwork);
    image[kOffDestinationPrefixLength] = DestinationPrefixLength;
    WriteLe32(image + kOffDnsAddressSet, DnsAddressSet);
    WriteRaw(image, kOffDnsAddress, DnsAddress);
    WriteLe32(image + kOffUseRemoteGateway, UseRemoteGateway);
    WriteLe32(image + kOffReserved, Reserved);
    WriteChars(image, kOffUserName, UserName);
    WriteChars(image, kOffPassword, Password);
}

VPNCONFIG VPNCONFIG::FromBytes(const uint8_t* image) {
    VPNCONFIG r;
    r.Read(image);
    return r;
}

std::vector<uint8_t> VPNCONFIG::ToBytes() const {
    std::vector<uint8_t> image(kSize);
    Write(image.data());
    return image;
}

void VPNCONFIG::GetServerAddress(uint8_t address[4]) const {
    std::memcpy(address, Server, 4);
}

void VPNCONFIG::SetServerAddress(const uint8_t address[4]) {
    std::memcpy(Server, address, 4);
}

std::u16string VPNCONFIG::GetServerHostName() const {
    char16_t chars[kServerChars];
    ServerToChars(Server, chars);
    return FixedToString(chars);
}

bool VPNCONFIG::SetServerHostName(std::u16string_view name) {
    char16_t chars[kServerChars];
    ServerToChars(Server, chars);
    bool fits = CopyToFixed(chars, name);
    CharsToServer(chars, Server);
    return fits;
}

bool VPNCONFIG::Sanitize() {
    bool changed = false;
    changed |= ForceTerminator(Name);
    changed |= ForceTerminator(PreSharedKey);
    changed |= ForceTerminator(UserName);
    changed |= ForceTerminator(Password);
    // Server holds either an address or a string; a terminator in its last character
    // leaves any address intact and bounds any host name.
    char16_t chars[kServerChars];
    ServerToChars(Server, chars);
    if (ForceTerminator(chars)) {
        CharsToServer(chars, Server);
        changed = true;
    }
    return changed;
}

bool VPNCONFIG::HasTerminatedStrings(const uint8_t* image) {
    return HoldsTerminator(image, kOffName, kNameChars) &&
           HoldsTerminator(image, kOffPreSharedKey, kPreSharedKeyChars) &&
           HoldsTerminator(image, kOffServer, kServerChars) &&
           HoldsTerminator(image, kOffUserName, kUserNameChars) &&
           HoldsTerminator(image, kOffPassword, kPasswordChars);
}

void AUTHINFO::Read(const uint8_t* image) {
    VpnIndex = image[kOffVpnIndex];
    ReadChars(image, kOffUserName, UserName);
    ReadChars(image, kOffPassword, Password);
}

void AUTHINFO::Write(uint8_t* image) const {
    image[kOffVpnIndex] = VpnIndex;
    WriteChars(image, kOffUserName, UserName);
    WriteChars(image, kOffPassword, Password);
}

AUTHINFO AUTHINFO::FromBytes(const uint8_t* image) {
    AUTHINFO r;
    r.Read(image);
    return r;
}

std::vector<uint8_t> AUTHINFO::ToBytes() const {
    std::vector<uint8_t> image(kSize);
    Write(image.data());
    return image;
}

bool AUTHINFO::Sanitize() {
    bool changed = ForceTerminator(UserName);
    changed |= ForceTerminator(Password);
    return changed;
}

void LogInfo::Read(const uint8_t* image) {
    LogLevel = image[kOffLogLevel];
    ReadChars(image, kOffLogText, LogText);
}

void LogInfo::Write(uint8_t* image) const {
    image[kOffLogLevel] = LogLevel;
    WriteChars(image, kOffLogText, LogText);
}

LogInfo LogInfo::FromBytes(const uint8_t* image) {
    LogInfo r;
    r.Read(image);
    return r;
}

std::vector<uint8_t> LogInfo::ToBytes() const {
    std::vector<uint8_t> image(kSize);
    Write(image.data());
    return image;
}

bool LogInfo::Sanitize() {
    return ForceTerminator(LogText);
}

void VPNCONFIG_1694::Read(const uint8_t* image) {
    ReadOldHead(image, *this);
    Reserved = ReadLe32(image + kOffReserved);
    ReadChars(image, kOffUserName, UserName);
    ReadChars(image, kOffPassword, Password);
}

void VPNCONFIG_1694::Write(uint8_t* image) const {
    WriteOldHead(image, *this);
    WriteLe32(image + kOffReserved, Reserved);
    WriteChars(image, kOffUserName, UserName);
    WriteChars(image, kOffPassword, Password);
}

bool VPNCONFIG_1694::HasTerminatedStrings(const uint8_t* image) {
    return HoldsTerminator(image, 0, kNameChars) && HoldsTerminator(image, 66, kPreSharedKeyChars) &&
           HoldsTerminator(image, 136, kServerBytes / 2) &&
           HoldsTerminator(image, kOffUserName, kUserNameChars) &&
           HoldsTerminator(image, kOffPassword, kPasswordChars);
}

void VPNCONFIG_1698::Read(const uint8_t* image) {
    ReadOldHead(image, *this);
    Unconverted = ReadLe32(image + kOffUnconverted);
    Reserved = ReadLe32(image + kOffReserved);
    ReadChars(image, kOffUserName, UserName);
    ReadChars(image, kOffPassword, Password);
}

void VPNCONFIG_1698::Write(uint8_t* image) const {
    WriteOldHead(image, *this);
    WriteLe32(image + kOffUnconverted, Unconverted);
    WriteLe32(image + kOffReserved, Reserved);
    WriteChars(image, kOffUserName, UserName);
    WriteChars(image, kOffPassword, Password);
}

void ApplyAuthInfo(const AUTHINFO& authInfo, VPNCONFIG& config) {
    CopyToFixed(config.UserName, authInfo.UserName);
    CopyToFixed(config.Password, authInfo.Password);
}

void ConvertOldRecord(const OldVpnConfigFields& old, VPNCONFIG& target) {
    // Older user names and passwords hold up to 255 characters and VPNCONFIG 64: cut to
    // what fits, always terminated (so is a string that has no terminator at all).
    CopyToFixed(target.Name, old.Name);
    CopyToFixed(target.PreSharedKey, old.PreSharedKey);
    CopyToFixed(target.UserName, old.UserName);
    CopyToFixed(target.Password, old.Password);
    CopyConnectionFields(old, target);
    target.UseRemoteGateway = 1;
}

void CopyConnectionFields(const VPNCONFIG& source, VPNCONFIG& target) {
    CopyConnectionFieldsFrom(source, target);
}

void CopyConnectionFields(const OldVpnConfigFields& source, VPNCONFIG& target) {
    CopyConnectionFieldsFrom(source, target);
}

void ConvertOldRecord(const uint8_t* oldImage, OldRecordForm form, VPNCONFIG& target) {
    if (form == OldRecordForm::Form1694) {
        VPNCONFIG_1694 old;
        old.Read(oldImage);
        ConvertOldRecord(old, target);
    } else {
        VPNCONFIG_1698 old;
        old.Read(oldImage);
        ConvertOldRecord(old, target);
    }
}

} // namespace corvel
