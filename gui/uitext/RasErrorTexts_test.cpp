#include "RasErrorTexts.h"
#include "TestUtf8.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace corvel {
namespace {

const char kHead[] = "[ras_error_msg]\nRAS エラー\nコピー\n閉じる\n";

RasErrorTexts Read(const std::string& utf8, int32_t code) {
    CLanguageFile file(utf8, test::DecodeUtf8);
    return ReadRasErrorTexts(file, code);
}

TEST(RasErrorTexts, HeadLinesAndMissingSection) {
    const RasErrorTexts texts = Read(std::string(kHead) + "691,x\nras_error_msg_end\ngeneric\n", 691);
    EXPECT_TRUE(texts.SectionFound);
    EXPECT_EQ(texts.Caption, L"RAS エラー");
    EXPECT_EQ(texts.CopyButton, L"コピー");
    EXPECT_EQ(texts.CloseButton, L"閉じる");

    const RasErrorTexts none = Read("[ras_error]\n691,x\n", 691);
    EXPECT_FALSE(none.SectionFound);
    EXPECT_EQ(none.Message, L"");

    const RasErrorTexts emptyHead = Read("[ras_error_msg]\n\n\n\n691,x\n", 691);
    EXPECT_TRUE(emptyHead.SectionFound);
    EXPECT_EQ(emptyHead.Caption, L"");
    EXPECT_EQ(emptyHead.Message, L"x");
}

struct MessageCase {
    const char* Name;
    std::string List; // the lines after the three head lines
    int32_t Code;
    std::wstring Message;
};

TEST(RasErrorTexts, MessageForCode) {
    const char* tail = "ras_error_msg_end\n不明なエラーです。\n";
    const MessageCase cases[] = {
        {"listed", std::string("678,応答なし\n691,認証失敗\n") + tail, 691, L"認証失敗"},
        {"first of two lines with the code", std::string("691,first\n691,second\n") + tail, 691, L"first"},
        {"empty text lets a later line match", std::string("691,\n692,x\n691,later\n") + tail, 691, L"later"},
        {"leading zero", std::string("0691,zero\n") + tail, 691, L"zero"},
        {"leading blank and tab", std::string(" \t691,blank\n") + tail, 691, L"blank"},
        {"sign", std::string("+691,plus\n") + tail, 691, L"plus"},
        {"digits end the code", std::string("691x,stops\n") + tail, 691, L"stops"},
        {"further commas belong to the text", std::string("691,a,b,,c\n") + tail, 691, L"a,b,,c"},
        {"escape in the text", std::string("691,one\\r\\ntwo\n") + tail, 691, L"one\r\ntwo"},
        {"line starting with the comma is never used", std::string(",691\n") + tail, 0,
         L"不明なエラーです。(0)"},
        {"no digits read as 0", std::string("abc,zero code\n") + tail, 0, L"zero code"},
        {"line without comma is skipped", std::string("691 no comma\n691,yes\n") + tail, 691, L"yes"},
        {"empty lines in the list are skipped", std::string("\n\n691,yes\n") + tail, 691, L"yes"},
        {"not listed: generic text and the code", std::string("691,x\n") + tail, 800,
         L"不明なエラーです。(800)"},
        {"negative code", std::string("691,x\n") + tail, -5, L"不明なエラーです。(-5)"},
        {"not listed, generic line empty", "691,x\nras_error_msg_end\n\n", 800, L""},
        {"not listed, file ends after the end line", "691,x\nras_error_msg_end\n", 800, L""},
        {"no end line: the list runs to the end of the file", "691,x\n", 800, L""},
        {"lines after the end line are not the list", std::string(tail) + "800,late\n", 800,
         L"不明なエラーです。(800)"},
        {"out-of-range code saturates", std::string("99999999999,max\n") + tail, INT32_MAX, L"max"},
    };
    for (const MessageCase& c : cases)
        EXPECT_EQ(Read(kHead + c.List, c.Code).Message, c.Message) << c.Name;
}

TEST(RasErrorTexts, ListIsReadFor700Lines) {
    std::string filler;
    for (int i = 0; i < 699; ++i)
        filler += "1,filler\n";
    EXPECT_EQ(Read(kHead + filler + "691,700th\n", 691).Message, L"700th");
    // The 701st list line ends the list unread; the generic line is the one after it.
    EXPECT_EQ(Read(kHead + filler + "1,filler\n691,701st\ngeneric\n", 691).Message, L"generic(691)");
}

TEST(RasErrorTexts, EndLineAsThirdHeadLineEndsTheListAtOnce) {
    const std::string file = "[ras_error_msg]\ncaption\ncopy\nras_error_msg_end\ngeneric\n691,x\n";
    const RasErrorTexts texts = Read(file, 691);
    EXPECT_EQ(texts.CloseButton, L"ras_error_msg_end");
    EXPECT_EQ(texts.Message, L"generic(691)");
}

TEST(RasErrorTexts, CodeReadAsWcstolWithA32BitLong) {
    const struct {
        const wchar_t* Text;
        int32_t Code;
    } cases[] = {
        {L"691", 691},
        {L"  691", 691},
        {L"\t\r\n691", 691},
        {L"0691", 691},
        {L"+691", 691},
        {L"-691", -691},
        {L"691abc", 691},
        {L"6 91", 6},
        {L"abc", 0},
        {L"", 0},
        {L"-", 0},
        {L"+-1", 0},
        {L"2147483647", INT32_MAX},
        {L"2147483648", INT32_MAX},
        {L"99999999999999999999", INT32_MAX},
        {L"-2147483648", INT32_MIN},
        {L"-99999999999999999999", INT32_MIN},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseRasErrorCode(c.Text), c.Code) << c.Text;
}

} // namespace
} // namespace corvel
