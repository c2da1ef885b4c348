#include <gtest/gtest.h>

#include <regex>

#include "app/layout/layout.h"
#include "common/version.h"
#include "ui_driver.h"

namespace verlisk {
namespace {

using namespace driver;

// A fresh log.txt: its two lines stamped in the en-US general date format of the test prefix.
const std::string kStamp = R"(\d{1,2}/\d{1,2}/\d{4} \d{1,2}:\d{2}:\d{2} [AP]M: )";
const std::regex kFreshLog(kStamp + "Version " VERLISK_LOG_VERSION_TEXT "\r\n" + kStamp +
                           "INIT OK\r\n");

TEST(Window, OpensAsDesignedAndClosesWithoutWritingAnything) {
    App app;
    app.work.Write(L"log.txt", "an old run\r\n");
    const std::string cfg = "[CLIENTID]\r\nPilot7\r\n";
    app.work.Write(L"verlisk.cfg", cfg);
    ASSERT_TRUE(app.Start());

    EXPECT_EQ(driver::Text(app.main), " Verlisk");
    RECT client;
    GetClientRect(app.main, &client);
    EXPECT_EQ(client.right, 395);
    EXPECT_EQ(client.bottom, 211);
    // Every control of the design is there with its text and state.
    for (const auto& c : layout::Controls()) {
        if (c.kind == layout::Kind::Shape || c.kind == layout::Kind::StatusBar) continue;
        if (c.id == Control::Label1 || c.id == Control::txtClientID) continue;  // set at load
        ASSERT_NE(app.Ctl(c.id), nullptr) << c.name;
        EXPECT_EQ(app.Text(c.id), c.text) << c.name;
        EXPECT_EQ(IsWindowEnabled(app.Ctl(c.id)) != 0, c.enabled) << c.name;
    }
    EXPECT_EQ(app.Text(Control::txtClientID), "Pilot7");
    EXPECT_GE(RectInClient(app.Ctl(Control::Label1)).top, client.bottom);

    const RECT bar = RectInClient(app.Ctl(Control::StatusBar1));
    EXPECT_EQ(bar.top, 192);
    EXPECT_EQ(bar.bottom, 211);
    EXPECT_EQ(bar.right, 395);
    EXPECT_EQ(app.Panel(1), "FSUIPC WAIT");
    EXPECT_EQ(app.Panel(2), "STOPPED");
    EXPECT_EQ(app.Panel(3), std::string("Version: " VERLISK_VERSION_TEXT));
    EXPECT_EQ(StatusPanelEdges(app.Ctl(Control::StatusBar1), app.proc->handle()),
              (std::vector<int>{96, 192, -1}));

    EXPECT_EQ(FocusOf(app.main), app.Ctl(Control::cmdStart));
    EXPECT_EQ(GetNextDlgTabItem(app.main, app.Ctl(Control::cmdStart), FALSE),
              app.Ctl(Control::txtClientID));  // STOP is greyed, so skipped

    const std::string log = app.File(L"log.txt");
    EXPECT_TRUE(std::regex_match(log, kFreshLog)) << log;
    ASSERT_TRUE(app.Close());
    EXPECT_EQ(app.File(L"log.txt"), log);
    EXPECT_EQ(app.File(L"verlisk.cfg"), cfg);
}

// Working folders as the file system shows them: the program starts and keeps
// running with a random identifier and a fresh log where one can be written.
struct FolderCase {
    const char* name;
    const wchar_t* directory;  // made a directory in the working folder
};

class Folders : public ::testing::TestWithParam<FolderCase> {};

TEST_P(Folders, ProgramStartsAndRuns) {
    App app;
    if (GetParam().directory)
        CreateDirectoryW(app.work.file(GetParam().directory).c_str(), nullptr);
    ASSERT_TRUE(app.Start());
    Sleep(600);  // a tick or so
    EXPECT_TRUE(app.proc->Running());
    const std::string id = app.Text(Control::txtClientID);
    EXPECT_TRUE(std::regex_match(id, std::regex("[a-hjkmnq-tw-zA-HJKMNQ-TW-Z02-9]{8}"))) << id;
    const std::string log = app.File(L"log.txt");
    // "No config file" went into a log that the reset then deleted.
    EXPECT_TRUE(log.empty() || std::regex_match(log, kFreshLog)) << log;
    ASSERT_TRUE(app.Close());
    EXPECT_EQ(app.File(L"verlisk.cfg"), "");  // nothing writes it at start-up
}

INSTANTIATE_TEST_SUITE_P(Cases, Folders,
                         ::testing::Values(FolderCase{"NoFiles", nullptr},
                                           FolderCase{"ConfigIsADirectory", L"verlisk.cfg"},
                                           FolderCase{"LogIsADirectory", L"log.txt"}),
                         [](const auto& i) { return std::string(i.param.name); });

TEST(Window, ScalesWithTheScreenDpi) {
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0,
                    KEY_READ | KEY_WRITE, nullptr, &key, nullptr);
    DWORD dpi = 144;
    RegSetValueExW(key, L"LogPixels", 0, REG_DWORD, reinterpret_cast<BYTE*>(&dpi), sizeof dpi);
    App app;
    const bool started = app.Start();
    RegDeleteValueW(key, L"LogPixels");  // the prefix's own 96 DPI again
    RegCloseKey(key);
    ASSERT_TRUE(started);
    RECT client;
    GetClientRect(app.main, &client);
    EXPECT_EQ(client.right, 593);   // 5925 twips at 144 DPI
    EXPECT_EQ(client.bottom, 317);  // 3165 twips
    const RECT bar = RectInClient(app.Ctl(Control::StatusBar1));
    EXPECT_EQ(bar.top, 288);
    const RECT start = RectInClient(app.Ctl(Control::cmdStart));
    EXPECT_EQ(start.left, 312);                // 3120 twips
    EXPECT_EQ(start.right - start.left, 266);  // 2655 twips, 265.5 rounded
    EXPECT_TRUE(app.Close());
}

}  // namespace
}  // namespace verlisk
