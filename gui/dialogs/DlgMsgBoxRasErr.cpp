#include "DlgMsgBoxRasErr.h"

#include "DialogResource.h"

#include "LanguageFile.h"
#include "UiTextWin.h"

#include <cstring>
#include <new>

namespace corvel {

std::wstring& RasErrorText() {
    static std::wstring text;
    return text;
}

bool ConvertForClipboard(std::wstring_view text, UINT codePage, std::string& ansi) {
    ansi.clear();
    if (text.size() >= size_t(INT_MAX))
        return false;
    // The terminator is converted with the text, so the answer counts it.
    const std::wstring whole(text);
    const int length = int(whole.size()) + 1;
    const int needed =
        ::WideCharToMultiByte(codePage, 0, whole.c_str(), length, nullptr, 0, nullptr, nullptr);
    if (needed <= 0)
        return false;
    try {
        ansi.assign(size_t(needed), '\0');
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (::WideCharToMultiByte(codePage, 0, whole.c_str(), length, ansi.data(), needed, nullptr, nullptr) !=
        needed) {
        ansi.clear();
        return false;
    }
    return true;
}

bool CopyTextToClipboard(HWND owner, std::wstring_view text, UINT codePage) {
    if (text.empty())
        return false;
    std::string ansi;
    if (!ConvertForClipboard(text, codePage, ansi))
        return false;
    UniqueGlobalMemory memory(::GlobalAlloc(GMEM_MOVEABLE, ansi.size()));
    if (!memory)
        return false;
    void* bytes = ::GlobalLock(memory.get());
    if (!bytes)
        return false;
    std::memcpy(bytes, ansi.data(), ansi.size());
    ::GlobalUnlock(memory.get());
    if (!::OpenClipboard(owner))
        return false;
    ::EmptyClipboard();
    const bool placed = ::SetClipboardData(CF_TEXT, memory.get()) != nullptr;
    ::CloseClipboard();
    if (placed)
        (void)memory.release(); // the clipboard's now
    return placed;
}

CDlgMsgBoxRasErr::CDlgMsgBoxRasErr(CWnd* parent, int32_t rasErrorCode, std::wstring languagePath)
    : CDialog(IDD_MSGBOX_RASERR, parent), RasErrorCode(rasErrorCode), LanguagePath(std::move(languagePath)) {}

INT_PTR CDlgMsgBoxRasErr::Run() {
    m_closeByCaption = false;
    const INT_PTR result = DoModal();
    if (m_closeByCaption)
        CloseActiveWindowTitled(CloseCaption);
    return result;
}

BOOL CDlgMsgBoxRasErr::OnInitDialog() {
    LoadRasErrorText();
    LoadCloseCaption();
    CDialog::OnInitDialog();
    const HICON icon = ::LoadIconW(nullptr, IDI_HAND);
    ::SendDlgItemMessageW(m_hWnd, IDC_RASERR_ICON, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    return TRUE;
}

void CDlgMsgBoxRasErr::LoadRasErrorText() {
    const RasErrorTexts texts = ReadRasErrorTexts(LanguagePath, RasErrorCode);
    // What the edit shows, and nothing of an earlier box: Copy copies exactly that.
    RasErrorText() = texts.SectionFound ? texts.Message : std::wstring();
    if (!texts.SectionFound)
        return;
    if (!texts.Caption.empty())
        SetWindowText(texts.Caption);
    if (!texts.CopyButton.empty())
        SetDlgItemText(IDC_RASERR_COPY, texts.CopyButton);
    if (!texts.CloseButton.empty())
        SetDlgItemText(IDC_RASERR_CLOSE, texts.CloseButton);
    SetDlgItemText(IDC_RASERR_MESSAGE, texts.Message);
}

void CDlgMsgBoxRasErr::LoadCloseCaption() {
    CLanguageFile file;
    if (OpenLanguageFile(LanguagePath, file) != 0)
        return;
    const std::vector<std::wstring> lines = ReadSection(file, sections::CliConnectingDialog.Name, 1);
    if (!lines.empty() && !lines[0].empty())
        CloseCaption = lines[0];
}

BOOL CDlgMsgBoxRasErr::OnCmdMsg(UINT id, UINT code, HWND control) {
    if (code == BN_CLICKED) {
        switch (id) {
        case IDC_RASERR_COPY:
            OnBnClickedCopy();
            return TRUE;
        case IDC_RASERR_CLOSE:
            OnBnClickedClose();
            return TRUE;
        default:
            break;
        }
    }
    return CDialog::OnCmdMsg(id, code, control);
}

void CDlgMsgBoxRasErr::OnBnClickedCopy() {
    CopyTextToClipboard(m_hWnd, RasErrorText());
    OnBnClickedClose();
}

void CDlgMsgBoxRasErr::OnBnClickedClose() {
    m_closeByCaption = true;
    EndDialog(IDCANCEL);
}

void CloseActiveWindowTitled(const std::wstring& caption) {
    if (caption.empty())
        return;
    const HWND active = ::GetActiveWindow();
    if (!active)
        return;
    wchar_t text[512] = {};
    const int length = ::GetWindowTextW(active, text, int(std::size(text)));
    if (length >= 0 && std::wstring_view(text, size_t(length)) == caption)
        ::PostMessageW(active, WM_CLOSE, 0, 0);
}

} // namespace corvel
