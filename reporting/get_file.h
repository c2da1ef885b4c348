#pragma once

#include <string>

#include "common/ports.h"

namespace verlisk {

// True when the file's length can be queried; never fails otherwise.
bool FileExists(FileSystem& fs, const std::string& path);

// The whole file as bytes of the system code page, or "" when FileExists is false
// (or the file vanishes or cannot be opened between the two calls).
std::string GetFile(FileSystem& fs, const std::string& path);

}  // namespace verlisk
