#include "receiver/pages.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <ctime>

namespace verlisk::receiver {
namespace {

// The shortest digits that read back as the same double, never in exponent form (which
// a spreadsheet may take for text): 100000, not 1e+05.
std::string Shortest(double v) {
    char buf[400];  // the longest fixed form of any double, 1e-308's, fits
    return std::string(buf, std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed).ptr);
}

std::string Fixed(double v, int decimals) {
    char buf[400];
    return std::string(
        buf, std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals).ptr);
}

// For the page's reader, digits in threes: 12,345.6 (the exports keep plain numbers). The
// page has no negative numbers.
std::string Grouped(const std::string& n) {
    const std::size_t end = std::min(n.find('.'), n.size());
    std::string out;
    for (std::size_t i = 0; i < n.size(); ++i) {
        if (i > 0 && i < end && (end - i) % 3 == 0) out += ',';
        out += n[i];
    }
    return out;
}
std::string Grouped(std::int64_t n) { return Grouped(std::to_string(n)); }
std::string Pph(double v) { return Grouped(Fixed(v, 1)); }

// 0 means the simulator did not give the figure.
std::string WeightCell(std::int32_t pounds) { return pounds ? Grouped(pounds) : "–"; }

constexpr char kHex[] = "0123456789ABCDEF";

std::string UrlEncode(std::string_view s) {
    std::string out;
    for (char c : s) {
        const auto b = static_cast<unsigned char>(c);
        const bool plain =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (plain || c == '-' || c == '_' || c == '.' || c == '~') {
            out += c;
        } else {
            out += '%';
            out += kHex[b >> 4];
            out += kHex[b & 15];
        }
    }
    return out;
}

// The filter's first and last days, YYYY-MM-DD, or "" for no bound.
std::string FromDay(const Filter& f) { return f.fromMs ? IsoTime(*f.fromMs).substr(0, 10) : ""; }
std::string ToDay(const Filter& f) {
    return f.untilMs ? IsoTime(*f.untilMs - kDayMs).substr(0, 10) : "";
}

// A link to the page (or an export) with the filter and a page.
std::string Link(std::string_view path, const Filter& f, std::int64_t page = 1) {
    std::string q;
    const auto add = [&](std::string_view key, std::string_view value) {
        if (value.empty()) return;
        q += q.empty() ? "?" : "&amp;";
        q += key;
        q += '=';
        q += UrlEncode(value);
    };
    add("client", f.clientId);
    add("noclient", f.emptyClient ? "1" : "");
    add("aircraft", f.aircraft);
    add("from", FromDay(f));
    add("to", ToDay(f));
    add("page", page > 1 ? std::to_string(page) : "");
    return std::string(path) + q;
}

// The filter narrowed to one client (none: the reports without an identifier) or aircraft.
Filter ForClient(Filter f, const std::string& clientId) {
    f.clientId = clientId;
    f.emptyClient = clientId.empty();
    return f;
}
Filter ForAircraft(Filter f, const std::string& aircraft) {
    f.aircraft = aircraft;
    return f;
}

// At most `max` characters (not bytes) of a UTF-8 text, "…" marking a cut.
std::string Shorten(const std::string& s, std::size_t max) {
    std::size_t chars = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80 && ++chars > max) {
            return s.substr(0, i) + "…";
        }
    }
    return s;
}

constexpr std::string_view kHead = R"(<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>Fuel reports</title>
<style>
body{font-family:system-ui,sans-serif;max-width:75rem;margin:0 auto;padding:0 1rem 2rem;color:#1d2329;background:#fff}
h1{font-size:1.5rem;margin:1rem 0 .5rem}h2{font-size:1.15rem;margin:1.2rem 0 .5rem}
form{display:flex;flex-wrap:wrap;gap:.6rem;align-items:flex-end}
label{display:flex;flex-direction:column;font-size:.85rem;gap:.2rem}
input,button{font:inherit;padding:.35rem .5rem}
a{color:#0b57a4}
svg{display:block;font-size:.85rem}
svg text{fill:#1d2329}svg rect{fill:#2f7bbf}svg a:hover rect{fill:#174f85}svg line{stroke:#c4ccd4}
.scroll{overflow-x:auto}
table{border-collapse:collapse;width:100%;font-size:.9rem}
th,td{text-align:left;padding:.4rem .5rem;border-bottom:1px solid #d8dde2;white-space:nowrap}
th{background:#f1f4f7}.n{text-align:right;font-variant-numeric:tabular-nums}
nav{display:flex;gap:1.5rem;margin:1rem 0}p{margin:.5rem 0}
</style></head><body>
<h1>Fuel reports</h1>
)";

void RenderFilter(std::string& out, const Filter& f) {
    const auto input = [&](const char* label, const char* attributes, const std::string& value) {
        out += std::string("<label>") + label + "<input " + attributes + " value=\"" +
               HtmlEscape(value) + "\"></label>";
    };
    out += R"(<form method="get" action="/">)";
    input("Client identifier", R"(name="client")", f.clientId);
    out += R"(<label>Without one<input type="checkbox" name="noclient" value="1")";
    out += f.emptyClient ? " checked></label>" : "></label>";
    input("Aircraft", R"(name="aircraft")", f.aircraft);
    input("From (UTC)", R"(type="date" name="from")", FromDay(f));
    input("To (UTC)", R"(type="date" name="to")", ToDay(f));
    out += R"(<button type="submit">Filter</button><a href="/">All reports</a></form>
)";
}

// The axis's tick spacing, 1, 2 or 5 times a power of ten for two to four steps up to
// `top`, and the decimals its labels need.
std::pair<double, int> TickStep(double top) {
    const int exponent = static_cast<int>(std::floor(std::log10(top / 4)));
    const double unit = std::pow(10.0, exponent), ratio = top / 4 / unit;
    return {unit * (ratio <= 1 ? 1 : ratio <= 2 ? 2 : ratio <= 5 ? 5 : 10), std::max(0, -exponent)};
}

// Drawn at the page's own text size (not scaled to the width) and a row per aircraft, so
// that the table starts on the first screen.
void RenderChart(std::string& out, const PageView& v) {
    out += "<h2>Fuel per hour by aircraft</h2>\n";
    if (v.aircraft.empty()) {
        out += "<p>No reports.</p>\n";
        return;
    }
    const std::size_t bars = std::min(v.aircraft.size(), kChartBars);
    double top = 0.1;  // an axis to 0.1 lb/h at least
    for (std::size_t i = 0; i < bars; ++i) top = std::max(top, v.aircraft[i].medianPph);
    const auto [step, decimals] = TickStep(top);
    const double axisTop = std::ceil(top / step - 1e-9) * step;
    // Names, then the bars, then the figures; the axis under them.
    constexpr int kBarX = 230, kBarWidth = 360, kFiguresX = kBarX + kBarWidth + 14, kRow = 20;
    const int axisY = kRow * static_cast<int>(bars) + 4;
    const auto x = [&](double pph) { return kBarX + pph / axisTop * kBarWidth; };
    out += "<div class=\"scroll\"><svg width=\"960\" height=\"" + std::to_string(axisY + 22) +
           "\" role=\"img\" aria-label=\"Median fuel per hour by aircraft\">\n";
    for (int k = 0; k * step <= axisTop * (1 + 1e-9); ++k) {
        const std::string at = Fixed(x(k * step), 1);
        out += "<line x1=\"" + at + "\" y1=\"0\" x2=\"" + at + "\" y2=\"" + std::to_string(axisY) +
               "\"/><text x=\"" + at + "\" y=\"" + std::to_string(axisY + 16) +
               "\" text-anchor=\"middle\">" + Grouped(Fixed(k * step, decimals)) + "</text>\n";
    }
    out += "<text x=\"" + std::to_string(kFiguresX + 16) + "\" y=\"" + std::to_string(axisY + 16) +
           "\">lb/h</text>\n";
    for (std::size_t i = 0; i < bars; ++i) {
        const auto& a = v.aircraft[i];
        const std::string y = std::to_string(kRow * static_cast<int>(i) + 15);
        const std::string figures = "median " + Pph(a.medianPph) + " · mean " + Pph(a.meanPph) +
                                    " lb/h · " + Grouped(a.flights) +
                                    (a.flights == 1 ? " flight" : " flights");
        out += "<a href=\"" + Link("/", ForAircraft(v.filter, a.aircraft)) + "\"><title>" +
               HtmlEscape(a.aircraft) + ": " + figures + "</title><text x=\"0\" y=\"" + y + "\">" +
               HtmlEscape(Shorten(a.aircraft, 28)) + "</text><rect x=\"" + std::to_string(kBarX) +
               "\" y=\"" + std::to_string(kRow * static_cast<int>(i) + 4) + "\" width=\"" +
               Fixed(std::max(1.0, x(a.medianPph) - kBarX), 1) + "\" height=\"13\"/><text x=\"" +
               std::to_string(kFiguresX) + "\" y=\"" + y + "\">" + figures + "</text></a>\n";
    }
    out += "</svg></div>\n";
    if (v.aircraft.size() > bars) {
        out += "<p>The " + std::to_string(bars) + " with the highest median of " +
               Grouped(static_cast<std::int64_t>(v.aircraft.size())) + " aircraft.</p>\n";
    }
}

void RenderTable(std::string& out, const PageView& v) {
    const std::int64_t first = (v.page - 1) * kRowsPerPage + 1;
    const std::int64_t last = first + static_cast<std::int64_t>(v.rows.size()) - 1;
    out += "<h2>Flights</h2>\n<p>";
    out += v.rows.empty() ? "None"
                          : Grouped(first) + "–" + Grouped(last) + " of " + Grouped(v.total) +
                                ", newest first";
    out += ". Download as <a href=\"" + Link("/reports.csv", v.filter) +
           "\">CSV</a> or <a href=\"" + Link("/reports.json", v.filter) + "\">JSON</a>.</p>\n";
    out +=
        R"(<div class="scroll"><table><thead><tr><th>Received (UTC)</th><th>Client</th><th>Aircraft</th><th class="n">Fuel per hour (lb)</th><th class="n">Zero-fuel weight (lb)</th><th class="n">Tank capacity (lb)</th><th>Version</th></tr></thead>
<tbody>
)";
    for (const auto& s : v.rows) {
        const Report& r = s.report;
        std::string when = IsoTime(s.receivedMs);
        when[10] = ' ';
        when.pop_back();
        out += "<tr><td>" + when + "</td><td><a href=\"" +
               Link("/", ForClient(v.filter, r.clientId)) + "\">" +
               (r.clientId.empty() ? "(none)" : HtmlEscape(r.clientId)) +
               "</a></td><td><a href=\"" + Link("/", ForAircraft(v.filter, r.aircraft)) + "\">" +
               HtmlEscape(r.aircraft) + "</a></td><td class=\"n\">" + Pph(r.pph) +
               "</td><td class=\"n\">" + WeightCell(r.zfw) + "</td><td class=\"n\">" +
               WeightCell(r.mtank) + "</td><td>" + HtmlEscape(r.version) + "</td></tr>\n";
    }
    out += "</tbody></table></div>\n<nav>";
    if (v.page > 1) out += "<a href=\"" + Link("/", v.filter, v.page - 1) + "\">← Newer</a>";
    if (last < v.total) out += "<a href=\"" + Link("/", v.filter, v.page + 1) + "\">Older →</a>";
    out += "</nav>\n";
}

// A cell a spreadsheet would take for a formula (=, +, -, @, or a tab or CR before one)
// is marked as text with a leading apostrophe.
std::string CsvField(std::string_view s) {
    const bool formula =
        !s.empty() && std::string_view("=+-@\t\r").find(s[0]) != std::string_view::npos;
    std::string text = formula ? "'" : "";
    text += s;
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + '"';
}

std::string JsonString(std::string_view s) {
    std::string out = "\"";
    for (char c : s) {
        const auto b = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (b < 0x20) {
            out += "\\u00";
            out += kHex[b >> 4];
            out += kHex[b & 15];
        } else {
            out += c;
        }
    }
    return out + '"';
}

}  // namespace

std::string HtmlEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string IsoTime(std::int64_t ms) {
    const std::time_t t = static_cast<std::time_t>(ms / 1000);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return buf;
}

std::string RenderPage(const PageView& v) {
    std::string out(kHead);
    if (!v.download.empty())
        out += "<p><a href=\"" + v.download + "\" download>Download Verlisk for pilots</a></p>\n";
    RenderFilter(out, v.filter);
    RenderChart(out, v);
    RenderTable(out, v);
    out += "</body></html>\n";
    return out;
}

// With a UTF-8 byte order mark, by which spreadsheets tell the encoding of non-ASCII titles.
std::string CsvHeader() {
    return "\xEF\xBB\xBFid,received,client_id,aircraft,pph,zfw,mtank,version\r\n";
}

std::string CsvRow(const StoredReport& s) {
    const Report& r = s.report;
    return std::to_string(s.id) + ',' + IsoTime(s.receivedMs) + ',' + CsvField(r.clientId) + ',' +
           CsvField(r.aircraft) + ',' + Shortest(r.pph) + ',' + std::to_string(r.zfw) + ',' +
           std::to_string(r.mtank) + ',' + CsvField(r.version) + "\r\n";
}

std::string JsonRow(const StoredReport& s, bool first) {
    const Report& r = s.report;
    return std::string(first ? "\n" : ",\n") + "{\"id\":" + std::to_string(s.id) +
           ",\"received\":\"" + IsoTime(s.receivedMs) +
           "\",\"client_id\":" + JsonString(r.clientId) +
           ",\"aircraft\":" + JsonString(r.aircraft) + ",\"pph\":" + Shortest(r.pph) +
           ",\"zfw\":" + std::to_string(r.zfw) + ",\"mtank\":" + std::to_string(r.mtank) +
           ",\"version\":" + JsonString(r.version) + "}";
}

}  // namespace verlisk::receiver
