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
    if (fs::HeldFile* held = fs::HeldFile::Find(fileName)) {
        held->Keep(bytes);
        return true;
    }
    const std::string native = fs::NativePath(fileName);
    // A plain file of our own is rewritten in place: deleting and creating a
    // page per item costs the file system far more. Anything else (a link, a
    // FIFO, a file with other names) is replaced, never written through.
    // A new name first: the common case then costs one call.
    os::Fd fd = fs::CreateNewFile(native);
    if (fd < 0) fd = fs::OpenPlainFileForRewrite(native);
    if (fd < 0) fd = fs::CreateFreshFile(native);
    if (!os::WriteAll(fd, bytes.data(), bytes.size())) {
        const int err = errno;
        os::Close(fd);
        fs::DeleteFile(native);
        throw Error("Cannot write file \"" + native + "\": " + os::ErrorText(err));
    }
    os::Close(fd);
    return true;
}

bool SaveTextFile(const std::string& fileName, std::string&& bytes) {
    if (fs::HeldFile* held = fs::HeldFile::Find(fileName)) {
        held->Keep(std::move(bytes));
        return true;
    }
    return SaveTextFile(fileName, static_cast<const std::string&>(bytes));
}

std::string TakeTextFile(const std::string& fileName) {
    if (fs::HeldFile* held = fs::HeldFile::Find(fileName); held && held->HasBytes()) return held->Take();
    return LoadTextFile(fileName);
}

std::string LoadTextFile(const std::string& fileName) {
    if (fs::HeldFile* held = fs::HeldFile::Find(fileName); held && held->HasBytes()) return held->Bytes();
    const os::Fd fd = os::Open(fs::Resolve(fileName), os::kRead);
    if (fd < 0) return "";
    os::FileInfo st;
    const bool known = os::Info(fd, st);
    if (known && st.kind == os::Kind::Folder) {
        os::Close(fd);
        return "";
    }
    std::string out;
    if (known && st.kind == os::Kind::File && st.size > 0) {
        // One read for a file of known size: a byte of room more shows its
        // end, as a regular file reads short only there.
        out.resize(static_cast<std::size_t>(st.size) + 1);
        std::size_t have = 0;
        for (;;) {
            const long long n = os::Read(fd, out.data() + have, out.size() - have);
            if (n <= 0) break;
            have += static_cast<std::size_t>(n);
            if (have < out.size()) break;
            out.resize(out.size() * 2);  // it grew since
        }
        out.resize(have);
        os::Close(fd);
        return out;
    }
    char buf[65536];
    for (;;) {
        const long long n = os::Read(fd, buf, sizeof buf);
        if (n <= 0) break;
        out.append(buf, static_cast<std::size_t>(n));
    }
    os::Close(fd);
    return out;
}

bool FileMentionsAll(const std::string& fileName, const TStringList& names) {
    if (names.Empty()) return true;
    const std::string text = LowerAscii(LoadTextFile(fileName));
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
std::vector<DirEntry> ListFolder(const std::string& folder) {
    std::vector<DirEntry> entries;
    std::vector<os::Entry> found;
    os::ListFolder(fs::Resolve(folder), found);
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
    // An empty name would become the file-system root once a separator is added.
    if (folder.empty()) return;
    // Explicit stack: deep trees must not exhaust the call stack.
    std::vector<std::string> pending{JoinFolder(folder)};
    while (!pending.empty()) {
        const std::string dir = pending.back();
        pending.pop_back();
        const auto entries = ListFolder(dir);
        for (const auto& e : entries)
            if (!e.isDir && MatchesMask(e.name, mask)) list.Add(dir + e.name);
        if (!recursive) continue;
        const char sep = dir.back();
        for (auto it = entries.rbegin(); it != entries.rend(); ++it)
            if (it->isDir) pending.push_back(dir + it->name + sep);
    }
}

void DeleteFilesExcept(const TStringList* keep, const std::string& folder, const std::string& mask, bool recursive) {
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
            const auto entries = ListFolder(dir);
            for (const auto& e : entries)
                if (!e.isDir && MatchesMask(e.name, mask) && !keep->Contains(dir + e.name))
                    fs::DeleteFile(dir + e.name);
            if (recursive) {
                const std::string base = top.path;
                const char sep = dir.back();
                for (auto it = entries.rbegin(); it != entries.rend(); ++it)
                    if (it->isDir) stack.push_back({JoinFolder(base) + it->name + sep, false});
            }
            continue;
        }
        if (!keep->Contains(top.path)) fs::RemoveDir(top.path);
        stack.pop_back();
    }
}

}  // namespace qb
