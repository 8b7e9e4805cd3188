#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "quillbook/DbCommands.h"
#include "tests/dvo/DvoTestUtil.h"
#include "tests/support/DvoWriters.h"
#include "tests/support/TestSupport.h"

using namespace dvotest;
using qbtest::TempDir;
using qbtest::WriteFile;

namespace {

class DbCommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        WriteFile(src + "__custom_labels.txt", "12345");
        WriteFile(src + "2/.caption", "Trips");
        WriteFile(src + "2/_~_~_notes.rtf", "{\\rtf1}");
        WriteFile(src + "2/10/.caption", "Rome");
        WriteFile(src + "2/10/map.png", "PNGPNG");
        WriteFile(src + "2/9/.caption", "Paris");
        WriteFile(src + "3/.caption", "Notes");
    }

    TempDir tmp;
    std::string src = tmp / "src/";
    std::string dbFile = tmp / "db.sqlite";
    std::ostringstream out, err;
};

}  // namespace

TEST_F(DbCommandsTest, ImportThenTreeShowsItemsCaptionsFilesAndSizes) {
    ASSERT_EQ(0, qb::CmdDbImport(src, dbFile, out, err)) << err.str();
    EXPECT_NE(std::string::npos, out.str().find("Imported 5 item(s) (the root and 4 below it)")) << out.str();
    out.str("");
    ASSERT_EQ(0, qb::CmdDbTree(dbFile, qb::kDbRootPath, out, err)) << err.str();
    EXPECT_EQ(
        "\\Organizer\\data\\\n"
        "  __custom_labels.txt  (5 bytes)\n"
        "  2\\  Trips\n"
        "    _~_~_notes.rtf  (7 bytes)\n"
        "    9\\  Paris\n"
        "    10\\  Rome\n"
        "      map.png  (6 bytes)\n"
        "  3\\  Notes\n",
        out.str());
    EXPECT_EQ("", err.str());
}

TEST_F(DbCommandsTest, TreeOfABranchWithOrWithoutTrailingBackslash) {
    ASSERT_EQ(0, qb::CmdDbImport(src, dbFile, out, err));
    for (const char* branch : {"\\Organizer\\data\\2\\10\\", "\\organizer\\data\\2\\10"}) {
        std::ostringstream tree;
        ASSERT_EQ(0, qb::CmdDbTree(dbFile, branch, tree, err));
        EXPECT_EQ(std::string(branch) + (std::string(branch).back() == '\\' ? "" : "\\") +
                      "  Rome\n"
                      "  map.png  (6 bytes)\n",
                  tree.str());
    }
}

TEST_F(DbCommandsTest, FailuresReportOnStderrAndReturnNonZero) {
    // A missing input is a usage error, a file that is no database a failed stage.
    EXPECT_EQ(2, qb::CmdDbTree(tmp / "missing.db", qb::kDbRootPath, out, err));
    EXPECT_NE(std::string::npos, err.str().find("no such file: " + std::string(tmp / "missing.db")));

    err.str("");
    WriteFile(tmp / "notes.txt", "not a database, just text that is long enough...................");
    EXPECT_EQ(1, qb::CmdDbTree(tmp / "notes.txt", qb::kDbRootPath, out, err));
    EXPECT_NE(std::string::npos, err.str().find("Not an outliner database"));

    err.str("");
    EXPECT_EQ(2, qb::CmdDbImport(tmp / "notes.txt", dbFile, out, err));
    EXPECT_NE(std::string::npos, err.str().find("not a folder"));

    err.str("");
    ASSERT_EQ(0, qb::CmdDbImport(src, dbFile, out, err));
    EXPECT_EQ(2, qb::CmdDbTree(dbFile, "\\Organizer\\data\\7\\", out, err));
    EXPECT_NE(std::string::npos, err.str().find("the database holds no item 7")) << err.str();
    EXPECT_EQ(2, qb::CmdDbTree(dbFile, "C:\\elsewhere", out, err));
}

TEST_F(DbCommandsTest, ControlCharactersInNamesAndCaptionsAreShownEscaped) {
    ASSERT_EQ(0, qb::CmdDbImport(src, dbFile, out, err));
    ASSERT_TRUE(qbtest::AddStoredItem(dbFile, "\\Organizer\\data\\3\\", "x\x1B[2Jy", "bell\a"));
    out.str("");
    ASSERT_EQ(0, qb::CmdDbTree(dbFile, "\\Organizer\\data\\3\\", out, err));
    EXPECT_EQ(
        "\\Organizer\\data\\3\\  Notes\n"
        "  x\\x1B[2Jy\\  bell\\x07\n",
        out.str());
}

namespace {

// Counts lines without keeping them: the deep tree prints a lot of indentation.
class LineCounter : public std::streambuf {
public:
    size_t lines = 0;

protected:
    int_type overflow(int_type c) override {
        if (c == '\n') ++lines;
        return c;
    }
};

}  // namespace

TEST_F(DbCommandsTest, TreeOfAThousandsOfLevelsDeepDatabase) {
    constexpr int kDepth = 3000;
    const std::string deepSrc = tmp / "deep/";
    std::filesystem::create_directories(deepSrc);
    if (!MakeDeepChain(deepSrc, kDepth)) GTEST_SKIP() << "a chain deeper than the path limit is a Linux case";
    struct Cleanup {
        std::string base;
        ~Cleanup() { RemoveDeepChain(base, kDepth); }
    } cleanup{deepSrc};
    ASSERT_EQ(0, qb::CmdDbImport(deepSrc, dbFile, out, err)) << err.str();

    LineCounter counter;
    std::ostream sink(&counter);
    ASSERT_EQ(0, qb::CmdDbTree(dbFile, qb::kDbRootPath, sink, err));
    EXPECT_EQ(static_cast<size_t>(kDepth) + 2, counter.lines) << "root, every item, and leaf.txt";
}
