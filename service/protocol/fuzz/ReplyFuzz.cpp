// Replies as a client receives them: the first byte names the command the client sent, the
// rest is the frame that came back.
#include "Protocol.h"
#include "Replies.h"

#include <cstdlib>
#include <vector>

using namespace corvel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    if (size < 1) {
        return 0;
    }
    const uint8_t commandId = bytes[0];
    std::vector<uint8_t> frame(bytes + 1, bytes + size);
    ReplyView view;
    if (ParseReply(frame.data(), frame.size(), commandId, view) != 0) {
        return 0;
    }
    if (view.PayloadLength + ReplyHeader::kSize != frame.size()) {
        std::abort();
    }
    LoadConfigReply load;
    if (ParseLoadConfigReply(view.Payload, view.PayloadLength, load) == 0 &&
        load.Item + load.ItemLength > view.Payload + view.PayloadLength) {
        std::abort();
    }
    uint8_t states[20];
    ParseVpnStatusReply(view.Payload, view.PayloadLength, states);
    uint32_t rasError = 0;
    ParseRasErrReply(view.Payload, view.PayloadLength, rasError);
    uint8_t echo = 0;
    ParseEchoReply(view.Payload, view.PayloadLength, echo);
    return 0;
}
