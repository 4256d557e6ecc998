// A scripted rasapi32.dll for tests: records every call and plays fakeras.script
// (formats in FakeRasScript.h).
#include "FakeRasScript.h"

#include <windows.h>
#include <ras.h>
#include <raserror.h>

#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

using corvel::fakeras::DialOutcome;
using corvel::fakeras::FakeRasScript;

namespace {

HMODULE g_module = nullptr;
std::mutex g_lock;    // the connection table
std::mutex g_logLock; // keeps log lines whole
uintptr_t g_nextHandle = 1;

// The folder of this DLL with its final backslash; empty when it cannot be had.
std::wstring OwnFolder() {
    wchar_t path[MAX_PATH];
    const DWORD n = ::GetModuleFileNameW(g_module, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return std::wstring();
    std::wstring folder(path, n);
    const size_t slash = folder.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : folder.substr(0, slash + 1);
}

std::string Utf8(const wchar_t* text, size_t maxChars) {
    if (!text)
        return std::string();
    size_t n = 0;
    while (n < maxChars && text[n] != 0)
        ++n;
    if (n == 0)
        return std::string();
    const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, text, int(n), nullptr, 0, nullptr, nullptr);
    std::string out(size_t(bytes > 0 ? bytes : 0), '\0');
    if (bytes > 0)
        ::WideCharToMultiByte(CP_UTF8, 0, text, int(n), &out[0], bytes, nullptr, nullptr);
    for (char& c : out)
        if (c == '\t' || c == '\r' || c == '\n')
            c = ' ';
    return out;
}

template <size_t N> std::string Utf8(const wchar_t (&field)[N]) {
    return Utf8(field, N);
}

std::string Hex(DWORD v) {
    char b[16];
    std::snprintf(b, sizeof b, "0x%lx", static_cast<unsigned long>(v));
    return b;
}
std::string Dec(uint64_t v) {
    return std::to_string(v);
}
std::string Address(const RASIPADDR& a) {
    char b[20];
    std::snprintf(b, sizeof b, "%u.%u.%u.%u", a.a, a.b, a.c, a.d);
    return b;
}
std::string Phonebook(const wchar_t* pbk) {
    return pbk ? Utf8(pbk, 260) : std::string("default");
}

void Log(const std::string& event, const std::vector<std::pair<const char*, std::string>>& fields) {
    std::string line = event;
    for (const auto& f : fields) {
        line += '\t';
        line += f.first;
        line += '=';
        line += f.second;
    }
    line += "\r\n";
    const std::wstring path = OwnFolder() + corvel::fakeras::kLogFileName;
    std::lock_guard<std::mutex> hold(g_logLock);
    HANDLE file =
        ::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    ::WriteFile(file, line.data(), DWORD(line.size()), &written, nullptr);
    ::CloseHandle(file);
}

FakeRasScript ReadScript() {
    const std::wstring path = OwnFolder() + corvel::fakeras::kScriptFileName;
    HANDLE file =
        ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return FakeRasScript();
    std::string text;
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
        text.append(buffer, got);
    ::CloseHandle(file);
    return FakeRasScript::Parse(text);
}

struct Connection {
    uintptr_t Id = 0;
    FakeRasScript Script;
    DWORD NotifierType = 0;
    LPVOID Notifier = nullptr;
    ULONG_PTR CallbackId = 0;
    HANDLE Stop = nullptr;        // set by RasHangUpW: the callback thread ends
    HANDLE Thread = nullptr;      // the callback thread
    HANDLE OutcomeGate = nullptr; // the script's named events, opened at the dial
    HANDLE DropGate = nullptr;
    DWORD ThreadId = 0;
    bool Down = false;                    // dropped or hung up
    std::vector<HANDLE> DisconnectEvents; // our own duplicates of the registered events

    ~Connection() {
        for (HANDLE e : DisconnectEvents)
            ::CloseHandle(e);
        if (Thread)
            ::CloseHandle(Thread);
        for (HANDLE gate : {OutcomeGate, DropGate})
            if (gate)
                ::CloseHandle(gate);
        if (Stop)
            ::CloseHandle(Stop);
    }
};

std::map<uintptr_t, std::shared_ptr<Connection>> g_connections;

std::shared_ptr<Connection> Find(HRASCONN h) {
    std::lock_guard<std::mutex> hold(g_lock);
    const auto it = g_connections.find(reinterpret_cast<uintptr_t>(h));
    return it == g_connections.end() ? nullptr : it->second;
}

// Marks the connection down and signals everyone who waits for its disconnection.
void GoDown(Connection& c) {
    std::lock_guard<std::mutex> hold(g_lock);
    c.Down = true;
    for (HANDLE e : c.DisconnectEvents)
        ::SetEvent(e);
}

void Deliver(Connection& c, RASCONNSTATE state, DWORD error) {
    Log("Callback", {{"handle", Dec(c.Id)}, {"state", Hex(state)}, {"error", Dec(error)}});
    const HRASCONN h = reinterpret_cast<HRASCONN>(c.Id);
    switch (c.NotifierType) {
    case 0:
        reinterpret_cast<RASDIALFUNC>(c.Notifier)(WM_RASDIALEVENT, state, error);
        break;
    case 1:
        reinterpret_cast<RASDIALFUNC1>(c.Notifier)(h, WM_RASDIALEVENT, state, error, 0);
        break;
    case 2:
        reinterpret_cast<RASDIALFUNC2>(c.Notifier)(c.CallbackId, 0, h, WM_RASDIALEVENT, state, error, 0);
        break;
    default:
        break;
    }
}

RASCONNSTATE ProgressState(uint32_t step) {
    static const RASCONNSTATE states[] = {
        RASCS_OpenPort,        RASCS_PortOpened,          RASCS_ConnectDevice,
        RASCS_DeviceConnected, RASCS_AllDevicesConnected, RASCS_Authenticate,
        RASCS_AuthNotify,      RASCS_Authenticated};
    return states[step % (sizeof states / sizeof states[0])];
}

// A named event of the script, or null when there is none or it cannot be opened.
HANDLE OpenGate(const std::string& name, bool& missing) {
    if (name.empty())
        return nullptr;
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, name.data(), int(name.size()), nullptr, 0);
    std::wstring wide(size_t(n > 0 ? n : 0), L'\0');
    if (n > 0)
        ::MultiByteToWideChar(CP_UTF8, 0, name.data(), int(name.size()), &wide[0], n);
    HANDLE gate = ::OpenEventW(SYNCHRONIZE, FALSE, wide.c_str());
    missing = missing || !gate;
    return gate;
}

// False when the connection was hung up first.
bool WaitForGate(const Connection& c, HANDLE gate) {
    if (!gate)
        return true;
    const HANDLE waits[] = {c.Stop, gate};
    return ::WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0 + 1;
}

// Plays the script; returns early when the connection is hung up.
DWORD WINAPI CallbackThread(LPVOID param) {
    std::unique_ptr<std::shared_ptr<Connection>> holder(static_cast<std::shared_ptr<Connection>*>(param));
    Connection& c = **holder;
    const FakeRasScript& s = c.Script;
    for (uint32_t k = 1; k <= s.Callbacks; ++k) {
        if (::WaitForSingleObject(c.Stop, s.IntervalMs) == WAIT_OBJECT_0)
            return 0;
        const bool last = k == s.Callbacks;
        if (last && s.Outcome != DialOutcome::Never && !WaitForGate(c, c.OutcomeGate))
            return 0;
        if (!last || s.Outcome == DialOutcome::Never)
            Deliver(c, ProgressState(k - 1), 0);
        else if (s.Outcome == DialOutcome::Error)
            Deliver(c, ProgressState(k - 1), s.Error);
        else
            Deliver(c, RASCS_Connected, 0);
    }
    if (s.Outcome == DialOutcome::Connect && s.Drops) {
        if (!WaitForGate(c, c.DropGate) || ::WaitForSingleObject(c.Stop, s.DropAfterMs) == WAIT_OBJECT_0)
            return 0;
        Log("Drop", {{"handle", Dec(c.Id)}});
        GoDown(c);
    }
    return 0;
}

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        ::DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

DWORD WINAPI RasSetEntryPropertiesW(LPCWSTR phonebook, LPCWSTR entryName, LPRASENTRYW entry, DWORD size,
                                    LPBYTE, DWORD) {
    const FakeRasScript s = ReadScript();
    if (!entry || size < sizeof(RASENTRYW)) {
        Log("RasSetEntryPropertiesW", {{"phonebook", Phonebook(phonebook)},
                                       {"entry", Utf8(entryName, RAS_MaxEntryName + 1)},
                                       {"size", Dec(size)},
                                       {"result", Dec(ERROR_INVALID_SIZE)}});
        return ERROR_INVALID_SIZE;
    }
    Log("RasSetEntryPropertiesW", {{"phonebook", Phonebook(phonebook)},
                                   {"entry", Utf8(entryName, RAS_MaxEntryName + 1)},
                                   {"size", Dec(entry->dwSize)},
                                   {"options", Hex(entry->dwfOptions)},
                                   {"options2", Hex(entry->dwfOptions2)},
                                   {"type", Dec(entry->dwType)},
                                   {"strategy", Dec(entry->dwVpnStrategy)},
                                   {"netprotocols", Dec(entry->dwfNetProtocols)},
                                   {"framing", Dec(entry->dwFramingProtocol)},
                                   {"encryption", Dec(entry->dwEncryptionType)},
                                   {"phone", Utf8(entry->szLocalPhoneNumber)},
                                   {"ipaddr", Address(entry->ipaddr)},
                                   {"dns", Address(entry->ipaddrDns)},
                                   {"devicetype", Utf8(entry->szDeviceType)},
                                   {"devicename", Utf8(entry->szDeviceName)},
                                   {"result", Dec(s.SetEntryResult)}});
    return s.SetEntryResult;
}

DWORD WINAPI RasSetCredentialsW(LPCWSTR phonebook, LPCWSTR entryName, LPRASCREDENTIALSW credentials,
                                WINBOOL clearCredentials) {
    const FakeRasScript s = ReadScript();
    if (!credentials)
        return ERROR_INVALID_PARAMETER;
    Log("RasSetCredentialsW", {{"phonebook", Phonebook(phonebook)},
                               {"entry", Utf8(entryName, RAS_MaxEntryName + 1)},
                               {"size", Dec(credentials->dwSize)},
                               {"mask", Hex(credentials->dwMask)},
                               {"psk", Utf8(credentials->szPassword)},
                               {"clear", Dec(clearCredentials ? 1 : 0)},
                               {"result", Dec(s.SetCredentialsResult)}});
    return s.SetCredentialsResult;
}

DWORD WINAPI RasDialW(LPRASDIALEXTENSIONS, LPCWSTR phonebook, LPRASDIALPARAMSW params, DWORD notifierType,
                      LPVOID notifier, LPHRASCONN connection) {
    const FakeRasScript s = ReadScript();
    if (!params || !connection)
        return ERROR_INVALID_PARAMETER;
    auto c = std::make_shared<Connection>();
    c->Script = s;
    c->NotifierType = notifierType;
    c->Notifier = notifier;
    c->CallbackId = params->dwCallbackId;
    DWORD result = s.DialResult;
    if (result == 0 && !notifier)
        result = s.Outcome == DialOutcome::Error ? s.Error : 0; // synchronous dial: the outcome at once
    uintptr_t id = 0;
    if (s.DialResult == 0) {
        std::lock_guard<std::mutex> hold(g_lock);
        id = g_nextHandle++;
        c->Id = id;
        g_connections[id] = c;
    }
    *connection = reinterpret_cast<HRASCONN>(id);
    bool gatesMissing = false;
    c->OutcomeGate = OpenGate(s.OutcomeEvent, gatesMissing);
    c->DropGate = OpenGate(s.DropEvent, gatesMissing);
    std::vector<std::pair<const char*, std::string>> fields{{"phonebook", Phonebook(phonebook)},
                                                            {"entry", Utf8(params->szEntryName)},
                                                            {"size", Dec(params->dwSize)},
                                                            {"user", Utf8(params->szUserName)},
                                                            {"password", Utf8(params->szPassword)},
                                                            {"notifier", Dec(notifierType)},
                                                            {"callbackid", Dec(params->dwCallbackId)},
                                                            {"handle", Dec(id)},
                                                            {"result", Dec(result)}};
    if (gatesMissing)
        fields.emplace_back("gates", "missing");
    Log("RasDialW", fields);
    if (id != 0 && notifier) {
        c->Stop = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        auto* holder = new std::shared_ptr<Connection>(c);
        c->Thread = ::CreateThread(nullptr, 0, CallbackThread, holder, 0, &c->ThreadId);
        if (!c->Thread)
            delete holder;
    }
    return result;
}

DWORD WINAPI RasConnectionNotificationW(HRASCONN connection, HANDLE event, DWORD flags) {
    const std::shared_ptr<Connection> c = Find(connection);
    DWORD result = 0;
    if (!c || !event) {
        result = ERROR_INVALID_HANDLE;
    } else if (flags & RASCN_Disconnection) {
        HANDLE own = nullptr;
        if (!::DuplicateHandle(::GetCurrentProcess(), event, ::GetCurrentProcess(), &own, 0, FALSE,
                               DUPLICATE_SAME_ACCESS)) {
            result = ::GetLastError();
        } else {
            std::lock_guard<std::mutex> hold(g_lock);
            c->DisconnectEvents.push_back(own);
            if (c->Down)
                ::SetEvent(own);
        }
    }
    Log("RasConnectionNotificationW", {{"handle", Dec(reinterpret_cast<uintptr_t>(connection))},
                                       {"flags", Hex(flags)},
                                       {"result", Dec(result)}});
    return result;
}

DWORD WINAPI RasHangUpW(HRASCONN connection) {
    const FakeRasScript s = ReadScript();
    std::shared_ptr<Connection> c;
    {
        std::lock_guard<std::mutex> hold(g_lock);
        const auto it = g_connections.find(reinterpret_cast<uintptr_t>(connection));
        if (it != g_connections.end()) {
            c = it->second;
            g_connections.erase(it);
        }
    }
    const DWORD result = c ? s.HangUpResult : ERROR_INVALID_HANDLE;
    Log("RasHangUpW", {{"handle", Dec(reinterpret_cast<uintptr_t>(connection))}, {"result", Dec(result)}});
    if (!c)
        return result;
    if (c->Stop)
        ::SetEvent(c->Stop);
    // No callback comes after the hang-up returns (unless it is called from a callback).
    if (c->Thread && c->ThreadId != ::GetCurrentThreadId())
        ::WaitForSingleObject(c->Thread, INFINITE);
    GoDown(*c);
    return result;
}

DWORD WINAPI RasDeleteEntryW(LPCWSTR phonebook, LPCWSTR entryName) {
    const FakeRasScript s = ReadScript();
    Log("RasDeleteEntryW", {{"phonebook", Phonebook(phonebook)},
                            {"entry", Utf8(entryName, RAS_MaxEntryName + 1)},
                            {"result", Dec(s.DeleteEntryResult)}});
    return s.DeleteEntryResult;
}
