#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "common/ports.h"

namespace verlisk {

inline constexpr const char* kConfigFileName = "verlisk.cfg";
inline constexpr const char* kClientIdTag = "[CLIENTID]";

// What reading the configuration found: the identifier when the file names one,
// and the complaint to log, if any.
struct ConfigReadOutcome {
    std::optional<std::string> clientId;
    std::string logLine;
};

ConfigReadOutcome ReadConfigFile(FileSystem& fs);

// The seven lines the configuration file always holds.
std::string ConfigFileText(const std::string& clientId, const std::string& writtenAt);

// The 49 characters identifiers are drawn from: no i l o p u v, no 1.
inline constexpr std::string_view kIdentifierAlphabet =
    "abcdefghjkmnqrstwxyzABCDEFGHJKMNQRSTWXYZ023456789";

// A random identifier of that length from the alphabet, the generator seeded from
// the given clock reading. A length of 0 or less gives "".
std::string RandomIdentifier(std::int16_t length, const DateTime& seed);

}  // namespace verlisk
