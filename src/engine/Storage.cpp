#include "engine/Storage.h"


#include <algorithm>

#include "Utils/FileSys.h"
#include "Utils/Utils.h"
#include "dvo/dvo.h"
#include "engine/Options.h"
#include "support/Error.h"
#include "support/Os.h"

namespace qb {
namespace {

// The storage library speaks the system's ANSI code page (UTF-8 on Linux);
// inside, every text is UTF-8.
std::string Ansi(const std::string& utf8) { return os::ToAnsi(utf8); }
std::string Utf8(const char* ansi) { return ansi ? os::FromAnsi(ansi) : std::string(); }

int CollectEntry(unsigned char isFolder, const char* name, const char* caption, int value, void* userData) {
    auto* list = static_cast<std::vector<TDVO_ENUM_DATA>*>(userData);
    list->push_back({Utf8(name), Utf8(caption), value, isFolder != 0});
    return 1;
}

// Every read that meets a database error raises it with SQLite's reason, so a
// damaged or locked file never passes for an empty tree.
void Check(int db, const std::string& path) {
    const char* e = dvo_db_last_error(db);
    if (e && *e) throw Error("Cannot read \"" + path + "\" from the database: " + Utf8(e));
}

// A function of the storage library that the host's own library may lack; null then.
void* LibrarySymbol(const char* name) {
    const std::string file = os::ModulePath(reinterpret_cast<const void*>(&dvo_open));
    if (file.empty()) return nullptr;
    void* lib = os::OpenLibrary(file);
    if (!lib) return nullptr;
    void* symbol = os::LibrarySymbol(lib, name);
    // The library stays loaded by the process's own link to it.
    os::CloseLibrary(lib);
    return symbol;
}

class DvoStorage : public IStorage {
public:
    std::string GetHint(int db, const std::string& path) override {
        std::string hint = Utf8(dvo_get_hint(db, Ansi(path).c_str()));
        Check(db, path);
        return hint;
    }
    int GetFolderCount(int db, const std::string& path, int depth) override {
        const int n = dvo_get_foldercount(db, Ansi(path).c_str(), depth);
        Check(db, path);
        return n;
    }
    int CountAllSubItems(int db, const std::string& path) override {
        void* folder = dvo_get_folder(db, Ansi(path).c_str(), 0);
        Check(db, path);
        const int n = dvo_folder_subfoldercount(folder, 1);
        Check(db, path);
        return n;
    }
    void EnumEntries(int db, const std::string& path, std::vector<TDVO_ENUM_DATA>& entries) override {
        dvo_enum_entries(db, Ansi(path).c_str(), &CollectEntry, 0, &entries);
        Check(db, path);
    }
    bool PathExists(int db, const std::string& path) override {
        const bool exists = dvo_path_exists(db, Ansi(path).c_str()) != 0;
        Check(db, path);
        return exists;
    }
    bool ExportFile(int db, const std::string& path, const std::string& destFile) override {
        const bool written = dvo_export_file(db, Ansi(path).c_str(), Ansi(fs::ExpandFileName(destFile)).c_str()) != 0;
        if (!written) {
            const char* e = dvo_db_last_error(db);
            if (e && *e) throw Error(Utf8(e));
        }
        return written;
    }
    bool ExportFileTo(int db, const std::string& path, os::Fd fd, const std::string& destName) override {
        // The host's own library writes only to a path; ours also to a descriptor.
        using ExportFd = int (*)(int, const char*, std::intptr_t);
        static const auto toFd = reinterpret_cast<ExportFd>(LibrarySymbol("dvo_export_file_fd"));
        if (!toFd) return IStorage::ExportFileTo(db, path, fd, destName);
        const bool written = toFd(db, path.c_str(), fd) != 0;
        if (!written) {
            const char* e = dvo_db_last_error(db);
            if (e && *e) throw Error("Cannot write file \"" + NativePath(destName) + "\": " + e);
        }
        return written;
    }
    bool ReadFile(int db, const std::string& path, std::string& data, std::size_t sizeHint) override {
        // Straight from the database: a scratch file per note costs the file system more than the conversion.
        data.resize(sizeHint);
        long long size = dvo_read_file(db, Ansi(path).c_str(), data.data(), static_cast<long long>(data.size()));
        if (size > static_cast<long long>(data.size())) {
            data.resize(static_cast<std::size_t>(size));
            size = dvo_read_file(db, Ansi(path).c_str(), data.data(), static_cast<long long>(data.size()));
        }
        Check(db, path);
        data.resize(size > 0 ? std::min(static_cast<std::size_t>(size), data.size()) : 0);
        return size >= 0;
    }
    std::string UnreachableItems(int db) override {
        using Unreachable = const char* (*)(int);
        static const auto find = reinterpret_cast<Unreachable>(LibrarySymbol("dvo_unreachable_items"));
        if (!find) return "";
        const char* text = find(db);
        std::string lost = text ? std::string(text) : std::string();
        Check(db, "\\Organizer\\data\\");
        return lost;
    }
    std::uintptr_t ItemKey(int db, const std::string& path) override {
        void* folder = dvo_get_folder(db, Ansi(path).c_str(), 0);
        Check(db, path);
        return reinterpret_cast<std::uintptr_t>(folder);
    }
};

}  // namespace

bool IStorage::ExportFileTo(int db, const std::string& path, os::Fd fd, const std::string& destName) {
    // The scratch file has no name another program could put a link at.
    const fs::ScratchFile scratch;
    if (!ExportFile(db, path, scratch.Path())) return false;
    fs::CopyToDescriptor(scratch.Path(), fd, NativePath(destName));
    return true;
}

bool IStorage::ReadFile(int db, const std::string& path, std::string& data, std::size_t /*sizeHint*/) {
    const fs::ScratchFile scratch;
    data.clear();
    if (!ExportFile(db, path, scratch.Path())) return false;
    data = LoadTextFile(scratch.Path());
    return true;
}

IStorage& LibraryStorage() {
    // Stateless: every call goes to the library with its own handle.
    static DvoStorage dvo;
    return dvo;
}

IStorage& Storage(const TParameters& job) { return job.Store ? *job.Store : LibraryStorage(); }

}  // namespace qb
