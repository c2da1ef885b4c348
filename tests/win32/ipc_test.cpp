#include <gtest/gtest.h>

#include <cstring>
#include <regex>

#include "log_pattern.h"
#include "simlink/fsuipc.h"
#include "simlink/win32/ipc_system_win32.h"
#include "ui_driver.h"

namespace verlisk {
namespace {

using namespace driver;

// The module stand-in, started with the given options and ended at scope end.
struct StandIn {
    TempDir dir;
    std::unique_ptr<Process> proc;

    explicit StandIn(const std::wstring& args, const wchar_t* cls = L"UIPCMAIN") {
        proc = std::make_unique<Process>(BinDir() + L"\\verlisk-standin.exe",
                                         args + L" --record \"" + dir.file(L"record.txt") + L"\"",
                                         dir.path());
        window = WaitForHiddenWindow(proc->pid(), cls, 20s);
    }
    std::string Record() {
        std::string r;
        dir.Read(L"record.txt", r);
        return r;
    }
    HWND window = nullptr;
};

struct IpcTest : ::testing::Test {
    win32::Win32IpcSystem sys;
    FsuipcLink link{sys};
    std::int32_t code = -1;
    const std::int32_t anySim = 0;

    bool Open() { return link.IpcOpen(anySim, code); }
    std::string AreaName() { return FsuipcLink::AreaName(GetCurrentProcessId(), 1); }
};

TEST_F(IpcTest, GoodOpenReadWriteClose) {
    StandIn module(L"--title \"Test Plane 1\" --gross 3000 --burn 0");
    ASSERT_NE(module.window, nullptr);
    ASSERT_TRUE(Open()) << code;
    EXPECT_EQ(code, 0);
    EXPECT_EQ(link.IpcVersion, 0x34000000);
    EXPECT_EQ(link.IpcSimVersion, 7);
    EXPECT_NE(GlobalFindAtomA(AreaName().c_str()), 0);

    char title[256];
    std::memset(title, 'x', sizeof title);
    double gross = 0;
    std::int32_t zfw = 0;
    ASSERT_TRUE(link.IpcRead(0x3D00, 256, title, code));
    ASSERT_TRUE(link.IpcRead(0x30C0, 8, &gross, code));
    ASSERT_TRUE(link.IpcRead(0x3BFC, 4, &zfw, code));
    ASSERT_TRUE(link.IpcProcess(code)) << code;
    EXPECT_STREQ(title, "Test Plane 1");
    EXPECT_EQ(gross, 3000.0);
    EXPECT_EQ(zfw, 1950 * 256);

    ASSERT_TRUE(link.IpcWriteString(0x3380, 6, "Hello", code));
    ASSERT_TRUE(link.IpcProcess(code));
    const std::int16_t ten = 10;
    ASSERT_TRUE(link.IpcWrite(0x32FA, 2, &ten, code));
    ASSERT_TRUE(link.IpcProcess(code));
    EXPECT_EQ(module.Record(), "text:Hello\r\ndisplay:10\r\n");

    link.IpcClose();
    EXPECT_EQ(GlobalFindAtomA(AreaName().c_str()), 0);
    EXPECT_EQ(OpenFileMappingA(FILE_MAP_READ, FALSE, AreaName().c_str()), nullptr);
}

TEST_F(IpcTest, NoModuleFailsAtOnceHoldingNothing) {
    ASSERT_EQ(FindWindowA("UIPCMAIN", nullptr), nullptr);
    ASSERT_EQ(FindWindowA("FS98MAIN", nullptr), nullptr);
    EXPECT_FALSE(Open());
    EXPECT_EQ(code, 2);
    EXPECT_EQ(link.IpcView, nullptr);
    EXPECT_EQ(link.IpcAtom, 0);
}

struct ModuleCase {
    const char* name;
    const wchar_t* args;
    const wchar_t* cls;
    bool opens;
    std::int32_t code;
};

class Modules : public IpcTest, public ::testing::WithParamInterface<ModuleCase> {};

TEST_P(Modules, OpenResult) {
    StandIn module(GetParam().args, GetParam().cls);
    ASSERT_NE(module.window, nullptr);
    EXPECT_EQ(Open(), GetParam().opens);
    EXPECT_EQ(code, GetParam().code);
    link.IpcClose();
    EXPECT_EQ(GlobalFindAtomA(AreaName().c_str()), 0);
}

INSTANTIATE_TEST_SUITE_P(
    StandIns, Modules,
    ::testing::Values(
        ModuleCase{"WideClientWithoutSimulator", L"--class FS98MAIN --fault zeros", L"FS98MAIN",
                   false, 14},
        ModuleCase{"WideClientWithSimulator", L"--class FS98MAIN", L"FS98MAIN", true, 0},
        ModuleCase{"TooOld", L"--version 0x19980004", L"UIPCMAIN", false, 7},
        ModuleCase{"Version330Opens", L"--version 0x33300000", L"UIPCMAIN", true, 0},
        ModuleCase{"ReplyZero", L"--fault reply0", L"UIPCMAIN", false, 13},
        ModuleCase{"BadRecordKind", L"--fault badkind", L"UIPCMAIN", false, 13},
        ModuleCase{"SlowButInTime", L"--fault slow --delay 300", L"UIPCMAIN", true, 0}),
    [](const auto& i) { return std::string(i.param.name); });

TEST_F(IpcTest, HangingModuleTimesOutAfterAllRetries) {
    StandIn module(L"--fault hang --delay 30000");
    ASSERT_NE(module.window, nullptr);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(Open());
    EXPECT_EQ(code, 11);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, 21s);  // 11 sends of 2 s and 10 pauses of 100 ms
    EXPECT_EQ(link.IpcView, nullptr);
}

TEST_F(IpcTest, ModuleThatVanishesLeavesALinkThatFailsCleanly) {
    auto module = std::make_unique<StandIn>(L"");
    ASSERT_TRUE(Open());
    module.reset();  // the stand-in ends with the link still open
    std::int32_t v = 12345;
    ASSERT_TRUE(link.IpcRead(0x3304, 4, &v, code));
    EXPECT_FALSE(link.IpcProcess(code));
    EXPECT_TRUE(code == 11 || code == 12) << code;
    EXPECT_EQ(v, 12345);
    link.IpcClose();
}

TEST_F(IpcTest, ManyOpenCloseCyclesLeakNothing) {
    StandIn module(L"");
    ASSERT_NE(module.window, nullptr);
    ASSERT_TRUE(Open());
    link.IpcClose();
    DWORD before = 0, after = 0;
    GetProcessHandleCount(GetCurrentProcess(), &before);
    for (int i = 0; i < 300; ++i) {
        ASSERT_TRUE(Open()) << i << " " << code;
        link.IpcClose();
    }
    GetProcessHandleCount(GetCurrentProcess(), &after);
    EXPECT_LE(after, before);
    EXPECT_EQ(GlobalFindAtomA(AreaName().c_str()), 0);
}

// The real program against a module older than 3.4, its refusal on screen.
struct OldModule : ::testing::Test {
    StandIn module{L"--version 0x33300000"};
    TempDir work;
    Process verlisk{BinDir() + L"\\Verlisk.exe", L"", work.path()};
    MessageBoxInfo box;

    void SetUp() override {
        ASSERT_NE(module.window, nullptr);
        box = WaitForMessageBox(verlisk.pid(), 20s);
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
    Sleep(1500);  // ticks go on meanwhile; none of them may stack another box
    std::string log;
    ASSERT_TRUE(work.Read(L"log.txt", log));
    EXPECT_TRUE(std::regex_match(
        log, LogPattern({"Version 2\\.0R27", "INIT OK",
                         "FSUIPC Version: ### THIS VERSION IS NOT SUPPORTED ### 3\\.3"})))
        << log;
    EXPECT_EQ(module.Record(), "");
    Press(box.hwnd, IDOK);
    DWORD exitCode = 1;
    ASSERT_TRUE(verlisk.WaitExit(10s, &exitCode));
    EXPECT_EQ(exitCode, 0u);
    EXPECT_EQ(module.Record(), "text:\r\ndisplay:10\r\n");
    std::string after;
    ASSERT_TRUE(work.Read(L"log.txt", after));
    EXPECT_EQ(after, log);  // nothing logged on the way out
    std::string cfg;
    EXPECT_FALSE(work.Read(L"verlisk.cfg", cfg));
}

TEST_F(OldModule, ClosingTheWindowUnderItsMessageBoxEndsCleanly) {
    HWND main = WaitForWindow(verlisk.pid(), L"VerliskMainWindow", 5s);
    ASSERT_NE(main, nullptr);
    PostMessageW(main, WM_CLOSE, 0, 0);
    DWORD exitCode = 1;
    ASSERT_TRUE(verlisk.WaitExit(10s, &exitCode));
    EXPECT_EQ(exitCode, 0u);
    EXPECT_EQ(module.Record(), "");  // the pilot closed it: no orderly shutdown ran
}

}  // namespace
}  // namespace verlisk
