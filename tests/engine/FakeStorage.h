#pragma once
// In-memory stand-in for the storage library, so walk tests control every entry.
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "Utils/FileSys.h"
#include "Utils/StringList.h"
#include "engine/Storage.h"

namespace qbtest {

class FakeStorage : public qb::IStorage {
public:
    struct Item {
        std::string caption;
        std::vector<std::pair<std::string, std::string>> files;  // name, bytes
        std::vector<std::string> children;                       // entry names in tree order
    };

    FakeStorage() { items_["\\Organizer\\data\\"] = {}; }

    // Adds an item below parent ("\Organizer\data\" for the root); returns its path.
    std::string AddItem(const std::string& parent, const std::string& name, const std::string& caption) {
        const std::string path = parent + name + "\\";
        items_[Key(parent)].children.push_back(name);
        items_[Key(path)] = Item{caption, {}, {}};
        return path;
    }
    void AddFile(const std::string& item, const std::string& name, const std::string& bytes) {
        items_[Key(item)].files.emplace_back(name, bytes);
    }
    void AddNote(const std::string& item, const std::string& text) {
        AddFile(item, "_~_~_notes.rtf", "{\\rtf1\\ansi " + text + "\\par}");
    }

    std::string GetHint(int, const std::string& path) override {
        auto it = items_.find(Key(path));
        return it == items_.end() ? std::string() : it->second.caption;
    }
    int GetFolderCount(int, const std::string& path, int) override {
        auto it = items_.find(Key(path));
        return it == items_.end() ? 0 : static_cast<int>(it->second.children.size());
    }
    int CountAllSubItems(int, const std::string& path) override {
        int n = 0;
        std::vector<std::string> stack{Key(path)};
        while (!stack.empty()) {
            auto it = items_.find(stack.back());
            stack.pop_back();
            if (it == items_.end()) continue;
            for (const auto& c : it->second.children) {
                ++n;
                stack.push_back(it->first + qb::LowerAscii(c) + "\\");
            }
        }
        return n;
    }
    void EnumEntries(int, const std::string& path, std::vector<qb::TDVO_ENUM_DATA>& out) override {
        auto it = items_.find(Key(path));
        if (it == items_.end()) return;
        auto files = it->second.files;
        std::sort(files.begin(), files.end());
        for (const auto& f : files) out.push_back({f.first, "", 0, false});
        for (const auto& c : it->second.children) out.push_back({c, items_[Key(path + c + "\\")].caption, 0, true});
    }
    bool PathExists(int, const std::string& path) override {
        if (items_.count(Key(path))) return true;
        return FindFile(path) != nullptr;
    }
    bool ExportFile(int, const std::string& path, const std::string& dest) override {
        ++exports;
        const std::string* bytes = FindFile(path);
        if (!bytes) return false;
        // The engine hands absolute names (scratch files); a relative one means the current directory.
        std::ofstream out(qb::fs::ExpandFileName(dest), std::ios::binary | std::ios::trunc);
        out << *bytes;
        exportedTo.push_back(dest);
        return static_cast<bool>(out);
    }

    int exports = 0;
    std::vector<std::string> exportedTo;

private:
    // Like the storage library, a path names the same item with or without its trailing "\".
    static std::string Key(const std::string& path) {
        std::string k = qb::LowerAscii(path);
        if (k.empty() || k.back() != '\\') k += '\\';
        return k;
    }
    const std::string* FindFile(const std::string& path) {
        const std::size_t slash = path.rfind('\\');
        if (slash == std::string::npos) return nullptr;
        auto it = items_.find(Key(path.substr(0, slash + 1)));
        if (it == items_.end()) return nullptr;
        for (const auto& f : it->second.files)
            if (f.first == path.substr(slash + 1)) return &f.second;
        return nullptr;
    }
    std::map<std::string, Item> items_;
};

}  // namespace qbtest
