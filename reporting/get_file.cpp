#include "reporting/get_file.h"

namespace verlisk {

bool FileExists(FileSystem& fs, const std::string& path) { return fs.Length(path).has_value(); }

std::string GetFile(FileSystem& fs, const std::string& path) {
    if (!FileExists(fs, path)) return {};
    return fs.ReadAll(path).value_or(std::string{});
}

}  // namespace verlisk
