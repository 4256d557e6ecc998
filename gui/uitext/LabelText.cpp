#include "LabelText.h"

#include <utility>

namespace corvel {

std::wstring EscapeAmpersand(std::wstring_view text) {
    std::wstring out;
    out.reserve(text.size());
    for (const wchar_t c : text) {
        out += c;
        if (c == L'&')
            out += L'&';
    }
    return out;
}

void FitTextToWidth(std::wstring& text, int limit, const TextMeasurer& measure) {
    // "..." stands for what was cut: an empty text has nothing to cut, whatever the limit.
    if (text.empty() || measure(text) < limit)
        return;
    // The empty text ends the loop whatever the measurer says, also for a limit of 0 or less.
    while (!text.empty()) {
        text.pop_back();
        if (measure(text) < limit)
            break;
    }
    text += L"...";
}

std::wstring MakeLabelText(std::wstring text, int limit, const TextMeasurer& measure) {
    FitTextToWidth(text, limit, measure);
    return EscapeAmpersand(text);
}

} // namespace corvel
