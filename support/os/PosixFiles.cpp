#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <malloc.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "support/Os.h"

namespace qb::os {

namespace {

int Native(Fd fd) { return fd == kCurrentDir ? AT_FDCWD : static_cast<int>(fd); }

int OpenFlags(unsigned flags) {
    int f = O_CLOEXEC;
    if ((flags & kRead) && (flags & kWrite))
        f |= O_RDWR;
    else if (flags & kWrite)
        f |= O_WRONLY;
    else
        f |= O_RDONLY;
    if (flags & kCreate) f |= O_CREAT;
    if (flags & kExclusive) f |= O_EXCL;
    if (flags & kTruncate) f |= O_TRUNC;
    if (flags & kNoFollow) f |= O_NOFOLLOW;
    if (flags & kDirectory) f |= O_DIRECTORY;
    if (flags & kNonBlock) f |= O_NONBLOCK | O_NOCTTY;
    return f;
}

Kind KindOf(mode_t mode) {
    if (S_ISREG(mode)) return Kind::File;
    if (S_ISDIR(mode)) return Kind::Folder;
    if (S_ISLNK(mode)) return Kind::Link;
    return Kind::Other;
}

void Fill(const struct stat& st, FileInfo& info) {
    info.kind = KindOf(st.st_mode);
    info.size = static_cast<std::uint64_t>(st.st_size);
    info.device = static_cast<std::uint64_t>(st.st_dev);
    info.inode = static_cast<std::uint64_t>(st.st_ino);
    info.links = static_cast<std::uint32_t>(st.st_nlink);
    info.mtime = static_cast<std::int64_t>(st.st_mtime);
    info.ctimeNs = static_cast<std::int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    info.mode = st.st_mode & 07777;
}

Kind KindOfEntry(int dirFd, const dirent* e) {
    switch (e->d_type) {
        case DT_REG: return Kind::File;
        case DT_DIR: return Kind::Folder;
        case DT_LNK: return Kind::Link;
        case DT_UNKNOWN: break;
        default: return Kind::Other;
    }
    struct stat st;
    if (::fstatat(dirFd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) return Kind::None;
    return KindOf(st.st_mode);
}

bool ListDir(DIR* d, std::vector<Entry>& entries) {
    if (!d) return false;
    errno = 0;
    while (dirent* e = ::readdir(d)) {
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
            entries.push_back({e->d_name, KindOfEntry(::dirfd(d), e)});
        errno = 0;
    }
    const int err = errno;
    ::closedir(d);
    errno = err;
    return err == 0;
}

// The system refuses a whole path of PATH_MAX bytes or more (ENAMETOOLONG),
// however short its parts; deep trees of long captions reach that. Such a
// path is walked a piece at a time: each piece's folder is opened (links in
// it followed, as a whole path's would be) and the rest looked up below it.
template <class Call>
int ShortPath(int base, const std::string& path, Call&& call) {
    if (path.size() < PATH_MAX) return call(base, path.c_str());
    int dir = base;
    std::size_t pos = 0;
    auto release = [&] {
        const int err = errno;
        if (dir != base) ::close(dir);
        errno = err;
    };
    while (path.size() - pos >= PATH_MAX) {
        const std::size_t cut = path.rfind('/', pos + PATH_MAX - 2);
        if (cut == std::string::npos || cut < pos || (cut == pos && pos != 0)) {
            release();
            errno = ENAMETOOLONG;  // one name alone is too long
            return -1;
        }
        const std::string piece = cut == 0 ? std::string("/") : path.substr(pos, cut - pos);
        const int next = ::openat(dir, piece.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        release();
        if (next < 0) return -1;
        dir = next;
        pos = cut + 1;
        while (pos < path.size() && path[pos] == '/') ++pos;
    }
    const int result = call(dir, pos < path.size() ? path.c_str() + pos : ".");
    release();
    return result;
}

std::string ProcLink(int fd) {
    char buf[PATH_MAX + 1];
    const std::string proc = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t n = ::readlink(proc.c_str(), buf, PATH_MAX);
    return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

// Where an open folder lies, also beyond what /proc can name: its name is
// looked up in its parent, and the parent's place found the same way.
std::string FolderPathOf(int fd, int depth = 0) {
    std::string direct = ProcLink(fd);
    if (!direct.empty() || errno != ENAMETOOLONG || depth > 100000) return direct;
    struct stat self, up;
    const int parent = ::openat(fd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (parent < 0) return "";
    std::string name;
    if (::fstat(fd, &self) == 0 && ::fstat(parent, &up) == 0 &&
        !(self.st_dev == up.st_dev && self.st_ino == up.st_ino)) {
        const int listing = ::dup(parent);
        DIR* d = listing < 0 ? nullptr : ::fdopendir(listing);
        if (!d && listing >= 0) ::close(listing);
        while (d && name.empty()) {
            const dirent* e = ::readdir(d);
            if (!e) break;
            struct stat st;
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0 &&
                ::fstatat(parent, e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && st.st_dev == self.st_dev &&
                st.st_ino == self.st_ino)
                name = e->d_name;
        }
        if (d) ::closedir(d);
    }
    const std::string above = name.empty() ? std::string() : FolderPathOf(parent, depth + 1);
    ::close(parent);
    if (above.empty()) return "";
    return (above == "/" ? std::string() : above) + "/" + name;
}

// realpath for paths the system finds too long: the folder is opened piece by
// piece, a link at the end read and resolved in turn.
std::string LongRealPath(const std::string& path, int links) {
    if (links > 40) {
        errno = ELOOP;
        return "";
    }
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const int dir = ShortPath(AT_FDCWD, folder, [](int at, const char* rest) {
        return ::openat(at, rest, O_PATH | O_DIRECTORY | O_CLOEXEC);
    });
    if (dir < 0) return "";
    std::string out;
    struct stat st;
    const bool self = name.empty() || name == "." || name == "..";
    if (::fstatat(dir, self ? "." : name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        if (self) {
            const int at = ::openat(dir, name.empty() ? "." : name.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
            if (at >= 0) {
                out = FolderPathOf(at);
                ::close(at);
            }
        } else if (S_ISLNK(st.st_mode)) {
            char target[PATH_MAX + 1];
            const ssize_t n = ::readlinkat(dir, name.c_str(), target, PATH_MAX);
            if (n > 0) {
                std::string to(target, static_cast<size_t>(n));
                if (to[0] != '/') {
                    const std::string where = FolderPathOf(dir);
                    to = where.empty() ? std::string() : (where == "/" ? "" : where) + "/" + to;
                }
                if (!to.empty()) {
                    char* real = to.size() < PATH_MAX ? ::realpath(to.c_str(), nullptr) : nullptr;
                    if (real) {
                        out = real;
                        std::free(real);
                    } else {
                        out = LongRealPath(to, links + 1);
                    }
                }
            }
        } else {
            const std::string where = FolderPathOf(dir);
            if (!where.empty()) out = (where == "/" ? "" : where) + "/" + name;
        }
    }
    const int err = errno;
    ::close(dir);
    errno = err;
    return out;
}

}  // namespace

std::string ErrorText(int err) { return std::strerror(err); }

bool IsAbsolutePath(const std::string& path) { return !path.empty() && path[0] == '/'; }

std::string RealPath(const std::string& path) {
    char* real = ::realpath(path.c_str(), nullptr);
    if (!real) return errno == ENAMETOOLONG && !path.empty() ? LongRealPath(path, 0) : "";
    std::string out(real);
    std::free(real);
    return out;
}

std::string RealPathOf(Fd fd) {
    FileInfo info;
    return Info(fd, info) && info.kind == Kind::Folder ? FolderPathOf(static_cast<int>(fd))
                                                       : ProcLink(static_cast<int>(fd));
}

std::string CurrentDir() {
    std::error_code ec;
    auto p = std::filesystem::current_path(ec);
    return ec ? std::string() : p.string();
}

namespace {

std::string Home() {
    const char* h = std::getenv("HOME");
    return h && *h ? h : "/tmp";
}

// XDG_DOCUMENTS_DIR from user-dirs.dirs, with $HOME expanded.
std::string XdgDocuments(const std::string& home) {
    std::ifstream in(UserConfigHome() + "/user-dirs.dirs");
    std::string line;
    while (std::getline(in, line)) {
        const std::string key = "XDG_DOCUMENTS_DIR=";
        if (line.rfind(key, 0) != 0) continue;
        std::string v = line.substr(key.size());
        if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
        if (v.rfind("$HOME", 0) == 0) v = home + v.substr(5);
        // Only absolute values are valid; anything else would depend on the current folder.
        return !v.empty() && v.front() == '/' ? v : std::string();
    }
    return "";
}

}  // namespace

std::string UserConfigHome() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    // The XDG rules ignore relative values.
    std::string base = xdg && *xdg == '/' ? std::string(xdg) : Home() + "/.config";
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    return base;
}

std::string DocumentsFolder() {
    const std::string home = Home();
    const std::string docs = XdgDocuments(home);
    return docs.empty() ? home + "/Documents" : docs;
}

Fd OpenAt(Fd base, const std::string& name, unsigned flags, unsigned mode) {
    return ShortPath(Native(base), name, [&](int at, const char* rest) {
        return ::openat(at, rest, OpenFlags(flags), static_cast<mode_t>(mode));
    });
}

Fd Open(const std::string& path, unsigned flags, unsigned mode) { return OpenAt(kCurrentDir, path, flags, mode); }

void Close(Fd fd) {
    if (fd >= 0) ::close(static_cast<int>(fd));
}

long long Read(Fd fd, void* buffer, std::size_t size) {
    for (;;) {
        const ssize_t n = ::read(static_cast<int>(fd), buffer, size);
        if (n < 0 && errno == EINTR) continue;
        return n;
    }
}

long long Write(Fd fd, const void* buffer, std::size_t size) {
    for (;;) {
        const ssize_t n = ::write(static_cast<int>(fd), buffer, size);
        if (n < 0 && errno == EINTR) continue;
        return n;
    }
}

long long ReadAt(Fd fd, void* buffer, std::size_t size, std::uint64_t offset) {
    for (;;) {
        const ssize_t n = ::pread(static_cast<int>(fd), buffer, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        return n;
    }
}

long long WriteAt(Fd fd, const void* buffer, std::size_t size, std::uint64_t offset) {
    for (;;) {
        const ssize_t n = ::pwrite(static_cast<int>(fd), buffer, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        return n;
    }
}

bool WriteAll(Fd fd, const void* buffer, std::size_t size) {
    const char* p = static_cast<const char*>(buffer);
    while (size > 0) {
        const long long n = Write(fd, p, size);
        if (n <= 0) return false;
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

std::FILE* OpenStdio(const std::string& path, const char* mode) { return std::fopen(path.c_str(), mode); }

bool Truncate(Fd fd, std::uint64_t size) { return ::ftruncate(static_cast<int>(fd), static_cast<off_t>(size)) == 0; }
bool Sync(Fd fd) { return ::fsync(static_cast<int>(fd)) == 0; }
bool SetMode(Fd fd, unsigned mode) { return ::fchmod(static_cast<int>(fd), static_cast<mode_t>(mode)) == 0; }

bool Info(Fd fd, FileInfo& info) {
    struct stat st;
    if (::fstat(static_cast<int>(fd), &st) != 0) return false;
    Fill(st, info);
    return true;
}

bool InfoAt(Fd base, const std::string& name, FileInfo& info, bool follow) {
    struct stat st;
    if (ShortPath(Native(base), name, [&](int at, const char* rest) {
            return ::fstatat(at, rest, &st, follow ? 0 : AT_SYMLINK_NOFOLLOW);
        }) != 0)
        return false;
    Fill(st, info);
    return true;
}

bool PathInfo(const std::string& path, FileInfo& info, bool follow) {
    return !path.empty() && InfoAt(kCurrentDir, path, info, follow);
}

bool PathKind(const std::string& path, Kind& kind, bool follow) {
    FileInfo info;
    if (!PathInfo(path, info, follow)) return false;
    kind = info.kind;
    return true;
}

bool RemoveAt(Fd base, const std::string& name) {
    return ShortPath(Native(base), name, [](int at, const char* rest) { return ::unlinkat(at, rest, 0); }) == 0;
}
bool MakeFolderAt(Fd base, const std::string& name) {
    return ShortPath(Native(base), name, [](int at, const char* rest) { return ::mkdirat(at, rest, 0755); }) == 0;
}
Fd MakeAndOpenFolderAt(Fd base, const std::string& name) {
    if (!MakeFolderAt(base, name)) return kNoFd;
    return OpenAt(base, name, kRead | kDirectory | kNoFollow);
}
// Any process may rename a folder another holds open.
bool OpenFoldersStayPut() { return false; }
bool RemoveFolder(const std::string& path) {
    return ShortPath(AT_FDCWD, path, [](int at, const char* rest) { return ::unlinkat(at, rest, AT_REMOVEDIR); }) == 0;
}
bool RemoveFile(const std::string& path) { return RemoveAt(kCurrentDir, path); }
bool AtomicReplace(const std::string& from, const std::string& to) {
    return ShortPath(AT_FDCWD, from, [&](int fromAt, const char* fromRest) {
               return ShortPath(AT_FDCWD, to, [&](int toAt, const char* toRest) {
                   return ::renameat(fromAt, fromRest, toAt, toRest);
               });
           }) == 0;
}
bool HardLink(const std::string& from, const std::string& to) { return ::link(from.c_str(), to.c_str()) == 0; }

std::string OtherKindName(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return "a device";
    if (S_ISFIFO(st.st_mode)) return "a FIFO";
    if (S_ISSOCK(st.st_mode)) return "a socket";
    return "a device";
}

bool HardLinkAt(const std::string& from, Fd base, const std::string& name) {
    return ::linkat(AT_FDCWD, from.c_str(), Native(base), name.c_str(), 0) == 0;
}

bool ListFolder(const std::string& path, std::vector<Entry>& entries) {
    const int fd = ShortPath(AT_FDCWD, path, [](int at, const char* rest) {
        return ::openat(at, rest, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    });
    if (fd < 0) return false;
    DIR* d = ::fdopendir(fd);
    if (!d) ::close(fd);
    return ListDir(d, entries);
}

bool ListFolderAt(Fd folder, std::vector<Entry>& entries) {
    // fdopendir takes ownership of its descriptor, so it gets a copy.
    const int copy = ::openat(Native(folder), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (copy < 0) return false;
    DIR* d = ::fdopendir(copy);
    if (!d) {
        ::close(copy);
        return false;
    }
    return ListDir(d, entries);
}

int TryLock(Fd fd) {
    if (::flock(static_cast<int>(fd), LOCK_EX | LOCK_NB) == 0) return 1;
    return errno == EWOULDBLOCK ? 0 : -1;
}

std::string TempDirectory() {
    std::error_code ec;
    std::string dir = std::filesystem::temp_directory_path(ec).string();
    if (ec || dir.empty()) return "/tmp";
    if (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    return dir;
}

std::string MakeTempFolder(const std::string& prefix) {
    std::string pattern = prefix + "XXXXXX";
    if (!::mkdtemp(pattern.data())) return "";
    return pattern;
}

Fd MakeTempFile(const std::string& prefix, std::string& path) {
    path = prefix + "XXXXXX";
    const int fd = ::mkostemp(path.data(), O_CLOEXEC);
    if (fd < 0) path.clear();
    return fd;
}

Fd ScratchFile(const std::string& folder) {
    int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0) return fd;
    // File systems without O_TMPFILE: a named file, unlinked at once.
    std::string path;
    fd = static_cast<int>(MakeTempFile(folder + "/quillbook-", path));
    if (fd >= 0) ::unlink(path.c_str());
    return fd;
}

std::string ScratchFileName(Fd fd) { return "/proc/self/fd/" + std::to_string(fd); }

std::string ModulePath(const void* address) {
    Dl_info info{};
    if (!dladdr(address, &info) || !info.dli_fname || !*info.dli_fname) return "";
    std::error_code ec;
    auto p = std::filesystem::canonical(info.dli_fname, ec);
    return ec ? std::string(info.dli_fname) : p.string();
}

void* OpenLibrary(const std::string& path) { return ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL); }
void* LibrarySymbol(void* library, const char* name) { return library ? ::dlsym(library, name) : nullptr; }
void CloseLibrary(void* library) {
    if (library) ::dlclose(library);
}
std::string LibraryError() {
    const char* e = ::dlerror();
    return e ? e : "unknown error";
}
std::string LibraryFileName(const std::string& base) { return "lib" + base + ".so"; }

bool IsExecutable(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

char PathListSeparator() { return ':'; }

bool StdoutIsTerminal() { return ::isatty(STDOUT_FILENO) != 0; }
int ProcessId() { return static_cast<int>(::getpid()); }

int AnsiCodePage() { return 65001; }

void ReturnFreedMemory() { ::malloc_trim(0); }
// The C library's allocator serves small blocks from per-thread caches already.
void PreferSmallBlockHeap() {}

}  // namespace qb::os
