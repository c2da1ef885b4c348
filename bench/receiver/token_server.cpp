// The receiver's HTTP layer answering the acceptance token without storing anything: the
// receiver's throughput is measured against it, and it against cpp-httplib's. It takes
// POSTs on a thread of their own, as the receiver does with SQLite: handing them to that
// one thread costs less than to the database threads, and a baseline that paid the dearer
// hand-off would flatter the figures measured against it.
#include <cstdio>

#include "receiver/http_server.h"
#include "reporting/report_format.h"

int main() {
    using namespace verlisk::receiver;
    HttpServer server(
        [](const HttpRequest&) {
            return HttpAnswer{200, "text/plain",
                              std::string(verlisk::report_format::kAcceptanceToken)};
        },
        {}, true);
    const int port = server.Bind("127.0.0.1", 0);
    std::fprintf(stderr, "listening on http://127.0.0.1:%d/\n", port);
    server.Run();
    return port > 0 ? 0 : 1;
}
