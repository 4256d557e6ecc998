#include "FakeRasApi.h"

#include <chrono>
#include <thread>

namespace corvel {

CFakeRasApi::~CFakeRasApi() {
    for (auto& c : m_connections)
        for (HANDLE e : c.second.Events)
            ::CloseHandle(e);
}

void CFakeRasApi::QueueDial(const DialPlan& plan) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_plans.push_back(plan);
}

void CFakeRasApi::SetDefaultDial(const DialPlan& plan) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_defaultPlan = plan;
}

std::vector<CFakeRasApi::Call> CFakeRasApi::Calls() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_calls;
}

std::vector<CFakeRasApi::Call> CFakeRasApi::Calls(const std::string& name) const {
    std::lock_guard<std::mutex> hold(m_lock);
    std::vector<Call> out;
    for (const auto& c : m_calls)
        if (c.Name == name)
            out.push_back(c);
    return out;
}

void CFakeRasApi::ClearCalls() {
    std::lock_guard<std::mutex> hold(m_lock);
    m_calls.clear();
}

bool CFakeRasApi::WaitForCalls(const std::string& name, size_t count, DWORD timeoutMs) {
    std::unique_lock<std::mutex> hold(m_lock);
    return m_changed.wait_for(hold, std::chrono::milliseconds(timeoutMs), [&] {
        size_t n = 0;
        for (const auto& c : m_calls)
            n += c.Name == name ? 1 : 0;
        return n >= count;
    });
}

HRASCONN CFakeRasApi::LastConnection() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_last;
}

void CFakeRasApi::Record(Call call) {
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_calls.push_back(std::move(call));
    }
    m_changed.notify_all();
}

void CFakeRasApi::RunOnOwnThread(const DialCallback& callback,
                                 const std::vector<std::pair<RASCONNSTATE, DWORD>>& states) {
    if (!callback)
        return;
    std::thread rasThread([&] {
        for (const auto& s : states)
            callback(WM_RASDIALEVENT, s.first, s.second);
    });
    rasThread.join();
}

bool CFakeRasApi::Drop(HRASCONN connection) {
    std::lock_guard<std::mutex> hold(m_lock);
    const auto it = m_connections.find(reinterpret_cast<uintptr_t>(connection));
    if (it == m_connections.end())
        return false;
    it->second.Down = true;
    for (HANDLE e : it->second.Events)
        ::SetEvent(e);
    return true;
}

bool CFakeRasApi::Deliver(HRASCONN connection, RASCONNSTATE state, DWORD error) {
    DialCallback callback;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        const auto it = m_connections.find(reinterpret_cast<uintptr_t>(connection));
        if (it == m_connections.end())
            return false;
        callback = it->second.Callback;
    }
    RunOnOwnThread(callback, {{state, error}});
    return true;
}

bool CFakeRasApi::WaitDialEntered(DWORD timeoutMs) {
    std::unique_lock<std::mutex> hold(m_lock);
    return m_changed.wait_for(hold, std::chrono::milliseconds(timeoutMs), [&] { return m_dialEntered; });
}

void CFakeRasApi::ReleaseDial() {
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_dialReleased = true;
    }
    m_changed.notify_all();
}

DWORD CFakeRasApi::SetEntryProperties(const wchar_t* entryName, const RASENTRYW& entry) {
    Call c;
    c.Name = "SetEntryProperties";
    c.EntryName = entryName;
    c.Entry = entry;
    Record(c);
    return SetEntryResult;
}

DWORD CFakeRasApi::SetCredentials(const wchar_t* entryName, const RASCREDENTIALSW& credentials) {
    Call c;
    c.Name = "SetCredentials";
    c.EntryName = entryName;
    c.Credentials = credentials;
    Record(c);
    return SetCredentialsResult;
}

DWORD CFakeRasApi::Dial(const RASDIALPARAMSW& params, DialCallback callback, HRASCONN* connection) {
    DialPlan plan;
    HRASCONN handle = nullptr;
    {
        std::unique_lock<std::mutex> hold(m_lock);
        if (!m_plans.empty()) {
            plan = m_plans.front();
            m_plans.pop_front();
        } else {
            plan = m_defaultPlan;
        }
        if (plan.Result == 0 || plan.GivesHandle) {
            const uintptr_t id = m_nextHandle++;
            handle = reinterpret_cast<HRASCONN>(id);
            m_connections[id].Callback = callback;
            m_last = handle;
        }
    }
    Call c;
    c.Name = "Dial";
    c.EntryName = params.szEntryName;
    c.DialParams = params;
    c.Connection = handle;
    Record(c);
    if (plan.Blocks) {
        std::unique_lock<std::mutex> hold(m_lock);
        m_dialEntered = true;
        m_changed.notify_all();
        m_changed.wait(hold, [&] { return m_dialReleased; });
        m_dialEntered = false;
        m_dialReleased = false;
    }
    if (plan.Result == 0)
        RunOnOwnThread(callback, plan.Callbacks);
    *connection = handle;
    return plan.Result;
}

DWORD CFakeRasApi::ConnectionNotification(HRASCONN connection, HANDLE event, DWORD flags) {
    DWORD result = 0;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        const auto it = m_connections.find(reinterpret_cast<uintptr_t>(connection));
        HANDLE own = nullptr;
        if (it == m_connections.end()) {
            result = ERROR_INVALID_HANDLE;
        } else if (!::DuplicateHandle(::GetCurrentProcess(), event, ::GetCurrentProcess(), &own, 0, FALSE,
                                      DUPLICATE_SAME_ACCESS)) {
            result = ::GetLastError();
        } else {
            it->second.Events.push_back(own);
            if (it->second.Down)
                ::SetEvent(own);
        }
    }
    Call c;
    c.Name = "ConnectionNotification";
    c.Connection = connection;
    c.Flags = flags;
    Record(c);
    return result;
}

DWORD CFakeRasApi::HangUp(HRASCONN connection) {
    DWORD result = HangUpResult;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        const auto it = m_connections.find(reinterpret_cast<uintptr_t>(connection));
        if (it == m_connections.end()) {
            result = ERROR_INVALID_HANDLE;
        } else {
            // As with RAS: whoever waits for the disconnection learns of the hang-up.
            for (HANDLE e : it->second.Events) {
                ::SetEvent(e);
                ::CloseHandle(e);
            }
            m_connections.erase(it);
        }
    }
    Call c;
    c.Name = "HangUp";
    c.Connection = connection;
    Record(c);
    return result;
}

DWORD CFakeRasApi::DeleteEntry(const wchar_t* entryName) {
    Call c;
    c.Name = "DeleteEntry";
    c.EntryName = entryName;
    Record(c);
    return DeleteEntryResult;
}

} // namespace corvel
