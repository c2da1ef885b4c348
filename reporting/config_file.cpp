#include "reporting/config_file.h"

#include <cmath>
#include <random>

#include "common/text.h"
#include "reporting/get_file.h"

namespace verlisk {

ConfigReadOutcome ReadConfigFile(FileSystem& fs) {
    ConfigReadOutcome out;
    if (!fs.IsOrdinaryFile(kConfigFileName)) {
        out.logLine = "No config file";
        return out;
    }
    const auto lines = SplitCrLf(GetFile(fs, kConfigFileName));
    if (lines.empty()) {
        out.logLine = "ConfigRead(): [missing configuration file]";
        return out;
    }
    if (lines.size() == 1) {
        out.logLine = "ConfigRead(): [no records in configuration file (?)]";
        return out;
    }
    // A tag on the last line has no value after it: that counts as no tag at all.
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
        if (lines[i] == kClientIdTag) {
            out.clientId = lines[i + 1];
            return out;
        }
    }
    return out;
}

std::string ConfigFileText(const std::string& clientId, const std::string& writtenAt) {
    return "# Configuration File \r\n# " + writtenAt + "\r\n \r\n" + kClientIdTag + "\r\n" +
           clientId + "\r\n \r\n# end of file\r\n";
}

std::string RandomIdentifier(std::int16_t length, const DateTime& seed) {
    std::string out;
    if (length <= 0) return out;
    std::seed_seq seq{seed.year,   seed.month,  seed.day,        seed.hour,
                      seed.minute, seed.second, seed.millisecond};
    std::mt19937 gen(seq);
    const auto n = static_cast<double>(kIdentifierAlphabet.size());
    for (int i = 0; i < length; ++i) {
        // r uniform in [0, 1) with single precision's 24 bits; the product is taken in
        // double so that r just below 1 cannot round up to the 50th character.
        const float r = static_cast<float>(gen() >> 8) * (1.0f / 16777216.0f);
        const auto k = static_cast<std::size_t>(std::floor(static_cast<double>(r) * n + 1));
        out.push_back(kIdentifierAlphabet[k - 1]);
    }
    return out;
}

}  // namespace verlisk
