#include "simlink/bitwise_ops.h"

#include <cmath>

namespace verlisk {
namespace {

std::int32_t ToInt32(double v) {
    const double r = std::nearbyint(v);  // the default rounding mode: half to even
    if (!(r >= -2147483648.0 && r <= 2147483647.0)) throw ShiftError(6, "Overflow");
    return static_cast<std::int32_t>(r);
}

}  // namespace

std::int32_t Shift(std::int32_t value, std::int32_t bits, bool left) {
    const double factor = std::pow(2.0, bits);
    if (left) return ToInt32(value * factor);
    const std::int32_t divisor = ToInt32(factor);
    if (divisor == 0) throw ShiftError(11, "Division by zero");
    return value / divisor;
}

}  // namespace verlisk
