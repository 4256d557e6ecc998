#include "FileCipher.h"
#include "Handles.h"
#include <cstring>

namespace corvel {
namespace {

const wchar_t kProviderName[] = L"Microsoft Enhanced Cryptographic Provider v1.0";
// 128-bit key length in the upper 16 bits, no other flag.
const DWORD kRc4KeyFlags = 0x00800000;
const size_t kHashedBytes = 8;

} // namespace

CFileCipher::CFileCipher() {
    std::memset(KeyPassword, 0, sizeof KeyPassword);
    std::memcpy(KeyPassword, kSettingsFilePassword, 8);
}

CFileCipher::~CFileCipher() {
    Release();
    SecureZeroMemory(KeyPassword, sizeof KeyPassword);
}

void CFileCipher::SetPassword(const void* password, size_t count) {
    SecureZeroMemory(KeyPassword, sizeof KeyPassword);
    std::memcpy(KeyPassword, password, count < kHashedBytes ? count : kHashedBytes);
}

DWORD CFileCipher::DeriveKey() {
    Release();
    HCRYPTPROV provider = 0;
    // A fresh profile has no default key container yet: the second call creates it, unless
    // another thread or process has just done so (NTE_EXISTS): then the third opens that one.
    if (!CryptAcquireContextW(&provider, nullptr, kProviderName, PROV_RSA_FULL, 0) &&
        !CryptAcquireContextW(&provider, nullptr, kProviderName, PROV_RSA_FULL, CRYPT_NEWKEYSET) &&
        !(GetLastError() == DWORD(NTE_EXISTS) &&
          CryptAcquireContextW(&provider, nullptr, kProviderName, PROV_RSA_FULL, 0))) {
        return LastErrorOr1359();
    }
    HCRYPTHASH hash = 0;
    if (!CryptCreateHash(provider, CALG_SHA1, 0, 0, &hash)) {
        DWORD error = LastErrorOr1359();
        CryptReleaseContext(provider, 0);
        return error;
    }
    HCRYPTKEY key = 0;
    if (!CryptHashData(hash, KeyPassword, kHashedBytes, 0) ||
        !CryptDeriveKey(provider, CALG_RC4, hash, kRc4KeyFlags, &key)) {
        DWORD error = LastErrorOr1359();
        CryptDestroyHash(hash);
        CryptReleaseContext(provider, 0);
        return error;
    }
    Provider = provider;
    Hash = hash;
    Key = key;
    return ERROR_SUCCESS;
}

DWORD CFileCipher::Encrypt(uint8_t* buffer, DWORD length) {
    if (!Key) {
        return ERROR_NOT_READY;
    }
    DWORD count = length;
    if (!CryptEncrypt(Key, 0, TRUE, 0, buffer, &count, length)) {
        return LastErrorOr1359();
    }
    return ERROR_SUCCESS;
}

DWORD CFileCipher::Decrypt(uint8_t* buffer, DWORD length) {
    if (!Key) {
        return ERROR_NOT_READY;
    }
    DWORD count = length;
    if (!CryptDecrypt(Key, 0, TRUE, 0, buffer, &count)) {
        return LastErrorOr1359();
    }
    return ERROR_SUCCESS;
}

void CFileCipher::Release() {
    if (Key) {
        CryptDestroyKey(Key);
        Key = 0;
    }
    if (Hash) {
        CryptDestroyHash(Hash);
        Hash = 0;
    }
    if (Provider) {
        CryptReleaseContext(Provider, 0);
        Provider = 0;
    }
}

} // namespace corvel
