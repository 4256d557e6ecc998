#include "StoreFileOps.h"

#include <sddl.h>

namespace corvel {

namespace {

// "corvel.dat" holds every connection's secrets under a key that is no secret: only the
// system, administrators and the account that writes it (the service) may open it, whatever
// the folder would pass on. The temporary file gets it, and the rename keeps it.
constexpr wchar_t kDataFileSddl[] = L"D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;FA;;;OW)";

} // namespace

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
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(kDataFileSddl, SDDL_REVISION_1, &descriptor,
                                                                nullptr))
        return LastErrorOr1359();
    SECURITY_ATTRIBUTES security = {sizeof security, descriptor, FALSE};
    file.reset(::CreateFileW(path, GENERIC_WRITE, 0, &security, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    const DWORD result = file ? 0 : LastErrorOr1359();
    ::LocalFree(descriptor);
    return result;
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
