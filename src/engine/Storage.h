#pragma once
// The engine's view of the host storage library, replaceable by a test double.
// The library's own implementation raises qb::Error when a read meets a database error.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "support/Os.h"

namespace qb {

// One enumerated entry of an item's folder.
struct TDVO_ENUM_DATA {
    std::string Name;
    std::string Caption;
    int Value = 0;
    bool IsFolder = false;
};

class IStorage {
public:
    virtual ~IStorage() = default;
    virtual std::string GetHint(int db, const std::string& path) = 0;
    virtual int GetFolderCount(int db, const std::string& path, int depth) = 0;
    // dvo_get_folder followed by dvo_folder_subfoldercount(folder, 1).
    virtual int CountAllSubItems(int db, const std::string& path) = 0;
    virtual void EnumEntries(int db, const std::string& path, std::vector<TDVO_ENUM_DATA>& entries) = 0;
    virtual bool PathExists(int db, const std::string& path) = 0;
    // Writes the stored file to a disk path (may use "\"); false when nothing is
    // stored there; raises qb::Error naming the file and the reason when it cannot be written.
    virtual bool ExportFile(int db, const std::string& path, const std::string& destFile) = 0;
    // Writes the stored file's bytes to the open descriptor fd (the file named
    // destName); false when nothing is stored there; raises qb::Error like
    // ExportFile. This one has ExportFile write an unnamed scratch file and copies that.
    virtual bool ExportFileTo(int db, const std::string& path, os::Fd fd, const std::string& destName);
    // The stored file's bytes into data (sizeHint: its size if known); false when
    // nothing is stored there. This one goes through ExportFile and a scratch file.
    virtual bool ReadFile(int db, const std::string& path, std::string& data, std::size_t sizeHint = 0);
    // Which items no chain of parents links to the database root, as text;
    // "" when none is, or when the library cannot tell.
    virtual std::string UnreachableItems(int) { return ""; }
    // Identity of the item at path, the same whatever path reaches it; 0 when unknown.
    virtual std::uintptr_t ItemKey(int, const std::string&) { return 0; }
};

struct TParameters;

// The host storage library libdvo; it keeps no state of its own.
IStorage& LibraryStorage();
// The storage library with the functions beyond its seven operations taken from
// lookup (nullptr: the library lacks it); LibraryStorage() looks them up in the
// loaded library.
std::unique_ptr<IStorage> MakeLibraryStorage(const std::function<void*(const char* name)>& lookup);
// The job's storage: the one its run was given, else the library.
IStorage& Storage(const TParameters& job);

}  // namespace qb
