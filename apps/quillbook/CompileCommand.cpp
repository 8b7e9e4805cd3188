#include "quillbook/CompileCommand.h"

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <string>

#include "Utils/Utils.h"

namespace qb {

namespace {

using CompileProc = int (*)(const char*, void (*)(const char*), int (*)(long), int);

volatile std::sig_atomic_t g_stopRequested = 0;
bool g_quiet = false;

void OnInterrupt(int) { g_stopRequested = 1; }

std::string g_errorLine;

// The compiler's reason goes to stderr once, in the command's error form, not into the log.
void PrintLine(const char* text) {
    const std::string line = text ? text : "";
    if (line.rfind("Error:", 0) == 0 || line.rfind("Error ", 0) == 0) {
        g_errorLine = line.substr(std::min<std::size_t>(line.size(), 6));
        while (!g_errorLine.empty() && g_errorLine.front() == ' ') g_errorLine.erase(0, 1);
        return;
    }
    if (g_quiet) return;
    std::fputs(text ? text : "", stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

int GoOn(long) { return g_stopRequested ? 0 : 1; }

// Closes the library on every way out.
struct Library {
    void* handle = nullptr;
    ~Library() {
        if (handle) dlclose(handle);
    }
};

}  // namespace

int CmdCompile(const std::string& hhpFile, bool quiet) {
    g_quiet = quiet;
    Library lib;
    std::string beside = ModuleDirectory() + "libhha.so";
    if (::access(beside.c_str(), F_OK) == 0) lib.handle = dlopen(beside.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!lib.handle) lib.handle = dlopen("libhha.so", RTLD_NOW | RTLD_LOCAL);
    if (!lib.handle) {
        std::cerr << "quillbook: compile: can't find library libhha.so: " << dlerror() << "\n";
        return 1;
    }
    auto compile = reinterpret_cast<CompileProc>(dlsym(lib.handle, "HHA_CompileHHP"));
    if (!compile) {
        std::cerr << "quillbook: compile: libhha.so has no HHA_CompileHHP\n";
        return 1;
    }
    g_stopRequested = 0;
    g_errorLine.clear();
    // A kill or a closed terminal stops the compile like Ctrl-C, so its
    // temporary output is removed.
    constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
    struct sigaction act = {};
    struct sigaction old[3] = {};
    act.sa_handler = OnInterrupt;
    sigemptyset(&act.sa_mask);
    for (int i = 0; i < 3; ++i) sigaction(kStopSignals[i], &act, &old[i]);
    int ok = compile(hhpFile.c_str(), PrintLine, GoOn, 0);
    for (int i = 0; i < 3; ++i) sigaction(kStopSignals[i], &old[i], nullptr);
    if (!ok) {
        std::fflush(stdout);
        if (g_stopRequested) {
            std::cerr << "quillbook: compile: compilation stopped\n";
            return 130;
        }
        std::cerr << "quillbook: compile: " << (g_errorLine.empty() ? "compilation failed" : g_errorLine) << "\n";
        return 1;
    }
    return 0;
}

}  // namespace qb
