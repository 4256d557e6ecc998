// The settings dialog's page values, labels, menu and connection page, without windows.
#include "ConnectionPageLogic.h"
#include "FixedString.h"
#include "SettingValues.h"
#include "SettingsLabels.h"
#include "SettingsMenu.h"
#include "TestUtf8.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

namespace corvel {
namespace {

// A record with every field set to something a save must either keep or overwrite on purpose.
VPNCONFIG SampleRecord() {
    VPNCONFIG r = VPNCONFIG::Default(2);
    CopyToFixed(r.Name, u"東京&本社");
    CopyToFixed(r.PreSharedKey, u"secret-key");
    r.ServerIsIpAddress = 1;
    const uint8_t address[4] = {192, 168, 0, 1};
    r.SetServerAddress(address);
    for (size_t i = 4; i < VPNCONFIG::kServerBytes; ++i)
        r.Server[i] = uint8_t(i * 7); // what an earlier host name left behind the address
    r.AuthProtocol = 2;
    r.NoDestinationNetwork = 0;
    const uint8_t network[4] = {10, 1, 2, 0};
    std::copy(network, network + 4, r.DestinationNetwork);
    r.DestinationPrefixLength = 16;
    r.DnsAddressSet = 1;
    const uint8_t dns[4] = {8, 8, 4, 4};
    std::copy(dns, dns + 4, r.DnsAddress);
    r.UseRemoteGateway = 0;
    r.Reserved = 0xA5A5F00D;
    CopyToFixed(r.UserName, u"user1");
    CopyToFixed(r.Password, u"pass1");
    return r;
}

VPNCONFIG HostRecord() {
    VPNCONFIG r = SampleRecord();
    r.ServerIsIpAddress = 0;
    r.SetServerHostName(u"vpn.example.com");
    return r;
}

TEST(SettingValuesTest, RecordToValues) {
    // Values the page held before the record came: the other server mode's member and the
    // destination fields of a record without one keep them.
    CSettingValues before;
    before.ServerAddress = 0x01020304;
    before.ServerHostText = L"earlier.host";
    before.KeptDestination = 0x0B0C0D00;
    before.KeptPrefixIndex = 5;

    struct Case {
        const char* Name;
        std::function<void(VPNCONFIG&)> Change;
        std::function<void(const CSettingValues&)> Check;
    };
    const Case cases[] = {
        {"address mode", [](VPNCONFIG&) {},
         [](const CSettingValues& v) {
             EXPECT_EQ(v.NameText, L"東京&本社");
             EXPECT_EQ(v.PskText, L"secret-key");
             EXPECT_EQ(v.PskAgainText, L"secret-key");
             EXPECT_EQ(v.ServerChoice, 0);
             EXPECT_EQ(v.ServerAddress, 0xC0A80001u);
             EXPECT_EQ(v.ServerHostText, L"earlier.host");
             EXPECT_EQ(v.ServerLabelTextId(), 210u);
             EXPECT_EQ(v.AuthChoice, 2);
             EXPECT_EQ(v.KeptNoDestination, 0);
             EXPECT_EQ(v.KeptDestination, 0x0A010200u);
             EXPECT_EQ(v.KeptPrefixIndex, 8);
             EXPECT_EQ(v.KeptDnsAddress, 0x08080404u);
             EXPECT_EQ(v.UseVpnGateway, 0);
             EXPECT_EQ(v.UserText, L"user1");
             EXPECT_EQ(v.PasswordText, L"pass1");
         }},
        {"host mode", [](VPNCONFIG& r) { r = HostRecord(); },
         [](const CSettingValues& v) {
             EXPECT_EQ(v.ServerChoice, 1);
             EXPECT_EQ(v.ServerHostText, L"vpn.example.com");
             EXPECT_EQ(v.ServerAddress, 0x01020304u);
             EXPECT_EQ(v.ServerLabelTextId(), 211u);
         }},
        {"no destination network", [](VPNCONFIG& r) { r.NoDestinationNetwork = 7; },
         [](const CSettingValues& v) {
             EXPECT_EQ(v.KeptNoDestination, 1);
             EXPECT_EQ(v.KeptDestination, 0x0B0C0D00u);
             EXPECT_EQ(v.KeptPrefixIndex, 5);
         }},
        {"DNS address not set", [](VPNCONFIG& r) { r.DnsAddressSet = 0; },
         [](const CSettingValues& v) { EXPECT_EQ(v.KeptDnsAddress, 0u); }},
        {"authentication byte above the list", [](VPNCONFIG& r) { r.AuthProtocol = 200; },
         [](const CSettingValues& v) { EXPECT_EQ(v.AuthChoice, 200); }},
        {"strings without terminators", // from a file: read up to the end of each array
         [](VPNCONFIG& r) {
             std::fill(std::begin(r.Name), std::end(r.Name), u'N');
             std::fill(std::begin(r.Password), std::end(r.Password), u'P');
         },
         [](const CSettingValues& v) {
             EXPECT_EQ(v.NameText, std::wstring(33, L'N'));
             EXPECT_EQ(v.PasswordText, std::wstring(65, L'P'));
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        VPNCONFIG record = SampleRecord();
        c.Change(record);
        CSettingValues values = before;
        values.LoadFromRecord(record);
        c.Check(values);
    }
}

TEST(SettingValuesTest, ALoadedRecordIsWrittenBackUnchanged) {
    for (const VPNCONFIG& original : {SampleRecord(), HostRecord(), VPNCONFIG::Default(19)}) {
        CSettingValues values;
        values.LoadFromRecord(original);
        VPNCONFIG written = original;
        ASSERT_EQ(values.WriteToRecord(written), SettingWriteResult::Written);
        EXPECT_EQ(written.ToBytes(), original.ToBytes()) << std::string(ConnectionName(original).size(), 'x');
    }
}

TEST(SettingValuesTest, ValuesToRecord) {
    struct Case {
        const char* Name;
        VPNCONFIG Record;
        std::function<void(CSettingValues&)> Edit;
        std::function<void(const VPNCONFIG& before, const VPNCONFIG& after)> Check;
    };
    const Case cases[] = {
        {"host to address writes only the four address bytes", HostRecord(),
         [](CSettingValues& v) {
             v.ServerChoice = 0;
             v.ServerAddress = 0xC0A80001;
         },
         [](const VPNCONFIG& before, const VPNCONFIG& after) {
             EXPECT_EQ(after.ServerIsIpAddress, 1u);
             EXPECT_EQ(std::vector<uint8_t>(after.Server, after.Server + 4),
                       (std::vector<uint8_t>{0xC0, 0xA8, 0, 1}));
             EXPECT_TRUE(std::equal(after.Server + 4, std::end(after.Server), before.Server + 4));
         }},
        {"address to host", SampleRecord(),
         [](CSettingValues& v) {
             v.ServerChoice = 1;
             v.ServerHostText = L"gw.example.jp";
         },
         [](const VPNCONFIG&, const VPNCONFIG& after) {
             EXPECT_EQ(after.ServerIsIpAddress, 0u);
             EXPECT_EQ(after.GetServerHostName(), u"gw.example.jp");
         }},
        {"both key fields empty", SampleRecord(),
         [](CSettingValues& v) {
             v.PskText.clear();
             v.PskAgainText.clear();
         },
         [](const VPNCONFIG&, const VPNCONFIG& after) { EXPECT_EQ(FixedToString(after.PreSharedKey), u""); }},
        {"DNS address set to 0.0.0.0 is saved as not set, its bytes untouched",
         [] {
             VPNCONFIG r = SampleRecord();
             std::fill(std::begin(r.DnsAddress), std::end(r.DnsAddress), uint8_t(0));
             return r;
         }(),
         [](CSettingValues&) {},
         [](const VPNCONFIG&, const VPNCONFIG& after) {
             EXPECT_EQ(after.DnsAddressSet, 0u);
             EXPECT_EQ(std::vector<uint8_t>(after.DnsAddress, after.DnsAddress + 4),
                       std::vector<uint8_t>(4, 0));
         }},
        {"DNS address not set leaves the stored bytes",
         [] {
             VPNCONFIG r = SampleRecord();
             r.DnsAddressSet = 0;
             return r;
         }(),
         [](CSettingValues&) {},
         [](const VPNCONFIG&, const VPNCONFIG& after) {
             EXPECT_EQ(after.DnsAddressSet, 0u);
             EXPECT_EQ(std::vector<uint8_t>(after.DnsAddress, after.DnsAddress + 4),
                       (std::vector<uint8_t>{8, 8, 4, 4}));
         }},
        {"no destination network keeps the network and prefix bytes",
         [] {
             VPNCONFIG r = SampleRecord();
             r.NoDestinationNetwork = 1;
             return r;
         }(),
         [](CSettingValues&) {},
         [](const VPNCONFIG&, const VPNCONFIG& after) {
             EXPECT_EQ(after.NoDestinationNetwork, 1u);
             EXPECT_EQ(after.DestinationNetwork[0], 10);
             EXPECT_EQ(after.DestinationPrefixLength, 16);
         }},
        {"no list selection writes 255", SampleRecord(), [](CSettingValues& v) { v.AuthChoice = -1; },
         [](const VPNCONFIG&, const VPNCONFIG& after) { EXPECT_EQ(after.AuthProtocol, 255); }},
        {"the name is cut at 32 characters with its terminator", SampleRecord(),
         [](CSettingValues& v) { v.NameText = std::wstring(32, L'n'); },
         [](const VPNCONFIG&, const VPNCONFIG& after) {
             EXPECT_EQ(FixedToString(after.Name), std::u16string(32, u'n'));
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        CSettingValues values;
        values.LoadFromRecord(c.Record);
        c.Edit(values);
        VPNCONFIG record = c.Record;
        ASSERT_EQ(values.WriteToRecord(record), SettingWriteResult::Written);
        EXPECT_EQ(record.Reserved, c.Record.Reserved);
        c.Check(c.Record, record);
    }
}

TEST(SettingValuesTest, AFreshPageWritesTheDefaults) {
    VPNCONFIG record = SampleRecord();
    record.NoDestinationNetwork = 1;
    ASSERT_EQ(CSettingValues().WriteToRecord(record), SettingWriteResult::Written);
    EXPECT_EQ(record.ServerIsIpAddress, 1u);
    EXPECT_EQ(record.NoDestinationNetwork, 0u);
    EXPECT_EQ(std::vector<uint8_t>(record.DestinationNetwork, record.DestinationNetwork + 4),
              std::vector<uint8_t>(4, 0));
    EXPECT_EQ(record.DestinationPrefixLength, 24);
    EXPECT_EQ(record.AuthProtocol, 0);
    EXPECT_EQ(record.UseRemoteGateway, 1u);
    EXPECT_EQ(record.Reserved, 0xA5A5F00Du);
}

TEST(SettingValuesTest, AValueThatDoesNotFitItsFieldRefusesTheWholeWrite) {
    struct Case {
        const char* Name;
        std::function<void(CSettingValues&)> Edit;
        SettingWriteResult Expected;
    };
    const Case cases[] = {
        {"name 32", [](CSettingValues& v) { v.NameText = std::wstring(32, L'a'); },
         SettingWriteResult::Written},
        {"name 33", [](CSettingValues& v) { v.NameText = std::wstring(33, L'a'); },
         SettingWriteResult::ValueTooLong},
        {"key 128", [](CSettingValues& v) { v.PskText = v.PskAgainText = std::wstring(128, L'k'); },
         SettingWriteResult::Written},
        {"key 129", [](CSettingValues& v) { v.PskText = v.PskAgainText = std::wstring(129, L'k'); },
         SettingWriteResult::ValueTooLong},
        {"host 255",
         [](CSettingValues& v) {
             v.ServerChoice = 1;
             v.ServerHostText = std::wstring(255, L'h');
         },
         SettingWriteResult::Written},
        {"host 256 from a settings file",
         [](CSettingValues& v) {
             v.ServerChoice = 1;
             v.ServerHostText = std::wstring(256, L'h');
         },
         SettingWriteResult::ValueTooLong},
        {"host 256 in address mode is not written",
         [](CSettingValues& v) { v.ServerHostText = std::wstring(256, L'h'); }, SettingWriteResult::Written},
        {"user 65", [](CSettingValues& v) { v.UserText = std::wstring(65, L'u'); },
         SettingWriteResult::ValueTooLong},
        {"password 64", [](CSettingValues& v) { v.PasswordText = std::wstring(64, L'p'); },
         SettingWriteResult::Written},
        {"password 65", [](CSettingValues& v) { v.PasswordText = std::wstring(65, L'p'); },
         SettingWriteResult::ValueTooLong},
        {"key and re-entry differ", [](CSettingValues& v) { v.PskAgainText = L"other"; },
         SettingWriteResult::KeyMismatch},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        CSettingValues values;
        values.LoadFromRecord(SampleRecord());
        values.NameText = L"changed"; // a refused write must not leave even this behind
        c.Edit(values);
        VPNCONFIG record = SampleRecord();
        EXPECT_EQ(values.WriteToRecord(record), c.Expected);
        if (c.Expected != SettingWriteResult::Written) {
            EXPECT_EQ(record.ToBytes(), SampleRecord().ToBytes());
        }
    }
}

TEST(SettingValuesTest, KeyMismatchTextNamesTheRecordBeforeTheSave) {
    EXPECT_EQ(KeyMismatchText(L"鍵が違います。", SampleRecord()), L"鍵が違います。（東京&本社）");
}

TEST(SettingValuesTest, ServerGivenAndKeyConfirmed) {
    struct Case {
        int Choice;
        uint32_t Address;
        const wchar_t* Host;
        bool HasServer;
    };
    const Case cases[] = {
        {0, 0, L"host", false}, // address mode looks only at the address
        {0, 0x0A000001, L"", true},
        {1, 0x0A000001, L"", false}, // host mode looks only at the host name
        {1, 0, L"h", true},
        {-1, 0, L"h", true}, // no radio on counts as host mode, as the save writes it
    };
    for (const Case& c : cases) {
        CSettingValues v;
        v.ServerChoice = c.Choice;
        v.ServerAddress = c.Address;
        v.ServerHostText = c.Host;
        EXPECT_EQ(v.HasServerAddress(), c.HasServer) << c.Choice << " " << c.Address;
    }
    CSettingValues v;
    EXPECT_TRUE(v.IsPreSharedKeyConfirmed());
    v.PskText = L"a";
    EXPECT_FALSE(v.IsPreSharedKeyConfirmed());
    v.PskAgainText = L"a";
    EXPECT_TRUE(v.IsPreSharedKeyConfirmed());
}

// 10 pixels a character: a limit of 80 takes 7 characters, 175 takes 17.
int TenPixelsEach(std::wstring_view text) {
    return int(text.size()) * 10;
}

TEST(SettingsLabelsTest, FittedBeforeEscapedAndNumbered) {
    struct Case {
        const char* Name;
        std::wstring Actual;
        const wchar_t* Expected;
    };
    const Case cases[] = {
        {"tab, short", MakeTabTitle(1, L"A&B", TenPixelsEach), L"01：A&&B"},
        {"tab, cut and escaped after", MakeTabTitle(20, L"A&BCDEFGH", TenPixelsEach), L"20：A&&BC..."},
        {"tab, exactly the limit is cut", MakeTabTitle(3, L"ABCDE", TenPixelsEach), L"03：ABCD..."},
        {"tab, empty name", MakeTabTitle(9, L"", TenPixelsEach), L"09："},
        {"menu, never cut", MakeSettingsMenuLabel(12, L"A&B long long long name"),
         L"12：A&&B long long long name"},
        {"radio, fits", MakeConnectionRadioLabel(5, L"0123456789&12", TenPixelsEach), L"05：0123456789&&12"},
        {"radio, cut", MakeConnectionRadioLabel(5, L"0123456789ABCDEF", TenPixelsEach),
         L"05：0123456789ABCD..."},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.Actual, c.Expected) << c.Name;

    // However many "&" a name holds, a tab title fits its 100-character buffer.
    const std::wstring title = MakeTabTitle(1, std::wstring(60, L'&'), [](std::wstring_view) { return 0; });
    EXPECT_EQ(title.size(), kTabTitleMaxChars);
}

TEST(SettingsLabelsTest, NamesAreReadBoundedFromTheRecordImages) {
    std::vector<uint8_t> records(kVpnCount * VPNCONFIG::kSize);
    for (size_t k = 0; k < kVpnCount; ++k)
        VPNCONFIG::Default(k).Write(records.data() + k * VPNCONFIG::kSize);
    EXPECT_EQ(ConnectionNameAt(records.data(), 0), L"接続1");
    EXPECT_EQ(ConnectionNameAt(records.data(), 19), L"接続20");
    // Record 4 with a name of 33 characters and no terminator, a key right behind it.
    VPNCONFIG r = VPNCONFIG::Default(4);
    std::fill(std::begin(r.Name), std::end(r.Name), u'x');
    CopyToFixed(r.PreSharedKey, u"KEY");
    r.Write(records.data() + 4 * VPNCONFIG::kSize);
    EXPECT_EQ(ConnectionNameAt(records.data(), 4), std::wstring(33, L'x'));
    EXPECT_EQ(ConnectionName(r), std::wstring(33, L'x'));
}

TEST(SettingsMenuTest, SelectionOfACommand) {
    struct Case {
        unsigned Id;
        SettingsFileCommand Command;
        int Selection;
    };
    const Case cases[] = {
        {32800, SettingsFileCommand::None, 0},    {32809, SettingsFileCommand::None, 0},
        {32810, SettingsFileCommand::Import, 0},  {32811, SettingsFileCommand::Import, 1},
        {32830, SettingsFileCommand::Import, 20}, {32831, SettingsFileCommand::Export, 0},
        {32851, SettingsFileCommand::Export, 20}, {32852, SettingsFileCommand::None, 0},
    };
    for (const Case& c : cases) {
        const CSettingsFileSelection s = SelectionFromCommand(c.Id);
        EXPECT_EQ(s.Command, c.Command) << c.Id;
        EXPECT_EQ(s.Selection, c.Selection) << c.Id;
    }
}

TEST(SettingsMenuTest, FileRequestsCarryThePathAndTheSelection) {
    // "一括" of the import submenu: selection 0; the path in UTF-16LE without its terminator.
    EXPECT_EQ(BuildSettingsFileRequest(SelectionFromCommand(32810), L"C:\\a.bin"),
              (RequestFrame{0x21, 0,   0, 21,  0, 0,   0, 16,  'C', 0,   ':', 0, '\\',
                            0,    'a', 0, '.', 0, 'b', 0, 'i', 0,   'n', 0,   0}));
    // "接続20" of the export submenu: selection 20; a Japanese path keeps its UTF-16 units.
    EXPECT_EQ(BuildSettingsFileRequest(SelectionFromCommand(32851), L"設定"),
              (RequestFrame{0x22, 0, 0, 9, 0, 0, 0, 4, 0x2D, 0x8A, 0x9A, 0x5B, 20}));
    EXPECT_TRUE(BuildSettingsFileRequest(SelectionFromCommand(32800), L"x").empty());

    // Import opens an existing file; export saves, also under a new name (no
    // OFN_FILEMUSTEXIST). Both start at "*.bin" and append "bin" to a name without extension.
    const CSettingsFileDialog import = SettingsFileDialogOf(SettingsFileCommand::Import);
    const CSettingsFileDialog exportFile = SettingsFileDialogOf(SettingsFileCommand::Export);
    EXPECT_TRUE(import.Open);
    EXPECT_EQ(import.Flags, 0x201004ul);
    EXPECT_FALSE(exportFile.Open);
    EXPECT_EQ(exportFile.Flags, 0x200002ul);
    for (const CSettingsFileDialog& d : {import, exportFile}) {
        EXPECT_STREQ(d.DefaultExtension, L"bin");
        EXPECT_STREQ(d.InitialName, L"*.bin");
        EXPECT_STREQ(d.Filter, L"Binary File (*.bin)|*.bin|All File(*.*)|*.*||");
    }
}

// A "language.csv" from lines; `filler` lines of "x" where asked.
CLanguageFile FileOf(const std::vector<std::string>& lines) {
    std::string bytes;
    for (const std::string& line : lines)
        bytes += line + "\r\n";
    return CLanguageFile(bytes, test::DecodeUtf8);
}

void AddSection(std::vector<std::string>& lines, const char* header, int count, const char* prefix) {
    lines.push_back(header);
    for (int i = 1; i <= count; ++i)
        lines.push_back(std::string(prefix) + std::to_string(i));
}

void AddFiller(std::vector<std::string>& lines, int count) {
    for (int i = 0; i < count; ++i)
        lines.push_back("x");
}

struct MenuTextCount {
    int Main = 0, Import = 0, Export = 0;
};

MenuTextCount CountTexts(const std::vector<CSettingsMenuText>& texts) {
    MenuTextCount n;
    for (const CSettingsMenuText& t : texts) {
        if (t.Menu == SettingsMenuLevel::Import)
            ++n.Import;
        else if (t.Menu == SettingsMenuLevel::Export)
            ++n.Export;
        else
            ++n.Main;
    }
    return n;
}

TEST(SettingsMenuTest, TheThreeSectionsAndTheirTargets) {
    std::vector<std::string> lines;
    AddSection(lines, "[menusetvpnconnect]", 5, "m");
    lines[3].clear(); // line 3 empty: File position 1 keeps its text, line 4 still goes to Close
    AddSection(lines, "[menusetvpnconnect_2_0]", 21, "i");
    AddSection(lines, "[menusetvpnconnect_2_1]", 21, "e");
    CLanguageFile file = FileOf(lines);
    const std::vector<CSettingsMenuText> texts = ReadSettingsMenuTexts(file);
    ASSERT_EQ(texts.size(), 4u + 21 + 21);
    struct Expected {
        SettingsMenuLevel Menu;
        int Position;
        unsigned Id;
        const wchar_t* Text;
    };
    const Expected expected[] = {
        {SettingsMenuLevel::Bar, 0, 0, L"m1"},        {SettingsMenuLevel::File, 0, 0, L"m2"},
        {SettingsMenuLevel::File, 3, 32800, L"m4"},   {SettingsMenuLevel::File, 4, 32801, L"m5"},
        {SettingsMenuLevel::Import, 0, 32810, L"i1"}, {SettingsMenuLevel::Import, 20, 32830, L"i21"},
        {SettingsMenuLevel::Export, 0, 32831, L"e1"}, {SettingsMenuLevel::Export, 20, 32851, L"e21"},
    };
    const size_t at[] = {0, 1, 2, 3, 4, 24, 25, 45};
    for (size_t i = 0; i < std::size(expected); ++i) {
        const CSettingsMenuText& t = texts[at[i]];
        EXPECT_EQ(t.Menu, expected[i].Menu) << i;
        EXPECT_EQ(t.Position, expected[i].Position) << i;
        EXPECT_EQ(t.CommandId, expected[i].Id) << i;
        EXPECT_EQ(t.Text, expected[i].Text) << i;
    }
}

TEST(SettingsMenuTest, SubmenuSectionsAreSearchedOnWithinTheSharedCount) {
    struct Case {
        const char* Name;
        bool WithMain;
        int LinesBeforeMain;
        int FillerBeforeImport; // lines between the main section's last line and the import header
        int FillerBeforeExport; // lines between the import section's last line and the export header
        MenuTextCount Expected;
    };
    const Case cases[] = {
        {"adjacent", true, 0, 0, 0, {5, 21, 21}},
        {"import header 200 lines on", true, 0, 199, 0, {5, 21, 21}},
        {"import header 201 lines on", true, 0, 200, 0, {5, 0, 0}},
        {"export header 179 lines after the import section", true, 0, 0, 178, {5, 21, 21}},
        {"export header 180 lines after the import section", true, 0, 0, 179, {5, 21, 0}},
        {"the import section's distance does not shorten the export's", true, 0, 199, 178, {5, 21, 21}},
        {"submenu sections without the main section", false, 0, 0, 0, {0, 0, 0}},
        {"main header on line 700", true, 699, 0, 0, {5, 21, 21}},
        {"main header on line 701", true, 700, 0, 0, {0, 0, 0}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> lines;
        AddFiller(lines, c.LinesBeforeMain);
        if (c.WithMain)
            AddSection(lines, "[menusetvpnconnect]", 5, "m");
        AddFiller(lines, c.FillerBeforeImport);
        AddSection(lines, "[menusetvpnconnect_2_0]", 21, "i");
        AddFiller(lines, c.FillerBeforeExport);
        AddSection(lines, "[menusetvpnconnect_2_1]", 21, "e");
        CLanguageFile file = FileOf(lines);
        const MenuTextCount n = CountTexts(ReadSettingsMenuTexts(file));
        EXPECT_EQ(n.Main, c.Expected.Main) << c.Name;
        EXPECT_EQ(n.Import, c.Expected.Import) << c.Name;
        EXPECT_EQ(n.Export, c.Expected.Export) << c.Name;
    }
}

TEST(ConnectionPageLogicTest, IndexRadioAndStateLabel) {
    EXPECT_EQ(kConnectionControls[0].Radio, 1041u);
    EXPECT_EQ(kConnectionControls[0].StateLabel, 1072u);
    EXPECT_EQ(kConnectionControls[6].Radio, 1079u); // connection 7
    EXPECT_EQ(kConnectionControls[6].StateLabel, 1083u);
    EXPECT_EQ(kConnectionControls[15].Radio, 1044u);
    EXPECT_EQ(kConnectionControls[19].StateLabel, 1105u);
    std::set<unsigned> ids;
    for (size_t i = 0; i < kConnectionControls.size(); ++i) {
        EXPECT_EQ(ConnectionIndexOfRadio(kConnectionControls[i].Radio), int(i));
        EXPECT_EQ(ConnectionIndexOfRadio(kConnectionControls[i].StateLabel), -1);
        ids.insert(kConnectionControls[i].Radio);
        ids.insert(kConnectionControls[i].StateLabel);
    }
    EXPECT_EQ(ids.size(), 40u);
    EXPECT_EQ(ConnectionIndexOfRadio(1076), -1); // the button
}

TEST(ConnectionPageLogicTest, ShowConnectionStates) {
    CConnectionStates s;
    EXPECT_FALSE(s.Show(1, 20));
    EXPECT_FALSE(s.Show(1, -1));
    EXPECT_EQ(s.ConnectedFlag, 0);
    EXPECT_EQ(s.ActiveIndex, 0);

    for (const int up : {1, 2}) { // connected and connecting alike
        CConnectionStates t;
        ASSERT_TRUE(t.Show(up, 6));
        EXPECT_EQ(t.ActiveIndex, 6);
        for (size_t i = 0; i < 20; ++i)
            EXPECT_EQ(t.StateTextIds[i], i == 6 ? 201u : 202u) << up << " " << i;
        EXPECT_EQ(t.ButtonTextId(6), 203u);
        EXPECT_EQ(t.ButtonTextId(5), 204u);
        // An out-of-range index leaves everything as it was.
        EXPECT_FALSE(t.Show(0, 20));
        EXPECT_EQ(t.StateTextIds[6], 201u);
        // Down with 0 and 0: every label 202, ActiveIndex kept, the button offers connect.
        ASSERT_TRUE(t.Show(0, 0));
        EXPECT_EQ(t.ActiveIndex, 6);
        EXPECT_EQ(t.StateTextIds[6], 202u);
        EXPECT_EQ(t.ButtonTextId(6), 204u);
    }
}

TEST(ConnectionPageLogicTest, OpeningAndConnectionChanges) {
    const COpeningView up = DecideOpeningView(true, 6);
    EXPECT_EQ(up.SelectedIndex, 6);
    EXPECT_TRUE(up.ShowUp);
    EXPECT_EQ(up.ButtonTextId, 203u);
    EXPECT_FALSE(up.Input.SettingPagesEnabled);
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(up.Input.RadioEnabled(i), i == 6) << i;

    for (const COpeningView& down : {DecideOpeningView(false, 6), DecideOpeningView(true, 20)}) {
        EXPECT_EQ(down.SelectedIndex, 0);
        EXPECT_FALSE(down.ShowUp);
        EXPECT_EQ(down.ButtonTextId, 204u);
        EXPECT_TRUE(down.Input.SettingPagesEnabled);
        EXPECT_EQ(down.Input.OnlyRadio, -1);
    }

    const CInputEnabling later = DecideConnectionInput(true, 3);
    EXPECT_FALSE(later.SettingPagesEnabled);
    EXPECT_TRUE(later.RadioEnabled(3));
    EXPECT_FALSE(later.RadioEnabled(4));
    const CInputEnabling downAgain = DecideConnectionInput(false, 3);
    EXPECT_TRUE(downAgain.SettingPagesEnabled);
    EXPECT_TRUE(downAgain.RadioEnabled(4));
}

} // namespace
} // namespace corvel
