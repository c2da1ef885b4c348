#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "simlink/ipc_protocol.h"
#include "simlink/ipc_system.h"
#include "standin/aircraft.h"

namespace verlisk::testing {

// The IPC system calls with the stand-in's aircraft behind them, in process, with
// switches for every fault the calls can have. Releasing what was never handed out,
// or twice, is counted as a stray release.
class FakeModule : public IpcSystem {
  public:
    explicit FakeModule(const standin::Options& o = {}) : aircraft(o), area(ipc::kAreaSize) {}

    standin::Aircraft aircraft;
    double hours = 0;  // since the aircraft's start

    // What exists and what fails.
    std::string windowClass = ipc::kModuleClass;  // "" = no module window
    bool registerFails = false;
    bool atomFails = false;
    bool mappingFails = false;
    bool mappingExists = false;
    bool viewFails = false;
    int failingSends = 0;         // the first N sends return 0
    std::uint32_t sendError = 0;  // GetLastError after a failed send (0 = time-out)
    std::uintptr_t replyValue = 1;
    bool serve = true;  // false: answers 1 but leaves the area as it found it
    // Runs on the area after the module has answered, to spoil the reply.
    std::function<void(std::uint8_t* area)> tamper;

    // Counters.
    int sends = 0;
    int sendsThatArrived = 0;
    std::vector<std::uint32_t> sleeps;
    int liveAtoms = 0, liveMappings = 0, liveViews = 0, strayReleases = 0;
    std::string lastAreaName;
    std::uintptr_t lastWParam = 0;
    std::vector<std::uint8_t> area;

    SysHandle FindWindowExA(const char* className) override {
        return windowClass == className ? kWindow : 0;
    }
    std::uint32_t RegisterWindowMessageA(const char* name) override {
        return registerFails || std::strcmp(name, ipc::kMessageName) != 0 ? 0 : kMessage;
    }
    std::uint32_t GetCurrentProcessId() override { return 0x1A2B; }
    std::uint16_t GlobalAddAtomA(const char* name) override {
        if (atomFails) return 0;
        lastAreaName = name;
        ++liveAtoms;
        return kAtom;
    }
    void GlobalDeleteAtom(std::uint16_t atom) override {
        atom == kAtom&& liveAtoms > 0 ? --liveAtoms : ++strayReleases;
    }
    SysHandle CreateFileMappingA(std::uint32_t size, const char*) override {
        if (mappingFails || size != ipc::kAreaSize) {
            lastError_ = 8;
            return 0;
        }
        ++liveMappings;
        lastError_ = mappingExists ? kErrorAlreadyExists : 0;
        return kMapping;
    }
    std::uint8_t* MapViewOfFile(SysHandle mapping) override {
        if (viewFails || mapping != kMapping) return nullptr;
        ++liveViews;
        return area.data();
    }
    void UnmapViewOfFile(std::uint8_t* view) override {
        view == area.data() && liveViews > 0 ? --liveViews : ++strayReleases;
    }
    void CloseHandle(SysHandle handle) override {
        handle == kMapping&& liveMappings > 0 ? --liveMappings : ++strayReleases;
    }
    std::intptr_t SendMessageTimeoutA(SysHandle window, std::uint32_t message,
                                      std::uintptr_t wParam, std::intptr_t lParam,
                                      std::uint32_t flags, std::uint32_t timeoutMs,
                                      std::uintptr_t* reply) override {
        ++sends;
        lastWParam = wParam;
        if (sends <= failingSends || window != kWindow || message != kMessage || lParam != 0 ||
            flags != kSmtoBlock || timeoutMs != 2000 || (wParam & 0xFFFF) != kAtom) {
            lastError_ = sendError;
            return 0;
        }
        ++sendsThatArrived;
        lastError_ = 0;
        if (replyValue == 1 && serve) aircraft.Serve(area.data(), area.size(), hours);
        if (tamper) tamper(area.data());
        *reply = replyValue;
        return 1;
    }
    std::uint32_t GetLastError() override { return lastError_; }
    void Sleep(std::uint32_t ms) override { sleeps.push_back(ms); }

  private:
    static constexpr SysHandle kWindow = 0x5150;
    static constexpr SysHandle kMapping = 0x77;
    static constexpr std::uint16_t kAtom = 0xC123;
    static constexpr std::uint32_t kMessage = 0xC0DE;
    std::uint32_t lastError_ = 0;
};

}  // namespace verlisk::testing
