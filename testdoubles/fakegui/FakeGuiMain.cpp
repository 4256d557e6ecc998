// The "Corvel.exe" stand-in: appends its command line and session to fakegui.log beside
// itself, signals the test's event, and exits.
#include "FakeGuiLog.h"
#include "Handles.h"

#include <windows.h>

#include <string>

namespace {

using namespace corvel;

std::string ToUtf8(const std::wstring& text) {
    if (text.empty())
        return {};
    const int n =
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(size_t(n > 0 ? n : 0), '\0');
    if (n > 0)
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

// The folder of this program with its final backslash; empty when it cannot be read.
std::wstring OwnFolder() {
    wchar_t path[MAX_PATH];
    const DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) // a full buffer means a cut path
        return {};
    std::wstring folder(path, n);
    const size_t slash = folder.find_last_of(L'\\');
    return slash == std::wstring::npos ? std::wstring() : folder.substr(0, slash + 1);
}

DWORD AppendLine(const std::wstring& logPath, const std::string& line) {
    // Appends under a share mode that lets two stand-ins started together both write.
    UniqueFile file(::CreateFileW(logPath.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return LastErrorOr1359();
    DWORD written = 0;
    if (!::WriteFile(file.get(), line.data(), DWORD(line.size()), &written, nullptr) ||
        written != line.size())
        return LastErrorOr1359();
    return 0;
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    DWORD session = 0xFFFFFFFF;
    ::ProcessIdToSessionId(::GetCurrentProcessId(), &session);
    const std::wstring line = L"session=" + std::to_wstring(session) + L"|" + ::GetCommandLineW();
    const DWORD result = AppendLine(OwnFolder() + kFakeGuiLogName, ToUtf8(line) + "\n");

    UniqueEvent started(::OpenEventW(EVENT_MODIFY_STATE, FALSE, kFakeGuiStartedEvent));
    if (started)
        ::SetEvent(started.get());
    return int(result);
}
