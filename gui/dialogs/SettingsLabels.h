#pragma once
// Connection names as the settings dialog shows them: tab titles, the import and export menu
// items and the connection page's radio buttons. Each takes the name as read from its record
// (ConnectionName, ConnectionNameAt) and, where the label is fitted, the measure of the label
// font on the window that shows it (tests pass their own).
#include "LabelText.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace corvel {

inline constexpr unsigned kTextConnectionTab = 200; // title of tab 0
inline constexpr int kTabTitleWidth = 80;           // pixels
inline constexpr int kRadioLabelWidth = 175;        // pixels
inline constexpr size_t kTabTitleMaxChars = 99;     // the tab item's buffer holds 100 with its terminator

// "01：" to "20：": the number of connection `number` (1 to 20) and a full-width colon.
std::wstring ConnectionNumberPrefix(unsigned number);

// Tab `number` (1 to 20): the prefix and the name fitted to 80 pixels, then escaped; at most
// 99 characters.
std::wstring MakeTabTitle(unsigned number, std::wstring_view name, const TextMeasurer& measure);
// Import and export item `number` (1 to 20): the prefix and the name, escaped, not shortened.
std::wstring MakeSettingsMenuLabel(unsigned number, std::wstring_view name);
// Radio button of connection `number` (1 to 20) on the connection page: fitted to 175 pixels,
// then escaped.
std::wstring MakeConnectionRadioLabel(unsigned number, std::wstring_view name, const TextMeasurer& measure);

} // namespace corvel
