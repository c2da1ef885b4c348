#include "receiver/http_server.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <optional>
#include <set>
#include <thread>
#include <unordered_map>
#include <unordered_set>

// Boost 1.74's asio/awaitable.hpp uses std::exchange without including <utility>, which
// GCC 12 rejects: <utility> comes first.
// clang-format off
#include <utility>
#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
// clang-format on

#include "common/text.h"
#include "receiver/pages.h"
#include "receiver/report.h"

namespace verlisk::receiver {
namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using asio::ip::tcp;
using boost::system::error_code;
using Clock = std::chrono::steady_clock;

// Commits wait for the disk or the network; a few at once keep the database busy, more
// would only queue inside it.
constexpr int kDatabaseThreads = 8;
// A crowd connecting at once waits in the kernel for its turn rather than being refused.
constexpr int kListenBacklog = 4096;
// After a closing answer the rest of a refused upload is read and dropped for this long,
// so that the client reads the answer before a reset would destroy it.
constexpr auto kLingerTime = 1s;
// Connections the kernel completed before a stop are still accepted, for this long at most.
constexpr auto kDrainTime = 2s;
// Out of descriptors: accepting again at once would only spin.
constexpr auto kAcceptPause = 50ms;

const std::string kTooLarge = "Report refused: it is larger than 64 KiB";

auto Await(error_code& ec) { return asio::redirect_error(asio::use_awaitable, ec); }

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = static_cast<char>(c | 0x20);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

std::string Decode(std::string_view s, bool plusIsBlank) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() && HexDigit(s[i + 1]) >= 0 && HexDigit(s[i + 2]) >= 0) {
            out += static_cast<char>(HexDigit(s[i + 1]) * 16 + HexDigit(s[i + 2]));
            i += 2;
        } else {
            out += plusIsBlank && s[i] == '+' ? ' ' : s[i];
        }
    }
    return out;
}

// An address as text, an IPv4 one mapped into IPv6 as IPv4; empty if it is none.
std::string AddressText(const std::string& text) {
    error_code ec;
    auto a = asio::ip::make_address(Trim(text), ec);
    if (ec) return {};
    if (a.is_v6() && a.to_v6().is_v4_mapped()) a = a.to_v6().to_v4();
    return a.to_string();
}

struct Connection {
    Connection(tcp::socket s, std::string address)
        : socket(std::move(s)), timer(socket.get_executor()), peer(std::move(address)) {}
    tcp::socket socket;
    // Wakes at the deadline, or later when the deadline moved on: setting a deadline is then
    // only a store, not a timer's syscalls, on every read and write.
    asio::steady_timer timer;
    Clock::time_point deadline = Clock::time_point::max();
    bool timerSet = false;
    std::string peer;     // the address the connection comes from
    std::string counted;  // the address its slot counts against; empty: none (a proxy)
    bool idle = false;    // between requests: a stop closes it at once
    bool timedOut = false;
};
using ConnectionPtr = std::shared_ptr<Connection>;

void Expired(const ConnectionPtr& c, error_code ec);

// Past the deadline the connection's reads and writes end with an error.
void Arm(const ConnectionPtr& c, Clock::time_point at) {
    c->deadline = at;
    if (c->timerSet && c->timer.expiry() <= at) return;  // it wakes in time and waits on
    c->timerSet = true;
    c->timer.expires_at(at);
    c->timer.async_wait([c](error_code ec) { Expired(c, ec); });
}

void Expired(const ConnectionPtr& c, error_code ec) {
    if (ec) return;  // set again, or the connection ended
    c->timerSet = false;
    if (c->deadline > Clock::now()) return Arm(c, c->deadline);
    c->timedOut = true;
    c->socket.cancel(ec);
}

// What the access log says of one request.
struct Exchange {
    std::string method = "-", path = "-", note;
    int status = 0;
    Clock::time_point started = Clock::now();
};

}  // namespace

std::int64_t NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

void LogLine(const std::string& text) {
    const auto ms = NowMs();
    std::string stamp = IsoTime(ms);
    stamp.pop_back();
    char frac[8];
    std::snprintf(frac, sizeof frac, ".%03dZ ", static_cast<int>(ms % 1000));
    std::string line = stamp + frac + text;
    // One line whatever a client or a database error message holds.
    for (char& c : line) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    }
    line += '\n';
    if (::write(STDERR_FILENO, line.data(), line.size()) < 0) {
        // nowhere left to say it
    }
}

struct HttpServer::Impl {
    Impl(Handler h, const std::vector<std::string>& proxies) : handler(std::move(h)) {
        for (const auto& p : proxies) trusted.insert(AddressText(p));
    }

    // Runs `f` on a database thread (the POST thread if `post` and there is one) and
    // resumes on the I/O thread with its result.
    template <class F>
    asio::awaitable<decltype(std::declval<F>()())> OffThread(F f, bool post = false) {
        using T = decltype(f());
        auto self = co_await asio::this_coro::executor;
        auto& pool = post && posts ? *posts : db;
        co_return co_await asio::async_initiate<const asio::use_awaitable_t<>&, void(T)>(
            [&pool, self, f = std::move(f)](auto done) mutable {
                asio::post(pool, [work = asio::make_work_guard(self), f = std::move(f),
                                  done = std::move(done)]() mutable {
                    T result = f();
                    asio::post(work.get_executor(),
                               [done = std::move(done), result = std::move(result)]() mutable {
                                   done(std::move(result));
                               });
                });
            },
            asio::use_awaitable);
    }

    asio::awaitable<void> Accept() {
        while (!stopping) {
            error_code ec;
            tcp::socket s = co_await acceptor.async_accept(Await(ec));
            if (stopping) break;
            if (ec) {
                asio::steady_timer pause(io, kAcceptPause);
                co_await pause.async_wait(Await(ec));
                continue;
            }
            const auto peer = AddressText(s.remote_endpoint(ec).address().to_string());
            if (ec || peer.empty()) continue;
            const bool proxy = trusted.contains(peer);
            if (open.size() >= kMaxConnections || (!proxy && perAddress[peer] >= kMaxPerAddress)) {
                if (!proxy && perAddress[peer] == 0) perAddress.erase(peer);
                LogLine(peer + " - - connection closed at once: " +
                        (open.size() >= kMaxConnections
                             ? std::to_string(kMaxConnections) + " connections open"
                             : std::to_string(kMaxPerAddress) + " connections from this address"));
                continue;
            }
            s.set_option(tcp::no_delay(true), ec);
            auto c = std::make_shared<Connection>(std::move(s), peer);
            Count(c, proxy ? "" : peer);
            open.insert(c.get());
            asio::co_spawn(io, Serve(c), asio::detached);
        }
    }

    // Moves the connection's slot to `address`; false if that address has no slot left.
    bool Count(const ConnectionPtr& c, const std::string& address) {
        if (c->counted == address) return true;
        if (!c->counted.empty() && --perAddress[c->counted] == 0) perAddress.erase(c->counted);
        c->counted = address;
        return address.empty() || ++perAddress[address] <= kMaxPerAddress;
    }

    asio::awaitable<void> Serve(ConnectionPtr c) {
        beast::flat_buffer buffer;
        auto from = Clock::now();  // when the head's time began
        for (bool first = true, keep = true; keep; first = false) {
            if (!first && buffer.size() == 0) {
                if (stopping) break;
                buffer.shrink_to_fit();
                c->idle = true;
                Arm(c, Clock::now() + kIdleTime);
                error_code ec;
                co_await c->socket.async_wait(tcp::socket::wait_read, Await(ec));
                c->idle = false;
                if (ec) break;
            }
            keep = co_await OneRequest(c, buffer, from);
            from = Clock::now();
        }
        c->timer.cancel();
        open.erase(c.get());
        Count(c, "");
        if (stopping && open.empty()) stopTimer.cancel();
    }

    // Reads, answers and logs one request; whether the connection goes on.
    asio::awaitable<bool> OneRequest(const ConnectionPtr& c, beast::flat_buffer& buffer,
                                     Clock::time_point from) {
        Exchange x;
        http::request_parser<http::string_body> parser;
        parser.header_limit(kMaxHeadBytes);
        parser.body_limit(kMaxBodyBytes);
        error_code ec;
        Arm(c, from + kHeadTime);
        co_await http::async_read_header(c->socket, buffer, parser, Await(ec));
        x.started = Clock::now();
        if (ec) {
            // Nothing of a request yet: the client went away, or stayed silent.
            if (buffer.size() == 0 && !parser.got_some()) co_return false;
            if (c->timedOut)
                co_return co_await Refuse(c, x, 408, "Request refused: its head took over 10 s");
            if (ec == http::error::header_limit)
                co_return co_await Refuse(c, x, 431, "Request refused: its head is over 8 KiB");
            // A Content-Length over the limit, refused before the body is read.
            if (ec == http::error::body_limit) co_return co_await Refuse(c, x, 413, kTooLarge);
            if (ec == http::error::end_of_stream || ec == http::error::partial_message ||
                ec == asio::error::eof || ec == asio::error::operation_aborted)
                co_return co_await Refuse(c, x, 400, "Request refused: it arrived incomplete");
            co_return co_await Refuse(
                c, x, 400, "Request refused: it is not valid HTTP/1.1 (" + ec.message() + ")");
        }
        auto& req = parser.get();
        x.method = std::string(req.method_string());
        const std::string target(req.target());
        const auto question = target.find('?');
        x.path = Decode(std::string_view(target).substr(0, question), false);

        HttpRequest r;
        r.client = c->peer;
        if (trusted.contains(c->peer)) r.client = Forwarded(c, req);
        if (!Count(c, trusted.contains(r.client) ? "" : r.client))
            co_return co_await Refuse(
                c, x, 429, "Request refused: too many connections from " + r.client, r.client);
        if (static_cast<std::size_t>(std::distance(req.begin(), req.end())) > kMaxHeadFields)
            co_return co_await Refuse(c, x, 431, "Request refused: its head has over 100 fields",
                                      r.client);
        if (req.count(http::field::content_length) > 1)
            co_return co_await Refuse(c, x, 400, "Request refused: its Content-Length is repeated",
                                      r.client);
        const auto length = parser.content_length();
        if (!parser.is_done()) {
            // A client that asks first learns of the limit above before it sends its body.
            if (beast::iequals(req[http::field::expect], "100-continue")) {
                static const std::string kContinue = "HTTP/1.1 100 Continue\r\n\r\n";
                Arm(c, Clock::now() + kWriteTime);
                co_await asio::async_write(c->socket, asio::buffer(kContinue), Await(ec));
                if (ec) co_return false;
            }
            Arm(c, Clock::now() + kBodyTime);
            co_await http::async_read(c->socket, buffer, parser, Await(ec));
            if (c->timedOut)
                co_return co_await Refuse(c, x, 408, "Request refused: its body took over 10 s",
                                          r.client);
            if (ec == http::error::body_limit)
                co_return co_await Refuse(c, x, 413, kTooLarge, r.client);
            if (ec == http::error::partial_message || ec == asio::error::eof ||
                ec == asio::error::operation_aborted)
                co_return co_await Refuse(c, x, 400, "Request refused: it arrived incomplete",
                                          r.client);
            if (ec)
                co_return co_await Refuse(
                    c, x, 400, "Request refused: its body is not valid (" + ec.message() + ")",
                    r.client);
        }
        const bool head = req.method() == http::verb::head;
        r.method = head ? "GET" : x.method;
        r.path = x.path;
        if (question != std::string::npos) {
            std::string_view q = std::string_view(target).substr(question + 1);
            while (!q.empty()) {
                const auto part = q.substr(0, q.find('&'));
                q.remove_prefix(std::min(q.size(), part.size() + 1));
                const auto eq = part.find('=');
                r.query.emplace(
                    Decode(part.substr(0, eq), true),
                    eq == std::string_view::npos ? "" : Decode(part.substr(eq + 1), true));
            }
        }
        r.contentType = std::string(req[http::field::content_type]);
        r.bodyDeclared = length.has_value() || req.chunked();
        r.body = std::move(req.body());

        HttpAnswer a = co_await OffThread(
            [this, &r] {
                try {
                    return handler(r);
                } catch (const std::exception& e) {
                    HttpAnswer failed{500, "text/plain", "The receiver failed; try again later"};
                    failed.note = e.what();
                    return failed;
                }
            },
            r.method == "POST");
        const bool keep = parser.keep_alive() && !stopping;
        co_return co_await Send(c, x, std::move(a), keep, head, r.client, req.version() >= 11);
    }

    // The right-most address of X-Forwarded-For that is not a trusted proxy's own; a
    // proxy's if the header names none, or nothing that is an address.
    std::string Forwarded(const ConnectionPtr& c,
                          const http::request<http::string_body>& req) const {
        std::vector<std::string_view> entries;
        for (const auto& f : req) {
            if (!beast::iequals(f.name_string(), "X-Forwarded-For")) continue;
            const std::string_view v(f.value().data(), f.value().size());
            for (std::size_t at = 0; at <= v.size();) {
                const auto comma = std::min(v.find(',', at), v.size());
                entries.push_back(v.substr(at, comma - at));
                at = comma + 1;
            }
        }
        std::string client = c->peer;
        for (auto it = entries.rbegin(); it != entries.rend() && trusted.contains(client); ++it) {
            const auto address = AddressText(std::string(*it));
            if (address.empty()) break;
            client = address;
        }
        return client;
    }

    asio::awaitable<bool> Refuse(const ConnectionPtr& c, Exchange& x, int status,
                                 const std::string& line, const std::string& client = {}) {
        HttpAnswer a{status, "text/plain", line};
        a.note = line;
        co_return co_await Send(c, x, std::move(a), false, false, client.empty() ? c->peer : client,
                                true);
    }

    asio::awaitable<bool> Send(const ConnectionPtr& c, Exchange& x, HttpAnswer a, bool keep,
                               bool head, const std::string& client, bool chunks) {
        x.status = a.status;
        x.note = a.note;
        keep = keep && (chunks || !a.more);
        std::string out = "HTTP/1.1 " + std::to_string(a.status) + " " +
                          std::string(http::obsolete_reason(http::int_to_status(a.status))) +
                          "\r\nContent-Type: " + a.contentType + "\r\n";
        for (const auto& [name, value] : a.headers) out += name + ": " + value + "\r\n";
        if (!a.more) {
            out += "Content-Length: " + std::to_string(a.body.size()) + "\r\n";
        } else if (chunks) {
            out += "Transfer-Encoding: chunked\r\n";
        }
        if (!keep) out += "Connection: close\r\n";
        out += "\r\n";
        const auto piece = [&](const std::string& data) {
            if (!a.more || !chunks || data.empty()) return data;
            char size[24];
            std::snprintf(size, sizeof size, "%zx\r\n", data.size());
            return size + data + "\r\n";
        };
        if (!head) out += piece(a.body);
        error_code ec;
        bool ended = !a.more || head;
        for (;;) {
            Arm(c, Clock::now() + kWriteTime);
            co_await asio::async_write(c->socket, asio::buffer(out), Await(ec));
            if (ec || ended) break;
            std::string failure;
            out = co_await OffThread([&more = a.more, &failure] {
                try {
                    return more();
                } catch (const std::exception& e) {
                    failure = e.what();
                    return std::string();
                }
            });
            if (!failure.empty()) {
                x.note = "answer broken off: " + failure;
                keep = false;
                break;
            }
            ended = out.empty();
            out = ended ? (chunks ? "0\r\n\r\n" : "") : piece(out);
        }
        if (ec && c->timedOut) x.note = "answer broken off: the client stopped reading for 10 s";
        const auto us =
            std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - x.started);
        char ms[32];
        std::snprintf(ms, sizeof ms, "%.1fms", static_cast<double>(us.count()) / 1000);
        std::string line = client + ' ' + x.method + ' ' + (x.path.empty() ? "-" : x.path) + ' ' +
                           std::to_string(x.status) + ' ' + ms;
        if (!x.note.empty()) line += ' ' + x.note;
        LogLine(line);
        if (ec) co_return false;
        if (!keep) co_await Linger(c);
        co_return keep;
    }

    asio::awaitable<void> Linger(const ConnectionPtr& c) {
        error_code ec;
        c->socket.shutdown(tcp::socket::shutdown_send, ec);
        Arm(c, Clock::now() + kLingerTime);
        char sink[16384];
        while (!ec) co_await c->socket.async_read_some(asio::buffer(sink), Await(ec));
    }

    void BeginStop() {
        stopping = true;
        error_code ec;
        acceptor.close(ec);
        for (Connection* c : open) {
            if (c->idle) c->socket.cancel(ec);
        }
        if (open.empty()) return;
        // Past the bound, whatever is left is closed; a request whose answer is being
        // computed still has it computed, and so a report still stored.
        stopTimer.expires_after(kStopTime);
        stopTimer.async_wait([this](error_code e) {
            if (e) return;
            for (Connection* c : open) c->socket.cancel(e);
        });
    }

    void Join() {
        db.join();
        if (posts) posts->join();
    }

    // Connections the kernel has completed but nobody has accepted yet would be reset
    // when the listening socket closes; their requests are already on the way.
    void DrainListenQueue() {
        const auto until = Clock::now() + kDrainTime;
        for (tcp_info info{}; Clock::now() < until;) {
            socklen_t size = sizeof info;
            if (getsockopt(listening, IPPROTO_TCP, TCP_INFO, &info, &size) != 0 ||
                info.tcpi_unacked == 0) {  // for a listening socket: connections waiting
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

    Handler handler;
    std::set<std::string> trusted;
    asio::io_context io{1};
    tcp::acceptor acceptor{io};
    int listening = -1;
    asio::thread_pool db{kDatabaseThreads};
    std::optional<asio::thread_pool> posts;
    asio::steady_timer stopTimer{io};
    // Touched on the I/O thread only.
    std::unordered_set<Connection*> open;
    std::unordered_map<std::string, std::size_t> perAddress;
    bool stopping = false;
};

HttpServer::HttpServer(Handler handler, std::vector<std::string> trustedProxies, bool postsInOrder)
    : impl_(std::make_unique<Impl>(std::move(handler), trustedProxies)) {
    if (postsInOrder) impl_->posts.emplace(1);
}

HttpServer::~HttpServer() { impl_->Join(); }

int HttpServer::Bind(const std::string& host, int port) {
    error_code ec;
    tcp::resolver resolver(impl_->io);
    const auto found = resolver.resolve(host, std::to_string(port), ec);
    if (ec || found.empty()) return -1;
    auto& a = impl_->acceptor;
    a.open(found.begin()->endpoint().protocol(), ec);
    // Not SO_REUSEPORT: a second receiver on the same port is told that it is taken.
    if (!ec) a.set_option(tcp::acceptor::reuse_address(true), ec);
    if (!ec) a.bind(found.begin()->endpoint(), ec);
    if (!ec) a.listen(kListenBacklog, ec);
    if (ec) return -1;
    impl_->listening = a.native_handle();
    return a.local_endpoint().port();
}

void HttpServer::Run() {
    asio::co_spawn(impl_->io, impl_->Accept(), asio::detached);
    impl_->io.run();
    impl_->Join();
}

void HttpServer::Stop() {
    impl_->DrainListenQueue();
    asio::post(impl_->io, [this] { impl_->BeginStop(); });
}

}  // namespace verlisk::receiver
