#include "Window.h"

#include "App.h"
#include "DataExchange.h"

#include <algorithm>
#include <set>
#include <vector>

namespace corvel {

namespace {

const wchar_t kWindowProperty[] = L"Corvel.CWnd";

thread_local HWND t_lockoutNotifyWindow = nullptr;

} // namespace

HWND AfxGetLockoutNotifyWindow() {
    return t_lockoutNotifyWindow;
}

CWnd::~CWnd() {
    // The classes that create windows (CDialog, CFrameWnd) destroy them in their own
    // destructors, while the handlers are still theirs. A window still alive here (a subclassed
    // one) keeps living: only its binding to this object goes.
    if (m_hWnd) {
        if (m_superProc)
            ::SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_superProc));
        Detach();
    }
}

CWnd* CWnd::FromHandle(HWND hwnd) {
    if (!hwnd)
        return nullptr;
    return static_cast<CWnd*>(::GetPropW(hwnd, kWindowProperty));
}

void CWnd::Attach(HWND hwnd) {
    m_hWnd = hwnd;
    ::SetPropW(hwnd, kWindowProperty, this);
}

void CWnd::Detach() {
    if (m_hWnd)
        ::RemovePropW(m_hWnd, kWindowProperty);
    m_hWnd = nullptr;
    m_superProc = nullptr;
    m_ownsWindow = false;
}

LRESULT CALLBACK CWnd::StaticWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    CWnd* wnd = FromHandle(hwnd);
    if (!wnd) {
        // Messages before WM_NCCREATE (WM_GETMINMAXINFO) have no object yet.
        if (message == WM_NCCREATE) {
            wnd = static_cast<CWnd*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
            if (wnd)
                wnd->Attach(hwnd);
        }
        if (!wnd)
            return ::DefWindowProcW(hwnd, message, wParam, lParam);
    }
    return wnd->Dispatch(hwnd, message, wParam, lParam);
}

LRESULT CWnd::Dispatch(HWND, UINT message, WPARAM wParam, LPARAM lParam) {
    DispatchFrame frame;
    frame.Outer = m_dispatch;
    m_dispatch = &frame;
    const CurrentMessage saved = m_current;
    const bool hadCurrent = m_hasCurrent;
    m_current = {message, wParam, lParam};
    m_hasCurrent = true;
    const LRESULT result = WindowProc(message, wParam, lParam);
    if (frame.ObjectGone)
        return result; // the handler destroyed the window; the object may be deleted
    m_dispatch = frame.Outer;
    m_current = saved;
    m_hasCurrent = hadCurrent;
    if (message == WM_NCDESTROY)
        HandleNcDestroy(); // may delete this
    return result;
}

void CWnd::HandleNcDestroy() {
    if (m_superProc)
        ::SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_superProc));
    Detach();
    // Outer dispatches still on the stack (the handler that destroyed the window) must not write
    // to this object once PostNcDestroy may have deleted it.
    for (DispatchFrame* f = m_dispatch; f; f = f->Outer)
        f->ObjectGone = true;
    m_dispatch = nullptr;
    m_hasCurrent = false;
    CWinApp* app = AfxGetApp();
    if (app && app->m_pMainWnd == this) {
        // The program ends with its main window.
        app->m_pMainWnd = nullptr;
        ::PostQuitMessage(0);
    }
    PostNcDestroy();
}

LRESULT CWnd::Default() {
    if (!m_hasCurrent || !m_hWnd)
        return 0;
    if (m_superProc)
        return ::CallWindowProcW(m_superProc, m_hWnd, m_current.Message, m_current.WParam, m_current.LParam);
    return ::DefWindowProcW(m_hWnd, m_current.Message, m_current.WParam, m_current.LParam);
}

BOOL CWnd::CreateEx(DWORD exStyle, const wchar_t* className, const wchar_t* windowName, DWORD style, int x,
                    int y, int width, int height, HWND parent, HMENU menu) {
    if (m_hWnd)
        return FALSE;
    const HWND hwnd = ::CreateWindowExW(exStyle, className, windowName, style, x, y, width, height, parent,
                                        menu, ::GetModuleHandleW(nullptr), this);
    if (hwnd && m_hWnd == hwnd)
        m_ownsWindow = true;
    return hwnd != nullptr;
}

BOOL CWnd::SubclassWindow(HWND hwnd) {
    if (!hwnd || m_hWnd || FromHandle(hwnd))
        return FALSE;
    Attach(hwnd);
    m_superProc = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWnd::StaticWindowProc)));
    if (!m_superProc) {
        Detach();
        return FALSE;
    }
    return TRUE;
}

BOOL CWnd::SubclassDlgItem(int id, CWnd* parent) {
    return parent && SubclassWindow(::GetDlgItem(parent->m_hWnd, id));
}

BOOL CWnd::DestroyWindow() {
    return m_hWnd ? ::DestroyWindow(m_hWnd) : FALSE;
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        return OnCreate(reinterpret_cast<CREATESTRUCTW*>(lParam));
    case WM_COMMAND:
        if (OnCommand(wParam, lParam))
            return 0;
        break;
    case WM_NOTIFY: {
        LRESULT result = 0;
        if (OnNotify(wParam, lParam, &result))
            return result;
        break;
    }
    case WM_TIMER:
        if (lParam != 0)
            break; // a timer with its own procedure: DefWindowProc calls it
        OnTimer(wParam);
        return 0;
    case WM_PAINT:
        OnPaint();
        return 0;
    case WM_DRAWITEM:
        if (OnDrawItem(static_cast<int>(wParam), reinterpret_cast<DRAWITEMSTRUCT*>(lParam)))
            return TRUE;
        break;
    case WM_MEASUREITEM:
        if (OnMeasureItem(static_cast<int>(wParam), reinterpret_cast<MEASUREITEMSTRUCT*>(lParam)))
            return TRUE;
        break;
    case WM_CLOSE:
        OnClose();
        return 0;
    case WM_DESTROY:
        OnDestroy();
        return 0;
    case WM_INITMENUPOPUP:
        OnInitMenuPopup(reinterpret_cast<HMENU>(wParam), LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_GETICON:
        return reinterpret_cast<LRESULT>(OnGetIcon(wParam));
    default:
        break;
    }
    return Default();
}

BOOL CWnd::PreTranslateMessage(MSG*) {
    return FALSE;
}

BOOL CWnd::OnCommand(WPARAM wParam, LPARAM lParam) {
    const HWND control = reinterpret_cast<HWND>(lParam);
    if (control && t_lockoutNotifyWindow == m_hWnd)
        return TRUE; // held back while this window exchanges data with its controls
    return OnCmdMsg(LOWORD(wParam), HIWORD(wParam), control);
}

BOOL CWnd::OnCmdMsg(UINT, UINT, HWND) {
    return FALSE;
}

BOOL CWnd::OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result) {
    if (t_lockoutNotifyWindow == m_hWnd) {
        *result = 0;
        return TRUE;
    }
    return OnNotifyMsg(static_cast<int>(wParam), reinterpret_cast<NMHDR*>(lParam), result);
}

BOOL CWnd::OnNotifyMsg(int, NMHDR*, LRESULT*) {
    return FALSE;
}

int CWnd::OnCreate(CREATESTRUCTW*) {
    return static_cast<int>(Default());
}
void CWnd::OnTimer(UINT_PTR) {
    Default();
}
void CWnd::OnPaint() {
    Default();
}
BOOL CWnd::OnDrawItem(int, DRAWITEMSTRUCT*) {
    return FALSE;
}
BOOL CWnd::OnMeasureItem(int, MEASUREITEMSTRUCT*) {
    return FALSE;
}
void CWnd::OnClose() {
    Default();
}
void CWnd::OnDestroy() {
    Default();
}
void CWnd::OnInitMenuPopup(HMENU, UINT, BOOL) {
    Default();
}
HICON CWnd::OnGetIcon(WPARAM) {
    return reinterpret_cast<HICON>(Default());
}
void CWnd::PostNcDestroy() {}

void CWnd::DoDataExchange(CDataExchange*) {}

BOOL CWnd::UpdateData(BOOL saveAndValidate) {
    if (!m_hWnd)
        return FALSE;
    CDataExchange dx(this, saveAndValidate);
    const HWND oldLockout = t_lockoutNotifyWindow;
    t_lockoutNotifyWindow = m_hWnd;
    DoDataExchange(&dx);
    t_lockoutNotifyWindow = oldLockout;
    return dx.Failed() ? FALSE : TRUE;
}

namespace {

std::wstring ReadWindowText(HWND hwnd) {
    if (!hwnd)
        return {};
    const int length = ::GetWindowTextLengthW(hwnd);
    if (length <= 0)
        return {};
    std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1);
    const int copied = ::GetWindowTextW(hwnd, buffer.data(), length + 1);
    return std::wstring(buffer.data(), copied > 0 ? static_cast<size_t>(copied) : 0);
}

} // namespace

std::wstring CWnd::GetWindowText() const {
    return ReadWindowText(m_hWnd);
}
std::wstring CWnd::GetDlgItemText(int id) const {
    return ReadWindowText(GetDlgItem(id));
}

const wchar_t* AfxRegisterWndClass(UINT classStyle, HCURSOR cursor, HBRUSH background, HICON icon) {
    static std::set<std::wstring> names; // UI thread only
    wchar_t name[96];
    _snwprintf(name, 96, L"Corvel:%x:%p:%p:%p", classStyle, static_cast<void*>(cursor),
               static_cast<void*>(background), static_cast<void*>(icon));
    name[95] = L'\0';
    auto it = names.find(name);
    if (it != names.end())
        return it->c_str();
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.style = classStyle;
    wc.lpfnWndProc = &CWnd::StaticWindowProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.hCursor = cursor;
    wc.hbrBackground = background;
    wc.hIcon = icon;
    wc.lpszClassName = name;
    if (!::RegisterClassExW(&wc) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        return nullptr;
    return names.insert(name).first->c_str();
}

void CenterWindow(HWND window) {
    RECT own{};
    if (!::GetWindowRect(window, &own))
        return;
    const HWND owner = ::GetWindow(window, GW_OWNER);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (!::GetMonitorInfoW(::MonitorFromWindow(owner ? owner : window, MONITOR_DEFAULTTOPRIMARY), &monitor))
        return;
    const RECT& work = monitor.rcWork;
    RECT over = work;
    if (owner && ::IsWindowVisible(owner) && !::IsIconic(owner))
        ::GetWindowRect(owner, &over);
    const LONG width = own.right - own.left;
    const LONG height = own.bottom - own.top;
    // Inside the work area; its top-left corner first when the window is larger.
    const LONG x = std::max(work.left, std::min((over.left + over.right - width) / 2, work.right - width));
    const LONG y = std::max(work.top, std::min((over.top + over.bottom - height) / 2, work.bottom - height));
    ::SetWindowPos(window, nullptr, int(x), int(y), 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

} // namespace corvel
