#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace verlisk::receiver {

// One fuel report as the program sends it; texts already converted to UTF-8.
struct Report {
    std::string aircraft;
    double pph = 0;  // pounds per hour
    std::string version;
    std::int32_t zfw = 0;    // zero-fuel weight, pounds; 0 = the simulator did not say
    std::int32_t mtank = 0;  // summed tank capacity, pounds; 0 = the simulator did not say
    std::string clientId;    // may be empty

    friend bool operator==(const Report&, const Report&) = default;
};

// Limits a report must keep. The figures are generous for any real aircraft: the
// thirstiest airliners burn well under 50,000 lb/h (Concorde about 45,000, an A380
// about 25,000), and the heaviest aircraft ever flown, the An-225, had a
// zero-fuel weight of about 1.2 million lb and fuel for about 660,000 lb. Anything
// beyond is a fuel dump, a refuelling in flight or a broken figure, not a burn rate.
inline constexpr double kMaxPph = 100000;
inline constexpr std::int32_t kMaxWeight = 2000000;  // ZFW and MTANK, pounds
inline constexpr std::size_t kMaxTitleBytes = 256;   // the simulator's title field
inline constexpr std::size_t kMaxVersionBytes = 32;
inline constexpr std::size_t kMaxClientIdBytes = 64;
inline constexpr std::size_t kMaxBodyBytes = 64 * 1024;

inline constexpr std::string_view kRefusalPrefix = "Report refused: ";

// The body as the program sends it: TL, PPH, VERSION, ZFW, MTANK and CLIENTID in this
// order, nothing percent-encoded, texts in code page 1252. Either a report or the one
// line to show the pilot.
struct ParseOutcome {
    std::optional<Report> report;
    std::string refusal;
};
ParseOutcome ParseReport(std::string_view body);

// Windows code page 1252 to UTF-8; the five unassigned bytes map to U+0081 and
// the like, as Windows maps them.
std::string Cp1252ToUtf8(std::string_view text);

// The capitals of code page 1252 beyond ASCII and their small letters, in UTF-8 and in the
// same order, so that both databases fold a filter's case alike.
inline constexpr std::string_view kCapitals = "ÀÁÂÃÄÅÆÇÈÉÊËÌÍÎÏÐÑÒÓÔÕÖØÙÚÛÜÝÞŒŠŽŸ";
inline constexpr std::string_view kSmalls = "àáâãäåæçèéêëìíîïðñòóôõöøùúûüýþœšžÿ";

// UTF-8 text with ASCII and those capitals made small; everything else as it is.
std::string FoldCase(std::string_view text);

}  // namespace verlisk::receiver
