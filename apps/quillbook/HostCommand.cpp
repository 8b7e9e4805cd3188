// `quillbook host`: plays the outliner. Loads the plug-in with dlopen, runs the
// handshake, description and menu query, opens the database through the
// storage library and calls the menu command with the host's key=value text.
#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <iostream>
#include <string>

#include "../../src/host/Exports.h"
#include "ExportCommand.h"
#include "dvo.h"

namespace qbcli {

namespace {

const char* const kRootLocation = "\\Organizer\\data\\";

std::string ExecutablePath() {
    std::error_code ec;
    auto p = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : p.string();
}

struct FirstFolder {
    std::string name;
};

int TakeFirstFolder(unsigned char isFolder, const char* name, const char*, int, void* user) {
    if (!isFolder) return 1;
    static_cast<FirstFolder*>(user)->name = name ? name : "";
    return 0;
}

// The item the host would have selected: the first one below the root.
std::string FirstItem(int db) {
    FirstFolder first;
    dvo_enum_entries(db, kRootLocation, &TakeFirstFolder, 0, &first);
    return first.name.empty() ? std::string() : std::string(kRootLocation) + first.name + "\\";
}

template <class T>
T Resolve(void* module, const char* name) {
    return reinterpret_cast<T>(dlsym(module, name));
}

}  // namespace

int RunHost(const HostArgs& args) {
    if (args.db.empty()) {
        std::cerr << "quillbook host: --db is required\n";
        return 2;
    }
    const std::string exe = ExecutablePath();
    std::string plugin = args.plugin;
    if (plugin.empty()) plugin = std::filesystem::path(exe).parent_path().string() + "/Quillbook.so";

    // The plug-in stays loaded until the process ends, as in the host.
    void* module = dlopen(plugin.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        const char* why = dlerror();
        std::cerr << "quillbook host: cannot load " << plugin << ": " << (why ? why : "unknown error") << "\n";
        return 1;
    }
    auto checkdll = Resolve<kvn_checkdll_proc>(module, "_kvn_addon_checkdll");
    auto description = Resolve<kvn_buffer_proc>(module, "_kvn_addon_description");
    auto query = Resolve<kvn_buffer_proc>(module, "_kvn_addon_queryinterface");
    auto command = Resolve<kvn_command_proc>(module, "_kvn_addon_ovel2html");
    if (!checkdll || !description || !query || !command) {
        std::cerr << "quillbook host: " << plugin << " lacks the add-on exports\n";
        return 1;
    }

    std::cout << "checkdll(2,3)=" << checkdll(2, 3) << "\n";
    char buffer[QB_HOST_BUFFER_SIZE] = {};
    description(buffer, 0);
    std::cout << "description:\n" << buffer << "\n";
    buffer[0] = '\0';
    query(buffer, 0);
    std::cout << "menu:\n" << buffer << std::flush;

    std::error_code ec;
    const std::string dbPath = std::filesystem::absolute(args.db, ec).string();
    const int db = dvo_open(dbPath.c_str());
    if (db == 0) {
        std::cerr << "quillbook host: cannot open " << args.db << ": " << dvo_last_error() << "\n";
        return 1;
    }
    std::string current;
    if (!args.item.empty()) {
        current = StoragePathArg(args.item);
        if (!dvo_path_exists(db, current.c_str())) {
            std::cerr << "quillbook host: no item at " << current << "\n";
            dvo_close(db);
            return 2;
        }
    } else if (!args.whole) {
        current = FirstItem(db);
    }

    const std::string hostText = "TreeView.CurNode_DvoPath=" + current + "\r\n" +
                                 "Database.FullPath=" + dbPath + "\r\n" +
                                 "Database.RootLocation=" + kRootLocation + "\r\n" +
                                 "Application.ExeFile=" + exe + "\r\n" +
                                 "MainWindow.HWND=0\r\n" +
                                 "Database.HANDLE=" + std::to_string(db) + "\r\n";
    const int result = command(hostText.c_str(), 0);
    std::cout << "ovel2html=" << result << "\n";
    dvo_close(db);
    return 0;
}

}  // namespace qbcli
