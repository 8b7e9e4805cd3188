#include "settings/ConfigLocation.h"

#include <cstdlib>
#include <filesystem>

#include "support/Error.h"
#include "support/Os.h"
#include "support/Path.h"

namespace qb {

namespace {

bool Exists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(FsPath(path), ec);
}

}  // namespace

std::string UserConfigFolder() { return NativePath(os::UserConfigHome()) + "/quillbook/"; }

bool FolderWritable(const std::string& folder) {
    std::string probe;
    const os::Fd fd = os::MakeTempFile((folder.empty() ? std::string(".") : folder) + "/.quillbook-probe-", probe);
    if (fd < 0) return false;
    os::Close(fd);
    os::RemoveFile(probe);
    return true;
}

TConfigFile ConfigFileFor(const std::string& modulePath, const std::string& extension, bool moduleFolderWritable) {
    const std::filesystem::path module = FsPath(modulePath);
    const std::string beside = Utf8Of(std::filesystem::path(module).replace_extension(extension));
    if (moduleFolderWritable) return {beside, beside};
    const std::string user =
        UserConfigFolder() + Utf8Of(std::filesystem::path(module.filename()).replace_extension(extension));
    return {Exists(user) ? user : beside, user};
}

TConfigFile ConfigFileFor(const std::string& modulePath, const std::string& extension) {
    return ConfigFileFor(modulePath, extension,
                         FolderWritable(Utf8Of(FsPath(modulePath).parent_path())));
}

void MakeParentFolder(const std::string& file) {
    const auto parent = FsPath(file).parent_path();
    if (parent.empty()) return;
    std::error_code ec;
    std::filesystem::create_directories(parent, ec);
    if (ec) throw Error("Cannot create the folder \"" + Utf8Of(parent) + "\": " + ec.message());
}

}  // namespace qb
