#include <gtest/gtest.h>

#include "frm_fixture.h"
#include "reporting/config_file.h"

namespace verlisk {
namespace {

constexpr const char* kStamp = "12/4/2026 7:35:12 PM: ";

std::string Lines(std::initializer_list<std::string> lines) {
    std::string s;
    for (const auto& l : lines) s += kStamp + l + "\r\n";
    return s;
}

using FormLoad = testing::FrmFixture;

TEST_F(FormLoad, FreshLogAndStoredIdentifier) {
    files.files["log.txt"] = "old run\r\n";
    files.files["verlisk.cfg"] = ConfigFileText("abcd2345", "x");
    frm.Form_Load();
    EXPECT_EQ(Log(), Lines({"Version 2.0R27", "INIT OK"}));
    EXPECT_EQ(frm.ClientID, "abcd2345");
    EXPECT_EQ(view.texts[Control::txtClientID], "abcd2345");
    EXPECT_EQ(frm.VersionText, "2.0.27");
    EXPECT_EQ(view.panels[3], "Version: 2.0.27");
    EXPECT_EQ(view.panels[2], "STOPPED");
    EXPECT_FALSE(view.panels.count(1));  // panel 1 keeps its design-time text
    EXPECT_EQ(view.texts[Control::Label1], InformationText());
    EXPECT_TRUE(view.boxes.empty());
    EXPECT_TRUE(view.enabled.empty());  // load changes no enabled state
}

// Which of ConfigRead's complaints survive the reset, and when an identifier is drawn.
struct LoadCase {
    const char* name;
    bool oldLog;
    std::optional<std::string> config;
    bool randomDrawn;
};

class FormLoadCases : public testing::FrmFixture, public ::testing::WithParamInterface<LoadCase> {};

TEST_P(FormLoadCases, ComplaintsVanishWithTheReset) {
    if (GetParam().oldLog) files.files["log.txt"] = "old\r\n";
    if (GetParam().config) files.files["verlisk.cfg"] = *GetParam().config;
    frm.Form_Load();
    EXPECT_EQ(Log(), Lines({"Version 2.0R27", "INIT OK"}));
    const auto id = view.texts[Control::txtClientID];
    EXPECT_EQ(id, frm.ClientID);
    if (GetParam().randomDrawn) {
        EXPECT_EQ(id, RandomIdentifier(8, clock.now));
    } else {
        EXPECT_EQ(id, "stored9");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Starts, FormLoadCases,
    ::testing::Values(LoadCase{"NoLogNoConfig", false, std::nullopt, true},
                      LoadCase{"OldLogNoConfig", true, std::nullopt, true},
                      LoadCase{"EmptyConfig", false, "", true},
                      LoadCase{"LfConfig", true, "[CLIENTID]\nstored9\n", true},
                      LoadCase{"TagThenEmptyLine", false, "[CLIENTID]\r\n\r\n", true},
                      LoadCase{"NoLogStoredId", false, "[CLIENTID]\r\nstored9\r\n", false},
                      LoadCase{"OldLogStoredId", true, "[CLIENTID]\r\nstored9\r\n", false}),
    [](const auto& i) { return i.param.name; });

TEST_F(FormLoad, OneTimeStepsRunOnce) {
    frm.Form_Load();
    frm.Form_Load();
    EXPECT_EQ(Log(), Lines({"Version 2.0R27", "INIT OK", "No config file", "INIT OK"}));
}

TEST_F(FormLoad, LogThatIsNotAnOrdinaryFileIsLeftAlone) {
    files.files["log.txt"] = "hidden\r\n";
    files.hidden.insert("log.txt");
    frm.Form_Load();
    EXPECT_EQ(Log(), "hidden\r\n" + Lines({"No config file", "Version 2.0R27", "INIT OK"}));
}

TEST_F(FormLoad, ReadOnlyLogLeavesTheProgramRunning) {
    files.files["log.txt"] = "kept\r\n";
    files.readOnly.insert("log.txt");
    frm.Form_Load();
    EXPECT_EQ(Log(), "kept\r\n");
    EXPECT_EQ(view.texts[Control::txtClientID].size(), 8u);
    EXPECT_EQ(view.panels[2], "STOPPED");
}

TEST_F(FormLoad, ReadOnlyFolderLeavesTheProgramRunning) {
    files.folderReadOnly = true;
    files.files["verlisk.cfg"] = "[CLIENTID]\r\nstored9\r\n";
    frm.Form_Load();
    EXPECT_FALSE(files.files.count("log.txt"));
    EXPECT_EQ(view.texts[Control::txtClientID], "stored9");
}

struct LogCase {
    const char* message;
    bool comma;
    const char* line;
};

class LogLines : public testing::FrmFixture, public ::testing::WithParamInterface<LogCase> {};

TEST_P(LogLines, StampColonBlankMessageCrLf) {
    testing::FakeRegional comma(true);
    FrmStart f{{view, files, clock, GetParam().comma ? comma : regional, process, link}};
    f.logthis(GetParam().message);
    EXPECT_EQ(Log(), GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(
    Messages, LogLines,
    ::testing::Values(LogCase{"", false, "12/4/2026 7:35:12 PM: \r\n"},
                      LogCase{"INIT OK", true, "4.12.2026 19:35:12: INIT OK\r\n"},
                      LogCase{"[a\r\nb]", false, "12/4/2026 7:35:12 PM: [a\r\nb]\r\n"}));

TEST_F(FormLoad, LinesAppendInCallOrderAndSurviveDeletion) {
    frm.logthis("one");
    frm.logthis("two");
    EXPECT_EQ(Log(), Lines({"one", "two"}));
    files.files.erase("log.txt");
    frm.logthis("three");
    EXPECT_EQ(Log(), Lines({"three"}));
}

}  // namespace
}  // namespace verlisk
