#pragma once
// RC4 over whole files with a key derived from a fixed password by SHA-1 through CryptoAPI.
// One cipher per file operation: construct (and set the password), DeriveKey, one Encrypt or
// Decrypt over the whole content, Release. The key stream restarts with every derived key,
// so a file is never treated in parts.
#include <windows.h>
#include <wincrypt.h>
#include <cstddef>
#include <cstdint>

namespace corvel {

// Password of "corvel.dat"; hashed as its 6 letters and two zero bytes.
inline constexpr char kDataFilePassword[] = "movlek";
inline constexpr size_t kDataFilePasswordLength = 6;
// Password of the settings files of import and export; the constructor's default.
inline constexpr char kSettingsFilePassword[] = "quarLMN4";

class CFileCipher {
public:
    CFileCipher();
    ~CFileCipher();
    CFileCipher(const CFileCipher&) = delete;
    CFileCipher& operator=(const CFileCipher&) = delete;

    // Keeps the first 8 bytes at most, zero-padded.
    void SetPassword(const void* password, size_t count);
    DWORD DeriveKey();
    // 21 (ERROR_NOT_READY) and the buffer untouched while no key has been derived.
    DWORD Encrypt(uint8_t* buffer, DWORD length);
    DWORD Decrypt(uint8_t* buffer, DWORD length);
    // Destroys the key, then the hash, then releases the provider: each only when held.
    void Release();

private:
    uint8_t KeyPassword[9];
    HCRYPTPROV Provider = 0;
    HCRYPTHASH Hash = 0;
    HCRYPTKEY Key = 0;
};

} // namespace corvel
