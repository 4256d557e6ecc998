// The version line and the disconnect outcome, without windows.
#include "DisconnectReply.h"
#include "VersionText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace corvel {
namespace {

TEST(VersionTextTest, FormatsTheFirstThreeWordsOfTheProductVersion) {
    struct Case {
        uint32_t MS, LS;
        const wchar_t* Expected;
    };
    const Case cases[] = {
        {0x00010000, 0x00040000, L"Version 01.00.04"},     // the programs' own 1.0.4.0
        {0x0002000A, 0x00030007, L"Version 02.10.03"},     // the fourth word is not shown
        {0x00000000, 0x00000000, L"Version 00.00.00"},     // unreadable version information
        {0x00640063, 0xFFFF0001, L"Version 100.99.65535"}, // words above 99 keep all digits
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FormatVersionText(ProductVersion::FromFixedFileInfo(c.MS, c.LS)), c.Expected)
            << std::hex << c.MS << " " << c.LS;
    }
}

TEST(DisconnectReplyTest, OnlyASuccessfulDisconnectReplyCountsAsDisconnected) {
    struct Case {
        const char* Name;
        std::vector<uint8_t> Frame; // empty: the request failed (0, 0)
        DisconnectOutcome Expected;
    };
    const Case cases[] = {
        {"success", {0x82, 0, 0, 5, 0, 0, 0, 0, 3}, DisconnectOutcome::Disconnected},
        {"success without payload", {0x82, 0, 0, 4, 0, 0, 0, 0}, DisconnectOutcome::Disconnected},
        {"refused", {0x82, 0, 0, 5, 0, 0, 0x04, 0x5D, 3}, DisconnectOutcome::Failed},
        {"no reply", {}, DisconnectOutcome::Failed},
        {"another command's reply", {0x92, 0, 0, 4, 0, 0, 0, 0}, DisconnectOutcome::Failed},
        {"head cut short", {0x82, 0, 0, 1, 0}, DisconnectOutcome::Failed},
    };
    for (const Case& c : cases) {
        const uint32_t dataLength = c.Frame.empty() ? 0 : uint32_t(c.Frame.size() - 4);
        EXPECT_EQ(ClassifyDisconnectReply(dataLength, c.Frame.empty() ? nullptr : c.Frame.data()), c.Expected)
            << c.Name;
    }
}

} // namespace
} // namespace corvel
