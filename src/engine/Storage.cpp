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

// The host's own library has only the seven operations; what ours adds is
// looked up at run time, so the module loads against either.
using TDbLastError = const char* (*)(int db);
using TReadFile = long long (*)(int db, const char* path, void* buffer, long long bufferSize);
using TExportFileFd = int (*)(int db, const char* path, std::intptr_t fd);
using TUnreachableItems = const char* (*)(int db);

class DvoStorage : public IStorage {
public:
    explicit DvoStorage(const std::function<void*(const char*)>& lookup)
        : lastError_(reinterpret_cast<TDbLastError>(lookup("dvo_db_last_error"))),
          readFile_(reinterpret_cast<TReadFile>(lookup("dvo_read_file"))),
          exportFileFd_(reinterpret_cast<TExportFileFd>(lookup("dvo_export_file_fd"))),
          unreachableItems_(reinterpret_cast<TUnreachableItems>(lookup("dvo_unreachable_items"))) {}

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
        // A "?" in place of a character the code page lacks would name another file, or none.
        std::string dest = fs::ExpandFileName(destFile);
        const int codePage = os::AnsiCodePage();
        if (codePage != 65001 && !os::ToCodePageExactly(fs::ExpandFileName(destFile), codePage, dest))
            throw Error("Cannot write file \"" + NativePath(destFile) + "\": the storage library takes names in the ANSI code page " +
                        std::to_string(codePage) + ", which cannot hold this one");
        const bool written = dvo_export_file(db, Ansi(path).c_str(), dest.c_str()) != 0;
        if (!written && lastError_) {
            const char* e = lastError_(db);
            if (e && *e) throw Error(Utf8(e));
        }
        return written;
    }
    bool ExportFileTo(int db, const std::string& path, os::Fd fd, const std::string& destName) override {
        // The host's own library writes only to a path; ours also to an open file.
        if (!exportFileFd_) return IStorage::ExportFileTo(db, path, fd, destName);
        const bool written = exportFileFd_(db, Ansi(path).c_str(), fd) != 0;
        if (!written && lastError_) {
            const char* e = lastError_(db);
            if (e && *e) throw Error("Cannot write file \"" + NativePath(destName) + "\": " + Utf8(e));
        }
        return written;
    }
    bool ReadFile(int db, const std::string& path, std::string& data, std::size_t sizeHint) override {
        if (!readFile_) return IStorage::ReadFile(db, path, data, sizeHint);
        // Straight from the database: a scratch file per note costs the file system more than the conversion.
        data.resize(sizeHint);
        long long size = readFile_(db, Ansi(path).c_str(), data.data(), static_cast<long long>(data.size()));
        if (size > static_cast<long long>(data.size())) {
            data.resize(static_cast<std::size_t>(size));
            size = readFile_(db, Ansi(path).c_str(), data.data(), static_cast<long long>(data.size()));
        }
        Check(db, path);
        data.resize(size > 0 ? std::min(static_cast<std::size_t>(size), data.size()) : 0);
        return size >= 0;
    }
    std::string UnreachableItems(int db) override {
        if (!unreachableItems_) return "";
        const char* text = unreachableItems_(db);
        std::string lost = text ? std::string(text) : std::string();
        Check(db, "\\Organizer\\data\\");
        return lost;
    }
    std::uintptr_t ItemKey(int db, const std::string& path) override {
        void* folder = dvo_get_folder(db, Ansi(path).c_str(), 0);
        Check(db, path);
        return reinterpret_cast<std::uintptr_t>(folder);
    }

private:
    // Every read that meets a database error raises it with SQLite's reason, so a
    // damaged or locked file never passes for an empty tree.
    void Check(int db, const std::string& path) const {
        if (!lastError_) return;
        const char* e = lastError_(db);
        if (e && *e) throw Error("Cannot read \"" + path + "\" from the database: " + Utf8(e));
    }

    TDbLastError lastError_;
    TReadFile readFile_;
    TExportFileFd exportFileFd_;
    TUnreachableItems unreachableItems_;
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
    static DvoStorage dvo([](const char* name) { return os::LoadedLibrarySymbol("dvo", name); });
    return dvo;
}

std::unique_ptr<IStorage> MakeLibraryStorage(const std::function<void*(const char* name)>& lookup) {
    return std::make_unique<DvoStorage>(lookup);
}

IStorage& Storage(const TParameters& job) { return job.Store ? *job.Store : LibraryStorage(); }

}  // namespace qb
