// The console client's reply checks: the first byte picks the check, the second is the
// VpnIndex the reply must echo, the rest is what the one read returned.
#include "ServiceRequests.h"

#include "FixedString.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <vector>

using namespace corvel;
using namespace corvel::cli;

namespace {

void Require(bool condition) {
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    if (size < 2)
        return 0;
    const uint8_t which = bytes[0] % 5;
    const uint8_t vpnIndex = bytes[1];
    // An exactly sized copy, so any read past the reply is reported.
    const std::vector<uint8_t> reply(bytes + 2, bytes + size);
    const uint8_t* data = reply.data();
    const size_t count = reply.size();
    switch (which) {
    case 0: {
        VPNCONFIG config;
        const uint32_t rc = CheckLoadConfigReply(data, count, vpnIndex, config);
        Require(count == kLoadConfigReplySize || rc == ResultCode::BadLength);
        Require(IsTerminated(config.Name) && IsTerminated(config.PreSharedKey) &&
                IsTerminated(config.UserName) && IsTerminated(config.Password));
        break;
    }
    case 1:
        Require(count == kEchoReplySize || CheckSaveAuthInfoReply(data, count) == ResultCode::BadLength);
        break;
    case 2:
        Require(count == kEchoReplySize || CheckConnectReply(data, count, vpnIndex) == ResultCode::BadLength);
        break;
    case 3: {
        uint8_t states[kVpnCount];
        std::fill(std::begin(states), std::end(states), 0xEE);
        const uint32_t rc = CheckVpnStatusReply(data, count, states);
        Require(count == kVpnStatusReplySize || rc == ResultCode::BadLength);
        if (rc != 0)
            for (uint8_t s : states)
                Require(s == 0xEE);
        break;
    }
    case 4: {
        uint32_t rasError = 0xEEEEEEEE;
        const uint32_t rc = CheckRasErrReply(data, count, rasError);
        Require(count == kRasErrReplySize || rc == ResultCode::BadLength);
        Require(rc == 0 || rasError == 0xEEEEEEEE);
        break;
    }
    }
    return 0;
}
