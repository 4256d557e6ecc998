#include "VersionText.h"

namespace corvel {

namespace {

std::wstring TwoDigitsAtLeast(uint16_t value) {
    std::wstring digits = std::to_wstring(value);
    if (digits.size() < 2)
        digits.insert(0, 2 - digits.size(), L'0');
    return digits;
}

} // namespace

ProductVersion ProductVersion::FromFixedFileInfo(uint32_t productVersionMS, uint32_t productVersionLS) {
    ProductVersion version;
    version.Words = {uint16_t(productVersionMS >> 16), uint16_t(productVersionMS & 0xFFFF),
                     uint16_t(productVersionLS >> 16), uint16_t(productVersionLS & 0xFFFF)};
    return version;
}

std::wstring FormatVersionText(const ProductVersion& version) {
    return L"Version " + TwoDigitsAtLeast(version.Words[0]) + L"." + TwoDigitsAtLeast(version.Words[1]) +
           L"." + TwoDigitsAtLeast(version.Words[2]);
}

} // namespace corvel
