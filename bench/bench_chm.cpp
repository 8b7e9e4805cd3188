// Help compiler figures on a generated 5,000-page project: the built-in
// compiler, chmcmd run directly, and chmcmd through libhha.so.
// Run from the build folder: bench/bench_chm [pages]
// bench/bench_chm --big MB: the built-in compiler alone on a project of at
// least MB megabytes (pages plus large attachments), for its peak memory.
#include <dlfcn.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;
namespace fs = std::filesystem;

namespace {

void Write(const std::string& path, const std::string& bytes) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

// Pages in folders of 50 with titles, text and a shared image, like an export.
void MakeProject(const std::string& dir, int pages, const std::string& chm) {
    std::string files, hhc = "<HTML><BODY>\r\n<UL>\r\n";
    std::string png(4000, '\0');
    for (std::size_t i = 0; i < png.size(); ++i) png[i] = static_cast<char>((i * 7919) % 251);
    Write(dir + "img/logo.png", png);
    files += "img/logo.png\r\n";
    for (int i = 0; i < pages; ++i) {
        std::string rel = std::to_string(i / 50) + "/P" + std::to_string(i) + ".html";
        std::string body = "<html><head><title>Page " + std::to_string(i) + "</title></head><body><h1>Item " +
                           std::to_string(i) + "</h1>\r\n";
        for (int k = 0; k < 40; ++k)
            body += "<p>Paragraph " + std::to_string(k) + " of item " + std::to_string(i) +
                    " tells about outlines, notes and attached files in word" + std::to_string((i * 31 + k) % 997) +
                    ".</p>\r\n";
        body += "<img src=\"../img/logo.png\"></body></html>\r\n";
        Write(dir + rel, body);
        files += rel + "\r\n";
        hhc += "<LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"Item " + std::to_string(i) +
               "\"><param name=\"Local\" value=\"" + rel + "\"></OBJECT>\r\n";
    }
    hhc += "</UL>\r\n</BODY></HTML>\r\n";
    Write(dir + "bench.hhc", hhc);
    Write(dir + "bench.hhp", "[OPTIONS]\r\nBinary TOC=Yes\r\nCompatibility=1.1 or later\r\nCompiled file=" + chm +
                                 "\r\nContents file=bench.hhc\r\nDefault topic=0/P0.html\r\nFull-text search=yes\r\n"
                                 "Language=0x409 English (United States)\r\nTitle=Bench\r\n[FILES]\r\n" +
                                 files);
}

// A project of at least mb megabytes: 20,000 pages like an export's, the
// rest in attachments of 8 MB of log-like text.
long long MakeBigProject(const std::string& dir, long long mb, const std::string& chm) {
    MakeProject(dir, 20000, chm);
    long long total = 0;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        if (e.is_regular_file()) total += static_cast<long long>(e.file_size());
    std::string hhp;
    {
        std::ifstream in(dir + "bench.hhp", std::ios::binary);
        hhp.assign(std::istreambuf_iterator<char>(in), {});
    }
    unsigned long long x = 88172645463325252ull;
    for (int k = 0; total < mb * 1000000; ++k) {
        std::string log;
        log.reserve(8 << 20);
        while (log.size() < (8u << 20)) {
            x ^= x << 13, x ^= x >> 7, x ^= x << 17;
            log += "2026-12-0" + std::to_string(1 + x % 9) + " host" + std::to_string(x % 37) + " job " +
                   std::to_string(x % 100000) + " state " + (x % 5 ? "ok" : "retry") + " took " +
                   std::to_string(x % 9973) + " ms\n";
        }
        std::string rel = "att/log" + std::to_string(k) + ".txt";
        Write(dir + rel, log);
        hhp += rel + "\r\n";
        total += static_cast<long long>(log.size());
    }
    Write(dir + "bench.hhp", hhp);
    return total;
}

struct Run {
    double seconds = 0;
    double cpu = 0;  // user + system time of the child
    long peakKb = 0;
    int status = -1;
};

double Now() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }

// Runs chmcmd directly in the project folder.
Run RunChmcmd(const std::string& dir) {
    Run r;
    double t0 = Now();
    pid_t pid = fork();
    if (pid == 0) {
        if (chdir(dir.c_str()) != 0) _exit(127);
        std::FILE* devnull = std::freopen("/dev/null", "w", stdout);
        (void)devnull;
        execlp("chmcmd", "chmcmd", "--no-html-scan", "bench.hhp", static_cast<char*>(nullptr));
        _exit(127);
    }
    struct rusage ru {};
    wait4(pid, &r.status, 0, &ru);
    r.seconds = Now() - t0;
    r.cpu = ru.ru_utime.tv_sec + ru.ru_utime.tv_usec / 1e6 + ru.ru_stime.tv_sec + ru.ru_stime.tv_usec / 1e6;
    r.peakKb = ru.ru_maxrss;
    return r;
}

void Quiet(const char*) {}
int GoOn(long) { return 1; }

// Compiles through libhha.so in a child, so its peak memory is its own.
Run RunLibrary(const std::string& lib, const std::string& dir, const char* backend) {
    Run r;
    double t0 = Now();
    pid_t pid = fork();
    if (pid == 0) {
        if (backend) setenv("QB_HHA_BACKEND", backend, 1);
        if (chdir(dir.c_str()) != 0) _exit(127);
        void* h = dlopen(lib.c_str(), RTLD_NOW);
        if (!h) _exit(126);
        auto compile = reinterpret_cast<int (*)(const char*, void (*)(const char*), int (*)(long), int)>(
            dlsym(h, "HHA_CompileHHP"));
        _exit(compile && compile("bench.hhp", Quiet, GoOn, 0) ? 0 : 1);
    }
    struct rusage ru {};
    wait4(pid, &r.status, 0, &ru);
    r.seconds = Now() - t0;
    r.cpu = ru.ru_utime.tv_sec + ru.ru_utime.tv_usec / 1e6 + ru.ru_stime.tv_sec + ru.ru_stime.tv_usec / 1e6;
    r.peakKb = ru.ru_maxrss;
    return r;
}

long long Size(const std::string& path) {
    std::error_code ec;
    auto n = fs::file_size(path, ec);
    return ec ? -1 : static_cast<long long>(n);
}

}  // namespace

int main(int argc, char** argv) {
    std::string exe = fs::canonical("/proc/self/exe").parent_path().string();
    std::string lib = exe + "/../out/libhha.so";
    std::string root = fs::temp_directory_path().string() + "/qb-bench-chm-" + std::to_string(getpid()) + "/";
    std::string dir = root + "proj/";
    std::string chm = root + "bench.chm";
    if (argc > 2 && std::string(argv[1]) == "--big") {
        long long project = MakeBigProject(dir, std::atoll(argv[2]), chm);
        Run big = RunLibrary(lib, dir, nullptr);
        long long size = Size(chm);
        std::printf("native_big_project_size: %.1f MB\n", project / 1e6);
        std::printf("native_big_compile_time: %.1f s\n", big.seconds);
        std::printf("native_big_compile_cpu: %.1f s\n", big.cpu);
        std::printf("native_big_chm_size: %.1f MB\n", size / 1e6);
        std::printf("native_big_peak_memory: %.1f MB\n", big.peakKb / 1024.0);
        std::printf("native_big_ok: %d flag\n", big.status == 0 && size > 0 ? 1 : 0);
        std::error_code ec;
        fs::remove_all(root, ec);
        return big.status == 0 ? 0 : 1;
    }
    int pages = argc > 1 ? std::atoi(argv[1]) : 5000;
    MakeProject(dir, pages, chm);

    Run native = RunLibrary(lib, dir, nullptr);
    long long nativeSize = Size(chm);
    fs::remove(chm);
    Run direct = RunChmcmd(dir);
    long long directSize = Size(chm);
    fs::remove(chm);
    Run through = RunLibrary(lib, dir, "chmcmd");
    long long throughSize = Size(chm);

    std::printf("pages: %d pages\n", pages);
    // Wall time suffers from other load on the machine; CPU time (user +
    // system of the compiling process and its children) does much less.
    std::printf("native_compile_time: %.3f s\n", native.seconds);
    std::printf("native_compile_cpu: %.3f s\n", native.cpu);
    std::printf("native_ok: %d flag\n", native.status == 0 ? 1 : 0);
    std::printf("chmcmd_direct_time: %.3f s\n", direct.seconds);
    std::printf("chmcmd_direct_cpu: %.3f s\n", direct.cpu);
    std::printf("chmcmd_via_libhha_time: %.3f s\n", through.seconds);
    std::printf("chmcmd_via_libhha_cpu: %.3f s\n", through.cpu);
    std::printf("chmcmd_via_libhha_overhead_wall: %.1f %%\n", (through.seconds / direct.seconds - 1) * 100);
    std::printf("chmcmd_via_libhha_overhead_cpu: %.1f %%\n", (through.cpu / direct.cpu - 1) * 100);
    std::printf("native_speedup_vs_chmcmd_wall: %.2f x\n", direct.seconds / native.seconds);
    std::printf("native_speedup_vs_chmcmd_cpu: %.2f x\n", direct.cpu / native.cpu);
    std::printf("native_chm_size: %lld bytes\n", nativeSize);
    std::printf("chmcmd_chm_size: %lld bytes\n", directSize);
    std::printf("chmcmd_via_libhha_chm_size: %lld bytes\n", throughSize);
    std::printf("native_size_vs_chmcmd: %.1f %%\n", directSize > 0 ? (double(nativeSize) / directSize - 1) * 100 : 0.0);
    std::printf("native_peak_memory: %.1f MB\n", native.peakKb / 1024.0);
    std::error_code ec;
    fs::remove_all(root, ec);
    return native.status == 0 && direct.status == 0 && through.status == 0 ? 0 : 1;
}
