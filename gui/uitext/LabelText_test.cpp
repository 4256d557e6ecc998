#include "LabelText.h"

#include <gtest/gtest.h>

#include <string>

namespace corvel {
namespace {

// 10 px a character, "W" 20 px: tests choose widths exactly.
int TestWidth(std::wstring_view text) {
    int width = 0;
    for (wchar_t c : text)
        width += c == L'W' ? 20 : 10;
    return width;
}

TEST(EscapeAmpersand, DoublesEveryAmpersand) {
    const struct {
        const wchar_t* Text;
        const wchar_t* Escaped;
    } cases[] = {
        {L"R&D", L"R&&D"},     {L"no ampersand", L"no ampersand"}, {L"", L""}, {L"&", L"&&"},
        {L"&&a&", L"&&&&a&&"}, {L"接続&設定", L"接続&&設定"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(EscapeAmpersand(c.Text), c.Escaped) << c.Text;
}

TEST(FitTextToWidth, ShortensUntilStrictlyNarrowerThenAppendsDots) {
    const struct {
        const char* Name;
        const wchar_t* Text;
        int Limit;
        const wchar_t* Fitted;
    } cases[] = {
        {"narrower stays", L"abcd", 50, L"abcd"},
        {"empty stays", L"", 1, L""},
        {"exactly the limit is shortened", L"abcde", 50, L"abcd..."},
        {"one character too wide", L"abcdef", 60, L"abcde..."},
        {"wide characters", L"aWWb", 45, L"aW..."},
        {"dots are not measured", L"abcdefghij", 30, L"ab..."},
        {"limit smaller than the dots", L"abc", 5, L"..."},
        {"limit of one character", L"ab", 10, L"..."},
        {"limit 0", L"ab", 0, L"..."},
        {"empty text, limit 0: nothing removed, nothing added", L"", 0, L""},
        {"negative limit", L"abc", -10, L"..."},
    };
    for (const auto& c : cases) {
        std::wstring text = c.Text;
        FitTextToWidth(text, c.Limit, TestWidth);
        EXPECT_EQ(text, c.Fitted) << c.Name;
    }
}

TEST(FitTextToWidth, LabelIsMeasuredBeforeEscaping) {
    // Escaped, "a&b&c" would be 7 characters and too wide; measured as shown it fits.
    EXPECT_EQ(MakeLabelText(L"a&b&c", 60, TestWidth), L"a&&b&&c");
    EXPECT_EQ(MakeLabelText(L"01：R&D Tokyo", 60, TestWidth), L"01：R&&..."); // "01：R&" is 50 px
}

} // namespace
} // namespace corvel
