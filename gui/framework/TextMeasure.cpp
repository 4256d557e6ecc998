#include "TextMeasure.h"

#include "Handles.h"

#include <memory>

namespace corvel {

namespace {

TextWidthMeasureFactory g_factory; // UI thread only

// The window's DC with the label font selected; everything is given back in reverse order.
class CLabelDc {
public:
    explicit CLabelDc(HWND window) : m_window(window), m_dc(::GetDC(window)) {
        if (!m_dc)
            return;
        LOGFONTW font{};
        // CreatePointFont without a DC: tenths of a point converted with the screen's resolution.
        const HDC screen = ::GetDC(nullptr);
        const int dpi = screen ? ::GetDeviceCaps(screen, LOGPIXELSY) : 96;
        if (screen)
            ::ReleaseDC(nullptr, screen);
        font.lfHeight = -::MulDiv(90, dpi, 720);
        font.lfCharSet = DEFAULT_CHARSET;
        lstrcpynW(font.lfFaceName, L"MS UI Gothic", LF_FACESIZE);
        m_font.reset(::CreateFontIndirectW(&font));
        if (m_font)
            m_old = ::SelectObject(m_dc, m_font.get());
    }
    ~CLabelDc() {
        if (m_old)
            ::SelectObject(m_dc, m_old);
        if (m_dc)
            ::ReleaseDC(m_window, m_dc);
        // m_font goes after it has been deselected
    }
    CLabelDc(const CLabelDc&) = delete;
    CLabelDc& operator=(const CLabelDc&) = delete;

    int Width(std::wstring_view text) const {
        if (!m_dc || text.empty())
            return 0;
        SIZE size{};
        if (!::GetTextExtentPoint32W(m_dc, text.data(), static_cast<int>(text.size()), &size))
            return 0;
        return size.cx;
    }

private:
    HWND m_window;
    HDC m_dc;
    UniqueFont m_font;
    HGDIOBJ m_old = nullptr;
};

} // namespace

void SetLabelTextMeasureFactory(TextWidthMeasureFactory factory) {
    g_factory = std::move(factory);
}

TextWidthMeasure LabelTextMeasure(HWND window) {
    if (g_factory)
        return g_factory(window);
    auto dc = std::make_shared<CLabelDc>(window);
    return [dc](std::wstring_view text) { return dc->Width(text); };
}

} // namespace corvel
