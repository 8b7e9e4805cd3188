#include "support/Scratch.h"

#include <stdlib.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#include "support/Error.h"

namespace qb {

std::string TempDirectory() {
    std::error_code ec;
    std::string dir = std::filesystem::temp_directory_path(ec).string();
    if (ec || dir.empty()) return "/tmp";
    if (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    return dir;
}

std::string MakeScratchFolder(const std::string& prefix, const std::string& failure) {
    std::string pattern = prefix + "XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (!::mkdtemp(buf.data())) {
        const int err = errno;
        Error e(failure + ": " + std::strerror(err));
        errno = err;
        throw e;
    }
    return buf.data();
}

}  // namespace qb
