#include <gtest/gtest.h>

#include <regex>

#include "app/frm_start.h"
#include "app/layout/controls.h"
#include "log_pattern.h"
#include "reporting/config_file.h"
#include "ui_driver.h"

namespace verlisk {
namespace {

using namespace driver;

std::wstring VerliskExe() { return BinDir() + L"\\Verlisk.exe"; }

HWND Ctl(HWND main, Control c) { return GetDlgItem(main, static_cast<int>(c)); }

// Verlisk started in its own working folder, its window found.
struct Started {
    TempDir dir;
    std::unique_ptr<Process> proc;
    HWND main = nullptr;

    void Start() {
        proc = std::make_unique<Process>(VerliskExe(), L"", dir.path());
        ASSERT_TRUE(proc->started());
        main = WaitForWindow(proc->pid(), L"VerliskMainWindow", 20s);
        ASSERT_NE(main, nullptr) << "no window";
        // Form_Load runs before the window is shown; give the log a moment anyway.
        Sleep(200);
    }
    // Closes the window with its close box and expects the process to end.
    void Close() {
        PostMessageW(main, WM_CLOSE, 0, 0);
        DWORD code = 1;
        ASSERT_TRUE(proc->WaitExit(10s, &code));
        EXPECT_EQ(code, 0u);
    }
};

TEST(Window, OpensAsDesignedAndClosesWithoutWritingAnything) {
    Started s;
    s.dir.Write(L"log.txt", "an old run\r\n");
    const std::string cfg = ConfigFileText("Pilot7", "12/1/2026 9:00:00 AM");
    s.dir.Write(L"verlisk.cfg", cfg);
    ASSERT_NO_FATAL_FAILURE(s.Start());

    EXPECT_EQ(Text(s.main), " Verlisk");
    RECT client;
    GetClientRect(s.main, &client);
    EXPECT_EQ(client.right, 395);
    EXPECT_EQ(client.bottom, 211);

    struct Expect {
        Control c;
        const char* text;
        bool enabled;
    };
    for (const auto& e :
         {Expect{Control::Label3, "Client ID", true}, Expect{Control::txtClientID, "Pilot7", true},
          Expect{Control::cmdStart, "START", true}, Expect{Control::cmdStop, "STOP", false},
          Expect{Control::Label2, "00:00:00", true}, Expect{Control::Label4, "Start weight", true},
          Expect{Control::Label5, "Stop Weight", true}, Expect{Control::Label6, "Difference", true},
          Expect{Control::Label7, "Fuelage", true}, Expect{Control::lblStartWeight, "", true},
          Expect{Control::lblStopWeight, "", true}, Expect{Control::lblDifference, "", true},
          Expect{Control::lblFuelage, "", true}}) {
        HWND h = Ctl(s.main, e.c);
        ASSERT_NE(h, nullptr) << static_cast<int>(e.c);
        EXPECT_EQ(Text(h), e.text) << static_cast<int>(e.c);
        EXPECT_EQ(IsWindowEnabled(h) != 0, e.enabled) << static_cast<int>(e.c);
    }
    EXPECT_EQ(Text(Ctl(s.main, Control::Label1)), InformationText());
    // Label1 lies wholly below the client area.
    EXPECT_GE(RectInClient(Ctl(s.main, Control::Label1)).top, client.bottom);

    HWND bar = Ctl(s.main, Control::StatusBar1);
    const RECT br = RectInClient(bar);
    EXPECT_EQ(br.top, 192);
    EXPECT_EQ(br.bottom, 211);
    EXPECT_EQ(br.left, 0);
    EXPECT_EQ(br.right, 395);
    EXPECT_EQ(StatusPanelText(bar, 1, s.proc->handle()), "FSUIPC WAIT");
    EXPECT_EQ(StatusPanelText(bar, 2, s.proc->handle()), "STOPPED");
    EXPECT_EQ(StatusPanelText(bar, 3, s.proc->handle()), "Version: 2.0.27");
    EXPECT_EQ(StatusPanelEdges(bar, s.proc->handle()), (std::vector<int>{96, 192, -1}));

    EXPECT_EQ(FocusOf(s.main), Ctl(s.main, Control::cmdStart));
    EXPECT_EQ(GetNextDlgTabItem(s.main, Ctl(s.main, Control::cmdStart), FALSE),
              Ctl(s.main, Control::txtClientID));  // STOP is greyed, so skipped

    std::string log;
    ASSERT_TRUE(s.dir.Read(L"log.txt", log));
    EXPECT_TRUE(std::regex_match(log, FreshLog())) << log;

    ASSERT_NO_FATAL_FAILURE(s.Close());
    std::string after, cfgAfter;
    ASSERT_TRUE(s.dir.Read(L"log.txt", after));
    EXPECT_EQ(after, log);
    ASSERT_TRUE(s.dir.Read(L"verlisk.cfg", cfgAfter));
    EXPECT_EQ(cfgAfter, cfg);
}

TEST(Window, DrawsARandomIdentifierWithoutConfiguration) {
    Started s;
    ASSERT_NO_FATAL_FAILURE(s.Start());
    const std::string id = Text(Ctl(s.main, Control::txtClientID));
    EXPECT_TRUE(std::regex_match(id, std::regex(kRandomId))) << id;
    std::string log;
    ASSERT_TRUE(s.dir.Read(L"log.txt", log));
    // "No config file" went into a log that the reset then deleted.
    EXPECT_TRUE(std::regex_match(log, FreshLog())) << log;
    ASSERT_NO_FATAL_FAILURE(s.Close());
    std::string cfg;
    EXPECT_FALSE(s.dir.Read(L"verlisk.cfg", cfg));  // nothing writes it at start-up
}

// Working folders a pilot may have: the program starts and keeps running.
struct BadFolder {
    const char* name;
    void (*arrange)(TempDir&);
    const char* idPattern;  // what the text box shows
    const char* logStart;   // what the log must still begin with; null: a fresh log
};

class BadFolders : public ::testing::TestWithParam<BadFolder> {};

TEST_P(BadFolders, ProgramStartsAndRuns) {
    Started s;
    GetParam().arrange(s.dir);
    ASSERT_NO_FATAL_FAILURE(s.Start());
    Sleep(1500);  // a few timer ticks
    EXPECT_TRUE(s.proc->Running());
    const std::string id = Text(Ctl(s.main, Control::txtClientID));
    EXPECT_TRUE(std::regex_match(id, std::regex(GetParam().idPattern))) << id;
    std::string log;
    if (s.dir.Read(L"log.txt", log)) {
        if (GetParam().logStart) {
            // Whether a read-only log takes new lines depends on who runs the program;
            // what it held before is never lost.
            EXPECT_EQ(log.rfind(GetParam().logStart, 0), 0u) << log;
        } else {
            EXPECT_TRUE(std::regex_match(log, FreshLog())) << log;
        }
    }
    ASSERT_NO_FATAL_FAILURE(s.Close());
}

INSTANTIATE_TEST_SUITE_P(
    Folders, BadFolders,
    ::testing::Values(
        BadFolder{"ConfigIsADirectory",
                  [](TempDir& d) { CreateDirectoryW(d.file(L"verlisk.cfg").c_str(), nullptr); },
                  kRandomId, nullptr},
        BadFolder{
            "ConfigIsBinary",
            [](TempDir& d) { d.Write(L"verlisk.cfg", std::string("\x00\xff\xfe\r\n\x01\x02", 7)); },
            kRandomId, nullptr},
        BadFolder{"ConfigIsTenMegabytes",
                  [](TempDir& d) {
                      d.Write(L"verlisk.cfg",
                              std::string(10 << 20, 'x') + "\r\n[CLIENTID]\r\nbigfile1\r\n");
                  },
                  "bigfile1", nullptr},
        BadFolder{"ConfigHasLfLineEnds",
                  [](TempDir& d) { d.Write(L"verlisk.cfg", "[CLIENTID]\nlfonly\n"); }, kRandomId,
                  nullptr},
        BadFolder{"LogIsReadOnly",
                  [](TempDir& d) {
                      d.Write(L"log.txt", "kept\r\n");
                      SetFileAttributesW(d.file(L"log.txt").c_str(), FILE_ATTRIBUTE_READONLY);
                  },
                  kRandomId, "kept\r\n"},
        BadFolder{"LogIsADirectory",
                  [](TempDir& d) { CreateDirectoryW(d.file(L"log.txt").c_str(), nullptr); },
                  kRandomId, nullptr}),
    [](const auto& i) { return std::string(i.param.name); });

}  // namespace
}  // namespace verlisk

namespace verlisk {
namespace {

// The Wine prefix's screen DPI, set for one test and put back after it.
class ScreenDpi {
  public:
    explicit ScreenDpi(DWORD dpi) {
        RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0,
                        KEY_READ | KEY_WRITE, nullptr, &key_, nullptr);
        DWORD size = sizeof old_;
        had_ = RegQueryValueExW(key_, L"LogPixels", nullptr, nullptr,
                                reinterpret_cast<BYTE*>(&old_), &size) == ERROR_SUCCESS;
        RegSetValueExW(key_, L"LogPixels", 0, REG_DWORD, reinterpret_cast<BYTE*>(&dpi), sizeof dpi);
    }
    ~ScreenDpi() {
        if (had_) {
            RegSetValueExW(key_, L"LogPixels", 0, REG_DWORD, reinterpret_cast<BYTE*>(&old_),
                           sizeof old_);
        } else {
            RegDeleteValueW(key_, L"LogPixels");
        }
        RegCloseKey(key_);
    }

  private:
    HKEY key_ = nullptr;
    DWORD old_ = 0;
    bool had_ = false;
};

TEST(Window, ScalesWithTheScreenDpi) {
    ScreenDpi dpi(144);
    TempDir dir;
    driver::Process p(BinDir() + L"\\Verlisk.exe", L"", dir.path());
    HWND main = WaitForWindow(p.pid(), L"VerliskMainWindow", 20s);
    ASSERT_NE(main, nullptr);
    RECT client;
    GetClientRect(main, &client);
    EXPECT_EQ(client.right, 593);   // 5925 twips at 144 DPI
    EXPECT_EQ(client.bottom, 317);  // 3165 twips
    const RECT bar = RectInClient(GetDlgItem(main, static_cast<int>(Control::StatusBar1)));
    EXPECT_EQ(bar.top, 288);
    EXPECT_EQ(bar.bottom, 317);
    const RECT start = RectInClient(GetDlgItem(main, static_cast<int>(Control::cmdStart)));
    EXPECT_EQ(start.left, 312);                // 3120 twips
    EXPECT_EQ(start.right - start.left, 266);  // 2655 twips, 265.5 rounded
    PostMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_TRUE(p.WaitExit(10s));
}

}  // namespace
}  // namespace verlisk
