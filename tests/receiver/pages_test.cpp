#include "receiver/pages.h"

#include "harness.h"

namespace verlisk::receiver::testing {
namespace {

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
        EXPECT_TRUE(Has(page, part));
    }
    EXPECT_TRUE(page.ends_with("</body></html>\n"));
    EXPECT_TRUE(Has(RenderPage(PageView{}), "<p>No reports yet.</p>"));
}

}  // namespace
}  // namespace verlisk::receiver::testing
