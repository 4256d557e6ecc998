#pragma once
// The texts of the RAS-error box: caption, two buttons, and the message for one RAS error
// code from the section's code list, or its generic text when the list does not name the code.
#include "LanguageFile.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace corvel {

inline constexpr wchar_t kRasErrorListEnd[] = L"ras_error_msg_end";
// The code list, its end line included, is read for at most this many lines.
inline constexpr int kRasErrorListLineLimit = 700;

struct RasErrorTexts {
    bool SectionFound = false; // false: nothing below is set, the box keeps everything
    // Empty: keep the built-in text.
    std::wstring Caption;
    std::wstring CopyButton;
    std::wstring CloseButton;
    // What the message edit shows: the first non-empty text of a list line with the code, or
    // else the generic text directly followed by "(" the code ")". Empty when neither is there.
    std::wstring Message;
};

RasErrorTexts ReadRasErrorTexts(CLanguageFile& file, int32_t rasErrorCode);

// The code before the comma, read as wcstol reads it with base 10 and a 32-bit long: leading
// blanks and a sign accepted, stops at the first non-digit, no digits give 0, out of range
// gives the nearest 32-bit limit.
int32_t ParseRasErrorCode(std::wstring_view text);

} // namespace corvel
