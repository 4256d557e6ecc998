#pragma once
// The modeless version box: the program's own product version and texts "language.csv" can
// replace. One box at a time; it deletes itself when its window is gone.
#include "Dialog.h"
#include "VersionText.h"

#include <memory>
#include <string>

namespace corvel {

// 0 with the product version of the file at `path`; otherwise the error and all words 0.
DWORD ReadFileVersion(const std::wstring& path, ProductVersion& version);
// The version line of the running program file ("Version 00.00.00" when it has none).
std::wstring FormatVersionText();

class CDlgVerInfo : public CDialog {
public:
    // Busy flag of the main frame held while the box closes.
    static constexpr unsigned kBusyFlag = 2;

    // The tray menu's version item: creates and shows the box, or activates the one already
    // open. FALSE when the box could not be created.
    static BOOL OpenOrActivate();
    // The frame's AboutOpen.
    static bool IsOpen() { return s_open != nullptr; }
    static CDlgVerInfo* Current() { return s_open; }
    // For the frame's CloseDialogs: closes the open box as WM_CLOSE would and returns the
    // frame's CloseRefused: 1 when its window could not be destroyed, else 0 (also when no
    // box was open).
    static DWORD CloseVersionBox();

    // Bound to static 1067.
    std::wstring VersionText;

protected:
    void DoDataExchange(CDataExchange* dx) override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    // At once rather than through a posted Cancel: CloseDialogs reads the outcome right after
    // its WM_CLOSE returns.
    void OnClose() override;
    void PostNcDestroy() override;

private:
    CDlgVerInfo();
    void OnCloseVersionBox();

    // UI thread only.
    static CDlgVerInfo* s_open;
    static DWORD s_closeRefused;
    // The last closed box. Its window is destroyed from inside its own message handlers, which
    // may still use the object after DestroyWindow returns; so the object is deleted when the
    // next box closes (or at exit), never under its own handler.
    static std::unique_ptr<CDlgVerInfo> s_retired;
};

} // namespace corvel
