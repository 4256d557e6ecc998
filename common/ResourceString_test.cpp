#include "ResourceString.h"

#include <gtest/gtest.h>

namespace corvel {
namespace {

TEST(LoadResourceString, TakesExactlyTheEntryOfTheModuleGiven) {
    const HINSTANCE program = ::GetModuleHandleW(nullptr);
    EXPECT_EQ(LoadResourceString(program, 16), L"未接続");
    // Strings lie side by side without terminators: each ends at its own length.
    EXPECT_EQ(LoadResourceString(program, 17), L"ab");
    EXPECT_EQ(LoadResourceString(program, 18), L"cd");
    EXPECT_EQ(LoadResourceString(nullptr, 17), L"ab");
    // A gap inside a block, and a block that does not exist.
    EXPECT_EQ(LoadResourceString(program, 19), L"");
    EXPECT_EQ(LoadResourceString(program, 4000), L"");
}

} // namespace
} // namespace corvel
