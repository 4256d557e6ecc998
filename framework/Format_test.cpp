#include "Format.h"

#include <gtest/gtest.h>

namespace corvel {
namespace {

TEST(FormatW, WideArgumentsWithLsAndTextsLongerThanTheFirstBuffer) {
    EXPECT_EQ(FormatW(L"%ls-%02d：%ls", L"接続", 7, L"x"), L"接続-07：x");
    const std::wstring longText(1000, L'あ');
    EXPECT_EQ(FormatW(L"[%ls]", longText.c_str()), L"[" + longText + L"]");
    EXPECT_EQ(FormatW(L"%.2d", 3), L"03");
}

TEST(FormatPercentArgs, ReplacesNumberedArgumentsOnly) {
    EXPECT_EQ(FormatPercentArgs(L"Enter no more than %1 characters.", {L"64"}),
              L"Enter no more than 64 characters.");
    EXPECT_EQ(FormatPercentArgs(L"%2 %1 %3 100%", {L"a", L"b"}), L"b a  100%");
}

} // namespace
} // namespace corvel
