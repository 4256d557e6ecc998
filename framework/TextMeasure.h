// Pixel width of label text: the label font's, or a test's replacement (fonts differ between Wine
// and Windows). Its own library, below both the framework and gui/uitext's Windows helpers.
#pragma once

#include <windows.h>

#include "Handles.h"

#include <functional>
#include <optional>
#include <string_view>

namespace corvel {

// Measures a text; the portable label helpers take one of these.
using TextWidthMeasure = std::function<int(std::wstring_view text)>;

// Widths in "MS UI Gothic" 9 point (sized for the screen as CreatePointFont(90) sizes it) on the
// DC of the window that shows the label. Measures 0 when the DC or font cannot be had, so nothing
// is shortened then.
class CLabelFontMeasurer {
public:
    explicit CLabelFontMeasurer(HWND window);
    CLabelFontMeasurer(const CLabelFontMeasurer&) = delete;
    CLabelFontMeasurer& operator=(const CLabelFontMeasurer&) = delete;

    int Width(std::wstring_view text) const;

private:
    // Destroyed in reverse: the previous font goes back before ours is deleted, then the DC.
    WindowDc m_dc;
    UniqueFont m_font;
    std::optional<SelectObjectScope> m_selection;
};

// The measure of every label of `window`: a CLabelFontMeasurer, owned by the returned measure
// until it is destroyed, unless a test has set a factory.
TextWidthMeasure LabelTextMeasure(HWND window);

// Tests: every LabelTextMeasure comes from `factory` (nullptr: GDI again).
using TextWidthMeasureFactory = std::function<TextWidthMeasure(HWND window)>;
void SetLabelTextMeasureFactory(TextWidthMeasureFactory factory);

} // namespace corvel
