#pragma once
// What the notification server posts for the bytes one client wrote to the notification pipe.
#include <cstddef>
#include <cstdint>

namespace corvel {

struct NotificationPost {
    bool Post = false; // false: the bytes post nothing
    unsigned int Message = 0;
    uint32_t WParam = 0;
    uint32_t LParam = 0;
};

// A state message gives WM_VPN_STATE0/1/2 (VpnIndex, QuitGui), a RAS-error message
// WM_VPN_ERROR (RasError, 0); anything else posts nothing.
NotificationPost NotificationMessageFor(const uint8_t* bytes, size_t length);

} // namespace corvel
