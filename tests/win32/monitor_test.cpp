#include <gtest/gtest.h>

#include "common/version.h"
#include "ui_driver.h"

namespace verlisk {
namespace {

using namespace driver;

TEST(Monitor, PanelFollowsTheModuleThroughARestart) {
    auto module = std::make_unique<StandIn>(L"--record-reads");
    App app;
    ASSERT_TRUE(app.Start());
    EXPECT_TRUE(WaitUntil([&] { return app.Panel(1) == "FSUIPC 3.400"; }, 5s)) << app.Panel(1);
    module.reset();  // the simulator goes away: the program runs on
    EXPECT_TRUE(WaitUntil([&] { return app.Panel(1) == "FSUIPC 0.000"; }, 5s)) << app.Panel(1);
    EXPECT_TRUE(app.proc->Running());
    module = std::make_unique<StandIn>(L"--record-reads");
    EXPECT_TRUE(WaitUntil([&] { return app.Panel(1) == "FSUIPC 3.400"; }, 5s)) << app.Panel(1);
    EXPECT_TRUE(
        WaitUntil([&] { return module->Record().find("read:30C0") != std::string::npos; }, 5s));
    EXPECT_TRUE(app.Close());
}

// An impossible position: the pilot is told, and on OK the simulator's message line is
// blanked and the program ends; closing the window under the box ends it too.
TEST(Monitor, ImpossibleLatitudeEndsTheProgramInOrder) {
    for (const bool pressOk : {true, false}) {
        StandIn module(L"--poke 0x0564=10001756");  // 90.0001 degrees north
        App app;
        ASSERT_TRUE(app.Start());
        const auto box = WaitForMessageBox(app.proc->pid(), 10s);
        ASSERT_NE(box.hwnd, nullptr);
        EXPECT_EQ(box.title, VERLISK_NAME);
        EXPECT_EQ(box.text, "Regional Settings Error.  lat: 90.0001");
        EXPECT_EQ(box.buttons, std::vector<int>{IDOK});
        EXPECT_FALSE(box.hasIcon);
        Sleep(1500);  // ticks go on meanwhile; none of them may stack another box
        EXPECT_EQ(module.Record(), "");
        if (!pressOk) {
            EXPECT_TRUE(app.Close());
            EXPECT_EQ(module.Record(), "");  // the pilot closed it: no orderly shutdown ran
            continue;
        }
        Press(box.hwnd, IDOK);
        DWORD exitCode = 1;
        ASSERT_TRUE(app.proc->WaitExit(10s, &exitCode));
        EXPECT_EQ(exitCode, 0u);
        EXPECT_EQ(module.Record(), "text:\r\ndisplay:10\r\n");
        EXPECT_EQ(app.File(L"verlisk.cfg"), "");
    }
}

}  // namespace
}  // namespace verlisk
