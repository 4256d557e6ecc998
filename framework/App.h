// The application object: AfxWinMain -> InitInstance -> message loop -> ExitInstance.
#pragma once

#include "Window.h"

#include <windows.h>

#include <string>

namespace corvel {

// One per program, constructed before the entry point runs (a global object); it registers itself
// as the object that AfxGetApp returns. A console program holds a plain CWinApp and calls AfxWinInit.
class CWinApp {
public:
    explicit CWinApp(const wchar_t* appName = L"Corvel");
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // TRUE runs the message loop; FALSE ends the program (ExitInstance still runs).
    virtual BOOL InitInstance();
    // The loop until WM_QUIT, then ExitInstance; returns the exit code.
    virtual int Run();
    // The process exit code: the base gives the WM_QUIT code (0 when the loop never ran).
    virtual int ExitInstance();

    HINSTANCE m_hInstance = nullptr;
    std::wstring m_cmdLine; // the command line after the program name
    int m_nCmdShow = SW_SHOWDEFAULT;
    CWnd* m_pMainWnd = nullptr; // the main window; its destruction ends the loop
    std::wstring m_appName;     // caption of AfxMessageBox
    int m_exitCode = 0;         // wParam of the WM_QUIT that ended the loop

private:
    CWinApp* m_previous; // a test's own application object stands in for the program's while it lives
};

CWinApp* AfxGetApp();
// The application's main window, or nullptr (console client, or before it exists).
CWnd* AfxGetMainWnd();
// The module holding our resources (dialogs, strings, menus, icons).
HINSTANCE AfxGetResourceHandle();
HINSTANCE AfxGetInstanceHandle();

// Prepares the framework for a program: module handle, command line and the common control
// classes. FALSE without an application object. A console program calls it from wmain.
BOOL AfxWinInit(HINSTANCE instance, const wchar_t* commandLine, int cmdShow = SW_SHOWDEFAULT);
// The common control classes that our windows use (tab control, progress bar, IP-address
// control), registered once at a program's start-up, before its first window: AfxWinInit calls
// it, and so do the window tests' programs, which start no application.
void InitCommonControlClasses();

// The GUI program's entry: its own wWinMain is one line,
//   int WINAPI wWinMain(HINSTANCE h, HINSTANCE, PWSTR, int show) { return corvel::AfxWinMain(h, show); }
int AfxWinMain(HINSTANCE instance, int cmdShow);

} // namespace corvel
