#include "MainFrame.h"

#include "App.h"
#include "DlgVerInfo.h"
#include "DlgVpnConnect.h"
#include "DlgVpnDisconnecting.h"
#include "DlgVpnInit.h"
#include "Menu.h"
#include "MessageBox.h"
#include "NotificationServer.h"
#include "PipeService.h"
#include "PipeThread.h"
#include "Protocol.h"
#include "Requests.h"
#include "StartupFailureFile.h"
#include "UiTextWin.h"

#include <cstring>

namespace corvel {

std::atomic<CMainFrame*> CMainFrame::s_instance{nullptr};

namespace {

HICON LoadTrayIcon(UINT id) {
    // Shared: the system keeps one copy per size, nothing to destroy.
    return static_cast<HICON>(::LoadImageW(AfxGetResourceHandle(), MAKEINTRESOURCEW(id), IMAGE_ICON,
                                           ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON),
                                           LR_SHARED));
}

} // namespace

static_assert(static_cast<unsigned>(BusyFlag::VersionBox) + 1 == kBusyFlagCount, "one entry per busy flag");

CMainFrame::CMainFrame(CNotificationServer& notifications)
    : Notifications(notifications), ConfigBuffer(new uint8_t[kConfigBufferSize]()) {
    s_instance.store(this);
    SetMainFrameServices(this);
}

CMainFrame::~CMainFrame() {
    if (m_hWnd)
        ::DestroyWindow(m_hWnd);
    if (&GetMainFrameServices() == this)
        SetMainFrameServices(nullptr);
    CMainFrame* self = this;
    s_instance.compare_exchange_strong(self, nullptr);
}

BOOL CMainFrame::PreCreateWindow(CREATESTRUCTW& cs) {
    if (!CFrameWnd::PreCreateWindow(cs))
        return FALSE;
    cs.style = WS_CAPTION | FWS_ADDTOTITLE;
    cs.dwExStyle &= ~static_cast<DWORD>(WS_EX_CLIENTEDGE);
    cs.lpszClass = AfxRegisterWndClass(0);
    return cs.lpszClass != nullptr;
}

LRESULT CMainFrame::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    // A shell that starts (or restarts) after us has lost our icon: add it again.
    static const UINT taskbarCreated = ::RegisterWindowMessageW(L"TaskbarCreated");
    if (message == taskbarCreated && taskbarCreated != 0 && TrayIconWanted) {
        AddTrayIcon();
        return 0;
    }
    switch (message) {
    case WM_TRAY_NOTIFY:
        OnTrayNotify(lParam);
        break; // and the base as well
    case WM_PIPE_REPLY:
        OnPipeReply(wParam, reinterpret_cast<const uint8_t*>(lParam));
        return 0;
    case WM_SETTINGS_LOADED:
        OnOpenSettings();
        return 0;
    case WM_SET_TRAY_ICON:
        return OnSetTrayIcon(wParam, lParam);
    case WM_CLOSE_IF_IDLE:
        OnCloseIfIdle();
        return 0;
    case WM_BUSY_FLAGS:
        OnBusyFlags(wParam, lParam);
        return 0;
    case WM_QUIT_REQUEST:
        OnCmdMsg(ID_APP_QUIT, 0, nullptr);
        return 0;
    case WM_VPN_STATE0:
        OnVpnState0(wParam, lParam);
        return 0;
    case WM_VPN_STATE1:
        OnVpnState1(wParam);
        return 0;
    default:
        break;
    }
    return CFrameWnd::WindowProc(message, wParam, lParam);
}

BOOL CMainFrame::OnCmdMsg(UINT id, UINT code, HWND control) {
    if (code == 0 && !control) {
        switch (id) {
        case ID_TRAY_SETTINGS:
            RequestAllSettings();
            return TRUE;
        case ID_APP_ABOUT:
            OnAbout();
            return TRUE;
        case ID_APP_QUIT:
            OnQuit();
            return TRUE;
        default:
            break;
        }
    }
    return CFrameWnd::OnCmdMsg(id, code, control);
}

// ---- start-up ----

void CMainFrame::FillTrayIconData() {
    TrayIconData = {};
    TrayIconData.cbSize = NOTIFYICONDATAW_V3_SIZE;
    TrayIconData.hWnd = m_hWnd;
    TrayIconData.uID = 0;
    TrayIconData.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    TrayIconData.uCallbackMessage = WM_TRAY_NOTIFY;
    TrayIconData.hIcon = LoadTrayIcon(IDI_DISCONNECTED);
    TrayIconId = IDI_DISCONNECTED;
    wcscpy_s(TrayIconData.szTip, L"Corvel");
}

int CMainFrame::OnCreate(CREATESTRUCTW* cs) {
    if (CFrameWnd::OnCreate(cs) == -1)
        return -1;
    FillTrayIconData();
    BuildLanguagePath(LanguagePath);
    LoadStringTable(LanguagePath, UiText, AfxGetResourceHandle());
    PrmFilePath = BuildDataPath();

    // Bounded: a service that accepts and never answers counts as not answering.
    const bool answered = ProbeService();
    const int failures = ReadStartupFailures(PrmFilePath);
    if (!answered) {
        CDlgVpnInit dialog(StartupWait);
        WaitDialog = &dialog;
        dialog.DoModal();
        WaitDialog = nullptr;
    }
    // The flags themselves decide: a wait dialog ended without an outcome is no ready service.
    const CStartupOutcome outcome =
        DecideStartupOutcome(answered, StartupWait.ServiceReady != 0, StartupWait.ServiceTimedOut != 0,
                             StartupWait.StartupCancelled != 0, failures);
    switch (outcome.Action) {
    case StartupAction::CloseSilently:
        PostMessage(WM_CLOSE_IF_IDLE);
        return 0;
    case StartupAction::ShowFailureAndClose:
        AfxMessageBox(UiText.Get(outcome.TextId), MB_OK);
        WriteStartupFailures(PrmFilePath, outcome.CountToStore);
        PostMessage(WM_CLOSE_IF_IDLE);
        return 0;
    case StartupAction::Continue:
        break;
    }

    WriteStartupFailures(PrmFilePath, 0);
    TrayIconWanted = true;
    AddTrayIcon();
    TrayMenu = LoadMenuResource(IDR_MAINFRAME);
    LoadIndex = 0;
    std::memset(ConnectStates, 0, sizeof ConnectStates);
    AutoConnectPending = 0;

    const CWinApp* app = AfxGetApp();
    const CCommandLineOptions options = AnalyzeCommandLine(app ? app->m_cmdLine : std::wstring());
    OpenSettingsWhenLoaded = options.OpenSettingsWhenLoaded;
    if (options.LaunchedWithVpn)
        LaunchedWithVpn = 1;
    if (options.AutoConnectPending) {
        AutoConnectIndex = options.AutoConnectIndex;
        ConnectStates[AutoConnectIndex] = ConnectStatus::Connecting;
        AutoConnectPending = 1;
    }
    QueueStartupRequests();
    return 0;
}

void CMainFrame::QueueStartupRequests() {
    if (StartPipeThread(PipeThread) != 0)
        return; // the tray icon stays; requests find no thread
    PostRequest(&CMainFrame::BuildErrRestartChkRequest);
    PostRequest(&CMainFrame::BuildVpnStatusRequest);
    for (unsigned i = 0; i < kConnectionCount; ++i)
        PostRequest(&CMainFrame::BuildNextRecordRequest);
}

BOOL CMainFrame::PostRequest(ServiceRequestBuilder builder) {
    return PipeThread && PostPipeRequest(PipeThread, m_hWnd, builder);
}

// ---- builders (pipe thread) ----

int CMainFrame::BuildErrRestartChkRequest(uint32_t& size, uint8_t* buffer) {
    return CopyRequestFrame(::corvel::BuildErrRestartChkRequest(), size, buffer);
}

int CMainFrame::BuildVpnStatusRequest(uint32_t& size, uint8_t* buffer) {
    return CopyRequestFrame(::corvel::BuildVpnStatusRequest(), size, buffer);
}

int CMainFrame::BuildNextRecordRequest(uint32_t& size, uint8_t* buffer) {
    const CMainFrame* frame = GetInstance();
    if (!frame) {
        size = 0;
        return 0;
    }
    return CopyRequestFrame(BuildLoadConfigRequest(frame->LoadIndex.load()), size, buffer);
}

// ---- tray icon and menu ----

void CMainFrame::OnTrayNotify(LPARAM mouseMessage) {
    POINT cursor{};
    ::GetCursorPos(&cursor);
    if (mouseMessage == WM_LBUTTONDBLCLK) {
        RequestAllSettings();
    } else if (mouseMessage == WM_RBUTTONDOWN) {
        ::SetForegroundWindow(m_hWnd);
        if (const BorrowedMenu popup = GetPopup(TrayMenu.get(), 0))
            TrackPopupAt(popup, m_hWnd, cursor, 0);
    }
}

void CMainFrame::OnInitMenuPopup(HMENU popup, UINT index, BOOL sysMenu) {
    CFrameWnd::OnInitMenuPopup(popup, index, sysMenu);
    LoadMainMenuTexts(popup, LanguagePath);
}

HICON CMainFrame::OnGetIcon(WPARAM) {
    if (!WindowIcon)
        WindowIcon = ::LoadIconW(AfxGetResourceHandle(), MAKEINTRESOURCEW(IDI_CONNECTED));
    return WindowIcon;
}

void CMainFrame::AddTrayIcon() {
    TrayIconAdded = ::Shell_NotifyIconW(NIM_ADD, &TrayIconData) != FALSE;
}

void CMainFrame::ShowTrayIcon(UINT iconId) {
    if (const HICON icon = LoadTrayIcon(iconId)) {
        TrayIconData.hIcon = icon;
        TrayIconId = iconId;
    }
    // An add that failed at start-up (no shell tray yet) is made good at the next change.
    if (TrayIconAdded)
        ::Shell_NotifyIconW(NIM_MODIFY, &TrayIconData);
    else if (TrayIconWanted)
        AddTrayIcon();
}

void CMainFrame::UpdateTrayIcon() {
    ShowTrayIcon(ChooseTrayIcon(ConnectStates));
    Notifications.StartNotificationServer(m_hWnd);
}

LRESULT CMainFrame::OnSetTrayIcon(WPARAM iconId, LPARAM vpnIndex) {
    ShowTrayIcon(static_cast<UINT>(iconId));
    std::memset(ConnectStates, 0, sizeof ConnectStates);
    if (iconId == IDI_CONNECTED && static_cast<ULONG_PTR>(vpnIndex) < kConnectionCount)
        ConnectStates[vpnIndex] = ConnectStatus::Connected;
    return 0;
}

void CMainFrame::SetTrayIcon(bool connected, uint8_t vpnIndex) {
    const WPARAM icon = connected ? IDI_CONNECTED : IDI_DISCONNECTED;
    if (m_hWnd)
        SendMessage(WM_SET_TRAY_ICON, icon, vpnIndex);
    else
        OnSetTrayIcon(icon, vpnIndex);
}

HWND CMainFrame::SetNotificationWindow(HWND window) {
    return Notifications.SetNotificationWindow(window);
}

void CMainFrame::OnVpnState1(WPARAM vpnIndex) {
    PostMessage(WM_SET_TRAY_ICON, IDI_CONNECTED, static_cast<LPARAM>(vpnIndex));
}

void CMainFrame::OnVpnState0(WPARAM vpnIndex, LPARAM quitGui) {
    PostMessage(WM_SET_TRAY_ICON, IDI_DISCONNECTED, static_cast<LPARAM>(vpnIndex));
    if (quitGui)
        PostMessage(WM_COMMAND, ID_APP_QUIT, 0);
}

// ---- settings and the version box ----

void CMainFrame::RequestAllSettings() {
    if (SettingsOpen)
        return;
    LoadIndex = 0;
    OpenSettingsWhenLoaded = 1;
    PostRequest(&CMainFrame::BuildVpnStatusRequest);
    for (unsigned i = 0; i < kConnectionCount; ++i)
        PostRequest(&CMainFrame::BuildNextRecordRequest);
}

void CMainFrame::RequestRecord(uint8_t vpnIndex) {
    LoadIndex = vpnIndex;
    PostRequest(&CMainFrame::BuildNextRecordRequest);
}

CConfigRecordsView CMainFrame::GetConfigRecords() const {
    return CConfigRecordsView(ConfigBuffer.get() + kConfigRecordsOffset);
}

void CMainFrame::OnOpenSettings() {
    // A second load finishing while the dialog is open must not open another one.
    if (SettingsOpen)
        return;
    const int active = FindLastActiveConnection(ConnectStates);
    SettingsOpen = 1;
    AutoConnectPending = 0;
    SettingsDialog = OpenSettingsDialog(active >= 0, static_cast<uint8_t>(active >= 0 ? active : 0));
    // No window: nothing will ever clear SettingsOpen, and Quit would wait for it for good.
    if (!SettingsDialog)
        ClearSettingsOpen();
}

CModelessDialog* CMainFrame::OpenSettingsDialog(bool hasActive, uint8_t activeIndex) {
    auto* dialog = new CDlgVpnConnect(ConfigRecords(), hasActive, activeIndex);
    // Known before its window exists: a window that goes while it is created clears it again.
    SettingsDialog = dialog;
    if (!dialog->Create())
        return nullptr; // deleted already, with its window if it had one
    dialog->ShowWindow(SW_SHOWNORMAL);
    return dialog;
}

void CMainFrame::ClearSettingsOpen() {
    SettingsOpen = 0;
    SettingsDialog = nullptr;
}

void CMainFrame::OnAbout() {
    // One box at a time: the item again brings the open one to the front.
    if (AboutOpen) {
        if (AboutBox)
            AboutBox->Activate();
        return;
    }
    auto* box = new CDlgVerInfo();
    AboutOpen = 1;
    AboutBox = box;
    if (!box->Create()) {
        ClearAboutOpen(); // the box is gone already
        return;
    }
    box->ShowWindow(SW_SHOWNORMAL);
}

void CMainFrame::ClearAboutOpen() {
    AboutOpen = 0;
    AboutBox = nullptr;
}

// ---- replies ----

void CMainFrame::ShowError(unsigned textId) {
    AfxMessageBox(UiText.Get(textId), MB_OK);
}

void CMainFrame::OnPipeReply(WPARAM dataLength, const uint8_t* frame) {
    if (dataLength < 8 || !frame)
        return; // a failed request, or a reply with no payload (CMD_ERR_RESTART_CHK's)
    const ReplyHeader head = ReplyHeader::Read(frame);
    if (head.ResultCode != 0) {
        ShowError(kTextLoadFailed);
        return;
    }
    // The pipe thread read dataLength from this head and delivered 4 + dataLength bytes.
    const uint32_t payloadLength = static_cast<uint32_t>(dataLength - 4);
    const uint8_t* payload = frame + ReplyHeader::kSize;
    uint32_t result = 0;
    if (head.ReplyId == REPLY_LOAD_CONFIG)
        result = StoreConnectionRecord(payloadLength, payload);
    else if (head.ReplyId == REPLY_VPN_STATUS)
        result = StoreConnectionStates(payloadLength, payload);
    if (result != 0)
        ShowError(kTextLoadFailed);
}

uint32_t CMainFrame::StoreConnectionRecord(uint32_t length, const uint8_t* payload) {
    uint8_t index = LoadIndex.load();
    bool lastStored = false;
    const uint32_t result = StoreConnectionRecordPayload(payload, length, ConfigRecords(), index, lastStored);
    LoadIndex = index;
    if (lastStored && OpenSettingsWhenLoaded) {
        PostMessage(WM_SETTINGS_LOADED);
        OpenSettingsWhenLoaded = 0;
    }
    return result;
}

uint32_t CMainFrame::StoreConnectionStates(uint32_t length, const uint8_t* payload) {
    const uint32_t result = StoreConnectionStatesPayload(payload, length, AutoConnectPending != 0,
                                                         AutoConnectIndex, ConnectStates);
    if (result != 0)
        return result;
    UpdateTrayIcon();
    return 0;
}

// ---- busy flags, Quit, closing ----

void CMainFrame::SetBusyFlag(BusyFlag flag, bool busy) {
    if (m_hWnd)
        SendMessage(WM_BUSY_FLAGS, static_cast<WPARAM>(flag), busy ? 1 : 0);
    else
        OnBusyFlags(static_cast<WPARAM>(flag), busy ? 1 : 0);
}

void CMainFrame::PostBusyFlag(BusyFlag flag, bool busy) {
    PostMessage(WM_BUSY_FLAGS, static_cast<WPARAM>(flag), busy ? 1 : 0);
}

void CMainFrame::PostQuitRequest() {
    PostMessage(WM_QUIT_REQUEST);
}

void CMainFrame::OnBusyFlags(WPARAM flag, LPARAM value) {
    if (flag >= kBusyFlagCount)
        return;
    BusyFlags[flag] = value != 0 ? 1 : 0;
    // Posted: the press that ended is still on the stack of the window that cleared its flag.
    if (HeldQuit.OnBusyFlags(BusyFlags))
        PostQuitRequest();
}

void CMainFrame::OnQuit() {
    // A second Quit (a QuitGui notification, the menu) while this one asks or disconnects.
    if (Quitting)
        return;
    const CQuitDecision decision = DecideQuit(BusyFlags, ConnectStates);
    HeldQuit.OnQuit(decision);
    switch (decision.Step) {
    case QuitStep::CloseDialogsOnly:
        CloseDialogs();
        return;
    case QuitStep::CloseAndEnd:
        break;
    case QuitStep::AskThenDisconnect: {
        Quitting = true;
        const int answer = AfxMessageBox(UiText.Get(kTextQuitQuestion), MB_OKCANCEL | MB_ICONQUESTION);
        if (answer == IDOK) {
            CDlgVpnDisconnecting dialog;
            dialog.PipeThread = PipeThread ? &PipeThread : nullptr;
            dialog.VpnIndex = decision.VpnIndex;
            dialog.DoModal();
        }
        Quitting = false;
        if (answer != IDOK)
            return;
        break;
    }
    }
    if (CloseDialogs() == 0)
        PostMessage(WM_CLOSE_IF_IDLE);
}

DWORD CMainFrame::CloseDialogs() {
    // Either window staying open keeps the program running. A window deletes itself when it
    // closes, and tells the frame so (Clear...Open) before RequestClose returns.
    bool allClosed = true;
    const CClosableWindows closable = DecideClosableWindows(BusyFlags);
    if (SettingsOpen && closable.SettingsDialog && SettingsDialog)
        allClosed = SettingsDialog->RequestClose() && allClosed;
    if (AboutOpen && closable.VersionBox && AboutBox)
        allClosed = AboutBox->RequestClose() && allClosed;
    CloseRefused = allClosed ? 0 : 1;
    return CloseRefused;
}

void CMainFrame::OnCloseIfIdle() {
    if (SettingsOpen || AboutOpen)
        return;
    PostMessage(WM_CLOSE);
}

void CMainFrame::OnDestroy() {
    CFrameWnd::OnDestroy();
    TrayIconWanted = false;
    if (TrayIconAdded) {
        ::Shell_NotifyIconW(NIM_DELETE, &TrayIconData);
        TrayIconAdded = false;
    }
    if (PipeThread)
        PipeThread.Quit(kPipeThreadQuitWaitMs);
}

} // namespace corvel
