#include "ui_driver.h"

#include <commctrl.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "app/layout/layout.h"
#include "common/win32/win32_text.h"

namespace verlisk::driver {
namespace {

std::string Utf8(const std::wstring& w) {
    if (w.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0,
                                      nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), out.data(), n, nullptr,
                        nullptr);
    return out;
}

std::wstring ClassOf(HWND h) {
    wchar_t buf[256] = {};
    GetClassNameW(h, buf, 256);
    return buf;
}

template <typename Pred>
HWND FindTopLevel(Pred pred, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    do {
        struct Ctx {
            Pred* pred;
            HWND found;
        } ctx{&pred, nullptr};
        EnumWindows(
            [](HWND h, LPARAM lp) -> BOOL {
                auto* c = reinterpret_cast<Ctx*>(lp);
                if ((*c->pred)(h)) {
                    c->found = h;
                    return FALSE;
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&ctx));
        if (ctx.found) return ctx.found;
        std::this_thread::sleep_for(50ms);
    } while (std::chrono::steady_clock::now() < end);
    return nullptr;
}

void RemoveTree(const std::wstring& dir) {
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((dir + L"\\*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = fd.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring full = dir + L"\\" + name;
            SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(full);
            } else {
                DeleteFileW(full.c_str());
            }
        } while (FindNextFileW(h, &fd));
        FindClose(h);
    }
    RemoveDirectoryW(dir.c_str());
}

}  // namespace

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(50ms);
    }
    return true;
}

std::wstring BinDir() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring p = path;
    return p.substr(0, p.find_last_of(L"\\/"));
}

TempDir::TempDir() {
    wchar_t base[MAX_PATH];
    GetTempPathW(MAX_PATH, base);
    static int counter = 0;
    for (;;) {
        path_ = std::wstring(base) + L"verlisk-test-" + std::to_wstring(GetCurrentProcessId()) +
                L"-" + std::to_wstring(++counter);
        if (CreateDirectoryW(path_.c_str(), nullptr)) break;
    }
}

TempDir::~TempDir() { RemoveTree(path_); }

void TempDir::Write(const std::wstring& name, const std::string& bytes) const {
    std::ofstream(std::filesystem::path(file(name)), std::ios::binary) << bytes;
}

bool TempDir::Read(const std::wstring& name, std::string& bytes) const {
    std::ifstream in(std::filesystem::path(file(name)), std::ios::binary);
    if (!in) return false;
    std::ostringstream s;
    s << in.rdbuf();
    bytes = s.str();
    return true;
}

Process::Process(const std::wstring& exe, const std::wstring& args, const std::wstring& workDir) {
    std::wstring cmd = L"\"" + exe + L"\" " + args;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    if (!CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        workDir.empty() ? nullptr : workDir.c_str(), &si, &info_)) {
        info_ = {};
    }
}

Process::~Process() {
    if (!info_.hProcess) return;
    Kill();
    CloseHandle(info_.hThread);
    CloseHandle(info_.hProcess);
}

bool Process::WaitExit(std::chrono::milliseconds timeout, DWORD* exitCode) {
    if (WaitForSingleObject(info_.hProcess, static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0) {
        return false;
    }
    if (exitCode) GetExitCodeProcess(info_.hProcess, exitCode);
    return true;
}

bool Process::Running() { return WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT; }

void Process::Kill() {
    if (Running()) {
        TerminateProcess(info_.hProcess, 99);
        WaitForSingleObject(info_.hProcess, 10000);
    }
}

namespace {
HWND WaitForOwned(DWORD pid, const wchar_t* className, std::chrono::milliseconds timeout,
                  bool visibleOnly) {
    return FindTopLevel(
        [&](HWND h) {
            DWORD owner = 0;
            GetWindowThreadProcessId(h, &owner);
            return owner == pid && (!visibleOnly || IsWindowVisible(h)) &&
                   (!className || ClassOf(h) == className);
        },
        timeout);
}
}  // namespace

HWND WaitForWindow(DWORD pid, const wchar_t* className, std::chrono::milliseconds timeout) {
    return WaitForOwned(pid, className, timeout, true);
}

HWND WaitForHiddenWindow(DWORD pid, const wchar_t* className, std::chrono::milliseconds timeout) {
    return WaitForOwned(pid, className, timeout, false);
}

HWND WaitForClass(const wchar_t* className, std::chrono::milliseconds timeout) {
    return FindTopLevel([&](HWND h) { return ClassOf(h) == className; }, timeout);
}

std::string Text(HWND hwnd) {
    DWORD_PTR len = 0;
    SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_BLOCK, 2000, &len);
    std::wstring buf(len + 1, L'\0');
    DWORD_PTR got = 0;
    SendMessageTimeoutW(hwnd, WM_GETTEXT, buf.size(), reinterpret_cast<LPARAM>(buf.data()),
                        SMTO_BLOCK, 2000, &got);
    buf.resize(got);
    return Utf8(buf);
}

// SB_GETTEXT writes into the caller's memory, so the buffer must live in the
// status bar's own process.
std::string StatusPanelText(HWND statusBar, int panel, HANDLE process) {
    constexpr SIZE_T kBytes = 1024 * sizeof(wchar_t);
    void* remote = VirtualAllocEx(process, nullptr, kBytes, MEM_COMMIT, PAGE_READWRITE);
    if (!remote) return "<no memory>";
    DWORD_PTR r = 0;
    SendMessageTimeoutW(statusBar, SB_GETTEXTLENGTHW, static_cast<WPARAM>(panel - 1), 0, SMTO_BLOCK,
                        2000, &r);
    const std::size_t len = std::min<std::size_t>(LOWORD(r), 1023);
    SendMessageTimeoutW(statusBar, SB_GETTEXTW, static_cast<WPARAM>(panel - 1),
                        reinterpret_cast<LPARAM>(remote), SMTO_BLOCK, 2000, &r);
    std::wstring buf(len, L'\0');
    SIZE_T read = 0;
    ReadProcessMemory(process, remote, buf.data(), len * sizeof(wchar_t), &read);
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    return Utf8(buf);
}

std::vector<int> StatusPanelEdges(HWND statusBar, HANDLE process) {
    void* remote = VirtualAllocEx(process, nullptr, 16 * sizeof(int), MEM_COMMIT, PAGE_READWRITE);
    if (!remote) return {};
    DWORD_PTR n = 0;
    SendMessageTimeoutW(statusBar, SB_GETPARTS, 16, reinterpret_cast<LPARAM>(remote), SMTO_BLOCK,
                        2000, &n);
    std::vector<int> edges(std::min<std::size_t>(n, 16));
    SIZE_T read = 0;
    ReadProcessMemory(process, remote, edges.data(), edges.size() * sizeof(int), &read);
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    return edges;
}

RECT RectInClient(HWND child) {
    RECT r;
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

HWND FocusOf(HWND topLevel) {
    GUITHREADINFO gti{};
    gti.cbSize = sizeof gti;
    GetGUIThreadInfo(GetWindowThreadProcessId(topLevel, nullptr), &gti);
    return gti.hwndFocus;
}

MessageBoxInfo WaitForMessageBox(DWORD pid, std::chrono::milliseconds timeout) {
    MessageBoxInfo info;
    info.hwnd = WaitForWindow(pid, L"#32770", timeout);
    if (!info.hwnd) return info;
    info.title = Text(info.hwnd);
    if (HWND text = GetDlgItem(info.hwnd, 0xFFFF)) info.text = Text(text);
    for (int id : {IDOK, IDCANCEL, IDYES, IDNO}) {
        if (HWND b = GetDlgItem(info.hwnd, id); b && IsWindowVisible(b)) info.buttons.push_back(id);
    }
    // The icon is a static control: id 0x0014 in Windows' message box, 0x0440 in Wine's.
    for (int id : {0x0014, 0x0440}) {
        HWND icon = GetDlgItem(info.hwnd, id);
        info.hasIcon = info.hasIcon || (icon && IsWindowVisible(icon) &&
                                        SendMessageW(icon, STM_GETICON, 0, 0) != 0);
    }
    return info;
}

void Press(HWND dialog, int buttonId) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, buttonId)));
}

void PressKey(HWND control, WORD key) {
    PostMessageW(control, WM_KEYDOWN, key, 1);
    PostMessageW(control, WM_KEYUP, key, 0xC0000001);
}

StandIn::StandIn(const std::wstring& args, const char* windowClass) {
    proc_ = std::make_unique<Process>(BinDir() + L"\\verlisk-standin.exe",
                                      args + L" --record \"" + dir_.file(L"record.txt") + L"\"",
                                      dir_.path());
    window_ = WaitForHiddenWindow(proc_->pid(), win32::Widen(windowClass).c_str(), 20s);
}

std::string StandIn::Record() const {
    std::string r;
    dir_.Read(L"record.txt", r);
    return r;
}

HttpPeer::HttpPeer(const std::wstring& args) {
    proc_ = std::make_unique<Process>(BinDir() + L"\\verlisk-http-peer.exe", L"port.txt " + args,
                                      dir_.path());
    std::string port;
    WaitUntil([&] { return dir_.Read(L"port.txt", port) && !port.empty(); }, 10s);
    url_ = "http://127.0.0.1:" + port + "/receiver.php";
}

std::string HttpPeer::Request() const {
    std::string r;
    dir_.Read(L"request.txt", r);
    return r;
}

bool App::Start(std::chrono::milliseconds timeout) {
    proc = std::make_unique<Process>(BinDir() + L"\\Verlisk.exe", L"", work.path());
    main = proc->started() ? WaitForWindow(proc->pid(), layout::kWindowClass, timeout) : nullptr;
    return main != nullptr;
}

HWND App::Ctl(Control c) const { return GetDlgItem(main, static_cast<int>(c)); }

std::string App::Text(Control c) const { return driver::Text(Ctl(c)); }

std::string App::Panel(int panel) const {
    return StatusPanelText(Ctl(Control::StatusBar1), panel, proc->handle());
}

std::string App::File(const wchar_t* name) const {
    std::string bytes;
    work.Read(name, bytes);
    return bytes;
}

bool App::Close() {
    PostMessageW(main, WM_CLOSE, 0, 0);
    DWORD code = 1;
    return proc->WaitExit(10s, &code) && code == 0;
}

}  // namespace verlisk::driver
