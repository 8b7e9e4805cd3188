#include "Storage.h"

#include "FileSys.h"
#include "dvo.h"

namespace qb {
namespace {

int CollectEntry(unsigned char isFolder, const char* name, const char* caption, int value, void* userData) {
    auto* list = static_cast<std::vector<TDVO_ENUM_DATA>*>(userData);
    list->push_back({name ? name : "", caption ? caption : "", value, isFolder != 0});
    return 1;
}

class DvoStorage : public IStorage {
public:
    std::string GetHint(int db, const std::string& path) override {
        const char* s = dvo_get_hint(db, path.c_str());
        return s ? std::string(s) : std::string();
    }
    int GetFolderCount(int db, const std::string& path, int depth) override {
        return dvo_get_foldercount(db, path.c_str(), depth);
    }
    int CountAllSubItems(int db, const std::string& path) override {
        return dvo_folder_subfoldercount(dvo_get_folder(db, path.c_str(), 0), 1);
    }
    void EnumEntries(int db, const std::string& path, std::vector<TDVO_ENUM_DATA>& entries) override {
        dvo_enum_entries(db, path.c_str(), &CollectEntry, 0, &entries);
    }
    bool PathExists(int db, const std::string& path) override { return dvo_path_exists(db, path.c_str()) != 0; }
    bool ExportFile(int db, const std::string& path, const std::string& destFile) override {
        return dvo_export_file(db, path.c_str(), fs::NativePath(destFile).c_str()) != 0;
    }
};

IStorage*& Installed() {
    static IStorage* installed = nullptr;
    return installed;
}

}  // namespace

IStorage& Storage() {
    static DvoStorage dvo;
    IStorage* s = Installed();
    return s ? *s : dvo;
}

IStorage* SetStorage(IStorage* s) {
    IStorage* previous = Installed();
    Installed() = s;
    return previous;
}

}  // namespace qb
