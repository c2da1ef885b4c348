// verlisk-ui: reads and drives a running Verlisk window from outside.
//   verlisk-ui show    prints the caption, every control's text and the status bar
//   verlisk-ui close   closes the window with its close box, waits for the process
//   verlisk-ui answer  prints an open message box of Verlisk's and presses its OK
#include <windows.h>

#include <cstdio>
#include <string>

#include "app/layout/layout.h"
#include "ui_driver.h"

using namespace verlisk;
using namespace verlisk::driver;

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
    if (cmd == "answer") {
        const auto box = WaitForMessageBox(pid, 1s);
        if (box.hwnd) {
            std::printf("message box \"%s\": %s\n", box.title.c_str(), box.text.c_str());
            Press(box.hwnd, IDOK);
            if (process) WaitForSingleObject(process, 5000);
        }
        if (process) CloseHandle(process);
        return 0;
    }
    if (cmd == "close") {
        PostMessageW(main, WM_CLOSE, 0, 0);
        const bool ended = process && WaitForSingleObject(process, 10000) == WAIT_OBJECT_0;
        if (process) CloseHandle(process);
        return ended ? 0 : 1;
    }
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
    HWND bar = GetDlgItem(main, static_cast<int>(Control::StatusBar1));
    for (int panel = 1; panel <= 3; ++panel) {
        std::printf("panel %d         \"%s\"\n", panel,
                    StatusPanelText(bar, panel, process).c_str());
    }
    if (process) CloseHandle(process);
    return 0;
}
