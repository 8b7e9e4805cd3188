#pragma once
#include <filesystem>
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

// True when Windows reserves the name for a device (CON, PRN, AUX, NUL,
// COM1-COM9, LPT1-LPT9, in any case, with or without an extension).
bool IsReservedDeviceName(std::string_view name);
// The name made usable on Windows as well: a device name gets a leading
// repl ("_CON.txt"), trailing dots and spaces become repl. Others are unchanged.
std::string WindowsSafeName(std::string name, char repl = '_');

// A UTF-8 path as std::filesystem takes it (never through the ANSI code page).
inline std::filesystem::path FsPath(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}
// UTF-8 text of a std::filesystem path, with "/" as separator.
inline std::string Utf8Of(const std::filesystem::path& path) {
    const std::u8string u = path.generic_u8string();
    return std::string(u.begin(), u.end());
}

}  // namespace qb
