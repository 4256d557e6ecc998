#include "RasEntry.h"

#include "FixedString.h"
#include "Handles.h"

#include <cstdio>
#include <cwchar>

namespace corvel {

namespace {

constexpr DWORD kPauseAfterHangUp = 5000;
constexpr size_t kPhoneChars = RAS_MaxPhoneNumber + 1;

// A record's UTF-16 field into a Win32 buffer, always terminated, never beyond either side.
template <size_t N, size_t M> void CopyField(wchar_t (&dst)[N], const char16_t (&src)[M]) {
    static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 wchar_t");
    const size_t n = FixedLength(src, M) < N ? FixedLength(src, M) : N - 1;
    for (size_t i = 0; i < n; ++i)
        dst[i] = wchar_t(src[i]);
    dst[n] = L'\0';
}

DWORD AuthenticationBits(uint8_t authProtocol) {
    switch (authProtocol) {
    case 1:
        return RASEO_RequirePAP;
    case 2:
        return RASEO_RequireCHAP;
    case 3:
        return RASEO_RequirePAP | RASEO_RequireCHAP;
    default: // 0 and every unknown value: MS-CHAP v2
        return RASEO_RequireMsCHAP2;
    }
}

} // namespace

CRasEntry::CRasEntry(CRasApi& ras) : m_ras(ras) {
    ZeroMemory(&Entry, sizeof Entry);
    ZeroMemory(&DialParams, sizeof DialParams);
    ZeroMemory(&Credentials, sizeof Credentials);
}

CRasEntry::~CRasEntry() {
    ::SecureZeroMemory(&DialParams, sizeof DialParams);
    ::SecureZeroMemory(&Credentials, sizeof Credentials);
    ::SecureZeroMemory(&Config, sizeof Config);
}

void CRasEntry::SetEntryName(const wchar_t* entryName) {
    std::swprintf(m_entryName, sizeof m_entryName / sizeof m_entryName[0], L"%ls", entryName);
}

bool CRasEntry::ServerFits(const VPNCONFIG& config) {
    return config.ServerIsIpAddress != 0 || config.GetServerHostName().size() < kPhoneChars;
}

DWORD CRasEntry::CreateCorvelData() {
    ZeroMemory(&Entry, sizeof Entry);
    ZeroMemory(&DialParams, sizeof DialParams);
    ::SecureZeroMemory(&Credentials, sizeof Credentials);
    if (!ServerFits(Config))
        return ERROR_INVALID_PARAMETER;

    // Sizes of this build's own structures: they differ between 32- and 64-bit builds.
    Entry.dwSize = sizeof Entry;
    if (Config.ServerIsIpAddress != 0) {
        std::swprintf(Entry.szLocalPhoneNumber, kPhoneChars, L"%u.%u.%u.%u", Config.Server[0],
                      Config.Server[1], Config.Server[2], Config.Server[3]);
    } else {
        const std::u16string host = Config.GetServerHostName();
        for (size_t i = 0; i < host.size(); ++i)
            Entry.szLocalPhoneNumber[i] = wchar_t(host[i]);
    }
    Entry.ipaddr.a = Config.DestinationNetwork[0];
    Entry.ipaddr.b = Config.DestinationNetwork[1];
    Entry.ipaddr.c = Config.DestinationNetwork[2];
    Entry.ipaddr.d = Config.DestinationNetwork[3];
    Entry.ipaddrDns.a = Config.DnsAddress[0];
    Entry.ipaddrDns.b = Config.DnsAddress[1];
    Entry.ipaddrDns.c = Config.DnsAddress[2];
    Entry.ipaddrDns.d = Config.DnsAddress[3];
    Entry.dwfOptions =
        RASEO_RequireDataEncryption | RASEO_IpHeaderCompression | AuthenticationBits(Config.AuthProtocol);
    if (Config.UseRemoteGateway == 1)
        Entry.dwfOptions |= RASEO_RemoteDefaultGateway;
    Entry.dwfOptions2 = RASEO2_SecureFileAndPrint | RASEO2_SecureClientForMSNet |
                        RASEO2_DontNegotiateMultilink | RASEO2_UsePreSharedKey | RASEO2_DisableNbtOverIP;
    Entry.dwType = RASET_Vpn;
    Entry.dwVpnStrategy = VS_L2tpOnly;
    Entry.dwfNetProtocols = RASNP_Ip;
    Entry.dwFramingProtocol = RASFP_Ppp;
    Entry.dwEncryptionType = ET_Require;
    std::swprintf(Entry.szDeviceType, RAS_MaxDeviceType + 1, L"%ls", RASDT_Vpn);
    std::swprintf(Entry.szDeviceName, RAS_MaxDeviceName + 1, L"%ls", L"WAN Miniport (L2TP)");

    Credentials.dwSize = sizeof Credentials;
    Credentials.dwMask = RASCM_PreSharedKey;
    CopyField(Credentials.szPassword, Config.PreSharedKey);

    DialParams.dwSize = sizeof DialParams;
    std::swprintf(DialParams.szEntryName, RAS_MaxEntryName + 1, L"%ls", m_entryName);
    CopyField(DialParams.szUserName, Config.UserName);
    CopyField(DialParams.szPassword, Config.Password);
    return 0;
}

DWORD CRasEntry::CreateEntry() {
    return m_ras.SetEntryProperties(m_entryName, Entry);
}

DWORD CRasEntry::SetPSK() {
    return m_ras.SetCredentials(m_entryName, Credentials);
}

DWORD CRasEntry::RasConnnect() {
    HRASCONN connection = nullptr;
    const DWORD result = m_ras.Dial(DialParams, DialFunc, &connection);
    Connection.store(connection);
    return result;
}

DWORD CRasEntry::CorvelConnect() {
    DWORD result = CreateCorvelData();
    if (result == 0)
        result = CreateEntry();
    if (result == 0 && Config.PreSharedKey[0] != u'\0')
        result = SetPSK();
    if (result == 0)
        result = RasConnnect();
    // The key and the password have been handed over.
    ::SecureZeroMemory(&Credentials, sizeof Credentials);
    ::SecureZeroMemory(DialParams.szPassword, sizeof DialParams.szPassword);
    return result;
}

DWORD CRasEntry::RasDisConnect(CEngineClock& clock) {
    const HRASCONN connection = TakeConnection();
    if (!connection)
        return DWORD(-1);
    const DWORD result = m_ras.HangUp(connection);
    // RAS needs time to take the port down before the entry goes or the next dial comes.
    clock.Pause(kPauseAfterHangUp);
    return result;
}

DWORD CRasEntry::DeleteEntry() {
    return m_ras.DeleteEntry(m_entryName);
}

void CRasEntry::CorvelDisConnect(CEngineClock& clock) {
    RasDisConnect(clock);
    DeleteEntry();
}

bool CRasEntry::WaitForDisconnection(HRASCONN connection, HANDLE cancel) {
    UniqueEvent disconnected(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!disconnected ||
        m_ras.ConnectionNotification(connection, disconnected.get(), RASCN_Disconnection) != 0)
        return false;
    const HANDLE waits[] = {disconnected.get(), cancel};
    return ::WaitForMultipleObjects(cancel ? 2 : 1, waits, FALSE, INFINITE) == WAIT_OBJECT_0;
}

} // namespace corvel
