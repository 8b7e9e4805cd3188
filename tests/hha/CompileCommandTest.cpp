// `quillbook compile`: the library found beside the executable, lines printed.
#include <gtest/gtest.h>

#include <filesystem>

#include "quillbook/CompileCommand.h"
#include "tests/hha/GenProject.h"
#include "tests/support/TestSupport.h"

using namespace hhatest;

TEST(CompileCommand, PrintsCompilerLinesAndReportsTheResult) {
    qbtest::TempDir dir;
    GenProject p = MakeProject(dir.path(), 4);
    ::testing::internal::CaptureStdout();
    int rc = qb::CmdCompile(p.hhp);
    std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(0, rc);
    EXPECT_NE(std::string::npos, out.find(".\\P0.html\n")) << out;
    EXPECT_TRUE(std::filesystem::exists(p.chm));

    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    rc = qb::CmdCompile(dir / "none.hhp");
    out = ::testing::internal::GetCapturedStdout();
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(1, rc);
    // The reason goes to stderr only.
    EXPECT_NE(std::string::npos, err.find("none.hhp")) << err;
    EXPECT_EQ(std::string::npos, out.find("none.hhp")) << out;
}
