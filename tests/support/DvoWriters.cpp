#include "tests/support/DvoWriters.h"

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <vector>

namespace qbtest {

namespace {

constexpr const char* kRootPath = "\\Organizer\\data\\";
constexpr std::int64_t kRootId = 1;

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

class Db {
public:
    explicit Db(const std::string& file) {
        if (sqlite3_open_v2(file.c_str(), &conn_, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
            sqlite3_close(conn_);
            conn_ = nullptr;
        }
    }
    ~Db() { sqlite3_close(conn_); }
    Db(const Db&) = delete;
    Db& operator=(const Db&) = delete;
    sqlite3* get() const { return conn_; }

private:
    sqlite3* conn_ = nullptr;
};

class Stmt {
public:
    Stmt(sqlite3* conn, const char* sql) { sqlite3_prepare_v2(conn, sql, -1, &st_, nullptr); }
    ~Stmt() { sqlite3_finalize(st_); }
    Stmt(const Stmt&) = delete;
    Stmt& operator=(const Stmt&) = delete;
    Stmt& Int(int i, std::int64_t v) {
        sqlite3_bind_int64(st_, i, v);
        return *this;
    }
    Stmt& Text(int i, const std::string& v) {
        sqlite3_bind_text(st_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Stmt& Blob(int i, const std::string& v) {
        sqlite3_bind_blob(st_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
        return *this;
    }
    int Step() { return st_ ? sqlite3_step(st_) : SQLITE_ERROR; }
    std::int64_t Column(int i) { return sqlite3_column_int64(st_, i); }

private:
    sqlite3_stmt* st_ = nullptr;
};

// The item a storage path names, walked from the root one name at a time.
std::optional<std::int64_t> FindItem(sqlite3* conn, const std::string& path) {
    const std::string root = kRootPath;
    if (Lower(path.substr(0, root.size())) != Lower(root) && Lower(path + "\\") != Lower(root)) return std::nullopt;
    std::int64_t id = kRootId;
    std::size_t pos = root.size();
    while (pos < path.size()) {
        std::size_t end = path.find('\\', pos);
        if (end == std::string::npos) end = path.size();
        Stmt child(conn, "SELECT id FROM item WHERE parent = ? AND name_key = ? AND id <> parent");
        child.Int(1, id).Text(2, Lower(path.substr(pos, end - pos)));
        if (child.Step() != SQLITE_ROW) return std::nullopt;
        id = child.Column(0);
        pos = end + 1;
    }
    return id;
}

}  // namespace

bool AddStoredItem(const std::string& dbFile, const std::string& parentPath, const std::string& name,
                   const std::string& caption) {
    Db db(dbFile);
    if (!db.get()) return false;
    const auto parent = FindItem(db.get(), parentPath);
    if (!parent) return false;
    Stmt st(db.get(),
            "INSERT INTO item(parent, name, name_key, caption, ord)"
            " SELECT ?1, ?2, ?3, ?4, coalesce(max(ord), -1) + 1 FROM item WHERE parent = ?1");
    st.Int(1, *parent).Text(2, name).Text(3, Lower(name)).Text(4, caption);
    return st.Step() == SQLITE_DONE;
}

bool AddStoredFile(const std::string& dbFile, const std::string& itemPath, const std::string& name,
                   const std::string& bytes) {
    Db db(dbFile);
    if (!db.get()) return false;
    const auto item = FindItem(db.get(), itemPath);
    if (!item) return false;
    Stmt st(db.get(), "INSERT OR REPLACE INTO file(item, name, name_key, size, data) VALUES(?, ?, ?, ?, ?)");
    st.Int(1, *item).Text(2, name).Text(3, Lower(name)).Int(4, static_cast<std::int64_t>(bytes.size())).Blob(5, bytes);
    return st.Step() == SQLITE_DONE;
}

std::string RunSql(const std::string& dbFile, const std::string& sql) {
    sqlite3* conn = nullptr;
    if (sqlite3_open(dbFile.c_str(), &conn) != SQLITE_OK) {
        const std::string message = conn ? sqlite3_errmsg(conn) : "cannot open " + dbFile;
        sqlite3_close(conn);
        return message;
    }
    char* err = nullptr;
    const int rc = sqlite3_exec(conn, sql.c_str(), nullptr, nullptr, &err);
    std::string message = rc == SQLITE_OK ? "" : err ? err : sqlite3_errstr(rc);
    sqlite3_free(err);
    sqlite3_close(conn);
    return message;
}

}  // namespace qbtest
