#include "UiText.h"
#include "LanguageFile.h"
#include "TestUtf8.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace corvel {
namespace {

std::wstring BuiltinMark(unsigned id) {
    return L"builtin " + std::to_wstring(id);
}

TEST(UiText, EntriesAreNamedByResourceId) {
    EXPECT_EQ(CUiText::IndexOf(128), 0);
    EXPECT_EQ(CUiText::IndexOf(200), 1);
    EXPECT_EQ(CUiText::IndexOf(212), 13);
    EXPECT_EQ(CUiText::IndexOf(228), 29);
    for (unsigned id : {0u, 100u, 127u, 129u, 199u, 229u})
        EXPECT_EQ(CUiText::IndexOf(id), -1) << id;
    for (int k = 0; k < CUiText::kCount; ++k)
        EXPECT_EQ(CUiText::IndexOf(CUiText::IdAt(k)), k);
}

TEST(UiText, FileLinesReplaceBuiltinTextsByPosition) {
    // Line 14 is UiText 212, line 18 UiText 216; line 19 is reserved.
    std::string s = "[stringtable]\nApp\n";
    for (int line = 2; line <= 30; ++line)
        s += (line == 3 ? std::string() : "line " + std::to_string(line)) + "\n";
    CLanguageFile file(s, test::DecodeUtf8);
    CUiText table;
    table.Fill(ReadSection(file, sections::StringTable.Name, sections::StringTable.Lines), BuiltinMark);

    EXPECT_EQ(table.Get(128), L"App");
    EXPECT_EQ(table.Get(200), L"line 2");
    EXPECT_EQ(table.Get(201), L"builtin 201"); // empty line 3
    EXPECT_EQ(table.Get(212), L"line 14");
    EXPECT_EQ(table.Get(216), L"line 18");
    EXPECT_EQ(table.Get(217), L""); // reserved: consumed, not used
    EXPECT_EQ(table.Get(218), L"line 20");
    EXPECT_EQ(table.Get(224), L"");
    EXPECT_EQ(table.Get(228), L"line 30");
    EXPECT_EQ(table.Get(229), L"");
}

TEST(UiText, WithoutSectionEveryEntryIsBuiltin) {
    CLanguageFile file("[other]\nx\n", test::DecodeUtf8);
    CUiText table;
    table.Fill(ReadSection(file, sections::StringTable.Name, sections::StringTable.Lines), nullptr);
    EXPECT_EQ(table.Get(128), L"Corvel");
    EXPECT_EQ(table.Get(204), L"接続");
    EXPECT_EQ(table.Get(216), L"VPNへのアクセスを終了します。\nよろしいですか？");
    EXPECT_EQ(table.Get(228), L"アプリケーションの起動が失敗しました。再インストールをして下さい。");
    // An empty section (no file) behaves the same.
    CUiText fromNothing;
    fromNothing.Fill({}, BuiltinMark);
    EXPECT_EQ(fromNothing.Get(213), L"builtin 213");
}

} // namespace
} // namespace corvel
