#pragma once
// Tests write their files in UTF-8 and decode them with this instead of a code page.
#include <string>
#include <string_view>

namespace corvel::test {

inline std::wstring DecodeUtf8(std::string_view bytes) {
    std::wstring out;
    for (size_t i = 0; i < bytes.size();) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        const int extra = c < 0x80 ? 0 : c < 0xE0 ? 1 : c < 0xF0 ? 2 : 3;
        char32_t code = extra == 0 ? c : extra == 1 ? (c & 0x1F) : extra == 2 ? (c & 0x0F) : (c & 0x07);
        for (int k = 1; k <= extra && i + k < bytes.size(); ++k)
            code = (code << 6) | (static_cast<unsigned char>(bytes[i + k]) & 0x3F);
        i += size_t(extra) + 1;
        if (sizeof(wchar_t) == 2 && code >= 0x10000) {
            code -= 0x10000;
            out += wchar_t(0xD800 + (code >> 10));
            out += wchar_t(0xDC00 + (code & 0x3FF));
        } else {
            out += wchar_t(code);
        }
    }
    return out;
}

} // namespace corvel::test
