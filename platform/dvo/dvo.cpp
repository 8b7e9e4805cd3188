// The exported C functions: handle table, argument checks, and the wall that
// keeps every exception inside the library.
#include "dvo/dvo.h"

#include <climits>
#include <cstdlib>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "dvo/HostText.h"
#include "dvo/Import.h"
#include "dvo/Store.h"
#include "support/Os.h"
#include "support/Path.h"
#include "support/PerThread.h"

#define DVO_EXPORT __attribute__((visibility("default")))

using qb::dvo::Entry;
using qb::dvo::Folder;
using qb::dvo::Store;

namespace {

struct Registry {
    std::mutex mutex;
    std::map<int, std::unique_ptr<Store>> databases;
    std::set<const Folder*> folders;  // every reference handed out and not yet closed
    int nextHandle = 1;
};

void CloseAll();

Registry& Reg() {
    // Never destroyed: a handle closed while the process exits, by a static
    // object's destructor, must still find the registry. The databases
    // themselves are closed at exit (or when the library is unloaded).
    static Registry* registry = [] {
        auto* r = new Registry;
        std::atexit(&CloseAll);
        return r;
    }();
    return *registry;
}

void CloseAll() {
    std::map<int, std::unique_ptr<Store>> open;
    {
        Registry& reg = Reg();
        std::lock_guard lock(reg.mutex);
        open.swap(reg.databases);
        reg.folders.clear();
    }
}

// Texts handed out, one of each per thread (PerThread: the host's threads end).
struct HintTag {};
struct ErrorTag {};
struct ShownTag {};
struct DbErrorTag {};
struct UnreachableTag {};
std::string& HintText() { return qb::PerThread<std::string, HintTag>(); }
std::string& ErrorText() { return qb::PerThread<std::string, ErrorTag>(); }  // UTF-8

// Every text of the C interface is in the system's ANSI code page (UTF-8 on Linux).
std::string In(const char* text) { return qb::dvo::FromHostText(text, qb::os::AnsiCodePage()); }
std::string Out(const std::string& utf8, const std::string& what) {
    return qb::dvo::ToHostText(utf8, qb::os::AnsiCodePage(), what);
}
std::string OutMessage(const std::string& utf8) { return qb::dvo::ToHostMessage(utf8, qb::os::AnsiCodePage()); }

// Caller holds the registry lock.
Store* Lookup(int db) {
    auto& dbs = Reg().databases;
    auto it = dbs.find(db);
    return it == dbs.end() ? nullptr : it->second.get();
}

// Lookup for a call on db that starts afresh: the handle's last error is cleared.
Store* Begin(int db) {
    Store* store = Lookup(db);
    if (store) store->lastError.clear();
    return store;
}

std::string Describe(std::exception_ptr e) {
    try {
        std::rethrow_exception(e);
    } catch (const std::exception& x) {
        return x.what();
    } catch (...) {}
    return "Unknown error";
}

// Keeps why the current call on db failed, for dvo_db_last_error. Called from a
// catch block, after the registry lock of the try block is released.
void Remember(int db) {
    try {
        std::string what = Describe(std::current_exception());
        std::lock_guard lock(Reg().mutex);
        if (Store* store = Lookup(db)) store->lastError = what.empty() ? "Unknown error" : what;
    } catch (...) {}
}

template <class Char, class Text>
int Open(const Char* name, Text text) {
    try {
        const std::string fileName = name ? text(name) : std::string();
        if (fileName.empty()) {
            ErrorText() = "No database file given";
            return 0;
        }
        auto store = std::make_unique<Store>(fileName);
        Registry& reg = Reg();
        std::lock_guard lock(reg.mutex);
        if (reg.nextHandle == INT_MAX) {
            ErrorText() = "Too many databases opened";
            return 0;
        }
        // Handles are never reused, so a stale handle cannot reach another database.
        const int handle = reg.nextHandle++;
        reg.databases.emplace(handle, std::move(store));
        ErrorText().clear();
        return handle;
    } catch (const std::exception& e) {
        ErrorText() = e.what();
    } catch (...) {
        ErrorText() = "Unknown error";
    }
    return 0;
}

// Names arrive narrow (ANSI code page) or wide; Text turns one into UTF-8.
template <class Char, class Text>
int Import(const Char* srcFolder, const Char* dbFile, Text text) {
    try {
        if (!srcFolder || !dbFile) {
            ErrorText() = "No source folder or database file given";
            return 0;
        }
        qb::dvo::ImportFolder(text(srcFolder), text(dbFile));
        ErrorText().clear();
        return 1;
    } catch (const std::exception& e) {
        ErrorText() = e.what();
    } catch (...) {
        ErrorText() = "Unknown error";
    }
    return 0;
}

std::string Wide(const wchar_t* text) { return qb::os::FromWide(text); }

}  // namespace

extern "C" {

DVO_EXPORT int dvo_open(const char* fileName) { return Open(fileName, &In); }

DVO_EXPORT int dvo_open_w(const wchar_t* fileName) { return Open(fileName, &Wide); }

DVO_EXPORT void dvo_close(int db) {
    try {
        std::unique_ptr<Store> store;
        Registry& reg = Reg();
        std::lock_guard lock(reg.mutex);
        auto it = reg.databases.find(db);
        if (it == reg.databases.end()) return;
        for (const auto& [id, folder] : it->second->Folders()) reg.folders.erase(folder.get());
        store = std::move(it->second);
        reg.databases.erase(it);
    } catch (...) {}
}

DVO_EXPORT const char* dvo_last_error(void) {
    std::string& tShown = qb::PerThread<std::string, ShownTag>();
    try {
        tShown = OutMessage(ErrorText());
    } catch (...) {
        tShown.clear();
    }
    return tShown.c_str();
}

DVO_EXPORT const char* dvo_db_last_error(int db) {
    std::string& tDbError = qb::PerThread<std::string, DbErrorTag>();
    try {
        std::lock_guard lock(Reg().mutex);
        Store* store = Lookup(db);
        tDbError = store ? OutMessage(store->lastError) : std::string();
    } catch (...) {
        tDbError.clear();
    }
    return tDbError.c_str();
}

DVO_EXPORT const char* dvo_get_hint(int db, const char* path) {
    try {
        HintText().clear();
        if (!path) return HintText().c_str();
        std::lock_guard lock(Reg().mutex);
        const std::string p = In(path);
        if (Store* store = Begin(db))
            if (auto item = store->FindItem(p)) HintText() = Out(store->Caption(*item), "The caption of \"" + p + "\"");
    } catch (...) {
        HintText().clear();
        Remember(db);
    }
    return HintText().c_str();
}

DVO_EXPORT int dvo_get_foldercount(int db, const char* path, int /*depth*/) {
    try {
        if (!path) return 0;
        std::lock_guard lock(Reg().mutex);
        if (Store* store = Begin(db))
            if (auto item = store->FindItem(In(path)))
                return static_cast<int>(std::min<int64_t>(store->ChildCount(*item), INT_MAX));
    } catch (...) {
        Remember(db);
    }
    return 0;
}

DVO_EXPORT void* dvo_get_folder(int db, const char* path, int /*flags*/) {
    try {
        if (!path) return nullptr;
        Registry& reg = Reg();
        std::lock_guard lock(reg.mutex);
        if (Store* store = Begin(db))
            if (auto item = store->FindItem(In(path))) {
                Folder* folder = store->GetFolder(*item);
                reg.folders.insert(folder);
                return folder;
            }
    } catch (...) {
        Remember(db);
    }
    return nullptr;
}

DVO_EXPORT int dvo_folder_subfoldercount(void* folder, int recursive) {
    try {
        Registry& reg = Reg();
        std::lock_guard lock(reg.mutex);
        // Only references still handed out are dereferenced.
        auto it = reg.folders.find(static_cast<const Folder*>(folder));
        if (it == reg.folders.end()) return 0;
        const Folder* f = *it;
        f->store->lastError.clear();
        try {
            int64_t n = recursive ? f->store->DescendantCount(f->itemId) : f->store->ChildCount(f->itemId);
            return static_cast<int>(std::min<int64_t>(n, INT_MAX));
        } catch (...) {
            // Still under the lock, and the folder is known to be live.
            f->store->lastError = Describe(std::current_exception());
        }
    } catch (...) {}
    return 0;
}

DVO_EXPORT int dvo_enum_entries(int db, const char* path, dvo_enum_proc proc, int /*flags*/, void* userData) {
    try {
        if (!path || !proc) return 0;
        std::vector<Entry> entries;
        const std::string p = In(path);
        {
            // The callback runs without the lock, so it may call the library itself.
            std::lock_guard lock(Reg().mutex);
            Store* store = Begin(db);
            if (!store) return 0;
            auto item = store->FindItem(p);
            if (!item) return 0;
            entries = store->Entries(*item);
        }
        // All or nothing: a caller given part of a folder would take it for the whole.
        for (Entry& e : entries) {
            const std::string full = p + e.name + (e.isFolder ? "\\" : "");
            e.name = Out(e.name, "The name of \"" + full + "\"");
            e.caption = Out(e.caption, "The caption of \"" + full + "\"");
        }
        int reported = 0;
        for (const Entry& e : entries) {
            ++reported;
            const int value = e.isFolder ? 0 : static_cast<int>(std::min<int64_t>(e.size, INT_MAX));
            if (!proc(e.isFolder ? 1 : 0, e.name.c_str(), e.caption.c_str(), value, userData)) break;
        }
        return reported;
    } catch (...) {
        Remember(db);
    }
    return 0;
}

DVO_EXPORT int dvo_path_exists(int db, const char* path) {
    try {
        if (!path) return 0;
        std::lock_guard lock(Reg().mutex);
        Store* store = Begin(db);
        if (!store) return 0;
        const std::string p = In(path);
        if (!p.empty() && p.back() != '\\' && store->FindFile(p)) return 1;
        return store->FindItem(p) ? 1 : 0;
    } catch (...) {
        Remember(db);
    }
    return 0;
}

DVO_EXPORT long long dvo_get_filesize(int db, const char* path) {
    try {
        if (!path) return -1;
        std::lock_guard lock(Reg().mutex);
        if (Store* store = Begin(db))
            if (auto row = store->FindFile(In(path))) return store->FileSize(*row);
    } catch (...) {
        Remember(db);
    }
    return -1;
}

DVO_EXPORT int dvo_export_file(int db, const char* path, const char* destFile) {
    try {
        if (!path || !destFile || !*destFile) return 0;
        std::lock_guard lock(Reg().mutex);
        Store* store = Begin(db);
        if (!store) return 0;
        auto row = store->FindFile(In(path));
        if (!row) return 0;
        store->ExportFile(*row, qb::NativePath(In(destFile)));
        return 1;
    } catch (...) {
        Remember(db);
    }
    return 0;
}

DVO_EXPORT int dvo_export_file_fd(int db, const char* path, intptr_t fd) {
    try {
        if (!path || fd < 0) return 0;
        std::lock_guard lock(Reg().mutex);
        Store* store = Begin(db);
        if (!store) return 0;
        auto row = store->FindFile(In(path));
        if (!row) return 0;
        store->ExportFile(*row, fd);
        return 1;
    } catch (...) {
        Remember(db);
    }
    return 0;
}

DVO_EXPORT const char* dvo_unreachable_items(int db) {
    std::string& tText = qb::PerThread<std::string, UnreachableTag>();
    tText.clear();
    try {
        std::lock_guard lock(Reg().mutex);
        Store* store = Begin(db);
        if (!store) return tText.c_str();
        constexpr size_t kListed = 10;
        const Store::Unreachable lost = store->UnreachableItems(kListed);
        if (lost.count == 0) return tText.c_str();
        tText = std::to_string(lost.count) + " item(s) cannot be reached from the root (a parent loop or a missing parent):";
        const char* sep = " ";
        for (const auto& [id, name, caption] : lost.first) {
            tText += sep + std::string("\"") + (caption.empty() ? name : caption) + "\" (id " + std::to_string(id) + ")";
            sep = ", ";
        }
        if (lost.count > static_cast<int64_t>(lost.first.size()))
            tText += " and " + std::to_string(lost.count - static_cast<int64_t>(lost.first.size())) + " more";
        tText = OutMessage(tText);
    } catch (...) {
        Remember(db);
        tText.clear();
    }
    return tText.c_str();
}

DVO_EXPORT long long dvo_read_file(int db, const char* path, void* buffer, long long bufferSize) {
    try {
        if (!path) return -1;
        std::lock_guard lock(Reg().mutex);
        Store* store = Begin(db);
        if (!store) return -1;
        auto row = store->FindFile(In(path));
        if (!row) return -1;
        return store->ReadFile(*row, buffer, bufferSize > 0 ? bufferSize : 0);
    } catch (...) {
        Remember(db);
    }
    return -1;
}

DVO_EXPORT int dvo_import(const char* srcFolder, const char* dbFile) { return Import(srcFolder, dbFile, &In); }

DVO_EXPORT int dvo_import_w(const wchar_t* srcFolder, const wchar_t* dbFile) {
    return Import(srcFolder, dbFile, &Wide);
}

}  // extern "C"
