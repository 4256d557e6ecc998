#include "PipeService.h"

#include "ConfigItems.h"
#include "FakeService.h"
#include "Protocol.h"

#include <gtest/gtest.h>

#include <vector>

namespace corvel {
namespace {

using Bytes = std::vector<uint8_t>;

// A CMD_LOAD_CONFIG reply of `total` bytes in all.
Bytes ReplyOfSize(size_t total, uint32_t resultCode) {
    return FakeReply(CMD_LOAD_CONFIG, resultCode, Bytes(total - 8, 0));
}

TEST(ProbeService, AcceptsAnyReplyThatFitsAndRefusesALargerOne) {
    struct Case {
        const char* name;
        FakeExchange exchange;
        bool answered;
    };
    const Case cases[] = {
        {"empty item", FakeExchange::Answer(FakeReply(CMD_LOAD_CONFIG, 0, {PROBE_ITEM, 0, 0, 0, 0})), true},
        {"64 bytes with an error result", FakeExchange::Answer(ReplyOfSize(PROBE_REPLY_CAPACITY, 87)), true},
        {"no payload", FakeExchange::Answer(FakeReply(CMD_LOAD_CONFIG, 0)), true},
        {"65 bytes", FakeExchange::Answer(ReplyOfSize(PROBE_REPLY_CAPACITY + 1, 0)), false},
        {"hung up", FakeExchange::Hangup(), false},
    };
    std::vector<FakeExchange> script;
    for (const Case& c : cases)
        script.push_back(c.exchange);
    CFakeService service(ScriptedResponder(script));
    ASSERT_EQ(service.Start(), 0u);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ProbeService(), c.answered);
    }
    const std::vector<FakeRequest> requests = service.Requests();
    ASSERT_EQ(requests.size(), 5u);
    EXPECT_EQ(requests[0].Frame, (Bytes{0x12, 0, 0, 1, 0x17}));
    EXPECT_EQ(requests[0].Writes, 1u);
}

TEST(ProbeService, SilentOrMissingServiceIsNoAnswer) {
    EXPECT_FALSE(ProbeService());

    CFakeService service(ScriptedResponder({FakeExchange::Silence()}));
    ASSERT_EQ(service.Start(), 0u);
    const ULONGLONG start = ::GetTickCount64();
    EXPECT_FALSE(ProbeService(500));
    const ULONGLONG elapsed = ::GetTickCount64() - start;
    EXPECT_GE(elapsed, 400u);
    EXPECT_LT(elapsed, 5000u);
}

TEST(CPipeService, OpenIsIdempotentAndClosedPipeRefusesIo) {
    CPipeService closed;
    uint8_t buffer[8] = {};
    EXPECT_EQ(closed.Open(), 0); // no service
    EXPECT_NE(closed.Write(buffer, sizeof buffer), 0u);
    EXPECT_NE(closed.Read(buffer, sizeof buffer), 0u);
    EXPECT_EQ(closed.Close(), 1);

    CFakeService service(
        ScriptedResponder({FakeExchange::Answer(FakeReply(CMD_VPN_STATUS, 0, Bytes(20, 0)))}));
    ASSERT_EQ(service.Start(), 0u);
    CPipeService client;
    ASSERT_EQ(client.Open(), 1);
    EXPECT_EQ(client.Open(), 1);
    const uint8_t status[] = {0x31, 0, 0, 0};
    EXPECT_EQ(client.Write(status, sizeof status), 0u);
    uint8_t reply[28] = {};
    EXPECT_EQ(client.Read(reply, sizeof reply), 0u);
    EXPECT_EQ(reply[0], 0xB1);
    EXPECT_EQ(reply[3], 24);
    EXPECT_EQ(client.Close(), 1);
    EXPECT_EQ(client.Close(), 1);
}

} // namespace
} // namespace corvel
