#include "receiver/service.h"

#include <httplib.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <chrono>
#include <optional>
#include <thread>

#include "common/text.h"
#include "receiver/pages.h"
#include "reporting/report_format.h"

namespace verlisk::receiver {
namespace {

using Clock = std::chrono::steady_clock;
using httplib::Request;
using httplib::Response;

const std::string kReportPath(report_format::kPath);
const std::string kToken(report_format::kAcceptanceToken);
constexpr const char* kTooLarge = "Report refused: it is larger than 64 KiB";
constexpr const char* kNotStored =
    "Report not stored: the receiver's database is unavailable, try again later";
constexpr const char* kUnavailable =
    "The receiver's database is unavailable at the moment; try again later.";
// Connections wait in the pool's queue rather than being refused; a report is a
// single short request, so a few dozen workers keep up with hundreds of pilots.
constexpr int kWorkerThreads = 32;
constexpr int kListenBacklog = 512;  // the library listens with 5
constexpr int kExportBatch = 1000;
constexpr auto kDrainLimit = std::chrono::seconds(2);

// What a worker knows of the request it serves, for its log line and for whether the
// connection may carry another one. It lives with the connection; handlers reach it
// through the thread serving that connection.
struct RequestContext {
    Clock::time_point started;
    std::string note;         // why it was refused or failed
    bool unreadBody = false;  // answered without reading the body: the connection ends
};
thread_local RequestContext* tRequest = nullptr;

void Answer(Response& res, int status, const std::string& line, bool unreadBody = false) {
    res.status = status;
    res.set_content(line, "text/plain");
    if (unreadBody) res.set_header("Connection", "close");
    tRequest->note = line;
    tRequest->unreadBody = tRequest->unreadBody || unreadBody;
}

void Unavailable(Response& res, const StoreError& e) {
    Answer(res, 503, kUnavailable);
    tRequest->note += std::string(" (") + e.what() + ")";
}

bool IsFormContentType(const std::string& value) {
    // The program sends the type with a blank after it.
    std::string type = Trim(value.substr(0, value.find(';')));
    std::transform(type.begin(), type.end(), type.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return type == "application/x-www-form-urlencoded";
}

std::optional<std::size_t> DeclaredLength(const Request& req) {
    if (!req.has_header("Content-Length")) return std::nullopt;
    const auto text = req.get_header_value("Content-Length");
    std::size_t n = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), n);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size()) return std::nullopt;
    return n;
}

bool IsChunked(const Request& req) {
    return req.get_header_value("Transfer-Encoding").find("chunked") != std::string::npos;
}

// A request answered without reading its body ends its connection: what is left of the
// body would otherwise be taken for the next request.
bool HasBody(const Request& req) { return IsChunked(req) || DeclaredLength(req).value_or(0) > 0; }

Filter FilterOf(const Request& req) {
    Filter f{req.get_param_value("client"), req.get_param_value("aircraft")};
    // Titles have "_" for every space; a filter typed with spaces finds them.
    std::replace(f.aircraft.begin(), f.aircraft.end(), ' ', '_');
    return f;
}

// For the log: one line whatever a client or a database error message holds.
std::string OneLine(std::string s) {
    for (char& c : s) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    }
    return s.empty() ? "-" : s;
}

std::int64_t NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

}  // namespace

void LogLine(const std::string& text) {
    const auto ms = NowMs();
    std::string stamp = IsoTime(ms);
    stamp.pop_back();
    char frac[8];
    std::snprintf(frac, sizeof frac, ".%03dZ ", static_cast<int>(ms % 1000));
    const std::string line = stamp + frac + text + "\n";
    if (::write(STDERR_FILENO, line.data(), line.size()) < 0) {
        // nowhere left to say it
    }
}

class ReceiverService::Server : public httplib::Server {
  public:
    explicit Server(ReportStore& store) : store_(store) {
        new_task_queue = [] { return new httplib::ThreadPool(kWorkerThreads); };
        set_keep_alive_max_count(100);
        set_keep_alive_timeout(2);
        // The library writes the head and the body of an answer apart; with Nagle's
        // algorithm the body would wait for the client's delayed ACK (40 ms here, 200 ms
        // on Windows).
        set_tcp_nodelay(true);
        // Not the library's SO_REUSEPORT as well: a second receiver started on the same
        // port would share it unnoticed instead of being told that it is taken.
        set_socket_options([](socket_t sock) {
            const int yes = 1;
            setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        });
        set_pre_routing_handler([](const Request& req, Response& res) {
            const bool reports = req.path == kReportPath;
            if (reports && req.method == "POST") return HandlerResponse::Unhandled;
            if (reports) {
                res.set_header("Allow", "POST");
                Answer(res, 405, "This address takes fuel reports sent with POST", HasBody(req));
            } else if (req.method == "GET" || req.method == "HEAD") {
                return HandlerResponse::Unhandled;
            } else {
                Answer(res, 404, "Not found: fuel reports go to /receiver.php", HasBody(req));
            }
            return HandlerResponse::Handled;
        });
        // A client that asks before sending its body learns of the limit before sending it.
        set_expect_100_continue_handler([](const Request& req, Response& res) {
            if (req.path != kReportPath || DeclaredLength(req).value_or(0) <= kMaxBodyBytes) {
                return 100;
            }
            Answer(res, 413, kTooLarge, true);
            return res.status;  // anything but 100 or 417: the answer is sent as it is
        });
        Post(kReportPath, [this](const Request& req, Response& res,
                                 const httplib::ContentReader& read) { Receive(req, res, read); });
        Get("/", [this](const Request& req, Response& res) { Page(req, res); });
        Get(R"(/reports\.csv)",
            [this](const Request& req, Response& res) { Export(req, res, false); });
        Get(R"(/reports\.json)",
            [this](const Request& req, Response& res) { Export(req, res, true); });
        set_error_handler([](const Request&, Response& res) {
            if (!res.body.empty()) return;
            Answer(res, res.status,
                   res.status == 404 ? "Not found"
                                     : "Request refused (HTTP " + std::to_string(res.status) + ")");
        });
        set_logger([](const Request& req, const Response& res) {
            const auto us = std::chrono::duration_cast<std::chrono::microseconds>(
                Clock::now() - tRequest->started);
            char ms[32];
            std::snprintf(ms, sizeof ms, "%.1fms", static_cast<double>(us.count()) / 1000);
            std::string line = OneLine(req.remote_addr) + ' ' + OneLine(req.method) + ' ' +
                               OneLine(req.path) + ' ' + std::to_string(res.status) + ' ' + ms;
            if (!tRequest->note.empty()) line += ' ' + OneLine(tRequest->note);
            LogLine(line);
        });
    }

    int BindTo(const std::string& host, int port) {
        const int bound = port == 0 ? bind_to_any_port(host) : bind_to_port(host, port) ? port : -1;
        if (bound > 0) ::listen(svr_sock_, kListenBacklog);
        return bound;
    }

    // Connections the kernel has completed but nobody has accepted yet would be reset
    // when the listening socket closes; their requests are already on the way.
    void DrainListenQueue() const {
        const auto until = Clock::now() + kDrainLimit;
        for (tcp_info info{}; Clock::now() < until;) {
            socklen_t size = sizeof info;
            if (getsockopt(svr_sock_, IPPROTO_TCP, TCP_INFO, &info, &size) != 0 ||
                info.tcpi_unacked == 0) {  // for a listening socket: connections waiting
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

  private:
    void Receive(const Request& req, Response& res, const httplib::ContentReader& read) {
        if (!IsFormContentType(req.get_header_value("Content-Type"))) {
            return Answer(res, 415,
                          "Report refused: it must be sent as application/x-www-form-urlencoded",
                          true);
        }
        if (!IsChunked(req)) {
            const auto length = DeclaredLength(req);
            if (!length && req.has_header("Content-Length")) {
                return Answer(res, 400, "Report refused: its Content-Length is not a number", true);
            }
            if (!length) return Answer(res, 411, "Report refused: it has no Content-Length", true);
            if (*length > kMaxBodyBytes) return Answer(res, 413, kTooLarge, true);
        }
        std::string body;
        bool tooLarge = false;
        const bool whole = read([&](const char* data, std::size_t n) {
            tooLarge = body.size() + n > kMaxBodyBytes;
            if (!tooLarge) body.append(data, n);
            return !tooLarge;
        });
        if (tooLarge) return Answer(res, 413, kTooLarge, true);
        if (!whole) return Answer(res, 400, "Report refused: it arrived incomplete", true);
        auto parsed = ParseReport(body);
        if (!parsed.report) return Answer(res, 400, parsed.refusal);
        try {
            store_.Add({0, NowMs(), req.remote_addr, std::move(*parsed.report)});
        } catch (const StoreError& e) {
            Answer(res, 503, kNotStored);
            tRequest->note += std::string(" (") + e.what() + ")";
            return;
        }
        res.set_content(kToken, "text/plain");
    }

    void Page(const Request& req, Response& res) {
        PageView v;
        v.filter = FilterOf(req);
        std::int64_t page = 1;
        const auto p = req.get_param_value("page");
        std::from_chars(p.data(), p.data() + p.size(), page);
        v.page = std::clamp<std::int64_t>(page, 1, 1000000000);
        try {
            v.total = store_.Count(v.filter);
            v.rows = store_.List(v.filter, 0, (v.page - 1) * kRowsPerPage, kRowsPerPage);
            v.aircraft = store_.ByAircraft(v.filter);
        } catch (const StoreError& e) {
            return Unavailable(res, e);
        }
        res.set_content(RenderPage(v), "text/html; charset=utf-8");
    }

    // Sent in batches as they are read, so that a large export is never held whole.
    void Export(const Request& req, Response& res, bool json) {
        struct State {
            Filter filter;
            std::vector<StoredReport> batch;
            bool started = false;
        };
        auto s = std::make_shared<State>();
        s->filter = FilterOf(req);
        try {
            s->batch = store_.List(s->filter, 0, 0, kExportBatch);
        } catch (const StoreError& e) {
            return Unavailable(res, e);
        }
        const auto provide = [this, s, json](std::size_t, httplib::DataSink& sink) {
            std::string out;
            if (!s->started) out = json ? std::string(kJsonOpen) : CsvHeader();
            for (const auto& r : s->batch) {
                out += json ? JsonRow(r, !s->started) : CsvRow(r);
                s->started = true;
            }
            if (s->batch.size() < kExportBatch) {
                if (json) out += kJsonClose;
                sink.write(out.data(), out.size());
                sink.done();
                return true;
            }
            sink.write(out.data(), out.size());
            try {
                s->batch = store_.List(s->filter, s->batch.back().id, 0, kExportBatch);
            } catch (const StoreError& e) {
                // Broken off, so that the download does not look complete.
                tRequest->note = std::string("export broken off: ") + e.what();
                return false;
            }
            return true;
        };
        res.set_chunked_content_provider(json ? "application/json" : "text/csv; charset=utf-8",
                                         provide);
    }

    bool Stopping() const { return svr_sock_ == INVALID_SOCKET; }

    // Waits for the next request on the connection: the first as long as a slow client
    // may take, later ones only for the keep-alive time and not once stopping.
    bool WaitForRequest(int sock, bool first) const {
        const auto until = Clock::now() + std::chrono::seconds(first ? read_timeout_sec_
                                                                     : keep_alive_timeout_sec_);
        while (first || !Stopping()) {
            pollfd p{sock, POLLIN, 0};
            const int r = poll(&p, 1, 100);
            if (r != 0) return r > 0;
            if (Clock::now() >= until) return false;
        }
        return false;
    }

    bool process_and_close_socket(socket_t sock) override {
        RequestContext context;
        tRequest = &context;
        httplib::detail::process_client_socket(
            sock, read_timeout_sec_, read_timeout_usec_, write_timeout_sec_, write_timeout_usec_,
            [&](httplib::Stream& strm) {
                for (std::size_t n = 0; n < keep_alive_max_count_ && WaitForRequest(sock, n == 0);
                     ++n) {
                    tRequest->started = Clock::now();
                    tRequest->note.clear();
                    const bool last = n + 1 == keep_alive_max_count_ || Stopping();
                    bool clientCloses = false;
                    if (!process_request(strm, last, clientCloses, nullptr) || clientCloses ||
                        last || tRequest->unreadBody) {
                        break;
                    }
                }
                return true;
            });
        shutdown(sock, SHUT_RDWR);
        close(sock);
        return true;
    }

    ReportStore& store_;
};

ReceiverService::ReceiverService(ReportStore& store) : server_(std::make_unique<Server>(store)) {}
ReceiverService::~ReceiverService() = default;

int ReceiverService::Bind(const std::string& host, int port) { return server_->BindTo(host, port); }
void ReceiverService::Run() { server_->listen_after_bind(); }
void ReceiverService::Stop() {
    // A stop asked for before the server runs would otherwise be lost.
    while (!server_->is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    server_->DrainListenQueue();
    server_->stop();
}

}  // namespace verlisk::receiver
