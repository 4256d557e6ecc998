#include "DlgVpnConnect.h"

#include "ConnectionPageLogic.h"
#include "DataExchange.h"
#include "DialogResource.h"
#include "FileDialog.h"
#include "FrameMessages.h"
#include "MainFrameServices.h"
#include "Menu.h"
#include "MessageBox.h"
#include "SettingValues.h"
#include "SettingsLabels.h"
#include "SettingsMenu.h"

#include "LanguageFile.h"
#include "PipeThread.h"
#include "UiTextWin.h"

#include <commctrl.h>

#include <iterator>

namespace corvel {

namespace {

// Where the pages sit in the dialog's client area, in pixels, when the tab control cannot say.
constexpr int kPageLeft = 13;
constexpr int kPageTop = 68;
constexpr int kTabWidth = 100; // pixels

constexpr int kTabCount = 21; // the connection page and the 20 setting pages

} // namespace

CDlgVpnConnect::CDlgVpnConnect(uint8_t* records, bool connectionUp, int activeIndex)
    : CModelessDialog(IDD_VPN_CONNECT), ConnectionUp(connectionUp ? 1 : 0), ActiveIndex(activeIndex),
      Records(records), m_requests(records, [this](const RequestFrame& frame) {
          return PipeThread && m_hWnd && PostPipeRequest(PipeThread, m_hWnd, frame) != FALSE;
      }) {}

CDlgVpnConnect::~CDlgVpnConnect() {
    // Requests still queued are performed all the same: they carry their own frames, and their
    // replies find no window.
    if (PipeThread)
        PipeThread.Quit(0);
}

void CDlgVpnConnect::PostNcDestroy() {
    GetMainFrameServices().ClearSettingsOpen();
    CModelessDialog::PostNcDestroy();
}

LRESULT CDlgVpnConnect::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PIPE_REPLY:
        OnSettingsReply(wParam, lParam);
        return 0;
    case WM_PAGE_MODIFIED:
        OnPageModified();
        return 0;
    case WM_SET_TRAY_ICON:
        OnConnectionStateChanged(wParam != 0);
        return 0;
    case WM_SETTINGS_BOX:
        OnSettingsBox();
        return 0;
    default:
        break;
    }
    return CModelessDialog::WindowProc(message, wParam, lParam);
}

void CDlgVpnConnect::DoDataExchange(CDataExchange* dx) {
    DDX_Control(dx, IDC_SETTINGS_TAB, TabControl);
}

BOOL CDlgVpnConnect::PreTranslateMessage(MSG* msg) {
    if (msg->message == WM_KEYDOWN && msg->wParam == VK_ESCAPE)
        return TRUE;
    return CModelessDialog::PreTranslateMessage(msg);
}

// ---- opening ----

BOOL CDlgVpnConnect::OnInitDialog() {
    CMainFrameServices& frame = GetMainFrameServices();
    LoadDialogTexts(m_hWnd, frame.GetLanguagePath(), sections::SettingsDialog.Name, true,
                    {IDC_SETTINGS_SAVE});
    CModelessDialog::OnInitDialog();

    // The items first: the control reports no item rectangle, and so no height, without them.
    const HWND tab = TabControl.m_hWnd;
    const TextWidthMeasure measure = LabelTextMeasure(m_hWnd);
    for (int n = 0; n < kTabCount; ++n) {
        std::wstring title =
            n == 0 ? frame.GetUiText(kTextConnectionTab)
                   : MakeTabTitle(unsigned(n), ConnectionNameAt(Records, size_t(n - 1)), measure);
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = title.data();
        TabCtrl_InsertItem(tab, n, &item);
    }
    RECT itemRect{};
    if (TabCtrl_GetItemRect(tab, 0, &itemRect))
        TabCtrl_SetItemSize(tab, kTabWidth, itemRect.bottom - itemRect.top);
    TabCtrl_SetCurSel(tab, 0);
    PreviousTab = 0;

    if (ConnectionPage.Create(IDD_PAGE_VPN_CONNECT, this)) {
        PlacePage(ConnectionPage);
        ConnectionPage.ShowWindow(SW_SHOW);
    }
    for (CPageDlgVpnSetting& page : SettingPages) {
        if (page.Create(IDD_PAGE_VPN_SETTING, this))
            PlacePage(page); // hidden until its tab is chosen
    }
    if (StartPipeThread(PipeThread) == 0)
        ConnectionPage.SetPipeThread(&PipeThread);

    LoadSettingsMenuTexts();
    ConnectionPage.LoadDialogTexts();
    for (size_t k = 0; k < SettingPages.size(); ++k)
        SettingPages[k].SetSettingRecord(RecordAt(k));
    ConnectionPage.SetRecords(Records);
    ConnectionPage.SetConnectionLabels(Records);
    UpdateImportMenu();
    UpdateExportMenu();

    const COpeningView view = DecideOpeningView(ConnectionUp != 0, ActiveIndex);
    ConnectionPage.SelectConnection(view.SelectedIndex);
    if (view.ShowUp)
        ConnectionPage.ShowConnectionStates(1, view.SelectedIndex);
    ConnectionPage.SetButtonText(frame.GetUiText(view.ButtonTextId));
    if (view.Input.OnlyRadio >= 0)
        ConnectionPage.EnableOnlyRadio(view.Input.OnlyRadio);
    else
        ConnectionPage.EnableAllRadios();
    if (!view.Input.SettingPagesEnabled) {
        for (CPageDlgVpnSetting& page : SettingPages)
            page.EnableSettingControls(FALSE);
    }

    ::EnableWindow(GetDlgItem(IDC_SETTINGS_SAVE), FALSE);
    // From here on the pages report edits (loading the records above reported none).
    ConnectionPage.SetOwnerDialog(this);
    for (CPageDlgVpnSetting& page : SettingPages)
        page.SetOwnerDialog(this);
    m_close = CSettingsCloseLogic(kCloseStateOpen);
    return TRUE;
}

void CDlgVpnConnect::PlacePage(CDialog& page) {
    // The tab control's display area, below however many rows of tabs the font makes; the page
    // fills it (its own background, not the tab control's, around its controls) and stays
    // inside the frame.
    RECT place{};
    const HWND tab = TabControl.m_hWnd;
    if (::GetWindowRect(tab, &place)) {
        ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&place), 2);
        TabCtrl_AdjustRect(tab, FALSE, &place);
    }
    if (place.right <= place.left || place.bottom <= place.top) {
        RECT client{};
        ::GetClientRect(page.m_hWnd, &client);
        place = RECT{kPageLeft, kPageTop, kPageLeft + client.right, kPageTop + client.bottom};
    }
    // Behind Save in the z-order, as created: the dialog manager looks the default button up by
    // its ID among all controls, the pages' included, and a page's control with Save's ID
    // (1084) must not come first.
    ::SetWindowPos(page.m_hWnd, nullptr, place.left, place.top, place.right - place.left,
                   place.bottom - place.top, SWP_NOZORDER | SWP_NOREDRAW | SWP_NOACTIVATE);
}

CDialog& CDlgVpnConnect::PageOfTab(int tab) {
    if (tab >= 1 && tab < kTabCount)
        return SettingPages[size_t(tab - 1)];
    return ConnectionPage;
}

// ---- tabs ----

BOOL CDlgVpnConnect::OnNotifyMsg(int controlId, NMHDR* header, LRESULT* result) {
    if (controlId == IDC_SETTINGS_TAB && header->code == TCN_SELCHANGE) {
        OnTabSelChange();
        *result = 0;
        return TRUE;
    }
    return CModelessDialog::OnNotifyMsg(controlId, header, result);
}

void CDlgVpnConnect::OnTabSelChange() {
    for (CPageDlgVpnSetting& page : SettingPages)
        page.SetPainted(0);
    const int sel = TabCtrl_GetCurSel(TabControl.m_hWnd);
    if (sel < 0 || sel >= kTabCount)
        return;
    // From one setting page to another: no flicker of the page between them.
    const bool locked = sel != 0 && PreviousTab != 0 && ::LockWindowUpdate(m_hWnd);
    for (CPageDlgVpnSetting& page : SettingPages)
        page.SetShownIndex(sel - 1);
    ConnectionPage.ShowWindow(SW_HIDE);
    for (CPageDlgVpnSetting& page : SettingPages)
        page.ShowWindow(SW_HIDE);
    CDialog& shown = PageOfTab(sel);
    shown.ShowWindow(SW_SHOW);
    if (locked)
        ::LockWindowUpdate(nullptr);
    // The tab control lies above the pages and fills its frame when it repaints, which it does
    // after a change (the rows of tabs move): its paint first, then the page whole over it.
    // Controls drawn before the tab control's paint are covered by it and are not drawn again.
    ::UpdateWindow(TabControl.m_hWnd);
    ::RedrawWindow(shown.m_hWnd, nullptr, nullptr,
                   RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    PreviousTab = sel;
}

BOOL CDlgVpnConnect::OnDrawItem(int controlId, DRAWITEMSTRUCT* dis) {
    if (controlId != IDC_SETTINGS_TAB)
        return CModelessDialog::OnDrawItem(controlId, dis);
    DrawTabItem(*dis);
    return TRUE;
}

void CDlgVpnConnect::DrawTabItem(const DRAWITEMSTRUCT& dis) {
    wchar_t text[256] = {};
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = text;
    item.cchTextMax = int(std::size(text));
    TabCtrl_GetItem(dis.hwndItem, int(dis.itemID), &item);
    RECT area = dis.rcItem;
    const int oldMode = ::SetBkMode(dis.hDC, TRANSPARENT);
    // Prefix processing stays on: a doubled "&" shows as one.
    if (dis.itemState & ODS_SELECTED) {
        ::FillRect(dis.hDC, &area, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
        ::DrawTextW(dis.hDC, text, -1, &area, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    } else {
        ::DrawTextW(dis.hDC, text, -1, &area, DT_CENTER | DT_BOTTOM | DT_SINGLELINE);
    }
    ::SetBkMode(dis.hDC, oldMode);
}

void CDlgVpnConnect::SetTabTitle(int tab) {
    // In place: deleting and inserting the item would lose the selection.
    std::wstring title =
        MakeTabTitle(unsigned(tab), ConnectionNameAt(Records, size_t(tab - 1)), LabelTextMeasure(m_hWnd));
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = title.data();
    TabCtrl_SetItem(TabControl.m_hWnd, tab, &item);
}

void CDlgVpnConnect::RefreshSettingsView(bool disableSave) {
    if (disableSave)
        ::EnableWindow(GetDlgItem(IDC_SETTINGS_SAVE), FALSE);
    for (int n = 1; n < kTabCount; ++n)
        SetTabTitle(n);
    ConnectionPage.SetConnectionLabels(Records);
    CDialog& shown = PageOfTab(TabCtrl_GetCurSel(TabControl.m_hWnd));
    shown.ShowWindow(SW_HIDE);
    shown.ShowWindow(SW_SHOW);
    UpdateImportMenu();
    UpdateExportMenu();
}

// ---- the pages ----

bool CDlgVpnConnect::IsModified() const {
    return ::IsWindowEnabled(GetDlgItem(IDC_SETTINGS_SAVE)) != FALSE;
}

bool CDlgVpnConnect::EveryKeyConfirmed() const {
    for (const CPageDlgVpnSetting& page : SettingPages) {
        if (!page.IsPreSharedKeyConfirmed())
            return false;
    }
    return true;
}

bool CDlgVpnConnect::HasServer(int vpnIndex) const {
    return IsConnectionIndex(vpnIndex) && SettingPages[size_t(vpnIndex)].HasServerAddress();
}

void CDlgVpnConnect::OnPageModified() {
    m_close.OnEdited();
    m_requests.OnEdited();
    const HWND save = GetDlgItem(IDC_SETTINGS_SAVE);
    if (!::IsWindowEnabled(save))
        ::EnableWindow(save, TRUE);
}

void CDlgVpnConnect::OnConnectionStateChanged(bool up) {
    ConnectionUp = up ? 1 : 0;
    const CInputEnabling input = DecideConnectionInput(up, ConnectionPage.GetActiveIndex());
    // The pages show the records again: edits not saved are dropped.
    for (size_t k = 0; k < SettingPages.size(); ++k)
        SettingPages[k].SetSettingRecord(RecordAt(k));
    UpdateSettingPagesInput();
    if (input.OnlyRadio >= 0)
        ConnectionPage.EnableOnlyRadio(input.OnlyRadio);
    else
        ConnectionPage.EnableAllRadios();
    if (!up)
        GetMainFrameServices().ClearLaunchedWithVpn();
}

// ---- saving and the replies ----

void CDlgVpnConnect::UpdateSettingPagesInput() {
    const bool enabled = DecideConnectionInput(ConnectionUp != 0, ActiveIndex).SettingPagesEnabled;
    for (size_t k = 0; k < SettingPages.size(); ++k) {
        // An edit there would be overwritten by the reload, or taken for saved after it.
        const bool replaced = m_requests.ImportReplaces(k);
        SettingPages[k].EnableSettingControls(enabled && !replaced ? TRUE : FALSE);
    }
}

bool CDlgVpnConnect::IsOperationInFlight() const {
    return !m_requests.Idle() || !m_boxActions.empty() || m_choosingFile;
}

bool CDlgVpnConnect::SaveAllSettings(bool reportEnd) {
    return SaveSettings(false, reportEnd);
}

bool CDlgVpnConnect::SaveSettings(bool forClose, bool reportEnd) {
    // Behind an import the saves would store the pages' values over what it imported; behind
    // the rest, one operation at a time.
    if (forClose ? m_requests.ImportUnderWay() || m_choosingFile : IsOperationInFlight()) {
        ::MessageBeep(MB_OK);
        return false;
    }
    GetMainFrameServices().SetBusyFlag(BusyFlag::Settings, true);
    for (size_t k = 0; k < SettingPages.size(); ++k) {
        // A page that refuses has told the user; the records before it keep what they took.
        if (!SettingPages[k].GetSettingRecord(RecordAt(k))) {
            ClearBusyWhenIdle();
            return false;
        }
    }
    ApplyActions(m_requests.StartSave(forClose, reportEnd));
    return true;
}

void CDlgVpnConnect::OnSettingsReply(WPARAM dataLength, LPARAM frame) {
    // The frame is the pipe thread's and valid only during this call: read at once.
    ApplyActions(
        m_requests.OnReply(static_cast<uint32_t>(dataLength), reinterpret_cast<const uint8_t*>(frame)));
}

void CDlgVpnConnect::ApplyActions(const CSettingsActions& actions) {
    if (actions.StoredRecord >= 0 && size_t(actions.StoredRecord) < SettingPages.size())
        SettingPages[size_t(actions.StoredRecord)].SetSettingRecord(RecordAt(size_t(actions.StoredRecord)));
    if (actions.MessageTextId != 0) {
        // Never a box while the pipe thread waits for this handler: the box, and what follows
        // it, once the handler has returned.
        CSettingsActions rest = actions;
        rest.StoredRecord = -1;
        m_boxActions.push_back(rest);
        PostMessage(WM_SETTINGS_BOX);
        return;
    }
    FinishActions(actions);
}

void CDlgVpnConnect::OnSettingsBox() {
    if (m_boxActions.empty())
        return;
    const CSettingsActions actions = m_boxActions.front();
    m_boxActions.pop_front();
    const HWND self = m_hWnd;
    AfxMessageBox(GetMainFrameServices().GetUiText(actions.MessageTextId), MB_OK);
    if (!::IsWindow(self))
        return; // gone with its window while the box was open
    FinishActions(actions);
}

void CDlgVpnConnect::FinishActions(const CSettingsActions& actions) {
    if (actions.RefreshView)
        RefreshSettingsView(actions.DisableSave);
    UpdateSettingPagesInput();
    // Decided now, not when the reply came: a question may have opened since (under its box).
    const bool closeAgain = m_close.OnRequestsEnded(actions.CloseEvent);
    if (actions.ClearBusy && !closeAgain)
        ClearBusyWhenIdle();
    if (actions.SaveBatchEnded)
        ConnectionPage.OnSaveBatchEnded(actions.SaveBatchSaved);
    if (closeAgain)
        PostMessage(WM_CLOSE);
}

void CDlgVpnConnect::ClearBusyWhenIdle() {
    // Not under requests in flight: their end clears it. Not under the open question either:
    // the close or quit it belongs to is under way, and its answer clears it.
    if (m_requests.Idle() && !m_close.Asking())
        GetMainFrameServices().SetBusyFlag(BusyFlag::Settings, false);
}

// ---- closing and quitting ----

void CDlgVpnConnect::OnClose() {
    OnSettingsClose();
}

void CDlgVpnConnect::OnSettingsClose() {
    // Not under a window the page runs (or between two of one press), nor under the file
    // dialog of an import or export: each would return to a page or a dialog that is gone.
    if (m_pageModal > 0 || ConnectionPage.IsPressing() || m_choosingFile) {
        ::MessageBeep(0);
        return;
    }
    RunCloseStep(m_close.OnClose(IsModified()));
}

void CDlgVpnConnect::OnSettingsQuit() {
    RunCloseStep(m_close.OnQuit(IsModified()));
}

void CDlgVpnConnect::RunCloseStep(const CCloseStep& step) {
    CMainFrameServices& frame = GetMainFrameServices();
    if (step.Refused) {
        ::MessageBeep(MB_OK);
        return;
    }
    if (step.SetBusy)
        frame.SetBusyFlag(BusyFlag::Settings, true);
    if (step.AskSave) {
        const HWND self = m_hWnd;
        const int answer = AfxMessageBox(frame.GetUiText(kTextSaveQuestion), MB_YESNO | MB_ICONQUESTION);
        if (!::IsWindow(self))
            return;
        RunCloseStep(m_close.OnAnswer(answer == IDYES));
        return;
    }
    if (step.StartSave) {
        const bool posted = SaveSettings(true);
        RunCloseStep(m_close.OnSaveStarted(posted));
        return;
    }
    // SettingsOpen is cleared by PostNcDestroy, when the window is gone whichever way it went.
    if (step.ClearBusy) {
        if (step.Destroy)
            frame.SetBusyFlag(BusyFlag::Settings, false);
        else
            ClearBusyWhenIdle();
    }
    if (step.PostQuitRequest)
        frame.PostQuitRequest();
    if (step.Destroy)
        DestroyWindow(); // deletes the dialog (PostNcDestroy): nothing of it is touched after this
}

// ---- menu, import and export ----

BOOL CDlgVpnConnect::OnCmdMsg(UINT id, UINT code, HWND control) {
    if (!control) {
        const CSettingsFileSelection selection = SelectionFromCommand(id);
        if (selection.Command == SettingsFileCommand::Import) {
            ImportSettings(id);
            return TRUE;
        }
        if (selection.Command == SettingsFileCommand::Export) {
            ExportSettings(id);
            return TRUE;
        }
        switch (id) {
        case kSettingsCloseCommand:
            PostMessage(WM_CLOSE);
            return TRUE;
        case kSettingsQuitCommand:
            OnSettingsQuit();
            return TRUE;
        default:
            break;
        }
    }
    // Only Save's own click: a page has controls with the same ID.
    if (id == IDC_SETTINGS_SAVE && code == BN_CLICKED && control == GetDlgItem(IDC_SETTINGS_SAVE)) {
        SaveAllSettings();
        return TRUE;
    }
    return CModelessDialog::OnCmdMsg(id, code, control);
}

void CDlgVpnConnect::LoadSettingsMenuTexts() {
    CLanguageFile file;
    if (OpenLanguageFile(GetMainFrameServices().GetLanguagePath(), file) != 0)
        return;
    const BorrowedMenu bar(::GetMenu(m_hWnd));
    const BorrowedMenu fileMenu = GetPopup(bar, 0);
    // By position, text only: each popup keeps its submenu.
    for (const CSettingsMenuText& text : ReadSettingsMenuTexts(file)) {
        BorrowedMenu menu;
        switch (text.Menu) {
        case SettingsMenuLevel::Bar:
            menu = bar;
            break;
        case SettingsMenuLevel::File:
            menu = fileMenu;
            break;
        case SettingsMenuLevel::Import:
            menu = GetPopup(fileMenu, 0);
            break;
        case SettingsMenuLevel::Export:
            menu = GetPopup(fileMenu, 1);
            break;
        }
        if (menu)
            SetMenuItemText(menu.get(), UINT(text.Position), true, text.Text);
    }
    ::DrawMenuBar(m_hWnd);
}

namespace {

// Items 1 to 20 of an import or export submenu: "01：name" to "20：name", not shortened.
void SetConnectionMenuLabels(HMENU submenu, const uint8_t* records) {
    if (!submenu)
        return;
    for (size_t i = 0; i < kVpnCount; ++i)
        SetMenuItemText(submenu, UINT(i + 1), true,
                        MakeSettingsMenuLabel(unsigned(i + 1), ConnectionNameAt(records, i)));
}

} // namespace

void CDlgVpnConnect::UpdateImportMenu() {
    SetConnectionMenuLabels(GetPopup(GetPopup(::GetMenu(m_hWnd), 0), 0).get(), Records);
}

void CDlgVpnConnect::UpdateExportMenu() {
    SetConnectionMenuLabels(GetPopup(GetPopup(::GetMenu(m_hWnd), 0), 1).get(), Records);
}

bool CDlgVpnConnect::ChooseSettingsFile(UINT id, CSettingsFileSelection& selection) {
    selection = SelectionFromCommand(id);
    const CSettingsFileDialog kind = SettingsFileDialogOf(selection.Command);
    CFileDialog dialog(kind.Open ? TRUE : FALSE, kind.DefaultExtension, kind.InitialName, DWORD(kind.Flags),
                       kind.Filter);
    if (dialog.DoModal() != IDOK)
        return false;
    SettingsFilePath = dialog.GetPathName();
    return !SettingsFilePath.empty();
}

void CDlgVpnConnect::ImportSettings(UINT id) {
    RunSettingsFileCommand(id);
}

void CDlgVpnConnect::ExportSettings(UINT id) {
    RunSettingsFileCommand(id);
}

void CDlgVpnConnect::RunSettingsFileCommand(UINT id) {
    if (IsOperationInFlight()) {
        ::MessageBeep(MB_OK);
        return;
    }
    GetMainFrameServices().SetBusyFlag(BusyFlag::Settings, true);
    CSettingsFileSelection selection;
    // The dialog may stay enabled under the file dialog (it is not always its owner).
    m_choosingFile = true;
    const bool chosen = ChooseSettingsFile(id, selection);
    m_choosingFile = false;
    if (!chosen) {
        ClearBusyWhenIdle(); // cancelled: nothing sent
        return;
    }
    if (selection.Command == SettingsFileCommand::Import) {
        const CSettingsActions actions = m_requests.StartImport(SettingsFilePath, selection.Selection);
        UpdateSettingPagesInput();
        ApplyActions(actions);
        return;
    }
    ApplyActions(m_requests.StartExport(SettingsFilePath, selection.Selection));
}

} // namespace corvel
