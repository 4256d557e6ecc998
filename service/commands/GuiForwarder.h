#pragma once
// Forwards a notification to the GUI client's pipe. A GUI that does not listen is not an
// error: the notification is lost without a report.
#include <windows.h>

#include <cstdint>

namespace corvel {

constexpr const wchar_t* kGuiPipeName = L"\\\\.\\pipe\\corvelgui";

// The pipe that ForwardToGui opens; tests point it at a pipe of their own. Set it before
// any worker runs.
void SetGuiPipeName(const wchar_t* name);
const wchar_t* GetGuiPipeName();

// One write of the message; the whole forward, a busy GUI's waits included, ends within
// half a second (a GUI that never reads cannot hold the worker). 0 when written, else the
// error (which callers ignore).
DWORD ForwardToGui(const uint8_t* message, DWORD length, HANDLE abortEvent);

} // namespace corvel
