#include "DataExchange.h"

#include "Format.h"
#include "MessageBox.h"
#include "Window.h"

#include <commctrl.h>

namespace corvel {

HWND CDataExchange::PrepareCtrl(int id) {
    m_idLastControl = id;
    m_bEditLastControl = false;
    return m_pDlgWnd->GetDlgItem(id);
}

HWND CDataExchange::PrepareEditCtrl(int id) {
    const HWND control = PrepareCtrl(id);
    m_bEditLastControl = true;
    return control;
}

HWND CDataExchange::LastControl() const {
    return m_idLastControl ? m_pDlgWnd->GetDlgItem(m_idLastControl) : nullptr;
}

void CDataExchange::Fail() {
    m_failed = true;
    if (!m_bSaveAndValidate || m_idLastControl == 0)
        return;
    const HWND control = m_pDlgWnd->GetDlgItem(m_idLastControl);
    if (!control)
        return;
    // WM_NEXTDLGCTL keeps the dialog's default button right; SetFocus alone would not.
    ::SendMessageW(m_pDlgWnd->m_hWnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
    ::SetFocus(control);
    if (m_bEditLastControl)
        ::SendMessageW(control, EM_SETSEL, 0, -1);
}

void DDX_Text(CDataExchange* dx, int id, std::wstring& value) {
    if (dx->Failed())
        return;
    const HWND control = dx->PrepareEditCtrl(id);
    if (!control)
        return;
    if (dx->m_bSaveAndValidate)
        value = dx->m_pDlgWnd->GetDlgItemText(id);
    else
        ::SetWindowTextW(control, value.c_str());
}

void DDV_MaxChars(CDataExchange* dx, const std::wstring& value, int maxChars) {
    if (dx->Failed())
        return;
    if (!dx->m_bSaveAndValidate) {
        // The edit that DDX_Text has just prepared: the user cannot type more than the member holds.
        const HWND control = dx->LastControl();
        if (control && dx->LastControlIsEdit())
            ::SendMessageW(control, EM_LIMITTEXT, static_cast<WPARAM>(maxChars), 0);
        return;
    }
    if (static_cast<int>(value.size()) > maxChars) {
        AfxMessageBox(FormatPercentArgs(L"Enter no more than %1 characters.", {std::to_wstring(maxChars)}),
                      MB_OK | MB_ICONEXCLAMATION);
        dx->Fail();
    }
}

void DDX_TextLimited(CDataExchange* dx, int id, std::wstring& value, int maxChars) {
    DDX_Text(dx, id, value);
    DDV_MaxChars(dx, value, maxChars);
}

void DDX_Radio(CDataExchange* dx, int id, int& value) {
    if (dx->Failed())
        return;
    HWND control = dx->PrepareCtrl(id);
    if (!control)
        return;
    if (dx->m_bSaveAndValidate)
        value = -1;
    int button = 0;
    do {
        if (::SendMessageW(control, WM_GETDLGCODE, 0, 0) & DLGC_RADIOBUTTON) {
            if (dx->m_bSaveAndValidate) {
                if (::SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED)
                    value = button;
            } else {
                ::SendMessageW(control, BM_SETCHECK, button == value ? BST_CHECKED : BST_UNCHECKED, 0);
            }
            ++button;
        }
        control = ::GetWindow(control, GW_HWNDNEXT);
    } while (control && !(::GetWindowLongPtrW(control, GWL_STYLE) & WS_GROUP));
}

void DDX_Check(CDataExchange* dx, int id, int& value) {
    if (dx->Failed())
        return;
    const HWND control = dx->PrepareCtrl(id);
    if (!control)
        return;
    if (dx->m_bSaveAndValidate)
        value = static_cast<int>(::SendMessageW(control, BM_GETCHECK, 0, 0));
    else
        ::SendMessageW(control, BM_SETCHECK, static_cast<WPARAM>(value), 0);
}

void DDX_CBIndex(CDataExchange* dx, int id, int& index) {
    if (dx->Failed())
        return;
    const HWND control = dx->PrepareCtrl(id);
    if (!control)
        return;
    if (dx->m_bSaveAndValidate)
        index = static_cast<int>(::SendMessageW(control, CB_GETCURSEL, 0, 0));
    else
        ::SendMessageW(control, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void DDX_IPAddress(CDataExchange* dx, int id, DWORD& value) {
    if (dx->Failed())
        return;
    const HWND control = dx->PrepareCtrl(id);
    if (!control)
        return;
    if (dx->m_bSaveAndValidate) {
        DWORD address = 0;
        ::SendMessageW(control, IPM_GETADDRESS, 0, reinterpret_cast<LPARAM>(&address));
        value = address;
    } else {
        ::SendMessageW(control, IPM_SETADDRESS, 0, static_cast<LPARAM>(value));
    }
}

void DDX_Control(CDataExchange* dx, int id, CWnd& control) {
    if (dx->Failed() || control.m_hWnd)
        return;
    dx->PrepareCtrl(id);
    control.SubclassDlgItem(id, dx->m_pDlgWnd);
}

} // namespace corvel
