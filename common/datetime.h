#pragma once

#include <cstdint>

namespace verlisk {

// A local calendar date and time as the user's clock shows it.
struct DateTime {
    int year = 1899;
    int month = 12;
    int day = 30;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;

    friend bool operator==(const DateTime&, const DateTime&) = default;
};

// Whole seconds from a to b (negative when b is earlier); milliseconds are ignored.
std::int64_t SecondsBetween(const DateTime& a, const DateTime& b);

// The same moment with milliseconds dropped: the program keeps times to the second.
DateTime WholeSeconds(DateTime t);

// Moves t by a number of seconds (may be negative), keeping the calendar right.
DateTime AddSeconds(const DateTime& t, std::int64_t seconds);

}  // namespace verlisk
