#pragma once
// The main frame as a dialog test needs it: registered as the frame while it lives, answering
// with what the test put in, and recording each request, flag and target that reached it.
#include "MainFrameServices.h"

#include <map>
#include <string>
#include <vector>

namespace corvel {

class CFakeFrameServices : public CMainFrameServices {
public:
    struct BusyCall {
        BusyFlag Flag;
        bool Busy;
        bool Posted;
        bool operator==(const BusyCall& o) const {
            return Flag == o.Flag && Busy == o.Busy && Posted == o.Posted;
        }
    };
    struct TrayIconCall {
        bool Connected;
        uint8_t VpnIndex;
        bool operator==(const TrayIconCall& o) const {
            return Connected == o.Connected && VpnIndex == o.VpnIndex;
        }
    };

    CFakeFrameServices() { SetMainFrameServices(this); }
    ~CFakeFrameServices() override { SetMainFrameServices(nullptr); }
    CFakeFrameServices(const CFakeFrameServices&) = delete;
    CFakeFrameServices& operator=(const CFakeFrameServices&) = delete;

    // What the frame answers; a text not in Texts is empty.
    std::map<unsigned, std::wstring> Texts;
    std::wstring LanguagePath;
    std::vector<uint8_t> Records = std::vector<uint8_t>(kVpnCount * VPNCONFIG::kSize);
    ConnectStatusArray States = {};
    bool LaunchedWithVpn = false;
    bool QuitPending = false;
    HWND NotificationWindow = nullptr;

    // What reached it, in order.
    std::vector<uint8_t> RecordRequests;
    std::vector<HWND> NotificationWindows;
    std::vector<TrayIconCall> TrayIcons;
    int QuitRequests = 0;
    std::vector<BusyCall> BusyCalls;
    int SettingsClosed = 0;
    int AboutClosed = 0;

    void SetRecord(unsigned vpnIndex, const VPNCONFIG& record) {
        record.Write(Records.data() + size_t(vpnIndex) * VPNCONFIG::kSize);
    }

    const std::wstring& GetUiText(unsigned id) const override {
        static const std::wstring none;
        const auto found = Texts.find(id);
        return found == Texts.end() ? none : found->second;
    }
    const std::wstring& GetLanguagePath() const override { return LanguagePath; }
    CConfigRecordsView GetConfigRecords() const override { return CConfigRecordsView(Records.data()); }
    const ConnectStatusArray& GetConnectStates() const override { return States; }
    void RequestRecord(uint8_t vpnIndex) override { RecordRequests.push_back(vpnIndex); }
    HWND SetNotificationWindow(HWND window) override {
        NotificationWindows.push_back(window);
        const HWND previous = NotificationWindow;
        NotificationWindow = window;
        return previous;
    }
    void SetTrayIcon(bool connected, uint8_t vpnIndex) override {
        TrayIcons.push_back({connected, vpnIndex});
    }
    void PostQuitRequest() override { ++QuitRequests; }
    bool IsQuitPending() const override { return QuitPending; }
    void SetBusyFlag(BusyFlag flag, bool busy) override { BusyCalls.push_back({flag, busy, false}); }
    void PostBusyFlag(BusyFlag flag, bool busy) override { BusyCalls.push_back({flag, busy, true}); }
    void ClearSettingsOpen() override { ++SettingsClosed; }
    void ClearAboutOpen() override { ++AboutClosed; }
    bool GetLaunchedWithVpn() const override { return LaunchedWithVpn; }
    void ClearLaunchedWithVpn() override { LaunchedWithVpn = false; }
};

} // namespace corvel
