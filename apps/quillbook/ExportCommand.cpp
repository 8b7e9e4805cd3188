#include "support/Os.h"
#include "quillbook/ExportCommand.h"


#include <algorithm>
#include <atomic>
#include <optional>
#include <cstdio>
#include <iomanip>
#include <iostream>

#include "Utils/FileSys.h"
#include "Utils/Utils.h"
#include "dvo/dvo.h"
#include "engine/Defaults.h"
#include "engine/Engine.h"
#include "engine/OptionSchema.h"
#include "quillbook/Report.h"
#include "support/Error.h"

namespace qbcli {

namespace {

std::atomic<bool> gStopRequested{false};
bool gStopped = false;

void OnSigint() { gStopRequested = true; }

struct Terminal {
    bool tty = qb::os::StdoutIsTerminal() && gVerbosity != Verbosity::Quiet;
    int position = -1;
    bool barShown = false;

    void ClearBar() {
        if (barShown) {
            std::fputs("\r\x1b[K", stdout);
            barShown = false;
        }
    }
    void DrawBar() {
        if (!tty || position < 0) return;
        const int width = 40, filled = position * width / 100;
        std::string bar(static_cast<std::size_t>(filled), '#');
        bar.resize(width, '.');
        std::printf("\r[%s] %3d%%", bar.c_str(), position);
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
    gTerm.DrawBar();
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
    if (qb::Trim(args.out).empty()) return ExportError("--out names no folder", 2);
    const int db = dvo_open(args.db.c_str());
    if (db <= 0) {
        return ExportError("cannot open database \"" + args.db + "\": " + dvo_last_error(), 1);
    }
    struct CloseDb {
        int db;
        ~CloseDb() { dvo_close(db); }
    } closeDb{db};

    qb::TConvertOptions o = CommandLineDefaults();
    o.DatabaseHandle = db;
    o.WholeDatabase = args.whole;
    o.StartPath = args.whole ? std::string("\\Organizer\\data\\") : StoragePathArg(args.item);
    const bool startExists = dvo_path_exists(db, o.StartPath.c_str()) != 0;
    if (const std::string why = dvo_db_last_error(db); !why.empty())
        return ExportError("cannot read database \"" + args.db + "\": " + why, 1);
    if (!startExists) {
        return ExportError("the database holds no item \"" + o.StartPath + "\"", 2);
    }
    o.DatabaseFileName = qb::ExtractFileName(args.db);
    o.RootPath = qb::IncludeTrailingDelimiter(qb::fs::ExpandFileName(qb::Trim(args.out)));
    const std::string caption = qb::Trim(dvo_get_hint(db, o.StartPath.c_str()));
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
            qb::SetUserOptionField(o, s.substr(0, eq), s.substr(eq + 1));
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
    if (status == 0 && gVerbosity != Verbosity::Quiet) {
        const std::string chmAfter = qb::fs::FileIdentity(o.ChmFileName);
        if (!chmAfter.empty() && chmAfter != chmBefore)
            std::cout << "Compiled help file: " << o.ChmFileName << "\n";
        else
            std::cout << "Output folder: " << o.RootPath << "\n";
    }
    return status;
}

}  // namespace qbcli
