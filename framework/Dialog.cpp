#include "Dialog.h"

#include "App.h"
#include "MessageLoop.h"

#include <cstring>
#include <vector>

namespace corvel {

namespace {

// The dialog whose window is being created on this thread: bound at the first message.
thread_local CDialog* t_creatingDialog = nullptr;

DialogHook g_dialogHook; // UI thread only; tests set it

// The system's own timer message, which also drives the caret's blink; undocumented, so the
// headers give it no name.
constexpr UINT kCaretBlinkTimerMessage = 0x118;

} // namespace

CDialog::CDialog(UINT templateId, CWnd* parent) : m_templateId(templateId), m_parent(parent) {}

CDialog::~CDialog() {
    // Destroy here, while this is still a CDialog, rather than in ~CWnd.
    if (m_hWnd && m_ownsWindow)
        ::DestroyWindow(m_hWnd);
}

CDialog* CDialog::FromDialogHandle(HWND hwnd) {
    return dynamic_cast<CDialog*>(CWnd::FromHandle(hwnd));
}

HWND CDialog::CreateFromTemplate(HWND owner, bool hidden) {
    if (m_hWnd)
        return nullptr;
    const HINSTANCE instance = AfxGetResourceHandle();
    const HRSRC resource = ::FindResourceW(instance, MAKEINTRESOURCEW(m_templateId), MAKEINTRESOURCEW(5));
    if (!resource)
        return nullptr;
    const HGLOBAL loaded = ::LoadResource(instance, resource);
    const DWORD size = ::SizeofResource(instance, resource);
    const void* bytes = loaded ? ::LockResource(loaded) : nullptr;
    if (!bytes || size < sizeof(DLGTEMPLATE))
        return nullptr;
    // A writable, DWORD-aligned copy, so that a modal dialog is created hidden whatever its template says.
    std::vector<DWORD> copy((size + sizeof(DWORD) - 1) / sizeof(DWORD));
    std::memcpy(copy.data(), bytes, size);
    if (hidden) {
        WORD head[2];
        std::memcpy(head, copy.data(), sizeof(head));
        const size_t styleOffset = (head[0] == 1 && head[1] == 0xFFFF) ? 12 : 0; // DLGTEMPLATEEX or not
        DWORD style;
        auto* raw = reinterpret_cast<unsigned char*>(copy.data());
        std::memcpy(&style, raw + styleOffset, sizeof(style));
        style &= ~static_cast<DWORD>(WS_VISIBLE);
        std::memcpy(raw + styleOffset, &style, sizeof(style));
    }
    CDialog* const previous = t_creatingDialog;
    t_creatingDialog = this;
    const HWND hwnd =
        ::CreateDialogIndirectParamW(instance, reinterpret_cast<LPCDLGTEMPLATEW>(copy.data()), owner,
                                     &CDialog::StaticDialogProc, reinterpret_cast<LPARAM>(this));
    t_creatingDialog = previous;
    if (!hwnd || !::IsWindow(hwnd))
        return nullptr; // nothing of this object is read: a self-owned one went with its window
    if (CWnd::FromHandle(hwnd) != this) {
        ::DestroyWindow(hwnd); // a window we could not bind is of no use to anyone
        return nullptr;
    }
    m_ownsWindow = true;
    return hwnd;
}

INT_PTR CALLBACK CDialog::StaticDialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (CWnd::FromHandle(hwnd))
        return FALSE; // the subclassed window procedure has handled it already
    CDialog* dialog = t_creatingDialog;
    if (!dialog && message == WM_INITDIALOG)
        dialog = reinterpret_cast<CDialog*>(lParam);
    if (!dialog)
        return FALSE;
    t_creatingDialog = nullptr;
    if (!dialog->SubclassWindow(hwnd))
        return FALSE;
    // Without a font the first message is WM_INITDIALOG itself, which came here, not to the subclass.
    if (message == WM_INITDIALOG)
        return static_cast<INT_PTR>(dialog->Dispatch(hwnd, message, wParam, lParam));
    return FALSE;
}

INT_PTR CDialog::DoModal() {
    if (m_hWnd)
        return -1;
    HWND top = nullptr;
    const HWND owner = GetSafeOwner(m_parent ? m_parent->m_hWnd : nullptr, &top);
    bool ownerDisabled = false;
    if (owner && owner != ::GetDesktopWindow() && ::IsWindowEnabled(owner)) {
        ::EnableWindow(owner, FALSE);
        ownerDisabled = true;
    }
    m_modal = true;
    m_continueModal = true;
    m_modalResult = -1;

    if (CreateFromTemplate(owner, true))
        RunModalLoop();

    // Enable the owner before the dialog goes, so that activation returns to it and not elsewhere.
    if (ownerDisabled)
        ::EnableWindow(owner, TRUE);
    if (top)
        ::EnableWindow(top, TRUE);
    if (m_hWnd) {
        if (owner && ::GetActiveWindow() == m_hWnd)
            ::SetActiveWindow(owner);
        ::DestroyWindow(m_hWnd);
    }
    m_modal = false;
    m_continueModal = false;
    return m_modalResult;
}

void CDialog::RunModalLoop() {
    bool showPending = true;
    MSG msg{};
    while (m_continueModal && m_hWnd) {
        if (showPending && !::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
            showPending = false;
            if (m_continueModal && m_hWnd) {
                ::ShowWindow(m_hWnd, SW_SHOWNORMAL);
                ::UpdateWindow(m_hWnd);
            }
            continue;
        }
        int quitCode = 0;
        if (!AfxPumpMessage(msg, &quitCode)) {
            ::PostQuitMessage(quitCode); // for the loop above this one
            m_modalResult = -1;
            return;
        }
        // The caret's blink timer or Alt pressed: the dialog is awaited now.
        if (showPending && (msg.message == kCaretBlinkTimerMessage || msg.message == WM_SYSKEYDOWN) &&
            m_continueModal && m_hWnd) {
            showPending = false;
            ::ShowWindow(m_hWnd, SW_SHOWNORMAL);
            ::UpdateWindow(m_hWnd);
        }
    }
}

BOOL CDialog::Create(CWnd* parent) {
    return Create(m_templateId, parent);
}

BOOL CDialog::Create(UINT templateId, CWnd* parent) {
    if (m_hWnd)
        return FALSE;
    m_templateId = templateId;
    if (parent)
        m_parent = parent;
    HWND owner = m_parent ? m_parent->m_hWnd : nullptr;
    if (!owner) {
        CWnd* main = AfxGetMainWnd();
        owner = main ? main->m_hWnd : nullptr;
    }
    m_modal = false;
    return CreateFromTemplate(owner, false) != nullptr;
}

void CDialog::EndDialog(int result) {
    if (!m_modal) {
        DestroyWindow();
        return;
    }
    m_modalResult = result;
    if (m_continueModal) {
        m_continueModal = false;
        // Wakes the loop when it waits in GetMessage (EndDialog sent from another thread).
        if (m_hWnd)
            ::PostMessageW(m_hWnd, WM_NULL, 0, 0);
    }
}

LRESULT CDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialogMessage();
    default:
        break;
    }
    return CWnd::WindowProc(message, wParam, lParam);
}

BOOL CDialog::OnCmdMsg(UINT id, UINT code, HWND control) {
    if (code == BN_CLICKED) {
        if (id == IDOK) {
            OnOK();
            return TRUE;
        }
        if (id == IDCANCEL) {
            OnCancel();
            return TRUE;
        }
    }
    return CWnd::OnCmdMsg(id, code, control);
}

LRESULT CDialog::OnInitDialogMessage() {
    const HWND hwnd = m_hWnd;
    const BOOL result = OnInitDialog();
    // OnInitDialog may have destroyed the window, and with it a self-owned object.
    if (g_dialogHook && ::IsWindow(hwnd) && CWnd::FromHandle(hwnd) == this) {
        const DialogHook hook = g_dialogHook; // the hook may replace itself
        hook(*this);
    }
    return result;
}

BOOL CDialog::OnInitDialog() {
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK() {
    if (!UpdateData(TRUE))
        return;
    EndDialog(IDOK);
}

void CDialog::OnCancel() {
    EndDialog(IDCANCEL);
}

bool CDialog::IsCancelEnabled() const {
    const HWND cancel = GetDlgItem(IDCANCEL);
    return !cancel || ::IsWindowEnabled(cancel);
}

void CDialog::OnClose() {
    if (!IsCancelEnabled()) {
        ::MessageBeep(0);
        return;
    }
    PostMessage(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(IDCANCEL)));
}

// ---- self-owned modeless dialogs ----

CModelessDialog::~CModelessDialog() {
    if (m_deletedFlag)
        *m_deletedFlag = true;
}

BOOL CModelessDialog::Create(CWnd* parent) {
    bool deleted = false;
    m_deletedFlag = &deleted;
    const BOOL created = CDialog::Create(parent);
    if (deleted)
        return FALSE; // its window came and went inside the creation
    m_deletedFlag = nullptr;
    if (!created) {
        delete this; // no window was made, so PostNcDestroy never runs
        return FALSE;
    }
    return TRUE;
}

bool CModelessDialog::RequestClose() {
    const HWND hwnd = m_hWnd;
    if (!hwnd)
        return true;
    ::SendMessageW(hwnd, WM_CLOSE, 0, 0);
    // Nothing of the object is read after the send: it is deleted when its window went.
    return !::IsWindow(hwnd);
}

void CModelessDialog::Activate() {
    if (!m_hWnd)
        return;
    ShowWindow(SW_SHOWNORMAL);
    ::SetForegroundWindow(m_hWnd);
}

void CModelessDialog::OnClose() {
    // At once rather than through a posted Cancel, so that RequestClose can answer.
    if (!IsCancelEnabled()) {
        ::MessageBeep(0);
        return;
    }
    OnCancel();
}

void CModelessDialog::PostNcDestroy() {
    delete this;
}

// ---- the dialog hook ----

void SetDialogHook(DialogHook hook) {
    g_dialogHook = std::move(hook);
}

CDialogRecorder::CDialogRecorder() {
    SetDialogHook([this](CDialog& dialog) {
        Opened.push_back(dialog.GetTemplateId());
        if (OnDialog)
            OnDialog(dialog);
    });
}

CDialogRecorder::~CDialogRecorder() {
    SetDialogHook(nullptr);
}

} // namespace corvel
