#include "FileDialog.h"

#include "Handles.h"

#include <cwchar>

namespace corvel {

namespace {

FileDialogHook g_fileDialogHook; // UI thread only

// The common dialog opens where its owner sits (the hidden main window: the screen's corner).
// It is centred as it is first shown, once it has given itself its size.
thread_local HHOOK t_centreHook = nullptr;
thread_local bool t_centred = false;

LRESULT CALLBACK CentreWhenShown(int code, WPARAM wParam, LPARAM lParam) {
    const auto* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && !t_centred && call->message == WM_SHOWWINDOW && call->wParam) {
        wchar_t className[16] = {};
        ::GetClassNameW(call->hwnd, className, 16);
        if (std::wcscmp(className, L"#32770") == 0 &&
            !(::GetWindowLongPtrW(call->hwnd, GWL_STYLE) & WS_CHILD)) {
            t_centred = true;
            CenterWindow(call->hwnd);
        }
    }
    return ::CallNextHookEx(t_centreHook, code, wParam, lParam);
}

BOOL RunCentred(bool open, OPENFILENAMEW& ofn) {
    const UniqueHook hook(
        ::SetWindowsHookExW(WH_CALLWNDPROC, &CentreWhenShown, nullptr, ::GetCurrentThreadId()));
    t_centreHook = hook.get();
    t_centred = false;
    const BOOL ok = open ? ::GetOpenFileNameW(&ofn) : ::GetSaveFileNameW(&ofn);
    t_centreHook = nullptr;
    return ok;
}

} // namespace

void SetFileDialogHook(FileDialogHook hook) {
    g_fileDialogHook = std::move(hook);
}

CFileDialog::CFileDialog(BOOL openFileDialog, const wchar_t* defaultExtension, const wchar_t* fileName,
                         DWORD flags, const wchar_t* filter, CWnd* parent)
    : m_bOpenFileDialog(openFileDialog) {
    if (filter) {
        m_filter = filter;
        for (wchar_t& c : m_filter) {
            if (c == L'|')
                c = L'\0';
        }
        m_filter.push_back(L'\0'); // the list ends in two NULs whatever the caller wrote
    }
    if (defaultExtension)
        m_defaultExtension = defaultExtension;
    if (fileName) {
        wcsncpy(m_file, fileName, MAX_PATH - 1);
        m_file[MAX_PATH - 1] = L'\0';
    }
    m_ofn.lStructSize = sizeof(m_ofn);
    m_ofn.hwndOwner = parent ? parent->m_hWnd : nullptr;
    m_ofn.lpstrFilter = m_filter.empty() ? nullptr : m_filter.c_str();
    m_ofn.nFilterIndex = 1;
    m_ofn.lpstrFile = m_file;
    m_ofn.nMaxFile = MAX_PATH;
    m_ofn.lpstrDefExt = m_defaultExtension.empty() ? nullptr : m_defaultExtension.c_str();
    m_ofn.Flags = flags | OFN_EXPLORER | OFN_ENABLESIZING;
}

INT_PTR CFileDialog::DoModal() {
    HWND top = nullptr;
    m_ofn.hwndOwner = CWnd::GetSafeOwner(m_ofn.hwndOwner, &top);
    // The structure may have been copied or moved: point it at our own buffers again.
    m_ofn.lpstrFile = m_file;
    m_ofn.nMaxFile = MAX_PATH;
    m_ofn.lpstrFilter = m_filter.empty() ? nullptr : m_filter.c_str();
    m_ofn.lpstrDefExt = m_defaultExtension.empty() ? nullptr : m_defaultExtension.c_str();
    BOOL ok;
    if (g_fileDialogHook)
        ok = g_fileDialogHook(m_bOpenFileDialog != FALSE, m_ofn);
    else
        ok = RunCentred(m_bOpenFileDialog != FALSE, m_ofn);
    if (top)
        ::EnableWindow(top, TRUE);
    m_file[MAX_PATH - 1] = L'\0';
    m_path = ok ? std::wstring(m_file) : std::wstring();
    return ok ? IDOK : IDCANCEL;
}

} // namespace corvel
