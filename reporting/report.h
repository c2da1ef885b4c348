#pragma once

#include <cstdint>
#include <string>

namespace verlisk {

// Where reports go: set when the program is built (VERLISK_REPORT_URL).
extern const char* const kReportUrl;

// The extra header line the report is posted with, as the receiver expects it.
inline constexpr const char* kReportHeaders =
    "Content-Type: application/x-www-form-urlencoded \r\n";

// The answer by which the receiver accepts a report.
inline constexpr const char* kAcceptanceToken = "OK+OK+OK";

// The report body: the six fields in their order, nothing escaped (the receiver takes
// the field names as the separators).
std::string ReportBody(const std::string& title, const std::string& fuelPerHour,
                       const std::string& version, std::int32_t zeroFuelWeight,
                       std::int32_t maxTankWeight, const std::string& clientId);

}  // namespace verlisk
