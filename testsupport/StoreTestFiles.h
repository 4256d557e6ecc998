#pragma once
// Test helpers for the store and the settings files: a scratch folder, whole-file reads
// and writes, and RC4 through CFileCipher directly (independent of the store's own save).
#include <windows.h>

#include "FileCipher.h"
#include "Handles.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace corvel::testing {

// A fresh folder under the temp folder, removed with its files at the end.
class CTestFolder {
public:
    CTestFolder() {
        static LONG counter = 0;
        wchar_t temp[MAX_PATH];
        const DWORD n = ::GetTempPathW(MAX_PATH, temp);
        EXPECT_TRUE(n > 0 && n < MAX_PATH);
        m_path = std::wstring(temp) + L"corvel-test-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                 std::to_wstring(::InterlockedIncrement(&counter)) + L"\\";
        EXPECT_TRUE(::CreateDirectoryW(m_path.c_str(), nullptr)) << ::GetLastError();
    }
    ~CTestFolder() {
        WIN32_FIND_DATAW data;
        UniqueFind find(::FindFirstFileW((m_path + L"*").c_str(), &data));
        if (find) {
            do {
                if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                    ::DeleteFileW((m_path + data.cFileName).c_str());
            } while (::FindNextFileW(find.get(), &data));
        }
        find.reset();
        ::RemoveDirectoryW(m_path.c_str());
    }
    CTestFolder(const CTestFolder&) = delete;
    CTestFolder& operator=(const CTestFolder&) = delete;

    const std::wstring& Path() const { return m_path; } // with its final backslash
    std::wstring File(const wchar_t* name) const { return m_path + name; }

private:
    std::wstring m_path;
};

inline bool FileExists(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

inline std::vector<uint8_t> ReadWholeFile(const std::wstring& path) {
    std::vector<uint8_t> bytes;
    UniqueFile file(
        ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    EXPECT_TRUE(bool(file)) << "cannot open the file: " << ::GetLastError();
    if (!file)
        return bytes;
    LARGE_INTEGER size;
    ::GetFileSizeEx(file.get(), &size);
    bytes.resize(size_t(size.QuadPart));
    DWORD got = 0;
    if (!bytes.empty()) {
        EXPECT_TRUE(::ReadFile(file.get(), bytes.data(), DWORD(bytes.size()), &got, nullptr));
    }
    EXPECT_EQ(got, bytes.size());
    return bytes;
}

inline void WriteWholeFile(const std::wstring& path, const std::vector<uint8_t>& bytes) {
    UniqueFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(bool(file)) << ::GetLastError();
    DWORD written = 0;
    if (!bytes.empty()) {
        ASSERT_TRUE(::WriteFile(file.get(), bytes.data(), DWORD(bytes.size()), &written, nullptr));
    }
    ASSERT_EQ(written, bytes.size());
}

enum class Key { DataFile, SettingsFile };

// RC4 is its own inverse: the same call encrypts and decrypts.
inline std::vector<uint8_t> Rc4(std::vector<uint8_t> bytes, Key key) {
    CFileCipher cipher;
    if (key == Key::DataFile)
        cipher.SetPassword(kDataFilePassword, kDataFilePasswordLength);
    EXPECT_EQ(cipher.DeriveKey(), 0u);
    if (!bytes.empty()) {
        EXPECT_EQ(cipher.Encrypt(bytes.data(), DWORD(bytes.size())), 0u);
    }
    cipher.Release();
    return bytes;
}

// The decimal digits of i, for record texts that differ per connection.
inline std::u16string Num(size_t i) {
    std::u16string s;
    for (char c : std::to_string(i))
        s.push_back(char16_t(c));
    return s;
}

} // namespace corvel::testing
