// verlisk-ui: reads and drives a running Verlisk window from outside, as a pilot would.
//   verlisk-ui show                 the caption, every control's text and the status bar
//   verlisk-ui click NAME           presses a button (cmdStart, cmdStop), returns at once
//   verlisk-ui set NAME TEXT        types TEXT into a text box (txtClientID)
//   verlisk-ui wait-panel N TEXT [S]  waits up to S seconds (10) for panel N to begin with TEXT
//   verlisk-ui box [S]              waits up to S seconds (5) for a message box, prints it
//   verlisk-ui press ok|yes|no      presses that button of the open message box
//   verlisk-ui answer               prints an open message box and presses its OK
//   verlisk-ui close                closes the window with its close box, waits for the end
// Exit code 0 when done, 1 when the window, control, box or text was not there.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/layout/layout.h"
#include "common/win32/win32_text.h"
#include "ui_driver.h"

using namespace verlisk;
using namespace verlisk::driver;

namespace {

HWND ControlNamed(HWND main, const char* name) {
    for (const auto& c : layout::Controls()) {
        if (std::string(c.name) == name) return GetDlgItem(main, static_cast<int>(c.id));
    }
    return nullptr;
}

int PrintBox(const MessageBoxInfo& box) {
    if (!box.hwnd) {
        std::fprintf(stderr, "verlisk-ui: no message box\n");
        return 1;
    }
    std::string text;
    for (char ch : box.text) text += ch == '\n' ? std::string("\n    ") : std::string(1, ch);
    std::printf("message box \"%s\"%s:\n    %s\n", box.title.c_str(),
                box.hasIcon ? " (with an icon)" : "", text.c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string cmd = argc > 1 ? argv[1] : "show";
    HWND main = WaitForClass(layout::kWindowClass, 5s);
    if (!main) {
        std::fprintf(stderr, "verlisk-ui: no Verlisk window\n");
        return 1;
    }
    DWORD pid = 0;
    GetWindowThreadProcessId(main, &pid);
    HANDLE process = OpenProcess(PROCESS_ALL_ACCESS | SYNCHRONIZE, FALSE, pid);
    auto seconds = [&](int at, int fallback) {
        return std::chrono::seconds(argc > at ? std::atoi(argv[at]) : fallback);
    };
    auto panel = [&](int n) {
        return StatusPanelText(GetDlgItem(main, static_cast<int>(Control::StatusBar1)), n, process);
    };
    int rc = 0;
    if (cmd == "click" && argc > 2) {
        HWND button = ControlNamed(main, argv[2]);
        // Posted, not sent: the click handler may open a message box and wait in it.
        rc = button ? !PostMessageW(main, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED),
                                    reinterpret_cast<LPARAM>(button))
                    : 1;
    } else if (cmd == "set" && argc > 3) {
        HWND box = ControlNamed(main, argv[2]);
        rc = box ? !SendMessageW(box, WM_SETTEXT, 0,
                                 reinterpret_cast<LPARAM>(win32::Widen(argv[3]).c_str()))
                 : 1;
    } else if (cmd == "wait-panel" && argc > 3) {
        const int n = std::atoi(argv[2]);
        const std::string want = argv[3];
        rc = WaitUntil([&] { return panel(n).rfind(want, 0) == 0; }, seconds(4, 10)) ? 0 : 1;
        std::printf("panel %d         \"%s\"\n", n, panel(n).c_str());
    } else if (cmd == "box") {
        rc = PrintBox(WaitForMessageBox(pid, seconds(2, 5)));
    } else if (cmd == "press" && argc > 2) {
        const std::string which = argv[2];
        const auto box = WaitForMessageBox(pid, 5s);
        const int id = which == "yes" ? IDYES : which == "no" ? IDNO : IDOK;
        if (box.hwnd) Press(box.hwnd, id);
        rc = box.hwnd ? 0 : 1;
    } else if (cmd == "answer") {
        const auto box = WaitForMessageBox(pid, 1s);
        if (box.hwnd) {
            PrintBox(box);
            Press(box.hwnd, IDOK);
            if (process) WaitForSingleObject(process, 5000);
        }
    } else if (cmd == "close") {
        PostMessageW(main, WM_CLOSE, 0, 0);
        rc = process && WaitForSingleObject(process, 10000) == WAIT_OBJECT_0 ? 0 : 1;
    } else if (cmd == "show") {
        std::printf("caption   \"%s\"\n", Text(main).c_str());
        // Every control a pilot can see, by its design name; Label1 lies off-screen.
        for (const auto& c : layout::Controls()) {
            if (c.kind == layout::Kind::Shape || c.kind == layout::Kind::StatusBar ||
                c.id == Control::Label1) {
                continue;
            }
            HWND h = GetDlgItem(main, static_cast<int>(c.id));
            std::printf("%-15s \"%s\"%s\n", c.name, Text(h).c_str(),
                        IsWindowEnabled(h) ? "" : " (greyed)");
        }
        for (int n = 1; n <= 3; ++n) std::printf("panel %d         \"%s\"\n", n, panel(n).c_str());
    } else {
        std::fprintf(stderr, "verlisk-ui: unknown command (see the source's head)\n");
        rc = 2;
    }
    std::fflush(stdout);
    if (process) CloseHandle(process);
    return rc;
}
