#include <gtest/gtest.h>

#include <cstring>
#include <regex>

#include "app/layout/layout.h"
#include "log_pattern.h"
#include "simlink/fsuipc.h"
#include "simlink/ipc_protocol.h"
#include "simlink/win32/ipc_system_win32.h"
#include "ui_driver.h"

namespace verlisk {
namespace {

using namespace driver;
using namespace ipc;

struct IpcTest : ::testing::Test {
    win32::Win32IpcSystem sys;
    FsuipcLink link{sys};
    std::int32_t code = -1;

    bool Open() { return link.IpcOpen(0, code); }
    std::string AreaName() { return FsuipcLink::AreaName(GetCurrentProcessId(), 1); }
    // Nothing of the link is left in the system.
    void ExpectReleased() {
        EXPECT_EQ(GlobalFindAtomA(AreaName().c_str()), 0);
        EXPECT_EQ(OpenFileMappingA(FILE_MAP_READ, FALSE, AreaName().c_str()), nullptr);
    }
};

TEST_F(IpcTest, GoodOpenReadWriteCloseLeavesNothingBehind) {
    StandIn module(L"--title \"Test Plane 1\" --gross 3000 --burn 0");
    ASSERT_NE(module.window(), nullptr);
    DWORD handlesBefore = 0, handlesAfter = 0;
    GetProcessHandleCount(GetCurrentProcess(), &handlesBefore);
    ASSERT_TRUE(Open()) << code;
    EXPECT_EQ(link.IpcVersion, 0x34000000);
    EXPECT_EQ(link.IpcSimVersion, 7);
    EXPECT_NE(GlobalFindAtomA(AreaName().c_str()), 0);

    char title[256];
    std::memset(title, 'x', sizeof title);
    double gross = 0;
    ASSERT_TRUE(link.IpcRead(offset::kTitle, 256, title, code));
    ASSERT_TRUE(link.IpcRead(offset::kGrossWeight, 8, &gross, code));
    ASSERT_TRUE(link.IpcProcess(code)) << code;
    EXPECT_STREQ(title, "Test Plane 1");
    EXPECT_EQ(gross, 3000.0);

    ASSERT_TRUE(link.IpcWriteString(offset::kMessageText, 6, "Hello", code));
    ASSERT_TRUE(link.IpcProcess(code));
    EXPECT_EQ(module.Record(), "text:Hello\r\n");
    link.IpcClose();
    ExpectReleased();
    GetProcessHandleCount(GetCurrentProcess(), &handlesAfter);
    EXPECT_LE(handlesAfter, handlesBefore);
}

// The module found by its WideClient class, answering zeros without a simulator.
TEST_F(IpcTest, WideClientWithoutSimulator) {
    StandIn module(L"--class FS98MAIN --fault zeros", L"FS98MAIN");
    ASSERT_NE(module.window(), nullptr);
    EXPECT_FALSE(Open());
    EXPECT_EQ(code, kWideClientAlone);
    ExpectReleased();
}

TEST_F(IpcTest, HangingModuleTimesOutAfterAllRetries) {
    StandIn module(L"--fault hang --delay 30000");
    ASSERT_NE(module.window(), nullptr);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(Open());
    EXPECT_EQ(code, kTimedOut);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 21s);  // 11 sends of 2 s, 10 pauses
    ExpectReleased();
}

TEST_F(IpcTest, ModuleThatVanishesLeavesALinkThatFailsCleanly) {
    auto module = std::make_unique<StandIn>(L"");
    ASSERT_TRUE(Open());
    module.reset();  // the stand-in ends with the link still open
    std::int32_t v = 12345;
    ASSERT_TRUE(link.IpcRead(offset::kVersion, 4, &v, code));
    EXPECT_FALSE(link.IpcProcess(code));
    EXPECT_TRUE(code == kTimedOut || code == kSendFailed) << code;
    EXPECT_EQ(v, 12345);
    link.IpcClose();
    ExpectReleased();
}

// The real program against a module older than 3.4, its refusal on screen.
struct OldModule : ::testing::Test {
    StandIn module{L"--version 0x33300000"};
    App app;
    MessageBoxInfo box;

    void SetUp() override {
        ASSERT_NE(module.window(), nullptr);
        ASSERT_TRUE(app.Start());
        box = WaitForMessageBox(app.proc->pid(), 20s);
        ASSERT_NE(box.hwnd, nullptr);
    }
};

// It logs, tells the pilot, and on OK blanks the simulator's message line and ends.
TEST_F(OldModule, RefusesItAndEndsTidily) {
    EXPECT_EQ(box.title, "Verlisk");
    EXPECT_EQ(box.text,
              "FSUIPC Version:  3.3  Oops! Now requires FSUIPC Version 3.4 or better.  Update "
              "your version of FSUIPC and restart");
    EXPECT_EQ(box.buttons, std::vector<int>{IDOK});
    EXPECT_FALSE(box.hasIcon);
    Sleep(1500);  // ticks go on meanwhile; none of them may stack another box
    const std::string log = app.File(L"log.txt");
    EXPECT_TRUE(std::regex_match(
        log, LogPattern({"Version " + testing::ExpectedVersion("R"), "INIT OK",
                         "FSUIPC Version: ### THIS VERSION IS NOT SUPPORTED ### 3\\.3"})))
        << log;
    EXPECT_EQ(module.Record(), "");
    Press(box.hwnd, IDOK);
    DWORD exitCode = 1;
    ASSERT_TRUE(app.proc->WaitExit(10s, &exitCode));
    EXPECT_EQ(exitCode, 0u);
    EXPECT_EQ(module.Record(), "text:\r\ndisplay:10\r\n");
    EXPECT_EQ(app.File(L"log.txt"), log);  // nothing logged on the way out
    EXPECT_EQ(app.File(L"verlisk.cfg"), "");
}

TEST_F(OldModule, ClosingTheWindowUnderItsMessageBoxEndsCleanly) {
    EXPECT_TRUE(app.Close());
    EXPECT_EQ(module.Record(), "");  // the pilot closed it: no orderly shutdown ran
}

}  // namespace
}  // namespace verlisk
