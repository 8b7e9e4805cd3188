#include "Commands.h"

#include <unistd.h>

#include <CLI/CLI.hpp>
#include <csignal>
#include <cstdio>
#include <iostream>

#include "CompileCommand.h"
#include "Converters.h"
#include "DbCommands.h"
#include "Defaults.h"
#include "Engine.h"
#include "Error.h"
#include "ExportCommand.h"
#include "FileSys.h"
#include "Utils.h"

namespace qbcli {

namespace {

int RunConvert(int method, const std::string& title, const std::string& rtfFile) {
    if (!qb::fs::FileExists(rtfFile)) {
        std::cerr << "quillbook convert: no such file: " << rtfFile << "\n";
        return 2;
    }
    char tmpl[] = "/tmp/quillbook-convert-XXXXXX";
    if (!mkdtemp(tmpl)) {
        std::cerr << "quillbook convert: cannot create a temporary folder\n";
        return 1;
    }
    const std::string dir = std::string(tmpl) + "/";
    int status = 0;
    try {
        qb::TParameters job;
        job.options.ConvertMethod = static_cast<std::uint8_t>(method);
        job.options.RootPath = dir;
        job.FileList = std::make_unique<qb::TStringList>();
        const std::string note = dir + "note.rtf";
        qb::fs::CopyFile(rtfFile, note);
        qb::PrepareConverter(job);
        qb::ConvertNote(job, note, title.empty() ? qb::ChangeFileExt(qb::ExtractFileName(rtfFile), "") : title);
        qb::ReleaseConverter(job);
        std::cout << qb::LoadTextFile(dir + "note.html");
    } catch (const std::exception& e) {
        std::cerr << "quillbook convert: " << e.what() << "\n";
        status = 1;
    }
    qb::TStringList keep;
    qb::DeleteFilesExcept(&keep, dir, "*.*", true);
    return status;
}

}  // namespace

int Main(int argc, char** argv) {
    CLI::App app{"Quillbook: exports an outliner database to HTML pages and a compiled help file"};
    app.require_subcommand(1);

    ExportArgs ex;
    auto* exportCmd = app.add_subcommand("export", "Export a branch or the whole database");
    exportCmd->add_option("--db", ex.db, "Database file")->required();
    auto* item = exportCmd->add_option("--item", ex.item, "Storage path of the start item, e.g. \\Organizer\\data\\3\\");
    auto* whole = exportCmd->add_flag("--whole", ex.whole, "Export the whole database");
    item->excludes(whole);
    exportCmd->add_option("--out", ex.out, "Output folder")->required();
    exportCmd->add_option("--chm", ex.chm, "Compiled help file (default: output folder + start name + .chm)");
    exportCmd->add_option("--method", ex.method, "Engine: 0 built-in, 1 word processor, 2 plain text, 3 converter");
    exportCmd->add_option("--settings", ex.settings, "Wizard settings file to take the options from");
    exportCmd->add_option("--site", ex.site, "Also write a website to this folder");
    exportCmd->add_option("--set", ex.sets, "Field=Value of the run's options (repeatable)");

    int method = 0;
    std::string title, rtf;
    auto* convertCmd = app.add_subcommand("convert", "Print the page the engine writes for one RTF note");
    convertCmd->add_option("--method", method, "Engine number");
    convertCmd->add_option("--title", title, "Page title");
    convertCmd->add_option("file", rtf, "RTF file")->required();

    std::string hhp;
    auto* compileCmd = app.add_subcommand("compile", "Compile an HTML Help project through libhha.so");
    compileCmd->add_option("project", hhp, "Project file (.hhp)")->required();

    auto* dbCmd = app.add_subcommand("db", "Database commands");
    dbCmd->require_subcommand(1);
    std::string src, dbFile;
    auto* importCmd = dbCmd->add_subcommand("import", "Build a database file from a database folder");
    importCmd->add_option("src", src, "Database folder")->required();
    importCmd->add_option("db", dbFile, "Database file to write")->required();
    auto* treeCmd = dbCmd->add_subcommand("tree", "Print the item tree");
    treeCmd->add_option("db", dbFile, "Database file")->required();
    std::string treeItem;
    treeCmd->add_option("path", treeItem, "Item to start at, e.g. 3\\7 (default: the whole tree)");

    HostArgs host;
    auto* hostCmd = app.add_subcommand("host", "Play the host: load the plug-in and open its wizard");
    hostCmd->add_option("--db", host.db, "Database file");
    auto* hostItem = hostCmd->add_option("--item", host.item, "Storage path of the current item");
    auto* hostWhole = hostCmd->add_flag("--whole", host.whole, "Start with the whole database as range");
    hostItem->excludes(hostWhole);
    hostCmd->add_option("--plugin", host.plugin, "Plug-in module (default: Quillbook.so beside this program)");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int rc = app.exit(e);
        return rc == 0 ? 0 : 2;
    }
    if (*exportCmd) {
        if (ex.item.empty() && !ex.whole) {
            std::cerr << "quillbook export: give --item PATH or --whole\n";
            return 2;
        }
        return RunExport(ex);
    }
    if (*convertCmd) return RunConvert(method, title, rtf);
    if (*compileCmd) return qb::CmdCompile(hhp);
    if (*importCmd) return qb::CmdDbImport(src, dbFile);
    if (*treeCmd) return treeItem.empty() ? qb::CmdDbTree(dbFile) : qb::CmdDbTree(dbFile, StoragePathArg(treeItem));
    if (*hostCmd) return RunHost(host);
    return 2;
}

}  // namespace qbcli
