#include "DotDatRecord.h"

#include "FixedString.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace corvel;

namespace {

template <size_t N> void Fill(char16_t (&field)[N], char16_t c, size_t count) {
    for (size_t i = 0; i < count && i < N; ++i)
        field[i] = c;
    if (count < N)
        field[count] = u'\0';
}

std::vector<uint8_t> Bytes(const VPNCONFIG& r) {
    return r.ToBytes();
}

// A stored record whose strings all run to the end of their fields.
VPNCONFIG LongRecord() {
    VPNCONFIG r = VPNCONFIG::Default(0);
    Fill(r.Name, u'n', VPNCONFIG::kNameChars - 1);
    Fill(r.PreSharedKey, u'k', VPNCONFIG::kPreSharedKeyChars - 1);
    Fill(r.UserName, u'u', VPNCONFIG::kUserNameChars - 1);
    Fill(r.Password, u'p', VPNCONFIG::kPasswordChars - 1);
    r.ServerIsIpAddress = 0;
    r.SetServerHostName(u"vpn.example.org");
    return r;
}

} // namespace

TEST(StoreRecord, ShorterNameKeepsItsTailWhileShorterSecretsAreZeroed) {
    std::vector<uint8_t> stored = Bytes(LongRecord());
    VPNCONFIG in = LongRecord();
    CopyToFixed(in.Name, u"ab");
    CopyToFixed(in.PreSharedKey, u"k2");
    CopyToFixed(in.UserName, u"u2");
    CopyToFixed(in.Password, u"p2");
    StoreRecord(stored.data(), Bytes(in).data());

    const VPNCONFIG out = VPNCONFIG::FromBytes(stored.data());
    EXPECT_EQ(FixedToString(out.Name), u"ab");
    EXPECT_EQ(out.Name[3], u'n') << "Name keeps its former bytes behind the terminator";
    struct Secret {
        const char* field;
        const char16_t* chars;
        size_t capacity;
        std::u16string text;
    } secrets[] = {{"PreSharedKey", out.PreSharedKey, VPNCONFIG::kPreSharedKeyChars, u"k2"},
                   {"UserName", out.UserName, VPNCONFIG::kUserNameChars, u"u2"},
                   {"Password", out.Password, VPNCONFIG::kPasswordChars, u"p2"}};
    for (const Secret& s : secrets) {
        EXPECT_EQ(FixedToString(s.chars, s.capacity), s.text) << s.field;
        for (size_t i = s.text.size(); i < s.capacity; ++i)
            ASSERT_EQ(s.chars[i], u'\0') << s.field << " character " << i;
    }
}

TEST(StoreRecord, UnterminatedStringsAreCutToTheirFields) {
    std::vector<uint8_t> stored = Bytes(VPNCONFIG::Default(3));
    std::vector<uint8_t> in = Bytes(VPNCONFIG::Default(3));
    // Every string field of the incoming record full of 'x' without a terminator.
    const size_t strings[][2] = {{VPNCONFIG::kOffName, VPNCONFIG::kNameChars},
                                 {VPNCONFIG::kOffPreSharedKey, VPNCONFIG::kPreSharedKeyChars},
                                 {VPNCONFIG::kOffServer, VPNCONFIG::kServerChars},
                                 {VPNCONFIG::kOffUserName, VPNCONFIG::kUserNameChars},
                                 {VPNCONFIG::kOffPassword, VPNCONFIG::kPasswordChars}};
    for (const auto& s : strings)
        for (size_t i = 0; i < s[1]; ++i) {
            in[s[0] + 2 * i] = 'x';
            in[s[0] + 2 * i + 1] = 0;
        }
    StoreRecord(stored.data(), in.data());

    const VPNCONFIG out = VPNCONFIG::FromBytes(stored.data());
    EXPECT_EQ(FixedToString(out.Name), std::u16string(32, u'x'));
    EXPECT_EQ(FixedToString(out.PreSharedKey), std::u16string(128, u'x'));
    EXPECT_EQ(out.GetServerHostName(), std::u16string(255, u'x'));
    EXPECT_EQ(FixedToString(out.UserName), std::u16string(64, u'x'));
    EXPECT_EQ(FixedToString(out.Password), std::u16string(64, u'x'));
    // The fields between the strings are the incoming ones, untouched by any string copy.
    EXPECT_EQ(out.ServerIsIpAddress, 1u);
    EXPECT_EQ(out.UseRemoteGateway, 1u);
}

TEST(StoreRecord, AnAddressOverAHostNameKeepsItsFourBytes) {
    std::vector<uint8_t> stored = Bytes(LongRecord());
    VPNCONFIG in = LongRecord();
    in.ServerIsIpAddress = 1;
    std::memset(in.Server, 0, sizeof in.Server);
    const uint8_t address[4] = {10, 0, 0, 1};
    in.SetServerAddress(address);
    in.AuthProtocol = 3;
    in.NoDestinationNetwork = 0;
    const uint8_t network[4] = {192, 168, 5, 0};
    std::memcpy(in.DestinationNetwork, network, 4);
    in.DestinationPrefixLength = 24;
    in.DnsAddressSet = 1;
    std::memcpy(in.DnsAddress, address, 4);
    in.Reserved = 0xA5A5A5A5;
    StoreRecord(stored.data(), Bytes(in).data());

    const VPNCONFIG out = VPNCONFIG::FromBytes(stored.data());
    uint8_t got[4];
    out.GetServerAddress(got);
    EXPECT_EQ(0, std::memcmp(got, address, 4));
    EXPECT_EQ(out.ServerIsIpAddress, 1u);
    EXPECT_EQ(out.AuthProtocol, 3);
    EXPECT_EQ(0, std::memcmp(out.DestinationNetwork, network, 4));
    EXPECT_EQ(out.DestinationPrefixLength, 24);
    EXPECT_EQ(out.DnsAddressSet, 1u);
    EXPECT_EQ(0, std::memcmp(out.DnsAddress, address, 4));
    EXPECT_EQ(out.Reserved, 0xA5A5A5A5u);
}

TEST(ApplyAuthInfo, CopiesAtMost64CharactersAndZeroesTheRest) {
    VPNCONFIG record = LongRecord();
    AUTHINFO credentials;
    Fill(credentials.UserName, u'U', AUTHINFO::kUserNameChars); // no terminator at all
    CopyToFixed(credentials.Password, u"pw");
    ApplyAuthInfo(record, credentials);
    EXPECT_EQ(FixedToString(record.UserName), std::u16string(64, u'U'));
    EXPECT_EQ(record.UserName[64], u'\0');
    EXPECT_EQ(FixedToString(record.Password), u"pw");
    for (size_t i = 2; i < VPNCONFIG::kPasswordChars; ++i)
        ASSERT_EQ(record.Password[i], u'\0');
}

TEST(ImageFromFileContent, SizesAndConversion) {
    std::vector<uint8_t> defaults(DotDatRecord::kSize);
    FillDefaultImage(defaults.data());
    EXPECT_EQ(FixedToString(VPNCONFIG::FromBytes(defaults.data() + DotDatRecord::RecordOffset(19)).Name),
              u"接続20");

    for (size_t size : {size_t(0), DotDatRecord::kSize - 1, DotDatRecord::kSize + 1}) {
        std::vector<uint8_t> content(size + 1, 0x55), image = defaults;
        EXPECT_FALSE(ImageFromFileContent(content.data(), size, image.data())) << size;
        EXPECT_EQ(image, defaults) << size;
    }

    // A 34533-byte file: reserved block and LogInfo as they are, records converted.
    std::vector<uint8_t> content(DotDatRecord::kSize1698, 0);
    for (size_t i = 0; i < DotDatRecord::kOffRecords; ++i)
        content[i] = uint8_t(i * 7);
    for (size_t i = 0; i < kVpnCount; ++i) {
        VPNCONFIG_1698 old;
        CopyToFixed(old.Name, u"old" + std::u16string(1, char16_t(u'A' + i)));
        CopyToFixed(old.UserName, std::u16string(200, u'u')); // longer than VPNCONFIG holds
        old.Unconverted = 0xFFFFFFFF;
        old.Write(content.data() + DotDatRecord::kOffRecords + i * VPNCONFIG_1698::kSize);
    }
    std::vector<uint8_t> image = defaults;
    ASSERT_TRUE(ImageFromFileContent(content.data(), content.size(), image.data()));
    // The reserved block and LogInfo as they are, but LogText (here without a terminator)
    // ends in its last character.
    EXPECT_EQ(0, std::memcmp(image.data(), content.data(), DotDatRecord::kOffRecords - 2));
    EXPECT_EQ(0, image[DotDatRecord::kOffRecords - 2]);
    EXPECT_EQ(0, image[DotDatRecord::kOffRecords - 1]);
    for (size_t i = 0; i < kVpnCount; ++i) {
        const VPNCONFIG r = VPNCONFIG::FromBytes(image.data() + DotDatRecord::RecordOffset(i));
        EXPECT_EQ(FixedToString(r.Name), u"old" + std::u16string(1, char16_t(u'A' + i)));
        EXPECT_EQ(FixedToString(r.UserName), std::u16string(64, u'u'));
        EXPECT_EQ(r.UseRemoteGateway, 1u);
    }
}

TEST(ImageFromFileContent, StaleSecretTailsOfAStoredFileAreDropped) {
    std::vector<uint8_t> content(DotDatRecord::kSize);
    FillDefaultImage(content.data());
    VPNCONFIG r = LongRecord();
    r.PreSharedKey[3] = u'\0'; // "kkk", then the tail of an older key
    r.Name[3] = u'\0';
    r.Write(content.data() + DotDatRecord::RecordOffset(7));

    std::vector<uint8_t> image(DotDatRecord::kSize);
    ASSERT_TRUE(ImageFromFileContent(content.data(), content.size(), image.data()));
    const VPNCONFIG out = VPNCONFIG::FromBytes(image.data() + DotDatRecord::RecordOffset(7));
    EXPECT_EQ(FixedToString(out.PreSharedKey), u"kkk");
    EXPECT_EQ(out.PreSharedKey[4], u'\0');
    EXPECT_EQ(out.Name[4], u'n');
}

TEST(StoreLogInfo, LevelAboveOneIsRefusedAndTextIsTerminated) {
    std::vector<uint8_t> image(DotDatRecord::kSize, 0);
    std::vector<uint8_t> block(LogInfo::kSize, 'x');
    block[0] = 2;
    EXPECT_FALSE(StoreLogInfo(image.data(), block.data()));
    EXPECT_EQ(image, std::vector<uint8_t>(DotDatRecord::kSize, 0));

    block[0] = 1;
    ASSERT_TRUE(StoreLogInfo(image.data(), block.data()));
    const LogInfo stored = LogInfo::FromBytes(image.data() + DotDatRecord::kOffLogInfo);
    EXPECT_EQ(stored.LogLevel, 1);
    EXPECT_EQ(FixedToString(stored.LogText).size(), LogInfo::kLogTextChars - 1);
}
