#include "UiTextWin.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include <string>

namespace corvel {
namespace {

constexpr UINT kShiftJis = 932;

// A file of the test's own in the temporary folder, removed at the end.
class LanguageFileOnDisk : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t folder[MAX_PATH];
        const DWORD length = ::GetTempPathW(MAX_PATH, folder);
        ASSERT_GT(length, 0u);
        ASSERT_LT(length, DWORD(MAX_PATH));
        m_path =
            std::wstring(folder) + L"corvel-uitext-" + std::to_wstring(::GetCurrentProcessId()) + L".csv";
    }
    void TearDown() override { ::DeleteFileW(m_path.c_str()); }

    // Zeros up to `size` behind what the file holds.
    void Extend(LONGLONG size) {
        UniqueFile file(::CreateFileW(m_path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(file);
        LARGE_INTEGER end{};
        end.QuadPart = size;
        ASSERT_TRUE(::SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN));
        ASSERT_TRUE(::SetEndOfFile(file.get()));
    }

    void Write(const std::string& bytes) {
        UniqueFile file(::CreateFileW(m_path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(file);
        DWORD written = 0;
        ASSERT_TRUE(::WriteFile(file.get(), bytes.data(), DWORD(bytes.size()), &written, nullptr));
        ASSERT_EQ(written, DWORD(bytes.size()));
    }

    std::wstring m_path;
};

// Shift_JIS bytes, written out: 接続 90DA 91B1, 設定 90DD 92E8, 表 955C (its second byte is a
// backslash), 終了(&Q) 8F49 97B9 "(&Q)".
const std::string kSetting = "\x90\xdd\x92\xe8";
const std::string kConnect = "\x90\xda\x91\xb1";
const std::string kTable = "\x95\x5c";
const std::string kQuit = "\x8f\x49\x97\xb9(&Q)";

TEST_F(LanguageFileOnDisk, ReadsShiftJisWithTheCodePageGiven) {
    Write("[dlgxauth]\r\n" + kConnect + kSetting + "\r\n" + kTable + "r\\n\r\n" + kConnect + "\\r\\n" +
          kSetting + "\r\n");
    CLanguageFile file;
    ASSERT_EQ(OpenLanguageFile(m_path, file, kShiftJis), 0u);
    const std::vector<std::wstring> lines = ReadSection(file, L"dlgxauth", 3);
    EXPECT_EQ(lines[0], L"接続設定");
    // The backslash byte inside 表 is no escape: the line is decoded before escapes are replaced.
    EXPECT_EQ(lines[1], L"表r\\n");
    EXPECT_EQ(lines[2], L"接続\r\n設定");
}

// The production default, the user's ANSI code page: run with LC_ALL=ja_JP.UTF-8 (its own CTest
// entry) to be a Japanese system.
TEST_F(LanguageFileOnDisk, ReadsShiftJisInTheUsersCodePageOnAJapaneseSystem) {
    if (::GetACP() != kShiftJis) {
        if (std::getenv("CORVEL_REQUIRE_JAPANESE"))
            FAIL() << "ANSI code page " << ::GetACP() << ", not 932, under LC_ALL=ja_JP.UTF-8";
        GTEST_SKIP() << "ANSI code page " << ::GetACP() << ", not 932: run with LC_ALL=ja_JP.UTF-8";
    }
    Write("[dlgxauth]\r\n" + kConnect + kSetting + "\r\n");
    CLanguageFile file;
    ASSERT_EQ(OpenLanguageFile(m_path, file), 0u);
    EXPECT_EQ(ReadSection(file, L"dlgxauth", 1)[0], L"接続設定");
}

TEST_F(LanguageFileOnDisk, MissingFileOrPath) {
    CLanguageFile file;
    EXPECT_EQ(OpenLanguageFile(m_path, file, kShiftJis), DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(OpenLanguageFile(L"", file, kShiftJis), DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(file.SeekSection(L"dlgxauth"));
    EXPECT_FALSE(ReadRasErrorTexts(m_path, 691, kShiftJis).SectionFound);
    EXPECT_EQ(ReadOleInitFailedText(m_path), kOleInitFailedText);
}

// Only a file past the bound is refused, and then as an unreadable one: the built-in text.
TEST_F(LanguageFileOnDisk, FilesUpToTheSizeBoundAreRead) {
    const LONGLONG bound = kLanguageFileMaxBytes;
    const struct {
        LONGLONG Size;
        bool Read;
    } cases[] = {{(4 << 20) + 1, true}, {bound, true}, {bound + 1, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Size);
        Write("[stringtable_oleinit_failed]\r\n" + kConnect + "\r\n");
        Extend(c.Size);
        CLanguageFile file;
        EXPECT_EQ(OpenLanguageFile(m_path, file, kShiftJis), c.Read ? 0u : DWORD(ERROR_FILE_TOO_LARGE));
        EXPECT_EQ(ReadOleInitFailedText(m_path, nullptr, kShiftJis), c.Read ? L"接続" : kOleInitFailedText);
    }
}

// A top-level window with two child controls stands in for a dialog.
class LanguageFileOnWindow : public LanguageFileOnDisk {
protected:
    void SetUp() override {
        LanguageFileOnDisk::SetUp();
        m_window = ::CreateWindowExW(0, L"STATIC", L"built-in caption", WS_POPUP, 0, 0, 200, 100, nullptr,
                                     nullptr, nullptr, nullptr);
        ASSERT_NE(m_window, nullptr);
        for (int id : {1093, 1094, 1095})
            ::CreateWindowExW(0, L"STATIC", L"built-in", WS_CHILD, 0, 0, 50, 10, m_window, HMENU(INT_PTR(id)),
                              nullptr, nullptr);
    }
    void TearDown() override {
        if (m_window)
            ::DestroyWindow(m_window);
        LanguageFileOnDisk::TearDown();
    }

    std::wstring TextOf(int id) const {
        wchar_t text[256] = {};
        if (id == 0)
            ::GetWindowTextW(m_window, text, 256);
        else
            ::GetDlgItemTextW(m_window, id, text, 256);
        return text;
    }

    HWND m_window = nullptr;
};

TEST_F(LanguageFileOnWindow, DialogTextsWithCaptionLine) {
    // Line 3 empty, line 4 reserved for no control.
    Write("[dlgxauth]\n" + kConnect + "\n" + kSetting + "\n\nskipped\n" + kQuit + "\n");
    LoadDialogTexts(m_window, m_path, L"dlgxauth", true, {1093, 1094, kNoControl, 1095}, kShiftJis);
    EXPECT_EQ(TextOf(0), L"接続");
    EXPECT_EQ(TextOf(1093), L"設定");
    EXPECT_EQ(TextOf(1094), L"built-in");
    EXPECT_EQ(TextOf(1095), L"終了(&Q)");
}

TEST_F(LanguageFileOnWindow, PageTextsWithoutCaptionLine) {
    Write("[olesetvpnconnect]\n" + kConnect + "\n");
    LoadDialogTexts(m_window, m_path, L"olesetvpnconnect", false, {1093, 1094}, kShiftJis);
    EXPECT_EQ(TextOf(0), L"built-in caption");
    EXPECT_EQ(TextOf(1093), L"接続");
    EXPECT_EQ(TextOf(1094), L"built-in"); // the file ends before line 2
}

TEST_F(LanguageFileOnWindow, MissingFileOrSectionChangesNothing) {
    LoadDialogTexts(m_window, m_path, L"dlgxauth", true, {1093}, kShiftJis);
    Write("[dlgxauth] \nx\ny\n");
    LoadDialogTexts(m_window, m_path, L"dlgxauth", true, {1093}, kShiftJis);
    EXPECT_EQ(TextOf(0), L"built-in caption");
    EXPECT_EQ(TextOf(1093), L"built-in");
}

TEST_F(LanguageFileOnDisk, MainMenuLinesGoToEveryOtherPosition) {
    UniqueMenu menu(::CreatePopupMenu());
    ASSERT_TRUE(menu);
    ::AppendMenuW(menu.get(), MF_STRING, 32776, L"one");
    ::AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr);
    ::AppendMenuW(menu.get(), MF_STRING, 32778, L"two");
    ::AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr);
    ::AppendMenuW(menu.get(), MF_STRING, 32780, L"three");
    Write("[mainmenu]\r\n" + kSetting + "(&S)\r\n\r\n" + kQuit + "\r\n");
    LoadMainMenuTexts(menu.get(), m_path, kShiftJis);

    wchar_t text[64];
    ASSERT_GT(::GetMenuStringW(menu.get(), 32776, text, 64, MF_BYCOMMAND), 0);
    EXPECT_STREQ(text, L"設定(&S)");
    ASSERT_GT(::GetMenuStringW(menu.get(), 32778, text, 64, MF_BYCOMMAND), 0);
    EXPECT_STREQ(text, L"two");
    ASSERT_GT(::GetMenuStringW(menu.get(), 4, text, 64, MF_BYPOSITION), 0);
    EXPECT_STREQ(text, L"終了(&Q)");
    EXPECT_EQ(::GetMenuItemID(menu.get(), 4), 32780u);
    EXPECT_EQ(::GetMenuItemCount(menu.get()), 5);
}

TEST_F(LanguageFileOnDisk, StringTableFallsBackToBuiltinTexts) {
    // This test program has no string resources: missing lines take the built-in texts.
    Write("[stringtable]\nApp\n\n" + kConnect + "\n");
    CUiText table;
    LoadStringTable(m_path, table, nullptr, kShiftJis);
    EXPECT_EQ(table.Get(128), L"App");
    EXPECT_EQ(table.Get(200), L"接続制御");
    EXPECT_EQ(table.Get(201), L"接続");
    EXPECT_EQ(table.Get(227), L"アプリケーションの起動が失敗しました。再起動をして下さい。");
}

TEST_F(LanguageFileOnDisk, OleInitFailedTextFromFile) {
    Write("[stringtable_oleinit_failed]\n" + kConnect + "\n");
    EXPECT_EQ(ReadOleInitFailedText(m_path, nullptr, kShiftJis), L"接続");
    Write("[stringtable_oleinit_failed]\n\n");
    EXPECT_EQ(ReadOleInitFailedText(m_path, nullptr, kShiftJis), kOleInitFailedText);
}

TEST_F(LanguageFileOnDisk, RasErrorTextsFromFile) {
    Write("[ras_error_msg]\nCaption\nCopy\nClose\n691," + kConnect + "\nras_error_msg_end\n" + kSetting +
          "\n");
    EXPECT_EQ(ReadRasErrorTexts(m_path, 691, kShiftJis).Message, L"接続");
    EXPECT_EQ(ReadRasErrorTexts(m_path, 800, kShiftJis).Message, L"設定(800)");
}

TEST(LanguagePathWin, NextToTheRunningProgram) {
    std::wstring path;
    ASSERT_EQ(BuildLanguagePath(path), 0u);
    wchar_t program[MAX_PATH];
    const DWORD length = ::GetModuleFileNameW(nullptr, program, MAX_PATH);
    ASSERT_GT(length, 0u);
    std::wstring folder(program, length);
    folder.resize(folder.find_last_of(L'\\') + 1);
    EXPECT_EQ(path, folder + L"language.csv");
}

TEST(LabelFontWin, MeasuresAndFitsWithTheLabelFont) {
    const HWND window =
        ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 200, 100, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    {
        const CLabelFontMeasurer measurer(window);
        const int one = measurer.Width(L"W");
        EXPECT_GT(one, 0);
        EXPECT_GT(measurer.Width(L"WWWW"), one);
        EXPECT_EQ(measurer.Width(L""), 0);
    }
    std::wstring text(100, L'W');
    FitTextToWidth(window, text, 80);
    ASSERT_GT(text.size(), 3u);
    EXPECT_LT(text.size(), 100u);
    EXPECT_EQ(text.substr(text.size() - 3), L"...");
    EXPECT_LT(CLabelFontMeasurer(window).Width(text.substr(0, text.size() - 3)), 80);

    EXPECT_EQ(MakeLabelText(window, L"R&D", 290), L"R&&D");
    ::DestroyWindow(window);
}

TEST(LabelFontWin, WindowHelpersMeasureWithTheTestsReplacement) {
    HWND measured = nullptr;
    SetLabelTextMeasureFactory([&measured](HWND window) {
        measured = window;
        return [](std::wstring_view text) { return int(text.size()) * 10; };
    });
    const HWND window = HWND(INT_PTR(0x1234)); // never touched: no DC is taken
    // "R&D " is 40 px, under 50; the dots are appended, then the ampersand doubled.
    EXPECT_EQ(MakeLabelText(window, L"R&D Tokyo", 50), L"R&&D ...");
    EXPECT_EQ(measured, window);
    std::wstring text = L"abcdef";
    FitTextToWidth(window, text, 60); // exactly the limit is too wide
    EXPECT_EQ(text, L"abcde...");
    SetLabelTextMeasureFactory(nullptr);
}

} // namespace
} // namespace corvel
