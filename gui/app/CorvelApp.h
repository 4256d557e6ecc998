#pragma once
// The tray program's application object: prepares the process, keeps one instance per machine,
// creates the hidden main frame, and at the end stops the notification server and gives the
// single-instance mutex back.
#include "App.h"
#include "Handles.h"
#include "NotificationServer.h"

#include <memory>
#include <string>

namespace corvel {

class CMainFrame;

class CCorvelApp : public CWinApp {
public:
    CCorvelApp();
    ~CCorvelApp() override;

    BOOL InitInstance() override;
    int ExitInstance() override;

    // The frame reaches it through the reference it is made with.
    CNotificationServer NotificationServer;
    UniqueHandle<> InstanceMutex;
    std::wstring LanguagePath;

private:
    std::unique_ptr<CMainFrame> m_frame;
    bool m_mutexOwned = false;
    bool m_oleInitialized = false;
};

} // namespace corvel
