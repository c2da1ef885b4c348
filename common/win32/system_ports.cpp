#include "common/win32/system_ports.h"

#include <windows.h>

#include <algorithm>

#include "common/win32/win32_text.h"

namespace verlisk::win32 {
namespace {

SYSTEMTIME ToSystemTime(const DateTime& t) {
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(t.year);
    st.wMonth = static_cast<WORD>(t.month);
    st.wDay = static_cast<WORD>(t.day);
    st.wHour = static_cast<WORD>(t.hour);
    st.wMinute = static_cast<WORD>(t.minute);
    st.wSecond = static_cast<WORD>(t.second);
    st.wMilliseconds = static_cast<WORD>(t.millisecond);
    return st;
}

class Handle {
  public:
    explicit Handle(HANDLE h) : h_(h) {}
    ~Handle() {
        if (ok()) CloseHandle(h_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    bool ok() const { return h_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return h_; }

  private:
    HANDLE h_;
};

bool WriteWhole(HANDLE h, std::string_view bytes) {
    while (!bytes.empty()) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 20));
        if (!WriteFile(h, bytes.data(), chunk, &written, nullptr) || written == 0) return false;
        bytes.remove_prefix(written);
    }
    return true;
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

}  // namespace

std::string Win32Regional::DecimalSeparator() {
    wchar_t buf[16] = {};
    if (GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, buf, 16) == 0) return ".";
    return Narrow(buf);
}

std::string Win32Regional::ShortDate(const DateTime& t) {
    const SYSTEMTIME st = ToSystemTime(t);
    wchar_t buf[128] = {};
    if (GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, buf, 128,
                        nullptr) == 0) {
        return {};
    }
    return Narrow(buf);
}

std::string Win32Regional::LongTime(const DateTime& t) {
    const SYSTEMTIME st = ToSystemTime(t);
    wchar_t buf[128] = {};
    if (GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, &st, nullptr, buf, 128) == 0) return {};
    return Narrow(buf);
}

DateTime Win32Clock::Now() {
    SYSTEMTIME st;
    GetLocalTime(&st);
    return {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds};
}

bool Win32Files::IsOrdinaryFile(const std::string& name) {
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA(name.c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return false;
    FindClose(h);
    return (fd.dwFileAttributes &
            (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) == 0;
}

std::optional<std::uint64_t> Win32Files::Length(const std::string& name) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(name.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return std::nullopt;
    return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool Win32Files::Delete(const std::string& name) { return DeleteFileA(name.c_str()) != 0; }

std::optional<std::string> Win32Files::ReadAll(const std::string& name) {
    Handle h(CreateFileA(name.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h.ok()) return std::nullopt;
    std::string out;
    char buf[65536];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(h.get(), buf, sizeof buf, &got, nullptr)) return std::nullopt;
        if (got == 0) return out;
        out.append(buf, got);
    }
}

bool Win32Files::WriteAll(const std::string& name, std::string_view bytes) {
    Handle h(CreateFileA(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr));
    return h.ok() && WriteWhole(h.get(), bytes);
}

bool Win32Files::Append(const std::string& name, std::string_view bytes) {
    Handle h(CreateFileA(name.c_str(), FILE_APPEND_DATA, kShareAll, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr));
    return h.ok() && WriteWhole(h.get(), bytes);
}

void Win32Process::EndProcess() { ExitProcess(0); }

}  // namespace verlisk::win32
