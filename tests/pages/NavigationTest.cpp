// Navigation bar, menus, sub-item lists, "See also" and page finishing.
#include "tests/engine/EngineFixture.h"
#include "tests/pages/LinkCheck.h"

using namespace qbtest;

namespace {

const std::string kRoot = "\\Organizer\\data\\";
const char* kNavTable = "<table width=\"100%\" border=\"0\"><tr><td bgcolor=blanchedalmond>";

std::string Dead(const std::string& root) {
    std::string s;
    for (const auto& d : DeadLinks(root)) s += d + "\n";
    return s;
}

// Text between the navigation table's start and its end.
std::string Bar(const std::string& page) {
    const std::size_t start = page.find(kNavTable);
    if (start == std::string::npos) return "<no bar>";
    const std::size_t from = start + std::string(kNavTable).size();
    return page.substr(from, page.find("</td></tr></table>", from) - from);
}

std::size_t CountOf(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
    return n;
}

}  // namespace

// Start item A (note, pic.png) > B (note), C (no note) > D (note).
class NavWorkedExample : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        a = store.AddItem(kRoot, "5", "A");
        store.AddNote(a, "Text of A");
        store.AddFile(a, "pic.png", "PNG");
        const std::string b = store.AddItem(a, "8", "B");
        store.AddNote(b, "Text of B");
        const std::string c = store.AddItem(a, "9", "C");
        const std::string d = store.AddItem(c, "11", "D");
        store.AddNote(d, "Text of D");
        options.StartPath = a;
        options.RolloverMenus = false;
    }
    std::string a;
};

TEST_F(NavWorkedExample, BarLinksAreRootRelativeFromEveryFolder) {
    Run();
    EXPECT_EQ("<a href=\"/A.html\">A</a> >> <a href=\"/9/C.html\">C</a> >> ", Bar(Read("9/C.html")));
    EXPECT_EQ("<a href=\"/A.html\">A</a> >> <a href=\"/9/C.html\">C</a> >> <a href=\"/9/D.html\">D</a> >> ",
              Bar(Read("9/D.html")));
    EXPECT_EQ("<a href=\"/A.html\">A</a> >> ", Bar(Read("A.html")));
    EXPECT_EQ("", Dead(out.path()));
}

TEST_F(NavWorkedExample, WithoutFolderTreeTheBarNamesNoDiskPath) {
    options.KeepFolderTree = false;
    Run();
    const std::string d = Read("D.html");
    EXPECT_EQ("<a href=\"/A.html\">A</a> >> <a href=\"/C.html\">C</a> >> <a href=\"/D.html\">D</a> >> ", Bar(d));
    EXPECT_EQ(std::string::npos, d.find(out.path()));
    EXPECT_EQ("", Dead(out.path()));
}

TEST_F(NavWorkedExample, MenusListSubItemsAndTheRootLinkIsLeftOutForTheWholeDatabase) {
    options.RolloverMenus = true;
    options.StartPath = kRoot;
    options.WholeDatabase = true;
    options.DatabaseFileName = "db.kvd";
    Run();
    // The bar is plain links, readable without scripts; the database root has a
    // menu but no link. A leaf declares its empty menu and loads its parent's
    // data, which loads the data of the level above, up to the root's.
    const std::string links =
        "<a href=\"/5/A.html\" onMouseover=\"dropdownmenu(this, event, menu1, '250px')\" "
        "onMouseout=\"delayhidemenu()\">A</a> >> "
        "<a href=\"/5/9/C.html\" onMouseover=\"dropdownmenu(this, event, menu2, '250px')\" "
        "onMouseout=\"delayhidemenu()\">C</a> >> ";
    EXPECT_EQ(
        "<script type=\"text/javascript\" src=\"/5/9/C.js\"></script><script type=\"text/javascript\">\r\n"
        "var menu3=new Array()\r\n</script>\r\n" +
            links +
            "<a href=\"/5/9/D.html\" onMouseover=\"dropdownmenu(this, event, menu3, '250px')\" "
            "onMouseout=\"delayhidemenu()\">D</a> >> ",
        Bar(Read("5/9/D.html")));
    EXPECT_EQ(
        "var menu2=new Array()\r\nmenu2[0]='<a href=\"/5/9/D.html\">D</a>'\r\n"
        "quillbookMenus('/5/A.js')\r\n",
        Read("5/9/C.js"));
    const std::string a = Read("5/A.js");
    EXPECT_NE(std::string::npos, a.find("menu1[1]='<a href=\"/5/9/C.html\">C</a>'")) << a;
    EXPECT_NE(std::string::npos, a.find("quillbookMenus('/db.kvd.js')")) << a;
    const std::string root = Read("db.kvd.js");
    EXPECT_EQ("var menu0=new Array()\r\nmenu0[0]='<a href=\"/5/A.html\">A</a>'\r\n", root);
    // An item with sub-items loads its own data.
    EXPECT_EQ("<script type=\"text/javascript\" src=\"/5/9/C.js\"></script>" + links, Bar(Read("5/9/C.html")));
    // Without scripts the bar reads as without rollover menus: "A >> C >> D >>".
    std::string text, bar = Bar(Read("5/9/D.html"));
    bool inTag = false, inScript = false;
    for (std::size_t p = 0; p < bar.size(); ++p) {
        if (bar.compare(p, 7, "<script") == 0) inScript = true;
        if (bar.compare(p, 9, "</script>") == 0) inScript = false;
        if (bar[p] == '<') inTag = true;
        if (!inTag && !inScript) text += bar[p];
        if (bar[p] == '>' && inTag) inTag = false;
    }
    EXPECT_EQ("A >> C >> D >> ", text.substr(text.find('A')));
    EXPECT_EQ("", Dead(out.path()));
}

// Menus are written once: a page's size does not grow with its siblings; with
// its depth only the bar's links grow, one per level, and one script loads the menus.
TEST_F(EngineTest, PagesDoNotGrowWithSiblingsOrDepth) {
    std::string folder;
    auto leafBar = [&](int siblings, int depth) {
        TempDir dir;
        options.RootPath = dir.path();
        const std::string top = store.AddItem(kRoot, std::to_string(100 + siblings * 100 + depth), "Top");
        std::string parent = top;
        folder.clear();
        for (int d = 1; d < depth; ++d) {
            parent = store.AddItem(parent, "d" + std::to_string(d), "Level");
            folder += "d" + std::to_string(d) + "/";
        }
        for (int i = 0; i < siblings; ++i) store.AddNote(store.AddItem(parent, "s" + std::to_string(i), "Kid"), "k");
        options.StartPath = top;
        Run();
        EXPECT_EQ("", Dead(dir.path()));
        return Bar(ReadFile(dir.path() + folder + "Kid.html"));
    };
    const std::string few = leafBar(2, 3);
    const std::size_t fewFolder = folder.size();
    const std::string many = leafBar(40, 3);
    EXPECT_EQ(few.size(), many.size()) << many;
    // Before the links: only the parent's data file names the deeper folder.
    const std::string deep = leafBar(2, 12);
    const std::string fewScripts = few.substr(0, few.find("<a ")), deepScripts = deep.substr(0, deep.find("<a "));
    EXPECT_LE(deepScripts.size(), fewScripts.size() + (folder.size() - fewFolder) + 2) << deep;
    EXPECT_EQ(1u, CountOf(deepScripts, " src=")) << deep;
    EXPECT_EQ(13u, CountOf(deep, "</a> >> ")) << deep;  // Top, d1 to d11, Kid
}

TEST_F(NavWorkedExample, PlainBarOfTheWholeDatabaseStartsWithItsRoot) {
    options.StartPath = kRoot;
    options.WholeDatabase = true;
    options.DatabaseFileName = "db.kvd";
    Run();
    EXPECT_EQ(0u, Bar(Read("5/A.html")).find("<a href=\"/db.kvd.html\">db.kvd</a> >> "));
}

TEST_F(NavWorkedExample, StoppedSubItemIsNotLinkedFromItsParent) {
    recorder.stopAtItemLine = 4;  // D
    Run();
    EXPECT_FALSE(Exists("9/D.html"));
    EXPECT_EQ(std::string::npos, Read("9/C.html").find("D.html"));
    EXPECT_EQ("", Dead(out.path()));
}

TEST_F(EngineTest, ApostrophesAreShownAsBackticksAndLinksStillResolve) {
    const std::string top = store.AddItem(kRoot, "1", "Top");
    store.AddNote(top, "top");
    const std::string tom = store.AddItem(top, "2", "Tom's notes");
    store.AddItem(tom, "3", "Leaf");
    options.StartPath = top;
    for (const bool readable : {false, true}) {
        options.ReadableFolderNames = readable;
        TempDir dir;
        options.RootPath = dir.path();
        Run();
        const std::string page = ReadFile(dir.path() + "Top.js");
        EXPECT_NE(std::string::npos, page.find(">Tom`s notes</a>'")) << page;
        EXPECT_NE(std::string::npos, page.find("Tom\\'s_notes.html\">")) << page;
        EXPECT_EQ("", Dead(dir.path()));
    }
}

TEST_F(EngineTest, PageKeptFromAnEarlierRunKeepsItsOneBar) {
    const std::string top = store.AddItem(kRoot, "1", "Top");
    store.AddNote(top, "text");
    store.AddItem(top, "2", "Sub");
    options.StartPath = top;
    Run();
    Run();
    EXPECT_EQ(1, qb::CountOccurrences(Read("Top.html"), kNavTable));
    EXPECT_EQ(1, qb::CountOccurrences(Read("Top.html"), "src=\"/_quillbook.js\""));
    EXPECT_EQ(1, qb::CountOccurrences(Read("Sub.html"), kNavTable));
}

TEST_F(EngineTest, ParentAndLeafWithOneCaptionGetOnePageEach) {
    const std::string top = store.AddItem(kRoot, "1", "Twin");
    const std::string child = store.AddItem(top, "2", "Twin");
    store.AddNote(child, "child text");
    options.StartPath = top;
    options.KeepFolderTree = false;
    Run();
    const std::string parent = Read("Twin.html");
    const std::string leaf = Read("Twin_0.html");
    EXPECT_NE(std::string::npos, parent.find("No text or attachments"));
    EXPECT_NE(std::string::npos, parent.find("<br><a href=\"/Twin_0.html\">Twin</a>"));
    EXPECT_NE(std::string::npos, leaf.find("child text"));
    EXPECT_EQ(1, qb::CountOccurrences(parent, kNavTable));
    EXPECT_EQ(1, qb::CountOccurrences(leaf, kNavTable));
    EXPECT_EQ("", Dead(out.path()));
}

TEST_F(EngineTest, AttachmentNeverReplacesAPage) {
    const std::string top = store.AddItem(kRoot, "1", "Doc");
    store.AddNote(top, "the note");
    store.AddFile(top, "Doc.html", "attached page");
    store.AddFile(top, "Doc.rtf", "attached rtf");
    const std::string sub = store.AddItem(top, "2", "Sub");
    store.AddNote(sub, "sub");
    store.AddFile(top, "Sub.html", "attached sub page");
    options.StartPath = top;
    Run();
    EXPECT_NE(std::string::npos, Read("Doc.html").find("the note"));
    EXPECT_NE(std::string::npos, Read("Sub.html").find("sub"));
    EXPECT_EQ(std::string::npos, Read("Sub.html").find("attached"));
    const std::string xml = Read("Doc.xml");
    EXPECT_NE(std::string::npos, xml.find("_Doc_")) << xml;
    EXPECT_EQ("", Dead(out.path()));
}

TEST_F(EngineTest, EmptyLeafGetsOnlyTheHeading) {
    const std::string top = store.AddItem(kRoot, "1", "Empty");
    options.StartPath = top;
    options.NavLinks = false;
    options.RolloverMenus = false;
    Run();
    EXPECT_EQ(
        "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\"></head><body><b>No text or "
        "attachments, Sub-item(s) list as below:</b><br></body>\r\n\r\n"
        "</html>\r\n",
        Read("Empty.html"));
}

// --- "See also" ------------------------------------------------------------------

class SeeAlso : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        top = store.AddItem(kRoot, "1", "Top");
        store.AddNote(top, "top");
        x = store.AddItem(top, "2", "X");
        store.AddNote(x, "x");
        y = store.AddItem(top, "3", "Y");
        store.AddItem(y, "4", "Deep");
        options.StartPath = top;
    }
    void Links(const std::string& table) { store.AddFile(kRoot, "__folder_linktable.txt", table); }
    std::string top, x, y;
};

TEST_F(SeeAlso, LinksBothWaysToThePagesTheWalkWrote) {
    Links(x + "<::>" + y + "\r\n");
    Run();
    EXPECT_NE(std::string::npos, Read("X.html").find("<p> See also: <a href=\"/3/Y.html\">Y</a> | </p><body"));
    EXPECT_NE(std::string::npos, Read("3/Y.html").find("<p> See also: <a href=\"/X.html\">X</a> | </p>"));
    EXPECT_EQ("", Dead(out.path()));
}

TEST_F(SeeAlso, SelfLinkBadLinesAndUnknownItems) {
    Links(x + "<::>" + x + "\r\n" + x + "\r\n" + x + "<::>\\Organizer\\data\\77\\\r\n" + "<::>\r\n" +
          "\\Organizer\\data\\99\\<::>" + x + "\r\n");
    Run();
    const std::string page = Read("X.html");
    EXPECT_EQ(1, qb::CountOccurrences(page, "See also:"));
    EXPECT_NE(std::string::npos, page.find("See also: <a href=\"/X.html\">X</a> | </p>")) << page;
    EXPECT_EQ(std::string::npos, page.find("77"));
    EXPECT_EQ(std::string::npos, page.find("99"));
    EXPECT_EQ("", Dead(out.path()));
}

TEST_F(SeeAlso, WithoutNavLinksTheLineStandsBeforeEveryBody) {
    Links(x + "<::>" + top + "\r\n");
    options.NavLinks = false;
    options.RolloverMenus = false;
    Run();
    const std::string page = Read("X.html");
    EXPECT_NE(std::string::npos, page.find("<p> See also: <a href=\"/Top.html\">Top</a> | </p><body"));
    EXPECT_EQ(std::string::npos, page.find("_quillbook.js"));
}

// --- Links outside a run -------------------------------------------------------

class Links : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        const std::string twelve = store.AddItem(kRoot, "12", "Twelve");
        seven = store.AddItem(twelve, "7", "Seven");
        leaf = store.AddItem(seven, "x", "Leaf");
        trips = store.AddItem(seven, "20", "My Trips");
        store.AddItem(trips, "21", "Rome");
        job.options = options;
        job.options.StartPath = seven;
        job.Store = &store;
    }
    qb::TParameters job;
    std::string seven, leaf, trips;
};

TEST_F(Links, BranchStripKeepsWhatFollowsTheStartFolder) {
    EXPECT_EQ("x.html", qb::BranchStrip(job, "12\\7\\x.html"));
    job.options.WholeDatabase = true;
    EXPECT_EQ("12\\7\\x.html", qb::BranchStrip(job, "12\\7\\x.html"));
    job.options.WholeDatabase = false;
    job.options.StartPath = kRoot;
    EXPECT_EQ("12\\7\\x.html", qb::BranchStrip(job, "12\\7\\x.html"));
}

TEST_F(Links, ItemLinkLeadsIntoTheFolderOfAnItemWithSubItems) {
    EXPECT_EQ("/Leaf.html", qb::ItemLink(job, leaf));
    EXPECT_EQ("/20/My_Trips.html", qb::ItemLink(job, trips));
    job.options.ReadableFolderNames = true;
    EXPECT_EQ("/Leaf.html", qb::ItemLink(job, leaf));
    EXPECT_EQ("/My_Trips/My_Trips.html", qb::ItemLink(job, trips));
    job.options.KeepFolderTree = false;
    EXPECT_EQ("/My_Trips.html", qb::ItemLink(job, trips));
}

TEST_F(Links, ChildLinkInTheThreeFolderModes) {
    EXPECT_EQ("/Leaf.html", qb::ChildLink(job, seven, "x", "Leaf", ".\\"));
    EXPECT_EQ("/20/My_Trips.html", qb::ChildLink(job, seven, "20", "My Trips", ".\\"));
    job.options.ReadableFolderNames = true;
    EXPECT_EQ("/./Leaf.html", qb::ChildLink(job, seven, "x", "Leaf", ".\\"));
    EXPECT_EQ("/./My_Trips/My_Trips.html", qb::ChildLink(job, seven, "20", "My Trips", "."));
    job.options.KeepFolderTree = false;
    EXPECT_EQ("Rome.html", qb::ChildLink(job, trips, "21", "Old:Rome", ".\\"));
}

TEST_F(Links, RootLinkAndUrlPath) {
    job.options.RootPath = "/tmp/out/";
    EXPECT_EQ("/9/C.html", qb::RootLink(job, ".\\9\\C.html"));
    EXPECT_EQ("/C.html", qb::RootLink(job, "/tmp/out/C.html"));
    EXPECT_EQ("/Label.html", qb::RootLink(job, "Label.html"));
    EXPECT_EQ("/C%23_100%25.html", qb::UrlPath("/C#_100%.html"));
}

TEST(LinkCheck, ReportsDeadAndSkipsExternalLinks) {
    TempDir dir;
    qb::fs::ForceDirectories(dir.path() + "sub");
    WriteFile(dir.path() + "a.html", "x");
    WriteFile(dir.path() + "sub/p.html",
              "<a href=\"/a.html\">ok</a><a HREF=\"../a.html\">ok</a><img src=\"gone.png\">"
              "<a href=\"a.html\">dead here</a><a href=\"http://example.org/\">x</a><a href=\"#top\">x</a>");
    EXPECT_EQ((std::vector<std::string>{"sub/p.html -> a.html", "sub/p.html -> gone.png"}), [&] {
        auto d = DeadLinks(dir.path());
        std::sort(d.begin(), d.end());
        return d;
    }());
}
