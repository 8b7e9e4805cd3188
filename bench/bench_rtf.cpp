// Built-in note engine on large generated notes: throughput, linearity, peak
// memory, and the same input through unrtf for comparison.
#include <fcntl.h>
#include <malloc.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "engine/Converters.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// A note as an editor saves it: paragraphs with mixed formatting, colours,
// sizes, accented and Chinese characters, bulleted runs and blank lines.
std::string MakeNote(std::size_t targetBytes) {
    std::string rtf =
        "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fnil\\fcharset0 Arial;}{\\f1\\fnil\\fcharset2 Symbol;}}"
        "{\\colortbl ;\\red255\\green0\\blue0;\\red0\\green77\\blue187;}\\viewkind4\\uc1\\pard\\fs20 ";
    rtf.reserve(targetBytes + 4096);
    for (unsigned i = 0; rtf.size() < targetBytes; ++i) {
        switch (i % 8) {
            case 0: rtf += "\\pard\\qc{\\b\\fs28 Section heading number " + std::to_string(i) + "}\\par\\pard "; break;
            case 1:
                rtf +=
                    "Plain text with {\\b bold} and {\\i italic} words, M\\'e4rz, Gr\\'f6\\'dfe and more text.\\par ";
                break;
            case 2:
                rtf +=
                    "Colour {\\cf1 red words} then {\\cf2\\ul blue underlined} back to \"normal\" <text> & so "
                    "on.\\par ";
                break;
            case 3:
                rtf +=
                    "{\\pntext\\f1\\'B7\\tab}{\\*\\pn\\pnlvlblt\\pnf1{\\pntxtb\\'B7}}\\fi-360\\li720 list item "
                    "one\\par ";
                break;
            case 4: rtf += "{\\pntext\\f1\\'B7\\tab}list item two with \\u20013?\\u25991? text\\par\\pard "; break;
            case 5:
                rtf +=
                    "A longer paragraph  with double spaces, sizes {\\fs32 large} and {\\fs16 small}, and a tab\\tab "
                    "here.\\par ";
                break;
            case 6: rtf += "\\par "; break;
            default: rtf += "Closing line of the block with some ordinary words to read.\\par "; break;
        }
    }
    rtf += "}";
    return rtf;
}

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

double CpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

struct Timing {
    double wall;
    double cpu;
};

Timing ConvertOnce(const std::string& rtfFile, const std::string& htmlFile) {
    qb::TParameters job;
    auto engine = qb::CreateBuiltInEngine();
    const double c0 = CpuSeconds();
    const auto t0 = Clock::now();
    engine->Convert(job, rtfFile, htmlFile, "Bench");
    return {Seconds(t0, Clock::now()), CpuSeconds() - c0};
}

Timing BestOf(int runs, const std::string& rtfFile, const std::string& htmlFile) {
    Timing best{1e9, 1e9};
    for (int i = 0; i < runs; ++i) {
        const Timing t = ConvertOnce(rtfFile, htmlFile);
        best.wall = std::min(best.wall, t.wall);
        best.cpu = std::min(best.cpu, t.cpu);
    }
    return best;
}

// Peak resident memory of one conversion in a child process, in KiB.
long ChildPeakKiB(const std::string& rtfFile, const std::string& htmlFile) {
    const pid_t pid = fork();
    if (pid == 0) {
        ConvertOnce(rtfFile, htmlFile);
        _exit(0);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    return usage.ru_maxrss;
}

// Wall time of `unrtf --html file` with its output discarded; negative when it cannot run.
double UnrtfSeconds(const std::string& rtfFile) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::string a0 = "unrtf", a1 = "--html", a2 = rtfFile;
    char* argv[] = {a0.data(), a1.data(), a2.data(), nullptr};
    const auto t0 = Clock::now();
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, "unrtf", &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    const double s = Seconds(t0, Clock::now());
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? s : -1;
}

}  // namespace

int main() {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("bench_rtf_" + std::to_string(getpid()));
    fs::create_directories(dir);
    const std::string small = (dir / "small.rtf").string(), large = (dir / "large.rtf").string();
    const std::string smallNote = MakeNote(2u << 20), largeNote = MakeNote(8u << 20);
    std::ofstream(small, std::ios::binary) << smallNote;
    std::ofstream(large, std::ios::binary) << largeNote;
    const std::string html = (dir / "out.html").string();

    const double mbSmall = smallNote.size() / 1e6, mbLarge = largeNote.size() / 1e6;
    std::printf("rtf_note_size_small: %.2f MB\n", mbSmall);
    std::printf("rtf_note_size_large: %.2f MB\n", mbLarge);

    // Cold: a fresh process whose memory pages are touched for the first time.
    const Timing cold = ConvertOnce(large, html);
    std::printf("builtin_engine_large_cold_wall: %.1f MB/s\n", mbLarge / cold.wall);

    // Warm: the heap keeps its pages between notes, as in a long export run.
    mallopt(M_MMAP_THRESHOLD, 256 << 20);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    const Timing tSmall = BestOf(3, small, html);
    const Timing tLarge = BestOf(3, large, html);
    std::printf("builtin_engine_small_wall: %.1f MB/s\n", mbSmall / tSmall.wall);
    std::printf("builtin_engine_large_wall: %.1f MB/s\n", mbLarge / tLarge.wall);
    std::printf("builtin_engine_small_cpu: %.1f MB/s\n", mbSmall / tSmall.cpu);
    std::printf("builtin_engine_large_cpu: %.1f MB/s\n", mbLarge / tLarge.cpu);
    // 1.0 is perfectly linear: time per MB of the large note over that of the small one.
    std::printf("builtin_engine_linearity_wall: %.2f ratio\n", (tLarge.wall / mbLarge) / (tSmall.wall / mbSmall));
    std::printf("builtin_engine_linearity_cpu: %.2f ratio\n", (tLarge.cpu / mbLarge) / (tSmall.cpu / mbSmall));
    const double tOurs = tLarge.wall;
    std::printf("builtin_engine_page_size: %.2f MB\n", fs::file_size(html) / 1e6);

    const long peak = ChildPeakKiB(large, html);
    std::printf("builtin_engine_peak_rss: %.1f MB\n", peak / 1024.0);
    std::printf("builtin_engine_peak_rss_per_note_size: %.2f ratio\n", peak * 1024.0 / largeNote.size());

    const double tUnrtf = UnrtfSeconds(large);
    if (tUnrtf < 0) {
        std::printf("unrtf_html_large: unavailable -\n");
    } else {
        std::printf("unrtf_html_large: %.1f MB/s\n", mbLarge / tUnrtf);
        std::printf("builtin_engine_speedup_over_unrtf: %.1f ratio\n", tUnrtf / tOurs);
        std::printf("builtin_engine_speedup_over_unrtf_cold: %.1f ratio\n", tUnrtf / cold.wall);
    }
    std::printf("getrusage_self_maxrss: %.1f MB\n", [] {
        rusage u{};
        getrusage(RUSAGE_SELF, &u);
        return u.ru_maxrss / 1024.0;
    }());
    fs::remove_all(dir);
    return 0;
}
