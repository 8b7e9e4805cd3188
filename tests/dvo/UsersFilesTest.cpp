// A user's file is never turned into a database without being asked; items a
// damaged database cuts off from its root are named; stored files go to a
// descriptor the caller opened.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <sstream>

#include "quillbook/DbCommands.h"
#include "support/Os.h"
#include "tests/dvo/DvoTestUtil.h"
#include "tests/support/DvoWriters.h"
#include "tests/support/TestSupport.h"

using namespace dvotest;
using qbtest::ReadFile;
using qbtest::TempDir;
using qbtest::WriteFile;

namespace {

void Sql(const std::string& file, const std::string& sql) { ASSERT_EQ("", qbtest::RunSql(file, sql)); }

class UsersFiles : public ::testing::Test {
protected:
    void SetUp() override {
        WriteFile(src + "1/.caption", "Company");
        WriteFile(src + "1/2/.caption", "Staff");
        WriteFile(src + "1/2/3/.caption", "Payroll");
        WriteFile(src + "4/.caption", "Trips");
        WriteFile(src + "4/a.txt", "attached bytes");
    }
    // Row id of the item stored under name.
    static std::string Id(const std::string& name) { return "(SELECT id FROM item WHERE name = '" + name + "')"; }

    TempDir tmp;
    std::string src = tmp / "src/";
    std::string dbFile = tmp / "db.sqlite";
    std::ostringstream out, err;
};

}  // namespace

TEST_F(UsersFiles, ImportRefusesAFileThatIsNoDatabaseUnlessAskedToReplaceIt) {
    const std::string precious = tmp / "p.txt";
    WriteFile(precious, "precious\n");
    EXPECT_EQ(1, qb::CmdDbImport(src, precious, out, err));
    EXPECT_EQ("precious\n", ReadFile(precious));
    EXPECT_NE(std::string::npos, err.str().find(precious)) << err.str();
    EXPECT_NE(std::string::npos, err.str().find("--replace")) << err.str();

    // An empty file and a folder are no databases either.
    WriteFile(tmp / "empty.db", "");
    std::filesystem::create_directories(tmp / "folder.db");
    for (const std::string name : {"empty.db", "folder.db"}) {
        err.str("");
        EXPECT_EQ(1, qb::CmdDbImport(src, tmp / name, out, err)) << name;
        EXPECT_NE(std::string::npos, err.str().find(tmp / name)) << err.str();
    }
    EXPECT_EQ("", ReadFile(tmp / "empty.db"));

    // A database of ours is rebuilt as before; asked to, the user's file is replaced.
    ASSERT_EQ(0, qb::CmdDbImport(src, dbFile, out, err)) << err.str();
    WriteFile(src + "5/.caption", "New");
    EXPECT_EQ(0, qb::CmdDbImport(src, dbFile, out, err)) << err.str();
    {
        Db db(dbFile);
        EXPECT_EQ("New", std::string(dvo_get_hint(db.get(), (kRoot + "5\\").c_str())));
    }
    EXPECT_EQ(0, qb::CmdDbImport(src, precious, out, err, true)) << err.str();
    Db replaced(precious);
    EXPECT_NE(0, replaced.get());
}

TEST_F(UsersFiles, ItemsCutOffFromTheRootAreNamedAndTheTreeFails) {
    MustImport(src, dbFile);
    {
        Db db(dbFile);
        EXPECT_EQ("", std::string(dvo_unreachable_items(db.get())));
    }
    ASSERT_EQ(0, qb::CmdDbTree(dbFile, qb::kDbRootPath, out, err)) << err.str();
    struct Case {
        const char* name;
        std::string sql;
        const char* named;
        int count;
    };
    const std::vector<Case> cases = {
        {"own parent", "UPDATE item SET parent = id WHERE name = '1'", "\"Company\" (id ", 3},
        {"two-item loop",
         "UPDATE item SET parent = " + Id("3") + " WHERE name = '2'", "\"Staff\" (id ", 2},
        {"missing parent", "UPDATE item SET parent = 9999 WHERE name = '4'", "\"Trips\" (id ", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir copyDir;
        const std::string copy = copyDir / "db.sqlite";
        std::filesystem::copy_file(dbFile, copy);
        Sql(copy, c.sql);
        {
            Db db(copy);
            const std::string lost = dvo_unreachable_items(db.get());
            EXPECT_EQ(0u, lost.find(std::to_string(c.count) + " item(s) cannot be reached")) << lost;
            EXPECT_NE(std::string::npos, lost.find(c.named)) << lost;
        }
        std::ostringstream tree, why;
        EXPECT_EQ(1, qb::CmdDbTree(copy, qb::kDbRootPath, tree, why));
        EXPECT_NE(std::string::npos, why.str().find(c.named)) << why.str();
        // A branch that is whole is still printed without complaint.
        std::ostringstream branch, none;
        if (std::string(c.name) == "missing parent")
            EXPECT_EQ(0, qb::CmdDbTree(copy, kRoot + "1\\", branch, none)) << none.str();
    }
}

TEST_F(UsersFiles, ManyCutOffItemsAreCountedAndTheFirstOnesNamed) {
    for (int i = 0; i < 15; ++i) WriteFile(src + "9/" + std::to_string(100 + i) + "/.caption", "Lost" + std::to_string(i));
    MustImport(src, dbFile);
    Sql(dbFile, "UPDATE item SET parent = 424242 WHERE name = '9'");
    Db db(dbFile);
    const std::string lost = dvo_unreachable_items(db.get());
    EXPECT_EQ(0u, lost.find("16 item(s)")) << lost;
    EXPECT_NE(std::string::npos, lost.find("and 6 more")) << lost;
}

TEST_F(UsersFiles, AStoredFileGoesToTheDescriptorGiven) {
    MustImport(src, dbFile);
    Db db(dbFile);
    const std::string target = tmp / "copy.txt";
    const qb::os::Fd fd = qb::os::Open(target, qb::os::kWrite | qb::os::kCreate | qb::os::kExclusive);
    ASSERT_NE(qb::os::kNoFd, fd);
    EXPECT_EQ(1, dvo_export_file_fd(db.get(), (kRoot + "4\\a.txt").c_str(), fd));
    EXPECT_EQ(0, dvo_export_file_fd(db.get(), (kRoot + "4\\none.txt").c_str(), fd));
    EXPECT_EQ("", std::string(dvo_db_last_error(db.get())));
    qb::os::Close(fd);
    EXPECT_EQ("attached bytes", ReadFile(target));
    // A descriptor that cannot be written is an error with the system's reason.
    const qb::os::Fd readOnly = qb::os::Open(target, qb::os::kRead);
    ASSERT_NE(qb::os::kNoFd, readOnly);
    EXPECT_EQ(0, dvo_export_file_fd(db.get(), (kRoot + "4\\a.txt").c_str(), readOnly));
    EXPECT_NE("", std::string(dvo_db_last_error(db.get())));
    qb::os::Close(readOnly);
    EXPECT_EQ("attached bytes", ReadFile(target));
}
