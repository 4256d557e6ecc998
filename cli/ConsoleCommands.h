#pragma once
// The console client's two commands and the run after start-up; every outcome is the exit code.
#include "CommandHost.h"
#include "CommandLine.h"

#include <cstdint>

namespace corvel::cli {

inline constexpr uint32_t kPollIntervalMs = 500;
// The wait by polling, from the connect reply: the first poll answered at or after it ends the
// wait (the 81st when each round trip takes no time). Taken from the clock, not counted in polls:
// with round trips added the count would reach the service's own give-up (state 0 after 82 ticks
// of 500 ms from its dial) and read it as 65.
inline constexpr uint64_t kPollWaitMs = 81 * kPollIntervalMs;
// Polls 1 to 7 read state 0 without a RAS error as "not dialling yet": the service sets state 2
// only once dialling has begun, after it answered the connect.
inline constexpr unsigned kGracePolls = 7;

// The mutex counts as present when it opened, and when it exists but may not be opened
// (another user's tray program: 5); any other failure counts as absent.
bool GuiMutexPresent(uint32_t openResult);

// What the program does once its framework is up: parse (its error is the exit code), then,
// unless the command is "disconnect", refuse with 1235 while the tray program's mutex is
// present, then RunCommand. The mutex is tested after parsing, so "disconnect" runs beside
// the tray program.
uint32_t RunCommandLine(CommandLineOptions& options, int argc, const wchar_t* const* argv,
                        CCommandHost& host);

// Disconnect, connect, or 1359 for any other command (no command word).
uint32_t RunCommand(CommandLineOptions& options, CCommandHost& host);

// Loads the record; stores "/idpass" credentials (no dialog then, even with "/win"), or takes
// the stored ones and with "/win" offers them in the credentials dialog (Cancel 1223, a dialog
// that cannot be created 1359, a string above 64 units 160, stored first when its box is
// ticked); sends the connect; then waits in the connecting dialog ("/win") or by polling.
// Every end after the connect other than "connected" and a failed status query is preceded by
// the disconnect notification (41 00 00 03 00 00 01 and its pause); a notification that cannot
// be opened ends the command with the open's error.
uint32_t ConnectCommand(CommandLineOptions& options, CCommandHost& host);

// Nothing up (all 20 states 0): 0 and nothing sent. Otherwise the disconnect notification,
// whose result is the exit code. A failed status query ends it with its error.
uint32_t DisconnectCommand(CommandLineOptions& options, CCommandHost& host);

} // namespace corvel::cli
