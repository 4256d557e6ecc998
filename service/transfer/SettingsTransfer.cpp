#include "SettingsTransfer.h"

#include "FileCipher.h"
#include "Handles.h"
#include "StoreFileOps.h"

#include <cstring>
#include <memory>
#include <new>

namespace corvel {

DWORD CNamedPipeClientIdentity::Impersonate() {
    return ::ImpersonateNamedPipeClient(m_pipe) ? 0 : LastErrorOr1359();
}

DWORD CNamedPipeClientIdentity::Revert() {
    return ::RevertToSelf() ? 0 : LastErrorOr1359();
}

namespace {

// Opens or creates the file as the pipe client. Nothing is touched when the impersonation
// fails; when the return to the service's identity fails the file is closed again, since
// this thread cannot go on as the client.
DWORD OpenAsClient(CPipeClientIdentity& identity, const wchar_t* path, DWORD access, DWORD disposition,
                   UniqueFile& file) {
    const DWORD impersonateError = identity.Impersonate();
    if (impersonateError)
        return impersonateError;
    file.reset(::CreateFileW(path, access, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
    const DWORD openError = file ? 0 : LastErrorOr1359();
    const DWORD revertError = identity.Revert();
    if (revertError) {
        file.reset();
        return revertError;
    }
    return openError;
}

// Plain records wiped when the operation ends, whichever way.
struct CRecordBuffer {
    explicit CRecordBuffer(size_t size) : Data(new (std::nothrow) uint8_t[size]), Size(size) {}
    ~CRecordBuffer() {
        if (Data)
            SecureZeroMemory(Data.get(), Size);
    }
    std::unique_ptr<uint8_t[]> Data;
    size_t Size;
};

} // namespace

DWORD ImportSettingsFile(CDotDat& store, const wchar_t* path, uint8_t selection, bool anyConnectionActive,
                         CPipeClientIdentity& identity) {
    const size_t count = selection != 0 ? 1 : kVpnCount;
    if (anyConnectionActive)
        return ERROR_ACCESS_DENIED;

    CFileCipher cipher; // released by its destructor on every path
    DWORD error = cipher.DeriveKey();
    if (error)
        return error;

    UniqueFile file;
    error = OpenAsClient(identity, path, GENERIC_READ, OPEN_EXISTING, file);
    if (error)
        return error;

    LARGE_INTEGER size;
    if (!::GetFileSizeEx(file.get(), &size))
        return LastErrorOr1359();
    const bool current = uint64_t(size.QuadPart) == count * VPNCONFIG::kSize;
    const bool older = uint64_t(size.QuadPart) == count * VPNCONFIG_1694::kSize;
    if (!current && !older)
        return ERROR_INVALID_DATA;

    CRecordBuffer content(size_t(size.QuadPart));
    if (!content.Data)
        return ERROR_OUTOFMEMORY;
    if ((error = CWin32StoreFileOps().Read(file.get(), content.Data.get(), DWORD(content.Size))) != 0)
        return error;
    if ((error = cipher.Decrypt(content.Data.get(), DWORD(content.Size))) != 0)
        return error;
    cipher.Release();

    // A file of the right size that holds no settings (random bytes, or one encrypted with
    // another key) decrypts to noise whose strings almost never end inside their arrays;
    // every record the store holds, and so every exported one, has them all terminated.
    const size_t recordSize = current ? VPNCONFIG::kSize : VPNCONFIG_1694::kSize;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* image = content.Data.get() + i * recordSize;
        if (!(current ? VPNCONFIG::HasTerminatedStrings(image) : VPNCONFIG_1694::HasTerminatedStrings(image)))
            return ERROR_INVALID_DATA;
    }

    for (size_t i = 0; i < count; ++i) {
        const uint8_t index = selection != 0 ? uint8_t(selection - 1) : uint8_t(i);
        uint8_t record[VPNCONFIG::kSize];
        if (current) {
            std::memcpy(record, content.Data.get() + i * VPNCONFIG::kSize, VPNCONFIG::kSize);
        } else {
            VPNCONFIG converted; // zero behind every converted string
            ConvertOldRecord(content.Data.get() + i * VPNCONFIG_1694::kSize, OldRecordForm::Form1694,
                             converted);
            converted.Write(record);
            SecureZeroMemory(&converted, sizeof converted);
        }
        error = store.SetVpnConfig(index, record);
        SecureZeroMemory(record, sizeof record);
        if (error)
            return error;
    }
    return 0;
}

DWORD ExportSettingsFile(CDotDat& store, const wchar_t* path, uint8_t selection,
                         CPipeClientIdentity& identity) {
    const size_t count = selection != 0 ? 1 : kVpnCount;
    CRecordBuffer content(count * VPNCONFIG::kSize);
    if (!content.Data)
        return ERROR_OUTOFMEMORY;
    DWORD error = 0;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t index = selection != 0 ? uint8_t(selection - 1) : uint8_t(i);
        if ((error = store.GetVpnConfig(content.Data.get() + i * VPNCONFIG::kSize, index)) != 0)
            return error;
    }

    {
        CFileCipher cipher;
        if ((error = cipher.DeriveKey()) != 0)
            return error;
        if ((error = cipher.Encrypt(content.Data.get(), DWORD(content.Size))) != 0)
            return error;
    }

    // Opened without truncating: should the return to the service's identity fail, an
    // existing file stays as it was. It is emptied once the service is itself again.
    UniqueFile file;
    error = OpenAsClient(identity, path, GENERIC_WRITE, OPEN_ALWAYS, file);
    if (error)
        return error;
    if (!::SetEndOfFile(file.get()))
        return LastErrorOr1359();
    DWORD written = 0;
    if (!::WriteFile(file.get(), content.Data.get(), DWORD(content.Size), &written, nullptr))
        return LastErrorOr1359();
    if (written != content.Size)
        return ERROR_WRITE_FAULT;
    file.reset();
    return 0;
}

} // namespace corvel
