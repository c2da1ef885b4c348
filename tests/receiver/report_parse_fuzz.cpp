// Feeds the report parser arbitrary bodies: each is refused in one line or gives a report
// within the limits.
#include <cstdint>
#include <cstdlib>

#include "receiver/report.h"

using namespace verlisk::receiver;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto out = ParseReport(std::string_view(reinterpret_cast<const char*>(data), size));
    const Report r = out.report.value_or(Report{"x", 1, "1", 0, 0, ""});
    if (out.report.has_value() == !out.refusal.empty() ||
        out.refusal.find('\n') != out.refusal.npos || !(r.pph > 0 && r.pph <= kMaxPph) ||
        r.zfw < 0 || r.zfw > kMaxWeight || r.mtank < 0 || r.mtank > kMaxWeight ||
        r.aircraft.empty()) {
        std::abort();
    }
    return 0;
}
