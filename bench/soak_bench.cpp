// Soak: the window's two tick handlers called back to back, 3000 radar ticks against
// the real stand-in, which is killed and started again every 500 ticks. Handles, GDI
// objects and private memory are read after the warm-up and at the end; none may grow.
#include <windows.h>

#include <psapi.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "app/frm_start.h"
#include "app/win32/main_window.h"
#include "common/win32/system_ports.h"
#include "reporting/win32/winhttp_client.h"
#include "simlink/fsuipc.h"
#include "simlink/win32/ipc_system_win32.h"
#include "ui_driver.h"

using namespace verlisk;
using namespace verlisk::driver;

namespace {

// The handles this process holds, from the system's handle list: Wine does not
// implement GetProcessHandleCount, but does list handles.
DWORD HandleCount() {
    DWORD count = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &count) && count) return count;
    using Query = LONG(WINAPI*)(int, void*, ULONG, ULONG*);
    auto query = reinterpret_cast<Query>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    struct Entry {
        ULONG pid;
        BYTE type, flags;
        USHORT value;
        void* object;
        ULONG access;
    };
    std::vector<char> buffer(1 << 20);
    ULONG needed = 0;
    constexpr int kSystemHandleInformation = 16;
    while (query &&
           query(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()),
                 &needed) == static_cast<LONG>(0xC0000004)) {  // too small
        buffer.resize(buffer.size() * 2);
    }
    const ULONG n = *reinterpret_cast<ULONG*>(buffer.data());
    const auto* entries = reinterpret_cast<const Entry*>(buffer.data() + sizeof(void*));
    for (ULONG i = 0; i < n; ++i) count += entries[i].pid == GetCurrentProcessId();
    return count;
}

struct Reading {
    DWORD handles = 0, gdi = 0, user = 0;
    double privateKb = 0;
};

Reading Read() {
    Reading r;
    r.handles = HandleCount();
    r.gdi = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    r.user = GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS);
    PROCESS_MEMORY_COUNTERS_EX pmc{};
    pmc.cb = sizeof pmc;
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&pmc),
                         sizeof pmc);
    // Windows reports private bytes in both fields; Wine fills only the commit charge.
    r.privateKb =
        static_cast<double>(pmc.PrivateUsage ? pmc.PrivateUsage : pmc.PagefileUsage) / 1024;
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    const int ticks = argc > 1 ? std::atoi(argv[1]) : 3000;
    TempDir work;
    SetCurrentDirectoryW(work.path().c_str());
    auto module = std::make_unique<StandIn>(L"");

    win32::Win32Regional regional;
    win32::Win32Clock clock;
    win32::Win32Files files;
    win32::Win32IpcSystem ipc;
    win32::Win32Process process;
    FsuipcLink link(ipc);
    win32::WinHttpClient inet;
    win32::MainWindow window(GetModuleHandleW(nullptr));
    FrmStart frm({window, files, clock, regional, process, link, inet});
    if (!window.Create(frm)) return 1;
    frm.Form_Load();
    window.Show();
    // The harness drives the ticks itself; a running session keeps every label busy.
    window.SetTimerEnabled(Timer::Timer_Radar, false);
    window.SetTimerEnabled(Timer::Timer_PhaseControl, false);
    frm.Phase = 1;
    frm.StartTime = WholeSeconds(clock.Now());

    Reading warm{};
    int restarts = 0;
    const DWORD start = GetTickCount();
    for (int i = 1; i <= ticks; ++i) {
        frm.Timer_Radar_Timer();
        frm.Timer_PhaseControl_Timer();
        window.DoEvents();
        if (i % 500 == 0 && i < ticks) {
            module.reset();
            module = std::make_unique<StandIn>(L"");
            ++restarts;
        }
        if (i == 500) warm = Read();
    }
    const Reading end = Read();
    std::printf("%d radar ticks in %.1f s, stand-in restarted %d times, gross weight %.1f\n", ticks,
                (GetTickCount() - start) / 1000.0, restarts, frm.GrossWeight);
    std::printf("after warm-up (tick 500): %lu handles, %lu GDI, %lu USER objects, %.0f KiB\n",
                warm.handles, warm.gdi, warm.user, warm.privateKb);
    std::printf("at the end:               %lu handles, %lu GDI, %lu USER objects, %.0f KiB\n",
                end.handles, end.gdi, end.user, end.privateKb);
    std::printf(
        "growth: %ld handles, %ld GDI, %ld USER objects, %.0f KiB (target: 0, 0, 0, < 1024)\n",
        static_cast<long>(end.handles) - static_cast<long>(warm.handles),
        static_cast<long>(end.gdi) - static_cast<long>(warm.gdi),
        static_cast<long>(end.user) - static_cast<long>(warm.user), end.privateKb - warm.privateKb);
    return 0;
}
