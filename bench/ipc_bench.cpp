// The IPC link against the same work written straight on the Win32 calls, both
// talking to one running stand-in: (a) a tick's open with its handshake and the
// close, without the 100 ms pause; (b) one 4-byte read and its round trip.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "bench_util.h"
#include "common/win32/win32_text.h"
#include "simlink/fsuipc.h"
#include "simlink/ipc_protocol.h"
#include "simlink/win32/ipc_system_win32.h"
#include "ui_driver.h"

using namespace verlisk;
using namespace verlisk::driver;
using verlisk::bench::Median;

namespace {

// The real calls without the handshake's pause, which would swamp the figures.
class NoPause : public win32::Win32IpcSystem {
  public:
    void Sleep(std::uint32_t) override {}
};

std::vector<double> Time(const std::function<void()>& op, int n) {
    std::vector<double> us;
    for (int i = 0; i < n; ++i) {
        const auto t = std::chrono::steady_clock::now();
        op();
        us.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t)
                         .count());
    }
    return us;
}

void PutRead(std::uint8_t*& p, std::uint32_t offset, std::uint32_t size) {
    ipc::Put32(p, ipc::kReadKind);
    ipc::Put32(p + 4, offset);
    ipc::Put32(p + 8, size);
    ipc::Put32(p + 12, 1);
    std::memset(p + 16, 0, size);
    p += 16 + size;
}

struct Bare {
    HWND window = nullptr;
    UINT message = 0;
    ATOM atom = 0;
    HANDLE mapping = nullptr;
    std::uint8_t* view = nullptr;
    std::string name = FsuipcLink::AreaName(GetCurrentProcessId(), 1);

    bool Open() {
        window = FindWindowExA(nullptr, nullptr, ipc::kModuleClass, nullptr);
        message = RegisterWindowMessageA(ipc::kMessageName);
        atom = GlobalAddAtomA(name.c_str());
        mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                     ipc::kAreaSize, name.c_str());
        view = static_cast<std::uint8_t*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0));
        return window && message && atom && view;
    }
    bool RoundTrip() {
        DWORD_PTR reply = 0;
        return SendMessageTimeoutA(window, message, atom, 0, SMTO_BLOCK, 2000, &reply) &&
               reply == 1;
    }
    void Close() {
        GlobalDeleteAtom(atom);
        UnmapViewOfFile(view);
        CloseHandle(mapping);
    }
};

}  // namespace

int main(int argc, char** argv) {
    const int n = argc > 1 ? std::atoi(argv[1]) : 300;
    TempDir dir;
    Process standin(BinDir() + L"\\verlisk-standin.exe", L"", dir.path());
    if (!WaitForHiddenWindow(standin.pid(), win32::Widen(ipc::kModuleClass).c_str(), 20s)) {
        std::fprintf(stderr, "the stand-in did not start\n");
        return 1;
    }
    NoPause sys;
    FsuipcLink link(sys);
    std::int32_t code = 0;
    const std::int32_t anySim = 0;
    std::int32_t version = 0, simWord = 0, value = 0;
    const std::int16_t libVersion = 0;
    bool ok = true;

    auto linkTick = [&] {
        ok &= link.IpcOpen(anySim, code);
        link.IpcClose();
    };
    auto bareTick = [&] {
        Bare b;
        ok &= b.Open();
        std::uint8_t* p = b.view;
        PutRead(p, 0x3304, 4);
        PutRead(p, 0x3308, 4);
        ipc::Put32(p, ipc::kWriteKind);
        ipc::Put32(p + 4, 0x330A);
        ipc::Put32(p + 8, 2);
        std::memcpy(p + 12, &libVersion, 2);
        ipc::Put32(p + 14, 0);
        ok &= b.RoundTrip();
        std::memcpy(&version, b.view + 16, 4);
        std::memcpy(&simWord, b.view + 36, 4);
        b.Close();
    };
    ok &= link.IpcOpen(anySim, code);
    link.IpcClose();
    Bare held;
    auto linkRead = [&] {
        link.IpcRead(0x3304, 4, &value, code);
        ok &= link.IpcProcess(code);
    };
    auto bareRead = [&] {
        std::uint8_t* p = held.view;
        PutRead(p, 0x3304, 4);
        ipc::Put32(p, 0);
        ok &= held.RoundTrip();
        std::memcpy(&value, held.view + 16, 4);
    };

    // Alternating blocks, so that a noisy moment hits both sides.
    std::vector<double> lt, bt, lr, br;
    auto alternate = [&](const std::function<void()>& a, std::vector<double>& ta,
                         const std::function<void()>& b, std::vector<double>& tb) {
        for (int block = 0; block < 10; ++block) {
            auto va = Time(a, n / 10);
            ta.insert(ta.end(), va.begin(), va.end());
            auto vb = Time(b, n / 10);
            tb.insert(tb.end(), vb.begin(), vb.end());
        }
    };
    alternate(linkTick, lt, bareTick, bt);
    // Both sides keep a link open for the reads: the bare one under its own name.
    held.name = FsuipcLink::AreaName(GetCurrentProcessId(), 2);
    ok &= held.Open();
    ok &= link.IpcOpen(anySim, code);
    alternate(linkRead, lr, bareRead, br);
    link.IpcClose();
    held.Close();
    if (!ok) {
        std::fprintf(stderr, "a round trip failed\n");
        return 1;
    }
    std::printf(
        "(a) open+handshake+close, no pause: link %.1f us, bare %.1f us, ratio %.3f "
        "(target <= 1.15)\n",
        Median(lt), Median(bt), Median(lt) / Median(bt));
    std::printf(
        "(b) 4-byte read round trip:         link %.1f us, bare %.1f us, ratio %.3f "
        "(target <= 1.15)\n",
        Median(lr), Median(br), Median(lr) / Median(br));
    return 0;
}
