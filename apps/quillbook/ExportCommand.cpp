#include "support/Os.h"
#include "quillbook/ExportCommand.h"


#include <algorithm>
#include <atomic>
#include <chrono>
#include <optional>
#include <cstdio>
#include <iomanip>
#include <iostream>
#include <memory>

#include "Utils/FileSys.h"
#include "Utils/Utils.h"
#include "dvo/Utf8.h"
#include "engine/Defaults.h"
#include "engine/Engine.h"
#include "engine/OptionSchema.h"
#include "quillbook/DbCommands.h"
#include "quillbook/ProgressBar.h"
#include "quillbook/Report.h"
#include "support/Error.h"
#include "support/Text.h"

namespace qbcli {

namespace {

std::atomic<bool> gStopRequested{false};
bool gStopped = false;

void OnSigint() { gStopRequested = true; }

struct Terminal {
    bool tty = qb::os::StdoutIsTerminal() && gVerbosity != Verbosity::Quiet;
    int position = -1;
    bool barShown = false;
    ProgressBar bar;
    std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();

    void ClearBar() {
        if (barShown) {
            std::fputs("\r\x1b[K", stdout);
            barShown = false;
            bar.Invalidate();
        }
    }
    // A redraw per callback sent megabytes to the terminal on large runs; the bar throttles itself.
    void DrawBar(std::pair<int, int> steps) {
        if (!tty || position < 0) return;
        const double now = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const bool walking = steps.second > 0 && steps.first < steps.second;
        const std::string line = bar.Update(now, position, walking ? steps.first : 0, walking ? steps.second : 0);
        if (line.empty()) return;
        std::fputs(line.c_str(), stdout);
        barShown = true;
    }
};

Terminal gTerm;

// Lines of one item ("|  |--Caption") or one file the compiler took: shown with -v only.
// The run the progress lines come from, known once it is made.
struct CliRun {
    const qb::TRun* run = nullptr;
};

// A line of the tree or a file the compiler stores: shown only when verbose.
bool IsDetailLine(const CliRun* cli, const char* text) {
    std::size_t i = 0;
    while (text[i] == '|' && text[i + 1] == ' ' && text[i + 2] == ' ') i += 3;
    if (text[i] == '|' && text[i + 1] == '-' && text[i + 2] == '-') return true;
    // The run knows the files it listed: a look at the disk only for the rest.
    if (cli && cli->run && cli->run->NamesListedFile(text)) return true;
    return qb::fs::FileExists(text);
}

bool ShowLine(const CliRun* cli, const char* text) {
    switch (gVerbosity) {
        case Verbosity::Quiet: return false;
        case Verbosity::Normal: return !IsDetailLine(cli, text);
        case Verbosity::Verbose: return true;
    }
    return true;
}

bool CliProgress(void* context, int position, const char* text) {
    if (text && ShowLine(static_cast<const CliRun*>(context), text)) {
        gTerm.ClearBar();
        std::fputs(text, stdout);
        std::fputc('\n', stdout);
    }
    if (position >= 0) gTerm.position = position;
    const auto* cli = static_cast<const CliRun*>(context);
    gTerm.DrawBar(cli && cli->run ? cli->run->WalkSteps() : std::pair<int, int>{0, 0});
    std::fflush(stdout);
    if (gStopRequested) gStopped = true;
    return gStopRequested;
}

int ExportError(const std::string& text, int status) { return Fail("export", text, status); }

// What a run starts from before --settings and --set.
qb::TConvertOptions CommandLineDefaults() {
    qb::TConvertOptions o;
    o.ConvertMethod = 0;  // the built-in engine: the office engine is many times slower
    return o;
}

// A --set field no option has, with the nearest that one does; "" for a known field.
std::string UnknownField(const std::string& field) {
    std::vector<std::string> names, lowered;
    for (const auto& f : qb::OptionFieldTable(CommandLineDefaults())) {
        names.push_back(f.name);
        lowered.push_back(qb::LowerAscii(f.name));
    }
    const std::string key = qb::LowerAscii(field);
    if (std::find(lowered.begin(), lowered.end(), key) != lowered.end()) return "";
    std::string text = "unknown --set field \"" + field + "\"";
    const std::string nearest = NearestWord(key, lowered);
    text += nearest.empty()
                ? "."
                : "; did you mean " + names[std::find(lowered.begin(), lowered.end(), nearest) - lowered.begin()] + "?";
    return text + " 'quillbook export --list-fields' lists the fields.";
}

}  // namespace

void PrintOptionFields(std::ostream& out) {
    const auto table = qb::OptionFieldTable(CommandLineDefaults());
    std::size_t nameWidth = 0, typeWidth = 0, defaultWidth = 0, storedWidth = 8;
    for (const auto& f : table) {
        nameWidth = std::max(nameWidth, f.name.size());
        typeWidth = std::max(typeWidth, f.type.size());
        defaultWidth = std::max(defaultWidth, f.defaultValue.size() + 2);
        storedWidth = std::max(storedWidth, f.stored.size());
    }
    out << std::left << std::setw(int(nameWidth) + 2) << "FIELD" << std::setw(int(typeWidth) + 2) << "TYPE"
        << std::setw(int(defaultWidth) + 2) << "DEFAULT" << std::setw(int(storedWidth) + 2) << "SETTINGS"
        << "MEANING\n";
    for (const auto& f : table) {
        const std::string shown = f.settable ? "\"" + f.defaultValue + "\"" : "-";
        out << std::setw(int(nameWidth) + 2) << f.name << std::setw(int(typeWidth) + 2) << f.type
            << std::setw(int(defaultWidth) + 2) << shown << std::setw(int(storedWidth) + 2)
            << (f.stored.empty() ? "-" : f.stored) << f.meaning << (f.settable ? "" : " [not settable]") << "\n";
    }
}

int RunExport(const ExportArgs& args) {
    gTerm = Terminal{};
    // An empty name would mean the current folder, which the clean-up empties.
    if (!args.siteOnly && qb::Trim(args.out).empty()) return ExportError("--out names no folder", 2);
    qb::os::FileInfo dbInfo;
    if (!qb::os::PathInfo(args.db, dbInfo, true)) return ExportError("no such file: " + args.db, 2);
    const int db = qb::dvo::OpenDatabase(args.db);
    if (db <= 0) return ExportError(qb::dvo::LastError(), 1);  // it names the file and the reason
    struct CloseDb {
        int db;
        ~CloseDb() { dvo_close(db); }
    } closeDb{db};

    qb::TConvertOptions o = CommandLineDefaults();
    o.DatabaseHandle = db;
    o.WholeDatabase = args.whole;
    o.StartPath = args.whole ? std::string("\\Organizer\\data\\") : StoragePathArg(args.item);
    const bool startExists = dvo_path_exists(db, qb::dvo::ToLibrary(o.StartPath).c_str()) != 0;
    if (const std::string why = qb::dvo::DbLastError(db); !why.empty())
        return ExportError("cannot read database \"" + args.db + "\": " + why, 1);
    if (!startExists) return ExportError(qb::NoItemMessage(db, args.db, o.StartPath), 2);
    o.DatabaseFileName = qb::ExtractFileName(args.db);
    // The pages the site is made from then go to a scratch folder that goes with the run.
    std::unique_ptr<qb::fs::TempFolder> scratch;
    if (args.siteOnly) scratch = std::make_unique<qb::fs::TempFolder>();
    o.RootPath = scratch ? scratch->Path() : qb::IncludeTrailingDelimiter(qb::fs::ExpandFileName(qb::Trim(args.out)));
    const std::string caption = qb::Trim(qb::dvo::Hint(db, o.StartPath));
    const std::string startName = qb::StartName(
        args.whole, caption.empty() ? qb::ExtractFileName(qb::ExcludeTrailingDelimiter(o.StartPath)) : caption,
        args.db);
    o.WindowTitle = startName;
    o.ChmFileName = args.chm.empty() ? o.RootPath + startName + ".chm" : qb::fs::ExpandFileName(args.chm);
    if (!args.settings.empty()) {
        try {
            qb::ApplySettingsFile(args.settings, o);
        } catch (const std::exception& e) {
            return ExportError(args.settings + ": " + e.what(), 2);
        }
    }
    if (args.method >= 0) o.ConvertMethod = static_cast<std::uint8_t>(args.method);
    if (!args.site.empty()) o.SiteFolder = args.site;
    try {
        for (const auto& s : args.sets) {
            const std::size_t eq = s.find('=');
            if (eq == std::string::npos) throw qb::Error("--set takes Field=Value, not \"" + s + "\"");
            const std::string field = s.substr(0, eq);
            if (const std::string why = UnknownField(field); !why.empty()) return ExportError(why, 2);
            qb::SetUserOptionField(o, field, s.substr(eq + 1));
        }
    } catch (const std::exception& e) {
        return ExportError(e.what(), 2);
    }
    if (!o.NavLinks) o.RolloverMenus = false;
    // The run works inside the output folder; a relative site folder means the caller's.
    if (!qb::Trim(o.SiteFolder).empty()) o.SiteFolder = qb::fs::ExpandFileName(qb::Trim(o.SiteFolder));

    gStopRequested = false;
    gStopped = false;
    // A terminal closed or a polite kill stops the run like Ctrl-C, so the
    // office is shut down and scratch files go.
    std::optional<qb::os::StopRequests> stops(std::in_place, OnSigint);
    // Only a help file this run wrote is reported as the result.
    const std::string chmBefore = qb::fs::FileIdentity(o.ChmFileName);
    int status = 0;
    try {
        CliRun cli;
        qb::TRun run(o, qb::LibraryStorage(), qb::LibraryHelpCompiler(), &CliProgress, &cli);
        cli.run = &run;
        if (args.siteOnly) run.WithoutHelpFile();
        run.Execute();
        gTerm.ClearBar();
        if (gStopped)
            status = 130;
        else if (!run.WalkError().empty())
            status = ExportError(run.WalkError(), 3);
    } catch (const std::exception& e) {
        gTerm.ClearBar();
        status = ExportError(e.what(), 1);
    }
    stops.reset();
    std::fflush(stdout);
    if (status == 0 && gVerbosity != Verbosity::Quiet && !args.siteOnly) {
        const std::string chmAfter = qb::fs::FileIdentity(o.ChmFileName);
        if (!chmAfter.empty() && chmAfter != chmBefore)
            std::cout << "Compiled help file: " << o.ChmFileName << "\n";
        else
            std::cout << "Output folder: " << o.RootPath << "\n";
    }
    return status;
}

}  // namespace qbcli
