// verlisk-standin: serves the module side of the IPC protocol with an aircraft that
// burns fuel, so that Verlisk runs and is tested without a simulator.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "simlink/ipc_protocol.h"
#include "standin/aircraft.h"

namespace {

using verlisk::standin::Aircraft;
using verlisk::standin::Options;

struct State {
    Options options;
    Aircraft* aircraft = nullptr;
    UINT ipcMessage = 0;
    ULONGLONG startTime = 0;  // wall clock, 100 ns units
    long long answered = 0;
};
State g;  // the window procedure's only way to its state

ULONGLONG WallClock() {
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    return (static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

void Record(const std::string& line) {
    if (g.options.recordFile.empty()) return;
    HANDLE f = CreateFileA(g.options.recordFile.c_str(), FILE_APPEND_DATA,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return;
    const std::string text = line + "\r\n";
    DWORD written;
    WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(f);
}

// Tells what the client asked for since the last request, then forgets it, so that a
// stand-in left running for hours holds nothing it does not need.
void Report() {
    for (const std::string& line : g.aircraft->Messages()) {
        std::printf("%s\n", line.c_str());
        std::fflush(stdout);
        Record(line);
    }
    if (g.options.recordReads) {
        char line[32];
        for (std::uint32_t at : g.aircraft->reads) {
            std::snprintf(line, sizeof line, "read:%04X", at);
            Record(line);
        }
    }
    g.aircraft->writes.clear();
    g.aircraft->reads.clear();
}

// One request: find the client's area by the atom's name, carry out its records.
LRESULT Answer(WPARAM wp) {
    using F = Options::Fault;
    if (g.options.fault == F::Hang) {
        Sleep(g.options.delayMs);
        return 0;
    }
    if (g.options.fault == F::Slow) Sleep(g.options.delayMs);
    if (g.options.fault == F::ReplyZero) return 0;
    // A module that has stopped serving part-way: it still answers, with 0.
    if (g.options.answers >= 0 && g.answered++ >= g.options.answers) return 0;

    char name[256] = {};
    if (GlobalGetAtomNameA(static_cast<ATOM>(wp & 0xFFFF), name, sizeof name) == 0) return 0;
    HANDLE mapping = OpenFileMappingA(FILE_MAP_WRITE, FALSE, name);
    if (!mapping) return 0;
    auto* view = static_cast<std::uint8_t*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0));
    LRESULT result = 0;
    if (view) {
        // Never trust the client either: look no further than the mapping really goes.
        MEMORY_BASIC_INFORMATION mbi{};
        VirtualQuery(view, &mbi, sizeof mbi);
        const std::size_t size = std::min<std::size_t>(mbi.RegionSize, verlisk::ipc::kAreaSize);
        const double hours = static_cast<double>(WallClock() - g.startTime) / 36e9;
        g.aircraft->Serve(view, size, hours);
        if (g.options.fault == F::BadKind) verlisk::ipc::Put32(view, 7);
        UnmapViewOfFile(view);
        result = 1;
    }
    CloseHandle(mapping);
    Report();
    return result;
}

LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == g.ipcMessage && msg != 0) return Answer(wp);
    if (msg == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
        std::printf("%s", verlisk::standin::Usage().c_str());
        return 0;
    }
    const std::string error = verlisk::standin::ParseOptions(args, g.options);
    if (!error.empty()) {
        std::fprintf(stderr, "verlisk-standin: %s\n\n%s", error.c_str(),
                     verlisk::standin::Usage().c_str());
        return 2;
    }
    Aircraft aircraft(g.options);
    g.aircraft = &aircraft;
    g.startTime = WallClock();
    g.ipcMessage = RegisterWindowMessageA(verlisk::ipc::kMessageName);

    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA wc{};
    wc.lpfnWndProc = WndProc;
    wc.hInstance = instance;
    wc.lpszClassName = g.options.windowClass.c_str();
    if (!RegisterClassA(&wc)) {
        std::fprintf(stderr, "verlisk-standin: cannot register the window class\n");
        return 1;
    }
    // A hidden top-level window: clients find it with FindWindowEx, which does not
    // see message-only windows.
    HWND hwnd = CreateWindowExA(0, wc.lpszClassName, "Verlisk stand-in", WS_OVERLAPPED, 0, 0, 100,
                                100, nullptr, nullptr, instance, nullptr);
    if (!hwnd) {
        std::fprintf(stderr, "verlisk-standin: cannot create the window\n");
        return 1;
    }
    std::printf("verlisk-standin: serving as %s, version word 0x%08X, simulator %u, pid %lu\n",
                g.options.windowClass.c_str(), g.options.version, g.options.sim,
                GetCurrentProcessId());
    std::fflush(stdout);

    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}
