#pragma once
// "language.csv": the texts that replace the built-in texts of windows, pages and menus.
// Portable: the file arrives as bytes and every line is decoded by a function the caller
// supplies (the Windows side converts from the ANSI code page).
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace corvel {

// Converts one line's bytes, line end already removed, to text.
using LineDecoder = std::function<std::wstring(std::string_view)>;

// Every reader counts the lines of its header search from the first line of the file.
inline constexpr int kHeaderLineLimit = 700;

inline constexpr wchar_t kLanguageFileName[] = L"language.csv";

// Every "\r\n" (backslash, r, backslash, n) becomes CR LF; there is no other escape.
std::wstring ReplaceLineBreakEscapes(std::wstring_view line);

// Folder of the program file (drive and directory, separator kept) + "language.csv";
// empty when the program path is empty.
std::wstring LanguagePathForProgram(std::wstring_view programPath);

// One pass over the file. Lines end in CR LF or LF; the line end is removed and nothing else
// is trimmed. A read beyond the end gives an empty line. Open it anew for every reader.
class CLanguageFile {
public:
    CLanguageFile() = default; // an empty file: nothing is ever found
    CLanguageFile(std::string bytes, LineDecoder decode);

    // Reads on until the current line is exactly "[" + name + "]". Every line read adds 1 to
    // the counter, and the search fails once the counter passes `limit`. The current line is
    // compared before anything is read: on a fresh file it is empty, so the header is found
    // on lines 1 to `limit`; searching on after a section starts with that section's last line.
    bool SeekSection(std::wstring_view name, int limit = kHeaderLineLimit);

    // The next line with its escapes replaced; empty when it is empty or beyond the end.
    // An empty entry keeps the built-in text. Adds 1 to the counter.
    std::wstring ReadEntry();
    std::vector<std::wstring> ReadEntries(size_t count);

    int Count() const { return m_count; }
    void ResetCount() { m_count = 0; }

private:
    bool ReadLine(std::wstring& line);

    std::string m_bytes;
    size_t m_pos = 0;
    LineDecoder m_decode;
    std::wstring m_current;
    int m_count = 0;
};

// The reading procedure of every single-section reader: `count` entries of the section, in
// order; all empty (keep every built-in text) when the header is not among the first 700 lines.
std::vector<std::wstring> ReadSection(CLanguageFile& file, std::wstring_view name, size_t count);

// A section of the file and the number of its lines after the header.
struct LanguageSection {
    const wchar_t* Name; // without the brackets
    int Lines;
};

// Every section of the file. A dialog's section starts with its caption; a page's has none;
// a menu's lines go to items by position.
namespace sections {
inline constexpr LanguageSection OleInitFailed{L"stringtable_oleinit_failed", 1};
inline constexpr LanguageSection StringTable{L"stringtable", 30};
inline constexpr LanguageSection MainMenu{L"mainmenu", 3};
inline constexpr LanguageSection ConnectionSettingPage{L"olesetvpnconnect", 11};
inline constexpr LanguageSection ConnectionPage{L"olevpnconnect", 42};
inline constexpr LanguageSection CredentialsDialog{L"dlgxauth", 6};
inline constexpr LanguageSection StartupWaitDialog{L"dlginitmessage", 2};
inline constexpr LanguageSection DisconnectingDialog{L"dlgdisconnecting", 2};
inline constexpr LanguageSection ConnectingDialog{L"dlgvpnconnecting", 4};
inline constexpr LanguageSection SettingsDialog{L"dlgvpnconnect", 2};
inline constexpr LanguageSection SettingsMenu{L"menusetvpnconnect", 5};
// Both submenu sections are searched on from the section before them, with a limit of their
// own (200 further lines, counted across both).
inline constexpr LanguageSection SettingsImportMenu{L"menusetvpnconnect_2_0", 21};
inline constexpr LanguageSection SettingsExportMenu{L"menusetvpnconnect_2_1", 21};
inline constexpr int kSettingsSubmenuLineLimit = 200;
inline constexpr LanguageSection VersionBox{L"dlgversion", 9};
// Caption and two buttons; then the code list, its end line and the generic text.
inline constexpr LanguageSection RasError{L"ras_error_msg", 3};
// The GUI's RAS-error box reads line 1 only: the caption of the window it closes.
inline constexpr LanguageSection CliConnectingDialog{L"c_dlgvpnconnecting", 4};
inline constexpr LanguageSection CliCredentialsDialog{L"c_dlgxauth", 6};
} // namespace sections

} // namespace corvel
