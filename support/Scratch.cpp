#include "support/Scratch.h"

#include <cerrno>

#include "support/Error.h"
#include "support/Os.h"

namespace qb {

std::string TempDirectory() { return os::TempDirectory(); }

std::string MakeScratchFolder(const std::string& prefix, const std::string& failure) {
    std::string made = os::MakeTempFolder(prefix);
    if (made.empty()) {
        const int err = errno;
        Error e(failure + ": " + os::ErrorText(err));
        errno = err;
        throw e;
    }
    return made;
}

}  // namespace qb
