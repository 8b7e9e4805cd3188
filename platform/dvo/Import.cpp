#include "dvo/Import.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <utility>
#include <vector>

#include "dvo/Store.h"
#include "support/Os.h"
#include "support/Path.h"
#include "support/Utf.h"

namespace qb::dvo {

namespace {

class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(os::Fd fd) : fd_(fd) {}
    ~UniqueFd() { Close(); }
    UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            Close();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    os::Fd get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }

private:
    void Close() {
        os::Close(fd_);
        fd_ = os::kNoFd;
    }
    os::Fd fd_ = os::kNoFd;
};

std::string Errno() { return os::ErrorText(errno); }

bool IsBlank(unsigned char c) { return c <= 0x20 || c == 0x7F; }

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
    while (!text.empty() && IsBlank(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
    return text;
}

struct Frame {
    std::string name;  // storage name; empty for the root
    int64_t id = 0;
    std::vector<std::string> children;  // sub-folder names in tree order
    size_t next = 0;
    uint64_t dev = 0;
    uint64_t ino = 0;
};

// Walks the folder tree without recursion and with at most two open folders,
// so that very deep trees neither overflow the stack nor exhaust descriptors.
class Importer {
public:
    Importer(const std::string& src, Connection& conn)
        : src_(src),
          conn_(conn),
          insertItem_(conn, "INSERT INTO item(parent, name, name_key, caption, ord) VALUES(?, ?, ?, ?, ?)"),
          insertFile_(conn, "INSERT INTO file(item, name, name_key, size, data) VALUES(?, ?, ?, ?, ?)") {}

    void Run(UniqueFd rootFd) {
        try {
            rootReal_ = RealPath(rootFd.get(), src_);
        } catch (const Error&) {
            // Only needed when a link is met; that link is refused then.
        }
        UniqueFd cur = std::move(rootFd);
        stack_.emplace_back();
        Enter(cur.get(), 0, 0);
        while (!stack_.empty()) {
            Frame& top = stack_.back();
            if (top.next < top.children.size()) {
                const size_t ord = top.next++;
                std::string name = top.children[ord];
                const int64_t parentId = top.id;
                UniqueFd child(os::OpenAt(cur.get(), name, os::kRead | os::kDirectory | os::kNoFollow));
                if (!child.valid()) throw Error("Cannot open folder " + PathOf(name) + ": " + Errno());
                cur = std::move(child);
                stack_.emplace_back();
                stack_.back().name = std::move(name);
                Enter(cur.get(), parentId, static_cast<int64_t>(ord));
            } else {
                if (stack_.size() > 1) {
                    UniqueFd parent(os::OpenAt(cur.get(), "..", os::kRead | os::kDirectory));
                    const Frame& up = stack_[stack_.size() - 2];
                    os::FileInfo st;
                    if (!parent.valid() || !os::Info(parent.get(), st) || st.device != up.dev || st.inode != up.ino)
                        throw Error("Folder moved during import: " + PathOf(""));
                    cur = std::move(parent);
                }
                stack_.pop_back();
            }
        }
    }

private:
    // Where an open file really lies; fallback names the path it was opened by.
    static std::string RealPath(os::Fd fd, const std::string& fallback) {
        std::string path = os::RealPathOf(fd);
        if (path.empty()) path = os::RealPath(fallback);
        if (path.empty()) throw Error("Cannot resolve " + fallback + ": " + Errno());
        return NativePath(path);
    }

    // Opens a file of the folder; a file reached through a link must lie inside
    // the imported tree: the database holds that tree, not what a link points at.
    UniqueFd OpenInsideTree(os::Fd dirFd, const std::string& entry) {
        const unsigned flags = os::kRead | os::kNonBlock;
        UniqueFd fd(os::OpenAt(dirFd, entry, flags | os::kNoFollow));
        if (fd.valid() || errno != ELOOP) return fd;
        fd = UniqueFd(os::OpenAt(dirFd, entry, flags));
        if (fd.valid()) CheckInsideTree(fd.get(), entry);
        return fd;
    }

    void CheckInsideTree(os::Fd fd, const std::string& entry) {
        if (rootReal_.empty())
            throw Error("Cannot tell where the folder tree lies, so the link is refused: " + PathOf(entry));
        const std::string real = RealPath(fd, PathOf(entry));
        const std::string prefix = rootReal_ == "/" ? rootReal_ : rootReal_ + "/";
        if (real.compare(0, prefix.size(), prefix) != 0)
            throw Error("Symbolic link leads outside the folder tree: " + PathOf(entry) + " -> " + real);
    }

    // Native path of an entry of the folder on top of the stack, for messages.
    std::string PathOf(const std::string& entry) const {
        std::string path = src_;
        for (size_t i = 1; i < stack_.size(); ++i) {
            if (path.empty() || path.back() != '/') path += '/';
            path += stack_[i].name;
        }
        if (!entry.empty()) {
            if (path.empty() || path.back() != '/') path += '/';
            path += entry;
        }
        return path;
    }

    // Reads a small metadata file of the current folder; "" when it is absent.
    std::string ReadSmallFile(os::Fd dirFd, const char* name) {
        UniqueFd fd = OpenInsideTree(dirFd, name);
        if (!fd.valid()) {
            if (errno == ENOENT) return {};
            throw Error("Cannot read " + PathOf(name) + ": " + Errno());
        }
        os::FileInfo st;
        if (!os::Info(fd.get(), st) || st.kind != os::Kind::File) throw Error("Not a regular file: " + PathOf(name));
        std::string text;
        char buf[4096];
        while (true) {
            const long long n = os::Read(fd.get(), buf, sizeof buf);
            if (n < 0) throw Error("Cannot read " + PathOf(name) + ": " + Errno());
            if (n == 0) break;
            text.append(buf, static_cast<size_t>(n));
            if (text.size() > (1u << 20)) throw Error("Metadata file too large: " + PathOf(name));
        }
        return text;
    }

    std::string ReadCaption(os::Fd dirFd) {
        std::string text = ReadSmallFile(dirFd, ".caption");
        if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
        std::string_view first(text);
        first = first.substr(0, first.find_first_of("\r\n"));
        first = Trim(first);
        if (!IsValidUtf8(first)) throw Error("Caption is not valid UTF-8: " + PathOf(".caption"));
        return std::string(first);
    }

    void SortChildren(os::Fd dirFd, std::vector<std::string>& children) {
        std::sort(children.begin(), children.end(),
                  [](const std::string& a, const std::string& b) { return NaturalLess(a, b); });
        std::string order = ReadSmallFile(dirFd, ".order");
        if (order.empty()) return;
        std::vector<std::string> listed;
        size_t start = 0;
        while (start <= order.size()) {
            size_t end = order.find('\n', start);
            std::string_view line(order.data() + start, (end == std::string::npos ? order.size() : end) - start);
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            auto it = std::find(children.begin(), children.end(), line);
            if (!line.empty() && it != children.end()) {
                listed.push_back(std::move(*it));
                children.erase(it);
            }
            if (end == std::string::npos) break;
            start = end + 1;
        }
        listed.insert(listed.end(), std::make_move_iterator(children.begin()), std::make_move_iterator(children.end()));
        children = std::move(listed);
    }

    void StoreFile(os::Fd dirFd, const std::string& diskName, const std::string& storedName, int64_t item) {
        UniqueFd fd = OpenInsideTree(dirFd, diskName);
        os::FileInfo st;
        if (!fd.valid() || !os::Info(fd.get(), st)) throw Error("Cannot read " + PathOf(diskName) + ": " + Errno());
        if (st.kind != os::Kind::File) throw Error("Not a regular file: " + PathOf(diskName));
        const int64_t size = static_cast<int64_t>(st.size);
        // SQLite keeps a value within its length limit (1 GB unless built
        // otherwise); a larger file is refused by name rather than by a bind error.
        const int64_t limit = sqlite3_limit(conn_.get(), SQLITE_LIMIT_LENGTH, -1);
        if (size > limit)
            throw Error("Cannot store " + PathOf(diskName) + ": the file has " + std::to_string(size) +
                        " bytes, more than the " + std::to_string(limit) + " bytes the database takes in one file");
        insertFile_.Reset()
            .Bind(1, item)
            .Bind(2, storedName)
            .Bind(3, LowerAscii(storedName))
            .Bind(4, size)
            .BindZeroBlob(5, size);
        try {
            insertFile_.Run();
        } catch (const Error& e) {
            throw Error("Cannot store " + PathOf(diskName) + ": " + e.what());
        }
        const int64_t row = sqlite3_last_insert_rowid(conn_.get());
        sqlite3_blob* blob = nullptr;
        if (sqlite3_blob_open(conn_.get(), "main", "file", "data", row, 1, &blob) != SQLITE_OK) {
            sqlite3_blob_close(blob);
            conn_.Fail("Cannot store " + PathOf(diskName));
        }
        std::unique_ptr<sqlite3_blob, int (*)(sqlite3_blob*)> guard(blob, sqlite3_blob_close);
        std::vector<char> buf(256 * 1024);
        int64_t done = 0;
        while (done < size) {
            const long long n = os::Read(fd.get(), buf.data(), static_cast<size_t>(std::min<int64_t>(size - done, buf.size())));
            if (n < 0) throw Error("Cannot read " + PathOf(diskName) + ": " + Errno());
            if (n == 0) throw Error("File changed during import: " + PathOf(diskName));
            if (sqlite3_blob_write(blob, buf.data(), static_cast<int>(n), static_cast<int>(done)) != SQLITE_OK)
                conn_.Fail("Cannot store " + PathOf(diskName));
            done += n;
        }
    }

    // Stores the folder on top of the stack (already open as dirFd) with its files,
    // and lists its sub-folders in tree order.
    void Enter(os::Fd dirFd, int64_t parentId, int64_t ord) {
        Frame& frame = stack_.back();
        os::FileInfo self;
        if (!os::Info(dirFd, self)) throw Error("Cannot read folder " + PathOf("") + ": " + Errno());
        frame.dev = self.device;
        frame.ino = self.inode;

        std::vector<std::string> names = ListFolder(dirFd);
        std::sort(names.begin(), names.end());

        std::string caption = ReadCaption(dirFd);
        if (stack_.size() == 1) {
            Statement root(conn_, "UPDATE item SET caption = ? WHERE id = ?");
            root.Bind(1, caption).Bind(2, kRootId).Run();
            frame.id = kRootId;
        } else {
            insertItem_.Reset()
                .Bind(1, parentId)
                .Bind(2, frame.name)
                .Bind(3, LowerAscii(frame.name))
                .Bind(4, caption.empty() ? frame.name : caption)
                .Bind(5, ord)
                .Run();
            frame.id = sqlite3_last_insert_rowid(conn_.get());
        }

        std::map<std::string, std::string> fileKeys, folderKeys;  // lower-cased name -> name on disk
        std::vector<std::pair<std::string, std::string>> files;   // name on disk, stored name
        for (const std::string& name : names) {
            if (name.empty() || name[0] == '.') continue;
            std::string reason = UnsafeNameReason(name);
            if (!reason.empty()) throw Error("Name cannot be stored (" + reason + "): " + PathOf(name));
            os::FileInfo st;
            if (!os::InfoAt(dirFd, name, st, false)) throw Error("Cannot read " + PathOf(name) + ": " + Errno());
            bool isFolder = st.kind == os::Kind::Folder;
            if (st.kind == os::Kind::Link) {
                // A linked file is stored by content; a linked folder could loop or leave the tree.
                if (!os::InfoAt(dirFd, name, st, true) || st.kind != os::Kind::File)
                    throw Error("Symbolic link to something other than a file: " + PathOf(name));
            } else if (!isFolder && st.kind != os::Kind::File) {
                throw Error("Neither a file nor a folder: " + PathOf(name));
            }
            if (isFolder) {
                auto [it, added] = folderKeys.emplace(LowerAscii(name), name);
                if (!added)
                    throw Error("Folder names differ only in letter case: " + PathOf(it->second) + " and " +
                                PathOf(name));
                frame.children.push_back(name);
            } else {
                std::string stored = LowerAscii(name) == kNoteName ? std::string(kNoteName) : name;
                auto [it, added] = fileKeys.emplace(LowerAscii(stored), name);
                if (!added)
                    throw Error("File names differ only in letter case: " + PathOf(it->second) + " and " +
                                PathOf(name));
                files.emplace_back(name, stored);
            }
        }
        for (const auto& [disk, stored] : files) StoreFile(dirFd, disk, stored, frame.id);
        SortChildren(dirFd, frame.children);
    }

    std::vector<std::string> ListFolder(os::Fd dirFd) {
        std::vector<os::Entry> entries;
        errno = 0;
        if (!os::ListFolderAt(dirFd, entries)) throw Error("Cannot list folder " + PathOf("") + ": " + Errno());
        std::vector<std::string> names;
        for (auto& e : entries) names.push_back(std::move(e.name));
        return names;
    }

    std::string src_;
    std::string rootReal_;  // where the source folder really lies
    Connection& conn_;
    Statement insertItem_;
    Statement insertFile_;
    std::vector<Frame> stack_;
};

// Removes the temporary database unless it was renamed into place.
struct TempFile {
    std::string path;
    bool keep = false;
    ~TempFile() {
        if (!keep && !path.empty()) {
            os::RemoveFile(path);
            os::RemoveFile(path + "-journal");
        }
    }
};

}  // namespace

std::string UnsafeNameReason(std::string_view name) {
    if (name.empty()) return "empty name";
    if (name == "." || name == "..") return "reserved name";
    if (!IsValidUtf8(name)) return "not valid UTF-8";
    for (size_t i = 0; i < name.size(); ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        if (c == '\\') return "contains a backslash";
        if (c == '/') return "contains a slash";
        if (c < 0x20 || c == 0x7F) return "contains a control character";
        // U+0080..U+009F, the C1 controls, are C2 80..C2 9F in UTF-8.
        if (c == 0xC2 && i + 1 < name.size() && static_cast<unsigned char>(name[i + 1]) <= 0x9F)
            return "contains a control character";
    }
    return {};
}

bool NaturalLess(std::string_view a, std::string_view b) {
    auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            size_t ie = i, je = j;
            while (ie < a.size() && isDigit(a[ie])) ++ie;
            while (je < b.size() && isDigit(b[je])) ++je;
            std::string_view na = a.substr(i, ie - i), nb = b.substr(j, je - j);
            while (na.size() > 1 && na[0] == '0') na.remove_prefix(1);
            while (nb.size() > 1 && nb[0] == '0') nb.remove_prefix(1);
            if (na.size() != nb.size()) return na.size() < nb.size();
            if (na != nb) return na < nb;
            i = ie;
            j = je;
        } else {
            if (a[i] != b[j]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
            ++i;
            ++j;
        }
    }
    if ((i < a.size()) != (j < b.size())) return j < b.size();
    return a < b;  // equal by value ("02" and "2"): byte order keeps the sort strict
}

void ImportFolder(const std::string& srcFolder, const std::string& dbFile) {
    if (srcFolder.empty()) throw Error("No source folder given");
    if (dbFile.empty()) throw Error("No database file given");
    UniqueFd root(os::Open(srcFolder, os::kRead | os::kNonBlock));
    if (!root.valid()) throw Error("Cannot open folder " + srcFolder + ": " + Errno());
    os::FileInfo st;
    if (!os::Info(root.get(), st) || st.kind != os::Kind::Folder) throw Error("Not a folder: " + srcFolder);
    if (os::FileInfo dest; os::PathInfo(dbFile, dest, true) && dest.kind == os::Kind::Folder)
        throw Error("Cannot replace a folder with a database file: " + dbFile);

    // The temporary name starts with "." so that a database written inside
    // the source tree is never imported into itself.
    std::filesystem::path target = FsPath(dbFile);
    std::filesystem::path dir = target.parent_path();
    const std::string prefix =
        (dir.empty() ? std::string() : Utf8Of(dir) + "/") + "." + Utf8Of(target.filename()) + ".";
    TempFile temp;
    {
        std::string name;
        const os::Fd fd = os::MakeTempFile(prefix, name);
        if (fd < 0) throw Error("Cannot create " + dbFile + ": " + Errno());
        os::SetMode(fd, 0644);
        os::Close(fd);
        temp.path = name;
    }
    {
        Connection conn(temp.path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX);
        conn.Exec("PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF; PRAGMA page_size = 8192;");
        Transaction tx(conn);
        CreateSchema(conn, "");
        Importer(srcFolder, conn).Run(std::move(root));
        tx.Commit();
    }
    {
        UniqueFd fd(os::Open(temp.path, os::kRead | os::kWrite));
        if (!fd.valid() || !os::Sync(fd.get())) throw Error("Cannot write " + dbFile + ": " + Errno());
    }
    if (!os::AtomicReplace(temp.path, dbFile)) throw Error("Cannot write " + dbFile + ": " + Errno());
    temp.keep = true;
}

}  // namespace qb::dvo
