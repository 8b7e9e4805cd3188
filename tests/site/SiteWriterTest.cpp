// The website writer fed by a walk played by hand.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

#include "site/SiteWriter.h"
#include "tests/support/TestSupport.h"

using namespace qb::site;
using qbtest::ReadFile;
using qbtest::TempDir;
using qbtest::WriteFile;

namespace {

namespace sfs = std::filesystem;

const std::string kRoot = "\\Organizer\\data\\";

std::size_t Count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
    return n;
}

class SiteWriter : public ::testing::Test {
protected:
    TempDir out, siteDir;
    TSiteWriter site{siteDir.path() + "www"};
    TRunStart run;

    void SetUp() override {
        run.outputRoot = out.path();
        run.title = "Notes";
        run.labelsCaption = "Custom Labels";
    }
    // An item with a page in the output folder; returns its storage path.
    std::string Enter(const std::string& parent, const std::string& name, const std::string& caption, int level) {
        const std::string path = parent + name + "\\";
        site.ItemEntered(path, caption, level);
        return path;
    }
    void Written(const std::string& path, const std::string& page, const std::string& body, bool inContents = true,
                 std::vector<std::string> attachments = {}, std::vector<std::string> seeAlso = {}) {
        sfs::create_directories(sfs::path(out.path() + page.substr(1)).parent_path());
        WriteFile(out.path() + page.substr(1), "<html><head></head><table><tr><td>bar</td></tr></table><body>" + body +
                                                   "</body>\r\n\r\n</html>\r\n");
        TItemWritten item;
        item.path = path;
        item.page = page;
        item.hasNote = !body.empty();
        item.inContents = inContents;
        item.attachments = std::move(attachments);
        item.seeAlso = std::move(seeAlso);
        site.ItemWritten(item);
    }
    std::string Page(const std::string& rel) { return ReadFile(siteDir.path() + "www/" + rel); }
    static std::string Sidebar(const std::string& page) {
        const auto a = page.find("<nav class=\"toc\""), b = page.find("</nav>", a);
        if (a == std::string::npos) return std::string();
        return page.substr(a, b - a);
    }
};

}  // namespace

TEST_F(SiteWriter, ContentsNestLikeTheHelpFileAndPagesLinkRelatively) {
    run.topNodeNotFolder = true;
    site.RunStarted(run);
    const std::string top = Enter("\\Organizer\\data\\", "1", "Start", 0);
    const std::string a = Enter(top, "2", "Alpha", 1);
    const std::string deep = Enter(a, "3", "Deep & <odd>", 2);
    Written(deep, "/2/Deep.html", "<p>deep text with <a href=\"/Start.html\">a link up</a></p>");
    Written(a, "/2/Alpha.html", "");
    const std::string b = Enter(top, "4", "Beta", 1);
    const std::string stopped = Enter(b, "5", "Stopped", 2);
    (void)stopped;  // the walk stopped here: entered, never written
    Written(b, "/Beta.html", "<p>beta</p>");
    Written(top, "/Start.html", "<p>start</p>");
    site.RunFinished();

    const std::string index = Page("index.html");
    const std::string tree = Sidebar(index);
    // The start item's sub-items stand beside it, not below it.
    EXPECT_LT(tree.find(">Start</a></li>"), tree.find(">Alpha</a>"));
    EXPECT_NE(std::string::npos, tree.find("<li class=\"leaf\"><a href=\"p/Start.html\">Start</a></li>"));
    EXPECT_NE(std::string::npos, tree.find("<li class=\"branch\"><a href=\"p/2/Alpha.html\">Alpha</a>"));
    EXPECT_NE(std::string::npos, tree.find("Deep &amp; &lt;odd&gt;"));
    EXPECT_EQ(std::string::npos, index.find("Stopped"));

    const std::string deepPage = Page("p/2/Deep.html");
    EXPECT_EQ(0u, deepPage.find("<!DOCTYPE html>\n"));
    EXPECT_NE(std::string::npos, deepPage.find("<meta charset=\"utf-8\">"));
    EXPECT_NE(std::string::npos, deepPage.find("<title>Deep &amp; &lt;odd&gt; \xE2\x80\x93 Notes</title>"));
    EXPECT_NE(std::string::npos, deepPage.find("href=\"../../_site/site.css\""));
    EXPECT_NE(std::string::npos, deepPage.find("<a href=\"../Start.html\">a link up</a>"));
    EXPECT_EQ(std::string::npos, deepPage.find("bar</td>")) << "the help file's bar is not part of the note";
    // Breadcrumb: home, then the contents ancestors, then the page itself.
    const auto crumbs = deepPage.substr(deepPage.find("class=\"crumbs\""));
    EXPECT_LT(crumbs.find("../../index.html"), crumbs.find("../Start.html"));
    EXPECT_LT(crumbs.find("../Start.html"), crumbs.find("Alpha.html"));
    EXPECT_NE(std::string::npos, crumbs.find("<li aria-current=\"page\">Deep &amp; &lt;odd&gt;</li>"));
    // Its ancestors' branches are open, the page is marked.
    EXPECT_NE(std::string::npos, Sidebar(deepPage).find("<details open>"));
    EXPECT_NE(std::string::npos, Sidebar(deepPage).find("aria-current=\"page\">Deep"));

    // An empty item lists its sub-items; an item whose sub-item was stopped lists none.
    const std::string alpha = Page("p/2/Alpha.html");
    EXPECT_NE(std::string::npos, alpha.find("<h2 id=\"sub-h\">Sub-items</h2>\n<ul>\n<li><a href=\"Deep.html\">"));
    EXPECT_EQ(std::string::npos, Page("p/Beta.html").find("id=\"sub-h\""));
    EXPECT_FALSE(sfs::exists(siteDir.path() + "www/p/Stopped.html"));
    for (const char* f : {"keywords.html", "search.html", "_site/site.css", "_site/search.js", "_site/search-index.js"})
        EXPECT_TRUE(sfs::exists(siteDir.path() + "www/" + f)) << f;
}

TEST_F(SiteWriter, ItemsOutsideTheContentsNestTheirSubItemsOneLevelUp) {
    run.topNodeNotFolder = false;
    run.title.clear();
    site.RunStarted(run);
    // The database root has a page but no contents entry.
    const std::string root = kRoot;
    site.ItemEntered(root, "db", 0);
    const std::string a = Enter(root, "1", "A", 1);
    const std::string a1 = Enter(a, "2", "A1", 2);
    Written(a1, "/1/A1.html", "<p>x</p>");
    Written(a, "/A.html", "<p>x</p>");
    const std::string empty = Enter(root, "3", "Empty leaf", 1);
    Written(empty, "/Empty_leaf.html", "", false);
    Written(root, "/db.html", "", false);
    site.RunFinished();
    const std::string tree = Sidebar(Page("index.html"));
    EXPECT_EQ(0u, tree.find("<nav class=\"toc\" id=\"toc\" aria-label=\"Contents\">\n<h2>Contents</h2>\n<ul>\n<li "
                            "class=\"branch\"><a href=\"p/A.html\">A</a>"));
    EXPECT_EQ(std::string::npos, tree.find(">db<"));
    EXPECT_EQ(std::string::npos, tree.find("Empty leaf"));
    // Still a page of its own, reached from the index, which stands for the root (no page of its own).
    EXPECT_NE(std::string::npos, Page("index.html").find("<li><a href=\"p/Empty_leaf.html\">Empty leaf</a></li>"));
    EXPECT_FALSE(sfs::exists(siteDir.path() + "www/p/db.html"));
    // Without a title of its own the site is named after its first entry.
    EXPECT_NE(std::string::npos, Page("index.html").find("<title>A</title>"));
}

TEST_F(SiteWriter, AttachmentsLabelsAndSeeAlso) {
    run.labels = {{"Onboarding", {kRoot + "1", "\\organizer\\DATA\\2\\", kRoot + "99\\"}}, {"Empty", {}}};
    site.RunStarted(run);
    const std::string one = Enter(kRoot, "1", "One", 0);
    sfs::create_directories(out.path() + "1");
    WriteFile(out.path() + "1/pic.png", std::string(2048, 'p'));
    WriteFile(out.path() + "1/notes.txt", "hello");
    Written(one, "/1/One.html", "", true, {"/1/pic.png", "/1/notes.txt"}, {kRoot + "2\\", kRoot + "77\\"});
    const std::string two = Enter(kRoot, "2", "Two", 0);
    Written(two, "/Two.html", "<p>two</p>", true, {}, {one});
    site.RunFinished();

    const std::string page = Page("p/1/One.html");
    EXPECT_NE(
        std::string::npos,
        page.find("<tr><td><a href=\"pic.png\">pic.png</a></td><td class=\"size\">2.0 KB</td><td>PNG image</td></tr>"));
    EXPECT_NE(std::string::npos, page.find("<td class=\"size\">5 B</td><td>Text</td>"));
    EXPECT_NE(std::string::npos, page.find("<a href=\"pic.png\"><img src=\"pic.png\" alt=\"pic.png\""));
    EXPECT_EQ(1u, Count(page, "<img "));
    EXPECT_EQ(ReadFile(out.path() + "1/pic.png"), Page("p/1/pic.png"));
    EXPECT_EQ("hello", Page("p/1/notes.txt"));
    // See also: the linked item that has a page, not the one outside the export.
    EXPECT_NE(std::string::npos,
              page.find("<h2 id=\"see-h\">See also</h2>\n<ul>\n<li><a href=\"../Two.html\">Two</a></li>\n</ul>"));
    EXPECT_NE(std::string::npos, Page("p/Two.html").find("<li><a href=\"1/One.html\">One</a></li>"));

    const std::string keywords = Page("keywords.html");
    const auto onboarding = keywords.substr(keywords.find("<h2 id=\"k1\">Onboarding</h2>"));
    EXPECT_NE(
        std::string::npos,
        onboarding.find("<li><a href=\"p/1/One.html\">One</a></li>\n<li><a href=\"p/Two.html\">Two</a></li>\n</ul>"));
    EXPECT_NE(std::string::npos, keywords.find("<h2 id=\"k2\">Empty</h2>\n<p>No exported item"));
    EXPECT_NE(std::string::npos, page.find("Keywords: <a href=\"../../keywords.html#k1\">Onboarding</a>"));
    // The label section heads the contents, as in the help file.
    const std::string tree = Sidebar(Page("index.html"));
    EXPECT_LT(tree.find("Custom Labels"), tree.find(">One<"));
    EXPECT_NE(std::string::npos, tree.find("<a href=\"keywords.html#k2\">Empty</a>"));
}

TEST_F(SiteWriter, TwoItemsOnOnePageGetAPageEach) {
    site.RunStarted(run);
    const std::string a = Enter(kRoot, "1", "Same", 0);
    Written(a, "/Same.html", "<p>first</p>");
    const std::string b = Enter(kRoot, "2", "Same", 0);
    TItemWritten second;
    second.path = b;
    second.page = "/Same.html";
    second.inContents = true;
    site.ItemWritten(second);
    site.RunFinished();
    EXPECT_NE(std::string::npos, Page("p/Same.html").find("first"));
    EXPECT_NE(std::string::npos, Page("p/Same_2.html").find("<h1>Same</h1>"));
}

// Every page carrying the whole tree of a large export makes the site grow
// with the square of its items.
TEST_F(SiteWriter, LargeContentsShowOnlyTheBranchesThatLeadToThePage) {
    site.RunStarted(run);
    const int branches = 30, leaves = 20;  // 631 entries, above the limit
    ASSERT_GT(static_cast<std::size_t>(branches * (leaves + 1)), TSiteWriter::kFullTreeLimit);
    const std::string start = Enter(kRoot, "s", "Start", 0);
    for (int b = 0; b < branches; ++b) {
        const std::string branch = Enter(start, "b" + std::to_string(b), "Branch " + std::to_string(b), 1);
        for (int l = 0; l < leaves; ++l) {
            const std::string leaf =
                Enter(branch, "l" + std::to_string(l), "Leaf " + std::to_string(b) + "." + std::to_string(l), 2);
            Written(leaf, "/b" + std::to_string(b) + "/l" + std::to_string(l) + ".html", "<p>x</p>");
        }
        Written(branch, "/b" + std::to_string(b) + ".html", "<p>x</p>");
    }
    Written(start, "/Start.html", "<p>x</p>");
    site.RunFinished();
    const std::string page = Sidebar(Page("p/b7/l3.html"));
    EXPECT_NE(std::string::npos, page.find("Leaf 7.19"));
    EXPECT_EQ(std::string::npos, page.find("Leaf 8.0"));
    EXPECT_NE(std::string::npos, page.find("Branch 29"));
    EXPECT_EQ(1 + branches + leaves, static_cast<int>(Count(page, "<li")));
    // The start page too shows only the top level: it stays light for any size of tree.
    const std::string index = Page("index.html");
    EXPECT_NE(std::string::npos, Sidebar(index).find("Branch 29"));
    EXPECT_EQ(std::string::npos, index.find("Leaf 29.19"));
    EXPECT_EQ(static_cast<std::size_t>(1 + branches), Count(Sidebar(index), "<li"));
}

namespace {

// One export of a flat list of items into the fixture's site folder.
class SiteFolder : public SiteWriter {
protected:
    std::string www() const { return siteDir.path() + "www/"; }
    void Export(const std::vector<std::string>& captions) {
        TSiteWriter writer(www());
        writer.RunStarted(run);
        for (std::size_t i = 0; i < captions.size(); ++i) {
            const std::string path = kRoot + std::to_string(i) + "\\";
            writer.ItemEntered(path, captions[i], 0);
            const std::string page = "/" + captions[i] + ".html";
            WriteFile(out.path() + page.substr(1), "<body><p>" + captions[i] + " text</p></body>");
            TItemWritten item;
            item.path = path;
            item.page = page;
            item.hasNote = true;
            item.inContents = true;
            writer.ItemWritten(item);
        }
        writer.RunFinished();
    }
    static bool IsLink(const std::string& p) { return sfs::is_symlink(sfs::symlink_status(p)); }
};

}  // namespace

TEST_F(SiteFolder, ALaterExportRemovesThePagesOfAnEarlierOneAndKeepsTheUsersFiles) {
    Export({"A", "B", "C"});
    ASSERT_TRUE(sfs::exists(www() + "p/C.html"));
    WriteFile(www() + "notes.txt", "mine");
    WriteFile(www() + "p/mine.html", "mine too");
    Export({"A"});
    EXPECT_TRUE(sfs::exists(www() + "p/A.html"));
    EXPECT_FALSE(sfs::exists(www() + "p/B.html"));
    EXPECT_FALSE(sfs::exists(www() + "p/C.html"));
    EXPECT_EQ("mine", ReadFile(www() + "notes.txt"));
    EXPECT_EQ("mine too", ReadFile(www() + "p/mine.html"));
    // The search finds only what is there.
    const std::string index = ReadFile(www() + "_site/search-index.js");
    EXPECT_EQ(std::string::npos, index.find("p/B.html"));
    const std::string record = ReadFile(www() + kSiteRecordName);
    EXPECT_NE(std::string::npos, record.find("\np/A.html\n"));
    EXPECT_EQ(std::string::npos, record.find("p/B.html"));
    EXPECT_EQ(std::string::npos, record.find("notes.txt"));
}

TEST_F(SiteFolder, ARecordNamingFilesOutsideTheFolderDeletesNothingThere) {
    TempDir elsewhere;
    WriteFile(elsewhere.path() + "precious.txt", "keep");
    sfs::create_directories(www() + "sub");
    WriteFile(www() + "sub/x.txt", "keep too");
    WriteFile(www() + kSiteRecordName, "# planted\n" + elsewhere.path() + "precious.txt\n../" +
                                           sfs::path(elsewhere.path()).filename().string() +
                                           "/precious.txt\nsub\\x.txt\n");
    Export({"A"});
    EXPECT_EQ("keep", ReadFile(elsewhere.path() + "precious.txt"));
    EXPECT_EQ("keep too", ReadFile(www() + "sub/x.txt"));
}

TEST_F(SiteFolder, AUsersFileAtAFixedNameStopsTheExportBeforeAnythingIsWritten) {
    sfs::create_directories(www());
    WriteFile(www() + "index.html", "the user's home page");
    TSiteWriter writer(www());
    try {
        writer.RunStarted(run);
        FAIL() << "a user's index.html was accepted";
    } catch (const std::exception& e) {
        EXPECT_NE(std::string::npos, std::string(e.what()).find("\"index.html\"")) << e.what();
    }
    EXPECT_EQ("the user's home page", ReadFile(www() + "index.html"));
    EXPECT_FALSE(sfs::exists(www() + kSiteRecordName));
}

TEST_F(SiteFolder, AUsersFileAtAPageNameKeepsItsNameAndThePageTakesAnother) {
    sfs::create_directories(www() + "p");
    WriteFile(www() + "p/A.html", "user's page");
    Export({"A"});
    EXPECT_EQ("user's page", ReadFile(www() + "p/A.html"));
    EXPECT_NE(std::string::npos, ReadFile(www() + "p/A_2.html").find("A text"));
    EXPECT_NE(std::string::npos, ReadFile(www() + "index.html").find("href=\"p/A_2.html\""));
    // Exported again, the user's file still stays.
    Export({"A"});
    EXPECT_EQ("user's page", ReadFile(www() + "p/A.html"));
}

TEST_F(SiteFolder, ASiteOfAVersionWithoutRecordIsTakenForOursOnce) {
    sfs::create_directories(www() + "_site");
    sfs::create_directories(www() + "p");
    WriteFile(www() + "_site/search-index.js", "window.QB_SEARCH={};");
    WriteFile(www() + "index.html", "old index");
    WriteFile(www() + "p/Old.html", "old page");
    Export({"A"});
    EXPECT_FALSE(sfs::exists(www() + "p/Old.html"));
    EXPECT_NE(std::string::npos, ReadFile(www() + "index.html").find("p/A.html"));
}

TEST_F(SiteFolder, LinksInTheSiteFolderAreReplacedNeverWrittenThrough) {
    Export({"A", "B"});
    TempDir elsewhere;
    WriteFile(elsewhere.path() + "victim.html", "keep");
    sfs::create_directories(elsewhere.path() + "pdir");
    sfs::create_directories(elsewhere.path() + "sitedir");
    // Links where our own files and folders stood.
    for (const char* f : {"index.html", "search.html", "p/A.html"}) {
        sfs::remove(www() + f);
        sfs::create_symlink(elsewhere.path() + "victim.html", www() + f);
    }
    sfs::remove_all(www() + "_site");
    sfs::create_symlink(elsewhere.path() + "sitedir", www() + "_site");
    Export({"A", "B"});
    EXPECT_EQ("keep", ReadFile(elsewhere.path() + "victim.html"));
    EXPECT_TRUE(sfs::is_empty(elsewhere.path() + "sitedir"));
    for (const char* f : {"index.html", "search.html", "p/A.html", "_site"}) EXPECT_FALSE(IsLink(www() + f)) << f;
    EXPECT_NE(std::string::npos, ReadFile(www() + "p/A.html").find("A text"));

    // The page folder itself a link: the pages go into a real folder in the site.
    sfs::remove_all(www() + "p");
    sfs::create_symlink(elsewhere.path() + "pdir", www() + "p");
    Export({"A", "B"});
    EXPECT_TRUE(sfs::is_empty(elsewhere.path() + "pdir"));
    EXPECT_FALSE(IsLink(www() + "p"));
    EXPECT_TRUE(sfs::is_regular_file(www() + "p/B.html"));
}

TEST_F(SiteFolder, AnUnwritableSiteFolderStopsTheExportAtItsStart) {
    WriteFile(siteDir.path() + "file", "a file where a folder is wanted");
    TSiteWriter blocked(siteDir.path() + "file/www");
    EXPECT_THROW(blocked.RunStarted(run), std::exception);
    if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
    sfs::create_directories(www());
    sfs::permissions(www(), sfs::perms::owner_read | sfs::perms::owner_exec);
    TSiteWriter writer(www());
    EXPECT_THROW(writer.RunStarted(run), std::exception);
    sfs::permissions(www(), sfs::perms::owner_all);
}

TEST_F(SiteFolder, AnExportThatNeverFinishesLeavesTheEarlierSiteAsItWas) {
    Export({"A", "B"});
    const std::string before = ReadFile(www() + "index.html");
    {
        TSiteWriter writer(www());
        writer.RunStarted(run);
        writer.ItemEntered(kRoot + "0\\", "C", 0);
    }
    EXPECT_EQ(before, ReadFile(www() + "index.html"));
    EXPECT_TRUE(sfs::exists(www() + "p/B.html"));
    EXPECT_FALSE(sfs::exists(www() + "p/C.html"));
    // And the next complete export still knows the earlier pages as its own.
    Export({"C"});
    EXPECT_FALSE(sfs::exists(www() + "p/B.html"));
}

TEST_F(SiteWriter, PagesLinkPreviousAndNextInContentsOrder) {
    site.RunStarted(run);
    const std::string top = Enter(kRoot, "1", "Start", 0);
    const std::string a = Enter(top, "2", "Alpha", 1);
    const std::string a1 = Enter(a, "3", "Alpha one", 2);
    Written(a1, "/A1.html", "<p>a1</p>");
    Written(a, "/Alpha.html", "<p>alpha</p>");
    const std::string b = Enter(top, "4", "Beta", 1);
    Written(b, "/Beta.html", "<p>beta</p>");
    Written(top, "/Start.html", "<p>start</p>");
    site.RunFinished();
    // Contents: Start, Alpha > Alpha one, Beta (sub-items of the start stand beside it).
    const std::string alpha = Page("p/Alpha.html");
    EXPECT_NE(std::string::npos, alpha.find("<link rel=\"prev\" href=\"Start.html\">"));
    EXPECT_NE(std::string::npos, alpha.find("<link rel=\"next\" href=\"A1.html\">"));
    EXPECT_NE(std::string::npos, alpha.find("rel=\"next\" href=\"A1.html\"><span>Next</span> Alpha one</a>"));
    const std::string a1page = Page("p/A1.html");
    EXPECT_NE(std::string::npos, a1page.find("<link rel=\"next\" href=\"Beta.html\">"));
    const std::string beta = Page("p/Beta.html");
    EXPECT_EQ(std::string::npos, beta.find("rel=\"next\""));
    EXPECT_NE(std::string::npos, Page("index.html").find("<link rel=\"next\" href=\"p/Start.html\">"));
    EXPECT_EQ(std::string::npos, Page("p/Start.html").find("rel=\"prev\""));
    // The whole book in one page, in the same order.
    const std::string print = Page("print.html");
    const auto s = print.find(">Start<"), al = print.find(">Alpha<"), one = print.find(">Alpha one<"),
               be = print.find(">Beta<");
    ASSERT_NE(std::string::npos, be);
    EXPECT_TRUE(s < al && al < one && one < be);
    EXPECT_NE(std::string::npos, print.find("<p>a1</p>"));
    EXPECT_NE(std::string::npos, Page("404.html").find("<a href=\"index.html\">Notes</a>"));
}

TEST_F(SiteWriter, FixedWordsComeFromTheRunAndAttachmentsShowTheUsersNames) {
    run.language = "de-DE";
    run.words.attachments = "Anh\xC3\xA4nge";
    run.words.search = "Suche";
    run.words.contents = "Inhalt";
    run.words.size = "Gr\xC3\xB6\xC3\x9F" "e";
    site.RunStarted(run);
    const std::string a = Enter(kRoot, "1", "Hours", 0);
    WriteFile(out.path() + "Offnungszeiten.txt", "9-5");
    sfs::create_directories(out.path());
    WriteFile(out.path() + "Hours.html", "<body><p>x</p></body>");
    TItemWritten item;
    item.path = a;
    item.page = "/Hours.html";
    item.hasNote = true;
    item.inContents = true;
    item.attachments = {"/Offnungszeiten.txt"};
    item.attachmentNames = {"\xC3\x96" "ffnungszeiten.txt"};
    site.ItemWritten(item);
    site.RunFinished();
    const std::string page = Page("p/Hours.html");
    EXPECT_NE(std::string::npos, page.find("<html lang=\"de-DE\">"));
    EXPECT_NE(std::string::npos, page.find("<h2 id=\"files-h\">Anh\xC3\xA4nge</h2>"));
    EXPECT_NE(std::string::npos, page.find("<h2>Inhalt</h2>"));
    EXPECT_NE(std::string::npos, page.find("placeholder=\"Suche\""));
    EXPECT_NE(std::string::npos, page.find("<th scope=\"col\">Gr\xC3\xB6\xC3\x9F" "e</th>"));
    EXPECT_NE(std::string::npos, page.find("<a href=\"Offnungszeiten.txt\">\xC3\x96" "ffnungszeiten.txt</a>"));
    EXPECT_EQ(std::string::npos, page.find(">Attachments<"));
    EXPECT_EQ(std::string::npos, page.find(">Contents<"));
    // Searchable by the name the reader sees.
    EXPECT_NE(std::string::npos, Page("_site/search-index.js").find("\"\xC3\xB6" "ffnungszeiten"));
    // One search box on the search page.
    EXPECT_EQ(1u, Count(Page("search.html"), "type=\"search\""));
}
