#pragma once

#include <initializer_list>
#include <regex>
#include <string>

#include "common/version.h"

namespace verlisk {

// A whole log.txt of these lines (regular expressions), each time-stamped in the
// en-US general date format that the test prefix uses.
inline std::regex LogPattern(std::initializer_list<std::string> lines) {
    std::string pattern;
    for (const auto& l : lines) {
        pattern += R"(\d{1,2}/\d{1,2}/\d{4} \d{1,2}:\d{2}:\d{2} [AP]M: )" + l + "\r\n";
    }
    return std::regex(pattern);
}

inline const std::regex& FreshLog() {
    static const std::regex fresh =
        LogPattern({"Version " VERLISK_LOG_VERSION_TEXT, "INIT OK"});
    return fresh;
}

// An identifier drawn by the program: 8 characters of its 49-character alphabet.
inline const char* kRandomId = "[a-hjkmnq-tw-zA-HJKMNQ-TW-Z02-9]{8}";

}  // namespace verlisk
