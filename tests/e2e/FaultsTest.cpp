// Runs that meet a bad output folder or help-file path: clear errors, nothing lost.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Utils/FileSys.h"
#include "Utils/Utils.h"
#include "dvo/dvo.h"
#include "engine/Engine.h"
#include "tests/support/TestSupport.h"

using namespace qbtest;

namespace {

std::vector<std::string> gLines;
bool Log(void*, int, const char* text) {
    if (text) gLines.push_back(text);
    return false;
}

class RunFaults : public ::testing::Test {
protected:
    void SetUp() override {
        WriteFile(dir.path() + "src/1/.caption", "Top\n");
        WriteFile(dir.path() + "src/1/_~_~_notes.rtf", "{\\rtf1\\ansi Top note\\par}");
        WriteFile(dir.path() + "src/1/2/_~_~_notes.rtf", "{\\rtf1\\ansi Sub note\\par}");
        ASSERT_EQ(1, dvo_import((dir.path() + "src").c_str(), (dir.path() + "db.kvdb").c_str())) << dvo_last_error();
        db = dvo_open((dir.path() + "db.kvdb").c_str());
        ASSERT_GT(db, 0);
        o.DatabaseHandle = db;
        o.StartPath = "\\Organizer\\data\\1\\";
        o.RootPath = dir.path() + "out/";
        o.ChmFileName = o.RootPath + "Top.chm";
        o.WindowTitle = "Top";
        o.ChmLanguage = "0x409 English (United States)";
        o.ConvertMethod = 0;
        gLines.clear();
    }
    void TearDown() override { dvo_close(db); }
    bool Logged(const std::string& part) const {
        for (const auto& l : gLines)
            if (l.find(part) != std::string::npos) return true;
        return false;
    }
    TempDir dir;
    int db = 0;
    qb::TConvertOptions o;
};

}  // namespace

TEST_F(RunFaults, UnwritableOutputFolderRaisesWithItsName) {
    if (geteuid() == 0) {
        // root writes anywhere: block the folder with a file instead.
        WriteFile(dir.path() + "blocked", "x");
        o.RootPath = dir.path() + "blocked/out/";
    } else {
        qb::fs::ForceDirectories(dir.path() + "ro");
        chmod((dir.path() + "ro").c_str(), 0555);
        o.RootPath = dir.path() + "ro/out/";
    }
    o.ChmFileName = o.RootPath + "Top.chm";
    const std::string before = qb::fs::GetCurrentDir();
    try {
        qb::RunConversion(o, &Log, nullptr);
        FAIL() << "no error";
    } catch (const std::exception& e) {
        EXPECT_NE(std::string::npos, std::string(e.what()).find("out")) << e.what();
    }
    EXPECT_EQ(before, qb::fs::GetCurrentDir());
}

TEST_F(RunFaults, HelpFileInAMissingFolderRaisesAndKeepsThePages) {
    o.ChmFileName = dir.path() + "no/such/folder/Top.chm";
    try {
        qb::RunConversion(o, &Log, nullptr);
        FAIL() << "no error";
    } catch (const std::exception& e) {
        EXPECT_NE(std::string::npos, std::string(e.what()).find("no/such/folder/Top.chm")) << e.what();
    }
    EXPECT_FALSE(qb::fs::FileExists(o.ChmFileName));
    // The clean-up did not run: the pages are still there for the user.
    EXPECT_TRUE(qb::fs::FileExists(o.RootPath + "Top.html"));
    EXPECT_FALSE(Logged("Compile finished."));
}

TEST_F(RunFaults, MissingChmcmdRaisesAndKeepsThePages) {
    setenv("QB_HHA_BACKEND", "chmcmd", 1);
    const std::string path = getenv("PATH") ? getenv("PATH") : "";
    setenv("PATH", (dir.path() + "empty-bin").c_str(), 1);
    std::string error;
    try {
        qb::RunConversion(o, &Log, nullptr);
    } catch (const std::exception& e) {
        error = e.what();
    }
    setenv("PATH", path.c_str(), 1);
    unsetenv("QB_HHA_BACKEND");
    EXPECT_NE(std::string::npos, error.find("cannot run chmcmd")) << error;
    EXPECT_FALSE(qb::fs::FileExists(o.ChmFileName));
    EXPECT_FALSE(Logged("Compile finished."));
    EXPECT_TRUE(qb::fs::FileExists(o.RootPath + "Top.html"));
}
