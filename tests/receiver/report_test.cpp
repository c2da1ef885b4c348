#include "receiver/report.h"

#include <variant>

#include "harness.h"
#include "receiver/pages.h"

namespace verlisk::receiver::testing {
namespace {

// The report `Body` with the same arguments sends.
Report Sent(const std::string& tl, double pph, std::int32_t zfw = 1950, std::int32_t mtank = 336,
            const std::string& client = "abcd2345") {
    return {tl, pph, "2.0.27", zfw, mtank, client};
}

// A body and the report it gives, or why it is refused.
TEST(ParseReport, AcceptsOrRefuses) {
    const std::string t256(256, 'x'), c64(64, 'c');
    const std::string zfw = "ZFW is out of range (0 to 2000000 pounds)";
    std::vector<std::pair<std::string, std::variant<Report, std::string>>> cases = {
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
        if (const auto* report = std::get_if<Report>(&expected)) {
            ASSERT_TRUE(out.report) << body << ": " << out.refusal;
            EXPECT_EQ(*out.report, *report) << body;
        } else {
            EXPECT_FALSE(out.report) << body;
            EXPECT_EQ(out.refusal, "Report refused: " + std::get<std::string>(expected)) << body;
        }
    }
}

const StoredReport kRow{
    7, 1764979200123, "x", {"A,\"B\" <&>'", 52.5, "2.0.27", 1950, 0, "c\x1f\\"}};

TEST(Pages, ExportRowsAndEscaping) {
    EXPECT_EQ(CsvRow(kRow),
              "7,2025-12-06T00:00:00Z,c\x1f\\,\"A,\"\"B\"\" <&>'\",52.5,1950,0,2.0.27\r\n");
    EXPECT_EQ(JsonRow(kRow, false),
              ",\n{\"id\":7,\"received\":\"2025-12-06T00:00:00Z\",\"client_id\":\"c\\u001F\\\\\","
              "\"aircraft\":\"A,\\\"B\\\" "
              "<&>'\",\"pph\":52.5,\"zfw\":1950,\"mtank\":0,\"version\":\"2.0.27\"}");
    EXPECT_EQ(HtmlEscape("<a href='x'>&\""), "&lt;a href=&#39;x&#39;&gt;&amp;&quot;");
}

TEST(Pages, PageShowsRowsChartAndLinks) {
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

}  // namespace
}  // namespace verlisk::receiver::testing
