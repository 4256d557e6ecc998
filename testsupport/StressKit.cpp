#include "StressKit.h"

#include "E2eRequests.h"
#include "PipeClientOpen.h"
#include "PipeIo.h"

#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

namespace corvel::stress {

namespace {

// Bound of a storm connection's write (the service reads it at once).
constexpr DWORD kStormWriteMs = 5000;

double Percentile(const std::vector<double>& sorted, double p) {
    if (sorted.empty())
        return 0;
    return sorted[std::min(sorted.size() - 1, size_t(p * double(sorted.size() - 1) + 0.5))];
}

// The system handle table (class 16), as far as it is needed: the owner of each entry.
struct SystemHandleEntry {
    USHORT OwnerPid;
    USHORT CreatorBackTraceIndex;
    UCHAR ObjectType;
    UCHAR Flags;
    USHORT Handle;
    PVOID Object;
    ACCESS_MASK Access;
};

DWORD CountFromHandleTable(DWORD pid, DWORD& count) {
    using QueryFunction = LONG(NTAPI*)(ULONG, PVOID, ULONG, PULONG);
    const auto query = reinterpret_cast<QueryFunction>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    if (!query)
        return ERROR_PROC_NOT_FOUND;
    std::vector<uint8_t> buffer(1 << 20);
    for (int attempt = 0; attempt < 8; ++attempt) {
        ULONG needed = 0;
        const LONG status = query(16, buffer.data(), ULONG(buffer.size()), &needed);
        if (status == LONG(0xC0000004)) { // STATUS_INFO_LENGTH_MISMATCH
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (status != 0)
            return ERROR_NOT_SUPPORTED;
        const ULONG entries = *reinterpret_cast<const ULONG*>(buffer.data());
        const size_t first = sizeof(void*); // the count, padded to the entries' alignment
        count = 0;
        for (ULONG i = 0; i < entries && first + (i + 1) * sizeof(SystemHandleEntry) <= buffer.size(); ++i) {
            SystemHandleEntry e;
            std::memcpy(&e, buffer.data() + first + i * sizeof e, sizeof e);
            count += e.OwnerPid == USHORT(pid);
        }
        return 0;
    }
    return ERROR_INSUFFICIENT_BUFFER;
}

// One connection of the storm; false when the pipe could not be opened.
bool StormCycle(uint32_t kind) {
    // Sixteen threads race for seven instances: a busy pipe is waited for, up to a bound.
    PipeOpenPolicy policy;
    policy.Attempts = kUnlimitedAttempts;
    policy.BusyWaitMs = 1000;
    policy.OnFailedWait = FailedWait::TriesAgain;
    policy.DeadlineMs = 30000;
    UniqueFile pipe;
    if (OpenPipeClient(kServicePipeName, GENERIC_READ | GENERIC_WRITE, policy, pipe) != 0)
        return false;
    static const uint8_t kOneByte[] = {0x31};
    static const uint8_t kHead[] = {0x12, 0x00, 0x00, 0x01}; // announces one DATA byte
    CPipeIo io(pipe.get(), kStormWriteMs);
    if (kind == 1)
        io.WriteAll(kOneByte, sizeof kOneByte);
    else if (kind == 2)
        io.WriteAll(kHead, sizeof kHead);
    return true;
}

} // namespace

DWORD CServiceProcess::Open(e2e::CServiceControl& service) {
    SERVICE_STATUS_PROCESS status = {};
    DWORD result = service.Query(status);
    if (result != 0)
        return result;
    if (status.dwProcessId == 0)
        return ERROR_SERVICE_NOT_ACTIVE;
    m_process.reset(
        ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | PROCESS_TERMINATE | SYNCHRONIZE, FALSE,
                      status.dwProcessId));
    if (!m_process)
        return LastErrorOr1359();
    m_pid = status.dwProcessId;
    return 0;
}

bool CServiceProcess::Running() const {
    return m_process && ::WaitForSingleObject(m_process.get(), 0) == WAIT_TIMEOUT;
}

DWORD CServiceProcess::HandleCount(DWORD& count, std::string* how) const {
    count = 0;
    if (::GetProcessHandleCount(m_process.get(), &count) && count != 0) {
        if (how)
            *how = "GetProcessHandleCount";
        return 0;
    }
    if (how)
        *how = "system handle table (GetProcessHandleCount answers 0 here)";
    return CountFromHandleTable(m_pid, count);
}

DWORD CServiceProcess::PrivateBytes(uint64_t& bytes, std::string* how) const {
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof counters;
    if (::GetProcessMemoryInfo(m_process.get(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                               sizeof counters) &&
        counters.PrivateUsage != 0) {
        bytes = counters.PrivateUsage;
        if (how)
            *how = "PrivateUsage";
        return 0;
    }
    if (how)
        *how = "committed private regions (PrivateUsage answers 0 here)";
    bytes = 0;
    MEMORY_BASIC_INFORMATION region;
    const uint8_t* address = nullptr;
    while (::VirtualQueryEx(m_process.get(), address, &region, sizeof region) == sizeof region) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE)
            bytes += region.RegionSize;
        const uint8_t* next = static_cast<const uint8_t*>(region.BaseAddress) + region.RegionSize;
        if (next <= address)
            break;
        address = next;
    }
    return bytes != 0 ? 0 : LastErrorOr1359();
}

StormFigures RunStorm(uint32_t cycles, uint32_t threads) {
    std::atomic<uint32_t> next{0};
    std::atomic<uint32_t> failures{0};
    const double begin = e2e::NowMs();
    std::vector<std::thread> workers;
    for (uint32_t t = 0; t < threads; ++t)
        workers.emplace_back([&] {
            for (uint32_t n; (n = next.fetch_add(1)) < cycles;)
                if (!StormCycle(n % 3))
                    ++failures;
        });
    for (auto& w : workers)
        w.join();
    StormFigures f;
    f.Cycles = cycles;
    f.OpenFailures = failures;
    f.Seconds = (e2e::NowMs() - begin) / 1000.0;
    return f;
}

DWORD TimedStatus(const e2e::CCommandClient& client, double& ms) {
    const double begin = e2e::NowMs();
    uint8_t states[20];
    uint32_t result = 99;
    DWORD error = e2e::RequestVpnStatus(client, states, result);
    ms = e2e::NowMs() - begin;
    return error != 0 ? error : result;
}

LoadFigures RunStatusLoad(uint32_t requests, uint32_t clients) {
    std::atomic<uint32_t> next{0};
    std::atomic<uint32_t> failed{0};
    // Each thread owns its latency list.
    std::vector<std::vector<double>> latencies(clients);
    const double begin = e2e::NowMs();
    std::vector<std::thread> workers;
    for (uint32_t c = 0; c < clients; ++c)
        workers.emplace_back([&, c] {
            const e2e::CCommandClient client(10000);
            while (next.fetch_add(1) < requests) {
                double ms = 0;
                if (TimedStatus(client, ms) != 0)
                    ++failed;
                latencies[c].push_back(ms);
            }
        });
    for (auto& w : workers)
        w.join();
    std::vector<double> all;
    for (const auto& l : latencies)
        all.insert(all.end(), l.begin(), l.end());
    std::sort(all.begin(), all.end());
    LoadFigures f;
    f.Requests = uint32_t(all.size());
    f.Failed = failed;
    f.Seconds = (e2e::NowMs() - begin) / 1000.0;
    f.P50Ms = Percentile(all, 0.50);
    f.P99Ms = Percentile(all, 0.99);
    f.MaxMs = all.empty() ? 0 : all.back();
    return f;
}

} // namespace corvel::stress
