#include "TextMeasure.h"

#include <climits>
#include <memory>
#include <utility>

namespace corvel {

namespace {

constexpr wchar_t kLabelFontFace[] = L"MS UI Gothic";
constexpr int kLabelFontTenthsOfPoint = 90;

TextWidthMeasureFactory g_factory; // UI thread only

} // namespace

CLabelFontMeasurer::CLabelFontMeasurer(HWND window) : m_dc(window) {
    if (!m_dc)
        return;
    // As CreatePointFont without a DC: the point size is converted with the screen's resolution.
    int dpi = 96;
    {
        WindowDc screen(nullptr);
        if (screen)
            dpi = ::GetDeviceCaps(screen.get(), LOGPIXELSY);
    }
    LOGFONTW font{};
    font.lfHeight = -::MulDiv(dpi, kLabelFontTenthsOfPoint, 720);
    font.lfCharSet = DEFAULT_CHARSET;
    ::lstrcpynW(font.lfFaceName, kLabelFontFace, LF_FACESIZE);
    m_font.reset(::CreateFontIndirectW(&font));
    if (m_font)
        m_selection.emplace(m_dc.get(), m_font.get());
}

int CLabelFontMeasurer::Width(std::wstring_view text) const {
    if (!m_selection || text.empty() || text.size() > size_t(INT_MAX))
        return 0;
    SIZE size{};
    if (!::GetTextExtentPoint32W(m_dc.get(), text.data(), int(text.size()), &size))
        return 0;
    return int(size.cx);
}

void SetLabelTextMeasureFactory(TextWidthMeasureFactory factory) {
    g_factory = std::move(factory);
}

TextWidthMeasure LabelTextMeasure(HWND window) {
    if (g_factory)
        return g_factory(window);
    auto measurer = std::make_shared<const CLabelFontMeasurer>(window);
    return [measurer](std::wstring_view text) { return measurer->Width(text); };
}

} // namespace corvel
