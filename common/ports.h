#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/datetime.h"

namespace verlisk {

// The user's regional formats. Texts are in the system ANSI code page.
class RegionalSettings {
  public:
    virtual ~RegionalSettings() = default;
    virtual std::string DecimalSeparator() = 0;
    virtual std::string ShortDate(const DateTime& t) = 0;
    virtual std::string LongTime(const DateTime& t) = 0;
};

// The local wall clock.
class Clock {
  public:
    virtual ~Clock() = default;
    virtual DateTime Now() = 0;
};

// Files named relative to the current working directory; contents are raw bytes.
class FileSystem {
  public:
    virtual ~FileSystem() = default;
    // A directory entry of that name that is neither a directory nor hidden nor system.
    virtual bool IsOrdinaryFile(const std::string& name) = 0;
    // The length, or nothing when it cannot be had (no such file, bad name, no access).
    virtual std::optional<std::uint64_t> Length(const std::string& name) = 0;
    virtual bool Delete(const std::string& name) = 0;
    virtual std::optional<std::string> ReadAll(const std::string& name) = 0;
    // Create or replace the file with these bytes.
    virtual bool WriteAll(const std::string& name, std::string_view bytes) = 0;
    // Append, creating the file when it does not exist.
    virtual bool Append(const std::string& name, std::string_view bytes) = 0;
};

// Ending the process at once.
class ProcessControl {
  public:
    virtual ~ProcessControl() = default;
    [[noreturn]] virtual void EndProcess() = 0;
};

}  // namespace verlisk
