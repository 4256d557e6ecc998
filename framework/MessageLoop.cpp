#include "MessageLoop.h"

#include "Dialog.h"

namespace corvel {

BOOL AfxPreTranslateMessage(MSG* msg) {
    if (!msg->hwnd)
        return FALSE;
    for (HWND hwnd = msg->hwnd; hwnd;) {
        if (CWnd* wnd = CWnd::FromHandle(hwnd)) {
            if (wnd->PreTranslateMessage(msg))
                return TRUE;
        }
        // Up through child windows only: a popup's owner is not its parent here.
        if (!(::GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_CHILD))
            break;
        hwnd = ::GetParent(hwnd);
    }
    const bool input = (msg->message >= WM_KEYFIRST && msg->message <= WM_KEYLAST) ||
                       (msg->message >= WM_MOUSEFIRST && msg->message <= WM_MOUSELAST);
    if (!input)
        return FALSE;
    const HWND root = ::GetAncestor(msg->hwnd, GA_ROOT);
    if (root && CDialog::FromDialogHandle(root))
        return ::IsDialogMessageW(root, msg);
    return FALSE;
}

BOOL AfxPumpMessage(MSG& msg, int* quitCode) {
    const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0 || got == -1) {
        if (quitCode)
            *quitCode = got == 0 ? static_cast<int>(msg.wParam) : -1;
        return FALSE;
    }
    if (!AfxPreTranslateMessage(&msg)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return TRUE;
}

int RunMessageLoop() {
    MSG msg{};
    int code = 0;
    while (AfxPumpMessage(msg, &code)) {
    }
    return code;
}

} // namespace corvel
