#include "quillbook/CompileCommand.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <iostream>
#include <string>

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
    g_errorLine.clear();
    int ok = 0;
    {
        // A kill or a closed terminal stops the compile like Ctrl-C, so its
        // temporary output is removed.
        const os::StopRequests stops(OnInterrupt);
        ok = compile(hhpFile.c_str(), PrintLine, GoOn, 0);
    }
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
