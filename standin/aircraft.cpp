#include "standin/aircraft.h"

#include <cmath>
#include <cstring>
#include <stdexcept>

#include "simlink/ipc_area.h"

namespace verlisk::standin {

using namespace ipc;

namespace {

void Put(std::vector<std::uint8_t>& space, std::uint32_t offset, const void* data, std::size_t n) {
    std::memcpy(space.data() + offset, data, n);
}

template <typename T>
void PutValue(std::vector<std::uint8_t>& space, std::uint32_t offset, T value) {
    Put(space, offset, &value, sizeof value);
}

std::uint32_t ParseNumber(const std::string& s) {
    std::size_t used = 0;
    const unsigned long v = std::stoul(s, &used, 0);
    if (used != s.size()) throw std::invalid_argument(s);
    return static_cast<std::uint32_t>(v);
}

}  // namespace

std::string Usage() {
    return "verlisk-standin [options]   a stand-in for the simulator interface module\n"
           "  --version WORD      version word, e.g. 0x34000000 (3.400) or 0x33300000 (3.30)\n"
           "  --sim N             simulator number (default 7)\n"
           "  --class NAME        UIPCMAIN (default) or FS98MAIN, as WideClient\n"
           "  --title TEXT        aircraft title\n"
           "  --zfw POUNDS        zero-fuel weight\n"
           "  --tanks G1,...,G9   nine tank capacities in US gallons\n"
           "  --gross POUNDS      gross weight at start\n"
           "  --burn PPH          fuel burned, pounds per hour of wall-clock time\n"
           "  --lat DEG --lon DEG position\n"
           "  --fault KIND        hang | reply0 | badkind | zeros | slow\n"
           "  --delay MS          how long a hang or slow answer takes (hang: 30000)\n"
           "  --record FILE       append the display texts the program sends to FILE\n";
}

std::string ParseOptions(const std::vector<std::string>& args, Options& o) {
    try {
        for (std::size_t i = 0; i < args.size(); ++i) {
            const std::string& a = args[i];
            if (i + 1 >= args.size()) return "missing value after " + a;
            const std::string& v = args[++i];
            if (a == "--version") {
                o.version = ParseNumber(v);
            } else if (a == "--sim") {
                o.sim = static_cast<std::uint16_t>(ParseNumber(v));
            } else if (a == "--class") {
                if (v != "UIPCMAIN" && v != "FS98MAIN") return "class must be UIPCMAIN or FS98MAIN";
                o.windowClass = v;
            } else if (a == "--title") {
                if (v.size() > 255) return "title longer than 255 bytes";
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

Aircraft::Aircraft(const Options& o) : space_(0x10000), o_(o) {
    PutValue(space_, 0x3304, o.version);
    PutValue(space_, 0x3308, 0xFADE0000u | o.sim);
    const std::int32_t zfw = static_cast<std::int32_t>(std::lround(o.zeroFuelWeight * 256));
    PutValue(space_, 0x3BFC, zfw);
    constexpr std::uint32_t kTankOffsets[9] = {0x0B78, 0x0B80, 0x0B88, 0x0B90, 0x0B98,
                                               0x0BA0, 0x0BA8, 0x1248, 0x1250};
    for (int t = 0; t < 9; ++t)
        PutValue(space_, kTankOffsets[t], o.tanks[static_cast<std::size_t>(t)]);
    const auto lat = static_cast<std::int32_t>(std::lround(o.latitude * 10001750.0 / 90.0));
    const auto lon =
        static_cast<std::int32_t>(std::llround(o.longitude * 65536.0 * 65536.0 / 360.0));
    PutValue(space_, 0x0564, lat);
    PutValue(space_, 0x056C, lon);
    Put(space_, 0x3D00, o.title.c_str(), o.title.size() + 1);
}

void Aircraft::Refresh(double hours) {
    PutValue(space_, 0x30C0, o_.grossWeight - o_.burnPerHour * hours);
}

bool Aircraft::Serve(std::uint8_t* area, std::size_t size, double hours) {
    Refresh(hours);
    std::size_t pos = 0;
    while (pos + 4 <= size) {
        const std::uint32_t kind = Get32(area + pos);
        if (kind == 0) return true;
        if (kind != kReadKind && kind != kWriteKind) return false;
        const std::size_t header = kind == kReadKind ? kReadHeader : kWriteHeader;
        if (pos + header > size) return false;
        const std::uint64_t offset = Get32(area + pos + 4);
        const std::uint64_t n = Get32(area + pos + 8);
        if (pos + header + n > size || offset + n > space_.size()) return false;
        std::uint8_t* data = area + pos + header;
        if (kind == kReadKind) {
            if (o_.fault == Options::Fault::Zeros) {
                std::memset(data, 0, n);
            } else {
                std::memcpy(data, space_.data() + offset, n);
            }
        } else {
            // 0x330A is the client library's version: write-only, stored apart from
            // the check pattern that shares its bytes when read.
            if (offset != 0x330A) std::memcpy(space_.data() + offset, data, n);
            if (offset == 0x3380) {
                messages.push_back("text:" +
                                   std::string(reinterpret_cast<const char*>(data),
                                               strnlen(reinterpret_cast<const char*>(data), n)));
            } else if (offset == 0x32FA && n == 2) {
                messages.push_back("display:" + std::to_string(data[0] | (data[1] << 8)));
            }
        }
        pos += header + n;
    }
    return false;
}

}  // namespace verlisk::standin
