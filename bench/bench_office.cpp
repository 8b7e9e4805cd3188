// Word-processor engine throughput: the sample database's notes repeated to
// 2,000, converted ahead by 1 and by 2 offices and taken back in order, as
// the walk does. Also checks that both give the same pages.
//   bench_office [--notes N] [--offices "1 2"]
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/Converters.h"
#include "engine/Storage.h"
#include "support/Error.h"

namespace {

namespace sfs = std::filesystem;

// Serves "n<i>" as the i-th sample note, round robin.
class SampleNotes : public qb::IStorage {
public:
    explicit SampleNotes(std::vector<std::string> files) : files_(std::move(files)) {}
    std::string GetHint(int, const std::string&) override { return ""; }
    int GetFolderCount(int, const std::string&, int) override { return 0; }
    int CountAllSubItems(int, const std::string&) override { return 0; }
    void EnumEntries(int, const std::string&, std::vector<qb::TDVO_ENUM_DATA>&) override {}
    bool PathExists(int, const std::string&) override { return true; }
    bool ExportFile(int, const std::string& path, const std::string& destFile) override {
        const std::size_t i = std::stoul(path.substr(1)) % files_.size();
        sfs::copy_file(files_[i], destFile, sfs::copy_options::overwrite_existing);
        return true;
    }

private:
    std::vector<std::string> files_;
};

std::string ReadAll(const sfs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

}  // namespace

int main(int argc, char** argv) {
    int notes = 2000;
    std::string offices = "1 2";
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--notes") == 0) notes = std::atoi(argv[i + 1]);
        if (std::strcmp(argv[i], "--offices") == 0) offices = argv[i + 1];
    }
    std::vector<std::string> files;
    for (const auto& e : sfs::recursive_directory_iterator(std::string(QB_SOURCE_DIR) + "/examples/sample"))
        if (e.is_regular_file() && e.path().filename() == "_~_~_notes.rtf") files.push_back(e.path().string());
    std::sort(files.begin(), files.end());
    if (files.empty()) {
        std::fprintf(stderr, "bench_office: no sample notes found\n");
        return 1;
    }
    SampleNotes store(files);

    const sfs::path root = sfs::temp_directory_path() / ("bench_office_" + std::to_string(::getpid()));
    int rc = 0;
    std::string firstRun;
    std::istringstream counts(offices);
    for (int n; counts >> n;) {
        const sfs::path dir = root / std::to_string(n);
        sfs::create_directories(dir);
        std::vector<qb::TNoteAhead> planned;
        for (int i = 0; i < notes; ++i)
            planned.push_back({"n" + std::to_string(i), (dir / ("N" + std::to_string(i) + ".rtf")).string()});
        try {
            using clock = std::chrono::steady_clock;
            const auto t0 = clock::now();
            auto engine = qb::CreateOfficeEngine(qb::TConvertOptions{}, n);
            const auto t1 = clock::now();
            qb::TParameters job;
            job.Store = &store;
            engine->ConvertAhead(job, planned);
            for (const auto& note : planned)
                if (!engine->TakeAhead(job, note, note.notesFile.substr(0, note.notesFile.size() - 4) + ".html"))
                    throw qb::Error("a note was not converted ahead: " + note.notePath);
            const auto t2 = clock::now();
            engine.reset();
            const double start = std::chrono::duration<double>(t1 - t0).count();
            const double convert = std::chrono::duration<double>(t2 - t1).count();
            std::printf("office_start_seconds_%d_offices: %.2f s\n", n, start);
            std::printf("office_notes_per_second_%d_offices: %.1f notes/s  (%d sample notes)\n", n, notes / convert,
                        notes);
        } catch (const qb::Error& e) {
            std::fprintf(stderr, "bench_office: %s\n", e.what());
            rc = 1;
            break;
        }
        // Every run's pages must equal the first run's, byte for byte.
        if (firstRun.empty()) {
            firstRun = dir.string();
            continue;
        }
        int differ = 0;
        for (int i = 0; i < notes; ++i) {
            const std::string name = "N" + std::to_string(i) + ".html";
            if (ReadAll(dir / name) != ReadAll(sfs::path(firstRun) / name)) ++differ;
        }
        std::printf("office_pages_differing_%d_offices: %d pages\n", n, differ);
        if (differ) rc = 1;
    }
    std::error_code ec;
    sfs::remove_all(root, ec);
    return rc;
}
