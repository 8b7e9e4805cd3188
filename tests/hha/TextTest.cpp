// Texts in the help file's code page, pages any viewer reads, and file names
// that are names, not URLs.
#include <gtest/gtest.h>

#include "hha/HhaProject.h"
#include "hha/HhaText.h"
#include "tests/hha/ChmRead.h"
#include "tests/hha/HhaTestUtil.h"
#include "tests/support/TestSupport.h"

using namespace qb::hha;

TEST(CodePage, OfTheLanguageFromIcu) {
    EXPECT_EQ(1252u, AnsiCodePage(0x409));
    EXPECT_EQ(1252u, AnsiCodePage(0x407));
    EXPECT_EQ(1251u, AnsiCodePage(0x419));
    EXPECT_EQ(936u, AnsiCodePage(0x804));
    EXPECT_EQ(950u, AnsiCodePage(0x404));
    EXPECT_EQ(932u, AnsiCodePage(0x411));
    EXPECT_EQ(1250u, AnsiCodePage(0x415));
    EXPECT_EQ(1254u, AnsiCodePage(0x41F));
    EXPECT_EQ(1253u, AnsiCodePage(0x408));
    EXPECT_EQ(1252u, AnsiCodePage(0x7FFF));  // unknown: the Western code page
}

TEST(CodePage, MissingCharactersAsReferencesOrQuestionMarks) {
    CodePageText western(1252);
    // ä and € exist in 1252 (0xE4, 0x80); 饺 does not.
    EXPECT_EQ("\xE4 \x80 &#39290; x", western.EncodeHtml("\xC3\xA4 \xE2\x82\xAC \xE9\xA5\xBA x"));
    EXPECT_EQ("\xE4 ?", western.Encode("\xC3\xA4 \xE9\xA5\xBA"));
    EXPECT_EQ("&#128512;", western.EncodeHtml("\xF0\x9F\x98\x80"));  // beyond the BMP: one reference
    EXPECT_FALSE(western.CanEncode("\xE9\xA5\xBA"));
    CodePageText chinese(936);
    EXPECT_EQ("\xBD\xC8\xD7\xD3", chinese.Encode("\xE9\xA5\xBA\xE5\xAD\x90"));
    EXPECT_TRUE(chinese.CanEncode("\xE9\xA5\xBA\xE5\xAD\x90"));
    CodePageText cyrillic(1251);
    EXPECT_EQ("\xCC\xEE\xF1\xEA\xE2\xE0", cyrillic.Encode("\xD0\x9C\xD0\xBE\xD1\x81\xD0\xBA\xD0\xB2\xD0\xB0"));

    EXPECT_TRUE(IsNonAsciiUtf8("\xC3\xA4"));
    EXPECT_FALSE(IsNonAsciiUtf8("plain"));
    EXPECT_FALSE(IsNonAsciiUtf8("\xE4 latin-1"));  // not UTF-8: left as it is
    EXPECT_EQ("stra\xC3\x9F" "e", FoldCase("STRA\xC3\x9F" "E"));
    EXPECT_EQ("stra\xC3\x9F" "e", FoldCase("STRA\xE1\xBA\x9E" "E"));
    EXPECT_EQ("strasse", SharpSAsSs("stra\xC3\x9F" "e"));
    EXPECT_EQ("\xC3\xA4" "rger", SharpSAsSs("\xC3\xA4" "rger"));
    EXPECT_EQ("a\xE2\x82\xAC", CutUtf8("a\xE2\x82\xAC", 4));
    EXPECT_EQ("a", CutUtf8("a\xE2\x82\xAC", 3));
}

TEST(Pages, InAsciiAloneForViewersThatIgnoreTheCharset) {
    const std::string page =
        "<html><head><meta charset=\"utf-8\"><title>Gr\xC3\xBC\xC3\x9F"
        "e</title>"
        "<style>p:before{content:\"\xE2\x80\xA2\"}</style>"
        "<script>var s = \"\xC3\xA4\xF0\x9F\x98\x80\";</script></head>"
        "<body><a href=\"x.html\" title=\"\xE9\xA5\xBA\">\xE9\xA5\xBA\xE5\xAD\x90</a></body></html>";
    EXPECT_TRUE(DeclaresUtf8(page));
    EXPECT_TRUE(DeclaresUtf8("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\">"));
    EXPECT_FALSE(DeclaresUtf8("<meta charset=\"windows-1252\">"));
    EXPECT_EQ(
        "<html><head><meta charset=\"utf-8\"><title>Gr&#252;&#223;e</title>"
        "<style>p:before{content:\"\\2022 \"}</style>"
        "<script>var s = \"\\u00E4\\uD83D\\uDE00\";</script></head>"
        "<body><a href=\"x.html\" title=\"&#39290;\">&#39290;&#23376;</a></body></html>",
        HtmlAsAscii(page));
}

// "#" and "?" in a listed file name are part of the name; in a link they
// start the fragment unless escaped.
TEST(Names, ListedFilesAreNamesLinksAreUrls) {
    qbtest::TempDir dir;
    const std::string folder = dir.path() + "p/";
    qbtest::WriteFile(folder + "C#_tips.html",
                      "<html><head><title>C# tips</title></head><body><a href=\"Invoice%20%233.html#top\">i</a>"
                      "<a href=\"sub/Q%3F.html\">q</a></body></html>");
    qbtest::WriteFile(folder + "Invoice #3.html", "<html><body>invoice</body></html>");
    qbtest::WriteFile(folder + "sub/Q?.html", "<html><body>question</body></html>");
    qbtest::WriteFile(folder + "Invoice #3.pdf", "%PDF-1.4 invoice");
    qbtest::WriteFile(folder + "h.hhc",
                      "<HTML><BODY><UL><LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"C# tips\">"
                      "<param name=\"Local\" value=\"C%23_tips.html#intro\"></OBJECT></UL></BODY></HTML>");
    qbtest::WriteFile(folder + "h.hhp", "[OPTIONS]\r\nCompiled file=" + dir.path() +
                                            "h.chm\r\nContents file=h.hhc\r\nDefault topic=C#_tips.html\r\n"
                                            "[FILES]\r\nC#_tips.html\r\nInvoice #3.pdf\r\n");
    hhatest::CompileRun run = hhatest::Compile(folder + "h.hhp");
    ASSERT_EQ(1, run.result) << ::testing::PrintToString(run.log);
    const auto stored = hhatest::ReadWithChmlib(dir.path() + "h.chm");
    for (const char* name : {"/C#_tips.html", "/Invoice #3.pdf", "/Invoice #3.html", "/sub/Q?.html"})
        EXPECT_EQ(1u, stored.count(name)) << name;
    EXPECT_EQ(0u, stored.count("/C")) << "a name cut at its '#'";

    Project p = ReadProject(folder + "h.hhp");
    EXPECT_EQ("/C#_tips.html", ResolvePath(p, "C#_tips.html", "/", false, true).name);
    EXPECT_EQ("/C", ResolvePath(p, "C#_tips.html").name);
    EXPECT_EQ("/C#_tips.html", ResolvePath(p, "C%23_tips.html#intro").name);
    EXPECT_EQ("/a b.html", ResolvePath(p, "a%20b.html?x=1").name);
}
