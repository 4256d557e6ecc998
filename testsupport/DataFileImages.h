#pragma once
// Plain and encrypted images of "corvel.dat" in its three known sizes, and of settings files,
// built by the tests themselves from the record layouts, so a test does not read back what
// the store under test wrote.
#include "Records.h"

#include <windows.h>

#include <cstdint>
#include <vector>

namespace corvel::e2e {

inline constexpr size_t kDataFileSize = 23093;     // current form
inline constexpr size_t kDataFileSize1694 = 34453; // 20 VPNCONFIG_1694
inline constexpr size_t kDataFileSize1698 = 34533; // 20 VPNCONFIG_1698
inline constexpr size_t kReservedBlockSize = 46;
inline constexpr size_t kLogInfoOffset = 46;
inline constexpr size_t kRecordsOffset = 573;

// What a test puts into a data file: the 20 records as they should read back.
struct DataFileContent {
    uint8_t ReservedBlock[kReservedBlockSize] = {};
    LogInfo Log;
    VPNCONFIG Records[kVpnCount];
};

// A recognisable content: names "<prefix> n", a key, an address, credentials per record.
DataFileContent MakeSampleContent(const std::u16string& namePrefix);

// The plain image of the given size (one of the three above); older forms carry the records'
// fields in their own layouts.
std::vector<uint8_t> BuildPlainDataFile(size_t size, const DataFileContent& content);

// Fills every string array of every record of a plain image (of one of the three sizes) to its
// end with text, in the image's own layout: no string holds a terminator.
void FillRecordStringsToTheEnd(std::vector<uint8_t>& plainImage);

// RC4 with the data-file key ("movlek") or the settings-file key ("quarLMN4"), in place.
DWORD CryptDataFile(std::vector<uint8_t>& bytes);
DWORD CryptSettingsFile(std::vector<uint8_t>& bytes);

} // namespace corvel::e2e
