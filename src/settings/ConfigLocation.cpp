#include "settings/ConfigLocation.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "support/Error.h"

namespace qb {

namespace {

bool Exists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

}  // namespace

std::string UserConfigFolder() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    std::string base;
    // The XDG rules ignore relative values.
    if (xdg && *xdg == '/') {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        base = std::string(home && *home ? home : "/tmp") + "/.config";
    }
    if (base.back() != '/') base += '/';
    return base + "quillbook/";
}

bool FolderWritable(const std::string& folder) {
    std::string probe = (folder.empty() ? std::string(".") : folder) + "/.quillbook-probe-XXXXXX";
    const int fd = ::mkstemp(probe.data());
    if (fd < 0) return false;
    ::close(fd);
    ::unlink(probe.c_str());
    return true;
}

TConfigFile ConfigFileFor(const std::string& modulePath, const std::string& extension, bool moduleFolderWritable) {
    const std::filesystem::path module(modulePath);
    const std::string beside = std::filesystem::path(module).replace_extension(extension).string();
    if (moduleFolderWritable) return {beside, beside};
    const std::string user =
        UserConfigFolder() + std::filesystem::path(module.filename()).replace_extension(extension).string();
    return {Exists(user) ? user : beside, user};
}

TConfigFile ConfigFileFor(const std::string& modulePath, const std::string& extension) {
    return ConfigFileFor(modulePath, extension,
                         FolderWritable(std::filesystem::path(modulePath).parent_path().string()));
}

void MakeParentFolder(const std::string& file) {
    const auto parent = std::filesystem::path(file).parent_path();
    if (parent.empty()) return;
    std::error_code ec;
    std::filesystem::create_directories(parent, ec);
    if (ec) throw Error("Cannot create the folder \"" + parent.string() + "\": " + ec.message());
}

}  // namespace qb
