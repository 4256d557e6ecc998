// The commands as the clients see them: request bytes over a real pipe, reply bytes back,
// and what each one does to the store, the engine and the GUI pipe.
#include "CommandReader.h"
#include "CommandsTestMain.h"
#include "DotDat.h"
#include "FixedString.h"
#include "GuiForwarder.h"
#include "Records.h"
#include "Requests.h"
#include "TestPipes.h"
#include "VpnAdmin.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>

namespace corvel {
namespace {

using test::CServedPipe;
using test::Exchange;
using Bytes = std::vector<uint8_t>;

Bytes Frame(uint8_t command, const Bytes& data) {
    Bytes f(4 + data.size());
    f[0] = command;
    f[1] = uint8_t(data.size() >> 16);
    f[2] = uint8_t(data.size() >> 8);
    f[3] = uint8_t(data.size());
    std::copy(data.begin(), data.end(), f.begin() + 4);
    return f;
}

Bytes Reply(uint8_t replyId, uint32_t result, const Bytes& payload) {
    Bytes r(8 + payload.size());
    const size_t length = payload.size() + 4;
    r[0] = replyId;
    r[1] = uint8_t(length >> 16);
    r[2] = uint8_t(length >> 8);
    r[3] = uint8_t(length);
    for (int i = 0; i < 4; ++i)
        r[4 + i] = uint8_t(result >> (24 - 8 * i));
    std::copy(payload.begin(), payload.end(), r.begin() + 8);
    return r;
}

Bytes Zeros(size_t n) {
    return Bytes(n, 0);
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    size_t total = 0;
    for (const Bytes& p : parts)
        total += p.size();
    Bytes all(total);
    auto out = all.begin();
    for (const Bytes& p : parts)
        out = std::copy(p.begin(), p.end(), out);
    return all;
}

// The GUI client's notification pipe, owned by the test: one message per connection.
class CGuiPipe {
public:
    CGuiPipe() : m_name(test::UniquePipeName(L"gui")), m_server(test::CreateServerPipe(m_name)) {
        SetGuiPipeName(m_name.c_str());
    }
    ~CGuiPipe() { SetGuiPipeName(nullptr); }

    // The next message a service worker writes (empty when none came within the wait).
    Bytes Receive(DWORD timeoutMs = 10000) {
        CPipeIo io(m_server.get(), timeoutMs);
        Bytes message;
        if (io.Connect() == 0) {
            uint8_t buffer[64];
            for (;;) {
                DWORD got = 0;
                if (io.ReadSome(buffer, sizeof buffer, got) != 0 || got == 0)
                    break;
                message.insert(message.end(), buffer, buffer + got);
            }
        }
        ::DisconnectNamedPipe(m_server.get());
        return message;
    }

private:
    std::wstring m_name;
    UniqueFile m_server;
};

class CommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        CCommandReader::Stopping = 0;
        ASSERT_EQ(0u, CDotDatSemaphore::GetInstance().Init());
    }
    void TearDown() override { CCommandReader::Stopping = 0; }
};

struct ExchangeCase {
    const char* Name;
    Bytes Request;
    Bytes Expected; // empty: no reply
};

TEST_F(CommandsTest, RequestsAreAnsweredWithTheProtocolsBytes) {
    const Bytes vpnConfig1125 = Concat({{0x03, 0x00, 0x00, 0x04, 0x65}, Zeros(1125)});
    const ExchangeCase cases[] = {
        {"restart check", {0xC1, 0, 0, 0}, Reply(0x41, 0, {})},
        {"status", {0x31, 0, 0, 0}, Reply(0xB1, 0, Zeros(20))},
        {"status with DATA", Frame(0x31, {1, 2, 3}), Reply(0xB1, 0, Zeros(20))},
        {"ras error", {0x32, 0, 0, 0}, Reply(0xB2, 0, Zeros(4))},
        {"ras error with DATA", Frame(0x32, {7}), Reply(0xB2, 11, Zeros(4))},
        {"connect too short", Frame(0x01, Zeros(9)), Reply(0x81, 11, {0xFF})},
        {"connect index 20", Frame(0x01, Concat({{20, 1}, Zeros(8)})), Reply(0x81, 87, {20})},
        {"connect password without user", Frame(0x01, {2, 1, 0, 0, 0, 0, 0, 0, 0, 2, 'a', 0}),
         Reply(0x81, 11, {2})},
        {"connect user beyond DATA", Frame(0x01, {2, 1, 0xFF, 0xFF, 0xFF, 0xFA, 0, 0, 0, 0}),
         Reply(0x81, 11, {2})},
        {"disconnect empty", {0x02, 0, 0, 0}, Reply(0x82, 11, {0})},
        {"disconnect of a disconnected one", Frame(0x02, {2}), Reply(0x82, 0, {2})},
        {"disconnect index 20", Frame(0x02, {20}), Reply(0x82, 87, {20})},
        {"save too short", Frame(0x11, {3, 0, 0}), Reply(0x91, 11, {0})},
        {"save item 26", Frame(0x11, {26, 0, 0, 0, 0}), Reply(0x91, 87, {26})},
        {"save record of 1125 bytes", Frame(0x11, vpnConfig1125), Reply(0x91, 13, {3})},
        {"save item 22", Frame(0x11, {22, 0, 0, 0, 1, 9}), Reply(0x91, 0, {22})},
        {"save AUTHINFO of 260 bytes", Frame(0x11, Concat({{25, 0, 0, 1, 4}, Zeros(260)})),
         Reply(0x91, 13, {25})},
        {"load empty", {0x12, 0, 0, 0}, Reply(0x92, 11, {0, 0, 0, 0, 0})},
        {"load item 26", Frame(0x12, {26}), Reply(0x92, 87, {26, 0, 0, 0, 0})},
        {"load item 25", Frame(0x12, {25}), Reply(0x92, 0, {25, 0, 0, 0, 0})},
        {"load item 20", Frame(0x12, {20}), Reply(0x92, 0, {20, 0, 0, 0, 0})},
        {"load probe item", Frame(0x12, {23}), Reply(0x92, 0, {23, 0, 0, 0, 0})},
        {"import too short", Frame(0x21, {0, 0, 0, 0}), Reply(0xA1, 11, {})},
        {"import path beyond DATA", Frame(0x21, {0, 0, 0, 4, 'a', 0, 1}), Reply(0xA1, 11, {})},
        {"export too short", Frame(0x22, {0, 0, 0}), Reply(0xA2, 11, {})},
        {"unknown command", {0x03, 0, 0, 0}, {}},
        {"unknown command with DATA", Frame(0x7F, {1, 2}), {}},
        {"notification with state 3", Frame(0x41, {2, 3, 0}), {}},
        {"head of 0 bytes", {}, {}},
        {"head of 1 byte", {0x31}, {}},
        {"head of 3 bytes", {0x31, 0, 0}, {}},
        {"DATA shorter than announced", {0x12, 0, 0, 2, 1}, {}},
    };
    // Requests that stop short end by the deadline: keep it short here.
    SetPipeIoTimeoutMs(500);
    for (const ExchangeCase& c : cases)
        EXPECT_EQ(c.Expected, Exchange(c.Request)) << c.Name;
    SetPipeIoTimeoutMs(kPipeIoTimeoutMs);
}

TEST_F(CommandsTest, LoadAnswersTheStoredRecordsAndLogInfo) {
    Bytes record(VPNCONFIG::kSize);
    ASSERT_EQ(0u, CDotDatSemaphore::GetInstance().GetVpnConfig(record.data(), 7));
    EXPECT_EQ(Reply(0x92, 0, Concat({{7, 0, 0, 0x04, 0x66}, record})), Exchange(Frame(0x12, {7})));

    Bytes logInfo(LogInfo::kSize);
    ASSERT_EQ(0u, CDotDatSemaphore::GetInstance().GetLogInfo(logInfo.data()));
    EXPECT_EQ(Reply(0x92, 0, Concat({{22, 0, 0, 0x02, 0x0F}, logInfo})), Exchange(Frame(0x12, {22})));
}

TEST_F(CommandsTest, SaveStoresRecordsAndCredentials) {
    VPNCONFIG config = VPNCONFIG::Default(4);
    ASSERT_TRUE(CopyToFixed(config.Name, u"saved by test"));
    EXPECT_EQ(Reply(0x91, 0, {4}), Exchange(BuildSaveConfigRequest(4, config)));
    Bytes stored(VPNCONFIG::kSize);
    ASSERT_EQ(0u, CDotDatSemaphore::GetInstance().GetVpnConfig(stored.data(), 4));
    EXPECT_EQ(config.ToBytes(), stored);

    AUTHINFO auth;
    auth.VpnIndex = 4;
    ASSERT_TRUE(CopyToFixed(auth.UserName, u"alice"));
    ASSERT_TRUE(CopyToFixed(auth.Password, u"secret"));
    EXPECT_EQ(Reply(0x91, 0, {25}), Exchange(BuildSaveAuthInfoRequest(auth)));
    ASSERT_EQ(0u, CDotDatSemaphore::GetInstance().GetVpnConfig(stored.data(), 4));
    const VPNCONFIG after = VPNCONFIG::FromBytes(stored.data());
    EXPECT_EQ(u"alice", FixedToString(after.UserName));
    EXPECT_EQ(u"secret", FixedToString(after.Password));
    EXPECT_EQ(u"saved by test", FixedToString(after.Name));

    auth.VpnIndex = 20;
    EXPECT_EQ(Reply(0x91, 87, {25}), Exchange(BuildSaveAuthInfoRequest(auth)));
}

TEST_F(CommandsTest, ConnectWithoutGuiAndWithoutItsProgramAnswersTheStartError) {
    // No GUI mutex and no "Corvel.exe" beside the test: the start fails, nothing is begun.
    const Bytes reply = Exchange(BuildConnectRequest(4, 0, u"", u""));
    ASSERT_EQ(9u, reply.size());
    EXPECT_EQ(0x81, reply[0]);
    EXPECT_EQ((Bytes{0, 0, 0, ERROR_FILE_NOT_FOUND}), Bytes(reply.begin() + 4, reply.begin() + 8));
    EXPECT_EQ(4, reply[8]);
    EXPECT_EQ(0, CVpnAdmin::GetInstance().GetConnectStatus(4));
}

TEST_F(CommandsTest, NotificationsAreForwardedToTheGui) {
    CGuiPipe gui;
    struct Case {
        const char* Name;
        Bytes Request;
        Bytes Forwarded;
    } cases[] = {
        {"state", {0x41, 0, 0, 3, 2, 1, 0}, {0x41, 0, 0, 3, 2, 1, 0}},
        {"state with extra bytes", {0x41, 0, 0, 5, 19, 2, 0, 9, 9}, {0x41, 0, 0, 3, 19, 2, 0}},
        {"quit", {0x41, 0, 0, 3, 0, 0, 1}, {0x41, 0, 0, 3, 0, 0, 1}},
        {"ras error", {0x44, 0, 0, 4, 0, 0, 2, 0x6C}, {0x44, 0, 0, 4, 0, 0, 2, 0x6C}},
        {"ras error with extra bytes", {0x44, 0, 0, 5, 0, 0, 3, 0x20, 7}, {0x44, 0, 0, 4, 0, 0, 3, 0x20}},
    };
    for (const Case& c : cases) {
        std::thread receiver;
        Bytes received;
        receiver = std::thread([&] { received = gui.Receive(); });
        EXPECT_EQ(Bytes{}, Exchange(c.Request)) << c.Name; // never a reply
        receiver.join();
        EXPECT_EQ(c.Forwarded, received) << c.Name;
    }
}

TEST_F(CommandsTest, RefusedNotificationsForwardNothing) {
    CGuiPipe gui;
    Bytes received;
    std::thread receiver([&] { received = gui.Receive(); });
    // Refused ones first: the GUI then receives the valid one that follows.
    for (const Bytes& refused : {Bytes{0x41, 0, 0, 2, 1, 1}, Bytes{0x41, 0, 0, 3, 20, 1, 0},
                                 Bytes{0x41, 0, 0, 3, 1, 3, 0}, Bytes{0x44, 0, 0, 3, 0, 0, 1}})
        EXPECT_EQ(Bytes{}, Exchange(refused));
    Exchange({0x41, 0, 0, 3, 5, 2, 0});
    receiver.join();
    EXPECT_EQ((Bytes{0x41, 0, 0, 3, 5, 2, 0}), received);
}

TEST_F(CommandsTest, MissingGuiIsNotAnError) {
    const std::wstring nobody = test::UniquePipeName(L"nogui");
    SetGuiPipeName(nobody.c_str());
    EXPECT_EQ(Bytes{}, Exchange({0x41, 0, 0, 3, 1, 0, 0}));
    EXPECT_EQ(Reply(0xB1, 0, Zeros(20)), Exchange({0x31, 0, 0, 0}));
    SetGuiPipeName(nullptr);
}

TEST_F(CommandsTest, WhileStoppingOnlyNotificationsAreCarriedOut) {
    CGuiPipe gui;
    CCommandReader::Stopping = 1;
    for (const Bytes& dropped :
         {Bytes{0x31, 0, 0, 0}, Bytes{0xC1, 0, 0, 0}, Frame(0x12, {3}), Frame(0x02, {1})})
        EXPECT_EQ(Bytes{}, Exchange(dropped));
    Bytes received;
    std::thread receiver([&] { received = gui.Receive(); });
    EXPECT_EQ(Bytes{}, Exchange({0x41, 0, 0, 3, 3, 0, 0}));
    receiver.join();
    EXPECT_EQ((Bytes{0x41, 0, 0, 3, 3, 0, 0}), received);
}

// A connection held by the engine (fake RAS) and the commands that meet it.
class ConnectedTest : public CommandsTest {
protected:
    void SetUp() override {
        CommandsTest::SetUp();
        // A GUI runs: nothing is started.
        m_guiMutex.reset(::CreateMutexW(nullptr, FALSE, kGuiMutexName));
        ASSERT_TRUE(m_guiMutex);
        m_nobody = test::UniquePipeName(L"nogui");
        SetGuiPipeName(m_nobody.c_str());
    }
    void TearDown() override {
        CVpnAdmin::GetInstance().EndVpn();
        ASSERT_TRUE(CVpnAdmin::GetInstance().WaitForAllThreads(10000));
        SetGuiPipeName(nullptr);
        CommandsTest::TearDown();
    }
    static uint8_t State(uint8_t index) { return CVpnAdmin::GetInstance().GetConnectStatus(index); }
    // Connects and waits until the engine reports the connection as established.
    static Bytes Connect(uint8_t index) {
        test::EngineSink().Clear();
        Bytes reply = Exchange(BuildConnectRequest(index, 1, u"alice", u"pw"));
        if (reply == Reply(0x81, 0, {index})) {
            const Bytes connected = {0x41, 0, 0, 3, index, 1, 0};
            const bool done =
                test::EngineSink().WaitFor([&](const std::vector<CCapturingSink::Frame>& frames) {
                    return !frames.empty() && frames.back() == connected;
                });
            EXPECT_TRUE(done) << int(index);
        }
        return reply;
    }

    UniqueHandle<> m_guiMutex;
    std::wstring m_nobody;
};

TEST_F(ConnectedTest, ConnectBeginsAndDisconnectEndsIt) {
    EXPECT_EQ(Reply(0x81, 0, {4}), Connect(4));
    EXPECT_EQ(1, State(4));
    EXPECT_EQ(Reply(0x81, 1247, {6}), Connect(6));              // one connection at a time
    EXPECT_EQ(Reply(0x82, 0, {2}), Exchange(Frame(0x02, {2}))); // another one's state is 0: nothing ends
    EXPECT_NE(0, State(4));
    EXPECT_EQ(Reply(0x82, 0, {4}), Exchange(Frame(0x02, {4})));
    EXPECT_EQ(0, State(4));
    EXPECT_EQ(Reply(0x82, 0, {4}), Exchange(Frame(0x02, {4})));
}

TEST_F(ConnectedTest, SettingsOfAnActiveConnectionAreRefusedButItsCredentialsStored) {
    ASSERT_EQ(Reply(0x81, 0, {3}), Connect(3));
    EXPECT_EQ(Reply(0x91, 5, {3}), Exchange(BuildSaveConfigRequest(3, VPNCONFIG::Default(3))));
    EXPECT_EQ(Reply(0x91, 0, {5}), Exchange(BuildSaveConfigRequest(5, VPNCONFIG::Default(5))));
    AUTHINFO auth;
    auth.VpnIndex = 3;
    ASSERT_TRUE(CopyToFixed(auth.UserName, u"bob"));
    EXPECT_EQ(Reply(0x91, 0, {25}), Exchange(BuildSaveAuthInfoRequest(auth)));
    // Import refuses while any connection is active, before it looks at the file.
    EXPECT_EQ(Reply(0xA1, 5, {}), Exchange(BuildImportRequest(u"C:\\nowhere\\x.bin", 0)));
}

TEST_F(ConnectedTest, NotificationsOfStateZeroAndRasErrorsEndTheActiveConnection) {
    struct Case {
        const char* Name;
        Bytes Notification;
    } cases[] = {
        {"state 0 of another connection", {0x41, 0, 0, 3, 9, 0, 0}},
        {"quit from the command line", {0x41, 0, 0, 3, 0, 0, 1}},
        {"RAS error without a GUI", {0x44, 0, 0, 4, 0, 0, 2, 0x6C}},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(Reply(0x81, 0, {1}), Connect(1)) << c.Name;
        EXPECT_EQ(Bytes{}, Exchange(c.Notification)) << c.Name;
        EXPECT_EQ(0, State(1)) << c.Name;
        ASSERT_TRUE(CVpnAdmin::GetInstance().WaitForAllThreads(10000));
    }
    // A state other than 0 ends nothing.
    ASSERT_EQ(Reply(0x81, 0, {1}), Connect(1));
    EXPECT_EQ(Bytes{}, Exchange({0x41, 0, 0, 3, 1, 1, 0}));
    EXPECT_NE(0, State(1));
}

TEST_F(ConnectedTest, StatusAnswersTheTwentyStates) {
    ASSERT_EQ(Reply(0x81, 0, {19}), Connect(19));
    const Bytes reply = Exchange({0x31, 0, 0, 0});
    ASSERT_EQ(28u, reply.size());
    for (uint8_t i = 0; i < 19; ++i)
        EXPECT_EQ(0, reply[8 + i]) << int(i);
    EXPECT_EQ(State(19), reply[8 + 19]);
    EXPECT_NE(0, reply[8 + 19]);
}

} // namespace
} // namespace corvel
