// Storm benchmark: CORVELSVC's status load (requests per second, p50 and p99 latency) before
// and after a storm of dropped connections, and the ratio after/before, so that a slowdown
// the storm leaves behind shows. Figures only: speed never fails it; the exit code is 0 when
// every request was answered and the service still runs, else 1.
//
// Usage: corvel-storm-bench [--requests N] [--clients N] [--storm N] [--service <CORVELSVC.exe>]
//                           [--figures <file>]
#include "BenchReport.h"
#include "E2eHarness.h"
#include "StressKit.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <algorithm>
#include <string>

using namespace corvel;
using namespace corvel::e2e;
using namespace corvel::stress;

int _dowildcard = 0;

namespace {

bench::CReport g_report;

void Print(const char* phase, const LoadFigures& f) {
    g_report.Out("%-13s %5u requests  %u failed  %7.0f req/s  p50 %7.2f ms  p99 %7.2f ms\n", phase,
                 f.Requests, f.Failed, f.PerSecond(), f.P50Ms, f.P99Ms);
}

double Ratio(double after, double before) {
    return before > 0 ? after / before : 0;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    uint32_t requests = 1000, clients = 16, storm = 3000;
    std::wstring service, figures;
#ifdef CORVEL_BENCH_SERVICE_EXE
    service = ToWindowsPath(CORVEL_BENCH_SERVICE_EXE);
#endif
    for (int i = 1; i < argc; ++i) {
        const std::wstring a = argv[i];
        if (a == L"--requests" && i + 1 < argc)
            requests = uint32_t(std::wcstoul(argv[++i], nullptr, 10));
        else if (a == L"--clients" && i + 1 < argc)
            clients = std::max(1u, uint32_t(std::wcstoul(argv[++i], nullptr, 10)));
        else if (a == L"--storm" && i + 1 < argc)
            storm = uint32_t(std::wcstoul(argv[++i], nullptr, 10));
        else if (a == L"--service" && i + 1 < argc)
            service = argv[++i];
        else if (a == L"--figures" && i + 1 < argc)
            figures = argv[++i];
        else {
            std::printf(
                "usage: corvel-storm-bench [--requests N] [--clients N] [--storm N] [--service <exe>] "
                "[--figures <file>]\n");
            return 2;
        }
    }
    if (!figures.empty() && !g_report.OpenFile(figures))
        std::printf("corvel-storm-bench: cannot write %ls\n", figures.c_str());

    CTestFolder folder(L"bench-storm");
    CServiceControl control;
    DWORD result = folder.Create();
    if (result == 0)
        result = folder.CopyIn(service);
    if (result == 0)
        result = control.InstallAndRun(kServiceName, folder.File(L"CORVELSVC.exe"));
    CServiceProcess process;
    if (result == 0)
        result = process.Open(control);
    if (result != 0) {
        g_report.Out("corvel-storm-bench: cannot start CORVELSVC from %ls (%lu)\n", service.c_str(), result);
        return 1;
    }

    g_report.Out("CMD_VPN_STATUS load, %u requests from %u clients, before and after a storm of %u dropped "
                 "connections from 16 threads\n",
                 requests, clients, storm);
    const LoadFigures before = RunStatusLoad(requests, clients);
    Print("before storm", before);
    const StormFigures s = RunStorm(storm, 16);
    g_report.Out("storm         %5u cycles in %.1f s (%.0f per second), %u could not connect\n", s.Cycles,
                 s.Seconds, s.Seconds > 0 ? s.Cycles / s.Seconds : 0.0, s.OpenFailures);
    const LoadFigures after = RunStatusLoad(requests, clients);
    Print("after storm", after);
    g_report.Out("after/before: req/s %.2f  p50 %.2f  p99 %.2f\n",
                 Ratio(after.PerSecond(), before.PerSecond()), Ratio(after.P50Ms, before.P50Ms),
                 Ratio(after.P99Ms, before.P99Ms));
    g_report.Close();
    return before.Failed == 0 && after.Failed == 0 && process.Running() ? 0 : 1;
}
