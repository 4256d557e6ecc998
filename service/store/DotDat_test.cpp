#include "DotDat.h"

#include "ByteOrder.h"
#include "FixedString.h"
#include "StoreTestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

using namespace corvel;
using namespace corvel::testing;

namespace {

// What the fixtures put into record i, in whichever form.
struct Fields {
    std::u16string name, psk, host, user, password;
    uint32_t reserved;
};
Fields FieldsOf(size_t i) {
    return {u"設定" + Num(i), u"key-" + Num(i), u"vpn" + Num(i) + u".example.org",
            u"user" + Num(i), u"pw" + Num(i),   uint32_t(0x100 + i)};
}

VPNCONFIG CurrentRecord(const Fields& f, uint32_t useRemoteGateway) {
    VPNCONFIG r;
    CopyToFixed(r.Name, f.name);
    CopyToFixed(r.PreSharedKey, f.psk);
    r.ServerIsIpAddress = 0;
    r.SetServerHostName(f.host);
    r.AuthProtocol = 2;
    r.NoDestinationNetwork = 1;
    r.DnsAddressSet = 0;
    r.UseRemoteGateway = useRemoteGateway;
    r.Reserved = f.reserved;
    CopyToFixed(r.UserName, f.user);
    CopyToFixed(r.Password, f.password);
    return r;
}

template <class Old> Old OldRecord(const Fields& f) {
    Old r;
    CopyToFixed(r.Name, f.name);
    CopyToFixed(r.PreSharedKey, f.psk);
    r.ServerIsIpAddress = 0;
    std::vector<uint8_t> host(sizeof r.Server, 0);
    WriteUtf16Le(host.data(), f.host.data(), f.host.size());
    std::memcpy(r.Server, host.data(), host.size());
    r.AuthProtocol = 2;
    r.NoDestinationNetwork = 1;
    r.Reserved = f.reserved;
    CopyToFixed(r.UserName, f.user);
    CopyToFixed(r.Password, f.password);
    return r;
}

// Reserved block and LogInfo of the fixtures: a pattern the store must carry through.
std::vector<uint8_t> Head() {
    std::vector<uint8_t> head(DotDatRecord::kOffRecords, 0);
    for (size_t i = 0; i < DotDatRecord::kReservedBlockSize; ++i)
        head[i] = uint8_t(0xC0 + i);
    LogInfo log;
    log.LogLevel = 1;
    CopyToFixed(log.LogText, u"log text");
    log.Write(head.data() + DotDatRecord::kOffLogInfo);
    return head;
}

std::vector<uint8_t> CurrentImage(uint32_t useRemoteGateway = 0) {
    std::vector<uint8_t> image = Head();
    image.resize(DotDatRecord::kSize);
    for (size_t i = 0; i < kVpnCount; ++i)
        CurrentRecord(FieldsOf(i), useRemoteGateway).Write(image.data() + DotDatRecord::RecordOffset(i));
    return image;
}

template <class Old> std::vector<uint8_t> OldImage() {
    std::vector<uint8_t> image = Head();
    image.resize(DotDatRecord::kOffRecords + kVpnCount * Old::kSize);
    for (size_t i = 0; i < kVpnCount; ++i) {
        Old r = OldRecord<Old>(FieldsOf(i));
        if constexpr (std::is_same_v<Old, VPNCONFIG_1698>)
            r.Unconverted = 0xDEADBEEF;
        r.Write(image.data() + DotDatRecord::kOffRecords + i * Old::kSize);
    }
    return image;
}

std::vector<uint8_t> DefaultImage() {
    std::vector<uint8_t> image(DotDatRecord::kSize);
    FillDefaultImage(image.data());
    return image;
}

std::vector<uint8_t> StoredRecord(CDotDat& store, uint8_t index) {
    std::vector<uint8_t> r(VPNCONFIG::kSize);
    EXPECT_EQ(store.GetVpnConfig(r.data(), index), 0u);
    return r;
}

// The whole image as the store serves it (the reserved block is not served: taken from `head`).
std::vector<uint8_t> ServedImage(CDotDat& store, const std::vector<uint8_t>& head) {
    std::vector<uint8_t> image(head.begin(), head.begin() + DotDatRecord::kReservedBlockSize);
    image.resize(DotDatRecord::kSize);
    EXPECT_EQ(store.GetLogInfo(image.data() + DotDatRecord::kOffLogInfo), 0u);
    for (uint8_t i = 0; i < kVpnCount; ++i)
        EXPECT_EQ(store.GetVpnConfig(image.data() + DotDatRecord::RecordOffset(i), i), 0u);
    return image;
}

std::vector<uint8_t> DecryptedDataFile(const CTestFolder& folder) {
    return Rc4(ReadWholeFile(folder.File(kDataFileName)), Key::DataFile);
}

} // namespace

// --- Load by file size ---

struct LoadCase {
    const char* name;
    bool present;
    std::vector<uint8_t> plain;    // the file's content before encryption
    std::vector<uint8_t> expected; // the image the store must then hold and write back
    bool rewritten;                // false: the file stays byte for byte as it was
};

TEST(DotDatLoad, ByFileSize) {
    std::vector<uint8_t> junk(DotDatRecord::kSize - 1);
    for (size_t i = 0; i < junk.size(); ++i)
        junk[i] = uint8_t(i * 31);
    const std::vector<uint8_t> converted = CurrentImage(1); // the older forms hold no gateway flag
    const LoadCase cases[] = {
        {"23093", true, CurrentImage(), CurrentImage(), true},
        {"34453", true, OldImage<VPNCONFIG_1694>(), converted, true},
        {"34533", true, OldImage<VPNCONFIG_1698>(), converted, true},
        {"23092", true, junk, DefaultImage(), false},
        {"empty", true, {}, DefaultImage(), false},
        {"missing", false, {}, DefaultImage(), false},
    };
    for (const LoadCase& c : cases) {
        SCOPED_TRACE(c.name);
        CTestFolder folder;
        const std::wstring path = folder.File(kDataFileName);
        const std::vector<uint8_t> before = Rc4(c.plain, Key::DataFile);
        if (c.present)
            WriteWholeFile(path, before);

        CDotDatSemaphore store(folder.Path().c_str());
        ASSERT_EQ(store.Init(), 0u);

        std::vector<uint8_t> expected = c.expected;
        if (!c.rewritten)
            std::fill(expected.begin(), expected.begin() + DotDatRecord::kOffRecords, 0);
        EXPECT_EQ(ServedImage(store, expected), expected);
        if (c.rewritten) {
            EXPECT_EQ(DecryptedDataFile(folder), c.expected);
        } else {
            // A missing file is created empty; any other stays as it was.
            EXPECT_EQ(ReadWholeFile(path), before);
        }
        EXPECT_FALSE(FileExists(path + kDataFileTempSuffix));
    }
}

TEST(DotDatLoad, FailureAtEachLoadCallKeepsTheDefaultsAndTheFile) {
    class CFailAt : public CStoreFileOps {
    public:
        int failAt = -1, calls = 0;
        bool Fail() { return calls++ == failAt; }
        CWin32StoreFileOps& real = CWin32StoreFileOps::GetInstance();
        DWORD OpenDataFile(const wchar_t* p, UniqueFile& f) override {
            return Fail() ? ERROR_WRITE_PROTECT : real.OpenDataFile(p, f);
        }
        DWORD GetSize(HANDLE f, uint64_t& s) override {
            return Fail() ? ERROR_WRITE_PROTECT : real.GetSize(f, s);
        }
        DWORD Read(HANDLE f, uint8_t* b, DWORD n) override {
            return Fail() ? ERROR_WRITE_PROTECT : real.Read(f, b, n);
        }
        DWORD CreateTemp(const wchar_t* p, UniqueFile& f) override { return real.CreateTemp(p, f); }
        DWORD Write(HANDLE f, const uint8_t* b, DWORD n) override { return real.Write(f, b, n); }
        DWORD Flush(HANDLE f) override { return real.Flush(f); }
        DWORD Close(UniqueFile& f) override { return real.Close(f); }
        DWORD Replace(const wchar_t* a, const wchar_t* b) override { return real.Replace(a, b); }
        DWORD Remove(const wchar_t* p) override { return real.Remove(p); }
    };
    const std::vector<uint8_t> file = Rc4(CurrentImage(), Key::DataFile);
    for (int failAt = 0; failAt < 3; ++failAt) {
        SCOPED_TRACE(failAt);
        CTestFolder folder;
        WriteWholeFile(folder.File(kDataFileName), file);
        CFailAt ops;
        ops.failAt = failAt;
        CDotDatSemaphore store(folder.Path().c_str(), &ops);
        EXPECT_EQ(store.Init(), failAt == 0 ? DWORD(ERROR_WRITE_PROTECT) : 0u);
        EXPECT_EQ(StoredRecord(store, 0), VPNCONFIG::Default(0).ToBytes());
        EXPECT_EQ(ReadWholeFile(folder.File(kDataFileName)), file);
    }
}

// --- Storing and saving ---

TEST(DotDat, RoundTripWritesExactlyTheImage) {
    CTestFolder folder;
    CDotDatSemaphore store(folder.Path().c_str());
    ASSERT_EQ(store.Init(), 0u);
    EXPECT_EQ(ReadWholeFile(folder.File(kDataFileName)).size(), 0u) << "a missing file is created empty";

    const std::vector<uint8_t> image = CurrentImage(1);
    for (uint8_t i = 0; i < kVpnCount; ++i)
        ASSERT_EQ(store.SetVpnConfig(i, image.data() + DotDatRecord::RecordOffset(i)), 0u);
    ASSERT_EQ(store.SetLogInfo(image.data() + DotDatRecord::kOffLogInfo), 0u);

    std::vector<uint8_t> expected = image;
    std::fill(expected.begin(), expected.begin() + DotDatRecord::kReservedBlockSize, 0);
    EXPECT_EQ(ServedImage(store, expected), expected);
    EXPECT_EQ(DecryptedDataFile(folder), expected);

    CDotDatSemaphore reloaded(folder.Path().c_str());
    ASSERT_EQ(reloaded.Init(), 0u);
    EXPECT_EQ(ServedImage(reloaded, expected), expected);
}

TEST(DotDat, IndexOutOfRangeIsRefusedAndTheFileUntouched) {
    CTestFolder folder;
    WriteWholeFile(folder.File(kDataFileName), Rc4(CurrentImage(), Key::DataFile));
    CDotDatSemaphore store(folder.Path().c_str());
    ASSERT_EQ(store.Init(), 0u);
    const std::vector<uint8_t> before = ReadWholeFile(folder.File(kDataFileName));

    std::vector<uint8_t> record = VPNCONFIG::Default(0).ToBytes();
    AUTHINFO credentials;
    credentials.VpnIndex = 20;
    CopyToFixed(credentials.UserName, u"someone");
    for (uint8_t index : {uint8_t(20), uint8_t(255)}) {
        EXPECT_EQ(store.GetVpnConfig(record.data(), index), DWORD(ERROR_INVALID_PARAMETER));
        EXPECT_EQ(store.SetVpnConfig(index, record.data()), DWORD(ERROR_INVALID_PARAMETER));
        credentials.VpnIndex = index;
        EXPECT_EQ(store.SetAuthInfo(credentials.ToBytes().data()), DWORD(ERROR_INVALID_PARAMETER));
    }
    EXPECT_EQ(ReadWholeFile(folder.File(kDataFileName)), before);
    EXPECT_EQ(ServedImage(store, CurrentImage()), CurrentImage());
}

TEST(DotDat, LogInfoRules) {
    CTestFolder folder;
    CDotDatSemaphore store(folder.Path().c_str());
    ASSERT_EQ(store.Init(), 0u);

    std::vector<uint8_t> block(LogInfo::kSize, 'a'); // LogText without a terminator
    block[0] = 2;
    EXPECT_EQ(store.SetLogInfo(block.data()), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(ReadWholeFile(folder.File(kDataFileName)).size(), 0u);

    block[0] = 1;
    ASSERT_EQ(store.SetLogInfo(block.data()), 0u);
    std::vector<uint8_t> expected = block;
    expected[LogInfo::kSize - 2] = expected[LogInfo::kSize - 1] = 0;
    std::vector<uint8_t> served(LogInfo::kSize);
    ASSERT_EQ(store.GetLogInfo(served.data()), 0u);
    EXPECT_EQ(served, expected);
    const std::vector<uint8_t> file = DecryptedDataFile(folder);
    ASSERT_EQ(file.size(), DotDatRecord::kSize);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), file.begin() + DotDatRecord::kOffLogInfo));
}

TEST(DotDat, ShorterNameKeepsItsTailButShorterSecretsLeaveNothing) {
    CTestFolder folder;
    CDotDatSemaphore store(folder.Path().c_str());
    ASSERT_EQ(store.Init(), 0u);
    VPNCONFIG r = CurrentRecord({u"a long connection name", u"an old pre-shared key", u"vpn.example.org",
                                 u"an old user name", u"an old password", 0},
                                1);
    ASSERT_EQ(store.SetVpnConfig(3, r.ToBytes().data()), 0u);
    CopyToFixed(r.Name, u"short");
    CopyToFixed(r.PreSharedKey, u"k");
    CopyToFixed(r.UserName, u"u");
    CopyToFixed(r.Password, u"p");
    ASSERT_EQ(store.SetVpnConfig(3, r.ToBytes().data()), 0u);

    const auto check = [&](const std::vector<uint8_t>& bytes, const char* where) {
        SCOPED_TRACE(where);
        const VPNCONFIG got = VPNCONFIG::FromBytes(bytes.data());
        EXPECT_EQ(FixedToString(got.Name), u"short");
        EXPECT_EQ(FixedToString(got.Name + 6, VPNCONFIG::kNameChars - 6), u" connection name");
        EXPECT_EQ(FixedToString(got.PreSharedKey), u"k");
        EXPECT_EQ(FixedToString(got.UserName), u"u");
        EXPECT_EQ(FixedToString(got.Password), u"p");
        // Nothing but zeros behind the secrets' terminators.
        for (size_t off :
             {VPNCONFIG::kOffPreSharedKey + 2, VPNCONFIG::kOffUserName + 2, VPNCONFIG::kOffPassword + 2}) {
            const size_t end = off == VPNCONFIG::kOffPreSharedKey + 2 ? VPNCONFIG::kOffServerIsIpAddress
                               : off == VPNCONFIG::kOffUserName + 2   ? VPNCONFIG::kOffPassword
                                                                      : VPNCONFIG::kSize;
            for (size_t i = off; i < end; ++i)
                ASSERT_EQ(bytes[i], 0) << "offset " << i;
        }
    };
    check(StoredRecord(store, 3), "served");
    const std::vector<uint8_t> file = DecryptedDataFile(folder);
    const size_t at = DotDatRecord::RecordOffset(3);
    check(std::vector<uint8_t>(file.begin() + at, file.begin() + at + VPNCONFIG::kSize), "file");
    CDotDatSemaphore reloaded(folder.Path().c_str());
    ASSERT_EQ(reloaded.Init(), 0u);
    check(StoredRecord(reloaded, 3), "reloaded");
}

TEST(DotDat, SetAuthInfoChangesOnlyTheCredentials) {
    CTestFolder folder;
    WriteWholeFile(folder.File(kDataFileName), Rc4(CurrentImage(), Key::DataFile));
    CDotDatSemaphore store(folder.Path().c_str());
    ASSERT_EQ(store.Init(), 0u);

    AUTHINFO credentials;
    credentials.VpnIndex = 7;
    for (char16_t& c : credentials.UserName)
        c = u'N'; // 65 characters, no terminator
    CopyToFixed(credentials.Password, u"x");
    ASSERT_EQ(store.SetAuthInfo(credentials.ToBytes().data()), 0u);

    VPNCONFIG expected = CurrentRecord(FieldsOf(7), 0);
    std::fill(std::begin(expected.UserName), std::end(expected.UserName), u'\0');
    std::fill(std::begin(expected.Password), std::end(expected.Password), u'\0');
    CopyToFixed(expected.UserName, std::u16string(64, u'N'));
    CopyToFixed(expected.Password, u"x");
    const std::vector<uint8_t> got = StoredRecord(store, 7), want = expected.ToBytes();
    for (size_t i = 0; i < VPNCONFIG::kSize; ++i)
        ASSERT_EQ(got[i], want[i]) << "offset " << i;
    const std::vector<uint8_t> file = DecryptedDataFile(folder);
    std::vector<uint8_t> image = CurrentImage();
    expected.Write(image.data() + DotDatRecord::RecordOffset(7));
    EXPECT_EQ(file, image);
}

// --- The save never loses the file ---

// Makes the call with index `failAt` (and, with `stop`, every later one) fail, as a full
// disk or a stop of the service in the middle of a save would.
class CFailingFileOps : public CStoreFileOps {
public:
    void Arm(int failAt, bool stop) {
        m_calls = 0;
        m_failAt = failAt;
        m_stop = stop;
    }
    int Calls() const { return m_calls; }

    DWORD OpenDataFile(const wchar_t* p, UniqueFile& f) override {
        return Fail() ? kError : m_real.OpenDataFile(p, f);
    }
    DWORD GetSize(HANDLE f, uint64_t& s) override { return Fail() ? kError : m_real.GetSize(f, s); }
    DWORD Read(HANDLE f, uint8_t* b, DWORD n) override { return Fail() ? kError : m_real.Read(f, b, n); }
    DWORD CreateTemp(const wchar_t* p, UniqueFile& f) override {
        return Fail() ? kError : m_real.CreateTemp(p, f);
    }
    DWORD Write(HANDLE f, const uint8_t* b, DWORD n) override {
        // A failed write may have written part of the data.
        if (Fail()) {
            m_real.Write(f, b, n / 2);
            return kError;
        }
        return m_real.Write(f, b, n);
    }
    DWORD Flush(HANDLE f) override { return Fail() ? kError : m_real.Flush(f); }
    DWORD Close(UniqueFile& f) override { return Fail() ? kError : m_real.Close(f); }
    DWORD Replace(const wchar_t* a, const wchar_t* b) override {
        return Fail() ? kError : m_real.Replace(a, b);
    }
    DWORD Remove(const wchar_t* p) override { return Fail() ? kError : m_real.Remove(p); }

    static constexpr DWORD kError = ERROR_DISK_FULL;

private:
    bool Fail() {
        const int call = m_calls++;
        return m_failAt >= 0 && (call == m_failAt || (m_stop && call > m_failAt));
    }
    CWin32StoreFileOps& m_real = CWin32StoreFileOps::GetInstance();
    int m_calls = 0;
    int m_failAt = -1;
    bool m_stop = false;
};

TEST(DotDatSave, AFailureAtAnyCallLeavesTheOldOrTheNewFile) {
    const std::vector<uint8_t> oldImage = CurrentImage();
    VPNCONFIG changed = CurrentRecord(FieldsOf(5), 1);
    CopyToFixed(changed.PreSharedKey, u"a new key");
    std::vector<uint8_t> newImage = oldImage;
    changed.Write(newImage.data() + DotDatRecord::RecordOffset(5));

    // The calls of one successful save.
    int saveCalls = 0;
    {
        CTestFolder folder;
        CFailingFileOps ops;
        CDotDatSemaphore store(folder.Path().c_str(), &ops);
        ASSERT_EQ(store.Init(), 0u);
        ops.Arm(-1, false);
        ASSERT_EQ(store.SetVpnConfig(5, changed.ToBytes().data()), 0u);
        saveCalls = ops.Calls();
        ASSERT_GE(saveCalls, 5); // create, write, flush, close, replace
    }

    for (bool stop : {false, true}) {
        for (int failAt = 0; failAt < saveCalls; ++failAt) {
            SCOPED_TRACE(std::string(stop ? "stop" : "one failure") + " at call " + std::to_string(failAt));
            CTestFolder folder;
            WriteWholeFile(folder.File(kDataFileName), Rc4(oldImage, Key::DataFile));
            CFailingFileOps ops;
            CDotDatSemaphore store(folder.Path().c_str(), &ops);
            store.SetRetryPause(0);
            ASSERT_EQ(store.Init(), 0u);

            ops.Arm(failAt, stop);
            const DWORD result = store.SetVpnConfig(5, changed.ToBytes().data());

            const std::vector<uint8_t> file = ReadWholeFile(folder.File(kDataFileName));
            ASSERT_EQ(file.size(), DotDatRecord::kSize);
            const std::vector<uint8_t> plain = Rc4(file, Key::DataFile);
            if (stop) {
                // Every attempt failed: the caller hears of it and the old file stays.
                EXPECT_EQ(result, CFailingFileOps::kError);
                EXPECT_EQ(plain, oldImage);
            } else {
                // The next attempt succeeded.
                EXPECT_EQ(result, 0u);
                EXPECT_EQ(plain, newImage);
            }

            // The next start reads what is there, and its save works past any left-over.
            CDotDatSemaphore restarted(folder.Path().c_str());
            ASSERT_EQ(restarted.Init(), 0u);
            EXPECT_EQ(ServedImage(restarted, oldImage), stop ? oldImage : newImage);
            ASSERT_EQ(restarted.SetVpnConfig(5, changed.ToBytes().data()), 0u);
            EXPECT_EQ(DecryptedDataFile(folder), newImage);
            EXPECT_FALSE(FileExists(folder.File(kDataFileName) + kDataFileTempSuffix));
        }
    }
}

TEST(DotDatSave, ALeftOverTemporaryFileDoesNoHarm) {
    CTestFolder folder;
    const std::wstring temp = folder.File(kDataFileName) + kDataFileTempSuffix;
    WriteWholeFile(folder.File(kDataFileName), Rc4(CurrentImage(), Key::DataFile));
    WriteWholeFile(temp, std::vector<uint8_t>(DotDatRecord::kSize, 0x77));
    CDotDatSemaphore store(folder.Path().c_str());
    ASSERT_EQ(store.Init(), 0u);
    EXPECT_EQ(ServedImage(store, CurrentImage()), CurrentImage());
    EXPECT_EQ(DecryptedDataFile(folder), CurrentImage());
    EXPECT_FALSE(FileExists(temp));
}

TEST(DotDatSave, AHardLinkAtTheDataFileIsNotWrittenThrough) {
    CTestFolder folder;
    const std::wstring other = folder.File(L"other.dat");
    const std::vector<uint8_t> otherBytes = Rc4(CurrentImage(), Key::DataFile);
    WriteWholeFile(other, otherBytes);
    if (!::CreateHardLinkW(folder.File(kDataFileName).c_str(), other.c_str(), nullptr))
        GTEST_SKIP() << "no hard links here: " << ::GetLastError();

    CDotDatSemaphore store(folder.Path().c_str());
    ASSERT_EQ(store.Init(), 0u); // reads through the link, writes back by rename
    ASSERT_EQ(store.SetVpnConfig(0, VPNCONFIG::Default(9).ToBytes().data()), 0u);
    EXPECT_EQ(ReadWholeFile(other), otherBytes);
    const std::vector<uint8_t> plain = DecryptedDataFile(folder);
    ASSERT_EQ(plain.size(), DotDatRecord::kSize);
    EXPECT_EQ(FixedToString(VPNCONFIG::FromBytes(plain.data() + DotDatRecord::RecordOffset(0)).Name),
              u"接続10");
}

// --- Where the file lies ---

TEST(DotDatPath, NextToTheProgramOrInTheGivenFolder) {
    wchar_t module[MAX_PATH];
    const DWORD moduleLength = ::GetModuleFileNameW(nullptr, module, MAX_PATH);
    ASSERT_TRUE(moduleLength > 0 && moduleLength < MAX_PATH);
    std::wstring expected(module, moduleLength);
    expected.resize(expected.rfind(L'\\') + 1);
    expected += kDataFileName;

    CDotDat store;
    wchar_t path[MAX_PATH];
    ASSERT_EQ(store.GetFullPath(path, MAX_PATH), 0u);
    EXPECT_EQ(std::wstring(path), expected);
    EXPECT_EQ(CDotDatSemaphore::GetInstance().GetFullPath(path, MAX_PATH), 0u);
    EXPECT_EQ(std::wstring(path), expected);

    // A cut module path is a failure, never a relative "corvel.dat".
    std::vector<wchar_t> small(moduleLength + 1, L'?');
    EXPECT_EQ(store.GetFullPath(small.data(), moduleLength), DWORD(ERROR_OUTOFMEMORY));
    EXPECT_EQ(small[0], L'\0');
    EXPECT_EQ(store.GetFullPath(small.data(), 9), DWORD(ERROR_OUTOFMEMORY));
    EXPECT_EQ(store.GetFullPath(small.data(), moduleLength + 1), 0u);
    EXPECT_EQ(std::wstring(small.data()), expected);

    CTestFolder folder;
    std::wstring noSlash = folder.Path();
    noSlash.pop_back();
    for (const std::wstring& given : {folder.Path(), noSlash}) {
        CDotDatSemaphore onFolder(given.c_str());
        ASSERT_EQ(onFolder.Init(), 0u);
        ASSERT_EQ(onFolder.GetFullPath(path, MAX_PATH), 0u);
        EXPECT_EQ(std::wstring(path), folder.File(kDataFileName));
        wchar_t dataFolder[MAX_PATH];
        onFolder.GetDataFolder(dataFolder);
        EXPECT_EQ(std::wstring(dataFolder), folder.Path());
    }
}
