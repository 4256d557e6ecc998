#pragma once
// The console client's command line:
//   corvelc connect [vpnN] [/idpass USER PASSWORD] [/win]
//   corvelc disconnect
// Words are compared exactly (case-sensitive); the first error ends parsing.
#include <cstdint>
#include <string>
#include <string_view>

namespace corvel::cli {

enum class CommandWord : uint8_t {
    Disconnect = 0,
    Connect = 1,
    None = 2, // no command word: refused after the mutex test
};

// Longest "/idpass" user name or password, in UTF-16 units: what the records and AUTHINFO hold
// besides the terminator.
inline constexpr size_t kCredentialChars = 64;

struct CommandLineOptions {
    CommandWord Command = CommandWord::None;
    uint8_t VpnIndex = 0; // 0 to 19: the connection number minus 1
    bool WinOption = false;
    bool IdPassOption = false;
    // From "/idpass"; during connect, the credentials to send. UTF-16 as the records and
    // frames carry them, whatever the platform's wchar_t.
    std::u16string UserName;
    std::u16string Password;
    // "language.csv" next to the program; set by the program before parsing (empty: the
    // dialogs keep their built-in texts). Parsing leaves it alone.
    std::wstring LanguagePath;

    CommandWord GetCommand() const { return Command; }
};

// Fills `options` from argv[1] to argv[argc - 1] as the runtime split them. 0, or 87 (no word,
// a word twice, "/idpass" without two words, an unknown word) or 160 (a bad "vpn" word, an
// "/idpass" string longer than 64 units). A "vpn" word is "vpn" and one or two decimal digits
// naming 1 to 20 ("vpn07" is 7); the two words after "/idpass" are its values whatever they
// spell.
uint32_t ParseCommandLine(CommandLineOptions& options, int argc, const wchar_t* const* argv);

// Without one pair of enclosing double quotes, when the text is longer than two characters.
std::wstring StripQuotes(std::wstring_view text);

} // namespace corvel::cli
