// Links, bodies and words of the website writer.
#include <gtest/gtest.h>

#include <algorithm>

#include "site/SearchIndex.h"
#include "site/SiteHtml.h"

using namespace qb::site;

namespace {

bool Has(const std::vector<std::string>& v, const std::string& x) {
    return std::find(v.begin(), v.end(), x) != v.end();
}

TLinkResolver Pages(std::map<std::string, std::string> pages) {
    return [pages](const std::string& t) -> std::optional<std::string> {
        const auto it = pages.find(t);
        if (it == pages.end()) return std::nullopt;
        return it->second;
    };
}

}  // namespace

// Relative links are what make the site work from disk and under a sub-path.
TEST(SiteLinks, RelativeHrefClimbsOnlyAsFarAsNeeded) {
    EXPECT_EQ("c.html", RelativeHref("p/a/b.html", "p/a/c.html"));
    EXPECT_EQ("../../index.html", RelativeHref("p/a/b.html", "index.html"));
    EXPECT_EQ("../c/d.html", RelativeHref("p/a/b.html", "p/c/d.html"));
    EXPECT_EQ("p/a/b.html", RelativeHref("index.html", "p/a/b.html"));
    // "p/ab/" and "p/a/" share "p/" only, not the letter a.
    EXPECT_EQ("../a/y.html", RelativeHref("p/ab/x.html", "p/a/y.html"));
    EXPECT_EQ("b.html", RelativeHref("p/a/b.html", "p/a/b.html"));
}

TEST(SiteLinks, UrlPathEncodesWhatAPathCannotHoldAsText) {
    EXPECT_EQ("p/Q%26A%20%231%20100%25.html", UrlPath("p/Q&A #1 100%.html"));
    EXPECT_EQ("p/%E4%B8%8A%E6%B5%B7.html", UrlPath("p/上海.html"));
    EXPECT_EQ("a/b-c_d.e~f", UrlPath("a/b-c_d.e~f"));
    EXPECT_EQ("p/a b#1.html", PercentDecode("p/a%20b%231.html"));
    EXPECT_EQ("100%", PercentDecode("100%"));
}

TEST(SiteLinks, RewritesRootAndPageRelativeLinksOfTheOutputFolder) {
    const auto resolve = Pages({{"9/C.html", "p/9/C.html"},
                                {"9/12/img.png", "p/9/12/img.png"},
                                {"a b#1.html", "p/a b#1.html"},
                                {"Rome.html", "p/Rome.html"}});
    const std::string from = "p/9/12/A.html";
    EXPECT_EQ("<a href=\"../C.html\">x</a>", RewriteLinks("<a href=\"/9/C.html\">x</a>", "9/12/", from, resolve));
    EXPECT_EQ("<IMG SRC=\"img.png\" alt=\"\">", RewriteLinks("<IMG SRC=\"img.png\" alt=\"\">", "9/12/", from, resolve));
    // Names the engine escaped, backslash paths, fragments and single quotes.
    EXPECT_EQ("<a href='../../a%20b%231.html#top'>y</a>",
              RewriteLinks("<a href='/a b%231.html#top'>y</a>", "9/12/", from, resolve));
    EXPECT_EQ("<a href=\"../C.html\">z</a>", RewriteLinks("<a href=\"..\\C.html\">z</a>", "9/12/", from, resolve));
    EXPECT_EQ("<a href=\"../../../Rome.html\">r</a>",
              RewriteLinks("<a href=\"../../Rome.html\">r</a>", "9/12/", "p/9/12/deeper/A.html", resolve));
    // Left alone: other sites, mail, in-page anchors, data, unknown files and paths above the root.
    for (const std::string keep :
         {"<a href=\"https://example.org/9/C.html\">e</a>", "<a href=\"mailto:a@b.c\">m</a>", "<a href=\"#part\">p</a>",
          "<img src=\"data:image/png;base64,AAAA\">", "<a href=\"/nowhere.html\">n</a>",
          "<a href=\"../../../up.html\">u</a>", "<a data-href=\"/9/C.html\">d</a>"})
        EXPECT_EQ(keep, RewriteLinks(keep, "9/12/", from, resolve));
    // Text that only looks like an attribute stays text.
    EXPECT_EQ("see href=\"/9/C.html\" here", RewriteLinks("see href=\"/9/C.html\" here", "9/12/", from, resolve));
}

TEST(SiteLinks, BodyIsTheInsideOfBodyWithoutTheHelpFilesFrame) {
    const std::string page =
        "<html><head><title>t</title></head><table><tr><td>bar</td></tr></table><p> See also: x</p>"
        "<BODY bgcolor=white><h1>Note</h1><p>text</p>"
        "<iframe width=\"100%\" height=\"80\" frameborder=\"0\" scrolling=\"auto\" "
        "src=\"A.xml\"></iframe></body></html>";
    EXPECT_EQ("<h1>Note</h1><p>text</p>", ExtractBody(page));
    // A frame of the note itself stays.
    EXPECT_EQ("<iframe src=\"https://example.org/map\"></iframe>",
              ExtractBody("<body><iframe src=\"https://example.org/map\"></iframe></body>"));
    EXPECT_EQ("<p>no body tags</p>", ExtractBody("<p>no body tags</p>"));
}

TEST(SiteText, PlainTextSkipsScriptsAndDecodesReferences) {
    const std::string text = HtmlToText(
        "<p>Gro&szlig;e Elbstra&szlig;e</p><script>var hidden = 1;</script><style>p{}</style>"
        "<b>&#x4E0A;&#28023;</b> &amp; &Ouml;l &unknown; x&lt;y");
    EXPECT_NE(std::string::npos, text.find("Große Elbstraße"));
    EXPECT_NE(std::string::npos, text.find("上海"));
    EXPECT_NE(std::string::npos, text.find("& Öl &unknown; x<y"));
    EXPECT_EQ(std::string::npos, text.find("hidden"));
    EXPECT_EQ(std::string::npos, text.find("p{}"));
}

TEST(SiteSearch, WordsAreSplitAndFoldedByIcu) {
    const auto german = SplitWords("Große Elbstraße 145, 22767 Hamburg!");
    EXPECT_TRUE(Has(german, "grosse"));
    EXPECT_TRUE(Has(german, "elbstrasse"));
    EXPECT_TRUE(Has(german, "145"));
    EXPECT_FALSE(Has(german, ","));
    EXPECT_FALSE(Has(german, " "));
    const auto russian = SplitWords("Привет, МИР");
    EXPECT_TRUE(Has(russian, "привет"));
    EXPECT_TRUE(Has(russian, "мир"));
    // Chinese has no spaces: the dictionary finds the words.
    const auto chinese = SplitWords("上海办公室开业了");
    EXPECT_TRUE(Has(chinese, "上海"));
    EXPECT_GT(chinese.size(), 2u);
}

TEST(SiteSearch, IndexListsEachPageOnceAndStaysInsideItsScript) {
    TSearchIndex index;
    EXPECT_EQ(0, index.AddPage("p/a.html", "Hamburg office", "Hamburg Hamburg HAMBURG"));
    EXPECT_EQ(1, index.AddPage("p/b.html", "Shanghai", "Flights from hamburg </script><b>",
                               "Company \xE2\x80\xBA Locations"));
    ASSERT_NE(nullptr, index.PagesOf("hamburg"));
    EXPECT_EQ((std::vector<int>{0, 1}), *index.PagesOf("hamburg"));
    EXPECT_EQ((std::vector<int>{1}), *index.PagesOf("shanghai"));
    EXPECT_EQ(nullptr, index.PagesOf("Hamburg"));
    const std::string js = index.ToScript();
    EXPECT_EQ(0u, js.find("window.QB_SEARCH={"));
    EXPECT_EQ(std::string::npos, js.find("</script>"));
    EXPECT_NE(std::string::npos, js.find("[\"p/a.html\",\"Hamburg office\",\"\",\"\"]"));
    EXPECT_NE(std::string::npos, js.find("[\"p/b.html\",\"Shanghai\",\"Company \xE2\x80\xBA Locations\",\"\"]"));
    // Words sorted, each with its pages at the same place, so a prefix is found by bisection.
    EXPECT_NE(std::string::npos, js.find("\"words\":[\"b\",\"flights\",\"from\",\"hamburg\",\"office\",\"script\",\"shanghai\"]"));
    EXPECT_NE(std::string::npos, js.find("\"hits\":[\"1\",\"1\",\"1\",\"0,1\",\"0\",\"1\",\"1\"]"));
    EXPECT_EQ("0", Base36(0));
    EXPECT_EQ("z", Base36(35));
    EXPECT_EQ("10", Base36(36));
    EXPECT_EQ("7pr", Base36(9999));
    EXPECT_EQ("\"a\\\"b\\\\c\\n\\u003c\\u0001\"", JsonString("a\"b\\c\n<\x01"));
}

TEST(SiteSearch, SnippetsKeepWholeCharactersAndOneSpaceBetweenWords) {
    EXPECT_EQ("a b c", Snippet("  a \n\t b   c  ", 100));
    EXPECT_EQ("a b", Snippet("a   b   c", 3));
    // Three characters of two bytes and one of three: never half a character.
    EXPECT_EQ("\xC3\xB6\xC3\xA4\xC3\xBC", Snippet("\xC3\xB6\xC3\xA4\xC3\xBC\xE9\xA5\xBA", 3));
    EXPECT_EQ("\xE9\xA5\xBA\xE5\xAD\x90", Snippet("\xE9\xA5\xBA\xE5\xAD\x90 x", 2));
    TSearchIndex index;
    index.AddPage("p/a.html", "A", "one two three four", "", 7);
    EXPECT_NE(std::string::npos, index.ToScript().find("\"one two\"]"));
}

TEST(SiteHtml, LooseListItemsGetAListEachAndListsStayAsTheyAre) {
    EXPECT_EQ("<font><ul class=\"loose\"><li>A</b> x\n</li></ul><ul class=\"loose\"><LI class=\"c\"><b>B</b></LI></ul></font>",
              WrapLooseListItems("<font><li>A</b> x\n</li><b><LI class=\"c\">B</b></LI></font>"));
    const std::string listed = "<ul><li>a</li><li>b<ol><li>c</li></ol></li></ul><link href=x><p>d</p>";
    EXPECT_EQ(listed, WrapLooseListItems(listed));
    // Never closed: left as the browser will read it.
    EXPECT_EQ("<li>a<li>b", WrapLooseListItems("<li>a<li>b"));
    EXPECT_EQ("<ul class=\"loose\"><li>a</li></ul><ol><li>b</li></ol>", WrapLooseListItems("<li>a</li><ol><li>b</li></ol>"));
}
