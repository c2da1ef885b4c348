#include "fake_module.h"

#include <cstring>

#include "simlink/ipc_area.h"

namespace verlisk::testing {

using namespace ipc;

namespace {
constexpr SysHandle kWindow = 0x5150;
constexpr SysHandle kMapping = 0x77;
constexpr std::uint16_t kAtom = 0xC123;
constexpr std::uint32_t kMessage = 0xC0DE;
}  // namespace

FakeModule::FakeModule() : space(0x10000), area(kAreaSize) {
    Put32At(0x3304, 0x34000000);  // 3.400
    Put32At(0x3308, 0xFADE0007);  // FSNEXT
}

void FakeModule::Put32At(std::uint32_t offset, std::uint32_t value) {
    Put32(space.data() + offset, value);
}

SysHandle FakeModule::FindWindowExA(const char* className) {
    return windowClass == className ? kWindow : 0;
}

std::uint32_t FakeModule::RegisterWindowMessageA(const char* name) {
    return registerFails || std::strcmp(name, kMessageName) != 0 ? 0 : kMessage;
}

std::uint16_t FakeModule::GlobalAddAtomA(const char* name) {
    if (atomFails) return 0;
    lastAreaName = name;
    ++liveAtoms;
    return kAtom;
}

void FakeModule::GlobalDeleteAtom(std::uint16_t atom) {
    if (atom == kAtom) --liveAtoms;
}

SysHandle FakeModule::CreateFileMappingA(std::uint32_t size, const char*) {
    if (mappingFails || size != kAreaSize) {
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
    if (view == area.data()) --liveViews;
}

void FakeModule::CloseHandle(SysHandle handle) {
    if (handle == kMapping) --liveMappings;
}

std::intptr_t FakeModule::SendMessageTimeoutA(SysHandle window, std::uint32_t message,
                                              std::uintptr_t wParam, std::intptr_t,
                                              std::uint32_t flags, std::uint32_t timeoutMs,
                                              std::uintptr_t* reply) {
    ++sends;
    lastWParam = wParam;
    if (sends <= failingSends || window != kWindow || message != kMessage || flags != kSmtoBlock ||
        timeoutMs != 2000) {
        lastError_ = sendError;
        return 0;
    }
    ++sendsThatArrived;
    lastError_ = 0;
    if (replyValue == 1) Serve();
    if (tamper) tamper(area.data());
    *reply = replyValue;
    return 1;
}

// The module's side: carry out the records, leaving every header as it was.
void FakeModule::Serve() {
    std::size_t pos = 0;
    while (pos + 4 <= kAreaSize) {
        const std::uint32_t kind = Get32(&area[pos]);
        if (kind != kReadKind && kind != kWriteKind) return;
        const std::size_t header = kind == kReadKind ? kReadHeader : kWriteHeader;
        const std::uint32_t offset = Get32(&area[pos + 4]);
        const std::uint32_t size = Get32(&area[pos + 8]);
        if (pos + header + size > kAreaSize || offset + size > space.size()) return;
        std::uint8_t* data = &area[pos + header];
        if (kind == kReadKind) {
            if (answerZeros) {
                std::memset(data, 0, size);
            } else {
                std::memcpy(data, &space[offset], size);
            }
        } else {
            // 0x330A is the client library's version, a write-only field: it shares
            // no storage with the check pattern that reads at 0x330A..0x330B.
            if (offset != 0x330A) std::memcpy(&space[offset], data, size);
            writes.emplace_back(offset, std::vector<std::uint8_t>(data, data + size));
        }
        pos += header + size;
    }
}

}  // namespace verlisk::testing
