#include "monitor/sampling.h"

#include <algorithm>
#include <cstdio>
#include <limits>

#include "common/text.h"
#include "simlink/ipc_protocol.h"

namespace verlisk::monitor {
namespace {

std::int32_t Clamp32(double v) {
    constexpr double lo = std::numeric_limits<std::int32_t>::min();
    constexpr double hi = std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(std::clamp(v, lo, hi));
}

}  // namespace

double LatitudeDegrees(std::int32_t raw) {
    const std::int64_t product = static_cast<std::int64_t>(raw) * ipc::unit::kLatitudeDegrees;
    return RoundHalfEven(static_cast<double>(product) / ipc::unit::kLatitudeRaw, 4);
}

double LongitudeDegrees(std::int32_t raw) {
    return RoundHalfEven(360.0 / ipc::unit::kLongitudeStep * raw / ipc::unit::kLongitudeStep, 4);
}

std::string TitleText(const std::uint8_t* buffer, std::size_t size) {
    std::string title;
    for (std::size_t i = 0; i < size && buffer[i] != 0; ++i) {
        title += buffer[i] == ' ' ? '_' : static_cast<char>(buffer[i]);
    }
    return title;
}

std::int32_t ZeroFuelPounds(std::int32_t raw) {
    return static_cast<std::int32_t>(RoundHalfEven(raw / ipc::unit::kZeroFuelScale, 0));
}

std::int32_t TankPounds(std::int32_t gallons) { return Clamp32(RoundHalfEven(gallons * ipc::unit::kPoundsPerGallon, 0)); }

std::int32_t AddPounds(std::int32_t sum, std::int32_t pounds) {
    return Clamp32(static_cast<double>(sum) + pounds);
}

double FlightHoursOf(std::int64_t seconds) { return static_cast<double>(seconds) / 3600.0; }

double BurnRate(double massDifference, std::int64_t seconds) {
    const double hours = FlightHoursOf(seconds);
    return hours == 0 ? 0 : massDifference / hours;
}

std::string ElapsedText(std::int64_t seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                  static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
    return text;
}

}  // namespace verlisk::monitor
