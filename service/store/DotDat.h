#pragma once
// The settings store: the 20 connection settings and the LogInfo block, in memory and in
// "corvel.dat" next to the service program (RC4 with the data-file key). CDotDat holds the
// data and the file logic; CDotDatSemaphore serialises every operation, and the process
// uses the one reached through CDotDatSemaphore::GetInstance().
//
// For tests: a store can be built on any folder and with another CStoreFileOps (the file
// calls, see StoreFileOps.h), and SetRetryPause shortens the pause between save attempts.
#include <windows.h>
#include <cstdint>

#include "DotDatRecord.h"
#include "Handles.h"
#include "StoreFileOps.h"

namespace corvel {

inline constexpr wchar_t kDataFileName[] = L"corvel.dat";
// Sibling the save writes before it renames it over "corvel.dat".
inline constexpr wchar_t kDataFileTempSuffix[] = L".tmp";

class CDotDat {
public:
    // The defaults of a never-saved store, on the folder of the running program.
    CDotDat();
    // The same on `folder` (with or without a final backslash); `fileOps` is not owned and
    // must outlive the store; null means the real file calls.
    explicit CDotDat(const wchar_t* folder, CStoreFileOps* fileOps = nullptr);
    virtual ~CDotDat();
    CDotDat(const CDotDat&) = delete;
    CDotDat& operator=(const CDotDat&) = delete;

    // Reads "corvel.dat" (defaults for a missing file or one of an unknown size) and writes
    // it back in the current form. 0, or the error of finding or opening the file.
    virtual DWORD Load();
    virtual DWORD GetVpnConfig(uint8_t* target /*1126 bytes*/, uint8_t index); // 87 for >= 20
    virtual DWORD GetLogInfo(uint8_t* target /*527 bytes*/);
    virtual DWORD SetVpnConfig(uint8_t index, const uint8_t* record /*1126*/); // stores + saves
    virtual DWORD SetLogInfo(const uint8_t* block /*527*/);
    // Item 25: read-modify-write of one record's user name and password under ONE lock.
    virtual DWORD SetAuthInfo(const uint8_t* authInfo /*261 bytes*/); // 87 for index >= 20

    // Writes the whole image: a sibling temporary file, flushed, renamed over "corvel.dat",
    // so the file always holds either the old or the new image. Takes no lock: the store's
    // operations call it.
    DWORD Save();
    // "corvel.dat" in the store's folder. 14 when it does not fit; the error of
    // GetModuleFileNameW (14 when it truncates); 161 when the folder has no backslash.
    DWORD GetFullPath(wchar_t* target, DWORD capacity);
    void GetDataFolder(wchar_t* target /*260 chars*/); // folder of "corvel.dat" with final backslash

    void SetRetryPause(DWORD milliseconds) { m_retryPause = milliseconds; }

protected:
    static constexpr int kSaveAttempts = 5;
    DWORD SaveWithRetries();

private:
    uint8_t Image[DotDatRecord::kSize];
    wchar_t FilePath[MAX_PATH] = {};
    DWORD FolderLength = 0;

    wchar_t m_folder[MAX_PATH] = {}; // empty: the program's own folder
    CStoreFileOps* m_fileOps;
    DWORD m_retryPause = 500;
};

class CDotDatSemaphore : public CDotDat { // serialises every operation
public:
    static CDotDatSemaphore& GetInstance();

    CDotDatSemaphore();
    explicit CDotDatSemaphore(const wchar_t* folder, CStoreFileOps* fileOps = nullptr);
    ~CDotDatSemaphore() override;

    DWORD Init(); // Load() under the lock

    DWORD Load() override;
    DWORD GetVpnConfig(uint8_t* target, uint8_t index) override;
    DWORD GetLogInfo(uint8_t* target) override;
    DWORD SetVpnConfig(uint8_t index, const uint8_t* record) override;
    DWORD SetLogInfo(const uint8_t* block) override;
    DWORD SetAuthInfo(const uint8_t* authInfo) override;

private:
    template <class F> DWORD Locked(F operation);

    // The lock that every thread (pipe workers, connect thread, start-up) takes around the
    // store's image and its file. All of them are threads of this process, so a slim lock
    // serialises them as an unnamed semaphore would, without a kernel object: under Wine each
    // wait and release of one is a round trip to the wine server, which cost a record load a
    // fifth of its time.
    SRWLOCK Lock = SRWLOCK_INIT;
};

} // namespace corvel
