// Whole exports of the bundled sample database through the real storage library.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "dvo/dvo.h"
#include "tests/engine/EngineFixture.h"
#include "tests/pages/LinkCheck.h"
#include "tests/support/SampleDatabase.h"

using namespace qbtest;

namespace {

const char* kNavTable = "<table width=\"100%\" border=\"0\"><tr><td bgcolor=blanchedalmond>";

struct FolderMode {
    const char* name;
    bool keepFolderTree;
    bool readableNames;
};
const FolderMode kModes[] = {{"flat", false, false}, {"storage names", true, false}, {"readable names", true, true}};

class SampleExport : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        sample = std::make_unique<qbtest::SampleDatabase>();
        handle = sample->Handle();
        ASSERT_GT(handle, 0);
    }
    static void TearDownTestSuite() { sample.reset(); }
    void SetUp() override {
        options.DatabaseHandle = handle;
        options.StartPath = "\\Organizer\\data\\";
        options.WholeDatabase = true;
        options.DatabaseFileName = "sample.kvd";
        options.ConvertMethod = 2;
        options.RemoveTempFiles = false;
        options.WindowTitle = "Sample";
        options.ChmLanguage = "0x409 English (United States)";
    }
    void Run(const std::string& root) {
        options.RootPath = root;
        options.ChmFileName = root + "Sample.chm";
        qb::TRun run(options, qb::LibraryStorage(), compiler, &Recorder::Callback, &recorder);
        run.Execute();
        ASSERT_EQ("", run.WalkError());
    }
    // Pages below root that carry the navigation table more than once.
    static std::vector<std::string> PagesFinishedTwice(const std::string& root) {
        std::vector<std::string> twice;
        qb::TStringList pages;
        qb::FindFiles(pages, root, "*.html", true);
        for (const auto& p : pages)
            if (qb::CountOccurrences(ReadFile(p), kNavTable) > 1) twice.push_back(p);
        return twice;
    }

    static inline std::unique_ptr<qbtest::SampleDatabase> sample;
    static inline int handle = 0;
    NoCompiler compiler;
    Recorder recorder;
    qb::TConvertOptions options;
};

std::string Join(const std::vector<std::string>& v) {
    std::string s;
    for (const auto& x : v) s += x + "\n";
    return s;
}

}  // namespace

TEST_F(SampleExport, EveryLinkResolvesInEveryFolderMode) {
    for (const bool rollover : {true, false}) {
        for (const auto& mode : kModes) {
            SCOPED_TRACE(std::string(mode.name) + (rollover ? ", rollover menus" : ", plain bar"));
            TempDir out;
            options.KeepFolderTree = mode.keepFolderTree;
            options.ReadableFolderNames = mode.readableNames;
            options.RolloverMenus = rollover;
            Run(out.path());
            qb::TStringList pages;
            qb::FindFiles(pages, out.path(), "*.html", true);
            EXPECT_GE(pages.Count(), 50);
            EXPECT_EQ("", Join(DeadLinks(out.path())));
            EXPECT_EQ("", Join(PagesFinishedTwice(out.path())));
            // Both labels got their page, and the see-also links are there.
            EXPECT_TRUE(qb::fs::FileExists(out.path() + "Onboarding.html"));
            EXPECT_TRUE(qb::fs::FileExists(out.path() + "Needs_review.html"));
            int seeAlso = 0;
            for (const auto& p : pages) seeAlso += qb::CountOccurrences(ReadFile(p), "<p> See also: ");
            EXPECT_EQ(6, seeAlso);
        }
    }
}

TEST_F(SampleExport, BranchExportLinksOnlyWhatItHolds) {
    for (const auto& mode : kModes) {
        SCOPED_TRACE(mode.name);
        TempDir out;
        options.WholeDatabase = false;
        options.StartPath = "\\Organizer\\data\\2\\4\\";
        options.KeepFolderTree = mode.keepFolderTree;
        options.ReadableFolderNames = mode.readableNames;
        Run(out.path());
        EXPECT_TRUE(qb::fs::FileExists(out.path() + "Locations.html"));
        EXPECT_EQ("", Join(DeadLinks(out.path())));
    }
}

TEST_F(SampleExport, SecondRunIntoTheSameFolderFinishesNothingTwice) {
    for (const auto& mode : kModes) {
        SCOPED_TRACE(mode.name);
        TempDir out;
        options.KeepFolderTree = mode.keepFolderTree;
        options.ReadableFolderNames = mode.readableNames;
        Run(out.path());
        Run(out.path());
        EXPECT_EQ("", Join(PagesFinishedTwice(out.path())));
        EXPECT_EQ("", Join(DeadLinks(out.path())));
    }
}

// Hovering a navigation link in a real browser shows the sub-item menu.
TEST_F(SampleExport, RolloverMenuWorksInHeadlessChromium) {
    const std::string chromium = "/usr/bin/chromium";
    if (!qb::fs::FileExists(chromium)) GTEST_SKIP() << "chromium is not installed";
    TempDir out;
    Run(out.path());
    const std::string page = out.path() + "2/4/5/Hamburg_office.html";
    ASSERT_TRUE(qb::fs::FileExists(page));
    const std::string log = out.path() + "browser.log";
    const std::string cmd = "python3 '" QB_PAGES_DIR "/menu_browser.py' " + chromium + " '" + out.path() + "' '" +
                            page + "' Locations 'Hamburg office' 'Shanghai office' 'Remote work' >'" + log + "' 2>&1";
    const int rc = std::system(cmd.c_str());
    EXPECT_EQ(0, rc) << ReadFile(log);
}
