// How long a run takes to end after a stop request: the time from the progress
// call that answers "stop" to the return of TRun::Execute, on a flat branch of
// N items (the shape of a long run the wizard's Stop meets). Built for Linux and
// Windows (run quillbook's out/bench_stop.exe under wine64 for the Windows figure).
//
// bench_stop [--items N] [--stop-at K] [--work DIR] [--trace]
// --trace prints each log line after the stop with its time, to stderr.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "dvo/dvo.h"
#include "engine/Engine.h"

namespace {

namespace stdfs = std::filesystem;
using Clock = std::chrono::steady_clock;

void WriteBytes(const stdfs::path& p, const std::string& bytes) {
    std::ofstream f(p, std::ios::binary);
    f << bytes;
    if (!f) throw std::runtime_error("cannot write " + p.string());
}

// One parent with N notes below it, each a few paragraphs long.
void WriteTree(const stdfs::path& root, int items) {
    stdfs::create_directories(root / "1");
    WriteBytes(root / "1" / ".caption", "Big\n");
    std::string para;
    for (int i = 0; i < 40; ++i) para += "Some words of a note that goes on for a while. ";
    for (int i = 1; i <= items; ++i) {
        const stdfs::path item = root / "1" / std::to_string(i);
        stdfs::create_directories(item);
        WriteBytes(item / ".caption", "Item " + std::to_string(i) + "\n");
        WriteBytes(item / "_~_~_notes.rtf", "{\\rtf1\\ansi {\\b Item} " + para + "\\par " + para + "\\par}");
    }
}

struct StopLog {
    int stopAt = 0;
    int items = 0;
    Clock::time_point asked{};
    std::vector<std::pair<double, std::string>> after;
    static bool Callback(void* ctx, int, const char* text) {
        auto* log = static_cast<StopLog*>(ctx);
        const bool stopping = log->asked != Clock::time_point{};
        if (stopping) {
            log->after.emplace_back(std::chrono::duration<double>(Clock::now() - log->asked).count(),
                                    text ? text : "(no text)");
            return true;
        }
        if (text && text[0] == '|' && ++log->items >= log->stopAt) {
            log->asked = Clock::now();
            return true;
        }
        return false;
    }
};

}  // namespace

int main(int argc, char** argv) {
    int items = 2000, stopAt = 800;
    bool trace = false;
    stdfs::path work;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--items" && i + 1 < argc) items = std::atoi(argv[++i]);
        else if (a == "--stop-at" && i + 1 < argc) stopAt = std::atoi(argv[++i]);
        else if (a == "--work" && i + 1 < argc) work = argv[++i];
        else if (a == "--trace") trace = true;
        else {
            std::fprintf(stderr, "usage: bench_stop [--items N] [--stop-at K] [--work DIR] [--trace]\n");
            return 2;
        }
    }
    const bool ownWork = work.empty();
    if (ownWork) work = stdfs::temp_directory_path() / ("qb-bench-stop-" + std::to_string(std::rand()));
    try {
        stdfs::create_directories(work);
        const std::string dbFile = (work / "db.kvdb").string();
        if (!stdfs::exists(dbFile)) {
            WriteTree(work / "tree", items);
            if (!dvo_import((work / "tree").string().c_str(), dbFile.c_str()))
                throw std::runtime_error(std::string("import failed: ") + dvo_last_error());
        }
        const stdfs::path out = work / "out";
        stdfs::remove_all(out);
        const int db = dvo_open(dbFile.c_str());
        if (db == 0) throw std::runtime_error("cannot open " + dbFile + ": " + dvo_last_error());
        qb::TConvertOptions o;
        o.DatabaseHandle = db;
        o.StartPath = "\\Organizer\\data\\1\\";
        o.DatabaseFileName = "db.kvdb";
        o.RootPath = out.string() + static_cast<char>(stdfs::path::preferred_separator);
        o.ChmFileName = o.RootPath + "Big.chm";
        o.ConvertMethod = 0;
        o.WindowTitle = "Big";
        o.ChmLanguage = "0x409 English (United States)";
        StopLog log;
        log.stopAt = stopAt;
        const auto start = Clock::now();
        qb::TRun run(o, qb::LibraryStorage(), qb::LibraryHelpCompiler(), &StopLog::Callback, &log);
        run.Execute();
        const auto end = Clock::now();
        dvo_close(db);
        if (log.asked == Clock::time_point{}) throw std::runtime_error("the run ended before the stop");
        std::printf("stop_after_%d_of_%d_items: %.3f s  (run start to stop %.1f s)\n", stopAt, items,
                    std::chrono::duration<double>(end - log.asked).count(),
                    std::chrono::duration<double>(log.asked - start).count());
        if (trace)
            for (const auto& [t, text] : log.after) std::fprintf(stderr, "%8.3f %s\n", t, text.c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_stop: %s\n", e.what());
        return 1;
    }
    std::error_code ec;
    if (ownWork) stdfs::remove_all(work, ec);
    return 0;
}
