#pragma once

#include <gtest/gtest.h>

#include "../expected_version.h"
#include "app/frm_start.h"
#include "fake_module.h"
#include "fakes.h"
#include "simlink/fsuipc.h"

namespace verlisk::testing {

// A main window wired to fakes: files, clock, en-US settings, module and process.
struct FrmFixture : ::testing::Test {
    FakeView view;
    FakeFiles files;
    FakeClock clock;
    FakeRegional regional;
    FakeProcess process;
    FakeModule module;
    FsuipcLink link{module};
    FakeInet inet;
    FrmStart frm{{view, files, clock, regional, process, link, inet}};

    std::string Log() { return files.files["log.txt"]; }
    // The session's state as its table gives it: Phase, the enabled buttons, panel 2.
    std::string State() {
        return std::to_string(frm.Phase) + (view.enabled[Control::cmdStart] ? " START" : "") +
               (view.enabled[Control::cmdStop] ? " STOP" : "") + " " + view.panels[2];
    }
};
using Box = FakeView::Box;
inline const char *kIdle = "0 START STOPPED", *kRunning = "1 STOP RUNNING",
                  *kRetryPending = "0 STOP STOPPED";

// Log lines stamped with the fake clock's time in the en-US format.
inline std::string LogLines(std::initializer_list<std::string> lines) {
    std::string s;
    for (const auto& l : lines) s += "12/4/2026 7:35:12 PM: " + l + "\r\n";
    return s;
}

}  // namespace verlisk::testing
