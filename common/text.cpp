#include "common/text.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <system_error>

namespace verlisk {
namespace {

constexpr int kSignificantDigits = 15;

// Decimal digits and exponent of |value| rounded to 15 significant digits:
// |value| = 0.d1d2...d15 * 10^(exponent+1), i.e. d1 stands at 10^exponent.
struct Decimal {
    std::string digits;  // exactly 15 digits, first non-zero
    int exponent = 0;
};

Decimal ToDecimal(double magnitude) {
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, magnitude, std::chars_format::scientific,
                             kSignificantDigits - 1);
    std::string_view s(buf, static_cast<std::size_t>(res.ptr - buf));
    Decimal d;
    const auto e = s.find('e');
    for (char c : s.substr(0, e)) {
        if (c != '.') d.digits.push_back(c);
    }
    std::from_chars(s.data() + e + 1 + (s[e + 1] == '+' ? 1 : 0), s.data() + s.size(), d.exponent);
    return d;
}

void StripTrailingZeros(std::string& digits) {
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
}

}  // namespace

std::string NumberText(double value, std::string_view sep) {
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value < 0 ? "-Inf" : "Inf";
    if (value == 0) return "0";  // also -0
    std::string out = value < 0 ? "-" : "";
    Decimal d = ToDecimal(std::fabs(value));
    StripTrailingZeros(d.digits);
    const int n = static_cast<int>(d.digits.size());
    if (d.exponent >= kSignificantDigits || d.exponent < -4) {
        out += d.digits[0];
        if (n > 1) {
            out += sep;
            out += d.digits.substr(1);
        }
        char exp[8];
        auto ex = std::abs(d.exponent);
        out += d.exponent < 0 ? "E-" : "E+";
        auto r = std::to_chars(exp, exp + sizeof exp, ex);
        if (ex < 10) out += '0';
        out.append(exp, r.ptr);
        return out;
    }
    if (d.exponent < 0) {
        out += '0';
        out += sep;
        out.append(static_cast<std::size_t>(-d.exponent - 1), '0');
        out += d.digits;
        return out;
    }
    const int whole = d.exponent + 1;
    if (n <= whole) {
        out += d.digits;
        out.append(static_cast<std::size_t>(whole - n), '0');
    } else {
        out += d.digits.substr(0, static_cast<std::size_t>(whole));
        out += sep;
        out += d.digits.substr(static_cast<std::size_t>(whole));
    }
    return out;
}

std::string NumberText(double value, RegionalSettings& regional) {
    return NumberText(value, regional.DecimalSeparator());
}

std::string IntText(std::int32_t value) { return std::to_string(value); }

std::string DateTimeText(const DateTime& t, RegionalSettings& regional) {
    return regional.ShortDate(t) + " " + regional.LongTime(t);
}

double RoundHalfEven(double value, int decimals) {
    if (!std::isfinite(value) || value == 0) return value;
    Decimal d = ToDecimal(std::fabs(value));
    // Position of the last kept digit within d.digits.
    const int keep = d.exponent + 1 + decimals;
    if (keep >= kSignificantDigits) return value;  // nothing beyond 15 digits to round
    std::string kept;
    if (keep < 0) return value < 0 ? -0.0 : 0.0;
    kept = d.digits.substr(0, static_cast<std::size_t>(keep));
    const char first = d.digits[static_cast<std::size_t>(keep)];
    const bool restZero =
        d.digits.find_first_not_of('0', static_cast<std::size_t>(keep) + 1) == std::string::npos;
    const int lastKept = kept.empty() ? 0 : kept.back() - '0';
    const bool up = first > '5' || (first == '5' && (!restZero || lastKept % 2 == 1));
    // Rebuild the number from its kept digits: integer mantissa * 10^-decimals.
    double mantissa = kept.empty() ? 0.0 : std::strtod(kept.c_str(), nullptr);
    if (up) mantissa += 1;
    std::string text =
        std::to_string(static_cast<long long>(mantissa)) + "e" + std::to_string(-decimals);
    double result = std::strtod(text.c_str(), nullptr);
    return value < 0 ? -result : result;
}

std::string Trim(std::string_view text) {
    const auto b = text.find_first_not_of(' ');
    if (b == std::string_view::npos) return {};
    const auto e = text.find_last_not_of(' ');
    return std::string(text.substr(b, e - b + 1));
}

std::vector<std::string> SplitCrLf(std::string_view text) {
    std::vector<std::string> lines;
    if (text.empty()) return lines;
    std::size_t start = 0;
    for (;;) {
        const auto at = text.find("\r\n", start);
        if (at == std::string_view::npos) {
            lines.emplace_back(text.substr(start));
            return lines;
        }
        lines.emplace_back(text.substr(start, at - start));
        start = at + 2;
    }
}

}  // namespace verlisk
