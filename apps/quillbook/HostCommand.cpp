// `quillbook host`: plays the outliner, loading the plug-in exactly as it would.
#include <dlfcn.h>

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "ExportCommand.h"
#include "FileSys.h"
#include "Utils.h"
#include "dvo.h"

namespace qbcli {

namespace {

using AddonFn = int (*)(long, long);

std::string StorageItemPath(const std::string& item) {
    std::string p = item;
    for (char& c : p)
        if (c == '/') c = '\\';
    if (p.rfind("\\Organizer\\data\\", 0) != 0) {
        while (!p.empty() && p.front() == '\\') p.erase(0, 1);
        p = "\\Organizer\\data\\" + p;
    }
    if (p.back() != '\\') p += '\\';
    return p;
}

}  // namespace

int RunHost(const HostArgs& args) {
    const std::string plugin = args.plugin.empty() ? qb::ModuleDirectory() + "Quillbook.so" : args.plugin;
    void* lib = dlopen(plugin.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
        std::cerr << "quillbook host: cannot load " << plugin << ": " << dlerror() << "\n";
        return 1;
    }
    auto check = reinterpret_cast<AddonFn>(dlsym(lib, "_kvn_addon_checkdll"));
    auto describe = reinterpret_cast<AddonFn>(dlsym(lib, "_kvn_addon_description"));
    auto query = reinterpret_cast<AddonFn>(dlsym(lib, "_kvn_addon_queryinterface"));
    auto command = reinterpret_cast<AddonFn>(dlsym(lib, "_kvn_addon_ovel2html"));
    if (!check || !describe || !query || !command) {
        std::cerr << "quillbook host: " << plugin << " lacks the add-on exports\n";
        dlclose(lib);
        return 1;
    }
    std::cout << "checkdll(2,3)=" << check(2, 3) << "\n";
    std::vector<char> buffer(4096, '\0');
    describe(reinterpret_cast<long>(buffer.data()), 0);
    std::cout << "description: " << buffer.data() << "\n";
    std::fill(buffer.begin(), buffer.end(), '\0');
    const int q = query(reinterpret_cast<long>(buffer.data()), 0);
    std::cout << "queryinterface=" << q << "\n" << buffer.data();

    int db = 0;
    std::string fullPath;
    if (!args.db.empty()) {
        db = dvo_open(args.db.c_str());
        if (db <= 0) {
            std::cerr << "quillbook host: cannot open database \"" << args.db << "\": " << dvo_last_error() << "\n";
            dlclose(lib);
            return 1;
        }
        fullPath = qb::fs::ExpandFileName(args.db);
    }
    const std::string root = "\\Organizer\\data\\";
    const std::string current = args.item.empty() ? root : StorageItemPath(args.item);
    std::string hostText;
    hostText += "TreeView.CurNode_DvoPath=" + current + "\r\n";
    hostText += "Database.FullPath=" + fullPath + "\r\n";
    hostText += "Database.RootLocation=" + root + "\r\n";
    hostText += "Application.ExeFile=" + qb::ModuleFileName() + "\r\n";
    hostText += "MainWindow.HWND=0\r\n";
    if (db > 0) hostText += "Database.HANDLE=" + std::to_string(db) + "\r\n";
    const int rc = command(reinterpret_cast<long>(hostText.c_str()), 0);
    std::cout << "ovel2html=" << rc << "\n";
    if (db > 0) dvo_close(db);
    dlclose(lib);
    return 0;
}

}  // namespace qbcli
