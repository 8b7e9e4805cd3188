#include "support/Path.h"
#include "support/Scratch.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>

#include "support/Error.h"
#include "tests/support/TestOs.h"

using namespace qb;

TEST(Path, NativePathTurnsBackslashes) {
    EXPECT_EQ("./9/D.html", NativePath(".\\9\\D.html"));
    EXPECT_EQ("/a/b", NativePath("/a/b"));
}

// The common wildcard cases are tested with the file helpers that use them.
TEST(Path, MatchesMaskKnowsNoUnixPatternSyntax) {
    EXPECT_TRUE(MatchesMask(".hidden", "*.*"));
    // A leading dot and "/" are plain characters for a Windows mask.
    EXPECT_TRUE(MatchesMask(".x.html", "*.html"));
    EXPECT_TRUE(MatchesMask("a/b.txt", "a*.txt"));
    // Brackets and backslashes are no pattern syntax.
    EXPECT_TRUE(MatchesMask("[a].txt", "[a].txt"));
    EXPECT_FALSE(MatchesMask("a.txt", "[a].txt"));
    EXPECT_TRUE(MatchesMask("a\\b", "a\\b"));
    EXPECT_FALSE(MatchesMask("ab", "a\\b"));
}

TEST(Scratch, FoldersAreFreshAndPrivate) {
    const std::string base = TempDirectory();
    ASSERT_FALSE(base.empty());
    EXPECT_NE('/', base.back());
    const std::string a = MakeScratchFolder(base + "/qb-support-test-", "cannot");
    const std::string b = MakeScratchFolder(base + "/qb-support-test-", "cannot");
    EXPECT_NE(a, b);
    struct stat st {};
    ASSERT_EQ(0, ::stat(a.c_str(), &st));
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    if (!qbtest::OnWindows()) EXPECT_EQ(0700u, st.st_mode & 0777u);  // no permission bits there
    EXPECT_EQ(0u, a.rfind(base + "/qb-support-test-", 0));
    std::filesystem::remove(a);
    std::filesystem::remove(b);
}

TEST(Scratch, FailureNamesTheReasonAndKeepsErrno) {
    try {
        MakeScratchFolder("/nonexistent-qb-folder/x-", "Cannot create a temporary folder");
        FAIL() << "no error raised";
    } catch (const Error& e) {
        EXPECT_EQ(ENOENT, errno);
        EXPECT_STREQ("Cannot create a temporary folder: No such file or directory", e.what());
    }
}
