#include "Frame.h"

#include "App.h"
#include "Format.h"
#include "Menu.h"

namespace corvel {

CFrameWnd::~CFrameWnd() {
    if (m_hWnd && m_ownsWindow)
        ::DestroyWindow(m_hWnd);
}

BOOL CFrameWnd::PreCreateWindow(CREATESTRUCTW& cs) {
    if (!cs.lpszClass)
        cs.lpszClass = AfxRegisterWndClass(0);
    cs.dwExStyle |= WS_EX_CLIENTEDGE;
    return cs.lpszClass != nullptr;
}

BOOL CFrameWnd::LoadFrame(UINT resourceId, DWORD style, CWnd* parent) {
    std::wstring title = LoadResString(resourceId);
    const size_t newline = title.find(L'\n');
    if (newline != std::wstring::npos)
        title.resize(newline);
    UniqueMenu menu = LoadMenuResource(resourceId);

    CREATESTRUCTW cs{};
    cs.style = style;
    cs.x = CW_USEDEFAULT;
    cs.y = CW_USEDEFAULT;
    cs.cx = CW_USEDEFAULT;
    cs.cy = CW_USEDEFAULT;
    cs.hwndParent = parent ? parent->m_hWnd : nullptr;
    cs.hMenu = menu.get();
    cs.hInstance = AfxGetInstanceHandle();
    cs.lpszName = title.c_str();
    if (!PreCreateWindow(cs))
        return FALSE;
    const DWORD windowsStyle = cs.style & ~(FWS_ADDTOTITLE | FWS_PREFIXTITLE | FWS_SNAPTOBARS);
    // The window owns its menu from here on; a failed creation leaves it with us.
    if (!CreateEx(cs.dwExStyle, cs.lpszClass, cs.lpszName, windowsStyle, cs.x, cs.y, cs.cx, cs.cy,
                  cs.hwndParent, cs.hMenu))
        return FALSE;
    if (cs.hMenu == menu.get())
        (void)menu.release();
    return TRUE;
}

} // namespace corvel
