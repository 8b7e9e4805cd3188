#include "tests/office/OfficeTestSupport.h"

#include <dirent.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>

#include "tests/support/TestSupport.h"

namespace officetest {

namespace {

std::string ReadProc(pid_t pid, const char* what) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/" + what);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

}  // namespace

std::vector<pid_t> Descendants() {
    std::multimap<pid_t, pid_t> children;
    if (DIR* d = ::opendir("/proc")) {
        while (dirent* e = ::readdir(d)) {
            const pid_t pid = static_cast<pid_t>(std::atoi(e->d_name));
            if (pid <= 0) continue;
            const std::string stat = ReadProc(pid, "stat");
            // The command name may hold blanks and parentheses: fields follow the last ')'.
            const std::size_t close = stat.rfind(')');
            if (close == std::string::npos) continue;
            std::istringstream rest(stat.substr(close + 1));
            std::string state;
            pid_t ppid = 0;
            rest >> state >> ppid;
            children.emplace(ppid, pid);
        }
        ::closedir(d);
    }
    std::vector<pid_t> out;
    std::vector<pid_t> pending{::getpid()};
    while (!pending.empty()) {
        const pid_t p = pending.back();
        pending.pop_back();
        auto [from, to] = children.equal_range(p);
        for (auto it = from; it != to; ++it) {
            out.push_back(it->second);
            pending.push_back(it->second);
        }
    }
    return out;
}

std::string ProcessName(pid_t pid) {
    std::string comm = ReadProc(pid, "comm");
    while (!comm.empty() && comm.back() == '\n') comm.pop_back();
    return comm;
}

bool ProcessExists(pid_t pid) { return std::filesystem::exists("/proc/" + std::to_string(pid)); }

pid_t OfficePid() {
    for (pid_t p : Descendants())
        if (ProcessName(p) == "soffice.bin") return p;
    return -1;
}

std::string RedPng() {
    static const unsigned char png[] = {0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49,
                                        0x48, 0x44, 0x52, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x04, 0x08, 0x02,
                                        0x00, 0x00, 0x00, 0x26, 0x93, 0x09, 0x29, 0x00, 0x00, 0x00, 0x10, 0x49, 0x44,
                                        0x41, 0x54, 0x78, 0x9c, 0x63, 0xf8, 0xcf, 0xc0, 0x00, 0x47, 0x0c, 0xc4, 0x71,
                                        0x00, 0xae, 0x93, 0x0f, 0xf1, 0xd0, 0x5f, 0x23, 0x9e, 0x00, 0x00, 0x00, 0x00,
                                        0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};
    return std::string(reinterpret_cast<const char*>(png), sizeof png);
}

std::string NoteWithPictureAndTable(const std::string& text) {
    return "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\n"
           "\\pard " +
           text +
           "\\par\n"
           "{\\pict\\pngblip\\picw4\\pich4\\picwgoal600\\pichgoal600 " +
           qbtest::HexBytes(RedPng()) +
           "}\\par\n"
           "\\trowd\\cellx2000\\cellx4000\n"
           "\\pard\\intbl Cell A1\\cell Cell B1\\cell\\row\n"
           "\\trowd\\cellx2000\\cellx4000\n"
           "\\pard\\intbl Cell A2\\cell Cell B2\\cell\\row\n"
           "\\pard End of note.\\par}\n";
}

std::string PlainNote(const std::string& text) {
    return "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\n\\pard " + text + "\\par}\n";
}

ScopedEnv::ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) {
        had_ = true;
        old_ = old;
    }
    if (value)
        ::setenv(name, value, 1);
    else
        ::unsetenv(name);
}

ScopedEnv::~ScopedEnv() {
    if (had_)
        ::setenv(name_.c_str(), old_.c_str(), 1);
    else
        ::unsetenv(name_.c_str());
}

ScopedCwd::ScopedCwd(const std::string& dir) : old_(std::filesystem::current_path().string()) {
    std::filesystem::current_path(dir);
}

ScopedCwd::~ScopedCwd() {
    std::error_code ec;
    std::filesystem::current_path(old_, ec);
}

}  // namespace officetest
