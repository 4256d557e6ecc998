#include "WideText.h"

#include <cstdint>

namespace corvel {

std::u16string Utf16FromWide(std::wstring_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (const wchar_t c : text) {
        if constexpr (sizeof(wchar_t) == sizeof(char16_t)) {
            out.push_back(char16_t(c));
        } else {
            const uint32_t code = uint32_t(c);
            if (code <= 0xFFFF) {
                out.push_back(char16_t(code));
            } else if (code <= 0x10FFFF) {
                out.push_back(char16_t(0xD800 + ((code - 0x10000) >> 10)));
                out.push_back(char16_t(0xDC00 + ((code - 0x10000) & 0x3FF)));
            } else {
                out.push_back(u'\uFFFD');
            }
        }
    }
    return out;
}

std::wstring WideFromUtf16(std::u16string_view text) {
    std::wstring out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if constexpr (sizeof(wchar_t) == sizeof(char16_t)) {
            out.push_back(wchar_t(c));
        } else {
            const bool pair = c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
                              text[i + 1] <= 0xDFFF;
            if (pair) {
                out.push_back(
                    wchar_t(0x10000 + ((uint32_t(c) - 0xD800) << 10) + (uint32_t(text[i + 1]) - 0xDC00)));
                ++i;
            } else {
                out.push_back(wchar_t(c));
            }
        }
    }
    return out;
}

} // namespace corvel
