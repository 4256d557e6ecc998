// Wide-string formatting and resource strings.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <string>

namespace corvel {

// printf-like into a std::wstring. Under MinGW %s reads a NARROW string: write %ls for wchar_t*.
std::wstring FormatW(const wchar_t* format, ...);

// Replaces %1 ... %9 by the arguments (as the framework's own messages use them); "%%" stays "%%".
std::wstring FormatPercentArgs(const std::wstring& pattern, std::initializer_list<std::wstring> args);

// A string-table entry of our resources; empty when it does not exist.
std::wstring LoadResString(UINT id);
// As above; false when there is no such entry (or it is empty).
bool LoadResString(UINT id, std::wstring& text);

} // namespace corvel
