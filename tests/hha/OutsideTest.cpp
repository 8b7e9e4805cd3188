// A compile packs only files from inside the project folder; leftovers of a
// killed compile do not pile up.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "hha/HhaTemp.h"
#include "quillbook/CompileCommand.h"
#include "support/Error.h"
#include "tests/support/TestSupport.h"

namespace sfs = std::filesystem;

namespace {

struct CompileResult {
    int rc;
    std::string out;
};

CompileResult Compile(const std::string& hhp) {
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    const int rc = qb::CmdCompile(hhp);
    std::string out = ::testing::internal::GetCapturedStdout();
    out += ::testing::internal::GetCapturedStderr();
    return {rc, out};
}

// A project folder with one page, and a secret beside it.
class OutsideProject : public ::testing::Test {
protected:
    void SetUp() override {
        qbtest::WriteFile(dir / "proj/a.html", "<html><body>a</body></html>");
        qbtest::WriteFile(dir / "proj/Help.hhc",
                          "<UL><LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"A\">"
                          "<param name=\"Local\" value=\"a.html\"></OBJECT></UL>");
        qbtest::WriteFile(dir / "secret.txt", "SECRET");
        chm = dir / "proj/Help.chm";
    }
    // A project whose [FILES] holds a.html and extra, with the given contents line.
    std::string Project(const std::string& extra, const std::string& contents = "Help.hhc") {
        const std::string hhp = dir / "proj/Help.hhp";
        qbtest::WriteFile(hhp, "[OPTIONS]\r\nCompiled file=Help.chm\r\nContents file=" + contents +
                                   "\r\nDefault topic=a.html\r\nTitle=T\r\n[FILES]\r\na.html\r\n" + extra + "\r\n");
        sfs::remove(chm);
        return hhp;
    }
    void ExpectRefused(const std::string& hhp, const std::string& named) {
        const CompileResult r = Compile(hhp);
        EXPECT_EQ(1, r.rc) << r.out;
        EXPECT_NE(std::string::npos, r.out.find(named + " lies outside the project folder")) << r.out;
        EXPECT_FALSE(sfs::exists(chm)) << named;
    }
    qbtest::TempDir dir;
    std::string chm;
};

}  // namespace

TEST_F(OutsideProject, FilesFromOutsideTheProjectAreRefusedByName) {
    ASSERT_EQ(0, Compile(Project("")).rc);
    EXPECT_TRUE(sfs::exists(chm));

    ExpectRefused(Project(dir / "secret.txt"), dir / "secret.txt");
    ExpectRefused(Project("..\\secret.txt"), "..\\secret.txt");
    ExpectRefused(Project("", dir / "secret.txt"), dir / "secret.txt");

    qbtest::WriteFile(dir / "proj/local.hhc",
                      "<UL><LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"S\">"
                      "<param name=\"Local\" value=\"" +
                          (dir / "secret.txt") + "\"></OBJECT></UL>");
    ExpectRefused(Project("", "local.hhc"), dir / "secret.txt");

    // A link inside the project that leads out is refused too; one that stays inside is fine.
    sfs::create_symlink(dir / "secret.txt", dir / "proj/innocent.txt");
    ExpectRefused(Project("innocent.txt"), "innocent.txt");
    sfs::create_directory_symlink(dir.path(), dir / "proj/up");
    ExpectRefused(Project("up\\secret.txt"), "up\\secret.txt");
    // Folders are resolved one by one from their parents: a link several
    // folders above the file still counts.
    qbtest::WriteFile(dir / "c/d/secret.txt", "SECRET");
    sfs::create_directories(dir / "proj/a/b");
    sfs::create_directory_symlink(dir.path(), dir / "proj/a/b/out");
    ExpectRefused(Project("a\\b\\out\\c\\d\\secret.txt"), "a\\b\\out\\c\\d\\secret.txt");
    qbtest::WriteFile(dir / "proj/a/b/in/c/d/ok.html", "<html><body>ok</body></html>");
    EXPECT_EQ(0, Compile(Project("a\\b\\in\\c\\d\\ok.html")).rc);
    sfs::create_symlink(dir / "proj/a.html", dir / "proj/same.html");
    EXPECT_EQ(0, Compile(Project("same.html")).rc);
}

// A listed entry is opened without a look first: a pipe must not hold the
// compile, and a folder or a missing file is named.
TEST_F(OutsideProject, ListedEntriesThatAreNoPlainFileAreRefusedWithoutWaiting) {
    ASSERT_EQ(0, ::mkfifo((dir / "proj/pipe.html").c_str(), 0644));
    sfs::create_directories(dir / "proj/folder.html");
    for (const char* entry : {"pipe.html", "folder.html", "missing.html"}) {
        const CompileResult r = Compile(Project(entry));
        EXPECT_EQ(1, r.rc) << entry << "\n" << r.out;
        EXPECT_NE(std::string::npos, r.out.find(std::string("cannot open file ") + entry)) << r.out;
        EXPECT_FALSE(sfs::exists(chm)) << entry;
    }
}

TEST_F(OutsideProject, PageLinksThatLeadOutThroughALinkAreRefused) {
    sfs::create_symlink(dir / "secret.txt", dir / "proj/img.png");
    qbtest::WriteFile(dir / "proj/a.html", "<html><body><img src=\"img.png\"></body></html>");
    ExpectRefused(Project(""), "img.png");
}

// The log names each file as it is stored, so progress never runs ahead of
// the work: a compile that fails at a page has named no file after it.
TEST_F(OutsideProject, TheLogNamesNoFileBeyondTheOneThatFailed) {
    sfs::create_symlink(dir / "secret.txt", dir / "proj/img.png");
    qbtest::WriteFile(dir / "proj/b.html", "<html><body><img src=\"img.png\"></body></html>");
    qbtest::WriteFile(dir / "proj/c.html", "<html><body>c</body></html>");
    const CompileResult r = Compile(Project("b.html\r\nc.html"));
    EXPECT_EQ(1, r.rc) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("b.html")) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("img.png lies outside the project folder")) << r.out;
    EXPECT_EQ(std::string::npos, r.out.find("c.html")) << r.out;
}

// Menu data a page loads links pages no page names: they are stored, and a
// link in a script leads out no more than one in a page.
TEST_F(OutsideProject, PagesLinkedFromALoadedScriptAreStoredAndStayInside) {
    qbtest::WriteFile(dir / "proj/a.html", "<html><body><script src=\"sub/menu.js\"></script></body></html>");
    qbtest::WriteFile(dir / "proj/sub/menu.js",
                      "m[0]='<a href=\"/sub/it\\'s.html\">It</a>'\r\n"
                      "m[1]='<a href=\"../b.html\">B<\\/a>'\r\n");
    qbtest::WriteFile(dir / "proj/sub/it's.html", "<html><body>it</body></html>");
    qbtest::WriteFile(dir / "proj/b.html", "<html><body>b</body></html>");
    const CompileResult r = Compile(Project(""));
    ASSERT_EQ(0, r.rc) << r.out;
    for (const char* name : {"sub/menu.js", "sub/it's.html", "b.html"})
        EXPECT_NE(std::string::npos, r.out.find(name)) << name << "\n" << r.out;

    sfs::create_symlink(dir / "secret.txt", dir / "proj/sub/img.png");
    qbtest::WriteFile(dir / "proj/sub/menu.js", "m[0]='<img src=\"img.png\">'\r\n");
    ExpectRefused(Project(""), "img.png");
}

TEST(TempFolder, FoldersOfAKilledCompileAreRemovedByTheNext) {
    qbtest::TempDir dir;
    const std::string stale = dir / ".hha-Ab12Cd";
    const std::string fresh = dir / ".hha-Ef34Gh";
    qbtest::WriteFile(stale + "/out.chm", "half");
    qbtest::WriteFile(fresh + "/out.chm", "half");
    // The stale one is old; the fresh one may belong to a compile starting right now.
    const struct timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(0, ::utimensat(AT_FDCWD, stale.c_str(), old, 0));
    {
        qb::hha::PendingOutput held(dir / "other.chm");
        qbtest::WriteFile(held.TempPath(), "in use");
        qb::hha::RemoveStaleTempFolders(dir.path(), ".hha-");
        // A folder held by a running compile is left alone, whatever its age.
        ASSERT_EQ(0, ::utimensat(AT_FDCWD, sfs::path(held.TempPath()).parent_path().c_str(), old, 0));
        qb::hha::RemoveStaleTempFolders(dir.path(), ".hha-");
        EXPECT_TRUE(sfs::exists(held.TempPath()));
        EXPECT_FALSE(sfs::exists(stale));
        EXPECT_TRUE(sfs::exists(fresh));
    }
    int left = 0;
    for (const auto& e : sfs::directory_iterator(dir.path()))
        if (e.path().filename().string().rfind(".hha-", 0) == 0) ++left;
    EXPECT_EQ(1, left);  // the fresh one

    // The next compile's own folder sweeps an old leftover away by itself.
    qbtest::WriteFile(stale + "/out.chm", "half");
    ASSERT_EQ(0, ::utimensat(AT_FDCWD, stale.c_str(), old, 0));
    { qb::hha::PendingOutput next(dir / "x.chm"); }
    EXPECT_FALSE(sfs::exists(stale));
}

// The new help file goes in whole or not at all: what stands in the way (here
// a folder; on Windows a file another program holds open) keeps its content
// and the error names the file.
TEST(TempFolder, AHelpFileThatCannotBeReplacedIsKeptAndNamed) {
    qbtest::TempDir dir;
    const std::string target = dir / "Help.chm";
    qb::hha::PendingOutput out(target);
    qbtest::WriteFile(out.TempPath(), "new help file");
    // Put there while the compile ran.
    qbtest::WriteFile(target + "/kept.txt", "old");
    try {
        out.Commit();
        FAIL() << "the commit passed";
    } catch (const qb::Error& e) {
        EXPECT_NE(std::string::npos, std::string(e.what()).find("cannot write " + target)) << e.what();
    }
    EXPECT_EQ("old", qbtest::ReadFile(target + "/kept.txt"));
}

TEST(TempFolder, ACommitReplacesAnEarlierHelpFile) {
    qbtest::TempDir dir;
    const std::string target = dir / "Help.chm";
    qbtest::WriteFile(target, "earlier");
    qb::hha::PendingOutput out(target);
    qbtest::WriteFile(out.TempPath(), "new help file");
    out.Commit();
    EXPECT_EQ("new help file", qbtest::ReadFile(target));
}
