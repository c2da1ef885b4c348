#include <gtest/gtest.h>

#include "fakes.h"
#include "reporting/config_file.h"

namespace verlisk {
namespace {

using testing::LogLines;

const std::string kVersionLine = std::string("Version " VERLISK_LOG_VERSION_TEXT);

using FormLoad = testing::FrmFixture;

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
    EXPECT_EQ(Log(), LogLines({kVersionLine, "INIT OK"}));
    const auto id = view.texts[Control::txtClientID];
    EXPECT_EQ(id, frm.ClientID);
    EXPECT_EQ(id, GetParam().randomDrawn ? RandomIdentifier(8, clock.now) : "stored9");
    EXPECT_EQ(view.panels[3], std::string("Version: " VERLISK_VERSION_TEXT));
    EXPECT_EQ(view.panels[2], "STOPPED");
    EXPECT_FALSE(view.panels.count(1));  // panel 1 keeps its design-time text
    EXPECT_EQ(view.texts[Control::Label1],
              "This program was designed to track and send MSFS fuel usage data to the Pellanor "
              "server. For best results: (1) start the sim, then open this program and verify "
              "the FSUIPC connection; (2) click the START button; (3) complete your flight; and "
              "(4) click on the STOP button - a dialog box will allow you to optionally upload "
              "the results to the server. For more information see readme.txt file.");
    EXPECT_TRUE(view.boxes.empty());
    EXPECT_EQ(view.enabled, testing::FakeView().enabled);  // load changes no enabled state
}

INSTANTIATE_TEST_SUITE_P(
    Starts, FormLoadCases,
    ::testing::Values(LoadCase{"NoLogNoConfig", false, std::nullopt, true},
                      LoadCase{"OldLogNoConfig", true, std::nullopt, true},
                      LoadCase{"LfConfig", true, "[CLIENTID]\nstored9\n", true},
                      LoadCase{"TagThenEmptyLine", false, "[CLIENTID]\r\n\r\n", true},
                      LoadCase{"NoLogStoredId", false, "[CLIENTID]\r\nstored9\r\n", false},
                      LoadCase{"OldLogStoredId", true, "[CLIENTID]\r\nstored9\r\n", false}),
    [](const auto& i) { return i.param.name; });

TEST_F(FormLoad, OneTimeStepsRunOnce) {
    frm.Form_Load();
    frm.Form_Load();
    EXPECT_EQ(Log(), LogLines({kVersionLine, "INIT OK", "No config file", "INIT OK"}));
}

// Working folders a pilot may have: the program starts and goes on.
struct FolderCase {
    const char* name;
    std::function<void(testing::FakeFiles&)> arrange;
    std::string log;
};

class Folders : public testing::FrmFixture, public ::testing::WithParamInterface<FolderCase> {};

TEST_P(Folders, LoadCompletes) {
    files.files["verlisk.cfg"] = "[CLIENTID]\r\nstored9\r\n";
    GetParam().arrange(files);
    frm.Form_Load();
    EXPECT_EQ(files.files.count("log.txt") ? Log() : "(none)", GetParam().log);
    EXPECT_EQ(view.texts[Control::txtClientID], "stored9");
    EXPECT_EQ(view.panels[2], "STOPPED");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Folders,
    ::testing::Values(FolderCase{"HiddenLogIsNotDeleted",
                                 [](auto& f) {
                                     f.files["log.txt"] = "hidden\r\n";
                                     f.hidden.insert("log.txt");
                                 },
                                 "hidden\r\n" + LogLines({kVersionLine, "INIT OK"})},
                      FolderCase{"ReadOnlyFolder", [](auto& f) { f.folderReadOnly = true; },
                                 "(none)"}),
    [](const auto& i) { return i.param.name; });

TEST_F(FormLoad, LinesAppendInCallOrderAndSurviveDeletion) {
    frm.logthis("one");
    frm.logthis("");
    frm.logthis("[a\r\nb]");  // a message's own line breaks are kept
    EXPECT_EQ(Log(), LogLines({"one", "", "[a\r\nb]"}));
    files.files.erase("log.txt");
    frm.logthis("three");
    EXPECT_EQ(Log(), LogLines({"three"}));
}

}  // namespace
}  // namespace verlisk
