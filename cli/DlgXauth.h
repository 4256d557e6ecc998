#pragma once
// The console client's credentials dialog (resource 101), shown with "/win" before the
// connect: the connection's name, its user name and password, and whether to store them.
// It sends nothing; its caller stores and connects. The tray program has a class of the same
// name that behaves otherwise, hence the namespace.
#include "CommandHost.h"

#include "Dialog.h"

#include <string>

namespace corvel::cli {

class CDlgXauth : public CDialog {
public:
    // The name label is fitted below this width, then its "&" doubled.
    static constexpr int kNameLimitPx = 220;

    CDlgXauth(CWnd* parent, std::wstring name, std::wstring userName, std::wstring password);

    std::wstring Name;
    std::wstring UserName;
    std::wstring Password;
    int SaveCredentials = 1; // the check box: 1 = store them before the connect
    std::wstring LanguagePath;

protected:
    void DoDataExchange(CDataExchange* dx) override;
    BOOL OnInitDialog() override;
};

// Runs the dialog modally without a parent; on Ok `data` holds what the user entered.
DialogEnd ShowCredentialsDialog(CredentialsDialogData& data);

} // namespace corvel::cli
