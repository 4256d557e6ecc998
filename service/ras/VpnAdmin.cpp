#include "VpnAdmin.h"

#include "ByteOrder.h"
#include "FixedString.h"

#include <cwchar>

namespace corvel {

namespace {

constexpr DWORD kTickMs = 500;
constexpr int kLastTick = 80; // the tick after which an attempt gives up: 82 ticks, 41 s
static_assert(kAttemptTimeLimitMs == (kLastTick + 2) * kTickMs, "a frame waits no longer than a dial");
constexpr size_t kRequestChars = 65;

std::mutex g_instanceLock;
CVpnAdminParts g_instanceParts;
CVpnAdmin* g_instance = nullptr;
bool g_instanceMade = false;

// A caller's string into a request field; false when it has more than 64 characters.
bool CopyRequestString(wchar_t (&dst)[kRequestChars], const wchar_t* src) {
    const size_t n = wcsnlen(src, kRequestChars);
    if (n >= kRequestChars)
        return false;
    wmemcpy(dst, src, n);
    dst[n] = L'\0';
    return true;
}

template <size_t N> void RequestToRecord(char16_t (&dst)[N], const wchar_t (&src)[kRequestChars]) {
    static_assert(N >= kRequestChars, "request field wider than the record's");
    for (size_t i = 0; i < kRequestChars; ++i)
        dst[i] = char16_t(src[i]);
    for (size_t i = kRequestChars; i < N; ++i)
        dst[i] = u'\0';
}

} // namespace

// One connection attempt, from BeginVpn to the end of its connect thread. The engine holds it
// while it is the held connection (m_current); its connect thread holds it to the thread's end.
struct CVpnAdmin::Attempt {
    explicit Attempt(CRasApi& ras) : Dialer(ras) {}
    ~Attempt() {
        ::SecureZeroMemory(RequestUserName, sizeof RequestUserName);
        ::SecureZeroMemory(RequestPassword, sizeof RequestPassword);
    }

    CVpnAdmin* Engine = nullptr;
    uint32_t Generation = 0; // tells RAS callbacks of this attempt from those of others
    uint8_t Index = 0;       // the connection this attempt dials, whatever comes later
    wchar_t RequestUserName[kRequestChars] = {};
    wchar_t RequestPassword[kRequestChars] = {};
    CRasEntry Dialer;
    std::atomic<bool> Running{false};
    // Set by the end that takes this attempt over: wakes the wait for the disconnection.
    UniqueEvent Ended{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    // Set once the thread is past RasDialW (or will not call it): only then does the end
    // know the handle the dial gave back, which it must hang up.
    UniqueEvent DialDone{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

CVpnAdmin& CVpnAdmin::GetInstance() {
    std::lock_guard<std::mutex> hold(g_instanceLock);
    if (!g_instance) {
        // Never destroyed: its threads may still run while the process exits.
        g_instance = new CVpnAdmin(g_instanceParts);
        g_instanceMade = true;
    }
    return *g_instance;
}

bool CVpnAdmin::UseForInstance(const CVpnAdminParts& parts) {
    std::lock_guard<std::mutex> hold(g_instanceLock);
    if (g_instanceMade)
        return false;
    g_instanceParts = parts;
    return true;
}

CVpnAdmin::CVpnAdmin(const CVpnAdminParts& parts)
    : m_ras(parts.Ras), m_clock(parts.Clock), m_sink(parts.Sink), m_store(parts.Store) {
    if (!m_ras) {
        m_ownRas = std::make_unique<CRasApiWin32>();
        m_ras = m_ownRas.get();
    }
    if (!m_clock) {
        m_ownClock = std::make_unique<CSystemClock>();
        m_clock = m_ownClock.get();
    }
    if (!m_sink) {
        m_ownSink = std::make_unique<CCommandPipeSink>();
        m_sink = m_ownSink.get();
    }
    if (!m_store) {
        m_ownStore = std::make_unique<CStoreConfigSource>();
        m_store = m_ownStore.get();
    }
    for (size_t i = 0; i < kVpnCount; ++i) {
        Status[i] = ConnectStatus::Disconnected;
        std::swprintf(EntryName[i], sizeof EntryName[i] / sizeof EntryName[i][0], L"CORVEL_vpn%u",
                      unsigned(i + 1));
    }
    // Made here, once, rather than at the first BeginVpn: two first requests can race no more.
    ConnectionSemaphore.reset(::CreateSemaphoreW(nullptr, 1, 1, nullptr));
    if (!ConnectionSemaphore)
        m_semaphoreError = LastErrorOr1359();
}

CVpnAdmin::~CVpnAdmin() {
    EndVpn();
    WaitForThreads(INFINITE, true);
}

DWORD CVpnAdmin::BeginVpn(uint8_t index, const wchar_t* userName, const wchar_t* password) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_begunSinceStart = true;
    if (!ConnectionSemaphore)
        return m_semaphoreError;
    switch (::WaitForSingleObject(ConnectionSemaphore.get(), 0)) {
    case WAIT_OBJECT_0:
        break;
    case WAIT_TIMEOUT:
        return ERROR_ALREADY_INITIALIZED;
    default:
        return DWORD(-1);
    }
    auto release = MakeScopeExit([this] { ::ReleaseSemaphore(ConnectionSemaphore.get(), 1, nullptr); });
    ReapEndedThreads();
    if (index >= kVpnCount)
        return ERROR_INVALID_PARAMETER;

    uint8_t image[VPNCONFIG::kSize];
    const DWORD read = m_store->GetVpnConfig(image, index);
    if (read != 0)
        return read;
    VPNCONFIG config;
    config.Read(image);
    ::SecureZeroMemory(image, sizeof image);
    config.Sanitize();
    const bool serverFits = CRasEntry::ServerFits(config);
    ::SecureZeroMemory(&config, sizeof config);

    auto attempt = std::make_shared<Attempt>(*m_ras);
    // Refused rather than cut: a shortened name or password would only fail at the server.
    if (userName) {
        if (!CopyRequestString(attempt->RequestUserName, userName))
            return ERROR_INVALID_PARAMETER;
        if (password && !CopyRequestString(attempt->RequestPassword, password))
            return ERROR_INVALID_PARAMETER;
    }
    if (!serverFits)
        return ERROR_INVALID_PARAMETER;
    if (!attempt->Ended || !attempt->DialDone)
        return LastErrorOr1359();

    attempt->Engine = this;
    attempt->Generation = ++m_generation;
    attempt->Index = index;
    attempt->Dialer.SetEntryName(EntryName[index]);
    const uint32_t generation = attempt->Generation;
    attempt->Dialer.SetDialFunc([this, generation](UINT, RASCONNSTATE state, DWORD error) {
        RasDialCallback(generation, state, error);
    });

    m_current = attempt;
    auto* param = new std::shared_ptr<Attempt>(attempt);
    UniqueHandle<> thread(::CreateThread(nullptr, 0, ConnectThreadMain, param, 0, nullptr));
    if (!thread) {
        delete param;
        m_current.reset();
        Status[index] = ConnectStatus::Disconnected;
        return ERROR_ALREADY_THREAD;
    }
    m_threads.emplace_back(generation, std::move(thread));
    release.Dismiss(); // held until the EndVpn that ends this connection
    return 0;
}

DWORD CVpnAdmin::EndVpn() {
    return EndConnection(0);
}

// onlyGeneration 0: whatever is held; else only that attempt (the end a connect thread asks for
// must never end a later connection).
DWORD CVpnAdmin::EndConnection(uint32_t onlyGeneration) {
    // Exactly one end proceeds; it alone releases the semaphore.
    int expected = 0;
    if (!Ending.compare_exchange_strong(expected, 1))
        return ERROR_NOT_CONNECTED;
    std::shared_ptr<Attempt> attempt;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        if (!ConnectionSemaphore) {
            Ending = 0;
            return ERROR_NOT_CONNECTED;
        }
        if (::WaitForSingleObject(ConnectionSemaphore.get(), 0) == WAIT_OBJECT_0) {
            ::ReleaseSemaphore(ConnectionSemaphore.get(), 1, nullptr);
            Ending = 0;
            return ERROR_NOT_CONNECTED;
        }
        if (!m_current || (onlyGeneration != 0 && m_current->Generation != onlyGeneration)) {
            Ending = 0;
            return ERROR_NOT_CONNECTED;
        }
        attempt = std::move(m_current);
        m_current.reset();
        attempt->Running = false;
        ::SetEvent(attempt->Ended.get());
        for (auto& s : Status)
            s = ConnectStatus::Disconnected;
        Connected = false;
    }
    // An end that comes while RasDialW runs waits for the handle it gives back.
    ::WaitForSingleObject(attempt->DialDone.get(), INFINITE);
    attempt->Dialer.CorvelDisConnect(*m_clock);
    Ending = 0;
    ::ReleaseSemaphore(ConnectionSemaphore.get(), 1, nullptr);
    return 0;
}

uint8_t CVpnAdmin::GetConnectStatus(uint8_t index) {
    return index < kVpnCount ? Status[index].load() : 255;
}

DWORD CVpnAdmin::GetLastRasError() {
    return LastRasError;
}

DWORD CVpnAdmin::DeleteAllEntries() {
    // Under the lock, so a first BeginVpn waits until the stale entries are gone.
    std::lock_guard<std::mutex> hold(m_lock);
    if (m_begunSinceStart)
        return 0;
    for (const auto& name : EntryName)
        m_ras->DeleteEntry(name);
    return 0;
}

DWORD CVpnAdmin::NotifyRasErrMsg(DWORD code, const NotifyBound& bound) {
    uint8_t frame[8] = {0x44, 0x00, 0x00, 0x04};
    WriteBe32(frame + 4, code);
    return m_sink->Send(frame, sizeof frame, bound);
}

DWORD CVpnAdmin::NotifyStatus(const Attempt& attempt, bool* stale) {
    DWORD error = 0;
    uint8_t frame[7] = {0x41, 0x00, 0x00, 0x03, attempt.Index, 0, 0};
    {
        std::lock_guard<std::mutex> hold(m_lock);
        if (!IsCurrent(attempt)) {
            *stale = true;
            return 0;
        }
        error = LastRasError;
        frame[5] = Status[attempt.Index];
    }
    // A request or a stop that ends the attempt sets Ended: that ends the wait too.
    NotifyBound bound;
    bound.EndEvent = attempt.Ended.get();
    const DWORD sent = error != 0 ? NotifyRasErrMsg(error, bound) : m_sink->Send(frame, sizeof frame, bound);
    if (sent != 0) {
        std::lock_guard<std::mutex> hold(m_lock);
        if (!IsCurrent(attempt)) {
            *stale = true; // whoever ended it has done all there is to do
            return 0;
        }
    }
    return sent;
}

bool CVpnAdmin::IsCurrent(const Attempt& attempt) const {
    return m_current.get() == &attempt;
}

void CVpnAdmin::Disconnect(Attempt& attempt) {
    Status[attempt.Index] = ConnectStatus::Disconnected;
    attempt.Running = false;
}

void CVpnAdmin::RasDialCallback(uint32_t generation, RASCONNSTATE state, DWORD error) {
    std::lock_guard<std::mutex> hold(m_lock);
    if (!m_current || m_current->Generation != generation)
        return; // a dial that has been ended
    if (state == RASCS_Connected && error == 0)
        Connected = true;
    LastRasError = error;
}

DWORD WINAPI CVpnAdmin::ConnectThreadMain(LPVOID param) {
    std::unique_ptr<std::shared_ptr<Attempt>> attempt(static_cast<std::shared_ptr<Attempt>*>(param));
    (*attempt)->Engine->CorvelConnectAndAnalize(*attempt);
    return 0;
}

// Every state change and notification first checks that the attempt is still the held
// connection: once ended (and perhaps followed by another), its thread stops without a word.
void CVpnAdmin::CorvelConnectAndAnalize(const std::shared_ptr<Attempt>& attemptRef) {
    Attempt& attempt = *attemptRef;
    const uint8_t index = attempt.Index;
    auto dialDone = MakeScopeExit([&attempt] { ::SetEvent(attempt.DialDone.get()); });
    attempt.Running = true;
    ThreadStep step = STEP_DIAL;
    int ticks = 0;
    bool stale = false;
    while (attempt.Running && !stale) {
        switch (step) {
        case STEP_DIAL: {
            {
                // Cleared first: a record that cannot be read must not report an earlier error.
                std::lock_guard<std::mutex> hold(m_lock);
                if (!IsCurrent(attempt)) {
                    stale = true;
                    break;
                }
                LastRasError = 0;
                Connected = false;
            }
            uint8_t image[VPNCONFIG::kSize];
            if (m_store->GetVpnConfig(image, index) != 0) {
                ::SetEvent(attempt.DialDone.get());
                step = STEP_RAS_ERROR;
                break;
            }
            VPNCONFIG config;
            config.Read(image);
            ::SecureZeroMemory(image, sizeof image);
            config.Sanitize();
            // The request's credentials, also when empty; the stored ones are never dialled.
            RequestToRecord(config.UserName, attempt.RequestUserName);
            RequestToRecord(config.Password, attempt.RequestPassword);
            attempt.Dialer.SetConfig(config);
            ::SecureZeroMemory(&config, sizeof config);
            {
                std::lock_guard<std::mutex> hold(m_lock);
                if (!IsCurrent(attempt)) {
                    stale = true;
                    break;
                }
            }
            const DWORD result = attempt.Dialer.CorvelConnect();
            ::SetEvent(attempt.DialDone.get());
            if (result != 0) {
                step = STEP_END;
                break;
            }
            {
                std::lock_guard<std::mutex> hold(m_lock);
                if (!IsCurrent(attempt)) {
                    stale = true;
                    break;
                }
                Status[index] = ConnectStatus::Connecting;
            }
            if (NotifyStatus(attempt, &stale) != 0) {
                StartEndVpnThread(attempt.Generation);
                return;
            }
            step = STEP_WAIT_CONNECTED;
            break;
        }
        case STEP_WAIT_CONNECTED:
            while (attempt.Running && step == STEP_WAIT_CONNECTED) {
                m_clock->Pause(kTickMs);
                {
                    std::lock_guard<std::mutex> hold(m_lock);
                    if (!IsCurrent(attempt)) {
                        stale = true;
                        break;
                    }
                    if (LastRasError != 0) {
                        step = STEP_RAS_ERROR;
                        break;
                    }
                    if (Connected)
                        Status[index] = ConnectStatus::Connected;
                }
                if (NotifyStatus(attempt, &stale) != 0) {
                    StartEndVpnThread(attempt.Generation);
                    return;
                }
                if (stale)
                    break;
                if (Status[index] == ConnectStatus::Connected)
                    step = STEP_WAIT_DISCONNECTION;
                else if (ticks > kLastTick)
                    step = STEP_END;
                ++ticks;
            }
            break;
        case STEP_WAIT_DISCONNECTION: {
            const HRASCONN connection = attempt.Dialer.PeekConnection();
            bool dropped = false;
            if (attempt.Running && connection)
                dropped = attempt.Dialer.WaitForDisconnection(connection, attempt.Ended.get());
            std::lock_guard<std::mutex> hold(m_lock);
            if (!IsCurrent(attempt)) {
                stale = true; // ended on request: no notification of its own
                break;
            }
            if (dropped)
                Connected = false;
            step = STEP_END; // dropped by itself
            break;
        }
        case STEP_END:
        case STEP_RAS_ERROR: {
            std::lock_guard<std::mutex> hold(m_lock);
            if (!IsCurrent(attempt)) {
                stale = true;
                break;
            }
            Disconnect(attempt);
        }
            // The worker that reads this ends the connection; if it cannot be sent, a thread does.
            if (NotifyStatus(attempt, &stale) != 0)
                StartEndVpnThread(attempt.Generation);
            step = STEP_DONE;
            break;
        case STEP_DONE:
            attempt.Running = false;
            break;
        }
    }
    if (!stale) {
        std::lock_guard<std::mutex> hold(m_lock);
        if (IsCurrent(attempt))
            for (auto& s : Status)
                s = ConnectStatus::Disconnected;
    }
}

namespace {
struct EndVpnRequest {
    CVpnAdmin* Engine;
    uint32_t Generation;
};
} // namespace

DWORD WINAPI CVpnAdmin::EndVpnThreadMain(LPVOID param) {
    std::unique_ptr<EndVpnRequest> request(static_cast<EndVpnRequest*>(param));
    request->Engine->EndConnection(request->Generation);
    return 0;
}

void CVpnAdmin::StartEndVpnThread(uint32_t generation) {
    {
        std::lock_guard<std::mutex> hold(m_lock);
        auto* request = new EndVpnRequest{this, generation};
        UniqueHandle<> thread(::CreateThread(nullptr, 0, EndVpnThreadMain, request, 0, nullptr));
        if (thread) {
            m_threads.emplace_back(0, std::move(thread));
            return;
        }
        delete request;
    }
    EndConnection(generation); // no thread to do it: end it here rather than not at all
}

void CVpnAdmin::ReapEndedThreads() {
    for (auto it = m_threads.begin(); it != m_threads.end();) {
        if (::WaitForSingleObject(it->second.get(), 0) == WAIT_OBJECT_0)
            it = m_threads.erase(it);
        else
            ++it;
    }
}

bool CVpnAdmin::WaitForFormerThreads(DWORD timeoutMs) {
    return WaitForThreads(timeoutMs, false);
}

bool CVpnAdmin::WaitForAllThreads(DWORD timeoutMs) {
    return WaitForThreads(timeoutMs, true);
}

bool CVpnAdmin::WaitForThreads(DWORD timeoutMs, bool includeCurrent) {
    const ULONGLONG start = ::GetTickCount64();
    for (;;) {
        // Our own duplicates: another thread may close the originals meanwhile.
        std::vector<UniqueHandle<>> waits;
        {
            std::lock_guard<std::mutex> hold(m_lock);
            ReapEndedThreads();
            const uint32_t current = m_current ? m_current->Generation : 0;
            for (const auto& t : m_threads) {
                if (!includeCurrent && t.first != 0 && t.first == current)
                    continue;
                HANDLE copy = nullptr;
                if (::DuplicateHandle(::GetCurrentProcess(), t.second.get(), ::GetCurrentProcess(), &copy,
                                      SYNCHRONIZE, FALSE, 0))
                    waits.emplace_back(copy);
            }
        }
        if (waits.empty())
            return true;
        DWORD remaining = INFINITE;
        if (timeoutMs != INFINITE) {
            const ULONGLONG spent = ::GetTickCount64() - start;
            if (spent >= timeoutMs)
                return false;
            remaining = DWORD(timeoutMs - spent);
        }
        if (::WaitForSingleObject(waits.front().get(), remaining) == WAIT_TIMEOUT)
            return false;
    }
}

} // namespace corvel
