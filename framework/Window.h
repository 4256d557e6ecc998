// The window wrapper: one C++ object per HWND, one virtual WindowProc per class.
#pragma once

#include <windows.h>

#include <string>

namespace corvel {

class CDataExchange;

// Window styles of the frame that are ours, not Windows': stripped before the window is created.
constexpr DWORD FWS_ADDTOTITLE = 0x00008000;
constexpr DWORD FWS_PREFIXTITLE = 0x00004000;
constexpr DWORD FWS_SNAPTOBARS = 0x00002000;

// A wrapped window. The object is bound to its HWND from WM_NCCREATE (created windows) or from the
// first message of a dialog, or when a control is subclassed; WM_NCDESTROY unbinds it, clears m_hWnd
// and calls PostNcDestroy. The object is owned by whoever created it, unless PostNcDestroy deletes it.
//
// Each class handles its messages in one switch in its WindowProc override and chains with an
// explicit `return Base::WindowProc(msg, wParam, lParam);`. The base switch calls the typed handlers
// below; their base versions give the message its default handling (Default()).
class CWnd {
public:
    CWnd() = default;
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND m_hWnd = nullptr;
    HWND GetSafeHwnd() const { return m_hWnd; }

    // The object bound to a window, or nullptr for a window that is not ours.
    static CWnd* FromHandle(HWND hwnd);

    // Creates a window of a class registered by AfxRegisterWndClass (or any class whose window
    // procedure is CWnd::StaticWindowProc); the object is bound before WM_NCCREATE is handled.
    // Returns FALSE when creation failed (WM_NCDESTROY, and so PostNcDestroy, may already have run).
    // The class that creates windows this way destroys them in its own destructor (as CFrameWnd does).
    BOOL CreateEx(DWORD exStyle, const wchar_t* className, const wchar_t* windowName, DWORD style, int x,
                  int y, int width, int height, HWND parent, HMENU menu);

    // Binds an existing window (a dialog control) to this object and routes its messages here;
    // Default() then calls the control's own procedure.
    BOOL SubclassWindow(HWND hwnd);
    BOOL SubclassDlgItem(int id, CWnd* parent);

    BOOL DestroyWindow();

    // Every message of the window first comes here.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);

    // Offered each queued message for this window or its children before it is dispatched,
    // deepest window first; TRUE consumes the message.
    virtual BOOL PreTranslateMessage(MSG* msg);

    // WM_COMMAND enters here first: override to see control notifications even while UpdateData
    // runs. The base drops control notifications during UpdateData and gives the rest to OnCmdMsg.
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    // The command switch of a class: by id (menu, accelerator or control), id range and
    // notification code. TRUE when handled.
    virtual BOOL OnCmdMsg(UINT id, UINT code, HWND control);
    // WM_NOTIFY the same way: OnNotify sees everything; the base drops notifications during
    // UpdateData and gives the rest to OnNotifyMsg. TRUE when handled, *result being the result.
    virtual BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result);
    virtual BOOL OnNotifyMsg(int controlId, NMHDR* header, LRESULT* result);

    virtual int OnCreate(CREATESTRUCTW* cs);
    virtual void OnTimer(UINT_PTR id);
    virtual void OnPaint();
    virtual BOOL OnDrawItem(int controlId, DRAWITEMSTRUCT* dis);
    virtual BOOL OnMeasureItem(int controlId, MEASUREITEMSTRUCT* mis);
    virtual void OnClose();
    virtual void OnDestroy();
    virtual void OnInitMenuPopup(HMENU popup, UINT index, BOOL sysMenu);
    virtual HICON OnGetIcon(WPARAM type);
    // After the window is gone (m_hWnd is already nullptr): a self-owned object deletes itself here.
    virtual void PostNcDestroy();

    // Data exchange between members and controls (DataExchange.h).
    virtual void DoDataExchange(CDataExchange* dx);
    // FALSE when a value was refused (the user was told and the focus is on the control).
    BOOL UpdateData(BOOL saveAndValidate = TRUE);

    // The default handling of the message being handled now.
    LRESULT Default();

    // Thin helpers over the window handle.
    HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
    void SetWindowText(const std::wstring& text) { ::SetWindowTextW(m_hWnd, text.c_str()); }
    std::wstring GetWindowText() const;
    void SetDlgItemText(int id, const std::wstring& text) { ::SetDlgItemTextW(m_hWnd, id, text.c_str()); }
    std::wstring GetDlgItemText(int id) const;
    BOOL EnableWindow(BOOL enable = TRUE) { return ::EnableWindow(m_hWnd, enable); }
    BOOL ShowWindow(int cmd) { return ::ShowWindow(m_hWnd, cmd); }
    BOOL PostMessage(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) {
        return ::PostMessageW(m_hWnd, msg, wParam, lParam);
    }
    LRESULT SendMessage(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) {
        return ::SendMessageW(m_hWnd, msg, wParam, lParam);
    }
    UINT_PTR SetTimer(UINT_PTR id, UINT elapseMs) { return ::SetTimer(m_hWnd, id, elapseMs, nullptr); }
    BOOL KillTimer(UINT_PTR id) { return ::KillTimer(m_hWnd, id); }
    BOOL IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
    BOOL IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
    DWORD GetStyle() const { return static_cast<DWORD>(::GetWindowLongPtrW(m_hWnd, GWL_STYLE)); }

    // The window procedure of every window class the framework registers.
    static LRESULT CALLBACK StaticWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    // The owner of a box or modal dialog: `parent` (up to its first non-child window) when given,
    // else the main window's last active popup (no main window: none). When `topToDisable` is given,
    // the top-level window above the owner is disabled too, if it is enabled and not the owner itself,
    // and returned there (nullptr otherwise) for the caller to enable again.
    static HWND GetSafeOwner(HWND parent, HWND* topToDisable);

protected:
    void Attach(HWND hwnd);
    void Detach();

private:
    struct CurrentMessage {
        UINT Message;
        WPARAM WParam;
        LPARAM LParam;
    };
    // One per message being dispatched to this object, innermost first. A handler may destroy
    // the window and PostNcDestroy may delete the object: the frames then learn not to touch it.
    struct DispatchFrame {
        bool ObjectGone = false;
        DispatchFrame* Outer = nullptr;
    };
    LRESULT Dispatch(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    void HandleNcDestroy();

    WNDPROC m_superProc = nullptr; // procedure of a subclassed window; nullptr: DefWindowProcW
    bool m_ownsWindow = false;     // created by this object: its class's destructor destroys it
    CurrentMessage m_current{};
    bool m_hasCurrent = false;
    DispatchFrame* m_dispatch = nullptr;

    friend class CDialog;
    friend class CFrameWnd;
};

// Registers (once per distinct set of arguments) a window class whose procedure is the framework's
// and returns its name. Pass 0/nullptr for no cursor, brush or icon.
const wchar_t* AfxRegisterWndClass(UINT classStyle, HCURSOR cursor = nullptr, HBRUSH background = nullptr,
                                   HICON icon = nullptr);

// Control notifications to this window are dropped while it exchanges data (UpdateData).
HWND AfxGetLockoutNotifyWindow();

// Moves a top-level window, at its size, to the centre of its owner when the owner shows (not
// minimised), else to the centre of the work area of the owner's monitor (the primary one
// without an owner); either way inside that work area. A window owned by the hidden main
// window would otherwise open where its owner sits, in the screen's corner.
void CenterWindow(HWND window);

} // namespace corvel
