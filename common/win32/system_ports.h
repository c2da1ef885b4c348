#pragma once

#include "common/ports.h"

namespace verlisk::win32 {

// The user's regional settings, read afresh at every call so that a change in the
// control panel shows at once.
class Win32Regional : public RegionalSettings {
  public:
    std::string DecimalSeparator() override;
    std::string ShortDate(const DateTime& t) override;
    std::string LongTime(const DateTime& t) override;
};

class Win32Clock : public Clock {
  public:
    DateTime Now() override;
};

// Files in the current working directory through the ANSI file API.
class Win32Files : public FileSystem {
  public:
    bool IsOrdinaryFile(const std::string& name) override;
    std::optional<std::uint64_t> Length(const std::string& name) override;
    bool Delete(const std::string& name) override;
    std::optional<std::string> ReadAll(const std::string& name) override;
    bool WriteAll(const std::string& name, std::string_view bytes) override;
    bool Append(const std::string& name, std::string_view bytes) override;
};

// Ends the process at once.
class Win32Process : public ProcessControl {
  public:
    [[noreturn]] void EndProcess() override;
};

}  // namespace verlisk::win32
