#pragma once

#include <cstdint>
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
    std::string pilotDownload;  // a file served at /download/<its name>, linked from the page
    // Instead of serving: "remove" (with a reason) or "restore" the report `reportId`.
    std::string command;
    std::int64_t reportId = 0;
    std::string reason;
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

// Where the pilot download is served: /download/ and the file's own name.
std::string DownloadPath(const std::string& file);

// What the start-up line says of the database: a file's full path, or the URL
// without its user and password.
std::string DatabaseText(const StoreOptions& store);

}  // namespace verlisk::receiver
