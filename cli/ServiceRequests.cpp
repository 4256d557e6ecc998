#include "ServiceRequests.h"

#include "ByteOrder.h"
#include "CommandHost.h"
#include "ConfigItems.h"

#include <algorithm>

namespace corvel::cli {

namespace {

constexpr uint32_t kLoadConfigDataLength = uint32_t(kLoadConfigReplySize - CommandHeader::kSize); // 1135
constexpr size_t kOffEcho = ReplyHeader::kSize;                                                   // 8
constexpr size_t kOffItemLength = kOffEcho + 1;                                                   // 9
constexpr size_t kOffRecord = kOffItemLength + 4;                                                 // 13
static_assert(kOffRecord + VPNCONFIG::kSize == kLoadConfigReplySize, "1139-byte load reply");

// Bytes 0-3 as a complete head: reply id and DataLength.
bool HeadIs(const uint8_t* reply, uint8_t replyId, size_t replySize) {
    return reply[0] == replyId && ReadBe24(reply + 1) == replySize - CommandHeader::kSize;
}

uint32_t ResultOf(const uint8_t* reply) {
    return ReadBe32(reply + CommandHeader::kSize);
}

uint32_t Transact(CServicePipe& pipe, const RequestFrame& request, size_t replySize,
                  std::vector<uint8_t>& reply) {
    if (request.empty())
        return ResultCode::OutOfMemory;
    reply.clear();
    return pipe.TransactRequest(request, replySize, reply);
}

} // namespace

uint32_t CheckLoadConfigReply(const uint8_t* reply, size_t count, uint8_t vpnIndex, VPNCONFIG& config) {
    if (count != kLoadConfigReplySize)
        return ResultCode::BadLength;
    if (reply[0] != REPLY_LOAD_CONFIG || reply[kOffEcho] != vpnIndex)
        return ResultCode::BadFormat;
    if (ReadBe24(reply + 1) != kLoadConfigDataLength || ReadBe32(reply + kOffItemLength) != VPNCONFIG::kSize)
        return ResultCode::BadLength;
    config.Read(reply + kOffRecord);
    config.Sanitize();
    return ResultOf(reply);
}

uint32_t CheckSaveAuthInfoReply(const uint8_t* reply, size_t count) {
    if (count != kEchoReplySize)
        return ResultCode::BadLength;
    if (reply[0] != REPLY_SAVE_CONFIG || reply[kOffEcho] != ConfigItem::AuthInfo)
        return ResultCode::BadFormat;
    return ResultOf(reply);
}

uint32_t CheckConnectReply(const uint8_t* reply, size_t count, uint8_t vpnIndex) {
    if (count != kEchoReplySize)
        return ResultCode::BadLength;
    if (!HeadIs(reply, REPLY_CONNECT, kEchoReplySize) || reply[kOffEcho] != vpnIndex)
        return ResultCode::BadFormat;
    return ResultOf(reply);
}

uint32_t CheckVpnStatusReply(const uint8_t* reply, size_t count, uint8_t (&states)[kVpnCount]) {
    if (count != kVpnStatusReplySize)
        return ResultCode::BadLength;
    if (!HeadIs(reply, REPLY_VPN_STATUS, kVpnStatusReplySize))
        return ResultCode::BadFormat;
    const uint32_t result = ResultOf(reply);
    if (result == 0)
        std::copy(reply + ReplyHeader::kSize, reply + kVpnStatusReplySize, states);
    return result;
}

uint32_t CheckRasErrReply(const uint8_t* reply, size_t count, uint32_t& lastRasError) {
    if (count != kRasErrReplySize)
        return ResultCode::BadLength;
    if (!HeadIs(reply, REPLY_RAS_ERR, kRasErrReplySize))
        return ResultCode::BadFormat;
    const uint32_t result = ResultOf(reply);
    if (result == 0)
        lastRasError = ReadBe32(reply + ReplyHeader::kSize);
    return result;
}

uint32_t LoadVpnConfig(CServicePipe& pipe, uint8_t vpnIndex, VPNCONFIG& config) {
    std::vector<uint8_t> reply;
    if (uint32_t rc = Transact(pipe, BuildLoadConfigRequest(vpnIndex), kLoadConfigReplySize, reply))
        return rc;
    return CheckLoadConfigReply(reply.data(), reply.size(), vpnIndex, config);
}

uint32_t SendSaveCredentials(CServicePipe& pipe, uint8_t vpnIndex, std::u16string_view userName,
                             std::u16string_view password) {
    RequestFrame request = BuildCredentialsSaveRequest(vpnIndex, userName, password);
    std::vector<uint8_t> reply;
    const uint32_t rc = Transact(pipe, request, kEchoReplySize, reply);
    WipeFrame(request);
    if (rc)
        return rc;
    return CheckSaveAuthInfoReply(reply.data(), reply.size());
}

uint32_t SendConnect(CServicePipe& pipe, uint8_t vpnIndex, uint8_t showGui, std::u16string_view userName,
                     std::u16string_view password) {
    RequestFrame request = BuildConnectRequest(vpnIndex, showGui, userName, password);
    std::vector<uint8_t> reply;
    const uint32_t rc = Transact(pipe, request, kEchoReplySize, reply);
    WipeFrame(request);
    if (rc)
        return rc;
    return CheckConnectReply(reply.data(), reply.size(), vpnIndex);
}

uint32_t QueryVpnStates(CServicePipe& pipe, uint8_t (&states)[kVpnCount]) {
    std::vector<uint8_t> reply;
    if (uint32_t rc = Transact(pipe, BuildVpnStatusRequest(), kVpnStatusReplySize, reply))
        return rc;
    return CheckVpnStatusReply(reply.data(), reply.size(), states);
}

uint32_t QueryVpnState(CServicePipe& pipe, uint8_t vpnIndex, uint8_t& state) {
    if (vpnIndex >= kVpnIndexLimit)
        return ResultCode::InvalidParameter;
    uint8_t states[kVpnCount] = {};
    const uint32_t rc = QueryVpnStates(pipe, states);
    if (rc == 0)
        state = states[vpnIndex];
    return rc;
}

uint32_t QueryRasErr(CServicePipe& pipe, uint32_t& lastRasError) {
    std::vector<uint8_t> reply;
    if (uint32_t rc = Transact(pipe, BuildRasErrRequest(), kRasErrReplySize, reply))
        return rc;
    return CheckRasErrReply(reply.data(), reply.size(), lastRasError);
}

uint32_t SendVpnNotify(CServicePipe& pipe, CCommandHost& host, uint8_t vpnIndex, uint8_t connectStatus,
                       uint8_t quitGui) {
    std::vector<uint8_t> none;
    if (uint32_t rc = Transact(pipe, BuildVpnNotifyRequest(vpnIndex, connectStatus, quitGui), 0, none))
        return rc;
    if (connectStatus == ConnectStatus::Disconnected)
        host.Sleep(kNotifyPauseMs);
    return ResultCode::Success;
}

} // namespace corvel::cli
