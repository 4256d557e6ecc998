#pragma once
// Starting the GUI program in the session of the user at the console.
#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace corvel {

constexpr size_t kGuiPathChars = MAX_PATH;   // the program path, terminator included
constexpr size_t kGuiCommandLineChars = 600; // the command line, terminator included
constexpr const wchar_t* kGuiProgramName = L"Corvel.exe";
constexpr const wchar_t* kGuiDesktop = L"WinSta0\\Default";

// "connect vpn<index+1>", plus " /hide" when showGui is 0. 87 for an index of 20 or more,
// 122 when it does not fit.
DWORD BuildGuiCommandLine(uint8_t vpnIndex, uint32_t showGui, wchar_t* target, size_t capacity);

// folder (ending in a backslash) followed by "Corvel.exe". The folder must be a full path
// (a drive or a UNC root): the program is never searched for. 206 when the path does not
// fit in capacity; 3 when the folder is empty, not a full path or has no final backslash.
DWORD BuildGuiProgramPath(const wchar_t* folder, wchar_t* target, size_t capacity);

// A primary token of the console user; the caller owns it on success.
DWORD GetSessionUserToken(HANDLE* token);

// Creates the GUI process with the token's environment on "WinSta0\Default" and lets it
// run on its own.
DWORD StartGuiProcess(const wchar_t* programPath, const wchar_t* commandLine);

} // namespace corvel
