#include <gtest/gtest.h>

#include <set>

#include "fakes.h"
#include "reporting/config_file.h"

namespace verlisk {
namespace {

using testing::FakeFiles;

struct ReadCase {
    const char* name;
    std::string content;
    std::optional<std::string> clientId;
    std::string logLine;
    void (*spoil)(FakeFiles&) = nullptr;  // what else is wrong with the file
};

class ConfigReadCases : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ConfigReadCases, Outcome) {
    FakeFiles fs;
    fs.files["verlisk.cfg"] = GetParam().content;
    if (GetParam().spoil) GetParam().spoil(fs);
    const auto out = ReadConfigFile(fs);
    EXPECT_EQ(out.clientId, GetParam().clientId);
    EXPECT_EQ(out.logLine, GetParam().logLine);
}

INSTANTIATE_TEST_SUITE_P(
    Files, ConfigReadCases,
    ::testing::Values(ReadCase{"Written", ConfigFileText("abcd2345", "12/4/2026 7:35:12 PM"),
                               "abcd2345", ""},
                      ReadCase{"LfOnly", "[CLIENTID]\nabc\n", std::nullopt,
                               "ConfigRead(): [no records in configuration file (?)]"},
                      ReadCase{"TwoLinesNoFinalCrLf", "[CLIENTID]\r\nmy id 7", "my id 7", ""},
                      ReadCase{"LastLineIsTag", "# c\r\n[CLIENTID]", std::nullopt, ""},
                      ReadCase{"Unreadable", "[CLIENTID]\r\nabc\r\n", std::nullopt,
                               "ConfigRead(): [missing configuration file]",
                               [](FakeFiles& f) { f.unreadable.insert("verlisk.cfg"); }}),
    [](const auto& i) { return i.param.name; });

TEST(RandomIdentifier, EveryCharacterOfTheAlphabetAndNothingElse) {
    const std::string alphabet = "abcdefghjkmnqrstwxyzABCDEFGHJKMNQRSTWXYZ023456789";
    std::set<char> seen;
    DateTime t{2026, 12, 4, 19, 35, 12, 0};
    for (t.millisecond = 0; t.millisecond < 400; ++t.millisecond) {
        const auto id = RandomIdentifier(8, t);
        ASSERT_EQ(id.size(), 8u);
        for (char c : id) ASSERT_NE(alphabet.find(c), std::string::npos) << id;
        seen.insert(id.begin(), id.end());
    }
    EXPECT_EQ(seen.size(), 49u);  // 3200 draws reach every character
    EXPECT_EQ(RandomIdentifier(1, t).size(), 1u);
    EXPECT_EQ(RandomIdentifier(0, t), "");
    EXPECT_EQ(RandomIdentifier(-3, t), "");
    EXPECT_NE(RandomIdentifier(8, t), RandomIdentifier(8, {2026, 12, 4, 19, 35, 12, 2}));
}

using ConfigWriteTest = testing::FrmFixture;

// Read back by the "Written" case above.
TEST_F(ConfigWriteTest, SevenLines) {
    frm.ClientID = "Pilot 42";
    frm.ConfigWrite();
    EXPECT_EQ(files.files["verlisk.cfg"],
              "# Configuration File \r\n# 12/4/2026 7:35:12 PM\r\n \r\n[CLIENTID]\r\nPilot 42\r\n "
              "\r\n# end of file\r\n");
    EXPECT_EQ(Log(), "");
}

TEST_F(ConfigWriteTest, UnwritableFileIsToldOnceAndTheRunGoesOn) {
    files.folderReadOnly = true;
    frm.ClientID = "abc";
    frm.ConfigWrite();
    frm.ConfigWrite();
    EXPECT_FALSE(files.files.count("verlisk.cfg"));
    ASSERT_EQ(view.boxes.size(), 1u);  // an OK box naming the file, without a default to keep
    EXPECT_EQ(view.boxes[0],
              (testing::Box{view.boxes[0].text, "", MsgButtons::Ok, MsgIcon::None, false}));
    EXPECT_NE(view.boxes[0].text.find("verlisk.cfg"), std::string::npos);
    // The log cannot be written either in a read-only folder: the line is skipped.
    EXPECT_EQ(Log(), "");
    files.folderReadOnly = false;
    files.files["log.txt"] = "";
    files.directories.insert("verlisk.cfg");
    frm.ConfigWriteFailureTold = false;
    frm.ConfigWrite();
    EXPECT_EQ(Log(), "12/4/2026 7:35:12 PM: ConfigWrite(): [cannot write configuration file]\r\n");
}

}  // namespace
}  // namespace verlisk
