#include <gtest/gtest.h>

#include <filesystem>

#include "harness.h"

// Against real peers that take a while to start: a PostgreSQL cluster and Chromium.
namespace verlisk::receiver::testing {
namespace {

void Cluster(const char* what) {
    Shell(std::string(VERLISK_PG_CLUSTER) + " " + what + " " + std::getenv("VERLISK_PG_STATE"));
}

TEST(LivePostgresService, RestartAndOutage) {
    TempDir dir;
    Receiver receiver(FreshDatabase(true, dir));
    ASSERT_EQ(receiver.Post(kExample).body, "OK+OK+OK");
    // A restart is not seen: the connections it closed are replaced.
    Cluster("restart");
    EXPECT_EQ(receiver.Post(kExample).body, "OK+OK+OK");
    Cluster("stop");
    const auto refused = receiver.Post(kExample);
    EXPECT_EQ(refused.status, 503);
    EXPECT_EQ(refused.body,
              "Report not stored: the receiver's database is unavailable, try again later");
    EXPECT_EQ(receiver.Get("/").status, 503);
    Cluster("restart");
    EXPECT_EQ(receiver.Post(kExample).body, "OK+OK+OK");
    EXPECT_EQ(Occurrences(receiver.Get("/reports.json").body, "Sample_Aircraft"), 3u);
    EXPECT_TRUE(receiver.Logged("cannot connect to PostgreSQL"));
}

TEST(LiveBrowser, RendersTableChartAndEscapedTitles) {
    TempDir dir;
    Receiver receiver(FreshDatabase(false, dir));
    for (const std::string title :
         {"Sample_Aircraft", "Sample_Aircraft", "<script>alert(1)</script>", "Caravelle_\xE9"}) {
        ASSERT_EQ(receiver.Post("TL=" + title + kExample.substr(18)).body, "OK+OK+OK");
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
    EXPECT_TRUE(Has(dom, ">Caravelle_é</a>"));
    // A phone's screen, for a person to look at.
    const std::string shot = std::string(VERLISK_SHOT_DIR) + "/receiver-page.png";
    std::filesystem::remove(shot);
    Shell(chromium + "--window-size=412,915 --screenshot=" + shot + " " + url + " 2>&1");
    EXPECT_GT(std::filesystem::exists(shot) ? std::filesystem::file_size(shot) : 0, 10000u);
}

}  // namespace
}  // namespace verlisk::receiver::testing
