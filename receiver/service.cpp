#include "receiver/service.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <variant>

#include "common/text.h"
#include "receiver/options.h"
#include "receiver/pages.h"
#include "reporting/report_format.h"

namespace verlisk::receiver {
namespace {

const std::string kReportPath(report_format::kPath);
const std::string kNotStored =
    "Report not stored: the receiver's database is unavailable, try again later";
const std::string kUnavailable =
    "The receiver's database is unavailable at the moment; try again later.";
constexpr int kExportBatch = 1000;

HttpAnswer Line(int status, const std::string& line, std::string note = {}) {
    HttpAnswer a{status, "text/plain", line};
    a.note = note.empty() ? line : line + " (" + note + ")";
    return a;
}

bool IsFormContentType(const std::string& value) {
    // The program sends the type with a blank after it.
    std::string type = Trim(value.substr(0, value.find(';')));
    std::transform(type.begin(), type.end(), type.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return type == report_format::kContentType;
}

// The start of a day given as YYYY-MM-DD (UTC), in milliseconds; nothing if it is not one.
std::optional<std::int64_t> DayStartMs(const std::string& s) {
    const auto digits = [&](std::size_t at, std::size_t n) {
        int v = 0;
        for (std::size_t i = at; i < at + n; ++i) {
            if (s[i] < '0' || s[i] > '9') return -1;
            v = v * 10 + (s[i] - '0');
        }
        return v;
    };
    if (s.size() != 10 || s[4] != '-' || s[7] != '-') return {};
    const int y = digits(0, 4), m = digits(5, 2), d = digits(8, 2);
    using namespace std::chrono;
    const year_month_day ymd{year(y), month(static_cast<unsigned>(m)),
                             std::chrono::day(static_cast<unsigned>(d))};
    if (y < 0 || m < 0 || d < 0 || !ymd.ok()) return {};
    return sys_days(ymd).time_since_epoch().count() * kDayMs;
}

// The filter the query asks for, or why it cannot be one.
std::variant<Filter, std::string> FilterOf(const HttpRequest& req) {
    Filter f{req.Param("client"), req.Param("aircraft")};
    f.emptyClient = f.clientId.empty() && req.Param("noclient") == "1";
    // Titles have "_" for every space; a filter typed with spaces finds them.
    std::replace(f.aircraft.begin(), f.aircraft.end(), ' ', '_');
    // Both days included; an empty field (as a form sends it) does not bound.
    for (const char* key : {"from", "to"}) {
        const auto text = req.Param(key);
        if (text.empty()) continue;
        const auto start = DayStartMs(text);
        if (!start) return "Bad date: " + std::string(key) + " must be a day as YYYY-MM-DD";
        (*key == 'f' ? f.fromMs : f.untilMs) = *start + (*key == 'f' ? 0 : kDayMs);
    }
    return f;
}

// The page asked for: garbage is the first, a number past the end the last.
std::int64_t PageOf(const std::string& p) {
    std::int64_t page = 1;
    const auto [end, ec] = std::from_chars(p.data(), p.data() + p.size(), page);
    if (ec == std::errc::result_out_of_range && p[0] != '-') return INT64_MAX;
    return ec == std::errc() && end == p.data() + p.size() ? page : 1;
}

}  // namespace

ReceiverService::ReceiverService(ReportStore& store, std::vector<std::string> trustedProxies,
                                 std::string pilotDownload, bool reportsInOrder)
    : store_(store),
      pilotDownload_(std::move(pilotDownload)),
      downloadPath_(pilotDownload_.empty() ? "" : DownloadPath(pilotDownload_)),
      server_([this](const HttpRequest& req) { return Route(req); }, std::move(trustedProxies),
              reportsInOrder) {}

HttpAnswer ReceiverService::Route(const HttpRequest& req) {
    const bool reports = req.path == kReportPath;
    const bool csv = req.path == "/reports.csv", json = req.path == "/reports.json";
    const bool download = !downloadPath_.empty() && req.path == downloadPath_;
    const bool readable = req.path == "/" || csv || json || download;
    if (req.method == "OPTIONS" && (reports || readable || req.path == "*")) {
        HttpAnswer a{204, "text/plain", ""};
        a.headers.emplace_back("Allow", reports    ? "POST, OPTIONS"
                                        : readable ? "GET, HEAD, OPTIONS"
                                                   : "GET, HEAD, POST, OPTIONS");
        return a;
    }
    if (reports && req.method == "POST") return Receive(req);
    if (reports) {
        auto a = Line(405, "This address takes fuel reports sent with POST");
        a.headers.emplace_back("Allow", "POST, OPTIONS");
        return a;
    }
    if (req.method != "GET") return Line(404, "Not found: fuel reports go to " + kReportPath);
    if (req.path == "/") return Page(req);
    if (download) return Download();
    if (readable) return Export(req, json);
    return Line(404, "Not found");
}

HttpAnswer ReceiverService::Receive(const HttpRequest& req) {
    if (!IsFormContentType(req.contentType)) {
        return Line(415, "Report refused: it must be sent as application/x-www-form-urlencoded");
    }
    if (!req.bodyDeclared) return Line(411, "Report refused: it has no Content-Length");
    auto parsed = ParseReport(req.body);
    if (!parsed.report) return Line(400, parsed.refusal);
    HttpAnswer a{200, "text/plain", std::string(report_format::kAcceptanceToken)};
    try {
        const auto added = store_.Add({0, NowMs(), req.client, std::move(*parsed.report)});
        const auto id = std::to_string(added.id);
        // The pilot sees success either way: the flight is on the page once.
        a.note = added.repeats ? "the same flight as report " + id + " sent again (" +
                                     std::to_string(added.repeats) + " so far): not stored again"
                               : "stored as report " + id;
    } catch (const StoreError& e) {
        return Line(503, kNotStored, e.what());
    }
    return a;
}

HttpAnswer ReceiverService::Page(const HttpRequest& req) {
    auto filter = FilterOf(req);
    if (auto* bad = std::get_if<std::string>(&filter)) return Line(400, *bad);
    PageView v;
    v.filter = std::get<Filter>(filter);
    v.download = downloadPath_;
    try {
        // The same filter's count, without reading the reports again.
        v.aircraft = store_.ByAircraft(v.filter);
        for (const auto& a : v.aircraft) v.total += a.flights;
        const std::int64_t pages =
            std::max<std::int64_t>(1, (v.total + kRowsPerPage - 1) / kRowsPerPage);
        v.page = std::clamp<std::int64_t>(PageOf(req.Param("page")), 1, pages);
        v.rows = store_.List(v.filter, 0, (v.page - 1) * kRowsPerPage, kRowsPerPage);
    } catch (const StoreError& e) {
        return Line(503, kUnavailable, e.what());
    }
    return HttpAnswer{200, "text/html; charset=utf-8", RenderPage(v)};
}

// Read afresh for each request, so that the operator may replace the file while serving.
HttpAnswer ReceiverService::Download() const {
    std::ifstream in(pilotDownload_, std::ios::binary);
    std::ostringstream bytes;
    if (!in || !(bytes << in.rdbuf())) {
        return Line(503, "The pilot download cannot be read at the moment; try again later.",
                    pilotDownload_);
    }
    HttpAnswer a{200, "application/zip", std::move(bytes).str()};
    const auto name = std::filesystem::path(pilotDownload_).filename().string();
    a.headers.emplace_back("Content-Disposition", "attachment; filename=\"" + name + "\"");
    return a;
}

// Sent in batches as they are read, so that a large export is never held whole.
HttpAnswer ReceiverService::Export(const HttpRequest& req, bool json) {
    struct State {
        Filter filter;
        std::int64_t before = 0;  // the last id sent; 0 before the first batch
        bool ended = false;
    };
    auto filter = FilterOf(req);
    if (auto* bad = std::get_if<std::string>(&filter)) return Line(400, *bad);
    auto s = std::make_shared<State>(State{std::get<Filter>(filter)});
    const auto batch = [this, s, json] {
        std::string out;
        if (s->ended) return out;
        const auto rows = store_.List(s->filter, s->before, 0, kExportBatch);
        for (const auto& r : rows)
            out += json ? JsonRow(r, s->before == 0 && &r == &rows[0]) : CsvRow(r);
        if (!rows.empty()) s->before = rows.back().id;
        s->ended = rows.size() < kExportBatch;
        if (s->ended && json) out += kJsonClose;
        return out;
    };
    HttpAnswer a{200, json ? "application/json" : "text/csv; charset=utf-8",
                 json ? std::string(kJsonOpen) : CsvHeader()};
    try {
        a.body += batch();
    } catch (const StoreError& e) {
        return Line(503, kUnavailable, e.what());
    }
    if (!s->ended) a.more = batch;
    return a;
}

}  // namespace verlisk::receiver
