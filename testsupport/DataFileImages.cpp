#include "DataFileImages.h"

#include "FileCipher.h"

#include <string>

namespace corvel::e2e {

namespace {

template <size_t N> void CopyText(char16_t (&target)[N], const std::u16string& text) {
    const size_t n = text.size() < N - 1 ? text.size() : N - 1;
    for (size_t i = 0; i < N; ++i)
        target[i] = i < n ? text[i] : u'\0';
}

std::u16string Number(size_t n) {
    std::u16string text;
    for (char c : std::to_string(n))
        text += char16_t(c);
    return text;
}

void ToOld(const VPNCONFIG& r, OldVpnConfigFields& old) {
    CopyText(old.Name, std::u16string(r.Name));
    CopyText(old.PreSharedKey, std::u16string(r.PreSharedKey));
    old.ServerIsIpAddress = r.ServerIsIpAddress;
    for (size_t i = 0; i < sizeof(old.Server); ++i)
        old.Server[i] = r.Server[i];
    old.AuthProtocol = r.AuthProtocol;
    old.NoDestinationNetwork = r.NoDestinationNetwork;
    for (size_t i = 0; i < 4; ++i) {
        old.DestinationNetwork[i] = r.DestinationNetwork[i];
        old.DnsAddress[i] = r.DnsAddress[i];
    }
    old.DestinationPrefixLength = r.DestinationPrefixLength;
    old.DnsAddressSet = r.DnsAddressSet;
    old.Reserved = r.Reserved;
    CopyText(old.UserName, std::u16string(r.UserName));
    CopyText(old.Password, std::u16string(r.Password));
}

DWORD Crypt(std::vector<uint8_t>& bytes, bool dataFile) {
    CFileCipher cipher;
    if (dataFile)
        cipher.SetPassword(kDataFilePassword, kDataFilePasswordLength);
    DWORD result = cipher.DeriveKey();
    if (result == 0)
        result = cipher.Encrypt(bytes.data(), DWORD(bytes.size()));
    cipher.Release();
    return result;
}

} // namespace

DataFileContent MakeSampleContent(const std::u16string& namePrefix) {
    DataFileContent c;
    for (size_t i = 0; i < kReservedBlockSize; ++i)
        c.ReservedBlock[i] = uint8_t(0xA0 + i);
    c.Log.LogLevel = 1;
    CopyText(c.Log.LogText, u"ログ本文");
    for (size_t i = 0; i < kVpnCount; ++i) {
        VPNCONFIG& r = c.Records[i];
        r = VPNCONFIG::Default(i);
        CopyText(r.Name, namePrefix + Number(i + 1));
        CopyText(r.PreSharedKey, u"psk-" + Number(i + 1));
        const uint8_t address[4] = {10, 20, 30, uint8_t(i + 1)};
        r.ServerIsIpAddress = 1;
        r.SetServerAddress(address);
        r.AuthProtocol = uint8_t(i % 4);
        r.NoDestinationNetwork = 0;
        r.DestinationNetwork[0] = 192;
        r.DestinationNetwork[1] = 168;
        r.DestinationNetwork[2] = uint8_t(i);
        r.DestinationPrefixLength = 24;
        r.DnsAddressSet = 1;
        r.DnsAddress[0] = 8;
        r.DnsAddress[3] = 8;
        r.UseRemoteGateway = 1; // older forms have no such field and convert to 1
        r.Reserved = uint32_t(0x01020300 + i);
        CopyText(r.UserName, u"user" + Number(i + 1));
        CopyText(r.Password, u"pass" + Number(i + 1));
    }
    return c;
}

std::vector<uint8_t> BuildPlainDataFile(size_t size, const DataFileContent& content) {
    std::vector<uint8_t> image(size, 0);
    for (size_t i = 0; i < kReservedBlockSize; ++i)
        image[i] = content.ReservedBlock[i];
    content.Log.Write(image.data() + kLogInfoOffset);
    for (size_t i = 0; i < kVpnCount; ++i) {
        if (size == kDataFileSize) {
            content.Records[i].Write(image.data() + kRecordsOffset + i * VPNCONFIG::kSize);
        } else if (size == kDataFileSize1694) {
            VPNCONFIG_1694 old;
            ToOld(content.Records[i], old);
            old.Write(image.data() + kRecordsOffset + i * VPNCONFIG_1694::kSize);
        } else {
            VPNCONFIG_1698 old;
            ToOld(content.Records[i], old);
            old.Unconverted = 0xDEADBEEF; // dropped by the conversion
            old.Write(image.data() + kRecordsOffset + i * VPNCONFIG_1698::kSize);
        }
    }
    return image;
}

void FillRecordStringsToTheEnd(std::vector<uint8_t>& plainImage) {
    struct Array {
        size_t Offset;
        size_t Chars;
    };
    const size_t size = plainImage.size();
    size_t recordSize = VPNCONFIG::kSize;
    std::vector<Array> arrays = {{VPNCONFIG::kOffName, VPNCONFIG::kNameChars},
                                 {VPNCONFIG::kOffPreSharedKey, VPNCONFIG::kPreSharedKeyChars},
                                 {VPNCONFIG::kOffServer, VPNCONFIG::kServerChars},
                                 {VPNCONFIG::kOffUserName, VPNCONFIG::kUserNameChars},
                                 {VPNCONFIG::kOffPassword, VPNCONFIG::kPasswordChars}};
    if (size != kDataFileSize) {
        const bool form1694 = size == kDataFileSize1694;
        recordSize = form1694 ? VPNCONFIG_1694::kSize : VPNCONFIG_1698::kSize;
        arrays = {{0, OldVpnConfigFields::kNameChars},
                  {66, OldVpnConfigFields::kPreSharedKeyChars},
                  {136, OldVpnConfigFields::kServerBytes / 2},
                  {form1694 ? VPNCONFIG_1694::kOffUserName : VPNCONFIG_1698::kOffUserName,
                   OldVpnConfigFields::kUserNameChars},
                  {form1694 ? VPNCONFIG_1694::kOffPassword : VPNCONFIG_1698::kOffPassword,
                   OldVpnConfigFields::kPasswordChars}};
    }
    for (size_t i = 0; i < kVpnCount; ++i) {
        for (const Array& a : arrays) {
            uint8_t* chars = plainImage.data() + kRecordsOffset + i * recordSize + a.Offset;
            for (size_t k = 0; k < a.Chars; ++k) {
                const char16_t c = char16_t(u'A' + (i + k) % 26);
                chars[2 * k] = uint8_t(c);
                chars[2 * k + 1] = uint8_t(c >> 8);
            }
        }
    }
}

DWORD CryptDataFile(std::vector<uint8_t>& bytes) {
    return Crypt(bytes, true);
}
DWORD CryptSettingsFile(std::vector<uint8_t>& bytes) {
    return Crypt(bytes, false);
}

} // namespace corvel::e2e
