#pragma once

#include <string>
#include <string_view>

// The one place where the program's ANSI texts meet Windows' UTF-16.
namespace verlisk::win32 {

std::wstring Widen(std::string_view ansi);
std::string Narrow(std::wstring_view wide);

}  // namespace verlisk::win32
