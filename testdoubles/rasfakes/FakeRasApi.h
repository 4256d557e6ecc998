#pragma once
// RAS for in-process tests: records every call and plays one plan per dial. Callbacks come from
// a thread of the fake's own, as with the system's RAS; the planned ones arrive before Dial
// returns, so a test knows what the engine has seen once the dial is over.
#include "RasApi.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace corvel {

class CFakeRasApi : public CRasApi {
public:
    struct DialPlan {
        DWORD Result = 0;
        bool GivesHandle = true; // a handle also when Result is not 0
        std::vector<std::pair<RASCONNSTATE, DWORD>> Callbacks{{RASCS_Connected, 0}};
        bool Blocks = false; // Dial waits for ReleaseDial() (WaitDialEntered tells it is waiting)
    };
    static DialPlan Connects() { return DialPlan(); }
    static DialPlan NeverConnects() {
        DialPlan p;
        p.Callbacks = {{RASCS_OpenPort, 0}, {RASCS_PortOpened, 0}};
        return p;
    }
    static DialPlan FailsWithRasError(DWORD error) {
        DialPlan p;
        p.Callbacks = {{RASCS_OpenPort, 0}, {RASCS_Authenticate, error}};
        return p;
    }

    struct Call {
        std::string
            Name; // SetEntryProperties, SetCredentials, Dial, ConnectionNotification, HangUp, DeleteEntry
        std::wstring EntryName;
        RASENTRYW Entry{};
        RASCREDENTIALSW Credentials{};
        RASDIALPARAMSW DialParams{};
        HRASCONN Connection = nullptr;
        DWORD Flags = 0;
    };

    std::atomic<DWORD> SetEntryResult{0};
    std::atomic<DWORD> SetCredentialsResult{0};
    std::atomic<DWORD> HangUpResult{0};
    std::atomic<DWORD> DeleteEntryResult{0};

    CFakeRasApi() = default;
    ~CFakeRasApi() override;

    // The plan of the next dial that has none queued before it; without any: Connects().
    void QueueDial(const DialPlan& plan);
    void SetDefaultDial(const DialPlan& plan);

    std::vector<Call> Calls() const;
    std::vector<Call> Calls(const std::string& name) const;
    void ClearCalls();
    // Waits until `count` calls of that name have been made.
    bool WaitForCalls(const std::string& name, size_t count, DWORD timeoutMs = 10000);

    HRASCONN LastConnection() const;
    // The connection drops by itself: its disconnection events are signalled. False if unknown.
    bool Drop(HRASCONN connection);
    // Reports a state of that dial from a thread of the fake's own; false once hung up.
    bool Deliver(HRASCONN connection, RASCONNSTATE state, DWORD error);
    // For a plan that blocks: the dial has begun and waits; then let it return.
    bool WaitDialEntered(DWORD timeoutMs = 10000);
    void ReleaseDial();

    DWORD SetEntryProperties(const wchar_t* entryName, const RASENTRYW& entry) override;
    DWORD SetCredentials(const wchar_t* entryName, const RASCREDENTIALSW& credentials) override;
    DWORD Dial(const RASDIALPARAMSW& params, DialCallback callback, HRASCONN* connection) override;
    DWORD ConnectionNotification(HRASCONN connection, HANDLE event, DWORD flags) override;
    DWORD HangUp(HRASCONN connection) override;
    DWORD DeleteEntry(const wchar_t* entryName) override;

private:
    struct Connection {
        DialCallback Callback;
        bool Down = false;
        std::vector<HANDLE> Events; // own duplicates
    };
    void Record(Call call);
    static void RunOnOwnThread(const DialCallback& callback,
                               const std::vector<std::pair<RASCONNSTATE, DWORD>>& states);

    mutable std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<Call> m_calls;
    std::deque<DialPlan> m_plans;
    DialPlan m_defaultPlan;
    std::map<uintptr_t, Connection> m_connections;
    uintptr_t m_nextHandle = 1;
    HRASCONN m_last = nullptr;
    bool m_dialEntered = false;
    bool m_dialReleased = false;
};

} // namespace corvel
