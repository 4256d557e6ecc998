#pragma once
// Windows side of "language.csv": the path next to the program, the file read in the ANSI
// code page, the texts applied to windows and menus, and the label helpers on a window.
// Every reader opens and reads the file itself; nothing is cached.
#include <windows.h>

#include "Handles.h"
#include "LabelText.h"
#include "LanguageFile.h"
#include "RasErrorTexts.h"
#include "TextMeasure.h"
#include "UiText.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvel {

// Capacity of the program path; a path that fills it is taken as cut and fails.
inline constexpr DWORD kProgramPathCapacity = 260;
// Each reader holds the whole file in memory: a larger one is refused as unreadable (every text
// stays built in) rather than read in part. Real files are a few tens of KiB.
inline constexpr DWORD kLanguageFileMaxBytes = 64u << 20;

// Bytes of `codePage` (CP_ACP: the user's ANSI code page) as UTF-16; invalid bytes are
// replaced by the code page's default character, never rejected.
std::wstring DecodeAnsi(std::string_view bytes, UINT codePage);

// 0 with `path` = folder of the running program + "language.csv"; otherwise a Win32 code and
// `path` unchanged (an empty path behaves as a missing file).
DWORD BuildLanguagePath(std::wstring& path);

// 0 with `file` ready to read; otherwise a Win32 code (2 for an empty path) and `file` empty.
DWORD OpenLanguageFile(const std::wstring& path, CLanguageFile& file, UINT codePage = CP_ACP);

// In a control list: the line is consumed and applied to nothing.
inline constexpr int kNoControl = -1;

// Applies one section to a window. With a caption line, line 1 is the window's own caption
// and the next lines go to the listed controls (dialog item IDs) in order; without one, line k
// goes to the k-th control. Empty lines, a missing section or file change nothing.
void LoadDialogTexts(HWND window, const std::wstring& path, std::wstring_view section, bool captionLine,
                     const std::vector<int>& controlIds, UINT codePage = CP_ACP);

// Line 1 of "[stringtable_oleinit_failed]", or else resource string 100 of `resources`
// (the built-in text when the resource is missing too).
std::wstring ReadOleInitFailedText(const std::wstring& path, HINSTANCE resources = nullptr,
                                   UINT codePage = CP_ACP);
// The OLE failure text in an OK box with the exclamation icon, captioned "Corvel".
void ShowOleInitFailed(const std::wstring& path, HINSTANCE resources = nullptr);

// Fills the 30 texts from "[stringtable]"; an empty or missing line takes the resource string
// of `resources` (the program itself when null), and the built-in text when that is missing.
void LoadStringTable(const std::wstring& path, CUiText& table, HINSTANCE resources = nullptr,
                     UINT codePage = CP_ACP);

// "[mainmenu]" onto the tray menu being opened: its lines name the items at positions 0, 2
// and 4 (the separators between them are skipped); each item keeps its command ID.
void LoadMainMenuTexts(HMENU popup, const std::wstring& path, UINT codePage = CP_ACP);

// "[ras_error_msg]" for one code; SectionFound is false when the file cannot be opened.
RasErrorTexts ReadRasErrorTexts(const std::wstring& path, int32_t rasErrorCode, UINT codePage = CP_ACP);

// The label helpers measured with LabelTextMeasure(window): the label font on the DC of the
// window that shows the label, or a test's replacement.
void FitTextToWidth(HWND window, std::wstring& text, int limit);
std::wstring MakeLabelText(HWND window, std::wstring text, int limit);

} // namespace corvel
