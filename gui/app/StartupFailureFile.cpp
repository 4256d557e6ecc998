#include "StartupFailureFile.h"

#include "Handles.h"
#include "TrayLogic.h"

#include <shlobj.h>

#include <algorithm>
#include <string>
#include <string_view>

namespace corvel {

namespace {

constexpr DWORD kChunkBytes = 4096;

DWORD SeekTo(HANDLE file, uint64_t position) {
    LARGE_INTEGER to{};
    to.QuadPart = LONGLONG(position);
    return ::SetFilePointerEx(file, to, nullptr, FILE_BEGIN) ? 0 : LastErrorOr1359();
}

// The first line (up to the first CR or LF, or the whole file), read from the start; what follows
// it is never read, so the file's size does not matter.
DWORD ReadFirstLine(HANDLE file, std::string& line) {
    line.clear();
    if (const DWORD error = SeekTo(file, 0))
        return error;
    char chunk[kChunkBytes];
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(file, chunk, kChunkBytes, &got, nullptr))
            return LastErrorOr1359();
        const std::string_view part(chunk, got);
        const std::string_view head = FirstLine(part);
        line.append(head);
        if (line.size() > kStartupFailureLineMaxBytes)
            return ERROR_FILE_TOO_LARGE;
        if (got == 0 || head.size() < part.size())
            return 0;
    }
}

DWORD WriteAt(HANDLE file, uint64_t position, std::string_view bytes) {
    if (const DWORD error = SeekTo(file, position))
        return error;
    DWORD written = 0;
    if (!::WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr) || written != bytes.size())
        return LastErrorOr1359();
    return 0;
}

// `text` in place of the first `lineBytes` bytes, and what follows moved along behind it one chunk
// at a time: a byte is only ever written where the file has already been read.
DWORD ReplaceFirstLineOfFile(HANDLE file, uint64_t lineBytes, std::string_view text) {
    if (text.size() == lineBytes)
        return WriteAt(file, 0, text);
    std::string pending(text);
    uint64_t readAt = lineBytes;
    uint64_t writeAt = 0;
    bool atEnd = false;
    char chunk[kChunkBytes];
    while (!atEnd || !pending.empty()) {
        if (!atEnd) {
            DWORD got = 0;
            if (const DWORD error = SeekTo(file, readAt))
                return error;
            if (!::ReadFile(file, chunk, kChunkBytes, &got, nullptr))
                return LastErrorOr1359();
            pending.append(chunk, got);
            readAt += got;
            atEnd = got == 0;
        }
        const size_t count =
            atEnd ? pending.size() : size_t(std::min<uint64_t>(pending.size(), readAt - writeAt));
        if (const DWORD error = WriteAt(file, writeAt, std::string_view(pending).substr(0, count)))
            return error;
        writeAt += count;
        pending.erase(0, count);
    }
    if (const DWORD error = SeekTo(file, writeAt))
        return error;
    return ::SetEndOfFile(file) ? 0 : LastErrorOr1359();
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
    std::string line;
    if (ReadFirstLine(file.get(), line) != 0)
        return 0;
    return ParseStartupFailureCount(line);
}

DWORD WriteStartupFailures(const std::wstring& path, int count) {
    // Rewritten in place, not replaced by a renamed copy: the program must never be the one
    // that creates this file, and OPEN_EXISTING is the one way to be sure of that.
    UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return LastErrorOr1359();
    std::string line;
    if (const DWORD error = ReadFirstLine(file.get(), line))
        return error;
    return ReplaceFirstLineOfFile(file.get(), line.size(), StartupFailureText(count));
}

} // namespace corvel
