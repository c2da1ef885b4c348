#pragma once

#include <cstdint>

namespace verlisk {

using SysHandle = std::uintptr_t;

// The system calls the IPC link is built on, one for one, so that the link reads
// like the calls it makes. Window and mapping handles are opaque numbers; 0 is none.
class IpcSystem {
  public:
    virtual ~IpcSystem() = default;
    // A top-level window of that class, any title; 0 when there is none.
    virtual SysHandle FindWindowExA(const char* className) = 0;
    virtual std::uint32_t RegisterWindowMessageA(const char* name) = 0;
    virtual std::uint32_t GetCurrentProcessId() = 0;
    virtual std::uint16_t GlobalAddAtomA(const char* name) = 0;
    virtual void GlobalDeleteAtom(std::uint16_t atom) = 0;
    // A named mapping backed by the paging file, PAGE_READWRITE, of that size.
    virtual SysHandle CreateFileMappingA(std::uint32_t size, const char* name) = 0;
    // The whole mapping with FILE_MAP_WRITE; nullptr on failure.
    virtual std::uint8_t* MapViewOfFile(SysHandle mapping) = 0;
    virtual void UnmapViewOfFile(std::uint8_t* view) = 0;
    virtual void CloseHandle(SysHandle handle) = 0;
    // SendMessageTimeoutA; returns its result, the message's answer in *reply.
    virtual std::intptr_t SendMessageTimeoutA(SysHandle window, std::uint32_t message,
                                              std::uintptr_t wParam, std::intptr_t lParam,
                                              std::uint32_t flags, std::uint32_t timeoutMs,
                                              std::uintptr_t* reply) = 0;
    virtual std::uint32_t GetLastError() = 0;
    virtual void Sleep(std::uint32_t ms) = 0;
};

inline constexpr std::uint32_t kErrorAlreadyExists = 183;
inline constexpr std::uint32_t kErrorTimeout = 1460;
inline constexpr std::uint32_t kSmtoBlock = 1;

}  // namespace verlisk
