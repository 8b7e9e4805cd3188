// The website written by a real export of the bundled sample.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>

#include "dvo/dvo.h"
#include "engine/OptionSchema.h"
#include "site/WalkObserver.h"
#include "tests/engine/EngineFixture.h"
#include "tests/support/SampleDatabase.h"

using namespace qbtest;

namespace {

namespace sfs = std::filesystem;

std::map<std::string, std::string> Snapshot(const std::string& root) {
    std::map<std::string, std::string> files;
    for (const auto& e : sfs::recursive_directory_iterator(root))
        if (e.is_regular_file()) files[sfs::relative(e.path(), root).string()] = ReadFile(e.path().string());
    return files;
}

class SiteExport : public ::testing::Test {
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
        options.ConvertMethod = 0;
        options.WindowTitle = "Sample";
        options.ChmLanguage = "0x407 German (Germany)";
    }
    void Run(const std::string& root) {
        options.RootPath = root;
        options.ChmFileName = root + "Sample.chm";
        qb::TRun run(options, qb::LibraryStorage(), *useCompiler, &Recorder::Callback, &recorder);
        run.Execute();
        ASSERT_EQ("", run.WalkError());
    }

    static inline std::unique_ptr<qbtest::SampleDatabase> sample;
    static inline int handle = 0;
    NoCompiler compiler;
    qb::IHelpCompiler* useCompiler = &compiler;
    Recorder recorder;
    qb::TConvertOptions options;
};

}  // namespace

// The help file's side of the run must not notice the website.
TEST_F(SiteExport, OutputFolderIsTheSameWithAndWithoutTheSite) {
    for (const bool keepTree : {true, false}) {
        SCOPED_TRACE(keepTree ? "folder tree" : "flat");
        options.KeepFolderTree = keepTree;
        options.RemoveTempFiles = false;
        TempDir work;
        const std::string out = work.path() + "out/";
        options.SiteFolder.clear();
        Run(out);
        const auto without = Snapshot(out);
        sfs::remove_all(out);
        qb::SetOptionField(options, "SiteFolder", work.path() + "site");
        Run(out);
        EXPECT_EQ(without, Snapshot(out));
        EXPECT_TRUE(sfs::exists(work.path() + "site/index.html"));
    }
}

TEST_F(SiteExport, SiteKeepsTheNotesAfterTheOutputFolderIsCleared) {
    options.RemoveTempFiles = true;
    TempDir work;
    WritingCompiler writing;
    writing.chm = work.path() + "out/Sample.chm";
    // A compiler that could take the pages from memory: the website still reads them.
    writing.readsKept = true;
    useCompiler = &writing;
    options.SiteFolder = work.path() + "site";
    Run(work.path() + "out/");
    const std::string site = work.path() + "site/";
    EXPECT_FALSE(sfs::exists(work.path() + "out/2/4/5/Hamburg_office.html")) << "the output folder was cleared";
    int pages = 0;
    for (const auto& e : sfs::recursive_directory_iterator(site + "p"))
        if (e.path().extension() == ".html" && ReadFile(e.path().string()).find("_site/site.css") != std::string::npos)
            ++pages;
    // The sample's 51 items; the index stands for the database root.
    EXPECT_EQ(51, pages);
    const std::string hamburg = ReadFile(site + "p/2/4/5/Hamburg_office.html");
    EXPECT_NE(std::string::npos, hamburg.find("<html lang=\"de-DE\">"));
    EXPECT_NE(std::string::npos, hamburg.find("Elbstra&szlig;e")) << "the note's own HTML";
    // The file name is ASCII for the help file; the reader sees the user's name, in German words.
    EXPECT_NE(std::string::npos, hamburg.find("<a href=\"Offnungszeiten.txt\">\xC3\x96" "ffnungszeiten.txt</a>"));
    EXPECT_NE(std::string::npos, hamburg.find("<h2 id=\"files-h\">Anh\xC3\xA4nge</h2>"));
    EXPECT_NE(std::string::npos, hamburg.find("<h2>Inhalt</h2>"));
    EXPECT_EQ(std::string::npos, hamburg.find(">Contents<"));
    EXPECT_TRUE(sfs::exists(site + "p/2/4/5/Offnungszeiten.txt"));
    const std::string index = ReadFile(site + "index.html");
    // A German site: the label section too has its German caption.
    EXPECT_NE(std::string::npos, index.find(">Eigene Bezeichnungen</a>"));
    EXPECT_NE(std::string::npos, index.find("<a href=\"keywords.html#k1\">Onboarding</a>"));
    const std::string words = ReadFile(site + "_site/search-index.js");
    for (const char* w : {"\"feiertage\"", "\"elbstrasse\"", "\"饺子\"", "\"上海\""})
        EXPECT_NE(std::string::npos, words.find(w)) << w;
}

TEST_F(SiteExport, UnusableSiteFolderFailsTheRun) {
    TempDir work;
    qbtest::WriteFile(work.path() + "file", "x");
    options.SiteFolder = work.path() + "file/site";
    EXPECT_ANY_THROW(Run(work.path() + "out/"));
    // Inside the output folder it would be cleared with the pages.
    options.RemoveTempFiles = true;
    options.SiteFolder = work.path() + "out/site";
    EXPECT_ANY_THROW(Run(work.path() + "out/"));
    EXPECT_FALSE(sfs::exists(work.path() + "out/site/index.html"));
    options.RemoveTempFiles = false;
    Run(work.path() + "out/");
    EXPECT_TRUE(sfs::exists(work.path() + "out/site/index.html"));
}

TEST_F(SiteExport, AStoppedExportWritesNoSiteAndLeavesTheEarlierOne) {
    TempDir work;
    const std::string site = work.path() + "site/";
    options.SiteFolder = site;
    Run(work.path() + "out/");
    const auto before = Snapshot(site);
    ASSERT_TRUE(before.count("index.html"));
    recorder.stopAtItemLine = 5;
    Run(work.path() + "out2/");
    EXPECT_EQ(before, Snapshot(site));
    bool said = false;
    for (const auto& line : recorder.Lines()) said = said || line.find("website was not written") != std::string::npos;
    EXPECT_TRUE(said);
    // Into a fresh folder: nothing at all.
    Run(work.path() + "out3/");
    options.SiteFolder = work.path() + "fresh/";
    Run(work.path() + "out4/");
    EXPECT_FALSE(sfs::exists(work.path() + "fresh/index.html"));
}

TEST_F(SiteExport, AnUnwritableSiteFolderIsFoundBeforeTheWalk) {
    TempDir work;
    qbtest::WriteFile(work.path() + "file", "x");
    options.SiteFolder = work.path() + "file/site";
    EXPECT_ANY_THROW(Run(work.path() + "out/"));
    for (const auto& line : recorder.Lines()) EXPECT_EQ(std::string::npos, line.find("|--")) << line;
    EXPECT_FALSE(sfs::exists(work.path() + "out/2/4/5/Hamburg_office.html"));
}

TEST_F(SiteExport, TheLogNamesTheSitesIndex) {
    TempDir work;
    options.SiteFolder = work.path() + "site";
    Run(work.path() + "out/");
    bool named = false;
    for (const auto& line : recorder.Lines()) named = named || line == "Website: " + work.path() + "site/index.html";
    EXPECT_TRUE(named);
}

// Attachment types are words of the site's language like the rest: a German
// site names no type in English, also for extensions without a name of their own.
TEST_F(SiteExport, AGermanSiteNamesFileTypesInGerman) {
    TempDir work;
    options.SiteFolder = work.path() + "site";
    Run(work.path() + "out/");
    const qb::site::TSiteWords english;
    std::vector<std::string> types;
    for (const auto& e : sfs::recursive_directory_iterator(work.path() + "site/p")) {
        if (e.path().extension() != ".html") continue;
        const std::string page = ReadFile(e.path().string());
        // Rows are name, size, type.
        for (std::size_t at = page.find("<td class=\"size\">"); at != std::string::npos;
             at = page.find("<td class=\"size\">", at + 1)) {
            const std::size_t cell = page.find("</td><td>", at) + 9;
            types.push_back(page.substr(cell, page.find("</td>", cell) - cell));
        }
    }
    ASSERT_GE(types.size(), 3u);
    for (const std::string& type : types) {
        for (const std::string& name : english.fileTypes) {
            const std::size_t hole = name.find("%s");
            const std::string fixed = hole == std::string::npos ? name : name.substr(hole + 2);
            EXPECT_FALSE(hole == std::string::npos ? type == name : type.size() >= fixed.size() &&
                                                                        type.compare(type.size() - fixed.size(),
                                                                                     fixed.size(), fixed) == 0)
                << type;
        }
    }
    EXPECT_NE(types.end(), std::find(types.begin(), types.end(), "Textdatei"));
}

// print.html is the whole book: images the notes speak of are in it, loaded at
// once (a printed page shows them all), and its many sections keep ids apart.
TEST_F(SiteExport, TheWholeBookHoldsTheAttachmentsWithIdsOfTheirOwn) {
    TempDir work;
    options.SiteFolder = work.path() + "site";
    Run(work.path() + "out/");
    const std::string book = ReadFile(work.path() + "site/print.html");
    EXPECT_NE(std::string::npos, book.find("first-office.jpg\" alt=\"first-office.jpg\">")) << "the image, not lazy";
    EXPECT_EQ(std::string::npos, book.find("loading=\"lazy\""));
    EXPECT_NE(std::string::npos, book.find(">Textdatei</td>"));
    std::map<std::string, int> ids;
    for (std::size_t at = book.find(" id=\""); at != std::string::npos; at = book.find(" id=\"", at + 1))
        ++ids[book.substr(at + 5, book.find('"', at + 5) - at - 5)];
    EXPECT_GT(ids.size(), 50u);
    for (const auto& [id, count] : ids) EXPECT_EQ(1, count) << id;
    // Top-level items begin a printed page.
    EXPECT_NE(std::string::npos, book.find("<section class=\"chapter part\""));
}
