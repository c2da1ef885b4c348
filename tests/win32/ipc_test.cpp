#include <gtest/gtest.h>

#include <cstring>

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

TEST_F(IpcTest, HangingModuleTimesOutAfterAllRetries) {
    StandIn module(L"--fault hang --delay 30000");
    ASSERT_NE(module.window(), nullptr);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(Open());
    EXPECT_EQ(code, kTimedOut);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 21s);  // 11 sends of 2 s, 10 pauses
    ExpectReleased();
}

}  // namespace
}  // namespace verlisk
