// Writers for tests: they put names into a database file exactly as given,
// also names the importer refuses ("..", "a/b", control characters), so tests
// can check that the readers cope with them. The storage library itself has
// no writer; no handle may be open on the file while these run.
#pragma once
#include <string>

namespace qbtest {

// Appends a sub-item as the last child of the item at parentPath; false when
// the parent does not exist or a sibling has the same name (ASCII case ignored).
bool AddStoredItem(const std::string& dbFile, const std::string& parentPath, const std::string& name,
                   const std::string& caption);

// Stores a file in the item at itemPath, replacing one of the same name; false
// when the item does not exist.
bool AddStoredFile(const std::string& dbFile, const std::string& itemPath, const std::string& name,
                   const std::string& bytes);

// Runs SQL on the database file as a user with the sqlite3 shell would; "" or SQLite's message.
std::string RunSql(const std::string& dbFile, const std::string& sql);

}  // namespace qbtest
