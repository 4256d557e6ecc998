#include "ByteOrder.h"
#include "CommandData.h"
#include "ConfigItems.h"
#include "FixedString.h"
#include "Notifications.h"
#include "Protocol.h"
#include "Records.h"
#include "Replies.h"
#include "Requests.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <sstream>

using namespace corvel;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Hex(const std::string& text) {
    Bytes b;
    std::istringstream in(text);
    std::string tok;
    while (in >> tok)
        b.push_back(uint8_t(std::stoul(tok, nullptr, 16)));
    return b;
}

Bytes Cat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::string ToHex(const Bytes& b) {
    std::string s;
    char buf[4];
    for (uint8_t x : b) {
        snprintf(buf, sizeof buf, "%02X ", x);
        s += buf;
    }
    return s;
}

// What the service does with one request, using only the parsers and the reply builder;
// the connection engine and the store are replaced by fixed states and default records.
struct Outcome {
    enum Kind { Reply, NotInTable, NoEffect, Forward } kind;
    Bytes bytes; // the reply, or the forwarded notification
};

struct FakeService {
    uint8_t states[20] = {};
    uint32_t lastRasError = 0;

    Outcome Serve(const Bytes& request) const {
        const CommandHeader head = CommandHeader::Read(request.data());
        EXPECT_EQ(size_t(head.DataLength) + 4, request.size()) << "malformed test request";
        const CommandInfo* info = FindCommand(head.CommandId);
        if (!info)
            return {Outcome::NotInTable, {}};
        // DATA in a heap buffer of exactly its size, so that any over-read shows.
        std::unique_ptr<uint8_t[]> data(new uint8_t[head.DataLength + 1]);
        std::copy(request.begin() + 4, request.end(), data.get());
        const uint8_t* d = data.get();
        const uint32_t n = head.DataLength;
        uint32_t rc = 0;
        Bytes payload;
        switch (head.CommandId) {
        case CMD_CONNECT: {
            ConnectRequest r;
            rc = ParseConnect(d, n, r);
            payload = {r.VpnIndex};
            break;
        }
        case CMD_DISCONNECT: {
            DisconnectRequest r;
            rc = ParseDisconnect(d, n, r);
            payload = {r.VpnIndex};
            break;
        }
        case CMD_SAVE_CONFIG: {
            SaveConfigRequest r;
            rc = ParseSaveConfig(d, n, r);
            if (rc == 0 && IsVpnConfigItem(r.ConfigItemId) && states[r.ConfigItemId] != 0)
                rc = ResultCode::AccessDenied;
            payload = {r.ConfigItemId};
            break;
        }
        case CMD_LOAD_CONFIG: {
            LoadConfigRequest r;
            rc = ParseLoadConfig(d, n, r);
            Bytes item;
            if (rc == 0) {
                switch (GetConfigItemRule(r.ConfigItemId).Load) {
                case LoadAction::VpnConfig:
                    item = VPNCONFIG::Default(r.ConfigItemId).ToBytes();
                    break;
                case LoadAction::LogInfo:
                    item = LogInfo().ToBytes();
                    break;
                case LoadAction::Empty:
                    break;
                }
            }
            EXPECT_EQ(BuildLoadConfigPayload(r.ConfigItemId, item.data(), uint32_t(item.size()), payload),
                      0u);
            break;
        }
        case CMD_IMPORT:
        case CMD_EXPORT: {
            FileRequest r;
            rc = ParseFileRequest(d, n, r);
            break;
        }
        case CMD_VPN_STATUS:
            rc = ParseVpnStatus(d, n);
            payload.assign(states, states + 20);
            break;
        case CMD_RAS_ERR:
            rc = ParseRasErr(d, n);
            payload = BuildRasErrPayload(rc == 0 ? lastRasError : 0);
            break;
        case CMD_VPN_NOTIFY: {
            VpnNotifyRequest r;
            if (ParseVpnNotify(d, n, r) != 0)
                return {Outcome::NoEffect, {}};
            auto b = VpnNotifyMessage{r.VpnIndex, r.ConnectStatus, r.QuitGui}.ToBytes();
            return {Outcome::Forward, Bytes(b.begin(), b.end())};
        }
        case CMD_RAS_ERR_MSG: {
            RasErrMsgRequest r;
            if (ParseRasErrMsg(d, n, r) != 0)
                return {Outcome::NoEffect, {}};
            auto b = RasErrMsgMessage{r.RasError}.ToBytes();
            return {Outcome::Forward, Bytes(b.begin(), b.end())};
        }
        case CMD_ERR_RESTART_CHK:
            rc = ParseErrRestartChk(d, n);
            break;
        }
        Outcome out{Outcome::Reply, {}};
        EXPECT_EQ(BuildReply(head.CommandId, rc, payload.data(), payload.size(), out.bytes), 0u);
        return out;
    }
};

struct ExchangeCase {
    const char* name;
    Bytes request;
    Outcome::Kind kind;
    Bytes expected;
};

Bytes Filler(size_t n) {
    return Bytes(n, 0x5A);
}

} // namespace

TEST(Exchange, RequestsAreAnsweredAsTheProtocolFixes) {
    FakeService service;
    service.states[5] = ConnectStatus::Connected;
    service.lastRasError = 691;
    const uint8_t status[20] = {0, 0, 0, 0, 0, 1};
    const Bytes statusBytes(status, status + 20);
    const Bytes authIndex20 = Cat(Hex("14"), Bytes(260, 0));

    const ExchangeCase cases[] = {
        {"restart check", Hex("C1 00 00 00"), Outcome::Reply, Hex("41 00 00 04 00 00 00 00")},
        {"restart check data ignored", Hex("C1 00 00 01 07"), Outcome::Reply, Hex("41 00 00 04 00 00 00 00")},
        {"connect length 9", Cat(Hex("01 00 00 09"), Bytes(9, 0)), Outcome::Reply,
         Hex("81 00 00 05 00 00 00 0B FF")},
        {"connect empty", Hex("01 00 00 00"), Outcome::Reply, Hex("81 00 00 05 00 00 00 0B FF")},
        {"connect U=0 P=0", Hex("01 00 00 0A 03 01 00 00 00 00 00 00 00 00"), Outcome::Reply,
         Hex("81 00 00 05 00 00 00 00 03")},
        {"connect U=0 P>0", Hex("01 00 00 0C 03 01 00 00 00 00 00 00 00 02 41 00"), Outcome::Reply,
         Hex("81 00 00 05 00 00 00 0B 03")},
        {"connect U+10 passes 32 bits", Hex("01 00 00 0A 03 01 FF FF FF F8 00 00 00 00"), Outcome::Reply,
         Hex("81 00 00 05 00 00 00 0B 03")},
        {"connect U+P+10 passes 32 bits", Hex("01 00 00 0C 03 01 00 00 00 02 41 00 FF FF FF FF"),
         Outcome::Reply, Hex("81 00 00 05 00 00 00 0B 03")},
        {"connect password cut", Hex("01 00 00 0D 03 01 00 00 00 02 41 00 00 00 00 02 42"), Outcome::Reply,
         Hex("81 00 00 05 00 00 00 0B 03")},
        {"connect index 20 before lengths", Hex("01 00 00 0A 14 01 FF FF FF FF 00 00 00 00"), Outcome::Reply,
         Hex("81 00 00 05 00 00 00 57 14")},
        {"connect odd user bytes", Hex("01 00 00 0D 03 01 00 00 00 03 41 00 42 00 00 00 00"), Outcome::Reply,
         Hex("81 00 00 05 00 00 00 0B 03")},
        {"connect odd password bytes", Hex("01 00 00 0F 03 01 00 00 00 02 41 00 00 00 00 01 42 00 00"),
         Outcome::Reply, Hex("81 00 00 05 00 00 00 0B 03")},
        {"connect with both strings",
         Hex("01 00 00 12 03 01 00 00 00 04 41 00 00 00 00 00 00 04 42 00 00 00"), Outcome::Reply,
         Hex("81 00 00 05 00 00 00 00 03")},
        {"disconnect third", Hex("02 00 00 01 02"), Outcome::Reply, Hex("82 00 00 05 00 00 00 00 02")},
        {"disconnect extra bytes", Hex("02 00 00 03 02 FF FF"), Outcome::Reply,
         Hex("82 00 00 05 00 00 00 00 02")},
        {"disconnect empty", Hex("02 00 00 00"), Outcome::Reply, Hex("82 00 00 05 00 00 00 0B 00")},
        {"disconnect index 20", Hex("02 00 00 01 14"), Outcome::Reply, Hex("82 00 00 05 00 00 00 57 14")},
        {"save item 3 length 1125", Cat(Hex("11 00 04 6A 03 00 00 04 65"), Filler(1125)), Outcome::Reply,
         Hex("91 00 00 05 00 00 00 0D 03")},
        {"save item 3 whole record", Cat(Hex("11 00 04 6B 03 00 00 04 66"), VPNCONFIG::Default(3).ToBytes()),
         Outcome::Reply, Hex("91 00 00 05 00 00 00 00 03")},
        {"save record of a connected connection",
         Cat(Hex("11 00 04 6B 05 00 00 04 66"), VPNCONFIG::Default(5).ToBytes()), Outcome::Reply,
         Hex("91 00 00 05 00 00 00 05 05")},
        {"save shorter than 5", Hex("11 00 00 04 03 00 00 00"), Outcome::Reply,
         Hex("91 00 00 05 00 00 00 0B 00")},
        {"save item 26", Hex("11 00 00 05 1A 00 00 00 00"), Outcome::Reply,
         Hex("91 00 00 05 00 00 00 57 1A")},
        {"save item past DATA", Hex("11 00 00 06 03 00 00 00 02 00"), Outcome::Reply,
         Hex("91 00 00 05 00 00 00 0B 03")},
        {"save L+5 passes 32 bits", Hex("11 00 00 05 03 FF FF FF FE"), Outcome::Reply,
         Hex("91 00 00 05 00 00 00 0B 03")},
        {"save item 22 stores nothing", Hex("11 00 00 07 16 00 00 00 02 01 00"), Outcome::Reply,
         Hex("91 00 00 05 00 00 00 00 16")},
        {"save item 21", Hex("11 00 00 05 15 00 00 00 00"), Outcome::Reply,
         Hex("91 00 00 05 00 00 00 00 15")},
        {"save item 23", Hex("11 00 00 05 17 00 00 00 00"), Outcome::Reply,
         Hex("91 00 00 05 00 00 00 00 17")},
        {"save item 24", Hex("11 00 00 05 18 00 00 00 00"), Outcome::Reply,
         Hex("91 00 00 05 00 00 00 00 18")},
        {"save AUTHINFO length 260", Cat(Hex("11 00 01 09 19 00 00 01 04"), Bytes(260, 0)), Outcome::Reply,
         Hex("91 00 00 05 00 00 00 0D 19")},
        {"save AUTHINFO index 20", Cat(Hex("11 00 01 0A 19 00 00 01 05"), authIndex20), Outcome::Reply,
         Hex("91 00 00 05 00 00 00 57 19")},
        {"save AUTHINFO of a connected connection", Cat(Hex("11 00 01 0A 19 00 00 01 05 05"), Bytes(260, 0)),
         Outcome::Reply, Hex("91 00 00 05 00 00 00 00 19")},
        {"load item 25", Hex("12 00 00 01 19"), Outcome::Reply,
         Hex("92 00 00 09 00 00 00 00 19 00 00 00 00")},
        {"load item 26", Hex("12 00 00 01 1A"), Outcome::Reply,
         Hex("92 00 00 09 00 00 00 57 1A 00 00 00 00")},
        {"load empty DATA", Hex("12 00 00 00"), Outcome::Reply,
         Hex("92 00 00 09 00 00 00 0B 00 00 00 00 00")},
        {"load item 20", Hex("12 00 00 01 14"), Outcome::Reply,
         Hex("92 00 00 09 00 00 00 00 14 00 00 00 00")},
        {"load item 21", Hex("12 00 00 01 15"), Outcome::Reply,
         Hex("92 00 00 09 00 00 00 00 15 00 00 00 00")},
        {"load probe item 23", Hex("12 00 00 01 17"), Outcome::Reply,
         Hex("92 00 00 09 00 00 00 00 17 00 00 00 00")},
        {"load item 24", Hex("12 00 00 01 18"), Outcome::Reply,
         Hex("92 00 00 09 00 00 00 00 18 00 00 00 00")},
        {"load item 22", Hex("12 00 00 01 16"), Outcome::Reply,
         Cat(Hex("92 00 02 18 00 00 00 00 16 00 00 02 0F"), Bytes(527, 0))},
        {"load item 3", Hex("12 00 00 02 03 FF"), Outcome::Reply,
         Cat(Hex("92 00 04 6F 00 00 00 00 03 00 00 04 66"), VPNCONFIG::Default(3).ToBytes())},
        {"import shorter than 5", Hex("21 00 00 04 00 00 00 00"), Outcome::Reply,
         Hex("A1 00 00 04 00 00 00 0B")},
        {"import N+5 passes 32 bits", Hex("21 00 00 05 FF FF FF FF 00"), Outcome::Reply,
         Hex("A1 00 00 04 00 00 00 0B")},
        {"import no selection byte", Hex("21 00 00 06 00 00 00 02 41 00"), Outcome::Reply,
         Hex("A1 00 00 04 00 00 00 0B")},
        {"export odd path bytes", Hex("22 00 00 07 00 00 00 01 41 00 00"), Outcome::Reply,
         Hex("A2 00 00 04 00 00 00 0B")},
        {"export", Hex("22 00 00 09 00 00 00 04 41 00 42 00 03"), Outcome::Reply,
         Hex("A2 00 00 04 00 00 00 00")},
        {"status", Hex("31 00 00 00"), Outcome::Reply, Cat(Hex("B1 00 00 18 00 00 00 00"), statusBytes)},
        {"status with DATA", Hex("31 00 00 02 AA BB"), Outcome::Reply,
         Cat(Hex("B1 00 00 18 00 00 00 00"), statusBytes)},
        {"ras err", Hex("32 00 00 00"), Outcome::Reply, Hex("B2 00 00 08 00 00 00 00 00 00 02 B3")},
        {"ras err with one byte", Hex("32 00 00 01 00"), Outcome::Reply,
         Hex("B2 00 00 08 00 00 00 0B 00 00 00 00")},
        {"notify connected", Hex("41 00 00 03 02 01 00"), Outcome::Forward, Hex("41 00 00 03 02 01 00")},
        {"notify extra bytes not forwarded", Hex("41 00 00 05 02 00 01 FF FF"), Outcome::Forward,
         Hex("41 00 00 03 02 00 01")},
        {"notify status 3", Hex("41 00 00 03 02 03 00"), Outcome::NoEffect, {}},
        {"notify index 20", Hex("41 00 00 03 14 00 00"), Outcome::NoEffect, {}},
        {"notify short", Hex("41 00 00 02 02 00"), Outcome::NoEffect, {}},
        {"ras error message", Hex("44 00 00 05 00 00 02 B3 FF"), Outcome::Forward,
         Hex("44 00 00 04 00 00 02 B3")},
        {"ras error message one byte", Hex("44 00 00 01 02"), Outcome::NoEffect, {}},
        {"ras error message empty", Hex("44 00 00 00"), Outcome::NoEffect, {}},
        {"unknown command 0x03", Hex("03 00 00 00"), Outcome::NotInTable, {}},
        {"unknown command 0x81", Hex("81 00 00 01 00"), Outcome::NotInTable, {}},
    };
    for (const ExchangeCase& c : cases) {
        SCOPED_TRACE(c.name);
        const Outcome got = service.Serve(c.request);
        EXPECT_EQ(got.kind, c.kind);
        EXPECT_EQ(ToHex(got.bytes), ToHex(c.expected));
        if (c.kind == Outcome::Reply && c.request[0] == CMD_LOAD_CONFIG && c.request.size() > 4 &&
            c.request[4] == PROBE_ITEM) {
            EXPECT_LE(got.bytes.size(), PROBE_REPLY_CAPACITY);
        }
    }
}

TEST(ParseConnect, AcceptsStringsWithAndWithoutTerminator) {
    // "ab" with its terminator counted, "cd" without.
    const Bytes data = Hex("03 07 00 00 00 06 61 00 62 00 00 00 00 00 00 04 63 00 64 00 EE");
    ConnectRequest r;
    ASSERT_EQ(ParseConnect(data.data(), uint32_t(data.size()), r), 0u);
    EXPECT_EQ(r.VpnIndex, 3);
    EXPECT_EQ(r.ShowGui, 7);
    EXPECT_TRUE(r.HasUserName());
    EXPECT_TRUE(r.HasPassword());
    EXPECT_EQ(r.UserName, u"ab");
    EXPECT_EQ(r.Password, u"cd");

    const Bytes none = Hex("00 00 00 00 00 00 00 00 00 00");
    ASSERT_EQ(ParseConnect(none.data(), uint32_t(none.size()), r), 0u);
    EXPECT_FALSE(r.HasUserName());
    EXPECT_FALSE(r.HasPassword());
}

TEST(ParseConnect, ParsingAgainForgetsTheEarlierRequest) {
    const Bytes full = Hex("03 01 00 00 00 02 61 00 00 00 00 02 62 00");
    ConnectRequest r;
    ASSERT_EQ(ParseConnect(full.data(), uint32_t(full.size()), r), 0u);
    const Bytes shortData = Hex("03");
    EXPECT_EQ(ParseConnect(shortData.data(), 1, r), ResultCode::BadFormat);
    EXPECT_EQ(r.VpnIndex, kNoVpnIndex);
    EXPECT_TRUE(r.UserName.empty());
    EXPECT_EQ(r.UserBytes, 0u);
}

TEST(ParseFileRequest, TakesPathAndSelection) {
    const Bytes data = Hex("00 00 00 08 43 00 3A 00 5C 00 78 00 05 99");
    FileRequest r;
    ASSERT_EQ(ParseFileRequest(data.data(), uint32_t(data.size()), r), 0u);
    EXPECT_EQ(r.Path, u"C:\\x");
    EXPECT_EQ(r.Selection, 5);
}

TEST(ParseSaveConfig, GivesSanitizedRecords) {
    Bytes record(VPNCONFIG::kSize, 0x41);
    const Bytes data = Cat(Hex("04 00 00 04 66"), record);
    SaveConfigRequest r;
    ASSERT_EQ(ParseSaveConfig(data.data(), uint32_t(data.size()), r), 0u);
    EXPECT_EQ(r.Item, record);
    VPNCONFIG c = r.SanitizedVpnConfig();
    EXPECT_TRUE(IsTerminated(c.Name));
    EXPECT_TRUE(IsTerminated(c.UserName));
    EXPECT_EQ(FixedToString(c.Password).size(), 64u);

    Bytes auth(AUTHINFO::kSize, 0x42);
    auth[0] = 7;
    const Bytes authData = Cat(Hex("19 00 00 01 05"), auth);
    ASSERT_EQ(ParseSaveConfig(authData.data(), uint32_t(authData.size()), r), 0u);
    AUTHINFO a = r.SanitizedAuthInfo();
    EXPECT_EQ(a.VpnIndex, 7);
    EXPECT_EQ(FixedToString(a.UserName).size(), 64u);
}

// Each parser meets every truncation of a valid DATA, copied into a heap buffer of exactly
// that size: the sanitizers see any read past it, and each must be refused with 11.
TEST(Parsers, RefuseEveryTruncationWithoutReadingPastIt) {
    struct Case {
        const char* name;
        Bytes valid;
        std::function<uint32_t(const uint8_t*, uint32_t)> parse;
    };
    const Case cases[] = {
        {"connect", Hex("03 01 00 00 00 04 61 00 62 00 00 00 00 04 63 00 64 00"),
         [](const uint8_t* d, uint32_t n) {
             ConnectRequest r;
             return ParseConnect(d, n, r);
         }},
        {"disconnect", Hex("02"),
         [](const uint8_t* d, uint32_t n) {
             DisconnectRequest r;
             return ParseDisconnect(d, n, r);
         }},
        {"save record", Cat(Hex("03 00 00 04 66"), VPNCONFIG::Default(3).ToBytes()),
         [](const uint8_t* d, uint32_t n) {
             SaveConfigRequest r;
             return ParseSaveConfig(d, n, r);
         }},
        {"save authinfo", Cat(Hex("19 00 00 01 05 02"), Bytes(260, 0)),
         [](const uint8_t* d, uint32_t n) {
             SaveConfigRequest r;
             return ParseSaveConfig(d, n, r);
         }},
        {"load", Hex("03"),
         [](const uint8_t* d, uint32_t n) {
             LoadConfigRequest r;
             return ParseLoadConfig(d, n, r);
         }},
        {"file", Hex("00 00 00 04 41 00 42 00 01"),
         [](const uint8_t* d, uint32_t n) {
             FileRequest r;
             return ParseFileRequest(d, n, r);
         }},
        {"notify", Hex("02 01 00"),
         [](const uint8_t* d, uint32_t n) {
             VpnNotifyRequest r;
             return ParseVpnNotify(d, n, r);
         }},
        {"ras error message", Hex("00 00 02 B3"),
         [](const uint8_t* d, uint32_t n) {
             RasErrMsgRequest r;
             return ParseRasErrMsg(d, n, r);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        {
            std::unique_ptr<uint8_t[]> whole(new uint8_t[c.valid.size()]);
            std::copy(c.valid.begin(), c.valid.end(), whole.get());
            EXPECT_EQ(c.parse(whole.get(), uint32_t(c.valid.size())), 0u);
        }
        for (size_t len = 0; len < c.valid.size(); ++len) {
            std::unique_ptr<uint8_t[]> cut(new uint8_t[len]);
            std::copy(c.valid.begin(), c.valid.begin() + len, cut.get());
            EXPECT_EQ(c.parse(cut.get(), uint32_t(len)), ResultCode::BadFormat) << "length " << len;
        }
    }
}

TEST(Headers, LengthsAreBigEndian24AndReplyIdWraps) {
    uint8_t b[8];
    CommandHeader{CMD_SAVE_CONFIG, 0x01020A}.Write(b);
    EXPECT_EQ(ToHex(Bytes(b, b + 4)), ToHex(Hex("11 01 02 0A")));
    EXPECT_EQ(CommandHeader::Read(b).DataLength, 0x01020Au);
    ReplyHeader{REPLY_ERR_RESTART_CHK, 4, 2250}.Write(b);
    EXPECT_EQ(ToHex(Bytes(b, b + 8)), ToHex(Hex("41 00 00 04 00 00 08 CA")));
    const ReplyHeader h = ReplyHeader::Read(b);
    EXPECT_EQ(h.ResultCode, 2250u);
    EXPECT_EQ(ReplyIdOf(CMD_ERR_RESTART_CHK), 0x41);
    EXPECT_EQ(ReplyIdOf(CMD_CONNECT), 0x81);
}

TEST(CommandTable, NamesEveryCommandAndItsReply) {
    struct Case {
        uint8_t id;
        const char* serviceClass;
        bool hasReply;
    };
    const Case cases[] = {
        {0x01, "CIncmdConnect", true},    {0x02, "CIncmdDisconnect", true},  {0x11, "CIncmdSaveConfig", true},
        {0x12, "CIncmdLoadConfig", true}, {0x21, "CIncmdImport", true},      {0x22, "CIncmdExport", true},
        {0x31, "CIncmdVpnStatus", true},  {0x32, "CIncmdRasErr", true},      {0x41, "CIncmdVpnNotify", false},
        {0x44, "CIncmdRasErrMsg", false}, {0xC1, "IncmdErrRestartChk", true}};
    int known = 0;
    for (int id = 0; id < 256; ++id) {
        if (FindCommand(uint8_t(id)))
            ++known;
    }
    EXPECT_EQ(known, 11);
    for (const Case& c : cases) {
        const CommandInfo* info = FindCommand(c.id);
        ASSERT_NE(info, nullptr) << int(c.id);
        EXPECT_STREQ(info->ServiceClass, c.serviceClass);
        EXPECT_EQ(info->HasReply, c.hasReply);
    }
}

TEST(ConfigItems, SaveAndLoadRulesPerItem) {
    for (uint8_t item = 0; item < ConfigItem::kLimit; ++item) {
        SCOPED_TRACE(int(item));
        const ConfigItemRule r = GetConfigItemRule(item);
        if (item <= 19) {
            EXPECT_EQ(r.Save, SaveAction::StoreVpnConfig);
            EXPECT_EQ(r.RequiredSaveLength, 1126u);
            EXPECT_EQ(r.Load, LoadAction::VpnConfig);
            EXPECT_EQ(r.LoadLength, 1126u);
        } else if (item == 22) {
            EXPECT_EQ(r.Save, SaveAction::Ignore);
            EXPECT_EQ(r.Load, LoadAction::LogInfo);
            EXPECT_EQ(r.LoadLength, 527u);
        } else if (item == 25) {
            EXPECT_EQ(r.Save, SaveAction::StoreAuthInfo);
            EXPECT_EQ(r.RequiredSaveLength, 261u);
            EXPECT_EQ(r.Load, LoadAction::Empty);
        } else {
            EXPECT_EQ(r.Save, SaveAction::Ignore);
            EXPECT_EQ(r.Load, LoadAction::Empty);
            EXPECT_EQ(r.LoadLength, 0u);
        }
    }
}

TEST(Requests, FramesAreThoseTheServiceExpects) {
    AUTHINFO auth;
    auth.VpnIndex = 4;
    CopyToFixed(auth.UserName, u"user");
    const Bytes authFrame = BuildSaveAuthInfoRequest(auth);
    ASSERT_EQ(authFrame.size(), 270u);
    EXPECT_EQ(ToHex(Bytes(authFrame.begin(), authFrame.begin() + 10)),
              ToHex(Hex("11 00 01 0A 19 00 00 01 05 04")));

    const Bytes saveFrame = BuildSaveConfigRequest(7, VPNCONFIG::Default(7));
    ASSERT_EQ(saveFrame.size(), 1135u);
    EXPECT_EQ(ToHex(Bytes(saveFrame.begin(), saveFrame.begin() + 9)),
              ToHex(Hex("11 00 04 6B 07 00 00 04 66")));
    EXPECT_EQ(Bytes(saveFrame.begin() + 9, saveFrame.end()), VPNCONFIG::Default(7).ToBytes());

    struct Case {
        const char* name;
        Bytes frame;
        Bytes expected;
    };
    const Case cases[] = {
        {"connect empty strings", BuildConnectRequest(2, 1, u"", u""),
         Hex("01 00 00 0E 02 01 00 00 00 02 00 00 00 00 00 02 00 00")},
        {"connect", BuildConnectRequest(0, 0, u"a", u"\u3042"),
         Hex("01 00 00 12 00 00 00 00 00 04 61 00 00 00 00 00 00 04 42 30 00 00")},
        {"disconnect", BuildDisconnectRequest(2), Hex("02 00 00 01 02")},
        {"load", BuildLoadConfigRequest(19), Hex("12 00 00 01 13")},
        {"probe", BuildProbeRequest(), Hex("12 00 00 01 17")},
        {"export", BuildExportRequest(u"C:\\a", 3),
         Hex("22 00 00 0D 00 00 00 08 43 00 3A 00 5C 00 61 00 03")},
        {"import all", BuildImportRequest(u"x", 0), Hex("21 00 00 07 00 00 00 02 78 00 00")},
        {"status", BuildVpnStatusRequest(), Hex("31 00 00 00")},
        {"ras err", BuildRasErrRequest(), Hex("32 00 00 00")},
        {"restart check", BuildErrRestartChkRequest(), Hex("C1 00 00 00")},
        {"notify quit", BuildVpnNotifyRequest(0, 0, 1), Hex("41 00 00 03 00 00 01")},
        {"ras error message", BuildRasErrMsgRequest(691), Hex("44 00 00 04 00 00 02 B3")},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ToHex(c.frame), ToHex(c.expected)) << c.name;
}

TEST(Requests, RoundTripThroughTheServiceParsers) {
    const Bytes connect = BuildConnectRequest(9, 1, u"山田", u"pass word");
    ConnectRequest c;
    ASSERT_EQ(ParseConnect(connect.data() + 4, uint32_t(connect.size() - 4), c), 0u);
    EXPECT_EQ(c.VpnIndex, 9);
    EXPECT_EQ(c.ShowGui, 1);
    EXPECT_EQ(c.UserName, u"山田");
    EXPECT_EQ(c.Password, u"pass word");

    const Bytes file = BuildExportRequest(u"C:\\設定.bin", 20);
    FileRequest f;
    ASSERT_EQ(ParseFileRequest(file.data() + 4, uint32_t(file.size() - 4), f), 0u);
    EXPECT_EQ(f.Path, u"C:\\設定.bin");
    EXPECT_EQ(f.Selection, 20);

    AUTHINFO auth;
    auth.VpnIndex = 19;
    CopyToFixed(auth.Password, u"pw");
    const Bytes save = BuildSaveAuthInfoRequest(auth);
    SaveConfigRequest s;
    ASSERT_EQ(ParseSaveConfig(save.data() + 4, uint32_t(save.size() - 4), s), 0u);
    EXPECT_EQ(FixedToString(s.SanitizedAuthInfo().Password), u"pw");
}

TEST(Requests, TooLongForTheHeadGivesNoFrame) {
    const std::u16string huge(kMaxDataLength / 2, u'p');
    EXPECT_TRUE(BuildExportRequest(huge, 0).empty());
    EXPECT_TRUE(BuildConnectRequest(0, 0, huge, u"").empty());
    uint32_t size = 256;
    uint8_t buffer[256];
    EXPECT_EQ(CopyRequestFrame(RequestFrame(), size, buffer), 0);
    EXPECT_EQ(size, 0u);
}

TEST(Requests, AdapterAsksForTheSizeItNeeds) {
    const RequestFrame frame = BuildSaveConfigRequest(0, VPNCONFIG::Default(0));
    std::vector<uint8_t> buffer(256);
    uint32_t size = 256;
    EXPECT_EQ(CopyRequestFrame(frame, size, buffer.data()), 0);
    EXPECT_EQ(size, 1135u);
    buffer.resize(size);
    EXPECT_EQ(CopyRequestFrame(frame, size, buffer.data()), 1);
    EXPECT_EQ(size, 1135u);
    EXPECT_EQ(buffer, frame);
}

TEST(ParseReply, ChecksIdAndLengths) {
    struct Case {
        const char* name;
        Bytes frame;
        uint8_t command;
        uint32_t rc;
    };
    const Case cases[] = {
        {"disconnect ok", Hex("82 00 00 05 00 00 00 00 02"), CMD_DISCONNECT, 0},
        {"restart check", Hex("41 00 00 04 00 00 00 00"), CMD_ERR_RESTART_CHK, 0},
        {"shorter than head", Hex("82 00 00 05 00 00 00"), CMD_DISCONNECT, 24},
        {"other reply id", Hex("81 00 00 05 00 00 00 00 02"), CMD_DISCONNECT, 11},
        {"DataLength below 4", Hex("82 00 00 03 00 00 00 00"), CMD_DISCONNECT, 11},
        {"DataLength longer than frame", Hex("82 00 00 06 00 00 00 00 02"), CMD_DISCONNECT, 11},
        {"DataLength shorter than frame", Hex("82 00 00 04 00 00 00 00 02"), CMD_DISCONNECT, 11},
    };
    for (const Case& c : cases) {
        ReplyView v;
        EXPECT_EQ(ParseReply(c.frame.data(), c.frame.size(), c.command, v), c.rc) << c.name;
    }
    const Bytes frame = Hex("91 00 00 05 00 00 00 0D 03");
    ReplyView v;
    ASSERT_EQ(ParseReply(frame.data(), frame.size(), CMD_SAVE_CONFIG, v), 0u);
    EXPECT_EQ(v.ResultCode, 13u);
    uint8_t echo = 0;
    ASSERT_EQ(ParseEchoReply(v.Payload, v.PayloadLength, echo), 0u);
    EXPECT_EQ(echo, 3);
}

TEST(ParseReply, PayloadsOfLoadStatusAndRasErr) {
    const Bytes load = Cat(Hex("92 00 04 6F 00 00 00 00 03 00 00 04 66"), VPNCONFIG::Default(3).ToBytes());
    ReplyView v;
    ASSERT_EQ(ParseReply(load.data(), load.size(), CMD_LOAD_CONFIG, v), 0u);
    LoadConfigReply item;
    ASSERT_EQ(ParseLoadConfigReply(v.Payload, v.PayloadLength, item), 0u);
    EXPECT_EQ(item.ConfigItemId, 3);
    ASSERT_EQ(item.ItemLength, 1126u);
    EXPECT_EQ(FixedToString(VPNCONFIG::FromBytes(item.Item).Name), u"接続4");
    const Bytes badItem = Hex("03 00 00 04 66 00");
    EXPECT_EQ(ParseLoadConfigReply(badItem.data(), uint32_t(badItem.size()), item), 11u);

    const Bytes status = Cat(Hex("B1 00 00 18 00 00 00 00"),
                             Bytes{1, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2});
    ASSERT_EQ(ParseReply(status.data(), status.size(), CMD_VPN_STATUS, v), 0u);
    uint8_t states[20];
    ASSERT_EQ(ParseVpnStatusReply(v.Payload, v.PayloadLength, states), 0u);
    EXPECT_EQ(states[0], 1);
    EXPECT_EQ(states[19], 2);

    const Bytes ras = Hex("B2 00 00 08 00 00 00 00 00 00 02 B3");
    ASSERT_EQ(ParseReply(ras.data(), ras.size(), CMD_RAS_ERR, v), 0u);
    uint32_t err = 0;
    ASSERT_EQ(ParseRasErrReply(v.Payload, v.PayloadLength, err), 0u);
    EXPECT_EQ(err, 691u);
}

TEST(BuildReply, RefusesAPayloadBeyond24Bits) {
    std::vector<uint8_t> reply;
    EXPECT_EQ(BuildReply(CMD_LOAD_CONFIG, 0, nullptr, kMaxDataLength - 3, reply),
              ResultCode::InvalidParameter);
    EXPECT_TRUE(reply.empty());
}

TEST(ClassifyNotification, AcceptsOnlyWellFormedMessages) {
    struct Case {
        const char* name;
        Bytes bytes;
        NotificationKind kind;
        uint8_t index, state, quit;
        uint32_t rasError;
    };
    const Case cases[] = {
        {"state 2", Hex("41 00 00 03 04 02 00"), NotificationKind::VpnState, 4, 2, 0, 0},
        {"quit", Hex("41 00 00 03 00 00 01"), NotificationKind::VpnState, 0, 0, 1, 0},
        {"index 20", Hex("41 00 00 03 14 01 00"), NotificationKind::None, 0, 0, 0, 0},
        {"state 3", Hex("41 00 00 03 01 03 00"), NotificationKind::None, 0, 0, 0, 0},
        {"wrong length field", Hex("41 00 00 04 01 01 00"), NotificationKind::None, 0, 0, 0, 0},
        {"state as 8 bytes", Hex("41 00 00 03 01 01 00 00"), NotificationKind::None, 0, 0, 0, 0},
        {"ras error 691", Hex("44 00 00 04 00 00 02 B3"), NotificationKind::RasError, 0, 0, 0, 691},
        {"ras error head unexamined", Hex("44 FF FF FF 00 00 02 B3"), NotificationKind::RasError, 0, 0, 0,
         691},
        {"ras error as 7 bytes", Hex("44 00 00 04 00 00 02"), NotificationKind::None, 0, 0, 0, 0},
        {"nothing", Bytes(), NotificationKind::None, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<uint8_t[]> exact(new uint8_t[c.bytes.size()]);
        std::copy(c.bytes.begin(), c.bytes.end(), exact.get());
        const Notification n = ClassifyNotification(exact.get(), c.bytes.size());
        EXPECT_EQ(n.Kind, c.kind);
        if (c.kind == NotificationKind::VpnState) {
            EXPECT_EQ(n.VpnNotify.VpnIndex, c.index);
            EXPECT_EQ(n.VpnNotify.ConnectStatus, c.state);
            EXPECT_EQ(n.VpnNotify.QuitGui, c.quit);
        }
        if (c.kind == NotificationKind::RasError) {
            EXPECT_EQ(n.RasErrMsg.RasError, c.rasError);
        }
    }
}
