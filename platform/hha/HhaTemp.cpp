#include "hha/HhaTemp.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <vector>

#include "support/Error.h"
#include "support/Scratch.h"

namespace qb::hha {

namespace fs = std::filesystem;

namespace {

std::string FolderOf(const std::string& target) {
    std::string folder = fs::path(target).parent_path().string();
    return folder.empty() ? "./" : folder + "/";
}

// A folder younger than this may belong to a compile that has not locked it yet.
constexpr int kStaleAfterSeconds = 10;

}  // namespace

void RemoveStaleTempFolders(const std::string& folder, const std::string& prefix) {
    DIR* d = ::opendir(folder.c_str());
    if (!d) return;
    std::vector<std::string> stale;
    const std::time_t now = std::time(nullptr);
    while (dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name.size() != prefix.size() + 6 || name.rfind(prefix, 0) != 0) continue;
        const std::string path = folder + name;
        const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat st {};
        if (::fstat(fd, &st) == 0 && now - st.st_mtime >= kStaleAfterSeconds && ::flock(fd, LOCK_EX | LOCK_NB) == 0)
            stale.push_back(path);
        ::close(fd);
    }
    ::closedir(d);
    for (const auto& path : stale) {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
}

TempFolder::TempFolder(const std::string& prefix) {
    RemoveStaleTempFolders(FolderOf(prefix), fs::path(prefix).filename().string());
    path_ = MakeScratchFolder(prefix, "Error: cannot create a temporary folder " + prefix + "XXXXXX") + "/";
    // Held while the folder is in use: an unlocked one was left by a killed process.
    lock_ = ::open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (lock_ >= 0) ::flock(lock_, LOCK_EX | LOCK_NB);
}

TempFolder::~TempFolder() {
    std::error_code ec;
    fs::remove_all(path_, ec);
    if (lock_ >= 0) ::close(lock_);
}

namespace {

// Only a plain file is replaced (a link itself, never what it names); a
// device, a FIFO or a folder at the target is refused with the target named.
void RefuseNonFile(const std::string& target) {
    struct stat st {};
    if (::lstat(target.c_str(), &st) != 0 || S_ISREG(st.st_mode) || S_ISLNK(st.st_mode)) return;
    const char* what = S_ISDIR(st.st_mode)                             ? "a folder"
                       : S_ISFIFO(st.st_mode)                          ? "a FIFO"
                       : S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode) ? "a device"
                                                                       : "a socket";
    throw Error("Error: cannot write " + target + ": it is " + what + ", not a plain file");
}

}  // namespace

PendingOutput::PendingOutput(const std::string& target) : target_(target) {
    RefuseNonFile(target_);
    try {
        folder_ = std::make_unique<TempFolder>(FolderOf(target) + ".hha-");
    } catch (const Error&) {
        throw Error("Error: cannot write " + target + ": " + std::strerror(errno));
    }
    temp_ = folder_->Path() + fs::path(target).filename().string();
}

void PendingOutput::Commit() {
    // Looked at again: something may have been put there while the compile ran.
    RefuseNonFile(target_);
    std::error_code ec;
    fs::rename(temp_, target_, ec);
    if (ec) throw Error("Error: cannot write " + target_ + ": " + ec.message());
}

void CreateParents(const std::string& path) {
    std::error_code ec;
    fs::path parent = fs::path(path).parent_path();
    if (!parent.empty()) fs::create_directories(parent, ec);
    if (ec) throw Error("Error: cannot create folder " + parent.string() + ": " + ec.message());
}

}  // namespace qb::hha
