#include <gtest/gtest.h>

#include "fakes.h"
#include "reporting/config_file.h"

namespace verlisk {
namespace {

using testing::LogLines;

const std::string kVersionLine = std::string("Version " VERLISK_LOG_VERSION_TEXT);

using FormLoad = testing::FrmFixture;

// No files yet: ConfigRead's complaint vanishes with the reset, an identifier is drawn.
TEST_F(FormLoad, FirstStartWithoutFiles) {
    frm.Form_Load();
    EXPECT_EQ(Log(), LogLines({kVersionLine, "INIT OK"}));
    const auto id = view.texts[Control::txtClientID];
    EXPECT_EQ(id, frm.ClientID);
    EXPECT_EQ(id, RandomIdentifier(8, clock.now));
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

TEST_F(FormLoad, OneTimeStepsRunOnce) {
    frm.Form_Load();
    frm.Form_Load();
    EXPECT_EQ(Log(), LogLines({kVersionLine, "INIT OK", "No config file", "INIT OK"}));
}

}  // namespace
}  // namespace verlisk
