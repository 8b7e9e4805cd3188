#include "quillbook/DbCommands.h"

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <stdexcept>
#include <vector>

#include "dvo/Utf8.h"
#include "support/Path.h"

namespace qb {

namespace {

// Closes a database handle on every way out.
class OpenDb {
public:
    explicit OpenDb(const std::string& file) : handle_(dvo::OpenDatabase(file)) {}
    ~OpenDb() {
        if (handle_) dvo_close(handle_);
    }
    OpenDb(const OpenDb&) = delete;
    OpenDb& operator=(const OpenDb&) = delete;
    int get() const { return handle_; }

private:
    int handle_;
};

struct TreeEntry {
    bool isFolder;
    std::string name;
    std::string caption;
};

int Collect(unsigned char isFolder, const char* name, const char* caption, int /*value*/, void* userData) {
    static_cast<std::vector<TreeEntry>*>(userData)->push_back(
        {isFolder != 0, dvo::FromLibrary(name), dvo::FromLibrary(caption)});
    return 1;
}

// A read that met a database error: SQLite's reason, not an empty tree.
struct ReadError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

void Check(int db) {
    const std::string why = dvo::DbLastError(db);
    if (!why.empty()) throw ReadError(why);
}

std::vector<TreeEntry> EntriesOf(int db, const std::string& path) {
    std::vector<TreeEntry> entries;
    dvo_enum_entries(db, dvo::ToLibrary(path).c_str(), Collect, 0, &entries);
    Check(db);
    return entries;
}

// Names and captions come from the database as they are; control characters
// are shown escaped so that a hostile name cannot drive the terminal.
std::string Printable(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        if (c < 0x20 || c == 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

struct Level {
    std::vector<TreeEntry> items;  // sub-items still to print
    size_t next = 0;
    size_t pathLength = 0;      // length of the shared path string at this item
    const void* key = nullptr;  // the item's folder reference, the same on every path to it
};

void PrintEntries(int db, const std::string& path, const std::vector<TreeEntry>& entries, size_t depth,
                  std::ostream& out) {
    const std::string indent(2 * depth, ' ');
    for (const TreeEntry& e : entries)
        if (!e.isFolder) {
            const long long size = dvo_get_filesize(db, dvo::ToLibrary(path + e.name).c_str());
            Check(db);
            out << indent << Printable(e.name) << "  (" << size << " bytes)\n";
        }
}

std::vector<TreeEntry> SubItems(std::vector<TreeEntry> entries) {
    std::erase_if(entries, [](const TreeEntry& e) { return !e.isFolder; });
    return entries;
}

// "\Organizer\data\2\3\" as a user types it: "2/3".
std::string ShortPath(const std::string& path) {
    const std::string root = kDbRootPath;
    if (path.rfind(root, 0) != 0) return path;
    std::string p = path.substr(root.size());
    if (!p.empty() && p.back() == '\\') p.pop_back();
    for (char& c : p)
        if (c == '\\') c = '/';
    return p;
}

std::string LowerAsciiCopy(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

int PrintTree(const std::string& db, const std::string& itemPath, std::ostream& out, std::ostream& err) {
    std::error_code ec;
    if (!std::filesystem::exists(qb::FsPath(db), ec)) {
        err << "quillbook: db tree: no such file: " << db << "\n";
        return 2;
    }
    OpenDb handle(db);
    if (!handle.get()) {
        err << "quillbook: db tree: " << dvo::LastError() << "\n";
        return 1;
    }
    std::string path = itemPath;
    if (path.empty() || path.back() != '\\') path += '\\';
    const bool wholeTree = path == kDbRootPath;
    const void* rootKey = dvo_get_folder(handle.get(), dvo::ToLibrary(path).c_str(), 0);
    Check(handle.get());
    if (!rootKey) {
        err << "quillbook: db tree: " << Printable(NoItemMessage(handle.get(), db, path)) << "\n";
        return 2;
    }

    const std::string caption = dvo::Hint(handle.get(), path);
    Check(handle.get());
    out << Printable(path);
    if (!caption.empty()) out << "  " << Printable(caption);
    out << "\n";

    // One shared path string and an explicit stack: the tree may be thousands of levels deep.
    std::vector<Level> stack;
    {
        auto entries = EntriesOf(handle.get(), path);
        PrintEntries(handle.get(), path, entries, 1, out);
        stack.push_back({SubItems(std::move(entries)), 0, path.size(), rootKey});
    }
    while (!stack.empty()) {
        Level& top = stack.back();
        if (top.next >= top.items.size()) {
            stack.pop_back();
            continue;
        }
        const TreeEntry item = top.items[top.next++];
        path.resize(top.pathLength);
        path += item.name;
        path += '\\';
        const size_t depth = stack.size();
        // A parent loop in a damaged database would print for ever.
        const void* key = dvo_get_folder(handle.get(), dvo::ToLibrary(path).c_str(), 0);
        Check(handle.get());
        for (const Level& l : stack)
            if (key && l.key == key)
                throw ReadError("the item tree loops at " + Printable(path) + ": the item is stored below itself");
        out << std::string(2 * depth, ' ') << Printable(item.name) << "\\  " << Printable(item.caption) << "\n";
        auto entries = EntriesOf(handle.get(), path);
        PrintEntries(handle.get(), path, entries, depth + 1, out);
        stack.push_back({SubItems(std::move(entries)), 0, path.size(), key});
    }
    // The whole tree was asked for: items it could not show are named.
    if (wholeTree) {
        const std::string lost = dvo::FromLibrary(dvo_unreachable_items(handle.get()));
        Check(handle.get());
        if (!lost.empty()) throw ReadError("the database is damaged: " + Printable(lost));
    }
    return out ? 0 : 1;
}

// Why importing into db would destroy something that is not a database of
// ours; "" when nothing is there or it is one.
std::string ReplacedByImport(const std::string& db) {
    namespace sfs = std::filesystem;
    std::error_code ec;
    const sfs::file_status st = sfs::symlink_status(db, ec);
    if (ec || !sfs::exists(st)) return "";
    if (!sfs::is_regular_file(st)) return db + " exists and is not a plain file";
    OpenDb handle(db);
    if (handle.get()) return "";
    return db + " exists and is not a database file (" + dvo::LastError() + ")";
}

}  // namespace

std::string NoItemMessage(int db, const std::string& dbFile, const std::string& itemPath) {
    std::string wanted = itemPath;
    while (!wanted.empty() && wanted.back() == '\\') wanted.pop_back();
    wanted = LowerAsciiCopy(wanted.substr(wanted.rfind('\\') + 1));
    // Breadth first, so the nearest items of that name come first; a huge tree is not searched to the end.
    std::vector<std::string> found, queue{kDbRootPath};
    for (std::size_t i = 0; i < queue.size() && i < 100000 && found.size() < 3; ++i) {
        std::vector<TreeEntry> entries;
        dvo_enum_entries(db, dvo::ToLibrary(queue[i]).c_str(), Collect, 0, &entries);
        for (const TreeEntry& e : entries) {
            if (!e.isFolder) continue;
            const std::string path = queue[i] + e.name + "\\";
            if (LowerAsciiCopy(e.name) == wanted && found.size() < 3) found.push_back(ShortPath(path));
            queue.push_back(path);
        }
    }
    std::string text = "the database holds no item " + ShortPath(itemPath.back() == '\\' ? itemPath : itemPath + "\\");
    if (!found.empty()) {
        text += "; did you mean ";
        for (std::size_t i = 0; i < found.size(); ++i) text += (i ? " or " : "") + found[i];
        text += "?";
    } else {
        text += ".";
    }
    return text + " 'quillbook db tree " + dbFile + "' lists the items.";
}

int CmdDbImport(const std::string& src, const std::string& db, std::ostream& out, std::ostream& err, bool replace) {
    std::error_code ec;
    if (!std::filesystem::is_directory(qb::FsPath(src), ec)) {
        err << "quillbook: db import: " << (std::filesystem::exists(qb::FsPath(src), ec) ? "not a folder: " : "no such folder: ")
            << src << "\n";
        return 2;
    }
    const std::string refused = replace ? std::string() : ReplacedByImport(db);
    if (!refused.empty()) {
        err << "quillbook: db import: " << refused << "; give --replace to overwrite it\n";
        return 1;
    }
    if (!dvo::ImportDatabase(src, db)) {
        err << "quillbook: db import: " << dvo::LastError() << "\n";
        return 1;
    }
    OpenDb handle(db);
    const int items = handle.get() ? dvo_folder_subfoldercount(dvo_get_folder(handle.get(), kDbRootPath, 0), 1) : 0;
    // The root counts, as in the export's item count.
    out << "Imported " << items + 1 << " item(s) (the root and " << items << " below it) from " << src << " into "
        << db << "\n";
    return 0;
}

int CmdDbImport(const std::string& src, const std::string& db) {
    return CmdDbImport(src, db, std::cout, std::cerr, false);
}

int CmdDbTree(const std::string& db, const std::string& itemPath, std::ostream& out, std::ostream& err) {
    try {
        return PrintTree(db, itemPath, out, err);
    } catch (const ReadError& e) {
        out.flush();
        err << "quillbook: db tree: cannot read " << db << ": " << e.what() << "\n";
        return 1;
    }
}

int CmdDbTree(const std::string& db, const std::string& itemPath) {
    return CmdDbTree(db, itemPath, std::cout, std::cerr);
}

}  // namespace qb
