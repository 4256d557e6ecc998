#pragma once
// The tray program's one top-level window. It is never shown: it owns the tray icon and its
// menu, the GUI's copy of the 20 settings and states, the shared UI texts and the request
// thread, runs the start-up in its creation, and quits.
#include "Dialog.h"
#include "Frame.h"
#include "FrameMessages.h"
#include "MainFrameServices.h"
#include "PipeMessages.h"
#include "Requests.h"
#include "TrayIcon.h"
#include "TrayLogic.h"
#include "UiText.h"
#include "WorkerThread.h"
#include "resource.h"

#include <windows.h>
#include <shellapi.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace corvel {

class CDlgVpnInit;
class CNotificationServer;

class CMainFrame : public CFrameWnd, public CMainFrameServices {
public:
    // The settings records' place in the settings block (its layout is the data file's).
    static constexpr size_t kConfigBufferSize = 23093;
    static constexpr size_t kConfigRecordsOffset = 573;

    // The notification server belongs to the application object; the frame makes it follow
    // the connections and hands its target to the windows.
    explicit CMainFrame(CNotificationServer& notifications);
    ~CMainFrame() override;

    // CMainFrameServices, for the dialogs and pages.
    const std::wstring& GetUiText(unsigned id) const override { return UiText.Get(id); }
    const std::wstring& GetLanguagePath() const override { return LanguagePath; }
    CConfigRecordsView GetConfigRecords() const override;
    const ConnectStatusArray& GetConnectStates() const override { return ConnectStates; }
    void RequestRecord(uint8_t vpnIndex) override;
    HWND SetNotificationWindow(HWND window) override;
    void SetTrayIcon(bool connected, uint8_t vpnIndex) override;
    void PostQuitRequest() override;
    bool IsQuitPending() const override { return m_heldQuit.Held(); }
    void SetBusyFlag(BusyFlag flag, bool busy) override;
    void PostBusyFlag(BusyFlag flag, bool busy) override;
    void ClearSettingsOpen() override;
    void ClearAboutOpen() override;
    bool GetLaunchedWithVpn() const override { return LaunchedWithVpn != 0; }
    void ClearLaunchedWithVpn() override { LaunchedWithVpn = 0; }

    // For the tests: state no window reads.
    uint8_t GetLoadIndex() const { return m_replies.LoadIndex.load(); }
    bool IsAboutOpen() const { return AboutOpen != 0; }
    bool IsSettingsOpen() const { return SettingsOpen != 0; }
    DWORD GetCloseRefused() const { return CloseRefused; }
    CModelessDialog* GetAboutBox() const { return AboutBox; }
    CModelessDialog* GetSettingsDialog() const { return SettingsDialog; }
    bool IsBusy(BusyFlag flag) const { return BusyFlags[static_cast<unsigned>(flag)] != 0; }
    bool IsAutoConnectPending() const { return m_replies.AutoConnectPending; }
    const CStartupWaitFlags& GetStartupWaitFlags() const { return m_startupWait; }
    const NOTIFYICONDATAW& GetTrayIconData() const { return m_trayIcon.Data(); }
    UINT GetTrayIconId() const { return m_trayIcon.IconId(); }
    HMENU GetTrayMenu() const { return TrayMenu.get(); }

    // Request builders (ServiceRequestBuilder), run on the pipe thread.
    static int BuildErrRestartChkRequest(uint32_t& size, uint8_t* buffer);
    static int BuildVpnStatusRequest(uint32_t& size, uint8_t* buffer);
    static int BuildNextRecordRequest(uint32_t& size, uint8_t* buffer);

protected:
    BOOL PreCreateWindow(CREATESTRUCTW& cs) override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    BOOL OnCmdMsg(UINT id, UINT code, HWND control) override;
    int OnCreate(CREATESTRUCTW* cs) override;
    void OnDestroy() override;
    void OnInitMenuPopup(HMENU popup, UINT index, BOOL sysMenu) override;
    HICON OnGetIcon(WPARAM type) override;

    // Creates and shows the settings dialog with the active connection; the dialog, which
    // clears SettingsOpen from its PostNcDestroy, or nullptr when none opened (none exists yet).
    virtual CModelessDialog* OpenSettingsDialog(bool hasActive, uint8_t activeIndex);

private:
    // Start-up.
    void QueueStartupRequests();

    void OnTrayNotify(LPARAM mouseMessage);
    void RequestAllSettings();
    void OnOpenSettings();
    void OnAbout();
    void OnQuit();
    void OnPipeReply(WPARAM dataLength, const uint8_t* frame);
    void UpdateTrayIcon();
    LRESULT OnSetTrayIcon(WPARAM iconId, LPARAM vpnIndex);
    void OnVpnState0(WPARAM vpnIndex, LPARAM quitGui);
    void OnVpnState1(WPARAM vpnIndex);
    void OnBusyFlags(WPARAM flag, LPARAM value);
    DWORD CloseDialogs();
    void OnCloseIfIdle();
    void OnLoadFailed();
    BOOL PostRequest(ServiceRequestBuilder builder);
    uint8_t* ConfigRecords() { return ConfigBuffer.get() + kConfigRecordsOffset; }

    // The frame the request builders read: they get no context of their own.
    static CMainFrame* GetInstance() { return s_instance.load(); }

    CNotificationServer& m_notifications;
    UniqueMenu TrayMenu;
    CUiText UiText;
    CTrayIcon m_trayIcon;
    std::unique_ptr<uint8_t[]> ConfigBuffer;
    DWORD AboutOpen = 0;
    DWORD SettingsOpen = 0;
    uint32_t BusyFlags[kBusyFlagCount] = {};
    CModelessDialog* AboutBox = nullptr;       // while AboutOpen; it deletes itself
    CModelessDialog* SettingsDialog = nullptr; // while SettingsOpen; it deletes itself
    CDlgVpnInit* WaitDialog = nullptr;
    uint8_t ConnectStates[kConnectionCount] = {};
    // What the replies mean, and the load they follow (its LoadIndex is read on the pipe thread).
    CFrameReplies m_replies;
    CThreadOwner PipeThread;
    DWORD LaunchedWithVpn = 0;
    std::wstring LanguagePath;
    std::wstring PrmFilePath;
    // The last CloseDialogs: 1 when a window it asked to close stayed open.
    DWORD CloseRefused = 0;
    CStartupWaitFlags m_startupWait;
    HICON m_windowIcon = nullptr; // icon 130 for WM_GETICON, shared
    bool m_quitting = false;      // the question or the disconnecting dialog of a Quit is open
    CHeldQuit m_heldQuit;         // a Quit that the connection page's press kept from running

    // The load failure box, posted from the reply (see WM_PIPE_REPLY).
    static constexpr UINT WM_LOAD_FAILED = WM_APP + 0x42;

    static std::atomic<CMainFrame*> s_instance;
};

} // namespace corvel
