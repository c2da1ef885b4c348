// verlisk-receiver: wires the store and the HTTP service together and stops them on
// SIGTERM or SIGINT.
#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>

#include <cstdio>
#include <fstream>
#include <thread>

#include "receiver/options.h"
#include "receiver/service.h"

using namespace verlisk::receiver;

namespace {

// remove and restore: the operator's hand on the database, beside a running receiver or not.
int Maintain(const Options& o) {
    std::unique_ptr<ReportStore> store;
    try {
        store = OpenStore(o.store);
        const auto id = std::to_string(o.reportId);
        if (o.command == "remove") {
            if (!store->Remove(o.reportId, o.reason, NowMs())) {
                LogLine("no report " + id + " is shown: nothing removed");
                return 1;
            }
            LogLine("report " + id + " removed (" + o.reason +
                    "): off the page, the chart and the exports; restore " + id +
                    " brings it back");
        } else if (!store->Restore(o.reportId)) {
            LogLine("no removed report " + id + ": nothing restored");
            return 1;
        } else {
            LogLine("report " + id + " restored");
        }
    } catch (const StoreError& e) {
        LogLine(std::string("cannot change the database: ") + e.what());
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const auto parsed = ParseOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.error.empty() || parsed.options.help) {
        if (!parsed.error.empty())
            std::fprintf(stderr, "verlisk-receiver: %s\n\n", parsed.error.c_str());
        std::fputs(Usage().c_str(), parsed.error.empty() ? stdout : stderr);
        return parsed.error.empty() ? 0 : 2;
    }
    const Options& o = parsed.options;
    if (!o.command.empty()) return Maintain(o);
    if (!o.pilotDownload.empty() && !std::ifstream(o.pilotDownload, std::ios::binary)) {
        LogLine("cannot read the pilot download " + o.pilotDownload);
        return 1;
    }

    // Blocked in every thread, so that only the waiting thread below takes them.
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGINT);
    sigaddset(&stops, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stops, nullptr);
    signal(SIGPIPE, SIG_IGN);  // a client that hangs up is seen as a failed write

    // Every connection takes a descriptor; a shell's soft limit (often 1024) is far below
    // the connections the receiver keeps open.
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        setrlimit(RLIMIT_NOFILE, &files);
    }

    std::unique_ptr<ReportStore> store;
    try {
        store = OpenStoreWhenReachable(o.store, LogLine);
    } catch (const StoreError& e) {
        LogLine(std::string("cannot open the database: ") + e.what());
        return 1;
    }
    // SQLite writes through one connection. Without --fsync a commit costs less than handing
    // that connection from one database thread to the next, so one thread takes the reports
    // back to back (about a seventh more a second at 2 clients); with it, the flush is the
    // cost, and reports waiting on the database threads share one.
    ReceiverService service(*store, o.trustedProxies, o.pilotDownload,
                            !IsPostgresUrl(o.store.db) && !o.store.fsync);
    const int port = service.Bind(o.host, o.port);
    if (port < 0) {
        LogLine("cannot listen on " + o.host + ":" + std::to_string(o.port));
        return 1;
    }
    const bool v6 = o.host.find(':') != std::string::npos;
    LogLine("listening on http://" + (v6 ? "[" + o.host + "]" : o.host) + ":" +
            std::to_string(port) + "/ (reports stored in " + DatabaseText(o.store) + ")");

    std::thread([&] {
        int sig = 0;
        sigwait(&stops, &sig);
        LogLine(std::string("stopping on ") + (sig == SIGTERM ? "SIGTERM" : "SIGINT") +
                ": finishing the requests in flight");
        service.Stop();
    }).detach();
    service.Run();
    store.reset();
    LogLine("stopped; database closed");
    return 0;
}
