#include "StartGui.h"

#include <gtest/gtest.h>

#include <string>

namespace corvel {
namespace {

TEST(StartGuiTest, CommandLineNamesTheConnectionAndHidesOnRequest) {
    struct Case {
        uint8_t VpnIndex;
        uint32_t ShowGui;
        const wchar_t* Expected;
    } cases[] = {
        {0, 1, L"connect vpn1"}, {0, 0, L"connect vpn1 /hide"},   {4, 0, L"connect vpn5 /hide"},
        {4, 1, L"connect vpn5"}, {19, 0, L"connect vpn20 /hide"}, {19, 7, L"connect vpn20"},
    };
    for (const Case& c : cases) {
        wchar_t line[kGuiCommandLineChars];
        ASSERT_EQ(0u, BuildGuiCommandLine(c.VpnIndex, c.ShowGui, line, kGuiCommandLineChars));
        EXPECT_STREQ(c.Expected, line);
    }
    wchar_t line[kGuiCommandLineChars];
    EXPECT_EQ(87u, BuildGuiCommandLine(20, 1, line, kGuiCommandLineChars));
    wchar_t small[12];
    EXPECT_EQ(122u, BuildGuiCommandLine(0, 0, small, 12));
}

TEST(StartGuiTest, ProgramPathIsTheServiceFolderOnlyWhenItFits) {
    const std::wstring fits(kGuiPathChars - 1 - 10 - 3, L'a'); // "C:\" + folder + "\" + "Corvel.exe"
    struct Case {
        std::wstring Folder;
        DWORD Result;
        std::wstring Expected;
    } cases[] = {
        {L"C:\\Program Files\\Corvel\\", 0, L"C:\\Program Files\\Corvel\\Corvel.exe"},
        {L"\\\\server\\share\\", 0, L"\\\\server\\share\\Corvel.exe"},
        {L"C:\\" + fits.substr(1) + L"\\", 0, L"C:\\" + fits.substr(1) + L"\\Corvel.exe"},
        {L"C:\\" + fits + L"\\", 206, L""},
        {L"", 3, L""},
        {L"Corvel\\", 3, L""},
        {L"C:\\Corvel", 3, L""},
    };
    for (const Case& c : cases) {
        wchar_t path[kGuiPathChars];
        EXPECT_EQ(c.Result, BuildGuiProgramPath(c.Folder.c_str(), path, kGuiPathChars)) << c.Folder.size();
        EXPECT_EQ(c.Expected, std::wstring(path)) << c.Folder.size();
    }
}

} // namespace
} // namespace corvel
