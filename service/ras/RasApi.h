#pragma once
// The few Remote Access Service calls the engine makes. The service binds them to rasapi32
// (CRasApiWin32); tests bind them to an in-process fake (FakeRasApi.h).
#include <windows.h>
#include <ras.h>

#include <functional>

namespace corvel {

class CRasApi {
public:
    // What RAS reports while a dial proceeds; called on a thread of RAS's own.
    using DialCallback = std::function<void(UINT message, RASCONNSTATE state, DWORD error)>;

    virtual ~CRasApi() = default;
    // All on the default phonebook.
    virtual DWORD SetEntryProperties(const wchar_t* entryName, const RASENTRYW& entry) = 0;
    virtual DWORD SetCredentials(const wchar_t* entryName, const RASCREDENTIALSW& credentials) = 0;
    // Dials asynchronously. *connection receives the handle RAS gives back, which must be hung
    // up even when the dial fails. The callback stays bound until that hang-up.
    virtual DWORD Dial(const RASDIALPARAMSW& params, DialCallback callback, HRASCONN* connection) = 0;
    virtual DWORD ConnectionNotification(HRASCONN connection, HANDLE event, DWORD flags) = 0;
    virtual DWORD HangUp(HRASCONN connection) = 0;
    virtual DWORD DeleteEntry(const wchar_t* entryName) = 0;
};

// rasapi32. The dial uses notifier type 2 (RASDIALFUNC2): its dwCallbackId tells which dial a
// callback belongs to, so a late callback of an earlier dial never reaches a later one.
class CRasApiWin32 : public CRasApi {
public:
    DWORD SetEntryProperties(const wchar_t* entryName, const RASENTRYW& entry) override;
    DWORD SetCredentials(const wchar_t* entryName, const RASCREDENTIALSW& credentials) override;
    DWORD Dial(const RASDIALPARAMSW& params, DialCallback callback, HRASCONN* connection) override;
    DWORD ConnectionNotification(HRASCONN connection, HANDLE event, DWORD flags) override;
    DWORD HangUp(HRASCONN connection) override;
    DWORD DeleteEntry(const wchar_t* entryName) override;
};

} // namespace corvel
