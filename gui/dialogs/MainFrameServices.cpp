#include "MainFrameServices.h"

#include "DialogServices.h"

#include "UiText.h"

namespace corvel {

namespace {

// Registered and read on the UI thread only.
CMainFrameServices* g_services = nullptr;

} // namespace

CMainFrameServices* GetMainFrameServices() {
    return g_services;
}

void SetMainFrameServices(CMainFrameServices* services) {
    g_services = services;
}

const std::wstring& DialogLanguagePath() {
    static const std::wstring none;
    const CMainFrameServices* services = GetMainFrameServices();
    return services ? services->GetLanguagePath() : none;
}

std::wstring DialogUiText(unsigned id) {
    if (const CMainFrameServices* services = GetMainFrameServices())
        return services->GetUiText(id);
    const wchar_t* builtin = BuiltinUiText(id);
    return builtin ? builtin : L"";
}

void DialogSetBusyFlag(unsigned flag, bool busy) {
    if (CMainFrameServices* services = GetMainFrameServices())
        services->SetBusyFlag(flag, busy);
}

} // namespace corvel
