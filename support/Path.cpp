#include "support/Path.h"

#include <fnmatch.h>

namespace qb {

bool MatchesMask(const std::string& name, const std::string& mask) {
    if (mask == "*.*" || mask == "*") return true;
    // Windows masks know only * and ?: "[" is a plain character ("[[]"), "\"
    // too (FNM_NOESCAPE); no FNM_PATHNAME or FNM_PERIOD, so "/" and a leading
    // dot match like any other character.
    std::string pattern;
    for (char c : mask) pattern += c == '[' ? std::string("[[]") : std::string(1, c);
    return ::fnmatch(pattern.c_str(), name.c_str(), FNM_CASEFOLD | FNM_NOESCAPE) == 0;
}

}  // namespace qb
