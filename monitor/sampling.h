#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The aircraft's raw figures as the interface module delivers them, turned into
// what the window keeps and shows.
namespace verlisk::monitor {

// Degrees north, rounded to 4 decimals (halves to even). The product raw x 90 is
// formed in 64 bits: a raw value past what 32 bits hold then gives its true,
// impossible latitude, which the range check refuses in order, instead of a
// wrapped-around one that looks plausible.
double LatitudeDegrees(std::int32_t raw);

// Degrees east, rounded to 4 decimals (halves to even).
double LongitudeDegrees(std::int32_t raw);

// The title: bytes up to the first zero (all of them when there is none), each a
// character of the ANSI code page, every space replaced by "_".
std::string TitleText(const std::uint8_t* buffer, std::size_t size);

// Pounds from the module's zero-fuel weight (pounds x 256), to the whole pound.
std::int32_t ZeroFuelPounds(std::int32_t raw);

// Pounds of fuel a tank of that many US gallons holds at 6.7 pounds a gallon, to the
// whole pound. Capacities no aircraft has, beyond the 32-bit range, are held at its
// ends rather than wrapped into a negative figure; so is a sum of them.
std::int32_t TankPounds(std::int32_t gallons);
std::int32_t AddPounds(std::int32_t sum, std::int32_t pounds);

// The time en route in hours, and the pounds burned per hour over it: the hours first,
// then the mass over them, so that every shown, logged and sent figure keeps its digits.
// No time at all is no rate (0) rather than a division by zero.
double FlightHoursOf(std::int64_t seconds);
double BurnRate(double massDifference, std::int64_t seconds);

// Elapsed whole seconds as hh:mm:ss; hours of 100 and more show all their digits.
std::string ElapsedText(std::int64_t seconds);

}  // namespace verlisk::monitor
