#pragma once

#include <string>
#include <vector>

#include "receiver/store.h"
#include "reporting/report_format.h"

namespace verlisk::receiver {

struct Options {
    std::string host = "127.0.0.1";
    int port = report_format::kDefaultPort;
    StoreOptions store{"reports.sqlite", false};
    std::vector<std::string> trustedProxies;  // addresses whose X-Forwarded-For counts
    bool help = false;
};

// The command line after the program's name. Either options or the complaint to
// print before the usage.
struct OptionsOutcome {
    Options options;
    std::string error;
};
OptionsOutcome ParseOptions(const std::vector<std::string>& args);

std::string Usage();

// What the start-up line says of the database: a file's full path, or the URL
// without its user and password.
std::string DatabaseText(const StoreOptions& store);

}  // namespace verlisk::receiver
