// Attachment index pages, file lists and their frame.
#include <cstdlib>

#include "tests/engine/EngineFixture.h"
#include "tests/pages/LinkCheck.h"

using namespace qbtest;

namespace {

const std::string kRoot = "\\Organizer\\data\\";

// WriteAttachmentsPage on files of a temporary output folder, outside a run.
class AttachmentsPage : public ::testing::Test {
protected:
    void SetUp() override {
        job.options.RootPath = dir.path();
        job.FileList = std::make_unique<qb::TStringList>();
    }
    std::string File(const std::string& name, const std::string& bytes = "data") {
        WriteFile(dir.path() + name, bytes);
        return dir.path() + name;
    }
    TempDir dir;
    qb::TParameters job;
};

}  // namespace

TEST_F(AttachmentsPage, EmptyListWritesNothing) {
    EXPECT_EQ("", qb::WriteAttachmentsPage(job, {}, dir.path() + "P.html", "P"));
    EXPECT_FALSE(qb::fs::FileExists(dir.path() + "P.html"));
}

TEST_F(AttachmentsPage, IndexPageGroupsFilesAndLinksFromTheRoot) {
    job.options.Header = "<i>head</i>";
    job.options.Footer = "<i>foot</i>";
    const std::vector<std::string> files{File("x.doc"), File("a.htm"), File("p.png"), File("b.html")};
    EXPECT_EQ("", qb::WriteAttachmentsPage(job, files, dir.path() + "P.html", "Title & <b>"));
    EXPECT_EQ(
        "<HTML><HEAD><TITLE>Title &amp; &lt;b&gt;</TITLE><meta http-equiv=\"Content-Type\" content=\"text/html\" "
        "charset=\"UTF-8\"></HEAD><BODY><i>head</i><H1>Title &amp; &lt;b&gt;</H1><p>Text not found at this node<BR>"
        "The under lines list the attachment files of this node"
        "<BR><BR>HTML documents:<BR><A HREF=\"/a.htm\">a.htm</A><BR><A HREF=\"/b.html\">b.html</A><BR>"
        "<BR><BR>Images:<BR><A HREF=\"/p.png\">p.png</A><BR>"
        "<BR><BR>Other files:<BR><A HREF=\"/x.doc\">x.doc</A><BR></p><i>foot</i></BODY></HTML>",
        ReadFile(dir.path() + "P.html"));
}

TEST_F(AttachmentsPage, OneHtmlDocumentNamingAllOthersStandsForTheItem) {
    const std::string index = File("index.htm", "<img src=\"PIC.GIF\"><a href=\"notes.TXT\">");
    const std::vector<std::string> files{index, File("pic.gif"), File("notes.txt")};
    job.options.NavLinks = false;
    EXPECT_EQ(index, qb::WriteAttachmentsPage(job, files, dir.path() + "P.html", "P"));
    EXPECT_FALSE(qb::fs::FileExists(dir.path() + "P.html"));
    job.options.NavLinks = true;
    EXPECT_EQ(index, qb::WriteAttachmentsPage(job, files, dir.path() + "P.html", "P"));
    EXPECT_TRUE(qb::fs::FileExists(dir.path() + "P.html"));
}

TEST_F(AttachmentsPage, HtmlDocumentMissingAFileOrASecondDocumentGiveAnIndexPage) {
    const std::string index = File("index.htm", "no pictures here");
    job.options.NavLinks = false;
    EXPECT_EQ("", qb::WriteAttachmentsPage(job, {index, File("pic.gif")}, dir.path() + "P.html", "P"));
    const std::string page = ReadFile(dir.path() + "P.html");
    EXPECT_NE(std::string::npos, page.find("HTML documents:"));
    EXPECT_NE(std::string::npos, page.find("Images:"));
    EXPECT_EQ(std::string::npos, page.find("Other files:"));
    const std::string other = File("other.html", "index.htm");
    EXPECT_EQ("", qb::WriteAttachmentsPage(job, {index, other}, dir.path() + "Q.html", "Q"));
    EXPECT_TRUE(qb::fs::FileExists(dir.path() + "Q.html"));
}

TEST_F(AttachmentsPage, FrameGoesBeforeTheEndOfAPageTheConvertersDidNotWrite) {
    File("Kept.html", "<html><body>kept text</BODY>\n</html>");
    qb::WriteAttachmentsPage(job, {File("a.doc")}, dir.path() + "Kept.html", "Kept");
    EXPECT_EQ(
        "<html><body>kept text<iframe width=\"100%\" height=\"80\" frameborder=\"0\" scrolling=\"auto\" "
        "src=\"Kept.xml\"></iframe></body></html>",
        ReadFile(dir.path() + "Kept.html"));
}

class AttachmentsRun : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        top = store.AddItem(kRoot, "1", "Top");
        store.AddNote(top, "top");
        const std::string nine = store.AddItem(top, "9", "Nine");
        const std::string eleven = store.AddItem(nine, "11", "Eleven");
        note = store.AddItem(eleven, "12", "Note");
        store.AddNote(note, "text");
        store.AddFile(note, "b.png", "PNG");
        store.AddFile(note, "a.doc", "DOC");
        bare = store.AddItem(eleven, "13", "Bare");
        store.AddFile(bare, "pic.png", "PNG");
        store.AddFile(bare, "read me.txt", "TXT");
        store.AddItem(eleven, "14", "Leaf");
        options.StartPath = top;
    }
    std::string top, note, bare;
};

TEST_F(AttachmentsRun, FileListNamesTheAttachmentsAndTheStyleSheetFromThePagesFolder) {
    Run();
    const std::string xml = Read("9/11/Note.xml");
    EXPECT_NE(std::string::npos, xml.find("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"));
    EXPECT_NE(std::string::npos, xml.find("<?xml-stylesheet type=\"text/xsl\" href=\"..\\..\\filelist.xsl\"?>"));
    EXPECT_LT(xml.find("<file name=\"a.doc\""), xml.find("<file name=\"b.png\""));
    const std::string page = Read("9/11/Note.html");
    EXPECT_NE(std::string::npos, page.find("<iframe width=\"100%\" height=\"80\" frameborder=\"0\" scrolling=\"auto\" "
                                           "src=\"Note.xml\"></iframe></body></html>"));
    // The index page of an item without a note, in a sub-folder, links from the root.
    const std::string index = Read("9/11/Bare.html");
    EXPECT_NE(std::string::npos, index.find("<A HREF=\"/9/11/pic.png\">pic.png</A><BR>"));
    EXPECT_NE(std::string::npos, index.find("<A HREF=\"/9/11/read_me.txt\">read_me.txt</A><BR>"));
    // Upper-case tags: the script links go in ("</head>" in any case), the bar does not ("<body" exactly).
    EXPECT_NE(std::string::npos, index.find("src=\"/_quillbook.js\"></script><link"));
    EXPECT_EQ(std::string::npos, index.find("<table width="));
    EXPECT_EQ("", [&] {
        std::string s;
        for (const auto& d : DeadLinks(out.path())) s += d + "\n";
        return s;
    }());
}

TEST_F(AttachmentsRun, SecondRunLeavesFileListAndFrameAlone) {
    Run();
    const std::string xml = Read("9/11/Note.xml");
    const std::string page = Read("9/11/Note.html");
    Run();
    EXPECT_EQ(xml, Read("9/11/Note.xml"));
    EXPECT_EQ(page, Read("9/11/Note.html"));
}

TEST_F(AttachmentsRun, StyleSheetTurnsTheFileListIntoLinks) {
    Run();
    const std::string result = out.path() + "list.html";
    // The processing instruction names the style sheet with "\" as browsers read it; it is there.
    const std::string xml = Read("9/11/Note.xml");
    const std::size_t href = xml.find("href=\"") + 6;
    const std::string sheet = qb::ToForwardSlashes(xml.substr(href, xml.find('"', href) - href));
    EXPECT_EQ("../../filelist.xsl", sheet);
    ASSERT_TRUE(qb::fs::FileExists(out.path() + "9/11/" + sheet));
    const std::string cmd =
        "xsltproc '" + out.path() + "9/11/" + sheet + "' '" + out.path() + "9/11/Note.xml' >'" + result + "' 2>&1";
    ASSERT_EQ(0, std::system(cmd.c_str())) << ReadFile(result);
    const std::string html = ReadFile(result);
    EXPECT_NE(std::string::npos, html.find("<p><B>Attachments file list: </B>")) << html;
    EXPECT_NE(std::string::npos, html.find("<a href=\"a.doc\">a.doc</a>  |  ")) << html;
    EXPECT_NE(std::string::npos, html.find("<a href=\"b.png\">b.png</a>  |  ")) << html;
    EXPECT_LT(html.find("a.doc"), html.find("b.png"));
}
