#pragma once
#include <string>
#include <string_view>

namespace qb {

// A path with "\" (as storage and engine texts write it) turned into "/".
inline std::string NativePath(std::string_view path) {
    std::string p(path);
    for (char& c : p)
        if (c == '\\') c = '/';
    return p;
}

// True when name matches a Windows wildcard mask (* and ?, ASCII letters
// folded); "*.*" matches every name, also one without a dot.
bool MatchesMask(const std::string& name, const std::string& mask);

// True for a path that does not depend on the current folder: "/x" here; also
// "C:\x", "C:/x" and "\\server\share" on Windows.
bool IsAbsolutePath(const std::string& path);

}  // namespace qb
