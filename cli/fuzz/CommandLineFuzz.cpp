// The console client's command line: the input is split into words at zero units. The first
// byte picks the unit width: 2 bytes (UTF-16 as Windows passes it) or 4 (any wide character a
// 32-bit wchar_t can hold, code points above U+FFFF and values that are none included).
#include "CommandLine.h"

#include "Records.h"
#include "WideText.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace corvel;
using namespace corvel::cli;

namespace {

void Require(bool condition) {
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    if (size < 1)
        return 0;
    const size_t width = (bytes[0] & 1) != 0 ? 4 : 2;
    std::vector<std::wstring> words(1);
    for (size_t at = 1; at + width <= size; at += width) {
        uint32_t unit = 0;
        for (size_t k = 0; k < width; ++k)
            unit |= uint32_t(bytes[at + k]) << (8 * k);
        if (unit == 0)
            words.emplace_back();
        else
            words.back().push_back(wchar_t(unit));
    }
    std::vector<const wchar_t*> argv{L"corvelc.exe"};
    for (const std::wstring& w : words)
        argv.push_back(w.c_str());

    CommandLineOptions options;
    const uint32_t rc = ParseCommandLine(options, int(argv.size()), argv.data());
    Require(rc == 0 || rc == 87 || rc == 160);
    if (rc != 0)
        return 0;
    Require(options.VpnIndex < kVpnCount);
    Require(options.Command == CommandWord::Disconnect || options.Command == CommandWord::Connect ||
            options.Command == CommandWord::None);
    Require(options.UserName.size() <= kCredentialChars && options.Password.size() <= kCredentialChars);
    Require(options.IdPassOption || (options.UserName.empty() && options.Password.empty()));
    // What the credentials dialog is given comes back unchanged.
    Require(Utf16FromWide(WideFromUtf16(options.UserName)) == options.UserName);
    Require(Utf16FromWide(WideFromUtf16(options.Password)) == options.Password);
    return 0;
}
