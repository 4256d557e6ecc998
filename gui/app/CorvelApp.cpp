#include "CorvelApp.h"

#include "MainFrame.h"
#include "MessageBox.h"
#include "PipeNames.h"
#include "UiTextWin.h"

#include <ole2.h>

namespace corvel {

CCorvelApp::CCorvelApp() : CWinApp(L"Corvel") {}

CCorvelApp::~CCorvelApp() = default;

BOOL CCorvelApp::InitInstance() {
    if (!CWinApp::InitInstance())
        return FALSE;
    BuildLanguagePath(LanguagePath);

    if (FAILED(::OleInitialize(nullptr))) {
        AfxMessageBox(ReadOleInitFailedText(LanguagePath, AfxGetResourceHandle()), MB_OK);
        return FALSE;
    }
    m_oleInitialized = true;

    InstanceMutex.reset(::CreateMutexW(nullptr, TRUE, kGuiMutexName));
    if (::GetLastError() == ERROR_ALREADY_EXISTS)
        return FALSE; // the first instance goes on untouched; no message
    // A mutex that cannot be created does not stop the program.
    m_mutexOwned = static_cast<bool>(InstanceMutex);

    m_frame = std::make_unique<CMainFrame>(NotificationServer);
    m_pMainWnd = m_frame.get();
    // The whole start-up, the wait for the service included, runs inside the frame's creation.
    if (!m_frame->LoadFrame(IDR_MAINFRAME, WS_OVERLAPPEDWINDOW | FWS_ADDTOTITLE, nullptr)) {
        m_pMainWnd = nullptr;
        return FALSE;
    }
    m_frame->ShowWindow(SW_HIDE);
    ::UpdateWindow(m_frame->m_hWnd);
    return TRUE;
}

int CCorvelApp::ExitInstance() {
    NotificationServer.StopNotificationServer();
    if (InstanceMutex) {
        if (m_mutexOwned)
            ::ReleaseMutex(InstanceMutex.get());
        InstanceMutex.reset();
        m_mutexOwned = false;
    }
    m_pMainWnd = nullptr;
    m_frame.reset();
    if (m_oleInitialized) {
        ::OleUninitialize();
        m_oleInitialized = false;
    }
    return CWinApp::ExitInstance();
}

} // namespace corvel
