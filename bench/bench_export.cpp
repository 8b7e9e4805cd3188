// Whole-database export over a synthetic database: throughput and peak memory.
//
// bench_export [--items N] [--fanout F] [--note BYTES] [--attach-every K] [--keep DIR] [--compile] [--tag NAME]
// Without --items it measures 10,000 items (speed and memory), the same export
// writing a website too (its cost against the export alone), and 2,500 items
// (memory growth). Each database is built in one child process and exported in
// another, so every peak-memory figure belongs to one export alone. With
// --compile the export also compiles the help file with the built-in compiler
// (libhha.so of the build), and the figures are split into stages: walk (pages
// and attachments), project (contents, project file and compiling). --tag
// names the figures (default export_N_items).
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "dvo/dvo.h"
#include "engine/Engine.h"

namespace {

namespace stdfs = std::filesystem;

struct Shape {
    int items = 10000;
    int fanout = 10;
    std::size_t noteBytes = 4096;
    int attachEvery = 10;  // every K-th item carries one attachment; 0: none
};

struct Figures {
    double seconds = 0;
    double walkSeconds = 0;     // start to the end of the tree walk
    double compileSeconds = 0;  // inside the help compiler
    double pagesBytes = 0;      // every .html file written, and the menu data (.js) they load
    double chmBytes = 0;
    double cpuSeconds = 0;  // user + system: less disturbed by a busy machine
    long peakKb = 0;
    int walkErrors = 0;
    double stealSeconds = 0;  // CPU time the virtual machine's host took from all cores meanwhile
};

// The machine's "steal" time so far: on a shared host the same run can take
// twice as long, and this tells such a run apart.
double StealSeconds() {
    std::FILE* f = std::fopen("/proc/stat", "r");
    if (!f) return 0;
    unsigned long long v[8] = {};
    const int n = std::fscanf(f, "cpu %llu %llu %llu %llu %llu %llu %llu %llu", &v[0], &v[1], &v[2], &v[3], &v[4],
                              &v[5], &v[6], &v[7]);
    std::fclose(f);
    return n == 8 ? static_cast<double>(v[7]) / static_cast<double>(::sysconf(_SC_CLK_TCK)) : 0;
}

// A 4 KB note reads like a real one: a font table, paragraphs, some formatting.
std::string MakeNote(int item, std::size_t bytes) {
    std::string rtf =
        "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fswiss Arial;}}{\\colortbl;\\red0\\green0\\blue255;}\n"
        "\\pard\\f0\\fs20 ";
    const std::string para =
        "The quick brown fox jumps over the lazy dog while {\\b bold words} and {\\i italic words} "
        "and {\\cf1 coloured words} keep the reader busy.\\par\n";
    rtf += "Item " + std::to_string(item) + "\\par\n";
    while (rtf.size() + para.size() + 1 < bytes) rtf += para;
    while (rtf.size() + 1 < bytes) rtf += 'x';
    return rtf + "}";
}

void WriteBytes(const stdfs::path& p, const std::string& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << bytes;
    if (!out) throw std::runtime_error("cannot write " + p.string());
}

// Database folder tree: item i (1-based) hangs below item (i - 1) / fanout, 0 being the root.
void WriteTree(const stdfs::path& root, const Shape& s) {
    std::vector<stdfs::path> folders(static_cast<std::size_t>(s.items) + 1);
    folders[0] = root;
    stdfs::create_directories(root);
    const std::string attachment(1024, 'a');
    for (int i = 1; i <= s.items; ++i) {
        const int parent = (i - 1) / s.fanout;
        // Named by the place among siblings, so that deep chains stay within
        // the longest path the system takes.
        const stdfs::path dir =
            folders[static_cast<std::size_t>(parent)] / ("n" + std::to_string((i - 1) % s.fanout + 1));
        stdfs::create_directory(dir);
        folders[static_cast<std::size_t>(i)] = dir;
        WriteBytes(dir / ".caption", "Item number " + std::to_string(i) + "\n");
        WriteBytes(dir / "_~_~_notes.rtf", MakeNote(i, s.noteBytes));
        if (s.attachEvery > 0 && i % s.attachEvery == 0)
            WriteBytes(dir / ("data" + std::to_string(i) + ".txt"), attachment);
    }
}

// Runs work in a child process; the child writes its result into the pipe.
template <class T>
bool InChild(const std::function<T()>& work, T& result) {
    int fds[2];
    if (::pipe(fds) != 0) return false;
    const pid_t pid = ::fork();
    if (pid < 0) return false;
    if (pid == 0) {
        ::close(fds[0]);
        int status = 1;
        try {
            T r = work();
            if (::write(fds[1], &r, sizeof r) == static_cast<ssize_t>(sizeof r)) status = 0;
        } catch (const std::exception& e) {
            std::fprintf(stderr, "bench_export: %s\n", e.what());
        }
        ::close(fds[1]);
        std::_Exit(status);
    }
    ::close(fds[1]);
    const bool got = ::read(fds[0], &result, sizeof result) == static_cast<ssize_t>(sizeof result);
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return got && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

using Clock = std::chrono::steady_clock;

// Without --compile nothing is compiled: the project is accepted, no file written.
// With it the build's own libhha.so compiles, timed.
class BenchCompiler : public qb::IHelpCompiler {
public:
    explicit BenchCompiler(bool real) : real_(real) {}
    std::string Find() override {
        if (!real_) return "bench";
        return (stdfs::canonical("/proc/self/exe").parent_path() / ".." / "out" / "libhha.so").string();
    }
    bool Compile(const std::string& lib, const std::string& hhp, qb::THHALog log, qb::THHAContinue cont) override {
        if (!real_) return true;
        const auto t0 = Clock::now();
        forward = log;
        const bool ok = qb::CallHelpCompiler(lib, hhp, &Remember, cont);
        seconds = std::chrono::duration<double>(Clock::now() - t0).count();
        if (!ok) std::fprintf(stderr, "bench_export: the help compiler failed: %s\n", last.c_str());
        return ok;
    }
    double seconds = 0;
    // The compiler's last line, which names the cause when it fails.
    static inline std::string last;
    static inline qb::THHALog forward = nullptr;
    static void Remember(const char* line) {
        if (line && *line) last = line;
        if (forward) forward(line);
    }

private:
    bool real_;
};

struct RunLog {
    int errors = 0;
    Clock::time_point walkEnd{};
    // Lines at position -1 report a failure; the first few go to stderr. The
    // walk ends with the first line at 100 %.
    static bool Callback(void* ctx, int position, const char* text) {
        auto* log = static_cast<RunLog*>(ctx);
        if (position == 100 && log->walkEnd == Clock::time_point{}) log->walkEnd = Clock::now();
        if (position < 0 && text && *text && ++log->errors <= 3)
            std::fprintf(stderr, "bench_export: run log: %s\n", text ? text : "");
        return false;
    }
};

Figures Export(const std::string& dbFile, const std::string& outDir, bool compile, const std::string& siteDir = "") {
    const int db = dvo_open(dbFile.c_str());
    if (db == 0) throw std::runtime_error("cannot open " + dbFile + ": " + dvo_last_error());
    BenchCompiler compiler(compile);
    qb::TConvertOptions o;
    o.DatabaseHandle = db;
    o.WholeDatabase = true;
    o.StartPath = "\\Organizer\\data\\";
    o.DatabaseFileName = "bench.db";
    o.RootPath = outDir;
    o.ChmFileName = outDir + "Bench.chm";
    o.ConvertMethod = 2;
    o.RemoveTempFiles = false;
    o.WindowTitle = "Bench";
    o.ChmLanguage = "0x409 English (United States)";
    o.SiteFolder = siteDir;
    RunLog log;
    const double stealBefore = StealSeconds();
    const auto start = std::chrono::steady_clock::now();
    qb::TRun(o, qb::LibraryStorage(), compiler, &RunLog::Callback, &log).Execute();
    const auto stop = std::chrono::steady_clock::now();
    dvo_close(db);
    rusage ru{};
    ::getrusage(RUSAGE_SELF, &ru);
    Figures f;
    f.stealSeconds = StealSeconds() - stealBefore;
    f.seconds = std::chrono::duration<double>(stop - start).count();
    f.walkSeconds = std::chrono::duration<double>(log.walkEnd - start).count();
    f.compileSeconds = compiler.seconds;
    std::error_code ec;
    for (auto it = stdfs::recursive_directory_iterator(outDir, ec); !ec && it != stdfs::recursive_directory_iterator();
         it.increment(ec))
        if (it->is_regular_file() && (it->path().extension() == ".html" || it->path().extension() == ".js"))
            f.pagesBytes += it->file_size();
    if (stdfs::exists(o.ChmFileName)) f.chmBytes = static_cast<double>(stdfs::file_size(o.ChmFileName));
    f.cpuSeconds = static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
                   static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
    f.peakKb = ru.ru_maxrss;
    f.walkErrors = log.errors;
    return f;
}

// Builds the database and exports it, each in its own child; with withSite, exports
// it once more into a fresh folder, writing a website as well. False on failure.
bool Measure(const Shape& s, const stdfs::path& work, Figures& f, bool compile = false, Figures* withSite = nullptr) {
    const stdfs::path tree = work / ("tree" + std::to_string(s.items));
    const std::string dbFile = (work / ("db" + std::to_string(s.items) + ".sqlite")).string();
    const std::string outDir = (work / ("out" + std::to_string(s.items))).string() + "/";
    int built = 0;
    const bool ok = InChild<int>(
        [&] {
            WriteTree(tree, s);
            if (!dvo_import(tree.string().c_str(), dbFile.c_str()))
                throw std::runtime_error(std::string("import failed: ") + dvo_last_error());
            return 1;
        },
        built);
    if (!ok) return false;
    // The source tree goes only after the export: a mass deletion just before it
    // makes the file system's inode allocation, not the export, dominate the time.
    bool exported = InChild<Figures>([&] { return Export(dbFile, outDir, compile); }, f);
    if (exported && withSite) {
        const std::string siteOut = (work / ("out-site" + std::to_string(s.items))).string() + "/";
        const std::string siteDir = (work / ("site" + std::to_string(s.items))).string();
        exported = InChild<Figures>([&] { return Export(dbFile, siteOut, compile, siteDir); }, *withSite);
    }
    std::error_code ec;
    stdfs::remove_all(tree, ec);
    return exported;
}

void Print(const std::string& name, double value, const char* unit, int decimals = 1) {
    std::printf("%s: %.*f %s\n", name.c_str(), decimals, value, unit);
}

double Mb(long kb) { return static_cast<double>(kb) / 1024.0; }

int Usage() {
    std::fprintf(stderr,
                 "usage: bench_export [--items N] [--fanout F] [--note BYTES] [--attach-every K] [--keep DIR] "
                 "[--compile] [--tag NAME]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    Shape shape;
    bool custom = false;
    std::string keep;
    bool compile = false;
    std::string tagOption;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--compile") {
            compile = true;
            continue;
        }
        if (i + 1 >= argc) return Usage();
        const char* v = argv[++i];
        if (a == "--items") {
            shape.items = std::atoi(v);
            custom = true;
        } else if (a == "--fanout") {
            shape.fanout = std::atoi(v);
        } else if (a == "--note") {
            shape.noteBytes = static_cast<std::size_t>(std::atol(v));
        } else if (a == "--attach-every") {
            shape.attachEvery = std::atoi(v);
        } else if (a == "--tag") {
            tagOption = v;
        } else if (a == "--keep") {
            keep = v;
        } else {
            return Usage();
        }
    }
    if (shape.items < 1 || shape.fanout < 1) return Usage();

    std::string tmpl = (stdfs::temp_directory_path() / "qb-bench-XXXXXX").string();
    if (!keep.empty()) {
        stdfs::create_directories(keep);
        tmpl = keep;
    } else if (!::mkdtemp(tmpl.data())) {
        std::perror("bench_export: mkdtemp");
        return 1;
    }
    const stdfs::path work = tmpl;
    int status = 0;

    const std::string tag = tagOption.empty() ? "export_" + std::to_string(shape.items) + "_items" : tagOption;
    Figures big, site;
    if (!Measure(shape, work, big, compile, custom ? nullptr : &site)) {
        std::fprintf(stderr, "bench_export: the %d-item run failed\n", shape.items);
        status = 1;
    } else {
        Print(tag + "_seconds", big.seconds, "s", 2);
        Print(tag + "_throughput", shape.items / big.seconds, "items/s", 0);
        Print(tag + "_cpu_seconds", big.cpuSeconds, "s", 2);
        Print(tag + "_host_steal_seconds", big.stealSeconds, "s", 2);
        Print(tag + "_peak_rss", Mb(big.peakKb), "MB");
        Print(tag + "_walk_seconds", big.walkSeconds, "s", 2);
        Print(tag + "_after_walk_seconds", big.seconds - big.walkSeconds, "s", 2);
        Print(tag + "_pages_size", big.pagesBytes / 1e6, "MB");
        if (compile) {
            Print(tag + "_compile_seconds", big.compileSeconds, "s", 2);
            Print(tag + "_chm_size", big.chmBytes / 1e6, "MB");
        }
        if (big.walkErrors > 0) Print(tag + "_error_lines", big.walkErrors, "lines", 0);
        if (!custom) {
            Print(tag + "_with_site_seconds", site.seconds, "s", 2);
            Print(tag + "_with_site_cpu_seconds", site.cpuSeconds, "s", 2);
            Print(tag + "_with_site_cost_ratio", site.seconds / big.seconds, "x", 2);
            Print(tag + "_with_site_cpu_cost_ratio", site.cpuSeconds / big.cpuSeconds, "x", 2);
        }
    }

    if (!custom && status == 0) {
        Shape small = shape;
        small.items = shape.items / 4;
        Figures f;
        if (!Measure(small, work, f)) {
            std::fprintf(stderr, "bench_export: the %d-item run failed\n", small.items);
            status = 1;
        } else {
            Print("export_" + std::to_string(small.items) + "_items_peak_rss", Mb(f.peakKb), "MB");
            Print("export_peak_rss_growth_" + std::to_string(small.items) + "_to_" + std::to_string(shape.items),
                  Mb(big.peakKb - f.peakKb), "MB");
            Print("export_peak_rss_ratio_" + std::to_string(small.items) + "_to_" + std::to_string(shape.items),
                  static_cast<double>(big.peakKb) / static_cast<double>(f.peakKb), "x", 2);
        }
    }

    if (keep.empty()) {
        std::error_code ec;
        stdfs::remove_all(work, ec);
    }
    return status;
}
