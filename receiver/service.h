#pragma once

#include <string>
#include <vector>

#include "receiver/http_server.h"
#include "receiver/store.h"

namespace verlisk::receiver {

// The receiver's routes: POST /receiver.php takes reports; / is the page, /reports.csv
// and /reports.json the exports; /download/<name> the pilot download, if there is one.
class ReceiverService {
  public:
    // `pilotDownload`: a file to serve at DownloadPath, or "". `reportsInOrder`: reports
    // are taken one at a time, as they come, on a thread of their own.
    ReceiverService(ReportStore& store, std::vector<std::string> trustedProxies = {},
                    std::string pilotDownload = {}, bool reportsInOrder = false);

    // The port listened on (port 0 picks a free one), or -1.
    int Bind(const std::string& host, int port) { return server_.Bind(host, port); }
    // Serves until Stop; requests in flight are answered before it returns.
    void Run() { server_.Run(); }
    // Safe from any thread.
    void Stop() { server_.Stop(); }

  private:
    HttpAnswer Route(const HttpRequest& req);
    HttpAnswer Receive(const HttpRequest& req);
    HttpAnswer Page(const HttpRequest& req);
    HttpAnswer Export(const HttpRequest& req, bool json);
    HttpAnswer Download() const;

    ReportStore& store_;
    const std::string pilotDownload_, downloadPath_;
    HttpServer server_;
};

}  // namespace verlisk::receiver
