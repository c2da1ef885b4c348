#include "receiver/service.h"

#include <sys/stat.h>

#include <atomic>

#include "harness.h"
#include "receiver/options.h"

// The built receiver on loopback: what a pilot's program, a browser or a script gets.
namespace verlisk::receiver::testing {
namespace {

const std::string kTooLarge = "Report refused: it is larger than 64 KiB";
const std::string kNoTL = "Report refused: the report does not start with TL=";

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
        {std::string(65536, 'a'), 400, kNoTL},
        {"", 400, kNoTL},
        {Raw("", "POST /receiver.php", kForm + "\r\nTransfer-Encoding: chunked", "") + "11170\r\n" +
             std::string(70000, 'a') + "\r\n0\r\n\r\n",  // one chunk of 0x11170 = 70000 bytes
         413, kTooLarge},
        {Raw(std::string(10 << 20, 'a')), 413, kTooLarge},
        {Raw(std::string(70000, 'a'), "POST /receiver.php", kForm + "\r\nExpect: 100-continue"),
         413, kTooLarge},
        {Body("X", "abc"), 400, "Report refused: PPH is not a number"},
        {"TL=X&PPH=1", 400, "Report refused: VERSION is missing or out of order"},
        {Raw("", "GET /receiver.php"), 405, "This address takes fuel reports sent with POST"},
        {Raw("", "GET /x%0Ay%7F"), 404, "Not found"},  // logged on one line
        {Raw(junk, "POST /index.php"), 404, "Not found: fuel reports go to /receiver.php"},
        {Raw("x", "PUT /index.php"), 404, "Not found: fuel reports go to /receiver.php"},
        {Raw(junk, "POST /receiver.php", "text/plain"), 415,
         "Report refused: it must be sent as application/x-www-form-urlencoded"},
        {Raw(kExample, "POST /receiver.php", kForm, ""), 411,
         "Report refused: it has no Content-Length"},
        {Raw(kExample, "POST /receiver.php", kForm, "12x"), 400,
         "Report refused: its Content-Length is not a number"},
    };
    for (const auto& [request, status, answer] : cases) {
        // Requests written out whole; anything else is a body posted as the program does.
        const bool raw = request.find(" HTTP/1.1\r\n") != std::string::npos;
        const auto a = raw ? receiver_->Send(request) : receiver_->Post(request);
        EXPECT_EQ(a.status, status) << request;
        EXPECT_EQ(a.body, answer) << request;
        EXPECT_THAT(a.head, HasSubstr("\r\nContent-Type: text/plain\r\n"));
        EXPECT_THAT(a.head, HasSubstr("\r\nConnection: close\r\n"));  // asked for, or body unread
    }
    // A request without a body, or with one read whole, keeps its connection for the next;
    // each is logged alone.
    httplib::Client client("127.0.0.1", receiver_->port);
    int connects = 0;
    client.set_socket_options([&](int) { ++connects; });
    client.set_keep_alive(true);
    const auto get = client.Get("/receiver.php");
    const auto refused = client.Post("/receiver.php", Body("X", "abc"), kForm);
    const auto sent = client.Post("/receiver.php", kExample, kForm);
    ASSERT_TRUE(get && refused && sent);
    EXPECT_EQ(
        std::make_tuple(get->status, get->get_header_value("Allow"), refused->status, sent->body),
        std::make_tuple(405, "POST", 400, kOk));
    EXPECT_EQ(connects, 1);
    EXPECT_TRUE(receiver_->Logged(
        R"(\n\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z 127\.0\.0\.1 POST /receiver\.php 200 \d{1,3}\.\dms\n$)"));
    EXPECT_TRUE(receiver_->Logged(R"( GET /x y  404 )"));
    const auto page = receiver_->Get("/").body;
    EXPECT_THAT(page, Not(HasSubstr("most flown")));
    EXPECT_THAT(page, HasSubstr(">52.5 lb/h, 2 flights</text>"));
    const auto sample = receiver_->Get("/?aircraft=sample%20air").body;
    EXPECT_THAT(sample, HasSubstr("1–2 of 2, newest first"));
}

TEST_P(ServiceTest, KillAfterAnAnswerLosesNothingAndStopFinishesTheRequestInFlight) {
    ASSERT_EQ(receiver_->Post(kExample).body, kOk);
    EXPECT_EQ(receiver_->Stop(SIGKILL), 128 + SIGKILL);
    receiver_ = std::make_unique<Receiver>(db_);
    // SIGTERM when a pilot has connected but not yet sent: the report is answered and stored.
    const auto a = receiver_->Send(Raw(kExample), [&] {
        kill(receiver_->pid, SIGTERM);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    });
    EXPECT_THAT(a.head, HasSubstr("\r\nConnection: close\r\n"));  // the last on a stopping receiver
    EXPECT_EQ(receiver_->Stop(0), 0);
    EXPECT_THAT(receiver_->Log(),
                HasSubstr("stopping on SIGTERM: finishing the requests in flight\n"));
    EXPECT_THAT(receiver_->Log(), HasSubstr("stopped; database closed"));
    receiver_ = std::make_unique<Receiver>(db_);
    EXPECT_EQ(Occurrences(receiver_->Get("/reports.json").body, "Sample_Aircraft"), 2u);
}

TEST_P(ServiceTest, ManyPilotsAtOnceAndAnUploadCutOff) {
    receiver_->Send(Raw(kExample).substr(0, 150), {}, true);  // hung up half-way through the body
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
    EXPECT_EQ(Occurrences(receiver_->Get("/reports.csv").body, ",2.0.27\r\n"), 1200u);
    const auto json = receiver_->Get("/reports.json").body;
    EXPECT_TRUE(json.starts_with("[\n{\"id\":") && json.ends_with("}\n]\n"));
    EXPECT_EQ(Occurrences(json, "},\n{\"id\":"), 1199u);
    EXPECT_THAT(receiver_->Get("/").body, HasSubstr("<nav><a href=\"/?page=2\">Older →</a></nav>"));
    EXPECT_THAT(receiver_->Get("/?page=12").body,
                HasSubstr("<nav><a href=\"/?page=11\">← Newer</a></nav>"));
    EXPECT_THAT(receiver_->Get("/?page=13").body, HasSubstr("<p>None."));
    EXPECT_TRUE(
        receiver_->Logged(R"(/receiver\.php 400 .* Report refused: it arrived incomplete)"));
    if (GetParam()) {  // PostgreSQL connections kept for the next report, at most 16
        const auto rows = OpenPostgres(db_)->Session(true)->Run(
            "SELECT count(*) - 1 FROM pg_stat_activity WHERE backend_type = 'client backend'");
        EXPECT_TRUE(std::stoi(rows[0][0]) > 1 && std::stoi(rows[0][0]) <= 16) << rows[0][0];
    }
}

// The database cannot be written: each report gets the 503 line, the page still works,
// and what was answered OK+OK+OK is all there afterwards.
TEST_P(ServiceTest, ReadOnlyOrFullDatabase) {
    if (GetParam()) GTEST_SKIP() << "a SQLite file's faults";
    for (int i = 0; i < 2; ++i) ASSERT_EQ(receiver_->Post(kExample).body, kOk);
    receiver_->Stop();
    // Started again as an unprivileged user, for whom a file's mode counts.
    chmod(db_.c_str(), 0444);
    receiver_ = std::make_unique<Receiver>(
        db_, getuid() ? "" : "setpriv --reuid=65534 --regid=65534 --clear-groups");
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

TEST(CommandLine, OptionsHelpAndStartFailures) {
    const auto o = ParseOptions({"--listen", "[::1]:65535", "--db=x.sqlite", "--fsync"});
    EXPECT_EQ(std::tie(o.error, o.options.host, o.options.port, o.options.store.db,
                       o.options.store.fsync),
              std::make_tuple("", "::1", 65535, "x.sqlite", true));
    EXPECT_EQ(DatabaseText({"postgresql://u:pw@db.example/x"}), "postgresql://db.example/x");
    TempDir dir;
    const Receiver busy(dir.path + "/a.sqlite");
    const auto taken = "127.0.0.1:" + std::to_string(busy.port);
    const std::vector<std::tuple<std::string, int, std::string>> cases = {
        {"--help", 0, "or over 2000000 lb,\na body over 64 KiB.\n"},
        {"--listen", 2, "verlisk-receiver: unknown option or missing value: --listen\n\nUsage:"},
        {"--listen h:65536", 2, "--listen needs HOST:PORT, e.g. 127.0.0.1:8350"},
        {"--db /nonexistent/x.sqlite", 1,
         "cannot open the database: cannot open /nonexistent/x.sqlite: unable to open database "
         "file"},
        {"--db " + dir.path + "/b.sqlite --listen " + taken, 1, "cannot listen on " + taken},
    };
    for (const auto& [args, status, output] : cases) {
        const auto [exit, out] = Shell(VERLISK_RECEIVER_BINARY " " + args + " 2>&1");
        EXPECT_EQ(exit, status) << args;
        EXPECT_THAT(out, HasSubstr(output));
    }
}

TEST_P(ServiceTest, PostgresRestartAndOutage) {
    if (!GetParam()) GTEST_SKIP() << "a PostgreSQL cluster's faults";
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

INSTANTIATE_TEST_SUITE_P(Sqlite, ServiceTest, ::testing::Values(false));
INSTANTIATE_TEST_SUITE_P(LivePostgres, ServiceTest, ::testing::Values(true));

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
