// `quillbook host`: plays the outliner. Loads the plug-in library, runs the
// handshake, description and menu query, opens the database through the
// storage library and calls the menu command with the host's key=value text.

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>

#include "support/Path.h"
#include "support/Os.h"
#include "dvo/Utf8.h"
#include "host/Exports.h"
#include "quillbook/DbCommands.h"
#include "quillbook/ExportCommand.h"
#include "quillbook/Report.h"

namespace qbcli {

namespace {

const char* const kRootLocation = "\\Organizer\\data\\";

std::string ExecutablePath() { return qb::os::ModulePath(reinterpret_cast<const void*>(&ExecutablePath)); }

struct FirstFolder {
    std::string name;
};

int TakeFirstFolder(unsigned char isFolder, const char* name, const char*, int, void* user) {
    if (!isFolder) return 1;
    static_cast<FirstFolder*>(user)->name = qb::dvo::FromLibrary(name);
    return 0;
}

// The item the host would have selected: the first one below the root.
std::string FirstItem(int db) {
    FirstFolder first;
    dvo_enum_entries(db, kRootLocation, &TakeFirstFolder, 0, &first);
    return first.name.empty() ? std::string() : std::string(kRootLocation) + first.name + "\\";
}

// The plug-in is built without the system's "lib" prefix.
std::string PluginFileName() {
    const std::string lib = qb::os::LibraryFileName("Quillbook");
    return lib.substr(lib.find("Quillbook"));
}

// The plug-in beside the program (build tree) or in the installed lib/quillbook/.
std::string DefaultPlugin(const std::string& exe) {
    const std::filesystem::path dir = qb::FsPath(exe).parent_path();
    const std::filesystem::path beside = dir / qb::FsPath(PluginFileName());
    std::error_code ec;
    if (std::filesystem::exists(beside, ec)) return qb::Utf8Of(beside);
    return qb::Utf8Of(dir.parent_path() / "lib" / "quillbook" / qb::FsPath(PluginFileName()));
}

// Qt ends the whole process when it finds no display; say so before it gets there.
bool HasDisplay() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* v = std::getenv(name);
        if (v && *v) return true;
    }
    return false;
}

template <class T>
T Resolve(void* module, const char* name) {
    return reinterpret_cast<T>(qb::os::LibrarySymbol(module, name));
}

}  // namespace

int RunHost(const HostArgs& args) {
    if (args.db.empty()) return Fail("host", "missing --db. See 'quillbook help host'.", 2);
    std::error_code missing;
    if (!std::filesystem::exists(qb::FsPath(args.db), missing)) return Fail("host", "no such file: " + args.db, 2);
    const std::string exe = ExecutablePath();
    std::string plugin = args.plugin;
    if (plugin.empty()) plugin = DefaultPlugin(exe);

    // The plug-in stays loaded until the process ends, as in the host.
    void* module = qb::os::OpenLibrary(plugin);
    if (!module) return Fail("host", "cannot load " + plugin + ": " + qb::os::LibraryError(), 1);
    auto checkdll = Resolve<kvn_checkdll_proc>(module, "_kvn_addon_checkdll");
    auto description = Resolve<kvn_buffer_proc>(module, "_kvn_addon_description");
    auto query = Resolve<kvn_buffer_proc>(module, "_kvn_addon_queryinterface");
    auto command = Resolve<kvn_command_proc>(module, "_kvn_addon_ovel2html");
    if (!checkdll || !description || !query || !command) {
        return Fail("host", plugin + " lacks the add-on exports", 1);
    }

    std::cout << "checkdll(2,3)=" << checkdll(2, 3) << "\n";
    char buffer[QB_HOST_BUFFER_SIZE] = {};
    description(buffer, 0);
    std::cout << "description:\n" << buffer << "\n";
    buffer[0] = '\0';
    query(buffer, 0);
    std::cout << "menu:\n" << buffer << std::flush;

    std::error_code ec;
    const std::string dbPath = qb::Utf8Of(std::filesystem::absolute(qb::FsPath(args.db), ec));
    const int db = qb::dvo::OpenDatabase(dbPath);
    if (db == 0) {
        return Fail("host", qb::dvo::LastError(), 1);  // it names the file and the reason
    }
    std::string current;
    if (!args.item.empty()) {
        current = StoragePathArg(args.item);
        if (!dvo_path_exists(db, qb::dvo::ToLibrary(current).c_str())) {
            const std::string why = qb::NoItemMessage(db, args.db, current);
            dvo_close(db);
            return Fail("host", why, 2);
        }
    } else if (!args.whole) {
        current = FirstItem(db);
    }

    const std::string hostText = "TreeView.CurNode_DvoPath=" + current + "\r\n" + "Database.FullPath=" + dbPath +
                                 "\r\n" + "Database.RootLocation=" + kRootLocation + "\r\n" +
                                 "Application.ExeFile=" + exe + "\r\n" + "MainWindow.HWND=0\r\n" +
                                 "Database.HANDLE=" + std::to_string(db) + "\r\n";
    if (!HasDisplay()) {
        dvo_close(db);
        return Fail("host", "no display to show the wizard on (DISPLAY, WAYLAND_DISPLAY and QT_QPA_PLATFORM are unset)",
                    1);
    }
    // The host hands its values over in the ANSI code page.
    const int result = command(qb::dvo::ToLibrary(hostText).c_str(), 0);
    std::cout << "ovel2html=" << result << "\n";
    dvo_close(db);
    return 0;
}

}  // namespace qbcli
