#pragma once
// The file calls of the settings store, behind one seam so that a test can make any of
// them fail. CWin32StoreFileOps is the real thing; the store uses it unless given another.
#include <windows.h>
#include <cstdint>

#include "Handles.h"

namespace corvel {

class CStoreFileOps {
public:
    virtual ~CStoreFileOps() = default;

    // Load: the data file for reading and writing, no sharing, created empty when missing.
    virtual DWORD OpenDataFile(const wchar_t* path, UniqueFile& file) = 0;
    virtual DWORD GetSize(HANDLE file, uint64_t& size) = 0;
    // The whole length or an error (24 for a short read).
    virtual DWORD Read(HANDLE file, uint8_t* buffer, DWORD length) = 0;

    // Save: a new temporary file (a left-over one is removed first, never written through).
    virtual DWORD CreateTemp(const wchar_t* path, UniqueFile& file) = 0;
    // The whole length or an error.
    virtual DWORD Write(HANDLE file, const uint8_t* buffer, DWORD length) = 0;
    virtual DWORD Flush(HANDLE file) = 0;
    // Gives up the handle whatever the result, so the data reaches the file before the rename.
    virtual DWORD Close(UniqueFile& file) = 0;
    // Renames from over to, replacing it, written through.
    virtual DWORD Replace(const wchar_t* from, const wchar_t* to) = 0;
    virtual DWORD Remove(const wchar_t* path) = 0;
};

class CWin32StoreFileOps : public CStoreFileOps {
public:
    static CWin32StoreFileOps& GetInstance(); // stateless, shared by every store

    DWORD OpenDataFile(const wchar_t* path, UniqueFile& file) override;
    DWORD GetSize(HANDLE file, uint64_t& size) override;
    DWORD Read(HANDLE file, uint8_t* buffer, DWORD length) override;
    DWORD CreateTemp(const wchar_t* path, UniqueFile& file) override;
    DWORD Write(HANDLE file, const uint8_t* buffer, DWORD length) override;
    DWORD Flush(HANDLE file) override;
    DWORD Close(UniqueFile& file) override;
    DWORD Replace(const wchar_t* from, const wchar_t* to) override;
    DWORD Remove(const wchar_t* path) override;
};

} // namespace corvel
