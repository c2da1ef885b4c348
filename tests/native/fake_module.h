#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "simlink/ipc_system.h"
#include "standin/aircraft.h"

namespace verlisk::testing {

// The IPC system calls with the stand-in's aircraft behind them, in process, with
// switches for every fault the calls can have.
class FakeModule : public IpcSystem {
  public:
    explicit FakeModule(const standin::Options& o = {});

    standin::Aircraft aircraft;
    double hours = 0;  // since the aircraft's start

    // What exists and what fails.
    std::string windowClass = "UIPCMAIN";  // "" = no module window
    bool registerFails = false;
    bool atomFails = false;
    bool mappingFails = false;
    bool mappingExists = false;
    bool viewFails = false;
    int failingSends = 0;         // the first N sends return 0
    int answerLimit = -1;         // after N answered sends every send returns 0
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

    SysHandle FindWindowExA(const char* className) override;
    std::uint32_t RegisterWindowMessageA(const char* name) override;
    std::uint32_t GetCurrentProcessId() override { return 0x1A2B; }
    std::uint16_t GlobalAddAtomA(const char* name) override;
    void GlobalDeleteAtom(std::uint16_t atom) override;
    SysHandle CreateFileMappingA(std::uint32_t size, const char* name) override;
    std::uint8_t* MapViewOfFile(SysHandle mapping) override;
    void UnmapViewOfFile(std::uint8_t* view) override;
    void CloseHandle(SysHandle handle) override;
    std::intptr_t SendMessageTimeoutA(SysHandle window, std::uint32_t message,
                                      std::uintptr_t wParam, std::intptr_t lParam,
                                      std::uint32_t flags, std::uint32_t timeoutMs,
                                      std::uintptr_t* reply) override;
    std::uint32_t GetLastError() override { return lastError_; }
    void Sleep(std::uint32_t ms) override { sleeps.push_back(ms); }

    std::vector<std::uint8_t> area;

  private:
    std::uint32_t lastError_ = 0;
};

}  // namespace verlisk::testing
