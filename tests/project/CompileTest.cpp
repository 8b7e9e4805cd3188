#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "Utils/FileSys.h"
#include "Utils/Utils.h"
#include "engine/Engine.h"
#include "settings/MessageTable.h"
#include "tests/engine/FakeStorage.h"
#include "tests/support/TestSupport.h"

using namespace qbtest;

namespace {

struct Event {
    int position;
    std::string text;
};

std::vector<Event> gEvents;
bool gStopOnNone = false;  // answer "stop" to the poll without text
bool gStopOnFinished = false;

bool Record(void*, int position, const char* text) {
    gEvents.push_back({position, text ? text : "<none>"});
    if (!text) return gStopOnNone;
    if (gStopOnFinished && std::string(text) == qb::Msg(13)) return true;
    return false;
}

// A compiler double that runs a script of log lines and continue polls.
class ScriptedCompiler : public qb::IHelpCompiler {
public:
    bool found = true;
    std::function<bool(qb::THHALog, qb::THHAContinue)> script;
    int calls = 0;
    std::string Find() override { return found ? "scripted" : ""; }
    bool Compile(const std::string&, const std::string&, qb::THHALog log, qb::THHAContinue cont) override {
        ++calls;
        return script ? script(log, cont) : true;
    }
};

class CompileTest : public ::testing::Test {
protected:
    void SetUp() override {
        job.FileLayer = &files;
        gEvents.clear();
        gStopOnNone = false;
        gStopOnFinished = false;
        job.Store = &store;
        job.Compiler = &compiler;
        job.options.RootPath = out.path();
        job.options.ChmFileName = out.path() + "Help.chm";
        job.options.RemoveTempFiles = false;
        job.ProgressCallback = &Record;
        qb::StartProject(job);
    }
    bool Logged(const std::string& text) const {
        for (const auto& e : gEvents)
            if (e.text == text) return true;
        return false;
    }

    TempDir out;
    // Relative names mean files in out, as during a run.
    qb::fs::OutputFolder folder{out.path()};
    qb::fs::FileContext files{&folder};
    FakeStorage store;
    ScriptedCompiler compiler;
    qb::TParameters job;
};

}  // namespace

TEST_F(CompileTest, StepCountsFollowTheFilesTheCompilerNames) {
    for (int i = 0; i < 9; ++i) {
        const std::string name = "p" + std::to_string(i) + ".html";
        WriteFile(out.path() + name, "x");
        job.FileList->Add(name);
    }
    std::vector<int> positions;
    compiler.script = [&](qb::THHALog log, qb::THHAContinue) {
        log("   ");                  // dropped
        log("Compiling something");  // logged, no step
        for (int i = 0; i < 9; ++i) {
            log(("p" + std::to_string(i) + ".html").c_str());
            positions.push_back(gEvents.back().position);
        }
        log("Help.hhp");  // the tenth existing file
        positions.push_back(gEvents.back().position);
        return true;
    };
    qb::CompileAndCleanUp(job);
    ASSERT_EQ(10u, positions.size());
    EXPECT_EQ(50, positions[4]);
    EXPECT_EQ(99, positions[9]);
    EXPECT_TRUE(Logged("Compiling something"));
    EXPECT_FALSE(Logged("   "));
    EXPECT_FALSE(Logged(""));
    EXPECT_EQ(100, gEvents.back().position);
    // The message text opens a paragraph; the log line carries no line break.
    EXPECT_EQ("Compile finished.", gEvents.back().text);
    // The lists are gone after the stage.
    EXPECT_FALSE(job.FileList);
    EXPECT_FALSE(job.ProjectLines);
}

TEST_F(CompileTest, IndexIsTheContentsByteForByte) {
    job.ContentsLines->Add("  <LI><OBJECT type=\"text/sitemap\">");
    qb::CompileAndCleanUp(job);
    EXPECT_EQ(ReadFile(out.path() + "Help.hhc"), ReadFile(out.path() + "Help.hhk"));
    EXPECT_FALSE(ReadFile(out.path() + "Help.hhp").empty());
}

TEST_F(CompileTest, CleanUpDeletesOnlyWhatTheRunRecordNames) {
    WriteFile(out.path() + "old.txt", "kept");
    qb::RunRecord(job).Begin(job);
    qb::RunRecord(job).AddAll(job, {".\\sub\\page.html", "top.html", "Help.hhp", "Help.chm", "gone/a/x.html"});
    WriteFile(out.path() + "gone/a/x.html", "new");
    WriteFile(out.path() + "sub/page.html", "new");
    WriteFile(out.path() + "sub/mine.txt", "saved meanwhile");
    WriteFile(out.path() + "top.html", "new");
    job.options.RemoveTempFiles = true;
    compiler.script = [&](qb::THHALog, qb::THHAContinue) {
        WriteFile(out.path() + "Help.chm", "ITSF");
        return true;
    };
    EXPECT_TRUE(qb::CompileAndCleanUp(job));
    qb::RunRecord(job).End();
    EXPECT_TRUE(qb::fs::FileExists(out.path() + "old.txt"));
    EXPECT_EQ("saved meanwhile", ReadFile(out.path() + "sub/mine.txt"));
    EXPECT_FALSE(qb::fs::FileExists(out.path() + "sub/page.html"));
    EXPECT_TRUE(qb::fs::FileExists(out.path() + "Help.chm"));
    EXPECT_FALSE(qb::fs::FileExists(out.path() + "top.html"));
    EXPECT_FALSE(qb::fs::FileExists(out.path() + "Help.hhp"));
    // A folder emptied goes, one that still holds a file stays.
    EXPECT_FALSE(qb::fs::DirectoryExists(out.path() + "gone"));
    EXPECT_TRUE(qb::fs::DirectoryExists(out.path() + "sub"));
    EXPECT_TRUE(Logged(qb::Msg(24)));
    EXPECT_TRUE(Logged(qb::Msg(25)));
}

// A compile that fails for any reason ends the stage with the compiler's own
// words; nothing generated is deleted and "Compile finished." is not claimed.
TEST_F(CompileTest, FailedCompileRaisesItsReasonAndKeepsTheFiles) {
    WriteFile(out.path() + "top.html", "new");
    job.options.RemoveTempFiles = true;
    struct Case {
        const char* name;
        bool found;
        std::vector<std::string> lines;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"no compiler library", false, {}, qb::Msg(23)},
        {"rejected entry",
         true,
         {"Compiling x", "Error: cannot open file C#_tips.html"},
         "cannot open file C#_tips.html"},
        {"full disk", true, {"Error: cannot write Help.chm: No space left on device"}, "No space left on device"},
        {"no error line", true, {"something odd"}, "something odd"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        gEvents.clear();
        qb::StartProject(job);
        compiler.found = c.found;
        compiler.script = [&](qb::THHALog log, qb::THHAContinue) {
            for (const auto& l : c.lines) log(l.c_str());
            return false;
        };
        try {
            qb::CompileAndCleanUp(job);
            ADD_FAILURE() << "no error";
        } catch (const std::exception& e) {
            EXPECT_NE(std::string::npos, std::string(e.what()).find(c.expected)) << e.what();
            EXPECT_NE(std::string::npos, std::string(e.what()).find("Help.chm")) << e.what();
        }
        EXPECT_FALSE(Logged(qb::Msg(13)));
        EXPECT_FALSE(Logged(qb::Msg(24)));
        EXPECT_TRUE(qb::fs::FileExists(out.path() + "top.html"));
        EXPECT_TRUE(qb::fs::FileExists(out.path() + "Help.hhp"));
        EXPECT_FALSE(job.FileList);
    }
}

TEST_F(CompileTest, AnEarlierHelpFileIsNotThisRunsOwn) {
    WriteFile(out.path() + "Help.chm", "ITSF from an earlier run");
    WriteFile(out.path() + "top.html", "new");
    job.options.RemoveTempFiles = true;
    compiler.script = [&](qb::THHALog, qb::THHAContinue) { return true; };  // success, yet nothing written
    qb::CompileAndCleanUp(job);
    EXPECT_FALSE(Logged(qb::Msg(24)));
    EXPECT_TRUE(qb::fs::FileExists(out.path() + "top.html"));
    EXPECT_TRUE(std::any_of(gEvents.begin(), gEvents.end(), [](const Event& e) {
        return e.position == -1 && e.text.find("No compiled help file was written") != std::string::npos;
    }));
}

TEST_F(CompileTest, StopBeforeCompilingSavesTheProjectOnly) {
    gStopOnNone = true;
    job.options.RemoveTempFiles = true;
    qb::CompileAndCleanUp(job);
    EXPECT_EQ(0, compiler.calls);
    EXPECT_FALSE(Logged(qb::Msg(14)));
    EXPECT_TRUE(qb::fs::FileExists(out.path() + "Help.hhp"));
    EXPECT_TRUE(qb::fs::FileExists(out.path() + "Help.hhc"));
    EXPECT_FALSE(job.FileList);
}

TEST_F(CompileTest, ContinueCallbackCarriesTheStopRequest) {
    int answer = -1;
    compiler.script = [&](qb::THHALog, qb::THHAContinue cont) {
        gStopOnNone = true;
        answer = cont(0);
        return false;
    };
    gStopOnFinished = true;
    qb::CompileAndCleanUp(job);
    EXPECT_EQ(0, answer);
}

TEST(CallHelpCompiler, MissingLibraryOrExportIsFalse) {
    EXPECT_FALSE(qb::CallHelpCompiler("/nonexistent/libhha.so", "x.hhp", nullptr, nullptr));
    // A real library without the export.
    EXPECT_FALSE(qb::CallHelpCompiler(std::string(QB_OUT_DIR) + "/libdvo.so", "x.hhp", nullptr, nullptr));
}
