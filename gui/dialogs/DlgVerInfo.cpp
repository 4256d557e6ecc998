#include "DlgVerInfo.h"

#include "DataExchange.h"
#include "DialogResource.h"
#include "MainFrameServices.h"

#include "Handles.h"
#include "LanguageFile.h"
#include "UiTextWin.h"

#include <vector>

namespace corvel {

DWORD ReadFileVersion(const std::wstring& path, ProductVersion& version) {
    version = ProductVersion();
    DWORD handle = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &handle);
    if (size == 0)
        return LastErrorOr1359();
    std::vector<BYTE> block(size);
    if (!::GetFileVersionInfoW(path.c_str(), handle, size, block.data()))
        return LastErrorOr1359();
    void* value = nullptr;
    UINT length = 0;
    if (!::VerQueryValueW(block.data(), L"\\", &value, &length) || !value ||
        length < sizeof(VS_FIXEDFILEINFO))
        return ERROR_RESOURCE_TYPE_NOT_FOUND;
    const auto* info = static_cast<const VS_FIXEDFILEINFO*>(value);
    version = ProductVersion::FromFixedFileInfo(info->dwProductVersionMS, info->dwProductVersionLS);
    return 0;
}

std::wstring FormatVersionText() {
    ProductVersion version;
    wchar_t path[kProgramPathCapacity];
    const DWORD length = ::GetModuleFileNameW(::GetModuleHandleW(nullptr), path, kProgramPathCapacity);
    // A path that fills the buffer was cut (and is unterminated): no version then.
    if (length != 0 && length < kProgramPathCapacity)
        ReadFileVersion(std::wstring(path, length), version);
    return FormatVersionText(version);
}

CDlgVerInfo::CDlgVerInfo() : CModelessDialog(IDD_VERINFO) {}

void CDlgVerInfo::DoDataExchange(CDataExchange* dx) {
    DDX_Text(dx, IDC_VER_VERSION, VersionText);
}

BOOL CDlgVerInfo::OnInitDialog() {
    // Line 4 goes to the version static, which VersionText replaces right after.
    LoadDialogTexts(m_hWnd, GetMainFrameServices().GetLanguagePath(), sections::VersionBox.Name, true,
                    {kNoControl, IDC_VER_DESCRIPTION, IDC_VER_VERSION, IDC_VER_PRODUCT_NAME,
                     IDC_VER_TRADEMARK, kNoControl, kNoControl, kNoControl});
    CDialog::OnInitDialog();
    VersionText = FormatVersionText();
    UpdateData(FALSE);
    return FALSE;
}

void CDlgVerInfo::OnOK() {
    OnCloseVersionBox();
}

void CDlgVerInfo::OnCancel() {
    OnCloseVersionBox();
}

void CDlgVerInfo::OnCloseVersionBox() {
    // Busy while it closes, so that the frame's Quit does not close it a second time meanwhile.
    CMainFrameServices& frame = GetMainFrameServices();
    frame.SetBusyFlag(BusyFlag::VersionBox, true);
    DestroyWindow(); // deletes the box (PostNcDestroy): nothing of it is touched after this
    frame.SetBusyFlag(BusyFlag::VersionBox, false);
}

void CDlgVerInfo::PostNcDestroy() {
    GetMainFrameServices().ClearAboutOpen();
    CModelessDialog::PostNcDestroy();
}

} // namespace corvel
