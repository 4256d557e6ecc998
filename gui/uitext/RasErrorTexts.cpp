#include "RasErrorTexts.h"

#include <cstdint>

namespace corvel {

namespace {

bool IsCSpace(wchar_t c) {
    return c == L' ' || (c >= L'\t' && c <= L'\r');
}

} // namespace

int32_t ParseRasErrorCode(std::wstring_view text) {
    size_t i = 0;
    while (i < text.size() && IsCSpace(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) {
        negative = text[i] == L'-';
        ++i;
    }
    // The magnitude saturates just past the 32-bit range, so it never overflows.
    constexpr int64_t limit = int64_t(INT32_MAX) + 1;
    int64_t magnitude = 0;
    size_t digits = 0;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i, ++digits) {
        magnitude = magnitude * 10 + (text[i] - L'0');
        if (magnitude > limit)
            magnitude = limit;
    }
    if (digits == 0)
        return 0;
    if (negative)
        return int32_t(-magnitude); // -2^31 at most
    return magnitude > INT32_MAX ? INT32_MAX : int32_t(magnitude);
}

RasErrorTexts ReadRasErrorTexts(CLanguageFile& file, int32_t rasErrorCode) {
    RasErrorTexts texts;
    if (!file.SeekSection(sections::RasError.Name))
        return texts;
    texts.SectionFound = true;
    texts.Caption = file.ReadEntry();
    texts.CopyButton = file.ReadEntry();
    texts.CloseButton = file.ReadEntry();

    // The list begins after line 3, which is itself compared with the end line first.
    file.ResetCount();
    std::wstring line = texts.CloseButton;
    while (line != kRasErrorListEnd) {
        line = file.ReadEntry();
        if (file.Count() > kRasErrorListLineLimit || line == kRasErrorListEnd)
            break;
        const size_t comma = line.find(L',');
        if (comma == std::wstring::npos || comma == 0)
            continue;
        if (ParseRasErrorCode(std::wstring_view(line).substr(0, comma)) != rasErrorCode)
            continue;
        // Later commas belong to the text. An empty text lets a later line of the code match.
        if (comma + 1 < line.size()) {
            texts.Message = line.substr(comma + 1);
            return texts;
        }
    }

    const std::wstring generic = file.ReadEntry();
    if (!generic.empty())
        texts.Message = generic + L"(" + std::to_wstring(rasErrorCode) + L")";
    return texts;
}

} // namespace corvel
