// Start-up of Verlisk.exe against a minimal one-window program, side by side under
// the same conditions: time from process start to a visible window, and private
// memory once the window is up. Runs alternate so that machine noise hits both.
#include <windows.h>

#include <psapi.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "app/layout/layout.h"
#include "bench_util.h"
#include "ui_driver.h"

using namespace verlisk::driver;
using verlisk::bench::Median;

struct Sample {
    double ms = 0;
    double privateKb = 0;
};

static bool Measure(const std::wstring& exe, const wchar_t* cls, Sample& s) {
    TempDir dir;
    const auto start = std::chrono::steady_clock::now();
    Process p(exe, L"", dir.path());
    if (!p.started()) return false;
    HWND w = nullptr;
    while (!w && std::chrono::steady_clock::now() - start < 30s) {
        w = WaitForWindow(p.pid(), cls, 0ms);
        if (!w) Sleep(1);
    }
    if (!w) return false;
    s.ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    Sleep(1000);  // let both settle (timers ticking) before the memory is read
    PROCESS_MEMORY_COUNTERS_EX pmc{};
    pmc.cb = sizeof pmc;
    GetProcessMemoryInfo(p.handle(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&pmc), sizeof pmc);
    // Windows reports private bytes in both fields; Wine fills only the commit charge.
    s.privateKb =
        static_cast<double>(pmc.PrivateUsage ? pmc.PrivateUsage : pmc.PagefileUsage) / 1024;
    PostMessageW(w, WM_CLOSE, 0, 0);
    p.WaitExit(10s);
    return true;
}

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 10;
    const std::wstring bin = BinDir();
    std::vector<double> vt, mt, vm, mm;
    for (int i = 0; i < runs; ++i) {
        Sample v, m;
        if (!Measure(bin + L"\\Verlisk.exe", verlisk::layout::kWindowClass, v) ||
            !Measure(bin + L"\\bench-minimal-window.exe", L"BenchMinimalWindow", m)) {
            std::fprintf(stderr, "a program did not show its window\n");
            return 1;
        }
        std::printf("run %2d  Verlisk %7.1f ms %8.0f KiB   minimal %7.1f ms %8.0f KiB\n", i + 1,
                    v.ms, v.privateKb, m.ms, m.privateKb);
        vt.push_back(v.ms);
        mt.push_back(m.ms);
        vm.push_back(v.privateKb);
        mm.push_back(m.privateKb);
    }
    const double ratio = Median(vt) / Median(mt);
    const double extraMb = (Median(vm) - Median(mm)) / 1024;
    std::printf("start-up median: Verlisk %.1f ms, minimal %.1f ms, ratio %.2f (target <= 1.5)\n",
                Median(vt), Median(mt), ratio);
    std::printf(
        "private memory median: Verlisk %.0f KiB, minimal %.0f KiB, %.2f MiB more "
        "(target <= 4)\n",
        Median(vm), Median(mm), extraMb);
    return 0;
}
