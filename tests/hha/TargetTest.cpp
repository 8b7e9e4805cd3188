// The help file replaces only a plain file (or takes a free name): a device,
// a FIFO or a folder named by "Compiled file=" stays as it is.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <filesystem>

#include "quillbook/CompileCommand.h"
#include "tests/support/TestSupport.h"

namespace sfs = std::filesystem;

namespace {

struct Result {
    int rc;
    std::string out;
};

Result CompileTo(const qbtest::TempDir& dir, const std::string& target) {
    qbtest::WriteFile(dir / "proj/a.html", "<html><body>a</body></html>");
    const std::string hhp = dir / "proj/Help.hhp";
    qbtest::WriteFile(hhp, "[OPTIONS]\r\nCompiled file=" + target + "\r\nDefault topic=a.html\r\nTitle=T\r\n[FILES]\r\na.html\r\n");
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    const int rc = qb::CmdCompile(hhp);
    std::string out = ::testing::internal::GetCapturedStdout();
    out += ::testing::internal::GetCapturedStderr();
    return {rc, out};
}

bool NoTempFolderLeft(const std::string& folder) {
    for (const auto& e : sfs::directory_iterator(folder))
        if (e.path().filename().string().rfind(".hha-", 0) == 0) return false;
    return true;
}

}  // namespace

TEST(CompileTarget, AFifoOrAFolderIsRefusedByNameAndKept) {
    qbtest::TempDir dir;
    sfs::create_directories(dir / "proj");
    ASSERT_EQ(0, ::mkfifo((dir / "proj/pipe.chm").c_str(), 0644));
    sfs::create_directories(dir / "proj/folder.chm/inside");
    struct Case {
        const char* name;
        const char* what;
    };
    for (const Case c : {Case{"pipe.chm", "a FIFO"}, Case{"folder.chm", "a folder"}}) {
        SCOPED_TRACE(c.name);
        const Result r = CompileTo(dir, c.name);
        EXPECT_EQ(1, r.rc) << r.out;
        EXPECT_NE(std::string::npos, r.out.find(dir / "proj/" + c.name)) << r.out;
        EXPECT_NE(std::string::npos, r.out.find(c.what)) << r.out;
        EXPECT_TRUE(NoTempFolderLeft(dir / "proj"));
    }
    EXPECT_TRUE(sfs::is_fifo(sfs::symlink_status(dir / "proj/pipe.chm")));
    EXPECT_TRUE(sfs::is_directory(dir / "proj/folder.chm/inside"));
    // A plain file and a free name are written as before.
    qbtest::WriteFile(dir / "proj/old.chm", "earlier");
    EXPECT_EQ(0, CompileTo(dir, "old.chm").rc);
    EXPECT_EQ("ITSF", qbtest::ReadFile(dir / "proj/old.chm").substr(0, 4));
    EXPECT_EQ(0, CompileTo(dir, "new.chm").rc);
    EXPECT_TRUE(sfs::is_regular_file(dir / "proj/new.chm"));
}

TEST(CompileTarget, ADeviceNodeIsNeverReplaced) {
    qbtest::TempDir dir;
    sfs::create_directories(dir / "proj");
    // A device node of our own (the null device's numbers) rather than one in /dev.
    const std::string node = dir / "proj/device.chm";
    if (::mknod(node.c_str(), S_IFCHR | 0600, makedev(1, 3)) != 0)
        GTEST_SKIP() << "cannot make a device node here (needs root and a file system that allows it)";
    const Result r = CompileTo(dir, "device.chm");
    EXPECT_EQ(1, r.rc) << r.out;
    EXPECT_NE(std::string::npos, r.out.find(node)) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("a device")) << r.out;
    struct stat st {};
    ASSERT_EQ(0, ::lstat(node.c_str(), &st));
    EXPECT_TRUE(S_ISCHR(st.st_mode));
    EXPECT_TRUE(NoTempFolderLeft(dir / "proj"));
}
