#pragma once
// Runs conversions over a FakeStorage into a temporary output folder.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Utils/FileSys.h"
#include "Utils/Utils.h"
#include "engine/Engine.h"
#include "tests/engine/FakeStorage.h"
#include "tests/support/TestSupport.h"

namespace qbtest {

struct ProgressEvent {
    int position;
    std::string text;  // "<none>" when the callback got no text
};

// Records every progress call; asks to stop at the N-th item line when set.
struct Recorder {
    std::vector<ProgressEvent> events;
    int stopAtItemLine = 0;
    int itemLines = 0;
    static bool Callback(void* ctx, int position, const char* text) {
        auto* r = static_cast<Recorder*>(ctx);
        r->events.push_back({position, text ? text : "<none>"});
        if (text && std::string(text).find("--") != std::string::npos && std::string(text)[0] == '|') {
            ++r->itemLines;
            if (r->stopAtItemLine > 0 && r->itemLines >= r->stopAtItemLine) return true;
        }
        return false;
    }
    std::vector<std::string> Lines() const {
        std::vector<std::string> out;
        for (const auto& e : events)
            if (e.text != "<none>") out.push_back(e.text);
        return out;
    }
};

// A compiler double: records the call, writes nothing, reports success.
// A compiler double that writes the help file, so the clean-up runs.
class WritingCompiler : public qb::IHelpCompiler {
public:
    std::string chm;
    // Says it reads the pages a run keeps in memory, as the library does.
    bool readsKept = false;
    std::string Find() override { return "fake"; }
    bool Compile(const std::string&, const std::string&, qb::THHALog, qb::THHAContinue) override {
        WriteFile(chm, "ITSF");
        return true;
    }
    bool ReadsKeptFiles(const std::string&) override { return readsKept; }
    bool CompileKept(const std::string& library, const std::string& hhp, qb::THHALog log, qb::THHAContinue cont,
                     qb::fs::FileSystem& files) override {
        return readsKept ? Compile(library, hhp, log, cont) : IHelpCompiler::CompileKept(library, hhp, log, cont, files);
    }
};

class NoCompiler : public qb::IHelpCompiler {
public:
    bool installed = true;
    int calls = 0;
    std::string Find() override { return installed ? "fake" : ""; }
    bool Compile(const std::string&, const std::string&, qb::THHALog, qb::THHAContinue) override {
        ++calls;
        return true;
    }
};

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        options.DatabaseHandle = 1;
        options.RootPath = out.path();
        options.ChmFileName = out.path() + "Help.chm";
        options.ConvertMethod = 2;
        options.RemoveTempFiles = false;
        options.WindowTitle = "Help";
        options.ChmLanguage = "0x409 English (United States)";
    }
    // One run over useStorage and useCompiler; its walk error stays in walkError.
    void Run() {
        qb::TRun run(options, *useStorage, *useCompiler, &Recorder::Callback, &recorder);
        struct KeepError {
            qb::TRun& run;
            std::string& error;
            ~KeepError() { error = run.WalkError(); }
        } keep{run, walkError};
        run.Execute();
    }
    std::string Read(const std::string& rel) const { return ReadFile(out.path() + rel); }
    bool Exists(const std::string& rel) const { return qb::fs::FileExists(out.path() + rel); }

    TempDir out;
    FakeStorage store;
    NoCompiler compiler;
    qb::IStorage* useStorage = &store;
    qb::IHelpCompiler* useCompiler = &compiler;
    Recorder recorder;
    qb::TConvertOptions options;
    std::string walkError;
};

}  // namespace qbtest
