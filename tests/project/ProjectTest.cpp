#include <gtest/gtest.h>

#include <algorithm>

#include "Utils/FileSys.h"
#include "Utils/Utils.h"
#include "engine/Defaults.h"
#include "engine/Engine.h"
#include "settings/MessageTable.h"
#include "tests/engine/FakeStorage.h"
#include "tests/support/TestSupport.h"

using namespace qbtest;

namespace {

class ProjectTest : public ::testing::Test {
protected:
    void SetUp() override {
        job.FileLayer = &files;
        job.Store = &store;
        job.options.RootPath = out.path();
        job.options.ChmFileName = "/somewhere/My Help.chm";
        job.options.WindowTitle = "My Help";
        job.options.ChmLanguage = "0x407 German (Germany)";
    }

    std::string Line(const std::string& prefix) const {
        for (const auto& l : *job.ProjectLines)
            if (l.rfind(prefix, 0) == 0) return l;
        return "<missing " + prefix + ">";
    }

    TempDir out;
    // Relative names mean files in out, as during a run.
    qb::fs::OutputFolder folder{out.path()};
    qb::fs::FileContext files{&folder};
    FakeStorage store;
    qb::TParameters job;
};

}  // namespace

TEST_F(ProjectTest, OptionLinesAndWindowDefinition) {
    job.options.NavPaneFlags = 0x1020;
    job.options.WindowExStyle = 8;
    job.options.WindowButtons = 0x78387E;
    job.options.NavPaneClosed = true;
    job.options.DefaultTab = -1;
    job.options.UserButtonUrl = "http://x";
    job.options.UserButtonCaption = "X";
    qb::StartProject(job);
    EXPECT_EQ("[OPTIONS]", (*job.ProjectLines)[0]);
    EXPECT_EQ("Compiled file=/somewhere/My Help.chm", Line("Compiled file="));
    EXPECT_EQ("Contents file=My Help.hhc", Line("Contents file="));
    EXPECT_EQ("Index file=My Help.hhk", Line("Index file="));
    EXPECT_EQ("Default topic=", Line("Default topic"));
    EXPECT_EQ("Full-text search=yes", Line("Full-text"));
    EXPECT_EQ("Language=0x407 German (Germany)", Line("Language="));
    EXPECT_EQ("[FILES]", (*job.ProjectLines)[job.ProjectLines->Count() - 1]);
    // No home page yet: the walk gives out the start item's page first.
    EXPECT_EQ(
        "ovel2html=\"My Help\",\"My Help.hhc\",My Help.hhk,\"\",\"\",http://x,X,_jump2_.htm,Quillbook,0x1020,"
        "300,0x78387E,[0,0,800,600],,0x8,,1,-1,,0",
        Line("ovel2html="));
    EXPECT_EQ(7, job.ContentsLines->Count());
    EXPECT_EQ("  <param name=\"ImageType\" value=\"Folder\">", (*job.ContentsLines)[4]);
    EXPECT_EQ("<UL>", (*job.ContentsLines)[6]);
    EXPECT_EQ(0, job.NameCounter);

    // The start item's page, inside the help file, is default topic and home page.
    job.StartPage = ".\\9\\C#.html";
    qb::FinishProject(job);
    EXPECT_EQ("Default topic=9/C#.html", Line("Default topic"));
    EXPECT_EQ(
        "ovel2html=\"My Help\",\"My Help.hhc\",My Help.hhk,\"9/C#.html\",\"9/C#.html\",http://x,X,_jump2_.htm,"
        "Quillbook,0x1020,300,0x78387E,[0,0,800,600],,0x8,,1,-1,,0",
        Line("ovel2html="));
}

TEST_F(ProjectTest, WithoutAnyPageTheRunWritesTheHomePage) {
    job.options.WindowTitle = "A <b> title";
    qb::StartProject(job);
    qb::FinishProject(job);
    EXPECT_EQ("Default topic=_quillbook_default.html", Line("Default topic"));
    EXPECT_NE(std::string::npos, Line("ovel2html=").find(",\"_quillbook_default.html\",\"_quillbook_default.html\","));
    EXPECT_TRUE(job.FileList->Contains("_quillbook_default.html"));
    const std::string page = ReadFile(out.path() + "_quillbook_default.html");
    EXPECT_NE(std::string::npos, page.find("<title>A &lt;b&gt; title</title>")) << page;
}

TEST_F(ProjectTest, WithoutIndexAndSearch) {
    job.options.MakeIndex = false;
    job.options.FullTextSearch = false;
    job.options.NavPaneFlags = 0;
    job.options.ChmFileName = "/x/a.b.chm";
    qb::StartProject(job);
    EXPECT_EQ("<missing Index file=>", Line("Index file="));
    EXPECT_EQ("Full-text search=no", Line("Full-text"));
    EXPECT_EQ("Contents file=a.b.hhc", Line("Contents file="));
    EXPECT_NE(std::string::npos, Line("ovel2html=").find("\"a.b.hhc\",,\""));
    EXPECT_NE(std::string::npos, Line("ovel2html=").find(",0x0,300,"));
}

TEST_F(ProjectTest, DefaultPageIsCopiedAndBecomesTheTopic) {
    WriteFile(out.path() + "src/home.html", "<html>home</html>");
    job.options.DefaultPage = out.path() + "src/home.html";
    qb::StartProject(job);
    EXPECT_EQ("<html>home</html>", ReadFile(out.path() + "_quillbook_default.html"));
    EXPECT_EQ("Default topic=_quillbook_default.html", Line("Default topic"));
    EXPECT_TRUE(job.FileList->Contains("_quillbook_default.html"));
    EXPECT_NE(std::string::npos, Line("ovel2html=").find(",\"_quillbook_default.html\",\"_quillbook_default.html\","));
}

TEST_F(ProjectTest, HostFilesAreLoadedAndRemoved) {
    store.AddFile("\\Organizer\\data\\", "__custom_labels.txt", "h\tx\ty\tRed::Label::\r\n\\Organizer\\data\\1\\\n\r");
    store.AddFile("\\Organizer\\data\\", "__folder_linktable.txt", "\\Organizer\\data\\1\\<::>\\Organizer\\data\\2\\");
    qb::StartProject(job);
    EXPECT_EQ(3, job.LabelLines->Count());
    EXPECT_EQ(1, job.LinkTable->Count());
    EXPECT_FALSE(qb::fs::FileExists(out.path() + "__custom_labels.txt"));
    EXPECT_FALSE(qb::fs::FileExists(out.path() + "__folder_linktable.txt"));
}

TEST_F(ProjectTest, FinishAppendsFilesExtraBlockAndEnd) {
    job.options.ExtraFiles = "/extra/a.txt\r\n/extra/b.txt\r\n";
    qb::StartProject(job);
    job.FileList->Add(".\\A.html");
    job.StartPage = ".\\A.html";
    qb::FinishProject(job);
    const std::string text = job.ProjectLines->Text();
    EXPECT_NE(std::string::npos,
              text.find("[FILES]\r\n.\\A.html\r\n/extra/a.txt\r\n/extra/b.txt\r\n\r\n[INFOTYPES]\r\n"));
    EXPECT_EQ("</UL>", (*job.ContentsLines)[job.ContentsLines->Count() - 2]);
    EXPECT_EQ("</BODY></HTML>", (*job.ContentsLines)[job.ContentsLines->Count() - 1]);
}

TEST(ChmLanguage, LocaleIdentifierInLowerCaseHexAndEnglishName) {
    EXPECT_EQ("0x407 German (Germany)", qb::ChmLanguageText("de_DE"));
    EXPECT_EQ("0x40c French (France)", qb::ChmLanguageText("fr_FR"));
    // Display names outside ASCII arrive as UTF-8.
    EXPECT_EQ("0x414 Norwegian Bokm\xC3\xA5l (Norway)", qb::ChmLanguageText("nb_NO"));
    const auto all = qb::AvailableChmLanguages();
    EXPECT_GT(all.size(), 50u);
    EXPECT_NE(all.end(), std::find(all.begin(), all.end(), "0x409 English (United States)"));
}
