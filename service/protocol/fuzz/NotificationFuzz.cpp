// What the GUI's notification server reads from one connection of its pipe.
#include "Notifications.h"

#include <cstdlib>

using namespace corvel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    Notification n = ClassifyNotification(bytes, size);
    switch (n.Kind) {
    case NotificationKind::VpnState:
        // A state is posted only for exactly the 7 bytes it was read from.
        if (size != VpnNotifyMessage::kSize || n.VpnNotify.ToBytes()[4] != bytes[4] ||
            n.VpnNotify.VpnIndex >= kVpnIndexLimit || n.VpnNotify.ConnectStatus >= ConnectStatus::kLimit) {
            std::abort();
        }
        break;
    case NotificationKind::RasError:
        if (size != RasErrMsgMessage::kSize || bytes[0] != CMD_RAS_ERR_MSG) {
            std::abort();
        }
        break;
    case NotificationKind::None:
        break;
    }
    return 0;
}
