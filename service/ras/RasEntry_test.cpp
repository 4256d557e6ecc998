#include "RasEntry.h"

#include "FakeRasApi.h"
#include "FixedString.h"
#include "VirtualClock.h"

#include <gtest/gtest.h>

#include <string>

using namespace corvel;

namespace {

VPNCONFIG IpRecord() {
    VPNCONFIG c = VPNCONFIG::Default(0);
    const uint8_t server[4] = {192, 168, 0, 10};
    c.SetServerAddress(server);
    return c;
}

struct Dialled {
    RASENTRYW Entry{};
    bool CredentialsSet = false;
    RASCREDENTIALSW Credentials{};
    RASDIALPARAMSW Params{};
    DWORD Result = 0;
};

Dialled Dial(const VPNCONFIG& config) {
    CFakeRasApi ras;
    CRasEntry dialer(ras);
    dialer.SetEntryName(L"CORVEL_vpn1");
    dialer.SetConfig(config);
    Dialled d;
    d.Result = dialer.CorvelConnect();
    const auto entries = ras.Calls("SetEntryProperties");
    if (!entries.empty())
        d.Entry = entries[0].Entry;
    const auto credentials = ras.Calls("SetCredentials");
    d.CredentialsSet = !credentials.empty();
    if (d.CredentialsSet)
        d.Credentials = credentials[0].Credentials;
    const auto dials = ras.Calls("Dial");
    if (!dials.empty())
        d.Params = dials[0].DialParams;
    return d;
}

TEST(RasEntry, WritesTheL2tpEntryThePreSharedKeyAndTheDialParameters) {
    VPNCONFIG c = IpRecord();
    CopyToFixed(c.PreSharedKey, u"秘密のキー");
    CopyToFixed(c.UserName, u"taro");
    CopyToFixed(c.Password, u"pw");
    const uint8_t net[4] = {10, 1, 2, 0}, dns[4] = {10, 1, 2, 53};
    std::copy(net, net + 4, c.DestinationNetwork);
    std::copy(dns, dns + 4, c.DnsAddress);

    const Dialled d = Dial(c);
    ASSERT_EQ(d.Result, 0u);
    EXPECT_EQ(d.Entry.dwSize, sizeof(RASENTRYW));
    EXPECT_EQ(std::wstring(d.Entry.szLocalPhoneNumber), L"192.168.0.10");
    EXPECT_EQ(d.Entry.ipaddr.a, 10);
    EXPECT_EQ(d.Entry.ipaddr.d, 0);
    EXPECT_EQ(d.Entry.ipaddrDns.d, 53);
    EXPECT_EQ(d.Entry.dwfOptions, DWORD(0x1008 | 0x10 | RASEO_RequireMsCHAP2));
    EXPECT_EQ(d.Entry.dwfOptions2, 0x57u);
    EXPECT_EQ(d.Entry.dwType, DWORD(RASET_Vpn));
    EXPECT_EQ(d.Entry.dwVpnStrategy, DWORD(VS_L2tpOnly));
    EXPECT_EQ(d.Entry.dwfNetProtocols, DWORD(RASNP_Ip));
    EXPECT_EQ(d.Entry.dwFramingProtocol, DWORD(RASFP_Ppp));
    EXPECT_EQ(d.Entry.dwEncryptionType, DWORD(ET_Require));
    EXPECT_EQ(std::wstring(d.Entry.szDeviceType), L"vpn");
    EXPECT_EQ(std::wstring(d.Entry.szDeviceName), L"WAN Miniport (L2TP)");

    ASSERT_TRUE(d.CredentialsSet);
    EXPECT_EQ(d.Credentials.dwSize, sizeof(RASCREDENTIALSW));
    EXPECT_EQ(d.Credentials.dwMask, DWORD(RASCM_PreSharedKey));
    EXPECT_EQ(std::wstring(d.Credentials.szPassword), L"秘密のキー");

    EXPECT_EQ(d.Params.dwSize, sizeof(RASDIALPARAMSW));
    EXPECT_EQ(std::wstring(d.Params.szEntryName), L"CORVEL_vpn1");
    EXPECT_EQ(std::wstring(d.Params.szUserName), L"taro");
    EXPECT_EQ(std::wstring(d.Params.szPassword), L"pw");
}

TEST(RasEntry, MapsAuthenticationAndGatewayOptions) {
    struct Case {
        uint8_t AuthProtocol;
        uint32_t UseRemoteGateway;
        DWORD Options;
    };
    const Case cases[] = {
        {0, 1, 0x1008 | 0x10 | 0x20000000}, {1, 1, 0x1008 | 0x10 | 0x40000},
        {2, 1, 0x1008 | 0x10 | 0x8000000},  {3, 1, 0x1008 | 0x10 | 0x8040000},
        {4, 1, 0x1008 | 0x10 | 0x20000000}, {7, 1, 0x1008 | 0x10 | 0x20000000},
        {0, 0, 0x1008 | 0x20000000},        {0, 2, 0x1008 | 0x20000000},
    };
    for (const Case& k : cases) {
        VPNCONFIG c = IpRecord();
        c.AuthProtocol = k.AuthProtocol;
        c.UseRemoteGateway = k.UseRemoteGateway;
        EXPECT_EQ(Dial(c).Entry.dwfOptions, k.Options)
            << "AuthProtocol " << int(k.AuthProtocol) << " UseRemoteGateway " << k.UseRemoteGateway;
    }
}

TEST(RasEntry, EmptyPreSharedKeySkipsTheCredentialsButKeepsThePreSharedKeyOption) {
    const Dialled d = Dial(IpRecord());
    EXPECT_EQ(d.Result, 0u);
    EXPECT_FALSE(d.CredentialsSet);
    EXPECT_TRUE(d.Entry.dwfOptions2 & RASEO2_UsePreSharedKey);
}

TEST(RasEntry, TakesAHostNameUpToWhatTheEntryHoldsAndRefusesALongerOne) {
    VPNCONFIG c = IpRecord();
    c.ServerIsIpAddress = 0;
    ASSERT_TRUE(c.SetServerHostName(u"vpn.example.jp"));
    EXPECT_EQ(std::wstring(Dial(c).Entry.szLocalPhoneNumber), L"vpn.example.jp");

    ASSERT_TRUE(c.SetServerHostName(std::u16string(RAS_MaxPhoneNumber, u'h')));
    const Dialled fits = Dial(c);
    EXPECT_EQ(fits.Result, 0u);
    EXPECT_EQ(std::wstring(fits.Entry.szLocalPhoneNumber), std::wstring(RAS_MaxPhoneNumber, L'h'));

    ASSERT_TRUE(c.SetServerHostName(std::u16string(RAS_MaxPhoneNumber + 1, u'h')));
    CFakeRasApi ras;
    CRasEntry dialer(ras);
    dialer.SetConfig(c);
    EXPECT_EQ(dialer.CorvelConnect(), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(ras.Calls().empty());
}

TEST(RasEntry, StopsAtTheFirstFailingCallAndKeepsTheHandleOfAFailedDial) {
    VPNCONFIG c = IpRecord();
    CopyToFixed(c.PreSharedKey, u"k");
    {
        CFakeRasApi ras;
        ras.SetCredentialsResult = 635;
        CRasEntry dialer(ras);
        dialer.SetConfig(c);
        EXPECT_EQ(dialer.CorvelConnect(), 635u);
        EXPECT_TRUE(ras.Calls("Dial").empty());
    }
    CFakeRasApi ras;
    CFakeRasApi::DialPlan failing;
    failing.Result = 623;
    ras.QueueDial(failing);
    CRasEntry dialer(ras);
    dialer.SetConfig(c);
    EXPECT_EQ(dialer.CorvelConnect(), 623u);
    EXPECT_TRUE(dialer.HasConnection());
    CVirtualClock clock;
    EXPECT_EQ(dialer.RasDisConnect(clock), 0u);
    EXPECT_EQ(clock.Pauses(), std::vector<DWORD>{5000});
    EXPECT_EQ(dialer.RasDisConnect(clock), DWORD(-1)); // nothing left: no pause
    EXPECT_EQ(clock.Pauses().size(), 1u);
}

} // namespace
