#include "FileSys.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "Error.h"

namespace qb::fs {

std::string NativePath(const std::string& path) {
    std::string p = path;
    for (char& c : p)
        if (c == '\\') c = '/';
    return p;
}

bool FileExists(const std::string& path) {
    struct stat st;
    return !path.empty() && ::stat(NativePath(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
    struct stat st;
    return !path.empty() && ::stat(NativePath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void ForceDirectories(const std::string& path) {
    if (path.empty()) return;
    // Most calls find the folder there: one look at the disk then.
    if (DirectoryExists(path)) return;
    std::error_code ec;
    const std::string native = NativePath(path);
    std::filesystem::create_directories(native, ec);
    if (ec || !DirectoryExists(native))
        throw Error("Cannot create folder \"" + native + "\": " + (ec ? ec.message() : std::string("not a folder")));
}

bool DeleteFile(const std::string& path) { return ::unlink(NativePath(path).c_str()) == 0; }

bool RemoveDir(const std::string& path) {
    std::string p = NativePath(path);
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    return ::rmdir(p.c_str()) == 0;
}

bool CopyFile(const std::string& from, const std::string& to) {
    std::error_code ec;
    std::filesystem::copy_file(NativePath(from), NativePath(to), std::filesystem::copy_options::overwrite_existing,
                               ec);
    return !ec;
}

bool RenameFile(const std::string& from, const std::string& to) {
    return ::rename(NativePath(from).c_str(), NativePath(to).c_str()) == 0;
}

std::string GetCurrentDir() {
    std::error_code ec;
    auto p = std::filesystem::current_path(ec);
    return ec ? std::string() : p.string();
}

void SetCurrentDir(const std::string& path) {
    const std::string native = NativePath(path);
    if (::chdir(native.c_str()) != 0)
        throw Error("Cannot change to folder \"" + native + "\": " + std::strerror(errno));
}

std::string ExpandFileName(const std::string& path) {
    std::filesystem::path p(NativePath(path));
    std::error_code ec;
    if (p.is_relative()) p = std::filesystem::current_path(ec) / p;
    return p.lexically_normal().string();
}

TempFolder::TempFolder() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "quillbook-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) throw Error("Cannot create a temporary folder: " + std::string(std::strerror(errno)));
    path_ = tmpl + "/";
}

TempFolder::~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

long long FileSize(const std::string& path) {
    struct stat st;
    if (::stat(NativePath(path).c_str(), &st) != 0) return -1;
    return static_cast<long long>(st.st_size);
}

}  // namespace qb::fs
