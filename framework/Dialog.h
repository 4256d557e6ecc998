// Dialogs from RT_DIALOG resources, modal (our own loop) and modeless.
#pragma once

#include "Window.h"

#include <functional>
#include <vector>

namespace corvel {

// A dialog object is bound to its window from the first message the dialog procedure sees, and the
// window is subclassed: the class's WindowProc sees every message and returns results directly, and
// Default() is the dialog manager's handling. The dialog procedure itself only ever says "not handled".
//
//   class CDlgExample : public corvel::CDialog {
//   public:
//       CDlgExample() : CDialog(IDD_EXAMPLE) {}
//   protected:
//       void DoDataExchange(corvel::CDataExchange* dx) override { DDX_Text(dx, IDC_NAME, m_name); }
//       BOOL OnInitDialog() override { CDialog::OnInitDialog(); ...; return TRUE; }
//       BOOL OnCmdMsg(UINT id, UINT code, HWND ctl) override {
//           if (id == IDC_GO && code == BN_CLICKED) { OnGo(); return TRUE; }
//           return CDialog::OnCmdMsg(id, code, ctl);
//       }
//   };
class CDialog : public CWnd {
public:
    explicit CDialog(UINT templateId, CWnd* parent = nullptr);
    ~CDialog() override;

    // Runs the dialog modally in our own loop and returns the EndDialog code (-1 when the dialog could
    // not be created, was destroyed without EndDialog, or WM_QUIT arrived, which is posted again).
    // The owner (the parent given, else as CWnd::GetSafeOwner chooses) is disabled while it runs and
    // enabled and reactivated after. The dialog shows when its queue first goes idle, unless it has
    // ended already (a dialog ended inside OnInitDialog never shows).
    INT_PTR DoModal();

    // Creates the dialog modeless. No parent: owned by the main window (none in a console program).
    // A WS_CHILD template needs a parent. Shows itself only when its template has WS_VISIBLE.
    BOOL Create(CWnd* parent = nullptr);
    BOOL Create(UINT templateId, CWnd* parent);

    // Modal: ends the loop with `result`. Modeless: destroys the window (never ::EndDialog).
    void EndDialog(int result);

    // Base: members to controls (UpdateData(FALSE)); TRUE lets the dialog manager set the focus.
    virtual BOOL OnInitDialog();
    // Base: controls to members; if they were accepted, EndDialog(IDOK).
    virtual void OnOK();
    // Base: EndDialog(IDCANCEL).
    virtual void OnCancel();

    BOOL IsModal() const { return m_modal; }
    UINT GetTemplateId() const { return m_templateId; }
    void GotoDlgCtrl(HWND control) { SendMessage(WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE); }

    // The dialog object of a window, or nullptr when it is not one of our dialogs.
    static CDialog* FromDialogHandle(HWND hwnd);

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    BOOL OnCmdMsg(UINT id, UINT code, HWND control) override;
    // WM_CLOSE becomes IDCANCEL only while there is no IDCANCEL control or it is enabled
    // (the Windows rule; Wine's dialog manager does not keep it).
    void OnClose() override;

protected:
    // No IDCANCEL control, or an enabled one: a close may cancel.
    bool IsCancelEnabled() const;

    UINT m_templateId;
    CWnd* m_parent;

private:
    static INT_PTR CALLBACK StaticDialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    // The new window, or nullptr when there is none or it was destroyed while it was created
    // (then a self-owned object is gone too).
    HWND CreateFromTemplate(HWND owner, bool hidden);
    LRESULT OnInitDialogMessage();
    void RunModalLoop();

    bool m_modal = false;
    bool m_continueModal = false;
    int m_modalResult = -1;
};

// A modeless dialog that owns itself: made with `new`, it deletes itself in PostNcDestroy once
// its window is gone, whichever way it went; nobody else deletes it (the destructor is not
// public). Create deletes it as well when no window could be made, so after Create the caller
// owns nothing either way.
//
//   auto* box = new CDlgVerInfo;                      // derives from CModelessDialog
//   if (box->Create()) box->ShowWindow(SW_SHOWNORMAL);  // FALSE: box is gone already
//   ... later, at Quit: bool closed = box->RequestClose();
class CModelessDialog : public CDialog {
public:
    explicit CModelessDialog(UINT templateId, CWnd* parent = nullptr) : CDialog(templateId, parent) {}

    // As CDialog::Create; FALSE when no window exists, and then the object is deleted already.
    BOOL Create(CWnd* parent = nullptr);

    // Asks the window to close as any close does (WM_CLOSE, sent) and answers whether it is gone
    // now. A window that stays open (busy, or asking first) answers false. The object may be
    // deleted when this returns true.
    virtual bool RequestClose();

    // Shows the dialog and brings it to the front (a second open of a one-at-a-time window).
    void Activate();

protected:
    ~CModelessDialog() override;
    // At once, not through a posted Cancel as CDialog's: RequestClose reads the outcome when
    // its WM_CLOSE returns. OnCancel (EndDialog) destroys the window.
    void OnClose() override;
    // Deletes the object. An override that tells someone the window is gone chains here last.
    void PostNcDestroy() override;

private:
    bool* m_deletedFlag = nullptr; // set while Create runs: the object may be deleted inside it
};

// Offered every dialog, modal and modeless, once its OnInitDialog (and the framework's own
// initialisation) has run and while its window exists, on the UI thread, before it shows.
// A test can read its controls, post steps to it, press its buttons or end it there; nested
// modal dialogs are offered in the order they open. nullptr: no hook.
using DialogHook = std::function<void(CDialog&)>;
void SetDialogHook(DialogHook hook);

// For tests: while it lives, the dialog hook records each dialog's template ID in the order
// they open and calls `OnDialog` (optional) with the dialog.
class CDialogRecorder {
public:
    CDialogRecorder();
    ~CDialogRecorder();
    CDialogRecorder(const CDialogRecorder&) = delete;
    CDialogRecorder& operator=(const CDialogRecorder&) = delete;

    std::vector<UINT> Opened;
    std::function<void(CDialog&)> OnDialog;
};

} // namespace corvel
