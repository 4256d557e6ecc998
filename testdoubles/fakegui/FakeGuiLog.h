#pragma once
// What the "Corvel.exe" stand-in leaves behind, shared with the tests that read it.
//
// Each start appends one line, UTF-8, to "fakegui.log" beside the stand-in:
//     session=<session id>|<the full command line, as GetCommandLineW gives it>\n
// and then sets the event kFakeGuiStartedEvent when it exists, so a test waits for the
// start instead of polling the file.

namespace corvel {

inline constexpr wchar_t kFakeGuiLogName[] = L"fakegui.log";
inline constexpr wchar_t kFakeGuiStartedEvent[] = L"Global\\CorvelFakeGuiStarted";

} // namespace corvel
