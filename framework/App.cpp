#include "App.h"

#include "MessageLoop.h"

#include <commctrl.h>

namespace corvel {

namespace {

CWinApp* g_app = nullptr; // set at static construction, before any thread starts

} // namespace

CWinApp::CWinApp(const wchar_t* appName) : m_appName(appName ? appName : L""), m_previous(g_app) {
    g_app = this;
}

CWinApp::~CWinApp() {
    if (g_app == this)
        g_app = m_previous;
}

BOOL CWinApp::InitInstance() {
    return TRUE;
}

int CWinApp::Run() {
    m_exitCode = RunMessageLoop();
    return ExitInstance();
}

int CWinApp::ExitInstance() {
    return m_exitCode;
}

CWinApp* AfxGetApp() {
    return g_app;
}

CWnd* AfxGetMainWnd() {
    return g_app ? g_app->m_pMainWnd : nullptr;
}

HINSTANCE AfxGetInstanceHandle() {
    if (g_app && g_app->m_hInstance)
        return g_app->m_hInstance;
    return ::GetModuleHandleW(nullptr);
}

HINSTANCE AfxGetResourceHandle() {
    return AfxGetInstanceHandle();
}

namespace {

// The command line after the program name, quoted or not.
std::wstring SkipProgramName(const wchar_t* line) {
    if (!line)
        return {};
    const wchar_t* p = line;
    if (*p == L'"') {
        ++p;
        while (*p && *p != L'"')
            ++p;
        if (*p == L'"')
            ++p;
    } else {
        while (*p && *p != L' ' && *p != L'\t')
            ++p;
    }
    while (*p == L' ' || *p == L'\t')
        ++p;
    return p;
}

} // namespace

BOOL AfxWinInit(HINSTANCE instance, const wchar_t* commandLine, int cmdShow) {
    if (!g_app)
        return FALSE;
    g_app->m_hInstance = instance ? instance : ::GetModuleHandleW(nullptr);
    g_app->m_cmdLine = SkipProgramName(commandLine);
    g_app->m_nCmdShow = cmdShow;
    InitCommonControlClasses();
    return TRUE;
}

void InitCommonControlClasses() {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    // Windows registers the IP-address control only with the internet classes.
    controls.dwICC = ICC_WIN95_CLASSES | ICC_INTERNET_CLASSES;
    ::InitCommonControlsEx(&controls);
}

int AfxWinMain(HINSTANCE instance, int cmdShow) {
    if (!AfxWinInit(instance, ::GetCommandLineW(), cmdShow))
        return ERROR_INTERNAL_ERROR;
    CWinApp* app = g_app;
    if (!app->InitInstance()) {
        if (app->m_pMainWnd)
            app->m_pMainWnd->DestroyWindow();
        // A WM_QUIT posted by that destruction must not end a later loop.
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        }
        return app->ExitInstance();
    }
    return app->Run();
}

HWND CWnd::GetSafeOwner(HWND parent, HWND* topToDisable) {
    HWND hwnd = parent;
    if (!hwnd) {
        CWnd* main = AfxGetMainWnd();
        hwnd = main ? main->m_hWnd : nullptr;
    }
    // A popup cannot be owned by a child window.
    while (hwnd && (::GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_CHILD))
        hwnd = ::GetParent(hwnd);
    HWND top = hwnd;
    for (HWND up = hwnd; up; up = ::GetParent(up))
        top = up;
    if (!parent && hwnd)
        hwnd = ::GetLastActivePopup(hwnd);
    if (topToDisable) {
        *topToDisable = nullptr;
        if (top && top != hwnd && ::IsWindowEnabled(top)) {
            *topToDisable = top;
            ::EnableWindow(top, FALSE);
        }
    }
    return hwnd;
}

} // namespace corvel
