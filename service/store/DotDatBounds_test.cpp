// Random bytes of every size the store reads, through conversion and into the image: every
// string field ends in a terminator inside its array (so an export of any record imports
// again), and no byte outside the image (nor of the input) changes. Fixed seed, bounded rounds.
#include "DotDatRecord.h"
#include "ImageBounds.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

using namespace corvel;
using namespace corvel::testing;

namespace {

constexpr uint32_t kSeed = 20260611;
constexpr int kRounds = 150;

// Stores one incoming record as the store does, at `index` of the guarded image.
void StoreInto(CGuardedBuffer& image, size_t index, const uint8_t* incoming) {
    StoreRecord(image.Data() + DotDatRecord::RecordOffset(index), incoming);
}

// Records of the image that the import's own check would refuse, were they exported.
std::string RefusedByImport(const uint8_t* image) {
    std::string refused;
    for (size_t i = 0; i < kVpnCount; ++i)
        if (!VPNCONFIG::HasTerminatedStrings(image + DotDatRecord::RecordOffset(i)))
            refused += " " + std::to_string(i);
    return refused;
}

} // namespace

TEST(ImageBounds, RandomDataFilesOfEveryKnownSize) {
    CRandomBytes random(kSeed);
    size_t files = 0;
    for (size_t size : {DotDatRecord::kSize, DotDatRecord::kSize1694, DotDatRecord::kSize1698}) {
        for (int round = 0; round < kRounds; ++round) {
            SCOPED_TRACE("size " + std::to_string(size) + " round " + std::to_string(round));
            // The records lie at the odd offset 573: pair the bytes from there.
            const std::vector<uint8_t> content = random.Next(size, 1);
            const std::vector<uint8_t> before = content;
            CGuardedBuffer image(DotDatRecord::kSize);
            FillDefaultImage(image.Data());
            ASSERT_TRUE(ImageFromFileContent(content.data(), content.size(), image.Data()));
            ASSERT_EQ("", UnterminatedInImage(image.Data()));
            ASSERT_EQ("", RefusedByImport(image.Data()));
            ASSERT_EQ(0u, image.GuardBytesChanged());
            ASSERT_EQ(before, content);
            ++files;
        }
    }
    std::printf("bounded records: %zu random data files (23093, 34453, 34533 bytes) loaded: every string "
                "terminated, 0 bytes outside the image changed\n",
                files);
}

TEST(ImageBounds, RandomRecordsFromImportFilesAndThePipe) {
    CRandomBytes random(kSeed + 1);
    CGuardedBuffer image(DotDatRecord::kSize);
    FillDefaultImage(image.Data());
    size_t files = 0, records = 0;
    for (size_t size : {size_t(1126), size_t(1694), size_t(22520), size_t(33880)}) {
        const bool older = size % VPNCONFIG_1694::kSize == 0;
        const size_t recordSize = older ? VPNCONFIG_1694::kSize : VPNCONFIG::kSize;
        const size_t count = size / recordSize;
        for (int round = 0; round < kRounds; ++round) {
            SCOPED_TRACE("size " + std::to_string(size) + " round " + std::to_string(round));
            const std::vector<uint8_t> file = random.Next(size);
            const std::vector<uint8_t> before = file;
            for (size_t i = 0; i < count; ++i) {
                const size_t index = count == 1 ? random.Below(kVpnCount) : i;
                CGuardedBuffer incoming(VPNCONFIG::kSize);
                if (older) {
                    VPNCONFIG converted; // as the import does: zero behind every converted string
                    ConvertOldRecord(file.data() + i * recordSize, OldRecordForm::Form1694, converted);
                    converted.Write(incoming.Data());
                    ASSERT_EQ("", UnterminatedInRecord(incoming.Data())) << "converted record " << i;
                } else {
                    std::memcpy(incoming.Data(), file.data() + i * recordSize, recordSize);
                }
                StoreInto(image, index, incoming.Data());
                ASSERT_EQ(0u, incoming.GuardBytesChanged());
                ++records;
            }
            ASSERT_EQ("", UnterminatedInImage(image.Data()));
            ASSERT_EQ("", RefusedByImport(image.Data()));
            ASSERT_EQ(0u, image.GuardBytesChanged());
            ASSERT_EQ(before, file);
            ++files;
        }
    }

    // Item 25 and the LogInfo block: random bytes as well.
    for (int round = 0; round < kRounds; ++round) {
        const std::vector<uint8_t> auth = random.Next(AUTHINFO::kSize);
        uint8_t* record = image.Data() + DotDatRecord::RecordOffset(auth[0] % kVpnCount);
        VPNCONFIG stored = VPNCONFIG::FromBytes(record);
        ApplyAuthInfo(stored, AUTHINFO::FromBytes(auth.data()));
        stored.Write(record);
        std::vector<uint8_t> block = random.Next(LogInfo::kSize, 1);
        block[0] &= 1;
        ASSERT_TRUE(StoreLogInfo(image.Data(), block.data()));
        ASSERT_EQ("", UnterminatedInImage(image.Data())) << "round " << round;
        ASSERT_EQ("", RefusedByImport(image.Data())) << "round " << round;
        ASSERT_EQ(0u, image.GuardBytesChanged());
    }
    std::printf("bounded records: %zu random import files (1126, 1694, 22520, 33880 bytes), %zu records "
                "stored, %d AUTHINFO and LogInfo blocks: every string terminated, 0 bytes outside the "
                "image changed\n",
                files, records, kRounds);
}
