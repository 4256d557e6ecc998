#include "StartupFailureFile.h"

#include "Handles.h"
#include "TrayLogic.h"

#include <shlobj.h>

#include <string>

namespace corvel {

namespace {

// The file holds a number on its first line; anything much larger is not ours to rewrite.
constexpr DWORD kMaxFileBytes = 64 * 1024;

DWORD ReadWhole(HANDLE file, std::string& content) {
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file, &size))
        return LastErrorOr1359();
    if (size.QuadPart > kMaxFileBytes)
        return ERROR_FILE_TOO_LARGE;
    content.assign(static_cast<size_t>(size.QuadPart), '\0');
    DWORD done = 0;
    while (done < content.size()) {
        DWORD got = 0;
        if (!::ReadFile(file, &content[done], static_cast<DWORD>(content.size() - done), &got, nullptr))
            return LastErrorOr1359();
        if (got == 0)
            break;
        done += got;
    }
    content.resize(done);
    return 0;
}

} // namespace

std::wstring BuildDataPath() {
    std::wstring folder;
    PIDLIST_ABSOLUTE items = nullptr;
    if (SUCCEEDED(::SHGetSpecialFolderLocation(nullptr, CSIDL_APPDATA, &items)) && items) {
        wchar_t buffer[MAX_PATH] = {};
        if (::SHGetPathFromIDListW(items, buffer))
            folder = buffer;
        ::CoTaskMemFree(items);
    }
    return folder + L"\\CorvelVPN\\Corvel\\" + L"prmfile.bin";
}

int ReadStartupFailures(const std::wstring& path) {
    UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return 0;
    std::string content;
    if (ReadWhole(file.get(), content) != 0)
        return 0;
    return ParseStartupFailureCount(FirstLine(content));
}

DWORD WriteStartupFailures(const std::wstring& path, int count) {
    // Rewritten in place, not replaced by a renamed copy: the program must never be the one
    // that creates this file, and OPEN_EXISTING is the one way to be sure of that.
    UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return LastErrorOr1359();
    std::string content;
    if (const DWORD error = ReadWhole(file.get(), content))
        return error;
    const std::string updated = ReplaceFirstLine(content, StartupFailureText(count));
    if (::SetFilePointer(file.get(), 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER)
        return LastErrorOr1359();
    DWORD written = 0;
    if (!::WriteFile(file.get(), updated.data(), static_cast<DWORD>(updated.size()), &written, nullptr) ||
        written != updated.size())
        return LastErrorOr1359();
    if (!::SetEndOfFile(file.get()))
        return LastErrorOr1359();
    return 0;
}

} // namespace corvel
