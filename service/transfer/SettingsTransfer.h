#pragma once
// Import and export of settings files: one VPNCONFIG (1126 bytes) or all 20 (22520), and on
// import also the older 1694-byte records (1694 or 33880 bytes), RC4 with the settings-file
// key. The file is opened or created under the identity of the pipe client; it is read or
// written through that handle after the service has gone back to its own identity.
#include <windows.h>
#include <cstdint>

#include "DotDat.h"

namespace corvel {

inline constexpr size_t kSettingsFileOne = VPNCONFIG::kSize;                     // 1126
inline constexpr size_t kSettingsFileAll = kVpnCount * VPNCONFIG::kSize;         // 22520
inline constexpr size_t kSettingsFileOldOne = VPNCONFIG_1694::kSize;             // 1694
inline constexpr size_t kSettingsFileOldAll = kVpnCount * VPNCONFIG_1694::kSize; // 33880

class CPipeClientIdentity {
public:
    virtual ~CPipeClientIdentity() = default;
    virtual DWORD Impersonate() = 0;
    virtual DWORD Revert() = 0;
};

class CNamedPipeClientIdentity : public CPipeClientIdentity { // ImpersonateNamedPipeClient / RevertToSelf
public:
    explicit CNamedPipeClientIdentity(HANDLE pipe) : m_pipe(pipe) {}
    DWORD Impersonate() override;
    DWORD Revert() override;

private:
    HANDLE m_pipe; // borrowed: the worker's pipe instance
};

// `anyConnectionActive` = some connection's ConnectStatus is not 0 (the caller asks the engine).
// `selection` 0: all 20; k: connection k (1-based). 0 or a Win32 code: 5 while a connection
// is active (the file is not opened), 13 for a size that does not fit the selection or for a
// record with a string that does not end inside its array (then nothing is stored), 87 from
// the store for a selection above 20, else the error of the impersonation, the open, the
// return to the service's identity (then nothing is stored), the read, the cipher or the
// store (records stored before it stay stored).
DWORD ImportSettingsFile(CDotDat& store, const wchar_t* path, uint8_t selection, bool anyConnectionActive,
                         CPipeClientIdentity& identity);

// Reads the records first: a store error (87 for a selection above 20) creates no file and
// leaves an existing one as it was. Then the file is opened or created under the client's
// identity, emptied once the service is itself again, and written in one write. A failed
// return to the service's identity writes nothing (a file created by the open stays empty).
DWORD ExportSettingsFile(CDotDat& store, const wchar_t* path, uint8_t selection,
                         CPipeClientIdentity& identity);

} // namespace corvel
