#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "reporting/report_format.h"

namespace verlisk {

// Where reports go: set when the program is built (VERLISK_REPORT_URL); empty there
// means verlisk-receiver on this machine, at its default port.
extern const std::string kReportUrl;

// The extra header line the report is posted with, as the receiver expects it.
extern const std::string kReportHeaders;

// The answer by which the receiver accepts a report.
inline constexpr std::string_view kAcceptanceToken = report_format::kAcceptanceToken;

// The report body: the six fields in their order, nothing escaped (the receiver takes
// the field names as the separators).
std::string ReportBody(const std::string& title, const std::string& fuelPerHour,
                       const std::string& version, std::int32_t zeroFuelWeight,
                       std::int32_t maxTankWeight, const std::string& clientId);

}  // namespace verlisk
