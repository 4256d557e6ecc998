// corvelc.exe: connect and disconnect from scripts; the outcome is the exit code, nothing is
// written to the console.
#include "CommandHostWin.h"
#include "ConsoleCommands.h"

#include "App.h"
#include "UiTextWin.h"

#include <windows.h>

// A password reaches argv as it was typed: no wildcard expansion by the runtime.
int _dowildcard = 0;

namespace {

// The dialogs need the framework's application object; it has nothing of its own.
corvel::CWinApp theApp;

} // namespace

int wmain(int argc, wchar_t** argv) {
    if (!corvel::AfxWinInit(::GetModuleHandleW(nullptr), ::GetCommandLineW()))
        return ERROR_INTERNAL_ERROR;

    corvel::cli::CommandLineOptions options;
    corvel::BuildLanguagePath(options.LanguagePath); // empty on failure: the built-in texts
    corvel::cli::CWin32CommandHost host;
    return int(corvel::cli::RunCommandLine(options, argc, argv, host));
}
