#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

std::string Shell(const std::string& command, int* status) {
    std::string out;
    FILE* f = popen(command.c_str(), "r");
    if (!f) return out;
    char buf[4096];
    for (std::size_t n; (n = fread(buf, 1, sizeof buf, f)) > 0;) out.append(buf, n);
    const int rc = pclose(f);
    *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return out;
}

}  // namespace

// Atomic replace over an existing file, a help file held open by another
// program, paths beyond 260 characters, binary writes, links refused, locks,
// scratch files and processes, on Windows itself.
TEST(WineSeam, TheWindowsImplementationKeepsTheSeamsPromises) {
    const std::string exe = QB_OSWINE;
    if (exe.empty() || !std::filesystem::exists(exe)) GTEST_SKIP() << "no MinGW-w64 (posix threads) to build the check";
    if (std::system("command -v wine >/dev/null 2>&1") != 0) GTEST_SKIP() << "wine is not installed";
    char tmpl[] = "/tmp/qb-winseam-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(tmpl));
    const std::string prefix = std::string(tmpl) + "/prefix";
    const std::string env = "WINEPREFIX='" + prefix + "' WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' ";
    int status = -1;
    const std::string out = Shell(env + "wine '" + exe + "' 2>/dev/null", &status);
    Shell(env + "wineserver -k 2>&1", &status);
    std::error_code ec;
    std::filesystem::remove_all(tmpl, ec);
    EXPECT_NE(std::string::npos, out.find("SEAM OK")) << out;
    EXPECT_EQ(std::string::npos, out.find("FAIL")) << out;
}
