#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace verlisk {

// An arithmetic error passed on to the caller with the routine that met it.
class ShiftError : public std::runtime_error {
  public:
    ShiftError(int errorNumber, const std::string& description)
        : std::runtime_error(description), number(errorNumber) {}
    int number;  // 6 overflow, 11 division by zero
    const char* source = "Shift";
};

// Left: value * 2^bits, rounded half to even into 32 bits. Right: value divided by
// 2^bits (itself converted to 32 bits), truncating toward zero. Out of range: ShiftError.
std::int32_t Shift(std::int32_t value, std::int32_t bits, bool left);

}  // namespace verlisk
