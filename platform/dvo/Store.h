// The database behind a dvo handle: items and files in one SQLite file.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "dvo/Sqlite.h"
#include "support/Os.h"
#include "support/Text.h"

namespace qb::dvo {

inline constexpr int64_t kRootId = 1;
inline constexpr std::string_view kRootPath = "\\Organizer\\data\\";
inline constexpr std::string_view kNoteName = "_~_~_notes.rtf";

// Creates the tables of an empty database and its root item.
void CreateSchema(Connection& conn, std::string_view rootCaption);

class Store;

// What dvo_get_folder hands out: one per item, owned by its Store.
struct Folder {
    Store* store;
    int64_t itemId;
};

struct Entry {
    bool isFolder;
    std::string name;
    std::string caption;
    int64_t size;  // bytes of a file; 0 for a sub-item
};

class Store {
public:
    // Opens an existing database file; throws qb::Error when it is missing or not ours.
    explicit Store(const std::string& fileName);
    ~Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    // Item named by a storage path (trailing "\" optional), if any.
    std::optional<int64_t> FindItem(std::string_view path);
    // File row named by a storage path without trailing "\", if any.
    std::optional<int64_t> FindFile(std::string_view path);

    std::string Caption(int64_t item);
    int64_t ChildCount(int64_t item);
    // Items at every depth below item; safe on any depth. Throws when the item
    // is stored below itself (a parent loop in a tampered file).
    int64_t DescendantCount(int64_t item);
    int64_t FileSize(int64_t fileRow);
    // Items that no chain of parents links to the root (a parent loop or a
    // missing parent): how many, and the first few as (id, name, caption).
    struct Unreachable {
        int64_t count = 0;
        std::vector<std::tuple<int64_t, std::string, std::string>> first;
    };
    Unreachable UnreachableItems(size_t listed);
    // Files in byte order of names, then sub-items in tree order.
    std::vector<Entry> Entries(int64_t item);
    // Streams a stored file to a native path; throws on failure and leaves no partial file.
    void ExportFile(int64_t fileRow, const std::string& destFile);
    // Streams a stored file to an open descriptor; throws on failure.
    void ExportFile(int64_t fileRow, os::Fd fd);
    // Copies the first bytes (at most size) of the stored file into buffer; its whole size.
    int64_t ReadFile(int64_t fileRow, void* buffer, int64_t size);

    // The folder reference of an item; the same pointer on every call.
    Folder* GetFolder(int64_t item);
    const std::map<int64_t, std::unique_ptr<Folder>>& Folders() const { return folders_; }

    // Why the most recent library call on this database failed; "" when it did not.
    std::string lastError;

private:
    // Writes the blob's bytes to fd; the reason of a failure, "" on success.
    std::string CopyBlob(sqlite3_blob* blob, os::Fd fd);
    std::optional<int64_t> Child(int64_t parent, std::string_view name);
    // Item reached by the first count components; reuses the previous look-up's
    // prefix, since callers walk the tree one level at a time.
    std::optional<int64_t> Resolve(const std::vector<std::string_view>& parts, size_t count);
    void ForgetPaths();
    // The statement of sql, prepared once for the store's life (sql is a literal:
    // its address is the key); the caller resets it when done (Reused).
    Statement& Prepared(const char* sql);
    // Components after the root prefix, or nullopt when the path is not below the root.
    static std::optional<std::vector<std::string_view>> Split(std::string_view path);

    Connection conn_;
    // Declared after conn_: finalized before the connection closes.
    std::unique_ptr<Statement> childByName_;
    std::unique_ptr<Statement> dataVersion_;
    std::map<const char*, std::unique_ptr<Statement>> prepared_;
    std::map<int64_t, std::unique_ptr<Folder>> folders_;
    // Last resolved components (lower-cased) and their item ids.
    std::vector<std::string> cachedKeys_;
    std::vector<int64_t> cachedIds_;
    int64_t cachedVersion_ = -1;
};

}  // namespace qb::dvo
