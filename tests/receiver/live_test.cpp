#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "harness.h"

// Against real peers that take a while to start: a PostgreSQL cluster and Chromium.
namespace verlisk::receiver::testing {
namespace {

std::string Output(const std::string& command) {
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buf[4096];
        for (std::size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
        pclose(p);
    }
    return out;
}

std::string Cluster(const char* what) {
    return Output(std::string(VERLISK_PG_CLUSTER) + " " + what + " " +
                  std::getenv("VERLISK_PG_STATE") + " 2>&1");
}

std::size_t Count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

const std::string kExample =
    "TL=Sample_Aircraft&PPH=52.5&VERSION=2.0.27&ZFW=1950&MTANK=336&CLIENTID=abcd2345";

TEST(LivePostgresService, RestartAndOutage) {
    TempDir dir;
    const auto db = FreshDatabase(true, dir);
    ASSERT_FALSE(db.empty()) << "VERLISK_PG_STATE is not set";
    Receiver receiver({db});
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
    EXPECT_EQ(Count(receiver.Get("/reports.json").body, "Sample_Aircraft"), 3u);
    EXPECT_NE(receiver.Log().find("cannot connect to PostgreSQL"), std::string::npos);
}

TEST(LiveBrowser, RendersTableChartAndEscapedTitles) {
    TempDir dir;
    Receiver receiver({FreshDatabase(false, dir)});
    for (const char* title :
         {"Sample_Aircraft", "Sample_Aircraft", "<script>alert(1)</script>", "Caravelle_\xE9"}) {
        ASSERT_EQ(receiver.Post(std::string("TL=") + title + kExample.substr(18)).body, "OK+OK+OK");
    }
    const std::string chromium =
        "chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run "
        "--disable-background-networking --disable-component-update --disable-sync "
        "--user-data-dir=" +
        dir.path + "/profile ";
    const std::string url = "http://127.0.0.1:" + std::to_string(receiver.port) + "/";
    const auto dom = Output(chromium + "--dump-dom " + url + " 2>/dev/null");
    EXPECT_EQ(Count(dom, "<tr><td>"), 4u) << dom;
    EXPECT_EQ(Count(dom, "<rect "), 3u);
    EXPECT_NE(dom.find("<td><a "
                       "href=\"/"
                       "?aircraft=%3Cscript%3Ealert%281%29%3C%2Fscript%3E\">&lt;script&gt;alert(1)&"
                       "lt;/script&gt;</a></td>"),
              std::string::npos);
    EXPECT_EQ(dom.find("<script"), std::string::npos);
    EXPECT_NE(dom.find(">Caravelle_é</a>"), std::string::npos);
    // A phone's screen, for a person to look at.
    const std::string shot = std::string(VERLISK_SHOT_DIR) + "/receiver-page.png";
    std::filesystem::remove(shot);
    Output(chromium + "--window-size=412,915 --screenshot=" + shot + " " + url + " 2>&1");
    EXPECT_GT(std::filesystem::exists(shot) ? std::filesystem::file_size(shot) : 0, 10000u);
}

}  // namespace
}  // namespace verlisk::receiver::testing
