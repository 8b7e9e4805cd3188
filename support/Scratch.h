#pragma once
#include <string>

namespace qb {

// The system's folder for temporary files ($TMPDIR or /tmp), without trailing "/".
std::string TempDirectory();
// A fresh private folder named prefix + six random characters (mkdtemp);
// returns its path without trailing "/". Raises qb::Error "failure: reason"
// when it cannot be made, errno left as the system set it.
std::string MakeScratchFolder(const std::string& prefix, const std::string& failure);

}  // namespace qb
