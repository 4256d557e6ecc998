#pragma once
// Texts as the programs' windows and command lines hold them (wchar_t) and as records and
// frames carry them (UTF-16). Under Windows both are the same units; where wchar_t is 32 bits
// (the native builds) a code point beyond U+FFFF is one wchar_t and a surrogate pair in UTF-16.
#include <string>
#include <string_view>

namespace corvel {

// Values that are no code point become U+FFFD.
std::u16string Utf16FromWide(std::wstring_view text);
// A lone surrogate stays as it is, so that a text goes back unchanged.
std::wstring WideFromUtf16(std::u16string_view text);

} // namespace corvel
