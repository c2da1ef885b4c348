#pragma once

#include "simlink/ipc_system.h"

namespace verlisk::win32 {

// The IPC system calls as Windows provides them.
class Win32IpcSystem : public IpcSystem {
  public:
    SysHandle FindWindowExA(const char* className) override;
    std::uint32_t RegisterWindowMessageA(const char* name) override;
    std::uint32_t GetCurrentProcessId() override;
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
    std::uint32_t GetLastError() override;
    void Sleep(std::uint32_t ms) override;
};

}  // namespace verlisk::win32
