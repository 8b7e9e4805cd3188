// The built-in compiler: round trips read back by independent readers.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "ChmRead.h"
#include "GenProject.h"
#include "HhaProject.h"
#include "HhaTestUtil.h"
#include "TestSupport.h"

using namespace hhatest;
namespace fs = std::filesystem;

namespace {

bool LeftoversBeside(const std::string& chm) {
    for (const auto& e : fs::directory_iterator(fs::path(chm).parent_path()))
        if (e.path().filename().string().rfind(".hha-", 0) == 0) return true;
    return false;
}

// Every expected file read back byte for byte by chmlib, libmspack and 7z.
void ExpectRoundTrip(const GenProject& p, const std::string& scratch) {
    std::string dups;
    auto chmlib = ReadWithChmlib(p.chm, &dups);
    EXPECT_EQ("", dups);
    auto mspack = ReadWithMspack(p.chm);
    auto sevenZip = ReadWith7z(p.chm, scratch);
    std::size_t bad = 0;
    for (const auto& [name, bytes] : p.expected) {
        bool ok = chmlib.count(name) && chmlib[name] == bytes && mspack.count(name) && mspack[name] == bytes &&
                  sevenZip.count(name) && sevenZip[name] == bytes;
        if (!ok && ++bad <= 5) {
            ADD_FAILURE() << name << ": chmlib " << chmlib.count(name) << " " << (chmlib[name] == bytes) << ", mspack "
                          << mspack.count(name) << " " << (mspack[name] == bytes) << ", 7z " << sevenZip.count(name)
                          << " " << (sevenZip[name] == bytes);
        }
    }
    EXPECT_EQ(0u, bad);
    for (const auto& [name, bytes] : chmlib) EXPECT_EQ(std::string::npos, name.find("/./")) << name;
}

std::string PySearch(const std::string& chm, const std::string& word) {
    // Debian's module misses an import that LoadCHM needs when $FIftiMain exists.
    std::string script = "import struct, chm.chm as c, chm.extra as e\n"
                         "e.struct = struct\n"
                         "f = c.CHMFile()\n"
                         "assert f.LoadCHM('" + chm + "')\n"
                         "ok, hits = f.Search(b'" + word + "', 1, 0)\n"
                         "print('\\n'.join(sorted('/' + v.decode().lstrip('/') for v in hits.values())))\n";
    qbtest::TempDir dir;
    qbtest::WriteFile(dir / "s.py", script);
    return RunCommand("/usr/bin/python3 " + dir.path() + "s.py 2>&1");
}

std::string Joined(std::vector<std::string> names) {
    std::sort(names.begin(), names.end());
    std::string out;
    for (const auto& n : names) out += n + "\n";
    return out;
}

}  // namespace

TEST(Native, SmallProjectRoundTrip) {
    qbtest::TempDir dir;
    GenProject p = MakeProject(dir.path(), 10);
    CompileRun run = Compile(p.hhp);
    ASSERT_EQ(1, run.result) << ::testing::PrintToString(run.log);
    for (const auto& name : p.listed) EXPECT_TRUE(run.Logged(name)) << name;
    EXPECT_FALSE(LeftoversBeside(p.chm));
    ExpectRoundTrip(p, dir / "x7");

    std::string chmls = RunCommand("chmls -n list '" + p.chm + "' 2>&1");
    EXPECT_NE(std::string::npos, chmls.find("/img/logo.png")) << chmls;
    EXPECT_NE(std::string::npos, chmls.find("/$FIftiMain")) << chmls;
    EXPECT_EQ(Joined(p.quokkaPages), PySearch(p.chm, "quokka"));
}

TEST(Native, FiveHundredPagesRoundTripAndSearch) {
    qbtest::TempDir dir;
    GenProject p = MakeProject(dir.path(), 500);
    CompileRun run = Compile(p.hhp);
    ASSERT_EQ(1, run.result) << ::testing::PrintToString(run.log);
    ExpectRoundTrip(p, dir / "x7");
    EXPECT_EQ(Joined(p.quokkaPages), PySearch(p.chm, "quokka"));
    EXPECT_EQ("/9/P499.html\n", PySearch(p.chm, "word499"));
}

TEST(Native, FiveThousandPagesRoundTrip) {
    qbtest::TempDir dir;
    GenProject p = MakeProject(dir.path(), 5000);
    CompileRun run = Compile(p.hhp);
    ASSERT_EQ(1, run.result) << (run.log.empty() ? "" : run.log.back());
    ExpectRoundTrip(p, dir / "x7");
    EXPECT_EQ("/99/P4999.html\n", PySearch(p.chm, "word4999"));
}
