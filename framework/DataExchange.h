// Data exchange between a dialog's members and its controls (UpdateData / DoDataExchange).
#pragma once

#include <windows.h>

#include <string>

namespace corvel {

class CWnd;

// One exchange. When a value is refused, the user has been told, the focus is on the control,
// and every later DDX_/DDV_ call of the same exchange does nothing (members after it keep their
// values): UpdateData then returns FALSE. Nothing is thrown.
class CDataExchange {
public:
    CDataExchange(CWnd* dialog, BOOL saveAndValidate)
        : m_pDlgWnd(dialog), m_bSaveAndValidate(saveAndValidate) {}

    CWnd* const m_pDlgWnd;
    const BOOL m_bSaveAndValidate; // TRUE: controls to members

    bool Failed() const { return m_failed; }
    HWND LastControl() const;
    bool LastControlIsEdit() const { return m_bEditLastControl; }
    // The control of the next DDV_ call; NULL when it does not exist.
    HWND PrepareCtrl(int id);
    HWND PrepareEditCtrl(int id);
    // Refuses the exchange at the last prepared control: focus to it (an edit's text selected).
    void Fail();

private:
    bool m_failed = false;
    int m_idLastControl = 0;
    bool m_bEditLastControl = false;
};

// Window text of any control (edit or static).
void DDX_Text(CDataExchange* dx, int id, std::wstring& value);
// Right after DDX_Text of an edit: on load sets EM_LIMITTEXT to `maxChars`; on save refuses a longer
// text with the message "Enter no more than %1 characters." (%1 = maxChars).
void DDV_MaxChars(CDataExchange* dx, const std::wstring& value, int maxChars);
// Both of the above.
void DDX_TextLimited(CDataExchange* dx, int id, std::wstring& value, int maxChars);

// A radio group starting at `id` (the control with WS_GROUP): counts only radio buttons up to the next
// control with WS_GROUP. Save: index of the checked one, -1 when none is. Load: checks that index.
void DDX_Radio(CDataExchange* dx, int id, int& value);
// Check box: BST_UNCHECKED, BST_CHECKED or BST_INDETERMINATE.
void DDX_Check(CDataExchange* dx, int id, int& value);
// Drop-down list or combo box selection index (-1: none).
void DDX_CBIndex(CDataExchange* dx, int id, int& index);
// IP address control, as IPM_GETADDRESS packs it (first field in the high byte).
void DDX_IPAddress(CDataExchange* dx, int id, DWORD& value);
// Binds a control object to control `id` the first time (subclassing it); no value is exchanged.
void DDX_Control(CDataExchange* dx, int id, CWnd& control);

} // namespace corvel
