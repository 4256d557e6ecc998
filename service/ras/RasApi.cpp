#include "RasApi.h"

#include <map>
#include <mutex>

namespace corvel {

namespace {

// Callbacks of the dials in progress, by the dwCallbackId each dial carries, and the id of
// each handle RAS gave back, so that its hang-up unbinds the callback.
std::mutex g_dialLock;
std::map<ULONG_PTR, CRasApi::DialCallback> g_callbacks;
std::map<HRASCONN, ULONG_PTR> g_callbackOfConnection;
ULONG_PTR g_nextCallbackId = 1;

DWORD WINAPI DialThunk(ULONG_PTR callbackId, DWORD, HRASCONN, UINT message, RASCONNSTATE state, DWORD error,
                       DWORD) {
    CRasApi::DialCallback callback;
    {
        std::lock_guard<std::mutex> hold(g_dialLock);
        const auto it = g_callbacks.find(callbackId);
        if (it != g_callbacks.end())
            callback = it->second;
    }
    if (callback)
        callback(message, state, error);
    return 1; // keep the notifications coming
}

} // namespace

DWORD CRasApiWin32::SetEntryProperties(const wchar_t* entryName, const RASENTRYW& entry) {
    RASENTRYW copy = entry;
    return ::RasSetEntryPropertiesW(nullptr, entryName, &copy, sizeof copy, nullptr, 0);
}

DWORD CRasApiWin32::SetCredentials(const wchar_t* entryName, const RASCREDENTIALSW& credentials) {
    RASCREDENTIALSW copy = credentials;
    const DWORD result = ::RasSetCredentialsW(nullptr, entryName, &copy, FALSE);
    ::SecureZeroMemory(&copy, sizeof copy);
    return result;
}

DWORD CRasApiWin32::Dial(const RASDIALPARAMSW& params, DialCallback callback, HRASCONN* connection) {
    RASDIALPARAMSW copy = params;
    {
        std::lock_guard<std::mutex> hold(g_dialLock);
        copy.dwCallbackId = g_nextCallbackId++;
        g_callbacks[copy.dwCallbackId] = std::move(callback);
    }
    *connection = nullptr;
    const DWORD result =
        ::RasDialW(nullptr, nullptr, &copy, 2, reinterpret_cast<LPVOID>(&DialThunk), connection);
    ::SecureZeroMemory(copy.szPassword, sizeof copy.szPassword);
    std::lock_guard<std::mutex> hold(g_dialLock);
    if (*connection)
        g_callbackOfConnection[*connection] = copy.dwCallbackId;
    else
        g_callbacks.erase(copy.dwCallbackId);
    return result;
}

DWORD CRasApiWin32::ConnectionNotification(HRASCONN connection, HANDLE event, DWORD flags) {
    return ::RasConnectionNotificationW(connection, event, flags);
}

DWORD CRasApiWin32::HangUp(HRASCONN connection) {
    const DWORD result = ::RasHangUpW(connection);
    std::lock_guard<std::mutex> hold(g_dialLock);
    const auto it = g_callbackOfConnection.find(connection);
    if (it != g_callbackOfConnection.end()) {
        g_callbacks.erase(it->second);
        g_callbackOfConnection.erase(it);
    }
    return result;
}

DWORD CRasApiWin32::DeleteEntry(const wchar_t* entryName) {
    return ::RasDeleteEntryW(nullptr, entryName);
}

} // namespace corvel
