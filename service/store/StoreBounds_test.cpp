// Random bytes through the in-process store on a scratch folder: encrypted data files of each
// known size loaded at start-up, import files of each size through the import, and their
// records saved as a peer would. Afterwards every string of the image (as served and as
// written back) ends inside its field, and the bytes around the caller's buffers are
// untouched. Fixed seed, bounded rounds.
#include "DotDat.h"
#include "ImageBounds.h"
#include "SettingsTransfer.h"
#include "StoreTestFiles.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

using namespace corvel;
using namespace corvel::testing;

namespace {

constexpr uint32_t kSeed = 20260612;
constexpr int kRounds = 4;

class CClientIsService : public CPipeClientIdentity {
public:
    DWORD Impersonate() override { return 0; }
    DWORD Revert() override { return 0; }
};

// The image as the store serves it, read into guarded buffers.
std::vector<uint8_t> ServedImage(CDotDat& store, size_t& guardBytesChanged) {
    std::vector<uint8_t> image(DotDatRecord::kSize, 0);
    CGuardedBuffer log(LogInfo::kSize);
    EXPECT_EQ(0u, store.GetLogInfo(log.Data()));
    guardBytesChanged += log.GuardBytesChanged();
    std::memcpy(image.data() + DotDatRecord::kOffLogInfo, log.Data(), LogInfo::kSize);
    for (uint8_t i = 0; i < kVpnCount; ++i) {
        CGuardedBuffer record(VPNCONFIG::kSize);
        EXPECT_EQ(0u, store.GetVpnConfig(record.Data(), i));
        guardBytesChanged += record.GuardBytesChanged();
        std::memcpy(image.data() + DotDatRecord::RecordOffset(i), record.Data(), VPNCONFIG::kSize);
    }
    return image;
}

std::string Unterminated(CDotDat& store, const CTestFolder& folder, size_t& guardBytesChanged) {
    std::string found = UnterminatedInImage(ServedImage(store, guardBytesChanged).data());
    const std::vector<uint8_t> written = Rc4(ReadWholeFile(folder.File(kDataFileName)), Key::DataFile);
    EXPECT_EQ(DotDatRecord::kSize, written.size());
    if (written.size() == DotDatRecord::kSize) {
        const std::string inFile = UnterminatedInImage(written.data());
        if (!inFile.empty())
            found += " file: " + inFile;
    }
    return found;
}

} // namespace

TEST(StoreBounds, RandomDataFilesAndImportFilesStayInsideTheirFields) {
    CRandomBytes random(kSeed);
    size_t dataFiles = 0, importFiles = 0, refusedImports = 0, guardBytesChanged = 0;
    for (size_t size : {DotDatRecord::kSize, DotDatRecord::kSize1694, DotDatRecord::kSize1698}) {
        for (int round = 0; round < kRounds; ++round) {
            SCOPED_TRACE("data file of " + std::to_string(size) + " bytes, round " + std::to_string(round));
            CTestFolder folder;
            WriteWholeFile(folder.File(kDataFileName), Rc4(random.Next(size, 1), Key::DataFile));
            CDotDatSemaphore store(folder.Path().c_str());
            store.SetRetryPause(0);
            ASSERT_EQ(0u, store.Init());
            ASSERT_EQ("", Unterminated(store, folder, guardBytesChanged));
            ++dataFiles;

            // Then an import file of each size: refused with "corvel.dat" as it was, or stored
            // (strings that end at random places do end in every array now and then). Its
            // records then reach the store as a peer's saves do, whatever the import decided.
            for (size_t importSize : {size_t(1126), size_t(1694), size_t(22520), size_t(33880)}) {
                SCOPED_TRACE("import file of " + std::to_string(importSize) + " bytes");
                const std::wstring path = folder.File(L"import.bin");
                const std::vector<uint8_t> plain = random.Next(importSize);
                WriteWholeFile(path, Rc4(plain, Key::SettingsFile));
                const uint8_t selection = importSize <= 1694 ? uint8_t(1 + random.Below(kVpnCount)) : 0;
                const std::vector<uint8_t> dataFile = ReadWholeFile(folder.File(kDataFileName));
                CClientIsService identity;
                const DWORD result = ImportSettingsFile(store, path.c_str(), selection, false, identity);
                ASSERT_TRUE(result == 0 || result == ERROR_INVALID_DATA) << result;
                if (result != 0) {
                    ASSERT_EQ(dataFile, ReadWholeFile(folder.File(kDataFileName)));
                    ++refusedImports;
                }
                ASSERT_EQ("", Unterminated(store, folder, guardBytesChanged));
                ++importFiles;

                const bool older = importSize % VPNCONFIG_1694::kSize == 0;
                const size_t recordSize = older ? VPNCONFIG_1694::kSize : VPNCONFIG::kSize;
                for (size_t i = 0; i < importSize / recordSize; ++i) {
                    VPNCONFIG record = VPNCONFIG::FromBytes(plain.data() + i * recordSize);
                    if (older)
                        ConvertOldRecord(plain.data() + i * recordSize, OldRecordForm::Form1694, record);
                    const uint8_t index = selection != 0 ? uint8_t(selection - 1) : uint8_t(i);
                    ASSERT_EQ(0u, store.SetVpnConfig(index, older ? record.ToBytes().data()
                                                                  : plain.data() + i * recordSize));
                }
                ASSERT_EQ("", Unterminated(store, folder, guardBytesChanged));
            }
        }
    }
    std::printf(
        "bounded records (store in-process): %zu random data files loaded and %zu random import files "
        "(%zu refused) and their records stored: every string terminated in the served image and in "
        "corvel.dat, %zu guard bytes changed\n",
        dataFiles, importFiles, refusedImports, guardBytesChanged);
    EXPECT_EQ(0u, guardBytesChanged);
}
