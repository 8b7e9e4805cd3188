#include <dlfcn.h>

#include "Engine.h"
#include "FileSys.h"
#include "MessageTable.h"
#include "Platform.h"
#include "Utils.h"

namespace qb {

namespace {
constexpr const char* kCompilerLibrary = "libhha.so";
}

std::string FindHelpCompiler() {
    const std::string beside = ModuleDirectory() + kCompilerLibrary;
    if (fs::FileExists(beside)) return beside;
    if (void* h = dlopen(kCompilerLibrary, RTLD_LAZY | RTLD_LOCAL)) {
        dlclose(h);
        return kCompilerLibrary;
    }
    return "";
}

bool CallHelpCompiler(const std::string& libraryPath, const std::string& projectFile, THHALog log,
                      THHAContinue cont) {
    void* lib = dlopen(libraryPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!lib) return false;
    using Fn = int (*)(const char*, THHALog, THHAContinue, int);
    auto fn = reinterpret_cast<Fn>(dlsym(lib, "HHA_CompileHHP"));
    bool result = false;
    if (fn) {
        try {
            result = fn(projectFile.c_str(), log, cont, 0) != 0;
        } catch (...) {
            result = false;
        }
    }
    dlclose(lib);
    return result;
}

void CompilerLog(const char* text) {
    if (!text) return;
    const std::string line = Trim(text);
    if (line.empty()) return;
    try {
        if (fs::FileExists(line)) ++StepCount;
        int pos = StepTotal > 0 ? static_cast<int>(static_cast<long long>(StepCount) * 100 / StepTotal) : 0;
        if (pos > 99) pos = 99;
        ReportProgress(pos, line);
    } catch (...) {
    }
}

int CompilerContinue(long) {
    try {
        return ReportProgress(-1, nullptr) ? 0 : 1;
    } catch (...) {
        return 0;
    }
}

void CheckHelpComponents() {}

namespace {

class DefaultHelpCompiler : public IHelpCompiler {
public:
    std::string Find() override { return FindHelpCompiler(); }
    bool Compile(const std::string& library, const std::string& projectFile, THHALog log, THHAContinue cont) override {
        return CallHelpCompiler(library, projectFile, log, cont);
    }
};

IHelpCompiler*& InstalledCompiler() {
    static IHelpCompiler* installed = nullptr;
    return installed;
}

IHelpCompiler& HelpCompiler() {
    static DefaultHelpCompiler real;
    return InstalledCompiler() ? *InstalledCompiler() : real;
}

}  // namespace

IHelpCompiler* SetHelpCompiler(IHelpCompiler* c) {
    IHelpCompiler* previous = InstalledCompiler();
    InstalledCompiler() = c;
    return previous;
}

void CompileAndCleanUp(TParameters& job) {
    const TConvertOptions& o = job.options;
    struct FreeLists {
        TParameters& job;
        ~FreeLists() {
            job.ProjectLines.reset();
            job.ContentsLines.reset();
            job.FileList.reset();
            job.ExistingFiles.reset();
            job.LabelLines.reset();
            job.LinkTable.reset();
        }
    } freeLists{job};

    StepTotal = job.FileList->Count() + 1;
    StepCount = 0;
    const std::string base = ProjectBaseName(job);
    job.ProjectLines->SaveToFile(base + ".hhp");
    job.ContentsLines->SaveToFile(base + ".hhc");
    if (o.MakeIndex) job.ContentsLines->SaveToFile(base + ".hhk");

    if (ReportProgress(-1, nullptr)) return;
    ReportProgress(0, Msg(14));
    const std::string compiler = HelpCompiler().Find();
    if (compiler.empty()) {
        ReportProgress(-1, Msg(23));
    } else {
        HelpCompiler().Compile(compiler, base + ".hhp", &CompilerLog, &CompilerContinue);
    }
    if (ReportProgress(100, Msg(13)) || !o.RemoveTempFiles) return;

    // Without a help file, deleting the pages would leave the user with nothing.
    if (!fs::FileExists(o.ChmFileName) || fs::FileSize(o.ChmFileName) <= 0) {
        ReportProgress(-1, "No compiled help file was written; the generated files are kept in \"" + o.RootPath + "\".");
        return;
    }
    job.ExistingFiles->Add(o.ChmFileName);
    ReportProgress(0, Msg(24));
    DeleteFilesExcept(job.ExistingFiles.get(), o.RootPath, "*.*", true);
    ReportProgress(100, Msg(25));
}

}  // namespace qb
