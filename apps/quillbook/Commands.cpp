#include "quillbook/Commands.h"


#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <vector>

#include "Utils/FileSys.h"
#include "Utils/StringList.h"
#include "Utils/Utils.h"
#include "Utils/Version.h"
#include "engine/Converters.h"
#include "engine/Defaults.h"
#include "engine/Engine.h"
#include "quillbook/CompileCommand.h"
#include "quillbook/DbCommands.h"
#include "quillbook/ExportCommand.h"
#include "quillbook/ManPage.h"
#include "quillbook/Report.h"
#include "support/Error.h"
#include "support/Os.h"
#include "support/Scratch.h"

namespace qbcli {

namespace {

int RunConvert(int method, const std::string& title, const std::string& rtfFile) {
    if (!qb::fs::FileExists(rtfFile)) {
        return Fail("convert", "no such file: " + rtfFile, 2);
    }
    std::string dir;
    try {
        dir = qb::MakeScratchFolder(qb::TempDirectory() + "/quillbook-convert-", "cannot create a temporary folder") +
              "/";
    } catch (const qb::Error&) {
        return Fail("convert", "cannot create a temporary folder", 1);
    }
    int status = 0;
    try {
        qb::TParameters job;
        job.options.ConvertMethod = static_cast<std::uint8_t>(method);
        job.options.RootPath = dir;
        job.FileList = std::make_unique<qb::TStringList>();
        const std::string note = dir + "note.rtf";
        qb::fs::CopyFile(rtfFile, note);
        qb::PrepareConverter(job, 1);  // one note needs one office
        qb::ConvertNote(job, note, title.empty() ? qb::ChangeFileExt(qb::ExtractFileName(rtfFile), "") : title);
        qb::ReleaseConverter(job);
        std::cout << qb::LoadTextFile(dir + "note.html");
    } catch (const std::exception& e) {
        status = Fail("convert", e.what(), 1);
    }
    qb::TStringList keep;
    qb::DeleteFilesExcept(&keep, dir, "*.*", true);
    return status;
}

const char* const kDatabaseFolderFormat =
    "The database folder that 'db import' reads:\n"
    "- The folder itself is the database's root; every folder below it is an item, named by its\n"
    "  folder name (its storage name, as --item and 'db tree' show it).\n"
    "- .caption: the first line (UTF-8) is the item's caption; without it the caption is the\n"
    "  folder name.\n"
    "- .order: one sub-folder name a line; those listed come first, in that order, the rest\n"
    "  follow in natural order (2 before 10). Names that are no sub-folder are ignored.\n"
    "- _~_~_notes.rtf is the item's note; every other file is an attachment.\n"
    "- Skipped: names that begin with a dot. Refused, with the path named: special files, links\n"
    "  to folders or leading outside the folder, names that differ only in letter case.\n"
    "  A link to a file inside the folder is stored as the file.\n";

const std::vector<std::string> kCommands = {"export", "convert", "compile", "db", "host", "help"};
const std::vector<std::string> kDbCommands = {"import", "tree"};

bool IsOption(const std::string& arg) { return arg.size() > 1 && arg[0] == '-'; }

// The command words of argv ("export", "db import"), before any option of the command.
std::vector<std::string> CommandWords(int argc, char** argv) {
    std::vector<std::string> words;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (IsOption(arg)) {
            if (!words.empty()) break;
            continue;  // -q, -v, --help, --version before the command
        }
        words.push_back(arg);
        if (words.size() == 2 || (words[0] != "db" && words[0] != "help")) break;
        if (words[0] == "help" && i + 1 < argc && std::string(argv[i + 1]) == "db") continue;
    }
    return words;
}

std::string JoinWords(const std::vector<std::string>& words) {
    std::string text;
    for (const auto& w : words) text += (text.empty() ? "" : ", ") + w;
    return text;
}

int UnknownCommand(const std::string& context, const std::string& word, const std::vector<std::string>& known) {
    std::string text = "'" + word + "' is not a " + context + " command";
    const std::string nearest = NearestWord(word, known);
    text += nearest.empty() ? "; the commands are: " + JoinWords(known) + "." : "; did you mean '" + nearest + "'?";
    text += " See '" + (context == "quillbook" ? std::string("quillbook") : context) + " --help'.";
    return Fail("", text, 2);
}

bool Contains(const std::vector<std::string>& list, const std::string& word) {
    return std::find(list.begin(), list.end(), word) != list.end();
}

// The options cmd takes, its parents' included (they fall through).
std::vector<const CLI::Option*> OptionsOf(const CLI::App* cmd) {
    std::vector<const CLI::Option*> all;
    for (; cmd; cmd = cmd->get_parent())
        for (const CLI::Option* opt : cmd->get_options())
            if (!opt->get_positional()) all.push_back(opt);
    return all;
}

// An option name nobody defined, said before CLI11 reports it as a missing
// required option or an unexpected argument. Returns the message, or "".
std::string UnknownOption(const CLI::App& app, const std::vector<std::string>& words, int argc, char** argv) {
    const CLI::App* scope = &app;
    std::size_t word = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--") break;
        if (!IsOption(arg)) {
            if (word < words.size() && arg == words[word]) {
                try {
                    scope = scope->get_subcommand(arg);
                } catch (const CLI::OptionNotFound&) {
                    // "help db": the word is the help command's argument
                }
                ++word;
            }
            continue;
        }
        const auto options = OptionsOf(scope);
        std::vector<std::string> names;
        for (const CLI::Option* opt : options) {
            for (const auto& l : opt->get_lnames()) names.push_back("--" + l);
            for (const auto& n : opt->get_snames()) names.push_back("-" + n);
        }
        const bool isLong = arg.rfind("--", 0) == 0;
        const std::string name = isLong ? arg.substr(0, arg.find('=')) : arg.substr(0, 2);
        const CLI::Option* found = nullptr;
        for (const CLI::Option* opt : options)
            if (opt->check_name(name)) found = opt;
        if (!found) {
            std::string text = "unknown option '" + name + "'";
            // One letter is too little to guess from.
            const std::string nearest = isLong ? NearestWord(name, names) : std::string();
            text += nearest.empty() ? "." : "; did you mean '" + nearest + "'?";
            std::string help = "quillbook help";
            for (std::size_t w = 0; w < word && w < 2; ++w) help += " " + words[w];
            return text + " See '" + help + "'.";
        }
        // A value that follows its option ("--method -1") is no option name.
        const bool inlineValue = isLong ? arg.find('=') != std::string::npos : arg.size() > 2;
        if (found->get_expected_max() != 0 && !inlineValue) ++i;
    }
    return "";
}

// A positional argument as the usage lines write it: "db" -> "DB".
std::string Placeholder(std::string name) {
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return name;
}

// Every required argument the parsed command lacks, so one try names them all.
std::vector<std::string> MissingArguments(const CLI::App& cmd) {
    std::vector<std::string> missing;
    for (const CLI::Option* opt : cmd.get_options())
        if (opt->get_required() && opt->count() == 0)
            missing.push_back(opt->get_positional() ? Placeholder(opt->get_name(true, false)) : opt->get_name());
    return missing;
}

std::string JoinAnd(const std::vector<std::string>& words) {
    std::string text;
    for (std::size_t i = 0; i < words.size(); ++i)
        text += (i == 0 ? "" : i + 1 == words.size() ? " and " : ", ") + words[i];
    return text;
}

// A .hhp that the compiler can take: the name says so and it has an [OPTIONS] section.
std::string NotAHelpProject(const std::string& file) {
    if (!qb::fs::FileExists(file)) return "no such file: " + file;
    if (!qb::EqualsNoCase(qb::ExtractFileExt(file), ".hhp")) return file + " is not a help project (.hhp file)";
    const std::string text = qb::LoadTextFile(file);
    if (qb::LowerAscii(text).find("[options]") == std::string::npos)
        return file + " is not a help project: it has no [OPTIONS] section";
    return "";
}

}  // namespace

int Main(int argc, char** argv) {
    // Output to a file or a pipe goes in blocks: unbuffered, the Windows
    // runtime asks the console about every piece it writes.
    if (!qb::os::StdoutIsTerminal()) std::setvbuf(stdout, nullptr, _IOFBF, 1 << 16);
    CLI::App app{"Quillbook: exports an outliner database to HTML pages and a compiled help file", "quillbook"};
    // Options are "-x" and "--name" everywhere: "/work/db.kvdb" is a path, not an option.
    app.allow_windows_style_options(false);
    app.set_version_flag("--version", "quillbook " QB_VERSION);
    bool quiet = false, verbose = false;
    app.add_flag("-q,--quiet", quiet, "Print errors only");
    app.add_flag("-v,--verbose", verbose, "Print the whole run log: every item and every compiled file");
    app.footer("Run 'quillbook help COMMAND' for a command's options.");
    // One command per call; words after it are its arguments ("help export").
    app.require_subcommand(0, 1);

    ExportArgs ex;
    auto* exportCmd = app.add_subcommand("export", "Export a branch or the whole database");
    bool listFields = false;
    // Answered like --help: the required options of a run are not asked for.
    exportCmd->add_flag_callback(
        "--list-fields",
        [&listFields] {
            listFields = true;
            throw CLI::Success();
        },
        "List the fields --set takes, with type, default and meaning");
    exportCmd->add_option("--db", ex.db, "Database file")->required();
    auto* item =
        exportCmd->add_option("--item", ex.item, "Storage path of the start item, e.g. \\Organizer\\data\\3\\");
    auto* whole = exportCmd->add_flag("--whole", ex.whole, "Export the whole database");
    item->excludes(whole);
    auto* outOpt = exportCmd->add_option("--out", ex.out, "Output folder (without it, --site writes the website alone)");
    exportCmd->add_option("--chm", ex.chm, "Compiled help file (default: output folder + start name + .chm)");
    exportCmd
        ->add_option("--method", ex.method,
                     "Engine: 0 built-in, 1 word processor, 2 plain text, 3 converter "
                     "(default 0, or the engine of --settings)")
        ->check(CLI::Range(0, 3))
        ->default_str("0");
    exportCmd->add_option("--settings", ex.settings, "Wizard settings file to take the options from");
    exportCmd->add_option("--site", ex.site, "Also write a website to this folder (alone, without --out)");
    exportCmd->add_option("--set", ex.sets, "Field=Value of the run's options (repeatable; see --list-fields)");

    int method = 0;
    std::string title, rtf;
    auto* convertCmd = app.add_subcommand("convert", "Print the page the engine writes for one RTF note");
    convertCmd->add_option("--method", method, "Engine: 0 built-in, 1 word processor, 2 plain text, 3 converter")
        ->check(CLI::Range(0, 3))
        ->default_str("0");
    convertCmd->add_option("--title", title, "Page title");
    convertCmd->add_option("file", rtf, "RTF file")->required();

    std::string hhp;
    auto* compileCmd = app.add_subcommand("compile", "Compile an HTML Help project through libhha.so");
    compileCmd->add_option("project", hhp, "Project file (.hhp)")->required();

    auto* dbCmd = app.add_subcommand("db", "Database commands: import, tree");
    dbCmd->require_subcommand(1);
    std::string src, dbFile;
    auto* importCmd = dbCmd->add_subcommand("import", "Build a database file from a database folder");
    importCmd->footer(kDatabaseFolderFormat);
    dbCmd->footer(kDatabaseFolderFormat);
    importCmd->add_option("src", src, "Database folder")->required();
    importCmd->add_option("db", dbFile, "Database file to write")->required();
    bool replaceDb = false;
    importCmd->add_flag("--replace", replaceDb, "Overwrite DB even when it is not a database file");
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
    hostCmd->add_option("--plugin", host.plugin, "Plug-in module (default: Quillbook.so of this installation)");

    std::vector<std::string> helpTopic;
    auto* helpCmd = app.add_subcommand("help", "Show the help of quillbook or of one command");
    helpCmd->add_option("command", helpTopic, "Command, e.g. export or db import");

    // -q and -v are taken before or after the command word.
    for (auto* sub : {exportCmd, convertCmd, compileCmd, dbCmd, hostCmd, helpCmd}) sub->fallthrough();
    importCmd->fallthrough();
    treeCmd->fallthrough();

    // The build writes the manual's options part from the definitions above; not a user's command.
    if (argc == 2 && std::string(argv[1]) == "--man-options") {
        PrintManOptions(app, std::cout);
        return 0;
    }

    // Unknown commands are named before CLI11 would call them "unexpected arguments".
    const std::vector<std::string> words = CommandWords(argc, argv);
    const bool knownCommand = !words.empty() && Contains(kCommands, words[0]) &&
                              (words[0] != "db" || words.size() < 2 || Contains(kDbCommands, words[1]));
    if (words.empty() || knownCommand) {
        if (const std::string why = UnknownOption(app, words, argc, argv); !why.empty()) {
            std::string scope = words.empty() || words[0] == "help" ? "" : words[0];
            if (scope == "db" && words.size() > 1) scope += " " + words[1];
            return Fail(scope, why, 2);
        }
    }
    if (words.empty()) {
        bool asksForInfo = false;
        for (int i = 1; i < argc; ++i) {
            const std::string a = argv[i];
            asksForInfo = asksForInfo || a == "--help" || a == "-h" || a == "--version";
        }
        if (!asksForInfo) {
            Fail("", "a command is required; the commands are: " + JoinWords(kCommands) + ".", 2);
            std::cerr << "\n" << app.help();
            return 2;
        }
    } else if (std::find(kCommands.begin(), kCommands.end(), words[0]) == kCommands.end()) {
        return UnknownCommand("quillbook", words[0], kCommands);
    } else if (words[0] == "db" && words.size() > 1 &&
               std::find(kDbCommands.begin(), kDbCommands.end(), words[1]) == kDbCommands.end()) {
        return UnknownCommand("quillbook db", words[1], kDbCommands);
    }
    std::string command;
    for (const auto& w : words) command += (command.empty() ? "" : " ") + w;
    if (!words.empty() && words[0] == "help") command = "help";

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::Success&) {
        if (listFields) PrintOptionFields(std::cout);
        return 0;
    } catch (const CLI::RequiredError&) {
        // CLI11 stops at the first missing argument; name them all.
        const CLI::App* cmd = &app;
        while (!cmd->get_subcommands().empty()) cmd = cmd->get_subcommands().front();
        std::vector<std::string> missing = MissingArguments(*cmd);
        if (cmd == exportCmd && ex.item.empty() && !ex.whole) missing.push_back("one of --item PATH or --whole");
        if (cmd == exportCmd && outOpt->count() == 0 && ex.site.empty()) missing.push_back("--out DIR (or --site DIR alone)");
        return Fail(command, "missing " + JoinAnd(missing) + ". See 'quillbook help " + command + "'.", 2);
    } catch (const CLI::ParseError& e) {
        std::string help = command.empty() ? "quillbook help" : "quillbook help " + command;
        return Fail(command, std::string(e.what()) + ". See '" + help + "'.", 2);
    }
    gVerbosity = quiet ? Verbosity::Quiet : verbose ? Verbosity::Verbose : Verbosity::Normal;

    if (*helpCmd) {
        // App::help() of a parsed app shows the chosen command's help, here the help command's own.
        if (helpTopic.empty()) {
            std::cout << app.get_formatter()->make_help(&app, "quillbook", CLI::AppFormatMode::Normal);
            return 0;
        }
        if (std::find(kCommands.begin(), kCommands.end(), helpTopic[0]) == kCommands.end())
            return UnknownCommand("quillbook", helpTopic[0], kCommands);
        const CLI::App* topic = app.get_subcommand(helpTopic[0]);
        std::string prefix = "quillbook";
        if (helpTopic[0] == "db" && helpTopic.size() > 1) {
            if (std::find(kDbCommands.begin(), kDbCommands.end(), helpTopic[1]) == kDbCommands.end())
                return UnknownCommand("quillbook db", helpTopic[1], kDbCommands);
            topic = dbCmd->get_subcommand(helpTopic[1]);
            prefix = "quillbook db";
        }
        std::cout << topic->help(prefix);
        return 0;
    }
    if (*exportCmd) {
        std::vector<std::string> missing;
        if (ex.item.empty() && !ex.whole) missing.push_back("one of --item PATH or --whole");
        if (outOpt->count() == 0 && ex.site.empty()) missing.push_back("--out DIR (or --site DIR alone)");
        if (!missing.empty())
            return Fail("export", "missing " + JoinAnd(missing) + ". See 'quillbook help export'.", 2);
        ex.siteOnly = outOpt->count() == 0;
        return RunExport(ex);
    }
    if (*convertCmd) return RunConvert(method, title, rtf);
    if (*compileCmd) {
        const std::string why = NotAHelpProject(hhp);
        if (!why.empty()) return Fail("compile", why, 2);
        return qb::CmdCompile(hhp, gVerbosity == Verbosity::Quiet);
    }
    if (*importCmd) {
        std::ostringstream kept;
        return qb::CmdDbImport(src, dbFile, gVerbosity == Verbosity::Quiet ? kept : std::cout, std::cerr, replaceDb);
    }
    if (*treeCmd) return treeItem.empty() ? qb::CmdDbTree(dbFile) : qb::CmdDbTree(dbFile, StoragePathArg(treeItem));
    if (*hostCmd) return RunHost(host);
    return 2;
}

}  // namespace qbcli
