#include "Utils/FileSys.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#include "Utils/Utils.h"
#include "support/Error.h"
#include "support/Scratch.h"

namespace qb::fs {

namespace {

// The output folder of the run on this thread; each run binds its own.
thread_local const OutputFolder* tFolder = nullptr;

// Files held in memory by this thread, innermost last (a walk holds a page per level).
thread_local std::vector<HeldFile*> tHeld;

// Where relative paths start: the output folder in use, else the current directory.
int BaseFd() { return tFolder ? tFolder->Fd() : AT_FDCWD; }

// A path below the output folder in use as a relative one, so that its
// folders get the link checks of relative paths.
std::string BelowCurrentDir(const std::string& native) {
    if (native.empty() || native[0] != '/' || !tFolder) return native;
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
    int fd = -1;
    // dir was not there: planning names many pages in folders not yet made.
    bool missing = false;
    const OutputFolder* folder = nullptr;  // the output folder dir is relative to
    ~LastFolder() { Forget(); }
    void Forget() {
        if (fd >= 0) ::close(fd);
        fd = -1;
        missing = false;
        dir.clear();
        folder = nullptr;
    }
};

LastFolder& CachedFolder() {
    thread_local LastFolder last;
    return last;
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
        const std::string dir = native.substr(0, slash);
        if (native[0] == '/') {
            fd_ = ::open(dir.empty() ? "/" : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            return;
        }
        LastFolder& last = CachedFolder();
        if ((last.fd >= 0 || last.missing) && last.dir == dir && last.folder == tFolder) {
            fd_ = last.missing ? -1 : last.fd;
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
        if (fd_ >= 0 && fd_ != base_ && owned_) ::close(fd_);
    }
    ParentDir(const ParentDir&) = delete;
    ParentDir& operator=(const ParentDir&) = delete;
    bool Ok() const { return fd_ >= 0 || fd_ == AT_FDCWD; }
    int Fd() const { return fd_; }
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
            const int fd = ::openat(fd_, part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (fd_ >= 0 && fd_ != base_) ::close(fd_);
            fd_ = fd;
            if (fd < 0) return;
        }
    }

    const int base_ = BaseFd();  // not ours to close
    int fd_ = base_;
    bool owned_ = true;
    std::string leaf_;
};

std::string Reason(int err) {
    // ELOOP from O_NOFOLLOW means a link stood where a folder was expected.
    return err == ELOOP ? std::string("a link stands in its path") : std::string(std::strerror(err));
}

bool StatNoFollow(const std::string& path, struct stat& st) {
    if (path.empty()) return false;
    ParentDir parent(NativePath(path));
    return parent.Ok() && !parent.Leaf().empty() &&
           ::fstatat(parent.Fd(), parent.Leaf().c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
}

}  // namespace

std::string Resolve(const std::string& path) {
    const std::string native = NativePath(path);
    if (!tFolder || native.empty() || native[0] == '/') return native;
    return tFolder->Path() + native;
}

namespace {

// One spelling per file for the holds: absolute, without "." components or
// doubled slashes (a path with ".." gets the full normalisation).
std::string HeldKey(const std::string& path) {
    const std::string resolved = Resolve(path);
    if (resolved.empty() || resolved[0] != '/' || resolved.find("..") != std::string::npos) return ExpandFileName(path);
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

HeldFile::HeldFile(const std::string& path) : path_(path), key_(HeldKey(path)) { tHeld.push_back(this); }

HeldFile::~HeldFile() {
    try {
        Write();
    } catch (const std::exception&) {}
    Release();
}

void HeldFile::Release() {
    if (!held_) return;
    held_ = false;
    for (auto it = tHeld.rbegin(); it != tHeld.rend(); ++it) {
        if (*it != this) continue;
        tHeld.erase(std::next(it).base());
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
    if (tHeld.empty() || path.empty()) return nullptr;
    const std::string key = HeldKey(path);
    for (auto it = tHeld.rbegin(); it != tHeld.rend(); ++it)
        if ((*it)->key_ == key) return *it;
    return nullptr;
}

bool HeldFile::OnDiskPlainFile() {
    if (diskState_ < 0) {
        struct stat st;
        diskState_ = !StatNoFollow(path_, st) ? 0 : S_ISREG(st.st_mode) ? 1 : 2;
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
    struct stat st;
    return !path.empty() && ::stat(Resolve(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
    struct stat st;
    return !path.empty() && ::stat(Resolve(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool PlainFileExists(const std::string& path) {
    if (HeldFile* held = HeldFile::Find(path)) return held->HasBytes() || held->OnDiskPlainFile();
    struct stat st;
    return StatNoFollow(path, st) && S_ISREG(st.st_mode);
}

bool EntryExists(const std::string& path) {
    if (HeldFile* held = HeldFile::Find(path)) return held->HasBytes() || held->OnDiskEntry();
    struct stat st;
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
    const int base = BaseFd();  // not ours to close
    int cur = base;
    auto fail = [&](const std::string& reason) {
        if (cur >= 0 && cur != base) ::close(cur);
        throw Error("Cannot create folder \"" + native + "\": " + reason);
    };
    std::size_t pos = 0;
    while (pos < native.size()) {
        std::size_t next = native.find('/', pos);
        if (next == std::string::npos) next = native.size();
        const std::string part = native.substr(pos, next - pos);
        pos = next + 1;
        if (part.empty() || part == ".") continue;
        int fd = ::openat(cur, part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0 && (errno == ELOOP || errno == ENOTDIR)) {
            struct stat st;
            if (::fstatat(cur, part.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISLNK(st.st_mode))
                fail(std::strerror(ENOTDIR));
            if (::unlinkat(cur, part.c_str(), 0) != 0) fail(std::strerror(errno));
            errno = ENOENT;
        }
        if (fd < 0 && errno == ENOENT) {
            if (::mkdirat(cur, part.c_str(), 0755) != 0 && errno != EEXIST) fail(std::strerror(errno));
            fd = ::openat(cur, part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        }
        if (fd < 0) fail(Reason(errno));
        if (cur >= 0 && cur != base) ::close(cur);
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
    if (below[0] != '/') {
        ForceRelativeDirectories(below);
        return;
    }
    // Elsewhere most calls find the folder there: one look at the disk then.
    if (DirectoryExists(native)) return;
    std::filesystem::create_directories(native, ec);
    if (ec || !DirectoryExists(native))
        throw Error("Cannot create folder \"" + native + "\": " + (ec ? ec.message() : std::string("not a folder")));
}

int CreateFreshFile(const std::string& path) {
    const std::string native = NativePath(path);
    ParentDir parent(native);
    if (!parent.Ok()) throw Error("Cannot create file \"" + native + "\": " + Reason(errno));
    const char* leaf = parent.Leaf().c_str();
    constexpr int kFresh = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
    // Most names are free: whatever stands there is removed only when the create finds it.
    int fd = ::openat(parent.Fd(), leaf, kFresh, 0644);
    if (fd < 0 && errno == EEXIST) {
        if (::unlinkat(parent.Fd(), leaf, 0) != 0 && errno != ENOENT)
            throw Error("Cannot create file \"" + native + "\": " + std::strerror(errno == EPERM ? EISDIR : errno));
        fd = ::openat(parent.Fd(), leaf, kFresh, 0644);
    }
    if (fd < 0) throw Error("Cannot create file \"" + native + "\": " + Reason(errno));
    return fd;
}

int CreateNewFile(const std::string& path) {
    const std::string native = NativePath(path);
    ParentDir parent(native);
    if (!parent.Ok()) return -1;
    return ::openat(parent.Fd(), parent.Leaf().c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
}

int OpenPlainFileForRewrite(const std::string& path) {
    const std::string native = NativePath(path);
    ParentDir parent(native);
    if (!parent.Ok()) return -1;
    int fd = ::openat(parent.Fd(), parent.Leaf().c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0 && errno == EISDIR) throw Error("Cannot create file \"" + native + "\": " + std::strerror(EISDIR));
    struct stat st;
    if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_nlink != 1 || ::ftruncate(fd, 0) != 0)) {
        ::close(fd);
        fd = -1;
    }
    // O_NONBLOCK kept a FIFO from blocking the open; a plain file ignores it.
    return fd;
}

void PrepareFreshFile(const std::string& path) { ::close(CreateFreshFile(path)); }

void WriteFreshFile(const std::string& path, const std::function<void(int fd)>& fill) {
    const std::string native = NativePath(path);
    const int fd = CreateFreshFile(path);
    std::string failure;
    try {
        fill(fd);
    } catch (const std::exception& e) {
        failure = e.what();
    }
    struct stat open, named;
    const bool statted = ::fstat(fd, &open) == 0;
    if (::close(fd) != 0 && failure.empty()) failure = "Cannot write file \"" + native + "\": " + std::strerror(errno);
    // What stands at the name now must be the file written: a link or another
    // file swapped in meanwhile got none of the bytes, and is not taken for them.
    if (failure.empty() && (!statted || !StatNoFollow(path, named) || named.st_dev != open.st_dev ||
                            named.st_ino != open.st_ino))
        failure = "Cannot write file \"" + native + "\": it was replaced while it was written";
    if (failure.empty()) return;
    DeleteFile(path);
    throw Error(failure);
}

void CopyToDescriptor(const std::string& from, int fd, const std::string& name) {
    const int in = ::open(Resolve(from).c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) throw Error("Cannot read \"" + from + "\": " + std::strerror(errno));
    std::vector<char> buffer(64 * 1024);
    std::string failure;
    for (;;) {
        const ssize_t n = ::read(in, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) failure = "Cannot read \"" + from + "\": " + std::strerror(errno);
        if (n <= 0) break;
        for (ssize_t done = 0; done < n && failure.empty();) {
            const ssize_t w = ::write(fd, buffer.data() + done, static_cast<std::size_t>(n - done));
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) failure = "Cannot write file \"" + name + "\": " + std::strerror(w < 0 ? errno : ENOSPC);
            if (w > 0) done += w;
        }
        if (!failure.empty()) break;
    }
    ::close(in);
    if (!failure.empty()) throw Error(failure);
}

bool DeleteFile(const std::string& path) {
    HeldFile* held = HeldFile::Find(path);
    const bool dropped = held && held->DropBytes();
    ParentDir parent(NativePath(path));
    const bool removed = parent.Ok() && ::unlinkat(parent.Fd(), parent.Leaf().c_str(), 0) == 0;
    if (held) held->SetOnDisk(removed || errno == ENOENT ? 0 : -1);
    return dropped || removed;
}

bool RemoveDir(const std::string& path) {
    CachedFolder().Forget();
    std::string p = Resolve(path);
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    return ::rmdir(p.c_str()) == 0;
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
    // linkat never follows the new name, and the parent was reached without links.
    if (parent.Ok() && ::linkat(AT_FDCWD, Resolve(from).c_str(), parent.Fd(), parent.Leaf().c_str(), 0) == 0)
        return true;
    return CopyFile(from, to);
}

bool RenameFile(const std::string& from, const std::string& to) {
    CachedFolder().Forget();
    return ::rename(Resolve(from).c_str(), Resolve(to).c_str()) == 0;
}

std::string GetCurrentDir() {
    std::error_code ec;
    auto p = std::filesystem::current_path(ec);
    return ec ? std::string() : p.string();
}

std::string ExpandFileName(const std::string& path) {
    std::filesystem::path p(Resolve(path));
    std::error_code ec;
    if (p.is_relative()) p = std::filesystem::current_path(ec) / p;
    return p.lexically_normal().string();
}

TempFolder::TempFolder() {
    path_ = MakeScratchFolder(TempDirectory() + "/quillbook-", "Cannot create a temporary folder") + "/";
}

TempFolder::~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

OutputFolder::OutputFolder(const std::string& folder) {
    path_ = ExpandFileName(folder);
    if (path_.empty() || path_.back() != '/') path_ += '/';
    fd_ = ::open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ < 0) throw Error("Cannot open folder \"" + path_ + "\": " + std::strerror(errno));
    char* real = ::realpath(path_.c_str(), nullptr);
    realPath_ = real ? std::string(real) : path_;
    std::free(real);
    if (realPath_.back() != '/') realPath_ += '/';
}

OutputFolder::~OutputFolder() { ::close(fd_); }

UseOutputFolder::UseOutputFolder(const OutputFolder& folder) : previous_(tFolder) {
    CachedFolder().Forget();
    tFolder = &folder;
}

UseOutputFolder::~UseOutputFolder() {
    CachedFolder().Forget();
    tFolder = previous_;
}

ScratchFile::ScratchFile() {
    const std::string dir = TempDirectory();
    fd_ = ::open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd_ < 0) {
        // File systems without O_TMPFILE: a named file, unlinked at once.
        std::string tmpl = dir + "/quillbook-XXXXXX";
        fd_ = ::mkstemp(tmpl.data());
        if (fd_ >= 0) ::unlink(tmpl.c_str());
    }
    if (fd_ < 0) throw Error("Cannot create a temporary file: " + std::string(std::strerror(errno)));
    path_ = "/proc/self/fd/" + std::to_string(fd_);
}

ScratchFile::~ScratchFile() {
    if (fd_ >= 0) ::close(fd_);
}

long long FileSize(const std::string& path) {
    if (HeldFile* held = HeldFile::Find(path); held && held->HasBytes())
        return static_cast<long long>(held->Bytes().size());
    struct stat st;
    if (::stat(Resolve(path).c_str(), &st) != 0) return -1;
    return static_cast<long long>(st.st_size);
}

std::string FileIdentity(const std::string& path) {
    struct stat st;
    if (path.empty() || ::stat(Resolve(path).c_str(), &st) != 0) return "";
    return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino) + ":" + std::to_string(st.st_size) + ":" +
           std::to_string(st.st_ctim.tv_sec) + "." + std::to_string(st.st_ctim.tv_nsec);
}

namespace {
bool SameFile(int fd, const std::string& path) {
    struct stat open, named;
    return ::fstat(fd, &open) == 0 && ::lstat(path.c_str(), &named) == 0 && open.st_dev == named.st_dev &&
           open.st_ino == named.st_ino;
}
}  // namespace

std::unique_ptr<LockFile> LockFile::TryAcquire(const std::string& path) {
    const std::string native = ExpandFileName(path);
    for (;;) {
        const int fd = ::open(native.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
        if (fd < 0) throw Error("Cannot create the lock file \"" + native + "\": " + std::strerror(errno));
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int err = errno;
            ::close(fd);
            if (err == EWOULDBLOCK) return nullptr;
            throw Error("Cannot lock \"" + native + "\": " + std::strerror(err));
        }
        // The holder removes the file as it lets go: a lock on a removed file guards nothing.
        if (SameFile(fd, native)) return std::unique_ptr<LockFile>(new LockFile(native, fd));
        ::close(fd);
    }
}

LockFile::~LockFile() {
    if (SameFile(fd_, path_)) ::unlink(path_.c_str());
    ::close(fd_);
}

}  // namespace qb::fs
