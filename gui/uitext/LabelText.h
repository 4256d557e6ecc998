#pragma once
// Connection names shown in labels, radio buttons and tab titles: fitted to a pixel width
// first (measured as the user reads it), then escaped so that "&" shows literally.
#include <functional>
#include <string>
#include <string_view>

namespace corvel {

// Width in pixels of a text in the label font.
using TextMeasurer = std::function<int(std::wstring_view)>;

// Every "&" doubled; the argument is left alone.
std::wstring EscapeAmpersand(std::wstring_view text);

// A text narrower than `limit` stays as it is. Otherwise characters (UTF-16 units on Windows)
// are taken from the end until the rest is narrower than `limit` or empty, and "..." is
// appended unmeasured: the result may be wider than the limit by the dots, and a text that
// fitted with no character at all becomes "...".
void FitTextToWidth(std::wstring& text, int limit, const TextMeasurer& measure);

// Fitted, then escaped: what a label shows for a connection name.
std::wstring MakeLabelText(std::wstring text, int limit, const TextMeasurer& measure);

} // namespace corvel
