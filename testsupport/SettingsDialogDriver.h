#pragma once
// Drives the settings dialog in a test as its user would: a tab clicked, text typed, a menu
// item chosen, Save pressed; and reads back what it shows.
#include "DialogResource.h"
#include "DlgVpnConnect.h"
#include "Handles.h"
#include "WindowTestSupport.h"

#include <windows.h>
#include <commctrl.h>

#include <string>

namespace corvel {
namespace settingstest {

inline std::wstring WindowText(HWND hwnd) {
    wchar_t text[512] = {};
    ::GetWindowTextW(hwnd, text, 512);
    return text;
}

inline std::wstring TabTitle(HWND tab, int index) {
    wchar_t text[256] = {};
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = text;
    item.cchTextMax = 256;
    TabCtrl_GetItem(tab, index, &item);
    return text;
}

// Typed into an edit: the whole text replaced, one character after the other.
inline void Type(HWND edit, const std::wstring& text) {
    ::SendMessageW(edit, EM_SETSEL, 0, -1);
    if (text.empty())
        ::SendMessageW(edit, WM_CHAR, VK_BACK, 1);
    for (const wchar_t c : text)
        ::SendMessageW(edit, WM_CHAR, c, 1);
}

inline HWND SettingControl(CDlgVpnConnect& dialog, int vpnIndex, int id) {
    return ::GetDlgItem(dialog.GetSettingPage(vpnIndex).m_hWnd, id);
}

// A click on tab `index`; true once its page shows and has been painted.
inline bool SelectTab(CDlgVpnConnect& dialog, int index) {
    const HWND tab = ::GetDlgItem(dialog.m_hWnd, IDC_SETTINGS_TAB);
    RECT item{};
    if (!TabCtrl_GetItemRect(tab, index, &item))
        return false;
    const LPARAM at = MAKELPARAM((item.left + item.right) / 2, (item.top + item.bottom) / 2);
    ::SendMessageW(tab, WM_LBUTTONDOWN, MK_LBUTTON, at);
    ::SendMessageW(tab, WM_LBUTTONUP, 0, at);
    if (TabCtrl_GetCurSel(tab) != index)
        return false;
    const HWND page =
        index == 0 ? dialog.GetConnectionPage().m_hWnd : dialog.GetSettingPage(index - 1).m_hWnd;
    return wintest::PumpUntil(
        [page] { return ::IsWindowVisible(page) && !::GetUpdateRect(page, nullptr, FALSE); });
}

// Whether a window, as drawn into its own device context (the window's surface, not the screen,
// so that another program's window over it does not count), holds text: pixels darker than mid
// grey. A blank control holds none.
inline bool ShowsInk(HWND window) {
    RECT area{};
    if (!::GetClientRect(window, &area) || area.right <= 0 || area.bottom <= 0)
        return false;
    const WindowDc own(window);
    const UniqueDc copy(::CreateCompatibleDC(own.get()));
    const UniqueBitmap bitmap(::CreateCompatibleBitmap(own.get(), area.right, area.bottom));
    if (!own || !copy || !bitmap)
        return false;
    const SelectObjectScope select(copy.get(), bitmap.get());
    ::BitBlt(copy.get(), 0, 0, area.right, area.bottom, own.get(), 0, 0, SRCCOPY);
    for (int y = 0; y < area.bottom; ++y) {
        for (int x = 0; x < area.right; ++x) {
            const COLORREF c = ::GetPixel(copy.get(), x, y);
            if (GetRValue(c) + GetGValue(c) + GetBValue(c) < 3 * 128)
                return true;
        }
    }
    return false;
}

// No paint of `window` or of any window inside it is pending.
inline bool NothingToPaint(HWND window) {
    if (::GetUpdateRect(window, nullptr, FALSE))
        return false;
    for (HWND child = ::GetWindow(window, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        if (!NothingToPaint(child))
            return false;
    }
    return true;
}

// A menu item of the dialog's menu bar, chosen (handled once the loop reaches it).
inline void ChooseMenuItem(CDlgVpnConnect& dialog, UINT id) {
    ::PostMessageW(dialog.m_hWnd, WM_COMMAND, MAKEWPARAM(id, 0), 0);
}

inline HWND SaveButton(CDlgVpnConnect& dialog) {
    return ::GetDlgItem(dialog.m_hWnd, IDC_SETTINGS_SAVE);
}

inline void ClickSave(CDlgVpnConnect& dialog) {
    ::SendMessageW(SaveButton(dialog), BM_CLICK, 0, 0);
}

} // namespace settingstest
} // namespace corvel
