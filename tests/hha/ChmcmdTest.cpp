// The chmcmd backend: a real chmcmd child, and fake ones for the failure paths.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <filesystem>

#include "tests/hha/ChmRead.h"
#include "tests/hha/GenProject.h"
#include "tests/hha/HhaTestUtil.h"
#include "tests/support/TestSupport.h"

using namespace hhatest;
namespace fs = std::filesystem;

namespace {

// A folder holding only a fake chmcmd script, to put first on PATH.
std::string FakeChmcmd(const qbtest::TempDir& dir, const std::string& script) {
    std::string bin = dir / "bin/";
    fs::create_directories(bin);
    qbtest::WriteFile(bin + "chmcmd", "#!/bin/sh\n" + script);
    ::chmod((bin + "chmcmd").c_str(), 0755);
    return bin + ":" + std::getenv("PATH");
}

bool LeftoversBeside(const std::string& chm) {
    for (const auto& e : fs::directory_iterator(fs::path(chm).parent_path()))
        if (e.path().filename().string().rfind(".hha-", 0) == 0) return true;
    return false;
}

}  // namespace

TEST(Chmcmd, StoresEveryFileOnceUnderItsPlainName) {
    qbtest::TempDir dir;
    GenProject p = MakeProject(dir.path(), 12);
    EnvVar backend("QB_HHA_BACKEND", "chmcmd");
    CompileRun run = Compile(p.hhp);
    ASSERT_EQ(1, run.result) << ::testing::PrintToString(run.log);
    for (const auto& name : p.listed) EXPECT_TRUE(run.Logged(name)) << name;
    EXPECT_GT(run.polls, 0);
    EXPECT_FALSE(LeftoversBeside(p.chm));

    // 7z lists each stored page once, never under "./" or twice.
    std::string listing = RunCommand("7z l -slt '" + p.chm + "'");
    for (const auto& [name, bytes] : p.expected) {
        std::string line = "Path = " + name.substr(1) + "\n";
        std::size_t first = listing.find(line);
        EXPECT_NE(std::string::npos, first) << name;
        if (first != std::string::npos) {
            EXPECT_EQ(std::string::npos, listing.find(line, first + 1)) << name;
        }
    }
    EXPECT_EQ(std::string::npos, listing.find("Path = ./")) << listing;

    std::map<std::string, std::string> extracted = ReadWith7z(p.chm, dir / "x7");
    std::string dups;
    std::map<std::string, std::string> viaChmlib = ReadWithChmlib(p.chm, &dups);
    EXPECT_EQ("", dups);
    for (const auto& [name, bytes] : p.expected) {
        if (name == "/Help.hhc" || name == "/Help.hhk") {
            // chmcmd gets the sitemaps with plain names, and stores them so.
            EXPECT_EQ(std::string::npos, extracted[name].find(".\\")) << name;
            EXPECT_NE(std::string::npos, extracted[name].find("value=\"0/P10.html\"")) << name;
            continue;
        }
        EXPECT_EQ(bytes, extracted[name]) << name;
        std::string looked;
        EXPECT_TRUE(ChmlibLookup(p.chm, name, looked)) << name;
        EXPECT_EQ(bytes, looked) << name;
    }
    for (const auto& [name, bytes] : viaChmlib) EXPECT_EQ(std::string::npos, name.find("/./")) << name;
    std::string chmls = RunCommand("chmls -n list '" + p.chm + "'");
    EXPECT_NE(std::string::npos, chmls.find("/0/P10.html")) << "a folder is absent: " << chmls;
}

TEST(Chmcmd, StopRequestKillsTheChild) {
    qbtest::TempDir dir;
    GenProject p = MakeProject(dir.path(), 3);
    std::string pidFile = dir / "pid";
    EnvVar path("PATH", FakeChmcmd(dir, "echo $$ > '" + pidFile + "'\necho working\nexec sleep 30\n"));
    EnvVar backend("QB_HHA_BACKEND", "chmcmd");
    // The child is started once the files are read; stop a few polls later.
    CompileRun run = Compile(p.hhp, 8);
    EXPECT_EQ(0, run.result);
    ASSERT_TRUE(fs::exists(pidFile));
    pid_t pid = std::stoi(qbtest::ReadFile(pidFile));
    EXPECT_NE(0, ::kill(pid, 0)) << "chmcmd still runs";
    EXPECT_FALSE(fs::exists(p.chm));
    EXPECT_FALSE(LeftoversBeside(p.chm));
}

TEST(Chmcmd, FailuresReturnZeroAndLeaveNoFile) {
    qbtest::TempDir dir;
    GenProject p = MakeProject(dir.path(), 3);
    EnvVar backend("QB_HHA_BACKEND", "chmcmd");
    {
        // Not on PATH at all.
        fs::create_directories(dir / "empty");
        EnvVar path("PATH", dir / "empty");
        CompileRun run = Compile(p.hhp);
        EXPECT_EQ(0, run.result);
        EXPECT_TRUE(run.Logged("chmcmd"));
    }
    {
        // Crashes after writing an empty file (as with absolute paths).
        EnvVar path("PATH", FakeChmcmd(dir, "echo 'An unhandled exception occurred'\nexit 217\n"));
        CompileRun run = Compile(p.hhp);
        EXPECT_EQ(0, run.result);
        EXPECT_TRUE(run.Logged("An unhandled exception occurred"));
        EXPECT_TRUE(run.Logged("exit status 217"));
    }
    {
        // Exit 0 but an "Error:" line.
        EnvVar path("PATH", FakeChmcmd(dir, "echo 'Error: something'\nexit 0\n"));
        EXPECT_EQ(0, Compile(p.hhp).result);
    }
    EXPECT_FALSE(fs::exists(p.chm));
    EXPECT_FALSE(LeftoversBeside(p.chm));
}

TEST(Chmcmd, MissingProjectOrContentsGivesZero) {
    qbtest::TempDir dir;
    GenProject p = MakeProject(dir.path(), 3);
    EnvVar backend("QB_HHA_BACKEND", "chmcmd");
    CompileRun missing = Compile(dir / "nothing.hhp");
    EXPECT_EQ(0, missing.result);
    EXPECT_TRUE(missing.Logged("nothing.hhp"));

    fs::remove(p.hhc);
    CompileRun noContents = Compile(p.hhp);
    EXPECT_EQ(0, noContents.result);
    EXPECT_TRUE(noContents.Logged("Help.hhc"));
    EXPECT_FALSE(fs::exists(p.chm));
}
