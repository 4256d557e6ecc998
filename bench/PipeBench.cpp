// Pipe load benchmark: 16 concurrent clients send a mix of CMD_VPN_STATUS and CMD_LOAD_CONFIG
// to CORVELSVC (installed and started under the service manager for the run, or an already
// running one with --running), then the same load to a minimal echo server with the same 7
// instances, one thread each, measured in the same run. Prints requests per second, p50 and
// p99 latency and failures of both, and the ratio of the two p50s. Speed never fails it:
// the exit code is 0 when no request failed, else 1. A phase that reaches its time budget
// stops early and says so; its figures are those of the requests it made.
//
// Usage: corvel-bench [--requests N] [--clients N] [--running] [--service <CORVELSVC.exe>]
#include "E2eHarness.h"

#include "Protocol.h"
#include "Replies.h"
#include "Requests.h"

#include <windows.h>

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

constexpr wchar_t kEchoPipe[] = L"\\\\.\\pipe\\corvelbench_echo";
constexpr DWORD kEchoInstances = 7;
// Keeps the whole run under a minute: a phase stops issuing requests when it has used its
// share, and says so (under Wine the service serves a few hundred requests a second, since
// each request has a worker thread and a pipe instance of its own).
constexpr ULONGLONG kServiceBudgetMs = 35000;
constexpr ULONGLONG kEchoBudgetMs = 15000;
// A request not answered within this time counts as failed.
constexpr ULONGLONG kRequestDeadlineMs = 10000;

struct Figures {
    uint32_t Issued = 0;
    uint32_t Failed = 0;
    double Seconds = 0;
    double P50Ms = 0;
    double P99Ms = 0;
    bool CutShort = false;
    DWORD FirstError = 0; // of the first failed request
};

double Percentile(std::vector<double>& sorted, double p) {
    if (sorted.empty())
        return 0;
    const size_t i = std::min(sorted.size() - 1, size_t(p * double(sorted.size() - 1) + 0.5));
    return sorted[i];
}

// One request on its own connection, as the real clients do. Service replies are checked
// with the protocol's parser; the echo server's reply must equal the request.
// 0 when answered; otherwise the Win32 error of the step that failed (11 for a bad reply).
DWORD OneRequest(const wchar_t* pipeName, const std::vector<uint8_t>& request, uint8_t commandId, bool echo) {
    // While all 7 instances are busy the client waits for one, as the real clients do, but
    // for as long as a request may take rather than for a fixed count of attempts: with 16
    // clients on 7 instances a freed instance often goes to another client.
    UniqueFile pipe;
    const ULONGLONG deadline = ::GetTickCount64() + kRequestDeadlineMs;
    for (;;) {
        pipe.reset(::CreateFileW(pipeName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
        if (pipe)
            break;
        const DWORD error = ::GetLastError();
        if (error != ERROR_PIPE_BUSY)
            return error ? error : ERROR_INTERNAL_ERROR;
        if (::GetTickCount64() >= deadline)
            break;
        ::WaitNamedPipeW(pipeName, 1000);
    }
    if (!pipe)
        return ERROR_PIPE_BUSY;
    DWORD done = 0;
    if (!::WriteFile(pipe.get(), request.data(), DWORD(request.size()), &done, nullptr) ||
        done != request.size())
        return ERROR_WRITE_FAULT;
    std::vector<uint8_t> reply(echo ? request.size() : 8);
    auto readExact = [&](uint8_t* target, DWORD count) {
        DWORD got = 0;
        while (got < count) {
            DWORD n = 0;
            if (!::ReadFile(pipe.get(), target + got, count - got, &n, nullptr) || n == 0)
                return false;
            got += n;
        }
        return true;
    };
    if (!readExact(reply.data(), DWORD(reply.size())))
        return ERROR_READ_FAULT;
    if (echo)
        return reply == request ? 0 : DWORD(ERROR_BAD_FORMAT);
    const uint32_t dataLength = (uint32_t(reply[1]) << 16) | (uint32_t(reply[2]) << 8) | reply[3];
    if (dataLength < 4 || dataLength > 4096)
        return ERROR_BAD_FORMAT;
    reply.resize(4 + size_t(dataLength));
    if (dataLength > 4 && !readExact(reply.data() + 8, dataLength - 4))
        return ERROR_READ_FAULT;
    ReplyView view;
    return ParseReply(reply.data(), reply.size(), commandId, view) == 0 && view.ResultCode == 0
               ? 0
               : DWORD(ERROR_BAD_FORMAT);
}

Figures RunLoad(const wchar_t* pipeName, bool echo, uint32_t requests, uint32_t clients, ULONGLONG budgetMs) {
    std::vector<std::vector<uint8_t>> frames;
    std::vector<uint8_t> commands;
    for (uint8_t i = 0; i < 20; ++i) {
        frames.push_back(BuildVpnStatusRequest());
        commands.push_back(CMD_VPN_STATUS);
        frames.push_back(BuildLoadConfigRequest(i));
        commands.push_back(CMD_LOAD_CONFIG);
    }
    std::atomic<uint32_t> next{0};
    std::atomic<uint32_t> failed{0};
    std::atomic<bool> cut{false};
    std::atomic<DWORD> firstError{0};
    std::vector<std::vector<double>> latencies(clients);
    LARGE_INTEGER frequency, begin, end;
    ::QueryPerformanceFrequency(&frequency);
    const ULONGLONG deadline = ::GetTickCount64() + budgetMs;
    ::QueryPerformanceCounter(&begin);
    std::vector<std::thread> threads;
    for (uint32_t c = 0; c < clients; ++c) {
        // Each client thread owns its latency vector; the counters are atomics.
        threads.emplace_back([&, c] {
            DWORD noError = 0;
            for (;;) {
                const uint32_t n = next.fetch_add(1);
                if (n >= requests)
                    return;
                if (::GetTickCount64() > deadline) {
                    cut = true;
                    return;
                }
                LARGE_INTEGER t0, t1;
                ::QueryPerformanceCounter(&t0);
                const DWORD error =
                    OneRequest(pipeName, frames[n % frames.size()], commands[n % frames.size()], echo);
                ::QueryPerformanceCounter(&t1);
                if (error != 0) {
                    ++failed;
                    firstError.compare_exchange_strong(noError, error);
                }
                latencies[c].push_back(double(t1.QuadPart - t0.QuadPart) * 1000.0 /
                                       double(frequency.QuadPart));
            }
        });
    }
    for (auto& t : threads)
        t.join();
    ::QueryPerformanceCounter(&end);
    std::vector<double> all;
    for (auto& l : latencies)
        all.insert(all.end(), l.begin(), l.end());
    std::sort(all.begin(), all.end());
    Figures f;
    f.Issued = uint32_t(all.size());
    f.Failed = failed;
    f.Seconds = double(end.QuadPart - begin.QuadPart) / double(frequency.QuadPart);
    f.P50Ms = Percentile(all, 0.50);
    f.P99Ms = Percentile(all, 0.99);
    f.CutShort = cut;
    f.FirstError = firstError;
    return f;
}

// The reference: 7 instances of a pipe, one thread each, that read one request (head, then
// DATA) and write it back, then disconnect; nothing else.
class CEchoServer {
public:
    DWORD Start() {
        m_stop = false;
        m_ended = 0;
        for (DWORD i = 0; i < kEchoInstances; ++i) {
            UniqueFile pipe(::CreateNamedPipeW(kEchoPipe, PIPE_ACCESS_DUPLEX,
                                               PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT,
                                               kEchoInstances, 0, 0, 1000, nullptr));
            if (!pipe)
                return ::GetLastError();
            m_threads.emplace_back([this, h = pipe.release()] { Serve(h); });
        }
        return 0;
    }
    void Stop() {
        m_stop = true;
        // Wakes each waiting instance with an empty connection until every thread has ended
        // (an instance that has ended is closed and takes no more connections).
        while (m_ended < m_threads.size()) {
            UniqueFile wake(::CreateFileW(kEchoPipe, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                          0, nullptr));
            if (!wake && ::GetLastError() == ERROR_PIPE_BUSY)
                ::WaitNamedPipeW(kEchoPipe, 100);
            else if (!wake)
                break;
        }
        for (auto& t : m_threads)
            t.join();
        m_threads.clear();
    }

private:
    void Serve(HANDLE handle) {
        UniqueFile pipe(handle);
        std::vector<uint8_t> buffer(4096);
        while (!m_stop) {
            if (!::ConnectNamedPipe(pipe.get(), nullptr) && ::GetLastError() != ERROR_PIPE_CONNECTED)
                continue;
            DWORD n = 0, got = 0;
            bool ok = true;
            while (ok && got < 4) {
                ok = ::ReadFile(pipe.get(), buffer.data() + got, 4 - got, &n, nullptr) && n > 0;
                got += n;
            }
            const uint32_t dataLength =
                ok ? (uint32_t(buffer[1]) << 16) | (uint32_t(buffer[2]) << 8) | buffer[3] : 0;
            ok = ok && dataLength + 4 <= buffer.size();
            while (ok && got < 4 + dataLength) {
                ok = ::ReadFile(pipe.get(), buffer.data() + got, 4 + dataLength - got, &n, nullptr) && n > 0;
                got += n;
            }
            if (ok) {
                ::WriteFile(pipe.get(), buffer.data(), got, &n, nullptr);
                ::FlushFileBuffers(pipe.get());
            }
            ::DisconnectNamedPipe(pipe.get());
        }
        pipe.reset();
        ++m_ended;
    }

    std::atomic<bool> m_stop{false};
    std::atomic<size_t> m_ended{0};
    std::vector<std::thread> m_threads;
};

void PrintFigures(const char* name, const Figures& f) {
    std::printf("%-8s requests %6u  failed %u  %8.0f req/s  p50 %7.3f ms  p99 %7.3f ms%s\n", name, f.Issued,
                f.Failed, f.Seconds > 0 ? double(f.Issued) / f.Seconds : 0.0, f.P50Ms, f.P99Ms,
                f.CutShort ? "  (stopped at its time budget)" : "");
    if (f.Failed != 0)
        std::printf("         first failure: error %lu\n", f.FirstError);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    uint32_t requests = 20000, clients = 16;
    bool running = false;
    std::wstring service;
#ifdef CORVEL_BENCH_SERVICE_EXE
    service = ToWindowsPath(CORVEL_BENCH_SERVICE_EXE);
#endif
    for (int i = 1; i < argc; ++i) {
        const std::wstring a = argv[i];
        if (a == L"--requests" && i + 1 < argc)
            requests = uint32_t(std::wcstoul(argv[++i], nullptr, 10));
        else if (a == L"--clients" && i + 1 < argc)
            clients = std::max(1u, uint32_t(std::wcstoul(argv[++i], nullptr, 10)));
        else if (a == L"--service" && i + 1 < argc)
            service = argv[++i];
        else if (a == L"--running")
            running = true;
        else {
            std::printf("usage: corvel-bench [--requests N] [--clients N] [--running] [--service <exe>]\n");
            return 2;
        }
    }

    CTestFolder folder(L"bench");
    CServiceControl control;
    if (!running) {
        DWORD result = folder.Create();
        if (result == 0)
            result = folder.CopyIn(service);
        if (result == 0)
            result = control.InstallAndRun(UniqueServiceName(), folder.File(L"CORVELSVC.exe"));
        if (result != 0) {
            std::printf("corvel-bench: cannot start CORVELSVC from %ls (%lu)\n", service.c_str(), result);
            return 1;
        }
    } else if (WaitForCommandPipe(10000) != 0) {
        std::printf("corvel-bench: no service answers on \\\\.\\pipe\\corvelservice\n");
        return 1;
    }

    std::printf("%u requests (CMD_VPN_STATUS and CMD_LOAD_CONFIG mixed), %u concurrent clients\n", requests,
                clients);
    const Figures svc = RunLoad(kCommandPipe, false, requests, clients, kServiceBudgetMs);
    PrintFigures("service", svc);

    CEchoServer echo;
    Figures ref;
    if (echo.Start() == 0) {
        ref = RunLoad(kEchoPipe, true, requests, clients, kEchoBudgetMs);
        echo.Stop();
        PrintFigures("echo", ref);
        if (ref.P50Ms > 0)
            std::printf("p50 ratio service/echo: %.2f\n", svc.P50Ms / ref.P50Ms);
    } else {
        std::printf("echo server did not start\n");
    }
    std::fflush(stdout);
    // Speed never fails the run, failed requests do.
    return svc.Failed == 0 && ref.Failed == 0 ? 0 : 1;
}
