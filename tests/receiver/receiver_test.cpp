// The report receiver: its parser and page on their own, its store on each database, and the
// built receiver on loopback as a pilot's program, a browser, a script or a hostile client meets it.
#include <arpa/inet.h>
#include <gmock/gmock.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <ranges>
#include <regex>
#include <thread>
#include <variant>

#include "receiver/options.h"
#include "receiver/pages.h"
#include "receiver/report.h"
#include "receiver/sql.h"
#include "receiver/store.h"

namespace verlisk::receiver::testing {
namespace {

using ::testing::AllOf;
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
const std::string kExample = Body();
const std::string kOk = "OK+OK+OK";
const std::string kNotStored =
    "Report not stored: the receiver's database is unavailable, try again later";

const std::string kForm = "application/x-www-form-urlencoded";

// A request written out whole: `typeAndMore` is the Content-Type and any header lines after
// it; an empty `length` sends no Content-Length. Without a body the client asks for the end.
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

// A folder that goes, with what it holds, at the end; anyone may write in it.
struct TempDir {
    std::string path =
        mkdtemp((std::filesystem::temp_directory_path() / "verlisk-test.XXXXXX").string().data());
    TempDir() { std::filesystem::permissions(path, std::filesystem::perms::all); }
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

void SendAll(int sock, const std::string& bytes) {
    // A refused upload may be cut off while it is sent; the answer still counts.
    for (ssize_t r = 0, at = 0; at < std::ssize(bytes) && r >= 0; at += r)
        r = send(sock, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
}

// What comes back until the receiver closes or `waitMs` pass without a byte; whether it closed.
std::pair<std::string, bool> ReadAll(int sock, int waitMs = 20000) {
    const timeval wait{waitMs / 1000, waitMs % 1000 * 1000};
    setsockopt(sock, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    std::string in;
    char buf[4096];
    ssize_t r;
    while ((r = recv(sock, buf, sizeof buf, 0)) > 0) in.append(buf, r);
    return {in, r == 0 || errno == ECONNRESET};
}

struct Answer {
    int status = 0;
    std::string head, body;  // head: the status line and the headers, each ending in CR LF
};

// The built verlisk-receiver on a free loopback port, its log kept in a file.
class Receiver {
  public:
    // `wrap` runs it through a command such as setpriv or prlimit, for a file mode that
    // counts or a full disk; a write past a size limit fails instead of killing.
    explicit Receiver(const std::string& db, const std::string& options = "",
                      const std::string& wrap = "") {
        // A copy, for the build tree may be out of an unprivileged user's reach.
        std::filesystem::copy_file(VERLISK_RECEIVER_BINARY, dir_.path + "/verlisk-receiver");
        const auto command = "trap '' XFSZ; exec " + wrap + " " + dir_.path +
                             "/verlisk-receiver --listen 127.0.0.1:0 --db '" + db + "' " + options +
                             " 2>" + dir_.path + "/log";
        if ((pid = fork()) == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);  // none left behind by a test that is killed
            execl("/bin/sh", "sh", "-c", command.c_str(), nullptr);
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

    // Sends the bytes as they are and reads up to the end of the connection;
    // `connected` runs before anything is sent.
    Answer Send(const std::string& raw, const std::function<void()>& connected = {}) const {
        const int sock = Connect(port);
        if (connected) connected();
        SendAll(sock, raw);
        const auto in = ReadAll(sock).first;
        close(sock);
        const auto end = in.find("\r\n\r\n");
        return {std::atoi(in.substr(in.find(' ') + 1).c_str()), in.substr(0, end + 2),
                end == std::string::npos ? "" : in.substr(end + 4)};
    }
    // As the program posts a report, its header line ending in a blank.
    Answer Post(const std::string& body) const {
        return Send(Raw(body, "POST /receiver.php", kForm + " \r\nConnection: close"));
    }
    // As a download tool does, chunks joined.
    Answer Get(const std::string& path) const {
        const auto out = Shell("curl -s -w '\\n%{http_code}' 'http://127.0.0.1:" +
                               std::to_string(port) + path + "'")
                             .second;
        const auto end = out.rfind('\n');
        return {std::atoi(out.c_str() + end + 1), "", out.substr(0, end)};
    }

    std::string Log() const {
        std::ifstream in(dir_.path + "/log");
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
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
        OpenPostgres(db_)->Session(true)->Run("DROP TABLE IF EXISTS reports, receiver_schema");
    }
    void Cluster(const std::string& what) {
        Shell(VERLISK_PG_CLUSTER " " + what + " " + std::getenv("VERLISK_PG_STATE"));
    }
    TempDir dir_;
    std::string db_;
    std::unique_ptr<Receiver> receiver_;  // started by the cases that need it
};

// The report `Body` with the same arguments sends.
Report Sent(const std::string& tl, double pph, std::int32_t zfw = 1950, std::int32_t mtank = 336,
            const std::string& client = "abcd2345") {
    return {tl, pph, "2.0.27", zfw, mtank, client};
}

// A body and the report it gives, or why it is refused.
using Outcome = std::variant<Report, std::string>;
TEST(ParseReport, AcceptsOrRefuses) {
    const std::string t256(256, 'x'), c64(64, 'c');
    const std::string zfw = "ZFW is out of range (0 to 2000000 pounds)";
    std::vector<std::pair<std::string, Outcome>> cases = {
        {"TL=Sample_Aircraft&PPH=52.5&VERSION=2.0.27&ZFW=1950&MTANK=336&CLIENTID=abcd2345",
         Sent("Sample_Aircraft", 52.5)},
        {Body("A&B=C_&_D=&PPH=1"), Sent("A&B=C_&_D=&PPH=1", 52.5)},
        {Body("X", "52,25", "0", "0", "a&PPH=2&b=c"), Sent("X", 52.25, 0, 0, "a&PPH=2&b=c")},
        {Body("A+B%20C", "1E-05", "1", "2", ""), Sent("A+B%20C", 1e-5, 1, 2, "")},
        {Body("Caravelle \xE9\x80\x81\x9F\xA0", "1", "1", "1", "\x9C"),
         Sent("Caravelle é€\xC2\x81Ÿ\xC2\xA0", 1, 1, 1, "œ")},
        {Body(t256, "1e5", "2000000", "2000000", c64), Sent(t256, 100000, 2000000, 2000000, c64)},
        {"TL=X&VERSION=2&ZFW=1&MTANK=1&CLIENTID=", "PPH is missing"},
        {"TL=X&VERSION=2&PPH=1&ZFW=1&MTANK=1&CLIENTID=", "VERSION is missing or out of order"},
        {"TL=X&PPH=1&VERSION=2&ZFW=1&MTANK=1", "CLIENTID is missing or out of order"},
        {Body(""), "the aircraft title is empty"},
        {Body(std::string(257, 'x')), "the aircraft title is longer than 256 characters"},
        {Body("X", "1", "1", "1", "a", ""), "VERSION is empty"},
        {Body("X", "1", "99999999999"), zfw},
        {Body("X", "1", "-1"), zfw},
        {Body("X", "1", "12.5"), "ZFW is not a whole number"},
        {Body("X", "1", "1", "1", "abc\r\n"), "the client identifier holds a control character"},
    };
    for (const char* pph : {"nan", "inf", "1,234.5", "", "-."})
        cases.push_back({Body("X", pph), "PPH is not a number"});
    for (const char* pph : {"1e400", "1E+15", "0", "-5"})
        cases.push_back(
            {Body("X", pph), "PPH is out of range (above 0, at most 100000 pounds per hour)"});
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
    EXPECT_EQ(JsonRow(kRow, false),
              ",\n{\"id\":7,\"received\":\"2025-12-06T00:00:00Z\",\"client_id\":\"c\\u001F\\\\\","
              "\"aircraft\":\"A,\\\"B\\\" "
              "<&>'\",\"pph\":52.5,\"zfw\":1950,\"mtank\":0,\"version\":\"2.0.27\"}");
    EXPECT_EQ(HtmlEscape("<a href='x'>&\""), "&lt;a href=&#39;x&#39;&gt;&amp;&quot;");

    PageView v{{"c 1", "09az_AZ-.~é"}, 2, 250, {kRow}, {}};
    for (int i = 0; i < 21; ++i)
        v.aircraft.push_back({"T" + std::to_string(i), 21 - i, i < 20 ? 0.4 : 9});
    v.aircraft[0] = {"A" + std::string(59, 'x'), 1, 0.8};
    v.aircraft[2].aircraft = std::string(52, 'y');
    const auto page = RenderPage(v);
    const std::string query = "client=c%201&amp;aircraft=09az_AZ-.~%C3%A9";
    for (const std::string& part : std::vector<std::string>{
             "<input name=\"client\" value=\"c 1\"></label><label>Aircraft<input name=\"aircraft\" "
             "value=\"09az_AZ-.~é\"></label>",
             "<nav><a href=\"/?" + query + "\">← Newer</a><a href=\"/?" + query +
                 "&amp;page=3\">Older →</a></nav>",
             "<tr><td>2025-12-06 00:00:00</td><td><a "
             "href=\"/?client=c%1F%5C&amp;aircraft=09az_AZ-.~%C3%A9\">c\x1f\\</a></td>",
             "<h2>Mean fuel per hour by aircraft</h2>\n<svg viewBox=\"0 0 400 840\"",
             ">A" + std::string(51, 'x') +
                 "…</text><rect x=\"0\" y=\"20\" width=\"250.0\" height=\"14\"/><text x=\"256.0\" "
                 "y=\"32\">0.8 lb/h, 1 flight</text></a>",
             "<text x=\"0\" y=\"56\">T1</text><rect x=\"0\" y=\"62\" width=\"125.0\" "
             "height=\"14\"/><text x=\"131.0\" y=\"74\">0.4 lb/h, 20 flights</text>",
             "</a>\n</svg>\n<p>The 20 most flown of 21 aircraft.</p>",
             ">" + std::string(52, 'y') + "</text>",
         }) {
        EXPECT_THAT(page, HasSubstr(part));
    }
    EXPECT_TRUE(page.ends_with("</body></html>\n"));
    EXPECT_THAT(RenderPage(PageView{}), HasSubstr("<p>No reports yet.</p>"));
}

StoredReport Flight(std::string aircraft, std::string client, double pph, std::int64_t ms = 7) {
    return {
        0, ms, "192.0.2.7", {std::move(aircraft), pph, "2.0.27", 1950, 2000000, std::move(client)}};
}

TEST_P(OnEachDatabase, KeepsEveryFieldAndFiltersCountsAndSums) {
    const auto store = OpenStore({db_});
    const std::vector<StoredReport> flights = {
        Flight("Boeing_737-800", "alpha", 5000), Flight("Boeing_737-800", "beta", 5400),
        Flight("Airbus_A320", "alpha", 4800), Flight("Caravelle_é \"<&>\"", "", 1234.56789012345),
        Flight("Boeing_747-400", "beta", 0.1, 1764979200123)};
    for (const auto& f : flights) store->Add(f);
    // A filter, the flights it gives newest first, and their summary by aircraft.
    using Case = std::tuple<Filter, std::vector<std::size_t>, std::vector<AircraftSummary>>;
    const std::vector<Case> cases = {
        {{},
         {4, 3, 2, 1, 0},
         {{"Boeing_737-800", 2, 5200},
          {"Airbus_A320", 1, 4800},
          {"Boeing_747-400", 1, 0.1},
          {"Caravelle_é \"<&>\"", 1, 1234.56789012345}}},
        {{"alpha", ""}, {2, 0}, {{"Airbus_A320", 1, 4800}, {"Boeing_737-800", 1, 5000}}},
        {{"", "boeing"}, {4, 1, 0}, {{"Boeing_737-800", 2, 5200}, {"Boeing_747-400", 1, 0.1}}},
        {{"beta", "737"}, {1}, {{"Boeing_737-800", 1, 5400}}},
        {{"alph", ""}, {}, {}},
    };
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

TEST_P(OnEachDatabase, OpensTogetherReopensAndRefusesANewerSchema) {
    // Receivers started at once on an empty database: one makes the schema, the others use it.
    std::vector<std::thread> starts;
    for (int i = 0; i < 8; ++i) starts.emplace_back([&] { EXPECT_NO_THROW(OpenStore({db_})); });
    for (auto& t : starts) t.join();
    OpenStore({db_})->Add(Flight("A", "b", 1));
    EXPECT_EQ(OpenStore({db_})->Count({}), 1);
    (GetParam() ? OpenPostgres(db_) : OpenSqlite(db_, false))
        ->Session(true)
        ->Run("UPDATE receiver_schema SET version = 2");
    EXPECT_THAT([&] { OpenStore({db_}); },
                ::testing::ThrowsMessage<StoreError>(
                    "the database has schema version 2, newer than this receiver's 1: run a "
                    "newer receiver"));
}

const std::string kTooLarge = "Report refused: it is larger than 64 KiB";

// A report from the client named, posted on a connection that stays open, with any header
// lines after its type.
std::string Report(const std::string& client, const std::string& more = "") {
    return Raw(Body("Sample_Aircraft", "52.5", "1950", "336", client), "POST /receiver.php",
               kForm + more);
}

// Each row a client: bytes it sends, pauses (ms) and a half-close (0); the answers' status
// codes in order; a pattern in what came back; whether the receiver closed the connection;
// how many of the reports from client `id` are stored. Rows run side by side: about 12 s.
using Step = std::variant<std::string, int>;
struct Hostile {
    std::string id;
    std::vector<Step> script;
    std::string statuses, pattern;
    bool closed;
    int stored;
    std::string from = "127.0.0.1";
};

TEST(Wire, HostileAndOrdinaryClients) {
    TempDir dir;
    const Receiver receiver(dir.path + "/r.sqlite", "--trust-proxy 127.0.0.3");
    const std::string get = "GET / HTTP/1.1\r\nHost: x\r\n", closing = "Connection: close\r\n\r\n";
    const std::string post = "POST /receiver.php HTTP/1.1\r\nHost: x\r\nContent-Type: " + kForm;
    const auto fields = [](int n) {
        std::string s;
        while (n--) s += "X: a\r\n";
        return s;
    };
    const auto slow = Report("slow"), smug = Body("Sample_Aircraft", "1", "1", "1", "smug");
    const std::string smugLength = std::to_string(smug.size());
    const std::vector<Hostile> rows = {
        // Slow and idle clients: a head within 10 s however it trickles in, a body within 10 s
        // of it, 5 s of keep-alive.
        {"", {"P", 4000, "OS", 4000, "T /", 2500, "x"}, "408", "its head took over 10 s", true, 0},
        {"slow", {slow.substr(0, slow.size() - 4), 10500, slow.substr(slow.size() - 4)}, "408",
         "its body took over 10 s", true, 0},
        {"", {10500}, "", "^$", true, 0},
        {"idle", {Report("idle"), 5500}, "200", "OK\\+OK\\+OK$", true, 1},
        // Heads of 8 KiB and 100 fields at most.
        {"", {get + "X: " + std::string(9000, 'a') + "\r\n\r\n"}, "431", "over 8 KiB", true, 0},
        {"", {get + fields(100) + "\r\n"}, "431", "over 100 fields", true, 0},
        {"", {get + fields(98) + closing}, "200", "</html>", true, 0},
        // Pipelined requests answered in order; a half-closed client answered.
        {"pipe", {Report("pipe") + Report("pipe") + Report("pipe") + get + closing},
         "200 200 200 200", "OK\\+OK\\+OKHTTP/1.1 200 OK\r\n[\\s\\S]*</html>\n$", true, 3},
        {"half", {Report("half"), 0}, "200", "OK\\+OK\\+OK$", true, 1},
        // Lengths in conflict, repeated, together with chunks, or bad chunk sizes.
        {"smug", {post + "\r\nContent-Length: 5\r\nContent-Length: " + smugLength + "\r\n\r\n" + smug},
         "400", "not valid HTTP", true, 0},
        {"smug", {post + "\r\nContent-Length: 5\r\nContent-Length: 5\r\n\r\nTL=X&" + Report("smug")},
         "400", "its Content-Length is repeated", true, 0},
        {"smug", {post + "\r\nContent-Length: " + smugLength + "\r\nTransfer-Encoding: chunked\r\n\r\n" + smug},
         "400", "not valid HTTP", true, 0},
        {"smug", {post + "\r\nTransfer-Encoding: chunked\r\n\r\n" + smugLength + "x\r\n" + smug + "\r\n0\r\n\r\n"},
         "400", "its body is not valid", true, 0},
        {"", {Raw("", "POST /receiver.php", kForm + "\r\nTransfer-Encoding: chunked", "") + "11170\r\n" +
              std::string(70000, 'a') + "\r\n0\r\n\r\n"},  // one chunk of 0x11170 = 70000 bytes
         "413", kTooLarge, true, 0},
        // Ranges ignored; OPTIONS and HEAD answered.
        {"", {"GET /reports.csv HTTP/1.1\r\nRange: bytes=0-20\r\n" + closing}, "200",
         "^HTTP/1.1 200 OK\r\n[\\s\\S]*\r\n\r\nid,received,client_id,", true, 0},
        {"", {"OPTIONS /receiver.php HTTP/1.1\r\nHost: x\r\n\r\n"}, "204", "\r\nAllow: POST, OPTIONS\r\n", false, 0},
        {"", {"HEAD / HTTP/1.1\r\nHost: x\r\n" + closing}, "200",
         "\r\nContent-Length: [1-9]\\d+\r\nConnection: close\r\n\r\n$", true, 0},
        // Refusals: the connection goes on where the body was read whole.
        {"", {Raw(std::string(10 << 20, 'a'))}, "413", kTooLarge, true, 0},
        {"", {Raw(std::string(70000, 'a'), "POST /receiver.php", kForm + "\r\nExpect: 100-continue")},
         "413", kTooLarge, true, 0},
        {"cont", {Report("cont", "\r\nExpect: 100-continue")}, "100 200", "OK\\+OK\\+OK$", false, 1},
        {"", {Raw("", "GET /receiver.php")}, "405", "\r\nAllow: POST, OPTIONS\r\n[\\s\\S]*fuel reports sent with POST", true, 0},
        {"", {Raw("", "GET /x%0Ay%7F")}, "404", "Not found$", true, 0},  // logged on one line
        {"", {Raw(std::string(60000, 'a') + "\r\n\r\n", "POST /index.php")}, "404",
         "Not found: fuel reports go to /receiver.php$", false, 0},
        {"", {Raw(kExample, "POST /receiver.php", "text/plain")}, "415",
         "it must be sent as application/x-www-form-urlencoded$", false, 0},
        {"", {Raw("", "POST /receiver.php", kForm, "")}, "411", "it has no Content-Length$", true, 0},
        {"bad", {Report("bad") + Raw(Body("X", "abc", "1", "1", "bad"))},
         "200 400", "Report refused: PPH is not a number$", false, 1},
        {"", {"BAD\r\n\r\n"}, "400", "not valid HTTP", true, 0},
        // Behind a trusted proxy the forwarded address counts; from anyone else it does not.
        {"prox", {Report("prox", "\r\nX-Forwarded-For: 198.51.100.7, 127.0.0.3")}, "200", "OK", false, 1, "127.0.0.3"},
        {"spoof", {Report("spoof", "\r\nX-Forwarded-For: 203.0.113.9")}, "200", "OK", false, 1},
    };
    std::vector<std::pair<std::string, bool>> got(rows.size());
    std::vector<std::thread> clients;
    for (std::size_t i = 0; i < rows.size(); ++i)
        clients.emplace_back([&, i] {
            const int sock = Connect(receiver.port, rows[i].from);
            for (const auto& step : rows[i].script) {
                if (const auto* bytes = std::get_if<std::string>(&step)) SendAll(sock, *bytes);
                else if (std::get<int>(step) == 0) shutdown(sock, SHUT_WR);
                else std::this_thread::sleep_for(std::chrono::milliseconds(std::get<int>(step)));
            }
            got[i] = ReadAll(sock, 1500);
            close(sock);
        });
    for (auto& c : clients) c.join();
    const auto csv = receiver.Get("/reports.csv").body;
    const std::regex answer("HTTP/1\\.1 (\\d{3}) [^\r]*\r\n((?:[^\r]+\r\n)*)\r\n");
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const auto& [in, closed] = got[i];
        SCOPED_TRACE(std::to_string(i) + ": " + in.substr(0, 300));
        std::string statuses;
        for (std::sregex_iterator m(in.begin(), in.end(), answer), end; m != end; ++m) {
            statuses += (statuses.empty() ? "" : " ") + (*m)[1].str();
            EXPECT_LE(Occurrences((*m)[2].str(), "Connection:"), 1u);
        }
        EXPECT_EQ(statuses, rows[i].statuses);
        EXPECT_TRUE(std::regex_search(in, std::regex(rows[i].pattern)));
        EXPECT_EQ(closed, rows[i].closed);
        if (!rows[i].id.empty()) {
            EXPECT_EQ(Occurrences(csv, "," + rows[i].id + ",Sample_Aircraft,"),
                      static_cast<std::size_t>(rows[i].stored));
        }
    }
    EXPECT_EQ(OpenStore({dir.path + "/r.sqlite"})->List({"prox", ""}, 0, 0, 1).at(0).sender,
              "198.51.100.7");
    EXPECT_TRUE(receiver.Logged(R"(Z 198\.51\.100\.7 POST /receiver\.php 200 )"));
    EXPECT_TRUE(receiver.Logged(R"(Z 127\.0\.0\.1 - - 400 [^\n]+not valid HTTP)"));
    EXPECT_TRUE(receiver.Logged(R"( GET /x y  404 )"));
    EXPECT_THAT(receiver.Log(), Not(HasSubstr("203.0.113.9")));
    EXPECT_TRUE(receiver.Logged(
        R"(\n\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z 127\.0\.0\.1 POST /receiver\.php 200 \d{1,3}\.\dms\n)"));
    EXPECT_THAT(receiver.Get("/?aircraft=sample%20air").body, HasSubstr("1–9 of 9, newest first"));
}

TEST(Wire, OthersAreStillServedAndOneAddressHas64Connections) {
    rlimit files{};
    getrlimit(RLIMIT_NOFILE, &files);
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);
    TempDir dir;
    const Receiver receiver(dir.path + "/r.sqlite");
    // 1,000 silent connections and 100 that send a byte a second, 50 from each of 127.0.0.2 on.
    std::vector<int> crowd;
    for (int i = 0; i < 1100; ++i)
        crowd.push_back(Connect(receiver.port, "127.0.0." + std::to_string(2 + i / 50)));
    std::atomic<bool> done = false;
    std::thread trickle([&] {
        const std::string head = "POST /receiver.php HTTP/1.1\r\n";
        for (std::size_t k = 0; !done; ++k) {
            for (std::size_t i = 1000; i < crowd.size(); ++i) SendAll(crowd[i], head.substr(k, 1));
            for (int t = 0; t < 10 && !done; ++t) std::this_thread::sleep_for(100ms);
        }
    });
    std::this_thread::sleep_for(1500ms);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(receiver.Post(Body("Sample_Aircraft", "52.5", "1950", "336", "crowd")).body, kOk);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    std::vector<int> one;
    for (int i = 0; i < 65; ++i) one.push_back(Connect(receiver.port, "127.0.1.1"));
    EXPECT_TRUE(ReadAll(one.back(), 1000).second);  // the 65th, closed at once
    EXPECT_FALSE(ReadAll(one[63], 100).second);
    EXPECT_FALSE(ReadAll(crowd[0], 100).second);  // the crowd still held
    done = true;
    trickle.join();
    EXPECT_EQ(Occurrences(receiver.Get("/reports.csv").body, ",crowd,"), 1u);
    for (int s : crowd) close(s);
    for (int s : one) close(s);
}

TEST_P(OnEachDatabase, KillAfterAnAnswerLosesNothingAndStopFinishesTheRequestInFlight) {
    receiver_ = std::make_unique<Receiver>(db_);
    ASSERT_EQ(receiver_->Post(kExample).body, kOk);
    EXPECT_EQ(receiver_->Stop(SIGKILL), 128 + SIGKILL);
    receiver_ = std::make_unique<Receiver>(db_);
    // SIGTERM when a pilot has connected but not yet sent: the report is answered and stored.
    const auto a = receiver_->Send(Raw(kExample), [&] {
        kill(receiver_->pid, SIGTERM);
        std::this_thread::sleep_for(300ms);
    });
    EXPECT_THAT(a.head, HasSubstr("\r\nConnection: close\r\n"));  // the last on a stopping receiver
    EXPECT_EQ(a.body, kOk);
    EXPECT_EQ(receiver_->Stop(0), 0);
    EXPECT_THAT(receiver_->Log(),
                HasSubstr("stopping on SIGTERM: finishing the requests in flight\n"));
    EXPECT_THAT(receiver_->Log(), HasSubstr("stopped; database closed"));
    receiver_ = std::make_unique<Receiver>(db_);
    EXPECT_EQ(Occurrences(receiver_->Get("/reports.json").body, "Sample_Aircraft"), 2u);
}

TEST_P(OnEachDatabase, ManyPilotsAtOnceAndAnUploadCutOff) {
    receiver_ = std::make_unique<Receiver>(db_);
    const auto size = [&] { return GetParam() ? 0 : std::filesystem::file_size(db_); };
    const auto before = size();
    close(Connect(receiver_->port));
    const int cut = Connect(receiver_->port);
    SendAll(cut, Raw(kExample).substr(0, 150));  // hung up half-way through the body
    close(cut);
    // 200 connections at once, 6 reports each: more than a page and an export batch.
    std::atomic<int> accepted = 0;
    std::vector<std::thread> pilots;
    for (int i = 0; i < 200; ++i)
        pilots.emplace_back([&] {
            for (int k = 0; k < 6; ++k) accepted += receiver_->Post(kExample).body == kOk;
        });
    for (auto& t : pilots) t.join();
    EXPECT_EQ(accepted, 1200);
    // SQLite's log is copied into the database file while it is open, not only at the end.
    EXPECT_TRUE(GetParam() || Eventually([&] { return size() > before; }));
    // Read back whole, and joined as one JSON array across the export's batches.
    EXPECT_EQ(Occurrences(receiver_->Get("/reports.csv").body, ",2.0.27\r\n"), 1200u);
    const auto json = receiver_->Get("/reports.json").body;
    EXPECT_TRUE(json.starts_with("[\n{\"id\":") && json.ends_with("}\n]\n"));
    EXPECT_EQ(Occurrences(json, "},\n{\"id\":"), 1199u);
    EXPECT_THAT(receiver_->Get("/").body,
                AllOf(HasSubstr("<nav><a href=\"/?page=2\">Older →</a></nav>"),
                      HasSubstr(">52.5 lb/h, 1200 flights</text>"), Not(HasSubstr("most flown"))));
    EXPECT_THAT(receiver_->Get("/?page=12").body,
                HasSubstr("<nav><a href=\"/?page=11\">← Newer</a></nav>"));
    EXPECT_THAT(receiver_->Get("/?page=13").body, HasSubstr("<p>None."));
    EXPECT_TRUE(receiver_->Logged(R"(/receiver\.php 400 .* it arrived incomplete)"));
    if (GetParam()) {  // PostgreSQL connections kept for the next report, at most 16
        const auto rows = OpenPostgres(db_)->Session(true)->Run(
            "SELECT count(*) - 1 FROM pg_stat_activity WHERE backend_type = 'client backend'");
        EXPECT_TRUE(std::stoi(rows[0][0]) > 1 && std::stoi(rows[0][0]) <= 16) << rows[0][0];
    }
}

// The database cannot be written: each report gets the 503 line, the page still works,
// and what was answered OK+OK+OK is all there afterwards.
TEST_P(OnEachDatabase, ReadOnlyOrFullDatabase) {
    if (GetParam()) GTEST_SKIP() << "a SQLite file's faults";
    receiver_ = std::make_unique<Receiver>(db_);
    for (int i = 0; i < 2; ++i) ASSERT_EQ(receiver_->Post(kExample).body, kOk);
    receiver_->Stop();
    // Started again as an unprivileged user, for whom a file's mode counts.
    chmod(db_.c_str(), 0444);
    receiver_ = std::make_unique<Receiver>(
        db_, "", getuid() ? "" : "setpriv --reuid=65534 --regid=65534 --clear-groups");
    const auto refused = receiver_->Post(kExample);
    EXPECT_EQ(std::tie(refused.status, refused.body), std::make_tuple(503, kNotStored));
    EXPECT_EQ(Occurrences(receiver_->Get("/").body, ">Sample_Aircraft</a></td>"), 2u);
    receiver_->Stop();
    // A file-size limit stands in for a full disk: a write of the database fails.
    chmod(db_.c_str(), 0644);
    const auto limit = std::to_string(std::filesystem::file_size(db_) + 100000);
    receiver_ = std::make_unique<Receiver>(db_, "", "prlimit --fsize=" + limit);
    int accepted = 2;
    for (int i = 0; i < 200 && receiver_->Post(kExample).body == kOk; ++i) ++accepted;
    EXPECT_EQ(receiver_->Get("/").status, 200);
    EXPECT_TRUE(receiver_->Logged(R"(try again later \(disk I/O error\))"));
    EXPECT_EQ(receiver_->Stop(SIGINT), 0);
    receiver_ = std::make_unique<Receiver>(db_);
    EXPECT_EQ(Occurrences(receiver_->Get("/reports.json").body, "\"id\":"),
              static_cast<std::size_t>(accepted));
}

TEST(CommandLine, OptionsHelpAndStartFailures) {
    const auto o = ParseOptions(
        {"--listen", "[::1]:65535", "--db=x.sqlite", "--fsync", "--trust-proxy", "::1", "--trust-proxy=10.0.0.1"});
    EXPECT_EQ(std::tie(o.error, o.options.host, o.options.port, o.options.store.db,
                       o.options.store.fsync, o.options.trustedProxies),
              std::make_tuple("", "::1", 65535, "x.sqlite", true, std::vector<std::string>{"::1", "10.0.0.1"}));
    EXPECT_EQ(DatabaseText({"postgresql://u:pw@db.example/x"}), "postgresql://db.example/x");
    TempDir dir;
    const Receiver busy(dir.path + "/a.sqlite");
    const auto taken = "127.0.0.1:" + std::to_string(busy.port);
    const std::vector<std::tuple<std::string, int, std::string>> cases = {
        {"--help", 0, "or over 2000000 lb,\na body over 64 KiB.\n"},
        {"--help", 0, "10000 connections in all and 64 from one address"},
        {"--listen", 2, "verlisk-receiver: unknown option or missing value: --listen\n\nUsage:"},
        {"--listen h:65536", 2, "--listen needs HOST:PORT, e.g. 127.0.0.1:8350"},
        {"--trust-proxy proxy.example", 2, "--trust-proxy needs an IP address"},
        {"--db " + dir.path + "/b.sqlite --listen " + taken, 1, "cannot listen on " + taken},
    };
    for (const auto& [args, status, output] : cases) {
        const auto [exit, out] = Shell(VERLISK_RECEIVER_BINARY " " + args + " 2>&1");
        EXPECT_EQ(exit, status) << args;
        EXPECT_THAT(out, HasSubstr(output));
    }
}

TEST_P(OnEachDatabase, PostgresRestartOutageAndDownAtTheStart) {
    if (!GetParam()) GTEST_SKIP() << "a PostgreSQL cluster's faults";
    receiver_ = std::make_unique<Receiver>(db_);
    ASSERT_EQ(receiver_->Post(kExample).body, kOk);
    // A restart is not seen: the connections it closed are replaced.
    Cluster("restart");
    EXPECT_EQ(receiver_->Post(kExample).body, kOk);
    Cluster("stop");
    const auto refused = receiver_->Post(kExample);
    EXPECT_EQ(std::tie(refused.status, refused.body), std::make_tuple(503, kNotStored));
    EXPECT_EQ(receiver_->Get("/").status, 503);
    Cluster("restart");
    EXPECT_TRUE(receiver_->Logged("database available again"));
    EXPECT_EQ(receiver_->Post(kExample).body, kOk);
    EXPECT_EQ(Occurrences(receiver_->Get("/reports.json").body, "Sample_Aircraft"), 3u);
    // The library's reason whole, only its line ends trimmed; one line for the outage.
    EXPECT_TRUE(receiver_->Logged(R"(\(cannot connect to PostgreSQL: [^\n]*[^ ]\)\n)"));
    EXPECT_EQ(Occurrences(receiver_->Log(), "database unavailable"), 1u);
    EXPECT_EQ(receiver_->Stop(), 0);  // and, in a sanitized build, no connection leaked
    // Down when the receiver starts: it starts, and takes reports once the database is up.
    Cluster("stop");
    receiver_ = std::make_unique<Receiver>(db_);
    EXPECT_EQ(receiver_->Post(kExample).status, 503);
    Cluster("restart");
    EXPECT_TRUE(receiver_->Logged("database available again"));
    EXPECT_EQ(receiver_->Post(kExample).body, kOk);
    EXPECT_EQ(Occurrences(receiver_->Get("/reports.json").body, "Sample_Aircraft"), 4u);
}

INSTANTIATE_TEST_SUITE_P(Sqlite, OnEachDatabase, ::testing::Values(false));
INSTANTIATE_TEST_SUITE_P(LivePostgres, OnEachDatabase, ::testing::Values(true));

TEST(LiveBrowser, RendersTableChartAndEscapedTitles) {
    TempDir dir;
    Receiver receiver(dir.path + "/reports.sqlite");
    for (const std::string title :
         {"Sample_Aircraft", "Sample_Aircraft", "<script>alert(1)</script>", "Caravelle \xE9"})
        ASSERT_EQ(receiver.Post(Body(title)).body, kOk);
    const std::string chromium =
        "chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run "
        "--disable-background-networking --disable-component-update --disable-sync "
        "--user-data-dir=" +
        dir.path + "/profile ";
    const std::string url = "http://127.0.0.1:" + std::to_string(receiver.port) + "/";
    const auto dom = Shell(chromium + "--dump-dom " + url + " 2>/dev/null").second;
    EXPECT_EQ(Occurrences(dom, "<tr><td>"), 4u) << dom;
    EXPECT_EQ(Occurrences(dom, "<rect "), 3u);
    EXPECT_THAT(dom, HasSubstr("\">&lt;script&gt;alert(1)&lt;/script&gt;</a></td>"));
    EXPECT_THAT(dom, Not(HasSubstr("<script")));
    EXPECT_THAT(dom, HasSubstr(">Caravelle é</a>"));
    // A phone's screen, for a person to look at.
    const std::string shot = std::string(VERLISK_SHOT_DIR) + "/receiver-page.png";
    std::filesystem::remove(shot);
    Shell(chromium + "--window-size=412,915 --screenshot=" + shot + " " + url + " 2>&1");
    EXPECT_GT(std::filesystem::exists(shot) ? std::filesystem::file_size(shot) : 0, 10000u);
}

}  // namespace
}  // namespace verlisk::receiver::testing
