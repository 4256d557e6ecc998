#include "TrayIcon.h"

#include "App.h"
#include "resource.h"

#include <cwchar>

namespace corvel {

namespace {

HICON LoadTrayIcon(UINT id) {
    // Shared: the system keeps one copy per size, nothing to destroy.
    return static_cast<HICON>(::LoadImageW(AfxGetResourceHandle(), MAKEINTRESOURCEW(id), IMAGE_ICON,
                                           ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON),
                                           LR_SHARED));
}

} // namespace

void CTrayIcon::Fill(HWND window, UINT callbackMessage) {
    m_data = {};
    m_data.cbSize = NOTIFYICONDATAW_V3_SIZE;
    m_data.hWnd = window;
    m_data.uID = 0;
    m_data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    m_data.uCallbackMessage = callbackMessage;
    m_data.hIcon = LoadTrayIcon(IDI_DISCONNECTED);
    m_iconId = IDI_DISCONNECTED;
    wcscpy_s(m_data.szTip, L"Corvel");
}

void CTrayIcon::Add() {
    m_wanted = true;
    AddNow();
}

bool CTrayIcon::OnTaskbarCreated() {
    if (!m_wanted)
        return false;
    AddNow();
    return true;
}

void CTrayIcon::Show(UINT iconId) {
    if (const HICON icon = LoadTrayIcon(iconId)) {
        m_data.hIcon = icon;
        m_iconId = iconId;
    }
    if (m_added)
        ::Shell_NotifyIconW(NIM_MODIFY, &m_data);
    else if (m_wanted)
        AddNow();
}

void CTrayIcon::Remove() {
    m_wanted = false;
    if (m_added) {
        ::Shell_NotifyIconW(NIM_DELETE, &m_data);
        m_added = false;
    }
}

void CTrayIcon::AddNow() {
    m_added = ::Shell_NotifyIconW(NIM_ADD, &m_data) != FALSE;
}

} // namespace corvel
