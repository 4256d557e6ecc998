#include "CommandObjects.h"

#include "ByteOrder.h"
#include "DotDat.h"
#include "Handles.h"
#include "Notifications.h"
#include "PipeNames.h"
#include "Records.h"
#include "SettingsTransfer.h"
#include "VpnAdmin.h"

#include <new>
#include <vector>

namespace corvel {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 strings are passed on as wchar_t");

namespace {

constexpr uint32_t kEchoReplyLength = 5; // result and a one-byte echo

const wchar_t* AsWide(const std::u16string& s) {
    return reinterpret_cast<const wchar_t*>(s.c_str());
}

void Wipe(std::u16string& s) {
    if (!s.empty())
        ::SecureZeroMemory(&s[0], s.size() * sizeof(char16_t));
    s.clear();
}

bool AnyConnectionActive(CVpnAdmin& engine) {
    for (uint8_t i = 0; i < kVpnIndexLimit; ++i)
        if (engine.GetConnectStatus(i) != ConnectStatus::Disconnected)
            return true;
    return false;
}

} // namespace

// ---- CMD_CONNECT ----

CIncmdConnect::~CIncmdConnect() {
    WipeCredentials();
}

void CIncmdConnect::WipeCredentials() {
    Wipe(m_Request.UserName);
    Wipe(m_Request.Password);
}

DWORD CIncmdConnect::AnalyzeDATA() {
    WipeCredentials();
    m_Request = ConnectRequest();
    return ParseConnect(m_pData, m_DataLength, m_Request);
}

DWORD CIncmdConnect::Run() {
    const DWORD checked = AnalyzeDATA();
    if (checked != 0)
        return checked;
    // Any GUI client on the machine (in any session) follows the notifications itself.
    UniqueHandle<> guiMutex(::OpenMutexW(MUTEX_ALL_ACCESS, FALSE, kGuiMutexName));
    if (!guiMutex) {
        const DWORD started = StartGui();
        if (started != 0)
            return started;
    }
    guiMutex.reset();
    return CVpnAdmin::GetInstance().BeginVpn(m_Request.VpnIndex,
                                             m_Request.HasUserName() ? AsWide(m_Request.UserName) : nullptr,
                                             m_Request.HasPassword() ? AsWide(m_Request.Password) : nullptr);
}

DWORD CIncmdConnect::InExecute() {
    const DWORD result = Run();
    WipeCredentials();
    const uint8_t echo = m_Request.VpnIndex;
    return Reply(kEchoReplyLength, result, &echo);
}

// ---- CMD_DISCONNECT ----

DWORD CIncmdDisconnect::AnalyzeDATA() {
    m_Request = DisconnectRequest();
    return ParseDisconnect(m_pData, m_DataLength, m_Request);
}

DWORD CIncmdDisconnect::Run() {
    const DWORD checked = AnalyzeDATA();
    if (checked != 0)
        return checked;
    CVpnAdmin& engine = CVpnAdmin::GetInstance();
    if (engine.GetConnectStatus(m_Request.VpnIndex) == ConnectStatus::Disconnected)
        return 0;
    return engine.EndVpn();
}

DWORD CIncmdDisconnect::InExecute() {
    const DWORD result = Run();
    const uint8_t echo = m_Request.VpnIndex;
    return Reply(kEchoReplyLength, result, &echo);
}

// ---- CMD_SAVE_CONFIG ----

CIncmdSaveConfig::~CIncmdSaveConfig() {
    // Item 25 and every VPNCONFIG carry a password.
    if (!m_Request.Item.empty())
        ::SecureZeroMemory(m_Request.Item.data(), m_Request.Item.size());
}

DWORD CIncmdSaveConfig::AnalyzeDATA() {
    m_Request = SaveConfigRequest();
    return ParseSaveConfig(m_pData, m_DataLength, m_Request);
}

DWORD CIncmdSaveConfig::Run() {
    const DWORD checked = AnalyzeDATA();
    if (checked != 0)
        return checked;
    const uint8_t item = m_Request.ConfigItemId;
    CDotDatSemaphore& store = CDotDatSemaphore::GetInstance();
    switch (GetConfigItemRule(item).Save) {
    case SaveAction::StoreVpnConfig: {
        if (CVpnAdmin::GetInstance().GetConnectStatus(item) != ConnectStatus::Disconnected)
            return ERROR_ACCESS_DENIED;
        std::vector<uint8_t> record;
        try {
            record = m_Request.SanitizedVpnConfig().ToBytes();
        } catch (const std::bad_alloc&) {
            return ERROR_OUTOFMEMORY;
        }
        const DWORD result = store.SetVpnConfig(item, record.data());
        ::SecureZeroMemory(record.data(), record.size());
        return result;
    }
    case SaveAction::StoreAuthInfo: {
        // The store replaces the credentials under one lock, whatever the connection's state.
        std::vector<uint8_t> authInfo;
        try {
            authInfo = m_Request.SanitizedAuthInfo().ToBytes();
        } catch (const std::bad_alloc&) {
            return ERROR_OUTOFMEMORY;
        }
        const DWORD result = store.SetAuthInfo(authInfo.data());
        ::SecureZeroMemory(authInfo.data(), authInfo.size());
        return result;
    }
    case SaveAction::Ignore:
        break;
    }
    return 0;
}

DWORD CIncmdSaveConfig::InExecute() {
    const DWORD result = Run();
    const uint8_t echo = m_Request.ConfigItemId;
    return Reply(kEchoReplyLength, result, &echo);
}

// ---- CMD_LOAD_CONFIG ----

DWORD CIncmdLoadConfig::AnalyzeDATA() {
    m_Request = LoadConfigRequest();
    return ParseLoadConfig(m_pData, m_DataLength, m_Request);
}

DWORD CIncmdLoadConfig::NewBuffer(std::vector<uint8_t>& buffer, uint32_t& length, uint32_t size) {
    try {
        buffer.assign(size, 0);
    } catch (const std::bad_alloc&) {
        length = 0;
        return ERROR_OUTOFMEMORY;
    }
    length = size;
    return 0;
}

DWORD CIncmdLoadConfig::InExecute() {
    std::vector<uint8_t> item;
    uint32_t itemLength = 0;
    DWORD result = AnalyzeDATA();
    if (result == 0) {
        const uint8_t id = m_Request.ConfigItemId;
        const ConfigItemRule rule = GetConfigItemRule(id);
        CDotDatSemaphore& store = CDotDatSemaphore::GetInstance();
        switch (rule.Load) {
        case LoadAction::VpnConfig:
            result = NewBuffer(item, itemLength, rule.LoadLength);
            if (result == 0)
                result = store.GetVpnConfig(item.data(), id);
            break;
        case LoadAction::LogInfo:
            result = NewBuffer(item, itemLength, rule.LoadLength);
            if (result == 0)
                result = store.GetLogInfo(item.data());
            break;
        case LoadAction::Empty:
            break;
        }
    }
    std::vector<uint8_t> payload;
    const DWORD built = BuildLoadConfigPayload(m_Request.ConfigItemId, itemLength ? item.data() : nullptr,
                                               itemLength, payload);
    if (!item.empty())
        ::SecureZeroMemory(item.data(), item.size());
    if (built != 0)
        return built; // no memory for the payload: no reply
    const DWORD replied = Reply(uint32_t(payload.size()) + 4, result, payload.data());
    ::SecureZeroMemory(payload.data(), payload.size());
    return replied;
}

// ---- CMD_IMPORT / CMD_EXPORT ----

DWORD CIncmdFileTransfer::AnalyzeDATA() {
    m_Request = FileRequest();
    return ParseFileRequest(m_pData, m_DataLength, m_Request);
}

std::unique_ptr<CPipeClientIdentity> CIncmdFileTransfer::NewClientIdentity() {
    return std::unique_ptr<CPipeClientIdentity>(new (std::nothrow) CNamedPipeClientIdentity(m_hPipe));
}

DWORD CIncmdFileTransfer::InExecute() {
    return Reply(4, Run(), nullptr);
}

DWORD CIncmdFileTransfer::Run() {
    const DWORD checked = AnalyzeDATA();
    if (checked != 0)
        return checked;
    std::unique_ptr<CPipeClientIdentity> identity = NewClientIdentity();
    if (!identity)
        return ERROR_OUTOFMEMORY;
    return Transfer(AsWide(m_Request.Path), m_Request.Selection, *identity);
}

DWORD CIncmdImport::Transfer(const wchar_t* path, uint8_t selection, CPipeClientIdentity& identity) {
    return ImportSettingsFile(CDotDatSemaphore::GetInstance(), path, selection,
                              AnyConnectionActive(CVpnAdmin::GetInstance()), identity);
}

DWORD CIncmdExport::Transfer(const wchar_t* path, uint8_t selection, CPipeClientIdentity& identity) {
    return ExportSettingsFile(CDotDatSemaphore::GetInstance(), path, selection, identity);
}

// ---- CMD_VPN_STATUS ----

DWORD CIncmdVpnStatus::Run() {
    // Read one after the other without a lock: a state may change between two reads.
    CVpnAdmin& engine = CVpnAdmin::GetInstance();
    for (uint8_t i = 0; i < kVpnIndexLimit; ++i)
        m_Status[i] = engine.GetConnectStatus(i);
    return 0;
}

DWORD CIncmdVpnStatus::InExecute() {
    const DWORD result = Run();
    return Reply(4 + kVpnIndexLimit, result, m_Status);
}

// ---- CMD_RAS_ERR ----

DWORD CIncmdRasErr::AnalyzeDATA() {
    return ParseRasErr(m_pData, m_DataLength);
}

DWORD CIncmdRasErr::Run() {
    const DWORD checked = AnalyzeDATA();
    if (checked != 0)
        return checked;
    WriteBe32(m_Payload, CVpnAdmin::GetInstance().GetLastRasError());
    return 0;
}

DWORD CIncmdRasErr::InExecute() {
    const DWORD result = Run();
    return Reply(4 + sizeof m_Payload, result, m_Payload);
}

// ---- CMD_VPN_NOTIFY ----

DWORD CIncmdVpnNotify::AnalyzeDATA() {
    m_Request = VpnNotifyRequest();
    return ParseVpnNotify(m_pData, m_DataLength, m_Request);
}

DWORD CIncmdVpnNotify::InExecute() {
    const DWORD checked = AnalyzeDATA();
    if (checked != 0)
        return checked; // no effect at all
    // State 0 ends the active connection, whichever it is, also when no GUI listens.
    if (m_Request.ConnectStatus == ConnectStatus::Disconnected)
        CVpnAdmin::GetInstance().EndVpn();
    VpnNotifyMessage message;
    message.VpnIndex = m_Request.VpnIndex;
    message.ConnectStatus = m_Request.ConnectStatus;
    message.QuitGui = m_Request.QuitGui;
    const auto bytes = message.ToBytes();
    ForwardToGui(bytes.data(), DWORD(bytes.size()));
    return 0;
}

// ---- CMD_RAS_ERR_MSG ----

DWORD CIncmdRasErrMsg::AnalyzeDATA() {
    m_Request = RasErrMsgRequest();
    return ParseRasErrMsg(m_pData, m_DataLength, m_Request);
}

DWORD CIncmdRasErrMsg::InExecute() {
    const DWORD checked = AnalyzeDATA();
    if (checked != 0)
        return checked; // a short message carries no error: nothing ended, nothing forwarded
    CVpnAdmin::GetInstance().EndVpn();
    RasErrMsgMessage message;
    message.RasError = m_Request.RasError;
    const auto bytes = message.ToBytes();
    ForwardToGui(bytes.data(), DWORD(bytes.size()));
    return 0;
}

// ---- CMD_ERR_RESTART_CHK ----

DWORD IncmdErrRestartChk::Run() {
    CVpnAdmin::GetInstance().DeleteAllEntries();
    return 0;
}

DWORD IncmdErrRestartChk::InExecute() {
    return Reply(4, Run(), nullptr);
}

} // namespace corvel
