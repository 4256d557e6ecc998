#include "NotificationMessage.h"

#include "PipeMessages.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace corvel {
namespace {

TEST(NotificationMessageFor, MapsEachAcceptedMessageToItsWindowMessage) {
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        bool post;
        unsigned int message;
        uint32_t wParam, lParam;
    };
    const Case cases[] = {
        {"index 4 connecting", {0x41, 0, 0, 3, 4, 2, 0}, true, WM_VPN_STATE2, 4, 0},
        {"index 2 connected", {0x41, 0, 0, 3, 2, 1, 0}, true, WM_VPN_STATE1, 2, 0},
        {"index 19 dropped", {0x41, 0, 0, 3, 19, 0, 0}, true, WM_VPN_STATE0, 19, 0},
        {"quit passes QuitGui", {0x41, 0, 0, 3, 0, 0, 1}, true, WM_VPN_STATE0, 0, 1},
        {"index 20", {0x41, 0, 0, 3, 20, 1, 0}, false, 0, 0, 0},
        {"state 3", {0x41, 0, 0, 3, 1, 3, 0}, false, 0, 0, 0},
        {"wrong head", {0x42, 0, 0, 3, 1, 1, 0}, false, 0, 0, 0},
        {"state message of 8 bytes", {0x41, 0, 0, 3, 1, 1, 0, 0}, false, 0, 0, 0},
        {"ras error 691", {0x44, 0, 0, 4, 0, 0, 0x02, 0xB3}, true, WM_VPN_ERROR, 691, 0},
        {"ras error head bytes unexamined", {0x44, 9, 9, 9, 0, 0, 0x02, 0xB3}, true, WM_VPN_ERROR, 691, 0},
        {"ras error code is big-endian", {0x44, 0, 0, 4, 0x80, 0, 0, 1}, true, WM_VPN_ERROR, 0x80000001u, 0},
        {"ras error of 9 bytes", {0x44, 0, 0, 4, 0, 0, 2, 0xB3, 0}, false, 0, 0, 0},
        {"one byte", {0x41}, false, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // An exact-size copy, so reading past the message shows under ASan.
        std::unique_ptr<uint8_t[]> exact(new uint8_t[c.bytes.size()]);
        std::copy(c.bytes.begin(), c.bytes.end(), exact.get());
        const NotificationPost p = NotificationMessageFor(exact.get(), c.bytes.size());
        EXPECT_EQ(p.Post, c.post);
        if (c.post) {
            EXPECT_EQ(p.Message, c.message);
            EXPECT_EQ(p.WParam, c.wParam);
            EXPECT_EQ(p.LParam, c.lParam);
        }
    }
    EXPECT_FALSE(NotificationMessageFor(nullptr, 0).Post);
}

} // namespace
} // namespace corvel
