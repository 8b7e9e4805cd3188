// The cross-built Windows files (scripts/build-windows.sh) as the host and a
// user meet them: export and import tables, the calling convention of the
// 32-bit exports, the host stand-in under Wine, an export under wine64
// that gives the same files as the Linux build, and the installer.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using qbtest::ReadFile;
using qbtest::TempDir;
using qbtest::WriteFile;

std::string Shell(const std::string& command, int* status = nullptr) {
    std::string out;
    if (FILE* p = ::popen(command.c_str(), "r")) {
        char buf[4096];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
        const int s = ::pclose(p);
        if (status) *status = WIFEXITED(s) ? WEXITSTATUS(s) : -1;
    }
    return out;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

bool HaveTool(const std::string& name) {
    return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

std::string BuildRoot() {
    const char* env = std::getenv("QB_WINDOWS_BUILD_DIR");
    return env && *env ? std::string(env) : std::string(QB_SOURCE_DIR) + "/build-windows";
}

std::string OutDir(const std::string& arch) { return BuildRoot() + "/" + arch + "/out/"; }

#define REQUIRE_WINDOWS_BUILD(arch)                                                                       \
    if (!fs::exists(OutDir(arch) + "Quillbook.dll"))                                                    \
    GTEST_SKIP() << "no Windows build in " << OutDir(arch) << " (bash scripts/build-windows.sh makes it)"

// What objdump -p says about a PE file's export and import tables.
struct PeTables {
    std::string internalName;
    std::vector<std::string> exports;
    std::map<std::string, std::uint32_t> exportRva;
    std::map<std::string, std::set<std::string>> imports;  // DLL -> names
    std::uint64_t imageBase = 0;
};

PeTables ReadPe(const std::string& objdump, const std::string& file) {
    PeTables pe;
    const std::string text = Shell(objdump + " -p '" + file + "' 2>&1");
    enum { None, Addresses, Names, Imports } section = None;
    std::string dll;
    std::map<int, std::uint32_t> rvaByIndex;
    std::map<std::string, int> indexByName;
    const std::regex addressLine(R"(^\s*\[\s*(\d+)\]\s+\+base\[\s*\d+\]\s+([0-9a-fA-F]+)\s+Export RVA)");
    const std::regex nameLine(R"(^\s*\[\s*(\d+)\]\s+(\S+)\s*$)");
    const std::regex importLine(R"(^\t[0-9a-fA-F]+\t\s*\d+\s+(\S+))");
    for (const std::string& line : Lines(text)) {
        std::smatch m;
        if (line.rfind("ImageBase", 0) == 0)
            pe.imageBase = std::stoull(line.substr(line.find_last_of(" \t") + 1), nullptr, 16);
        if (line.rfind("Export Address Table --", 0) == 0) section = Addresses;
        else if (line.rfind("[Ordinal/Name Pointer] Table", 0) == 0) section = Names;
        else if (line.find("The Import Tables") != std::string::npos) section = Imports;
        else if (line.rfind("PE File Base Relocations", 0) == 0 || line.rfind("There is an export table", 0) == 0)
            section = None;
        if (line.rfind("Name ", 0) == 0) pe.internalName = line.substr(line.find_last_of(" \t") + 1);
        if (section == Addresses && std::regex_search(line, m, addressLine))
            rvaByIndex[std::stoi(m[1])] = static_cast<std::uint32_t>(std::stoul(m[2], nullptr, 16));
        if (section == Names && std::regex_search(line, m, nameLine)) {
            pe.exports.push_back(m[2]);
            indexByName[m[2]] = std::stoi(m[1]);
        }
        if (section == Imports) {
            const auto at = line.find("DLL Name: ");
            if (at != std::string::npos) {
                dll = line.substr(at + 10);
                pe.imports[dll];
            } else if (!dll.empty() && std::regex_search(line, m, importLine)) {
                pe.imports[dll].insert(m[1]);
            }
        }
    }
    for (const auto& [name, index] : indexByName)
        if (rvaByIndex.count(index)) pe.exportRva[name] = rvaByIndex[index];
    return pe;
}

std::set<std::string> ImportedDlls(const PeTables& pe) {
    std::set<std::string> dlls;
    for (const auto& [name, _] : pe.imports) dlls.insert(name);
    return dlls;
}

// The first return instruction from the export's entry on.
std::string FirstReturn(const std::string& objdump, const std::string& file, std::uint64_t address) {
    char range[96];
    std::snprintf(range, sizeof range, " --start-address=0x%llx --stop-address=0x%llx ",
                  static_cast<unsigned long long>(address), static_cast<unsigned long long>(address + 0x400));
    for (const std::string& line : Lines(Shell(objdump + " -d" + range + "'" + file + "'"))) {
        const auto at = line.find("\tret");
        if (at != std::string::npos) return line.substr(at + 1);
    }
    return "";
}

const std::set<std::string> kSevenOperations = {"dvo_get_hint",     "dvo_get_foldercount",       "dvo_get_folder",
                                                 "dvo_enum_entries", "dvo_folder_subfoldercount", "dvo_path_exists",
                                                 "dvo_export_file"};
const std::vector<std::string> kExports = {"_kvn_addon_checkdll", "_kvn_addon_description",
                                           "_kvn_addon_ovel2html", "_kvn_addon_queryinterface"};

bool IsRuntimeDll(const std::string& dll) {
    static const std::regex runtime(R"((libgcc|libstdc\+\+|libwinpthread|libicu|libsqlite|libpugixml).*)",
                                    std::regex::icase);
    return std::regex_match(dll, runtime);
}

class ShippedModule : public ::testing::TestWithParam<std::string> {};

TEST_P(ShippedModule, ExportsAndImportsAreWhatTheHostExpects) {
    const std::string arch = GetParam();
    REQUIRE_WINDOWS_BUILD(arch);
    const std::string objdump = arch + "-w64-mingw32-objdump";
    if (!HaveTool(objdump)) GTEST_SKIP() << objdump << " is not installed";
    const std::string out = OutDir(arch);

    const PeTables plugin = ReadPe(objdump, out + "Quillbook.dll");
    EXPECT_EQ("Quillbook.dll", plugin.internalName);
    EXPECT_EQ(kExports, plugin.exports) << "exactly the four, undecorated";
    ASSERT_TRUE(plugin.imports.count("dvo.dll")) << "the storage library is imported, not loaded";
    EXPECT_EQ(kSevenOperations, plugin.imports.at("dvo.dll"));
    for (const std::string& dll : ImportedDlls(plugin)) EXPECT_FALSE(IsRuntimeDll(dll)) << dll;

    const PeTables compiler = ReadPe(objdump, out + "hha.dll");
    EXPECT_EQ("hha.dll", compiler.internalName);
    EXPECT_EQ((std::vector<std::string>{"HHA_CompileHHP", "HHA_CompileHHPKept"}), compiler.exports);

    for (const char* file : {"hha.dll", "dvo.dll", "quillbook.exe", "qbhost.exe"})
        EXPECT_TRUE(fs::exists(out + file)) << file;
    for (const char* file : {"hha.dll", "dvo.dll", "quillbook.exe", "qbhost.exe"})
        for (const std::string& dll : ImportedDlls(ReadPe(objdump, out + file)))
            EXPECT_FALSE(IsRuntimeDll(dll)) << file << " needs " << dll;

    if (arch != "i686") return;
    // __stdcall: the callee pops its two 32-bit arguments (the compiler: four, or six).
    for (const std::string& name : kExports) {
        if (!plugin.exportRva.count(name)) continue;  // reported above
        EXPECT_EQ("ret    $0x8", FirstReturn(objdump, out + "Quillbook.dll", plugin.imageBase + plugin.exportRva.at(name)))
            << name;
    }
    for (const auto& [name, popped] : {std::pair<std::string, std::string>{"HHA_CompileHHP", "$0x10"},
                                       {"HHA_CompileHHPKept", "$0x18"}}) {
        ASSERT_TRUE(compiler.exportRva.count(name)) << name;
        EXPECT_EQ("ret    " + popped, FirstReturn(objdump, out + "hha.dll", compiler.imageBase + compiler.exportRva.at(name)))
            << name;
    }
}

INSTANTIATE_TEST_SUITE_P(Windows, ShippedModule, ::testing::Values("i686", "x86_64"),
                         [](const auto& info) { return info.param; });

TEST(WindowsZip, HoldsThePluginFolder) {
    REQUIRE_WINDOWS_BUILD("i686");
    std::string zip;
    for (const auto& e : fs::directory_iterator(BuildRoot()))
        if (std::regex_match(e.path().filename().string(), std::regex(R"(Quillbook-[0-9.]+-win32\.zip)")))
            zip = e.path().string();
    ASSERT_FALSE(zip.empty()) << "no Quillbook-VERSION-win32.zip in " << BuildRoot();
    std::set<std::string> names;
    for (const std::string& line : Lines(Shell("unzip -Z1 '" + zip + "'"))) names.insert(line);
    EXPECT_EQ((std::set<std::string>{"Quillbook.dll", "Quillbook.lng", "hha.dll", "README.md", "LICENSE.txt"}), names);
    // The zipped module is the 32-bit one the host loads.
    const std::string header = Shell("unzip -p '" + zip + "' Quillbook.dll | head -c 4096 | od -An -tx1 -v");
    EXPECT_NE(std::string::npos, header.find("50 45 00 00 4c 01")) << "PE signature with machine i386";
}

// --- Under Wine ----------------------------------------------------------------

// A fresh prefix per test program, so no earlier run's registry or files count.
class WinePrefix {
public:
    WinePrefix() {
        env_ = "WINEPREFIX='" + dir_.path() + "prefix' WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' ";
        int status = -1;
        bootLog_ = Shell(env_ + "wineboot -i 2>&1", &status);
        ok_ = status == 0;
        Shell(env_ + "wineserver -w 2>&1");
    }
    ~WinePrefix() { Shell(env_ + "wineserver -k 2>&1"); }
    // Until every program started in the prefix has ended.
    void Wait() const { Shell(env_ + "wineserver -w 2>&1"); }
    bool ok() const { return ok_; }
    const std::string& bootLog() const { return bootLog_; }
    // The program's output as it wrote it: the C runtime's text mode adds CR before each LF.
    // With keepErrors the program's error output comes too (Wine's own notes among it).
    std::string Wine(const std::string& loader, const std::string& args, int* status = nullptr,
                     bool keepErrors = false) const {
        const std::string raw = Shell(env_ + loader + " " + args + (keepErrors ? " 2>&1" : " 2>/dev/null"), status);
        std::string out;
        for (std::size_t i = 0; i < raw.size(); ++i)
            if (raw[i] != '\r' || i + 1 >= raw.size() || raw[i + 1] != '\n') out += raw[i];
        return out;
    }

private:
    TempDir dir_;
    std::string env_, bootLog_;
    bool ok_ = false;
};

WinePrefix& SharedPrefix() {
    static WinePrefix prefix;
    return prefix;
}

// A copy of the plug-in folder, as a user unpacks it beside the host.
std::string PluginCopy(const TempDir& tmp, const std::string& arch) {
    const std::string dir = tmp / "plugins/";
    fs::create_directories(dir);
    for (const char* f : {"Quillbook.dll", "Quillbook.lng", "hha.dll", "dvo.dll", "qbhost.exe"})
        fs::copy_file(OutDir(arch) + f, dir + f, fs::copy_options::overwrite_existing);
    return dir;
}

constexpr const char* kEnglishMenu =
    "menu[0].PopupMenu=MAINMENU.SHARE\nmenu[0].popmenu=12\nmenu[0].caption=Export to CHM...\n"
    "menu[0].hint=Export database or current branch to CHM...\nmenu[0].procname=_kvn_addon_ovel2html\n"
    "menu[0].localeid=Menu_Tools_Ovel2Html\nmenu[0].shortcut=Ctrl+Shift+K\nmenu[0].menupos=-1\n";

void CheckHostStandIn(const std::string& arch, const std::string& loader) {
    const WinePrefix& wine = SharedPrefix();
    ASSERT_TRUE(wine.ok()) << wine.bootLog();
    TempDir tmp;
    const std::string dir = PluginCopy(tmp, arch);

    int status = -1;
    std::string out = wine.Wine(loader, "'" + dir + "qbhost.exe' '" + dir + "Quillbook.dll'", &status);
    ASSERT_EQ(0, status) << out;
    EXPECT_NE(std::string::npos, out.find("checkdll(2,3)=5\n")) << out;
    EXPECT_NE(std::string::npos, out.find("checkdll(2147483647,1)=-2147483648\n")) << out;
    EXPECT_NE(std::string::npos, out.find("description=0 bytes=")) << out;
    EXPECT_NE(std::string::npos, out.find("overrun=0\nQuillbook 3.0.0\r\n")) << out;
    const std::string menuHeader = "queryinterface=1 bytes=267 overrun=0\n";
    ASSERT_NE(std::string::npos, out.find(menuHeader)) << out;
    EXPECT_EQ(kEnglishMenu, out.substr(out.find(menuHeader) + menuHeader.size(), 267));
    EXPECT_EQ(267u, std::string(kEnglishMenu).size());

    // German, chosen in the settings file beside the module.
    WriteFile(dir + "Quillbook.xml",
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Quillbook><Config><Language>Deutsch</Language>"
              "</Config></Quillbook>");
    WriteFile(dir + "values.txt", "Database.HANDLE=0\r\nTreeView.CurNode_DvoPath=\\Organizer\\data\\\r\n");
    // With a display the command's message box appears and the stand-in answers it.
    const bool display = HaveTool("xvfb-run") && HaveTool("xauth");
    // The prefix's desktop was started without a display by the run above; a new one gets this one.
    if (display) wine.Wine("wineserver", "-w");
    out = wine.Wine((display ? "xvfb-run -a " : "") + loader,
                    "'" + dir + "qbhost.exe' '" + dir + "Quillbook.dll' '" + dir + "values.txt'", &status);
    ASSERT_EQ(0, status) << out;
    // The wizard opens in German (its caption from the German message table) and the stand-in closes it.
    if (display) {
        EXPECT_NE(std::string::npos, out.find("wizard=Quillbook - Schritt 1 von 7")) << out;
    }
    EXPECT_NE(std::string::npos, out.find("Exportiert eine Outliner-Datenbank")) << out;
    EXPECT_NE(std::string::npos, out.find("menu[0].caption=Nach CHM exportieren...\n")) << out;
    EXPECT_NE(std::string::npos, out.find("menu[0].hint=Datenbank oder aktuellen Zweig nach CHM exportieren...\n"))
        << out;
    // The command ends normally; the closed wizard's controls went into the settings file.
    EXPECT_NE(std::string::npos, out.find("ovel2html=0\n")) << out;
    if (display) {
        EXPECT_NE(std::string::npos, ReadFile(dir + "Quillbook.xml").find("<StorePath>"));
    }
}

bool CanRun(const std::string& loader, std::string& why) {
    for (const std::string& tool : {loader, std::string("wineboot"), std::string("wineserver")})
        if (!HaveTool(tool)) {
            why = tool + " is not installed (scripts/install-deps.sh --windows installs it)";
            return false;
        }
    return true;
}

TEST(HostStandIn, LoadsThe64BitModuleUnderWine64) {
    REQUIRE_WINDOWS_BUILD("x86_64");
    std::string why;
    // Debian's wine launcher runs 64-bit programs with wine64 (not on PATH itself).
    if (!CanRun("wine", why)) GTEST_SKIP() << why;
    CheckHostStandIn("x86_64", "wine");
}

TEST(HostStandIn, LoadsTheShipped32BitModuleUnderWine) {
    REQUIRE_WINDOWS_BUILD("i686");
    std::string why;
    if (!CanRun("wine", why)) GTEST_SKIP() << why;
    // Debian's wine runs 32-bit programs only with wine32 (an i386 package).
    if (Shell("dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null").find("install ok installed") == std::string::npos)
        GTEST_SKIP() << "wine32:i386 is not installed: 32-bit Windows programs cannot run here";
    CheckHostStandIn("i686", "wine");
}

}  // namespace

namespace {

// Every file below dir, by relative name, with its bytes.
std::map<std::string, std::string> Tree(const std::string& dir) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        if (e.is_regular_file()) files[fs::relative(e.path(), dir).generic_string()] = ReadFile(e.path().string());
    return files;
}

std::string WinePath(const std::string& path) {
    std::string p = "Z:" + path;
    for (char& c : p)
        if (c == '/') c = '\\';
    return p;
}

bool HaveLocale(const std::string& name) {
    for (const std::string& line : Lines(Shell("locale -a 2>/dev/null")))
        if (line == name) return true;
    return false;
}

// Wine takes its ANSI code page from LC_ALL, and reads arguments and file
// names right only in a locale the system has.
#define REQUIRE_LOCALE(locale, glibcName)                                                                \
    if (!HaveLocale(glibcName))                                                                        \
    GTEST_SKIP() << "the locale " << locale << " is not generated (scripts/install-deps.sh --windows makes it)"

// Both command lines built, Wine at hand and the locale generated, or the test
// skips saying what is missing; then the shared prefix, booted, as wine.
#define REQUIRE_BOTH_COMMAND_LINES(locale, glibcName)                                                     \
    REQUIRE_WINDOWS_BUILD("x86_64");                                                                      \
    if (std::string why; !CanRun("wine", why)) GTEST_SKIP() << why;                                       \
    if (!fs::exists(std::string(QB_OUT_DIR) + "/quillbook"))                                              \
        GTEST_SKIP() << "the Linux command line is not built";                                            \
    REQUIRE_LOCALE(locale, glibcName);                                                                    \
    const WinePrefix& wine = SharedPrefix();                                                              \
    ASSERT_TRUE(wine.ok()) << wine.bootLog()

// A database folder: each (path below root, bytes) written.
void WriteTree(const std::string& root, std::initializer_list<std::pair<std::string, std::string>> files) {
    for (const auto& [path, bytes] : files) WriteFile(root + path, bytes);
}

struct Exports {
    std::map<std::string, std::string> linuxFiles, windowsFiles;
    std::string windowsLog, linuxTree, windowsTree;
    int windowsStatus = -1;
};

// Imports the database folder src with the Linux command line, then exports
// all of it into linux/OUT by the Linux build and into windows/OUT by
// quillbook.exe under wine64 in the locale. Without keepPages the pages go
// with the clean-up, and Wine is given the paths without a drive letter.
Exports ExportBoth(const WinePrefix& wine, const TempDir& tmp, const std::string& src, const std::string& locale,
                   const std::string& out, bool keepPages = true) {
    Exports e;
    const std::string linuxCli = std::string(QB_OUT_DIR) + "/quillbook";
    const std::string db = tmp / "database.kvdb";
    int status = -1;
    const std::string env = "SOURCE_DATE_EPOCH=1700000000 ";
    std::string log = Shell(linuxCli + " db import '" + src + "' '" + db + "' 2>&1", &status);
    EXPECT_EQ(0, status) << log;
    const std::string common = keepPages ? " --whole -q --set RemoveTempFiles=false" : " --whole -q";
    log = Shell(env + linuxCli + " export --db '" + db + "' --out '" + tmp / "linux/" + out + "'" + common + " 2>&1",
                &status);
    EXPECT_EQ(0, status) << log;
    e.linuxTree = Shell(linuxCli + " db tree '" + db + "' 2>&1");

    const std::string exe = OutDir("x86_64") + "quillbook.exe";
    const std::string wineEnv = env + "LC_ALL=" + locale + " ";
    const std::string windowsOut = tmp / "windows/" + out;
    const std::string windowsDb = keepPages ? WinePath(db) : db;
    e.windowsLog = wine.Wine(wineEnv + "wine", "'" + exe + "' export --db '" + windowsDb + "' --out '" +
                                                   (keepPages ? WinePath(windowsOut) : windowsOut) + "'" + common,
                             &e.windowsStatus, true);
    e.windowsTree = wine.Wine(wineEnv + "wine", "'" + exe + "' db tree '" + windowsDb + "'");
    if (fs::exists(tmp / "linux/" + out)) e.linuxFiles = Tree(tmp / "linux/" + out);
    if (fs::exists(tmp / "windows/" + out)) e.windowsFiles = Tree(tmp / "windows/" + out);
    // The project file names the help file by its full path, which is each export's own folder.
    for (auto& [files, folder] : {std::pair{&e.linuxFiles, tmp / "linux/" + out},
                                  std::pair{&e.windowsFiles, "Z:" + tmp / "windows/" + out}})
        for (auto& [name, bytes] : *files)
            if (name.size() > 4 && name.substr(name.size() - 4) == ".hhp") {
                const std::string line = "Compiled file=" + folder + "/";
                const std::size_t at = bytes.find(line);
                EXPECT_NE(std::string::npos, at) << name << " does not name its own folder " << folder;
                if (at != std::string::npos) bytes.replace(at, line.size(), "Compiled file=<out>/");
            }
    return e;
}

void ExpectSameFiles(const Exports& e) {
    ASSERT_EQ(0, e.windowsStatus) << e.windowsLog;
    ASSERT_FALSE(e.linuxFiles.empty());
    std::size_t chms = 0;
    for (const auto& [name, bytes] : e.linuxFiles) {
        auto it = e.windowsFiles.find(name);
        if (it == e.windowsFiles.end()) {
            ADD_FAILURE() << name << " is missing from the Windows export";
            continue;
        }
        chms += name.size() > 4 && name.substr(name.size() - 4) == ".chm";
        EXPECT_TRUE(bytes == it->second) << name << " differs (" << bytes.size() << " vs " << it->second.size()
                                         << " bytes)";
    }
    EXPECT_EQ(1u, chms);
    for (const auto& [name, _] : e.windowsFiles) EXPECT_TRUE(e.linuxFiles.count(name)) << name << " only on Windows";
}

// The sample holds "饺子" and "Öffnungszeiten": only UTF-8 (65001) holds both,
// the ANSI code page of Windows' Unicode-only locales such as Hindi.
TEST(WindowsExport, SampleUnderWine64MatchesTheLinuxBuild) {
    REQUIRE_BOTH_COMMAND_LINES("hi_IN.UTF-8", "hi_IN.utf8");
    TempDir tmp;
    const Exports e = ExportBoth(wine, tmp, std::string(QB_SOURCE_DIR) + "/examples/sample", "hi_IN.UTF-8", "out");
    ExpectSameFiles(e);
    EXPECT_EQ(e.linuxTree, e.windowsTree);
}

// The pages reach the compiler in memory, whatever spelling of the folder the
// compiler works with (it adds the drive letter): only the help file is left.
TEST(WindowsExport, PagesTheCleanUpDeletesNeverReachTheDiskAndTheHelpFileMatches) {
    REQUIRE_BOTH_COMMAND_LINES("hi_IN.UTF-8", "hi_IN.utf8");
    TempDir tmp;
    const Exports e =
        ExportBoth(wine, tmp, std::string(QB_SOURCE_DIR) + "/examples/sample", "hi_IN.UTF-8", "out", false);
    ExpectSameFiles(e);
    std::vector<std::string> left;
    for (const auto& [name, bytes] : e.windowsFiles)
        if (name.find("/.") == std::string::npos && name[0] != '.') left.push_back(name);
    ASSERT_EQ(1u, left.size()) << ::testing::PrintToString(left);
    EXPECT_EQ(".chm", left[0].substr(left[0].size() - 4));
    // A path that starts with "/" is an argument, not an option.
    EXPECT_EQ(e.linuxTree, e.windowsTree);
}

// German names and captions through code page 1252: each character one byte
// at the storage library's interface, the same pages as on Linux.
TEST(WindowsExport, GermanCaptionsUnder1252MatchTheLinuxBuild) {
    REQUIRE_BOTH_COMMAND_LINES("de_DE.UTF-8", "de_DE.utf8");
    TempDir tmp;
    const std::string src = tmp / "src/";
    WriteTree(src, {{"1/.caption", "Öffnungszeiten & Grüße"},
                   {"1/_~_~_notes.rtf", "{\\rtf1\\ansi\\ansicpg1252 Mo\\'e4ntag bis Freitag}"},
                   {"1/Öffnungszeiten.txt", "Mo-Fr 9-17"},
                   {"1/2/.caption", "Straße"},
                   {"1/2/Grüße.txt", "Grüße aus der Straße"},
                   {"1/2/_~_~_notes.rtf", "{\\rtf1 Elbstra\\'dfe}"}});
    const Exports e = ExportBoth(wine, tmp, src, "de_DE.UTF-8", "Ausgabe Übersicht");
    ExpectSameFiles(e);
    EXPECT_EQ(e.linuxTree, e.windowsTree);
    EXPECT_NE(std::string::npos, e.windowsTree.find("Straße")) << e.windowsTree;
}

// Chinese captions through code page 936 (two bytes a character), exported
// into a folder with a Chinese name.
TEST(WindowsExport, ChineseCaptionsUnder936IntoAChineseFolderMatchTheLinuxBuild) {
    REQUIRE_BOTH_COMMAND_LINES("zh_CN.UTF-8", "zh_CN.utf8");
    TempDir tmp;
    const std::string src = tmp / "src/";
    WriteTree(src, {{"1/.caption", "饺子 Dumplings"},
                   {"1/_~_~_notes.rtf", "{\\rtf1\\ansi\\ansicpg936 \\'bd\\'c8\\'d7\\'d3}"},
                   {"1/菜单.txt", "饺子 包子"},
                   {"1/2/.caption", "包子"},
                   {"1/2/_~_~_notes.rtf", "{\\rtf1 steamed}"}});
    const Exports e = ExportBoth(wine, tmp, src, "zh_CN.UTF-8", "导出 输出");
    ExpectSameFiles(e);
    EXPECT_EQ(e.linuxTree, e.windowsTree);
}

// Where the code page lacks a caption's characters the export stops with an
// error naming the item, instead of pages with "??" in their place.
TEST(WindowsExport, ChineseCaptionsUnder1252StopTheExportNamingTheItem) {
    REQUIRE_BOTH_COMMAND_LINES("de_DE.UTF-8", "de_DE.utf8");
    TempDir tmp;
    const std::string src = tmp / "src/";
    WriteTree(src, {{"1/.caption", "Rezepte"},
                   {"1/2/.caption", "饺子 Dumplings"},
                   {"1/2/_~_~_notes.rtf", "{\\rtf1 x}"}});
    const Exports e = ExportBoth(wine, tmp, src, "de_DE.UTF-8", "out");
    EXPECT_NE(0, e.windowsStatus) << e.windowsLog;
    EXPECT_NE(std::string::npos, e.windowsLog.find("\\Organizer\\data\\1\\2\\")) << e.windowsLog;
    EXPECT_NE(std::string::npos, e.windowsLog.find("<U+997A><U+5B50>")) << e.windowsLog;
    EXPECT_NE(std::string::npos, e.windowsLog.find("1252")) << e.windowsLog;
    for (const auto& [name, bytes] : e.windowsFiles)
        EXPECT_EQ(std::string::npos, bytes.find("??")) << name << " holds a caption cut to question marks";
}

}  // namespace

namespace {

// --- The installer -------------------------------------------------------------

std::string SetupScript() { return std::string(QB_SOURCE_DIR) + "/packaging/windows/QuillbookSetup.nsi"; }

const std::set<std::string> kPluginFolder = {"Quillbook.dll", "Quillbook.lng", "hha.dll", "README.md", "LICENSE.txt"};

// What the archive lister sees inside an installer: its payload's file names.
std::set<std::string> Payload(const std::string& setup) {
    std::set<std::string> names;
    bool inList = false;
    for (const std::string& line : Lines(Shell("7z l -ba -slt '" + setup + "' 2>/dev/null"))) {
        if (line.rfind("Path = ", 0) == 0) {
            const std::string name = line.substr(7);
            if (name.rfind("$PLUGINSDIR", 0) != 0) names.insert(name);
            inList = true;
        }
    }
    if (!inList) names.insert("<unreadable>");
    return names;
}

TEST(WindowsInstaller, ShippedSetupHoldsThe32BitPluginFolder) {
    REQUIRE_WINDOWS_BUILD("i686");
    if (!HaveTool("7z")) GTEST_SKIP() << "7z is not installed";
    std::string setup;
    for (const auto& e : fs::directory_iterator(BuildRoot()))
        if (std::regex_match(e.path().filename().string(), std::regex(R"(QuillbookSetup-[0-9.]+\.exe)")))
            setup = e.path().string();
    ASSERT_FALSE(setup.empty()) << "no QuillbookSetup-VERSION.exe in " << BuildRoot();
    std::set<std::string> expected = kPluginFolder;
    expected.insert("Uninstall-Quillbook.exe");
    EXPECT_EQ(expected, Payload(setup));
    // A 32-bit installer runs on every Windows the 32-bit host runs on.
    const std::string header = Shell("head -c 4096 '" + setup + "' | od -An -tx1 -v");
    EXPECT_NE(std::string::npos, header.find("50 45 00 00 4c 01")) << "PE signature with machine i386";
    const std::string dll = Shell("7z x -so '" + setup + "' Quillbook.dll 2>/dev/null | head -c 4096 | od -An -tx1 -v");
    EXPECT_NE(std::string::npos, dll.find("50 45 00 00 4c 01")) << "the packed plug-in is the 32-bit one";
}

// The same script built with the 64-bit stub, so that wine64 alone runs it:
// a silent install next to the user's files, a reinstall, a silent uninstall.
TEST(WindowsInstaller, InstallKeepsTheUsersFilesAndUninstallRemovesOnlyOurs) {
    REQUIRE_WINDOWS_BUILD("x86_64");
    std::string why;
    if (!CanRun("wine", why)) GTEST_SKIP() << why;
    if (!HaveTool("makensis")) GTEST_SKIP() << "makensis is not installed (scripts/install-deps.sh --windows installs nsis)";
    const WinePrefix& wine = SharedPrefix();
    ASSERT_TRUE(wine.ok()) << wine.bootLog();
    TempDir tmp;
    const std::string stage = tmp / "stage/";
    fs::create_directories(stage);
    for (const char* f : {"Quillbook.dll", "Quillbook.lng", "hha.dll"}) fs::copy_file(OutDir("x86_64") + f, stage + f);
    fs::copy_file(std::string(QB_SOURCE_DIR) + "/README.md", stage + "README.md");
    fs::copy_file(std::string(QB_SOURCE_DIR) + "/LICENSE", stage + "LICENSE.txt");
    const std::string setup = tmp / "setup.exe";
    int status = -1;
    std::string log = Shell("makensis -V2 -DVERSION=3.0.0 -DTARGET=amd64-unicode '-DSOURCE=" + stage + "' '-DOUTFILE=" +
                                setup + "' '" + SetupScript() + "' 2>&1",
                            &status);
    ASSERT_EQ(0, status) << log;

    // A plug-in folder the host and another plug-in already use.
    const std::string dir = tmp / "Kelvane plugins/";
    fs::create_directories(dir);
    const std::map<std::string, std::string> users = {
        {"Quillbook.xml", "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Quillbook><Config><Language>Deutsch</Language>"
                          "<KeepDir>true</KeepDir></Config></Quillbook>"},
        {"Other.dll", "another plug-in"},
        {"README.md", "another plug-in's readme"}};
    for (const auto& [name, bytes] : users) WriteFile(dir + name, bytes);
    std::string target = WinePath(dir);
    target.pop_back();  // NSIS takes /D= without a trailing separator, unquoted, last

    auto install = [&] {
        // NSIS reads /D= only unquoted; cmd hands the line on as written.
        log = wine.Wine("wine", "cmd /c '" + WinePath(setup) + " /S /D=" + target + "'", &status);
        wine.Wait();
        ASSERT_EQ(0, status) << log;
    };
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round == 0 ? "install" : "reinstall");
        ASSERT_NO_FATAL_FAILURE(install());
        for (const char* f : {"Quillbook.dll", "Quillbook.lng", "hha.dll", "LICENSE.txt"})
            EXPECT_TRUE(ReadFile(dir + f) == ReadFile(stage + f)) << f;
        EXPECT_TRUE(fs::exists(dir + "Uninstall-Quillbook.exe"));
        for (const auto& [name, bytes] : users) EXPECT_EQ(bytes, ReadFile(dir + name)) << name << " was changed";
    }

    // The uninstaller copies itself away and returns at once: wait for it.
    log = wine.Wine("wine", "'" + dir + "Uninstall-Quillbook.exe' /S", &status);
    ASSERT_EQ(0, status) << log;
    wine.Wait();
    std::map<std::string, std::string> left;
    for (const auto& e : fs::directory_iterator(dir)) left[e.path().filename().string()] = ReadFile(e.path().string());
    EXPECT_EQ(users, left);

    // With nothing of the user's in it, the folder goes too.
    const std::string fresh = tmp / "fresh/";
    target = WinePath(tmp / "fresh");
    ASSERT_NO_FATAL_FAILURE(install());
    for (const std::string& f : kPluginFolder) EXPECT_TRUE(fs::exists(fresh + f)) << f;
    wine.Wine("wine", "'" + fresh + "Uninstall-Quillbook.exe' /S", &status);
    wine.Wait();
    EXPECT_FALSE(fs::exists(fresh)) << "the emptied folder is left behind";
}

}  // namespace
