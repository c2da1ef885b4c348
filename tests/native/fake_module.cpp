#include "fake_module.h"

#include <cstring>

#include "simlink/ipc_protocol.h"

namespace verlisk::testing {

namespace {
constexpr SysHandle kWindow = 0x5150;
constexpr SysHandle kMapping = 0x77;
constexpr std::uint16_t kAtom = 0xC123;
constexpr std::uint32_t kMessage = 0xC0DE;
}  // namespace

FakeModule::FakeModule(const standin::Options& o) : aircraft(o), area(ipc::kAreaSize) {}

SysHandle FakeModule::FindWindowExA(const char* className) {
    return windowClass == className ? kWindow : 0;
}

std::uint32_t FakeModule::RegisterWindowMessageA(const char* name) {
    return registerFails || std::strcmp(name, ipc::kMessageName) != 0 ? 0 : kMessage;
}

std::uint16_t FakeModule::GlobalAddAtomA(const char* name) {
    if (atomFails) return 0;
    lastAreaName = name;
    ++liveAtoms;
    return kAtom;
}

// Releasing what was never handed out, or twice, is counted as a stray release.
void FakeModule::GlobalDeleteAtom(std::uint16_t atom) {
    atom == kAtom&& liveAtoms > 0 ? --liveAtoms : ++strayReleases;
}

SysHandle FakeModule::CreateFileMappingA(std::uint32_t size, const char*) {
    if (mappingFails || size != ipc::kAreaSize) {
        lastError_ = 8;
        return 0;
    }
    ++liveMappings;
    lastError_ = mappingExists ? kErrorAlreadyExists : 0;
    return kMapping;
}

std::uint8_t* FakeModule::MapViewOfFile(SysHandle mapping) {
    if (viewFails || mapping != kMapping) return nullptr;
    ++liveViews;
    return area.data();
}

void FakeModule::UnmapViewOfFile(std::uint8_t* view) {
    view == area.data() && liveViews > 0 ? --liveViews : ++strayReleases;
}

void FakeModule::CloseHandle(SysHandle handle) {
    handle == kMapping&& liveMappings > 0 ? --liveMappings : ++strayReleases;
}

std::intptr_t FakeModule::SendMessageTimeoutA(SysHandle window, std::uint32_t message,
                                              std::uintptr_t wParam, std::intptr_t lParam,
                                              std::uint32_t flags, std::uint32_t timeoutMs,
                                              std::uintptr_t* reply) {
    ++sends;
    lastWParam = wParam;
    if (sends <= failingSends || sendsThatArrived == answerLimit || window != kWindow ||
        message != kMessage || lParam != 0 || flags != kSmtoBlock || timeoutMs != 2000 ||
        (wParam & 0xFFFF) != kAtom) {
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

}  // namespace verlisk::testing
