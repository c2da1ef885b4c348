#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/layout/controls.h"
#include "simlink/ipc_protocol.h"

// Drives Verlisk and the module stand-in from another process, as a person would:
// starts them, finds their windows, reads texts and presses buttons.
namespace verlisk::driver {

using namespace std::chrono_literals;

// The folder the test program and the programs under test were built into.
std::wstring BinDir();

// A fresh folder under the temporary folder, removed with everything in it.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::wstring& path() const { return path_; }
    std::wstring file(const std::wstring& name) const { return path_ + L"\\" + name; }
    void Write(const std::wstring& name, const std::string& bytes) const;
    // The file's bytes, or nothing when it does not exist.
    bool Read(const std::wstring& name, std::string& bytes) const;

  private:
    std::wstring path_;
};

// A started program, ended at scope end if it still runs.
class Process {
  public:
    Process(const std::wstring& exe, const std::wstring& args, const std::wstring& workDir);
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    bool started() const { return info_.hProcess != nullptr; }
    DWORD pid() const { return info_.dwProcessId; }
    HANDLE handle() const { return info_.hProcess; }
    // Waits for the end; true when it ended in time, with its exit code.
    bool WaitExit(std::chrono::milliseconds timeout, DWORD* exitCode = nullptr);
    bool Running();
    void Kill();

  private:
    PROCESS_INFORMATION info_{};
};

// Polls until the condition holds; false when the time runs out first.
bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout);

// A visible top-level window of that process and class (any class when null).
HWND WaitForWindow(DWORD pid, const wchar_t* className, std::chrono::milliseconds timeout);
// A top-level window of that process and class, visible or not.
HWND WaitForHiddenWindow(DWORD pid, const wchar_t* className, std::chrono::milliseconds timeout);
// A top-level window of that class, visible or not, of any process.
HWND WaitForClass(const wchar_t* className, std::chrono::milliseconds timeout);

std::string Text(HWND hwnd);                                             // UTF-8 of the window text
std::string StatusPanelText(HWND statusBar, int panel, HANDLE process);  // panel from 1
std::vector<int> StatusPanelEdges(HWND statusBar, HANDLE process);       // right edges
RECT RectInClient(HWND child);  // the child's rectangle in its parent's client coordinates
HWND FocusOf(HWND topLevel);

// A message box: its text, title and buttons (ids of the enabled buttons).
struct MessageBoxInfo {
    HWND hwnd = nullptr;
    std::string title, text;
    std::vector<int> buttons;
    bool hasIcon = false;
};
MessageBoxInfo WaitForMessageBox(DWORD pid, std::chrono::milliseconds timeout);
void Press(HWND dialog, int buttonId);
// A key pressed and let go on a control, as the keyboard would send it.
void PressKey(HWND control, WORD key);

// The module stand-in started with these options in a folder of its own, ended at
// scope end. What a client tells the simulator's display is recorded there.
class StandIn {
  public:
    explicit StandIn(const std::wstring& args, const char* windowClass = ipc::kModuleClass);
    HWND window() const { return window_; }
    Process& process() { return *proc_; }
    std::string Record() const;  // "text:...\r\ndisplay:10\r\n" lines

  private:
    TempDir dir_;
    std::unique_ptr<Process> proc_;
    HWND window_ = nullptr;
};

// verlisk-http-peer answering as its arguments say, on a port of its choosing, in a
// folder of its own; ended at scope end.
class HttpPeer {
  public:
    explicit HttpPeer(const std::wstring& args);
    const std::string& url() const { return url_; }  // its /receiver.php
    std::string Request() const;                     // what it was sent, raw

  private:
    TempDir dir_;
    std::unique_ptr<Process> proc_;
    std::string url_;
};

// Verlisk.exe in a working folder of its own (prepare the folder, then Start).
class App {
  public:
    TempDir work;
    std::unique_ptr<Process> proc;
    HWND main = nullptr;

    // Starts it and waits for its window; false when none appears.
    bool Start(std::chrono::milliseconds timeout = 20s);
    HWND Ctl(Control c) const;
    std::string Text(Control c) const;
    std::string Panel(int panel) const;
    std::string File(const wchar_t* name) const;  // "" when there is none
    // Closes the window with its close box; true when the process then ended with 0.
    bool Close();
};

}  // namespace verlisk::driver
