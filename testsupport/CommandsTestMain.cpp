// The engine of these tests dials the fake RAS with a virtual clock, and its notifications
// are captured instead of written to the command pipe.
#include "CommandsTestMain.h"

#include <gtest/gtest.h>

namespace corvel::test {

CFakeRasApi& Ras() {
    static CFakeRasApi ras;
    return ras;
}
CCapturingSink& EngineSink() {
    static CCapturingSink sink;
    return sink;
}

} // namespace corvel::test

int main(int argc, char** argv) {
    static corvel::CVirtualClock clock;
    corvel::CVpnAdminParts parts;
    parts.Ras = &corvel::test::Ras();
    parts.Clock = &clock;
    parts.Sink = &corvel::test::EngineSink();
    if (!corvel::CVpnAdmin::UseForInstance(parts))
        return 2;
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
