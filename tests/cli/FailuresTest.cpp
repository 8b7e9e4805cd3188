// Failures through the real binary: a failed compile, a full disk, a damaged,
// locked or looping database and two runs into one folder all end with a
// non-zero exit and the reason, and nothing is lost or passed off as new.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "Utils/FileSys.h"
#include "Utils/Utils.h"
#include "dvo/dvo.h"
#include "tests/cli/CliRun.h"
#include "tests/support/DvoWriters.h"
#include "tests/support/TestSupport.h"

using namespace qbtest;
using clitest::FullDisk;
using clitest::Outcome;
using clitest::Quillbook;

namespace {

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// A top item with a note and two noted sub-items: Top\A\B.
std::string MakeDb(const TempDir& dir) {
    const std::string src = dir.path() + "src/";
    WriteFile(src + "1/.caption", "Top\n");
    WriteFile(src + "1/_~_~_notes.rtf", "{\\rtf1\\ansi Top text\\par}");
    WriteFile(src + "1/2/.caption", "A\n");
    WriteFile(src + "1/2/_~_~_notes.rtf", "{\\rtf1\\ansi A text\\par}");
    WriteFile(src + "1/2/3/.caption", "B\n");
    WriteFile(src + "1/2/3/_~_~_notes.rtf", "{\\rtf1\\ansi B text\\par}");
    const std::string db = dir.path() + "db.kvdb";
    const Outcome r = Quillbook({"db", "import", src, db});
    EXPECT_EQ(0, r.status) << r.err;
    return db;
}

std::vector<std::string> Export(const std::string& db, const std::string& out, std::vector<std::string> extra = {}) {
    std::vector<std::string> args{"export", "--db", db, "--whole", "--out", out, "--method", "2"};
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
}

// Runs SQL on the database file directly, as a user with the sqlite3 shell would.
void Sql(const std::string& db, const std::string& sql) { ASSERT_EQ("", qbtest::RunSql(db, sql)); }

long long RootPage(const std::string& db, const std::string& table) {
    sqlite3* conn = nullptr;
    sqlite3_open(db.c_str(), &conn);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(conn, ("SELECT rootpage FROM sqlite_master WHERE name='" + table + "'").c_str(), -1, &st,
                       nullptr);
    const long long page = sqlite3_step(st) == SQLITE_ROW ? sqlite3_column_int64(st, 0) : -1;
    sqlite3_finalize(st);
    sqlite3_close(conn);
    return page;
}

}  // namespace

// --- the compile ------------------------------------------------------------

TEST(CliCompileFailure, MissingHelpFileFolderEndsWithOneAndKeepsThePages) {
    TempDir dir;
    const std::string db = MakeDb(dir);
    const std::string out = dir.path() + "out/";
    const Outcome r = Quillbook(Export(db, out, {"--chm", "/no/such/dir/x.chm"}));
    EXPECT_EQ(1, r.status) << r.out << r.err;
    EXPECT_TRUE(Has(r.err, "quillbook: export: ")) << r.err;
    EXPECT_TRUE(Has(r.err, "/no/such/dir/x.chm")) << r.err;
    EXPECT_TRUE(Has(r.err, "No such file or directory")) << r.err;
    EXPECT_FALSE(Has(r.out, "Compile finished.")) << r.out;
    EXPECT_FALSE(Has(r.out, "Finish clearing.")) << r.out;
    // No clean-up: the pages and the project are still there.
    EXPECT_TRUE(qb::fs::FileExists(out + "1/Top.html"));
    EXPECT_TRUE(qb::fs::FileExists(out + "x.hhp"));
}

TEST(CliCompileFailure, AnOldHelpFileIsNeitherReportedNorUsedForCleanUp) {
    TempDir dir;
    const std::string db = MakeDb(dir);
    const std::string out = dir.path() + "out/";
    Outcome r = Quillbook(Export(db, out));
    ASSERT_EQ(0, r.status) << r.out << r.err;
    ASSERT_TRUE(qb::fs::FileExists(out + "db.chm"));
    ASSERT_FALSE(qb::fs::FileExists(out + "1/Top.html"));  // cleaned up after the good compile
    const std::string oldChm = ReadFile(out + "db.chm");

    // The second compile cannot run at all.
    r = Quillbook(Export(db, out), {{"QB_HHA_BACKEND", "chmcmd"}, {"PATH", dir.path() + "no-bin"}});
    EXPECT_EQ(1, r.status) << r.out << r.err;
    EXPECT_TRUE(Has(r.err, "cannot run chmcmd")) << r.err;
    EXPECT_FALSE(Has(r.out, "Compiled help file:")) << r.out;
    EXPECT_FALSE(Has(r.out, "Finish clearing.")) << r.out;
    EXPECT_TRUE(qb::fs::FileExists(out + "1/Top.html"));
    EXPECT_EQ(oldChm, ReadFile(out + "db.chm"));
}

// Thirty levels of 200-byte captions as folder names: the deepest pages lie
// about 6 KB below the output folder, beyond what the system takes as one path.
TEST(CliDeepPaths, LongCaptionsAsFoldersCompileAndCleanUp) {
    TempDir dir;
    std::string src = dir.path() + "src";
    std::string deepest;
    for (int level = 0; level < 30; ++level) {
        src += "/a";
        const std::string caption = "Level " + std::to_string(10 + level) + " " + std::string(191, 'x');
        WriteFile(src + "/.caption", caption + "\n");
        WriteFile(src + "/_~_~_notes.rtf", "{\\rtf1\\ansi Level " + std::to_string(level) + "\\par}");
        deepest = qb::SafeFileName(caption);
    }
    const std::string db = dir.path() + "db.kvdb";
    Outcome r = Quillbook({"db", "import", dir.path() + "src", db});
    ASSERT_EQ(0, r.status) << r.err;
    const std::string out = dir.path() + "out/";
    r = Quillbook(Export(db, out, {"--set", "ReadableFolderNames=true", "-v"}));
    EXPECT_EQ(0, r.status) << r.err.substr(0, 2000);
    EXPECT_TRUE(Has(r.out, "Compiled help file:")) << r.out.substr(0, 2000);
    // The deepest page went into the help file.
    EXPECT_TRUE(Has(r.out, "\\" + deepest + ".html\n")) << r.out.substr(r.out.size() - 2000);
    // The clean-up reached the deep folders too.
    for (const auto& e : std::filesystem::directory_iterator(out))
        EXPECT_TRUE(e.is_regular_file()) << e.path().filename().string().substr(0, 40);
    EXPECT_TRUE(qb::fs::FileExists(out + "db.chm"));
}

class CliFullDisk : public ::testing::TestWithParam<bool> {};

TEST_P(CliFullDisk, HelpFileOnAFullDiskEndsWithOne) {
    TempDir dir;
    const std::string db = MakeDb(dir);
    FullDisk disk(dir.path() + "chm", 4096, GetParam());
    if (GetParam() && !disk.mounted()) GTEST_SKIP() << "cannot mount a tmpfs here; the shim case covers it";
    const std::string out = dir.path() + "out/";
    const Outcome r = Quillbook(Export(db, out, {"--chm", dir.path() + "chm/Help.chm"}), disk.Env());
    EXPECT_EQ(1, r.status) << r.out << r.err;
    EXPECT_TRUE(Has(r.err, "No space left on device")) << r.err;
    EXPECT_FALSE(qb::fs::FileExists(dir.path() + "chm/Help.chm"));
    EXPECT_TRUE(qb::fs::FileExists(out + "1/Top.html"));
}

TEST_P(CliFullDisk, AttachmentOnAFullDiskIsAWalkError) {
    TempDir dir;
    const std::string src = dir.path() + "src/";
    WriteFile(src + "1/.caption", "Top\n");
    WriteFile(src + "1/_~_~_notes.rtf", "{\\rtf1\\ansi Top text\\par}");
    WriteFile(src + "1/big.bin", std::string(2 * 1024 * 1024, 'x'));
    const std::string db = dir.path() + "db.kvdb";
    ASSERT_EQ(0, Quillbook({"db", "import", src, db}).status);
    const std::string out = dir.path() + "out/";
    FullDisk disk(out, 512 * 1024, GetParam());
    if (GetParam() && !disk.mounted()) GTEST_SKIP() << "cannot mount a tmpfs here; the shim case covers it";
    const Outcome r = Quillbook(Export(db, out, {"--set", "RemoveTempFiles=false"}), disk.Env());
    EXPECT_EQ(3, r.status) << r.out << r.err;
    EXPECT_TRUE(Has(r.out, "big.bin")) << r.out;
    EXPECT_TRUE(Has(r.out, "No space left on device")) << r.out;
    // No half-written copy passes for the attachment.
    EXPECT_FALSE(qb::fs::FileExists(out + "1/big.bin"));
}

INSTANTIATE_TEST_SUITE_P(TmpfsOrShim, CliFullDisk, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "tmpfs" : "shim"; });

TEST(CliWriteFailure, AttachmentMeetingAFolderTakesANumberedName) {
    TempDir dir;
    const std::string db = MakeDb(dir);
    // ".." is made safe as "__", the folder of an earlier sibling with sub-items.
    ASSERT_TRUE(qbtest::AddStoredItem(db, "\\Organizer\\data\\", "__", "Under"));
    ASSERT_TRUE(qbtest::AddStoredItem(db, "\\Organizer\\data\\__\\", "x", "Leaf"));
    ASSERT_TRUE(qbtest::AddStoredFile(db, "\\Organizer\\data\\__\\x\\", "_~_~_notes.rtf", "{\\rtf1 u\\par}"));
    ASSERT_TRUE(qbtest::AddStoredItem(db, "\\Organizer\\data\\", "9", "Later"));
    ASSERT_TRUE(qbtest::AddStoredFile(db, "\\Organizer\\data\\9\\", "..", "data"));
    const std::string out = dir.path() + "out/";
    const Outcome r = Quillbook(Export(db, out, {"--set", "RemoveTempFiles=false"}));
    // The folder is kept and the attachment is stored beside it under a numbered name.
    EXPECT_EQ(0, r.status) << r.out << r.err;
    EXPECT_TRUE(std::filesystem::is_directory(out + "__"));
    int copies = 0;
    for (const auto& e : std::filesystem::recursive_directory_iterator(out)) {
        const std::string name = e.path().filename().string();
        if (e.is_regular_file() && name.size() > 3 && name.compare(name.size() - 3, 3, "___") == 0 &&
            ReadFile(e.path().string()) == "data")
            ++copies;
    }
    EXPECT_EQ(1, copies);
}

// --- the database -------------------------------------------------------------

TEST(CliDamagedDatabase, ReadErrorsEndWithSqlitesReason) {
    TempDir dir;
    const std::string good = MakeDb(dir);
    struct Damage {
        const char* name;
        std::string sql;
        const char* reason;
    };
    const std::vector<Damage> damages = {
        {"dropped table", "DROP TABLE file", "no such table: file"},
        {"missing column", "ALTER TABLE item DROP COLUMN caption", "no such column: caption"},
    };
    for (const Damage& d : damages) {
        SCOPED_TRACE(d.name);
        const std::string db = dir.path() + "damaged.kvdb";
        std::filesystem::copy_file(good, db, std::filesystem::copy_options::overwrite_existing);
        Sql(db, d.sql);
        const Outcome tree = Quillbook({"db", "tree", db});
        EXPECT_NE(0, tree.status) << tree.out;
        EXPECT_TRUE(Has(tree.err, d.reason)) << tree.err;
        const Outcome exp = Quillbook(Export(db, dir.path() + "out-" + d.name + "/"));
        EXPECT_NE(0, exp.status) << exp.out;
        EXPECT_TRUE(Has(exp.err + exp.out, d.reason)) << exp.err << exp.out;
        EXPECT_FALSE(Has(exp.out, "Compiled help file:")) << exp.out;
    }
}

TEST(CliDamagedDatabase, CorruptPagesEndWithSqlitesReason) {
    TempDir dir;
    const std::string db = MakeDb(dir);
    const long long page = RootPage(db, "item");
    ASSERT_GT(page, 1);
    {
        // Garbage over the item table's b-tree page.
        const int fd = ::open(db.c_str(), O_WRONLY);
        ASSERT_GE(fd, 0);
        const std::string junk(4096, '\xA5');
        ASSERT_EQ(4096, ::pwrite(fd, junk.data(), junk.size(), (page - 1) * 4096));
        ::close(fd);
    }
    const Outcome tree = Quillbook({"db", "tree", db});
    EXPECT_NE(0, tree.status) << tree.out;
    EXPECT_TRUE(Has(tree.err, "malformed")) << tree.err;
    const Outcome exp = Quillbook(Export(db, dir.path() + "out/"));
    EXPECT_NE(0, exp.status) << exp.out;
    EXPECT_TRUE(Has(exp.err + exp.out, "malformed")) << exp.err << exp.out;
}

TEST(CliDamagedDatabase, LockedDatabaseSaysItIsLocked) {
    TempDir dir;
    const std::string db = MakeDb(dir);
    sqlite3* holder = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open(db.c_str(), &holder));
    ASSERT_EQ(SQLITE_OK, sqlite3_exec(holder, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr));
    const Outcome tree = Quillbook({"db", "tree", db});
    const Outcome exp = Quillbook(Export(db, dir.path() + "out/"));
    sqlite3_exec(holder, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(holder);
    EXPECT_NE(0, tree.status);
    EXPECT_TRUE(Has(tree.err, "database is locked")) << tree.err;
    EXPECT_FALSE(Has(tree.err, "Not an outliner database")) << tree.err;
    EXPECT_NE(0, exp.status);
    EXPECT_TRUE(Has(exp.err, "database is locked")) << exp.err;
    EXPECT_FALSE(Has(exp.err, "Not an outliner database")) << exp.err;
}

TEST(CliDamagedDatabase, ParentLoopStopsAtOnce) {
    TempDir dir;
    const std::string db = MakeDb(dir);
    // The root is put below its own grandchild B: Top\A\B\<root>\Top...
    Sql(db, "UPDATE item SET parent = (SELECT id FROM item WHERE caption = 'B') WHERE id = 1");
    const Outcome tree = Quillbook({"db", "tree", db});
    EXPECT_NE(0, tree.status);
    EXPECT_TRUE(Has(tree.err, "loops")) << tree.err;
    EXPECT_LT(tree.out.size(), 2000u);
    for (const std::vector<std::string>& start :
         {std::vector<std::string>{"--whole"}, std::vector<std::string>{"--item", "\\Organizer\\data\\1\\2\\"}}) {
        const std::string out = dir.path() + "out" + std::to_string(start.size()) + "/";
        std::vector<std::string> args{"export", "--db", db, "--out", out, "--method", "2"};
        args.insert(args.end(), start.begin(), start.end());
        const Outcome exp = Quillbook(args);
        EXPECT_NE(0, exp.status) << exp.out;
        EXPECT_TRUE(Has(exp.err + exp.out, "loops")) << exp.err << exp.out;
        EXPECT_LT(exp.out.size(), 2000u);
    }
}

// --- two runs into one folder -----------------------------------------------------

TEST(CliOutputLock, SecondRunIntoTheSameFolderStopsAtOnce) {
    TempDir dir;
    const std::string db = MakeDb(dir);
    const std::string out = dir.path() + "out/";
    qb::fs::ForceDirectories(out);
    // A run in progress holds the lock on its output folder.
    const int fd = ::open((out + ".quillbook.lock").c_str(), O_RDWR | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(0, ::flock(fd, LOCK_EX));
    Outcome r = Quillbook(Export(db, out));
    EXPECT_EQ(1, r.status) << r.out << r.err;
    EXPECT_TRUE(Has(r.err, "Another export is writing into")) << r.err;
    EXPECT_FALSE(Has(r.out, "--Top")) << r.out;  // nothing was walked
    EXPECT_FALSE(qb::fs::FileExists(out + "db.hhp"));
    ::close(fd);

    // Once it has ended the folder is free again, and the lock file goes with the run.
    r = Quillbook(Export(db, out));
    EXPECT_EQ(0, r.status) << r.out << r.err;
    EXPECT_FALSE(qb::fs::FileExists(out + ".quillbook.lock"));
}
