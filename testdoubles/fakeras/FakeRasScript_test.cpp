// The script and log formats of the scripted rasapi32.dll: portable, so tested natively too.
#include "FakeRasScript.h"

#include <gtest/gtest.h>

using namespace corvel::fakeras;

namespace {

TEST(FakeRasScriptFormat, ReadsEveryKeyAndIgnoresCommentsAndUnknownKeys) {
    const FakeRasScript s =
        FakeRasScript::Parse("# c\r\noutcome=error\r\n callbacks = 4\nerror=0x2d1\nbogus=1\n"
                             "interval_ms=5\ndrop_after_ms=0\nsetentry_result=623\n");
    EXPECT_EQ(s.Outcome, DialOutcome::Error);
    EXPECT_EQ(s.Callbacks, 4u);
    EXPECT_EQ(s.Error, 721u);
    EXPECT_EQ(s.IntervalMs, 5u);
    EXPECT_TRUE(s.Drops);
    EXPECT_EQ(s.SetEntryResult, 623u);
    EXPECT_EQ(FakeRasScript::Parse("outcome=never").Outcome, DialOutcome::Never);
    EXPECT_TRUE(s.OutcomeEvent.empty());
    EXPECT_FALSE(FakeRasScript::Parse("outcome=connect").Drops);

    const FakeRasScript gated = FakeRasScript::Parse("outcome_event=Global\\A\ndrop_event=B\n");
    EXPECT_EQ(gated.OutcomeEvent, "Global\\A");
    EXPECT_EQ(gated.DropEvent, "B");
    EXPECT_TRUE(gated.Drops);
    EXPECT_EQ(gated.DropAfterMs, 0u);
}

TEST(FakeRasLogFormat, SplitsTheEventAndItsTabSeparatedFields) {
    const FakeRasLogLine l =
        FakeRasLogLine::Parse("RasDialW\tentry=CORVEL_vpn2\tdevicename=WAN Miniport (L2TP)\t"
                              "options=0x1018\r\n");
    EXPECT_EQ(l.Event, "RasDialW");
    EXPECT_EQ(l.Get("entry"), "CORVEL_vpn2");
    EXPECT_EQ(l.Get("devicename"), "WAN Miniport (L2TP)");
    EXPECT_EQ(l.Number("options"), 0x1018u);
    EXPECT_EQ(l.Get("missing"), "");
}

} // namespace
