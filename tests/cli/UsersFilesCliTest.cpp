// The command line never turns a user's file into a database, and a damaged
// database's lost items end `db tree` and `export` with an error naming them.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <string>

#include "tests/cli/CliRun.h"
#include "tests/support/DvoWriters.h"
#include "tests/support/TestSupport.h"

using namespace clitest;
using qbtest::ReadFile;
using qbtest::TempDir;
using qbtest::WriteFile;

namespace {

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Top with A below it and B below A, and Trips beside Top.
std::string MakeSource(const TempDir& dir) {
    const std::string src = dir.path() + "src/";
    WriteFile(src + "1/.caption", "Top\n");
    WriteFile(src + "1/_~_~_notes.rtf", "{\\rtf1\\ansi Top text\\par}");
    WriteFile(src + "1/2/.caption", "A\n");
    WriteFile(src + "1/2/_~_~_notes.rtf", "{\\rtf1\\ansi A text\\par}");
    WriteFile(src + "1/2/3/.caption", "B\n");
    WriteFile(src + "4/.caption", "Trips\n");
    WriteFile(src + "4/_~_~_notes.rtf", "{\\rtf1\\ansi Trips text\\par}");
    return src;
}

void Sql(const std::string& db, const std::string& sql) { ASSERT_EQ("", qbtest::RunSql(db, sql)); }

}  // namespace

TEST(CliUsersFiles, DbImportRefusesAFileThatIsNoDatabaseUnlessToldToReplaceIt) {
    TempDir dir;
    const std::string src = MakeSource(dir);
    const std::string precious = dir.path() + "p.txt";
    WriteFile(precious, "precious\n");
    Outcome r = Quillbook({"db", "import", src, precious});
    EXPECT_EQ(1, r.status) << r.err;
    EXPECT_EQ("precious\n", ReadFile(precious));
    EXPECT_TRUE(Has(r.err, "quillbook: db import: " + precious + " exists and is not a database file")) << r.err;

    r = Quillbook({"db", "import", "--replace", src, precious});
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_EQ(0, Quillbook({"db", "tree", precious}).status);
    // Now a database of ours: rebuilt without being told.
    EXPECT_EQ(0, Quillbook({"db", "import", src, precious}).status);
}

TEST(CliUsersFiles, ItemsCutOffFromTheRootEndTreeAndExportWithTheirNames) {
    TempDir dir;
    const std::string db = dir.path() + "db.kvdb";
    ASSERT_EQ(0, Quillbook({"db", "import", MakeSource(dir), db}).status);
    Sql(db, "UPDATE item SET parent = id WHERE name = '1'");

    const Outcome tree = Quillbook({"db", "tree", db});
    EXPECT_NE(0, tree.status);
    EXPECT_TRUE(Has(tree.out, "Trips")) << tree.out;
    EXPECT_TRUE(Has(tree.err, "3 item(s) cannot be reached")) << tree.err;
    EXPECT_TRUE(Has(tree.err, "\"Top\" (id ")) << tree.err;

    const std::string out = dir.path() + "out/";
    const Outcome run = Quillbook({"export", "--db", db, "--whole", "--out", out, "--method", "2"});
    EXPECT_NE(0, run.status);
    EXPECT_TRUE(Has(run.err, "3 item(s) cannot be reached")) << run.err;
    EXPECT_FALSE(std::filesystem::exists(out + "db.chm"));

    // Mended, the tree is whole again.
    Sql(db, "UPDATE item SET parent = 1 WHERE name = '1'");
    EXPECT_EQ(0, Quillbook({"db", "tree", db}).status);
}
