#include "ByteOrder.h"
#include "FixedString.h"
#include "Records.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>

using namespace corvel;

namespace {

struct FieldCase {
    const char* name;
    size_t offset;
    size_t size;
};

template <size_t N> void FillChars(char16_t (&a)[N], uint8_t v) {
    for (auto& c : a)
        c = char16_t(v * 0x0101);
}
template <size_t N> void FillBytes(uint8_t (&a)[N], uint8_t v) {
    std::memset(a, v, N);
}
uint32_t Fill32(uint8_t v) {
    return v * 0x01010101u;
}

// Every field gets its own byte value k + 1; the image must show value k + 1 exactly at
// the field's offsets, and the fields must tile the whole record.
void ExpectTiles(const std::vector<uint8_t>& image, const std::vector<FieldCase>& fields) {
    size_t next = 0;
    for (size_t k = 0; k < fields.size(); ++k) {
        const FieldCase& f = fields[k];
        EXPECT_EQ(f.offset, next) << f.name;
        for (size_t i = 0; i < f.size; ++i)
            ASSERT_EQ(image.at(f.offset + i), uint8_t(k + 1)) << f.name << " byte " << i;
        next = f.offset + f.size;
    }
    EXPECT_EQ(next, image.size());
}

std::vector<uint8_t> RandomImage(size_t size, unsigned seed) {
    std::mt19937 gen(seed);
    std::vector<uint8_t> b(size);
    for (auto& x : b)
        x = uint8_t(gen());
    return b;
}

} // namespace

TEST(RecordLayout, VpnConfigFieldsLieAtTheirOffsets) {
    VPNCONFIG r;
    FillChars(r.Name, 1);
    FillChars(r.PreSharedKey, 2);
    r.ServerIsIpAddress = Fill32(3);
    FillBytes(r.Server, 4);
    r.AuthProtocol = 5;
    r.NoDestinationNetwork = Fill32(6);
    FillBytes(r.DestinationNetwork, 7);
    r.DestinationPrefixLength = 8;
    r.DnsAddressSet = Fill32(9);
    FillBytes(r.DnsAddress, 10);
    r.UseRemoteGateway = Fill32(11);
    r.Reserved = Fill32(12);
    FillChars(r.UserName, 13);
    FillChars(r.Password, 14);
    ASSERT_EQ(r.ToBytes().size(), VPNCONFIG::kSize);
    ExpectTiles(r.ToBytes(), {{"Name", 0, 66},
                              {"PreSharedKey", 66, 258},
                              {"ServerIsIpAddress", 324, 4},
                              {"Server", 328, 512},
                              {"AuthProtocol", 840, 1},
                              {"NoDestinationNetwork", 841, 4},
                              {"DestinationNetwork", 845, 4},
                              {"DestinationPrefixLength", 849, 1},
                              {"DnsAddressSet", 850, 4},
                              {"DnsAddress", 854, 4},
                              {"UseRemoteGateway", 858, 4},
                              {"Reserved", 862, 4},
                              {"UserName", 866, 130},
                              {"Password", 996, 130}});
}

TEST(RecordLayout, VpnConfigIntegersLittleEndianStringsUtf16Le) {
    VPNCONFIG r;
    r.ServerIsIpAddress = 0x04030201;
    r.Reserved = 0xA1B2C3D4;
    CopyToFixed(r.UserName, u"A\u3042");
    const uint8_t addr[4] = {10, 0, 0, 1};
    r.SetServerAddress(addr);
    auto b = r.ToBytes();
    EXPECT_EQ(std::vector<uint8_t>(b.begin() + 324, b.begin() + 328), (std::vector<uint8_t>{1, 2, 3, 4}));
    EXPECT_EQ(ReadLe32(&b[862]), 0xA1B2C3D4u);
    EXPECT_EQ(std::vector<uint8_t>(b.begin() + 866, b.begin() + 872),
              (std::vector<uint8_t>{0x41, 0, 0x42, 0x30, 0, 0}));
    EXPECT_EQ(std::vector<uint8_t>(b.begin() + 328, b.begin() + 332), (std::vector<uint8_t>{10, 0, 0, 1}));
}

TEST(RecordLayout, AuthInfoAndLogInfoFieldsLieAtTheirOffsets) {
    AUTHINFO a;
    a.VpnIndex = 1;
    FillChars(a.UserName, 2);
    FillChars(a.Password, 3);
    ASSERT_EQ(a.ToBytes().size(), AUTHINFO::kSize);
    ExpectTiles(a.ToBytes(), {{"VpnIndex", 0, 1}, {"UserName", 1, 130}, {"Password", 131, 130}});

    LogInfo l;
    l.LogLevel = 1;
    FillChars(l.LogText, 2);
    ASSERT_EQ(l.ToBytes().size(), LogInfo::kSize);
    ExpectTiles(l.ToBytes(), {{"LogLevel", 0, 1}, {"LogText", 1, 526}});
}

TEST(RecordLayout, OldFormsFieldsLieAtTheirOffsets) {
    auto fill = [](OldVpnConfigFields& r) {
        FillChars(r.Name, 1);
        FillChars(r.PreSharedKey, 2);
        r.ServerIsIpAddress = Fill32(3);
        FillBytes(r.Server, 4);
        r.AuthProtocol = 5;
        r.NoDestinationNetwork = Fill32(6);
        FillBytes(r.DestinationNetwork, 7);
        r.DestinationPrefixLength = 8;
        r.DnsAddressSet = Fill32(9);
        FillBytes(r.DnsAddress, 10);
    };
    const std::vector<FieldCase> head = {{"Name", 0, 66},
                                         {"PreSharedKey", 66, 66},
                                         {"ServerIsIpAddress", 132, 4},
                                         {"Server", 136, 512},
                                         {"AuthProtocol", 648, 1},
                                         {"NoDestinationNetwork", 649, 4},
                                         {"DestinationNetwork", 653, 4},
                                         {"DestinationPrefixLength", 657, 1},
                                         {"DnsAddressSet", 658, 4},
                                         {"DnsAddress", 662, 4}};
    {
        VPNCONFIG_1694 r;
        fill(r);
        r.Reserved = Fill32(11);
        FillChars(r.UserName, 12);
        FillChars(r.Password, 13);
        std::vector<uint8_t> b(VPNCONFIG_1694::kSize);
        r.Write(b.data());
        auto fields = head;
        fields.insert(fields.end(), {{"Reserved", 666, 4}, {"UserName", 670, 512}, {"Password", 1182, 512}});
        ExpectTiles(b, fields);
    }
    {
        VPNCONFIG_1698 r;
        fill(r);
        r.Unconverted = Fill32(11);
        r.Reserved = Fill32(12);
        FillChars(r.UserName, 13);
        FillChars(r.Password, 14);
        std::vector<uint8_t> b(VPNCONFIG_1698::kSize);
        r.Write(b.data());
        auto fields = head;
        fields.insert(
            fields.end(),
            {{"Unconverted", 666, 4}, {"Reserved", 670, 4}, {"UserName", 674, 512}, {"Password", 1186, 512}});
        ExpectTiles(b, fields);
    }
}

// Reserved fields and bytes behind terminators must survive a read and write-back.
TEST(RecordLayout, ReadThenWriteKeepsEveryByte) {
    struct Case {
        size_t size;
        std::function<std::vector<uint8_t>(const std::vector<uint8_t>&)> roundTrip;
    };
    const Case cases[] = {
        {VPNCONFIG::kSize,
         [](const std::vector<uint8_t>& b) { return VPNCONFIG::FromBytes(b.data()).ToBytes(); }},
        {AUTHINFO::kSize,
         [](const std::vector<uint8_t>& b) { return AUTHINFO::FromBytes(b.data()).ToBytes(); }},
        {LogInfo::kSize,
         [](const std::vector<uint8_t>& b) { return LogInfo::FromBytes(b.data()).ToBytes(); }},
        {VPNCONFIG_1694::kSize,
         [](const std::vector<uint8_t>& b) {
             VPNCONFIG_1694 r;
             r.Read(b.data());
             std::vector<uint8_t> out(VPNCONFIG_1694::kSize);
             r.Write(out.data());
             return out;
         }},
        {VPNCONFIG_1698::kSize,
         [](const std::vector<uint8_t>& b) {
             VPNCONFIG_1698 r;
             r.Read(b.data());
             std::vector<uint8_t> out(VPNCONFIG_1698::kSize);
             r.Write(out.data());
             return out;
         }},
    };
    for (const Case& c : cases) {
        auto image = RandomImage(c.size, unsigned(c.size));
        EXPECT_EQ(c.roundTrip(image), image) << c.size;
    }
}

TEST(DefaultRecord, NamesTheConnectionAndSetsTheDefaults) {
    struct Case {
        size_t index;
        std::u16string name;
    };
    for (const Case& c : {Case{0, u"接続1"}, Case{19, u"接続20"}}) {
        VPNCONFIG r = VPNCONFIG::Default(c.index);
        auto b = r.ToBytes();
        std::vector<uint8_t> expected(VPNCONFIG::kSize, 0);
        for (size_t i = 0; i < c.name.size(); ++i)
            WriteLe16(&expected[2 * i], uint16_t(c.name[i]));
        WriteLe32(&expected[324], 1);
        WriteLe32(&expected[858], 1);
        EXPECT_EQ(b, expected) << c.index;
        EXPECT_EQ(FixedToString(r.Name), c.name);
    }
}

TEST(FixedString, CopiesAreBoundedAndTerminated) {
    char16_t field[4];
    std::fill(std::begin(field), std::end(field), u'x');
    EXPECT_TRUE(CopyToFixed(field, u"abc"));
    EXPECT_EQ(FixedToString(field), u"abc");
    EXPECT_FALSE(CopyToFixed(field, u"abcd"));
    EXPECT_EQ(FixedToString(field), u"abc");
    EXPECT_EQ(field[3], u'\0');
    // A source without terminator, read only within its given length.
    const char16_t unterminated[2] = {u'p', u'q'};
    EXPECT_TRUE(CopyToFixed(field, 4, unterminated, 2));
    EXPECT_EQ(FixedToString(field), u"pq");
    // A source's own terminator ends the copy; the rest of the target is kept.
    field[3] = u'z';
    EXPECT_TRUE(CopyToFixed(field, std::u16string_view(u"a\0bc", 4)));
    EXPECT_EQ(field[0], u'a');
    EXPECT_EQ(field[1], u'\0');
    EXPECT_EQ(field[3], u'z');
}

TEST(Sanitize, ForcesATerminatorIntoEveryStringOfUntrustedBytes) {
    std::vector<uint8_t> b(VPNCONFIG::kSize, 0x41); // no terminator anywhere
    VPNCONFIG r = VPNCONFIG::FromBytes(b.data());
    EXPECT_TRUE(r.Sanitize());
    EXPECT_EQ(FixedToString(r.Name).size(), 32u);
    EXPECT_EQ(FixedToString(r.PreSharedKey).size(), 128u);
    EXPECT_EQ(FixedToString(r.UserName).size(), 64u);
    EXPECT_EQ(FixedToString(r.Password).size(), 64u);
    EXPECT_EQ(r.GetServerHostName().size(), 255u);
    EXPECT_EQ(r.Server[0], 0x41); // an address in the first bytes stays
    EXPECT_FALSE(r.Sanitize());

    VPNCONFIG fine = VPNCONFIG::Default(3);
    EXPECT_FALSE(fine.Sanitize());

    std::vector<uint8_t> a(AUTHINFO::kSize, 0x41);
    AUTHINFO ai = AUTHINFO::FromBytes(a.data());
    EXPECT_TRUE(ai.Sanitize());
    EXPECT_EQ(FixedToString(ai.UserName).size(), 64u);
    EXPECT_EQ(FixedToString(ai.Password).size(), 64u);

    std::vector<uint8_t> l(LogInfo::kSize, 0x41);
    LogInfo li = LogInfo::FromBytes(l.data());
    EXPECT_TRUE(li.Sanitize());
    EXPECT_EQ(FixedToString(li.LogText).size(), 262u);
}

TEST(ServerField, HoldsAnAddressOrAHostName) {
    VPNCONFIG r;
    EXPECT_TRUE(r.SetServerHostName(u"vpn.example.jp"));
    EXPECT_EQ(r.GetServerHostName(), u"vpn.example.jp");
    EXPECT_EQ(r.Server[0], 'v');
    EXPECT_EQ(r.Server[1], 0);
    EXPECT_FALSE(r.SetServerHostName(std::u16string(300, u'h')));
    EXPECT_EQ(r.GetServerHostName().size(), 255u);
    const uint8_t addr[4] = {192, 168, 1, 2};
    r.SetServerAddress(addr);
    uint8_t got[4];
    r.GetServerAddress(got);
    EXPECT_EQ(std::memcmp(got, addr, 4), 0);
}

namespace {

// An older record image with every field set through its byte offsets.
struct OldImage {
    OldRecordForm form;
    std::vector<uint8_t> bytes;
    size_t userOffset, passwordOffset, reservedOffset;

    explicit OldImage(OldRecordForm f) : form(f), bytes(OldRecordSize(f), 0) {
        bool is1698 = f == OldRecordForm::Form1698;
        reservedOffset = is1698 ? 670 : 666;
        userOffset = is1698 ? 674 : 670;
        passwordOffset = is1698 ? 1186 : 1182;
    }
    void PutString(size_t offset, std::u16string_view s) {
        for (size_t i = 0; i < s.size(); ++i)
            WriteLe16(&bytes[offset + 2 * i], uint16_t(s[i]));
    }
    VPNCONFIG Convert() const {
        VPNCONFIG r;
        ConvertOldRecord(bytes.data(), form, r);
        return r;
    }
};

} // namespace

class ConvertOldRecordTest : public ::testing::TestWithParam<OldRecordForm> {};

TEST_P(ConvertOldRecordTest, CarriesEveryFieldAndSetsTheGateway) {
    OldImage old(GetParam());
    old.PutString(0, u"本社");
    old.PutString(66, u"psk-secret");
    WriteLe32(&old.bytes[132], 1);
    old.bytes[136] = 10;
    old.bytes[139] = 1;
    old.bytes[648] = 2;
    WriteLe32(&old.bytes[649], 0);
    const uint8_t net[5] = {172, 16, 0, 0, 12};
    std::memcpy(&old.bytes[653], net, 5);
    WriteLe32(&old.bytes[658], 1);
    const uint8_t dns[4] = {8, 8, 4, 4};
    std::memcpy(&old.bytes[662], dns, 4);
    WriteLe32(&old.bytes[old.reservedOffset], 0xCAFEBABE);
    old.PutString(old.userOffset, u"taro");
    old.PutString(old.passwordOffset, u"pw");

    VPNCONFIG r = old.Convert();
    EXPECT_EQ(FixedToString(r.Name), u"本社");
    EXPECT_EQ(FixedToString(r.PreSharedKey), u"psk-secret");
    EXPECT_EQ(r.ServerIsIpAddress, 1u);
    const uint8_t addr[4] = {10, 0, 0, 1};
    EXPECT_EQ(std::memcmp(r.Server, addr, 4), 0);
    EXPECT_EQ(r.AuthProtocol, 2);
    EXPECT_EQ(r.NoDestinationNetwork, 0u);
    EXPECT_EQ(std::memcmp(r.DestinationNetwork, net, 4), 0);
    EXPECT_EQ(r.DestinationPrefixLength, 12);
    EXPECT_EQ(r.DnsAddressSet, 1u);
    EXPECT_EQ(std::memcmp(r.DnsAddress, dns, 4), 0);
    EXPECT_EQ(r.Reserved, 0xCAFEBABEu);
    EXPECT_EQ(r.UseRemoteGateway, 1u);
    EXPECT_EQ(FixedToString(r.UserName), u"taro");
    EXPECT_EQ(FixedToString(r.Password), u"pw");
}

TEST_P(ConvertOldRecordTest, EmptyKeyStaysEmptyWithGatewayOne) {
    OldImage old(GetParam());
    old.PutString(0, u"a");
    VPNCONFIG r = old.Convert();
    EXPECT_EQ(FixedToString(r.PreSharedKey), u"");
    EXPECT_EQ(r.UseRemoteGateway, 1u);
}

TEST_P(ConvertOldRecordTest, HostNameArrivesWhole) {
    OldImage old(GetParam());
    old.PutString(136, u"gw.example.com");
    VPNCONFIG r = old.Convert();
    EXPECT_EQ(r.GetServerHostName(), u"gw.example.com");
}

// Older strings may be 255 characters long, or lack a terminator: cut to the target
// field, terminated, nothing written beyond it.
TEST_P(ConvertOldRecordTest, LongOrUnterminatedStringsAreCutToTheField) {
    OldImage old(GetParam());
    old.PutString(0, std::u16string(33, u'N'));    // fills Name, no terminator
    old.PutString(66, std::u16string(33, u'K'));   // fills PreSharedKey, no terminator
    old.PutString(136, std::u16string(256, u'S')); // Server without terminator
    old.PutString(old.userOffset, std::u16string(255, u'U'));
    old.PutString(old.passwordOffset, std::u16string(256, u'P')); // no terminator
    VPNCONFIG r = VPNCONFIG::Default(0);
    r.Reserved = 7;
    ConvertOldRecord(old.bytes.data(), old.form, r);
    EXPECT_EQ(FixedToString(r.Name), std::u16string(32, u'N'));
    EXPECT_EQ(FixedToString(r.PreSharedKey), std::u16string(33, u'K'));
    EXPECT_EQ(r.GetServerHostName(), std::u16string(255, u'S'));
    EXPECT_EQ(FixedToString(r.UserName), std::u16string(64, u'U'));
    EXPECT_EQ(FixedToString(r.Password), std::u16string(64, u'P'));
    EXPECT_EQ(r.UserName[64], u'\0');
    EXPECT_EQ(r.Password[64], u'\0');
    EXPECT_EQ(r.Reserved, 0u); // taken from the old record
}

INSTANTIATE_TEST_SUITE_P(BothForms, ConvertOldRecordTest,
                         ::testing::Values(OldRecordForm::Form1694, OldRecordForm::Form1698),
                         [](const auto& info) {
                             return info.param == OldRecordForm::Form1694 ? std::string("Form1694")
                                                                          : std::string("Form1698");
                         });

TEST(ConvertOldRecord, FieldAt666Of1698IsIgnored) {
    OldImage a(OldRecordForm::Form1698);
    a.PutString(0, u"x");
    OldImage b = a;
    WriteLe32(&b.bytes[666], 0xFFFFFFFF);
    EXPECT_EQ(a.Convert().ToBytes(), b.Convert().ToBytes());
}

// The check an import makes of every record it reads, in the layout of each form: a string
// whose array holds no zero unit fails it, wherever its terminator would have been.
namespace {

struct StringArray {
    const char* name;
    size_t offset;
    size_t chars;
};

using CheckFn = bool (*)(const uint8_t*);

// Each array in turn filled without a terminator in a record whose other strings end early
// and whose other bytes are all 0xFF.
void ExpectEachStringIsChecked(size_t size, const std::vector<StringArray>& arrays, CheckFn check) {
    std::vector<uint8_t> good(size, 0xFF);
    for (const StringArray& a : arrays)
        WriteLe16(&good[a.offset + 2 * 5], 0);
    ASSERT_TRUE(check(good.data()));
    for (const StringArray& a : arrays) {
        SCOPED_TRACE(a.name);
        // Units whose bytes hold zeros but are not zero themselves: no terminator.
        for (uint16_t unit : {uint16_t(0x4141), uint16_t(0x0100), uint16_t(0x0001)}) {
            std::vector<uint8_t> bytes = good;
            for (size_t i = 0; i < a.chars; ++i)
                WriteLe16(&bytes[a.offset + 2 * i], unit);
            EXPECT_FALSE(check(bytes.data())) << "unit " << unit;
            // The terminator in the array's last unit, or in its first: terminated.
            WriteLe16(&bytes[a.offset + 2 * (a.chars - 1)], 0);
            EXPECT_TRUE(check(bytes.data()));
            WriteLe16(&bytes[a.offset + 2 * (a.chars - 1)], unit);
            WriteLe16(&bytes[a.offset], 0);
            EXPECT_TRUE(check(bytes.data()));
            // A zero unit just behind the array does not count.
            WriteLe16(&bytes[a.offset], unit);
            if (a.offset + 2 * a.chars + 2 <= size) {
                WriteLe16(&bytes[a.offset + 2 * a.chars], 0);
                EXPECT_FALSE(check(bytes.data()));
            }
        }
    }
}

} // namespace

TEST(TerminatedStrings, EveryStringOfTheCurrentFormIsChecked) {
    ExpectEachStringIsChecked(VPNCONFIG::kSize,
                              {{"Name", VPNCONFIG::kOffName, 33},
                               {"PreSharedKey", VPNCONFIG::kOffPreSharedKey, 129},
                               {"Server", VPNCONFIG::kOffServer, 256},
                               {"UserName", VPNCONFIG::kOffUserName, 65},
                               {"Password", VPNCONFIG::kOffPassword, 65}},
                              &VPNCONFIG::HasTerminatedStrings);
}

TEST(TerminatedStrings, EveryStringOfTheOlderFormIsChecked) {
    ExpectEachStringIsChecked(VPNCONFIG_1694::kSize,
                              {{"Name", 0, 33},
                               {"PreSharedKey", 66, 33},
                               {"Server", 136, 256},
                               {"UserName", 670, 256},
                               {"Password", 1182, 256}},
                              &VPNCONFIG_1694::HasTerminatedStrings);
}

TEST(TerminatedStrings, ServerIsCheckedAsAHostNameWhateverItsFlagAndNoOtherFieldCounts) {
    struct Case {
        const char* name;
        uint32_t serverIsIpAddress;
        bool fillBehindAddress; // nonzero units from the address up to the end of Server
        bool expected;
    } cases[] = {
        {"address, zeros behind", 1, false, true},
        {"address, text behind to the end", 1, true, false},
        {"odd flag, zeros behind", 7, false, true},
        {"host form, text to the end", 0, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        VPNCONFIG r = VPNCONFIG::Default(0);
        const uint8_t address[4] = {10, 20, 30, 1};
        r.SetServerAddress(address);
        r.ServerIsIpAddress = c.serverIsIpAddress;
        // The records give meaning to values other than 0 and 1: none of these refuses a record.
        r.NoDestinationNetwork = 2;
        r.DnsAddressSet = 0xFFFFFFFFu;
        r.UseRemoteGateway = 0x80000000u;
        r.Reserved = 0xDEADBEEFu;
        r.AuthProtocol = 0xFF;
        r.DestinationPrefixLength = 200;
        std::vector<uint8_t> bytes = r.ToBytes();
        if (c.fillBehindAddress)
            for (size_t i = 2; i < VPNCONFIG::kServerChars; ++i)
                WriteLe16(&bytes[VPNCONFIG::kOffServer + 2 * i], 0x2E61);
        EXPECT_EQ(VPNCONFIG::HasTerminatedStrings(bytes.data()), c.expected);
    }
}

// What the store makes of any bytes, from the pipe or converted from an older form, passes;
// the bytes themselves almost never do.
TEST(TerminatedStrings, SanitizedAndConvertedRecordsPassWhileRandomBytesFail) {
    for (unsigned seed = 1; seed <= 200; ++seed) {
        SCOPED_TRACE(seed);
        const std::vector<uint8_t> current = RandomImage(VPNCONFIG::kSize, seed);
        ASSERT_FALSE(VPNCONFIG::HasTerminatedStrings(current.data()));
        VPNCONFIG sanitized = VPNCONFIG::FromBytes(current.data());
        sanitized.Sanitize();
        ASSERT_TRUE(VPNCONFIG::HasTerminatedStrings(sanitized.ToBytes().data()));

        const std::vector<uint8_t> older = RandomImage(VPNCONFIG_1698::kSize, seed + 1000);
        ASSERT_FALSE(VPNCONFIG_1694::HasTerminatedStrings(older.data()));
        for (OldRecordForm form : {OldRecordForm::Form1694, OldRecordForm::Form1698}) {
            VPNCONFIG converted = VPNCONFIG::FromBytes(current.data()); // converted over noise
            ConvertOldRecord(older.data(), form, converted);
            ASSERT_TRUE(VPNCONFIG::HasTerminatedStrings(converted.ToBytes().data()));
        }
    }
}

TEST(ApplyAuthInfo, ReplacesOnlyTheCredentialsBounded) {
    std::vector<uint8_t> bytes(AUTHINFO::kSize, 0x43); // strings without terminator
    AUTHINFO auth = AUTHINFO::FromBytes(bytes.data());
    VPNCONFIG r = VPNCONFIG::Default(2);
    CopyToFixed(r.PreSharedKey, u"key");
    const auto before = r.ToBytes();
    ApplyAuthInfo(auth, r);
    EXPECT_EQ(FixedToString(r.UserName), std::u16string(64, u'\u4343'));
    EXPECT_EQ(FixedToString(r.Password), std::u16string(64, u'\u4343'));
    const auto after = r.ToBytes();
    EXPECT_TRUE(std::equal(before.begin(), before.begin() + VPNCONFIG::kOffUserName, after.begin()));
}
