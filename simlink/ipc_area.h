#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

// The shared request area's fixed facts and its little-endian field access,
// used by the link and by the module stand-in alike.
namespace verlisk::ipc {

inline constexpr std::size_t kAreaSize = 32768;
inline constexpr std::size_t kCapacity = 32512;  // the last 256 bytes are never used
inline constexpr std::uint32_t kReadKind = 1;
inline constexpr std::uint32_t kWriteKind = 2;
inline constexpr std::size_t kReadHeader = 16;
inline constexpr std::size_t kWriteHeader = 12;
inline constexpr const char* kMessageName = "FSASMLIB:IPC";

inline std::uint32_t Get32(const std::uint8_t* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

inline void Put32(std::uint8_t* p, std::uint32_t v) { std::memcpy(p, &v, 4); }

}  // namespace verlisk::ipc
