#pragma once
// The connection engine: dials at most one of the 20 connections at a time, follows it with a
// connect thread, reports progress as notification frames and ends it on request.
//
// In-process tests of other parts (the commands) make the process-wide engine use the fake
// RAS and a clock of their own by calling, before the first GetInstance():
//
//     static CFakeRasApi ras;         // FakeRasApi.h, target corvel_ras_fakes
//     static CVirtualClock clock;     // VirtualClock.h
//     static CCapturingSink sink;     // CapturingSink.h (leave null for the real command pipe)
//     CVpnAdminParts parts;
//     parts.Ras = &ras; parts.Clock = &clock; parts.Sink = &sink;   // parts.Store: null = the store
//     CVpnAdmin::UseForInstance(parts);   // false once the engine exists
//
// for instance in a gtest Environment or at the start of main. The parts are not owned and
// must live to the end of the process. Null parts are the real ones: rasapi32, Sleep, the
// pipe (kServicePipeName), CDotDatSemaphore::GetInstance().
// Tests of the engine itself construct a CVpnAdmin of their own with the parts they choose.
#include "EngineServices.h"
#include "RasApi.h"
#include "Protocol.h"
#include "RasEntry.h"
#include "Records.h"

#include "Handles.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace corvel {

struct CVpnAdminParts {
    CRasApi* Ras = nullptr;
    CEngineClock* Clock = nullptr;
    CNotificationSink* Sink = nullptr;
    CVpnConfigSource* Store = nullptr;
};

class CVpnAdmin {
public:
    static CVpnAdmin& GetInstance();
    // The parts of the process-wide engine; only before the first GetInstance().
    static bool UseForInstance(const CVpnAdminParts& parts);

    explicit CVpnAdmin(const CVpnAdminParts& parts = CVpnAdminParts());
    // Ends a held connection and waits for the engine's threads.
    ~CVpnAdmin();
    CVpnAdmin(const CVpnAdmin&) = delete;
    CVpnAdmin& operator=(const CVpnAdmin&) = delete;

    // userName/password: null for none; a password without a user name is dropped. 0 when the
    // connect thread runs; 1247 while a connection is held; 87 for an index of 20 or more, a
    // user name or password over 64 characters or a host name RAS cannot take; 1281 when the
    // thread does not start; the store's code; -1 when the semaphore wait fails.
    DWORD BeginVpn(uint8_t index, const wchar_t* userName, const wchar_t* password);
    // 0 when a held connection was ended (after the hang-up and its pause); 2250 when nothing
    // is held or another end is under way.
    DWORD EndVpn();
    uint8_t GetConnectStatus(uint8_t index); // 255 for >= 20
    DWORD GetLastRasError();
    // Deletes "CORVEL_vpn1" to "CORVEL_vpn20" while no connection has been begun since the
    // engine was made; 0 in every case.
    DWORD DeleteAllEntries();

    // The frame waits while the command pipe is busy, within `bound` (EngineServices.h).
    DWORD NotifyRasErrMsg(DWORD code, const NotifyBound& bound = NotifyBound());

    // For tests: waits until every connect thread but the current attempt's, and every
    // thread that ends a connection, has ended (true), or the time-out has passed.
    bool WaitForFormerThreads(DWORD timeoutMs);
    // For tests: waits until every thread of the engine has ended.
    bool WaitForAllThreads(DWORD timeoutMs);
    // For tests: an end is under way.
    bool IsEnding() const { return Ending != 0; }

private:
    struct Attempt;
    enum ThreadStep {
        STEP_DIAL,
        STEP_WAIT_CONNECTED,
        STEP_WAIT_DISCONNECTION,
        STEP_END,
        STEP_RAS_ERROR,
        STEP_DONE
    };

    static DWORD WINAPI ConnectThreadMain(LPVOID param);
    static DWORD WINAPI EndVpnThreadMain(LPVOID param);
    void CorvelConnectAndAnalize(const std::shared_ptr<Attempt>& attempt);
    DWORD EndConnection(uint32_t onlyGeneration);
    void StartEndVpnThread(uint32_t generation);
    // True while `attempt` is the held connection; m_lock held.
    bool IsCurrent(const Attempt& attempt) const;
    void Disconnect(Attempt& attempt);
    // Sends the attempt's state (or its RAS error), waiting while the command pipe is busy
    // until the attempt is ended or for as long as an attempt may dial. *stale when the attempt
    // was ended first, before or during the wait: nothing more is to be done then (0).
    DWORD NotifyStatus(const Attempt& attempt, bool* stale);
    void RasDialCallback(uint32_t generation, RASCONNSTATE state, DWORD error);
    void ReapEndedThreads();
    bool WaitForThreads(DWORD timeoutMs, bool includeCurrent);

    std::unique_ptr<CRasApi> m_ownRas;
    std::unique_ptr<CEngineClock> m_ownClock;
    std::unique_ptr<CNotificationSink> m_ownSink;
    std::unique_ptr<CVpnConfigSource> m_ownStore;
    CRasApi* m_ras;
    CEngineClock* m_clock;
    CNotificationSink* m_sink;
    CVpnConfigSource* m_store;

    wchar_t EntryName[kVpnCount][33] = {};

    // Shared between the pipe workers, the service control handler, the connect threads, the
    // RAS callback thread and the threads that end a connection: the flags and states are
    // atomics read without a lock; m_lock guards the handing over of a connection (begin,
    // end, the current attempt, the thread list) so that each happens whole.
    std::atomic<uint8_t> Status[kVpnCount];
    std::atomic<int> Ending{0};
    std::atomic<bool> Connected{false};
    std::atomic<DWORD> LastRasError{0};
    std::atomic<bool> m_begunSinceStart{false};

    std::mutex m_lock;
    // Count 0 exactly while a connection is held; made once, with the engine.
    UniqueHandle<> ConnectionSemaphore;
    DWORD m_semaphoreError = 0;
    std::shared_ptr<Attempt> m_current; // the held connection; null when none
    uint32_t m_generation = 0;
    // Threads not yet seen to end: the generation of their attempt, and the handle.
    std::vector<std::pair<uint32_t, UniqueHandle<>>> m_threads;
};

} // namespace corvel
