#include "NotificationMessage.h"

#include "Notifications.h"
#include "PipeMessages.h"

namespace corvel {

NotificationPost NotificationMessageFor(const uint8_t* bytes, size_t length) {
    NotificationPost post;
    if (bytes == nullptr)
        return post;
    const Notification n = ClassifyNotification(bytes, length);
    switch (n.Kind) {
    case NotificationKind::VpnState:
        post.Post = true;
        post.Message = WM_VPN_STATE0 + n.VpnNotify.ConnectStatus;
        post.WParam = n.VpnNotify.VpnIndex;
        post.LParam = n.VpnNotify.QuitGui;
        break;
    case NotificationKind::RasError:
        post.Post = true;
        post.Message = WM_VPN_ERROR;
        post.WParam = n.RasErrMsg.RasError;
        break;
    case NotificationKind::None:
        break;
    }
    return post;
}

} // namespace corvel
