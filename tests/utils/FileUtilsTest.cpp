#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <atomic>
#include <filesystem>
#include <thread>

#include "Utils/FileSys.h"
#include "Utils/Utils.h"
#include "support/Error.h"
#include "tests/support/TestOs.h"
#include "tests/support/TestSupport.h"

using namespace qb;
using qbtest::ReadFile;
using qbtest::TempDir;
using qbtest::WriteFile;

namespace {

using V = std::vector<std::string>;

// "/tmp/x/" -> "\tmp\x" as the engine would name it.
std::string Backslashed(const std::string& native) {
    std::string s = ExcludeTrailingDelimiter(native);
    for (char& c : s)
        if (c == '/') c = '\\';
    return s;
}

bool Exists(const std::string& p) { return std::filesystem::exists(p); }

}  // namespace

TEST(SaveTextFile, WritesBytesUnchangedAndReplacesTheFile) {
    TempDir tmp;
    const std::string bytes("a\r\nb\0c\n\xFF", 8);
    EXPECT_TRUE(SaveTextFile(tmp / "f.bin", bytes));
    EXPECT_EQ(bytes, ReadFile(tmp / "f.bin"));
    EXPECT_TRUE(SaveTextFile(tmp / "f.bin", "x"));
    EXPECT_EQ("x", ReadFile(tmp / "f.bin"));
    EXPECT_TRUE(SaveTextFile(tmp / "f.bin", ""));
    EXPECT_TRUE(Exists(tmp / "f.bin"));
    EXPECT_EQ("", ReadFile(tmp / "f.bin"));
}

TEST(SaveTextFile, BackslashPathsReachTheNativeFile) {
    TempDir tmp;
    std::filesystem::create_directories(tmp / "9");
    SaveTextFile(Backslashed(tmp.path()) + "\\9\\D.html", "<p>");
    EXPECT_EQ("<p>", ReadFile(tmp / "9/D.html"));
}

TEST(SaveTextFile, DeletesTheOldFileInsteadOfWritingThroughLinks) {
    if (!qbtest::HaveSymlinks()) GTEST_SKIP() << "no symbolic links on this system";
    TempDir tmp;
    WriteFile(tmp / "source.txt", "original");
    std::filesystem::create_hard_link(tmp / "source.txt", tmp / "copy.txt");
    SaveTextFile(tmp / "copy.txt", "new");
    EXPECT_EQ("new", ReadFile(tmp / "copy.txt"));
    EXPECT_EQ("original", ReadFile(tmp / "source.txt"));

    std::filesystem::create_symlink(tmp / "source.txt", tmp / "link.txt");
    SaveTextFile(tmp / "link.txt", "via link");
    EXPECT_EQ("original", ReadFile(tmp / "source.txt"));
    EXPECT_FALSE(std::filesystem::is_symlink(tmp / "link.txt"));
}

TEST(SaveTextFile, FailureRaisesWithFileNameAndReason) {
    TempDir tmp;
    const std::string missing = tmp / "no-folder/page.html";
    try {
        SaveTextFile(missing, "x");
        FAIL() << "no error for " << missing;
    } catch (const qb::Error& e) {
        const std::string m = e.what();
        EXPECT_NE(std::string::npos, m.find(missing)) << m;
        EXPECT_NE(std::string::npos, m.find(std::strerror(ENOENT))) << m;
    }
    std::filesystem::create_directories(tmp / "dir");
    try {
        SaveTextFile(tmp / "dir", "x");
        FAIL() << "no error for a folder";
    } catch (const qb::Error& e) {
        const std::string m = e.what();
        EXPECT_NE(std::string::npos, m.find(tmp / "dir")) << m;
        EXPECT_NE(std::string::npos, m.find(std::strerror(EISDIR))) << m;
    }
    EXPECT_TRUE(std::filesystem::is_directory(tmp / "dir"));
}

TEST(LoadTextFile, MissingEmptyFolderAndBinary) {
    TempDir tmp;
    EXPECT_EQ("", LoadTextFile(tmp / "missing.txt"));
    WriteFile(tmp / "empty.txt", "");
    EXPECT_EQ("", LoadTextFile(tmp / "empty.txt"));
    EXPECT_EQ("", LoadTextFile(tmp.path()));
    const std::string bytes("\0\r\n\x80", 4);
    WriteFile(tmp / "b.bin", bytes);
    EXPECT_EQ(bytes, LoadTextFile(tmp / "b.bin"));
    EXPECT_EQ(bytes, LoadTextFile(Backslashed(tmp.path()) + "\\b.bin"));
    const std::string big(300000, 'q');
    WriteFile(tmp / "big.txt", big);
    EXPECT_EQ(big, LoadTextFile(tmp / "big.txt"));
}

TEST(FileMentionsAll, NamePartsFoundWithoutRegardToAsciiCase) {
    TempDir tmp;
    TStringList none;
    EXPECT_TRUE(FileMentionsAll(tmp / "missing.hhp", none));
    TStringList one;
    one.Add("x.png");
    EXPECT_FALSE(FileMentionsAll(tmp / "missing.hhp", one));

    WriteFile(tmp / "p.hhp", "[FILES]\r\nImages\\PHOTO.png\r\n9\\d.HTML\r\n\xC3\xA4.txt\r\n");
    TStringList names;
    names.Add("C:\\elsewhere\\Photo.PNG");
    names.Add("d:D.html");
    names.Add("sub/photo.png");
    EXPECT_TRUE(FileMentionsAll(tmp / "p.hhp", names));
    names.Add("absent.gif");
    names.Add("d.html");
    EXPECT_FALSE(FileMentionsAll(tmp / "p.hhp", names));

    TStringList umlaut;
    umlaut.Add("\xC3\x84.txt");
    EXPECT_FALSE(FileMentionsAll(tmp / "p.hhp", umlaut));
    umlaut.Clear();
    umlaut.Add("\xC3\xA4.TXT");
    EXPECT_TRUE(FileMentionsAll(tmp / "p.hhp", umlaut));
}

class FolderTree : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* f : {"d/b.html", "d/a.txt", "d/.hidden", "d/sub/x.y", "d/sub/deep/w.txt", "d/sub2/v.txt",
                              "d/.dot/z.txt", "d/sub/.git/config"})
            WriteFile(tmp / f, f);
        std::filesystem::create_directories(tmp / "d/empty");
        std::filesystem::create_directories(tmp / "d/folder.txt");
    }
    std::string d() const { return tmp / "d"; }
    TempDir tmp;
};

TEST_F(FolderTree, FindFilesFolderFilesBeforeSubFolders) {
    TStringList l;
    l.Add("kept");
    FindFiles(l, d(), "*.*", true);
    const std::string p = d() + "/";
    EXPECT_EQ((V{"kept", p + "a.txt", p + "b.html", p + "sub/x.y", p + "sub/deep/w.txt", p + "sub2/v.txt"}), l.Items());
}

TEST_F(FolderTree, FindFilesNonRecursiveAndMasks) {
    TStringList l;
    FindFiles(l, d() + "/", "*.*", false);
    EXPECT_EQ((V{d() + "/a.txt", d() + "/b.html"}), l.Items());

    // Sub-folders are entered whatever their names; a folder matching the mask is no file.
    TStringList t;
    FindFiles(t, d(), "*.TXT", true);
    EXPECT_EQ((V{d() + "/a.txt", d() + "/sub/deep/w.txt", d() + "/sub2/v.txt"}), t.Items());
}

TEST_F(FolderTree, FindFilesKeepsBackslashFormWithoutDoublingIt) {
    const std::string folder = Backslashed(d());
    TStringList l;
    FindFiles(l, folder, "x.y", true);
    EXPECT_EQ(V{folder + "\\sub\\x.y"}, l.Items());
    TStringList m;
    FindFiles(m, folder + "\\", "x.y", true);
    EXPECT_EQ(V{folder + "\\sub\\x.y"}, m.Items());
}

TEST_F(FolderTree, FindFilesOnMissingOrEmptyFolderAddsNothing) {
    TStringList l;
    FindFiles(l, tmp / "nope", "*.*", true);
    FindFiles(l, tmp / "d/a.txt", "*.*", true);
    // An empty folder name must not turn into the file system root.
    FindFiles(l, "", "*", false);
    EXPECT_TRUE(l.Empty()) << l.Text();
}

TEST_F(FolderTree, DeleteFilesExceptKeepsListedFilesAndRemovesEmptiedFolders) {
    TStringList keep;
    keep.Add(d() + "/SUB/DEEP/W.TXT");
    DeleteFilesExcept(&keep, d(), "*.*", true);
    EXPECT_TRUE(Exists(tmp / "d/sub/deep/w.txt"));
    EXPECT_FALSE(Exists(tmp / "d/a.txt"));
    EXPECT_FALSE(Exists(tmp / "d/b.html"));
    EXPECT_FALSE(Exists(tmp / "d/sub/x.y"));
    EXPECT_FALSE(Exists(tmp / "d/sub2"));
    EXPECT_FALSE(Exists(tmp / "d/empty"));
    EXPECT_FALSE(Exists(tmp / "d/folder.txt"));
    // Dot-names are never listed, so they are neither deleted nor entered.
    EXPECT_TRUE(Exists(tmp / "d/.hidden"));
    EXPECT_TRUE(Exists(tmp / "d/.dot/z.txt"));
    EXPECT_TRUE(Exists(tmp / "d/sub/.git/config"));
    EXPECT_TRUE(Exists(d()));
}

TEST(DeleteFilesExcept, RemovesTheFolderUnlessKept) {
    TempDir tmp;
    WriteFile(tmp / "out/p.html", "");
    WriteFile(tmp / "out/s/q.html", "");
    TStringList keep;
    DeleteFilesExcept(&keep, tmp / "out", "*.*", true);
    EXPECT_FALSE(Exists(tmp / "out"));

    WriteFile(tmp / "kept/p.html", "");
    keep.Add(tmp / "KEPT");
    DeleteFilesExcept(&keep, tmp / "kept", "*.*", true);
    EXPECT_FALSE(Exists(tmp / "kept/p.html"));
    EXPECT_TRUE(Exists(tmp / "kept"));
}

TEST(DeleteFilesExcept, MaskAndRecursionFlag) {
    TempDir tmp;
    WriteFile(tmp / "o/a.html", "");
    WriteFile(tmp / "o/a.txt", "");
    WriteFile(tmp / "o/s/b.html", "");
    TStringList keep;
    DeleteFilesExcept(&keep, tmp / "o", "*.html", false);
    EXPECT_FALSE(Exists(tmp / "o/a.html"));
    EXPECT_TRUE(Exists(tmp / "o/a.txt"));
    EXPECT_TRUE(Exists(tmp / "o/s/b.html"));
}

TEST(DeleteFilesExcept, BackslashFolderMatchesBackslashKeepEntries) {
    TempDir tmp;
    WriteFile(tmp / "o/9/D.html", "");
    WriteFile(tmp / "o/9/E.html", "");
    const std::string folder = Backslashed(tmp / "o");
    TStringList keep;
    keep.Add(folder + "\\9\\d.html");
    DeleteFilesExcept(&keep, folder, "*.*", true);
    EXPECT_TRUE(Exists(tmp / "o/9/D.html"));
    EXPECT_FALSE(Exists(tmp / "o/9/E.html"));
}

TEST(DeleteFilesExcept, DoesNotFollowFolderLinks) {
    if (!qbtest::HaveSymlinks()) GTEST_SKIP() << "no symbolic links on this system";
    TempDir tmp;
    WriteFile(tmp / "precious/data.txt", "keep me");
    WriteFile(tmp / "o/a.html", "");
    std::filesystem::create_directory_symlink(tmp / "precious", tmp / "o/link");
    TStringList keep;
    DeleteFilesExcept(&keep, tmp / "o", "*.*", true);
    EXPECT_EQ("keep me", ReadFile(tmp / "precious/data.txt"));
    EXPECT_FALSE(Exists(tmp / "o"));
}

TEST(DeleteFilesExcept, MissingKeepListIsAProgrammingError) {
    TempDir tmp;
    WriteFile(tmp / "o/a.html", "");
    try {
        DeleteFilesExcept(nullptr, tmp / "o", "*.*", true);
        FAIL() << "no error";
    } catch (const qb::Error& e) {
        const std::string m = e.what();
        EXPECT_NE(std::string::npos, m.find("Assertion failure")) << m;
        EXPECT_NE(std::string::npos, m.find("FileUtils.cpp")) << m;
        EXPECT_NE(std::string::npos, m.find("line ")) << m;
    }
    EXPECT_TRUE(Exists(tmp / "o/a.html"));
}

// --- Links below the output folder ------------------------------------------------
// The engine names files relative to the output folder, its current directory.

namespace {

// Relative names mean files below dir, as during a run.
struct InFolder {
    explicit InFolder(const std::string& dir) : folder(dir), files(&folder) {}
    fs::OutputFolder folder;
    fs::FileContext files;
};

bool IsLink(const std::string& p) { return std::filesystem::is_symlink(std::filesystem::symlink_status(p)); }

}  // namespace

TEST(FileLayerLinks, RelativePathsNeverPassThroughALinkedFolder) {
    if (!qbtest::HaveSymlinks()) GTEST_SKIP() << "no symbolic links on this system";
    TempDir tmp;
    WriteFile(tmp / "elsewhere/victim.html", "theirs");
    std::filesystem::create_directories(tmp / "out");
    std::filesystem::create_directory_symlink(tmp / "elsewhere", tmp / "out/9");
    InFolder in(tmp / "out");

    EXPECT_FALSE(in.files.PlainFileExists(".\\9\\victim.html"));
    EXPECT_TRUE(in.files.FileExists(".\\9\\victim.html"));  // the plain check, as users' paths need
    EXPECT_THROW(in.files.SaveTextFile(".\\9\\victim.html", "ours"), qb::Error);
    EXPECT_FALSE(in.files.DeleteFile(".\\9\\victim.html"));
    EXPECT_EQ("theirs", ReadFile(tmp / "elsewhere/victim.html"));

    // Making the folder replaces the link by a real folder; the target is untouched.
    in.files.ForceDirectories(".\\9\\sub\\");
    EXPECT_FALSE(IsLink(tmp / "out/9"));
    in.files.SaveTextFile(".\\9\\sub\\D.html", "ours");
    EXPECT_EQ("ours", ReadFile(tmp / "out/9/sub/D.html"));
    EXPECT_EQ("theirs", ReadFile(tmp / "elsewhere/victim.html"));
    EXPECT_EQ(1, std::distance(std::filesystem::directory_iterator(tmp / "elsewhere"),
                               std::filesystem::directory_iterator()));

    // A plain file in the way of a folder is not removed.
    WriteFile(tmp / "out/blocked", "a user's file");
    EXPECT_THROW(in.files.ForceDirectories(".\\blocked\\x\\"), qb::Error);
    EXPECT_EQ("a user's file", ReadFile(tmp / "out/blocked"));
}

// The layer keeps the last folder it walked open; a folder swapped for a link
// after that is still never written through, and a new run starts afresh.
TEST(FileLayerLinks, AFolderSwappedForALinkBetweenWritesIsNotWrittenThrough) {
    if (!qbtest::HaveSymlinks()) GTEST_SKIP() << "no symbolic links on this system";
    TempDir tmp;
    std::filesystem::create_directories(tmp / "elsewhere/9");
    std::filesystem::create_directories(tmp / "out");
    {
        InFolder in(tmp / "out");
        in.files.ForceDirectories(".\\9\\");
        in.files.SaveTextFile(".\\9\\A.html", "first");
        std::filesystem::rename(tmp / "out/9", tmp / "out/moved");
        std::filesystem::create_directory_symlink(tmp / "elsewhere/9", tmp / "out/9");
        try {
            in.files.SaveTextFile(".\\9\\B.html", "second");
        } catch (const qb::Error&) {}
        EXPECT_FALSE(std::filesystem::exists(tmp / "elsewhere/9/B.html"));
        // Making the folder again replaces the link; writes land in the real folder.
        in.files.ForceDirectories(".\\9\\");
        in.files.SaveTextFile(".\\9\\C.html", "third");
        EXPECT_FALSE(IsLink(tmp / "out/9"));
        EXPECT_EQ("third", ReadFile(tmp / "out/9/C.html"));
    }
    EXPECT_TRUE(std::filesystem::is_empty(tmp / "elsewhere/9"));
    // Another output folder with a folder of the same name: its own, not the one kept open.
    std::filesystem::create_directories(tmp / "out2/9");
    InFolder in(tmp / "out2");
    in.files.SaveTextFile(".\\9\\D.html", "fourth");
    EXPECT_EQ("fourth", ReadFile(tmp / "out2/9/D.html"));
}

TEST(FileLayerLinks, FreshFilesReplaceLinksDanglingOrNot) {
    if (!qbtest::HaveSymlinks()) GTEST_SKIP() << "no symbolic links on this system";
    TempDir tmp;
    std::filesystem::create_directories(tmp / "out");
    std::filesystem::create_directories(tmp / "elsewhere");
    std::filesystem::create_symlink(tmp / "elsewhere/created.rtf", tmp / "out/A.rtf");
    WriteFile(tmp / "elsewhere/page.html", "secret");
    std::filesystem::create_symlink(tmp / "elsewhere/page.html", tmp / "out/Leaf.html");
    const bool fifo = qbtest::MakeFifo(tmp / "out/fifo.html");
    InFolder in(tmp / "out");

    EXPECT_TRUE(in.files.EntryExists("A.rtf"));
    EXPECT_FALSE(in.files.PlainFileExists("A.rtf"));
    in.files.PrepareFreshFile(".\\A.rtf");
    EXPECT_FALSE(IsLink(tmp / "out/A.rtf"));
    EXPECT_FALSE(Exists(tmp / "elsewhere/created.rtf"));

    EXPECT_FALSE(in.files.PlainFileExists("Leaf.html"));
    in.files.SaveTextFile("Leaf.html", "page");
    EXPECT_EQ("secret", ReadFile(tmp / "elsewhere/page.html"));
    EXPECT_TRUE(in.files.PlainFileExists("Leaf.html"));

    // A FIFO in the page's place is replaced instead of blocking the writer.
    if (!fifo) GTEST_SKIP() << "no FIFOs on this system; the links were checked";
    in.files.SaveTextFile("fifo.html", "page");
    EXPECT_EQ("page", ReadFile(tmp / "out/fifo.html"));
}

TEST(FileLayerLinks, CopyNeverWritesThroughTheTargetsLink) {
    if (!qbtest::HaveSymlinks()) GTEST_SKIP() << "no symbolic links on this system";
    TempDir tmp;
    WriteFile(tmp / "home.html", "home");
    WriteFile(tmp / "theirs.html", "theirs");
    std::filesystem::create_symlink(tmp / "theirs.html", tmp / "_default.html");
    EXPECT_TRUE(fs::CopyFile(tmp / "home.html", tmp / "_default.html"));
    EXPECT_EQ("theirs", ReadFile(tmp / "theirs.html"));
    EXPECT_FALSE(IsLink(tmp / "_default.html"));
    EXPECT_EQ("home", ReadFile(tmp / "_default.html"));
    EXPECT_FALSE(fs::CopyFile(tmp / "missing.html", tmp / "x.html"));
}

TEST(ScratchFile, HasNoNameAndIsReachedByItsPath) {
    TempDir tmp;
    const qbtest::ScopedEnv tmpdir("TMPDIR", tmp.path());
    {
        fs::ScratchFile scratch;
        WriteFile(scratch.Path(), "first, longer note");
        WriteFile(scratch.Path(), "second");
        EXPECT_EQ("second", LoadTextFile(scratch.Path()));
        EXPECT_EQ(
            0, std::distance(std::filesystem::directory_iterator(tmp.path()), std::filesystem::directory_iterator()));
    }
}

TEST(LoadTextFile, WholeFilesOfAnySizeAndFilesWithoutAKnownSize) {
    TempDir tmp;
    std::string big(300'001, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 + (i >> 11));
    WriteFile(tmp / "big.bin", big);
    EXPECT_TRUE(LoadTextFile(tmp / "big.bin") == big);
    WriteFile(tmp / "one", "x");
    EXPECT_EQ("x", LoadTextFile(tmp / "one"));
    WriteFile(tmp / "empty", "");
    EXPECT_EQ("", LoadTextFile(tmp / "empty"));
    EXPECT_EQ("", LoadTextFile(tmp.path()));
    EXPECT_EQ("", LoadTextFile(tmp / "missing"));
    // A file that reports no size still reads to its end.
    EXPECT_NE(std::string::npos, LoadTextFile("/proc/self/status").find("Name:"));
}

TEST(SaveTextFile, DanglingLinkIsReplacedNotFollowed) {
    if (!qbtest::HaveSymlinks()) GTEST_SKIP() << "no symbolic links on this system";
    TempDir tmp;
    std::filesystem::create_symlink(tmp / "target.txt", tmp / "dangling.txt");
    SaveTextFile(tmp / "dangling.txt", "page");
    EXPECT_FALSE(std::filesystem::is_symlink(tmp / "dangling.txt"));
    EXPECT_EQ("page", ReadFile(tmp / "dangling.txt"));
    EXPECT_FALSE(Exists(tmp / "target.txt"));
}

TEST(ForceDirectories, MakesNestedFoldersKeepsExistingOnesRefusesFiles) {
    TempDir tmp;
    fs::ForceDirectories(Backslashed(tmp.path()) + "\\a\\b\\c");
    EXPECT_TRUE(std::filesystem::is_directory(tmp / "a/b/c"));
    EXPECT_NO_THROW(fs::ForceDirectories(tmp / "a/b"));
    WriteFile(tmp / "a/file", "x");
    EXPECT_THROW(fs::ForceDirectories(tmp / "a/file"), qb::Error);
    EXPECT_THROW(fs::ForceDirectories(tmp / "a/file/sub"), qb::Error);
}

// --- Files held in memory ---------------------------------------------------------

TEST(HeldFile, SavesStayInMemoryUntilWrittenOnce) {
    TempDir tmp;
    InFolder in(tmp.path());
    in.files.ForceDirectories(".\\9\\");
    {
        fs::HeldFile held(in.files, ".\\9\\P.html");
        EXPECT_FALSE(in.files.PlainFileExists("9/P.html"));
        in.files.SaveTextFile(".\\9\\P.html", "<body>");
        // Another spelling of the same file finds the held bytes.
        EXPECT_TRUE(in.files.PlainFileExists("9/P.html"));
        EXPECT_TRUE(in.files.EntryExists(tmp / "9/P.html"));
        EXPECT_EQ(6, in.files.FileSize("./9//P.html"));
        EXPECT_EQ("<body>", in.files.LoadTextFile(".\\9\\P.html"));
        EXPECT_FALSE(Exists(tmp / "9/P.html"));
        in.files.SaveTextFile(".\\9\\P.html", in.files.LoadTextFile(".\\9\\P.html") + "bar");
        // Other files are written at once.
        in.files.SaveTextFile(".\\9\\Q.js", "data");
        EXPECT_EQ("data", ReadFile(tmp / "9/Q.js"));
        held.Write();
        EXPECT_EQ("<body>bar", ReadFile(tmp / "9/P.html"));
        // Written: later saves go to disk.
        in.files.SaveTextFile(".\\9\\P.html", "again");
        EXPECT_EQ("again", ReadFile(tmp / "9/P.html"));
    }
    EXPECT_EQ("again", ReadFile(tmp / "9/P.html"));
}

TEST(HeldFile, AWalkEndingInAnErrorStillWritesWhatItHeld) {
    TempDir tmp;
    InFolder in(tmp.path());
    try {
        fs::HeldFile outer(in.files, "A.html");
        in.files.SaveTextFile("A.html", "parent page");
        fs::HeldFile inner(in.files, "B.html");
        in.files.SaveTextFile("B.html", "child page");
        throw qb::Error("the walk failed");
    } catch (const qb::Error&) {}
    EXPECT_EQ("parent page", ReadFile(tmp / "A.html"));
    EXPECT_EQ("child page", ReadFile(tmp / "B.html"));
    // Nothing saved: nothing written, and an earlier file is left as it was.
    WriteFile(tmp / "C.html", "earlier run");
    { fs::HeldFile untouched(in.files, "C.html"); }
    { fs::HeldFile none(in.files, "D.html"); }
    EXPECT_EQ("earlier run", ReadFile(tmp / "C.html"));
    EXPECT_FALSE(Exists(tmp / "D.html"));
}

TEST(HeldFile, DeletingDropsTheBytesAndTheFileOnDisk) {
    TempDir tmp;
    InFolder in(tmp.path());
    WriteFile(tmp / "P.html", "earlier");
    fs::HeldFile held(in.files, "P.html");
    EXPECT_TRUE(in.files.PlainFileExists("P.html"));
    in.files.SaveTextFile("P.html", "new");
    EXPECT_TRUE(in.files.DeleteFile("P.html"));
    EXPECT_FALSE(in.files.PlainFileExists("P.html"));
    EXPECT_FALSE(in.files.EntryExists("P.html"));
    EXPECT_EQ("", in.files.LoadTextFile("P.html"));
    EXPECT_FALSE(Exists(tmp / "P.html"));
    held.Write();
    EXPECT_FALSE(Exists(tmp / "P.html"));
}

TEST(HeldFile, ALinkAtTheNameIsNoPageAndIsReplacedNotWrittenThrough) {
    if (!qbtest::HaveSymlinks()) GTEST_SKIP() << "no symbolic links on this system";
    TempDir tmp;
    WriteFile(tmp / "elsewhere/target.html", "theirs");
    std::filesystem::create_directories(tmp / "out");
    std::filesystem::create_symlink(tmp / "elsewhere/target.html", tmp / "out/P.html");
    InFolder in(tmp / "out");
    {
        fs::HeldFile held(in.files, "P.html");
        EXPECT_FALSE(in.files.PlainFileExists("P.html"));
        EXPECT_TRUE(in.files.EntryExists("P.html"));
        in.files.SaveTextFile("P.html", "ours");
        held.Write();
    }
    EXPECT_FALSE(IsLink(tmp / "out/P.html"));
    EXPECT_EQ("ours", ReadFile(tmp / "out/P.html"));
    EXPECT_EQ("theirs", ReadFile(tmp / "elsewhere/target.html"));
}

// --- Written files kept in memory -----------------------------------------------------

namespace {
bool Lists(fs::FileSystem& files, const std::string& folder, const std::string& name) {
    std::vector<os::Entry> entries;
    files.ListFolder(folder, entries);
    return std::any_of(entries.begin(), entries.end(), [&](const os::Entry& e) { return e.name == name; });
}
void WriteHeld(fs::FileSystem& files, const std::string& path, const std::string& bytes) {
    fs::HeldFile held(files, path);
    files.SaveTextFile(path, bytes);
}
}  // namespace

TEST(KeptFiles, AWrittenPageStaysInMemoryWhereEveryCallFindsItAndADeletedOneNeverReachesTheDisk) {
    TempDir tmp;
    InFolder in(tmp.path());
    in.files.ForceDirectories(".\\9\\");
    in.files.KeepWrittenInMemory(1 << 20);
    WriteHeld(in.files, ".\\9\\P.html", "<body>page");
    WriteHeld(in.files, ".\\9\\Q.html", "gone");
    EXPECT_FALSE(Exists(tmp / "9/P.html"));
    EXPECT_TRUE(in.files.PlainFileExists("9/P.html"));
    EXPECT_EQ(10, in.files.FileSize("./9/P.html"));
    EXPECT_EQ("<body>page", in.files.LoadTextFile(".\\9\\P.html"));
    // The compiler asks by the absolute path.
    fs::HeldFile* kept = in.files.FindHeld(tmp / "9/P.html");
    ASSERT_NE(nullptr, kept);
    EXPECT_EQ("<body>page", kept->Bytes());
    EXPECT_TRUE(Lists(in.files, "9", "P.html"));
    EXPECT_FALSE(in.files.RemoveDir("9"));
    EXPECT_TRUE(std::filesystem::is_directory(tmp / "9"));
    // A later hold takes the bytes over, and a rewrite stays kept.
    {
        fs::HeldFile again(in.files, "9/P.html");
        in.files.SaveTextFile("9/P.html", in.files.TakeTextFile("9/P.html") + "+nav");
    }
    EXPECT_EQ("<body>page+nav", in.files.LoadTextFile("9/P.html"));
    EXPECT_FALSE(Exists(tmp / "9/P.html"));

    EXPECT_TRUE(in.files.DeleteFile("9/Q.html"));
    EXPECT_FALSE(in.files.EntryExists("9/Q.html"));
    EXPECT_FALSE(in.files.DeleteFile("9/Q.html"));
    // Renamed or replaced through a descriptor, a kept file is on disk first.
    WriteHeld(in.files, "R.html", "renamed");
    EXPECT_TRUE(in.files.RenameFile("R.html", "S.html"));
    EXPECT_EQ("renamed", ReadFile(tmp / "S.html"));
    WriteHeld(in.files, "T.html", "taken");
    EXPECT_EQ(os::kNoFd, in.files.CreateNewFile("T.html"));
    EXPECT_EQ("taken", ReadFile(tmp / "T.html"));

    in.files.WriteKeptFiles();
    EXPECT_EQ("<body>page+nav", ReadFile(tmp / "9/P.html"));
    EXPECT_FALSE(Exists(tmp / "9/Q.html"));
    // Nothing is kept after that.
    WriteHeld(in.files, "U.html", "direct");
    EXPECT_EQ("direct", ReadFile(tmp / "U.html"));
}

TEST(KeptFiles, AUsersFileOverTheBudgetOrTheEndOfTheFilesSendsPagesToDisk) {
    TempDir tmp;
    WriteFile(tmp / "Theirs.html", "earlier");
    {
        InFolder in(tmp.path());
        in.files.KeepWrittenInMemory(10);
        // Something at the name: written there as without keeping.
        WriteHeld(in.files, "Theirs.html", "ours");
        EXPECT_EQ("ours", ReadFile(tmp / "Theirs.html"));
        WriteHeld(in.files, "A.html", "123456");
        WriteHeld(in.files, "B.html", "123456");
        EXPECT_FALSE(Exists(tmp / "A.html"));
        EXPECT_EQ("123456", ReadFile(tmp / "B.html"));
        // Room comes back when a kept page is deleted.
        EXPECT_TRUE(in.files.DeleteFile("A.html"));
        WriteHeld(in.files, "C.html", "1234567890");
        EXPECT_FALSE(Exists(tmp / "C.html"));
    }
    // A run that ends without writing them loses none.
    EXPECT_EQ("1234567890", ReadFile(tmp / "C.html"));
    EXPECT_FALSE(Exists(tmp / "A.html"));
}

// --- Folders a run made ---------------------------------------------------------------

TEST(FreshFolders, OnlyNamesMadeInAFolderMadeHereAreLookedForUntilTrustEnds) {
    TempDir tmp;
    WriteFile(tmp / "old/user.txt", "theirs");
    InFolder in(tmp.path());
    in.files.TrustFreshFolders(true);
    in.files.ForceDirectories("old\\new\\");
    in.files.SaveTextFile("old\\new\\page.html", "ours");
    in.files.ForceDirectories("old\\new\\sub\\");
    // Another program's file in a folder made here is not looked for: the
    // answer needs no disk. (Trust holds only while none writes there.)
    WriteFile(tmp / "old/new/planted.html", "x");
    WriteFile(tmp / "old/new/\xc3\x84.txt", "x");
    EXPECT_FALSE(in.files.EntryExists("old/new/planted.html"));
    EXPECT_FALSE(in.files.FileExists("old\\new\\planted.html"));
    // What this one made, in any letter case Windows would match, is looked at on disk.
    EXPECT_TRUE(in.files.PlainFileExists("old/new/page.html"));
    EXPECT_TRUE(in.files.DirectoryExists("old/new/sub"));
    WriteFile(tmp / "old/new/Page.html", "x");
    EXPECT_TRUE(in.files.EntryExists("old/new/Page.html"));
    // Non-ASCII names and folders that were there before are always looked at.
    EXPECT_TRUE(in.files.EntryExists("old/new/\xc3\x84.txt"));
    EXPECT_TRUE(in.files.PlainFileExists("old/user.txt"));
    // Below a name never made in a fresh folder nothing is looked for either;
    // below a folder made there, its own names decide.
    WriteFile(tmp / "old/new/other/deep/x.html", "x");
    EXPECT_FALSE(in.files.PlainFileExists("old/new/other/deep/x.html"));
    WriteFile(tmp / "old/new/sub/x.html", "x");
    EXPECT_FALSE(in.files.PlainFileExists("old/new/sub/x.html"));
    in.files.ForceDirectories("old\\new\\sub\\two\\");
    in.files.SaveTextFile("old\\new\\sub\\two\\z.html", "ours");
    EXPECT_TRUE(in.files.PlainFileExists("old/new/sub/two/z.html"));
    // A folder another program made where none was thought to be is taken as found.
    std::filesystem::create_directories(tmp / "old/new/sub/theirs");
    EXPECT_NO_THROW(in.files.ForceDirectories("old\\new\\sub\\theirs\\"));
    in.files.SaveTextFile("old\\new\\sub\\theirs\\p.html", "ours");
    EXPECT_EQ("ours", ReadFile(tmp / "old/new/sub/theirs/p.html"));
    in.files.TrustFreshFolders(false);
    EXPECT_TRUE(in.files.EntryExists("old/new/planted.html"));
}

// Looking into a folder that is not there is remembered until folders change.
TEST(FileLayer, AFolderFoundMissingIsSeenOnceItIsMade) {
    TempDir tmp;
    InFolder in(tmp.path());
    EXPECT_FALSE(in.files.PlainFileExists(".\\a\\b\\x.html"));
    EXPECT_FALSE(in.files.EntryExists(".\\a\\b\\y.html"));
    // Nothing below the missing folder is there either, until it is made.
    EXPECT_FALSE(in.files.PlainFileExists(".\\a\\c\\z.html"));
    in.files.ForceDirectories(".\\a\\c\\");
    in.files.SaveTextFile(".\\a\\c\\z.html", "other");
    EXPECT_TRUE(in.files.PlainFileExists(".\\a\\c\\z.html"));
    in.files.ForceDirectories(".\\a\\b\\");
    in.files.SaveTextFile(".\\a\\b\\x.html", "page");
    EXPECT_TRUE(in.files.PlainFileExists(".\\a\\b\\x.html"));
    EXPECT_EQ("page", ReadFile(tmp / "a/b/x.html"));
    // Missing again after the folder is renamed away through the layer.
    ASSERT_TRUE(in.files.RenameFile("a", "c"));
    EXPECT_FALSE(in.files.PlainFileExists(".\\a\\b\\x.html"));
    ASSERT_TRUE(in.files.RenameFile("c", "a"));
    EXPECT_TRUE(in.files.PlainFileExists(".\\a\\b\\x.html"));
}

// --- Files of one context ---------------------------------------------------------

// What one context holds and the folder it resolves against are its own: two
// runs' files side by side, or a run's and a test's, never meet.
TEST(FileContext, HoldsAndTheFolderBelongToTheContextNotToTheThread) {
    TempDir tmp;
    std::filesystem::create_directories(tmp / "one");
    std::filesystem::create_directories(tmp / "two");
    InFolder one(tmp / "one"), two(tmp / "two");
    {
        fs::HeldFile held(one.files, "P.html");
        one.files.SaveTextFile("P.html", "held in one");
        EXPECT_TRUE(one.files.PlainFileExists("P.html"));
        EXPECT_FALSE(two.files.PlainFileExists("P.html"));
        EXPECT_EQ("", two.files.LoadTextFile("P.html"));
        // The same name in the other context is written at once, into its folder.
        two.files.SaveTextFile("P.html", "two's page");
        EXPECT_EQ("two's page", ReadFile(tmp / "two/P.html"));
        EXPECT_FALSE(Exists(tmp / "one/P.html"));
        EXPECT_EQ("held in one", one.files.LoadTextFile("P.html"));
        // A context of the current directory does not see the folder either.
        if (!Exists("P.html")) {
            EXPECT_FALSE(fs::FileContext().PlainFileExists("P.html"));
        }
        EXPECT_EQ(tmp / "one/P.html", one.files.ExpandFileName("P.html"));
        EXPECT_EQ(tmp / "two/P.html", two.files.ExpandFileName("P.html"));
    }
    EXPECT_EQ("held in one", ReadFile(tmp / "one/P.html"));
    EXPECT_EQ("two's page", ReadFile(tmp / "two/P.html"));
}

TEST(FileContext, TwoContextsOnTwoThreadsWriteEachIntoItsOwnFolder) {
    TempDir tmp;
    std::filesystem::create_directories(tmp / "one");
    std::filesystem::create_directories(tmp / "two");
    InFolder one(tmp / "one"), two(tmp / "two");
    constexpr int kFiles = 120;
    std::atomic<int> misread{0};
    // The same relative names on both sides, the folders cycling so that each
    // context's kept-open folder changes under the other's writes.
    auto work = [&](fs::FileSystem& files, const std::string& tag) {
        for (int i = 0; i < kFiles; ++i) {
            const std::string dir = ".\\" + std::to_string(i % 5) + "\\";
            files.ForceDirectories(dir);
            fs::HeldFile page(files, dir + "P.html");
            files.SaveTextFile(dir + "P.html", tag + std::to_string(i));
            files.SaveTextFile(dir + "n" + std::to_string(i) + ".txt", tag);
            if (files.LoadTextFile(dir + "P.html") != tag + std::to_string(i)) ++misread;
        }
    };
    std::thread a([&] { work(one.files, "one"); });
    std::thread b([&] { work(two.files, "two"); });
    a.join();
    b.join();
    EXPECT_EQ(0, misread.load());
    for (int i = 0; i < kFiles; ++i) {
        const std::string rel = std::to_string(i % 5) + "/n" + std::to_string(i) + ".txt";
        ASSERT_EQ("one", ReadFile(tmp / ("one/" + rel))) << rel;
        ASSERT_EQ("two", ReadFile(tmp / ("two/" + rel))) << rel;
    }
    for (int d = 0; d < 5; ++d) {
        const int last = kFiles - 5 + d;
        EXPECT_EQ("one" + std::to_string(last), ReadFile(tmp / ("one/" + std::to_string(d) + "/P.html")));
        EXPECT_EQ("two" + std::to_string(last), ReadFile(tmp / ("two/" + std::to_string(d) + "/P.html")));
    }
}
