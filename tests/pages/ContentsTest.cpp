// Contents entries, nesting, label pages and the keyword index.
#include "tests/engine/EngineFixture.h"
#include "tests/pages/LinkCheck.h"

using namespace qbtest;

namespace {

const std::string kRoot = "\\Organizer\\data\\";

std::string Dead(const std::string& root) {
    std::string s;
    for (const auto& d : DeadLinks(root)) s += d + "\n";
    return s;
}

// Contents lines after the head that StartProject writes.
// Lines inside the one list that wraps every entry (checked here).
std::vector<std::string> Entries(const std::string& hhc) {
    std::vector<std::string> lines;
    bool started = false;
    for (const auto& l : qb::SplitText(hhc, "\r\n")) {
        if (l.find("<LI>") != std::string::npos || l == "<UL>") started = true;
        if (started && l != "</BODY></HTML>" && !l.empty()) lines.push_back(l);
    }
    EXPECT_GE(lines.size(), 2u);
    if (lines.size() < 2) return lines;
    EXPECT_EQ("<UL>", lines.front());
    EXPECT_EQ("</UL>", lines.back());
    return std::vector<std::string>(lines.begin() + 1, lines.end() - 1);
}

}  // namespace

TEST(ContentsEntry, EscapesTheCaptionOnlyAndNamesThePageUnchanged) {
    qb::TParameters job;
    job.ContentsLines = std::make_unique<qb::TStringList>();
    qb::AddContentsEntry(job, std::string(".\\9\\Q&A.html"), "Q&A <new> \"quoted\"", false, "  ");
    qb::AddContentsEntry(job, std::nullopt, "Empty", true, "");
    qb::AddContentsEntry(job, std::nullopt, "Folder", false, "");
    EXPECT_EQ(
        "  <LI><OBJECT type=\"text/sitemap\">\r\n"
        "      <param name=\"Name\" value=\"Q&amp;A &lt;new&gt; &quot;quoted&quot;\">\r\n"
        "      <param name=\"Local\" value=\".\\9\\Q&A.html\">\r\n"
        "      </OBJECT>\r\n"
        "<LI><OBJECT type=\"text/sitemap\">\r\n"
        "    <param name=\"Name\" value=\"Empty\">\r\n"
        "    <param name=\"New\" value=\"1\">\r\n"
        "    </OBJECT>\r\n"
        "<LI><OBJECT type=\"text/sitemap\">\r\n"
        "    <param name=\"Name\" value=\"Folder\">\r\n"
        "    </OBJECT>\r\n",
        job.ContentsLines->Text());
}

class ContentsTree : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        top = store.AddItem(kRoot, "1", "Top");
        store.AddNote(top, "t");
        const std::string one = store.AddItem(top, "2", "One");
        store.AddNote(one, "1");
        store.AddItem(top, "3", "Empty");
        options.StartPath = top;
    }
    std::string top;
};

TEST_F(ContentsTree, TopNodeNotFolderPutsSubItemsBesideTheStartItem) {
    Run();
    const auto e = Entries(Read("Help.hhc"));
    ASSERT_EQ(12u, e.size());
    EXPECT_EQ("  <LI><OBJECT type=\"text/sitemap\">", e[4]);
    EXPECT_EQ("      <param name=\"New\" value=\"1\">", e[10]);
    for (const auto& l : e) EXPECT_EQ(std::string::npos, l.find("<UL>"));
}

TEST_F(ContentsTree, WithoutTopNodeNotFolderSubItemsAreNested) {
    options.TopNodeNotFolder = false;
    options.IgnoreEmptyItems = true;
    Run();
    const auto e = Entries(Read("Help.hhc"));
    ASSERT_EQ(10u, e.size());
    EXPECT_EQ("  <UL>", e[4]);
    EXPECT_EQ("      <param name=\"Name\" value=\"One\">", e[6]);
    EXPECT_EQ("  </UL>", e[9]);
    EXPECT_EQ(Read("Help.hhc"), Read("Help.hhk"));
}

// --- Label pages ------------------------------------------------------------------

class Labels : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        top = store.AddItem(kRoot, "1", "Top");
        store.AddNote(top, "t");
        trips = store.AddItem(top, "2", "Trips");
        rome = store.AddItem(trips, "3", "Rome");
        store.AddNote(rome, "r");
        outside = store.AddItem(kRoot, "9", "Outside");
        store.AddNote(outside, "o");
        options.StartPath = top;
    }
    void LabelFile(const std::string& text) { store.AddFile(kRoot, "__custom_labels.txt", text); }
    std::string top, trips, rome, outside;
};

TEST_F(Labels, PagesLinkTheirItemsInEveryFolderMode) {
    LabelFile("::Label::\t1\t#C00000\tTravel\r\n" + trips + "\r\n" + rome.substr(0, rome.size() - 1) + "\r\n\r\n");
    struct Mode {
        bool keep, readable;
        std::string tripsLink, romeLink;
    };
    for (const auto& m :
         {Mode{false, false, "Trips.html", "Rome.html"}, Mode{true, false, "/2/Trips.html", "/2/Rome.html"},
          Mode{true, true, "/Trips/Trips.html", "/Trips/Rome.html"}}) {
        TempDir dir;
        options.RootPath = dir.path();
        options.KeepFolderTree = m.keep;
        options.ReadableFolderNames = m.readable;
        Run();
        EXPECT_EQ(
            "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\"><script "
            "type=\"text/javascript\" language=\"JavaScript\" src=\"/_quillbook.js\"></script>"
            "<link rel=\"stylesheet\" type=\"text/css\" href=\"/_quillbook.css\" /><body>\r\n"
            "<a href=\"" +
                m.tripsLink +
                "\">Trips</a><br>\r\n"
                "<a href=\"" +
                m.romeLink + "\">Rome</a><br></body>\r\n\r\n</html>\r\n",
            ReadFile(dir.path() + "Travel.html"));
        EXPECT_EQ("", Dead(dir.path()));
    }
}

TEST_F(Labels, ContentsSectionAndProgress) {
    LabelFile("::Label::\t1\t#C00000\tTravel\r\n" + rome + "\r\n\r\n");
    Run();
    const auto e = Entries(Read("Help.hhc"));
    EXPECT_EQ("    <param name=\"Name\" value=\"Custom Labels\">", e[1]);
    EXPECT_EQ("<UL>", e[3]);
    EXPECT_EQ("    <param name=\"Local\" value=\"Travel.html\">", e[6]);
    EXPECT_EQ("</UL>", e[8]);
    bool reported = false;
    for (const auto& ev : recorder.events) reported |= ev.text == "  Travel" && ev.position == 0;
    EXPECT_TRUE(reported);
}

TEST_F(Labels, ShortHeadersUnclosedSectionsAndItemsOutsideTheBranch) {
    LabelFile("::Label::\t1\tShort\r\n" + rome +
              "\r\n\r\n"  // names no label: skipped
              "::Label::\t2\t#0\tFirst\r\n" +
              rome +
              "\r\n"  // closed by the next header: no page
              "::Label::\t3\t#0\tSecond\r\n" +
              outside + "\r\n" + rome +
              "\r\n\\Organizer\\data\\404\\\r\n\r\n"
              "::Label::\t4\t#0\tLast\r\n" +
              rome + "\r\n");  // never closed: no page
    options.NavLinks = false;
    options.RolloverMenus = false;
    Run();
    const std::string hhc = Read("Help.hhc");
    EXPECT_EQ(std::string::npos, hhc.find("Short"));
    EXPECT_NE(std::string::npos, hhc.find("value=\"First.html\""));
    EXPECT_NE(std::string::npos, hhc.find("value=\"Last.html\""));
    EXPECT_FALSE(Exists("First.html"));
    EXPECT_FALSE(Exists("Last.html"));
    // Without navigation links the script and style sheet are not written, so not named.
    EXPECT_EQ(
        "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; "
        "charset=UTF-8\"><body>\r\nOutside<br>\r\n<a href=\"/2/Rome.html\">Rome</a><br></body>\r\n\r\n</html>\r\n",
        Read("Second.html"));
    EXPECT_EQ("", Dead(out.path()));
}

TEST_F(Labels, LabelAndItemOfTheSameNameKeepTheirOwnPages) {
    store.AddItem(top, "5", "Travel");
    LabelFile("::Label::\t1\t#0\tTravel\r\n" + rome + "\r\n\r\n::Label::\t1\t#0\tTravel\r\n" + top + "\r\n\r\n");
    Run();
    EXPECT_NE(std::string::npos, Read("Travel.html").find("Rome</a>"));
    EXPECT_NE(std::string::npos, Read("Travel_0.html").find("Top</a>"));
    EXPECT_NE(std::string::npos, Read("Travel_1.html").find("No text or attachments"));
    EXPECT_EQ("", Dead(out.path()));
}
