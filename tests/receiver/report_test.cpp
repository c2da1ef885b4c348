#include "receiver/report.h"

#include <variant>

#include "harness.h"

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

}  // namespace
}  // namespace verlisk::receiver::testing
