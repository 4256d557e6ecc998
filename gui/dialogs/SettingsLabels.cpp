#include "SettingsLabels.h"

namespace corvel {

std::wstring ConnectionNumberPrefix(unsigned number) {
    // As "%02d": at least two digits.
    std::wstring prefix = std::to_wstring(number);
    if (prefix.size() < 2)
        prefix.insert(prefix.begin(), L'0');
    prefix += L"：";
    return prefix;
}

std::wstring MakeTabTitle(unsigned number, std::wstring_view name, const TextMeasurer& measure) {
    std::wstring title =
        MakeLabelText(ConnectionNumberPrefix(number) + std::wstring(name), kTabTitleWidth, measure);
    if (title.size() > kTabTitleMaxChars)
        title.resize(kTabTitleMaxChars);
    return title;
}

std::wstring MakeSettingsMenuLabel(unsigned number, std::wstring_view name) {
    return EscapeAmpersand(ConnectionNumberPrefix(number) + std::wstring(name));
}

std::wstring MakeConnectionRadioLabel(unsigned number, std::wstring_view name, const TextMeasurer& measure) {
    return MakeLabelText(ConnectionNumberPrefix(number) + std::wstring(name), kRadioLabelWidth, measure);
}

} // namespace corvel
