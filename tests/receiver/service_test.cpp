#include "receiver/service.h"

#include <sys/stat.h>

#include <atomic>

#include "harness.h"
#include "receiver/options.h"

// The built receiver on loopback: what a pilot's program, a browser or a script gets.
namespace verlisk::receiver::testing {
namespace {

const std::string kForm = "application/x-www-form-urlencoded";
const std::string kTooLarge = "Report refused: it is larger than 64 KiB";
const std::string kNoTL = "Report refused: the report does not start with TL=";

// A body the receiver leaves unread must end the connection by itself; without a body
// the client asks for the end.
std::string Raw(const std::string& method, const std::string& path, const std::string& type,
                const std::string& body, bool withLength = true) {
    return method + " " + path + " HTTP/1.1\r\nHost: x\r\nContent-Type: " + type + "\r\n" +
           (withLength ? "Content-Length: " + std::to_string(body.size()) + "\r\n" : "") +
           (body.empty() ? "Connection: close\r\n" : "") + "\r\n" + body;
}

std::string Chunked(const std::string& body) {
    char size[16];
    std::snprintf(size, sizeof size, "%zx\r\n", body.size());
    return Raw("POST", "/receiver.php", kForm + "\r\nTransfer-Encoding: chunked", "", false) +
           size + body + "\r\n0\r\n\r\n";
}

class ServiceTest : public EachDatabase {
  protected:
    void SetUp() override {
        EachDatabase::SetUp();
        if (!IsSkipped()) receiver_ = std::make_unique<Receiver>(db_);
    }
    std::unique_ptr<Receiver> receiver_;
};

TEST_P(ServiceTest, AnswersEveryRequestAndShowsWhatItStored) {
    // Left unread, past what the server reads ahead: taken for a request if the connection went on.
    const std::string junk = std::string(60000, 'a') + "\r\n\r\n";
    const std::vector<std::tuple<std::string, int, std::string>> cases = {
        {kExample, 200, kOk},
        {Body("Caravelle \xE9"), 200, kOk},
        {Chunked(kExample), 200, kOk},
        {Chunked(std::string(65536, 'a')), 400, kNoTL},
        {std::string(65536, 'a'), 400, kNoTL},
        {"", 400, kNoTL},
        {Chunked(std::string(70000, 'a')), 413, kTooLarge},
        {Raw("POST", "/receiver.php", kForm, std::string(10 << 20, 'a')), 413, kTooLarge},
        {Raw("POST", "/receiver.php", kForm + "\r\nExpect: 100-continue", std::string(70000, 'a')),
         413, kTooLarge},
        {Body("X", "abc"), 400, "Report refused: PPH is not a number"},
        {"TL=X&PPH=1", 400, "Report refused: VERSION is missing or out of order"},
        {Raw("GET", "/receiver.php", kForm, ""), 405,
         "This address takes fuel reports sent with POST"},
        {Raw("GET", "/x%0Ay%7F", kForm, ""), 404, "Not found"},  // logged on one line
        {Raw("POST", "/index.php", kForm, junk), 404,
         "Not found: fuel reports go to /receiver.php"},
        {Raw("PUT", "/index.php", kForm, "x"), 404, "Not found: fuel reports go to /receiver.php"},
        {Raw("POST", "/receiver.php", "text/plain", junk), 415,
         "Report refused: it must be sent as application/x-www-form-urlencoded"},
        {Raw("POST", "/receiver.php", kForm, kExample, false), 411,
         "Report refused: it has no Content-Length"},
        {Raw("POST", "/receiver.php", kForm + "\r\nContent-Length: 12x", kExample, false), 400,
         "Report refused: its Content-Length is not a number"},
    };
    for (const auto& [request, status, answer] : cases) {
        // Requests written out whole; anything else is a body posted as the program does.
        const bool raw = request.find(" HTTP/1.1\r\n") != std::string::npos;
        const auto a = raw ? receiver_->Send(request) : receiver_->Post(request);
        EXPECT_EQ(a.status, status) << request;
        EXPECT_EQ(a.body, answer) << request;
        EXPECT_TRUE(Has(a.head, "\r\nContent-Type: text/plain\r\n"));
        EXPECT_TRUE(Has(a.head, "\r\nConnection: close\r\n"));  // asked for, or the body unread
    }
    // A request without a body keeps its connection for the next.
    httplib::Client client("127.0.0.1", receiver_->port);
    client.set_keep_alive(true);
    const auto get = client.Get("/receiver.php");
    ASSERT_TRUE(get);
    EXPECT_EQ(std::make_tuple(get->status, get->get_header_value("Allow")),
              std::make_tuple(405, "POST"));
    EXPECT_FALSE(get->has_header("Connection"));
    // Asked before sending: a body up to the limit is let through.
    for (const auto& [body, answer] :
         {std::pair{kExample, kOk}, {std::string(65536, 'a'), kNoTL}}) {
        const auto asked =
            receiver_->Send(Raw("POST", "/receiver.php",
                                kForm + "\r\nExpect: 100-continue\r\nConnection: close", body));
        EXPECT_EQ(asked.status, 100);
        EXPECT_TRUE(asked.body.ends_with("\r\n\r\n" + answer));
    }
    const auto page = receiver_->Get("/").body;
    EXPECT_FALSE(Has(page, "most flown"));
    EXPECT_TRUE(Has(page, ">52.5 lb/h, 3 flights</text>"));
    const auto sample = receiver_->Get("/?aircraft=sample%20air").body;
    EXPECT_TRUE(Has(sample, "1–3 of 3, newest first"));
    // One connection, a refusal and then a report: each logged alone.
    const auto first = Raw("POST", "/receiver.php", kForm, Body("X", "abc"));
    auto second = Raw("POST", "/receiver.php", kForm, kExample);
    second.insert(second.find("\r\n\r\n"), "\r\nConnection: close");
    receiver_->Send(first + second, first.size(),
                    [] { std::this_thread::sleep_for(std::chrono::milliseconds(200)); });
    EXPECT_TRUE(receiver_->Logged(
        R"(\n\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z 127\.0\.0\.1 POST /receiver\.php 200 \d{1,3}\.\dms\n$)"));
    EXPECT_TRUE(receiver_->Logged(R"( GET /x y  404 )"));
}

TEST_P(ServiceTest, KillAfterAnAnswerLosesNothingAndStopFinishesTheRequestInFlight) {
    ASSERT_EQ(receiver_->Post(kExample).body, kOk);
    EXPECT_EQ(receiver_->Stop(SIGKILL), 128 + SIGKILL);
    receiver_ = std::make_unique<Receiver>(db_);
    // SIGTERM when a pilot has connected but not yet sent: the report is answered and stored.
    const auto a = receiver_->Send(Raw("POST", "/receiver.php", kForm, kExample), 0, [&] {
        kill(receiver_->pid, SIGTERM);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    });
    EXPECT_TRUE(Has(a.head, "\r\nConnection: close\r\n"));  // the last on a stopping receiver
    EXPECT_EQ(receiver_->Stop(0), 0);
    EXPECT_TRUE(Has(receiver_->Log(), "stopping on SIGTERM: finishing the requests in flight\n"));
    EXPECT_TRUE(Has(receiver_->Log(), "stopped; database closed"));
    receiver_ = std::make_unique<Receiver>(db_);
    EXPECT_EQ(Occurrences(receiver_->Get("/reports.json").body, "Sample_Aircraft"), 2u);
}

// Serves an export's first batch, then loses its database.
struct LostMidway : ReportStore {
    void Add(const StoredReport&) override {}
    std::vector<StoredReport> List(const Filter&, std::int64_t before, std::int64_t,
                                   int n) override {
        if (before) throw StoreError("connection lost");
        return std::vector<StoredReport>(static_cast<std::size_t>(n), StoredReport{1, 0, "", {}});
    }
    std::int64_t Count(const Filter&) override { return 0; }
    std::vector<AircraftSummary> ByAircraft(const Filter&) override { return {}; }
};

TEST(Export, ADatabaseLostMidwayBreaksTheDownloadOff) {
    LostMidway store;
    ReceiverService service(store);
    const int port = service.Bind("127.0.0.1", 0);
    std::thread run([&] { service.Run(); });
    ::testing::internal::CaptureStderr();
    std::string csv;
    const auto res =
        httplib::Client("127.0.0.1", port).Get("/reports.csv", [&](const char* d, std::size_t n) {
            csv.append(d, n);
            return csv.size() < (1 << 20);
        });
    service.Stop();
    run.join();
    EXPECT_FALSE(res);  // so that the download does not look complete
    EXPECT_EQ(Occurrences(csv, "\r\n"), 1001u);
    EXPECT_TRUE(
        Has(::testing::internal::GetCapturedStderr(), "ms export broken off: connection lost\n"));
}

TEST_P(ServiceTest, ManyPilotsAtOnceAndAnUploadCutOff) {
    const std::string raw = Raw("POST", "/receiver.php", kForm, kExample);
    receiver_->Send(raw, raw.size() - 10);
    // 200 connections at once, 6 reports each: more than a page and an export batch.
    std::atomic<int> accepted = 0;
    std::vector<std::thread> pilots;
    for (int i = 0; i < 200; ++i) {
        pilots.emplace_back([&] {
            for (int k = 0; k < 6; ++k) accepted += receiver_->Post(kExample).body == kOk;
        });
    }
    for (auto& t : pilots) t.join();
    EXPECT_EQ(accepted, 1200);
    // Read back whole, and joined as one JSON array across the export's batches.
    const auto csv = receiver_->Get("/reports.csv").body;
    EXPECT_EQ(Occurrences(csv, "Sample_Aircraft"), 1200u);
    EXPECT_EQ(Occurrences(receiver_->Get("/reports.json").body, "},\n{\"id\":"), 1199u);
    const auto first = receiver_->Get("/").body, last = receiver_->Get("/?page=12").body;
    EXPECT_TRUE(Has(first, "<nav><a href=\"/?page=2\">Older →</a></nav>"));
    EXPECT_TRUE(Has(last, "<nav><a href=\"/?page=11\">← Newer</a></nav>"));
    EXPECT_TRUE(Has(receiver_->Get("/?page=13").body, "<p>None."));
    EXPECT_TRUE(
        receiver_->Logged(R"(/receiver\.php 400 .* Report refused: it arrived incomplete)"));
    const auto fds =
        std::filesystem::directory_iterator("/proc/" + std::to_string(receiver_->pid) + "/fd");
    EXPECT_LT(std::distance(fds, {}), 40);  // every connection closed
    if (GetParam()) {  // PostgreSQL connections kept for the next report, at most 16
        const auto rows = OpenPostgres(db_)->Session(true)->Run(
            "SELECT count(*) - 1 FROM pg_stat_activity WHERE backend_type = 'client backend'");
        EXPECT_TRUE(std::stoi(rows[0][0]) > 1 && std::stoi(rows[0][0]) <= 16) << rows[0][0];
    }
}

INSTANTIATE_TEST_SUITE_P(Sqlite, ServiceTest, ::testing::Values(false));
INSTANTIATE_TEST_SUITE_P(LivePostgres, ServiceTest, ::testing::Values(true));

using SqliteService = ServiceTest;

// The database cannot be written: each report gets the 503 line, the page still works,
// and what was answered OK+OK+OK is all there afterwards.
TEST_P(SqliteService, ReadOnlyOrFullDatabase) {
    // Started afresh as an unprivileged user, for whom a file's mode counts.
    receiver_->Stop();
    std::filesystem::remove(db_);
    const std::string nobody = getuid() ? "" : "setpriv --reuid=65534 --regid=65534 --clear-groups";
    receiver_ = std::make_unique<Receiver>(db_, nobody);
    ASSERT_EQ(receiver_->Post(kExample).body, kOk);
    ASSERT_EQ(receiver_->Post(kExample).body, kOk);
    receiver_->Stop();
    chmod(db_.c_str(), 0444);
    receiver_ = std::make_unique<Receiver>(db_, nobody);
    const auto refused = receiver_->Post(kExample);
    EXPECT_EQ(std::tie(refused.status, refused.body), std::make_tuple(503, kNotStored));
    EXPECT_EQ(Occurrences(receiver_->Get("/").body, ">Sample_Aircraft</a></td>"), 2u);
    receiver_->Stop();
    // A file-size limit stands in for a full disk: a write of the database fails.
    chmod(db_.c_str(), 0644);
    const auto limit = std::to_string(std::filesystem::file_size(db_) + 100000);
    receiver_ = std::make_unique<Receiver>(db_, "prlimit --fsize=" + limit);
    int accepted = 2;
    for (int i = 0; i < 200 && receiver_->Post(kExample).body == kOk; ++i) ++accepted;
    EXPECT_EQ(receiver_->Get("/").status, 200);
    EXPECT_TRUE(receiver_->Logged(R"(try again later \(disk I/O error\))"));
    EXPECT_EQ(receiver_->Stop(SIGINT), 0);
    receiver_ = std::make_unique<Receiver>(db_);
    EXPECT_EQ(Occurrences(receiver_->Get("/reports.json").body, "\"id\":"),
              static_cast<std::size_t>(accepted));
}

INSTANTIATE_TEST_SUITE_P(Sqlite, SqliteService, ::testing::Values(false));

TEST(CommandLine, OptionsHelpAndStartFailures) {
    const auto o = ParseOptions({"--listen", "[::1]:65535", "--db=x.sqlite", "--fsync"});
    EXPECT_EQ(std::tie(o.error, o.options.host, o.options.port, o.options.store.db,
                       o.options.store.fsync),
              std::make_tuple("", "::1", 65535, "x.sqlite", true));
    EXPECT_EQ(DatabaseText({"postgresql://u:pw@db.example/x"}), "postgresql://db.example/x");
    TempDir dir;
    Receiver busy(dir.path + "/a.sqlite");
    const std::string bin = std::string(VERLISK_RECEIVER_BINARY) + " ";
    const std::vector<std::tuple<std::string, int, std::string>> cases = {
        {"--help", 0, "or over 2000000 lb,\na body over 64 KiB.\n"},
        {"--bogus", 2, "verlisk-receiver: unknown option or missing value: --bogus\n\nUsage:"},
        {"--listen", 2, "verlisk-receiver: unknown option or missing value: --listen\n\nUsage:"},
        {"--listen h:65536", 2, "--listen needs HOST:PORT, e.g. 127.0.0.1:8350"},
        {"--db /nonexistent/x.sqlite", 1,
         "cannot open the database: cannot open /nonexistent/x.sqlite: unable to open database "
         "file"},
        {"--db " + dir.path + "/b.sqlite --listen 127.0.0.1:" + std::to_string(busy.port), 1,
         "cannot listen on 127.0.0.1:" + std::to_string(busy.port)},
    };
    for (const auto& [args, status, output] : cases) {
        const auto [exit, out] = Shell(bin + args + " 2>&1");
        EXPECT_EQ(exit, status) << args;
        EXPECT_TRUE(Has(out, output));
    }
}

// Against real peers that take a while to start: a PostgreSQL cluster and Chromium.
using PostgresService = ServiceTest;

TEST_P(PostgresService, RestartAndOutage) {
    const auto cluster = [](const std::string& what) {
        Shell(VERLISK_PG_CLUSTER " " + what + " " + std::getenv("VERLISK_PG_STATE"));
    };
    ASSERT_EQ(receiver_->Post(kExample).body, kOk);
    // A restart is not seen: the connections it closed are replaced.
    cluster("restart");
    EXPECT_EQ(receiver_->Post(kExample).body, kOk);
    cluster("stop");
    const auto refused = receiver_->Post(kExample);
    EXPECT_EQ(std::tie(refused.status, refused.body), std::make_tuple(503, kNotStored));
    EXPECT_EQ(receiver_->Get("/").status, 503);
    cluster("restart");
    EXPECT_EQ(receiver_->Post(kExample).body, kOk);
    EXPECT_EQ(Occurrences(receiver_->Get("/reports.json").body, "Sample_Aircraft"), 3u);
    // The library's reason whole, only its line ends trimmed.
    EXPECT_TRUE(receiver_->Logged(R"(\(cannot connect to PostgreSQL: [^\n]*[^ ]\)\n)"));
    EXPECT_EQ(receiver_->Stop(), 0);  // and, in a sanitized build, no connection leaked
}

INSTANTIATE_TEST_SUITE_P(LivePostgres, PostgresService, ::testing::Values(true));

TEST(LiveBrowser, RendersTableChartAndEscapedTitles) {
    TempDir dir;
    Receiver receiver(dir.path + "/reports.sqlite");
    for (const std::string title :
         {"Sample_Aircraft", "Sample_Aircraft", "<script>alert(1)</script>", "Caravelle \xE9"}) {
        ASSERT_EQ(receiver.Post("TL=" + title + kExample.substr(18)).body, kOk);
    }
    const std::string chromium =
        "chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run "
        "--disable-background-networking --disable-component-update --disable-sync "
        "--user-data-dir=" +
        dir.path + "/profile ";
    const std::string url = "http://127.0.0.1:" + std::to_string(receiver.port) + "/";
    const auto dom = Shell(chromium + "--dump-dom " + url + " 2>/dev/null").second;
    EXPECT_EQ(Occurrences(dom, "<tr><td>"), 4u) << dom;
    EXPECT_EQ(Occurrences(dom, "<rect "), 3u);
    EXPECT_TRUE(Has(dom, "\">&lt;script&gt;alert(1)&lt;/script&gt;</a></td>"));
    EXPECT_FALSE(Has(dom, "<script"));
    EXPECT_TRUE(Has(dom, ">Caravelle é</a>"));
    // A phone's screen, for a person to look at.
    const std::string shot = std::string(VERLISK_SHOT_DIR) + "/receiver-page.png";
    std::filesystem::remove(shot);
    Shell(chromium + "--window-size=412,915 --screenshot=" + shot + " " + url + " 2>&1");
    EXPECT_GT(std::filesystem::exists(shot) ? std::filesystem::file_size(shot) : 0, 10000u);
}

}  // namespace
}  // namespace verlisk::receiver::testing
