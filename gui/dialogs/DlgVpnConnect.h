#pragma once
// The settings dialog: the 20 connection settings on tabs 1 to 20 and the connection page on
// tab 0, edited in the main frame's records, saved to the service, imported and exported
// through its menu. It has a request thread of its own, shared with its connection page, and
// deletes itself when its window is gone (the frame's SettingsOpen follows).
#include "Dialog.h"
#include "PageDlgVpnConnect.h"
#include "PageDlgVpnSetting.h"
#include "SettingsClose.h"
#include "SettingsMenu.h"
#include "SettingsRequests.h"
#include "WorkerThread.h"

#include <array>
#include <cstdint>
#include <deque>
#include <string>

namespace corvel {

class CDlgVpnConnect : public CModelessDialog {
public:
    // `records`: the main frame's 20 record images (VPNCONFIG::kSize bytes each), which the
    // dialog edits in place and the frame keeps. `connectionUp` with `activeIndex`: the last
    // connection up or connecting when the dialog opens.
    CDlgVpnConnect(uint8_t* records, bool connectionUp, int activeIndex);

    // For the connection page.
    bool IsModified() const;
    // Every page has written its records and the save requests are posted (false: a page
    // refused its values and told the user, or an operation of the dialog is in flight and it
    // beeped; nothing was sent). `reportEnd`: the connection page is told when that batch has
    // ended (CPageDlgVpnConnect::OnSaveBatchEnded), after its box if it has one.
    bool SaveAllSettings(bool reportEnd = false);
    // An import (with its reload), an export or a save batch has not ended yet, or its file
    // dialog or its box is open: Save, the import and export items and the connection page's
    // button refuse meanwhile.
    bool IsOperationInFlight() const;
    bool EveryKeyConfirmed() const;
    bool HasServer(int vpnIndex) const;

    // The connection page runs a box or a dialog: the settings dialog refuses to close (its
    // window stays, CloseRefused 1) until it has ended.
    void EnterPageModal() { ++m_pageModal; }
    void LeavePageModal() { --m_pageModal; }

    // The pages, for the tests and the screenshots.
    CPageDlgVpnConnect& GetConnectionPage() { return ConnectionPage; }
    CPageDlgVpnSetting& GetSettingPage(int vpnIndex) { return SettingPages[size_t(vpnIndex)]; }
    int GetCloseState() const { return m_close.CloseState(); }

protected:
    ~CDlgVpnConnect() override;

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    void DoDataExchange(CDataExchange* dx) override;
    BOOL PreTranslateMessage(MSG* msg) override;
    BOOL OnInitDialog() override;
    // Enter while Save is disabled, and Escape, send IDOK and IDCANCEL: neither closes the
    // dialog, which closes only through WM_CLOSE and its question.
    void OnOK() override {}
    void OnCancel() override {}
    void OnClose() override;
    BOOL OnCmdMsg(UINT id, UINT code, HWND control) override;
    BOOL OnNotifyMsg(int controlId, NMHDR* header, LRESULT* result) override;
    BOOL OnDrawItem(int controlId, DRAWITEMSTRUCT* dis) override;
    void PostNcDestroy() override;

private:
    void OnTabSelChange();
    void DrawTabItem(const DRAWITEMSTRUCT& dis);
    void SetTabTitle(int tab);
    void PlacePage(CDialog& page);
    CDialog& PageOfTab(int tab);
    void RefreshSettingsView(bool disableSave);

    // The save of Save and the connection page, or (`forClose`) the one a close or quit waits
    // for, which is refused only while an import is under way (it would store the pages' values
    // over the import).
    bool SaveSettings(bool forClose, bool reportEnd = false);
    // The setting pages take input while no connection is up, except those that an import
    // under way replaces.
    void UpdateSettingPagesInput();

    void OnSettingsReply(WPARAM dataLength, LPARAM frame);
    void OnPageModified();
    void OnConnectionStateChanged(bool up);
    void OnSettingsClose();
    void OnSettingsQuit();
    // The steps of a close or quit in order; the dialog may be gone when it returns.
    void RunCloseStep(const CCloseStep& step);

    void LoadSettingsMenuTexts();
    void UpdateImportMenu();
    void UpdateExportMenu();
    void ImportSettings(UINT id);
    void ExportSettings(UINT id);
    // Either: the file dialog, then the request with the path and selection.
    void RunSettingsFileCommand(UINT id);
    // The file dialog of an import or export; false when cancelled.
    bool ChooseSettingsFile(UINT id, CSettingsFileSelection& selection);

    // The actions of a start or a reply; a box waits for WM_SETTINGS_BOX, and the fields
    // after it with it.
    void ApplyActions(const CSettingsActions& actions);
    void FinishActions(const CSettingsActions& actions);
    void OnSettingsBox();
    void ClearBusyWhenIdle();

    uint8_t* RecordAt(size_t k) const { return Records + k * VPNCONFIG::kSize; }

    // Posted to itself by a reply that has a box to show, so that the box opens once the pipe
    // thread is no longer held in its SendMessageW.
    static constexpr UINT WM_SETTINGS_BOX = WM_APP + 0x42;

    CWnd TabControl;
    CPageDlgVpnConnect ConnectionPage;
    std::array<CPageDlgVpnSetting, 20> SettingPages;
    int ConnectionUp;
    int ActiveIndex;
    uint8_t* const Records;
    CThreadOwner PipeThread;
    std::wstring SettingsFilePath;
    int PreviousTab = 0;
    CSettingsRequests m_requests; // the requests in flight; each reply goes to the oldest
    CSettingsCloseLogic m_close;  // CloseState
    std::deque<CSettingsActions> m_boxActions;
    int m_pageModal = 0;
    bool m_choosingFile = false; // the file dialog of an import or export is open
};

} // namespace corvel
