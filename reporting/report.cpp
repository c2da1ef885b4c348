#include "reporting/report.h"

#include "common/text.h"
#include "reporting/report_url.h"

namespace verlisk {

const char* const kReportUrl = VERLISK_REPORT_URL;

std::string ReportBody(const std::string& title, const std::string& fuelPerHour,
                       const std::string& version, std::int32_t zeroFuelWeight,
                       std::int32_t maxTankWeight, const std::string& clientId) {
    return "TL=" + title + "&PPH=" + fuelPerHour + "&VERSION=" + version +
           "&ZFW=" + IntText(zeroFuelWeight) + "&MTANK=" + IntText(maxTankWeight) +
           "&CLIENTID=" + clientId;
}

}  // namespace verlisk
