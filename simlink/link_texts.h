#pragma once

#include <cstdint>
#include <string>

namespace verlisk {

// Text of an IPC result code (0 to 15); other codes give "".
std::string IpcErrorText(std::int32_t code);

// Name of a simulator number (0 "Any" to 8 "FSYETANOTHER"); other numbers give "".
std::string SimNames(std::int32_t sim);

// The module's version for the status bar: d1.d2d3d4 and a build letter.
std::string VersionWordText(std::int32_t versionWord);

// major + minor / 10 the way the gate keeps it: leading blank, period decimal point.
std::string GateVersionText(std::int32_t versionWord);

// The number a gate version text stands for.
double GateVersionValue(const std::string& text);

}  // namespace verlisk
