#include "SettingValues.h"

#include "ByteOrder.h"
#include "FixedString.h"

namespace corvel {

namespace {

uint32_t AddressFromBytes(const uint8_t bytes[4]) {
    return (uint32_t(bytes[0]) << 24) | (uint32_t(bytes[1]) << 16) | (uint32_t(bytes[2]) << 8) |
           uint32_t(bytes[3]);
}

void AddressToBytes(uint32_t address, uint8_t bytes[4]) {
    bytes[0] = uint8_t(address >> 24);
    bytes[1] = uint8_t(address >> 16);
    bytes[2] = uint8_t(address >> 8);
    bytes[3] = uint8_t(address);
}

template <size_t N> std::wstring FieldText(const char16_t (&field)[N]) {
    return WideFromUtf16(FixedToString(field));
}

// A text fits when it leaves room for the terminator.
bool Fits(const std::u16string& text, size_t capacity) {
    return text.size() < capacity;
}

} // namespace

std::wstring ConnectionName(const VPNCONFIG& record) {
    return FieldText(record.Name);
}

std::wstring ConnectionNameAt(const uint8_t* records, size_t index) {
    const uint8_t* name = records + index * VPNCONFIG::kSize + VPNCONFIG::kOffName;
    std::wstring text;
    for (size_t i = 0; i < VPNCONFIG::kNameChars; ++i) {
        const uint16_t unit = ReadLe16(name + 2 * i);
        if (unit == 0)
            break;
        text += wchar_t(unit);
    }
    return text;
}

bool CSettingValues::HasServerAddress() const {
    return IsHostMode() ? !ServerHostText.empty() : ServerAddress != 0;
}

void CSettingValues::LoadFromRecord(const VPNCONFIG& record) {
    NameText = FieldText(record.Name);
    PskText = FieldText(record.PreSharedKey);
    PskAgainText = PskText;
    if (record.ServerIsIpAddress != 0) {
        ServerChoice = 0;
        ServerAddress = AddressFromBytes(record.Server);
    } else {
        ServerChoice = 1;
        ServerHostText = WideFromUtf16(record.GetServerHostName());
    }
    AuthChoice = record.AuthProtocol;
    if (record.NoDestinationNetwork != 0) {
        KeptNoDestination = 1;
    } else {
        KeptNoDestination = 0;
        KeptDestination = AddressFromBytes(record.DestinationNetwork);
        KeptPrefixIndex = int(record.DestinationPrefixLength) - 8;
    }
    KeptDnsAddress = record.DnsAddressSet != 0 ? AddressFromBytes(record.DnsAddress) : 0;
    UseVpnGateway = int(record.UseRemoteGateway);
    UserText = FieldText(record.UserName);
    PasswordText = FieldText(record.Password);
}

SettingWriteResult CSettingValues::WriteToRecord(VPNCONFIG& record) const {
    if (!IsPreSharedKeyConfirmed())
        return SettingWriteResult::KeyMismatch;
    const std::u16string name = Utf16FromWide(NameText);
    const std::u16string key = Utf16FromWide(PskText);
    const std::u16string host = Utf16FromWide(ServerHostText);
    const std::u16string user = Utf16FromWide(UserText);
    const std::u16string password = Utf16FromWide(PasswordText);
    // Checked before anything is written, so a refusal leaves the whole record as it was.
    if (!Fits(name, VPNCONFIG::kNameChars) || !Fits(key, VPNCONFIG::kPreSharedKeyChars) ||
        (IsHostMode() && !Fits(host, VPNCONFIG::kServerChars)) || !Fits(user, VPNCONFIG::kUserNameChars) ||
        !Fits(password, VPNCONFIG::kPasswordChars))
        return SettingWriteResult::ValueTooLong;

    CopyToFixed(record.Name, name);
    CopyToFixed(record.PreSharedKey, key);
    if (IsHostMode()) {
        record.ServerIsIpAddress = 0;
        record.SetServerHostName(host);
    } else {
        // The bytes behind the address keep whatever host name stood there before.
        record.ServerIsIpAddress = 1;
        AddressToBytes(ServerAddress, record.Server);
    }
    record.AuthProtocol = uint8_t(AuthChoice);
    if (KeptNoDestination != 0) {
        record.NoDestinationNetwork = 1;
    } else {
        record.NoDestinationNetwork = 0;
        AddressToBytes(KeptDestination, record.DestinationNetwork);
        record.DestinationPrefixLength = uint8_t(unsigned(KeptPrefixIndex) + 8u);
    }
    if (KeptDnsAddress != 0) {
        AddressToBytes(KeptDnsAddress, record.DnsAddress);
        record.DnsAddressSet = 1;
    } else {
        record.DnsAddressSet = 0;
    }
    record.UseRemoteGateway = uint32_t(UseVpnGateway);
    CopyToFixed(record.UserName, user);
    CopyToFixed(record.Password, password);
    return SettingWriteResult::Written;
}

std::wstring KeyMismatchText(std::wstring_view text212, const VPNCONFIG& record) {
    std::wstring text(text212);
    text += L"（";
    text += ConnectionName(record);
    text += L"）";
    return text;
}

} // namespace corvel
