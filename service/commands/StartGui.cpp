#include "StartGui.h"

#include "CommandObjects.h"
#include "DotDat.h"
#include "Handles.h"

#include <userenv.h>
#include <wtsapi32.h>

#include <cwchar>
#include <iterator>
#include <mutex>

namespace corvel {

DWORD BuildGuiCommandLine(uint8_t vpnIndex, uint32_t showGui, wchar_t* target, size_t capacity) {
    if (vpnIndex >= kVpnIndexLimit)
        return ERROR_INVALID_PARAMETER;
    if (!target || capacity == 0)
        return ERROR_INSUFFICIENT_BUFFER;
    const int n = std::swprintf(target, capacity, showGui == 0 ? L"connect vpn%u /hide" : L"connect vpn%u",
                                unsigned(vpnIndex) + 1);
    if (n < 0 || size_t(n) >= capacity) {
        target[0] = L'\0';
        return ERROR_INSUFFICIENT_BUFFER;
    }
    return 0;
}

DWORD BuildGuiProgramPath(const wchar_t* folder, wchar_t* target, size_t capacity) {
    if (!target || capacity == 0)
        return ERROR_INSUFFICIENT_BUFFER;
    target[0] = L'\0';
    const size_t folderChars = folder ? std::wcslen(folder) : 0;
    const bool driveRoot = folderChars >= 3 && folder[1] == L':' && folder[2] == L'\\';
    const bool uncRoot = folderChars >= 3 && folder[0] == L'\\' && folder[1] == L'\\';
    if (!(driveRoot || uncRoot) || folder[folderChars - 1] != L'\\')
        return ERROR_PATH_NOT_FOUND;
    const size_t nameChars = std::wcslen(kGuiProgramName);
    if (folderChars + nameChars + 1 > capacity)
        return ERROR_FILENAME_EXCED_RANGE;
    std::wmemcpy(target, folder, folderChars);
    std::wmemcpy(target + folderChars, kGuiProgramName, nameChars + 1);
    return 0;
}

DWORD GetSessionUserToken(HANDLE* token) {
    *token = nullptr;
    const DWORD session = ::WTSGetActiveConsoleSessionId();
    if (session == 0xFFFFFFFF)
        return ERROR_INVALID_FUNCTION; // no session attached to the console
    UniqueHandle<> userToken;
    if (!::WTSQueryUserToken(session, userToken.put()))
        return LastErrorOr1359();
    if (!::DuplicateTokenEx(userToken.get(), 0, nullptr, SecurityImpersonation, TokenPrimary, token)) {
        *token = nullptr;
        return LastErrorOr1359();
    }
    return 0;
}

DWORD StartGuiProcess(const wchar_t* programPath, const wchar_t* commandLine) {
    UniqueHandle<> token;
    DWORD result = GetSessionUserToken(token.put());
    if (result != 0)
        return result;
    void* environment = nullptr;
    if (!::CreateEnvironmentBlock(&environment, token.get(), FALSE))
        return LastErrorOr1359();
    auto freeEnvironment = MakeScopeExit([&] { ::DestroyEnvironmentBlock(environment); });

    // CreateProcessAsUserW may write into the command line.
    wchar_t line[kGuiCommandLineChars];
    if (std::wcslen(commandLine) >= kGuiCommandLineChars)
        return ERROR_INSUFFICIENT_BUFFER;
    std::wcscpy(line, commandLine);
    wchar_t desktop[16];
    std::wcscpy(desktop, kGuiDesktop);

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.lpDesktop = desktop;
    PROCESS_INFORMATION process = {};
    // The application name is the full path, so nothing is searched for.
    if (!::CreateProcessAsUserW(token.get(), programPath, line, nullptr, nullptr, FALSE,
                                CREATE_UNICODE_ENVIRONMENT | DETACHED_PROCESS, environment, nullptr, &startup,
                                &process))
        return LastErrorOr1359();
    // The service neither waits for the GUI nor keeps track of it.
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return 0;
}

namespace {

// The store gives an empty folder when it could not build its path. A program path that
// GetModuleFileNameW had to cut is the usual reason: then "Corvel.exe" cannot fit either.
DWORD EmptyFolderError() {
    static wchar_t modulePath[32768];
    static std::mutex lock;
    std::lock_guard<std::mutex> hold(lock);
    const DWORD length = ::GetModuleFileNameW(nullptr, modulePath, DWORD(std::size(modulePath)));
    return length >= MAX_PATH && length < std::size(modulePath) ? DWORD(ERROR_FILENAME_EXCED_RANGE)
                                                                : DWORD(ERROR_PATH_NOT_FOUND);
}

} // namespace

DWORD CIncmdConnect::StartGui() {
    wchar_t folder[MAX_PATH] = {};
    CDotDatSemaphore::GetInstance().GetDataFolder(folder);
    folder[MAX_PATH - 1] = L'\0';
    if (folder[0] == L'\0')
        return EmptyFolderError();
    wchar_t path[kGuiPathChars];
    DWORD result = BuildGuiProgramPath(folder, path, kGuiPathChars);
    if (result != 0)
        return result;
    wchar_t line[kGuiCommandLineChars];
    result = BuildGuiCommandLine(m_Request.VpnIndex, m_Request.ShowGui, line, kGuiCommandLineChars);
    if (result != 0)
        return result;
    return StartGuiProcess(path, line);
}

} // namespace corvel
