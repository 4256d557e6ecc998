// Dialogs from RT_DIALOG resources, modal (our own loop) and modeless.
#pragma once

#include "Window.h"

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
    void GotoDlgCtrl(HWND control) { SendMessage(WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE); }

    // The dialog object of a window, or nullptr when it is not one of our dialogs.
    static CDialog* FromDialogHandle(HWND hwnd);

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    BOOL OnCmdMsg(UINT id, UINT code, HWND control) override;
    // WM_CLOSE becomes IDCANCEL only while there is no IDCANCEL control or it is enabled
    // (the Windows rule; Wine's dialog manager does not keep it).
    void OnClose() override;

protected:
    UINT m_templateId;
    CWnd* m_parent;

private:
    static INT_PTR CALLBACK StaticDialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    HWND CreateFromTemplate(HWND owner, bool hidden);
    void RunModalLoop();

    bool m_modal = false;
    bool m_continueModal = false;
    int m_modalResult = -1;
};

} // namespace corvel
