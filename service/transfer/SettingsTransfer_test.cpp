#include "SettingsTransfer.h"

#include "ByteOrder.h"
#include "FixedString.h"
#include "StoreTestFiles.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
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
