#pragma once
// The plain content of "corvel.dat" (23093 bytes) and the rules by which records enter it.
// Portable: the store's file logic (DotDat.h) keeps the image, this says what goes into it.
#include <cstddef>
#include <cstdint>

#include "Records.h"

namespace corvel {

struct DotDatRecord {
    static constexpr size_t kSize = 23093;
    static constexpr size_t kReservedBlockSize = 46;
    static constexpr size_t kOffLogInfo = 46;
    static constexpr size_t kOffRecords = 573;
    static constexpr size_t kSize1694 = kOffRecords + kVpnCount * VPNCONFIG_1694::kSize; // 34453
    static constexpr size_t kSize1698 = kOffRecords + kVpnCount * VPNCONFIG_1698::kSize; // 34533

    static constexpr size_t RecordOffset(size_t vpnIndex) {
        return kOffRecords + vpnIndex * VPNCONFIG::kSize;
    }
};
static_assert(DotDatRecord::kOffRecords + kVpnCount * VPNCONFIG::kSize == DotDatRecord::kSize,
              "data file layout");

// The image of a store that has read no file: default records, zero elsewhere.
void FillDefaultImage(uint8_t* image);

// True when size is one of the known file sizes (23093, 34453, 34533).
bool IsKnownDataFileSize(size_t size);

// Builds image from the decrypted content of a data file of a known size, converting the
// older forms; false (image untouched) for any other size.
bool ImageFromFileContent(const uint8_t* content, size_t size, uint8_t* image);

// Stores an incoming VPNCONFIG (1126 bytes, from a pipe or a settings file) over the stored
// record, field by field. Every string is cut to its field with a terminator. Bytes behind
// the Name's and Server's terminators keep their former content; the pre-shared key, user
// name and password are zeroed behind theirs, so no tail of an older secret survives.
void StoreRecord(uint8_t* storedRecord, const uint8_t* incoming);

// Puts the user name and password of an AUTHINFO into a record: each up to its terminator,
// at most 64 characters, then a terminator and zeros.
void ApplyAuthInfo(VPNCONFIG& record, const AUTHINFO& authInfo);

// Terminates every string of a record read from a file and zeroes what lies behind the
// terminators of its secrets.
void CleanLoadedRecord(uint8_t* record);

// False (nothing changed) for a LogLevel above 1; otherwise copies the 527 bytes and puts a
// terminator into LogText's last character.
bool StoreLogInfo(uint8_t* image, const uint8_t* block);

// A secret copied into a fixed field: cut to capacity - 1 characters, terminated, and
// zeroed up to the end of the field.
template <size_t N> void CopySecret(char16_t (&dst)[N], const char16_t (&src)[N]) {
    size_t n = 0;
    while (n + 1 < N && src[n] != u'\0') {
        dst[n] = src[n];
        ++n;
    }
    for (; n < N; ++n)
        dst[n] = u'\0';
}

} // namespace corvel
