#include "monitor/sampling.h"

#include <algorithm>
#include <cstdio>
#include <limits>

#include "common/text.h"

namespace verlisk::monitor {
namespace {

std::int32_t Clamp32(double v) {
    constexpr double lo = std::numeric_limits<std::int32_t>::min();
    constexpr double hi = std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(std::clamp(v, lo, hi));
}

}  // namespace

double LatitudeDegrees(std::int32_t raw) {
    const std::int64_t product = static_cast<std::int64_t>(raw) * 90;
    return RoundHalfEven(static_cast<double>(product) / 10001750.0, 4);
}

double LongitudeDegrees(std::int32_t raw) {
    return RoundHalfEven(360.0 / 65536.0 * raw / 65536.0, 4);
}

std::string TitleText(const std::uint8_t* buffer, std::size_t size) {
    std::string title;
    for (std::size_t i = 0; i < size && buffer[i] != 0; ++i) {
        title += buffer[i] == ' ' ? '_' : static_cast<char>(buffer[i]);
    }
    return title;
}

std::int32_t ZeroFuelPounds(std::int32_t raw) {
    return static_cast<std::int32_t>(RoundHalfEven(raw / 256.0, 0));
}

std::int32_t TankPounds(std::int32_t gallons) { return Clamp32(RoundHalfEven(gallons * 6.7, 0)); }

std::int32_t AddPounds(std::int32_t sum, std::int32_t pounds) {
    return Clamp32(static_cast<double>(sum) + pounds);
}

std::string ElapsedText(std::int64_t seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                  static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
    return text;
}

}  // namespace verlisk::monitor
