#include "SettingsTransfer.h"

#include "ByteOrder.h"
#include "FixedString.h"
#include "StoreTestFiles.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

using namespace corvel;
using namespace corvel::testing;

namespace {

VPNCONFIG StoredForm(size_t i) {
    VPNCONFIG r;
    CopyToFixed(r.Name, u"設定" + Num(i));
    CopyToFixed(r.PreSharedKey, u"key-" + Num(i));
    r.ServerIsIpAddress = 0;
    r.SetServerHostName(u"vpn" + Num(i) + u".example.org");
    r.AuthProtocol = uint8_t(i % 4);
    r.NoDestinationNetwork = 1;
    r.UseRemoteGateway = 0;
    r.Reserved = uint32_t(i);
    CopyToFixed(r.UserName, u"user" + Num(i));
    CopyToFixed(r.Password, u"pw" + Num(i));
    return r;
}

// A fake pipe client: counts the calls and fails them on request.
class CFakeIdentity : public CPipeClientIdentity {
public:
    DWORD impersonateResult = 0, revertResult = 0;
    int impersonations = 0, reverts = 0;
    DWORD Impersonate() override {
        ++impersonations;
        return impersonateResult;
    }
    DWORD Revert() override {
        ++reverts;
        return revertResult;
    }
};

// A store on a scratch folder holding StoredForm(0..19).
struct StoreFixture {
    CTestFolder folder;
    std::unique_ptr<CDotDatSemaphore> store;
    StoreFixture() {
        store = std::make_unique<CDotDatSemaphore>(folder.Path().c_str());
        EXPECT_EQ(store->Init(), 0u);
        for (uint8_t i = 0; i < kVpnCount; ++i)
            EXPECT_EQ(store->SetVpnConfig(i, StoredForm(i).ToBytes().data()), 0u);
    }
    std::vector<uint8_t> Record(uint8_t index) {
        std::vector<uint8_t> r(VPNCONFIG::kSize);
        EXPECT_EQ(store->GetVpnConfig(r.data(), index), 0u);
        return r;
    }
    std::vector<uint8_t> All() {
        std::vector<uint8_t> all;
        for (uint8_t i = 0; i < kVpnCount; ++i) {
            const std::vector<uint8_t> r = Record(i);
            all.insert(all.end(), r.begin(), r.end());
        }
        return all;
    }
    std::vector<uint8_t> DataFile() { return ReadWholeFile(folder.File(kDataFileName)); }
};

std::vector<uint8_t> Records(std::initializer_list<size_t> indices) {
    std::vector<uint8_t> bytes;
    for (size_t i : indices) {
        const std::vector<uint8_t> r = StoredForm(i).ToBytes();
        bytes.insert(bytes.end(), r.begin(), r.end());
    }
    return bytes;
}

std::vector<uint8_t> AllRecords() {
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i < kVpnCount; ++i) {
        const std::vector<uint8_t> r = StoredForm(100 + i).ToBytes();
        bytes.insert(bytes.end(), r.begin(), r.end());
    }
    return bytes;
}

bool OpensExclusively(const std::wstring& path) {
    UniqueFile file(
        ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    return bool(file);
}

std::vector<uint8_t> RandomBytes(size_t size, unsigned seed) {
    std::mt19937 engine(seed);
    std::vector<uint8_t> bytes(size);
    for (uint8_t& b : bytes)
        b = uint8_t(engine());
    return bytes;
}

// A string array of a record image filled to its end with text, no terminator.
void FillWithoutTerminator(std::vector<uint8_t>& bytes, size_t offset, size_t chars) {
    for (size_t i = 0; i < chars; ++i)
        WriteLe16(&bytes[offset + 2 * i], uint16_t(u'a' + i % 26));
}

struct StringArray {
    const char* name;
    size_t offset;
    size_t chars;
};
constexpr StringArray kStrings[] = {
    {"Name", VPNCONFIG::kOffName, VPNCONFIG::kNameChars},
    {"PreSharedKey", VPNCONFIG::kOffPreSharedKey, VPNCONFIG::kPreSharedKeyChars},
    {"Server", VPNCONFIG::kOffServer, VPNCONFIG::kServerChars},
    {"UserName", VPNCONFIG::kOffUserName, VPNCONFIG::kUserNameChars},
    {"Password", VPNCONFIG::kOffPassword, VPNCONFIG::kPasswordChars},
};

} // namespace

// --- Export ---

TEST(Export, AllConnectionsGiveExactlyTheTwentyStoredRecords) {
    StoreFixture s;
    CFakeIdentity identity;
    const std::wstring path = s.folder.File(L"all.bin");
    WriteWholeFile(path, std::vector<uint8_t>(40000, 0x11)); // replaced, not overwritten in part
    ASSERT_EQ(ExportSettingsFile(*s.store, path.c_str(), 0, identity), 0u);
    const std::vector<uint8_t> file = ReadWholeFile(path);
    ASSERT_EQ(file.size(), kSettingsFileAll);
    EXPECT_EQ(Rc4(file, Key::SettingsFile), s.All());
    EXPECT_EQ(identity.impersonations, 1);
    EXPECT_EQ(identity.reverts, 1);

    ASSERT_EQ(ExportSettingsFile(*s.store, path.c_str(), 20, identity), 0u);
    EXPECT_EQ(Rc4(ReadWholeFile(path), Key::SettingsFile), s.Record(19));
}

TEST(Export, FailuresTouchNoFile) {
    struct Case {
        const char* name;
        uint8_t selection;
        DWORD impersonateResult, revertResult, expected;
    } cases[] = {
        {"selection 21", 21, 0, 0, ERROR_INVALID_PARAMETER},
        {"impersonation fails", 1, ERROR_CANNOT_IMPERSONATE, 0, ERROR_CANNOT_IMPERSONATE},
        {"revert fails", 1, 0, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED},
    };
    StoreFixture s;
    const std::vector<uint8_t> dataFile = s.DataFile();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CFakeIdentity identity;
        identity.impersonateResult = c.impersonateResult;
        identity.revertResult = c.revertResult;
        const std::wstring existing = s.folder.File(L"existing.bin");
        const std::vector<uint8_t> before(kSettingsFileOne, 0x42);
        WriteWholeFile(existing, before);
        EXPECT_EQ(ExportSettingsFile(*s.store, existing.c_str(), c.selection, identity), c.expected);
        EXPECT_EQ(ReadWholeFile(existing), before);
        EXPECT_TRUE(OpensExclusively(existing));

        const std::wstring absent = s.folder.File(L"absent.bin");
        const DWORD result = ExportSettingsFile(*s.store, absent.c_str(), c.selection, identity);
        EXPECT_EQ(result, c.expected);
        // A failed return to the service's identity comes after the creation.
        if (c.revertResult == 0) {
            EXPECT_FALSE(FileExists(absent));
        }
        ::DeleteFileW(absent.c_str());
        EXPECT_EQ(identity.impersonations, c.selection > 20 ? 0 : 2);
        EXPECT_EQ(identity.reverts, c.impersonateResult || c.selection > 20 ? 0 : 2);
    }
    EXPECT_EQ(s.DataFile(), dataFile);
}

// --- Import ---

struct ImportCase {
    const char* name;
    std::vector<uint8_t> plain; // encrypted with the settings-file key; empty: no file
    uint8_t selection;
    bool active;
    DWORD expected;
};

TEST(Import, RefusedImportsChangeNothing) {
    const ImportCase cases[] = {
        {"selection 3, all connections", AllRecords(), 3, false, ERROR_INVALID_DATA},
        {"selection 0, one connection", Records({7}), 0, false, ERROR_INVALID_DATA},
        {"one byte short", std::vector<uint8_t>(kSettingsFileOne - 1, 1), 1, false, ERROR_INVALID_DATA},
        {"selection 21", Records({7}), 21, false, ERROR_INVALID_PARAMETER},
        {"connection active", Records({7}), 1, true, ERROR_ACCESS_DENIED},
        {"missing file", {}, 1, false, ERROR_FILE_NOT_FOUND},
    };
    StoreFixture s;
    const std::vector<uint8_t> records = s.All(), dataFile = s.DataFile();
    for (const ImportCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring path = s.folder.File(L"import.bin");
        ::DeleteFileW(path.c_str());
        if (!c.plain.empty())
            WriteWholeFile(path, Rc4(c.plain, Key::SettingsFile));
        CFakeIdentity identity;
        EXPECT_EQ(ImportSettingsFile(*s.store, path.c_str(), c.selection, c.active, identity), c.expected);
        EXPECT_EQ(identity.impersonations, c.active ? 0 : 1) << "the file is opened only when allowed";
        EXPECT_EQ(identity.reverts, identity.impersonations);
        if (!c.plain.empty()) {
            EXPECT_TRUE(OpensExclusively(path)) << "the file must be closed";
        }
        EXPECT_EQ(s.All(), records);
    }
    EXPECT_EQ(s.DataFile(), dataFile);
}

// Files of a size the selection takes that hold no settings: noise, a real export under
// another key, or settings of which one record has a string without its terminator.
TEST(Import, AFileThatHoldsNoSettingsIsRefusedAndStoresNothing) {
    struct Case {
        std::string name;
        std::vector<uint8_t> file; // as it lies on disk
        uint8_t selection;
    };
    std::vector<Case> cases = {
        {"22520 random bytes", RandomBytes(kSettingsFileAll, 1), 0},
        {"1126 random bytes", RandomBytes(kSettingsFileOne, 2), 4},
        {"33880 random bytes", RandomBytes(kSettingsFileOldAll, 3), 0},
        {"1694 random bytes", RandomBytes(kSettingsFileOldOne, 4), 4},
        {"all, under the data-file key", Rc4(AllRecords(), Key::DataFile), 0},
        {"one, under the data-file key", Rc4(Records({7}), Key::DataFile), 2},
    };
    for (const StringArray& f : kStrings) {
        // The last record is bad: the 19 before it are not stored either.
        std::vector<uint8_t> plain = AllRecords();
        FillWithoutTerminator(plain, 19 * VPNCONFIG::kSize + f.offset, f.chars);
        cases.push_back(
            {std::string("record 20 of 20, ") + f.name + " unterminated", Rc4(plain, Key::SettingsFile), 0});
    }
    {
        // An address in Server's first bytes, then text to the end of the array.
        std::vector<uint8_t> plain = Records({7});
        plain[VPNCONFIG::kOffServerIsIpAddress] = 1;
        FillWithoutTerminator(plain, VPNCONFIG::kOffServer, VPNCONFIG::kServerChars);
        cases.push_back({"an address with text behind it", Rc4(plain, Key::SettingsFile), 1});
    }
    {
        std::vector<uint8_t> plain(kSettingsFileOldAll);
        for (size_t i = 0; i < kVpnCount; ++i) {
            VPNCONFIG_1694 old;
            CopyToFixed(old.Name, u"古い" + Num(i));
            old.Write(plain.data() + i * VPNCONFIG_1694::kSize);
        }
        FillWithoutTerminator(plain, 5 * VPNCONFIG_1694::kSize + VPNCONFIG_1694::kOffPassword,
                              OldVpnConfigFields::kPasswordChars);
        cases.push_back({"older form, record 6's password unterminated", Rc4(plain, Key::SettingsFile), 0});
    }

    StoreFixture s;
    const std::vector<uint8_t> records = s.All(), dataFile = s.DataFile();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring path = s.folder.File(L"noise.bin");
        WriteWholeFile(path, c.file);
        CFakeIdentity identity;
        EXPECT_EQ(ImportSettingsFile(*s.store, path.c_str(), c.selection, false, identity),
                  DWORD(ERROR_INVALID_DATA));
        EXPECT_TRUE(OpensExclusively(path)) << "the file must be closed";
        EXPECT_EQ(s.All(), records);
        EXPECT_EQ(s.DataFile(), dataFile) << "corvel.dat byte for byte";
    }
}

// Strings that end only in their arrays' last units, and 32-bit fields of any value.
TEST(Import, StringsEndingInTheirLastUnitAndAny32BitValuesAreStored) {
    std::vector<uint8_t> plain = AllRecords();
    for (size_t i = 0; i < kVpnCount; ++i) {
        uint8_t* record = plain.data() + i * VPNCONFIG::kSize;
        for (const StringArray& f : kStrings) {
            std::vector<uint8_t> r(record, record + VPNCONFIG::kSize);
            FillWithoutTerminator(r, f.offset, f.chars - 1);
            WriteLe16(&r[f.offset + 2 * (f.chars - 1)], 0);
            std::memcpy(record, r.data(), r.size());
        }
        for (size_t offset : {VPNCONFIG::kOffServerIsIpAddress, VPNCONFIG::kOffNoDestinationNetwork,
                              VPNCONFIG::kOffDnsAddressSet, VPNCONFIG::kOffUseRemoteGateway})
            WriteLe32(record + offset, 0xFFFFFFF0u + uint32_t(i));
    }
    StoreFixture s;
    const std::wstring path = s.folder.File(L"full.bin");
    WriteWholeFile(path, Rc4(plain, Key::SettingsFile));
    CFakeIdentity identity;
    ASSERT_EQ(ImportSettingsFile(*s.store, path.c_str(), 0, false, identity), 0u);
    EXPECT_EQ(s.All(), plain);
}

// Whatever a peer saved (strings without terminators, item 25 included) and whatever the
// store converted from an older data file, every file that export writes imports again and
// brings back exactly what was exported.
TEST(Import, EveryFileThatExportWritesImportsAgain) {
    std::vector<std::pair<std::string, size_t>> dataFiles = {
        {"records saved by a peer", 0},
        {"a data file of 23093 bytes", DotDatRecord::kSize},
        {"a data file of 34453 bytes", DotDatRecord::kSize1694},
        {"a data file of 34533 bytes", DotDatRecord::kSize1698},
    };
    unsigned seed = 100;
    for (const auto& [name, size] : dataFiles) {
        SCOPED_TRACE(name);
        CTestFolder folder;
        if (size != 0) {
            // Noise, and text without a terminator anywhere: all strings unterminated.
            std::vector<uint8_t> plain = RandomBytes(size, ++seed);
            std::fill(plain.begin() + long(size - 4000), plain.end(), uint8_t(0x41));
            WriteWholeFile(folder.File(kDataFileName), Rc4(plain, Key::DataFile));
        }
        CDotDatSemaphore store(folder.Path().c_str());
        store.SetRetryPause(0);
        ASSERT_EQ(store.Init(), 0u);
        if (size == 0) {
            for (uint8_t i = 0; i < kVpnCount; ++i) {
                std::vector<uint8_t> record = i % 2 ? RandomBytes(VPNCONFIG::kSize, ++seed)
                                                    : std::vector<uint8_t>(VPNCONFIG::kSize, 0x41);
                ASSERT_EQ(store.SetVpnConfig(i, record.data()), 0u);
            }
            std::vector<uint8_t> auth(AUTHINFO::kSize, 0x42);
            auth[AUTHINFO::kOffVpnIndex] = 3;
            ASSERT_EQ(store.SetAuthInfo(auth.data()), 0u);
        }
        auto all = [&] {
            std::vector<uint8_t> bytes(kSettingsFileAll);
            for (uint8_t i = 0; i < kVpnCount; ++i)
                EXPECT_EQ(store.GetVpnConfig(bytes.data() + i * VPNCONFIG::kSize, i), 0u);
            return bytes;
        };
        const std::vector<uint8_t> before = all();
        CFakeIdentity identity;
        const std::wstring path = folder.File(L"export.bin");
        ASSERT_EQ(ExportSettingsFile(store, path.c_str(), 0, identity), 0u);
        EXPECT_EQ(ImportSettingsFile(store, path.c_str(), 0, false, identity), 0u);
        EXPECT_EQ(all(), before);
        for (uint8_t k = 1; k <= kVpnCount; ++k) {
            ASSERT_EQ(ExportSettingsFile(store, path.c_str(), k, identity), 0u);
            EXPECT_EQ(ImportSettingsFile(store, path.c_str(), k, false, identity), 0u) << int(k);
        }
        EXPECT_EQ(all(), before);
    }
}

TEST(Import, AnEmptyPathFailsWithTheOpenError) {
    StoreFixture s;
    UniqueFile probe(::CreateFileW(L"", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_FALSE(bool(probe));
    const DWORD openError = ::GetLastError();
    CFakeIdentity identity;
    EXPECT_EQ(ImportSettingsFile(*s.store, L"", 1, false, identity), openError);
    EXPECT_NE(openError, 0u);
}

TEST(Import, OneRecordGoesToTheSelectedConnection) {
    StoreFixture from, to;
    CFakeIdentity identity;
    const std::wstring path = from.folder.File(L"twelve.bin");
    ASSERT_EQ(ExportSettingsFile(*from.store, path.c_str(), 12, identity), 0u);
    ASSERT_EQ(ImportSettingsFile(*to.store, path.c_str(), 5, false, identity), 0u);
    EXPECT_EQ(to.Record(4), from.Record(11));
    for (uint8_t i = 0; i < kVpnCount; ++i) {
        if (i != 4) {
            EXPECT_EQ(to.Record(i), StoredForm(i).ToBytes()) << int(i);
        }
    }
    EXPECT_TRUE(OpensExclusively(path));

    // And it is saved.
    CDotDatSemaphore reloaded(to.folder.Path().c_str());
    ASSERT_EQ(reloaded.Init(), 0u);
    std::vector<uint8_t> r(VPNCONFIG::kSize);
    ASSERT_EQ(reloaded.GetVpnConfig(r.data(), 4), 0u);
    EXPECT_EQ(r, from.Record(11));
}

TEST(Import, AllConnectionsOfTheOlderFormAreConverted) {
    StoreFixture s;
    std::vector<uint8_t> plain(kSettingsFileOldAll);
    for (size_t i = 0; i < kVpnCount; ++i) {
        VPNCONFIG_1694 old;
        CopyToFixed(old.Name, u"古い" + Num(i));
        CopyToFixed(old.PreSharedKey, u"");
        old.ServerIsIpAddress = 1;
        const uint8_t address[4] = {10, 0, 0, uint8_t(i + 1)};
        std::memcpy(old.Server, address, 4);
        CopyToFixed(old.UserName, std::u16string(100, u'u')); // more than VPNCONFIG holds
        old.Write(plain.data() + i * VPNCONFIG_1694::kSize);
    }
    const std::wstring path = s.folder.File(L"old.bin");
    WriteWholeFile(path, Rc4(plain, Key::SettingsFile));
    CFakeIdentity identity;
    ASSERT_EQ(ImportSettingsFile(*s.store, path.c_str(), 0, false, identity), 0u);
    for (uint8_t i = 0; i < kVpnCount; ++i) {
        SCOPED_TRACE(int(i));
        const VPNCONFIG r = VPNCONFIG::FromBytes(s.Record(i).data());
        EXPECT_EQ(FixedToString(r.Name), u"古い" + Num(i));
        EXPECT_EQ(FixedToString(r.PreSharedKey), u"");
        EXPECT_EQ(r.UseRemoteGateway, 1u);
        EXPECT_EQ(r.ServerIsIpAddress, 1u);
        EXPECT_EQ(r.Server[3], i + 1);
        EXPECT_EQ(FixedToString(r.UserName), std::u16string(64, u'u'));
        // The old key's text is gone, not only cut.
        for (char16_t c : r.PreSharedKey)
            ASSERT_EQ(c, u'\0');
    }
}

TEST(Import, AStoreErrorStopsTheImportAfterTheRecordsBeforeIt) {
    class CFailingStore : public CDotDatSemaphore {
    public:
        using CDotDatSemaphore::CDotDatSemaphore;
        DWORD SetVpnConfig(uint8_t index, const uint8_t* record) override {
            if (index == 7)
                return ERROR_DISK_FULL;
            return CDotDatSemaphore::SetVpnConfig(index, record);
        }
    };
    CTestFolder folder;
    CFailingStore store(folder.Path().c_str());
    ASSERT_EQ(store.Init(), 0u);
    const std::wstring path = folder.File(L"all.bin");
    const std::vector<uint8_t> all = AllRecords();
    WriteWholeFile(path, Rc4(all, Key::SettingsFile));
    CFakeIdentity identity;
    EXPECT_EQ(ImportSettingsFile(store, path.c_str(), 0, false, identity), DWORD(ERROR_DISK_FULL));
    for (uint8_t i = 0; i < kVpnCount; ++i) {
        std::vector<uint8_t> r(VPNCONFIG::kSize);
        ASSERT_EQ(store.GetVpnConfig(r.data(), i), 0u);
        EXPECT_EQ(r, i < 7 ? StoredForm(100 + i).ToBytes() : VPNCONFIG::Default(i).ToBytes()) << int(i);
    }
    EXPECT_TRUE(OpensExclusively(path));
}

TEST(Import, AFailedImpersonationOrRevertStoresNothing) {
    StoreFixture s;
    const std::vector<uint8_t> records = s.All(), dataFile = s.DataFile();
    const std::wstring path = s.folder.File(L"one.bin");
    WriteWholeFile(path, Rc4(Records({9}), Key::SettingsFile));
    for (bool failRevert : {false, true}) {
        SCOPED_TRACE(failRevert ? "revert" : "impersonate");
        CFakeIdentity identity;
        (failRevert ? identity.revertResult : identity.impersonateResult) = ERROR_CANNOT_IMPERSONATE;
        EXPECT_EQ(ImportSettingsFile(*s.store, path.c_str(), 2, false, identity),
                  DWORD(ERROR_CANNOT_IMPERSONATE));
        EXPECT_EQ(identity.reverts, failRevert ? 1 : 0);
        EXPECT_TRUE(OpensExclusively(path));
        EXPECT_EQ(s.All(), records);
    }
    EXPECT_EQ(s.DataFile(), dataFile);
}
