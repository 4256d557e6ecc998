#include "MessageBox.h"

#include "App.h"
#include "Format.h"
#include "Window.h"

namespace corvel {

namespace {

MessageBoxHook g_hook; // UI thread only; tests set it

int FirstButton(UINT type) {
    switch (type & MB_TYPEMASK) {
    case MB_YESNO:
    case MB_YESNOCANCEL:
        return IDYES;
    case MB_ABORTRETRYIGNORE:
        return IDABORT;
    case MB_RETRYCANCEL:
        return IDRETRY;
    default:
        return IDOK;
    }
}

} // namespace

void SetMessageBoxHook(MessageBoxHook hook) {
    g_hook = std::move(hook);
}

int ShowMessageBox(HWND owner, const std::wstring& text, const std::wstring& caption, UINT type) {
    if (g_hook)
        return g_hook(MessageBoxCall{owner, text, caption, type});
    return ::MessageBoxW(owner, text.c_str(), caption.c_str(), type);
}

int AfxMessageBox(const std::wstring& text, UINT type) {
    if ((type & MB_ICONMASK) == 0) {
        switch (type & MB_TYPEMASK) {
        case MB_OK:
        case MB_OKCANCEL:
            type |= MB_ICONEXCLAMATION;
            break;
        case MB_YESNO:
        case MB_YESNOCANCEL:
            type |= MB_ICONQUESTION;
            break;
        default:
            break;
        }
    }
    HWND top = nullptr;
    const HWND owner = CWnd::GetSafeOwner(nullptr, &top);
    const CWinApp* app = AfxGetApp();
    const int answer = ShowMessageBox(owner, text, app ? app->m_appName : std::wstring(L"Corvel"), type);
    if (top)
        ::EnableWindow(top, TRUE);
    return answer;
}

int AfxMessageBox(UINT id, UINT type) {
    return AfxMessageBox(LoadResString(id), type);
}

CMessageBoxRecorder::CMessageBoxRecorder() {
    SetMessageBoxHook([this](const MessageBoxCall& call) {
        Calls.push_back(call);
        if (OnBox)
            OnBox(call);
        if (!Answers.empty()) {
            const int answer = Answers.front();
            Answers.erase(Answers.begin());
            return answer;
        }
        return FirstButton(call.Type);
    });
}

CMessageBoxRecorder::~CMessageBoxRecorder() {
    SetMessageBoxHook(nullptr);
}

} // namespace corvel
