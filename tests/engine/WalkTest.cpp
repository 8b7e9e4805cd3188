#include <algorithm>

#include "support/Error.h"
#include "tests/engine/EngineFixture.h"

using namespace qbtest;

namespace {

bool Contains(const std::vector<std::string>& v, const std::string& s) {
    return std::find(v.begin(), v.end(), s) != v.end();
}

int CountOf(const std::string& text, const std::string& what) { return qb::CountOccurrences(text, what); }

}  // namespace

// Items A (note, pic.png) > B (note), C (no note) > D (note).
class WorkedExample : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        a = store.AddItem("\\Organizer\\data\\", "5", "A");
        store.AddNote(a, "Text of A");
        store.AddFile(a, "pic.png", "PNGDATA");
        b = store.AddItem(a, "8", "B");
        store.AddNote(b, "Text of B");
        c = store.AddItem(a, "9", "C");
        d = store.AddItem(c, "11", "D");
        store.AddNote(d, "Text of D");
        options.StartPath = a;
        options.RolloverMenus = false;
    }
    std::string a, b, c, d;
};

TEST_F(WorkedExample, FilesContentsProgressAndLog) {
    Run();
    EXPECT_TRUE(Exists("A.html"));
    EXPECT_TRUE(Exists("B.html"));
    EXPECT_TRUE(Exists("pic.png"));
    EXPECT_TRUE(Exists("9/C.html"));
    EXPECT_TRUE(Exists("9/D.html"));
    EXPECT_FALSE(Exists("A.rtf"));
    EXPECT_FALSE(Exists("9/D.rtf"));
    EXPECT_EQ("PNGDATA", Read("pic.png"));

    const std::string hhc = Read("Help.hhc");
    EXPECT_NE(std::string::npos, hhc.find("<LI><OBJECT type=\"text/sitemap\">\r\n"
                                          "    <param name=\"Name\" value=\"A\">\r\n"
                                          "    <param name=\"Local\" value=\".\\A.html\">\r\n"
                                          "    </OBJECT>\r\n"
                                          "  <LI><OBJECT type=\"text/sitemap\">\r\n"
                                          "      <param name=\"Name\" value=\"B\">\r\n"
                                          "      <param name=\"Local\" value=\".\\B.html\">\r\n"))
        << hhc;
    EXPECT_NE(std::string::npos, hhc.find("      <param name=\"Local\" value=\".\\9\\C.html\">\r\n"
                                          "      </OBJECT>\r\n"
                                          "    <UL>\r\n"
                                          "    <LI><OBJECT type=\"text/sitemap\">\r\n"
                                          "        <param name=\"Name\" value=\"D\">\r\n"
                                          "        <param name=\"Local\" value=\".\\9\\D.html\">\r\n"
                                          "        </OBJECT>\r\n"
                                          "    </UL>\r\n"))
        << hhc;
    // The top item is not a folder: no <UL> directly below it, only the one
    // around every entry and C's.
    EXPECT_EQ(2, CountOf(hhc, "<UL>"));

    std::vector<int> positions;
    for (const auto& e : recorder.events)
        if (!e.text.empty() && e.text[0] == '|') positions.push_back(e.position);
    EXPECT_EQ((std::vector<int>{25, 50, 75, 100}), positions);
    const auto lines = recorder.Lines();
    EXPECT_TRUE(Contains(lines, "|--A"));
    EXPECT_TRUE(Contains(lines, "|  |--B"));
    EXPECT_TRUE(Contains(lines, "|  |--C"));
    EXPECT_TRUE(Contains(lines, "|  |  |--D"));
    EXPECT_TRUE(Contains(lines, "Find 4 node item(s). Now exporting, Please waiting..."));
    // The message text starts a paragraph; the log line has no line break.
    EXPECT_TRUE(Contains(lines, "Export finished."));
    for (const auto& line : lines) EXPECT_EQ(std::string::npos, line.find('\r')) << line;

    // C has no note: the empty-item page lists D.
    const std::string cPage = Read("9/C.html");
    EXPECT_NE(std::string::npos, cPage.find("<b>No text or attachments, Sub-item(s) list as below:</b><br>"));
    EXPECT_NE(std::string::npos, cPage.find("\r\n<br><a href=\"/9/D.html\">D</a>"));
    // Support files exist and are listed for the project.
    EXPECT_TRUE(Exists("filelist.xsl"));
    EXPECT_TRUE(Exists("_jump2_.htm"));
    EXPECT_TRUE(Exists("_quillbook.css"));
    EXPECT_TRUE(Exists("_quillbook.js"));
    const std::string hhp = Read("Help.hhp");
    EXPECT_NE(std::string::npos, hhp.find("[FILES]\r\n"));
    EXPECT_NE(std::string::npos, hhp.find("\r\nfilelist.xsl\r\n"));
    EXPECT_EQ(1, compiler.calls);
}

TEST_F(WorkedExample, StopAtThirdItemStillWritesSupportFiles) {
    recorder.stopAtItemLine = 3;
    Run();
    const auto lines = recorder.Lines();
    int itemLines = 0;
    for (const auto& l : lines)
        if (l[0] == '|') ++itemLines;
    EXPECT_EQ(3, itemLines);
    EXPECT_TRUE(Contains(lines, "User cancelled."));
    EXPECT_FALSE(Contains(lines, "|  |  |--D"));
    EXPECT_TRUE(Exists("filelist.xsl"));
    EXPECT_TRUE(Exists("_quillbook.js"));
    EXPECT_FALSE(Exists("9/D.html"));
    // The nesting opened for C's sub-items is closed even though the walk stopped.
    const std::string hhc = Read("Help.hhc");
    EXPECT_EQ(CountOf(hhc, "<UL>"), CountOf(hhc, "</UL>"));
}

TEST_F(WorkedExample, IncludeSubItemsClearExportsOnlyTheStartItem) {
    options.IncludeSubItems = false;
    Run();
    EXPECT_TRUE(Exists("A.html"));
    EXPECT_FALSE(Exists("B.html"));
    EXPECT_FALSE(Exists("9/C.html"));
    int itemLines = 0;
    for (const auto& l : recorder.Lines())
        if (l[0] == '|') ++itemLines;
    EXPECT_EQ(1, itemLines);
}

TEST_F(EngineTest, WholeDatabaseRootIsTheEmptyItemPageListingTopItems) {
    const std::string root = "\\Organizer\\data\\";
    store.AddFile(root, "__custom_labels_ignored.bin", "x");
    const std::string t1 = store.AddItem(root, "1", "First");
    store.AddNote(t1, "one");
    store.AddItem(root, "2", "Second");
    options.StartPath = root;
    options.WholeDatabase = true;
    options.DatabaseFileName = "notes.kvd";
    options.RolloverMenus = false;
    Run();
    const std::string rootPage = Read("notes.kvd.html");
    EXPECT_NE(std::string::npos, rootPage.find("No text or attachments"));
    EXPECT_NE(std::string::npos, rootPage.find(">First</a>"));
    EXPECT_NE(std::string::npos, rootPage.find(">Second</a>"));
    EXPECT_FALSE(Exists("__custom_labels_ignored.bin"));
    const std::string hhc = Read("Help.hhc");
    EXPECT_EQ(std::string::npos, hhc.find("value=\"notes.kvd\""));
    EXPECT_TRUE(Contains(recorder.Lines(), "|--notes.kvd"));
}

TEST_F(EngineTest, SiblingsWithTheSameCaptionKeepBothNotes) {
    const std::string top = store.AddItem("\\Organizer\\data\\", "1", "Top");
    const std::string s1 = store.AddItem(top, "2", "Same");
    store.AddNote(s1, "first sibling");
    const std::string s2 = store.AddItem(top, "3", "Same");
    store.AddNote(s2, "second sibling");
    options.StartPath = top;
    Run();
    EXPECT_NE(std::string::npos, Read("Same.html").find("first sibling"));
    EXPECT_NE(std::string::npos, Read("Same_0.html").find("second sibling"));
    const std::string hhc = Read("Help.hhc");
    EXPECT_NE(std::string::npos, hhc.find("value=\".\\Same_0.html\""));
}

TEST_F(EngineTest, PageLeftFromEarlierRunIsKeptWithoutOverwrite) {
    const std::string top = store.AddItem("\\Organizer\\data\\", "1", "Top");
    store.AddNote(top, "new text");
    options.StartPath = top;
    options.NavLinks = false;
    WriteFile(out.path() + "Top.html", "<html><body>old page</body></html>");
    Run();
    EXPECT_NE(std::string::npos, Read("Top.html").find("old page"));
    EXPECT_FALSE(Exists("Top.rtf"));
    options.Overwrite = true;
    Run();
    EXPECT_NE(std::string::npos, Read("Top.html").find("new text"));
}

TEST_F(EngineTest, AttachmentCollisionsAndLeftovers) {
    const std::string top = store.AddItem("\\Organizer\\data\\", "1", "Top");
    const std::string x = store.AddItem(top, "2", "X");
    store.AddFile(x, "same.txt", "from X");
    const std::string y = store.AddItem(top, "3", "Y");
    store.AddFile(y, "same.txt", "from Y");
    store.AddFile(y, "old.txt", "fresh");
    store.AddFile(y, "_~_~_notes.rtf.~1", "backup");
    options.StartPath = top;
    // A file no run wrote is the user's: it stays, the attachment takes a numbered name.
    WriteFile(out.path() + "old.txt", "stale");
    Run();
    EXPECT_EQ("from X", Read("same.txt"));
    EXPECT_EQ("stale", Read("old.txt"));
    EXPECT_EQ("fresh", Read("_Y_0_old.txt"));
    EXPECT_EQ("from Y", Read("_Y_1_same.txt"));
    EXPECT_FALSE(Exists("_~_~_notes.rtf.~1"));

    // A file an earlier run wrote is replaced in place, also without Overwrite.
    store.AddFile(x, "more.txt", "first");
    Run();
    EXPECT_EQ("first", Read("more.txt"));
    qbtest::FakeStorage second;
    useStorage = &second;
    const std::string top2 = second.AddItem("\\Organizer\\data\\", "1", "Top");
    second.AddFile(second.AddItem(top2, "2", "X"), "more.txt", "second");
    Run();
    EXPECT_EQ("second", Read("more.txt"));
    EXPECT_FALSE(Exists("_X_0_more.txt"));
}

TEST_F(EngineTest, AttachmentCollisionWithOverwriteKeepsBothFiles) {
    const std::string top = store.AddItem("\\Organizer\\data\\", "1", "Top");
    const std::string x = store.AddItem(top, "2", "X");
    store.AddFile(x, "same.txt", "from X");
    const std::string y = store.AddItem(top, "3", "Y");
    store.AddFile(y, "same.txt", "from Y");
    options.StartPath = top;
    options.Overwrite = true;
    Run();
    EXPECT_EQ("from X", Read("same.txt"));
    EXPECT_EQ("from Y", Read("_Y_0_same.txt"));
}

TEST_F(EngineTest, UnsafeStorageNamesNeverLeaveTheOutputFolder) {
    qbtest::TempDir outer;
    options.RootPath = outer.path() + "out/";
    options.ChmFileName = options.RootPath + "Help.chm";
    const std::string top = store.AddItem("\\Organizer\\data\\", "1", "Top");
    const std::string dots = store.AddItem(top, "..", "");
    const std::string deeper = store.AddItem(dots, "..", "Deeper");
    store.AddNote(deeper, "escaped?");
    store.AddFile(deeper, "..", "file named dots");
    const std::string slash = store.AddItem(top, "a/b", "Slash");
    store.AddItem(slash, "c\\d", "Back");
    store.AddFile(slash, "../../evil.txt", "evil");
    options.StartPath = top;
    Run();
    // Everything the run wrote lies below the output folder.
    qb::TStringList all;
    qb::FindFiles(all, outer.path(), "*.*", true);
    for (const auto& f : all) EXPECT_EQ(0u, f.rfind(options.RootPath, 0)) << f;
    EXPECT_GT(all.Count(), 3);
}

// Names of files are ASCII (viewers open them through the help file's code
// page), so a long Chinese caption becomes a long Latin one, shortened.
TEST_F(EngineTest, LongChineseCaptionIsShortenedAtACharacterBoundary) {
    std::string caption;
    for (int i = 0; i < 120; ++i) caption += "\xE6\xB1\x89";  // 360 bytes
    const std::string top = store.AddItem("\\Organizer\\data\\", "1", caption);
    store.AddNote(top, "long");
    const std::string twin = store.AddItem(top, "2", caption);
    store.AddNote(twin, "twin");
    options.StartPath = top;
    Run();
    qb::TStringList pages;
    qb::FindFiles(pages, out.path(), "*.html", false);
    int found = 0;
    for (const auto& p : pages) {
        const std::string name = qb::ExtractFileName(p);
        if (name.rfind("han_han", 0) != 0) continue;
        ++found;
        EXPECT_LE(name.size(), 240u);
        EXPECT_TRUE(std::all_of(name.begin(), name.end(), [](char c) { return (c & 0x80) == 0; })) << name;
    }
    EXPECT_EQ(2, found);
}

TEST_F(EngineTest, UnwritableOutputReportsTheWalkError) {
    const std::string top = store.AddItem("\\Organizer\\data\\", "1", "Top");
    store.AddNote(top, "x");
    const std::string sub = store.AddItem(top, "2", "Sub");
    store.AddItem(sub, "3", "Leaf");
    options.StartPath = top;
    // A file where the walk needs the folder ".\2\".
    WriteFile(out.path() + "2", "blocking file");
    Run();
    EXPECT_FALSE(walkError.empty());
    bool logged = false;
    for (const auto& e : recorder.events)
        if (e.position == -1 && e.text == walkError) logged = true;
    EXPECT_TRUE(logged);
}

// The current folder is never taken for an unnamed output folder: the clean-up
// would empty it.
TEST_F(EngineTest, EmptyOutputFolderIsRefusedBeforeAnythingIsWritten) {
    const std::string top = store.AddItem("\\Organizer\\data\\", "1", "Top");
    store.AddNote(top, "x");
    options.StartPath = top;
    for (const char* root : {"", " "}) {
        options.RootPath = root;
        EXPECT_THROW(Run(), qb::Error);
    }
    EXPECT_TRUE(recorder.events.empty());
}

TEST_F(EngineTest, VeryDeepTreeEndsWithAClearError) {
    std::string path = "\\Organizer\\data\\";
    std::string top;
    for (int i = 0; i < 3000; ++i) {
        path = store.AddItem(path, "1", "L");
        if (i == 0) top = path;
    }
    options.StartPath = top;
    options.KeepFolderTree = false;
    options.NavLinks = false;
    Run();
    EXPECT_NE(std::string::npos, walkError.find("deeper than")) << walkError;
}
