#include "UiTextWin.h"

#include "ResourceString.h"

#include <climits>
#include <iterator>
#include <new>
#include <utility>

namespace corvel {

namespace {

// Positions of the tray menu items, one per line of "[mainmenu]"; each keeps its own command ID.
constexpr UINT kMainMenuPositions[] = {0, 2, 4};

HINSTANCE ResourcesOrProgram(HINSTANCE resources) {
    return resources ? resources : ::GetModuleHandleW(nullptr);
}

DWORD ReadWholeFile(const std::wstring& path, std::string& bytes) {
    UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return LastErrorOr1359();
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size))
        return LastErrorOr1359();
    if (size.QuadPart > LONGLONG(kLanguageFileMaxBytes))
        return ERROR_FILE_TOO_LARGE;
    try {
        bytes.assign(size_t(size.QuadPart), '\0');
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    size_t total = 0;
    while (total < bytes.size()) {
        DWORD read = 0;
        if (!::ReadFile(file.get(), &bytes[total], DWORD(bytes.size() - total), &read, nullptr))
            return LastErrorOr1359();
        if (read == 0)
            break; // shorter than its size said: it shrank while we read
        total += read;
    }
    bytes.resize(total);
    return ERROR_SUCCESS;
}

} // namespace

std::wstring DecodeAnsi(std::string_view bytes, UINT codePage) {
    if (bytes.empty() || bytes.size() > size_t(INT_MAX))
        return std::wstring();
    const int length = ::MultiByteToWideChar(codePage, 0, bytes.data(), int(bytes.size()), nullptr, 0);
    if (length <= 0)
        return std::wstring();
    std::wstring text(size_t(length), L'\0');
    const int written = ::MultiByteToWideChar(codePage, 0, bytes.data(), int(bytes.size()), &text[0], length);
    text.resize(written > 0 ? size_t(written) : 0);
    return text;
}

DWORD BuildLanguagePath(std::wstring& path) {
    wchar_t program[kProgramPathCapacity];
    const DWORD length = ::GetModuleFileNameW(nullptr, program, kProgramPathCapacity);
    if (length == 0)
        return LastErrorOr1359();
    // A path that fills the buffer has been cut (and is not terminated).
    if (length >= kProgramPathCapacity)
        return ERROR_INSUFFICIENT_BUFFER;
    path = LanguagePathForProgram(std::wstring_view(program, length));
    return ERROR_SUCCESS;
}

DWORD OpenLanguageFile(const std::wstring& path, CLanguageFile& file, UINT codePage) {
    file = CLanguageFile();
    if (path.empty())
        return ERROR_FILE_NOT_FOUND;
    std::string bytes;
    const DWORD error = ReadWholeFile(path, bytes);
    if (error != ERROR_SUCCESS)
        return error;
    file = CLanguageFile(std::move(bytes),
                         [codePage](std::string_view line) { return DecodeAnsi(line, codePage); });
    return ERROR_SUCCESS;
}

void LoadDialogTexts(HWND window, const std::wstring& path, std::wstring_view section, bool captionLine,
                     const std::vector<int>& controlIds, UINT codePage) {
    CLanguageFile file;
    if (OpenLanguageFile(path, file, codePage) != ERROR_SUCCESS)
        return;
    const size_t first = captionLine ? 1 : 0;
    const std::vector<std::wstring> lines = ReadSection(file, section, first + controlIds.size());
    if (captionLine && !lines[0].empty())
        ::SetWindowTextW(window, lines[0].c_str());
    for (size_t i = 0; i < controlIds.size(); ++i) {
        const std::wstring& text = lines[first + i];
        if (!text.empty() && controlIds[i] != kNoControl)
            ::SetDlgItemTextW(window, controlIds[i], text.c_str());
    }
}

std::wstring ReadOleInitFailedText(const std::wstring& path, HINSTANCE resources, UINT codePage) {
    CLanguageFile file;
    if (OpenLanguageFile(path, file, codePage) == ERROR_SUCCESS) {
        std::wstring text = ReadSection(file, sections::OleInitFailed.Name, 1)[0];
        if (!text.empty())
            return text;
    }
    std::wstring text = LoadResourceString(ResourcesOrProgram(resources), kOleInitFailedTextId);
    return text.empty() ? std::wstring(kOleInitFailedText) : text;
}

void ShowOleInitFailed(const std::wstring& path, HINSTANCE resources) {
    const std::wstring text = ReadOleInitFailedText(path, resources);
    ::MessageBoxW(nullptr, text.c_str(), BuiltinUiText(128), MB_OK | MB_ICONEXCLAMATION);
}

void LoadStringTable(const std::wstring& path, CUiText& table, HINSTANCE resources, UINT codePage) {
    std::vector<std::wstring> lines;
    CLanguageFile file;
    if (OpenLanguageFile(path, file, codePage) == ERROR_SUCCESS)
        lines = ReadSection(file, sections::StringTable.Name, size_t(sections::StringTable.Lines));
    const HINSTANCE module = ResourcesOrProgram(resources);
    table.Fill(lines, [module](unsigned id) {
        std::wstring text = LoadResourceString(module, id);
        return text.empty() ? std::wstring(BuiltinUiText(id)) : text;
    });
}

void LoadMainMenuTexts(HMENU popup, const std::wstring& path, UINT codePage) {
    CLanguageFile file;
    if (OpenLanguageFile(path, file, codePage) != ERROR_SUCCESS)
        return;
    const std::vector<std::wstring> lines =
        ReadSection(file, sections::MainMenu.Name, size_t(sections::MainMenu.Lines));
    for (size_t i = 0; i < lines.size() && i < std::size(kMainMenuPositions); ++i) {
        const UINT position = kMainMenuPositions[i];
        if (!lines[i].empty())
            ::ModifyMenuW(popup, position, MF_BYPOSITION | MF_STRING, ::GetMenuItemID(popup, int(position)),
                          lines[i].c_str());
    }
}

RasErrorTexts ReadRasErrorTexts(const std::wstring& path, int32_t rasErrorCode, UINT codePage) {
    CLanguageFile file;
    if (OpenLanguageFile(path, file, codePage) != ERROR_SUCCESS)
        return RasErrorTexts();
    return ReadRasErrorTexts(file, rasErrorCode);
}

void FitTextToWidth(HWND window, std::wstring& text, int limit) {
    FitTextToWidth(text, limit, LabelTextMeasure(window));
}

std::wstring MakeLabelText(HWND window, std::wstring text, int limit) {
    FitTextToWidth(window, text, limit);
    return EscapeAmpersand(text);
}

} // namespace corvel
