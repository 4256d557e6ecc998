#include "DlgVerInfo.h"

#include "DataExchange.h"
#include "DialogResource.h"
#include "DialogServices.h"

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

CDlgVerInfo* CDlgVerInfo::s_open = nullptr;
DWORD CDlgVerInfo::s_closeRefused = 0;
std::unique_ptr<CDlgVerInfo> CDlgVerInfo::s_retired;

CDlgVerInfo::CDlgVerInfo() : CDialog(IDD_VERINFO) {}

BOOL CDlgVerInfo::OpenOrActivate() {
    if (s_open) {
        if (s_open->m_hWnd) {
            s_open->ShowWindow(SW_SHOWNORMAL);
            ::SetForegroundWindow(s_open->m_hWnd);
        }
        return TRUE;
    }
    auto* box = new CDlgVerInfo();
    s_open = box;
    if (!box->Create(nullptr)) {
        // A window that got as far as WM_NCDESTROY has retired the object already.
        if (s_open == box) {
            s_open = nullptr;
            delete box;
        }
        return FALSE;
    }
    box->ShowWindow(SW_SHOWNORMAL);
    return TRUE;
}

DWORD CDlgVerInfo::CloseVersionBox() {
    s_closeRefused = 0;
    if (s_open && s_open->m_hWnd)
        s_open->SendMessage(WM_CLOSE);
    return s_closeRefused;
}

void CDlgVerInfo::DoDataExchange(CDataExchange* dx) {
    DDX_Text(dx, IDC_VER_VERSION, VersionText);
}

BOOL CDlgVerInfo::OnInitDialog() {
    // Line 4 goes to the version static, which VersionText replaces right after.
    LoadDialogTexts(m_hWnd, DialogLanguagePath(), sections::VersionBox.Name, true,
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

void CDlgVerInfo::OnClose() {
    OnCloseVersionBox();
}

void CDlgVerInfo::OnCloseVersionBox() {
    DialogSetBusyFlag(kBusyFlag, true);
    if (s_open == this)
        s_open = nullptr; // AboutOpen = 0
    DialogSetBusyFlag(kBusyFlag, false);
    // The object may be gone once DestroyWindow returns (PostNcDestroy).
    s_closeRefused = DestroyWindow() ? 0 : 1;
}

void CDlgVerInfo::PostNcDestroy() {
    if (s_open == this)
        s_open = nullptr;
    s_retired.reset(this); // deletes the box closed before this one
}

} // namespace corvel
