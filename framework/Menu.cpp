#include "Menu.h"

#include "App.h"

#include <vector>

namespace corvel {

UniqueMenu LoadMenuResource(UINT id) {
    return UniqueMenu(::LoadMenuW(AfxGetResourceHandle(), MAKEINTRESOURCEW(id)));
}

BorrowedMenu GetPopup(HMENU menu, int position) {
    return BorrowedMenu(menu ? ::GetSubMenu(menu, position) : nullptr);
}

BOOL SetMenuItemText(HMENU menu, UINT item, bool byPosition, const std::wstring& text) {
    MENUITEMINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_STRING;
    std::wstring copy = text;
    info.dwTypeData = copy.data();
    return ::SetMenuItemInfoW(menu, item, byPosition ? TRUE : FALSE, &info);
}

std::wstring GetMenuItemText(HMENU menu, UINT item, bool byPosition) {
    MENUITEMINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_STRING;
    if (!::GetMenuItemInfoW(menu, item, byPosition ? TRUE : FALSE, &info))
        return {};
    std::vector<wchar_t> buffer(info.cch + 1);
    info.dwTypeData = buffer.data();
    info.cch = static_cast<UINT>(buffer.size());
    if (!::GetMenuItemInfoW(menu, item, byPosition ? TRUE : FALSE, &info))
        return {};
    return std::wstring(buffer.data());
}

BOOL TrackPopupAt(HMENU popup, HWND owner, POINT screenPoint, UINT flags) {
    const BOOL result = ::TrackPopupMenu(popup, flags, screenPoint.x, screenPoint.y, 0, owner, nullptr);
    ::PostMessageW(owner, WM_NULL, 0, 0);
    return result;
}

} // namespace corvel
