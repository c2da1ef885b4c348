#include "receiver/report.h"

#include <gtest/gtest.h>

#include "common/text.h"

namespace verlisk::receiver {
namespace {

const std::string kTail = "&VERSION=2.0.27&ZFW=1950&MTANK=336&CLIENTID=abcd2345";

// A body with the example's fields except the one piece given.
std::string Body(const std::string& title, const std::string& pph,
                 const std::string& rest = kTail) {
    return "TL=" + title + "&PPH=" + pph + rest;
}

std::string Tail(const std::string& zfw, const std::string& mtank, const std::string& client,
                 const std::string& version = "2.0.27") {
    return "&VERSION=" + version + "&ZFW=" + zfw + "&MTANK=" + mtank + "&CLIENTID=" + client;
}

struct ParseCase {
    const char* name;
    std::string body;
    Report report;        // when accepted
    std::string refusal;  // after "Report refused: "
};

class ParseCases : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseCases, Outcome) {
    const auto& c = GetParam();
    const auto out = ParseReport(c.body);
    if (c.refusal.empty()) {
        EXPECT_EQ(out.refusal, "");
        ASSERT_TRUE(out.report);
        EXPECT_EQ(*out.report, c.report);
    } else {
        EXPECT_FALSE(out.report);
        EXPECT_EQ(out.refusal, "Report refused: " + c.refusal);
    }
}

const Report kExample{"Sample_Aircraft", 52.5, "2.0.27", 1950, 336, "abcd2345"};

Report With(std::string title, double pph = 52.5, std::string client = "abcd2345",
            std::int32_t zfw = 1950, std::int32_t mtank = 336) {
    return {std::move(title), pph, "2.0.27", zfw, mtank, std::move(client)};
}

const std::string k256(256, 'x');

INSTANTIATE_TEST_SUITE_P(
    Bodies, ParseCases,
    ::testing::Values(
        ParseCase{"Example",
                  "TL=Sample_Aircraft&PPH=52.5&VERSION=2.0.27&ZFW=1950&MTANK=336&CLIENTID=abcd2345",
                  kExample, ""},
        ParseCase{"AmpersandAndEqualsInTitle", Body("A&B=C_&_D=", "52.5"), With("A&B=C_&_D="), ""},
        ParseCase{"TitleHoldsPphKey", Body("X&PPH=1", "52.5"), With("X&PPH=1"), ""},
        ParseCase{"ClientIdHoldsKeys", Body("X", "52.5", Tail("1950", "336", "a&PPH=2&b=c")),
                  With("X", 52.5, "a&PPH=2&b=c"), ""},
        ParseCase{"EmptyClientId", Body("X", "52.5", Tail("1950", "336", "")), With("X", 52.5, ""),
                  ""},
        ParseCase{"PlusAndPercentAreLiteral", Body("A+B%20C", "52.5"), With("A+B%20C"), ""},
        ParseCase{"Cp1252", Body("Caravelle_\xE9\x80\x81", "52.5", Tail("0", "0", "\x9C")),
                  With("Caravelle_é€\xC2\x81", 52.5, "œ", 0, 0), ""},
        ParseCase{"CommaSeparator", Body("X", "52,25"), With("X", 52.25), ""},
        ParseCase{"SmallExponent", Body("X", "1E-05"), With("X", 1e-5), ""},
        ParseCase{"HighestLimits",
                  Body(k256, "100000", Tail("2000000", "2000000", std::string(64, 'c'))),
                  With(k256, 100000, std::string(64, 'c'), 2000000, 2000000), ""},
        ParseCase{"NotTitleFirst", "PPH=1&TL=X" + kTail, {}, "the report does not start with TL="},
        ParseCase{"NoPph", "TL=X" + kTail, {}, "PPH is missing"},
        ParseCase{"OutOfOrder",
                  "TL=X&VERSION=2.0.27&PPH=52.5&ZFW=1&MTANK=1&CLIENTID=a",
                  {},
                  "VERSION is missing or out of order"},
        ParseCase{"NoClientId",
                  Body("X", "52.5", "&VERSION=2&ZFW=1&MTANK=1"),
                  {},
                  "CLIENTID is missing or out of order"},
        ParseCase{"EmptyTitle", Body("", "52.5"), {}, "the aircraft title is empty"},
        ParseCase{"LongTitle",
                  Body(k256 + "x", "52.5"),
                  {},
                  "the aircraft title is longer than 256 characters"},
        ParseCase{
            "TabInTitle", Body("A\tB", "52.5"), {}, "the aircraft title holds a control character"},
        ParseCase{"PphWord", Body("X", "abc"), {}, "PPH is not a number"},
        ParseCase{"PphNan", Body("X", "nan"), {}, "PPH is not a number"},
        ParseCase{"PphInf", Body("X", "inf"), {}, "PPH is not a number"},
        ParseCase{"PphGrouped", Body("X", "1,234.5"), {}, "PPH is not a number"},
        ParseCase{"PphBareExponent", Body("X", "5E"), {}, "PPH is not a number"},
        ParseCase{"PphEmpty", Body("X", ""), {}, "PPH is not a number"},
        ParseCase{"PphHuge",
                  Body("X", "1e400"),
                  {},
                  "PPH is out of range (above 0, at most 100000 pounds per hour)"},
        ParseCase{"PphZero",
                  Body("X", "0"),
                  {},
                  "PPH is out of range (above 0, at most 100000 pounds per hour)"},
        ParseCase{"PphTooHigh",
                  Body("X", "100000,5"),
                  {},
                  "PPH is out of range (above 0, at most 100000 pounds per hour)"},
        ParseCase{"PphNegative",
                  Body("X", "-5"),
                  {},
                  "PPH is out of range (above 0, at most 100000 pounds per hour)"},
        ParseCase{"EmptyVersion", Body("X", "1", Tail("1", "1", "a", "")), {}, "VERSION is empty"},
        ParseCase{"LongVersion",
                  Body("X", "1", Tail("1", "1", "a", std::string(33, '9'))),
                  {},
                  "VERSION is longer than 32 characters"},
        ParseCase{"ZfwOverInt32",
                  Body("X", "1", Tail("99999999999", "1", "a")),
                  {},
                  "ZFW is out of range (0 to 2000000 pounds)"},
        ParseCase{"ZfwTooHeavy",
                  Body("X", "1", Tail("2000001", "1", "a")),
                  {},
                  "ZFW is out of range (0 to 2000000 pounds)"},
        ParseCase{"ZfwNegative",
                  Body("X", "1", Tail("-1", "1", "a")),
                  {},
                  "ZFW is out of range (0 to 2000000 pounds)"},
        ParseCase{
            "ZfwDecimal", Body("X", "1", Tail("12.5", "1", "a")), {}, "ZFW is not a whole number"},
        ParseCase{
            "ZfwSignOnly", Body("X", "1", Tail("-", "1", "a")), {}, "ZFW is not a whole number"},
        ParseCase{
            "MtankWord", Body("X", "1", Tail("1", "x", "a")), {}, "MTANK is not a whole number"},
        ParseCase{"LongClientId",
                  Body("X", "1", Tail("1", "1", std::string(65, 'c'))),
                  {},
                  "the client identifier is longer than 64 characters"},
        ParseCase{"LineEndAfterClientId",
                  Body("X", "1", Tail("1", "1", "abc\r\n")),
                  {},
                  "the client identifier holds a control character"}),
    [](const auto& c) { return c.param.name; });

// Whatever rate the program writes, in either regional separator, comes back as sent.
TEST(ParseReport, ReadsTheProgramsNumberText) {
    for (const double v : {52.5, 0.1, 1234.56789012345, 1e-05, 99999.9999999999, 7.25e-10}) {
        for (const char* sep : {".", ","}) {
            const auto out = ParseReport(Body("X", NumberText(v, sep)));
            ASSERT_TRUE(out.report) << NumberText(v, sep) << ": " << out.refusal;
            EXPECT_EQ(out.report->pph, v) << NumberText(v, sep);
        }
    }
}

}  // namespace
}  // namespace verlisk::receiver
