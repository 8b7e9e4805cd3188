// Real storage library and compiler: what the help file takes from an output
// folder with planted links, and the user's extra files.
#include <gtest/gtest.h>

#include <filesystem>

#include "Utils/FileSys.h"
#include "Utils/Utils.h"
#include "dvo/dvo.h"
#include "engine/Engine.h"
#include "tests/hha/ChmRead.h"
#include "tests/support/TestSupport.h"

using namespace qbtest;
namespace sfs = std::filesystem;

namespace {

bool Quiet(void*, int, const char*) { return false; }

bool AnyHolds(const std::map<std::string, std::string>& files, const std::string& bytes) {
    for (const auto& [name, data] : files)
        if (data.find(bytes) != std::string::npos) return true;
    return false;
}

}  // namespace

TEST(LinkedOutput, APlantedPageLinkNeverBringsItsTargetIntoTheHelpFile) {
    TempDir dir;
    WriteFile(dir.path() + "src/1/.caption", "Top\n");
    WriteFile(dir.path() + "src/1/_~_~_notes.rtf", "{\\rtf1\\ansi Top note\\par}");
    WriteFile(dir.path() + "src/1/2/.caption", "Leaf\n");
    WriteFile(dir.path() + "src/1/2/_~_~_notes.rtf", "{\\rtf1\\ansi Leaf note\\par}");
    ASSERT_EQ(1, dvo_import((dir.path() + "src").c_str(), (dir.path() + "db.kvdb").c_str())) << dvo_last_error();
    const int db = dvo_open((dir.path() + "db.kvdb").c_str());
    ASSERT_GT(db, 0);
    WriteFile(dir.path() + "secret.html", "<html><body>SECRET-BYTES</body></html>");
    WriteFile(dir.path() + "extra/notes.txt", "EXTRA-BYTES");
    sfs::create_directories(dir.path() + "out");
    sfs::create_symlink(dir.path() + "secret.html", dir.path() + "out/Leaf.html");

    qb::TConvertOptions o;
    o.DatabaseHandle = db;
    o.StartPath = "\\Organizer\\data\\1\\";
    o.RootPath = dir.path() + "out/";
    o.ChmFileName = o.RootPath + "Top.chm";
    o.WindowTitle = "Top";
    o.ChmLanguage = "0x409 English (United States)";
    o.ConvertMethod = 0;
    o.RemoveTempFiles = false;
    // A file the user adds from outside the output folder is copied in first.
    o.ExtraFiles = dir.path() + "extra/notes.txt\r\n";
    qb::RunConversion(o, &Quiet, nullptr);
    const auto first = hhatest::ReadWithChmlib(o.ChmFileName);
    // The copy is the run's own: the next run replaces it instead of numbering a new one.
    WriteFile(dir.path() + "extra/notes.txt", "EXTRA-2");
    qb::RunConversion(o, &Quiet, nullptr);
    dvo_close(db);
    EXPECT_EQ("EXTRA-2", ReadFile(o.RootPath + "notes.txt"));
    EXPECT_FALSE(sfs::exists(o.RootPath + "_0_notes.txt"));

    const auto& files = first;
    EXPECT_FALSE(AnyHolds(files, "SECRET-BYTES"));
    ASSERT_EQ(1u, files.count("/Leaf.html"));
    EXPECT_NE(std::string::npos, files.at("/Leaf.html").find("Leaf note"));
    ASSERT_EQ(1u, files.count("/notes.txt"));
    EXPECT_EQ("EXTRA-BYTES", files.at("/notes.txt"));
    EXPECT_EQ("<html><body>SECRET-BYTES</body></html>", ReadFile(dir.path() + "secret.html"));
}
