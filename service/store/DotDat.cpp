#include "DotDat.h"

#include "FileCipher.h"

#include <cstring>
#include <cwchar>
#include <memory>
#include <new>

namespace corvel {

namespace {

constexpr size_t kDataFileNameLength = sizeof kDataFileName / sizeof kDataFileName[0] - 1;
constexpr size_t kTempSuffixLength = sizeof kDataFileTempSuffix / sizeof kDataFileTempSuffix[0] - 1;

void UseDataFileKey(CFileCipher& cipher) {
    cipher.SetPassword(kDataFilePassword, kDataFilePasswordLength);
}

} // namespace

CDotDat::CDotDat() : CDotDat(nullptr, nullptr) {}

CDotDat::CDotDat(const wchar_t* folder, CStoreFileOps* fileOps)
    : m_fileOps(fileOps ? fileOps : &CWin32StoreFileOps::GetInstance()) {
    FillDefaultImage(Image);
    if (folder && std::wcslen(folder) < MAX_PATH)
        std::wcscpy(m_folder, folder);
}

CDotDat::~CDotDat() {
    SecureZeroMemory(Image, sizeof Image);
}

DWORD CDotDat::GetFullPath(wchar_t* target, DWORD capacity) {
    if (!target || capacity == 0)
        return ERROR_INVALID_PARAMETER;
    target[0] = L'\0';
    if (capacity < kDataFileNameLength)
        return ERROR_OUTOFMEMORY;

    DWORD length = 0;
    if (m_folder[0] != L'\0') {
        length = DWORD(std::wcslen(m_folder));
        if (length >= capacity)
            return ERROR_OUTOFMEMORY;
        std::wmemcpy(target, m_folder, length + 1);
        if (target[length - 1] != L'\\') { // a folder given without its final backslash
            if (length + 1 >= capacity) {
                target[0] = L'\0';
                return ERROR_OUTOFMEMORY;
            }
            target[length] = L'\\';
            target[++length] = L'\0';
        }
    } else {
        length = ::GetModuleFileNameW(nullptr, target, capacity);
        // A full buffer means a cut path, left unterminated: never build on it.
        if (length == 0 || length >= capacity) {
            const DWORD error = length == 0 ? LastErrorOr1359() : ERROR_OUTOFMEMORY;
            target[0] = L'\0';
            return error;
        }
    }

    const wchar_t* slash = std::wcsrchr(target, L'\\');
    size_t folderChars = 0;
    if (slash) {
        folderChars = size_t(slash - target) + 1;
    } else {
        // A bare "corvel.dat" would follow the current directory.
        target[0] = L'\0';
        FolderLength = 0;
        return ERROR_BAD_PATHNAME;
    }
    if (folderChars + kDataFileNameLength + 1 > capacity) {
        target[0] = L'\0';
        return ERROR_OUTOFMEMORY;
    }
    std::wmemcpy(target + folderChars, kDataFileName, kDataFileNameLength + 1);
    FolderLength = DWORD(folderChars + 1);
    return 0;
}

void CDotDat::GetDataFolder(wchar_t* target) {
    size_t chars = FolderLength > 0 ? FolderLength - 1 : 0;
    if (chars >= MAX_PATH)
        chars = 0;
    std::wmemcpy(target, FilePath, chars);
    target[chars] = L'\0';
}

DWORD CDotDat::Load() {
    const DWORD pathError = GetFullPath(FilePath, MAX_PATH);
    if (pathError) {
        FilePath[0] = L'\0';
        FolderLength = 0;
        return pathError;
    }

    {
        UniqueFile file;
        const DWORD openError = m_fileOps->OpenDataFile(FilePath, file);
        if (openError)
            return openError;

        // Any file we cannot take leaves the defaults and the file as it is.
        uint64_t size = 0;
        if (m_fileOps->GetSize(file.get(), size) != 0 || !IsKnownDataFileSize(size_t(size)))
            return 0;
        std::unique_ptr<uint8_t[]> content(new (std::nothrow) uint8_t[size_t(size)]);
        if (!content)
            return 0;
        auto wipe = MakeScopeExit([&] { SecureZeroMemory(content.get(), size_t(size)); });
        if (m_fileOps->Read(file.get(), content.get(), DWORD(size)) != 0)
            return 0;

        CFileCipher cipher;
        UseDataFileKey(cipher);
        if (cipher.DeriveKey() != 0 || cipher.Decrypt(content.get(), DWORD(size)) != 0)
            return 0;
        cipher.Release();

        ImageFromFileContent(content.get(), size_t(size), Image);
    }
    // Rewrites an older form in the current one; start-up goes on whatever this gives.
    SaveWithRetries();
    return 0;
}

DWORD CDotDat::Save() {
    if (FilePath[0] == L'\0') {
        const DWORD pathError = GetFullPath(FilePath, MAX_PATH);
        if (pathError) {
            FilePath[0] = L'\0';
            return pathError;
        }
    }
    const size_t pathLength = std::wcslen(FilePath);
    wchar_t tempPath[MAX_PATH + kTempSuffixLength];
    std::wmemcpy(tempPath, FilePath, pathLength);
    std::wmemcpy(tempPath + pathLength, kDataFileTempSuffix, kTempSuffixLength + 1);

    std::unique_ptr<uint8_t[]> content(new (std::nothrow) uint8_t[DotDatRecord::kSize]);
    if (!content)
        return ERROR_OUTOFMEMORY;
    std::memcpy(content.get(), Image, DotDatRecord::kSize);
    {
        CFileCipher cipher;
        UseDataFileKey(cipher);
        DWORD error = cipher.DeriveKey();
        if (!error)
            error = cipher.Encrypt(content.get(), DWORD(DotDatRecord::kSize));
        if (error) {
            SecureZeroMemory(content.get(), DotDatRecord::kSize);
            return error;
        }
    }

    // "corvel.dat" is never opened for writing: a failure anywhere leaves it as it was.
    UniqueFile file;
    DWORD error = m_fileOps->CreateTemp(tempPath, file);
    if (error)
        return error;
    auto discardTemp = MakeScopeExit([&] {
        file.reset();
        m_fileOps->Remove(tempPath);
    });
    if ((error = m_fileOps->Write(file.get(), content.get(), DWORD(DotDatRecord::kSize))) != 0)
        return error;
    if ((error = m_fileOps->Flush(file.get())) != 0)
        return error;
    if ((error = m_fileOps->Close(file)) != 0)
        return error;
    if ((error = m_fileOps->Replace(tempPath, FilePath)) != 0)
        return error;
    discardTemp.Dismiss();
    return 0;
}

DWORD CDotDat::SaveWithRetries() {
    DWORD error = 0;
    for (int attempt = 1; attempt <= kSaveAttempts; ++attempt) {
        error = Save();
        if (!error)
            return 0;
        if (attempt < kSaveAttempts)
            ::Sleep(m_retryPause);
    }
    return error;
}

DWORD CDotDat::GetVpnConfig(uint8_t* target, uint8_t index) {
    if (index >= kVpnCount)
        return ERROR_INVALID_PARAMETER;
    std::memcpy(target, Image + DotDatRecord::RecordOffset(index), VPNCONFIG::kSize);
    return 0;
}

DWORD CDotDat::GetLogInfo(uint8_t* target) {
    std::memcpy(target, Image + DotDatRecord::kOffLogInfo, LogInfo::kSize);
    return 0;
}

DWORD CDotDat::SetVpnConfig(uint8_t index, const uint8_t* record) {
    if (index >= kVpnCount)
        return ERROR_INVALID_PARAMETER;
    StoreRecord(Image + DotDatRecord::RecordOffset(index), record);
    return SaveWithRetries();
}

DWORD CDotDat::SetLogInfo(const uint8_t* block) {
    if (!StoreLogInfo(Image, block))
        return ERROR_INVALID_PARAMETER;
    return Save();
}

DWORD CDotDat::SetAuthInfo(const uint8_t* authInfo) {
    const AUTHINFO credentials = AUTHINFO::FromBytes(authInfo);
    uint8_t stored[VPNCONFIG::kSize];
    // Qualified calls: the caller already holds the lock of a CDotDatSemaphore.
    const DWORD readError = CDotDat::GetVpnConfig(stored, credentials.VpnIndex);
    if (readError)
        return readError;
    VPNCONFIG record = VPNCONFIG::FromBytes(stored);
    ApplyAuthInfo(record, credentials);
    record.Write(stored);
    const DWORD result = CDotDat::SetVpnConfig(credentials.VpnIndex, stored);
    SecureZeroMemory(stored, sizeof stored);
    SecureZeroMemory(&record, sizeof record);
    return result;
}

// --- CDotDatSemaphore ---

CDotDatSemaphore& CDotDatSemaphore::GetInstance() {
    static CDotDatSemaphore instance;
    return instance;
}

CDotDatSemaphore::CDotDatSemaphore() = default;

CDotDatSemaphore::CDotDatSemaphore(const wchar_t* folder, CStoreFileOps* fileOps)
    : CDotDat(folder, fileOps) {}

CDotDatSemaphore::~CDotDatSemaphore() = default;

template <class F> DWORD CDotDatSemaphore::Locked(F operation) {
    ::AcquireSRWLockExclusive(&Lock);
    const DWORD result = operation();
    ::ReleaseSRWLockExclusive(&Lock);
    return result;
}

DWORD CDotDatSemaphore::Init() {
    return Locked([&] { return CDotDat::Load(); });
}

DWORD CDotDatSemaphore::Load() {
    return Locked([&] { return CDotDat::Load(); });
}

DWORD CDotDatSemaphore::GetVpnConfig(uint8_t* target, uint8_t index) {
    return Locked([&] { return CDotDat::GetVpnConfig(target, index); });
}

DWORD CDotDatSemaphore::GetLogInfo(uint8_t* target) {
    return Locked([&] { return CDotDat::GetLogInfo(target); });
}

DWORD CDotDatSemaphore::SetVpnConfig(uint8_t index, const uint8_t* record) {
    return Locked([&] { return CDotDat::SetVpnConfig(index, record); });
}

DWORD CDotDatSemaphore::SetLogInfo(const uint8_t* block) {
    return Locked([&] { return CDotDat::SetLogInfo(block); });
}

DWORD CDotDatSemaphore::SetAuthInfo(const uint8_t* authInfo) {
    return Locked([&] { return CDotDat::SetAuthInfo(authInfo); });
}

} // namespace corvel
