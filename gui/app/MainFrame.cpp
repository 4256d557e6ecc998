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

static_assert(static_cast<unsigned>(BusyFlag::VersionBox) + 1 == kBusyFlagCount, "one entry per busy flag");
static_assert(static_cast<unsigned>(BusyFlag::Settings) == kBusyFlagSettings &&
                  static_cast<unsigned>(BusyFlag::ConnectPress) == kBusyFlagPress &&
                  static_cast<unsigned>(BusyFlag::VersionBox) == kBusyFlagVersionBox,
              "the decisions read the flags the windows set");

CMainFrame::CMainFrame(CNotificationServer& notifications)
    : m_notifications(notifications), ConfigBuffer(new uint8_t[kConfigBufferSize]()),
      m_replies(ConfigBuffer.get() + kConfigRecordsOffset, ConnectStates) {
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
    if (message == taskbarCreated && taskbarCreated != 0 && m_trayIcon.OnTaskbarCreated())
        return 0;
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
    case WM_LOAD_FAILED:
        OnLoadFailed();
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

int CMainFrame::OnCreate(CREATESTRUCTW* cs) {
    if (CFrameWnd::OnCreate(cs) == -1)
        return -1;
    m_trayIcon.Fill(m_hWnd, WM_TRAY_NOTIFY);
    BuildLanguagePath(LanguagePath);
    LoadStringTable(LanguagePath, UiText, AfxGetResourceHandle());
    PrmFilePath = BuildDataPath();

    // Bounded: a service that accepts and never answers counts as not answering.
    const bool answered = ProbeService();
    const int failures = ReadStartupFailures(PrmFilePath);
    if (!answered) {
        CDlgVpnInit dialog(m_startupWait);
        WaitDialog = &dialog;
        dialog.DoModal();
        WaitDialog = nullptr;
    }
    // The flags themselves decide: a wait dialog ended without an outcome is no ready service.
    const CStartupOutcome outcome =
        DecideStartupOutcome(answered, m_startupWait.ServiceReady != 0, m_startupWait.ServiceTimedOut != 0,
                             m_startupWait.StartupCancelled != 0, failures);
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
    m_trayIcon.Add();
    TrayMenu = LoadMenuResource(IDR_MAINFRAME);
    m_replies.LoadIndex = 0;
    std::memset(ConnectStates, 0, sizeof ConnectStates);
    m_replies.AutoConnectPending = false;

    const CWinApp* app = AfxGetApp();
    const CCommandLineOptions options = AnalyzeCommandLine(app ? app->m_cmdLine : std::wstring());
    m_replies.OpenSettingsWhenLoaded = options.OpenSettingsWhenLoaded;
    if (options.LaunchedWithVpn)
        LaunchedWithVpn = 1;
    if (options.AutoConnectPending) {
        m_replies.AutoConnectIndex = options.AutoConnectIndex;
        ConnectStates[options.AutoConnectIndex] = ConnectStatus::Connecting;
        m_replies.AutoConnectPending = true;
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
    return CopyRequestFrame(BuildLoadConfigRequest(frame->m_replies.LoadIndex.load()), size, buffer);
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
            TrackPopupAt(popup.get(), m_hWnd, cursor, 0);
    }
}

void CMainFrame::OnInitMenuPopup(HMENU popup, UINT index, BOOL sysMenu) {
    CFrameWnd::OnInitMenuPopup(popup, index, sysMenu);
    LoadMainMenuTexts(popup, LanguagePath);
}

HICON CMainFrame::OnGetIcon(WPARAM) {
    if (!m_windowIcon)
        m_windowIcon = ::LoadIconW(AfxGetResourceHandle(), MAKEINTRESOURCEW(IDI_CONNECTED));
    return m_windowIcon;
}

void CMainFrame::UpdateTrayIcon() {
    m_trayIcon.Show(ChooseTrayIcon(ConnectStates));
    m_notifications.StartNotificationServer(m_hWnd);
}

LRESULT CMainFrame::OnSetTrayIcon(WPARAM iconId, LPARAM vpnIndex) {
    m_trayIcon.Show(static_cast<UINT>(iconId));
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
    return m_notifications.SetNotificationWindow(window);
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
    m_replies.LoadIndex = 0;
    m_replies.OpenSettingsWhenLoaded = true;
    PostRequest(&CMainFrame::BuildVpnStatusRequest);
    for (unsigned i = 0; i < kConnectionCount; ++i)
        PostRequest(&CMainFrame::BuildNextRecordRequest);
}

void CMainFrame::RequestRecord(uint8_t vpnIndex) {
    m_replies.LoadIndex = vpnIndex;
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
    m_replies.AutoConnectPending = false;
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

void CMainFrame::OnPipeReply(WPARAM dataLength, const uint8_t* frame) {
    const CFrameReplyStep step = m_replies.OnReply(static_cast<uint32_t>(dataLength), frame);
    if (step.StatesStored)
        UpdateTrayIcon();
    if (step.OpenSettings)
        PostMessage(WM_SETTINGS_LOADED);
    if (step.ShowFailure)
        PostMessage(WM_LOAD_FAILED);
}

void CMainFrame::OnLoadFailed() {
    AfxMessageBox(UiText.Get(kTextLoadFailed), MB_OK);
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
    if (m_heldQuit.OnBusyFlags(BusyFlags))
        PostQuitRequest();
}

void CMainFrame::OnQuit() {
    // A second Quit (a QuitGui notification, the menu) while this one asks or disconnects.
    if (m_quitting)
        return;
    const CQuitDecision decision = DecideQuit(BusyFlags, ConnectStates);
    m_heldQuit.OnQuit(decision);
    switch (decision.Step) {
    case QuitStep::CloseDialogsOnly:
        CloseDialogs();
        return;
    case QuitStep::CloseAndEnd:
        break;
    case QuitStep::AskThenDisconnect: {
        m_quitting = true;
        const int answer = AfxMessageBox(UiText.Get(kTextQuitQuestion), MB_OKCANCEL | MB_ICONQUESTION);
        if (answer == IDOK) {
            CDlgVpnDisconnecting dialog;
            dialog.SetPipeThread(PipeThread ? &PipeThread : nullptr);
            dialog.VpnIndex = decision.VpnIndex;
            dialog.DoModal();
        }
        m_quitting = false;
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
    m_trayIcon.Remove();
    if (PipeThread)
        PipeThread.Quit(kPipeThreadQuitWaitMs);
}

} // namespace corvel
