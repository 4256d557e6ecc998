// Menus of our resources. Owned menus are UniqueMenu; GetSubMenu hands out a borrowed one.
#pragma once

#include "Handles.h"

#include <string>

namespace corvel {

// Menu resource `id`, owned by the caller; empty when it does not exist.
UniqueMenu LoadMenuResource(UINT id);
// Popup `position` of `menu`: borrowed, lives as long as `menu`.
BorrowedMenu GetPopup(HMENU menu, int position);
inline BorrowedMenu GetPopup(BorrowedMenu menu, int position) {
    return GetPopup(menu.get(), position);
}
// Text of the item at `position` (or with command `id` when byPosition is false); FALSE on failure.
BOOL SetMenuItemText(HMENU menu, UINT item, bool byPosition, const std::wstring& text);
std::wstring GetMenuItemText(HMENU menu, UINT item, bool byPosition);
// TrackPopupMenu at a screen point, then WM_NULL to the owner so the menu closes when the user
// clicks elsewhere (a tray icon's menu). Returns the TrackPopupMenu result.
BOOL TrackPopupAt(HMENU popup, HWND owner, POINT screenPoint, UINT flags = 0);

} // namespace corvel
