#include "DlgXauth.h"

#include "CommandLine.h"
#include "resource.h"

#include "DataExchange.h"
#include "LanguageFile.h"
#include "UiTextWin.h"
#include "WideText.h"

namespace corvel::cli {

CDlgXauth::CDlgXauth(CWnd* parent, std::wstring name, std::wstring userName, std::wstring password)
    : CDialog(IDD_CLI_XAUTH, parent), Name(std::move(name)), UserName(std::move(userName)),
      Password(std::move(password)) {}

void CDlgXauth::DoDataExchange(CDataExchange* dx) {
    DDX_Text(dx, IDC_XAUTH_NAME, Name);
    // As much as a record, AUTHINFO and "/idpass" hold: stored credentials always fit.
    DDX_TextLimited(dx, IDC_XAUTH_USER, UserName, int(kCredentialChars));
    DDX_TextLimited(dx, IDC_XAUTH_PASSWORD, Password, int(kCredentialChars));
    DDX_Check(dx, IDC_XAUTH_SAVE, SaveCredentials);
}

BOOL CDlgXauth::OnInitDialog() {
    LoadDialogTexts(m_hWnd, LanguagePath, sections::CliCredentialsDialog.Name, true,
                    {IDC_XAUTH_NAME, IDC_XAUTH_USER_LABEL, IDC_XAUTH_PASSWORD_LABEL, IDC_XAUTH_SAVE,
                     IDC_XAUTH_CONNECT_LABEL});
    CDialog::OnInitDialog();
    // The section's line for the name label gives way to the name itself.
    Name = MakeLabelText(m_hWnd, Name, kNameLimitPx);
    UpdateData(FALSE);
    return TRUE;
}

DialogEnd ShowCredentialsDialog(CredentialsDialogData& data) {
    CDlgXauth dialog(nullptr, WideFromUtf16(data.Name), WideFromUtf16(data.UserName),
                     WideFromUtf16(data.Password));
    dialog.SaveCredentials = data.SaveCredentials ? 1 : 0;
    dialog.LanguagePath = data.LanguagePath;
    const INT_PTR result = dialog.DoModal();
    if (result == IDOK) {
        data.UserName = Utf16FromWide(dialog.UserName);
        data.Password = Utf16FromWide(dialog.Password);
        data.SaveCredentials = dialog.SaveCredentials == BST_CHECKED;
    }
    ::SecureZeroMemory(dialog.Password.data(), dialog.Password.size() * sizeof(wchar_t));
    switch (result) {
    case IDOK:
        return DialogEnd::Ok;
    case IDCANCEL:
        return DialogEnd::Cancel;
    default:
        return DialogEnd::NotCreated; // -1: no window could be made
    }
}

} // namespace corvel::cli
