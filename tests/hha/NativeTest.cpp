// The built-in compiler: round trips read back by independent readers.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "hha/ChmContainer.h"
#include "hha/hha.h"
#include "hha/HhaLzxSection.h"
#include "hha/HhaNavigation.h"
#include "hha/HhaProject.h"
#include "hha/HhaStoredLzx.h"
#include "tests/hha/ChmRead.h"
#include "tests/hha/GenProject.h"
#include "tests/hha/HhaTestUtil.h"
#include "tests/support/TestSupport.h"

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
    std::string script =
        "import struct, chm.chm as c, chm.extra as e\n"
        "e.struct = struct\n"
        "f = c.CHMFile()\n"
        "assert f.LoadCHM('" +
        chm +
        "')\n"
        "ok, hits = f.Search(b'" +
        word +
        "', 1, 0)\n"
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

// Name (as shown) and Local of every contents entry, in order, as
// "name|local". (chmls rebuilds entries that stand outside any <UL> one
// level down, so levels are not compared.)
std::vector<std::string> TocLines(const std::string& sitemap) {
    std::vector<std::string> lines;
    for (const auto& e : qb::hha::ParseSitemap(sitemap)) {
        std::string local = e.Param("Local");
        std::replace(local.begin(), local.end(), '\\', '/');
        if (local.rfind("./", 0) == 0) local = local.substr(2);
        lines.push_back(qb::hha::DecodeEntities(e.Param("Name")) + "|" + local);
    }
    return lines;
}

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

    // The contents as a reader rebuilds them match the project's contents file.
    std::string toc = dir / "toc.hhc";
    RunCommand("chmls extracttoc '" + p.chm + "' '" + toc + "' > /dev/null 2>&1");
    std::vector<std::string> expected = TocLines(p.hhcText), actual = TocLines(qbtest::ReadFile(toc));
    EXPECT_EQ(expected, actual) << qbtest::ReadFile(toc).substr(0, 800);

    qbtest::WriteFile(dir / "meta.py",
                      "import struct, chm.chm as c, chm.extra as e\ne.struct = struct\n"
                      "f = c.CHMFile()\nf.LoadCHM('" +
                          p.chm +
                          "')\n"
                          "print(f.title.decode(), f.home.decode(), f.topics.decode(), hex(f.lcid))\n");
    EXPECT_EQ("Generated Help /P0.html /Help.hhc 0x407\n",
              RunCommand("/usr/bin/python3 '" + dir.path() + "meta.py' 2>&1"));
}

namespace {
// Pages by name below the project folder, and every name the compiler asked for.
struct KeptPages {
    std::map<std::string, std::string> bytes;
    std::vector<std::string> asked;
};
int KeptPage(void* context, const char* name, const char** bytes, size_t* size) {
    auto& kept = *static_cast<KeptPages*>(context);
    kept.asked.emplace_back(name);
    auto it = kept.bytes.find(name);
    if (it == kept.bytes.end()) return 0;
    *bytes = it->second.data();
    *size = it->second.size();
    return 1;
}
void Ignore(const char*) {}
}  // namespace

// Pages the caller keeps in memory are stored as read from there; they need not exist on disk.
TEST(Native, PagesTheCallerKeepsAreReadFromItsMemory) {
    qbtest::TempDir dir;
    GenProject p = MakeProject(dir.path(), 10);
    KeptPages kept;
    for (const auto& [name, bytes] : p.expected) {
        const std::string path = p.folder + name.substr(1);
        if (name.size() < 5 || name.substr(name.size() - 5) != ".html" || !fs::exists(path)) continue;
        kept.bytes[name.substr(1)] = bytes;
        fs::remove(path);
    }
    ASSERT_GT(kept.bytes.size(), 10u);
    EXPECT_EQ(1, HHA_CompileHHPKept(p.hhp.c_str(), Ignore, nullptr, 0, KeptPage, &kept));
    ExpectRoundTrip(p, dir / "x7");
    for (const auto& [name, bytes] : kept.bytes)
        EXPECT_NE(kept.asked.end(), std::find(kept.asked.begin(), kept.asked.end(), name)) << name << " was not asked for";

    // The other backend reads the disk only: it declines before doing anything.
    fs::remove(p.chm);
    EnvVar backend("QB_HHA_BACKEND", "chmcmd");
    EXPECT_EQ(-1, HHA_CompileHHPKept(p.hhp.c_str(), Ignore, nullptr, 0, KeptPage, &kept));
    EXPECT_FALSE(fs::exists(p.chm));
}

// Readers look a word up lower-cased as typed ("Elbstraße" as "elbstraße"):
// words with sharp s are found so, and as "ss" too.
TEST(Native, SharpSIsFoundAsTypedAndAsSs) {
    qbtest::TempDir dir;
    const std::string head =
        "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\"><title>";
    qbtest::WriteFile(dir / "a.html", head + "Hafen</title></head><body>Elbstra\xC3\x9F" "e 5, gro\xC3\x9F" "e Halle</body></html>");
    qbtest::WriteFile(dir / "b.html", head + "K\xC3\xB6nigstra\xC3\x9F" "e</title></head><body>K\xC3\xB6nigstra\xC3\x9F" "e 1, Elbstrasse 7</body></html>");
    qbtest::WriteFile(dir / "h.hhp", "[OPTIONS]\r\nCompiled file=h.chm\r\nFull-text search=Yes\r\nLanguage=0x407\r\n"
                                     "[FILES]\r\na.html\r\nb.html\r\n");
    ASSERT_EQ(1, Compile(dir / "h.hhp").result);
    const std::string chm = dir / "h.chm";
    EXPECT_EQ("/a.html\n", PySearch(chm, "elbstra\\xdfe"));
    EXPECT_EQ("/a.html\n/b.html\n", PySearch(chm, "elbstrasse"));
    EXPECT_EQ("/a.html\n", PySearch(chm, "gro\\xdfe"));
    EXPECT_EQ("/a.html\n", PySearch(chm, "grosse"));
    EXPECT_EQ("/b.html\n", PySearch(chm, "k\\xf6nigstra\\xdfe"));
}

// Stored names ignore letter case: of files listed as "a.html" and "A.html"
// one is stored, and the log says which one is left out.
TEST(Native, ListedNamesThatDifferInCaseAreReported) {
    qbtest::TempDir dir;
    for (const char* name : {"a.html", "A.html", "B.HTML", "b.html"})
        qbtest::WriteFile(dir / name, std::string("<html><body>") + name + "</body></html>");
    qbtest::WriteFile(dir / "h.hhp", "[OPTIONS]\r\nCompiled file=h.chm\r\n[FILES]\r\na.html\r\nA.html\r\nB.HTML\r\n"
                                     "b.html\r\na.html\r\n");
    CompileRun run = Compile(dir / "h.hhp");
    ASSERT_EQ(1, run.result) << ::testing::PrintToString(run.log);
    int warnings = 0;
    for (const auto& line : run.log) warnings += line.rfind("Warning: ", 0) == 0;
    EXPECT_EQ(2, warnings) << ::testing::PrintToString(run.log);
    EXPECT_TRUE(run.Logged("Warning: A.html is left out")) << ::testing::PrintToString(run.log);
    EXPECT_TRUE(run.Logged("Warning: b.html is left out")) << ::testing::PrintToString(run.log);
    const auto stored = ReadWithChmlib(dir / "h.chm");
    EXPECT_EQ("<html><body>a.html</body></html>", stored.count("/a.html") ? stored.at("/a.html") : "");
    EXPECT_EQ("<html><body>B.HTML</body></html>", stored.count("/B.HTML") ? stored.at("/B.HTML") : "");
}

TEST(Native, FailuresNameTheFileAndLeaveNoOutput) {
    qbtest::TempDir dir;
    GenProject p = MakeProject(dir.path(), 5);
    {
        // A listed file is missing.
        fs::remove(p.folder + "P1.html");
        CompileRun run = Compile(p.hhp);
        EXPECT_EQ(0, run.result);
        EXPECT_TRUE(run.Logged("P1.html"));
        EXPECT_FALSE(fs::exists(p.chm));
        qbtest::WriteFile(p.folder + "P1.html", p.expected["/P1.html"]);
    }
    {
        // The index file is missing.
        fs::rename(p.folder + "Help.hhk", p.folder + "moved.hhk");
        CompileRun run = Compile(p.hhp);
        EXPECT_EQ(0, run.result);
        EXPECT_TRUE(run.Logged("Help.hhk"));
        fs::rename(p.folder + "moved.hhk", p.folder + "Help.hhk");
    }
    {
        // The output folder cannot exist: its parent is a file.
        std::string text = qbtest::ReadFile(p.hhp);
        qbtest::WriteFile(dir / "blocker", "x");
        std::string bad = text;
        bad.replace(bad.find(p.chm), p.chm.size(), dir / "blocker/out.chm");
        qbtest::WriteFile(p.hhp, bad);
        CompileRun run = Compile(p.hhp);
        EXPECT_EQ(0, run.result);
        EXPECT_TRUE(run.Logged(dir / "blocker/out.chm")) << ::testing::PrintToString(run.log);
        qbtest::WriteFile(p.hhp, text);
    }
    EXPECT_EQ(1, Compile(p.hhp).result);
    EXPECT_FALSE(LeftoversBeside(p.chm));
}

TEST(Native, StopLeavesNoPartialFile) {
    qbtest::TempDir dir;
    GenProject p = MakeProject(dir.path(), 40);
    // An old compiled file stays as it was when a new compile is stopped.
    qbtest::WriteFile(p.chm, "previous");
    // Stopped at the first poll, and once half the files were read.
    for (auto [polls, lines] : {std::pair{0, -1}, std::pair{-1, 20}}) {
        CompileRun run = Compile(p.hhp, polls, lines);
        EXPECT_EQ(0, run.result);
        EXPECT_TRUE(run.Logged("stopped"));
        EXPECT_TRUE(qbtest::ReadFile(p.chm) == "previous");
        EXPECT_FALSE(LeftoversBeside(p.chm));
    }
}

TEST(Native, LargeFilesArePolledWhileRead) {
    qbtest::TempDir dir;
    GenProject p = MakeProject(dir.path(), 3);
    // 8 MB of noise listed in the project.
    std::string big(8 << 20, '\0');
    unsigned x = 12345;
    for (char& ch : big) ch = static_cast<char>((x = x * 1103515245u + 12345u) >> 24);
    qbtest::WriteFile(p.folder + "big.bin", big);
    std::string text = qbtest::ReadFile(p.hhp);
    text.insert(text.find("[FILES]\r\n") + 9, "big.bin\r\n");
    qbtest::WriteFile(p.hhp, text);
    CompileRun run = Compile(p.hhp);
    ASSERT_EQ(1, run.result);
    EXPECT_GT(run.polls, 2);
    std::string back;
    ASSERT_TRUE(ChmlibLookup(p.chm, "/big.bin", back));
    EXPECT_TRUE(back == big);
}

// One generated 500-page project, compiled by each test of the suite.
class FiveHundredPages : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = std::make_unique<qbtest::TempDir>();
        project_ = std::make_unique<GenProject>(MakeProject(dir_->path(), 500));
    }
    static void TearDownTestSuite() {
        project_.reset();
        dir_.reset();
    }
    void SetUp() override { fs::remove(project_->chm); }
    static inline std::unique_ptr<qbtest::TempDir> dir_;
    static inline std::unique_ptr<GenProject> project_;
};

TEST_F(FiveHundredPages, CompressedRoundTripAndSearch) {
    const GenProject& p = *project_;
    CompileRun run = Compile(p.hhp);
    ASSERT_EQ(1, run.result) << ::testing::PrintToString(run.log);
    qbtest::TempDir scratch;
    ExpectRoundTrip(p, scratch / "x7");
    EXPECT_EQ(Joined(p.quokkaPages), PySearch(p.chm, "quokka"));
    EXPECT_EQ("/9/P499.html\n", PySearch(p.chm, "word499"));
}

TEST_F(FiveHundredPages, ContainerRoundTripWithStoredBlocks) {
    // Uncompressed LZX blocks: checks the container apart from the compressor.
    EnvVar codec("QB_HHA_LZX", "store");
    const GenProject& p = *project_;
    ASSERT_EQ(1, Compile(p.hhp).result);
    qbtest::TempDir scratch;
    ExpectRoundTrip(p, scratch / "x7");
    EXPECT_EQ(Joined(p.quokkaPages), PySearch(p.chm, "quokka"));
}

TEST_F(FiveHundredPages, SearchIndexInSpilledRunsIsTheSameFile) {
    // Word lists of a few KB go to temporary files every few pages; the
    // merged index, and so the whole file, must not change.
    const GenProject& p = *project_;
    EnvVar epoch("SOURCE_DATE_EPOCH", "1700000000");
    ASSERT_EQ(1, Compile(p.hhp).result);
    const std::string whole = qbtest::ReadFile(p.chm);
    {
        EnvVar runs("QB_HHA_FTS_RUN_BYTES", "20000");
        ASSERT_EQ(1, Compile(p.hhp).result);
    }
    EXPECT_TRUE(whole == qbtest::ReadFile(p.chm));
    EXPECT_FALSE(LeftoversBeside(p.chm));
    EXPECT_EQ(Joined(p.quokkaPages), PySearch(p.chm, "quokka"));
}

TEST(Native, FiveThousandPagesRoundTrip) {
    qbtest::TempDir dir;
    GenProject p = MakeProject(dir.path(), 5000);
    CompileRun run = Compile(p.hhp);
    ASSERT_EQ(1, run.result) << (run.log.empty() ? "" : run.log.back());
    ExpectRoundTrip(p, dir / "x7");
    EXPECT_EQ("/99/P4999.html\n", PySearch(p.chm, "word4999"));
}

TEST(Section, EndsAtFrameAndResetBoundariesReadBack) {
    // One file fills the compressed section, so its length is the section's.
    // Readers differ most where the section ends on or next to a frame or
    // reset boundary (a reset comes every two frames).
    constexpr std::size_t kFrame = 0x8000;
    qbtest::TempDir dir;
    for (bool store : {false, true}) {
        for (std::size_t n : {std::size_t{1}, kFrame - 2, kFrame - 1, kFrame, kFrame + 1, 2 * kFrame - 1, 2 * kFrame,
                              2 * kFrame + 1, 3 * kFrame, 4 * kFrame - 1, 4 * kFrame}) {
            SCOPED_TRACE((store ? "stored, " : "compressed, ") + std::to_string(n) + " bytes");
            std::string bytes;
            for (std::size_t i = 0; bytes.size() < n; ++i)
                bytes += "<p>line " + std::to_string(i * 7919 % 1000) + "</p>\r\n";
            bytes.resize(n);
            qb::hha::ChmContainer c(store ? qb::hha::StoredSection() : qb::hha::LzxSection());
            c.AddFile("/a.html", bytes);
            std::string chm = dir / "s.chm";
            qbtest::WriteFile(chm, c.Build(0x409));
            EXPECT_TRUE(ReadWithChmlib(chm)["/a.html"] == bytes);
            EXPECT_TRUE(ReadWithMspack(chm)["/a.html"] == bytes);
            fs::remove_all(dir / "x7");
            EXPECT_TRUE(ReadWith7z(chm, dir / "x7")["/a.html"] == bytes);
        }
    }
}

TEST(Native, CompressorThreadsDoNotChangeTheFile) {
    // A file larger than the compressed stream keeps in memory, so the stream
    // goes through its temporary file, and pages around it.
    qbtest::TempDir dir;
    GenProject p = MakeProject(dir.path(), 200);
    std::string big;
    for (std::size_t i = 0; big.size() < 12'000'000; ++i)
        big += "row " + std::to_string(i * 2654435761u % 1000003) + (i % 7 ? ";" : "\n");
    qbtest::WriteFile(p.folder + "big.bin", big);
    p.expected["/big.bin"] = big;
    std::string hhp = qbtest::ReadFile(p.hhp);
    hhp.replace(hhp.find("[FILES]\r\n"), 9, "[FILES]\r\nbig.bin\r\n");
    qbtest::WriteFile(p.hhp, hhp);

    EnvVar epoch("SOURCE_DATE_EPOCH", "1700000000");
    std::string files[2];
    for (int threads : {1, 2}) {
        EnvVar count("QB_HHA_THREADS", std::to_string(threads));
        CompileRun run = Compile(p.hhp);
        ASSERT_EQ(1, run.result) << ::testing::PrintToString(run.log);
        files[threads - 1] = qbtest::ReadFile(p.chm);
        EXPECT_FALSE(LeftoversBeside(p.chm));
    }
    EXPECT_EQ(files[0].size(), files[1].size());
    EXPECT_TRUE(files[0] == files[1]);
    ExpectRoundTrip(p, dir / "x7");
}
