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
#include "TrayLogic.h"
#include "UiText.h"
#include "WorkerThread.h"

#include <windows.h>
#include <shellapi.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace corvel {

class CDlgVpnInit;

class CMainFrame : public CFrameWnd, public CMainFrameServices {
public:
    // The settings records' place in the settings block (its layout is the data file's).
    static constexpr size_t kConfigBufferSize = 23093;
    static constexpr size_t kConfigRecordsOffset = 573;

    // Commands of the tray menu.
    static constexpr UINT ID_TRAY_SETTINGS = 32776;
    static constexpr UINT ID_APP_ABOUT = 32778;
    static constexpr UINT ID_APP_QUIT = 32780;
    static constexpr UINT IDR_MAINFRAME = 129;

    CMainFrame();
    ~CMainFrame() override;

    // The frame that the request builders read; null while none exists.
    static CMainFrame* GetInstance() { return s_instance.load(); }

    // CMainFrameServices, for the dialogs.
    const std::wstring& GetUiText(unsigned id) const override { return UiText.Get(id); }
    const std::wstring& GetLanguagePath() const override { return LanguagePath; }
    void SetBusyFlag(unsigned flag, bool busy) override;

    // Reloads one record (the connecting dialog).
    void RequestRecord(uint8_t index);

    // Accessors for the other windows (and the tests).
    const uint8_t (&GetConnectStates() const)[kConnectionCount] { return ConnectStates; }
    const uint8_t* GetConfigRecords() const { return ConfigBuffer.get() + kConfigRecordsOffset; }
    uint8_t* GetConfigRecords() { return ConfigBuffer.get() + kConfigRecordsOffset; }
    uint8_t GetLoadIndex() const { return LoadIndex.load(); }
    DWORD* GetSettingsOpen() { return &SettingsOpen; }
    DWORD* GetLaunchedWithVpn() { return &LaunchedWithVpn; }
    DWORD* GetCloseRefused() { return &CloseRefused; }
    bool IsAboutOpen() const;
    bool IsOpenSettingsWhenLoaded() const { return OpenSettingsWhenLoaded != 0; }
    bool IsAutoConnectPending() const { return AutoConnectPending != 0; }
    uint8_t GetAutoConnectIndex() const { return AutoConnectIndex; }
    const CStartupWaitFlags& GetStartupWaitFlags() const { return StartupWait; }
    CDlgVpnInit* GetWaitDialog() const { return WaitDialog; }
    const NOTIFYICONDATAW& GetTrayIconData() const { return TrayIconData; }
    UINT GetTrayIconId() const { return TrayIconId; }
    HMENU GetTrayMenu() const { return TrayMenu.get(); }
    const std::wstring& GetPrmFilePath() const { return PrmFilePath; }
    const CThreadOwner& GetPipeThread() const { return PipeThread; }

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

    // Opens the settings dialog with the active connection; nothing yet.
    virtual void OpenSettingsDialog(bool hasActive, uint8_t activeIndex);

private:
    // Start-up.
    void FillTrayIconData();
    void QueueStartupRequests();

    void OnTrayNotify(LPARAM mouseMessage);
    void RequestAllSettings();
    void OnOpenSettings();
    void OnAbout();
    void OnQuit();
    void OnPipeReply(WPARAM dataLength, const uint8_t* frame);
    uint32_t StoreConnectionRecord(uint32_t length, const uint8_t* payload);
    uint32_t StoreConnectionStates(uint32_t length, const uint8_t* payload);
    void UpdateTrayIcon();
    void AddTrayIcon();
    void SetTrayIcon(UINT iconId);
    LRESULT OnSetTrayIcon(WPARAM iconId, LPARAM vpnIndex);
    void OnVpnState0(WPARAM vpnIndex, LPARAM quitGui);
    void OnVpnState1(WPARAM vpnIndex);
    void OnBusyFlags(WPARAM flag, LPARAM value);
    DWORD CloseDialogs();
    void OnCloseIfIdle();
    void ShowError(unsigned textId);
    BOOL PostRequest(ServiceRequestBuilder builder);

    UniqueMenu TrayMenu;
    CUiText UiText;
    NOTIFYICONDATAW TrayIconData{};
    std::unique_ptr<uint8_t[]> ConfigBuffer;
    DWORD SettingsOpen = 0;
    uint32_t BusyFlags[kBusyFlagCount] = {};
    CDialog* SettingsDialog = nullptr;
    CDlgVpnInit* WaitDialog = nullptr;
    DWORD OpenSettingsWhenLoaded = 0;
    // Read by BuildNextRecordRequest on the pipe thread; written on the main thread before the
    // request is posted or while the pipe thread waits in its SendMessageW of the reply.
    std::atomic<uint8_t> LoadIndex{0};
    uint8_t ConnectStates[kConnectionCount] = {};
    CThreadOwner PipeThread;
    DWORD AutoConnectPending = 0;
    DWORD LaunchedWithVpn = 0;
    uint8_t AutoConnectIndex = 0;
    std::wstring LanguagePath;
    std::wstring PrmFilePath;
    DWORD CloseRefused = 0;
    CStartupWaitFlags StartupWait;
    // The icon shown now (130 or 145); 0 before the tray icon data is filled.
    UINT TrayIconId = 0;
    HICON WindowIcon = nullptr; // icon 130 for WM_GETICON, shared
    bool TrayIconAdded = false;
    bool TrayIconWanted = false; // from the start-up's add on, until the frame is destroyed
    bool Quitting = false;       // the question or the disconnecting dialog of a Quit is open

    static std::atomic<CMainFrame*> s_instance;
};

} // namespace corvel
