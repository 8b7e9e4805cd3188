#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "dvo/Utf8.h"
#include "tests/support/DvoWriters.h"
#include "tests/dvo/DvoTestUtil.h"
#include "tests/support/TestOs.h"
#include "tests/support/TestSupport.h"

using namespace dvotest;
using qbtest::ReadFile;
using qbtest::TempDir;
using qbtest::WriteFile;
namespace fs = std::filesystem;

namespace {

std::string AllBytes() {
    std::string bytes;
    for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
    return bytes + std::string("\r\n\0\x1A end", 8);
}

// Item 1's caption, trimmed: Chinese too where the system's ANSI code page
// holds it, since the library refuses to hand out what the code page lacks.
std::string FirstCaption() {
    std::string ignored;
    const std::string chinese = "\xE4\xB8\xAD\xE6\x96\x87";
    return qb::os::ToCodePageExactly(chinese, qb::os::AnsiCodePage(), ignored) ? "Caf\xC3\xA9 " + chinese
                                                                                : "Caf\xC3\xA9";
}

// A small database folder with every feature of the format.
void WriteSampleTree(const std::string& src) {
    WriteFile(src + "__custom_labels.txt", "labels\r\n");
    WriteFile(src + "__folder_linktable.txt", "links\r\n");
    WriteFile(src + "1/.caption", "\xEF\xBB\xBF  " + FirstCaption() + " \t\r\nsecond line\n");
    WriteFile(src + "1/_~_~_NOTES.RTF", "{\\rtf1 note}");
    WriteFile(src + "1/b.png", AllBytes());
    WriteFile(src + "1/A.txt", "upper");
    WriteFile(src + "1/empty.dat", "");
    WriteFile(src + "1/.hidden", "never stored");
    fs::create_directories(src + "1/.git/objects");
    fs::create_directories(src + "1/10");
    fs::create_directories(src + "1/2");
    fs::create_directories(src + "1/1b");
    WriteFile(src + "1/2/.caption", "\n");  // empty first line: the name stands in
    fs::create_directories(src + "3/7");
}

class ImportTest : public ::testing::Test {
protected:
    TempDir tmp;
    std::string src = tmp / "src/";
    std::string dbFile = tmp / "test.db";
};

}  // namespace

TEST_F(ImportTest, EntriesComeFilesFirstInByteOrderThenSubItemsInNaturalOrder) {
    WriteSampleTree(src);
    MustImport(src, dbFile);
    Db db(dbFile);
    ASSERT_GT(db.get(), 0);

    EXPECT_EQ((std::vector<std::string>{"__custom_labels.txt", "__folder_linktable.txt", "1\\", "3\\"}),
              EntryNames(db.get(), kRoot));
    // The note keeps its one stored name whatever its letter case on disk; metadata never shows.
    EXPECT_EQ((std::vector<std::string>{"A.txt", "_~_~_notes.rtf", "b.png", "empty.dat", "1b\\", "2\\", "10\\"}),
              EntryNames(db.get(), kRoot + "1\\"));

    auto entries = Enumerate(db.get(), kRoot + "1\\");
    ASSERT_EQ(7u, entries.size());
    EXPECT_EQ("", entries[0].caption) << "files carry no caption";
    EXPECT_EQ(5, entries[0].value) << "a file's value is its size";
    EXPECT_EQ("2", entries[5].caption) << "empty .caption falls back to the name";
}

TEST_F(ImportTest, CaptionIsTheTrimmedFirstLineOrTheName) {
    WriteSampleTree(src);
    MustImport(src, dbFile);
    Db db(dbFile);
    EXPECT_EQ(FirstCaption(), qb::dvo::Hint(db.get(), kRoot + "1\\"));
    EXPECT_EQ("", qb::dvo::DbLastError(db.get()));
    EXPECT_STREQ("10", dvo_get_hint(db.get(), (kRoot + "1\\10\\").c_str()));
    EXPECT_STREQ("7", dvo_get_hint(db.get(), (kRoot + "3\\7\\").c_str()));
    EXPECT_STREQ("", dvo_get_hint(db.get(), kRoot.c_str()));
}

TEST_F(ImportTest, FilesComeBackByteExact) {
    WriteSampleTree(src);
    MustImport(src, dbFile);
    Db db(dbFile);
    EXPECT_EQ(AllBytes(), Exported(db.get(), kRoot + "1\\b.png", tmp));
    EXPECT_EQ("{\\rtf1 note}", Exported(db.get(), kRoot + "1\\_~_~_notes.rtf", tmp));
    EXPECT_EQ("", Exported(db.get(), kRoot + "1\\empty.dat", tmp));
    EXPECT_EQ("labels\r\n", Exported(db.get(), kRoot + "__custom_labels.txt", tmp));
    EXPECT_EQ(264, dvo_get_filesize(db.get(), (kRoot + "1\\b.png").c_str()));
    EXPECT_EQ(0, dvo_get_filesize(db.get(), (kRoot + "1\\empty.dat").c_str()));
    EXPECT_EQ(-1, dvo_get_filesize(db.get(), (kRoot + "1\\").c_str()));
    EXPECT_EQ(0, dvo_path_exists(db.get(), (kRoot + "1\\.hidden").c_str()));
    EXPECT_EQ(0, dvo_path_exists(db.get(), (kRoot + "1\\.git\\").c_str()));
}

TEST_F(ImportTest, OrderFileListsSubItemsFirstAndTheRestFollowNaturally) {
    for (const char* name : {"a", "b", "c", "d10", "d9", "x02", "x2"}) fs::create_directories(src + "p/" + name);
    // Unknown, repeated, blank and metadata names are ignored; CR LF line ends are accepted.
    WriteFile(src + "p/.order", "c\r\nmissing\r\n\r\na\r\nc\r\n.hidden\r\nd10");
    MustImport(src, dbFile);
    Db db(dbFile);
    EXPECT_EQ((std::vector<std::string>{"c\\", "a\\", "d10\\", "b\\", "d9\\", "x02\\", "x2\\"}),
              EntryNames(db.get(), kRoot + "p\\"));
}

TEST_F(ImportTest, PathLookUpIgnoresAsciiLetterCase) {
    WriteSampleTree(src);
    MustImport(src, dbFile);
    ASSERT_TRUE(qbtest::AddStoredItem(dbFile, kRoot, "\xC3\xA9t\xC3\xA9", "summer"));
    Db db(dbFile);
    EXPECT_EQ(1, dvo_path_exists(db.get(), "\\organizer\\DATA\\1\\a.TXT"));
    EXPECT_EQ(1, dvo_path_exists(db.get(), "\\ORGANIZER\\data\\1\\_~_~_Notes.Rtf"));
    EXPECT_EQ("upper", Exported(db.get(), "\\organizer\\data\\1\\a.txt", tmp));
    EXPECT_EQ(3, dvo_get_foldercount(db.get(), "\\Organizer\\Data\\1\\", -1));
    // Non-ASCII letters are not folded: "É" is not "é".
    EXPECT_EQ(1, dvo_path_exists(db.get(), qb::dvo::ToLibrary(kRoot + "\xC3\xA9T\xC3\xA9\\").c_str()));
    EXPECT_EQ(0, dvo_path_exists(db.get(), qb::dvo::ToLibrary(kRoot + "\xC3\x89T\xC3\x89\\").c_str()));
}

TEST_F(ImportTest, UnsafeNamesAreRefusedNamingThePath) {
    if (qbtest::OnWindows()) GTEST_SKIP() << "Windows file names cannot hold these characters";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"back\\slash", "backslash"},       {"tab\there", "control"}, {"esc\x1B[2J", "control"},
        {"nel\xC2\x85", "control"},         {"bad\xFF\xFE", "UTF-8"}, {"overlong\xC0\xAF", "UTF-8"},
        {"surrogate\xED\xA0\x80", "UTF-8"},
    };
    for (const auto& [name, reason] : cases) {
        for (bool asFolder : {false, true}) {
            TempDir t;
            const std::string s = t / "src/";
            if (asFolder)
                fs::create_directories(s + "ok/" + name);
            else
                WriteFile(s + "ok/" + name, "x");
            const std::string message = ImportError(s, t / "out.db");
            EXPECT_NE(std::string::npos, message.find(s + "ok/" + name)) << message;
            EXPECT_NE(std::string::npos, message.find(reason)) << message;
            EXPECT_FALSE(fs::exists(t / "out.db"));
        }
    }
}

TEST_F(ImportTest, NamesThatCollideWithoutLetterCaseAreRefused) {
    if (qbtest::OnWindows()) GTEST_SKIP() << "the file system there folds letter case: such names cannot both exist";
    fs::create_directories(src + "Trip");
    fs::create_directories(src + "trip");
    EXPECT_NE(std::string::npos, ImportError(src, dbFile).find("letter case"));

    TempDir t;
    WriteFile(t / "s/i/_~_~_notes.rtf", "a");
    WriteFile(t / "s/i/_~_~_Notes.RTF", "b");
    std::string message = ImportError(t / "s", t / "o.db");
    EXPECT_NE(std::string::npos, message.find(t / "s/i/_~_~_"));
}

// A file beyond what the database takes in one value (2 GB here, sparse on
// disk) is refused by name and size, never as "not an error".
TEST_F(ImportTest, FileTooLargeForTheDatabaseIsRefusedWithItsSize) {
    WriteFile(src + "1/small.txt", "s");
    const std::string big = src + "1/big.iso";
    WriteFile(big, "");
    std::error_code ec;
    fs::resize_file(big, std::uint64_t{2} << 30, ec);
    if (ec) GTEST_SKIP() << "this file system holds no sparse 2 GB file: " << ec.message();
    const std::string message = ImportError(src, dbFile);
    EXPECT_NE(std::string::npos, message.find(big)) << message;
    EXPECT_NE(std::string::npos, message.find("2147483648 bytes")) << message;
    EXPECT_EQ(std::string::npos, message.find("not an error")) << message;
}

TEST_F(ImportTest, SpecialFilesLinkedFoldersAndLinksOutOfTheTreeAreRefused) {
    if (!qbtest::HaveSymlinks()) GTEST_SKIP() << "no symbolic links on this system";
    WriteFile(tmp / "outside/secret.txt", "linked content");
    WriteFile(src + "b/real.txt", "inside content");
    fs::create_directories(src + "a");
    fs::create_symlink("../b/real.txt", src + "a/linked.txt");
    MustImport(src, dbFile);
    {
        Db db(dbFile);
        EXPECT_EQ("inside content", Exported(db.get(), kRoot + "a\\linked.txt", tmp));
    }

    // A file, a caption or an order file reached through a link must lie inside the tree.
    fs::create_symlink(tmp / "outside/secret.txt", src + "a/secret.txt");
    std::string message = ImportError(src, tmp / "1.db");
    EXPECT_NE(std::string::npos, message.find(src + "a/secret.txt")) << message;
    EXPECT_NE(std::string::npos, message.find("outside the folder tree")) << message;
    fs::remove(src + "a/secret.txt");
    for (const char* meta : {".caption", ".order"}) {
        fs::create_symlink(tmp / "outside/secret.txt", src + "a/" + meta);
        message = ImportError(src, tmp / "1.db");
        EXPECT_NE(std::string::npos, message.find(src + "a/" + meta)) << message;
        fs::remove(src + "a/" + meta);
    }
    EXPECT_FALSE(fs::exists(tmp / "1.db"));

    fs::create_directory_symlink(tmp / "outside", src + "a/loop");
    EXPECT_NE(std::string::npos, ImportError(src, tmp / "2.db").find(src + "a/loop"));
    fs::remove(src + "a/loop");

    // A pipe would block a reader forever.
    if (!qbtest::MakeFifo(src + "a/pipe")) GTEST_SKIP() << "no FIFOs on this system";
    EXPECT_NE(std::string::npos, ImportError(src, tmp / "3.db").find(src + "a/pipe"));
}

TEST_F(ImportTest, SourceMustBeAFolder) {
    WriteFile(tmp / "file.txt", "x");
    EXPECT_NE(std::string::npos, ImportError(tmp / "file.txt", dbFile).find("Not a folder"));
    EXPECT_NE(std::string::npos, ImportError(tmp / "nothing", dbFile).find(tmp / "nothing"));
    EXPECT_EQ(0, dvo_import(nullptr, dbFile.c_str()));
    EXPECT_EQ(0, dvo_import("", dbFile.c_str()));
    EXPECT_FALSE(fs::exists(dbFile));
}

TEST_F(ImportTest, FailedImportLeavesThePreviousDatabaseAndNoTemporaryFile) {
    if (qbtest::OnWindows()) GTEST_SKIP() << "fails the import with a control character in a name, which Windows file names cannot hold";
    WriteFile(src + "old/x.txt", "old");
    MustImport(src, dbFile);
    const std::string before = ReadFile(dbFile);

    WriteFile(src + "new/ctl\x01name", "x");
    ImportError(src, dbFile);
    EXPECT_EQ(before, ReadFile(dbFile));
    for (const auto& e : fs::directory_iterator(tmp.path()))
        EXPECT_TRUE(e.path().filename() == "src" || e.path().filename() == "test.db") << e.path();

    fs::remove(src + "new/ctl\x01name");
    MustImport(src, dbFile);
    Db db(dbFile);
    EXPECT_EQ(1, dvo_path_exists(db.get(), (kRoot + "new\\").c_str()));
}

TEST_F(ImportTest, DatabaseWrittenInsideTheSourceIsNotImportedIntoItself) {
    WriteFile(src + "a/x.txt", "x");
    MustImport(src, src + "a/db.sqlite");
    Db db(src + "a/db.sqlite");
    EXPECT_EQ((std::vector<std::string>{"x.txt"}), EntryNames(db.get(), kRoot + "a\\"));
}

TEST_F(ImportTest, TenThousandLevelsImportAndCount) {
    constexpr int kDepth = 10000;
    fs::create_directories(src);
    if (!MakeDeepChain(src, kDepth)) GTEST_SKIP() << "a chain deeper than the path limit is a Linux case";
    struct Cleanup {
        std::string base;
        ~Cleanup() { RemoveDeepChain(base, kDepth); }
    } cleanup{src};

    MustImport(src, dbFile);
    Db db(dbFile);
    void* root = dvo_get_folder(db.get(), kRoot.c_str(), 0);
    ASSERT_NE(nullptr, root);
    EXPECT_EQ(kDepth, dvo_folder_subfoldercount(root, 1));
    EXPECT_EQ(1, dvo_folder_subfoldercount(root, 0));

    std::string deepest = kRoot;
    for (int i = 0; i < kDepth; ++i) deepest += "1\\";
    EXPECT_EQ(0, dvo_get_foldercount(db.get(), deepest.c_str(), -1));
    EXPECT_STREQ("1", dvo_get_hint(db.get(), deepest.c_str()));
    EXPECT_EQ("bottom", Exported(db.get(), deepest + "leaf.txt", tmp));
    void* mid = dvo_get_folder(db.get(), deepest.substr(0, kRoot.size() + 2 * 5000).c_str(), 0);
    EXPECT_EQ(kDepth - 5000, dvo_folder_subfoldercount(mid, 1));
}

TEST_F(ImportTest, ManySiblingsKeepNaturalOrder) {
    for (int i = 1; i <= 120; ++i) fs::create_directories(src + std::to_string(i));
    MustImport(src, dbFile);
    Db db(dbFile);
    auto names = EntryNames(db.get(), kRoot);
    ASSERT_EQ(120u, names.size());
    for (int i = 1; i <= 120; ++i) EXPECT_EQ(std::to_string(i) + "\\", names[i - 1]);
}
