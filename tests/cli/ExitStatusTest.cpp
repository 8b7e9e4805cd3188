// Every command follows one exit-status table, and says what is wrong once, on
// stderr, naming what to do. Also: the manual lists every option the help shows.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/cli/CliRun.h"
#include "tests/support/TestSupport.h"

using clitest::Quillbook;
using namespace qbtest;

namespace {

struct Row {
    std::string what;  // which row of the table, for the failure message
    std::vector<std::string> args;
    int status;
    std::string message;  // on stderr; "" for a run that completes
};

std::size_t Count(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++n;
    return n;
}

class ExitStatusTable : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string src = dir_.path() + "src/";
        WriteFile(src + "1/.caption", "Top\n");
        WriteFile(src + "1/_~_~_notes.rtf", "{\\rtf1\\ansi Top text\\par}");
        WriteFile(src + "1/2/_~_~_notes.rtf", "{\\rtf1\\ansi Child\\par}");
        WriteFile(src + "1/2/3/_~_~_notes.rtf", "{\\rtf1\\ansi Leaf\\par}");
        db_ = dir_.path() + "db.kvdb";
        ASSERT_EQ(0, Quillbook({"db", "import", src, db_}).status);
        WriteFile(dir_.path() + "n.rtf", "{\\rtf1\\ansi A\\par}");
        WriteFile(dir_.path() + "junk.kvdb", "not a database\n");
        WriteFile(dir_.path() + "case/A.txt", "a");
        WriteFile(dir_.path() + "case/a.txt", "a");
        WriteFile(dir_.path() + "p/bad.hhp", "[OPTIONS]\nCompiled file=bad.chm\n\n[FILES]\n../outside.html\n");
        WriteFile(dir_.path() + "outside.html", "<html></html>");
        // A project the compiler takes: the pages of an export that keeps them.
        const auto kept = Quillbook({"-q", "export", "--db", db_, "--item", "1", "--out", dir_.path() + "kept",
                                     "--set", "RemoveTempFiles=false"});
        ASSERT_EQ(0, kept.status) << kept.err;
        for (const auto& e : std::filesystem::directory_iterator(dir_.path() + "kept"))
            if (e.path().extension() == ".hhp") hhp_ = e.path().string();
        ASSERT_FALSE(hhp_.empty());
    }

    void Check(const std::vector<Row>& rows) {
        for (const Row& row : rows) {
            const auto r = Quillbook(row.args, {{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}, {"QT_QPA_PLATFORM", ""}});
            std::string line = "quillbook";
            for (const auto& a : row.args) line += " " + a;
            SCOPED_TRACE(row.what + ": " + line + "\n--- stdout:\n" + r.out + "--- stderr:\n" + r.err);
            EXPECT_EQ(row.status, r.status);
            if (row.message.empty()) {
                EXPECT_EQ("", r.err);
                continue;
            }
            EXPECT_NE(std::string::npos, r.err.find(row.message)) << "expected: " << row.message;
            // Said once, on stderr only.
            EXPECT_EQ(1u, Count(r.err, "quillbook: "));
            EXPECT_EQ(std::string::npos, r.out.find(row.message));
        }
    }

    TempDir dir_;
    std::string db_, hhp_;
};

TEST_F(ExitStatusTable, CompleteIsZero) {
    Check({
        {"complete", {"export", "-q", "--db", db_, "--whole", "--out", dir_.path() + "o0"}, 0, ""},
        {"complete", {"convert", dir_.path() + "n.rtf"}, 0, ""},
        {"complete", {"compile", hhp_}, 0, ""},
        {"complete", {"db", "import", dir_.path() + "src", dir_.path() + "again.kvdb"}, 0, ""},
        {"complete", {"db", "tree", db_, "1/2"}, 0, ""},
        {"complete", {"help", "db", "import"}, 0, ""},
    });
}

TEST_F(ExitStatusTable, AFailedStageIsOne) {
    Check({
        {"stage failed",
         {"export", "--db", dir_.path() + "junk.kvdb", "--whole", "--out", dir_.path() + "o1"},
         1,
         "quillbook: export: Not an outliner database file"},
        {"stage failed",
         {"export", "-q", "--db", db_, "--whole", "--out", dir_.path() + "o1", "--chm", dir_.path() + "none/x.chm"},
         1,
         "quillbook: export: "},
        {"stage failed", {"convert", "--method", "3", dir_.path() + "n.rtf"}, 1, "quillbook: convert: "},
        // The compiler's reason on stderr, not in the log.
        {"stage failed",
         {"compile", dir_.path() + "p/bad.hhp"},
         1,
         "quillbook: compile: ../outside.html lies outside the project folder"},
        {"stage failed",
         {"db", "import", dir_.path() + "case", dir_.path() + "case.kvdb"},
         1,
         "quillbook: db import: File names differ only in letter case"},
        {"stage failed", {"db", "tree", dir_.path() + "junk.kvdb"}, 1, "quillbook: db tree: Not an outliner database file"},
        {"stage failed", {"host", "--db", db_}, 1, "quillbook: host: no display"},
    });
}

TEST_F(ExitStatusTable, AMissingInputFileIsTwo) {
    const std::string none = dir_.path() + "nosuch";
    Check({
        {"missing input",
         {"export", "--db", none + ".kvdb", "--whole", "--out", dir_.path() + "o2"},
         2,
         "quillbook: export: no such file: " + none + ".kvdb"},
        {"missing input", {"convert", none + ".rtf"}, 2, "quillbook: convert: no such file: " + none + ".rtf"},
        {"missing input", {"compile", none + ".hhp"}, 2, "quillbook: compile: no such file: " + none + ".hhp"},
        {"missing input", {"db", "import", none, dir_.path() + "x.kvdb"}, 2, "quillbook: db import: no such folder: " + none},
        {"missing input", {"db", "tree", none + ".kvdb"}, 2, "quillbook: db tree: no such file: " + none + ".kvdb"},
        {"missing input", {"host", "--db", none + ".kvdb"}, 2, "quillbook: host: no such file: " + none + ".kvdb"},
    });
    EXPECT_FALSE(std::filesystem::exists(dir_.path() + "o2"));
}

TEST_F(ExitStatusTable, AnUnknownItemIsTwoAndNamesTheItemsOfThatName) {
    const std::string hint = "the database holds no item 3; did you mean 1/2/3? 'quillbook db tree " + db_ +
                             "' lists the items.";
    Check({
        {"unknown item", {"export", "--db", db_, "--item", "3", "--out", dir_.path() + "o3"}, 2, "quillbook: export: " + hint},
        {"unknown item", {"db", "tree", db_, "3"}, 2, "quillbook: db tree: " + hint},
        {"unknown item", {"host", "--db", db_, "--item", "3"}, 2, "quillbook: host: " + hint},
        {"unknown item", {"export", "--db", db_, "--item", "99", "--out", dir_.path() + "o3"}, 2, "no item 99. 'quillbook db tree"},
    });
}

TEST_F(ExitStatusTable, UsageErrorsAreTwoAndNameTheWrongWord) {
    Check({
        {"usage", {"-x"}, 2, "quillbook: unknown option '-x'. See 'quillbook help'."},
        {"usage",
         {"export", "--db", db_, "--whole", "--outt", "o"},
         2,
         "quillbook: export: unknown option '--outt'; did you mean '--out'? See 'quillbook help export'."},
        {"usage",
         {"export"},
         2,
         "quillbook: export: missing --db, one of --item PATH or --whole and --out DIR (or --site DIR alone). See 'quillbook help export'."},
        {"usage",
         {"export", "--db", db_, "--whole", "--out", "o", "--set", "KeepFolderTre=false"},
         2,
         "quillbook: export: unknown --set field \"KeepFolderTre\"; did you mean KeepFolderTree?"},
        {"usage", {"convert", "--titel", "T", "x.rtf"}, 2, "quillbook: convert: unknown option '--titel'; did you mean '--title'?"},
        {"usage", {"convert"}, 2, "quillbook: convert: missing FILE."},
        {"usage", {"compile"}, 2, "quillbook: compile: missing PROJECT."},
        {"usage", {"compile", "a.hhp", "b.hhp"}, 2, "quillbook: compile: "},
        {"usage", {"db", "import"}, 2, "quillbook: db import: missing SRC and DB."},
        {"usage", {"db", "tree", "--bogus", db_}, 2, "quillbook: db tree: unknown option '--bogus'"},
        {"usage", {"host", "--dbb", db_}, 2, "quillbook: host: unknown option '--dbb'; did you mean '--db'?"},
        {"usage", {"help", "exprot"}, 2, "did you mean 'export'?"},
    });
}

TEST_F(ExitStatusTable, ValuesThatLookLikeOptionsAreValues) {
    // "--method -1" is out of range, not an unknown option; "--set Header=-x" is a value.
    Check({
        {"usage",
         {"export", "--db", db_, "--whole", "--out", dir_.path() + "o5", "--method", "-1"},
         2,
         "quillbook: export: --method: Value -1 not in range 0 to 3"},
        {"complete", {"export", "-q", "--db", db_, "--whole", "--out", dir_.path() + "o5", "--set", "Header=-x"}, 0, ""},
    });
}

TEST(ImportCount, CountsItemsAsTheExportDoes) {
    TempDir dir;
    WriteFile(dir.path() + "src/1/2/_~_~_notes.rtf", "{\\rtf1\\ansi x\\par}");
    WriteFile(dir.path() + "src/3/_~_~_notes.rtf", "{\\rtf1\\ansi y\\par}");
    const auto imported = Quillbook({"db", "import", dir.path() + "src", dir.path() + "d.kvdb"});
    EXPECT_NE(std::string::npos, imported.out.find("Imported 4 item(s) (the root and 3 below it)")) << imported.out;
    const auto exported = Quillbook({"export", "--db", dir.path() + "d.kvdb", "--whole", "--out", dir.path() + "o"});
    EXPECT_NE(std::string::npos, exported.out.find("Find 4 node item(s)")) << exported.out;
}

// Options of `quillbook help COMMAND`, as "--name".
std::set<std::string> HelpOptions(const std::vector<std::string>& command) {
    std::vector<std::string> args{"help"};
    args.insert(args.end(), command.begin(), command.end());
    const auto r = Quillbook(args);
    EXPECT_EQ(0, r.status) << r.err;
    std::set<std::string> names;
    const std::regex option(R"(^\s+(?:-\w,)?(--[a-z][a-z-]*))");
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);) {
        std::smatch m;
        if (std::regex_search(line, m, option)) names.insert(m[1]);
    }
    return names;
}

TEST(Manual, ListsEveryOptionTheHelpShows) {
    const std::string page = ReadFile(QB_MAN_PAGE);
    ASSERT_FALSE(page.empty());
    std::size_t checked = 0;
    for (const std::vector<std::string>& command : std::vector<std::vector<std::string>>{
             {}, {"export"}, {"convert"}, {"compile"}, {"db", "import"}, {"db", "tree"}, {"host"}}) {
        const std::string section = command.empty() ? "Global options" : "quillbook " + command[0] +
                                                                              (command.size() > 1 ? " " + command[1] : "");
        const std::size_t at = page.find(".SS \"" + section + "\"");
        ASSERT_NE(std::string::npos, at) << section;
        const std::string part = page.substr(at, page.find(".SS", at + 4) - at);
        for (const std::string& name : HelpOptions(command)) {
            std::string roff;
            for (char c : name) roff += c == '-' ? std::string("\\-") : std::string(1, c);
            EXPECT_NE(std::string::npos, part.find("\\fB" + roff + "\\fR")) << name << " missing under " << section;
            ++checked;
        }
    }
    EXPECT_GE(checked, 20u);
    // The database folder format is in the manual as in `help db`.
    EXPECT_NE(std::string::npos, page.find("_~_~_notes.rtf is the item's note"));
    EXPECT_NE(std::string::npos, Quillbook({"help", "db"}).out.find("_~_~_notes.rtf is the item's note"));
}

TEST(Manual, NamesEveryVariableTheProgramReads) {
    const std::string page = ReadFile(QB_MAN_PAGE);
    const std::size_t env = page.find(".SH ENVIRONMENT");
    ASSERT_NE(std::string::npos, env);
    const std::string part = page.substr(env, page.find(".SH", env + 4) - env);
    const std::regex read(R"re((?:getenv|Environment)\("([A-Z_0-9]+)"\))re");
    std::set<std::string> names{"TMPDIR"};  // read through the scratch-folder helper
    for (const char* folder : {"apps", "src", "platform", "support"})
        for (const auto& e : std::filesystem::recursive_directory_iterator(std::string(QB_SOURCE_DIR) + "/" + folder)) {
            const std::string ext = e.path().extension().string();
            if (!e.is_regular_file() || (ext != ".cpp" && ext != ".h" && ext != ".c")) continue;
            const std::string text = ReadFile(e.path().string());
            for (std::sregex_iterator m(text.begin(), text.end(), read), end; m != end; ++m) names.insert((*m)[1]);
        }
    EXPECT_GE(names.size(), 10u);
    for (const std::string& name : names) EXPECT_NE(std::string::npos, part.find(".B " + name)) << name;
}

}  // namespace
