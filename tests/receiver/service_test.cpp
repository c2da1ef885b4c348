#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <thread>

#include "harness.h"

// The built receiver on loopback: what a pilot's program, a browser or a script gets.
namespace verlisk::receiver::testing {
namespace {

const std::string kOk = "OK+OK+OK";
const std::string kExample =
    "TL=Sample_Aircraft&PPH=52.5&VERSION=2.0.27&ZFW=1950&MTANK=336&CLIENTID=abcd2345";
const std::string kNotStored =
    "Report not stored: the receiver's database is unavailable, try again later";

std::string Body(const std::string& title, const std::string& pph = "52.5") {
    return "TL=" + title + "&PPH=" + pph + "&VERSION=2.0.27&ZFW=1950&MTANK=336&CLIENTID=c1";
}

std::size_t Occurrences(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

std::string Raw(const std::string& method, const std::string& path, const std::string& type,
                const std::string& body) {
    return method + " " + path + " HTTP/1.1\r\nHost: x\r\nContent-Type: " + type +
           "\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" +
           body;
}

class ServiceTest : public ::testing::TestWithParam<bool> {
  protected:
    void SetUp() override {
        db_ = FreshDatabase(GetParam(), dir_);
        if (db_.empty()) GTEST_SKIP() << "PostgreSQL cases run in the live tests";
        receiver_ = std::make_unique<Receiver>(Receiver::Setup{db_});
    }
    TempDir dir_;
    std::string db_;
    std::unique_ptr<Receiver> receiver_;
};

TEST_P(ServiceTest, AnswersEveryRequestAndShowsWhatItStored) {
    struct Case {
        std::string request;
        int status;
        std::string answer;
    };
    const std::string form = "application/x-www-form-urlencoded";
    const std::vector<Case> cases = {
        {kExample, 200, kOk},
        {Body("<script>alert(1)</script>"), 200, kOk},
        {Body("Caravelle_\xE9"), 200, kOk},
        {Body("A,\"B\"&C=D"), 200, kOk},
        {Body("X", "abc"), 400, "Report refused: PPH is not a number"},
        {"TL=X&PPH=1", 400, "Report refused: VERSION is missing or out of order"},
        {Raw("GET", "/receiver.php", form, ""), 405,
         "This address takes fuel reports sent with POST"},
        {Raw("POST", "/index.php", form, kExample), 404,
         "Not found: fuel reports go to /receiver.php"},
        {Raw("POST", "/receiver.php", "text/plain", kExample), 415,
         "Report refused: it must be sent as application/x-www-form-urlencoded"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.request);
        const auto a =
            c.request.starts_with("TL=") ? receiver_->Post(c.request) : receiver_->Send(c.request);
        EXPECT_EQ(a.status, c.status);
        EXPECT_EQ(a.body, c.answer);
        EXPECT_EQ(a.contentType, "text/plain");
    }
    const auto json = receiver_->Get("/reports.json");
    EXPECT_EQ(Occurrences(json.body, "\"id\":"), 4u);
    EXPECT_NE(json.body.find(R"("aircraft":"A,\"B\"&C=D")"), std::string::npos) << json.body;
    EXPECT_NE(
        json.body.find(
            R"("client_id":"abcd2345","aircraft":"Sample_Aircraft","pph":52.5,"zfw":1950,"mtank":336,"version":"2.0.27"})"),
        std::string::npos);
    const auto csv = receiver_->Get("/reports.csv");
    EXPECT_EQ(Occurrences(csv.body, "\r\n"), 5u);
    EXPECT_TRUE(csv.body.starts_with("id,received,client_id,aircraft,pph,zfw,mtank,version\r\n"));
    EXPECT_NE(csv.body.find(R"(,c1,"A,""B""&C=D",52.5,1950,336,2.0.27)"), std::string::npos)
        << csv.body;
    const auto page = receiver_->Get("/");
    EXPECT_EQ(page.status, 200);
    EXPECT_NE(page.body.find("&lt;script&gt;alert(1)&lt;/script&gt;"), std::string::npos);
    EXPECT_EQ(page.body.find("<script"), std::string::npos);
    EXPECT_NE(page.body.find("Caravelle_é"), std::string::npos);
    EXPECT_EQ(receiver_->Get("/?aircraft=caravelle").body.find("Sample_Aircraft"),
              std::string::npos);
}

TEST_P(ServiceTest, KillAfterAnAnswerLosesNothingAndStopFinishesTheRequestInFlight) {
    ASSERT_EQ(receiver_->Post(kExample).body, kOk);
    EXPECT_EQ(receiver_->Stop(SIGKILL), 128 + SIGKILL);
    receiver_ = std::make_unique<Receiver>(Receiver::Setup{db_});
    EXPECT_EQ(Occurrences(receiver_->Get("/reports.json").body, "Sample_Aircraft"), 1u);
    // SIGTERM while a report is half sent: it is still answered and stored.
    const std::string raw =
        Raw("POST", "/receiver.php", "application/x-www-form-urlencoded", kExample);
    const auto a = receiver_->Send(raw, raw.size() - 10, [&] {
        receiver_->Signal(SIGTERM);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    });
    EXPECT_EQ(a.body, kOk);
    EXPECT_EQ(receiver_->Stop(0), 0);
    EXPECT_NE(receiver_->Log().find("stopped; database closed"), std::string::npos);
    receiver_ = std::make_unique<Receiver>(Receiver::Setup{db_});
    EXPECT_EQ(Occurrences(receiver_->Get("/reports.json").body, "Sample_Aircraft"), 2u);
}

INSTANTIATE_TEST_SUITE_P(Sqlite, ServiceTest, ::testing::Values(false));
INSTANTIATE_TEST_SUITE_P(LivePostgres, ServiceTest, ::testing::Values(true));

class SqliteService : public ServiceTest {};

TEST_P(SqliteService, OversizedCutOffAndConcurrentUploads) {
    const auto big = receiver_->Send(Raw(
        "POST", "/receiver.php", "application/x-www-form-urlencoded", std::string(10 << 20, 'a')));
    EXPECT_EQ(big.status, 413);
    EXPECT_EQ(big.body, "Report refused: it is larger than 64 KiB");
    const std::string raw =
        Raw("POST", "/receiver.php", "application/x-www-form-urlencoded", kExample);
    receiver_->Send(raw, raw.size() - 10);
    std::vector<std::thread> pilots;
    std::vector<Answer> answers(200);
    for (auto& a : answers) pilots.emplace_back([&] { a = receiver_->Post(kExample); });
    for (auto& t : pilots) t.join();
    for (const auto& a : answers) EXPECT_EQ(a.body, kOk);
    EXPECT_EQ(Occurrences(receiver_->Get("/reports.json").body, "\"id\":"), 200u);
    EXPECT_NE(receiver_->Log().find("400 "), std::string::npos);
    EXPECT_NE(receiver_->Log().find("Report refused: it arrived incomplete"), std::string::npos);
}

// The database cannot be written: each report gets the 503 line, the page still works,
// and what was answered OK+OK+OK is all there afterwards.
TEST_P(SqliteService, ReadOnlyOrFullDatabase) {
    // Started afresh as an unprivileged user, for whom a file's mode counts.
    receiver_->Stop();
    std::filesystem::remove(db_);
    receiver_ = std::make_unique<Receiver>(Receiver::Setup{db_, true});
    ASSERT_EQ(receiver_->Post(kExample).body, kOk);
    ASSERT_EQ(receiver_->Post(kExample).body, kOk);
    receiver_->Stop();
    chmod(db_.c_str(), 0444);
    receiver_ = std::make_unique<Receiver>(Receiver::Setup{db_, true});
    const auto refused = receiver_->Post(kExample);
    EXPECT_EQ(refused.status, 503);
    EXPECT_EQ(refused.body, kNotStored);
    EXPECT_NE(receiver_->Log().find("readonly database"), std::string::npos) << receiver_->Log();
    EXPECT_EQ(Occurrences(receiver_->Get("/").body, ">Sample_Aircraft</a></td>"), 2u);
    receiver_->Stop();

    // A file-size limit stands in for a full disk: a write of the database fails.
    chmod(db_.c_str(), 0644);
    const auto size = static_cast<long>(std::filesystem::file_size(db_));
    receiver_ = std::make_unique<Receiver>(Receiver::Setup{db_, false, size + 100000});
    int accepted = 2;
    for (int i = 0; i < 200 && receiver_->Post(kExample).body == kOk; ++i) ++accepted;
    EXPECT_EQ(receiver_->Post(kExample).body, kNotStored);
    EXPECT_EQ(receiver_->Get("/").status, 200);
    EXPECT_NE(receiver_->Log().find(kNotStored + " (disk I/O error)"), std::string::npos);
    receiver_->Stop();
    receiver_ = std::make_unique<Receiver>(Receiver::Setup{db_});
    EXPECT_EQ(Occurrences(receiver_->Get("/reports.json").body, "\"id\":"),
              static_cast<std::size_t>(accepted));
}

INSTANTIATE_TEST_SUITE_P(Sqlite, SqliteService, ::testing::Values(false));

}  // namespace
}  // namespace verlisk::receiver::testing
