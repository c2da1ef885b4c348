#pragma once

// The receiver's HTTP/1.1 layer: connections, deadlines, size and connection limits,
// parsing, proxy addresses and the access log. The routes see a request read whole and
// give back an answer; they run on a few database threads, never on the I/O thread.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace verlisk::receiver {

using namespace std::chrono_literals;

// A report is under 1 KiB and a browser's request a few hundred bytes: a client that
// takes longer than this for either part is slow on purpose or lost.
inline constexpr auto kHeadTime = 10s;  // from the connection's start or the previous answer
inline constexpr auto kBodyTime = 10s;  // from the end of the head
// Keep-alive saves a browser its next handshake; a connection idle longer only holds a slot.
inline constexpr auto kIdleTime = 5s;
// A client that does not read its answer holds its connection no longer than this.
inline constexpr auto kWriteTime = 10s;
// What a stop waits for the requests in flight before it closes what is left; within
// systemd's TimeoutStopSec.
inline constexpr auto kStopTime = 10s;
// Browsers send 1-2 KiB of head; more is an attack on memory.
inline constexpr std::size_t kMaxHeadBytes = 8 * 1024;
inline constexpr std::size_t kMaxHeadFields = 100;
// Each connection costs a descriptor and some memory; these keep one client, or a
// crowd, from taking them all. A trusted proxy's own connections are not counted
// against its address.
inline constexpr std::size_t kMaxConnections = 10000;
inline constexpr std::size_t kMaxPerAddress = 64;

// One line on stderr (a control character in it as a blank), written whole even when
// threads log at once.
void LogLine(const std::string& text);

// The wall clock in milliseconds since 1970 (UTC), as the log and the store keep time.
std::int64_t NowMs();

struct HttpRequest {
    std::string method;  // a HEAD arrives as GET and is answered without the body
    std::string path;    // the target up to any '?'
    std::map<std::string, std::string> query;  // percent-decoded, '+' as a blank
    std::string contentType;
    bool bodyDeclared = false;  // a Content-Length or a chunked body came with it
    std::string body;
    std::string client;  // the peer's address, or the one a trusted proxy forwarded

    std::string Param(const std::string& name) const {
        const auto it = query.find(name);
        return it == query.end() ? std::string() : it->second;
    }
};

struct HttpAnswer {
    HttpAnswer() = default;
    HttpAnswer(int s, std::string type, std::string text)
        : status(s), contentType(std::move(type)), body(std::move(text)) {}

    int status = 200;
    std::string contentType = "text/plain";
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;  // such as Allow
    // For an answer sent in pieces as it is read: called for each piece after `body`
    // (on a database thread) until it gives an empty one. An exception breaks the answer
    // off, so that a download does not look complete.
    std::function<std::string()> more;
    std::string note;  // for the log line: why it was refused or failed
};

class HttpServer {
  public:
    // Called on a database thread (a POST on the POST thread, if there is one) for every
    // request that passed the limits.
    using Handler = std::function<HttpAnswer(const HttpRequest&)>;

    // With `postsInOrder`, POSTs are handled one at a time, as they come, on a thread of
    // their own rather than on the database threads.
    HttpServer(Handler handler, std::vector<std::string> trustedProxies, bool postsInOrder = false);
    ~HttpServer();

    // The port listened on (port 0 picks a free one), or -1.
    int Bind(const std::string& host, int port);
    // Serves until Stop; requests in flight are answered before it returns.
    void Run();
    // Safe from any thread, also before Run.
    void Stop();

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace verlisk::receiver
