#include "WideText.h"

#include <gtest/gtest.h>

#include <string>

namespace corvel {
namespace {

TEST(Utf16Conversion, SurrogatePairsBothWays) {
    EXPECT_EQ(Utf16FromWide(L"a\u00E9\u63A5"), u"a\u00E9\u63A5");
    EXPECT_EQ(Utf16FromWide(L"x\U0001F600y"),
              std::u16string({u'x', char16_t(0xD83D), char16_t(0xDE00), u'y'}));
    EXPECT_EQ(WideFromUtf16(Utf16FromWide(L"x\U0001F600y")), L"x\U0001F600y");
    const std::u16string lone{u'a', char16_t(0xD800), u'b'};
    EXPECT_EQ(Utf16FromWide(WideFromUtf16(lone)), lone);
    if constexpr (sizeof(wchar_t) == 4) {
        const wchar_t outside[] = {wchar_t(0x110000), wchar_t(-1), 0};
        EXPECT_EQ(Utf16FromWide(outside), u"\uFFFD\uFFFD");
    }
}

} // namespace
} // namespace corvel
