#pragma once

#include <string>

#include "app/version.h"

namespace verlisk::testing {

// The program's version as the status bar ("2.0.27") and the log ("2.0R27") show
// it, built from the project's one version number.
inline std::string ExpectedVersion(const char* beforeRevision = ".") {
    return std::to_string(VERLISK_VERSION_MAJOR) + "." + std::to_string(VERLISK_VERSION_MINOR) +
           beforeRevision + std::to_string(VERLISK_VERSION_REVISION);
}

}  // namespace verlisk::testing
