#include "hha/HhaTemp.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <vector>

#include "support/Error.h"
#include "support/Os.h"
#include "support/Path.h"
#include "support/Scratch.h"

namespace qb::hha {

namespace fs = std::filesystem;

namespace {

std::string FolderOf(const std::string& target) {
    std::string folder = Utf8Of(FsPath(target).parent_path());
    return folder.empty() ? "./" : folder + "/";
}

// A folder younger than this may belong to a compile that has not locked it yet.
constexpr int kStaleAfterSeconds = 10;
// Locked while the folder is in use: a file lock works on every system, a folder lock does not.
constexpr const char* kLockName = ".lock";

}  // namespace

void RemoveStaleTempFolders(const std::string& folder, const std::string& prefix) {
    std::vector<os::Entry> entries;
    if (!os::ListFolder(folder, entries)) return;
    std::vector<std::string> stale;
    const std::time_t now = std::time(nullptr);
    for (const os::Entry& e : entries) {
        const std::string& name = e.name;
        if (e.kind != os::Kind::Folder || name.size() != prefix.size() + 6 || name.rfind(prefix, 0) != 0) continue;
        const std::string path = folder + name;
        os::FileInfo st;
        if (!os::PathInfo(path, st, false) || now - st.mtime < kStaleAfterSeconds) continue;
        const os::Fd lock = os::Open(path + "/" + kLockName, os::kRead | os::kWrite | os::kNoFollow);
        // No lock file: left by a kill before it was made.
        if (lock < 0 || os::TryLock(lock) == 1) stale.push_back(path);
        os::Close(lock);
    }
    for (const auto& path : stale) {
        std::error_code ec;
        fs::remove_all(FsPath(path), ec);
    }
}

TempFolder::TempFolder(const std::string& prefix) {
    RemoveStaleTempFolders(FolderOf(prefix), Utf8Of(FsPath(prefix).filename()));
    path_ = MakeScratchFolder(prefix, "Error: cannot create a temporary folder " + prefix + "XXXXXX") + "/";
    // Held while the folder is in use: an unlocked one was left by a killed process.
    lock_ = os::Open(path_ + kLockName, os::kRead | os::kWrite | os::kCreate | os::kExclusive | os::kNoFollow);
    if (lock_ >= 0) os::TryLock(lock_);
}

TempFolder::~TempFolder() {
    os::Close(lock_);
    std::error_code ec;
    fs::remove_all(FsPath(path_), ec);
}

namespace {

// Only a plain file is replaced (a link itself, never what it names); a
// device, a FIFO or a folder at the target is refused with the target named.
void RefuseNonFile(const std::string& target) {
    os::FileInfo st;
    if (!os::PathInfo(target, st, false) || st.kind == os::Kind::File || st.kind == os::Kind::Link) return;
    const std::string what = st.kind == os::Kind::Folder ? "a folder" : os::OtherKindName(target);
    throw Error("Error: cannot write " + target + ": it is " + what + ", not a plain file");
}

}  // namespace

PendingOutput::PendingOutput(const std::string& target) : target_(target) {
    RefuseNonFile(target_);
    try {
        folder_ = std::make_unique<TempFolder>(FolderOf(target) + ".hha-");
    } catch (const Error&) {
        throw Error("Error: cannot write " + target + ": " + os::ErrorText(errno));
    }
    temp_ = folder_->Path() + Utf8Of(FsPath(target).filename());
}

void PendingOutput::Commit() {
    // Looked at again: something may have been put there while the compile ran.
    RefuseNonFile(target_);
    // One step, and the old file stays whole when it cannot be replaced
    // (another program holding it open on Windows, a read-only folder).
    if (!os::AtomicReplace(temp_, target_)) throw Error("Error: cannot write " + target_ + ": " + os::ErrorText(errno));
}

void CreateParents(const std::string& path) {
    std::error_code ec;
    fs::path parent = FsPath(path).parent_path();
    if (!parent.empty()) fs::create_directories(parent, ec);
    if (ec) throw Error("Error: cannot create folder " + Utf8Of(parent) + ": " + ec.message());
}

}  // namespace qb::hha
