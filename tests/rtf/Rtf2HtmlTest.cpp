#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "rtf/RichText.h"
#include "rtf/rtf2html.h"
#include "tests/support/TestSupport.h"

using qb::RichTextToHtml;
using qb::rtf::LoadRtf;

namespace {

const std::string kHead = "<html><head><meta name=\"Quillbook\" content=\"T\"></head><body>";

std::string Html(const std::string& rtf, const std::string& title = "T") { return RichTextToHtml(title, LoadRtf(rtf)); }

bool StartsWith(const std::string& s, const std::string& prefix) { return s.rfind(prefix, 0) == 0; }

// The part after the head, the first font tag and the first paragraph start.
std::string Body(const std::string& html) {
    const std::string start = "<p align=\"left\">";
    const auto p = html.find(start);
    return p == std::string::npos ? html : html.substr(p + start.size());
}

}  // namespace

TEST(RichTextToHtml, TwoCharacterDocument) {
    EXPECT_EQ(Html("{\\rtf1\\ansi\\fs20 Hi\\par}"),
              kHead + "<font size=\"2\" color=\"#080000\"><p align=\"left\">Hi</font></li></p></html>");
}

TEST(RichTextToHtml, EmptyDocumentStillHasEveryFrame) {
    EXPECT_EQ(Html("{\\rtf1\\fs20\\qr}"),
              kHead + "<font size=\"2\" color=\"#080000\"><p align=\"right\"></font></li></p></html>");
    EXPECT_EQ(Html(""), kHead + "<font size=\"3\" color=\"#080000\"><p align=\"left\"></font></li></p></html>");
}

TEST(RichTextToHtml, ColourAndSizeRestartTheFontElement) {
    // First character pure red at 10 points.
    EXPECT_TRUE(StartsWith(Html("{\\rtf1{\\colortbl;\\red255\\green0\\blue0;}\\fs20\\cf1 R}"),
                           kHead + "<font size=\"2\" color=\"#FF0000\"><p align=\"left\">R"));
    // Size alone: the new size with the unchanged colour.
    EXPECT_EQ(Body(Html("{\\rtf1{\\colortbl;\\red0\\green0\\blue255;}\\cf1\\fs20 a\\fs28 b}")),
              "a</font><font size=\"4\" color=\"#0000FF\">b</font></li></p></html>");
    // Colour bytes are written lowest first; automatic is #080000 in every tag.
    EXPECT_EQ(Body(Html("{\\rtf1{\\colortbl;\\red16\\green32\\blue48;}\\fs20 a\\cf1 b\\cf0 c}")),
              "a</font><font size=\"2\" color=\"#102030\">b</font><font size=\"2\" color=\"#080000\">c"
              "</font></li></p></html>");
    // A size change that maps to the same HTML size writes nothing.
    EXPECT_EQ(Body(Html("{\\rtf1\\fs22 a\\fs26 b}")), "ab</font></li></p></html>");
}

TEST(RichTextToHtml, CharacterReplacements) {
    EXPECT_EQ(Body(Html("{\\rtf1 a & b 'q' \"d\" <t>}")), "a & b 'q' &quot;d&quot; &lt;t&gt;</font></li></p></html>");
    EXPECT_EQ(Body(Html("{\\rtf1 \\'e4\\'c4\\'f6\\'d6\\'fc\\'dc\\'df\\'e9}")),
              "&auml;&Auml;&ouml;&Ouml;&uuml;&Uuml;&szlig;\xc3\xa9</font></li></p></html>");
    // The letters are compared as characters, not as single bytes of other text.
    EXPECT_EQ(Body(Html("{\\rtf1 \\u1252?\\u228?}")), "\xd3\xa4&auml;</font></li></p></html>");
}

TEST(RichTextToHtml, DoubleSpacesEverywhere) {
    EXPECT_EQ(Body(Html("{\\rtf1 x  y   z}")), "x&nbsp;&nbsp;y&nbsp;&nbsp; z</font></li></p></html>");
    EXPECT_TRUE(StartsWith(Html("{\\rtf1\\fs20 a}", "A  B"),
                           "<html><head><meta name=\"Quillbook\" content=\"A&nbsp;&nbsp;B\">"));
}

TEST(RichTextToHtml, BlankLineEndsTheHtmlParagraph) {
    EXPECT_EQ(Body(Html("{\\rtf1\\fs20 one\\par\\par two\\par}")),
              "one\r\n<br>\r\n</font></p><p align=\"left\">two</font></li></p></html>");
    // The next paragraph starts with the alignment where the walk then stands;
    // the alignment of a later line in the same HTML paragraph has no effect.
    EXPECT_EQ(Body(Html("{\\rtf1 a\\par\\pard\\qr b\\par\\pard\\par\\pard\\qc c\\par\\pard\\qj\\par\\pard\\qj d}")),
              "a\r\n<br>b\r\n<br>\r\n</font></p><p align=\"center\">c\r\n<br>\r\n</font></p>d"
              "</font></li></p></html>");
}

TEST(RichTextToHtml, LineChangeClosesInlineTagsOnlyAtParagraphEnds) {
    // Within an HTML paragraph the bold tag simply carries on.
    EXPECT_EQ(Body(Html("{\\rtf1\\b a\\par b\\par}")), "<b>a\r\n<br>b</b></font></li></p></html>");
    // After a blank line the close walk writes "</b>" and "</font>", then bold reopens.
    EXPECT_EQ(Body(Html("{\\rtf1\\b a\\par\\par b}")),
              "<b>a\r\n<br>\r\n</b></font></p><p align=\"left\"><b>b</b></font></li></p></html>");
}

TEST(RichTextToHtml, BulletedParagraphs) {
    EXPECT_EQ(Body(Html("{\\rtf1 a\\par\\pard\\ls1 b\\par c\\par\\pard d\\par}")),
              "a\r\n<br><li>b\r\n</li><li>c\r\n</li></font><br>d</font></li></p></html>");
    // Ending in a bulleted paragraph: the list item is still open and the final
    // walk writes "</li>" at the list entry's place, before "</font>".
    EXPECT_EQ(Body(Html("{\\rtf1 a\\par\\pard\\ls1 b\\par}")), "a\r\n<br><li>b</li></font></p></html>");
}

TEST(RichTextToHtml, TagWalkVisitsSixIndexes) {
    // Closing bold moves it to the end; italic slides into the visited index
    // and is not opened in that walk, nor later (it is never met again open).
    EXPECT_EQ(Body(Html("{\\rtf1{\\b a}{\\i b}c}")), "<b>a</b>bc</font></li></p></html>");
    EXPECT_EQ(Body(Html("{\\rtf1{\\b a}{\\i bc}}")), "<b>a</b>b<i>c</i></font></li></p></html>");
    // Opening moves to the front, so tags close most recent first.
    EXPECT_EQ(Body(Html("{\\rtf1 \\b a\\i b\\ul c}")), "<b>a<i>b<u>c</u></i></b></font></li></p></html>");
}

TEST(RichTextToHtml, LongRunsMatchTheStepByStepRules) {
    // Italic opens one step late, then the rest of the run follows unchanged.
    EXPECT_EQ(Body(Html("{\\rtf1{\\b a}{\\i bcdef}g}")), "<b>a</b>b<i>cdef</i>g</font></li></p></html>");
    // Runs whose sizes map to the same HTML size write no tag between them; a
    // space pair across them is still replaced.
    EXPECT_EQ(Body(Html("{\\rtf1{\\fs22 a }{\\fs24  b}}")), "a&nbsp;&nbsp;b</font></li></p></html>");
    EXPECT_EQ(Body(Html("{\\rtf1{\\fs22 a  }{\\fs24  b}}")), "a&nbsp;&nbsp; b</font></li></p></html>");
}

// Long runs are written in pieces: every replacement and every space pair must
// come out the same wherever a piece ends.
TEST(RichTextToHtml, LongRunsWrittenInPiecesMatchTheRules) {
    const auto expected = [](const std::string& text) {
        std::string out;
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text.compare(i, 2, "  ") == 0) {
                out += "&nbsp;&nbsp;";
                ++i;
            } else if (text[i] == '"') {
                out += "&quot;";
            } else if (text[i] == '<') {
                out += "&lt;";
            } else {
                out += text[i];
            }
        }
        return out + "</font></li></p></html>";
    };
    // The lead shifts every cut through a whole period of the pattern's output.
    for (const std::string tail : {"", "  x", " \"", "x  "}) {
        for (std::size_t lead = 0; lead < 30; ++lead) {
            std::string text(lead, 'x');
            for (int i = 0; i < 600; ++i) text += "a\"<b  c";
            text += tail;
            SCOPED_TRACE(std::to_string(lead) + " [" + tail + "]");
            ASSERT_EQ(Body(Html("{\\rtf1 " + text + "}")), expected(text));
        }
    }
}

TEST(RichTextToHtml, UnitsOfTwoPositionsAtTheEdgesOfRuns) {
    // A surrogate pair just before and just after a change of formatting.
    EXPECT_EQ(Body(Html("{\\rtf1 a\\u-10179?\\u-8704?{\\b\\u-10179?\\u-8704?b}}")),
              "a\xf0\x9f\x98\x80<b>\xf0\x9f\x98\x80"
              "b</b></font></li></p></html>");
    // A line break ends a run; the space before it pairs with none after it.
    EXPECT_EQ(Body(Html("{\\rtf1 a \\line   b\\line\\u228?\\u-3?}")),
              "a \r\n<br>&nbsp;&nbsp;b\r\n<br>&auml;\xef\xbf\xbd</font></li></p></html>");
}

TEST(RichTextToHtml, JustifiedFirstParagraphHasNoStartTag) {
    EXPECT_EQ(Html("{\\rtf1\\qj\\fs20 j}"), kHead + "<font size=\"2\" color=\"#080000\">j</font></li></p></html>");
}

TEST(RichTextToHtml, SurrogatePairIsOneStep) {
    EXPECT_EQ(Body(Html("{\\rtf1 a\\u-10179?\\u-8704?b}")),
              "a\xf0\x9f\x98\x80"
              "b</font></li></p></html>");
}

// Notes as real writers save them, converted whole.
TEST(RichTextToHtml, RealisticNotesMatchGoldenPages) {
    namespace fs = std::filesystem;
    int count = 0;
    for (const auto& e : fs::directory_iterator(std::string(QB_TEST_DATA) + "/rtf")) {
        if (e.path().extension() != ".rtf") continue;
        const std::string name = e.path().stem().string();
        SCOPED_TRACE(name);
        const std::string html = RichTextToHtml(name, LoadRtf(qbtest::ReadFile(e.path().string())));
        EXPECT_GOLDEN("rtf/" + name + ".html", html);
        ++count;
    }
    EXPECT_GE(count, 5);
}

// Pages from text held one byte a unit and from text that widened part way.
TEST(RichTextToHtml, LatinTextBeforeAndAfterTheFirstWideCharacter) {
    EXPECT_EQ(Body(Html("{\\rtf1 \\'fc \"\\'a9\"  <}")), "&uuml; &quot;\xc2\xa9&quot;&nbsp;&nbsp;&lt;</font></li></p></html>");
    EXPECT_EQ(Body(Html("{\\rtf1 \\'fc\\par \\u8364?\\'a9 \\'df}")),
              "&uuml;\r\n<br>\xe2\x82\xac\xc2\xa9 &szlig;</font></li></p></html>");
}
