// LZX compressor speed and ratio on generated help pages.
// Prints one figure a line: "name: value unit".
#include "hha/Lzx.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <thread>

namespace {

// Pages like the exporter's: repeated markup, varied prose, links, numbers.
std::string HtmlLike(std::size_t n) {
    static const char* const kWords[] = {"item",    "note",    "export",  "label",    "the",      "of",   "attachment",
                                         "page",    "outline", "help",    "index",    "and",      "with", "contents",
                                         "file",    "tree",    "project", "window",   "settings", "user", "folder",
                                         "caption", "branch",  "value",   "language", "table",    "font"};
    constexpr std::size_t kWordCount = sizeof(kWords) / sizeof(kWords[0]);
    std::mt19937 rng(12345);
    std::string s;
    s.reserve(n + 4096);
    for (unsigned page = 0; s.size() < n; ++page) {
        s += "<!DOCTYPE html PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">\r\n<html><head>"
             "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">\r\n<title>";
        for (unsigned w = 0; w < 2 + rng() % 4; ++w) (s += kWords[rng() % kWordCount]) += ' ';
        s += "</title>\r\n<link rel=\"stylesheet\" type=\"text/css\" href=\"..\\style.css\">\r\n"
             "<script type=\"text/javascript\" src=\"..\\script.js\"></script></head>\r\n<body>\r\n"
             "<div class=\"navbar\"><a href=\"..\\index.html\">Home</a>";
        for (unsigned d = 0; d < 1 + rng() % 4; ++d)
            s += " &gt; <a href=\"..\\" + std::to_string(rng() % 5000) + "\\D.html\">" + kWords[rng() % kWordCount] +
                 "</a>";
        s += "</div>\r\n";
        for (unsigned p = 0; p < 2 + rng() % 8; ++p) {
            s += "<p><span style=\"font-family:'Arial'; font-size:10pt; color:#000000\">";
            for (unsigned w = 0; w < 8 + rng() % 60; ++w) {
                s += kWords[rng() % kWordCount];
                if (rng() % 17 == 0) s += ' ' + std::to_string(rng() % 100000);
                s += (rng() % 11 == 0) ? ". " : " ";
            }
            s += "</span></p>\r\n";
        }
        s += "<hr><p class=\"footer\">Exported page " + std::to_string(page) + "</p>\r\n</body></html>\r\n";
    }
    s.resize(n);
    return s;
}

std::string RandomBytes(std::size_t n) {
    std::mt19937 rng(99);
    std::string s(n, '\0');
    for (char& c : s) c = static_cast<char>(rng() & 0xFF);
    return s;
}

// Best of three runs, in MB/s of input.
double Speed(const std::string& input, qb::lzx::Result& out, unsigned threads = 1) {
    double best = 0;
    for (int run = 0; run < 3; ++run) {
        auto t0 = std::chrono::steady_clock::now();
        out = qb::lzx::Compress(input, {}, {}, threads);
        std::chrono::duration<double> s = std::chrono::steady_clock::now() - t0;
        best = std::max(best, input.size() / 1e6 / s.count());
    }
    return best;
}

}  // namespace

int main() {
    qb::lzx::Result r;
    const std::string html = HtmlLike(20'000'000);
    double mbps = Speed(html, r);
    std::printf("lzx_html_20mb_speed: %.1f MB/s\n", mbps);
    std::printf("lzx_html_20mb_ratio: %.1f %%\n", 100.0 * r.data.size() / html.size());
    // Reset intervals side by side, one thread per core; the same bytes.
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    qb::lzx::Result rt;
    mbps = Speed(html, rt, cores);
    std::printf("lzx_html_20mb_speed_%u_threads: %.1f MB/s\n", cores, mbps);
    std::printf("lzx_html_20mb_threads_same_bytes: %d flag\n", rt.data == r.data ? 1 : 0);

    const std::string noise = RandomBytes(4'000'000);
    mbps = Speed(noise, r);
    std::printf("lzx_random_4mb_speed: %.1f MB/s\n", mbps);
    std::printf("lzx_random_4mb_ratio: %.1f %%\n", 100.0 * r.data.size() / noise.size());
    return 0;
}
