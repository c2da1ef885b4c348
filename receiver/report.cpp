#include "receiver/report.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <span>
#include <string>
#include <system_error>

#include "reporting/report_format.h"

namespace verlisk::receiver {
namespace {

constexpr auto npos = std::string_view::npos;
using report_format::kFields;
// Each field's name as the separator before its value: "TL=", "&PPH=", "&VERSION=", ...
const std::array<std::string, kFields.size()> kKeys = [] {
    std::array<std::string, kFields.size()> keys;
    for (std::size_t i = 0; i < kFields.size(); ++i) {
        keys[i] = (i == 0 ? "" : "&") + std::string(kFields[i]) + "=";
    }
    return keys;
}();
const std::string& kTitleKey = kKeys[0];
const std::string& kPphKey = kKeys[1];
// The keys after PPH, in the order the program writes them, and their names.
const std::span<const std::string> kLaterKeys(kKeys.begin() + 2, kKeys.end());
const std::span<const std::string_view> kLaterNames(kFields.begin() + 2, kFields.end());

ParseOutcome Refuse(std::string_view why) {
    return {std::nullopt, std::string(kRefusalPrefix) + std::string(why)};
}

// PPH, VERSION, ZFW, MTANK, CLIENTID after the PPH key at `at`; on failure the index of
// the first key not found in its place.
struct Fields {
    std::array<std::string_view, 5> values;
    std::size_t missing = kLaterKeys.size();
};

Fields SplitFields(std::string_view body, std::size_t at) {
    Fields f;
    std::size_t start = at + kPphKey.size();
    for (std::size_t i = 0; i < kLaterKeys.size(); ++i) {
        const auto next = body.find(kLaterKeys[i], start);
        if (next == npos) {
            f.missing = i;
            return f;
        }
        f.values[i] = body.substr(start, next - start);
        start = next + kLaterKeys[i].size();
    }
    f.values[4] = body.substr(start);
    return f;
}

// C0 controls and DEL, and the five bytes code page 1252 leaves unassigned, which
// Windows turns into C1 controls: no title or identifier needs them.
bool HasControlByte(std::string_view s) {
    return std::any_of(s.begin(), s.end(), [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return b < 0x20 || b == 0x7F || b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 ||
               b == 0x9D;
    });
}

// A text field: its name for the pilot, its bytes, and whether it may be empty.
std::optional<std::string> CheckText(std::string_view what, std::string_view value,
                                     std::size_t maxBytes, bool mayBeEmpty) {
    if (value.empty() && !mayBeEmpty) return std::string(what) + " is empty";
    if (value.size() > maxBytes) {
        return std::string(what) + " is longer than " + std::to_string(maxBytes) + " characters";
    }
    if (HasControlByte(value)) return std::string(what) + " holds a control character";
    return std::nullopt;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::size_t SkipDigits(std::string_view s, std::size_t i) {
    while (i < s.size() && IsDigit(s[i])) ++i;
    return i;
}

enum class NumberRead { Ok, NotANumber, OutOfRange };

// The program's general number: [-]digits[(.|,)digits][E(+|-)digits], the separator
// being the pilot's regional one. Anything else ("nan", "inf", grouping) is no number.
NumberRead ReadDecimal(std::string_view text, double& value) {
    std::string s(text);
    std::size_t i = s.size() > 0 && s[0] == '-' ? 1 : 0;
    const std::size_t intStart = i;
    i = SkipDigits(s, i);
    std::size_t digits = i - intStart;
    if (i < s.size() && (s[i] == '.' || s[i] == ',')) {
        s[i] = '.';
        const std::size_t fracStart = ++i;
        i = SkipDigits(s, i);
        digits += i - fracStart;
    }
    if (digits == 0) return NumberRead::NotANumber;
    if (i < s.size() && (s[i] == 'E' || s[i] == 'e')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
        const std::size_t expStart = i;
        i = SkipDigits(s, i);
        if (i == expStart) return NumberRead::NotANumber;
    }
    if (i != s.size()) return NumberRead::NotANumber;
    const auto r = std::from_chars(s.data(), s.data() + s.size(), value);
    return r.ec == std::errc() ? NumberRead::Ok : NumberRead::OutOfRange;
}

// ZFW and MTANK: plain decimal 32-bit integers with an optional "-".
std::optional<std::string> ReadWeight(std::string_view name, std::string_view text,
                                      std::int32_t& value) {
    const std::size_t sign = !text.empty() && text[0] == '-' ? 1 : 0;
    if (text.size() == sign || SkipDigits(text, sign) != text.size()) {
        return std::string(name) + " is not a whole number";
    }
    const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
    if (r.ec != std::errc() || value < 0 || value > kMaxWeight) {
        return std::string(name) + " is out of range (0 to " + std::to_string(kMaxWeight) +
               " pounds)";
    }
    return std::nullopt;
}

ParseOutcome Validate(std::string_view title, const Fields& f) {
    const auto [pphText, version, zfwText, mtankText, clientId] = f.values;
    if (auto bad = CheckText("the aircraft title", title, kMaxTitleBytes, false)) {
        return Refuse(*bad);
    }
    Report r;
    switch (ReadDecimal(pphText, r.pph)) {
        case NumberRead::NotANumber:
            return Refuse("PPH is not a number");
        case NumberRead::OutOfRange:
            r.pph = HUGE_VAL;
            break;
        case NumberRead::Ok:
            break;
    }
    if (!(r.pph > 0 && r.pph <= kMaxPph)) {
        return Refuse("PPH is out of range (above 0, at most " +
                      std::to_string(static_cast<int>(kMaxPph)) + " pounds per hour)");
    }
    if (auto bad = CheckText("VERSION", version, kMaxVersionBytes, false)) return Refuse(*bad);
    if (auto bad = ReadWeight("ZFW", zfwText, r.zfw)) return Refuse(*bad);
    if (auto bad = ReadWeight("MTANK", mtankText, r.mtank)) return Refuse(*bad);
    if (auto bad = CheckText("the client identifier", clientId, kMaxClientIdBytes, true)) {
        return Refuse(*bad);
    }
    r.aircraft = Cp1252ToUtf8(title);
    r.version = Cp1252ToUtf8(version);
    r.clientId = Cp1252ToUtf8(clientId);
    return {std::move(r), ""};
}

// Code points of bytes 0x80 to 0x9F; the rest of the upper half is Latin-1.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

}  // namespace

ParseOutcome ParseReport(std::string_view body) {
    if (!body.starts_with(kTitleKey)) return Refuse("the report does not start with TL=");
    // The title may itself hold "&PPH=", so the title ends at the last "&PPH=" that the
    // other keys still follow in order (a client identifier may hold "&PPH=" too). Going
    // back from the end, each key looked for wholly before the one found after it, finds
    // it in one pass whatever the body holds.
    std::size_t limit = body.size();
    for (auto key = kLaterKeys.rbegin(); key != kLaterKeys.rend() && limit != npos; ++key) {
        limit = body.substr(0, limit).rfind(*key);
    }
    const auto at = limit == npos ? npos : body.substr(0, limit).rfind(kPphKey);
    if (at != npos) {
        return Validate(body.substr(kTitleKey.size(), at - kTitleKey.size()),
                        SplitFields(body, at));
    }
    const auto last = body.rfind(kPphKey);
    if (last == npos) return Refuse("PPH is missing");
    const auto missing = SplitFields(body, last).missing;
    return Refuse(std::string(kLaterNames[missing]) + " is missing or out of order");
}

std::string Cp1252ToUtf8(std::string_view text) {
    std::string out;
    for (char c : text) {
        const auto b = static_cast<unsigned char>(c);
        const char32_t cp = b >= 0x80 && b < 0xA0 ? kHighControls[b - 0x80] : b;
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

std::string FoldCase(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        const char c = text[i];
        if (c >= 'A' && c <= 'Z') {
            out += static_cast<char>(c - 'A' + 'a');
            ++i;
            continue;
        }
        // Every letter of the table is two bytes long in UTF-8.
        const auto at =
            (c & 0x80) && i + 1 < text.size() ? kCapitals.find(text.substr(i, 2)) : npos;
        if (at != npos && at % 2 == 0) {
            out += kSmalls.substr(at, 2);
            i += 2;
        } else {
            out += c;
            ++i;
        }
    }
    return out;
}

}  // namespace verlisk::receiver
