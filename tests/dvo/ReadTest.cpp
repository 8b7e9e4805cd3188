#include <sqlite3.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "dvo/dvo.h"
#include "tests/support/DvoWriters.h"
#include "tests/dvo/DvoTestUtil.h"
#include "tests/support/TestSupport.h"

using namespace dvotest;
using qbtest::TempDir;
using qbtest::WriteFile;
namespace fs = std::filesystem;

namespace {

class ReadTest : public ::testing::Test {
protected:
    void SetUp() override {
        WriteFile(src + "5/.caption", "A\n");
        WriteFile(src + "5/_~_~_notes.rtf", "{\\rtf1 A}");
        WriteFile(src + "5/pic.png", "PNG");
        WriteFile(src + "5/8/.caption", "B");
        WriteFile(src + "5/9/.caption", "C");
        WriteFile(src + "5/9/11/.caption", "D");
        MustImport(src, dbFile);
        handle = dvo_open(dbFile.c_str());
        ASSERT_GT(handle, 0) << dvo_last_error();
    }
    void TearDown() override { dvo_close(handle); }

    TempDir tmp;
    std::string src = tmp / "src/";
    std::string dbFile = tmp / "db.sqlite";
    int handle = 0;
};

int StopAtFirst(unsigned char, const char*, const char*, int, void* count) {
    ++*static_cast<int*>(count);
    return 0;
}

// Calls back into the library while an enumeration is running.
int AskCaption(unsigned char isFolder, const char* name, const char*, int, void* userData) {
    auto* state = static_cast<std::pair<int, std::vector<std::string>>*>(userData);
    if (isFolder) state->second.push_back(dvo_get_hint(state->first, (kRoot + "5\\" + name + "\\").c_str()));
    return 1;
}

}  // namespace

TEST_F(ReadTest, CountsDirectAndAllSubItems) {
    EXPECT_EQ(2, dvo_get_foldercount(handle, (kRoot + "5\\").c_str(), -1));
    EXPECT_EQ(0, dvo_get_foldercount(handle, (kRoot + "5\\8\\").c_str(), -1));
    void* folder = dvo_get_folder(handle, (kRoot + "5\\").c_str(), 0);
    EXPECT_EQ(folder, dvo_get_folder(handle, (kRoot + "5\\").c_str(), 0)) << "one reference per item";
    EXPECT_EQ(3, dvo_folder_subfoldercount(folder, 1));
    EXPECT_EQ(2, dvo_folder_subfoldercount(folder, 0));
    EXPECT_EQ(4, dvo_folder_subfoldercount(dvo_get_folder(handle, kRoot.c_str(), 0), 1));
}

TEST_F(ReadTest, ItemPathsWorkWithAndWithoutTrailingBackslash) {
    EXPECT_STREQ("C", dvo_get_hint(handle, (kRoot + "5\\9").c_str()));
    EXPECT_STREQ("D", dvo_get_hint(handle, (kRoot + "5\\9\\11\\").c_str()));
    EXPECT_EQ(1, dvo_path_exists(handle, "\\Organizer\\data"));
    EXPECT_EQ(1, dvo_path_exists(handle, (kRoot + "5\\pic.png").c_str()));
    EXPECT_EQ(0, dvo_path_exists(handle, (kRoot + "5\\pic.png\\").c_str())) << "a file is not an item";
}

TEST_F(ReadTest, MissingPathsGiveEmptyResults) {
    const std::vector<std::string> missing = {
        "",
        "\\",
        "\\Organizer\\",
        "Organizer\\data\\5\\",
        "\\Organizer\\dataX\\5\\",
        kRoot + "6\\",
        kRoot + "5\\\\8\\",
        kRoot + "5\\8\\nothing.txt",
        kRoot + "5\\..\\5\\",
    };
    for (const std::string& path : missing) {
        SCOPED_TRACE(path);
        EXPECT_STREQ("", dvo_get_hint(handle, path.c_str()));
        EXPECT_EQ(0, dvo_get_foldercount(handle, path.c_str(), -1));
        EXPECT_EQ(nullptr, dvo_get_folder(handle, path.c_str(), 0));
        EXPECT_EQ(0, dvo_path_exists(handle, path.c_str()));
        EXPECT_TRUE(Enumerate(handle, path).empty());
        EXPECT_EQ("<missing>", Exported(handle, path, tmp));
    }
    EXPECT_FALSE(fs::exists(tmp / "exported.bin"));
}

TEST_F(ReadTest, BadHandlesAndNullArgumentsNeverCrash) {
    const std::string item = kRoot + "5\\";
    int count = 0;
    for (int bad : {0, -1, handle + 1000}) {
        EXPECT_STREQ("", dvo_get_hint(bad, item.c_str()));
        EXPECT_EQ(0, dvo_get_foldercount(bad, item.c_str(), -1));
        EXPECT_EQ(nullptr, dvo_get_folder(bad, item.c_str(), 0));
        EXPECT_EQ(0, dvo_enum_entries(bad, item.c_str(), StopAtFirst, 0, &count));
        EXPECT_EQ(0, dvo_path_exists(bad, item.c_str()));
        EXPECT_EQ(0, dvo_export_file(bad, (item + "pic.png").c_str(), (tmp / "x").c_str()));
        dvo_close(bad);
    }
    EXPECT_EQ(0, count);
    EXPECT_STREQ("", dvo_get_hint(handle, nullptr));
    EXPECT_EQ(0, dvo_get_foldercount(handle, nullptr, -1));
    EXPECT_EQ(nullptr, dvo_get_folder(handle, nullptr, 0));
    EXPECT_EQ(0, dvo_enum_entries(handle, item.c_str(), nullptr, 0, nullptr));
    EXPECT_EQ(0, dvo_path_exists(handle, nullptr));
    EXPECT_EQ(0, dvo_export_file(handle, nullptr, "x"));
    EXPECT_EQ(0, dvo_export_file(handle, (item + "pic.png").c_str(), nullptr));
    EXPECT_EQ(0, dvo_folder_subfoldercount(nullptr, 1));
    int notAFolder = 7;
    EXPECT_EQ(0, dvo_folder_subfoldercount(&notAFolder, 1));
}

TEST_F(ReadTest, ClosedHandleAndItsFoldersGoDead) {
    const int other = dvo_open(dbFile.c_str());
    ASSERT_GT(other, 0);
    EXPECT_NE(handle, other);
    void* folder = dvo_get_folder(other, (kRoot + "5\\").c_str(), 0);
    ASSERT_EQ(3, dvo_folder_subfoldercount(folder, 1));
    dvo_close(other);
    EXPECT_EQ(0, dvo_folder_subfoldercount(folder, 1));
    EXPECT_STREQ("", dvo_get_hint(other, (kRoot + "5\\").c_str()));
    // Handles are not reused: a new database never answers to the old number.
    const int third = dvo_open(dbFile.c_str());
    EXPECT_NE(other, third);
    dvo_close(third);
    EXPECT_STREQ("A", dvo_get_hint(handle, (kRoot + "5\\").c_str()));
}

TEST_F(ReadTest, EnumerationStopsWhenTheCallbackSaysSoAndMayReenter) {
    int count = 0;
    EXPECT_EQ(1, dvo_enum_entries(handle, (kRoot + "5\\").c_str(), StopAtFirst, 0, &count));
    EXPECT_EQ(1, count);

    std::pair<int, std::vector<std::string>> state{handle, {}};
    EXPECT_EQ(4, dvo_enum_entries(handle, (kRoot + "5\\").c_str(), AskCaption, 0, &state));
    EXPECT_EQ((std::vector<std::string>{"B", "C"}), state.second);
}

TEST_F(ReadTest, HintBufferBelongsToTheCallingThread) {
    const char* mine = dvo_get_hint(handle, (kRoot + "5\\").c_str());
    std::string fromThread;
    std::thread([&] { fromThread = dvo_get_hint(handle, (kRoot + "5\\9\\11\\").c_str()); }).join();
    EXPECT_EQ("D", fromThread);
    EXPECT_STREQ("A", mine);
}

TEST_F(ReadTest, ExportConvertsBackslashesAndLeavesNothingOnFailure) {
    fs::create_directories(tmp / "out/sub");
    EXPECT_EQ(1, dvo_export_file(handle, (kRoot + "5\\pic.png").c_str(), (tmp.path() + "out\\sub\\p.png").c_str()));
    EXPECT_EQ("PNG", qbtest::ReadFile(tmp / "out/sub/p.png"));

    EXPECT_EQ(0, dvo_export_file(handle, (kRoot + "5\\pic.png").c_str(), (tmp / "no/such/dir/p.png").c_str()));
    EXPECT_EQ(0, dvo_export_file(handle, (kRoot + "5\\pic.png").c_str(), (tmp / "out").c_str()));
    EXPECT_TRUE(fs::is_directory(tmp / "out"));
    EXPECT_EQ(0, dvo_export_file(handle, (kRoot + "5\\").c_str(), (tmp / "item.bin").c_str()));
    EXPECT_FALSE(fs::exists(tmp / "item.bin"));
}

TEST_F(ReadTest, ReadFileCopiesWhatFitsAndAlwaysTellsTheWholeSize) {
    const std::string pic = kRoot + "5\\pic.png";
    char buf[8] = {};
    EXPECT_EQ(3, dvo_read_file(handle, pic.c_str(), buf, sizeof buf));
    EXPECT_EQ("PNG", std::string(buf, 3));
    // A buffer too small gets the first bytes, and the size says how much to ask for.
    char two[2] = {};
    EXPECT_EQ(3, dvo_read_file(handle, pic.c_str(), two, 2));
    EXPECT_EQ("PN", std::string(two, 2));
    EXPECT_EQ(3, dvo_read_file(handle, pic.c_str(), nullptr, 0));
    EXPECT_EQ(-1, dvo_read_file(handle, (kRoot + "5\\").c_str(), buf, sizeof buf));
    EXPECT_EQ(-1, dvo_read_file(handle, (kRoot + "5\\none.png").c_str(), buf, sizeof buf));
    EXPECT_EQ(-1, dvo_read_file(handle, nullptr, buf, sizeof buf));
}

TEST_F(ReadTest, OpenRefusesWhatIsNotADatabase) {
    EXPECT_EQ(0, dvo_open((tmp / "missing.db").c_str()));
    EXPECT_NE(std::string(dvo_last_error()), "");
    EXPECT_FALSE(fs::exists(tmp / "missing.db")) << "opening must not create a file";

    WriteFile(tmp / "text.db", "just some text that is long enough to look like a header........");
    EXPECT_EQ(0, dvo_open((tmp / "text.db").c_str()));
    EXPECT_NE(std::string::npos, std::string(dvo_last_error()).find(tmp / "text.db"));

    sqlite3* other = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open((tmp / "other.db").c_str(), &other));
    sqlite3_exec(other, "CREATE TABLE t(x)", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    EXPECT_EQ(0, dvo_open((tmp / "other.db").c_str()));
    EXPECT_EQ(0, dvo_open(nullptr));
    EXPECT_EQ(0, dvo_open((tmp / "src").c_str()));
}

TEST_F(ReadTest, TestingWritersStoreNamesTheImporterRefuses) {
    const std::string item = kRoot + "5\\";
    // The writers need the file to themselves.
    dvo_close(handle);
    ASSERT_TRUE(qbtest::AddStoredItem(dbFile, item, "..", "dots"));
    ASSERT_TRUE(qbtest::AddStoredItem(dbFile, item, "a/b", "slash"));
    ASSERT_TRUE(qbtest::AddStoredFile(dbFile, item + "..\\", "x\x01y", std::string("\0z", 2)));
    EXPECT_FALSE(qbtest::AddStoredItem(dbFile, item, "A/B", "same name in other case"));
    EXPECT_FALSE(qbtest::AddStoredItem(dbFile, kRoot + "nothing\\", "n", "c"));
    handle = dvo_open(dbFile.c_str());
    ASSERT_GT(handle, 0) << dvo_last_error();

    EXPECT_EQ((std::vector<std::string>{"_~_~_notes.rtf", "pic.png", "8\\", "9\\", "..\\", "a/b\\"}),
              EntryNames(handle, item));
    // ".." is a name like any other: it never climbs to the parent.
    EXPECT_STREQ("dots", dvo_get_hint(handle, (item + "..\\").c_str()));
    EXPECT_EQ(std::string("\0z", 2), Exported(handle, item + "..\\x\x01y", tmp));
    EXPECT_EQ(5, dvo_folder_subfoldercount(dvo_get_folder(handle, item.c_str(), 0), 1));
}

// Names the path syntax cannot carry still reach their items and files, under a
// made-safe name that is unique among the siblings.
TEST_F(ReadTest, StoredNamesWithBackslashOrNulAreKeptUnderSafeNames) {
    dvo_close(handle);
    sqlite3* raw = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open(dbFile.c_str(), &raw));
    const char* tamper =
        "UPDATE item SET name = 'a\\b', name_key = 'a\\b' WHERE name = '8';"
        "UPDATE item SET name = 'x' || char(0) || 'y', name_key = 'x' || char(0) || 'y' WHERE name = '9';"
        "INSERT INTO item(parent, name, name_key, caption, ord)"
        " SELECT id, 'a_b', 'a_b', 'plain', 5 FROM item WHERE name = '5';"
        "UPDATE file SET name = 'p\\q.png', name_key = 'p\\q.png' WHERE name = 'pic.png';";
    ASSERT_EQ(SQLITE_OK, sqlite3_exec(raw, tamper, nullptr, nullptr, nullptr)) << sqlite3_errmsg(raw);
    sqlite3_stmt* ids = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_prepare_v2(raw,
                                            "SELECT (SELECT id FROM item WHERE caption = 'B'),"
                                            " (SELECT id FROM item WHERE caption = 'C'),"
                                            " (SELECT rowid FROM file WHERE size = 3)",
                                            -1, &ids, nullptr));
    ASSERT_EQ(SQLITE_ROW, sqlite3_step(ids));
    const std::string b = "a_b~" + std::to_string(sqlite3_column_int64(ids, 0));
    const std::string c = "x_y~" + std::to_string(sqlite3_column_int64(ids, 1));
    const std::string pic = "p_q.png~" + std::to_string(sqlite3_column_int64(ids, 2));
    sqlite3_finalize(ids);
    sqlite3_close(raw);
    handle = dvo_open(dbFile.c_str());
    ASSERT_GT(handle, 0);

    const std::string item = kRoot + "5\\";
    EXPECT_EQ((std::vector<std::string>{"_~_~_notes.rtf", pic, b + "\\", c + "\\", "a_b\\"}), EntryNames(handle, item));
    EXPECT_STREQ("B", dvo_get_hint(handle, (item + b + "\\").c_str()));
    EXPECT_STREQ("C", dvo_get_hint(handle, (item + c + "\\").c_str()));
    EXPECT_STREQ("D", dvo_get_hint(handle, (item + c + "\\11\\").c_str()));
    EXPECT_STREQ("plain", dvo_get_hint(handle, (item + "a_b\\").c_str()));
    EXPECT_EQ("PNG", Exported(handle, item + pic, tmp));
    // The made-safe form names only its own row, in any letter case.
    EXPECT_STREQ("B", dvo_get_hint(handle, (item + "A_B~" + b.substr(4) + "\\").c_str()));
    EXPECT_EQ(0, dvo_path_exists(handle, (item + "a_b~999\\").c_str()));
    EXPECT_EQ(0, dvo_path_exists(handle, (item + "zz" + b.substr(3) + "\\").c_str()));
    EXPECT_EQ(0, dvo_path_exists(handle, (kRoot + b + "\\").c_str()));
}

TEST_F(ReadTest, ParentCycleInATamperedFileStillEnds) {
    // An open database holds its file lock, so the file is tampered with while closed.
    dvo_close(handle);
    sqlite3* raw = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open(dbFile.c_str(), &raw));
    // Item 9 becomes the child of its own child 11, and gains a second child.
    const char* tamper =
        "UPDATE item SET parent = (SELECT id FROM item WHERE name = '11') WHERE name = '9';"
        "INSERT INTO item(parent, name, name_key, caption, ord)"
        " SELECT id, 'back', 'back', 'loop', 1 FROM item WHERE name = '9';";
    ASSERT_EQ(SQLITE_OK, sqlite3_exec(raw, tamper, nullptr, nullptr, nullptr)) << sqlite3_errmsg(raw);
    sqlite3_close(raw);
    handle = dvo_open(dbFile.c_str());
    ASSERT_GT(handle, 0);
    EXPECT_EQ(2, dvo_folder_subfoldercount(dvo_get_folder(handle, kRoot.c_str(), 0), 1)) << "5 and 8 remain";
    EXPECT_EQ(0, dvo_path_exists(handle, (kRoot + "5\\9\\").c_str()));
}
