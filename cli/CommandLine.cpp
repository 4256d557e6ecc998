#include "CommandLine.h"

#include "ExitCodes.h"
#include "WideText.h"

namespace corvel::cli {

namespace {

constexpr std::wstring_view kVpnPrefix = L"vpn";

bool StartsWith(std::wstring_view word, std::wstring_view prefix) {
    return word.substr(0, prefix.size()) == prefix;
}

bool IsDigit(wchar_t c) {
    return c >= L'0' && c <= L'9';
}

// One or two decimal digits after "vpn", naming 1 to 20; anything else (a sign, a blank, a
// letter after the number) is refused rather than read up to the first non-digit.
uint32_t ParseVpnWord(std::wstring_view word, uint8_t& vpnIndex) {
    const std::wstring_view digits = word.substr(kVpnPrefix.size());
    if (digits.empty() || digits.size() > 2)
        return ExitCode::BadArguments;
    unsigned number = 0;
    for (wchar_t c : digits) {
        if (!IsDigit(c))
            return ExitCode::BadArguments;
        number = number * 10 + unsigned(c - L'0');
    }
    if (number < 1 || number > 20)
        return ExitCode::BadArguments;
    vpnIndex = uint8_t(number - 1);
    return ExitCode::Success;
}

uint32_t TakeCredential(const wchar_t* word, std::u16string& value) {
    std::u16string text = Utf16FromWide(StripQuotes(word != nullptr ? word : L""));
    if (text.size() > kCredentialChars)
        return ExitCode::BadArguments;
    value = std::move(text);
    return ExitCode::Success;
}

} // namespace

uint32_t ParseCommandLine(CommandLineOptions& options, int argc, const wchar_t* const* argv) {
    if (argc <= 1 || argv == nullptr)
        return ExitCode::InvalidParameter;
    options.Command = CommandWord::None;
    options.VpnIndex = 0;
    options.WinOption = false;
    options.IdPassOption = false;
    options.UserName.clear();
    options.Password.clear();

    bool commandSeen = false;
    bool vpnSeen = false;
    for (int i = 1; i < argc; ++i) {
        const std::wstring_view word = argv[i] != nullptr ? argv[i] : L"";
        if (word == L"connect" || word == L"disconnect") {
            if (commandSeen)
                return ExitCode::InvalidParameter;
            commandSeen = true;
            options.Command = word == L"connect" ? CommandWord::Connect : CommandWord::Disconnect;
        } else if (StartsWith(word, kVpnPrefix)) {
            if (vpnSeen)
                return ExitCode::InvalidParameter;
            vpnSeen = true;
            if (uint32_t rc = ParseVpnWord(word, options.VpnIndex))
                return rc;
        } else if (word == L"/win") {
            if (options.WinOption)
                return ExitCode::InvalidParameter;
            options.WinOption = true;
        } else if (word == L"/idpass") {
            if (options.IdPassOption || argc - i - 1 < 2)
                return ExitCode::InvalidParameter;
            if (uint32_t rc = TakeCredential(argv[i + 1], options.UserName))
                return rc;
            if (uint32_t rc = TakeCredential(argv[i + 2], options.Password))
                return rc;
            options.IdPassOption = true;
            i += 2; // the values are never words of their own
        } else {
            return ExitCode::InvalidParameter;
        }
    }
    return ExitCode::Success;
}

std::wstring StripQuotes(std::wstring_view text) {
    if (text.size() > 2 && text.front() == L'"' && text.back() == L'"')
        return std::wstring(text.substr(1, text.size() - 2));
    return std::wstring(text);
}

} // namespace corvel::cli
