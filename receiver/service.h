#pragma once

#include <memory>
#include <string>

#include "receiver/store.h"

namespace verlisk::receiver {

// One line on stderr, written whole even when threads log at once.
void LogLine(const std::string& text);

// The HTTP side: POST /receiver.php takes reports; / is the page, /reports.csv and
// /reports.json the exports. Logs one line per request.
class ReceiverService {
  public:
    explicit ReceiverService(ReportStore& store);
    ~ReceiverService();

    // The port listened on (port 0 picks a free one), or -1.
    int Bind(const std::string& host, int port);
    // Serves until Stop; requests in flight are answered before it returns.
    void Run();
    // Safe from any thread.
    void Stop();

  private:
    class Server;
    std::unique_ptr<Server> server_;
};

}  // namespace verlisk::receiver
