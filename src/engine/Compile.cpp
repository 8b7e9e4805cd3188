#include <set>

#include "Utils/FileSys.h"
#include "Utils/Format.h"
#include "Utils/Platform.h"
#include "Utils/Utils.h"
#include "engine/Engine.h"
#include "hha/hha.h"
#include "settings/MessageTable.h"
#include "support/Error.h"

namespace qb {

namespace {
const std::string kCompilerLibrary = os::LibraryFileName("hha");

// The compile in progress on this thread. The compiler's callbacks carry no
// context (the library's signature), so they find their run through this.
struct TCompileSession {
    TParameters& job;
    // What the compiler said, so that its failure can name the reason.
    std::vector<std::string> errors;
    std::string lastLine;
    // The project file, the one file the compiler names that the file list does not.
    std::string projectFile;
};
thread_local TCompileSession* tCompiling = nullptr;

bool IsErrorLine(const std::string& line) { return LowerAscii(line.substr(0, 5)) == "error"; }
}  // namespace

std::string FindHelpCompiler() {
    const std::string beside = ModuleDirectory() + kCompilerLibrary;
    if (fs::FileExists(beside)) return beside;
    if (void* h = os::OpenLibrary(kCompilerLibrary)) {
        os::CloseLibrary(h);
        return kCompilerLibrary;
    }
    return "";
}

namespace {

constexpr const char* kCompileKept = "HHA_CompileHHPKept";

// The compiler names a file below the project's folder, which it may spell
// otherwise (a drive added): the run's own spelling finds what it keeps.
struct KeptContext {
    fs::FileSystem& files;
    std::string folder;
};

int KeptBytes(void* context, const char* name, const char** bytes, size_t* size) {
    try {
        const auto& kept = *static_cast<KeptContext*>(context);
        fs::HeldFile* held = name && *name ? kept.files.FindHeld(kept.folder + name) : nullptr;
        if (!held || !held->HasBytes()) return 0;
        *bytes = held->Bytes().data();
        *size = held->Bytes().size();
        return 1;
    } catch (...) {
        return 0;
    }
}

}  // namespace

bool CallHelpCompiler(const std::string& libraryPath, const std::string& projectFile, THHALog log, THHAContinue cont,
                      fs::FileSystem* kept) {
    void* lib = os::OpenLibrary(libraryPath);
    if (!lib) {
        if (log) log(("Error: cannot load the help compiler: " + os::LibraryError()).c_str());
        return false;
    }
    auto fn = reinterpret_cast<hha_compile_proc>(os::LibrarySymbol(lib, "HHA_CompileHHP"));
    auto keptFn = kept ? reinterpret_cast<hha_compile_kept_proc>(os::LibrarySymbol(lib, kCompileKept)) : nullptr;
    bool result = false;
    if (!fn && log) log(("Error: " + libraryPath + " has no HHA_CompileHHP").c_str());
    try {
        int compiled = -1;
        if (keptFn) {
            KeptContext context{*kept, ExtractFilePath(projectFile)};
            compiled = keptFn(projectFile.c_str(), log, cont, 0, &KeptBytes, &context);
        }
        if (compiled < 0 && fn) {
            // This compiler reads every file from disk.
            if (kept) kept->WriteKeptFiles();
            compiled = fn(projectFile.c_str(), log, cont, 0);
        }
        result = compiled > 0;
    } catch (const std::exception& e) {
        if (log) log((std::string("Error: ") + e.what()).c_str());
        result = false;
    } catch (...) {
        result = false;
    }
    os::CloseLibrary(lib);
    return result;
}

bool IHelpCompiler::ReadsKeptFiles(const std::string&) { return false; }

bool IHelpCompiler::CompileKept(const std::string& library, const std::string& projectFile, THHALog log,
                                THHAContinue cont, fs::FileSystem& files) {
    files.WriteKeptFiles();
    return Compile(library, projectFile, log, cont);
}

namespace {
std::string Join(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& l : lines) {
        if (!text.empty()) text += ' ';
        text += l;
        if (!l.empty() && l.back() != '.') text += '.';
    }
    return text;
}
}  // namespace

void CompilerLog(const char* text) {
    if (!text) return;
    const std::string line = Trim(text);
    if (line.empty() || !tCompiling) return;
    TCompileSession& session = *tCompiling;
    TParameters& job = session.job;
    try {
        session.lastLine = line;
        if (IsErrorLine(line)) session.errors.push_back(line);
        // The compiler names each file it stores as the project lists it.
        if ((job.FileList && job.FileList->Contains(line)) || EqualsNoCase(line, session.projectFile)) ++job.StepCount;
        int pos = job.StepTotal > 0 ? static_cast<int>(static_cast<long long>(job.StepCount) * 100 / job.StepTotal) : 0;
        if (pos > 99) pos = 99;
        ReportProgress(job, pos, line);
    } catch (...) {}
}

int CompilerContinue(long) {
    if (!tCompiling) return 1;
    try {
        return ReportProgress(tCompiling->job, -1, nullptr) ? 0 : 1;
    } catch (...) {
        return 0;
    }
}

namespace {

class DefaultHelpCompiler : public IHelpCompiler {
public:
    std::string Find() override { return FindHelpCompiler(); }
    bool Compile(const std::string& library, const std::string& projectFile, THHALog log, THHAContinue cont) override {
        return CallHelpCompiler(library, projectFile, log, cont);
    }
    bool ReadsKeptFiles(const std::string& library) override {
        void* lib = os::OpenLibrary(library);
        if (!lib) return false;
        const bool reads = os::LibrarySymbol(lib, kCompileKept) != nullptr;
        os::CloseLibrary(lib);
        return reads;
    }
    bool CompileKept(const std::string& library, const std::string& projectFile, THHALog log, THHAContinue cont,
                     fs::FileSystem& files) override {
        return CallHelpCompiler(library, projectFile, log, cont, &files);
    }
};

}  // namespace

IHelpCompiler& LibraryHelpCompiler() {
    // Stateless: the library is loaded for each compile.
    static DefaultHelpCompiler real;
    return real;
}

IHelpCompiler& HelpCompiler(const TParameters& job) { return job.Compiler ? *job.Compiler : LibraryHelpCompiler(); }

namespace {

// Deletes what the run record lets the clean-up remove, never the help file,
// then the folders that this left empty. A file another program saved into
// the folder meanwhile is named by no record and stays.
void RemoveRunFiles(TParameters& job) {
    const std::string chm = Files(job).ExpandFileName(job.options.ChmFileName);
    std::set<std::string> folders;
    for (const std::string& link : RunRecord(job).Removable()) {
        const std::string file = link.substr(1);
        if (file.empty() || IsRecordName(job, file) || Files(job).ExpandFileName(file) == chm) continue;
        Files(job).DeleteFile(file);
        for (std::size_t slash = file.rfind('/'); slash != std::string::npos && slash > 0;
             slash = file.rfind('/', slash - 1))
            if (!folders.insert(file.substr(0, slash)).second) break;
    }
    // A folder sorts before everything inside it: backwards, contents go first.
    for (auto it = folders.rbegin(); it != folders.rend(); ++it) Files(job).RemoveDir(*it);
}

}  // namespace

bool CompileAndCleanUp(TParameters& job) {
    const TConvertOptions& o = job.options;
    struct FreeLists {
        TParameters& job;
        ~FreeLists() {
            job.ProjectLines.reset();
            job.ContentsLines.reset();
            job.FileList.reset();
            job.LabelLines.reset();
            job.LinkTable.reset();
        }
    } freeLists{job};

    job.StepTotal = job.FileList->Count() + 1;
    job.StepCount = 0;
    const std::string base = ProjectBaseName(job);
    Files(job).SaveTextFile(base + ".hhp", job.ProjectLines->Text());
    Files(job).SaveTextFile(base + ".hhc", job.ContentsLines->Text());
    if (o.MakeIndex) Files(job).SaveTextFile(base + ".hhk", job.ContentsLines->Text());
    // Written: the compiler reads them from disk, and a large tree's lists are
    // no use to it in this process's memory.
    job.ProjectLines = std::make_unique<TStringList>();
    job.ContentsLines = std::make_unique<TStringList>();
    job.LinkTable.reset();
    job.LabelLines.reset();
    ReturnFreedMemory();

    if (ReportProgress(job, -1, nullptr)) return false;
    ReportProgress(job, 0, Msg(14));
    // A failed compile keeps every generated file and ends the run with the
    // compiler's reason; an earlier help file of the same name proves nothing.
    const auto failed = [&](const std::string& reason) {
        return Error(Format("The help file \"%s\" was not compiled: %s The generated files are kept in \"%s\".",
                            {o.ChmFileName, reason, o.RootPath}));
    };
    // The compiler writes where it is told, the help file too.
    Files(job).TrustFreshFolders(false);
    const std::string compiler = HelpCompiler(job).Find();
    if (compiler.empty()) {
        ReportProgress(job, -1, Msg(23));
        throw failed(Msg(23));
    }
    const std::string before = Files(job).FileIdentity(o.ChmFileName);
    TCompileSession session{job, {}, {}, base + ".hhp"};
    bool compiled = false;
    {
        struct Bind {
            TCompileSession* previous;
            explicit Bind(TCompileSession& s) : previous(tCompiling) { tCompiling = &s; }
            ~Bind() { tCompiling = previous; }
        } bind(session);
        // The compiler resolves the project's names against the project's folder.
        compiled = HelpCompiler(job).CompileKept(compiler, Files(job).ExpandFileName(base + ".hhp"), &CompilerLog,
                                                 &CompilerContinue, Files(job));
    }
    if (!compiled) {
        Files(job).WriteKeptFiles();
        // Stopped by the user: not a failure of the compiler.
        if (ReportProgress(job, -1, nullptr)) {
            ReportProgress(job, 100, Msg(13));
            return false;
        }
        std::string reason =
            Join(session.errors.empty() && !session.lastLine.empty() ? std::vector<std::string>{session.lastLine}
                                                                     : session.errors);
        throw failed(reason.empty() ? std::string("the compiler gave no reason.") : reason);
    }
    if (ReportProgress(job, 100, Msg(13))) return false;
    if (!o.RemoveTempFiles) return true;

    // Without this run's own help file, deleting the pages would leave the user with nothing.
    const std::string after = Files(job).FileIdentity(o.ChmFileName);
    if (after.empty() || after == before || Files(job).FileSize(o.ChmFileName) <= 0) {
        ReportProgress(job, -1,
                       "No compiled help file was written; the generated files are kept in \"" + o.RootPath + "\".");
        return false;
    }
    ReportProgress(job, 0, Msg(24));
    RemoveRunFiles(job);
    ReportProgress(job, 100, Msg(25));
    return true;
}

}  // namespace qb
