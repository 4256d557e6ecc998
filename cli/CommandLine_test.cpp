#include "CommandLine.h"

#include "ExitCodes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace corvel::cli {
namespace {

struct Parsed {
    uint32_t Result;
    CommandLineOptions Options;
};

Parsed Parse(const std::vector<std::wstring>& words) {
    std::vector<const wchar_t*> argv{L"corvelc.exe"};
    for (const std::wstring& w : words)
        argv.push_back(w.c_str());
    Parsed p;
    p.Result = ParseCommandLine(p.Options, int(argv.size()), argv.data());
    return p;
}

std::wstring Words(const std::vector<std::wstring>& words) {
    std::wstring all;
    for (const std::wstring& w : words)
        all += L"[" + w + L"]";
    return all;
}

std::string Trace(const std::vector<std::wstring>& words) {
    const std::wstring all = Words(words);
    return std::string(all.begin(), all.end()); // ASCII enough for a trace
}

TEST(ParseCommandLine, EachWordRuleAndTheFirstErrorWins) {
    const std::wstring name64(64, L'u');
    const std::wstring name65(65, L'u');
    struct Case {
        std::vector<std::wstring> Words;
        uint32_t Expected;
    };
    const Case cases[] = {
        {{}, 87},
        {{L"Connect"}, 87}, // case-sensitive
        {{L"connect", L"VPN3"}, 87},
        {{L"connect", L"/WIN"}, 87},
        {{L"connect", L"bogus"}, 87},
        {{L""}, 87},
        {{L"connect", L"connect"}, 87},
        {{L"connect", L"disconnect"}, 87},
        {{L"disconnect", L"connect"}, 87},
        {{L"disconnect", L"disconnect"}, 87},
        {{L"connect", L"vpn1", L"vpn2"}, 87},
        {{L"connect", L"/win", L"/win"}, 87},
        {{L"connect", L"/idpass"}, 87},
        {{L"connect", L"/idpass", L"alice"}, 87},
        {{L"connect", L"/idpass", L"a", L"b", L"/idpass", L"c", L"d"}, 87},
        // vpn words: "vpn" and one or two decimal digits naming 1 to 20, nothing else.
        {{L"connect", L"vpn"}, 160},
        {{L"connect", L"vpn0"}, 160},
        {{L"connect", L"vpn00"}, 160},
        {{L"connect", L"vpn21"}, 160},
        {{L"connect", L"vpn99"}, 160},
        {{L"connect", L"vpn100"}, 160},
        {{L"connect", L"vpn1x"}, 160},
        {{L"connect", L"vpnx1"}, 160},
        {{L"connect", L"vpn+1"}, 160},
        {{L"connect", L"vpn-1"}, 160},
        {{L"connect", L"vpn 1"}, 160},
        {{L"connect", L"vpn1 "}, 160},
        {{L"connect", L"vpn\uFF11"}, 160}, // a full-width digit
        {{L"connect", L"vpnx"}, 160},
        {{L"connect", L"vpnA"}, 160},  // 'A' - '0' would be 17
        {{L"connect", L"vpn1:"}, 160}, // ':' - '0' would make it 20
        // Credentials: 64 units at most.
        {{L"connect", L"/idpass", name65, L"pw"}, 160},
        {{L"connect", L"/idpass", L"alice", name65}, 160},
        // The first error ends parsing.
        {{L"connect", L"bogus", L"vpn99"}, 87},
        {{L"connect", L"vpn99", L"bogus"}, 160},
        {{L"connect", L"vpn99", L"vpn1"}, 160},
        {{L"connect", L"vpn1", L"vpn99"}, 87}, // a second vpn word, whatever its number
        {{L"connect", L"/idpass", name65, name64, L"bogus"}, 160},
        {{L"connect", L"/idpass", L"alice", L"pw", L"connect"}, 87},
        {{L"bogus", L"connect", L"connect"}, 87},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Parse(c.Words).Result, c.Expected) << Trace(c.Words);
    }
}

TEST(ParseCommandLine, FillsTheOptionsOfAcceptedLines) {
    const std::wstring name64(64, L'u');
    struct Case {
        std::vector<std::wstring> Words;
        CommandWord Command;
        int VpnIndex;
        bool Win, IdPass;
        std::u16string User, Password;
    };
    const Case cases[] = {
        {{L"connect"}, CommandWord::Connect, 0, false, false, u"", u""},
        {{L"disconnect"}, CommandWord::Disconnect, 0, false, false, u"", u""},
        {{L"connect", L"vpn3"}, CommandWord::Connect, 2, false, false, u"", u""},
        {{L"vpn3", L"connect"}, CommandWord::Connect, 2, false, false, u"", u""},
        {{L"connect", L"vpn07"}, CommandWord::Connect, 6, false, false, u"", u""},
        {{L"connect", L"vpn1"}, CommandWord::Connect, 0, false, false, u"", u""},
        {{L"connect", L"vpn20"}, CommandWord::Connect, 19, false, false, u"", u""},
        {{L"connect", L"vpn9", L"/win"}, CommandWord::Connect, 8, true, false, u"", u""},
        {{L"/win", L"/idpass", L"alice", L"secret", L"connect"},
         CommandWord::Connect,
         0,
         true,
         true,
         u"alice",
         u"secret"},
        // Accepted with "disconnect", no effect there.
        {{L"disconnect", L"/win", L"vpn4"}, CommandWord::Disconnect, 3, true, false, u"", u""},
        // No command word passes parsing.
        {{L"vpn5"}, CommandWord::None, 4, false, false, u"", u""},
        {{L"/win"}, CommandWord::None, 0, true, false, u"", u""},
        // The two words after "/idpass" are its values, whatever they spell.
        {{L"/idpass", L"connect", L"disconnect"},
         CommandWord::None,
         0,
         false,
         true,
         u"connect",
         u"disconnect"},
        {{L"connect", L"/idpass", L"vpn3", L"/win"}, CommandWord::Connect, 0, false, true, u"vpn3", u"/win"},
        {{L"connect", L"/idpass", L"/idpass", L"/idpass"},
         CommandWord::Connect,
         0,
         false,
         true,
         u"/idpass",
         u"/idpass"},
        // Quotes: one enclosing pair is removed; two quote characters alone stay.
        {{L"connect", L"/idpass", L"\"alice smith\"", L"\"\""},
         CommandWord::Connect,
         0,
         false,
         true,
         u"alice smith",
         u"\"\""},
        {{L"connect", L"/idpass", L"\"" + name64 + L"\"", L"\"pw"},
         CommandWord::Connect,
         0,
         false,
         true,
         std::u16string(64, u'u'),
         u"\"pw"},
        {{L"connect", L"/idpass", name64, L""},
         CommandWord::Connect,
         0,
         false,
         true,
         std::u16string(64, u'u'),
         u""},
    };
    for (const Case& c : cases) {
        const Parsed p = Parse(c.Words);
        ASSERT_EQ(p.Result, 0u) << Trace(c.Words);
        EXPECT_EQ(p.Options.GetCommand(), c.Command) << Trace(c.Words);
        EXPECT_EQ(p.Options.VpnIndex, c.VpnIndex) << Trace(c.Words);
        EXPECT_EQ(p.Options.WinOption, c.Win) << Trace(c.Words);
        EXPECT_EQ(p.Options.IdPassOption, c.IdPass) << Trace(c.Words);
        EXPECT_EQ(p.Options.UserName, c.User) << Trace(c.Words);
        EXPECT_EQ(p.Options.Password, c.Password) << Trace(c.Words);
    }
}

TEST(ParseCommandLine, CredentialsAreCountedInUtf16Units) {
    std::wstring face32, face33;
    for (int i = 0; i < 32; ++i)
        face32 += L"\U0001F600"; // two UTF-16 units each
    face33 = face32 + L"\U0001F600";
    const Parsed fits = Parse({L"connect", L"/idpass", face32, L"pw"});
    ASSERT_EQ(fits.Result, 0u);
    EXPECT_EQ(fits.Options.UserName.size(), 64u);
    EXPECT_EQ(fits.Options.UserName.substr(0, 2), u"\U0001F600");
    EXPECT_EQ(Parse({L"connect", L"/idpass", face33, L"pw"}).Result, 160u);
}

TEST(ParseCommandLine, LeavesTheLanguagePathAlone) {
    std::vector<const wchar_t*> argv{L"corvelc.exe", L"connect"};
    CommandLineOptions options;
    options.LanguagePath = L"C:\\Corvel\\language.csv";
    ASSERT_EQ(ParseCommandLine(options, 2, argv.data()), 0u);
    EXPECT_EQ(options.LanguagePath, L"C:\\Corvel\\language.csv");
    EXPECT_EQ(ParseCommandLine(options, 1, argv.data()), 87u);
    EXPECT_EQ(ParseCommandLine(options, 0, nullptr), 87u);
}

TEST(StripQuotes, RemovesOneEnclosingPairOfTextsLongerThanTwo) {
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"", L""},         {L"\"", L"\""},   {L"\"\"", L"\"\""},
        {L"\"\"\"", L"\""}, {L"\"a\"", L"a"}, {L"\"\"a\"\"", L"\"a\""},
        {L"\"a", L"\"a"},   {L"a\"", L"a\""}, {L"a\"b\"c", L"a\"b\"c"},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(StripQuotes(text), expected) << std::wstring(text).size();
    }
}

} // namespace
} // namespace corvel::cli
