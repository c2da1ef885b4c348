#pragma once

#include <string>
#include <vector>

#include "receiver/http_server.h"
#include "receiver/store.h"

namespace verlisk::receiver {

// The receiver's routes: POST /receiver.php takes reports; / is the page, /reports.csv
// and /reports.json the exports.
class ReceiverService {
  public:
    ReceiverService(ReportStore& store, std::vector<std::string> trustedProxies = {});

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

    ReportStore& store_;
    HttpServer server_;
};

}  // namespace verlisk::receiver
