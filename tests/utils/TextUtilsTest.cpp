#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "Utils/HtmlText.h"
#include "Utils/Utils.h"

using namespace qb;

namespace {

std::string Byte(int c) { return std::string(1, static_cast<char>(c)); }

}  // namespace

TEST(TextToHtml, ReplacesAmpersandFirstSoEntitiesAreNotEscapedTwice) {
    EXPECT_EQ("&lt;&amp;&gt;", TextToHtml("<&>"));
    EXPECT_EQ("&amp;lt;", TextToHtml("&lt;"));
    EXPECT_EQ("a \"b\" 'c'", TextToHtml("a \"b\" 'c'"));
}

TEST(TextToHtml, LineBreaksOnlyForCrLf) {
    EXPECT_EQ("a<BR>b", TextToHtml("a\r\nb"));
    EXPECT_EQ("a\rb", TextToHtml("a\rb"));
    EXPECT_EQ("a\nb", TextToHtml("a\nb"));
    EXPECT_EQ("\n<BR>", TextToHtml("\n\r\n"));
    EXPECT_EQ("\r<BR>\n", TextToHtml("\r\r\n\n"));
}

TEST(TextToHtml, SpacesReplacedInPairsLeftToRight) {
    EXPECT_EQ("a&nbsp;&nbsp;b", TextToHtml("a  b"));
    EXPECT_EQ("&nbsp;&nbsp; ", TextToHtml("   "));
    EXPECT_EQ("&nbsp;&nbsp;&nbsp;&nbsp;", TextToHtml("    "));
    EXPECT_EQ("a b", TextToHtml("a b"));
    // The entities made for "<" must not be touched by the space pass.
    EXPECT_EQ("&lt;&nbsp;&nbsp;&gt;<BR>", TextToHtml("<  >\r\n"));
}

TEST(HtmlEscape, OnlyTheThreeMarkupCharacters) {
    EXPECT_EQ("&lt;b&gt;&amp;amp;", HtmlEscape("<b>&amp;"));
    EXPECT_EQ("a  b\r\nc", HtmlEscape("a  b\r\nc"));
    EXPECT_EQ("", HtmlEscape(""));
}

TEST(HtmlQuote, MarkupAndBothQuotes) {
    EXPECT_EQ("&lt;/a&gt;&quot;x&quot; &#39;y&#39; &amp;amp;", HtmlQuote("</a>\"x\" 'y' &amp;"));
    EXPECT_EQ("plain text", HtmlQuote("plain text"));
}

// A script string must neither end early nor end the script element.
TEST(JsString, QuotesBackslashesLineBreaksAndScriptEnd) {
    EXPECT_EQ("Tom\\'s \\\\ a\\r\\nb <\\/script> 1/2", JsString("Tom's \\ a\r\nb </script> 1/2"));
}

TEST(ColorToHtml, RedIsTheLowestByteAndDigitsAreUpperCase) {
    EXPECT_EQ("#FF0000", ColorToHtml(0x000000FFu));
    EXPECT_EQ("#00FF00", ColorToHtml(0x0000FF00u));
    EXPECT_EQ("#0000FF", ColorToHtml(0x00FF0000u));
    EXPECT_EQ("#302010", ColorToHtml(0x00102030u));
    EXPECT_EQ("#EFCDAB", ColorToHtml(0x00ABCDEFu));
    EXPECT_EQ("#000000", ColorToHtml(0));
    // The top byte is not a colour component.
    EXPECT_EQ("#785634", ColorToHtml(0x12345678u));
}

TEST(FontSizeToHtmlSize, BoundsOfEveryBand) {
    const struct {
        int points, size;
    } cases[] = {{0, 1},  {7, 1},  {8, 2},  {10, 2}, {11, 3}, {13, 3}, {14, 4},      {16, 4},     {17, 5},
                 {20, 5}, {21, 6}, {24, 6}, {25, 7}, {72, 7}, {-1, 7}, {INT_MIN, 7}, {INT_MAX, 7}};
    for (const auto& c : cases) EXPECT_EQ(c.size, FontSizeToHtmlSize(c.points)) << c.points << " pt";
}

TEST(SafeFileName, TrimsThenReplacesTheUnsafeSet) {
    EXPECT_EQ("a_b_c_", SafeFileName("  a/b:c?  ", '_'));
    EXPECT_EQ("a_b", SafeFileName("a\tb", '_'));
    EXPECT_EQ("a" + Byte(25) + "b", SafeFileName("a" + Byte(25) + "b", '_'));
    EXPECT_EQ("__________", SafeFileName("\"&*/:<>?\\|", '_'));
    EXPECT_EQ("a-b", SafeFileName("a b", '-'));
    EXPECT_EQ("", SafeFileName(" \t\r\n ", '_'));
}

// Pages and attachments travel to Windows, which cannot create these names.
TEST(SafeFileName, NamesWindowsReservesGetAPrefixAndTrailingDotsGo) {
    EXPECT_EQ("_CON", SafeFileName("CON", '_'));
    EXPECT_EQ("_nul.txt", SafeFileName("nul.txt", '_'));
    EXPECT_EQ("_Com7.tar.gz", SafeFileName("Com7.tar.gz", '_'));
    // The dot goes first, and "LPT1_" is no device name.
    EXPECT_EQ("LPT1_", SafeFileName("LPT1.", '_'));
    EXPECT_EQ("Notes_", SafeFileName("Notes.", '_'));
    EXPECT_EQ("Notes__", SafeFileName("Notes..", '_'));
    // Ordinary names, and names that only start like a device, stay as they were.
    EXPECT_EQ("Console.html", SafeFileName("Console.html", '_'));
    EXPECT_EQ("COM10", SafeFileName("COM10", '_'));
    EXPECT_EQ("auxiliary_notes.txt", SafeFileName("auxiliary notes.txt", '_'));
}

TEST(SafeFileName, EveryByteBetweenTwoLetters) {
    const std::string unsafe = "\"&*/:<>?\\| ";
    for (int c = 1; c < 256; ++c) {
        const bool replaced = c <= 20 || unsafe.find(static_cast<char>(c)) != std::string::npos;
        const std::string expected = "a" + (replaced ? std::string("_") : Byte(c)) + "b";
        EXPECT_EQ(expected, SafeFileName("a" + Byte(c) + "b", '_')) << "byte " << c;
    }
    // NUL inside a text is a control code like the others.
    EXPECT_EQ("a_b", SafeFileName(std::string("a\0b", 3), '_'));
}

TEST(SafeFileName, TrimDropsCodesUpTo32ButNotHighBytes) {
    // 21..31 stay inside a name but are trimmed at its ends.
    EXPECT_EQ("a", SafeFileName(Byte(25) + "a" + Byte(31), '_'));
    EXPECT_EQ(
        "\xC3\xA4"
        "b\xA0",
        SafeFileName("\xC3\xA4"
                     "b\xA0",
                     '_'));
    EXPECT_EQ(
        "\x7F"
        "x",
        SafeFileName("\x7F"
                     "x",
                     '_'));
}

TEST(SplitText, PiecesBetweenSeparators) {
    EXPECT_EQ((TStringArray{"a", "b", ""}), SplitText("a\tb\t", "\t"));
    EXPECT_EQ(TStringArray{}, SplitText("", "\t"));
    EXPECT_EQ(TStringArray{"abc"}, SplitText("abc", "\t"));
    EXPECT_EQ((TStringArray{"", ""}), SplitText("\t", "\t"));
    EXPECT_EQ((TStringArray{"", "a", "", "b"}), SplitText(",a,,b", ","));
    EXPECT_EQ((TStringArray{"x", "y", "z"}), SplitText("x<::>y<::>z", "<::>"));
    EXPECT_EQ((TStringArray{"", "a"}), SplitText("aaa", "aa"));
    EXPECT_EQ(TStringArray{"aXb"}, SplitText("aXb", "x"));
}

TEST(TextBeforeAfter, FirstOccurrenceCaseSensitive) {
    EXPECT_EQ("y<::>z", TextAfter("x<::>y<::>z", "<::>"));
    EXPECT_EQ("x", TextBefore("x<::>y<::>z", "<::>"));
    EXPECT_EQ("abc", TextAfter("abc", "|"));
    EXPECT_EQ("abc", TextBefore("abc", "|"));
    EXPECT_EQ("aXb", TextAfter("aXb", "x"));
    EXPECT_EQ("aXb", TextBefore("aXb", "x"));
    EXPECT_EQ("", TextBefore("=v", "="));
    EXPECT_EQ("", TextAfter("k=", "="));
    EXPECT_EQ("v=w", TextAfter("k=v=w", "="));
}

TEST(CountOccurrences, NonOverlappingLeftToRight) {
    EXPECT_EQ(2, CountOccurrences("aaaa", "aa"));
    EXPECT_EQ(1, CountOccurrences("aaa", "aa"));
    EXPECT_EQ(1, CountOccurrences("ababab", "aba"));
    EXPECT_EQ(0, CountOccurrences("abc", ""));
    EXPECT_EQ(0, CountOccurrences("", "a"));
    EXPECT_EQ(1, CountOccurrences("aA", "A"));
    EXPECT_EQ(3, CountOccurrences("\\a\\b\\", "\\"));
}

TEST(ReplaceAllNoCase, FoldsAsciiLettersOnly) {
    std::string s = "Hello HELLO hello hElLo";
    ReplaceAllNoCase(s, "hello", "x", false);
    EXPECT_EQ("x x x x", s);

    // UTF-8 upper and lower umlauts differ in a byte above 127: no match.
    s = "\xC3\x84rger";
    ReplaceAllNoCase(s, "\xC3\xA4rger", "x", false);
    EXPECT_EQ("\xC3\x84rger", s);
    // The same for single high bytes (upper and lower differ by 32).
    s = "\xC4"
        "b";
    ReplaceAllNoCase(s,
                     "\xE4"
                     "B",
                     "x", false);
    EXPECT_EQ(
        "\xC4"
        "b",
        s);
    s = "\xE4"
        "b";
    ReplaceAllNoCase(s,
                     "\xE4"
                     "B",
                     "x", false);
    EXPECT_EQ("x", s);
    // "@" and "`" are 32 apart from letters but are not letters.
    s = "@[`{";
    ReplaceAllNoCase(s, "`{", "x", false);
    EXPECT_EQ("@[x", s);
    s = "@[";
    ReplaceAllNoCase(s, "`{", "x", false);
    EXPECT_EQ("@[", s);
}

TEST(ReplaceAllNoCase, NonOverlappingAndNeverRescansTheReplacement) {
    std::string s = "aaaa";
    ReplaceAllNoCase(s, "AA", "b", false);
    EXPECT_EQ("bb", s);
    s = "aaa";
    ReplaceAllNoCase(s, "aa", "b", false);
    EXPECT_EQ("ba", s);
    s = "aA";
    ReplaceAllNoCase(s, "a", "aa", false);
    EXPECT_EQ("aaaa", s);
    s = "abc";
    ReplaceAllNoCase(s, "", "x", false);
    EXPECT_EQ("abc", s);
    // Keeps the text's own bytes between matches.
    s = "<IMG SRC=\"A.PNG\"><img src=\"b.png\">";
    ReplaceAllNoCase(s, "src=\"", "src=\"./", false);
    EXPECT_EQ("<IMG src=\"./A.PNG\"><img src=\"./b.png\">", s);
}

TEST(ReplaceAllNoCase, CaseSensitiveFlag) {
    std::string s = "Ab ab AB";
    ReplaceAllNoCase(s, "ab", "x", true);
    EXPECT_EQ("Ab x AB", s);
}

TEST(ExtensionClasses, LastDotOfTheNameWithAsciiFolded) {
    EXPECT_TRUE(IsImageFile("PHOTO.JPEG"));
    EXPECT_FALSE(IsImageFile("photo.tif"));
    EXPECT_FALSE(IsImageFile("photo"));
    for (const char* n : {"a.png", "a.BMP", "a.Jpg", "a.jpeg", "a.gif", "x\\y\\z.GIF"})
        EXPECT_TRUE(IsImageFile(n)) << n;
    EXPECT_FALSE(IsImageFile("a.png.bak"));
    EXPECT_FALSE(IsImageFile("dir.png\\readme"));
    EXPECT_FALSE(IsImageFile("dir.png/readme"));
    EXPECT_FALSE(IsImageFile("a.pngx"));

    EXPECT_TRUE(IsHtmlFile("Index.HTM"));
    EXPECT_TRUE(IsHtmlFile("c:\\x\\page.html"));
    EXPECT_FALSE(IsHtmlFile("page.shtml"));
    EXPECT_FALSE(IsHtmlFile("page.html.txt"));
    EXPECT_FALSE(IsHtmlFile("html"));
    EXPECT_FALSE(IsImageFile("page.html"));
}

TEST(PathText, NamePartsAndTrailingDelimiters) {
    EXPECT_EQ("a\\b\\", ExtractFilePath("a\\b\\c.txt"));
    EXPECT_EQ("c.txt", ExtractFileName("a\\b\\c.txt"));
    EXPECT_EQ("c.txt", ExtractFileName("d:c.txt"));
    EXPECT_EQ(".txt", ExtractFileExt("a.b\\c.txt"));
    EXPECT_EQ("", ExtractFileExt("a.b\\c"));
    EXPECT_EQ("a.b\\c.htm", ChangeFileExt("a.b\\c", ".htm"));
    EXPECT_EQ("c.htm", ChangeFileExt("c.rtf", ".htm"));
    EXPECT_EQ("a\\b\\", IncludeTrailingDelimiter("a\\b"));
    EXPECT_EQ("/a/b/", IncludeTrailingDelimiter("/a/b"));
    EXPECT_EQ("/a/b/", IncludeTrailingDelimiter("/a/b/"));
    EXPECT_EQ("a\\b", ExcludeTrailingDelimiter("a\\b\\"));
    EXPECT_EQ("/a/b/c", ToForwardSlashes("\\a\\b/c"));
}

TEST(MatchesMask, WindowsWildcards) {
    EXPECT_TRUE(MatchesMask("README", "*.*"));
    EXPECT_TRUE(MatchesMask("Page.HTML", "*.html"));
    EXPECT_FALSE(MatchesMask("page.html", "*.htm"));
    EXPECT_TRUE(MatchesMask("a1.txt", "a?.txt"));
    EXPECT_FALSE(MatchesMask("a.txt", "a?.txt"));
    EXPECT_TRUE(MatchesMask("abxbyc", "a*b*c"));
    EXPECT_FALSE(MatchesMask("abxbyd", "a*b*c"));
}

TEST(AppendUtf8, EveryLengthAndWhatIsNoCharacter) {
    std::string s;
    for (char32_t cp : {U'A', U'\u00DF', U'\u07FF', U'\u0800', U'\u9905', U'\uFFFF', U'\U00010000', U'\U0010FFFF'})
        qb::AppendUtf8(s, cp);
    EXPECT_EQ("A\xC3\x9F\xDF\xBF\xE0\xA0\x80\xE9\xA4\x85\xEF\xBF\xBF\xF0\x90\x80\x80\xF4\x8F\xBF\xBF", s);
    s.clear();
    for (char32_t cp : {char32_t(0), char32_t(0xD800), char32_t(0xDFFF), char32_t(0x110000)}) qb::AppendUtf8(s, cp);
    EXPECT_EQ("\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD", s);
}

// Done within the text itself: growing, shrinking and equal-size replacements
// with hits at both ends must keep every byte between them.
TEST(ReplaceAllNoCase, InPlaceKeepsTheTextBetweenHitsAtBothEnds) {
    for (const bool caseSensitive : {false, true}) {
        for (const std::string& replacement : {std::string(), std::string("#"), std::string("<>"), std::string("[long]")}) {
            std::string s = "ab1ab22ab333ab";
            ReplaceAllNoCase(s, "ab", replacement, caseSensitive);
            const std::string& r = replacement;
            EXPECT_EQ(r + "1" + r + "22" + r + "333" + r, s) << r;
        }
    }
    std::string s = "</HEAD></head>x";
    ReplaceAllNoCase(s, "</head>", "<s></head>", false);
    EXPECT_EQ("<s></head><s></head>x", s);
}
