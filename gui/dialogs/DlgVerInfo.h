#pragma once
// The modeless version box: the program's own product version and texts "language.csv" can
// replace. It deletes itself when its window is gone.
#include "Dialog.h"
#include "VersionText.h"

#include <string>

namespace corvel {

// 0 with the product version of the file at `path`; otherwise the error and all words 0.
DWORD ReadFileVersion(const std::wstring& path, ProductVersion& version);
// The version line of the running program file ("Version 00.00.00" when it has none).
std::wstring FormatVersionText();

// Opened by the main frame's tray menu item, one at a time (the frame's AboutOpen/AboutBox).
class CDlgVerInfo : public CModelessDialog {
public:
    CDlgVerInfo();

    // Bound to static 1067.
    std::wstring VersionText;

protected:
    void DoDataExchange(CDataExchange* dx) override;
    BOOL OnInitDialog() override;
    // OK, Escape, the close box and WM_CLOSE all close the box at once.
    void OnOK() override;
    void OnCancel() override;
    // Tells the frame that the box is gone, then deletes it.
    void PostNcDestroy() override;

private:
    void OnCloseVersionBox();
};

} // namespace corvel
