#include "MainFrameServices.h"

#include "UiText.h"

namespace corvel {

VPNCONFIG CConfigRecordsView::Record(unsigned vpnIndex) const {
    if (!m_bytes || vpnIndex >= kVpnCount)
        return VPNCONFIG();
    return VPNCONFIG::FromBytes(m_bytes + size_t(vpnIndex) * VPNCONFIG::kSize);
}

namespace {

// A dialog without a frame: what the program has built in, and nothing behind it.
class CNoFrame : public CMainFrameServices {
public:
    CNoFrame() { m_texts.Fill({}, nullptr); }

    const std::wstring& GetUiText(unsigned id) const override { return m_texts.Get(id); }
    const std::wstring& GetLanguagePath() const override { return m_languagePath; }
    CConfigRecordsView GetConfigRecords() const override { return CConfigRecordsView(); }
    const ConnectStatusArray& GetConnectStates() const override { return m_states; }
    void RequestRecord(uint8_t) override {}
    HWND SetNotificationWindow(HWND) override { return nullptr; }
    void SetTrayIcon(bool, uint8_t) override {}
    void PostQuitRequest() override {}
    bool IsQuitPending() const override { return false; }
    void SetBusyFlag(BusyFlag, bool) override {}
    void PostBusyFlag(BusyFlag, bool) override {}
    void ClearSettingsOpen() override {}
    void ClearAboutOpen() override {}
    bool GetLaunchedWithVpn() const override { return false; }
    void ClearLaunchedWithVpn() override {}

private:
    CUiText m_texts;
    const std::wstring m_languagePath;
    const ConnectStatusArray m_states = {};
};

// Registered and read on the UI thread only.
CMainFrameServices* g_services = nullptr;

} // namespace

CMainFrameServices& GetMainFrameServices() {
    if (g_services)
        return *g_services;
    static CNoFrame none;
    return none;
}

void SetMainFrameServices(CMainFrameServices* services) {
    g_services = services;
}

} // namespace corvel
