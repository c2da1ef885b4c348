#include "reporting/report.h"

#include "common/text.h"
#include "reporting/report_url.h"

namespace verlisk {

namespace {
std::string LocalReceiverUrl() {
    return "http://127.0.0.1:" + std::to_string(report_format::kDefaultPort) +
           std::string(report_format::kPath);
}
}  // namespace

const std::string kReportUrl =
    std::string_view(VERLISK_REPORT_URL).empty() ? LocalReceiverUrl() : VERLISK_REPORT_URL;
const std::string kReportHeaders =
    "Content-Type: " + std::string(report_format::kContentType) + " \r\n";

std::string ReportBody(const std::string& title, const std::string& fuelPerHour,
                       const std::string& version, std::int32_t zeroFuelWeight,
                       std::int32_t maxTankWeight, const std::string& clientId) {
    const std::string values[] = {title,
                                  fuelPerHour,
                                  version,
                                  IntText(zeroFuelWeight),
                                  IntText(maxTankWeight),
                                  clientId};
    std::string body;
    for (std::size_t i = 0; i < report_format::kFields.size(); ++i) {
        if (i > 0) body += '&';
        body += report_format::kFields[i];
        body += '=';
        body += values[i];
    }
    return body;
}

}  // namespace verlisk
