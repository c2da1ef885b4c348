#include "simlink/win32/ipc_system_win32.h"

#include <windows.h>

namespace verlisk::win32 {

SysHandle Win32IpcSystem::FindWindowExA(const char* className) {
    return reinterpret_cast<SysHandle>(::FindWindowExA(nullptr, nullptr, className, nullptr));
}

std::uint32_t Win32IpcSystem::RegisterWindowMessageA(const char* name) {
    return ::RegisterWindowMessageA(name);
}

std::uint32_t Win32IpcSystem::GetCurrentProcessId() { return ::GetCurrentProcessId(); }

std::uint16_t Win32IpcSystem::GlobalAddAtomA(const char* name) { return ::GlobalAddAtomA(name); }

void Win32IpcSystem::GlobalDeleteAtom(std::uint16_t atom) { ::GlobalDeleteAtom(atom); }

SysHandle Win32IpcSystem::CreateFileMappingA(std::uint32_t size, const char* name) {
    return reinterpret_cast<SysHandle>(
        ::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, size, name));
}

std::uint8_t* Win32IpcSystem::MapViewOfFile(SysHandle mapping) {
    return static_cast<std::uint8_t*>(
        ::MapViewOfFile(reinterpret_cast<HANDLE>(mapping), FILE_MAP_WRITE, 0, 0, 0));
}

void Win32IpcSystem::UnmapViewOfFile(std::uint8_t* view) { ::UnmapViewOfFile(view); }

void Win32IpcSystem::CloseHandle(SysHandle handle) {
    ::CloseHandle(reinterpret_cast<HANDLE>(handle));
}

std::intptr_t Win32IpcSystem::SendMessageTimeoutA(SysHandle window, std::uint32_t message,
                                                  std::uintptr_t wParam, std::intptr_t lParam,
                                                  std::uint32_t flags, std::uint32_t timeoutMs,
                                                  std::uintptr_t* reply) {
    DWORD_PTR result = 0;
    const LRESULT r = ::SendMessageTimeoutA(reinterpret_cast<HWND>(window), message, wParam, lParam,
                                            flags, timeoutMs, &result);
    *reply = result;
    return r;
}

std::uint32_t Win32IpcSystem::GetLastError() { return ::GetLastError(); }

void Win32IpcSystem::Sleep(std::uint32_t ms) { ::Sleep(ms); }

}  // namespace verlisk::win32
