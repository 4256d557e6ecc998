// The open/save file dialog (in place of the framework's CFileDialog), replaceable for tests.
#pragma once

#include "Window.h"

#include <commdlg.h>

#include <functional>
#include <string>

namespace corvel {

class CFileDialog {
public:
    // `filter` as "Text (*.txt)|*.txt|All (*.*)|*.*||". OFN_EXPLORER and OFN_ENABLESIZING are added.
    CFileDialog(BOOL openFileDialog, const wchar_t* defaultExtension = nullptr,
                const wchar_t* fileName = nullptr, DWORD flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT,
                const wchar_t* filter = nullptr, CWnd* parent = nullptr);
    CFileDialog(const CFileDialog&) = delete;
    CFileDialog& operator=(const CFileDialog&) = delete;

    // IDOK or IDCANCEL. Owner as for a modal dialog (the main window's last active popup without
    // parent); the dialog opens centred on its owner, or on the screen when the owner is hidden.
    INT_PTR DoModal();

    std::wstring GetPathName() const { return m_path; }

    // Read by the hook (and by DoModal): lpstrFile points to a MAX_PATH buffer.
    OPENFILENAMEW m_ofn{};
    BOOL m_bOpenFileDialog;

private:
    std::wstring m_filter; // '|' replaced by NUL
    std::wstring m_defaultExtension;
    wchar_t m_file[MAX_PATH] = {};
    std::wstring m_path;
};

// Replaces GetOpenFileNameW / GetSaveFileNameW (nullptr: the real ones). The hook gets the
// structure as the real function would, writes lpstrFile, and returns TRUE for OK.
using FileDialogHook = std::function<BOOL(bool open, OPENFILENAMEW& ofn)>;
void SetFileDialogHook(FileDialogHook hook);

} // namespace corvel
