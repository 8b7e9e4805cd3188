// Word-processor engine throughput: 20 small notes through one running office.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "Converters.h"
#include "Error.h"

int main() {
    namespace sfs = std::filesystem;
    const sfs::path dir = sfs::temp_directory_path() / ("bench_office_" + std::to_string(::getpid()));
    sfs::create_directories(dir);
    constexpr int kNotes = 20;
    for (int i = 0; i < kNotes; ++i) {
        std::ofstream(dir / ("N" + std::to_string(i) + ".rtf"))
            << "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\n\\pard {\\b Note " << i
            << "} with a little text.\\par\n\\pard Second paragraph of note " << i << ".\\par}\n";
    }
    int rc = 0;
    try {
        using clock = std::chrono::steady_clock;
        const auto t0 = clock::now();
        auto engine = qb::CreateOfficeEngine(qb::TConvertOptions{});
        const auto t1 = clock::now();
        qb::TParameters job;
        for (int i = 0; i < kNotes; ++i) {
            const std::string base = (dir / ("N" + std::to_string(i))).string();
            engine->Convert(job, base + ".rtf", base + ".html", "Note");
        }
        const auto t2 = clock::now();
        engine.reset();
        const double start = std::chrono::duration<double>(t1 - t0).count();
        const double convert = std::chrono::duration<double>(t2 - t1).count();
        std::printf("office_start_seconds: %.2f s\n", start);
        std::printf("office_notes_per_second: %.1f notes/s\n", kNotes / convert);
    } catch (const qb::Error& e) {
        std::fprintf(stderr, "bench_office: %s\n", e.what());
        rc = 1;
    }
    std::error_code ec;
    sfs::remove_all(dir, ec);
    return rc;
}
