#include "quillbook/CompileCommand.h"

#include <dlfcn.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <iostream>

#include "Utils/Utils.h"
#include "hha/hha.h"

namespace qb {

namespace {

using CompileProc = hha_compile_proc;

volatile std::sig_atomic_t g_stopRequested = 0;
bool g_quiet = false;

void OnInterrupt(int) { g_stopRequested = 1; }

void PrintLine(const char* text) {
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
        std::cerr << "quillbook: compile: " << (g_stopRequested ? "compilation stopped" : "compilation failed") << "\n";
        return 1;
    }
    return 0;
}

}  // namespace qb
