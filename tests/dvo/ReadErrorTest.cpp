// Read errors of a damaged database are kept per handle and reported with
// SQLite's own reason instead of passing for an empty tree.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>

#include "tests/dvo/DvoTestUtil.h"
#include "tests/support/TestSupport.h"
#include "tests/support/TestOs.h"

using namespace dvotest;
using qbtest::TempDir;
using qbtest::WriteFile;

namespace {

void Exec(const std::string& file, const char* sql) {
    sqlite3* conn = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open(file.c_str(), &conn));
    char* err = nullptr;
    const int rc = sqlite3_exec(conn, sql, nullptr, nullptr, &err);
    const std::string message = err ? err : "";
    sqlite3_free(err);
    sqlite3_close(conn);
    ASSERT_EQ(SQLITE_OK, rc) << message;
}

class ReadErrors : public ::testing::Test {
protected:
    void SetUp() override {
        WriteFile(tmp / "src/1/.caption", "Top");
        WriteFile(tmp / "src/1/a.txt", "abc");
        WriteFile(tmp / "src/1/2/.caption", "Sub");
        WriteFile(tmp / "src/1/2/3/.caption", "Leaf");
        MustImport(tmp / "src", dbFile);
    }
    TempDir tmp;
    std::string dbFile = tmp / "db.sqlite";
};

}  // namespace

TEST_F(ReadErrors, ErrorIsKeptPerHandleUntilTheNextCall) {
    Db good(dbFile);
    const std::string copy = tmp / "damaged.sqlite";
    std::filesystem::copy_file(dbFile, copy);
    Exec(copy, "DROP TABLE file");
    Db damaged(copy);
    ASSERT_GT(damaged.get(), 0) << dvo_last_error();

    EXPECT_EQ(0, dvo_path_exists(damaged.get(), (kRoot + "1\\a.txt").c_str()));
    EXPECT_NE(std::string::npos, std::string(dvo_db_last_error(damaged.get())).find("no such table: file"));
    // The other handle is untouched, and a call that succeeds clears the error.
    EXPECT_STREQ("", dvo_db_last_error(good.get()));
    EXPECT_STREQ("Top", dvo_get_hint(damaged.get(), (kRoot + "1\\").c_str()));
    EXPECT_STREQ("", dvo_db_last_error(damaged.get()));
    // A path that names nothing is no error.
    EXPECT_EQ(0, dvo_path_exists(good.get(), (kRoot + "9\\").c_str()));
    EXPECT_STREQ("", dvo_db_last_error(good.get()));
    EXPECT_STREQ("", dvo_db_last_error(12345));

    EXPECT_TRUE(Enumerate(damaged.get(), kRoot + "1\\").empty());
    EXPECT_NE(std::string::npos, std::string(dvo_db_last_error(damaged.get())).find("no such table: file"));
    const std::string dest = tmp / "out.txt";
    EXPECT_EQ(0, dvo_export_file(damaged.get(), (kRoot + "1\\a.txt").c_str(), dest.c_str()));
    EXPECT_NE(std::string::npos, std::string(dvo_db_last_error(damaged.get())).find("no such table: file"));
}

TEST_F(ReadErrors, ExportToAFolderKeepsTheReason) {
    Db db(dbFile);
    std::filesystem::create_directories(tmp / "dir");
    EXPECT_EQ(0, dvo_export_file(db.get(), (kRoot + "1\\a.txt").c_str(), (tmp / "dir").c_str()));
    const std::string reason = dvo_db_last_error(db.get());
    // Windows refuses to create a file over a folder as "file exists".
    EXPECT_NE(std::string::npos, reason.find(qbtest::OnWindows() ? "File exists" : "Is a directory")) << reason;
}

TEST_F(ReadErrors, ParentLoopIsAnErrorOfTheCount) {
    {
        Db db(dbFile);
        EXPECT_EQ(2, dvo_folder_subfoldercount(dvo_get_folder(db.get(), (kRoot + "1\\").c_str(), 0), 1));
    }
    Exec(dbFile, "UPDATE item SET parent = (SELECT id FROM item WHERE name = '3') WHERE id = 1");
    Db db(dbFile);
    void* folder = dvo_get_folder(db.get(), kRoot.c_str(), 0);
    ASSERT_NE(nullptr, folder);
    EXPECT_EQ(0, dvo_folder_subfoldercount(folder, 1));
    EXPECT_NE(std::string::npos, std::string(dvo_db_last_error(db.get())).find("loops"));
}
