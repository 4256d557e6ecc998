#include "VpnAdmin.h"

#include "CapturingSink.h"
#include "FakeRasApi.h"
#include "FakeVpnConfigSource.h"
#include "FixedString.h"
#include "VirtualClock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

using namespace corvel;

namespace {

using Frame = CCapturingSink::Frame;
using Frames = std::vector<Frame>;
const auto Notify = CCapturingSink::VpnNotify;
const auto RasErr = CCapturingSink::RasErrMsg;

// Holds back pauses of one length until opened; counts the ones it holds.
class CPauseGate {
public:
    void Hold(CVirtualClock& clock, DWORD milliseconds, int howMany) {
        clock.SetPauseHook([this, milliseconds, howMany](DWORD ms) {
            std::unique_lock<std::mutex> hold(m_lock);
            if (ms != milliseconds || m_held >= howMany)
                return;
            ++m_held;
            m_changed.notify_all();
            m_changed.wait(hold, [this] { return m_open; });
        });
    }
    bool WaitHeld(int count) {
        std::unique_lock<std::mutex> hold(m_lock);
        return m_changed.wait_for(hold, std::chrono::seconds(10), [&] { return m_held >= count; });
    }
    void Open() {
        std::lock_guard<std::mutex> hold(m_lock);
        m_open = true;
        m_changed.notify_all();
    }

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    int m_held = 0;
    bool m_open = false;
};

class VpnAdminTest : public ::testing::Test {
protected:
    void SetUp() override {
        CVpnAdminParts parts;
        parts.Ras = &ras;
        parts.Clock = &clock;
        parts.Sink = &sink;
        parts.Store = &store;
        engine = std::make_unique<CVpnAdmin>(parts);
    }
    void TearDown() override {
        gate.Open();
        ras.ReleaseDial();
        engine.reset();
    }

    // What the worker that reads a state-0 or RAS-error notification does.
    void EndAsTheWorkerDoes() { EXPECT_EQ(engine->EndVpn(), 0u); }
    bool WaitConnected(uint8_t index) {
        return sink.WaitForFrame(Notify(index, ConnectStatus::Connected)) &&
               ras.WaitForCalls("ConnectionNotification", 1);
    }

    CFakeRasApi ras;
    CVirtualClock clock;
    CCapturingSink sink;
    CFakeVpnConfigSource store;
    CPauseGate gate;
    std::unique_ptr<CVpnAdmin> engine;
};

TEST_F(VpnAdminTest, AnAttemptThatNeverConnectsSends83ConnectingStatesThenGivesUp) {
    ras.QueueDial(CFakeRasApi::NeverConnects());
    ASSERT_EQ(engine->BeginVpn(2, nullptr, nullptr), 0u);
    ASSERT_TRUE(sink.WaitFor([](const Frames& f) { return f.size() == 84; }));
    const Frames frames = sink.Frames();
    for (size_t i = 0; i < 83; ++i)
        ASSERT_EQ(frames[i], Notify(2, ConnectStatus::Connecting)) << i;
    EXPECT_EQ(frames[83], Notify(2, ConnectStatus::Disconnected));
    EXPECT_EQ(clock.CountPauses(500), 82u);
    EXPECT_EQ(engine->GetConnectStatus(2), ConnectStatus::Disconnected);

    EndAsTheWorkerDoes();
    const auto hangUps = ras.Calls("HangUp");
    ASSERT_EQ(hangUps.size(), 1u);
    EXPECT_EQ(hangUps[0].Connection, ras.Calls("Dial")[0].Connection);
    ASSERT_EQ(ras.Calls("DeleteEntry").size(), 1u);
    EXPECT_EQ(ras.Calls("DeleteEntry")[0].EntryName, L"CORVEL_vpn3");
    ASSERT_TRUE(engine->WaitForAllThreads(10000));
    EXPECT_EQ(sink.Frames().size(), 84u);
}

TEST_F(VpnAdminTest, ASuccessfulDialReportsConnectingConnectedAndTheDropThatFollows) {
    VPNCONFIG stored = VPNCONFIG::Default(0);
    CopyToFixed(stored.UserName, u"stored-user");
    CopyToFixed(stored.Password, u"stored-pw");
    store.Set(0, stored);
    ASSERT_EQ(engine->BeginVpn(0, L"taro", L"secret"), 0u);
    ASSERT_TRUE(WaitConnected(0));
    EXPECT_EQ(sink.Frames(),
              (Frames{Notify(0, ConnectStatus::Connecting), Notify(0, ConnectStatus::Connected)}));
    EXPECT_EQ(engine->GetConnectStatus(0), ConnectStatus::Connected);
    const auto dial = ras.Calls("Dial").at(0).DialParams;
    EXPECT_EQ(std::wstring(dial.szEntryName), L"CORVEL_vpn1");
    EXPECT_EQ(std::wstring(dial.szUserName), L"taro");
    EXPECT_EQ(std::wstring(dial.szPassword), L"secret");
    EXPECT_EQ(ras.Calls("ConnectionNotification").at(0).Flags, DWORD(RASCN_Disconnection));

    ASSERT_TRUE(ras.Drop(ras.LastConnection()));
    ASSERT_TRUE(sink.WaitForFrame(Notify(0, ConnectStatus::Disconnected)));
    EXPECT_EQ(engine->GetConnectStatus(0), ConnectStatus::Disconnected);
    EndAsTheWorkerDoes();
    EXPECT_EQ(ras.Calls("HangUp").size(), 1u);
    EXPECT_EQ(sink.Frames().size(), 3u);
}

TEST_F(VpnAdminTest, ARasErrorIsReportedWithItsCodeAndKeptAfterTheEnd) {
    ras.QueueDial(CFakeRasApi::NeverConnects());
    gate.Hold(clock, 500, 1);
    ASSERT_EQ(engine->BeginVpn(4, nullptr, nullptr), 0u);
    ASSERT_TRUE(gate.WaitHeld(1));
    ASSERT_TRUE(ras.Deliver(ras.LastConnection(), RASCS_Authenticate, 691));
    gate.Open();
    ASSERT_TRUE(sink.WaitForFrame(RasErr(691)));
    EXPECT_EQ(sink.Frames(), (Frames{Notify(4, ConnectStatus::Connecting), RasErr(691)}));
    EXPECT_EQ(engine->GetLastRasError(), 691u);
    EXPECT_EQ(engine->GetConnectStatus(4), ConnectStatus::Disconnected);
    EndAsTheWorkerDoes();
    EXPECT_EQ(engine->GetLastRasError(), 691u);
}

TEST_F(VpnAdminTest, AnEndOnRequestHangsUpPausesAndSendsNothingOfItsOwn) {
    ASSERT_EQ(engine->BeginVpn(1, nullptr, nullptr), 0u);
    ASSERT_TRUE(WaitConnected(1));

    // Held: a second begin leaves it alone.
    EXPECT_EQ(engine->BeginVpn(3, nullptr, nullptr), DWORD(ERROR_ALREADY_INITIALIZED));
    EXPECT_EQ(engine->GetConnectStatus(1), ConnectStatus::Connected);
    EXPECT_EQ(ras.Calls("Dial").size(), 1u);

    EXPECT_EQ(engine->EndVpn(), 0u);
    EXPECT_EQ(clock.CountPauses(5000), 1u);
    EXPECT_EQ(engine->EndVpn(), DWORD(ERROR_NOT_CONNECTED));
    ASSERT_TRUE(engine->WaitForAllThreads(10000));
    EXPECT_EQ(sink.Frames(),
              (Frames{Notify(1, ConnectStatus::Connecting), Notify(1, ConnectStatus::Connected)}));
    for (uint8_t i = 0; i < kVpnCount; ++i)
        EXPECT_EQ(engine->GetConnectStatus(i), ConnectStatus::Disconnected);
    EXPECT_EQ(ras.Calls("HangUp").size(), 1u);
    EXPECT_EQ(ras.Calls("DeleteEntry").at(0).EntryName, L"CORVEL_vpn2");
    EXPECT_EQ(engine->BeginVpn(1, nullptr, nullptr), 0u); // released
}

TEST_F(VpnAdminTest, WhileOneEndPausesAnotherEndAndABeginAreTurnedAway) {
    ASSERT_EQ(engine->BeginVpn(0, nullptr, nullptr), 0u);
    ASSERT_TRUE(WaitConnected(0));
    gate.Hold(clock, 5000, 1);
    DWORD first = 1;
    std::thread ender([&] { first = engine->EndVpn(); });
    ASSERT_TRUE(gate.WaitHeld(1));
    EXPECT_EQ(engine->EndVpn(), DWORD(ERROR_NOT_CONNECTED));
    EXPECT_EQ(engine->BeginVpn(0, nullptr, nullptr), DWORD(ERROR_ALREADY_INITIALIZED));
    gate.Open();
    ender.join();
    EXPECT_EQ(first, 0u);
    EXPECT_EQ(ras.Calls("HangUp").size(), 1u);
    EXPECT_EQ(engine->BeginVpn(0, nullptr, nullptr), 0u);
}

TEST_F(VpnAdminTest, AnEndWhileRasDialWRunsHangsUpTheHandleTheDialReturns) {
    CFakeRasApi::DialPlan blocking;
    blocking.Blocks = true;
    ras.QueueDial(blocking);
    ASSERT_EQ(engine->BeginVpn(0, nullptr, nullptr), 0u);
    ASSERT_TRUE(ras.WaitDialEntered());
    DWORD result = 1;
    std::thread ender([&] { result = engine->EndVpn(); });
    for (int i = 0; i < 10000 && !engine->IsEnding(); ++i)
        std::this_thread::yield();
    ASSERT_TRUE(engine->IsEnding());
    ras.ReleaseDial();
    ender.join();
    EXPECT_EQ(result, 0u);
    const auto hangUps = ras.Calls("HangUp");
    ASSERT_EQ(hangUps.size(), 1u);
    EXPECT_EQ(hangUps[0].Connection, ras.Calls("Dial").at(0).Connection);
    ASSERT_TRUE(engine->WaitForAllThreads(10000));
    EXPECT_EQ(engine->GetConnectStatus(0), ConnectStatus::Disconnected);
}

TEST_F(VpnAdminTest, AStaleConnectThreadLeavesTheNextConnectionAlone) {
    ras.QueueDial(CFakeRasApi::NeverConnects());
    ras.QueueDial(CFakeRasApi::Connects());
    gate.Hold(clock, 500, 1); // the first attempt's first tick
    ASSERT_EQ(engine->BeginVpn(0, nullptr, nullptr), 0u);
    ASSERT_TRUE(gate.WaitHeld(1));
    EXPECT_EQ(engine->EndVpn(), 0u);

    ASSERT_EQ(engine->BeginVpn(1, nullptr, nullptr), 0u);
    ASSERT_TRUE(WaitConnected(1));
    gate.Open(); // the first attempt's tick completes now
    ASSERT_TRUE(engine->WaitForFormerThreads(10000));
    EXPECT_EQ(engine->GetConnectStatus(1), ConnectStatus::Connected);
    EXPECT_EQ(sink.Frames(),
              (Frames{Notify(0, ConnectStatus::Connecting), Notify(1, ConnectStatus::Connecting),
                      Notify(1, ConnectStatus::Connected)}));

    ASSERT_TRUE(ras.Drop(ras.LastConnection()));
    ASSERT_TRUE(sink.WaitForFrame(Notify(1, ConnectStatus::Disconnected)));
    EndAsTheWorkerDoes();
}

TEST_F(VpnAdminTest, AnUnsendableNotificationEndsTheConnectionOnAThreadOfItsOwn) {
    sink.Result = ERROR_PIPE_NOT_CONNECTED;
    ASSERT_EQ(engine->BeginVpn(0, nullptr, nullptr), 0u);
    ASSERT_TRUE(ras.WaitForCalls("DeleteEntry", 1));
    ASSERT_TRUE(engine->WaitForAllThreads(10000));
    EXPECT_EQ(ras.Calls("HangUp").size(), 1u);
    EXPECT_EQ(sink.Frames().size(), 1u);
    EXPECT_EQ(engine->EndVpn(), DWORD(ERROR_NOT_CONNECTED));
    sink.Result = 0;
    EXPECT_EQ(engine->BeginVpn(0, nullptr, nullptr), 0u);
}

// A busy command pipe holds a frame back (the sink waits, as the pipe's does) within the
// attempt's own end: every frame carries the attempt's end event and the longest a dial may take.
TEST_F(VpnAdminTest, AFrameHeldBackByABusyPipeArrivesLateAndNothingEndsMeanwhile) {
    UniqueEvent release(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    UniqueEvent waiting(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    std::atomic<int> held{0};
    sink.Busy = [&](const NotifyBound& bound) -> DWORD {
        ++held;
        ::SetEvent(waiting.get());
        const HANDLE waits[] = {release.get(), bound.EndEvent};
        return ::WaitForMultipleObjects(2, waits, FALSE, 10000) == WAIT_OBJECT_0 ? 0
                                                                                 : ERROR_OPERATION_ABORTED;
    };
    ASSERT_EQ(engine->BeginVpn(0, nullptr, nullptr), 0u);
    ASSERT_EQ(::WaitForSingleObject(waiting.get(), 10000), WAIT_OBJECT_0);
    ASSERT_EQ(held, 1);
    // Held: the connection stands, connecting, and is not ended.
    EXPECT_EQ(engine->GetConnectStatus(0), ConnectStatus::Connecting);
    EXPECT_TRUE(ras.Calls("HangUp").empty());
    ::SetEvent(release.get());
    ASSERT_TRUE(WaitConnected(0));
    EXPECT_EQ(sink.Frames(),
              (Frames{Notify(0, ConnectStatus::Connecting), Notify(0, ConnectStatus::Connected)}));

    // The drop's state 0, held and then let through.
    // The thread now waits for the disconnection: no frame is under way.
    ::ResetEvent(release.get());
    ::ResetEvent(waiting.get());
    held = 0;
    ASSERT_TRUE(ras.Drop(ras.LastConnection()));
    ASSERT_EQ(::WaitForSingleObject(waiting.get(), 10000), WAIT_OBJECT_0);
    ASSERT_EQ(held, 1);
    EXPECT_TRUE(ras.Calls("HangUp").empty());
    ::SetEvent(release.get());
    ASSERT_TRUE(sink.WaitForFrame(Notify(0, ConnectStatus::Disconnected)));
    EndAsTheWorkerDoes();
    EXPECT_EQ(ras.Calls("HangUp").size(), 1u);

    for (const NotifyBound& bound : sink.Bounds()) {
        EXPECT_NE(bound.EndEvent, nullptr);
        EXPECT_EQ(bound.TimeLimitMs, 41000u);
    }
}

// An end on request (or by a stop) while the connect thread waits for the pipe ends the wait:
// the thread stops without a word and without a second end.
TEST_F(VpnAdminTest, AnEndWhileAFrameWaitsForTheBusyPipeEndsTheWait) {
    UniqueEvent waiting(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    std::atomic<int> held{0};
    sink.Busy = [&](const NotifyBound& bound) -> DWORD {
        ++held;
        ::SetEvent(waiting.get());
        return ::WaitForSingleObject(bound.EndEvent, 10000) == WAIT_OBJECT_0 ? ERROR_OPERATION_ABORTED
                                                                             : ERROR_TIMEOUT;
    };
    ras.QueueDial(CFakeRasApi::NeverConnects());
    ASSERT_EQ(engine->BeginVpn(6, nullptr, nullptr), 0u);
    ASSERT_EQ(::WaitForSingleObject(waiting.get(), 10000), WAIT_OBJECT_0);
    ASSERT_EQ(held, 1);
    EXPECT_EQ(engine->EndVpn(), 0u);
    ASSERT_TRUE(engine->WaitForAllThreads(10000));
    EXPECT_EQ(held, 1);
    EXPECT_TRUE(sink.Frames().empty());
    EXPECT_EQ(ras.Calls("HangUp").size(), 1u);
    EXPECT_EQ(clock.CountPauses(5000), 1u);
    EXPECT_EQ(engine->GetConnectStatus(6), ConnectStatus::Disconnected);
    sink.Busy = nullptr;
    EXPECT_EQ(engine->BeginVpn(6, nullptr, nullptr), 0u); // released once, not twice
}

TEST_F(VpnAdminTest, RefusesWhatCannotBeDialledWholeAndReleasesTheConnection) {
    const std::wstring longName(65, L'u');
    EXPECT_EQ(engine->BeginVpn(0, longName.c_str(), nullptr), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(engine->BeginVpn(0, L"u", longName.c_str()), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(engine->BeginVpn(20, nullptr, nullptr), DWORD(ERROR_INVALID_PARAMETER));
    VPNCONFIG host = VPNCONFIG::Default(5);
    host.ServerIsIpAddress = 0;
    host.SetServerHostName(std::u16string(RAS_MaxPhoneNumber + 1, u'h'));
    store.Set(5, host);
    EXPECT_EQ(engine->BeginVpn(5, nullptr, nullptr), DWORD(ERROR_INVALID_PARAMETER));
    store.Result = ERROR_ACCESS_DENIED;
    EXPECT_EQ(engine->BeginVpn(0, nullptr, nullptr), DWORD(ERROR_ACCESS_DENIED));
    store.Result = 0;
    EXPECT_TRUE(ras.Calls().empty());

    // 64 characters fit; a password without a user name is dropped.
    const std::wstring name64(64, L'u');
    ASSERT_EQ(engine->BeginVpn(0, name64.c_str(), name64.c_str()), 0u);
    ASSERT_TRUE(WaitConnected(0));
    EXPECT_EQ(std::wstring(ras.Calls("Dial").at(0).DialParams.szUserName), name64);
    EXPECT_EQ(engine->EndVpn(), 0u);
    ASSERT_EQ(engine->BeginVpn(0, nullptr, L"pw"), 0u);
    ASSERT_TRUE(ras.WaitForCalls("Dial", 2));
    EXPECT_EQ(std::wstring(ras.Calls("Dial").at(1).DialParams.szPassword), L"");
}

TEST_F(VpnAdminTest, DeletesStaleEntriesOnlyBeforeTheFirstConnection) {
    EXPECT_EQ(engine->DeleteAllEntries(), 0u);
    const auto deleted = ras.Calls("DeleteEntry");
    ASSERT_EQ(deleted.size(), 20u);
    for (size_t i = 0; i < 20; ++i)
        EXPECT_EQ(deleted[i].EntryName, L"CORVEL_vpn" + std::to_wstring(i + 1));

    ASSERT_EQ(engine->BeginVpn(0, nullptr, nullptr), 0u);
    ASSERT_TRUE(WaitConnected(0));
    EXPECT_EQ(engine->EndVpn(), 0u);
    ras.ClearCalls();
    EXPECT_EQ(engine->DeleteAllEntries(), 0u);
    EXPECT_TRUE(ras.Calls("DeleteEntry").empty());
}

TEST_F(VpnAdminTest, StatusOfAnIndexBeyondTheTableIs255) {
    EXPECT_EQ(engine->GetConnectStatus(19), ConnectStatus::Disconnected);
    EXPECT_EQ(engine->GetConnectStatus(20), 255);
    EXPECT_EQ(engine->GetConnectStatus(255), 255);
    EXPECT_EQ(engine->EndVpn(), DWORD(ERROR_NOT_CONNECTED));
}

// The seam other parts' tests use: the process-wide engine on parts chosen before its birth.
TEST(VpnAdminInstance, UsesThePartsGivenBeforeTheFirstGetInstance) {
    static CFakeRasApi ras;
    static CVirtualClock clock;
    static CCapturingSink sink;
    static CFakeVpnConfigSource store;
    CVpnAdminParts parts;
    parts.Ras = &ras;
    parts.Clock = &clock;
    parts.Sink = &sink;
    parts.Store = &store;
    static const bool chosen = CVpnAdmin::UseForInstance(parts); // once per process, also with --gtest_repeat
    ASSERT_TRUE(chosen);
    CVpnAdmin& engine = CVpnAdmin::GetInstance();
    EXPECT_EQ(&engine, &CVpnAdmin::GetInstance());
    EXPECT_FALSE(CVpnAdmin::UseForInstance(CVpnAdminParts()));

    sink.Clear();
    const size_t pauses = clock.CountPauses(5000);
    ASSERT_EQ(engine.BeginVpn(7, nullptr, nullptr), 0u);
    ASSERT_TRUE(sink.WaitForFrame(Notify(7, ConnectStatus::Connected)));
    EXPECT_EQ(engine.EndVpn(), 0u);
    EXPECT_EQ(clock.CountPauses(5000), pauses + 1);
    EXPECT_TRUE(engine.WaitForAllThreads(10000));
}

} // namespace
