#include "Utils/FileSys.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#include "Utils/Utils.h"
#include "support/Error.h"
#include "support/Os.h"
#include "support/PerThread.h"
#include "support/Scratch.h"

namespace qb::fs {

namespace {

// The output folder of the run on this thread; each run binds its own.
thread_local const OutputFolder* tFolder = nullptr;

// Files held in memory by this thread, innermost last (a walk holds a page per level).
std::vector<HeldFile*>& Held() { return PerThread<std::vector<HeldFile*>>(); }

// Where relative paths start: the output folder in use, else the current directory.
os::Fd BaseFd() { return tFolder ? tFolder->Fd() : os::kCurrentDir; }

// A path below the output folder in use as a relative one, so that its
// folders get the link checks of relative paths.
std::string BelowCurrentDir(const std::string& native) {
    if (native.empty() || !IsAbsolutePath(native) || !tFolder) return native;
    for (const std::string* prefix : {&tFolder->Path(), &tFolder->RealPath()})
        if (prefix->size() > 1 && native.size() > prefix->size() && native.compare(0, prefix->size(), *prefix) == 0)
            return native.substr(prefix->size());
    return native;
}

// The last folder of a relative path that was opened, kept open: a walk step
// touches its page, notes file and attachments in one folder, and each path
// would otherwise be walked component by component again. The descriptor is
// the real folder checked when it was opened; a link put in its place later is
// never followed through it. Forgotten whenever folders or the current
// directory change under the file layer.
struct LastFolder {
    std::string dir;
    os::Fd fd = os::kNoFd;
    // dir was not there: planning names many pages in folders not yet made.
    bool missing = false;
    const OutputFolder* folder = nullptr;  // the output folder dir is relative to
    ~LastFolder() { Forget(); }
    void Forget() {
        os::Close(fd);
        fd = os::kNoFd;
        missing = false;
        dir.clear();
        folder = nullptr;
    }
};

LastFolder& CachedFolder() {
    return PerThread<LastFolder>();
}

// The folder holding a path's last component, opened so that nothing below
// the output folder is reached through a link: every folder of a relative
// path must be a real folder. An absolute path's folder is the user's choice
// and is opened as named.
class ParentDir {
public:
    explicit ParentDir(const std::string& path) {
        const std::string native = BelowCurrentDir(path);
        const std::size_t slash = native.find_last_of('/');
        leaf_ = slash == std::string::npos ? native : native.substr(slash + 1);
        if (slash == std::string::npos) return;
        if (IsAbsolutePath(native)) {
            // With its separator: "/" and "C:/" name roots, "C:" would not.
            fd_ = os::Open(native.substr(0, slash + 1), os::kRead | os::kDirectory);
            return;
        }
        const std::string dir = native.substr(0, slash);
        LastFolder& last = CachedFolder();
        if ((last.fd >= 0 || last.missing) && last.dir == dir && last.folder == tFolder) {
            fd_ = last.missing ? os::kNoFd : last.fd;
            owned_ = false;
            if (last.missing) errno = ENOENT;
            return;
        }
        Walk(dir);
        if (fd_ < 0 && errno == ENOENT) {
            last.Forget();
            last.dir = dir;
            last.missing = true;
            last.folder = tFolder;
        } else if (fd_ >= 0 && fd_ != base_) {
            last.Forget();
            last.dir = dir;
            last.fd = fd_;
            last.folder = tFolder;
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
    void Walk(const std::string& dir) {
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
            if (fd < 0) return;
        }
    }

    const os::Fd base_ = BaseFd();  // not ours to close
    os::Fd fd_ = base_;
    bool owned_ = true;
    std::string leaf_;
};

std::string Reason(int err) {
    // ELOOP from O_NOFOLLOW means a link stood where a folder was expected.
    return err == ELOOP ? std::string("a link stands in its path") : os::ErrorText(err);
}

bool StatNoFollow(const std::string& path, os::FileInfo& st) {
    if (path.empty()) return false;
    ParentDir parent(NativePath(path));
    return parent.Ok() && !parent.Leaf().empty() && os::InfoAt(parent.Fd(), parent.Leaf(), st, false);
}

}  // namespace

std::string Resolve(const std::string& path) {
    const std::string native = NativePath(path);
    if (!tFolder || native.empty() || IsAbsolutePath(native)) return native;
    return tFolder->Path() + native;
}

namespace {

// One spelling per file for the holds: absolute, without "." components or
// doubled slashes (a path with ".." gets the full normalisation).
std::string HeldKey(const std::string& path) {
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

}  // namespace

HeldFile::HeldFile(const std::string& path) : path_(path), key_(HeldKey(path)) { Held().push_back(this); }

HeldFile::~HeldFile() {
    try {
        Write();
    } catch (const std::exception&) {}
    Release();
}

void HeldFile::Release() {
    if (!held_) return;
    held_ = false;
    for (auto it = Held().rbegin(); it != Held().rend(); ++it) {
        if (*it != this) continue;
        Held().erase(std::next(it).base());
        break;
    }
}

void HeldFile::Write() {
    Release();
    if (!hasBytes_) return;
    hasBytes_ = false;
    SaveTextFile(path_, bytes_);
    bytes_ = std::string();
}

HeldFile* HeldFile::Find(const std::string& path) {
    if (Held().empty() || path.empty()) return nullptr;
    const std::string key = HeldKey(path);
    for (auto it = Held().rbegin(); it != Held().rend(); ++it)
        if ((*it)->key_ == key) return *it;
    return nullptr;
}

bool HeldFile::OnDiskPlainFile() {
    if (diskState_ < 0) {
        os::FileInfo st;
        diskState_ = !StatNoFollow(path_, st) ? 0 : st.kind == os::Kind::File ? 1 : 2;
    }
    return diskState_ == 1;
}

bool HeldFile::OnDiskEntry() { return OnDiskPlainFile() || diskState_ == 2; }

bool HeldFile::DropBytes() {
    const bool had = hasBytes_;
    hasBytes_ = false;
    bytes_ = std::string();
    return had;
}

bool FileExists(const std::string& path) {
    if (HeldFile* held = HeldFile::Find(path); held && held->HasBytes()) return true;
    os::FileInfo st;
    return !path.empty() && os::PathInfo(Resolve(path), st, true) && st.kind == os::Kind::File;
}

bool DirectoryExists(const std::string& path) {
    os::FileInfo st;
    return !path.empty() && os::PathInfo(Resolve(path), st, true) && st.kind == os::Kind::Folder;
}

bool PlainFileExists(const std::string& path) {
    if (HeldFile* held = HeldFile::Find(path)) return held->HasBytes() || held->OnDiskPlainFile();
    os::FileInfo st;
    return StatNoFollow(path, st) && st.kind == os::Kind::File;
}

bool EntryExists(const std::string& path) {
    if (HeldFile* held = HeldFile::Find(path)) return held->HasBytes() || held->OnDiskEntry();
    os::FileInfo st;
    return StatNoFollow(path, st);
}

namespace {

// Relative folders are made one component at a time from the output folder;
// a link in the way is removed (never followed) and a real folder
// made in its place.
void ForceRelativeDirectories(const std::string& native) {
    std::string key = native;
    while (key.size() > 1 && key.back() == '/') key.pop_back();
    // Walked every time: a link put where a folder was is replaced, never kept.
    LastFolder& last = CachedFolder();
    last.Forget();
    const os::Fd base = BaseFd();  // not ours to close
    os::Fd cur = base;
    auto fail = [&](const std::string& reason) {
        if (cur >= 0 && cur != base) os::Close(cur);
        throw Error("Cannot create folder \"" + native + "\": " + reason);
    };
    std::size_t pos = 0;
    while (pos < native.size()) {
        std::size_t next = native.find('/', pos);
        if (next == std::string::npos) next = native.size();
        const std::string part = native.substr(pos, next - pos);
        pos = next + 1;
        if (part.empty() || part == ".") continue;
        constexpr unsigned kFolder = os::kRead | os::kDirectory | os::kNoFollow;
        os::Fd fd = os::OpenAt(cur, part, kFolder);
        if (fd < 0 && (errno == ELOOP || errno == ENOTDIR)) {
            os::FileInfo st;
            if (!os::InfoAt(cur, part, st, false) || st.kind != os::Kind::Link) fail(os::ErrorText(ENOTDIR));
            if (!os::RemoveAt(cur, part)) fail(os::ErrorText(errno));
            errno = ENOENT;
        }
        if (fd < 0 && errno == ENOENT) {
            if (!os::MakeFolderAt(cur, part) && errno != EEXIST) fail(os::ErrorText(errno));
            fd = os::OpenAt(cur, part, kFolder);
        }
        if (fd < 0) fail(Reason(errno));
        if (cur >= 0 && cur != base) os::Close(cur);
        cur = fd;
    }
    // The files of the folder are written next.
    if (cur >= 0 && cur != base) {
        last.dir = key;
        last.fd = cur;
        last.folder = tFolder;
    }
}

}  // namespace

void ForceDirectories(const std::string& path) {
    if (path.empty()) return;
    std::error_code ec;
    const std::string native = NativePath(path);
    const std::string below = BelowCurrentDir(native);
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

os::Fd CreateFreshFile(const std::string& path) {
    const std::string native = NativePath(path);
    ParentDir parent(native);
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
    return fd;
}

os::Fd CreateNewFile(const std::string& path) {
    const std::string native = NativePath(path);
    ParentDir parent(native);
    if (!parent.Ok()) return os::kNoFd;
    return os::OpenAt(parent.Fd(), parent.Leaf(), os::kWrite | os::kCreate | os::kExclusive | os::kNoFollow);
}

os::Fd OpenPlainFileForRewrite(const std::string& path) {
    const std::string native = NativePath(path);
    ParentDir parent(native);
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

void PrepareFreshFile(const std::string& path) { os::Close(CreateFreshFile(path)); }

void WriteFreshFile(const std::string& path, const std::function<void(os::Fd fd)>& fill) {
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

void CopyToDescriptor(const std::string& from, os::Fd fd, const std::string& name) {
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

bool DeleteFile(const std::string& path) {
    HeldFile* held = HeldFile::Find(path);
    const bool dropped = held && held->DropBytes();
    ParentDir parent(NativePath(path));
    const bool removed = parent.Ok() && os::RemoveAt(parent.Fd(), parent.Leaf());
    if (held) held->SetOnDisk(removed || errno == ENOENT ? 0 : -1);
    return dropped || removed;
}

bool RemoveDir(const std::string& path) {
    CachedFolder().Forget();
    std::string p = Resolve(path);
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    return os::RemoveFolder(p);
}

bool CopyFile(const std::string& from, const std::string& to) {
    // The target is written like every file of the run: never through a link.
    if (!FileExists(from)) return false;
    try {
        SaveTextFile(to, LoadTextFile(from));
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

bool LinkOrCopyFile(const std::string& from, const std::string& to) {
    if (!PlainFileExists(from)) return false;
    DeleteFile(to);
    ParentDir parent(NativePath(to));
    // The new name is never followed, and the parent was reached without links.
    if (parent.Ok() && os::HardLinkAt(Resolve(from), parent.Fd(), parent.Leaf()))
        return true;
    return CopyFile(from, to);
}

bool RenameFile(const std::string& from, const std::string& to) {
    CachedFolder().Forget();
    return os::AtomicReplace(Resolve(from), Resolve(to));
}

std::string GetCurrentDir() { return os::CurrentDir(); }

std::string ExpandFileName(const std::string& path) {
    const std::string resolved = Resolve(path);
    std::filesystem::path p = FsPath(resolved);
    if (!IsAbsolutePath(resolved)) p = FsPath(os::CurrentDir()) / p;
    return Utf8Of(p.lexically_normal());
}

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

UseOutputFolder::UseOutputFolder(const OutputFolder& folder) : previous_(tFolder) {
    CachedFolder().Forget();
    tFolder = &folder;
}

UseOutputFolder::~UseOutputFolder() {
    CachedFolder().Forget();
    tFolder = previous_;
}

ScratchFile::ScratchFile() {
    fd_ = os::ScratchFile(TempDirectory());
    if (fd_ < 0) throw Error("Cannot create a temporary file: " + os::ErrorText(errno));
    path_ = os::ScratchFileName(fd_);
}

ScratchFile::~ScratchFile() { os::Close(fd_); }

long long FileSize(const std::string& path) {
    if (HeldFile* held = HeldFile::Find(path); held && held->HasBytes())
        return static_cast<long long>(held->Bytes().size());
    os::FileInfo st;
    if (!os::PathInfo(Resolve(path), st, true)) return -1;
    return static_cast<long long>(st.size);
}

std::string FileIdentity(const std::string& path) {
    os::FileInfo st;
    if (path.empty() || !os::PathInfo(Resolve(path), st, true)) return "";
    return std::to_string(st.device) + ":" + std::to_string(st.inode) + ":" + std::to_string(st.size) + ":" +
           std::to_string(st.ctimeNs / 1000000000) + "." + std::to_string(st.ctimeNs % 1000000000);
}

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
