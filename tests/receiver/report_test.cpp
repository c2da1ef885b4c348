#include "receiver/report.h"

#include "common/text.h"
#include "harness.h"

namespace verlisk::receiver::testing {
namespace {

TEST(ParseReport, Accepts) {
    const std::string t256(256, 'x'), c64(64, 'c');
    std::vector<std::pair<std::string, Report>> cases = {
        {"TL=Sample_Aircraft&PPH=52.5&VERSION=2.0.27&ZFW=1950&MTANK=336&CLIENTID=abcd2345",
         {"Sample_Aircraft", 52.5, "2.0.27", 1950, 336, "abcd2345"}},
        {Body("A&B=C_&_D=&PPH=1"), {"A&B=C_&_D=&PPH=1", 52.5, "2.0.27", 1950, 336, "abcd2345"}},
        {Body("X", "52,25", "0", "0", "a&PPH=2&b=c"), {"X", 52.25, "2.0.27", 0, 0, "a&PPH=2&b=c"}},
        {Body("A+B%20C", "1E-05", "1", "2", ""), {"A+B%20C", 1e-5, "2.0.27", 1, 2, ""}},
        {Body("Caravelle \xE9\x80\x81\x9F\xA0", "1", "1", "1", "\x9C"),
         {"Caravelle é€\xC2\x81Ÿ\xC2\xA0", 1, "2.0.27", 1, 1, "œ"}},
        {Body(t256, "1e5", "2000000", "2000000", c64),
         {t256, 100000, "2.0.27", 2000000, 2000000, c64}},
    };
    // Whatever rate the program writes, in either regional separator, comes back as sent.
    for (const double v : {52.5, 0.1, 1234.56789012345, 1e-05, 99999.9999999999, 7.25e-10}) {
        for (const char* sep : {".", ","}) {
            cases.push_back(
                {Body("X", NumberText(v, sep)), {"X", v, "2.0.27", 1950, 336, "abcd2345"}});
        }
    }
    for (const auto& [body, report] : cases) {
        const auto out = ParseReport(body);
        ASSERT_TRUE(out.report) << body << ": " << out.refusal;
        EXPECT_EQ(*out.report, report) << body;
    }
}

TEST(ParseReport, Refuses) {
    const std::string pph = "PPH is out of range (above 0, at most 100000 pounds per hour)";
    const std::string zfw = "ZFW is out of range (0 to 2000000 pounds)";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"TL=X&VERSION=2&ZFW=1&MTANK=1&CLIENTID=", "PPH is missing"},
        {"TL=X&VERSION=2&PPH=1&ZFW=1&MTANK=1&CLIENTID=", "VERSION is missing or out of order"},
        {"TL=X&PPH=1&VERSION=2&ZFW=1&MTANK=1", "CLIENTID is missing or out of order"},
        {Body(""), "the aircraft title is empty"},
        {Body(std::string(257, 'x')), "the aircraft title is longer than 256 characters"},
        {Body("X", "nan"), "PPH is not a number"},
        {Body("X", "inf"), "PPH is not a number"},
        {Body("X", "1,234.5"), "PPH is not a number"},
        {Body("X", ""), "PPH is not a number"},
        {Body("X", "-."), "PPH is not a number"},
        {Body("X", "1e400"), pph},
        {Body("X", "1E+15"), pph},
        {Body("X", "0"), pph},
        {Body("X", "-5"), pph},
        {Body("X", "1", "1", "1", "a", ""), "VERSION is empty"},
        {Body("X", "1", "99999999999"), zfw},
        {Body("X", "1", "-1"), zfw},
        {Body("X", "1", "12.5"), "ZFW is not a whole number"},
        {Body("X", "1", "1", "1", "abc\r\n"), "the client identifier holds a control character"},
    };
    for (const auto& [body, why] : cases) {
        const auto out = ParseReport(body);
        EXPECT_FALSE(out.report) << body;
        EXPECT_EQ(out.refusal, "Report refused: " + why) << body;
    }
}

}  // namespace
}  // namespace verlisk::receiver::testing
