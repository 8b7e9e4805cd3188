#include <algorithm>
#include <cassert>
#include <cerrno>
#include <cstring>

#include "Utils/FileSys.h"
#include "Utils/Utils.h"
#include "support/Error.h"
#include "support/Os.h"

namespace qb {

bool SaveTextFile(const std::string& fileName, const std::string& bytes) {
    fs::FileContext().SaveTextFile(fileName, bytes);
    return true;
}

bool SaveTextFile(const std::string& fileName, std::string&& bytes) {
    fs::FileContext().SaveTextFile(fileName, std::move(bytes));
    return true;
}

std::string TakeTextFile(const std::string& fileName) { return fs::FileContext().LoadTextFile(fileName); }

std::string LoadTextFile(const std::string& fileName) { return fs::FileContext().LoadTextFile(fileName); }

bool FileMentionsAll(const std::string& fileName, const TStringList& names) {
    fs::FileContext files;
    return FileMentionsAll(files, fileName, names);
}

bool FileMentionsAll(fs::FileSystem& files, const std::string& fileName, const TStringList& names) {
    if (names.Empty()) return true;
    const std::string text = LowerAscii(files.LoadTextFile(fileName));
    for (const auto& n : names)
        if (text.find(LowerAscii(ExtractFileName(n))) == std::string::npos) return false;
    return true;
}

namespace {

struct DirEntry {
    std::string name;
    bool isDir;
};

// Entries of a folder sorted by name; dot-names are left out.
std::vector<DirEntry> ListFolder(fs::FileSystem& files, const std::string& folder) {
    std::vector<DirEntry> entries;
    std::vector<os::Entry> found;
    files.ListFolder(folder, found);
    // A link (or junction) to a folder is not walked into.
    for (auto& e : found)
        if (!e.name.empty() && e.name[0] != '.') entries.push_back({std::move(e.name), e.kind == os::Kind::Folder});
    std::sort(entries.begin(), entries.end(), [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
    return entries;
}

// Joins with the folder's own separator style.
std::string JoinFolder(const std::string& folder) {
    if (!folder.empty() && (folder.back() == '\\' || folder.back() == '/')) return folder;
    return IncludeTrailingDelimiter(folder);
}

}  // namespace

void FindFiles(TStringList& list, const std::string& folder, const std::string& mask, bool recursive) {
    fs::FileContext files;
    FindFiles(files, list, folder, mask, recursive);
}

void FindFiles(fs::FileSystem& files, TStringList& list, const std::string& folder, const std::string& mask,
               bool recursive) {
    // An empty name would become the file-system root once a separator is added.
    if (folder.empty()) return;
    // Explicit stack: deep trees must not exhaust the call stack.
    std::vector<std::string> pending{JoinFolder(folder)};
    while (!pending.empty()) {
        const std::string dir = pending.back();
        pending.pop_back();
        const auto entries = ListFolder(files, dir);
        for (const auto& e : entries)
            if (!e.isDir && MatchesMask(e.name, mask)) list.Add(dir + e.name);
        if (!recursive) continue;
        const char sep = dir.back();
        for (auto it = entries.rbegin(); it != entries.rend(); ++it)
            if (it->isDir) pending.push_back(dir + it->name + sep);
    }
}

void DeleteFilesExcept(const TStringList* keep, const std::string& folder, const std::string& mask, bool recursive) {
    fs::FileContext files;
    DeleteFilesExcept(files, keep, folder, mask, recursive);
}

void DeleteFilesExcept(fs::FileSystem& files, const TStringList* keep, const std::string& folder,
                       const std::string& mask, bool recursive) {
    if (!keep) throw Error("Assertion failure (" __FILE__ ", line " + std::to_string(__LINE__) + ")");
    // Never let an empty name turn into the root: this deletes.
    if (folder.empty()) return;
    struct Frame {
        std::string path;  // as passed, for the keep test of the folder itself
        bool expanded;
    };
    std::vector<Frame> stack{{folder, false}};
    while (!stack.empty()) {
        Frame& top = stack.back();
        if (!top.expanded) {
            top.expanded = true;
            const std::string dir = JoinFolder(top.path);
            const auto entries = ListFolder(files, dir);
            for (const auto& e : entries)
                if (!e.isDir && MatchesMask(e.name, mask) && !keep->Contains(dir + e.name))
                    files.DeleteFile(dir + e.name);
            if (recursive) {
                const std::string base = top.path;
                const char sep = dir.back();
                for (auto it = entries.rbegin(); it != entries.rend(); ++it)
                    if (it->isDir) stack.push_back({JoinFolder(base) + it->name + sep, false});
            }
            continue;
        }
        if (!keep->Contains(top.path)) files.RemoveDir(top.path);
        stack.pop_back();
    }
}

}  // namespace qb
