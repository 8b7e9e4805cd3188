#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "Utils/StringList.h"
#include "Utils/Utils.h"
#include "resources/Resources.h"

namespace qb {

std::string LoadTextResource(const std::string& name, const std::string& type) {
    for (const EmbeddedResource* r = kResources; r->name; ++r)
        if (EqualsNoCase(r->name, name) && EqualsNoCase(r->type, type))
            return std::string(reinterpret_cast<const char*>(r->data), r->size);
    return "";
}

std::string ModuleFileName() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&ModuleFileName), &info) && info.dli_fname && *info.dli_fname) {
        std::error_code ec;
        auto p = std::filesystem::canonical(info.dli_fname, ec);
        if (!ec) return p.string();
        return info.dli_fname;
    }
    return "";
}

std::string ModuleDirectory() {
    std::string file = ModuleFileName();
    std::size_t slash = file.rfind('/');
    return slash == std::string::npos ? std::string("./") : file.substr(0, slash + 1);
}

namespace {

// XDG_DOCUMENTS_DIR from user-dirs.dirs, with $HOME expanded.
std::string XdgDocuments(const std::string& home) {
    const char* cfg = std::getenv("XDG_CONFIG_HOME");
    std::string file = (cfg && *cfg ? std::string(cfg) : home + "/.config") + "/user-dirs.dirs";
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        const std::string key = "XDG_DOCUMENTS_DIR=";
        if (line.rfind(key, 0) != 0) continue;
        std::string v = line.substr(key.size());
        if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
        if (v.rfind("$HOME", 0) == 0) v = home + v.substr(5);
        // Only absolute values are valid; anything else would depend on the current folder.
        return !v.empty() && v.front() == '/' ? v : std::string();
    }
    return "";
}

}  // namespace

std::string GetSpecialFolder(int id) {
    if (id != 5) return "";
    const char* h = std::getenv("HOME");
    const std::string home = h && *h ? h : "/tmp";
    std::string docs = XdgDocuments(home);
    if (docs.empty()) docs = home + "/Documents";
    return IncludeTrailingDelimiter(docs);
}

}  // namespace qb
