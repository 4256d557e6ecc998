#include "LanguageFile.h"
#include "TestUtf8.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace corvel {
namespace {

CLanguageFile FileOf(std::string utf8) {
    return CLanguageFile(std::move(utf8), test::DecodeUtf8);
}

std::string FillerLines(int count, const char* lineEnd = "\n") {
    std::string s;
    for (int i = 0; i < count; ++i)
        s += "filler" + std::to_string(i) + lineEnd;
    return s;
}

struct HeaderCase {
    const char* Name;
    std::string File;
    bool Found;
};

TEST(LanguageFileHeader, MatchesOnlyTheExactLineWithinTheFirst700) {
    const HeaderCase cases[] = {
        {"exact", "[dlgxauth]\nText\n", true},
        {"exact, CR LF", "[dlgxauth]\r\nText\r\n", true},
        {"last line without line end", "x\n[dlgxauth]", true},
        {"trailing blank", "[dlgxauth] \nText\n", false},
        {"leading blank", " [dlgxauth]\nText\n", false},
        {"other case", "[DlgXauth]\nText\n", false},
        {"byte-order mark on line 1", "\xEF\xBB\xBF[dlgxauth]\nText\n", false},
        {"name without brackets", "dlgxauth\nText\n", false},
        {"only a longer name", "[dlgxauth2]\n[c_dlgxauth]\n", false},
        {"on line 700", FillerLines(699) + "[dlgxauth]\nText\n", true},
        {"on line 700, CR LF", FillerLines(699, "\r\n") + "[dlgxauth]\r\nText\r\n", true},
        {"on line 701", FillerLines(700) + "[dlgxauth]\nText\n", false},
        {"empty file", "", false},
    };
    for (const HeaderCase& c : cases) {
        CLanguageFile file = FileOf(c.File);
        EXPECT_EQ(file.SeekSection(L"dlgxauth"), c.Found) << c.Name;
    }
}

TEST(LanguageFileHeader, EmptyFileObjectFindsNothing) {
    CLanguageFile file;
    EXPECT_FALSE(file.SeekSection(L"dlgxauth"));
    EXPECT_EQ(file.ReadEntry(), L"");
}

struct SectionCase {
    const char* Name;
    std::string File;
    std::vector<std::wstring> Entries;
};

TEST(LanguageFileSection, LinesArePositionalAndKeptAsWritten) {
    const SectionCase cases[] = {
        {"LF", "[s]\nA\nB\nC\n", {L"A", L"B", L"C"}},
        {"CR LF", "[s]\r\nA\r\nB\r\nC\r\n", {L"A", L"B", L"C"}},
        {"mixed line ends", "[s]\r\nA\nB\r\nC", {L"A", L"B", L"C"}},
        {"blanks, tabs and commas belong to the text", "[s]\n A \n\tB,\n,C, \n", {L" A ", L"\tB,", L",C, "}},
        {"a CR not before LF stays", "[s]\nA\rB\n\r\r\nC\n", {L"A\rB", L"\r", L"C"}},
        {"empty line keeps the entry, the next line is the next entry", "[s]\nA\n\nC\n", {L"A", L"", L"C"}},
        {"third line empty", "[s]\nA\nB\n\nD\nE\n", {L"A", L"B", L"", L"D", L"E"}},
        {"cut off by the end of the file", "[s]\nA\nB", {L"A", L"B", L"", L""}},
        {"header as the last line", "x\n[s]\n", {L"", L""}},
        {"first of two sections", "[s]\nfirst\n[s]\nsecond\n", {L"first"}},
        {"lines before and after are ignored", "junk,1\n[t]\nT\n[s]\nS\n[u]\n", {L"S", L"[u]"}},
        {"section not found", "[t]\nA\n", {L"", L""}},
        {"Japanese", "[s]\n接続設定(&S)\n終了(&Q)\n", {L"接続設定(&S)", L"終了(&Q)"}},
    };
    for (const SectionCase& c : cases) {
        CLanguageFile file = FileOf(c.File);
        EXPECT_EQ(ReadSection(file, L"s", c.Entries.size()), c.Entries) << c.Name;
    }
}

TEST(LanguageFileSection, EscapeBecomesCrLfEverywhereInTheLine) {
    const SectionCase cases[] = {
        {"text on both sides", "[s]\nab\\r\\ncd\n", {L"ab\r\ncd"}},
        {"several", "[s]\n\\r\\na\\r\\nb\\r\\n\n", {L"\r\na\r\nb\r\n"}},
        {"only the escape: not empty, sets CR LF", "[s]\n\\r\\n\n", {L"\r\n"}},
        {"backslash n alone stays", "[s]\na\\nb\n", {L"a\\nb"}},
        {"backslash r alone stays", "[s]\na\\rb\n", {L"a\\rb"}},
        {"doubled start", "[s]\n\\r\\r\\n\n", {L"\\r\r\n"}},
        {"other escapes stay", "[s]\n\\t\\\\\n", {L"\\t\\\\"}},
    };
    for (const SectionCase& c : cases) {
        CLanguageFile file = FileOf(c.File);
        EXPECT_EQ(ReadSection(file, L"s", c.Entries.size()), c.Entries) << c.Name;
    }
}

TEST(LanguageFileSection, EscapeIsNotAHeaderEscape) {
    CLanguageFile file = FileOf("[s\\r\\n]\nA\n");
    EXPECT_FALSE(file.SeekSection(L"s\r\n"));
}

// The settings menu's submenu sections are searched on from the section before them, the
// current line first, with a counter of their own that the lines read in between also raise.
class LanguageFileOnward : public ::testing::Test {
protected:
    static constexpr int kLimit = 200;

    bool FindImportThenExport(int gapBeforeImport, int gapBeforeExport, std::vector<std::wstring>* import) {
        std::string s = "[menusetvpnconnect]\n1\n2\n3\n4\n5\n" + FillerLines(gapBeforeImport) +
                        "[menusetvpnconnect_2_0]\n" + FillerLines(21) + FillerLines(gapBeforeExport) +
                        "[menusetvpnconnect_2_1]\nexport all\n";
        CLanguageFile file = FileOf(s);
        if (!file.SeekSection(L"menusetvpnconnect"))
            return false;
        file.ReadEntries(5);
        file.ResetCount();
        if (!file.SeekSection(L"menusetvpnconnect_2_0", kLimit))
            return false;
        file.ResetCount();
        *import = file.ReadEntries(21);
        if (!file.SeekSection(L"menusetvpnconnect_2_1", kLimit))
            return false;
        return file.ReadEntry() == L"export all";
    }
};

TEST_F(LanguageFileOnward, SharedCounterLimitsBothSearches) {
    std::vector<std::wstring> import;
    // The import header may be the 200th line after the section; the export header then has
    // the 179 lines that the 21 import lines leave.
    EXPECT_TRUE(FindImportThenExport(199, 178, &import));
    EXPECT_EQ(import.front(), L"filler0");
    EXPECT_FALSE(FindImportThenExport(200, 0, &import));
    EXPECT_FALSE(FindImportThenExport(0, 179, &import));
}

TEST_F(LanguageFileOnward, CurrentLineIsComparedFirst) {
    CLanguageFile file = FileOf("[a]\n[b]\nB\n");
    ASSERT_TRUE(file.SeekSection(L"a"));
    EXPECT_EQ(file.ReadEntry(), L"[b]");
    file.ResetCount();
    EXPECT_TRUE(file.SeekSection(L"b", 0)); // found without reading a line
    EXPECT_EQ(file.ReadEntry(), L"B");
}

TEST(LanguagePath, FolderOfTheProgramPlusFileName) {
    const struct {
        const wchar_t* Program;
        const wchar_t* Path;
    } cases[] = {
        {L"C:\\Program Files\\Corvel\\Corvel.exe", L"C:\\Program Files\\Corvel\\language.csv"},
        {L"C:\\corvelc.exe", L"C:\\language.csv"},
        {L"C:/dir/corvelc.exe", L"C:/dir/language.csv"},
        {L"\\\\server\\share\\Corvel.exe", L"\\\\server\\share\\language.csv"},
        {L"C:Corvel.exe", L"C:language.csv"},
        {L"Corvel.exe", L"language.csv"},
        {L"", L""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LanguagePathForProgram(c.Program), c.Path) << c.Program;
}

} // namespace
} // namespace corvel
