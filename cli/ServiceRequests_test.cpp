#include "ServiceRequests.h"

#include "FakeCommandHost.h"

#include "ByteOrder.h"
#include "FixedString.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace corvel::cli {
namespace {

using Bytes = std::vector<uint8_t>;
using testing::ElementsAre;
using testing::ElementsAreArray;

// A reply head: id, DataLength, ResultCode.
Bytes Head(uint8_t id, uint32_t dataLength, uint32_t result) {
    Bytes b(8);
    b[0] = id;
    WriteBe24(&b[1], dataLength);
    WriteBe32(&b[4], result);
    return b;
}

Bytes LoadReply(uint8_t echo, const VPNCONFIG& config, uint32_t result = 0, uint32_t dataLength = 1135,
                uint32_t itemLength = 1126) {
    Bytes b = Head(0x92, dataLength, result);
    b.push_back(echo);
    b.resize(13);
    WriteBe32(&b[9], itemLength);
    const Bytes record = config.ToBytes();
    b.insert(b.end(), record.begin(), record.end());
    return b;
}

Bytes With(Bytes b, const Bytes& tail) {
    b.insert(b.end(), tail.begin(), tail.end());
    return b;
}

Bytes Resized(Bytes b, size_t size) {
    b.resize(size);
    return b;
}

VPNCONFIG NamedConfig(std::u16string_view name) {
    VPNCONFIG c = VPNCONFIG::Default(2);
    CopyToFixed(c.Name, name);
    CopyToFixed(c.UserName, u"stored-user");
    return c;
}

TEST(CheckLoadConfigReply, CountThenHeadAndEchoThenLengthsThenResult) {
    const VPNCONFIG config = NamedConfig(u"office");
    const Bytes good = LoadReply(2, config);
    Bytes wrongId = good;
    wrongId[0] = 0x93;
    Bytes wrongIdAndLength = LoadReply(2, config, 0, 1134);
    wrongIdAndLength[0] = 0x12;
    struct Case {
        const char* Name;
        Bytes Reply;
        uint32_t Expected;
    };
    const Case cases[] = {
        {"well-formed", good, 0},
        {"the service's result", LoadReply(2, config, 1359), 1359},
        {"one byte short", Resized(good, 1138), 24},
        {"one byte more", With(good, {0}), 24},
        {"an empty item (9 bytes)", Resized(Head(0x92, 5, 0), 9), 24},
        {"nothing read", {}, 24},
        {"another reply id", wrongId, 11},
        {"the echo of another item", LoadReply(3, config), 11},
        {"wrong id before wrong length", wrongIdAndLength, 11},
        {"DataLength not 1135", LoadReply(2, config, 0, 1134), 24},
        {"DataLength of a longer frame", LoadReply(2, config, 0, 1136), 24},
        {"ItemLength 1125", LoadReply(2, config, 0, 1135, 1125), 24},
        {"ItemLength above 24 bits", LoadReply(2, config, 0, 1135, 0x01000466), 24},
        {"lengths before the result", LoadReply(2, config, 5, 1135, 1125), 24},
    };
    for (const Case& c : cases) {
        VPNCONFIG out;
        EXPECT_EQ(CheckLoadConfigReply(c.Reply.data(), c.Reply.size(), 2, out), c.Expected) << c.Name;
    }
}

TEST(CheckLoadConfigReply, ReadsTheRecordOfAnyWellFormedReplyAndTrustsNoTerminator) {
    VPNCONFIG out;
    ASSERT_EQ(CheckLoadConfigReply(LoadReply(2, NamedConfig(u"office"), 0).data(), 1139, 2, out), 0u);
    EXPECT_EQ(FixedToString(out.Name), u"office");
    EXPECT_EQ(FixedToString(out.UserName), u"stored-user");

    VPNCONFIG refused;
    EXPECT_EQ(CheckLoadConfigReply(LoadReply(2, NamedConfig(u"kept"), 87).data(), 1139, 2, refused), 87u);
    EXPECT_EQ(FixedToString(refused.Name), u"kept");

    // Every string field full to its end: each is cut to its capacity minus one.
    Bytes reply = LoadReply(2, VPNCONFIG());
    for (size_t i = 13; i < reply.size(); ++i)
        reply[i] = 0x41;
    VPNCONFIG full;
    ASSERT_EQ(CheckLoadConfigReply(reply.data(), reply.size(), 2, full), 0u);
    EXPECT_EQ(FixedToString(full.Name).size(), VPNCONFIG::kNameChars - 1);
    EXPECT_EQ(FixedToString(full.UserName).size(), VPNCONFIG::kUserNameChars - 1);
    EXPECT_EQ(FixedToString(full.Password).size(), VPNCONFIG::kPasswordChars - 1);
    EXPECT_TRUE(IsTerminated(full.PreSharedKey));
}

TEST(CheckEchoReplies, SaveAndConnect) {
    struct Case {
        const char* Name;
        Bytes Reply;
        uint32_t Save, Connect; // connect checked with VpnIndex 4
    };
    const Case cases[] = {
        {"save accepted", With(Head(0x91, 5, 0), {25}), 0, 11},
        {"save: bytes 1-3 are not looked at", With(Head(0x91, 0xABCDEF, 0), {25}), 0, 11},
        {"save refused", With(Head(0x91, 5, 87), {25}), 87, 11},
        {"save: another echo", With(Head(0x91, 5, 0), {24}), 11, 11},
        {"connect accepted", With(Head(0x81, 5, 0), {4}), 11, 0},
        {"connect: the service's result", With(Head(0x81, 5, 1247), {4}), 11, 1247},
        {"connect: DataLength 6", With(Head(0x81, 6, 0), {4}), 11, 11},
        {"connect: another echo", With(Head(0x81, 5, 0), {3}), 11, 11},
        {"connect: another id", With(Head(0x82, 5, 0), {4}), 11, 11},
        {"8 bytes", Head(0x81, 4, 0), 24, 24},
        {"10 bytes", With(Head(0x81, 5, 0), {4, 0}), 24, 24},
        {"nothing", {}, 24, 24},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CheckSaveAuthInfoReply(c.Reply.data(), c.Reply.size()), c.Save) << c.Name;
        EXPECT_EQ(CheckConnectReply(c.Reply.data(), c.Reply.size(), 4), c.Connect) << c.Name;
    }
}

TEST(CheckVpnStatusReply, HeadAndSizeAndStatesOnlyOnSuccess) {
    Bytes states(20);
    for (size_t i = 0; i < 20; ++i)
        states[i] = uint8_t(i % 3);
    struct Case {
        const char* Name;
        Bytes Reply;
        uint32_t Expected;
    };
    const Case cases[] = {
        {"accepted", With(Head(0xB1, 24, 0), states), 0},
        {"the service's result", With(Head(0xB1, 24, 1359), states), 1359},
        {"28 bytes, DataLength 25", With(Head(0xB1, 25, 0), states), 11},
        {"28 bytes, DataLength 4", With(Head(0xB1, 4, 0), states), 11},
        {"another id", With(Head(0xB2, 24, 0), states), 11},
        {"27 bytes", Resized(With(Head(0xB1, 24, 0), states), 27), 24},
        {"29 bytes", With(With(Head(0xB1, 24, 0), states), {0}), 24},
        {"a RAS-error reply", With(Head(0xB2, 8, 0), {0, 0, 0, 0}), 24},
    };
    for (const Case& c : cases) {
        uint8_t out[20];
        std::fill(std::begin(out), std::end(out), 0xEE);
        EXPECT_EQ(CheckVpnStatusReply(c.Reply.data(), c.Reply.size(), out), c.Expected) << c.Name;
        if (c.Expected == 0) {
            EXPECT_THAT(out, ElementsAreArray(states)) << c.Name;
        } else {
            EXPECT_THAT(out, testing::Each(0xEE)) << c.Name;
        }
    }
}

TEST(CheckRasErrReply, HeadAndSizeAndTheErrorOnlyOnSuccess) {
    struct Case {
        const char* Name;
        Bytes Reply;
        uint32_t Expected, RasError;
    };
    const Case cases[] = {
        {"691", With(Head(0xB2, 8, 0), {0, 0, 0x02, 0xB3}), 0, 691},
        {"none", With(Head(0xB2, 8, 0), {0, 0, 0, 0}), 0, 0},
        {"big-endian", With(Head(0xB2, 8, 0), {0x01, 0x02, 0x03, 0x04}), 0, 0x01020304},
        {"the service's result", With(Head(0xB2, 8, 11), {0, 0, 0x02, 0xB3}), 11, 7},
        {"DataLength 9", With(Head(0xB2, 9, 0), {0, 0, 0x02, 0xB3}), 11, 7},
        {"another id", With(Head(0xB1, 8, 0), {0, 0, 0x02, 0xB3}), 11, 7},
        {"11 bytes", With(Head(0xB2, 8, 0), {0, 0, 0x02}), 24, 7},
        {"13 bytes", With(Head(0xB2, 8, 0), {0, 0, 0x02, 0xB3, 0}), 24, 7},
    };
    for (const Case& c : cases) {
        uint32_t rasError = 7;
        EXPECT_EQ(CheckRasErrReply(c.Reply.data(), c.Reply.size(), rasError), c.Expected) << c.Name;
        EXPECT_EQ(rasError, c.RasError) << c.Name;
    }
}

// One connection: records what was written and how much was to be read, answers as scripted.
class CScriptedPipe : public CServicePipe {
public:
    Bytes Answer;
    uint32_t Error = 0;
    std::vector<Bytes> Written;
    std::vector<size_t> Capacities;

    uint32_t TransactRequest(const RequestFrame& request, size_t replyCapacity, Bytes& reply) override {
        Written.push_back(request);
        Capacities.push_back(replyCapacity);
        if (Error)
            return Error;
        reply.assign(Answer.begin(), Answer.begin() + std::min(Answer.size(), replyCapacity));
        return 0;
    }
};

TEST(ServiceRequests, FramesAndReadSizesOfTheSevenRequests) {
    test::CFakeCommandHost host;
    CScriptedPipe pipe;

    VPNCONFIG config;
    pipe.Answer = LoadReply(7, NamedConfig(u"seventh"));
    EXPECT_EQ(LoadVpnConfig(pipe, 7, config), 0u);
    EXPECT_EQ(FixedToString(config.Name), u"seventh");

    AUTHINFO auth;
    auth.VpnIndex = 7;
    CopyToFixed(auth.UserName, u"alice");
    CopyToFixed(auth.Password, u"secret");
    pipe.Answer = With(Head(0x91, 5, 0), {25});
    EXPECT_EQ(SendSaveCredentials(pipe, 7, u"alice", u"secret"), 0u);

    pipe.Answer = With(Head(0x81, 5, 0), {7});
    EXPECT_EQ(SendConnect(pipe, 7, 1, u"", u""), 0u);

    uint8_t states[20] = {};
    uint8_t state = 9;
    uint32_t rasError = 0;
    Bytes statusReply = Head(0xB1, 24, 0);
    statusReply.resize(28);
    statusReply[8 + 7] = 2;
    pipe.Answer = statusReply;
    EXPECT_EQ(QueryVpnStates(pipe, states), 0u);
    EXPECT_EQ(states[7], 2);
    EXPECT_EQ(QueryVpnState(pipe, 7, state), 0u);
    EXPECT_EQ(state, 2);
    pipe.Answer = With(Head(0xB2, 8, 0), {0, 0, 0x02, 0xB3});
    EXPECT_EQ(QueryRasErr(pipe, rasError), 0u);
    EXPECT_EQ(rasError, 691u);
    EXPECT_EQ(SendVpnNotify(pipe, host, 0, 0, 1), 0u);

    ASSERT_EQ(pipe.Written.size(), 7u);
    EXPECT_THAT(pipe.Written[0], ElementsAre(0x12, 0, 0, 1, 7));
    Bytes saveFrame{0x11, 0x00, 0x01, 0x0A, 0x19, 0x00, 0x00, 0x01, 0x05};
    const Bytes authBytes = auth.ToBytes();
    saveFrame.insert(saveFrame.end(), authBytes.begin(), authBytes.end());
    EXPECT_EQ(pipe.Written[1], saveFrame);
    EXPECT_EQ(pipe.Written[1].size(), 270u);
    // Empty credentials: each a lone terminator, DataLength 14, 18 bytes.
    EXPECT_THAT(pipe.Written[2], ElementsAre(0x01, 0, 0, 14, 7, 1, 0, 0, 0, 2, 0, 0, 0, 0, 0, 2, 0, 0));
    EXPECT_THAT(pipe.Written[3], ElementsAre(0x31, 0, 0, 0));
    EXPECT_THAT(pipe.Written[4], ElementsAre(0x31, 0, 0, 0));
    EXPECT_THAT(pipe.Written[5], ElementsAre(0x32, 0, 0, 0));
    EXPECT_THAT(pipe.Written[6], ElementsAre(0x41, 0, 0, 3, 0, 0, 1));
    EXPECT_THAT(pipe.Capacities, ElementsAre(1139, 9, 9, 28, 28, 12, 0));
}

TEST(ServiceRequests, ConnectFrameCountsEachTerminator) {
    CScriptedPipe pipe;
    pipe.Answer = With(Head(0x81, 5, 0), {0});
    ASSERT_EQ(SendConnect(pipe, 0, 0, u"ab", u"c"), 0u);
    EXPECT_THAT(pipe.Written[0], ElementsAre(0x01, 0, 0, 20, 0, 0,             // head, index, ShowGui
                                             0, 0, 0, 6, 'a', 0, 'b', 0, 0, 0, // UserBytes 6
                                             0, 0, 0, 4, 'c', 0, 0, 0));       // PasswordBytes 4
}

TEST(ServiceRequests, ErrorsOfThePipeOfTheReplyAndOfTheFrame) {
    test::CFakeCommandHost host;
    {
        CScriptedPipe pipe;
        pipe.Error = 109;
        VPNCONFIG config;
        uint32_t rasError = 0;
        EXPECT_EQ(LoadVpnConfig(pipe, 0, config), 109u);
        EXPECT_EQ(QueryRasErr(pipe, rasError), 109u);
        EXPECT_EQ(SendVpnNotify(pipe, host, 0, 0, 1), 109u);
        EXPECT_TRUE(host.Log.empty()) << "no pause after a failed write";
    }
    {
        // The read returned less than the reply: 24, never a second read.
        CScriptedPipe pipe;
        pipe.Answer = Resized(With(Head(0x81, 5, 0), {0}), 5);
        EXPECT_EQ(SendConnect(pipe, 0, 0, u"a", u"b"), 24u);
        EXPECT_EQ(pipe.Written.size(), 1u);
    }
    {
        // A frame that cannot be built is 14, and nothing is written.
        CScriptedPipe pipe;
        const std::u16string huge(0x800000, u'x');
        EXPECT_EQ(SendConnect(pipe, 0, 0, huge, u""), 14u);
        uint8_t state = 0;
        EXPECT_EQ(QueryVpnState(pipe, 20, state), 87u);
        EXPECT_TRUE(pipe.Written.empty());
    }
}

TEST(ServiceRequests, OnlyAStateZeroNotificationPauses) {
    for (uint8_t status : {0, 1, 2}) {
        test::CFakeCommandHost host;
        CScriptedPipe pipe;
        EXPECT_EQ(SendVpnNotify(pipe, host, 5, status, 0), 0u);
        EXPECT_THAT(pipe.Written[0], ElementsAre(0x41, 0, 0, 3, 5, status, 0));
        if (status == 0) {
            EXPECT_THAT(host.Log, ElementsAre("sleep 5000"));
        } else {
            EXPECT_TRUE(host.Log.empty()) << int(status);
        }
    }
}

} // namespace
} // namespace corvel::cli
