#include <gtest/gtest.h>

#include "ui_driver.h"

namespace verlisk {
namespace {

using namespace driver;

// The buttons from the keyboard alone, and a STOP with no sample ever taken.
TEST(Session, KeyboardFlightWithoutSamplesIsRefusedAndEndsIdle) {
    App app;
    ASSERT_TRUE(app.Start());
    PressKey(app.Ctl(Control::cmdStart), VK_RETURN);  // START holds the focus at open
    ASSERT_TRUE(WaitUntil([&] { return app.Panel(2) == "RUNNING"; }, 5s));
    EXPECT_FALSE(IsWindowEnabled(app.Ctl(Control::cmdStart)));
    EXPECT_TRUE(WaitUntil([&] { return FocusOf(app.main) == app.Ctl(Control::cmdStop); }, 5s));
    EXPECT_NE(app.File(L"verlisk.cfg").find(app.Text(Control::txtClientID)), std::string::npos);

    PressKey(app.Ctl(Control::cmdStop), VK_RETURN);
    const auto box = WaitForMessageBox(app.proc->pid(), 10s);
    ASSERT_NE(box.hwnd, nullptr);
    EXPECT_EQ(box.title, "CRITICAL");
    EXPECT_EQ(box.text,
              "Current fuel is greater than or equal\r\nto starting fuel.\r\nStart when ready");
    EXPECT_TRUE(box.hasIcon);
    Press(box.hwnd, IDOK);
    EXPECT_TRUE(WaitUntil([&] { return app.Text(Control::lblFuelage) == "---"; }, 5s));
    EXPECT_EQ(app.Text(Control::lblStartWeight), "---");
    EXPECT_TRUE(IsWindowEnabled(app.Ctl(Control::cmdStart)));
    EXPECT_FALSE(IsWindowEnabled(app.Ctl(Control::cmdStop)));
    EXPECT_TRUE(WaitUntil([&] { return FocusOf(app.main) == app.Ctl(Control::cmdStart); }, 5s));
    EXPECT_EQ(app.Panel(2), "STOPPED");
    EXPECT_TRUE(app.Close());
}

}  // namespace
}  // namespace verlisk
