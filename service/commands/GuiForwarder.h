#pragma once
// Forwards a notification to the GUI client's pipe. A GUI that does not listen is not an
// error: the notification is lost without a report.
#include "PipeNames.h"

#include <windows.h>

#include <cstdint>

namespace corvel {

// The pipe that ForwardToGui opens; tests point it at a pipe of their own. Set it before
// any worker runs.
void SetGuiPipeName(const wchar_t* name);
const wchar_t* GetGuiPipeName();

// One write of the message; the whole forward, a busy GUI's waits included, ends within
// half a second (a GUI that never reads cannot hold the worker). abortEvent (may be null) ends
// it at once; ioEvent, when given, is a manual-reset event the write may use. 0 when written,
// else the error (which callers ignore).
DWORD ForwardToGui(const uint8_t* message, DWORD length, HANDLE abortEvent, HANDLE ioEvent = nullptr);

} // namespace corvel
