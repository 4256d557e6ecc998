// corvel-probe: shows that a running CORVELSVC answers, by loading the 20 connection
// records over the command pipe and printing their names (UTF-8, one a line).
// Usage: corvel-probe [--wait <seconds>]   waits that long for the pipe to appear (default 30).
// Exit code 0 when all 20 names were read, else the first Win32 error (cut to 8 bits by a
// Linux shell).
#include "E2eHarness.h"
#include "E2eRequests.h"

#include <windows.h>

#include <cwchar>
#include <string>

using namespace corvel::e2e;

int _dowildcard = 0; // arguments reach the program unchanged

namespace {

void Print(const std::wstring& text) {
    const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    const int n =
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    if (n <= 0)
        return;
    std::string bytes(size_t(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), bytes.data(), n, nullptr, nullptr);
    DWORD written = 0;
    ::WriteFile(out, bytes.data(), DWORD(bytes.size()), &written, nullptr);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    DWORD waitSeconds = 30;
    for (int i = 1; i < argc; ++i) {
        if (std::wcscmp(argv[i], L"--wait") == 0 && i + 1 < argc) {
            waitSeconds = DWORD(std::wcstoul(argv[++i], nullptr, 10));
        } else {
            Print(L"usage: corvel-probe [--wait <seconds>]\n");
            return ERROR_INVALID_PARAMETER;
        }
    }
    DWORD error = WaitForCommandPipe(waitSeconds * 1000);
    if (error != 0) {
        Print(L"corvel-probe: " + std::wstring(corvel::kServicePipeName) + L" did not appear (" +
              std::to_wstring(error) + L")\n");
        return int(error);
    }
    const CCommandClient client(10000);
    for (uint8_t i = 0; i < 20; ++i) {
        std::u16string name;
        uint32_t result = 0;
        error = RequestConnectionName(client, i, name, result);
        if (error == 0 && result != 0)
            error = result;
        if (error != 0) {
            Print(L"corvel-probe: CMD_LOAD_CONFIG " + std::to_wstring(i) + L" failed (" +
                  std::to_wstring(error) + L")\n");
            return int(error);
        }
        Print((i < 9 ? L" " : L"") + std::to_wstring(i + 1) + L": " + Wide(name) + L"\n");
    }
    return 0;
}
