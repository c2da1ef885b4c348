#pragma once

// The fuel report on the wire, as the program posts it and the receiver takes it. Both
// sides include this header, so a field, the path or the answer changes in one place.

#include <array>
#include <string_view>

namespace verlisk::report_format {

// The body's fields in the order they are written: `TL=...&PPH=...&...&CLIENTID=...`,
// nothing percent-encoded (the field names are the separators).
inline constexpr std::array<std::string_view, 6> kFields = {"TL",  "PPH",   "VERSION",
                                                            "ZFW", "MTANK", "CLIENTID"};
inline constexpr std::string_view kContentType = "application/x-www-form-urlencoded";
inline constexpr std::string_view kPath = "/receiver.php";
inline constexpr int kDefaultPort = 8350;

// The whole answer by which the receiver says a report is stored.
inline constexpr std::string_view kAcceptanceToken = "OK+OK+OK";

}  // namespace verlisk::report_format
