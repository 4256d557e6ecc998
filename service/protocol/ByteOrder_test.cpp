#include "ByteOrder.h"
#include <gtest/gtest.h>

using namespace corvel;

TEST(ByteOrder, ReadsAndWritesEachOrder) {
    uint8_t b[4] = {};
    WriteBe24(b, 0xABCDEF);
    EXPECT_EQ(b[0], 0xAB);
    EXPECT_EQ(b[2], 0xEF);
    EXPECT_EQ(ReadBe24(b), 0xABCDEFu);
    WriteBe32(b, 0x01020304);
    EXPECT_EQ(b[0], 0x01);
    EXPECT_EQ(ReadBe32(b), 0x01020304u);
    WriteLe32(b, 0x01020304);
    EXPECT_EQ(b[0], 0x04);
    EXPECT_EQ(ReadLe32(b), 0x01020304u);
}
