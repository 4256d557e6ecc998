#include "CommandLine.h"

#include "ExitCodes.h"

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
    std::u16string text = WideToUtf16(StripQuotes(word != nullptr ? word : L""));
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

std::u16string WideToUtf16(std::wstring_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (wchar_t c : text) {
        if constexpr (sizeof(wchar_t) == sizeof(char16_t)) {
            out.push_back(char16_t(c));
        } else {
            const uint32_t cp = uint32_t(c);
            if (cp <= 0xFFFF) {
                out.push_back(char16_t(cp));
            } else if (cp <= 0x10FFFF) {
                out.push_back(char16_t(0xD800 + ((cp - 0x10000) >> 10)));
                out.push_back(char16_t(0xDC00 + ((cp - 0x10000) & 0x3FF)));
            } else {
                out.push_back(u'\uFFFD');
            }
        }
    }
    return out;
}

std::wstring Utf16ToWide(std::u16string_view text) {
    std::wstring out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if constexpr (sizeof(wchar_t) == sizeof(char16_t)) {
            out.push_back(wchar_t(c));
        } else {
            const bool pair = c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
                              text[i + 1] <= 0xDFFF;
            if (pair) {
                out.push_back(
                    wchar_t(0x10000 + ((uint32_t(c) - 0xD800) << 10) + (uint32_t(text[i + 1]) - 0xDC00)));
                ++i;
            } else {
                out.push_back(wchar_t(c));
            }
        }
    }
    return out;
}

} // namespace corvel::cli
