#include "StoreFileOps.h"

namespace corvel {

CWin32StoreFileOps& CWin32StoreFileOps::GetInstance() {
    static CWin32StoreFileOps instance;
    return instance;
}

DWORD CWin32StoreFileOps::OpenDataFile(const wchar_t* path, UniqueFile& file) {
    file.reset(::CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
    return file ? 0 : LastErrorOr1359();
}

DWORD CWin32StoreFileOps::GetSize(HANDLE file, uint64_t& size) {
    LARGE_INTEGER li;
    if (!::GetFileSizeEx(file, &li))
        return LastErrorOr1359();
    size = uint64_t(li.QuadPart);
    return 0;
}

DWORD CWin32StoreFileOps::Read(HANDLE file, uint8_t* buffer, DWORD length) {
    DWORD done = 0;
    while (done < length) {
        DWORD got = 0;
        if (!::ReadFile(file, buffer + done, length - done, &got, nullptr))
            return LastErrorOr1359();
        if (got == 0)
            return ERROR_BAD_LENGTH;
        done += got;
    }
    return 0;
}

DWORD CWin32StoreFileOps::CreateTemp(const wchar_t* path, UniqueFile& file) {
    // Removing a left-over name and then insisting on a new file keeps a planted link from
    // redirecting the write into another file.
    ::DeleteFileW(path);
    file.reset(::CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    return file ? 0 : LastErrorOr1359();
}

DWORD CWin32StoreFileOps::Write(HANDLE file, const uint8_t* buffer, DWORD length) {
    DWORD written = 0;
    if (!::WriteFile(file, buffer, length, &written, nullptr))
        return LastErrorOr1359();
    return written == length ? 0 : ERROR_WRITE_FAULT;
}

DWORD CWin32StoreFileOps::Flush(HANDLE file) {
    return ::FlushFileBuffers(file) ? 0 : LastErrorOr1359();
}

DWORD CWin32StoreFileOps::Close(UniqueFile& file) {
    const HANDLE h = file.release();
    return ::CloseHandle(h) ? 0 : LastErrorOr1359();
}

DWORD CWin32StoreFileOps::Replace(const wchar_t* from, const wchar_t* to) {
    return ::MoveFileExW(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) ? 0
                                                                                       : LastErrorOr1359();
}

DWORD CWin32StoreFileOps::Remove(const wchar_t* path) {
    return ::DeleteFileW(path) ? 0 : LastErrorOr1359();
}

} // namespace corvel
