// Captions are text: whatever they hold, they show as written and never become
// markup or script in any page the run writes.
#include <filesystem>

#include "tests/engine/EngineFixture.h"
#include "tests/pages/LinkCheck.h"

using namespace qbtest;

namespace {

const std::string kRoot = "\\Organizer\\data\\";
const std::string kCloser = "</a><b>bold</b>";
const std::string kScript = "<script>qbInjected=1</script>";
const std::string kLess = "a < b";
const std::string kQuotes = "Say \"hi\" & 'bye'";
const std::string kImage = "<img src=x onerror=qbInjected=2>";

std::string Dead(const std::string& root) {
    std::string s;
    for (const auto& d : DeadLinks(root)) s += d + "\n";
    return s;
}

// Every page and menu data file of the output folder, concatenated.
std::string AllPages(const std::string& root) {
    std::string all;
    for (const auto& e : std::filesystem::recursive_directory_iterator(root)) {
        const std::string ext = e.path().extension().string();
        const bool data = ext == ".js" && e.path().filename() != "_quillbook.js";
        if (ext == ".html" || ext == ".htm" || data) all += ReadFile(e.path().string()) + "\n";
    }
    return all;
}

// Raw forms of the hostile captions that must never reach a page.
void ExpectNoRawCaption(const std::string& pages) {
    EXPECT_EQ(std::string::npos, pages.find("<b>bold</b>"));
    EXPECT_EQ(std::string::npos, pages.find("<script>qbInjected"));
    EXPECT_EQ(std::string::npos, pages.find(kLess));
    EXPECT_EQ(std::string::npos, pages.find("\"hi\""));
    EXPECT_EQ(std::string::npos, pages.find("<img"));
}

}  // namespace

// Parent kCloser (note) > kScript (note), kLess (note), kQuotes (no note) > leaf (note), kImage (note).
class HostileCaptions : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        top = store.AddItem(kRoot, "1", kCloser);
        store.AddNote(top, "top");
        script = store.AddItem(top, "2", kScript);
        store.AddNote(script, "s");
        less = store.AddItem(top, "3", kLess);
        store.AddNote(less, "l");
        quotes = store.AddItem(top, "4", kQuotes);
        store.AddNote(store.AddItem(quotes, "5", "Leaf"), "leaf");
        store.AddNote(store.AddItem(top, "6", kImage), "i");
        options.StartPath = top;
    }
    std::string top, script, less, quotes;
};

TEST_F(HostileCaptions, BarSubItemListAndSeeAlsoShowCaptionsAsText) {
    store.AddFile(kRoot, "__folder_linktable.txt", script + "<::>" + less + "\r\n");
    options.RolloverMenus = false;
    for (const bool keep : {true, false}) {
        SCOPED_TRACE(keep);
        TempDir dir;
        options.RootPath = dir.path();
        options.KeepFolderTree = keep;
        Run();
        const std::string q = keep ? "4/" : "";
        const std::string leaf = ReadFile(dir.path() + q + "Leaf.html");
        EXPECT_NE(std::string::npos,
                  leaf.find(">&lt;/a&gt;&lt;b&gt;bold&lt;/b&gt;</a> >> <a href=\"/" + q +
                            "Say__hi____'bye'.html\">Say &quot;hi&quot; &amp; &#39;bye&#39;</a> >> "))
            << leaf;
        EXPECT_NE(
            std::string::npos,
            ReadFile(dir.path() + "a___b.html")
                .find("See also: <a "
                      "href=\"/_script_qbInjected=1__script_.html\">&lt;script&gt;qbInjected=1&lt;/script&gt;</a> | "));
        // The empty item's own page lists its sub-item.
        const std::string empty = ReadFile(dir.path() + q + "Say__hi____'bye'.html");
        EXPECT_NE(std::string::npos, empty.find("<br><a href=\"/" + q + "Leaf.html\">Leaf</a>")) << empty;
        ExpectNoRawCaption(AllPages(dir.path()));
        EXPECT_EQ("", Dead(dir.path()));
    }
}

TEST_F(HostileCaptions, MenuEntriesAreEscapedHtmlInsideScriptStrings) {
    options.RolloverMenus = true;
    Run();
    // The leaf's page loads its parent's menu data.
    const std::string page = Read("a___b.html");
    const std::string src = "<script type=\"text/javascript\" src=\"/";
    const std::size_t at = page.find(src);
    ASSERT_NE(std::string::npos, at) << page;
    const std::size_t from = at + src.size();
    const std::string data = Read(page.substr(from, page.find('"', from) - from));
    EXPECT_NE(std::string::npos, data.find("menu0[0]='<a href=\"/_script_qbInjected=1__script_.html\">"
                                           "&lt;script&gt;qbInjected=1&lt;/script&gt;</a>'"))
        << data;
    EXPECT_NE(std::string::npos, data.find("menu0[1]='<a href=\"/a___b.html\">a &lt; b</a>'"));
    // The apostrophe is shown as a backtick; the double quotes stay text.
    EXPECT_NE(std::string::npos, data.find(">Say &quot;hi&quot; &amp; `bye`</a>'"));
    // The bar's links are HTML text in the page.
    EXPECT_NE(std::string::npos, page.find("\">&lt;/a&gt;&lt;b&gt;bold&lt;/b&gt;</a> >> ")) << page;
    EXPECT_NE(std::string::npos, page.find("\">a &lt; b</a> >> ")) << page;
    ExpectNoRawCaption(AllPages(out.path()));
    EXPECT_EQ("", Dead(out.path()));
}

TEST_F(HostileCaptions, TitlesAndMetaAttributesOfEveryEngineAndTheAttachmentPage) {
    store.AddFile(quotes, "doc.txt", "text");
    options.RolloverMenus = false;
    options.NavLinks = false;
    for (const int method : {0, 2}) {
        SCOPED_TRACE(method);
        TempDir dir;
        options.RootPath = dir.path();
        options.ConvertMethod = static_cast<std::uint8_t>(method);
        Run();
        const std::string page = ReadFile(dir.path() + "a___b.html");
        if (method == 0)
            EXPECT_NE(std::string::npos, page.find("<meta name=\"Quillbook\" content=\"a &lt; b\">")) << page;
        else
            EXPECT_NE(std::string::npos, page.find("<title>a &lt; b</title>")) << page;
        EXPECT_NE(std::string::npos, ReadFile(dir.path() + "_script_qbInjected=1__script_.html")
                                         .find("&lt;script&gt;qbInjected=1&lt;/script&gt;"));
        const std::string attachments = ReadFile(dir.path() + "4/Say__hi____'bye'.html");
        EXPECT_NE(std::string::npos, attachments.find("<TITLE>Say &quot;hi&quot; &amp; &#39;bye&#39;</TITLE>"))
            << attachments;
        EXPECT_NE(std::string::npos, attachments.find("<H1>Say &quot;hi&quot; &amp; &#39;bye&#39;</H1>"));
        ExpectNoRawCaption(AllPages(dir.path()));
    }
}

TEST_F(HostileCaptions, LabelPagesShowLinkedAndUnlinkedCaptionsAsText) {
    const std::string outside = store.AddItem(kRoot, "9", "x</a><i>y");
    store.AddFile(kRoot, "__custom_labels.txt", "::Label::\t1\t#0\tMarked\r\n" + less + "\r\n" + outside + "\r\n\r\n");
    Run();
    const std::string label = Read("Marked.html");
    EXPECT_NE(std::string::npos, label.find("<a href=\"/a___b.html\">a &lt; b</a><br>")) << label;
    EXPECT_NE(std::string::npos, label.find("\r\nx&lt;/a&gt;&lt;i&gt;y<br>")) << label;
    EXPECT_EQ("", Dead(out.path()));
}

// The rollover menu still works in a real browser when captions look like markup.
TEST_F(HostileCaptions, MenuWorksAndRunsNoCaptionInHeadlessChromium) {
    const std::string chromium = "/usr/bin/chromium";
    if (!qb::fs::FileExists(chromium)) GTEST_SKIP() << "chromium is not installed";
    store.AddFile(kRoot, "__folder_linktable.txt", script + "<::>" + less + "\r\n");
    options.RolloverMenus = true;
    Run();
    const std::string log = out.path() + "browser.log";
    auto quote = [](const std::string& s) { return "'" + qb::ReplaceAll(s, "'", "'\\''") + "'"; };
    const std::string cmd = "python3 '" QB_PAGES_DIR "/menu_browser.py' " + chromium + " " + quote(out.path()) + " " +
                            quote(out.path() + "a___b.html") + " " + quote(kCloser) + " " + quote(kScript) + " " +
                            quote(kLess) + " " + quote("Say \"hi\" & `bye`") + " " + quote(kImage) + " >" + quote(log) +
                            " 2>&1";
    const int rc = std::system(cmd.c_str());
    EXPECT_EQ(0, rc) << ReadFile(log);
}

// --- Sub-item lists, menus and counts follow what the walk exports ---------------

TEST_F(EngineTest, EmptyItemPageLinksEachSubItemNotTheParentsAttachment) {
    const std::string top = store.AddItem(kRoot, "1", "Top");
    store.AddFile(top, "index.htm", "<html><body>own index</body></html>");
    store.AddNote(store.AddItem(top, "2", "First"), "1");
    store.AddNote(store.AddItem(top, "3", "Second"), "2");
    options.StartPath = top;
    options.NavLinks = false;
    options.RolloverMenus = false;
    Run();
    // The attachment stands for the item in the contents; its own page lists the sub-items.
    EXPECT_NE(std::string::npos, Read("Help.hhc").find("index.htm\">")) << Read("Help.hhc");
    const std::string page = Read("Top.html");
    EXPECT_NE(std::string::npos, page.find("<br><a href=\"/First.html\">First</a>")) << page;
    EXPECT_NE(std::string::npos, page.find("<br><a href=\"/Second.html\">Second</a>")) << page;
    EXPECT_EQ(std::string::npos, page.find("index.htm"));
    EXPECT_EQ("", Dead(out.path()));
}

TEST_F(EngineTest, WithoutSubItemsMenusAndProgressCountOnlyTheStartItem) {
    const std::string top = store.AddItem(kRoot, "1", "Top");
    store.AddNote(top, "t");
    store.AddNote(store.AddItem(top, "2", "Sub"), "s");
    store.AddItem(store.AddItem(top, "3", "Folder"), "4", "Deep");
    options.StartPath = top;
    options.IncludeSubItems = false;
    options.RolloverMenus = true;
    Run();
    EXPECT_FALSE(Exists("Sub.html"));
    const std::string page = Read("Top.html");
    EXPECT_NE(std::string::npos, page.find("var menu0=new Array()\r\n</script>")) << page;
    EXPECT_EQ(std::string::npos, page.find("menu0[0]"));
    EXPECT_FALSE(Exists("Top.js"));
    std::vector<int> itemPositions;
    for (const auto& e : recorder.events)
        if (e.text.rfind("|--", 0) == 0) itemPositions.push_back(e.position);
    EXPECT_EQ(std::vector<int>{100}, itemPositions);
    bool counted = false;
    for (const auto& e : recorder.events) counted |= e.text.find("Find 1 node item(s)") != std::string::npos;
    EXPECT_TRUE(counted);
    EXPECT_EQ("", Dead(out.path()));
}

TEST_F(EngineTest, LabelProgressIsAPercentageOfTheLabelLines) {
    const std::string top = store.AddItem(kRoot, "1", "Top");
    store.AddNote(top, "t");
    options.StartPath = top;
    std::string labels;
    for (const char* name : {"First", "Second", "Third"}) {
        labels += std::string("::Label::\t1\t#0\t") + name + "\r\n";
        for (int i = 0; i < 149; ++i) labels += top + "\r\n";
        labels += "\r\n";
    }
    store.AddFile(kRoot, "__custom_labels.txt", labels);
    Run();
    std::vector<std::pair<std::string, int>> reported;
    for (const auto& e : recorder.events)
        if (e.text.rfind("  ", 0) == 0 && e.text.find("--") == std::string::npos)
            reported.emplace_back(e.text, e.position);
    // 453 lines: the headers stand at lines 0, 151 and 302.
    EXPECT_EQ((std::vector<std::pair<std::string, int>>{{"  First", 0}, {"  Second", 33}, {"  Third", 66}}), reported);
}
