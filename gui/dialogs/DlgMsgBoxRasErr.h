#pragma once
// The RAS-error box: what "[ras_error_msg]" of "language.csv" says of one RAS error code, with a
// button that puts the text on the clipboard in the user's ANSI code page.
#include "Dialog.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace corvel {

// The message the last RAS-error box showed, process-wide: each box sets it as it opens to
// exactly what its message edit shows (empty when it shows none), and Copy copies it.
std::wstring& RasErrorText();

// `text` in `codePage` with its terminator, sized from the conversion's own answer; false
// (and `ansi` empty) when it cannot be converted or memory is short.
bool ConvertForClipboard(std::wstring_view text, UINT codePage, std::string& ansi);

// Puts `text` on the clipboard as CF_TEXT in `codePage`, the clipboard opened for `owner`.
// An empty text, a failed conversion, allocation or open leave the clipboard as it was.
bool CopyTextToClipboard(HWND owner, std::wstring_view text, UINT codePage = CP_ACP);

// Posts WM_CLOSE to the calling thread's active window when its caption is `caption` exactly
// (case-sensitive). An empty caption names no window.
void CloseActiveWindowTitled(const std::wstring& caption);

class CDlgMsgBoxRasErr : public CDialog {
public:
    CDlgMsgBoxRasErr(CWnd* parent, int32_t rasErrorCode, std::wstring languagePath);

    // Runs the box; when it ended through one of its buttons, then closes the thread's active
    // window if its caption is CloseCaption (after the box's loop, so that the active window is
    // the one that ran the box, not the box itself). The EndDialog code.
    INT_PTR Run();

    const std::wstring& GetCloseCaption() const { return CloseCaption; }

protected:
    BOOL OnInitDialog() override;
    BOOL OnCmdMsg(UINT id, UINT code, HWND control) override;

private:
    void LoadRasErrorText();
    void LoadCloseCaption();
    void OnBnClickedCopy();
    void OnBnClickedClose();

    int32_t RasErrorCode;
    std::wstring LanguagePath;
    // Line 1 of "[c_dlgvpnconnecting]"; empty closes nothing.
    std::wstring CloseCaption;
    bool m_closeByCaption = false;
};

} // namespace corvel
