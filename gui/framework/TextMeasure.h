// Pixel width of label text, replaceable by tests (fonts differ between Wine and Windows).
#pragma once

#include <windows.h>

#include <functional>
#include <string_view>

namespace corvel {

// Measures a text; the portable label helpers take one of these.
using TextWidthMeasure = std::function<int(std::wstring_view text)>;

// "MS UI Gothic" at 9 points (as CreatePointFont(90) sizes it for the screen) on the window's device
// context. The returned measure owns the DC and the font until it is destroyed.
TextWidthMeasure LabelTextMeasure(HWND window);

// Tests: every LabelTextMeasure comes from `factory` (nullptr: GDI again).
using TextWidthMeasureFactory = std::function<TextWidthMeasure(HWND window)>;
void SetLabelTextMeasureFactory(TextWidthMeasureFactory factory);

} // namespace corvel
