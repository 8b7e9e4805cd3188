// Reading the project, its paths, sitemaps and page links.
#include <gtest/gtest.h>

#include <filesystem>

#include "hha/HhaProject.h"
#include "support/Error.h"
#include "tests/support/TestSupport.h"

using namespace qb::hha;

TEST(ProjectPaths, CanonicalNamesOfTheFormsTheEngineWrites) {
    std::string name;
    ASSERT_TRUE(CanonicalName(".\\a\\b.html", name));
    EXPECT_EQ("/a/b.html", name);
    ASSERT_TRUE(CanonicalName("a\\b.html", name));
    EXPECT_EQ("/a/b.html", name);
    ASSERT_TRUE(CanonicalName("./a//./b.html", name));
    EXPECT_EQ("/a/b.html", name);
    ASSERT_TRUE(CanonicalName("a/x/../b.html", name));
    EXPECT_EQ("/a/b.html", name);
    EXPECT_FALSE(CanonicalName("../up.html", name));
    EXPECT_FALSE(CanonicalName(".\\", name));
}

TEST(ProjectPaths, ResolveInsideOutsideAndLinks) {
    qbtest::TempDir dir;
    std::filesystem::create_directories(dir / "proj");
    qbtest::WriteFile(dir / "proj/p.hhp", "[OPTIONS]\r\n");
    Project p = ReadProject(dir / "proj/p.hhp");
    std::filesystem::create_directories(dir / "other");
    qbtest::WriteFile(dir / "other/x.png", "x");

    ResolvedPath inside = ResolvePath(p, p.folder + "9/D.html");
    EXPECT_EQ("/9/D.html", inside.name);
    EXPECT_FALSE(inside.outside);
    ResolvedPath outside = ResolvePath(p, dir / "other/x.png");
    EXPECT_EQ("/x.png", outside.name);
    EXPECT_TRUE(outside.outside);

    EXPECT_EQ("", ResolvePath(p, "http://example.com/a.html").name);
    EXPECT_EQ("", ResolvePath(p, "mk:@MSITStore:x.chm::/a.html").name);
    EXPECT_EQ("", ResolvePath(p, "#top").name);
    EXPECT_EQ("/a.html", ResolvePath(p, ".\\a.html#part").name);
    // A page link starting with "/" is the project root, never the disk root.
    EXPECT_EQ("/_quillbook.js", ResolvePath(p, "/_quillbook.js", "/9", true).name);
    EXPECT_EQ("/9/E.html", ResolvePath(p, ".\\E.html", "/9", true).name);
    EXPECT_EQ("/img/i.png", ResolvePath(p, "../img/i.png", "/9", true).name);
}

TEST(ProjectFile, OptionsWindowsFilesAndLanguage) {
    qbtest::TempDir dir;
    qbtest::WriteFile(
        dir / "My Help.hhp",
        "[OPTIONS]\r\nCompiled file=out\\My Help.chm\r\nContents file=My Help.hhc\r\n"
        "Default topic=\r\nFull-text search=yes\r\nLanguage=0x407 German (Germany)\r\n"
        "Title=T, with comma\r\n[WINDOWS]\r\nw=\"T\",\"a.hhc\",,\"\",\"\",,,,,0x1020,200,0x0,[1,2,3,4],,0x8,,0,0,,0\r\n"
        "[FILES]\r\n.\\a.html\r\n\r\n   \r\nb.html\r\n[INFOTYPES]\r\n");
    Project p = ReadProject(dir / "My Help.hhp");
    EXPECT_EQ(0x407u, p.Lcid());
    EXPECT_TRUE(p.FullTextSearch());
    EXPECT_EQ("My Help.hhc", p.ContentsFile());
    EXPECT_EQ("", p.DefaultTopic());
    EXPECT_EQ("T, with comma", p.Title());
    EXPECT_EQ(p.folder + "out/My Help.chm", p.compiledFile);
    ASSERT_EQ(2u, p.fileLines.size());
    EXPECT_EQ(".\\a.html", p.fileLines[0]);
    ASSERT_EQ(1u, p.windows.size());
    std::vector<std::string> f = SplitWindowFields(p.windows[0].substr(2));
    ASSERT_EQ(20u, f.size());
    EXPECT_EQ("[1,2,3,4]", f[12]);
    EXPECT_EQ("0x8", f[14]);

    EXPECT_THROW(ReadProject(dir / "missing.hhp"), qb::Error);
}

TEST(ProjectFile, LanguageWithoutNumberFallsBackToUsEnglish) {
    qbtest::TempDir dir;
    qbtest::WriteFile(dir / "a.hhp", "[OPTIONS]\nLanguage=English\n");
    EXPECT_EQ(0x409u, ReadProject(dir / "a.hhp").Lcid());
    qbtest::WriteFile(dir / "b.hhp", "[OPTIONS]\n");
    EXPECT_EQ(0x409u, ReadProject(dir / "b.hhp").Lcid());
}

TEST(Sitemap, EntriesLevelsAndLocalRewrite) {
    std::string hhc =
        "<OBJECT type=\"text/site properties\"><param name=\"ImageType\" value=\"Folder\"></OBJECT>"
        "<LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"Q&amp;A\">"
        "<param name=\"Local\" value=\".\\a.html\"></OBJECT>\r\n<UL>\r\n"
        "<LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"B\"><param name=\"New\" value=\"1\"></OBJECT>"
        "</UL><LI><OBJECT type=\"text/sitemap\"><PARAM NAME=\"local\" VALUE=\"9\\c.html\"></OBJECT>";
    auto entries = ParseSitemap(hhc);
    ASSERT_EQ(3u, entries.size());
    EXPECT_EQ(".\\a.html", entries[0].Param("Local"));
    EXPECT_EQ(0, entries[0].level);
    EXPECT_EQ(1, entries[1].level);
    EXPECT_EQ("", entries[1].Param("Local"));
    EXPECT_EQ(0, entries[2].level);
    EXPECT_EQ("9\\c.html", entries[2].Param("Local"));
    std::string rewritten = RewriteLocals(hhc, [](const std::string& v) { return "[" + v + "]"; });
    EXPECT_NE(std::string::npos, rewritten.find("value=\"[.\\a.html]\""));
    EXPECT_NE(std::string::npos, rewritten.find("VALUE=\"[9\\c.html]\""));
    EXPECT_NE(std::string::npos, rewritten.find("value=\"Q&amp;A\""));
}

TEST(PageLinksTest, HrefSrcAndCommentsSkipped) {
    auto links = PageLinks(
        "<a href=\".\\9\\D.html\">x</a><img SRC='img/a%20b.png'><!-- <a href=\"no.html\"> -->"
        "<td background=bg.gif>");
    ASSERT_EQ(3u, links.size());
    EXPECT_EQ(".\\9\\D.html", links[0]);
    EXPECT_EQ("img/a b.png", links[1]);
    EXPECT_EQ("bg.gif", links[2]);
}

// A read stops at a short read only once the size the file had is reached:
// sizes at and around the piece size come back whole.
TEST(InputFileTest, ReadsEveryByteOfEmptySmallAndMultiPieceFiles) {
    qbtest::TempDir dir;
    for (std::size_t size : {std::size_t{0}, std::size_t{5}, std::size_t{1} << 20, (std::size_t{5} << 19) + 3}) {
        std::string bytes(size, '\0');
        for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 131 + i / 7);
        const std::string path = dir / ("f" + std::to_string(size));
        qbtest::WriteFile(path, bytes);
        int polls = 0;
        InputFile in(path, "f");
        EXPECT_TRUE(bytes == in.ReadRest([&polls] { ++polls; })) << size;
        EXPECT_EQ(static_cast<int>(size >> 20), polls) << size;  // once after each full piece
        char c;
        EXPECT_EQ(0u, in.Read(&c, 1)) << size;
    }
}

TEST(InputFileTest, NoPlainFileIsRefusedByItsWrittenName) {
    qbtest::TempDir dir;
    std::filesystem::create_directories(dir / "folder");
    try {
        InputFile in(dir / "folder", "folder");
        FAIL() << "a folder opened";
    } catch (const qb::Error& e) {
        EXPECT_EQ(0u, std::string(e.what()).rfind("Error: cannot open file folder (", 0)) << e.what();
    }
    EXPECT_THROW(InputFile(dir / "missing", "missing"), qb::Error);
    // Not following links, a link is reported rather than opened.
    qbtest::WriteFile(dir / "target", "t");
    std::filesystem::create_symlink(dir / "target", dir / "link");
    EXPECT_TRUE(InputFile(dir / "link", "link", false).IsLink());
    EXPECT_FALSE(InputFile(dir / "link", "link").IsLink());
}
