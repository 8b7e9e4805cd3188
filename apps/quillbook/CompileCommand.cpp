#include "quillbook/CompileCommand.h"

#include <atomic>
#include <cstdio>
#include <iostream>

#include "Utils/FileSys.h"
#include "Utils/Utils.h"
#include "hha/hha.h"
#include "support/Os.h"

namespace qb {

namespace {

using CompileProc = hha_compile_proc;

std::atomic<bool> g_stopRequested{false};
bool g_quiet = false;

void OnInterrupt() { g_stopRequested = true; }

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
        os::CloseLibrary(handle);
    }
};

}  // namespace

int CmdCompile(const std::string& hhpFile, bool quiet) {
    g_quiet = quiet;
    Library lib;
    const std::string name = os::LibraryFileName("hha");
    const std::string beside = ModuleDirectory() + name;
    if (fs::EntryExists(beside)) lib.handle = os::OpenLibrary(beside);
    if (!lib.handle) lib.handle = os::OpenLibrary(name);
    if (!lib.handle) {
        std::cerr << "quillbook: compile: can't find library " << name << ": " << os::LibraryError() << "\n";
        return 1;
    }
    auto compile = reinterpret_cast<CompileProc>(os::LibrarySymbol(lib.handle, "HHA_CompileHHP"));
    if (!compile) {
        std::cerr << "quillbook: compile: " << name << " has no HHA_CompileHHP\n";
        return 1;
    }
    g_stopRequested = false;
    int ok = 0;
    {
        // A kill or a closed terminal stops the compile like Ctrl-C, so its
        // temporary output is removed.
        const os::StopRequests stops(OnInterrupt);
        ok = compile(hhpFile.c_str(), PrintLine, GoOn, 0);
    }
    if (!ok) {
        std::fflush(stdout);
        std::cerr << "quillbook: compile: " << (g_stopRequested ? "compilation stopped" : "compilation failed") << "\n";
        return 1;
    }
    return 0;
}

}  // namespace qb
