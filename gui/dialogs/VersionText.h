#pragma once
// The version line of the version box, from the product version of the program file.
#include <array>
#include <cstdint>
#include <string>

namespace corvel {

// The four 16-bit words of VS_FIXEDFILEINFO's product version: high and low word of
// dwProductVersionMS, then high and low word of dwProductVersionLS. All 0 when unreadable.
struct ProductVersion {
    std::array<uint16_t, 4> Words{};

    static ProductVersion FromFixedFileInfo(uint32_t productVersionMS, uint32_t productVersionLS);
};

// "Version %02d.%02d.%02d" of the first three words; the fourth is not shown, and a word
// above 99 shows all its digits.
std::wstring FormatVersionText(const ProductVersion& version);

} // namespace corvel
