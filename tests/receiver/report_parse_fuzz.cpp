// Feeds the report parser arbitrary bodies: each is either refused with one line or
// gives a report within the limits, with texts in well-formed UTF-8.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "receiver/report.h"

using namespace verlisk::receiver;

namespace {

bool WellFormedUtf8(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        const std::size_t n = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : 0;
        if (n == 0 || i + n > s.size()) return false;
        for (std::size_t k = 1; k < n; ++k) {
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        }
        i += n;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto out = ParseReport(std::string_view(reinterpret_cast<const char*>(data), size));
    if (out.report.has_value() == !out.refusal.empty()) std::abort();
    if (!out.report) {
        if (!out.refusal.starts_with(kRefusalPrefix) ||
            out.refusal.find('\n') != out.refusal.npos) {
            std::abort();
        }
        return 0;
    }
    const Report& r = *out.report;
    if (!(r.pph > 0 && r.pph <= kMaxPph) || r.zfw < 0 || r.zfw > kMaxWeight || r.mtank < 0 ||
        r.mtank > kMaxWeight || r.aircraft.empty() || !WellFormedUtf8(r.aircraft) ||
        !WellFormedUtf8(r.clientId) || !WellFormedUtf8(r.version)) {
        std::abort();
    }
    return 0;
}
