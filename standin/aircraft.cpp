#include "standin/aircraft.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>

#include "simlink/ipc_protocol.h"

namespace verlisk::standin {

using namespace ipc;

namespace {

std::uint32_t ParseNumber(const std::string& s) {
    std::size_t used = 0;
    const unsigned long v = std::stoul(s, &used, 0);
    if (used != s.size()) throw std::invalid_argument(s);
    return static_cast<std::uint32_t>(v);
}

}  // namespace

std::string Usage() {
    return std::string(
               "verlisk-standin [options]   a stand-in for the simulator interface module\n"
               "  --version WORD      version word, e.g. 0x34000000 (3.400) or 0x33300000 "
               "(3.30)\n"
               "  --sim N             simulator number (default 7)\n"
               "  --class NAME        ") +
           kModuleClass + " (default) or " + kWideClientClass + ", as WideClient\n" +
           "  --title TEXT        aircraft title\n"
           "  --zfw POUNDS        zero-fuel weight\n"
           "  --tanks G1,...,G9   nine tank capacities in US gallons\n"
           "  --gross POUNDS      gross weight at start\n"
           "  --burn PPH          fuel burned, pounds per hour of wall-clock time\n"
           "  --lat DEG --lon DEG position\n"
           "  --poke OFFSET=VALUE put a raw 32-bit value at an offset (repeatable),\n"
           "                      e.g. --poke 0x0564=10001756 for an impossible latitude\n"
           "  --answers N         answer N requests, then reply 0 to every later one\n"
           "  --fault KIND        hang | reply0 | badkind | zeros | slow\n"
           "  --delay MS          how long a hang or slow answer takes (hang: 30000)\n"
           "  --record FILE       append the display texts the program sends to FILE\n"
           "  --record-reads      and there the offset of every read it makes\n";
}

std::string ParseOptions(const std::vector<std::string>& args, Options& o) {
    try {
        for (std::size_t i = 0; i < args.size(); ++i) {
            const std::string& a = args[i];
            if (a == "--record-reads") {
                o.recordReads = true;
                continue;
            }
            if (i + 1 >= args.size()) return "missing value after " + a;
            const std::string& v = args[++i];
            if (a == "--version") {
                o.version = ParseNumber(v);
            } else if (a == "--sim") {
                o.sim = static_cast<std::uint16_t>(ParseNumber(v));
            } else if (a == "--class") {
                if (v != kModuleClass && v != kWideClientClass) {
                    return std::string("class must be ") + kModuleClass + " or " +
                           kWideClientClass;
                }
                o.windowClass = v;
            } else if (a == "--title") {
                if (v.size() > kTitleSize) return "title longer than 256 bytes";
                o.title = v;
            } else if (a == "--zfw") {
                o.zeroFuelWeight = std::stod(v);
            } else if (a == "--tanks") {
                std::size_t start = 0;
                for (int t = 0; t < 9; ++t) {
                    const auto comma = v.find(',', start);
                    if ((comma == std::string::npos) != (t == 8))
                        return "--tanks takes nine numbers";
                    o.tanks[static_cast<std::size_t>(t)] =
                        std::stoi(v.substr(start, comma - start));
                    start = comma + 1;
                }
            } else if (a == "--gross") {
                o.grossWeight = std::stod(v);
            } else if (a == "--burn") {
                o.burnPerHour = std::stod(v);
            } else if (a == "--lat") {
                o.latitude = std::stod(v);
            } else if (a == "--lon") {
                o.longitude = std::stod(v);
            } else if (a == "--poke") {
                const auto eq = v.find('=');
                if (eq == std::string::npos) return "--poke takes OFFSET=VALUE";
                o.pokes.emplace_back(
                    ParseNumber(v.substr(0, eq)),
                    static_cast<std::uint32_t>(std::stoll(v.substr(eq + 1), nullptr, 0)));
            } else if (a == "--answers") {
                o.answers = ParseNumber(v);
            } else if (a == "--delay") {
                o.delayMs = ParseNumber(v);
            } else if (a == "--record") {
                o.recordFile = v;
            } else if (a == "--fault") {
                using F = Options::Fault;
                if (v == "hang") {
                    o.fault = F::Hang;
                    if (o.delayMs == 0) o.delayMs = 30000;
                } else if (v == "reply0") {
                    o.fault = F::ReplyZero;
                } else if (v == "badkind") {
                    o.fault = F::BadKind;
                } else if (v == "zeros") {
                    o.fault = F::Zeros;
                } else if (v == "slow") {
                    o.fault = F::Slow;
                } else {
                    return "unknown fault " + v;
                }
            } else {
                return "unknown option " + a;
            }
        }
    } catch (const std::exception&) {
        return "bad number in the command line";
    }
    return "";
}

Aircraft::Aircraft(const Options& o) : options(o), space_(0x10000) {
    Poke32(offset::kVersion, o.version);
    Poke32(offset::kSimVersion, kCheckPattern | o.sim);
    Poke32(offset::kZeroFuelWeight,
           static_cast<std::uint32_t>(std::lround(o.zeroFuelWeight * unit::kZeroFuelScale)));
    for (std::size_t t = 0; t < offset::kTanks.size(); ++t) {
        Poke32(offset::kTanks[t], static_cast<std::uint32_t>(o.tanks[t]));
    }
    Poke32(offset::kLatitude,
           static_cast<std::uint32_t>(std::lround(o.latitude * unit::kLatitudeRaw / unit::kLatitudeDegrees)));
    Poke32(offset::kLongitude,
           static_cast<std::uint32_t>(std::llround(o.longitude * unit::kLongitudeStep * unit::kLongitudeStep / 360.0)));
    // A title of the full 256 bytes has no terminator, as the simulator's may not.
    Poke(offset::kTitle, o.title.c_str(), std::min(o.title.size() + 1, kTitleSize));
    for (const auto& [at, value] : o.pokes) Poke32(at, value);
}

void Aircraft::Poke(std::uint32_t at, const void* data, std::size_t n) {
    if (at + n <= space_.size()) std::memcpy(space_.data() + at, data, n);
}

std::vector<std::string> Aircraft::Messages() const {
    std::vector<std::string> out;
    for (const auto& [at, data] : writes) {
        const auto* text = reinterpret_cast<const char*>(data.data());
        if (at == offset::kMessageText) {
            out.push_back("text:" + std::string(text, strnlen(text, data.size())));
        } else if (at == offset::kMessageControl && data.size() == 2) {
            out.push_back("display:" + std::to_string(data[0] | (data[1] << 8)));
        }
    }
    return out;
}

bool Aircraft::Serve(std::uint8_t* area, std::size_t size, double hours) {
    const double gross = options.grossWeight - options.burnPerHour * hours;
    Poke(offset::kGrossWeight, &gross, sizeof gross);
    std::size_t pos = 0;
    while (pos + 4 <= size) {
        const std::uint32_t kind = Get32(area + pos);
        if (kind == 0) return true;
        if (kind != kReadKind && kind != kWriteKind) return false;
        const std::size_t header = kind == kReadKind ? kReadHeader : kWriteHeader;
        if (pos + header > size) return false;
        const std::uint64_t at = Get32(area + pos + 4);
        const std::uint64_t n = Get32(area + pos + 8);
        if (pos + header + n > size || at + n > space_.size()) return false;
        std::uint8_t* data = area + pos + header;
        if (kind == kReadKind) {
            reads.push_back(static_cast<std::uint32_t>(at));
            if (options.fault == Options::Fault::Zeros) {
                std::memset(data, 0, n);
            } else {
                std::memcpy(data, space_.data() + at, n);
            }
        } else {
            // The client's version at 0x330A is write-only: it shares no storage with
            // the check pattern that reads at 0x330A..0x330B.
            if (at != offset::kLibVersion) std::memcpy(space_.data() + at, data, n);
            writes.emplace_back(static_cast<std::uint32_t>(at),
                                std::vector<std::uint8_t>(data, data + n));
        }
        pos += header + n;
    }
    return false;
}

}  // namespace verlisk::standin
