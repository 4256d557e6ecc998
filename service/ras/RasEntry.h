#pragma once
// The dial object of one connection attempt: the phonebook entry, the pre-shared key and the
// dial parameters built from the record, and the RAS calls made with them.
#include "EngineServices.h"
#include "RasApi.h"
#include "Records.h"

#include <windows.h>
#include <ras.h>

#include <atomic>

namespace corvel {

class CRasEntry {
public:
    explicit CRasEntry(CRasApi& ras);
    ~CRasEntry();
    CRasEntry(const CRasEntry&) = delete;
    CRasEntry& operator=(const CRasEntry&) = delete;

    void SetDialFunc(CRasApi::DialCallback dialFunc) { DialFunc = std::move(dialFunc); }
    void SetEntryName(const wchar_t* entryName);
    const wchar_t* GetEntryName() const { return m_entryName; }
    // The record to dial, with the request's user name and password already in it.
    void SetConfig(const VPNCONFIG& config) { Config = config; }

    // True when the record's server fits the entry's szLocalPhoneNumber.
    static bool ServerFits(const VPNCONFIG& config);

    // 87 when the server does not fit (nothing is cut), else 0.
    DWORD CreateCorvelData();
    DWORD CreateEntry();
    DWORD SetPSK();
    DWORD RasConnnect();
    // CreateCorvelData, CreateEntry, SetPSK when a key is set, RasConnnect; the first failure.
    DWORD CorvelConnect();

    // The handle of the dial. The connect thread stores it once RasDialW has returned;
    // whoever ends the attempt takes it out, so exactly one of them hangs it up.
    HRASCONN TakeConnection() { return Connection.exchange(nullptr); }
    bool HasConnection() const { return Connection.load() != nullptr; }
    HRASCONN PeekConnection() const { return Connection.load(); }

    // Hangs up the handle taken out (if any), pauses 5000 ms; -1 without pause when none.
    DWORD RasDisConnect(CEngineClock& clock);
    DWORD DeleteEntry();
    void CorvelDisConnect(CEngineClock& clock);
    // Waits for RAS to report the disconnection of `connection`, or for `cancel`. True only
    // when the disconnection was reported.
    bool WaitForDisconnection(HRASCONN connection, HANDLE cancel);

    // The structures as last built, for tests.
    const RASENTRYW& GetEntry() const { return Entry; }
    const RASCREDENTIALSW& GetCredentials() const { return Credentials; }
    const RASDIALPARAMSW& GetDialParams() const { return DialParams; }

private:
    CRasApi& m_ras;
    CRasApi::DialCallback DialFunc;
    std::atomic<HRASCONN> Connection{nullptr};
    RASENTRYW Entry;
    RASDIALPARAMSW DialParams;
    RASCREDENTIALSW Credentials;
    wchar_t m_entryName[50] = {};
    VPNCONFIG Config;
};

} // namespace corvel
