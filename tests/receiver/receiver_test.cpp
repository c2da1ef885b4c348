// The report receiver: its parser, page and store on their own, and the built receiver on
// loopback as a pilot's program, a browser, a script or a hostile client meets it.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gmock/gmock.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <ranges>
#include <regex>
#include <thread>
#include <variant>

#include "common/text.h"
#include "receiver/http_server.h"
#include "receiver/options.h"
#include "receiver/pages.h"
#include "receiver/report.h"
#include "receiver/sql.h"
#include "receiver/store.h"

namespace verlisk::receiver::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using namespace std::chrono_literals;

// The example report, or the report with the fields given changed.
std::string Body(const std::string& tl = "Sample_Aircraft", const std::string& pph = "52.5",
                 const std::string& zfw = "1950", const std::string& mtank = "336",
                 const std::string& client = "abcd2345", const std::string& version = "2.0.27") {
    return "TL=" + tl + "&PPH=" + pph + "&VERSION=" + version + "&ZFW=" + zfw + "&MTANK=" + mtank +
           "&CLIENTID=" + client;
}
const std::string kExample = Body(), kOk = "OK+OK+OK", kForm = "application/x-www-form-urlencoded";
const std::string kNotStored =
    "Report not stored: the receiver's database is unavailable, try again later";

// A request: `typeAndMore` is the Content-Type and any header lines after it; an empty `length`
// sends no Content-Length. Without a body the client asks for the end.
std::string Raw(const std::string& body, const std::string& start = "POST /receiver.php",
                const std::string& typeAndMore = kForm, const char* length = nullptr) {
    const std::string n = length ? length : std::to_string(body.size());
    return start + " HTTP/1.1\r\nHost: x\r\nContent-Type: " + typeAndMore + "\r\n" +
           (n.empty() ? "" : "Content-Length: " + n + "\r\n") +
           (body.empty() ? "Connection: close\r\n" : "") + "\r\n" + body;
}

std::size_t Occurrences(const std::string& text, const std::string& what) {
    return text.empty() ? 0 : std::ranges::distance(std::views::split(text, what)) - 1;
}

// A shell command's exit status and what it printed on stdout.
std::pair<int, std::string> Shell(const std::string& command) {
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    char buf[4096];
    for (std::size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    return {WEXITSTATUS(pclose(p)), out};
}

// Whether `done` comes true within 10 s.
bool Eventually(const std::function<bool()>& done) {
    for (int i = 0; i < 500 && !done(); ++i) std::this_thread::sleep_for(20ms);
    return done();
}

struct TempDir {
    std::string path =
        mkdtemp((std::filesystem::temp_directory_path() / "verlisk-test.XXXXXX").string().data());
    ~TempDir() { std::filesystem::remove_all(path); }
};

// A connection to the loopback port from the loopback address given.
int Connect(int port, const std::string& from = "127.0.0.1") {
    const int sock = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{AF_INET, 0, {}, {}};
    inet_pton(AF_INET, from.c_str(), &addr.sin_addr);
    bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    addr = {AF_INET, htons(static_cast<uint16_t>(port)), {htonl(INADDR_LOOPBACK)}, {}};
    EXPECT_EQ(connect(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0) << from;
    return sock;
}

// Sends, and reads until the receiver closes or `waitMs` pass without a byte; whether it closed.
std::pair<std::string, bool> Exchange(int sock, const std::string& bytes, int waitMs = 20000) {
    for (ssize_t r = 0, at = 0; at < std::ssize(bytes) && r >= 0; at += r)
        r = send(sock, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
    const timeval wait{waitMs / 1000, waitMs % 1000 * 1000};
    setsockopt(sock, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    std::string in;
    char buf[4096];
    ssize_t r;
    while (waitMs > 0 && (r = recv(sock, buf, sizeof buf, 0)) > 0) in.append(buf, r);
    return {in, waitMs > 0 && (r == 0 || errno == ECONNRESET)};
}

// The built verlisk-receiver on a free loopback port, its log kept in a file.
class Receiver {
  public:
    explicit Receiver(const std::string& db, const std::string& options = "") {
        const auto command = std::string(VERLISK_RECEIVER_BINARY) + " --listen 127.0.0.1:0 --db '" +
                             db + "' " + options + " 2>" + dir_.path + "/log";
        if ((pid = fork()) == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);  // none left behind by a test that is killed
            // Under a shell's usual soft limit, which the receiver must raise for a crowd.
            execl("/bin/sh", "sh", "-c", ("ulimit -Sn 1024 2>&-; exec " + command).c_str(),
                  nullptr);
            _exit(127);
        }
        const std::string mark = "listening on http://127.0.0.1:";
        if (!Logged(mark)) throw std::runtime_error("the receiver did not start: " + Log());
        port = std::stoi(Log().substr(Log().find(mark) + mark.size()));
    }
    ~Receiver() {
        if (pid > 0) Stop(SIGKILL);
    }

    // The exit status, or 128 + the signal that ended it.
    int Stop(int signal = SIGTERM) {
        kill(pid, signal);
        int status = 0;
        waitpid(pid, &status, 0);
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    // The answer's body, as the program posts a report (its header line ending in a blank).
    std::string Post(const std::string& body, const std::string& from = "127.0.0.1") const {
        const int sock = Connect(port, from);
        const auto in =
            Exchange(sock, Raw(body, "POST /receiver.php", kForm + " \r\nConnection: close")).first;
        close(sock);
        return in.substr(std::min(in.size(), in.find("\r\n\r\n") + 4));
    }
    // The body (and the head with "-i"), as a download tool reads it, chunks joined.
    std::string Get(const std::string& p, const std::string& o = "") const {
        return Shell("curl -s " + o + " '127.0.0.1:" + std::to_string(port) + p + "'").second;
    }

    std::string Log() const { return Shell("cat " + dir_.path + "/log 2>&-").second; }
    // Whether the log comes to match the pattern: a line is written just after its answer.
    ::testing::AssertionResult Logged(const std::string& pattern) const {
        if (Eventually([&] { return std::regex_search(Log(), std::regex(pattern)); }))
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "no /" << pattern << "/ in:\n" << Log();
    }

    int port = 0;
    pid_t pid = -1;

  private:
    TempDir dir_;
};

// The same cases against a SQLite file and, in the live tests, the PostgreSQL cluster emptied.
class OnEachDatabase : public ::testing::TestWithParam<bool> {
  protected:
    void SetUp() override {
        const char* state = std::getenv("VERLISK_PG_STATE");
        if (GetParam() && !state) GTEST_SKIP() << "PostgreSQL cases run in the live tests";
        db_ = dir_.path + "/reports.sqlite";
        if (!GetParam()) return;
        std::ifstream(std::string(state) + "/conninfo") >> db_;
        OpenPostgres(db_)->Session(true)->Run(
            "DROP TABLE IF EXISTS reports, removed_reports, receiver_schema");
    }
    void Cluster(const std::string& what) {
        Shell(VERLISK_PG_CLUSTER " " + what + " " + std::getenv("VERLISK_PG_STATE"));
    }
    TempDir dir_;
    std::string db_;
    std::unique_ptr<Receiver> receiver_;  // started by the cases that need it
};

// The report `Body` with the same arguments sends; a body and the report it gives, or why
// it is refused.
Report Sent(const std::string& tl, double pph, std::int32_t zfw = 1950, std::int32_t mtank = 336,
            const std::string& client = "abcd2345") {
    return {tl, pph, "2.0.27", zfw, mtank, client};
}

using Outcome = std::variant<Report, std::string>;
TEST(ParseReport, AcceptsOrRefuses) {
    const std::string t256(256, 'x'), c64(64, 'c'),
        zfw = "ZFW is out of range (0 to 2000000 pounds)";
    // clang-format off
    std::vector<std::pair<std::string, Outcome>> cases = {
        {kExample, Sent("Sample_Aircraft", 52.5)}, {Body("A&B=C_&_D=&PPH=1"), Sent("A&B=C_&_D=&PPH=1", 52.5)},
        {Body("X", "52,25", "0", "0", "a&PPH=2&b=c"), Sent("X", 52.25, 0, 0, "a&PPH=2&b=c")}, {Body("A+B%20C", "1E-05", "1", "2", ""), Sent("A+B%20C", 1e-5, 1, 2, "")},
        {Body("Caravelle \xE9\x80\x9F\xA0", "1", "1", "1", "\x9C"), Sent("Caravelle é€Ÿ\xC2\xA0", 1, 1, 1, "œ")},
        {Body(t256, "1e5", "2000000", "2000000", c64), Sent(t256, 100000, 2000000, 2000000, c64)},
        {"TL=X&VERSION=2&ZFW=1&MTANK=1&CLIENTID=", "PPH is missing"}, {"TL=X&VERSION=2&PPH=1&ZFW=1&MTANK=1&CLIENTID=", "VERSION is missing or out of order"},
        {"TL=X&PPH=1&VERSION=2&ZFW=1&MTANK=1", "CLIENTID is missing or out of order"}, {Body(""), "the aircraft title is empty"},
        {Body(std::string(257, 'x')), "the aircraft title is longer than 256 characters"}, {Body("X", "1", "1", "1", "a", ""), "VERSION is empty"},
        {Body("X", "1", "99999999999"), zfw}, {Body("X", "1", "-1"), zfw}, {Body("X", "1", "12.5"), "ZFW is not a whole number"},
        {Body("X", "1", "1", "1", "abc\r\n"), "the client identifier holds a control character"},
    };
    for (const char* b : {"\x81", "\x8D", "\x8F", "\x90", "\x9D"})  // unassigned in cp1252
        cases.push_back({Body(std::string("X") + b), "the aircraft title holds a control character"});
    for (const char* pph : {"nan", "inf", "1,234.5", "", "-."}) cases.push_back({Body("X", pph), "PPH is not a number"});
    for (const char* pph : {"1e400", "1E+15", "0", "-5"})
        cases.push_back({Body("X", pph), "PPH is out of range (above 0, at most 100000 pounds per hour)"});
    // clang-format on
    for (const auto& [body, expected] : cases) {
        const auto out = ParseReport(body);
        const auto* refusal = std::get_if<std::string>(&expected);
        EXPECT_EQ(out.report ? Outcome(*out.report) : Outcome(out.refusal),
                  refusal ? Outcome("Report refused: " + *refusal) : expected)
            << body;
    }
}

const StoredReport kRow{
    7, 1764979200123, "x", {"A,\"B\" <&>'", 52.5, "2.0.27", 1950, 0, "c\x1f\\"}};

TEST(Pages, ExportRowsEscapingAndThePage) {
    EXPECT_EQ(CsvRow(kRow),
              "7,2025-12-06T00:00:00Z,c\x1f\\,\"A,\"\"B\"\" <&>'\",52.5,1950,0,2.0.27\r\n");
    // Cells a spreadsheet would run as formulas; numbers in full and exact (the byte order
    // mark is checked on the wire).
    const StoredReport formulas{8, 0, "x", {"=1+1", 1234.56789012345, "-v", 0, 0, "@c"}};
    EXPECT_EQ(CsvRow(formulas), "8,1970-01-01T00:00:00Z,'@c,'=1+1,1234.56789012345,0,0,'-v\r\n");
    EXPECT_THAT(JsonRow({8, 0, "x", {"x", 100000, "v", 0, 0, ""}}, true),
                HasSubstr(",\"pph\":100000,"));
    EXPECT_EQ(JsonRow(kRow, false),
              ",\n{\"id\":7,\"received\":\"2025-12-06T00:00:00Z\",\"client_id\":\"c\\u001F\\\\\","
              "\"aircraft\":\"A,\\\"B\\\" "
              "<&>'\",\"pph\":52.5,\"zfw\":1950,\"mtank\":0,\"version\":\"2.0.27\"}");
    EXPECT_EQ(HtmlEscape("<a href='x'>&\""), "&lt;a href=&#39;x&#39;&gt;&amp;&quot;");

    // The widest bar, its title cut; thousands grouped; no identifier; the day range kept.
    // clang-format off
    const StoredReport none{9, 0, "x", {"B", 12345.6, "v", 1950, 2000000, ""}};
    PageView view{{"<\"az09AZ-_.~\">", "", false, 1764979200000, 1765065600000}, 3, 12345, {kRow, none}, {{"A" + std::string(59, 'x'), 3, 7221, 5300}, {"Bbbbbbbbbbbbbbbbbbbbbbbbbbbb", 1, 0.8, 0.8}}, "/d/V.zip"};
    for (const char* part : {"<h1>Fuel reports</h1>\n<p><a href=\"/d/V.zip\" download>Download Verlisk for pilots</a></p>\n<form method=\"get\" action=\"/\"><label>Client identifier<input name=\"client\" value=\"&lt;&quot;az09AZ-_.~&quot;&gt;\"></label>",
             "name=\"aircraft\" value=\"\"></label><label>From (UTC)<input type=\"date\" name=\"from\" value=\"2025-12-06\"></label><label>To (UTC)<input type=\"date\" name=\"to\" value=\"2025-12-06\"></label>",
             "<h2>Fuel per hour by aircraft</h2>\n<div class=\"scroll\"><svg width=\"960\" height=\"66\"",
             ">Axxxxxxxxxxxxxxxxxxxxxxxxxxx…</text><rect x=\"230\" y=\"4\" width=\"318.0\" height=\"13\"/><text x=\"604\" y=\"15\">median 5,300.0 · mean 7,221.0 lb/h · 3 flights</text></a>",
             "width=\"1.0\" height=\"13\"/><text x=\"604\" y=\"35\">median 0.8 · mean 0.8 lb/h · 1 flight</text></a>\n</svg></div>\n<h2>Flights</h2>", "<tbody>\n<tr><td>2025-12-06 00:00:00</td>", "<text x=\"230.0\" y=\"60\" text-anchor=\"middle\">0</text>",
             "<line x1=\"470.0\" y1=\"0\" x2=\"470.0\" y2=\"44\"/><text x=\"470.0\" y=\"60\" text-anchor=\"middle\">4,000</text>\n<line x1=\"590.0\" y1=\"0\" x2=\"590.0\" y2=\"44\"/><text x=\"590.0\" y=\"60\" text-anchor=\"middle\">6,000</text>\n<text x=\"620\" y=\"60\">lb/h<",
             "<p>201–202 of 12,345, newest first. Download as <a href=\"/reports.csv?client=%3C%22az09AZ-_.~%22%3E&amp;from=2025-12-06&amp;to=2025-12-06\">CSV</a>",
             "<td><a href=\"/?noclient=1&amp;from=2025-12-06&amp;to=2025-12-06\">(none)</a></td>", "<td class=\"n\">12,345.6</td><td class=\"n\">1,950</td><td class=\"n\">2,000,000</td>",
             "<nav><a href=\"/?client=%3C%22az09AZ-_.~%22%3E&amp;from=2025-12-06&amp;to=2025-12-06&amp;page=2\">← Newer</a><a href=\"/?client=%3C%22az09AZ-_.~%22%3E&amp;from=2025-12-06&amp;to=2025-12-06&amp;page=4\">Older",
             "<a href=\"/?client=%3C%22az09AZ-_.~%22%3E&amp;aircraft=Bbbbbbbbbbbbbbbbbbbbbbbbbbbb&amp;from=2025-12-06&amp;to=2025-12-06\"><title>Bbbbbbbbbbbbbbbbbbbbbbbbbbbb: median 0.8 · mean 0.8 lb/h · 1 flight</title><text x=\"0\" y=\"35\">Bbbbbbbbbbbbbbbbbbbbbbbbbbbb</text>"})
        EXPECT_THAT(RenderPage(view), HasSubstr(part));
    // Past the bars the chart has room for, a note; the last page has no older one.
    view.aircraft.resize(kChartBars + 2, {"C", 1, 1, 0.5});
    view = {{"", "", true}, 124, 12302, view.rows, view.aircraft, ""};
    EXPECT_EQ(Occurrences(RenderPage(view), "<rect "), kChartBars);
    EXPECT_THAT(RenderPage(view), Not(HasSubstr("Download Verlisk")));
    for (const char* part : {"<p>The 20 with the highest median of 22 aircraft.</p>", "name=\"noclient\" value=\"1\" checked></label>",
             "<p>12,301–12,302 of 12,302, newest first.", "<nav><a href=\"/?noclient=1&amp;page=123\">← Newer</a></nav>"})
        EXPECT_THAT(RenderPage(view), HasSubstr(part));
    view.aircraft.resize(kChartBars);  // as many as it has room for: no note
    EXPECT_THAT(RenderPage(view), Not(HasSubstr("highest median")));
    // The axis: two to four steps of 1, 2 or 5 times a power of ten.
    for (const auto& [top, ticks] : std::vector<std::pair<double, std::string>>{{400, "0 100 200 300 400 "}, {450, "0 200 400 600 "}, {800, "0 200 400 600 800 "},
             {1000, "0 500 1,000 "}, {2000, "0 500 1,000 1,500 2,000 "}, {2400, "0 1,000 2,000 3,000 "}, {0.8, "0.0 0.2 0.4 0.6 0.8 "}}) {
        view.aircraft = {{"X", 1, top, top}};
        const auto chart = RenderPage(view);
        const std::regex label("middle\">([^<]*)<");
        std::string got;
        for (std::sregex_iterator m(chart.begin(), chart.end(), label), end; m != end; ++m) got += (*m)[1].str() + " ";
        EXPECT_EQ(got, ticks) << top;
    }
    view.aircraft.clear();
    EXPECT_THAT(RenderPage(view), HasSubstr("<h2>Fuel per hour by aircraft</h2>\n<p>No reports.</p>"));
    // clang-format on
}

StoredReport Flight(std::string aircraft, std::string client, double pph, std::int64_t ms = 7) {
    return {
        0, ms, "192.0.2.7", {std::move(aircraft), pph, "2.0.27", 1950, 2000000, std::move(client)}};
}

TEST_P(OnEachDatabase, KeepsEveryFieldAndFiltersCountsAndSums) {
    const auto store = OpenStore({db_});
    const std::int64_t dec6 = 1764979200000, dec7 = dec6 + 86400000, dec8 = dec7 + 86400000;
    // clang-format off
    const std::vector<StoredReport> flights = {Flight("Boeing_737-800", "alpha", 5000), Flight("Boeing_737-800", "beta", 5400), Flight("Airbus_A320", "alpha", 4800),
        Flight("Caravelle_é \"<&>\"", "", 1234.56789012345), Flight("Boeing_747-400", "beta", 0.1, dec6 + 123), Flight("Boeing_737-800", "gamma", 100000, dec6 - 1),
        Flight("Boeing_737-800", "", 5200, dec8 - 1), Flight("Airbus_A320", "", 5200, dec7), Flight("Airbus_A320", "", 9000, dec8), Flight("Boeing_737-800", "delta", 6000, dec8 + 5)};
    for (const auto& f : flights) store->Add(f);
    // A filter, the flights it gives newest first, and their summary by aircraft: flights,
    // mean and median (the middle one, or the middle two's mean), the highest median first, then by name.
    using Case = std::tuple<Filter, std::vector<std::size_t>, std::vector<AircraftSummary>>;
    const AircraftSummary caravelle{"Caravelle_é \"<&>\"", 1, 1234.56789012345, 1234.56789012345};
    const std::vector<Case> cases = {
        {{}, {9, 8, 7, 6, 5, 4, 3, 2, 1, 0}, {{"Boeing_737-800", 5, 24320, 5400}, {"Airbus_A320", 3, 19000.0 / 3, 5200}, caravelle, {"Boeing_747-400", 1, 0.1, 0.1}}},
        {{"alpha", ""}, {2, 0}, {{"Boeing_737-800", 1, 5000, 5000}, {"Airbus_A320", 1, 4800, 4800}}},
        {{"", "boeing"}, {9, 6, 5, 4, 1, 0}, {{"Boeing_737-800", 5, 24320, 5400}, {"Boeing_747-400", 1, 0.1, 0.1}}},
        {{"beta", "737"}, {1}, {{"Boeing_737-800", 1, 5400, 5400}}}, {{"", "cARAVELLE_É \""}, {3}, {caravelle}},
        {{"alph", ""}, {}, {}}, {{"", "Zirbus"}, {}, {}}, {{"", "É"}, {3}, {caravelle}},
        {{"", "", true}, {8, 7, 6, 3}, {{"Airbus_A320", 2, 7100, 7100}, {"Boeing_737-800", 1, 5200, 5200}, caravelle}},
        {{"", "", false, dec6, dec8}, {7, 6, 4}, {{"Airbus_A320", 1, 5200, 5200}, {"Boeing_737-800", 1, 5200, 5200}, {"Boeing_747-400", 1, 0.1, 0.1}}},
        {{"", "", false, {}, dec6}, {5, 3, 2, 1, 0}, {{"Boeing_737-800", 3, 36800, 5400}, {"Airbus_A320", 1, 4800, 4800}, caravelle}}, {{"", "", false, dec8}, {9, 8}, {{"Airbus_A320", 1, 9000, 9000}, {"Boeing_737-800", 1, 6000, 6000}}},
    };
    // clang-format on
    for (const auto& [filter, picked, summary] : cases) {
        SCOPED_TRACE(filter.clientId + "/" + filter.aircraft);
        const auto rows = store->List(filter, 0, 0, 100);
        ASSERT_EQ(rows.size(), picked.size());
        for (std::size_t i = 0; i < rows.size(); ++i) {
            auto expected = flights[picked[i]];
            expected.id = rows[i].id;
            EXPECT_EQ(rows[i], expected);
            EXPECT_LT(rows[i].id, i ? rows[i - 1].id : INT64_MAX);
        }
        EXPECT_EQ(store->Count(filter), static_cast<std::int64_t>(picked.size()));
        EXPECT_EQ(store->ByAircraft(filter), summary);
    }
}

TEST_P(OnEachDatabase, OneFlightOneRowRemoveAndRestore) {
    // The first receiver's schema (no repeats, nothing removed): one brings it up to date.
    const auto old = GetParam() ? OpenPostgres(db_) : OpenSqlite(db_, false);
    // clang-format off
    for (const auto& sql : {"CREATE TABLE reports (id " + std::string(old->Dialect().idColumn) + ", received_ms BIGINT NOT NULL, sender TEXT NOT NULL, client_id TEXT NOT NULL, aircraft TEXT NOT NULL, pph " + old->Dialect().realType + " NOT NULL, version TEXT NOT NULL, zfw INTEGER NOT NULL, mtank INTEGER NOT NULL)",
                            std::string("CREATE INDEX reports_by_client ON reports (client_id, id)"), std::string("CREATE TABLE receiver_schema (version INTEGER NOT NULL)"), std::string("INSERT INTO receiver_schema VALUES (1)")})
        old->Session(true)->Run(sql);
    const auto store = OpenStore({db_}), other = OpenStore({db_});  // two receivers
    const auto at = [](std::int64_t ms, std::string client = "c", std::string aircraft = "A", std::int32_t zfw = 1950, std::int32_t mtank = 336) {
        return StoredReport{0, 1764979200000 + ms, "192.0.2.7", {aircraft, 50, "2.0.27", zfw, mtank, client}};
    };
    // A report and the row of this table it repeats (-1: stored anew), with its count so far.
    const std::vector<std::tuple<StoredReport, int, int>> cases = {{at(0), -1, 0}, {at(599999), 0, 1}, {at(600000), -1, 0}, {at(600001), 2, 1}, {at(1, "d"), -1, 0}, {at(2, "c", "B"), -1, 0},
        {at(3, "c", "A", 1), -1, 0}, {at(4, "c", "A", 1950, 1), -1, 0}, {at(5, ""), -1, 0}, {at(6, ""), -1, 0}, {at(300000, "C"), -1, 0}};
    // clang-format on
    std::vector<Added> got;
    for (const auto& [report, repeats, count] : cases) {
        got.push_back(store->Add(report));
        const auto expected = repeats < 0 ? got.back().id : got[repeats].id;
        EXPECT_EQ(got.back(), (Added{expected, count})) << got.size();
        EXPECT_TRUE(repeats >= 0 || got.size() == 1 || got.back().id > got[got.size() - 2].id);
    }
    EXPECT_EQ(store->Count({}), 9);
    if (!GetParam()) {  // a report that fails to be stored leaves no transaction open
        old->Session(true)->Run(
            "CREATE TRIGGER no_x BEFORE INSERT ON reports WHEN NEW.aircraft = 'X' BEGIN SELECT "
            "RAISE(ABORT, 'refused'); END");
        EXPECT_THROW(store->Add(at(8, "c", "X")), StoreError);
        EXPECT_EQ(store->Add(at(8, "x")).repeats, 0);
    }
    for (int i = 0; i < 10; ++i) {  // the same report at the same moment at both receivers
        std::vector<Added> both(2);
        std::thread t([&] { both[1] = other->Add(at(7, "twin" + std::to_string(i))); });
        both[0] = store->Add(at(7, "twin" + std::to_string(i)));
        t.join();
        EXPECT_EQ(both[0].id, both[1].id);
        EXPECT_EQ(both[0].repeats + both[1].repeats, 1);
    }
    const auto first = store->List({"c", "A"}, 0, 0, 100).back();
    EXPECT_TRUE(store->Remove(first.id, "bogus", 9));
    EXPECT_FALSE(other->Remove(first.id, "again", 9));
    for (const bool removed : {true, false}) {
        EXPECT_EQ(store->Count({"c", ""}), removed ? 4 : 5);
        EXPECT_EQ(store->ByAircraft({"c", "A"}).at(0).flights, removed ? 3 : 4);
        EXPECT_EQ(store->List({"c", "A"}, 0, 0, 100).back() == first, !removed);
        EXPECT_EQ(other->Restore(first.id), removed);
    }
    EXPECT_FALSE(store->Remove(999999, "none such", 9) || store->Restore(999999));
    if (GetParam()) return;
    // 3,000 reports write some 7,000 pages to the log; copied into the file from 1,000 on, it
    // is started afresh rather than grow (its length in pages: the 5th word of its index).
    const auto logged = [&] {
        std::uint32_t pages = 0;
        std::ifstream(db_ + "-shm").seekg(16).read(reinterpret_cast<char*>(&pages), 4);
        return pages;
    };
    for (int i = 0; i < 3500 && (i < 3000 || logged() >= 1000); ++i) {
        if (i >= 3000) std::this_thread::sleep_for(10ms);  // a slow machine's copy
        store->Add(at(i, ""));
    }
    EXPECT_LT(logged(), 1000u);
}

const std::string kTooLarge = "Report refused: it is larger than 64 KiB";

// Each row a client (side by side, ~12 s): what it sends, pauses (ms), a half-close (0), "@"
// its row's letter; its answers' statuses, "closed" by the receiver, "stored N"; a pattern.
struct Hostile {
    std::vector<std::variant<std::string, int>> script;
    std::string outcome, pattern;
    std::string from = "127.0.0.1";
};

TEST(Wire, HostileAndOrdinaryClients) {
    TempDir dir;
    const Receiver receiver(dir.path + "/r.sqlite", "--trust-proxy 127.0.0.3");
    const std::string get = "GET / HTTP/1.1\r\nHost: x\r\n", closing = "Connection: close\r\n\r\n";
    const std::string post = "POST /receiver.php HTTP/1.1\r\nHost: x\r\nContent-Type: " + kForm;
    const auto body = Body("Sample_Aircraft", "1", "1", "1", "row@");
    const auto length = "\r\nContent-Length: " + std::to_string(body.size());
    const auto row = [](std::size_t i) { return "row" + std::string(1, char('A' + i)); };
    // clang-format off
    const auto report = [&](const std::string& more = "") { return post + more + length + "\r\n\r\n" + body; };
    const auto fields = [](int n, std::string s = "") { while (n--) s += "X: a\r\n"; return s; };
    const std::vector<Hostile> rows = {
        // Slow and idle clients: a head within 10 s however it trickles in, a body within 10 s, 5 s idle.
        {{"P", 4000, "OS", 4000, "T /", 2500, "x"}, "408 closed", "its head took over 10 s$"},
        {{report().substr(0, 170), 10500, body}, "408 closed", "body took over 10 s$"},
        {{10500}, "closed", "^$"},
        {{report(), 5500}, "200 closed stored 1", "OK\\+OK\\+OK$"},
        {{report(), 4000, report(), 4000, report(), 1000, "GET / HTTP/1.1\r\n", 2000, "Host: x\r\n" + closing}, "200 200 200 200 closed stored 1", "</html>\n$"},
        // Heads of 8 KiB and 100 fields at most; pipelined or half-closed clients answered.
        {{get + "X: " + std::string(9000, 'a') + "\r\n\r\n"}, "431 closed", "over 8 KiB$"},
        {{get + fields(100) + "\r\n"}, "431 closed", "over 100 fields$"},
        {{get + fields(98) + closing}, "200 closed", "</html>\n$"},
        {{report() + report() + report() + get + closing}, "200 200 200 200 closed stored 1", "OK\\+OK\\+OKHTTP/1.1 200 OK\r\n[\\s\\S]*</html>\n$"},
        {{report(), 0}, "200 closed stored 1", "OK\\+OK\\+OK$"},
        {{report().substr(0, 150), 0}, "400 closed", "it arrived incomplete$"},
        {{get + "Ho", 0}, "400 closed", "it arrived incomplete$"},
        // Lengths in conflict, repeated, beside chunks; bad or oversized chunks; Range ignored.
        {{post + "\r\nContent-Length: 5" + length + "\r\n\r\n" + body}, "400 closed", "not valid HTTP"},
        {{post + "\r\nContent-Length: 5\r\nContent-Length: 5\r\n\r\nTL=X&" + report()}, "400 closed", "repeated$"},
        {{post + length + "\r\nTransfer-Encoding: chunked\r\n\r\n" + body}, "400 closed", "not valid HTTP"},
        {{post + "\r\nTransfer-Encoding: chunked\r\n\r\n4x\r\n" + body + "\r\n0\r\n\r\n"}, "400 closed", "body is not valid"},
        {{post + "\r\nTransfer-Encoding: chunked\r\n\r\n11170\r\n" + std::string(70000, 'a')}, "413 closed", kTooLarge},
        {{"GET /reports.csv HTTP/1.1\r\nRange: bytes=0-20\r\n" + closing}, "200 closed", "^HTTP/1.1 200 [\\s\\S]*\r\n\r\n\xEF\xBB\xBFid,received,"},
        {{"OPTIONS /receiver.php HTTP/1.1\r\n\r\n"}, "204", "\r\nAllow: POST, OPTIONS\r\n"},
        {{"OPTIONS * HTTP/1.1\r\n\r\n"}, "204", "\r\nAllow: GET, HEAD, POST, OPTIONS\r\n"}, {{"GET / HTTP/1.0\r\nConnection: keep-alive\r\n\r\n"}, "200", "</html>\n$"},
        {{"HEAD / HTTP/1.1\r\n" + closing}, "200 closed", "\r\nContent-Length: [1-9]\\d+\r\nConnection: close\r\n\r\n$"},
        // Refusals: the connection goes on where the body was read whole.
        {{Raw(std::string(1 << 20, 'a'))}, "413 closed", kTooLarge},
        {{Raw(std::string(70000, 'a'), "POST /receiver.php", kForm + "\r\nExpect: 100-continue")}, "413 closed", kTooLarge},
        {{report("\r\nExpect: 100-continue")}, "100 200 stored 1", "OK\\+OK\\+OK$"},
        {{Raw("", "GET /receiver.php")}, "405 closed", "\r\nAllow: POST, OPTIONS\r\n[\\s\\S]*fuel reports sent with POST$"},
        {{Raw("", "GET /x%0Ay%7F%zA%40+")}, "404 closed", "Not found$"},  // logged on one line
        {{Raw("", "GET /download/V.zip")}, "404 closed", "Not found$"},  // none offered
        {{Raw(std::string(60000, 'a') + "\r\n\r\n", "POST /index.php")}, "404", "Not found: fuel reports go to /receiver.php$"},
        {{Raw(body, "POST /receiver.php", "text/plain")}, "415", "it must be sent as application/x-www-form-urlencoded$"},
        {{Raw("", "POST /receiver.php", kForm, "")}, "411 closed", "it has no Content-Length$"},
        {{report() + Raw(Body("X", "abc"))}, "200 400 stored 1", "Report refused: PPH is not a number$"},
        {{"BAD\r\n\r\n"}, "400 closed", "not valid HTTP"}, {{"P", 5000, report().substr(1, 169), 5500, report().substr(170)}, "200 stored 1", "OK$"},
        // Behind a trusted proxy the forwarded address counts; from anyone else it does not.
        {{report("\r\nX-Forwarded-For: 192.0.2.1\r\nX-Forwarded-For: 198.51.100.7,127.0.0.3")}, "200 stored 1", "OK$", "127.0.0.3"},
        {{report("\r\nX-Forwarded-For: 203.0.113.9")}, "200 stored 1", "OK$"},
    };
    // clang-format on
    std::vector<std::pair<std::string, bool>> got(rows.size());
    std::vector<std::thread> clients;
    // Beside them, one that asks for 4,000 pages (some 8 MB) and reads none: cut off once an
    // answer has waited 10 s for it, whatever the buffers held.
    clients.emplace_back([&] {
        std::string many;
        for (int i = 0; i < 4000; ++i) many += get + "\r\n";
        const int sock = Connect(receiver.port);
        Exchange(sock, many, 0);
        // Read only once the receiver has given up on it, which cannot be before 10 s.
        std::this_thread::sleep_for(std::chrono::seconds(8));
        EXPECT_TRUE(receiver.Logged(
            R"( GET / 200 1[0-4]\d{3}\.\dms answer broken off: the client stopped reading for 10 s\n)"));
        const auto [in, closed] = Exchange(sock, "", 1500);
        EXPECT_TRUE(closed && Occurrences(in, "</html>") < 4000) << in.size();
        close(sock);
    });
    for (std::size_t i = 0; i < rows.size(); ++i)
        clients.emplace_back([&, i] {
            const int sock = Connect(receiver.port, rows[i].from);
            for (const auto& step : rows[i].script) {
                const auto* bytes = std::get_if<std::string>(&step);
                const int ms = bytes ? 0 : std::get<int>(step);
                if (bytes)
                    Exchange(sock, std::regex_replace(*bytes, std::regex("row@"), row(i)), 0);
                if (ms) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
                if (!bytes && !ms) shutdown(sock, SHUT_WR);
            }
            got[i] = Exchange(sock, "", 1500);
            close(sock);
        });
    for (auto& c : clients) c.join();
    const auto csv = receiver.Get("/reports.csv");
    const std::regex answer("HTTP/1\\.1 (\\d{3}) [^\r]*\r\n((?:[^\r]+\r\n)*)\r\n");
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const auto& [in, closed] = got[i];
        std::string outcome;
        for (std::sregex_iterator m(in.begin(), in.end(), answer), end; m != end; ++m) {
            outcome += (*m)[1].str() + " ";
            EXPECT_LE(Occurrences((*m)[2].str(), "Connection:"), 1u) << in;
        }
        const auto stored = Occurrences(csv, "," + row(i) + ",");
        outcome += (closed ? "closed " : "") + (stored ? "stored " + std::to_string(stored) : "");
        EXPECT_EQ(Trim(outcome), rows[i].outcome) << i << ": " << in.substr(0, 300);
        EXPECT_TRUE(std::regex_search(in, std::regex(rows[i].pattern))) << i << ": " << in;
    }
    EXPECT_EQ(
        OpenStore({dir.path + "/r.sqlite"})->List({row(rows.size() - 2), ""}, 0, 0, 1)[0].sender,
        "198.51.100.7");
    EXPECT_TRUE(receiver.Logged(
        R"(\n\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z 198\.51\.100\.7 POST /receiver\.php 200 \d{1,3}\.\dms stored as report \d+\n)"));
    // Each on its own: std::regex recurses once a character over a pattern spanning lines.
    for (
        const auto* line :
        {R"(Z 127\.0\.0\.1 - - 400 [^\n]+not valid HTTP)", R"(Z 127\.0\.0\.1 GET /x y %zA@\+ 404 )",
         R"( 200 [^\n]+ms the same flight as report \d+ sent again \(2 so far\): not stored again\n)",
         R"( 408 \d+\.\dms Request refused: its head took over 10 s\n)"})
        EXPECT_TRUE(receiver.Logged(line));
    EXPECT_THAT(receiver.Log(), Not(HasSubstr("203.0.113.9")));
    // Days both included, either bound alone, kept in the links; what is not a day refused.
    // Three reports on 2026-01-01's first and last millisecond and on the 2nd's first.
    // clang-format off
    for (const auto ms : {1767225600000, 1767311999999, 1767312000000}) OpenStore({dir.path + "/r.sqlite"})->Add(Flight("A" + std::to_string(ms), "mid", 1, ms));
    for (const auto& [query, part] : std::vector<std::pair<std::string, std::string>>{{"/?client=%72ow%49&aircraft=le+air", "1–1 of 1, newest first"},
             {"/?client=rowI&from=2000-01-01&to=2999-12-31", "1–1 of 1, newest first. Download as <a href=\"/reports.csv?client=rowI&amp;from=2000-01-01&amp;to=2999-12-31\">"},
             {"/?client=rowI&to=2000-02-29&from=", "<p>None. Download"}, {"/reports.json?from=2026-02-29", "400 Bad Request\r\n"},
             {"/reports.csv?to=20260101", "\r\n\r\nBad date: to must be a day as YYYY-MM-DD"}, {"/?from=2026-1-01", "HTTP/1.1 400 Bad Request\r\n"}, {"/?from=2026-1/-01", "Bad date: from must be"},
             {"/?from=2026-01-011", "Bad date: from"}, {"/?to=2026-01x01", "Bad date: to"}, {"/?from=-001-01-01", "Bad date: from"}, {"/?from=0000-01-01&client=rowI", "1–1 of 1, newest"}, {"/?noclient=1", "<p>None. Download"}, {"/?page=5&client=rowI", "1–1 of 1, newest"}, {"/?client=mid&from=2026-01-01&to=2026-01-01", "1–2 of 2,"}, {"/?client=mid&from=2026-01-02", "1–1 of 1,"}})
        EXPECT_THAT(receiver.Get(query, "-i"), HasSubstr(part)) << query;
    // clang-format on
}

// A route that fails in a way it does not name is answered 500, its reason logged, and
// the receiver serves on.
TEST(Wire, ARouteThatThrowsIsAnswered500AndLogged) {
    TempDir dir;
    HttpServer server([](const HttpRequest&) -> HttpAnswer { throw std::logic_error("x-ray"); }, {},
                      true);
    const int port = server.Bind("127.0.0.1", 0);
    const int log = open((dir.path + "/log").c_str(), O_WRONLY | O_CREAT, 0600), saved = dup(2);
    dup2(log, 2);
    std::thread serving([&] { server.Run(); });
    std::vector<std::string> answers;
    for (const std::string method : {"POST", "GET"}) {
        const int sock = Connect(port);
        answers.push_back(
            Exchange(sock, method + " / HTTP/1.1\r\nConnection: close\r\n\r\n").first);
        close(sock);
    }
    server.Stop();
    serving.join();
    dup2(saved, 2);
    close(saved);
    close(log);
    EXPECT_THAT(answers, ::testing::Each(::testing::StartsWith("HTTP/1.1 500 ")));
    const auto logged = Shell("cat " + dir.path + "/log").second;
    for (const std::string method : {"POST", "GET"})
        EXPECT_THAT(logged,
                    ::testing::ContainsRegex(" 127.0.0.1 " + method + " / 500 [0-9.]+ms x-ray\n"));
}

TEST_P(OnEachDatabase, KillAfterAnAnswerLosesNothingAndStopFinishesTheRequestInFlight) {
    receiver_ = std::make_unique<Receiver>(db_);
    ASSERT_EQ(receiver_->Post(kExample), kOk);
    EXPECT_EQ(receiver_->Stop(SIGKILL), 128 + SIGKILL);
    receiver_ = std::make_unique<Receiver>(db_);
    // SIGTERM when a pilot has connected but not yet sent, and when one has begun a second
    // request on a kept-alive connection: both stored. One between requests: closed at once.
    const int p = receiver_->port, fresh = Connect(p), kept = Connect(p), idle = Connect(p);
    for (const int s : {kept, idle}) Exchange(s, "GET / HTTP/1.1\r\n\r\n", 300);
    const auto third = Raw(Body("Sample_Aircraft", "52", "1950", "336", "3rd"));
    Exchange(kept, third.substr(0, 150), 100);
    kill(receiver_->pid, SIGTERM);
    EXPECT_TRUE(Exchange(idle, "", 1000).second);
    EXPECT_THAT(Exchange(fresh, Raw(Body("Sample_Aircraft", "52", "1950", "336", "2nd"))).first,
                HasSubstr("close\r\n\r\nOK+OK+OK"));
    EXPECT_THAT(Exchange(kept, third.substr(150)).first, HasSubstr("close\r\n\r\nOK+OK+OK"));
    for (const int s : {fresh, kept, idle}) close(s);
    EXPECT_EQ(receiver_->Stop(0), 0);
    EXPECT_THAT(receiver_->Log(), HasSubstr("SIGTERM: finishing the requests in flight\n"));
    receiver_ = std::make_unique<Receiver>(db_);
    EXPECT_EQ(Occurrences(receiver_->Get("/reports.json"), "Sample_Aircraft"), 3u);
    EXPECT_EQ(receiver_->Stop(SIGINT), 0);
    EXPECT_TRUE(receiver_->Logged(
        R"(on SIGINT: finishing the requests in flight\n\S+ stopped; database closed\n$)"));
}

TEST_P(OnEachDatabase, ManyPilotsAndACrowdThatHoldsConnections) {
    // With --fsync SQLite's reports go to the database threads, and those waiting share a commit.
    receiver_ = std::make_unique<Receiver>(db_, "--fsync --trust-proxy 127.0.3.1");
    // 1,000 silent connections and 100 that send a byte a second, 50 from each of 127.0.0.2 on.
    std::vector<int> crowd;
    for (int i = 0; i < 1100; ++i)
        crowd.push_back(Connect(receiver_->port, "127.0.0." + std::to_string(2 + i / 50)));
    std::atomic<bool> done = false;
    std::thread trickle([&, trickling = std::vector<int>(crowd.begin() + 1000, crowd.end())] {
        for (std::size_t k = 0; !done; ++k) {
            for (int s : trickling) Exchange(s, std::string(1, "POST /"[k % 6]), 0);
            for (int t = 0; t < 10 && !done; ++t) std::this_thread::sleep_for(100ms);
        }
    });
    std::this_thread::sleep_for(1500ms);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(receiver_->Post(Body("Crowd_Aircraft", "52.5", "1950", "336", "crowd")), kOk);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    // 64 from one address, one of them ended; then the 64th is served, the 65th and 66th not.
    for (int i = 0; i < 64; ++i) crowd.push_back(Connect(receiver_->port, "127.0.1.1"));
    shutdown(crowd[1100], SHUT_RDWR);
    std::this_thread::sleep_for(200ms);
    for (int i = 0; i < 3; ++i) crowd.push_back(Connect(receiver_->port, "127.0.1.1"));
    EXPECT_TRUE(Exchange(crowd[1165], "", 1000).second && Exchange(crowd[1166], "", 1000).second);
    EXPECT_FALSE(Exchange(crowd[1164], "", 100).second || Exchange(crowd[0], "", 100).second);
    // A trusted proxy's own connections are not limited; its clients' are, each by its address.
    for (int i = 0; i < 66; ++i) crowd.push_back(Connect(receiver_->port, "127.0.3.1"));
    std::this_thread::sleep_for(300ms);  // all accepted before any names its client
    for (int i = 1167; i < 1233; ++i)
        Exchange(crowd[i], "GET /x HTTP/1.1\r\nX-Forwarded-For: 192.0.2.9\r\n\r\n", 0);
    std::this_thread::sleep_for(500ms);
    for (int i = 1167; i < 1233; ++i) {
        const auto [in, closed] = Exchange(crowd[i], "", 1);
        EXPECT_EQ(in.substr(0, 12) + (closed ? " closed" : ""),
                  i < 1231 ? "HTTP/1.1 404" : "HTTP/1.1 429 closed");
    }
    done = true;
    trickle.join();
    for (int s : crowd) close(s);
    // 200 pilots at once, 6 reports each: more than a page and an export batch.
    std::atomic<int> accepted = 0;
    std::vector<std::thread> pilots;
    for (int i = 0; i < 200; ++i)
        pilots.emplace_back([&, i] {
            for (int k = 0; k < 6; ++k)
                accepted += receiver_->Post(Body("Sample_Aircraft", "52.5", "1950", "336",
                                                 std::to_string(i * 6 + k)),
                                            "127.0.2." + std::to_string(i)) == kOk;
        });
    for (auto& t : pilots) t.join();
    EXPECT_EQ(accepted, 1200);
    EXPECT_EQ(Occurrences(receiver_->Get("/reports.csv"), ",crowd,"), 1u);
    // Read back whole, sent in chunks and joined as one JSON array across the export's batches.
    const auto json = receiver_->Get("/reports.json", "-i");
    EXPECT_TRUE(json.ends_with("}\n]\n") && json.find("chunked\r\n\r\n[\n{\"id\":") < json.size());
    EXPECT_EQ(Occurrences(json, "},\n{\"id\":"), 1200u);
    // Past the last page, the last (of 1,200: 12 pages); not a page number, the first.
    // clang-format off
    for (const auto& [page, part] : std::vector<std::pair<std::string, std::string>>{{"2", "101–200 of 1,201, newest first. Download"}, {"2", "<nav><a href=\"/\">← Newer</a><a href=\"/?page=3\">Older"}, {"99999999999999999999", "1,201–1,201 of 1,201, newest first."},
             {"13", "<nav><a href=\"/?page=12\">← Newer</a></nav>"}, {"0", "<p>1–100 of 1,201"}, {"1", "<nav><a href=\"/?page=2\">Older"}, {"-2", "<p>1–100 of"}, {"-99999999999999999999", "<p>1–100 of"}, {"2x", "<p>1–100 of"}, {"13&aircraft=sample", "1,101–1,200 of 1,200, newest"}})
        EXPECT_THAT(receiver_->Get("/?page=" + page), HasSubstr(part)) << page;
    // clang-format on
    // 10,000 open in all, 50 from each address: the next is closed at once. It comes from the
    // one address with one open, which must keep that one counted, no more, no less.
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) || files.rlim_cur < 10100)
        GTEST_SKIP() << "10,000 connections need more descriptors";
    std::vector<int> all;
    for (int i = 0; i <= 10000; ++i)
        all.push_back(
            Connect(receiver_->port, "127.1.0." + std::to_string(1 + (i % 10000 + 49) / 50)));
    EXPECT_TRUE(Exchange(all.back(), "", 5000).second && !Exchange(all[0], "", 100).second);
    EXPECT_TRUE(receiver_->Logged("connection closed at once: 10000 connections open"));
    for (int s : all) close(s);
    EXPECT_TRUE(Eventually([&] { return receiver_->Post(kExample, "127.1.0.1") == kOk; }));
}

TEST(CommandLine, OptionsHelpStartFailuresRemoveRestoreAndDownload) {
    TempDir dir;
    const auto db = " --db " + dir.path + "/r.sqlite ";
    OpenStore({dir.path + "/r.sqlite"})->Add(Flight("A", "c", 50));
    OpenSqlite(dir.path + "/newer.sqlite", false)  // a later receiver's
        ->Session(true)
        ->Run("CREATE TABLE receiver_schema AS SELECT 9 AS version");
    const auto o = ParseOptions({"--listen", "[::1]:65535", "--db=x.sqlite", "--fsync",
                                 "--trust-proxy", "::1", "--trust-proxy=10.0.0.1"});
    EXPECT_EQ(std::tie(o.error, o.options.host, o.options.port, o.options.store.db,
                       o.options.store.fsync),
              std::make_tuple("", "::1", 65535, "x.sqlite", true));
    EXPECT_EQ(o.options.trustedProxies, (std::vector<std::string>{"::1", "10.0.0.1"}));
    EXPECT_EQ(DatabaseText({"postgresql://u:pw@db.example/x"}), "postgresql://db.example/x");
    for (const auto& [args, status, output] :
         std::vector<std::tuple<std::string, int, std::string>>{
             {"--help", 0, "10000 connections in all and 64 from one address"},
             {"-h", 0, "a head of 8 KiB and 100 fields (431)"},
             {"-h", 0,
              "127.0.0.1:8350; port 0 picks a free\n                      port, [::1]:8350 for"},
             {"--help", 0, "a body over 64 KiB.\n"},
             {"--help", 0, "less than 10 minutes before it is the same flight sent again"},
             {"--listen", 2, "unknown option or missing value: --listen\n\nUsage:"},
             {"--listen h:65536", 2, "--listen needs HOST:PORT, e.g. 127.0.0.1:8350"},
             {"--listen h:80x", 2, "--listen needs HOST:PORT"},
             {"--fsync=yes --listen x", 2, "unknown option or missing value: --fsync=yes"},
             {"--trust-proxy proxy.example", 2, "--trust-proxy needs an IP address"},
             {"--db /nonexistent/x.sqlite --listen 192.0.2.1:8350", 1,
              "cannot listen on 192.0.2.1:8350"},
             {"--pilot-download 'V 1.zip'", 2, "--pilot-download needs a file whose name has"},
             {"--pilot-download /nonexistent/V.zip", 1, "cannot read the pilot download /non"},
             {"remove 1", 2, "remove needs --reason TEXT"},
             {"restore 1 --reason=x", 2, "--reason goes with remove ID"},
             {"remove 1x --reason x", 2, "remove needs a report's id (a number"},
             {"restore 0", 2, "restore needs a report's id (a number"},
             {"--db /nonexistent/x.sqlite restore 1", 1, "cannot change the database: cannot open"},
             {"--db " + dir.path + "/newer.sqlite", 1,
              "database: the database has schema version 9, newer than this receiver's 3:"},
             {db + "remove 1 --reason bogus", 0, "report 1 removed (bogus): off the page"},
             {db + "remove 1 --reason again", 1, "no report 1 is shown: nothing removed"},
             {db + "restore 1", 0, "report 1 restored"},
             {db + "restore 1", 1, "no removed report 1: nothing restored"}}) {
        const auto [exit, out] = Shell(VERLISK_RECEIVER_BINARY " " + args + " 2>&1");
        EXPECT_EQ(exit, status) << args;
        EXPECT_THAT(out, HasSubstr(output));
    }
    std::ofstream(dir.path + "/V-9.zip") << "PK\x03\x04 zip";
    const Receiver offering(dir.path + "/r.sqlite", "--pilot-download " + dir.path + "/V-9.zip");
    EXPECT_THAT(offering.Get("/"), HasSubstr("<a href=\"/download/V-9.zip\" download>"));
    EXPECT_THAT(offering.Get("/download/V-9.zip", "-i"),
                ::testing::AllOf(::testing::StartsWith("HTTP/1.1 200 OK\r\n"),
                                 HasSubstr("Content-Type: application/zip\r\n"),
                                 HasSubstr("; filename=\"V-9.zip\"\r\n"),
                                 ::testing::EndsWith("\r\n\r\nPK\x03\x04 zip")));
    EXPECT_THAT(offering.Get("/reports.zip", "-i"), ::testing::StartsWith("HTTP/1.1 404"));
    std::filesystem::remove(dir.path + "/V-9.zip");  // gone while served
    EXPECT_THAT(offering.Get("/download/V-9.zip", "-i"), ::testing::StartsWith("HTTP/1.1 503"));
}

// PostgreSQL restarted, stopped, or stopped at the receiver's start; SQLite's folder made late.
TEST_P(OnEachDatabase, DatabaseRestartOutageAndAwayAtTheStart) {
    const bool pg = GetParam();
    if (!pg) db_ = dir_.path + "/later/reports.sqlite";
    receiver_ = std::make_unique<Receiver>(db_);
    auto post = [&, n = 0]() mutable {
        return receiver_->Post(Body("Sample_Aircraft", "52.5", "1950", "336", std::to_string(++n)));
    };
    if (pg) {
        ASSERT_EQ(post(), kOk);
        Cluster("restart");  // not seen: the connections it closed are replaced
        EXPECT_EQ(post(), kOk);
    }
    for (const int round : {0, 1, 2}) {  // two outages in one receiver's life, then one at a start
        const bool start = round == 2;
        if (!start && !pg) continue;  // SQLite's is at the start only
        if (pg) Cluster("stop");
        if (start && pg) receiver_ = std::make_unique<Receiver>(db_);
        EXPECT_THAT(
            receiver_->Get("/receiver.php", "-i --data-raw '" + kExample + "'"),
            ::testing::AllOf(HasSubstr(" 503 Service Unavailable\r\n"), HasSubstr(kNotStored)));
        std::this_thread::sleep_for(std::chrono::milliseconds(600));  // a retry fails first
        for (const char* path : {"/", "/reports.csv", "/reports.json"})
            EXPECT_THAT(receiver_->Get(path, "-i"), HasSubstr(" 503 Service Unavailable\r\n"));
        pg ? Cluster("restart") : (void)std::filesystem::create_directory(dir_.path + "/later");
        EXPECT_TRUE(receiver_->Logged(round == 1 ? R"(available again[\s\S]*available again)"
                                                 : "available again"));
        EXPECT_EQ(post(), kOk);
        // One line, though PostgreSQL's message has two.
        EXPECT_TRUE(receiver_->Logged(
            pg ? R"(unavailable: cannot connect to PostgreSQL: [^\n]+\? ?; trying)"
               : R"(\(cannot open [^\n]*later/reports.sqlite: )"));
        EXPECT_EQ(Occurrences(receiver_->Log(), "database unavailable"), round == 1 ? 2u : 1u);
        if (round) {
            EXPECT_EQ(receiver_->Stop(), 0);  // and, in a sanitized build, no connection leaked
        }
    }
    receiver_ = std::make_unique<Receiver>(db_);
    EXPECT_EQ(Occurrences(receiver_->Get("/reports.json"), "Sample_Aircraft"), pg ? 5u : 1u);
}

INSTANTIATE_TEST_SUITE_P(Sqlite, OnEachDatabase, ::testing::Values(false));
INSTANTIATE_TEST_SUITE_P(LivePostgres, OnEachDatabase, ::testing::Values(true));

TEST(LiveBrowser, RendersTableChartAndEscapedTitlesTheFirstRowOnTheFirstScreen) {
    TempDir dir;
    Receiver receiver(dir.path + "/reports.sqlite");
    int pilot = 0;
    for (const std::string title :
         {"Sample_Aircraft", "Sample_Aircraft", "<script>alert(1)</script>", "Caravelle \xE9"})
        ASSERT_EQ(receiver.Post(Body(title, "52.5", "1950", "336", std::to_string(++pilot))), kOk);
    // A full chart, and a report without an identifier.
    for (int i = 1; i <= 20; ++i)
        receiver.Post(Body("Aircraft_" + std::to_string(i), std::to_string(i * 250)));
    ASSERT_EQ(receiver.Post(Body("Solo", "52.5", "1950", "336", "")), kOk);
    const std::string chromium =
        "chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run "
        "--disable-background-networking --disable-component-update --disable-sync "
        "--window-size=1280,900 --user-data-dir=" +
        dir.path + "/profile ";
    const std::string url = "http://127.0.0.1:" + std::to_string(receiver.port) + "/";
    const auto dom = Shell(chromium + "--dump-dom " + url + " 2>/dev/null").second;
    EXPECT_EQ(Occurrences(dom, "<tr><td>"), 25u) << dom;
    EXPECT_EQ(Occurrences(dom, "<rect "), 20u);
    EXPECT_THAT(dom, HasSubstr("\">&lt;script&gt;alert(1)&lt;/script&gt;</a></td>"));
    EXPECT_THAT(dom, Not(HasSubstr("<script")));
    EXPECT_THAT(dom, HasSubstr(">Caravelle é</a>"));
    EXPECT_THAT(receiver.Get("/?noclient=1"), HasSubstr("<p>1–1 of 1, newest first."));
    // Top down, the pixels of the table's left padding in a 1280x900 screenshot: its head's
    // colour, then its bottom border and the first row's.
    Shell(chromium + "--screenshot=" + dir.path + "/shot.png " + url + " 2>/dev/null");
    const auto column = Shell("convert " + dir.path + "/shot.png -crop 1x900+36+0 txt:-").second;
    const auto head = column.find("#F1F4F7");
    ASSERT_NE(head, std::string::npos) << column;
    EXPECT_GE(Occurrences(column.substr(head), "#D8DDE2"), 2u);
}

}  // namespace
}  // namespace verlisk::receiver::testing
