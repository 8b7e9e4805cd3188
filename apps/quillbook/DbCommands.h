// The "db" commands of the command line: build a database file from a folder
// tree, and print a database's item tree.
#pragma once
#include <iosfwd>
#include <string>

namespace qb {

inline constexpr const char* kDbRootPath = "\\Organizer\\data\\";

// `db import SRC DB`: 0 when DB was written, 2 when SRC is no folder, else 1 with the reason on stderr.
// An existing DB that is not a database file is refused unless replace is set.
int CmdDbImport(const std::string& src, const std::string& db);
int CmdDbImport(const std::string& src, const std::string& db, std::ostream& out, std::ostream& err,
                bool replace = false);

// `db tree DB`: prints the items below itemPath (indented by level, storage
// name and caption, then file names and sizes); 0 on success, else 1 with the
// reason on stderr (2 for a missing file or item).
int CmdDbTree(const std::string& db, const std::string& itemPath = kDbRootPath);
int CmdDbTree(const std::string& db, const std::string& itemPath, std::ostream& out, std::ostream& err);

// Says that db holds no item at itemPath, names items of the same name
// elsewhere ("2/3") and points to `db tree`.
std::string NoItemMessage(int db, const std::string& dbFile, const std::string& itemPath);

}  // namespace qb
