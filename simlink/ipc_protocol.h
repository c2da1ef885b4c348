#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

// The interface module's protocol as both sides see it: the shared request area,
// the module's data offsets and the link's result codes. The link, the module
// stand-in and the tests all name them from here.
namespace verlisk::ipc {

inline constexpr const char* kMessageName = "FSASMLIB:IPC";
inline constexpr const char* kModuleClass = "UIPCMAIN";
inline constexpr const char* kWideClientClass = "FS98MAIN";

inline constexpr std::size_t kAreaSize = 32768;
inline constexpr std::size_t kCapacity = 32512;  // the last 256 bytes are never used
inline constexpr std::uint32_t kReadKind = 1;
inline constexpr std::uint32_t kWriteKind = 2;
inline constexpr std::size_t kReadHeader = 16;
inline constexpr std::size_t kWriteHeader = 12;

// Handshake: the version word is at least this with the check pattern in 0x3308.
inline constexpr std::int32_t kOldestModule = 0x19980005;
inline constexpr std::uint32_t kCheckPattern = 0xFADE0000u;

// The module's data offsets the program uses.
namespace offset {
inline constexpr std::int32_t kVersion = 0x3304;         // 4: version word
inline constexpr std::int32_t kSimVersion = 0x3308;      // 4: 0xFADE, simulator number
inline constexpr std::int32_t kLibVersion = 0x330A;      // 2, written: the client's version
inline constexpr std::int32_t kGrossWeight = 0x30C0;     // 8: double, pounds
inline constexpr std::int32_t kLatitude = 0x0564;        // 4: signed
inline constexpr std::int32_t kLongitude = 0x056C;       // 4: signed
inline constexpr std::int32_t kTitle = 0x3D00;           // 256: text
inline constexpr std::int32_t kZeroFuelWeight = 0x3BFC;  // 4: pounds * 256
inline constexpr std::int32_t kMessageText = 0x3380;     // written: text and its zero
inline constexpr std::int32_t kMessageControl = 0x32FA;  // 2, written: display control
// Tank capacities in US gallons, in the order they are read: centre, left main,
// aux and tip, right main, aux and tip, centre 2 and centre 3.
inline constexpr std::array<std::int32_t, 9> kTanks = {0x0B78, 0x0B80, 0x0B88, 0x0B90, 0x0B98,
                                                       0x0BA0, 0x0BA8, 0x1248, 0x1250};
}  // namespace offset

// How the module scales the figures at those offsets; the program reads them back with
// these and the stand-in writes them with the same.
namespace unit {
// kLatitude: degrees north = raw x kLatitudeDegrees / kLatitudeRaw.
inline constexpr std::int64_t kLatitudeDegrees = 90;
inline constexpr double kLatitudeRaw = 10001750.0;
// kLongitude: degrees east = 360 / kLongitudeStep x raw / kLongitudeStep (a full turn is
// 2^64 raw, folded into 32 bits).
inline constexpr double kLongitudeStep = 65536.0;
// kZeroFuelWeight: pounds x kZeroFuelScale.
inline constexpr double kZeroFuelScale = 256.0;
// kTanks hold US gallons; fuel weighs this many pounds a gallon.
inline constexpr double kPoundsPerGallon = 6.7;
}  // namespace unit

inline constexpr std::size_t kTitleSize = 256;

// IpcResultCode values; 0 is success.
enum Result : std::int32_t {
    kOk = 0,
    kAlreadyOpen = 1,
    kNoModule = 2,
    kRegisterFailed = 3,
    kAtomFailed = 4,
    kMappingFailed = 5,
    kViewFailed = 6,
    kWrongModule = 7,
    kWrongSim = 8,
    kNotOpen = 9,
    kNothingQueued = 10,
    kTimedOut = 11,
    kSendFailed = 12,
    kBadData = 13,
    kWideClientAlone = 14,
    kAreaFull = 15,
};

inline std::uint32_t Get32(const std::uint8_t* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

inline void Put32(std::uint8_t* p, std::uint32_t v) { std::memcpy(p, &v, 4); }

}  // namespace verlisk::ipc
