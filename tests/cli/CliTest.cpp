// The command line as users call it: the real executable, database and compiler.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "Utils/FileSys.h"
#include "Utils/Utils.h"
#include "tests/support/TestSupport.h"

using namespace qbtest;

namespace {

const std::string kExe = std::string(QB_OUT_DIR) + "/quillbook";

struct Result {
    int status;
    std::string out;
};

// Runs quillbook with args (no shell), capturing stdout and stderr.
// With sigintAfterLine set, stopSignal goes to it once `trigger` appears in its output.
Result Quillbook(const std::vector<std::string>& args, int sigintAfterLine = 0, int stopSignal = SIGINT,
                 const std::string& trigger = "|  |--") {
    int pipeFd[2];
    if (pipe(pipeFd) != 0) return {-1, ""};
    pid_t pid = fork();
    if (pid == 0) {
        dup2(pipeFd[1], 1);
        dup2(pipeFd[1], 2);
        close(pipeFd[0]);
        std::vector<char*> argv{const_cast<char*>(kExe.c_str())};
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(kExe.c_str(), argv.data());
        _exit(127);
    }
    close(pipeFd[1]);
    std::string out;
    char buf[4096];
    int lines = 0;
    bool signalled = false;
    for (;;) {
        ssize_t n = read(pipeFd[0], buf, sizeof buf);
        if (n <= 0) break;
        out.append(buf, static_cast<std::size_t>(n));
        for (ssize_t i = 0; i < n; ++i)
            if (buf[i] == '\n') ++lines;
        if (sigintAfterLine > 0 && !signalled && out.find(trigger) != std::string::npos) {
            kill(pid, stopSignal);
            signalled = true;
        }
    }
    close(pipeFd[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), out};
}

// A database of a top item with n notes below it.
std::string MakeDatabase(const TempDir& dir, int n) {
    const std::string src = dir.path() + "src/";
    WriteFile(src + "1/.caption", "Top\n");
    WriteFile(src + "1/_~_~_notes.rtf", "{\\rtf1\\ansi Top text\\par}");
    for (int i = 0; i < n; ++i) {
        const std::string item = src + "1/" + std::to_string(i + 2) + "/";
        WriteFile(item + ".caption", "Item " + std::to_string(i) + "\n");
        WriteFile(item + "_~_~_notes.rtf", "{\\rtf1\\ansi Note " + std::to_string(i) + "\\par}");
    }
    const std::string db = dir.path() + "db.kvdb";
    const Result r = Quillbook({"db", "import", src, db});
    EXPECT_EQ(0, r.status) << r.out;
    return db;
}

}  // namespace

TEST(Cli, ExportWholeDatabaseCompilesAndCleansUp) {
    TempDir dir;
    const std::string db = MakeDatabase(dir, 3);
    const std::string out = dir.path() + "out/";
    const Result r = Quillbook({"export", "-v", "--db", db, "--whole", "--out", out, "--method", "2"});
    ASSERT_EQ(0, r.status) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("|  |--Top"));
    EXPECT_NE(std::string::npos, r.out.find("Finish clearing."));
    // A piped log holds plain lines: no carriage return, no line made of a
    // message text's leading break.
    EXPECT_EQ(std::string::npos, r.out.find('\r')) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("\nExport finished.\n")) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("\nCompile finished.\n")) << r.out;
    EXPECT_EQ(std::string::npos, r.out.find("\n\n")) << r.out;
    EXPECT_TRUE(qb::fs::FileExists(out + "db.chm"));
    qb::TStringList left;
    qb::FindFiles(left, out, "*.*", true);
    EXPECT_EQ(1, left.Count()) << left.Text();
}

TEST(Cli, SetFieldsAndUsageErrors) {
    TempDir dir;
    const std::string db = MakeDatabase(dir, 1);
    const std::string out = dir.path() + "out/";
    Result r = Quillbook({"export", "--db", db, "--item", "\\Organizer\\data\\1\\", "--out", out, "--method", "2",
                          "--set", "RemoveTempFiles=false", "--set", "KeepFolderTree=false", "--set", "Header=<b>x</b>",
                          "--set", "FontColor=clRed"});
    ASSERT_EQ(0, r.status) << r.out;
    EXPECT_NE(std::string::npos, ReadFile(out + "Item_0.html").find("<b>x</b>"));
    EXPECT_NE(std::string::npos, ReadFile(out + "Item_0.html").find("color=\"#FF0000\""));
    EXPECT_TRUE(qb::fs::FileExists(out + "Top.chm"));

    EXPECT_EQ(2, Quillbook({"export", "--db", db, "--whole", "--out", out, "--set", "NoSuchField=1"}).status);
    EXPECT_EQ(2, Quillbook({"export", "--db", db, "--whole", "--out", out, "--set", "FontSize=big"}).status);
    EXPECT_EQ(2, Quillbook({"export", "--db", db, "--whole", "--out", out, "--set", "FontColor=reddish"}).status);
    EXPECT_EQ(2, Quillbook({"export", "--db", db, "--out", out}).status);
    EXPECT_EQ(2, Quillbook({"export", "--db", db, "--item", "\\Organizer\\data\\99\\", "--out", out}).status);
    EXPECT_EQ(2, Quillbook({"export", "--db", dir.path() + "missing.kvdb", "--whole", "--out", out}).status);
    EXPECT_EQ(2, Quillbook({"frobnicate"}).status);

    // The tree below one item, and an item that is not there.
    const Result tree = Quillbook({"db", "tree", db, "1"});
    EXPECT_EQ(0, tree.status) << tree.out;
    EXPECT_NE(std::string::npos, tree.out.find("Item 0"));
    EXPECT_EQ(2, Quillbook({"db", "tree", db, "1/99"}).status);
}

TEST(Cli, WalkErrorExitsWithThree) {
    TempDir dir;
    const std::string src = dir.path() + "src/";
    WriteFile(src + "1/.caption", "Top\n");
    WriteFile(src + "1/2/.caption", "Sub\n");
    WriteFile(src + "1/2/3/_~_~_notes.rtf", "{\\rtf1 leaf\\par}");
    const std::string db = dir.path() + "db.kvdb";
    ASSERT_EQ(0, Quillbook({"db", "import", src, db}).status);
    const std::string out = dir.path() + "out/";
    WriteFile(out + "2", "a file where the walk needs a folder");
    const Result r = Quillbook({"export", "--db", db, "--item", "1", "--out", out, "--method", "2"});
    EXPECT_EQ(3, r.status) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("Cannot create folder"));
}

TEST(Cli, FailingStageExitsWithOne) {
    TempDir dir;
    const std::string db = MakeDatabase(dir, 1);
    const Result r = Quillbook({"export", "--db", db, "--whole", "--out", dir.path() + "out/", "--method", "3"});
    EXPECT_EQ(1, r.status);
    EXPECT_NE(std::string::npos, r.out.find("RTF2HTML engine not exists."));
    EXPECT_NE(std::string::npos, r.out.find("Please select another RTF convert engine and try again."));
}

TEST(Cli, CtrlCStopsTheRun) {
    TempDir dir;
    const std::string db = MakeDatabase(dir, 400);
    const std::string out = dir.path() + "out/";
    const Result r = Quillbook({"export", "-v", "--db", db, "--whole", "--out", out, "--method", "2"}, 1);
    EXPECT_EQ(130, r.status) << r.out.substr(0, 2000);
    EXPECT_NE(std::string::npos, r.out.find("User cancelled."));
    EXPECT_EQ(std::string::npos, r.out.find("|  |  |--Item 399"));
}

TEST(Cli, CtrlCStopsACompileWithTheStatusOfAStoppedExport) {
    TempDir dir;
    const std::string db = MakeDatabase(dir, 1000);
    const std::string out = dir.path() + "out/";
    const Result kept = Quillbook({"export", "-q", "--db", db, "--whole", "--out", out, "--method", "2", "--set",
                                   "RemoveTempFiles=false"});
    ASSERT_EQ(0, kept.status) << kept.out;
    const Result r = Quillbook({"compile", out + "db.hhp"}, 1, SIGINT, ".html\n");
    EXPECT_EQ(130, r.status) << r.out.substr(0, 2000);
    EXPECT_NE(std::string::npos, r.out.find("quillbook: compile: compilation stopped")) << r.out.substr(0, 2000);
}

TEST(Cli, SettingsFileIsReadAsTheWizardReadsIt) {
    TempDir dir;
    const std::string db = MakeDatabase(dir, 1);
    const std::string out = dir.path() + "out/";
    WriteFile(dir.path() + "s.xml",
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Quillbook><Config><KeepDir>false</KeepDir>"
              "<WholeDB>false</WholeDB><Converter>2</Converter><ExportAttach>true</ExportAttach>"
              "<ClearTempory>false</ClearTempory><OverWrite>false</OverWrite><TopNode>true</TopNode>"
              "<Encoding>UTF-8</Encoding><HeaderText>  HEAD  </HeaderText><FooterText/><DefaultPage/>"
              "<Language>Default(En) *</Language><DefaultFont Name=\"Arial\" Size=\"14\" Color=\"clRed\"/>"
              "<CHM><Language>0x409 English</Language><FullSearch>false</FullSearch><Title>T</Title>"
              "<Size>[0,0,800,600]</Size><OnTop>true</OnTop><AdvanceSearch>true</AdvanceSearch>"
              "<ToolButtons>6</ToolButtons><Menu>false</Menu><TabEnable>true</TabEnable><Bookmark>false</Bookmark>"
              "<AutoSync>false</AutoSync><OpenClosed>false</OpenClosed><AutoHide>false</AutoHide>"
              "<DefaultTab>1</DefaultTab><TabWidth>250</TabWidth></CHM><IgnoreEmptyNode>false</IgnoreEmptyNode>"
              "<ReadableCaption>false</ReadableCaption><SubItems>true</SubItems><UserButtonCaption/>"
              "<UserButtonURL/><OpenCHMFile>false</OpenCHMFile><NavigatorLink>false</NavigatorLink>"
              "<AttachFiles/><RolloverMenu>true</RolloverMenu></Config></Quillbook>");
    const Result r = Quillbook({"export", "--db", db, "--item", "1", "--out", out, "--settings", dir.path() + "s.xml"});
    ASSERT_EQ(0, r.status) << r.out;
    const std::string page = ReadFile(out + "Item_0.html");
    EXPECT_NE(std::string::npos, page.find("face=\"Arial\" color=\"#FF0000\" size=\"4\""));
    EXPECT_NE(std::string::npos, page.find(">HEAD<font"));
    EXPECT_EQ(std::string::npos, page.find("dropmenudiv"));
    const std::string hhp = ReadFile(out + "Top.hhp");
    EXPECT_NE(std::string::npos, hhp.find("Full-text search=no"));
    EXPECT_NE(std::string::npos, hhp.find(",0x20420,250,0x6,[0,0,800,600],,0x8,,0,1,,0"));

    WriteFile(dir.path() + "bad.xml", "<Quillbook><Config><KeepDir>yes</KeepDir></Config></Quillbook>");
    EXPECT_EQ(
        2, Quillbook({"export", "--db", db, "--item", "1", "--out", out, "--settings", dir.path() + "bad.xml"}).status);
}

// An empty output folder would be the current one, which the clean-up empties;
// a folder or a pipe named as the settings file is said to be one.
TEST(Cli, EmptyOutputFolderAndSettingsThatAreNoFileAreRefused) {
    TempDir dir;
    const std::string db = MakeDatabase(dir, 1);
    const std::string work = dir.path() + "work/";
    WriteFile(work + "mine.txt", "the user's own file");
    const std::string previous = qb::fs::GetCurrentDir();
    ASSERT_EQ(0, chdir(work.c_str()));
    const Result empty = Quillbook({"export", "--db", db, "--item", "1", "--out", "", "--method", "2"});
    const Result blank = Quillbook({"export", "--db", db, "--item", "1", "--out", "  ", "--method", "2"});
    ASSERT_EQ(0, chdir(previous.c_str()));
    EXPECT_EQ(2, empty.status) << empty.out;
    EXPECT_NE(std::string::npos, empty.out.find("--out names no folder")) << empty.out;
    EXPECT_EQ(2, blank.status) << blank.out;
    EXPECT_EQ("the user's own file", ReadFile(work + "mine.txt"));
    EXPECT_FALSE(qb::fs::FileExists(work + "Top.html"));

    const Result folder =
        Quillbook({"export", "--db", db, "--item", "1", "--out", dir.path() + "out/", "--settings", work});
    EXPECT_EQ(2, folder.status);
    EXPECT_NE(std::string::npos, folder.out.find("it is a folder, not a file")) << folder.out;
    EXPECT_EQ(std::string::npos, folder.out.find("allocate")) << folder.out;
}

TEST(Cli, ConvertPrintsThePage) {
    TempDir dir;
    WriteFile(dir.path() + "n.rtf", "{\\rtf1\\ansi A & B\\par}");
    const Result r = Quillbook({"convert", "--method", "2", "--title", "T", dir.path() + "n.rtf"});
    ASSERT_EQ(0, r.status) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("<title>T</title>"));
    EXPECT_NE(std::string::npos, r.out.find("A &amp; B"));
    EXPECT_EQ(2, Quillbook({"convert", dir.path() + "missing.rtf"}).status);
}

TEST(Cli, KillOrHangUpStopsTheRunLikeCtrlCAndLeavesNoScratch) {
    TempDir dir, tmp;
    const std::string db = MakeDatabase(dir, 400);
    const std::string out = dir.path() + "out/";
    Result r;
    {
        const qbtest::ScopedEnv tmpdir("TMPDIR", tmp.path());
        for (int sig : {SIGTERM, SIGHUP}) {
            const Result s = Quillbook({"export", "-v", "--db", db, "--whole", "--out", out, "--method", "0"}, 1, sig);
            EXPECT_EQ(130, s.status) << sig << s.out.substr(0, 2000);
            EXPECT_NE(std::string::npos, s.out.find("User cancelled.")) << sig;
            EXPECT_TRUE(std::filesystem::is_empty(tmp.path())) << sig;
            EXPECT_NE(std::string::npos, ReadFile(out + ".quillbook-run").find("state=running")) << sig;
        }
        // The next run takes the stopped run's pages back and says so.
        r = Quillbook({"export", "--db", db, "--whole", "--out", out, "--method", "0"});
    }
    EXPECT_EQ(0, r.status) << r.out.substr(0, 2000);
    EXPECT_NE(std::string::npos, r.out.find("did not finish"));
    EXPECT_TRUE(std::filesystem::is_empty(tmp.path()));
    qb::TStringList left;
    qb::FindFiles(left, out, "*.*", true);
    EXPECT_EQ(1, left.Count()) << left.Text();
}

// --site without --out writes the website alone: no help file, no pages left
// anywhere, and the log names the site's start page last.
TEST(Cli, SiteAloneWritesNoHelpFile) {
    TempDir dir;
    const std::string db = MakeDatabase(dir, 3);
    const std::string site = dir.path() + "www/";
    const Result r = Quillbook({"export", "--db", db, "--item", "1", "--site", site, "--method", "2"});
    ASSERT_EQ(0, r.status) << r.out;
    EXPECT_TRUE(qb::fs::FileExists(site + "index.html"));
    std::size_t chm = 0;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir.path()))
        if (e.path().extension() == ".chm" || e.path().extension() == ".hhp") ++chm;
    EXPECT_EQ(0u, chm);
    std::string last = r.out;
    while (!last.empty() && last.back() == '\n') last.pop_back();
    last = last.substr(last.rfind('\n') + 1);
    EXPECT_EQ("Website: " + site + "index.html", last) << r.out;

    const Result neither = Quillbook({"export", "--db", db, "--item", "1"});
    EXPECT_EQ(2, neither.status);
    EXPECT_NE(std::string::npos, neither.out.find("missing --out DIR (or --site DIR alone)")) << neither.out;
}
