// Whole runs over the bundled sample database: real storage library, real
// engines, real compiler, and the help file read back by independent readers.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>

#include "Utils/FileSys.h"
#include "Utils/Utils.h"
#include "dvo/dvo.h"
#include "engine/Engine.h"
#include "tests/hha/ChmRead.h"
#include "tests/support/SampleDatabase.h"
#include "tests/support/TestSupport.h"

using namespace qbtest;

namespace {

std::vector<std::string> gLog;
bool Record(void*, int, const char* text) {
    if (text) gLog.push_back(text);
    return false;
}

// "/9/D.html" from ".\9\D.html", "9\D.html" or a path below the output folder.
std::string StoredName(const std::string& listed, const std::string& root) {
    std::string s = listed;
    if (s.rfind(root, 0) == 0) s = s.substr(root.size());
    s = qb::ToForwardSlashes(s);
    while (s.rfind("./", 0) == 0) s = s.substr(2);
    return "/" + s;
}

// [FILES] entries of a project file.
std::vector<std::string> ProjectFiles(const std::string& hhp) {
    qb::TStringList lines;
    lines.SetText(hhp);
    std::vector<std::string> files;
    bool inFiles = false;
    for (const auto& l : lines) {
        if (!l.empty() && l[0] == '[') {
            inFiles = l == "[FILES]";
            continue;
        }
        if (inFiles && !qb::Trim(l).empty()) files.push_back(qb::Trim(l));
    }
    return files;
}

std::vector<std::string> ContentsPages(const std::string& hhc) {
    std::vector<std::string> pages;
    const std::string key = "<param name=\"Local\" value=\"";
    for (std::size_t p = hhc.find(key); p != std::string::npos; p = hhc.find(key, p + 1)) {
        const std::size_t start = p + key.size();
        pages.push_back(hhc.substr(start, hhc.find('"', start) - start));
    }
    return pages;
}

// Title record (code 3) of #SYSTEM.
std::string SystemTitle(const std::string& system) {
    std::size_t p = 4;
    while (p + 4 <= system.size()) {
        const unsigned code = static_cast<unsigned char>(system[p]) | static_cast<unsigned char>(system[p + 1]) << 8;
        const unsigned len = static_cast<unsigned char>(system[p + 2]) | static_cast<unsigned char>(system[p + 3]) << 8;
        if (code == 3) return std::string(system.c_str() + p + 4);
        p += 4 + len;
    }
    return "";
}

std::string Shell(const std::string& cmd) {
    std::string out;
    if (FILE* f = popen(cmd.c_str(), "r")) {
        char buf[4096];
        std::size_t n;
        while ((n = fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
        pclose(f);
    }
    return out;
}

bool OfficeAvailable() { return std::system("command -v soffice >/dev/null 2>&1") == 0; }

class SampleExport : public ::testing::TestWithParam<int> {
protected:
    static void SetUpTestSuite() {
        db_ = new qbtest::SampleDatabase;
        handle_ = db_->Handle();
        ASSERT_GT(handle_, 0);
    }
    static void TearDownTestSuite() { delete db_; }
    qb::TConvertOptions Options(const std::string& root) const {
        qb::TConvertOptions o;
        o.DatabaseHandle = handle_;
        o.StartPath = "\\Organizer\\data\\";
        o.WholeDatabase = true;
        o.DatabaseFileName = "sample.kvdb";
        o.RootPath = root;
        o.ChmFileName = root + "sample.chm";
        o.WindowTitle = "Sample handbook";
        o.ChmLanguage = "0x409 English (United States)";
        o.ConvertMethod = static_cast<std::uint8_t>(GetParam());
        return o;
    }
    static qbtest::SampleDatabase* db_;
    static int handle_;
};

qbtest::SampleDatabase* SampleExport::db_ = nullptr;
int SampleExport::handle_ = 0;

}  // namespace

TEST_P(SampleExport, EveryListedFileAndContentsPageIsStoredOnce) {
    if (GetParam() == 1 && !OfficeAvailable()) GTEST_SKIP() << "no office installed";
    TempDir out;
    qb::TConvertOptions o = Options(out.path());
    o.RemoveTempFiles = false;
    gLog.clear();
    qb::TRun run(o, qb::LibraryStorage(), qb::LibraryHelpCompiler(), &Record, nullptr);
    run.Execute();
    ASSERT_TRUE(run.WalkError().empty()) << run.WalkError();
    const std::string chm = out.path() + "sample.chm";
    ASSERT_TRUE(qb::fs::FileExists(chm));

    std::string duplicates;
    const auto stored = hhatest::ReadWithChmlib(chm, &duplicates);
    EXPECT_TRUE(duplicates.empty()) << duplicates;
    for (const auto& [name, bytes] : stored) EXPECT_EQ(std::string::npos, name.find("/./")) << name;

    const auto files = ProjectFiles(ReadFile(out.path() + "sample.hhp"));
    ASSERT_GT(files.size(), 40u);
    const std::string tmp7z = out.path() + "7z-extract/";
    const auto extracted = hhatest::ReadWith7z(chm, tmp7z);
    const std::string listing = Shell("chmls '" + chm + "' 2>&1");
    for (const auto& f : files) {
        const std::string name = StoredName(f, out.path());
        std::string bytes;
        ASSERT_TRUE(hhatest::ChmlibLookup(chm, name, bytes)) << name;
        const std::string file = ReadFile(out.path() + name.substr(1));
        if (file != bytes) {
            // Pages in UTF-8 are stored in ASCII alone (character references).
            EXPECT_TRUE(qb::IsHtmlFile(name)) << name;
            EXPECT_TRUE(std::all_of(bytes.begin(), bytes.end(), [](char c) { return (c & 0x80) == 0; })) << name;
            EXPECT_FALSE(std::all_of(file.begin(), file.end(), [](char c) { return (c & 0x80) == 0; })) << name;
        }
        EXPECT_EQ(1u, extracted.count(name)) << name;
        EXPECT_NE(std::string::npos, listing.find(name)) << name;
    }
    for (const auto& page : ContentsPages(ReadFile(out.path() + "sample.hhc"))) {
        std::string bytes;
        EXPECT_TRUE(hhatest::ChmlibLookup(chm, StoredName(page, out.path()), bytes)) << page;
    }
    std::string system;
    ASSERT_TRUE(hhatest::ChmlibLookup(chm, "/#SYSTEM", system));
    EXPECT_EQ("Sample handbook", SystemTitle(system));
}

TEST_P(SampleExport, CleanUpLeavesOnlyTheHelpFileAndOldFiles) {
    if (GetParam() == 1 && !OfficeAvailable()) GTEST_SKIP() << "no office installed";
    TempDir out;
    WriteFile(out.path() + "mine/keep.txt", "the user's own file");
    qb::TConvertOptions o = Options(out.path());
    gLog.clear();
    qb::RunConversion(o, &Record, nullptr);
    qb::TStringList left;
    qb::FindFiles(left, out.path(), "*.*", true);
    EXPECT_EQ(2, left.Count()) << left.Text();
    EXPECT_TRUE(left.Contains(out.path() + "sample.chm"));
    EXPECT_TRUE(left.Contains(out.path() + "mine/keep.txt"));
}

INSTANTIATE_TEST_SUITE_P(Engines, SampleExport, ::testing::Values(0, 1, 2),
                         [](const auto& info) { return "method" + std::to_string(info.param); });

// Builds a chain of `depth` folders "1/1/1/..." below dir with short relative
// paths, since the whole path is longer than the system allows.
void MakeChain(const std::string& dir, int depth) {
    int fd = open(dir.c_str(), O_DIRECTORY | O_RDONLY);
    ASSERT_GE(fd, 0);
    for (int i = 0; i < depth; ++i) {
        ASSERT_EQ(0, mkdirat(fd, "1", 0755));
        const int next = openat(fd, "1", O_DIRECTORY | O_RDONLY);
        close(fd);
        ASSERT_GE(next, 0);
        fd = next;
    }
    close(fd);
}

// Removes such a chain by lifting its second level up, one level at a time.
void RemoveChain(const std::string& dir) {
    const int fd = open(dir.c_str(), O_DIRECTORY | O_RDONLY);
    if (fd < 0) return;
    while (renameat(fd, "1/1", fd, "lifted") == 0) {
        unlinkat(fd, "1", AT_REMOVEDIR);
        renameat(fd, "lifted", fd, "1");
    }
    unlinkat(fd, "1", AT_REMOVEDIR);
    close(fd);
}

TEST(DeepTree, TenThousandLevelsEndCleanly) {
    TempDir dir;
    const std::string src = dir.path() + "src/";
    qb::fs::ForceDirectories(src);
    MakeChain(src, 10000);
    const std::string file = dir.path() + "deep.kvdb";
    const int imported = dvo_import(src.c_str(), file.c_str());
    RemoveChain(src);
    ASSERT_EQ(1, imported) << dvo_last_error();
    const int db = dvo_open(file.c_str());
    ASSERT_GT(db, 0);
    qb::TConvertOptions o;
    o.DatabaseHandle = db;
    o.StartPath = "\\Organizer\\data\\1\\";
    o.RootPath = dir.path() + "out/";
    o.ChmFileName = o.RootPath + "deep.chm";
    o.ConvertMethod = 2;
    o.KeepFolderTree = false;
    o.NavLinks = false;
    o.RemoveTempFiles = false;
    gLog.clear();
    // The depth limit is under test here; the compile of its long index keywords may fail on its own.
    qb::TRun run(o, qb::LibraryStorage(), qb::LibraryHelpCompiler(), &Record, nullptr);
    try {
        run.Execute();
    } catch (const std::exception& e) {
        EXPECT_NE(std::string::npos, std::string(e.what()).find("was not compiled")) << e.what();
    }
    EXPECT_NE(std::string::npos, run.WalkError().find("deeper than")) << run.WalkError();
    dvo_close(db);
}
