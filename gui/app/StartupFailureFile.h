#pragma once
// "prmfile.bin" under the user's application-data folder: the count of start-ups in a row that
// ended because the service never answered. The program reads and rewrites the file but never
// creates it.
#include <windows.h>

#include <string>

namespace corvel {

// Application-data folder + "\CorvelVPN\Corvel\prmfile.bin" (the folder part empty when the
// folder cannot be found).
std::wstring BuildDataPath();

// Only the first line is read, whatever the file's size. It holds a digit or two: one that runs
// on past this many bytes makes the file unreadable (the count reads as 0, nothing is written).
inline constexpr size_t kStartupFailureLineMaxBytes = 1u << 20;

// The count on the first line; 0 when the file cannot be read or holds no number.
int ReadStartupFailures(const std::wstring& path);

// Writes the count's text over the whole first line and keeps the rest of the file. 0, or the
// error (ERROR_FILE_NOT_FOUND for a missing file, which is then not created).
DWORD WriteStartupFailures(const std::wstring& path, int count);

} // namespace corvel
