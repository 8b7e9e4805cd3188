#include "dvo/Store.h"

#include "support/Os.h"


#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

namespace qb::dvo {

namespace {

constexpr int kFormatVersion = 1;

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && LowerAscii(text.substr(0, prefix.size())) == LowerAscii(prefix);
}

// Closes a blob handle on every way out.
struct BlobCloser {
    void operator()(sqlite3_blob* blob) const { sqlite3_blob_close(blob); }
};

// The stored bytes of a file row, opened for reading; throws on failure.
std::unique_ptr<sqlite3_blob, BlobCloser> OpenBlob(Connection& conn, int64_t fileRow) {
    sqlite3_blob* raw = nullptr;
    if (sqlite3_blob_open(conn.get(), "main", "file", "data", fileRow, 0, &raw) != SQLITE_OK) {
        sqlite3_blob_close(raw);
        conn.Fail("Cannot read stored file");
    }
    return std::unique_ptr<sqlite3_blob, BlobCloser>(raw);
}


// A stored name the path syntax cannot carry ("\" separates components, NUL
// ends a C text, an empty name is no component) is reported as a made-safe
// name that still finds its row: bad bytes become "_", and "~" + the row id
// keeps it apart from its siblings.
bool NeedsSafeName(std::string_view name) {
    return name.empty() || name.find_first_of(std::string_view("\\\0", 2)) != std::string_view::npos;
}

std::string SafeStoredName(std::string_view name, int64_t row) {
    std::string safe(name);
    for (char& c : safe)
        if (c == '\\' || c == '\0') c = '_';
    return safe + "~" + std::to_string(row);
}

// The row a made-safe name points at, when it has the shape of one.
std::optional<int64_t> SafeNameRow(std::string_view name) {
    const size_t tilde = name.rfind('~');
    if (tilde == std::string_view::npos || tilde + 1 >= name.size() || name.size() - tilde > 19) return std::nullopt;
    int64_t row = 0;
    for (char c : name.substr(tilde + 1)) {
        if (c < '0' || c > '9') return std::nullopt;
        row = row * 10 + (c - '0');
    }
    return row;
}

std::string ShownName(std::string name, int64_t row) { return NeedsSafeName(name) ? SafeStoredName(name, row) : name; }

// Whether stored is the row's name that the made-safe name stands for.
bool IsSafeNameOf(std::string_view stored, std::string_view asked, int64_t row) {
    return NeedsSafeName(stored) && LowerAscii(SafeStoredName(stored, row)) == LowerAscii(asked);
}

}  // namespace

void CreateSchema(Connection& conn, std::string_view rootCaption) {
    conn.Exec(
        "CREATE TABLE dvo_format(version INTEGER NOT NULL);"
        "CREATE TABLE item(id INTEGER PRIMARY KEY, parent INTEGER, name TEXT NOT NULL,"
        " name_key TEXT NOT NULL, caption TEXT NOT NULL, ord INTEGER NOT NULL);"
        "CREATE UNIQUE INDEX item_by_name ON item(parent, name_key);"
        "CREATE INDEX item_by_order ON item(parent, ord);"
        "CREATE TABLE file(item INTEGER NOT NULL, name TEXT NOT NULL, name_key TEXT NOT NULL,"
        " size INTEGER NOT NULL, data BLOB NOT NULL);"
        "CREATE UNIQUE INDEX file_by_name ON file(item, name_key);");
    Statement version(conn, "INSERT INTO dvo_format(version) VALUES(?)");
    version.Bind(1, kFormatVersion).Run();
    Statement root(conn, "INSERT INTO item(id, parent, name, name_key, caption, ord) VALUES(?, NULL, '', '', ?, 0)");
    root.Bind(1, kRootId).Bind(2, rootCaption).Run();
}

Store::Store(const std::string& fileName)
    : conn_(fileName, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX)  // never creates a file
{
    try {
        Statement version(conn_, "SELECT version FROM dvo_format");
        if (!version.Step() || version.Int(0) != kFormatVersion) throw Error("");
    } catch (const Error&) {
        // A locked, unreadable or damaged file is not a foreign one: say why.
        const int code = sqlite3_errcode(conn_.get()) & 0xFF;
        if (code != SQLITE_OK && code != SQLITE_ERROR && code != SQLITE_NOTADB && code != SQLITE_DONE &&
            code != SQLITE_ROW)
            throw Error("Cannot read database " + fileName + ": " + sqlite3_errmsg(conn_.get()));
        throw Error("Not an outliner database file: " + fileName);
    }
    // The host keeps the file while it runs; taking the file lock once instead
    // of once per query makes a large export several times faster.
    Statement(conn_, "PRAGMA locking_mode = EXCLUSIVE").Step();
    childByName_ = std::make_unique<Statement>(conn_, "SELECT id FROM item WHERE parent = ? AND name_key = ?");
    dataVersion_ = std::make_unique<Statement>(conn_, "PRAGMA data_version");
}

Store::~Store() = default;

std::optional<std::vector<std::string_view>> Store::Split(std::string_view path) {
    std::string_view rootNoSlash = kRootPath.substr(0, kRootPath.size() - 1);
    if (path.size() == rootNoSlash.size() && StartsWithNoCase(path, rootNoSlash))
        return std::vector<std::string_view>{};
    if (!StartsWithNoCase(path, kRootPath)) return std::nullopt;
    std::string_view rest = path.substr(kRootPath.size());
    std::vector<std::string_view> parts;
    if (rest.empty()) return parts;
    if (rest.back() == '\\') rest.remove_suffix(1);
    size_t start = 0;
    while (true) {
        size_t end = rest.find('\\', start);
        parts.push_back(rest.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    return parts;
}

namespace {

// A kept statement in use: reset at the end of the use, so that no read stays
// open between the library's calls.
struct Reused {
    Statement& st;
    ~Reused() { st.Reset(); }
};

}  // namespace

Statement& Store::Prepared(const char* sql) {
    auto& slot = prepared_[sql];
    if (!slot) slot = std::make_unique<Statement>(conn_, sql);
    return slot->Reset();
}

std::optional<int64_t> Store::Child(int64_t parent, std::string_view name) {
    childByName_->Reset().Bind(1, parent).Bind(2, LowerAscii(name));
    std::optional<int64_t> id;
    if (childByName_->Step()) id = childByName_->Int(0);
    childByName_->Reset();
    if (id) return id;
    if (auto row = SafeNameRow(name)) {
        Statement st(conn_, "SELECT name FROM item WHERE id = ? AND parent = ? AND id <> parent");
        st.Bind(1, *row).Bind(2, parent);
        if (st.Step() && IsSafeNameOf(st.Text(0), name, *row)) return row;
    }
    return std::nullopt;
}

void Store::ForgetPaths() {
    cachedKeys_.clear();
    cachedIds_.clear();
}

std::optional<int64_t> Store::Resolve(const std::vector<std::string_view>& parts, size_t count) {
    // Another connection's commit may have moved items: start afresh then.
    dataVersion_->Reset();
    const int64_t version = dataVersion_->Step() ? dataVersion_->Int(0) : -1;
    dataVersion_->Reset();
    if (version != cachedVersion_) {
        ForgetPaths();
        cachedVersion_ = version;
    }
    size_t same = 0;
    while (same < count && same < cachedKeys_.size() && LowerAscii(parts[same]) == cachedKeys_[same]) ++same;
    cachedKeys_.resize(same);
    cachedIds_.resize(same);
    int64_t id = same == 0 ? kRootId : cachedIds_.back();
    for (size_t i = same; i < count; ++i) {
        auto child = Child(id, parts[i]);
        if (!child) return std::nullopt;
        id = *child;
        cachedKeys_.push_back(LowerAscii(parts[i]));
        cachedIds_.push_back(id);
    }
    return id;
}

std::optional<int64_t> Store::FindItem(std::string_view path) {
    auto parts = Split(path);
    if (!parts) return std::nullopt;
    return Resolve(*parts, parts->size());
}

std::optional<int64_t> Store::FindFile(std::string_view path) {
    if (path.empty() || path.back() == '\\') return std::nullopt;
    auto parts = Split(path);
    if (!parts || parts->empty()) return std::nullopt;
    auto id = Resolve(*parts, parts->size() - 1);
    if (!id) return std::nullopt;
    {
        Reused file{Prepared("SELECT rowid FROM file WHERE item = ? AND name_key = ?")};
        file.st.Bind(1, *id).Bind(2, LowerAscii(parts->back()));
        if (file.st.Step()) return file.st.Int(0);
    }
    if (auto row = SafeNameRow(parts->back())) {
        Statement st(conn_, "SELECT name FROM file WHERE rowid = ? AND item = ?");
        st.Bind(1, *row).Bind(2, *id);
        if (st.Step() && IsSafeNameOf(st.Text(0), parts->back(), *row)) return row;
    }
    return std::nullopt;
}

std::string Store::Caption(int64_t item) {
    Reused q{Prepared("SELECT caption FROM item WHERE id = ?")};
    q.st.Bind(1, item);
    return q.st.Step() ? q.st.Text(0) : std::string();
}

int64_t Store::ChildCount(int64_t item) {
    Reused q{Prepared("SELECT count(*) FROM item WHERE parent = ?")};
    q.st.Bind(1, item);
    return q.st.Step() ? q.st.Int(0) : 0;
}

int64_t Store::DescendantCount(int64_t item) {
    // UNION (not UNION ALL) so that a tampered file with a parent cycle still ends.
    // Each item has one parent, so a cycle reachable from the item runs through it.
    Statement st(conn_,
                 "WITH RECURSIVE below(id) AS ("
                 " SELECT id FROM item WHERE parent = ?1 AND id <> ?1"
                 " UNION SELECT item.id FROM item JOIN below ON item.parent = below.id)"
                 " SELECT count(*), coalesce(max(id = ?1), 0) FROM below");
    st.Bind(1, item);
    if (!st.Step()) return 0;
    if (st.Int(1) != 0) {
        Statement name(conn_, "SELECT name FROM item WHERE id = ?");
        name.Bind(1, item);
        const std::string what = item == kRootId ? std::string("the root item")
                                                 : "item \"" + (name.Step() ? name.Text(0) : std::string()) + "\"";
        throw Error("The item tree loops: " + what + " is stored below itself");
    }
    return st.Int(0);
}

Store::Unreachable Store::UnreachableItems(size_t listed) {
    static constexpr const char* kReach =
        "WITH RECURSIVE reach(id) AS (SELECT ?1 UNION SELECT item.id FROM item JOIN reach ON item.parent = reach.id) ";
    Unreachable result;
    const std::string countSql = std::string(kReach) + "SELECT count(*) FROM item WHERE id NOT IN reach";
    Statement count(conn_, countSql.c_str());
    count.Bind(1, kRootId);
    if (count.Step()) result.count = count.Int(0);
    if (result.count == 0) return result;
    const std::string firstSql =
        std::string(kReach) + "SELECT id, name, caption FROM item WHERE id NOT IN reach ORDER BY id LIMIT ?2";
    Statement first(conn_, firstSql.c_str());
    first.Bind(1, kRootId).Bind(2, static_cast<int64_t>(listed));
    while (first.Step()) result.first.emplace_back(first.Int(0), first.Text(1), first.Text(2));
    return result;
}

int64_t Store::FileSize(int64_t fileRow) {
    Reused q{Prepared("SELECT size FROM file WHERE rowid = ?")};
    q.st.Bind(1, fileRow);
    return q.st.Step() ? q.st.Int(0) : -1;
}

std::vector<Entry> Store::Entries(int64_t item) {
    std::vector<Entry> entries;
    {
        Reused files{Prepared("SELECT name, size, rowid FROM file WHERE item = ? ORDER BY name")};
        files.st.Bind(1, item);
        while (files.st.Step())
            entries.push_back({false, ShownName(files.st.Text(0), files.st.Int(2)), std::string(), files.st.Int(1)});
    }
    Reused items{Prepared("SELECT name, caption, id FROM item WHERE parent = ? AND id <> ? ORDER BY ord, id")};
    items.st.Bind(1, item).Bind(2, item);
    while (items.st.Step())
        entries.push_back({true, ShownName(items.st.Text(0), items.st.Int(2)), items.st.Text(1), 0});
    return entries;
}

void Store::ExportFile(int64_t fileRow, const std::string& destFile) {
    const auto blob = OpenBlob(conn_, fileRow);
    const os::Fd fd = os::Open(destFile, os::kWrite | os::kCreate | os::kTruncate);
    if (fd < 0) throw Error("Cannot create " + destFile + ": " + os::ErrorText(errno));
    const std::string reason = CopyBlob(blob.get(), fd);
    os::Close(fd);
    if (!reason.empty()) {
        // A half-written copy would pass for the real file; callers expect a missing target.
        os::RemoveFile(destFile);
        throw Error("Cannot write " + destFile + ": " + reason);
    }
}

void Store::ExportFile(int64_t fileRow, os::Fd fd) {
    const auto blob = OpenBlob(conn_, fileRow);
    const std::string reason = CopyBlob(blob.get(), fd);
    if (!reason.empty()) throw Error(reason);
}

std::string Store::CopyBlob(sqlite3_blob* blob, os::Fd fd) {
    const int total = sqlite3_blob_bytes(blob);
    std::string buffer(64 * 1024, '\0');
    for (int offset = 0; offset < total;) {
        int n = std::min<int>(static_cast<int>(buffer.size()), total - offset);
        if (sqlite3_blob_read(blob, buffer.data(), n, offset) != SQLITE_OK) return sqlite3_errmsg(conn_.get());
        if (!os::WriteAll(fd, buffer.data(), static_cast<size_t>(n))) return os::ErrorText(errno);
        offset += n;
    }
    return "";
}

int64_t Store::ReadFile(int64_t fileRow, void* buffer, int64_t size) {
    const auto blob = OpenBlob(conn_, fileRow);
    const int total = sqlite3_blob_bytes(blob.get());
    const int n = static_cast<int>(std::min<int64_t>(size, total));
    if (buffer && n > 0 && sqlite3_blob_read(blob.get(), buffer, n, 0) != SQLITE_OK)
        conn_.Fail("Cannot read stored file");
    return total;
}

Folder* Store::GetFolder(int64_t item) {
    auto& slot = folders_[item];
    if (!slot) slot = std::make_unique<Folder>(Folder{this, item});
    return slot.get();
}

}  // namespace qb::dvo
