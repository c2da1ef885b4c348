// cpp-httplib 0.11 answering the acceptance token without storing anything, set up as the
// receiver was before its own HTTP layer (32 worker threads, keep-alive): the new layer's
// no-storage figure is measured against it.
#include <httplib.h>

#include <cstdio>

int main() {
    httplib::Server server;
    server.new_task_queue = [] { return new httplib::ThreadPool(32); };
    server.set_keep_alive_max_count(100);
    server.set_keep_alive_timeout(2);
    server.set_tcp_nodelay(true);
    server.Post("/receiver.php", [](const httplib::Request&, httplib::Response& res) {
        res.set_content("OK+OK+OK", "text/plain");
    });
    const int port = server.bind_to_any_port("127.0.0.1");
    std::fprintf(stderr, "listening on http://127.0.0.1:%d/\n", port);
    return server.listen_after_bind() ? 0 : 1;
}
