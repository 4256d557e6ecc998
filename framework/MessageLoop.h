// The one message loop, reusable by the application, the modal dialogs and a console program.
#pragma once

#include <windows.h>

namespace corvel {

// Offers a message to PreTranslateMessage of the wrapped windows from its target up the parent
// chain (deepest first, the first that takes it ends the walk), then to IsDialogMessage of the
// top-level dialog of ours that the target belongs to (keyboard and mouse input only).
// TRUE when the message was consumed and must not be dispatched.
BOOL AfxPreTranslateMessage(MSG* msg);

// Gets one message (blocking), offers it as above, else translates and dispatches it.
// FALSE on WM_QUIT; then *quitCode holds its wParam.
BOOL AfxPumpMessage(MSG& msg, int* quitCode);

// Runs until WM_QUIT; returns its exit code.
int RunMessageLoop();

} // namespace corvel
