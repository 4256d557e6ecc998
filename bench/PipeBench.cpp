// Pipe load benchmark: CORVELSVC (installed and started under the service manager for the run,
// or an already running one with --running) against two bare servers, each request on a
// connection of its own as the real clients make them:
// - same-design: the service's design and nothing else, hosted as the service is (this program
//   installed as a service of its own): 7 instances, a thread per request with one I/O object
//   on the slot's event, a new instance after each request made by a main loop that waits on
//   the threads and the stop; it reads the request, writes a fixed valid reply of the right
//   size, then flushes and disconnects as the service does. Hosted as a service because under
//   Wine the same code served about a tenth fewer requests with 16 clients from a plain process;
// - echo: in this process, 7 instances with one thread each, reused; writes the request back,
//   then the same flush.
// For CMD_VPN_STATUS and CMD_LOAD_CONFIG with 1 and 16 clients it prints requests per second,
// p50 and p99 latency and failures of each, and the service's p50 and throughput as ratios
// against both (p50 below 1 and req/s above 1: the service is the faster). The servers take
// turns in rounds of a fixed time, in order and then in reverse, so that a change of the
// machine's load meets all three alike.
// Speed never fails it: the exit code is 0 when no request failed, else 1.
//
// Usage: corvel-bench [--round-ms N] [--running] [--service <CORVELSVC.exe>] [--figures <file>]
//   --round-ms: length of each of the 6 rounds of each server and case (default 600)
//   --figures: also writes the figures to this file (a path from "/" is one of the build tree)
#include "BenchReport.h"
#include "E2eHarness.h"

#include "ByteOrder.h"
#include "CommandData.h"
#include "PipeClientOpen.h"
#include "PipeIo.h"
#include "Protocol.h"
#include "Records.h"
#include "Replies.h"
#include "Requests.h"

#include <windows.h>

#include <process.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cwchar>
#include <string>
#include <thread>
#include <vector>

using namespace corvel;
using namespace corvel::e2e;

int _dowildcard = 0;

namespace {

constexpr wchar_t kSameDesignPipe[] = L"\\\\.\\pipe\\corvelbench_samedesign";
constexpr wchar_t kEchoPipe[] = L"\\\\.\\pipe\\corvelbench_echo";
constexpr DWORD kInstances = 7;
// The service's bound of one request, its reply included.
constexpr DWORD kServerRequestMs = 5000;
// 4 cases, 3 servers, kRounds rounds each: the default keeps the whole run under a minute.
constexpr uint32_t kRounds = 6;
constexpr DWORD kDefaultRoundMs = 600;
// A request not answered within this time counts as failed.
constexpr DWORD kRequestDeadlineMs = 10000;
constexpr uint8_t kRecords = 20;

bench::CReport g_report;

template <class... Args> void Out(const char* format, Args... args) {
    g_report.Out(format, args...);
}

// ---- what the clients send and accept ----

struct Workload {
    const char* Name;
    uint8_t CommandId;
    std::vector<std::vector<uint8_t>> Frames; // taken in turn
};

Workload StatusWorkload() {
    return {"CMD_VPN_STATUS", CMD_VPN_STATUS, {BuildVpnStatusRequest()}};
}

Workload LoadConfigWorkload() {
    Workload w{"CMD_LOAD_CONFIG", CMD_LOAD_CONFIG, {}};
    for (uint8_t i = 0; i < kRecords; ++i)
        w.Frames.push_back(BuildLoadConfigRequest(i));
    return w;
}

// A service reply (or the same-design server's) as the clients accept it: the command's head,
// result 0, and for CMD_LOAD_CONFIG the record asked for.
bool ReplyAccepted(const std::vector<uint8_t>& reply, const std::vector<uint8_t>& request,
                   uint8_t commandId) {
    ReplyView view;
    if (ParseReply(reply.data(), reply.size(), commandId, view) != 0 || view.ResultCode != 0)
        return false;
    if (commandId != CMD_LOAD_CONFIG)
        return view.PayloadLength == kVpnIndexLimit;
    LoadConfigReply item;
    return ParseLoadConfigReply(view.Payload, view.PayloadLength, item) == 0 &&
           item.ConfigItemId == request[CommandHeader::kSize] && item.ItemLength == VPNCONFIG::kSize;
}

// ---- the clients ----

PipeOpenPolicy ClientPolicy() {
    // While all 7 instances are busy the client waits for one, as the real clients do, but for
    // as long as a request may take rather than for a fixed count of attempts: with 16 clients
    // on 7 instances a freed instance often goes to another client.
    PipeOpenPolicy p;
    p.Attempts = kUnlimitedAttempts;
    p.BusyWaitMs = 1000;
    p.OnFailedWait = FailedWait::TriesAgain;
    p.DeadlineMs = kRequestDeadlineMs;
    return p;
}

// One request on its own connection. 0 when answered as expected; otherwise the Win32 error of
// the step that failed (11 for a reply that is not the expected one).
DWORD OneRequest(const wchar_t* pipeName, const std::vector<uint8_t>& request, uint8_t commandId, bool echo,
                 HANDLE event) {
    UniqueFile pipe;
    DWORD error = OpenPipeClient(pipeName, GENERIC_READ | GENERIC_WRITE, ClientPolicy(), pipe);
    if (error != 0)
        return error;
    CPipeIo io(pipe.get(), kRequestDeadlineMs, nullptr, event);
    if ((error = io.WriteAll(request.data(), DWORD(request.size()))) != 0)
        return error;
    std::vector<uint8_t> reply(echo ? request.size() : ReplyHeader::kSize);
    DWORD got = 0;
    if ((error = io.ReadExact(reply.data(), DWORD(reply.size()), got)) != 0)
        return error;
    if (echo)
        return reply == request ? 0 : DWORD(ERROR_BAD_FORMAT);
    const uint32_t dataLength = ReadBe24(reply.data() + 1);
    if (dataLength < 4 || dataLength > 4096)
        return ERROR_BAD_FORMAT;
    reply.resize(CommandHeader::kSize + size_t(dataLength));
    if ((error = io.ReadExact(reply.data() + ReplyHeader::kSize, DWORD(reply.size() - ReplyHeader::kSize),
                              got)) != 0)
        return error;
    return ReplyAccepted(reply, request, commandId) ? 0 : DWORD(ERROR_BAD_FORMAT);
}

struct Figures {
    std::vector<double> LatenciesMs;
    uint32_t Failed = 0;
    double Seconds = 0;
    DWORD FirstError = 0; // of the first failed request

    uint32_t Requests() const { return uint32_t(LatenciesMs.size()); }
    double PerSecond() const { return Seconds > 0 ? Requests() / Seconds : 0; }
    double Percentile(double p) const {
        if (LatenciesMs.empty())
            return 0;
        std::vector<double> sorted = LatenciesMs;
        std::sort(sorted.begin(), sorted.end());
        return sorted[std::min(sorted.size() - 1, size_t(p * double(sorted.size() - 1) + 0.5))];
    }
    void Add(const Figures& more) {
        LatenciesMs.insert(LatenciesMs.end(), more.LatenciesMs.begin(), more.LatenciesMs.end());
        if (Failed == 0)
            FirstError = more.FirstError;
        Failed += more.Failed;
        Seconds += more.Seconds;
    }
};

struct Server {
    const char* Name;
    const wchar_t* Pipe;
    bool Echo;
};

// Requests from `clients` threads, each one after the other, for `durationMs`.
Figures RunLoad(const Server& server, const Workload& work, uint32_t clients, DWORD durationMs) {
    std::atomic<uint32_t> next{0};
    // Each client thread owns its figures and its I/O event.
    std::vector<Figures> perClient(clients);
    const double begin = NowMs();
    std::vector<std::thread> threads;
    for (uint32_t c = 0; c < clients; ++c) {
        threads.emplace_back([&, c] {
            UniqueEvent event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
            Figures& f = perClient[c];
            while (NowMs() - begin < durationMs) {
                const uint32_t n = next.fetch_add(1);
                const std::vector<uint8_t>& frame = work.Frames[n % work.Frames.size()];
                const double t0 = NowMs();
                const DWORD error = OneRequest(server.Pipe, frame, work.CommandId, server.Echo, event.get());
                f.LatenciesMs.push_back(NowMs() - t0);
                if (error != 0 && f.Failed++ == 0)
                    f.FirstError = error;
            }
        });
    }
    for (auto& t : threads)
        t.join();
    Figures all;
    for (const Figures& f : perClient)
        all.Add(f);
    all.Seconds = (NowMs() - begin) / 1000.0;
    return all;
}

// ---- the bare servers ----

// Reads one request (head, then DATA up to `capacity` bytes in all) within io's deadline.
bool ReadRequest(CPipeIo& io, std::vector<uint8_t>& request, size_t capacity) {
    request.resize(CommandHeader::kSize);
    DWORD got = 0;
    if (io.ReadExact(request.data(), CommandHeader::kSize, got) != 0)
        return false;
    const uint32_t dataLength = ReadBe24(request.data() + 1);
    if (CommandHeader::kSize + size_t(dataLength) > capacity)
        return false;
    request.resize(CommandHeader::kSize + size_t(dataLength));
    return dataLength == 0 || io.ReadExact(request.data() + CommandHeader::kSize, dataLength, got) == 0;
}

class CSameDesignServer {
public:
    explicit CSameDesignServer(const wchar_t* pipeName) : m_pipeName(pipeName) {
        BuildReply(CMD_VPN_STATUS, 0, std::vector<uint8_t>(kVpnIndexLimit, 0).data(), kVpnIndexLimit,
                   m_status);
        for (uint8_t i = 0; i < kRecords; ++i) {
            std::vector<uint8_t> payload;
            const std::vector<uint8_t> record = VPNCONFIG::Default(i).ToBytes();
            BuildLoadConfigPayload(i, record.data(), uint32_t(record.size()), payload);
            BuildReply(CMD_LOAD_CONFIG, 0, payload.data(), payload.size(), m_records[i]);
        }
    }
    ~CSameDesignServer() { Stop(); }

    DWORD Start() {
        m_stop.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        if (!m_stop)
            return LastErrorOr1359();
        for (Slot& slot : m_slots) {
            slot.Server = this;
            slot.Event.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
            const DWORD e = slot.Event ? Serve(slot) : LastErrorOr1359();
            if (e != 0) {
                Stop();
                return e;
            }
        }
        m_loop = std::thread([this] { Loop(); });
        return 0;
    }
    void Stop() {
        if (m_stop)
            ::SetEvent(m_stop.get());
        if (m_loop.joinable())
            m_loop.join();
        for (Slot& slot : m_slots) {
            if (slot.Thread)
                ::WaitForSingleObject(slot.Thread.get(), INFINITE);
            slot.Thread.reset();
            slot.Pipe.reset();
        }
    }

private:
    struct Slot {
        CSameDesignServer* Server = nullptr;
        UniqueFile Pipe;
        UniqueHandle<> Thread;
        UniqueEvent Event;
    };

    // A new instance and the thread that serves its one request.
    DWORD Serve(Slot& slot) {
        slot.Pipe.reset(::CreateNamedPipeW(m_pipeName, PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                           PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, kInstances, 0, 0,
                                           1000, nullptr));
        if (!slot.Pipe)
            return LastErrorOr1359();
        slot.Thread.reset(reinterpret_cast<HANDLE>(::_beginthreadex(nullptr, 0, &Worker, &slot, 0, nullptr)));
        return slot.Thread ? 0 : LastErrorOr1359();
    }

    void Loop() {
        for (;;) {
            HANDLE waits[kInstances + 1];
            for (DWORD i = 0; i < kInstances; ++i)
                waits[i] = m_slots[i].Thread.get();
            waits[kInstances] = m_stop.get();
            const DWORD w = ::WaitForMultipleObjects(kInstances + 1, waits, FALSE, INFINITE);
            if (w >= WAIT_OBJECT_0 + kInstances)
                return;
            Slot& slot = m_slots[w - WAIT_OBJECT_0];
            slot.Thread.reset();
            slot.Pipe.reset();
            if (Serve(slot) != 0)
                return;
        }
    }

    static unsigned __stdcall Worker(void* param) {
        Slot& slot = *static_cast<Slot*>(param);
        CSameDesignServer& server = *slot.Server;
        CPipeIo io(slot.Pipe.get(), kPipeIoNoDeadline, server.m_stop.get(), slot.Event.get());
        if (io.Connect() == 0) {
            io.RestartDeadline(kServerRequestMs);
            std::vector<uint8_t> request;
            if (ReadRequest(io, request, 64)) {
                const std::vector<uint8_t>* reply = nullptr;
                if (request[0] == CMD_VPN_STATUS)
                    reply = &server.m_status;
                else if (request[0] == CMD_LOAD_CONFIG && request.size() > CommandHeader::kSize &&
                         request[CommandHeader::kSize] < kRecords)
                    reply = &server.m_records[request[CommandHeader::kSize]];
                if (reply) {
                    io.WriteAll(reply->data(), DWORD(reply->size()));
                    io.WaitForClientClose();
                }
            }
            ::DisconnectNamedPipe(slot.Pipe.get());
        }
        return 0;
    }

    const wchar_t* m_pipeName;
    std::vector<uint8_t> m_status;
    std::vector<uint8_t> m_records[kRecords];
    UniqueEvent m_stop;
    Slot m_slots[kInstances];
    std::thread m_loop;
};

// The same-design server hosted as the service is: this program, copied beside the service and
// installed as a service of its own. Started by the service manager, it serves until STOP.
SERVICE_STATUS_HANDLE g_sameDesignStatus = nullptr;
HANDLE g_sameDesignStop = nullptr;

void ReportSameDesign(DWORD state) {
    SERVICE_STATUS status = {};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
    ::SetServiceStatus(g_sameDesignStatus, &status);
}

DWORD WINAPI SameDesignControl(DWORD control, DWORD, void*, void*) {
    if (control == SERVICE_CONTROL_STOP) {
        ReportSameDesign(SERVICE_STOP_PENDING);
        ::SetEvent(g_sameDesignStop);
    }
    return NO_ERROR;
}

void WINAPI SameDesignServiceMain(DWORD, wchar_t**) {
    UniqueEvent stop(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    g_sameDesignStop = stop.get();
    g_sameDesignStatus = ::RegisterServiceCtrlHandlerExW(L"", &SameDesignControl, nullptr);
    if (!g_sameDesignStatus || !stop)
        return;
    CSameDesignServer server(kSameDesignPipe);
    if (server.Start() == 0) {
        // RUNNING once the instances exist.
        ReportSameDesign(SERVICE_RUNNING);
        ::WaitForSingleObject(stop.get(), INFINITE);
        server.Stop();
    }
    ReportSameDesign(SERVICE_STOPPED);
}

class CEchoServer {
public:
    ~CEchoServer() { Stop(); }

    DWORD Start() {
        m_stop.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        if (!m_stop)
            return LastErrorOr1359();
        for (DWORD i = 0; i < kInstances; ++i) {
            UniqueFile pipe(::CreateNamedPipeW(kEchoPipe, PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                               PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, kInstances, 0,
                                               0, 1000, nullptr));
            if (!pipe) {
                const DWORD e = LastErrorOr1359();
                Stop();
                return e;
            }
            m_threads.emplace_back([this, h = pipe.release()] { Serve(UniqueFile(h)); });
        }
        return 0;
    }
    void Stop() {
        if (m_stop)
            ::SetEvent(m_stop.get());
        for (auto& t : m_threads)
            t.join();
        m_threads.clear();
    }

private:
    void Serve(UniqueFile pipe) {
        CPipeIo io(pipe.get(), kPipeIoNoDeadline, m_stop.get());
        std::vector<uint8_t> request;
        for (;;) {
            const DWORD connected = io.Connect();
            if (connected == ERROR_OPERATION_ABORTED)
                return;
            if (connected == 0) {
                io.RestartDeadline(kServerRequestMs);
                if (ReadRequest(io, request, 4096)) {
                    io.WriteAll(request.data(), DWORD(request.size()));
                    io.WaitForClientClose();
                }
            }
            ::DisconnectNamedPipe(pipe.get());
        }
    }

    UniqueEvent m_stop;
    std::vector<std::thread> m_threads;
};

// ---- the report ----

void PrintRow(const char* server, const Figures& f) {
    Out("  %-12s %6u %6u %9.0f %9.3f %9.3f\n", server, f.Requests(), f.Failed, f.PerSecond(),
        f.Percentile(0.5), f.Percentile(0.99));
    if (f.Failed != 0)
        Out("  %-12s first failure: error %lu\n", "", f.FirstError);
}

void PrintRatios(const char* against, const Figures& service, const Figures& reference) {
    const double p50 = reference.Percentile(0.5);
    const double rate = reference.PerSecond();
    Out("  service/%-12s p50 %5.2f   req/s %5.2f\n", against, p50 > 0 ? service.Percentile(0.5) / p50 : 0.0,
        rate > 0 ? service.PerSecond() / rate : 0.0);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    // Under the service manager this is the same-design server; elsewhere this fails at once.
    static wchar_t serviceName[] = L"";
    const SERVICE_TABLE_ENTRYW table[] = {{serviceName, &SameDesignServiceMain}, {nullptr, nullptr}};
    if (::StartServiceCtrlDispatcherW(table))
        return 0;

    DWORD roundMs = kDefaultRoundMs;
    bool running = false;
    std::wstring service, figures;
#ifdef CORVEL_BENCH_SERVICE_EXE
    service = ToWindowsPath(CORVEL_BENCH_SERVICE_EXE);
#endif
    for (int i = 1; i < argc; ++i) {
        const std::wstring a = argv[i];
        if (a == L"--round-ms" && i + 1 < argc)
            roundMs = std::max(100u, uint32_t(std::wcstoul(argv[++i], nullptr, 10)));
        else if (a == L"--service" && i + 1 < argc)
            service = argv[++i];
        else if (a == L"--figures" && i + 1 < argc)
            figures = argv[++i];
        else if (a == L"--running")
            running = true;
        else {
            std::printf(
                "usage: corvel-bench [--round-ms N] [--running] [--service <exe>] [--figures <file>]\n");
            return 2;
        }
    }
    if (!figures.empty() && !g_report.OpenFile(figures))
        std::printf("corvel-bench: cannot write %ls\n", figures.c_str());

    // The service (unless one runs already) and the same-design server, each installed as a
    // service from a folder of the prefix.
    CTestFolder folder(L"bench");
    wchar_t self[MAX_PATH];
    const DWORD selfLength = ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    DWORD result = selfLength == 0 || selfLength == MAX_PATH ? DWORD(ERROR_BAD_PATHNAME) : folder.Create();
    CServiceControl control;
    if (!running) {
        if (result == 0)
            result = folder.CopyIn(service, L"CORVELSVC.exe");
        if (result == 0)
            result = control.InstallAndRun(UniqueServiceName(), folder.File(L"CORVELSVC.exe"));
        if (result != 0) {
            Out("corvel-bench: cannot start CORVELSVC from %ls (%lu)\n", service.c_str(), result);
            return 1;
        }
    } else if (result != 0 || WaitForCommandPipe(10000) != 0) {
        Out("corvel-bench: no service answers on %ls\n", kServicePipeName);
        return 1;
    }
    CServiceControl sameDesign;
    DWORD started = folder.CopyIn(self, L"corvel-bench-samedesign.exe");
    if (started == 0)
        started = sameDesign.Install(UniqueServiceName(), folder.File(L"corvel-bench-samedesign.exe"));
    if (started == 0)
        started = sameDesign.Start();
    if (started == 0)
        started = sameDesign.WaitForState(SERVICE_RUNNING, 15000);
    CEchoServer echo;
    if (started != 0 || echo.Start() != 0) {
        Out("corvel-bench: the bare servers did not start\n");
        return 1;
    }

    const Server servers[] = {{"service", kServicePipeName, false},
                              {"same-design", kSameDesignPipe, false},
                              {"echo", kEchoPipe, true}};
    constexpr size_t kServers = sizeof servers / sizeof servers[0];
    Out("Pipe load: one connection per request; CORVELSVC against a bare server of the same design and a "
        "reusing echo server; %u rounds of %lu ms per server and case\n",
        kRounds, roundMs);
    // Each server warms up (threads, first instances) before it is measured.
    for (const Server& s : servers)
        RunLoad(s, StatusWorkload(), 4, 200);

    uint32_t failed = 0;
    for (const Workload& work : {StatusWorkload(), LoadConfigWorkload()}) {
        for (uint32_t clients : {1u, 16u}) {
            Figures f[kServers];
            for (uint32_t round = 0; round < kRounds; ++round) {
                for (size_t k = 0; k < kServers; ++k) {
                    const size_t i = round % 2 == 0 ? k : kServers - 1 - k;
                    f[i].Add(RunLoad(servers[i], work, clients, roundMs));
                }
            }
            Out("\n%s, %u client%s\n", work.Name, clients, clients == 1 ? "" : "s");
            Out("  %-12s %6s %6s %9s %9s %9s\n", "server", "done", "failed", "req/s", "p50 ms", "p99 ms");
            for (size_t i = 0; i < kServers; ++i) {
                PrintRow(servers[i].Name, f[i]);
                failed += f[i].Failed;
            }
            PrintRatios("same-design", f[0], f[1]);
            PrintRatios("echo", f[0], f[2]);
        }
    }
    echo.Stop();
    sameDesign.Stop(30000);
    Out("\n%s\n", failed == 0 ? "no request failed" : "some requests failed");
    g_report.Close();
    // Speed never fails the run, failed requests do.
    return failed == 0 ? 0 : 1;
}
