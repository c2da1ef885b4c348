#include "simlink/fsuipc.h"

#include <cstdio>
#include <cstring>

#include "simlink/ipc_protocol.h"

namespace verlisk {

using namespace ipc;

namespace {
constexpr std::uint32_t kSendTimeoutMs = 2000;
constexpr int kSendRetries = 10;
constexpr int kHandshakePasses = 5;
}  // namespace

std::string FsuipcLink::AreaName(std::uint32_t processId, std::uint32_t attempt) {
    char name[24];  // the longest name, with 8 hex digits of process id, fills it exactly
    std::snprintf(name, sizeof name, "%s:%X:%X", kMessageName, static_cast<unsigned>(processId),
                  static_cast<unsigned>(attempt));
    return name;
}

void FsuipcLink::IpcInit() {
    IpcWindow = 0;
    IpcMessage = 0;
    IpcAtom = 0;
    IpcMapping = 0;
    IpcView = nullptr;
    IpcNext = nullptr;
}

bool FsuipcLink::IpcOpen(const std::int32_t& requestedSim, std::int32_t& result) {
    IpcVersion = 0;
    IpcSimVersion = 0;
    if (IpcView != nullptr) {
        result = kAlreadyOpen;
        return false;
    }
    IpcViaWideClient = false;
    IpcWindow = sys_.FindWindowExA(kModuleClass);
    if (IpcWindow == 0) {
        IpcWindow = sys_.FindWindowExA(kWideClientClass);
        IpcViaWideClient = true;
    }
    if (IpcWindow == 0) {
        result = kNoModule;
        return false;
    }
    IpcMessage = sys_.RegisterWindowMessageA(kMessageName);
    if (IpcMessage == 0) {
        result = kRegisterFailed;
        return false;
    }
    std::uint32_t attempt = 0;
    ++attempt;
    const std::string name = AreaName(sys_.GetCurrentProcessId(), attempt);
    auto fail = [&](std::int32_t code) {
        IpcClose();
        result = code;
        return false;
    };
    // String atoms start at 0xC000, so the stored value is negative like a 16-bit
    // integer would be; the system is given its low 16 bits back.
    IpcAtom = static_cast<std::int16_t>(sys_.GlobalAddAtomA(name.c_str()));
    if (IpcAtom == 0) return fail(kAtomFailed);
    IpcMapping = sys_.CreateFileMappingA(static_cast<std::uint32_t>(kAreaSize), name.c_str());
    if (IpcMapping == 0 || sys_.GetLastError() == kErrorAlreadyExists) return fail(kMappingFailed);
    IpcView = sys_.MapViewOfFile(IpcMapping);
    if (IpcView == nullptr) return fail(kViewFailed);
    IpcNext = IpcView;

    for (int pass = 1; pass <= kHandshakePasses && (IpcVersion == 0 || IpcSimVersion == 0);
         ++pass) {
        std::int32_t code = 0;
        if (!IpcRead(offset::kVersion, 4, &IpcVersion, code)) return fail(code);
        if (!IpcRead(offset::kSimVersion, 4, &IpcSimVersion, code)) return fail(code);
        if (!IpcWrite(offset::kLibVersion, 2, &IpcLibVersion, code) && pass == 1) return fail(code);
        if (!IpcProcess(code)) return fail(code);
        sys_.Sleep(100);
    }

    if (IpcVersion >= kOldestModule &&
        (static_cast<std::uint32_t>(IpcSimVersion) & 0xFFFF0000u) == kCheckPattern) {
        IpcSimVersion &= 0xFFFF;
        if (requestedSim == 0 || requestedSim == IpcSimVersion) {
            result = kOk;
            return true;
        }
        return fail(kWrongSim);
    }
    return fail(IpcViaWideClient ? kWideClientAlone : kWrongModule);
}

void FsuipcLink::IpcClose() {
    IpcWindow = 0;
    IpcMessage = 0;
    IpcNext = nullptr;
    if (IpcAtom != 0) {
        sys_.GlobalDeleteAtom(static_cast<std::uint16_t>(IpcAtom));
        IpcAtom = 0;
    }
    if (IpcView != nullptr) {
        sys_.UnmapViewOfFile(IpcView);
        IpcView = nullptr;
    }
    if (IpcMapping != 0) {
        sys_.CloseHandle(IpcMapping);
        IpcMapping = 0;
    }
    ForgetDestinations();
}

bool FsuipcLink::Queue(std::uint32_t kind, std::int32_t offset, std::int32_t size,
                       const void* source, std::int32_t& result) {
    if (IpcView == nullptr) {
        result = kNotOpen;
        return false;
    }
    const std::size_t header = kind == kReadKind ? kReadHeader : kWriteHeader;
    const auto used = static_cast<std::size_t>(IpcNext - IpcView);
    const auto bytes = static_cast<std::uint64_t>(static_cast<std::uint32_t>(size));
    if (size < 0 || used + 4 + header + bytes > kCapacity) {
        result = kAreaFull;
        return false;
    }
    Put32(IpcNext, kind);
    Put32(IpcNext + 4, static_cast<std::uint32_t>(offset));
    Put32(IpcNext + 8, static_cast<std::uint32_t>(size));
    if (kind == kReadKind) {
        std::uint32_t slot = 0;
        if (source != nullptr) {
            destinations_.push_back({const_cast<void*>(source), static_cast<std::uint32_t>(size)});
            slot = static_cast<std::uint32_t>(destinations_.size());
        }
        Put32(IpcNext + 12, slot);
    }
    IpcNext += header;
    if (size != 0) {
        if (kind == kReadKind) {
            std::memset(IpcNext, 0, static_cast<std::size_t>(size));
        } else {
            std::memcpy(IpcNext, source, static_cast<std::size_t>(size));
        }
        IpcNext += size;
    }
    result = kOk;
    return true;
}

bool FsuipcLink::IpcRead(std::int32_t offset, std::int32_t size, void* destination,
                         std::int32_t& result) {
    return Queue(kReadKind, offset, size, destination, result);
}

bool FsuipcLink::IpcWrite(std::int32_t offset, std::int32_t size, const void* source,
                          std::int32_t& result) {
    return Queue(kWriteKind, offset, size, source, result);
}

bool FsuipcLink::IpcWriteString(std::int32_t offset, std::int32_t size, std::string text,
                                std::int32_t& result) {
    // The text is already in the ANSI code page; its terminator travels with it. A
    // size beyond the terminator is padded with zeros rather than read past the text.
    if (size > 0 && static_cast<std::size_t>(size) > text.size()) {
        text.resize(static_cast<std::size_t>(size), '\0');
    }
    return Queue(kWriteKind, offset, size, text.data(), result);
}

// The batch's destinations are good for one reply only: a later reply naming them
// must not reach memory that its caller may have given up.
void FsuipcLink::ForgetDestinations() { destinations_.clear(); }

bool FsuipcLink::IpcProcess(std::int32_t& result) {
    if (IpcView == nullptr) {
        result = kNotOpen;
        return false;
    }
    if (IpcNext == IpcView) {
        result = kNothingQueued;
        return false;
    }
    Put32(IpcNext, 0);
    IpcNext = IpcView;

    std::uintptr_t reply = 0;
    const auto wParam = static_cast<std::uintptr_t>(static_cast<std::uint16_t>(IpcAtom));
    bool sent = false;
    for (int attempt = 0; attempt <= kSendRetries && !sent; ++attempt) {
        if (attempt > 0) sys_.Sleep(100);
        sent = sys_.SendMessageTimeoutA(IpcWindow, IpcMessage, wParam, 0, kSmtoBlock,
                                        kSendTimeoutMs, &reply) != 0;
    }
    if (!sent) {
        // Older Windows left no error after a time-out; current Windows and Wine say
        // ERROR_TIMEOUT. Both are the module not answering in time.
        const std::uint32_t error = sys_.GetLastError();
        result = error == 0 || error == kErrorTimeout ? kTimedOut : kSendFailed;
        ForgetDestinations();
        return false;
    }
    if (reply != 1) {
        result = kBadData;
        ForgetDestinations();
        return false;
    }
    const bool ok = WalkReply(result);
    ForgetDestinations();
    return ok;
}

// The module may have written anything into the area: every field is read once,
// every bound checked, and data go only to this batch's own destinations.
bool FsuipcLink::WalkReply(std::int32_t& result) {
    std::size_t pos = 0;
    for (;;) {
        if (pos + 4 > kAreaSize) break;
        const std::uint32_t kind = Get32(IpcView + pos) & 0xFFFF;
        if (kind == 0) {
            result = kOk;
            return true;
        }
        const std::size_t header = kind == kReadKind    ? kReadHeader
                                   : kind == kWriteKind ? kWriteHeader
                                                        : 0;
        if (header == 0 || pos + header > kAreaSize) break;
        const std::uint64_t size = Get32(IpcView + pos + 8);
        const std::uint64_t end = pos + header + size;
        if (end > kAreaSize) break;
        if (kind == kReadKind) {
            const std::uint32_t slot = Get32(IpcView + pos + 12);
            if (slot != 0 && size != 0) {
                if (slot > destinations_.size() || size > destinations_[slot - 1].size) break;
                std::memcpy(destinations_[slot - 1].address, IpcView + pos + header,
                            static_cast<std::size_t>(size));
            }
        }
        pos = static_cast<std::size_t>(end);
    }
    result = kBadData;
    return false;
}

}  // namespace verlisk
