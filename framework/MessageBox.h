// The framework's message box (AfxMessageBox) and the test hook that answers boxes.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace corvel {

// Caption: the application's name ("Corvel"). Owner: the main window's last active popup, or the main
// window (none in the console client); the top-level window above it is disabled while the box runs.
// With no icon named, OK and OK/Cancel boxes get MB_ICONEXCLAMATION, Yes/No and Yes/No/Cancel boxes
// MB_ICONQUESTION. Returns the button pressed (IDOK, ...), 0 when the box could not be shown.
int AfxMessageBox(const std::wstring& text, UINT type = MB_OK);
// The text of resource string `id`.
int AfxMessageBox(UINT id, UINT type = MB_OK);

// A plain MessageBoxW, through the same hook; for boxes with their own owner and caption.
int ShowMessageBox(HWND owner, const std::wstring& text, const std::wstring& caption, UINT type);

// What a box would have shown.
struct MessageBoxCall {
    HWND Owner;
    std::wstring Text;
    std::wstring Caption;
    UINT Type; // after the framework added its icon
};

// Replaces every box of the process (nullptr: real boxes again). The hook returns the button.
using MessageBoxHook = std::function<int(const MessageBoxCall&)>;
void SetMessageBoxHook(MessageBoxHook hook);

// For tests: while it lives, boxes are recorded and answered, never shown. Answers are taken from
// the queue in order; when it is empty, the first button of the box answers (IDOK, IDYES, IDABORT,
// IDRETRY). `OnBox` (optional) runs inside the box call, as a handler would run while a box is open.
class CMessageBoxRecorder {
public:
    CMessageBoxRecorder();
    ~CMessageBoxRecorder();
    CMessageBoxRecorder(const CMessageBoxRecorder&) = delete;
    CMessageBoxRecorder& operator=(const CMessageBoxRecorder&) = delete;

    std::vector<MessageBoxCall> Calls;
    std::vector<int> Answers;
    std::function<void(const MessageBoxCall&)> OnBox;
};

} // namespace corvel
