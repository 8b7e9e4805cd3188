#include "Utils/FileSys.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#include "Utils/Utils.h"
#include "support/Error.h"
#include "support/Os.h"
#include "support/Scratch.h"

namespace qb::fs {

// The last folders of relative paths that were opened, kept open: a walk
// step touches its page, notes file and attachments in one folder, makes the
// next folder beside it, and each path would otherwise be walked component by
// component again. A descriptor is the real folder checked when it was opened;
// a link put in its place later is never followed through it. Forgotten
// whenever folders change under the file layer.
namespace {
// path is folder itself or lies below it.
bool AtOrBelow(const std::string& path, const std::string& folder) {
    return path.compare(0, folder.size(), folder) == 0 && (path.size() == folder.size() || path[folder.size()] == '/');
}
}  // namespace

struct FileContext::LastFolder {
    static constexpr std::size_t kKept = 8;
    std::vector<std::pair<std::string, os::Fd>> open;  // the most recently used last
    // The last folder found not there: planning names many pages in folders
    // not yet made, and nothing below such a folder is there either.
    std::string missing;
    ~LastFolder() { Forget(); }
    bool Missing(const std::string& folder) const { return !missing.empty() && AtOrBelow(folder, missing); }
    os::Fd Find(const std::string& dir) {
        for (std::size_t i = open.size(); i-- > 0;)
            if (open[i].first == dir) return Used(i).second;
        return os::kNoFd;
    }
    // The kept folder deepest on the way to dir (dir itself included), or none.
    const std::pair<std::string, os::Fd>* Above(const std::string& dir) {
        std::size_t best = open.size();
        for (std::size_t i = 0; i < open.size(); ++i) {
            if (AtOrBelow(dir, open[i].first) &&
                (best == open.size() || open[i].first.size() > open[best].first.size()))
                best = i;
        }
        return best == open.size() ? nullptr : &Used(best);
    }
    // A folder in use moves to the back: a parent outlives its many children.
    std::pair<std::string, os::Fd>& Used(std::size_t i) {
        std::rotate(open.begin() + static_cast<std::ptrdiff_t>(i), open.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                    open.end());
        return open.back();
    }
    // Takes fd over; the oldest kept folder makes room.
    void Keep(const std::string& dir, os::Fd fd) {
        for (auto it = open.begin(); it != open.end(); ++it) {
            if (it->first != dir) continue;
            if (it->second != fd) os::Close(it->second);
            open.erase(it);
            break;
        }
        if (open.size() >= kKept) {
            os::Close(open.front().second);
            open.erase(open.begin());
        }
        open.emplace_back(dir, fd);
    }
    void Forget() {
        for (const auto& entry : open) os::Close(entry.second);
        open.clear();
        missing.clear();
    }
};

FileContext::FileContext(const OutputFolder* folder) : folder_(folder), last_(std::make_unique<LastFolder>()) {}

FileContext::~FileContext() {
    // Nothing kept is lost: what the run did not delete goes to disk.
    try {
        WriteKeptFiles();
    } catch (const std::exception&) {}
}

void FileContext::KeepWrittenInMemory(std::size_t budget) { keptRoom_ = budget; }

bool FileContext::KeepWritten(HeldFile& file) {
    const std::size_t size = file.Bytes().size();
    // What stands on disk would be replaced by the write: that is left to the disk.
    if (keptRoom_ == 0 || size > keptRoom_ || file.OnDiskEntry()) return false;
    auto kept = std::make_unique<HeldFile>(*this, file.Path());
    held_.pop_back();  // AddHold pushed it: kept apart from the holds
    std::string bytes = file.Take();
    // A page built by appends has room to spare, which a kept one does not need.
    if (bytes.capacity() > size + size / 8 + 64) bytes.shrink_to_fit();
    keptRoom_ -= std::min(keptRoom_, bytes.capacity());
    kept->Keep(std::move(bytes));
    kept->SetOnDisk(0);
    std::string key = kept->Key();
    kept_.emplace(std::move(key), std::move(kept));
    return true;
}

std::optional<std::string> FileContext::DropKept(KeptFiles::iterator it) {
    std::optional<std::string> bytes;
    if (it->second->HasBytes()) {
        keptRoom_ += it->second->Bytes().capacity();
        bytes = it->second->Take();
    }
    kept_.erase(it);
    return bytes;
}

void FileContext::WriteKept(const std::string& path) {
    if (kept_.empty() || path.empty()) return;
    const auto it = kept_.find(HeldKey(path));
    if (it == kept_.end()) return;
    const std::string name = it->second->Path();
    if (std::optional<std::string> bytes = DropKept(it)) SaveTextFile(name, std::move(*bytes));
}

void FileContext::WriteKeptFiles() {
    std::string failure;
    while (!kept_.empty()) {
        const std::string name = kept_.begin()->second->Path();
        std::optional<std::string> bytes = DropKept(kept_.begin());
        try {
            if (bytes) SaveTextFile(name, std::move(*bytes));
        } catch (const std::exception& e) {
            if (failure.empty()) failure = e.what();
        }
    }
    keptRoom_ = 0;
    if (!failure.empty()) throw Error(failure);
}

// Where relative paths start: the output folder, else the current directory.
os::Fd FileContext::BaseFd() const { return folder_ ? folder_->Fd() : os::kCurrentDir; }

// A path below the output folder as a relative one, so that its folders get
// the link checks of relative paths.
std::string FileContext::BelowFolder(const std::string& native) const {
    if (native.empty() || !IsAbsolutePath(native) || !folder_) return native;
    for (const std::string* prefix : {&folder_->Path(), &folder_->RealPath()})
        if (prefix->size() > 1 && native.size() > prefix->size() && native.compare(0, prefix->size(), *prefix) == 0)
            return native.substr(prefix->size());
    return native;
}

// The folder holding a path's last component, opened so that nothing below
// the output folder is reached through a link: every folder of a relative
// path must be a real folder. An absolute path's folder is the user's choice
// and is opened as named.
class ParentDir {
public:
    ParentDir(FileContext& files, const std::string& path) : base_(files.BaseFd()), fd_(base_) {
        const std::string native = files.BelowFolder(path);
        const std::size_t slash = native.find_last_of('/');
        leaf_ = slash == std::string::npos ? native : native.substr(slash + 1);
        if (slash == std::string::npos) return;
        if (IsAbsolutePath(native)) {
            // With its separator: "/" and "C:/" name roots, "C:" would not.
            fd_ = os::Open(native.substr(0, slash + 1), os::kRead | os::kDirectory);
            return;
        }
        const std::string dir = native.substr(0, slash);
        // Relative to the current directory nothing is kept: it may change between calls.
        if (!files.folder_) {
            Walk(dir);
            return;
        }
        FileContext::LastFolder& last = *files.last_;
        if (last.Missing(dir)) {
            fd_ = os::kNoFd;
            errno = ENOENT;
            return;
        }
        if (const os::Fd kept = last.Find(dir); kept >= 0) {
            fd_ = kept;
            owned_ = false;
            return;
        }
        const std::size_t reached = Walk(dir);
        if (fd_ < 0 && errno == ENOENT) {
            last.missing = dir.substr(0, reached);
            errno = ENOENT;
        } else if (fd_ >= 0 && fd_ != base_) {
            last.Keep(dir, fd_);
            owned_ = false;
        }
    }
    ~ParentDir() {
        if (fd_ >= 0 && fd_ != base_ && owned_) os::Close(fd_);
    }
    ParentDir(const ParentDir&) = delete;
    ParentDir& operator=(const ParentDir&) = delete;
    bool Ok() const { return fd_ >= 0 || fd_ == os::kCurrentDir; }
    os::Fd Fd() const { return fd_; }
    const std::string& Leaf() const { return leaf_; }

private:
    // How much of dir was walked: all of it, or up to the folder that failed.
    std::size_t Walk(const std::string& dir) {
        std::size_t pos = 0;
        while (pos <= dir.size()) {
            std::size_t next = dir.find('/', pos);
            if (next == std::string::npos) next = dir.size();
            const std::string part = dir.substr(pos, next - pos);
            pos = next + 1;
            if (part.empty() || part == ".") continue;
            const os::Fd fd = os::OpenAt(fd_, part, os::kRead | os::kDirectory | os::kNoFollow);
            if (fd_ >= 0 && fd_ != base_) os::Close(fd_);
            fd_ = fd;
            if (fd < 0) return next;
        }
        return dir.size();
    }

    const os::Fd base_;  // not ours to close
    os::Fd fd_;
    bool owned_ = true;
    std::string leaf_;
};

namespace {

std::string Reason(int err) {
    // ELOOP from O_NOFOLLOW means a link stood where a folder was expected.
    return err == ELOOP ? std::string("a link stands in its path") : os::ErrorText(err);
}

}  // namespace

void FileContext::TrustFreshFolders(bool on) {
    trustFresh_ = on;
    if (on) return;
    freshFolders_.clear();
    madeInFresh_.clear();
}

namespace {
// How madeInFresh_ names the entry whose key has its last "/" at slash: the
// name in ASCII lower case, as Windows would find it whatever its case.
std::string MadeName(const std::string& key, std::size_t slash) {
    return key.substr(0, slash + 1) + LowerAscii(key.substr(slash + 1));
}
}  // namespace

bool FileContext::KnownAbsent(const std::string& path) {
    if (freshFolders_.empty() || path.empty()) return false;
    const std::string key = HeldKey(path);
    if (key.empty() || key.back() == '/') return false;
    // The deepest folder made here above the path decides: the name below it
    // on the way to the path must be one made there, or nothing is there.
    for (std::size_t end = key.size(); end > 1;) {
        const std::size_t slash = key.rfind('/', end - 1);
        if (slash == std::string::npos || slash == 0) return false;
        end = slash;
        if (!freshFolders_.count(key.substr(0, slash))) continue;
        std::size_t stop = key.find('/', slash + 1);
        if (stop == std::string::npos) stop = key.size();
        // Windows ignores letter case and a trailing dot or space: only plain
        // ASCII names are answered here.
        if (!IsAscii(std::string_view(key).substr(slash + 1, stop - slash - 1))) return false;
        if (key[stop - 1] == '.' || key[stop - 1] == ' ') return false;
        return !madeInFresh_.count(MadeName(key.substr(0, stop), slash));
    }
    return false;
}

std::string FileContext::FolderKey(const std::string& path) {
    std::string key = HeldKey(path);
    while (key.size() > 1 && key.back() == '/') key.pop_back();
    return key;
}

void FileContext::NoteMade(const std::string& path) {
    if (freshFolders_.empty() || path.empty()) return;
    const std::string key = FolderKey(path);
    const std::size_t slash = key.rfind('/');
    if (slash == std::string::npos) return;
    if (freshFolders_.count(key.substr(0, slash))) madeInFresh_.insert(MadeName(key, slash));
}

bool FileContext::StatNoFollow(const std::string& path, os::FileInfo& st) {
    if (path.empty()) return false;
    if (KnownAbsent(path)) {
        errno = ENOENT;
        return false;
    }
    ParentDir parent(*this, NativePath(path));
    return parent.Ok() && !parent.Leaf().empty() && os::InfoAt(parent.Fd(), parent.Leaf(), st, false);
}

std::string FileContext::Resolve(const std::string& path) {
    const std::string native = NativePath(path);
    if (!folder_ || native.empty() || IsAbsolutePath(native)) return native;
    return folder_->Path() + native;
}

// One spelling per file for the holds: absolute, without "." components or
// doubled slashes (a path with ".." gets the full normalisation).
std::string FileContext::HeldKey(const std::string& path) {
    const std::string resolved = Resolve(path);
    if (resolved.empty() || !IsAbsolutePath(resolved) || resolved.find("..") != std::string::npos)
        return ExpandFileName(path);
    std::string key;
    key.reserve(resolved.size());
    for (std::size_t i = 0; i < resolved.size(); ++i) {
        if (resolved[i] == '/' && !key.empty() && key.back() == '/') continue;
        if (resolved[i] == '.' && key.back() == '/' && (i + 1 == resolved.size() || resolved[i + 1] == '/')) continue;
        key += resolved[i];
    }
    return key;
}

void FileContext::AddHold(HeldFile& file) {
    file.SetKey(HeldKey(file.Path()));
    // The newest hold takes over a kept file's bytes.
    if (const auto it = kept_.find(file.Key()); it != kept_.end()) {
        if (std::optional<std::string> bytes = DropKept(it)) file.Keep(std::move(*bytes));
        file.SetOnDisk(0);
    }
    held_.push_back(&file);
}

void FileContext::DropHold(HeldFile& file) {
    for (auto it = held_.rbegin(); it != held_.rend(); ++it) {
        if (*it != &file) continue;
        held_.erase(std::next(it).base());
        break;
    }
}

HeldFile* FileContext::FindHeld(const std::string& path) {
    if ((held_.empty() && kept_.empty()) || path.empty()) return nullptr;
    return FindHeldKey(HeldKey(path));
}

HeldFile* FileContext::FindHeldKey(const std::string& key) {
    for (auto it = held_.rbegin(); it != held_.rend(); ++it)
        if ((*it)->Key() == key) return *it;
    const auto kept = kept_.find(key);
    return kept == kept_.end() ? nullptr : kept->second.get();
}

int FileContext::DiskState(const std::string& path) {
    os::FileInfo st;
    return !StatNoFollow(path, st) ? 0 : st.kind == os::Kind::File ? 1 : 2;
}

HeldFile::HeldFile(FileSystem& files, const std::string& path) : files_(files), path_(path) { files_.AddHold(*this); }

HeldFile::~HeldFile() {
    try {
        Write();
    } catch (const std::exception&) {}
    Release();
}

void HeldFile::Release() {
    if (!held_) return;
    held_ = false;
    files_.DropHold(*this);
}

void HeldFile::Write() {
    Release();
    if (!hasBytes_ || files_.KeepWritten(*this)) return;
    hasBytes_ = false;
    files_.SaveTextFile(path_, std::move(bytes_));
    bytes_ = std::string();
}

bool HeldFile::OnDiskPlainFile() {
    if (diskState_ < 0) diskState_ = files_.DiskState(path_);
    return diskState_ == 1;
}

bool HeldFile::OnDiskEntry() { return OnDiskPlainFile() || diskState_ == 2; }

bool HeldFile::DropBytes() {
    const bool had = hasBytes_;
    hasBytes_ = false;
    bytes_ = std::string();
    return had;
}

bool FileContext::FileExists(const std::string& path) {
    if (HeldFile* held = FindHeld(path); held && held->HasBytes()) return true;
    os::FileInfo st;
    return !path.empty() && !KnownAbsent(path) && os::PathInfo(Resolve(path), st, true) && st.kind == os::Kind::File;
}

bool FileContext::DirectoryExists(const std::string& path) {
    os::FileInfo st;
    return !path.empty() && !KnownAbsent(path) && os::PathInfo(Resolve(path), st, true) && st.kind == os::Kind::Folder;
}

bool FileContext::PlainFileExists(const std::string& path) {
    if (HeldFile* held = FindHeld(path)) return held->HasBytes() || held->OnDiskPlainFile();
    os::FileInfo st;
    return StatNoFollow(path, st) && st.kind == os::Kind::File;
}

bool FileContext::EntryExists(const std::string& path) {
    if (HeldFile* held = FindHeld(path)) return held->HasBytes() || held->OnDiskEntry();
    os::FileInfo st;
    return StatNoFollow(path, st);
}

// Relative folders are made one component at a time from the output folder;
// a link in the way is removed (never followed) and a real folder
// made in its place.
void FileContext::ForceRelativeDirectories(const std::string& native) {
    std::string key = native;
    while (key.size() > 1 && key.back() == '/') key.pop_back();
    LastFolder& last = *last_;
    const os::Fd base = BaseFd();  // not ours to close
    os::Fd start = base;           // not ours to close either
    std::size_t pos = 0;
    // Where a folder held open cannot be moved, the walk starts at the deepest
    // one kept on the way. Elsewhere it is walked every time: a link put where
    // a folder was is replaced, never kept.
    const auto* above = folder_ && os::OpenFoldersStayPut() ? last.Above(key) : nullptr;
    if (above) {
        start = above->second;
        pos = above->first.size() + 1;
        last.missing.clear();
    } else {
        last.Forget();
    }
    os::Fd cur = start;
    auto fail = [&](const std::string& reason) {
        if (cur >= 0 && cur != start) os::Close(cur);
        throw Error("Cannot create folder \"" + native + "\": " + reason);
    };
    constexpr unsigned kFolder = os::kRead | os::kDirectory | os::kNoFollow;
    while (pos < native.size()) {
        std::size_t next = native.find('/', pos);
        if (next == std::string::npos) next = native.size();
        const std::string part = native.substr(pos, next - pos);
        pos = next + 1;
        if (part.empty() || part == ".") continue;
        const std::string folder = native.substr(0, next);
        // A name never made in a folder made here needs no look first.
        bool look = !KnownAbsent(folder);
        os::Fd fd = os::kNoFd;
        for (;;) {
            errno = ENOENT;
            if (look) fd = os::OpenAt(cur, part, kFolder);
            if (fd < 0 && (errno == ELOOP || errno == ENOTDIR)) {
                os::FileInfo st;
                if (!os::InfoAt(cur, part, st, false) || st.kind != os::Kind::Link) fail(os::ErrorText(ENOTDIR));
                if (!os::RemoveAt(cur, part)) fail(os::ErrorText(errno));
                errno = ENOENT;
            }
            if (fd >= 0 || errno != ENOENT) break;
            fd = os::MakeAndOpenFolderAt(cur, part);
            if (fd >= 0) {
                if (trustFresh_) {
                    NoteMade(folder);
                    freshFolders_.insert(FolderKey(folder));
                }
                break;
            }
            if (errno != EEXIST) fail(os::ErrorText(errno));
            // Made meanwhile, or not what was thought absent: looked at as found.
            if (!look) {
                look = true;
                continue;
            }
            fd = os::OpenAt(cur, part, kFolder);
            break;
        }
        if (fd < 0) fail(Reason(errno));
        if (cur >= 0 && cur != start) os::Close(cur);
        cur = fd;
    }
    // The files of the folder are written next.
    if (cur < 0 || cur == start) return;
    if (folder_)
        last.Keep(key, cur);
    else
        os::Close(cur);
}

void FileContext::ForceDirectories(const std::string& path) {
    if (path.empty()) return;
    std::error_code ec;
    const std::string native = NativePath(path);
    const std::string below = BelowFolder(native);
    // Below the output folder every component is checked, since a planted
    // link must not count as the folder.
    if (!IsAbsolutePath(below)) {
        ForceRelativeDirectories(below);
        return;
    }
    // Elsewhere most calls find the folder there: one look at the disk then.
    if (DirectoryExists(native)) return;
    std::filesystem::create_directories(FsPath(native), ec);
    if (ec || !DirectoryExists(native))
        throw Error("Cannot create folder \"" + native + "\": " + (ec ? ec.message() : std::string("not a folder")));
}

os::Fd FileContext::CreateFreshFile(const std::string& path) {
    WriteKept(path);
    const std::string native = NativePath(path);
    ParentDir parent(*this, native);
    if (!parent.Ok()) throw Error("Cannot create file \"" + native + "\": " + Reason(errno));
    const std::string& leaf = parent.Leaf();
    constexpr unsigned kFresh = os::kWrite | os::kCreate | os::kExclusive | os::kNoFollow;
    // Most names are free: whatever stands there is removed only when the create finds it.
    os::Fd fd = os::OpenAt(parent.Fd(), leaf, kFresh);
    if (fd < 0 && errno == EEXIST) {
        if (!os::RemoveAt(parent.Fd(), leaf) && errno != ENOENT)
            throw Error("Cannot create file \"" + native + "\": " + os::ErrorText(errno == EPERM ? EISDIR : errno));
        fd = os::OpenAt(parent.Fd(), leaf, kFresh);
    }
    if (fd < 0) throw Error("Cannot create file \"" + native + "\": " + Reason(errno));
    NoteMade(path);
    return fd;
}

os::Fd FileContext::CreateNewFile(const std::string& path) {
    WriteKept(path);
    const std::string native = NativePath(path);
    ParentDir parent(*this, native);
    if (!parent.Ok()) return os::kNoFd;
    const os::Fd fd = os::OpenAt(parent.Fd(), parent.Leaf(), os::kWrite | os::kCreate | os::kExclusive | os::kNoFollow);
    if (fd >= 0) NoteMade(path);
    return fd;
}

os::Fd FileContext::OpenPlainFileForRewrite(const std::string& path) {
    WriteKept(path);
    const std::string native = NativePath(path);
    ParentDir parent(*this, native);
    if (!parent.Ok()) return os::kNoFd;
    os::Fd fd = os::OpenAt(parent.Fd(), parent.Leaf(), os::kWrite | os::kNoFollow | os::kNonBlock);
    if (fd < 0 && errno == EISDIR) throw Error("Cannot create file \"" + native + "\": " + os::ErrorText(EISDIR));
    os::FileInfo st;
    if (fd >= 0 && (!os::Info(fd, st) || st.kind != os::Kind::File || st.links != 1 || !os::Truncate(fd, 0))) {
        os::Close(fd);
        fd = os::kNoFd;
    }
    // O_NONBLOCK kept a FIFO from blocking the open; a plain file ignores it.
    return fd;
}

void FileContext::PrepareFreshFile(const std::string& path) { os::Close(CreateFreshFile(path)); }

void FileContext::WriteFreshFile(const std::string& path, const std::function<void(os::Fd fd)>& fill) {
    const std::string native = NativePath(path);
    const os::Fd fd = CreateFreshFile(path);
    std::string failure;
    try {
        fill(fd);
    } catch (const std::exception& e) {
        failure = e.what();
    }
    os::FileInfo open, named;
    const bool statted = os::Info(fd, open);
    os::Close(fd);
    // What stands at the name now must be the file written: a link or another
    // file swapped in meanwhile got none of the bytes, and is not taken for them.
    if (failure.empty() && (!statted || !StatNoFollow(path, named) || named.device != open.device ||
                            named.inode != open.inode))
        failure = "Cannot write file \"" + native + "\": it was replaced while it was written";
    if (failure.empty()) return;
    DeleteFile(path);
    throw Error(failure);
}

void FileContext::CopyToDescriptor(const std::string& from, os::Fd fd, const std::string& name) {
    WriteKept(from);
    const os::Fd in = os::Open(Resolve(from), os::kRead);
    if (in < 0) throw Error("Cannot read \"" + from + "\": " + os::ErrorText(errno));
    std::vector<char> buffer(64 * 1024);
    std::string failure;
    for (;;) {
        const long long n = os::Read(in, buffer.data(), buffer.size());
        if (n < 0) failure = "Cannot read \"" + from + "\": " + os::ErrorText(errno);
        if (n <= 0) break;
        errno = 0;
        if (!os::WriteAll(fd, buffer.data(), static_cast<std::size_t>(n))) {
            failure = "Cannot write file \"" + name + "\": " + os::ErrorText(errno ? errno : ENOSPC);
            break;
        }
    }
    os::Close(in);
    if (!failure.empty()) throw Error(failure);
}

bool FileContext::DeleteFile(const std::string& path) {
    const std::string key = path.empty() || (held_.empty() && kept_.empty()) ? std::string() : HeldKey(path);
    // A kept file was never on disk, nor was anything at its name since.
    if (const auto it = key.empty() ? kept_.end() : kept_.find(key); it != kept_.end())
        if (DropKept(it)) return true;
    HeldFile* held = key.empty() ? nullptr : FindHeldKey(key);
    const bool dropped = held && held->DropBytes();
    ParentDir parent(*this, NativePath(path));
    const bool removed = parent.Ok() && os::RemoveAt(parent.Fd(), parent.Leaf());
    if (held) held->SetOnDisk(removed || errno == ENOENT ? 0 : -1);
    return dropped || removed;
}

bool FileContext::RemoveDir(const std::string& path) {
    // A folder holding a kept file is not empty.
    if (!kept_.empty()) {
        const std::string prefix = FolderKey(path) + "/";
        for (const auto& kept : kept_)
            if (kept.first.compare(0, prefix.size(), prefix) == 0) return false;
    }
    last_->Forget();
    std::string p = Resolve(path);
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    if (!os::RemoveFolder(p)) return false;
    if (!freshFolders_.empty()) freshFolders_.erase(FolderKey(path));
    return true;
}

bool FileContext::CopyFile(const std::string& from, const std::string& to) {
    // The target is written like every file of the run: never through a link.
    if (!FileExists(from)) return false;
    try {
        SaveTextFile(to, LoadTextFile(from));
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

bool FileContext::LinkOrCopyFile(const std::string& from, const std::string& to) {
    if (!PlainFileExists(from)) return false;
    DeleteFile(to);
    ParentDir parent(*this, NativePath(to));
    // The new name is never followed, and the parent was reached without links.
    if (parent.Ok() && os::HardLinkAt(Resolve(from), parent.Fd(), parent.Leaf())) {
        NoteMade(to);
        return true;
    }
    return CopyFile(from, to);
}

bool FileContext::RenameFile(const std::string& from, const std::string& to) {
    WriteKept(from);
    WriteKept(to);
    last_->Forget();
    if (!os::AtomicReplace(Resolve(from), Resolve(to))) return false;
    NoteMade(to);
    return true;
}

std::string FileContext::ExpandFileName(const std::string& path) {
    const std::string resolved = Resolve(path);
    std::filesystem::path p = FsPath(resolved);
    if (!IsAbsolutePath(resolved)) p = FsPath(os::CurrentDir()) / p;
    return Utf8Of(p.lexically_normal());
}

long long FileContext::FileSize(const std::string& path) {
    if (HeldFile* held = FindHeld(path); held && held->HasBytes()) return static_cast<long long>(held->Bytes().size());
    os::FileInfo st;
    if (!os::PathInfo(Resolve(path), st, true)) return -1;
    return static_cast<long long>(st.size);
}

std::string FileContext::FileIdentity(const std::string& path) {
    WriteKept(path);
    os::FileInfo st;
    if (path.empty() || !os::PathInfo(Resolve(path), st, true)) return "";
    return std::to_string(st.device) + ":" + std::to_string(st.inode) + ":" + std::to_string(st.size) + ":" +
           std::to_string(st.ctimeNs / 1000000000) + "." + std::to_string(st.ctimeNs % 1000000000);
}

void FileContext::SaveTextFile(const std::string& path, std::string bytes) {
    if (HeldFile* held = FindHeld(path)) {
        held->Keep(std::move(bytes));
        return;
    }
    const std::string native = NativePath(path);
    // A plain file of our own is rewritten in place: deleting and creating a
    // page per item costs the file system far more. Anything else (a link, a
    // FIFO, a file with other names) is replaced, never written through.
    // A new name first: the common case then costs one call.
    os::Fd fd = CreateNewFile(native);
    if (fd < 0) fd = OpenPlainFileForRewrite(native);
    if (fd < 0) fd = CreateFreshFile(native);
    if (!os::WriteAll(fd, bytes.data(), bytes.size())) {
        const int err = errno;
        os::Close(fd);
        DeleteFile(native);
        throw Error("Cannot write file \"" + native + "\": " + os::ErrorText(err));
    }
    os::Close(fd);
}

std::string FileContext::TakeTextFile(const std::string& path) {
    if (HeldFile* held = FindHeld(path); held && held->HasBytes()) return held->Take();
    return LoadTextFile(path);
}

std::string FileContext::LoadTextFile(const std::string& path) {
    if (HeldFile* held = FindHeld(path); held && held->HasBytes()) return held->Bytes();
    const os::Fd fd = os::Open(Resolve(path), os::kRead);
    if (fd < 0) return "";
    os::FileInfo st;
    const bool known = os::Info(fd, st);
    if (known && st.kind == os::Kind::Folder) {
        os::Close(fd);
        return "";
    }
    std::string out;
    if (known && st.kind == os::Kind::File && st.size > 0) {
        // One read for a file of known size: a byte of room more shows its
        // end, as a regular file reads short only there.
        out.resize(static_cast<std::size_t>(st.size) + 1);
        std::size_t have = 0;
        for (;;) {
            const long long n = os::Read(fd, out.data() + have, out.size() - have);
            if (n <= 0) break;
            have += static_cast<std::size_t>(n);
            if (have < out.size()) break;
            out.resize(out.size() * 2);  // it grew since
        }
        out.resize(have);
        os::Close(fd);
        return out;
    }
    char buf[65536];
    for (;;) {
        const long long n = os::Read(fd, buf, sizeof buf);
        if (n <= 0) break;
        out.append(buf, static_cast<std::size_t>(n));
    }
    os::Close(fd);
    return out;
}

bool FileContext::ListFolder(const std::string& path, std::vector<os::Entry>& entries) {
    const std::size_t listed = entries.size();
    if (!os::ListFolder(Resolve(path), entries)) return false;
    if (kept_.empty()) return true;
    const std::string prefix = FolderKey(path) + "/";
    for (const auto& [key, file] : kept_) {
        if (!file->HasBytes() || key.compare(0, prefix.size(), prefix) != 0 || key.find('/', prefix.size()) != std::string::npos)
            continue;
        const std::string name = key.substr(prefix.size());
        const bool onDisk = std::any_of(entries.begin() + static_cast<std::ptrdiff_t>(listed), entries.end(),
                                        [&name](const os::Entry& e) { return e.name == name; });
        if (!onDisk) entries.push_back({name, os::Kind::File});
    }
    return true;
}

bool FileExists(const std::string& path) { return FileContext().FileExists(path); }
bool DirectoryExists(const std::string& path) { return FileContext().DirectoryExists(path); }
bool PlainFileExists(const std::string& path) { return FileContext().PlainFileExists(path); }
bool EntryExists(const std::string& path) { return FileContext().EntryExists(path); }
void ForceDirectories(const std::string& path) { FileContext().ForceDirectories(path); }
os::Fd CreateFreshFile(const std::string& path) { return FileContext().CreateFreshFile(path); }
void PrepareFreshFile(const std::string& path) { FileContext().PrepareFreshFile(path); }
void WriteFreshFile(const std::string& path, const std::function<void(os::Fd fd)>& fill) {
    FileContext().WriteFreshFile(path, fill);
}
void CopyToDescriptor(const std::string& from, os::Fd fd, const std::string& name) {
    FileContext().CopyToDescriptor(from, fd, name);
}
bool DeleteFile(const std::string& path) { return FileContext().DeleteFile(path); }
bool RemoveDir(const std::string& path) { return FileContext().RemoveDir(path); }
bool CopyFile(const std::string& from, const std::string& to) { return FileContext().CopyFile(from, to); }
bool LinkOrCopyFile(const std::string& from, const std::string& to) { return FileContext().LinkOrCopyFile(from, to); }
bool RenameFile(const std::string& from, const std::string& to) { return FileContext().RenameFile(from, to); }
std::string GetCurrentDir() { return os::CurrentDir(); }
std::string ExpandFileName(const std::string& path) { return FileContext().ExpandFileName(path); }
long long FileSize(const std::string& path) { return FileContext().FileSize(path); }
std::string FileIdentity(const std::string& path) { return FileContext().FileIdentity(path); }

TempFolder::TempFolder() {
    path_ = MakeScratchFolder(TempDirectory() + "/quillbook-", "Cannot create a temporary folder") + "/";
}

TempFolder::~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(FsPath(path_), ec);
}

OutputFolder::OutputFolder(const std::string& folder) {
    path_ = ExpandFileName(folder);
    if (path_.empty() || path_.back() != '/') path_ += '/';
    fd_ = os::Open(path_, os::kRead | os::kDirectory);
    if (fd_ < 0) throw Error("Cannot open folder \"" + path_ + "\": " + os::ErrorText(errno));
    realPath_ = NativePath(os::RealPath(path_));
    if (realPath_.empty()) realPath_ = path_;
    if (realPath_.back() != '/') realPath_ += '/';
}

OutputFolder::~OutputFolder() { os::Close(fd_); }

ScratchFile::ScratchFile() {
    fd_ = os::ScratchFile(TempDirectory());
    if (fd_ < 0) throw Error("Cannot create a temporary file: " + os::ErrorText(errno));
    path_ = os::ScratchFileName(fd_);
}

ScratchFile::~ScratchFile() { os::Close(fd_); }

namespace {
bool SameFile(os::Fd fd, const std::string& path) {
    os::FileInfo open, named;
    return os::Info(fd, open) && os::PathInfo(path, named, false) && open.device == named.device &&
           open.inode == named.inode;
}
}  // namespace

std::unique_ptr<LockFile> LockFile::TryAcquire(const std::string& path) {
    const std::string native = ExpandFileName(path);
    for (;;) {
        const os::Fd fd = os::Open(native, os::kRead | os::kWrite | os::kCreate | os::kNoFollow);
        if (fd < 0) throw Error("Cannot create the lock file \"" + native + "\": " + os::ErrorText(errno));
        const int locked = os::TryLock(fd);
        if (locked != 1) {
            const int err = errno;
            os::Close(fd);
            if (locked == 0) return nullptr;
            throw Error("Cannot lock \"" + native + "\": " + os::ErrorText(err));
        }
        // The holder removes the file as it lets go: a lock on a removed file guards nothing.
        if (SameFile(fd, native)) return std::unique_ptr<LockFile>(new LockFile(native, fd));
        os::Close(fd);
    }
}

LockFile::~LockFile() {
    if (SameFile(fd_, path_)) os::RemoveFile(path_);
    os::Close(fd_);
}

}  // namespace qb::fs
