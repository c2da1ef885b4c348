#include "receiver/service.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

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

Filter FilterOf(const HttpRequest& req) {
    Filter f{req.Param("client"), req.Param("aircraft")};
    // Titles have "_" for every space; a filter typed with spaces finds them.
    std::replace(f.aircraft.begin(), f.aircraft.end(), ' ', '_');
    return f;
}

std::int64_t NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

}  // namespace

ReceiverService::ReceiverService(ReportStore& store, std::vector<std::string> trustedProxies,
                                 std::string pilotDownload)
    : store_(store),
      pilotDownload_(std::move(pilotDownload)),
      downloadPath_(pilotDownload_.empty() ? "" : DownloadPath(pilotDownload_)),
      server_([this](const HttpRequest& req) { return Route(req); }, std::move(trustedProxies)) {}

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
    if (req.method != "GET") return Line(404, "Not found: fuel reports go to /receiver.php");
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
    PageView v;
    v.filter = FilterOf(req);
    std::int64_t page = 1;
    const auto p = req.Param("page");
    std::from_chars(p.data(), p.data() + p.size(), page);
    v.page = std::clamp<std::int64_t>(page, 1, 1000000000);
    v.download = downloadPath_;
    try {
        v.total = store_.Count(v.filter);
        v.rows = store_.List(v.filter, 0, (v.page - 1) * kRowsPerPage, kRowsPerPage);
        v.aircraft = store_.ByAircraft(v.filter);
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
    auto s = std::make_shared<State>(State{FilterOf(req)});
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
