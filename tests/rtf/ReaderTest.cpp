#include <gtest/gtest.h>

#include <string>

#include "rtf/RichText.h"

using namespace qb::rtf;

namespace {

std::string Plain(const std::string& rtf) { return LoadRtf(rtf).PlainText(); }

// A document with the given code page, one font and a body.
std::string Doc(const std::string& fontAttrs, const std::string& body, const std::string& head = "\\ansi") {
    return "{\\rtf1" + head + "\\deff0{\\fonttbl{\\f0\\fnil" + fontAttrs + " Font;}}" + body + "}";
}

}  // namespace

TEST(RtfReader, LastParagraphMarkIsNotAPosition) {
    const RichDocument hi = LoadRtf("{\\rtf1 Hi\\par}");
    EXPECT_EQ(hi.Length(), 2);
    EXPECT_EQ(hi.PlainText(), "Hi");
    EXPECT_EQ(hi.LineCount(), 1);

    // Two marks at the end leave one empty line.
    const RichDocument two = LoadRtf("{\\rtf1 Hi\\par\\par}");
    EXPECT_EQ(two.PlainText(), "Hi\r\n");
    EXPECT_EQ(two.Length(), 4);
    EXPECT_EQ(two.LineCount(), 2);
    EXPECT_EQ(two.LineFromChar(4), 1);
    EXPECT_EQ(two.LineText(1), "");

    // Without a final mark nothing is removed; a final \line is not a paragraph mark.
    EXPECT_EQ(Plain("{\\rtf1 a\\par b}"), "a\r\nb");
    EXPECT_EQ(Plain("{\\rtf1 a\\line}"), "a\r\n");
    EXPECT_EQ(LoadRtf("{\\rtf1 }").Length(), 0);
}

TEST(RtfReader, LineBreaksAreTwoPositionsOneUnit) {
    const RichDocument d = LoadRtf("{\\rtf1 ab\\par\\par c\\line d}");
    ASSERT_EQ(d.PlainText(), "ab\r\n\r\nc\r\nd");
    EXPECT_EQ(d.Length(), 10);
    EXPECT_EQ(d.UnitLength(2), 2);
    EXPECT_EQ(d.UnitText(2), "\r\n");
    EXPECT_EQ(d.UnitLength(3), 1);
    EXPECT_EQ(d.UnitLength(10), 0);
    EXPECT_EQ(d.UnitLength(-1), 0);
    EXPECT_EQ(d.UnitText(10), "");
    // A line break belongs to the line it ends.
    EXPECT_EQ(d.LineFromChar(1), 0);
    EXPECT_EQ(d.LineFromChar(2), 0);
    EXPECT_EQ(d.LineFromChar(3), 0);
    EXPECT_EQ(d.LineFromChar(4), 1);
    EXPECT_EQ(d.LineFromChar(6), 2);
    EXPECT_EQ(d.LineFromChar(9), 3);
    EXPECT_EQ(d.LineFromChar(10), 3);
    EXPECT_EQ(d.LineText(0), "ab");
    EXPECT_EQ(d.LineText(1), "");
    EXPECT_EQ(d.LineText(2), "c");
    EXPECT_EQ(d.LineText(3), "d");
    EXPECT_EQ(d.LineText(4), "");
    EXPECT_EQ(d.LineText(-1), "");
}

TEST(RtfReader, CharacterAttributes) {
    const RichDocument d = LoadRtf(
        "{\\rtf1{\\colortbl;\\red255\\green0\\blue0;\\red0\\green128\\blue255;}"
        "\\fs21 a{\\b b\\b0 c}\\i d\\ul e\\ulnone f\\cf1 g\\cf2 h\\cf0 i\\uldb j\\ul0 k\\ulc1 l\\plain m}");
    ASSERT_EQ(d.PlainText(), "abcdefghijklm");
    EXPECT_EQ(d.CharAt(0).sizePoints, 10);  // half-points 21 -> 10, fraction dropped
    EXPECT_EQ(d.CharAt(0).color, kAutoColor);
    EXPECT_TRUE(d.CharAt(1).bold);
    EXPECT_FALSE(d.CharAt(2).bold);
    EXPECT_FALSE(d.CharAt(3).bold);  // the group restored the state
    EXPECT_TRUE(d.CharAt(3).italic);
    EXPECT_TRUE(d.CharAt(4).underline);
    EXPECT_FALSE(d.CharAt(5).underline);
    EXPECT_EQ(d.CharAt(6).color, 0x0000FFu);  // 0x00BBGGRR
    EXPECT_EQ(d.CharAt(7).color, 0xFF8000u);
    EXPECT_EQ(d.CharAt(8).color, kAutoColor);
    EXPECT_TRUE(d.CharAt(9).underline);
    EXPECT_FALSE(d.CharAt(10).underline);
    EXPECT_FALSE(d.CharAt(11).underline);  // \ulc is the underline colour, not underline
    const CharAttrs m = d.CharAt(12);
    EXPECT_FALSE(m.italic);
    EXPECT_EQ(m.sizePoints, 12);
    // At and after N the attributes of the last character.
    EXPECT_EQ(d.CharAt(13), m);
    EXPECT_EQ(d.CharAt(500), m);
}

TEST(RtfReader, ColourIndexesOutsideTheTableAreAutomatic) {
    const RichDocument d = LoadRtf("{\\rtf1{\\colortbl;\\red1\\green2\\blue3;}\\cf7 a\\cf-3 b\\cf1 c}");
    EXPECT_EQ(d.CharAt(0).color, kAutoColor);
    EXPECT_EQ(d.CharAt(1).color, kAutoColor);
    EXPECT_EQ(d.CharAt(2).color, 0x030201u);
}

TEST(RtfReader, EmptyDocumentReportsItsInsertionPoint) {
    const RichDocument d = LoadRtf("{\\rtf1\\fs20\\b\\qc\\par}");
    EXPECT_EQ(d.Length(), 0);
    EXPECT_EQ(d.CharAt(0).sizePoints, 10);
    EXPECT_TRUE(d.CharAt(0).bold);
    EXPECT_EQ(d.ParaAt(0).align, Align::Center);
    EXPECT_EQ(d.LineCount(), 1);
}

TEST(RtfReader, ParagraphAttributesBelongToTheWholeParagraph) {
    const RichDocument d =
        LoadRtf("{\\rtf1\\pard\\qc one\\par\\pard two\\qr\\par\\pard\\qj three\\par\\pard four\\line five\\par}");
    ASSERT_EQ(d.PlainText(), "one\r\ntwo\r\nthree\r\nfour\r\nfive");
    EXPECT_EQ(d.ParaAt(0).align, Align::Center);
    EXPECT_EQ(d.ParaAt(3).align, Align::Center);  // the CR LF is the paragraph's mark
    EXPECT_EQ(d.ParaAt(5).align, Align::Right);   // \qr came after the text
    EXPECT_EQ(d.ParaAt(10).align, Align::Justify);
    EXPECT_EQ(d.ParaAt(17).align, Align::Left);
    EXPECT_EQ(d.ParaAt(23).align, Align::Left);  // \line stays in its paragraph
    EXPECT_EQ(d.ParaAt(d.Length()).align, Align::Left);
}

TEST(RtfReader, ListParagraphsAreBulletedWithoutTheirMarkerText) {
    // Word processor style (\listtext + \ls), older style (\pntext + \*\pn).
    const RichDocument d = LoadRtf(
        "{\\rtf1{\\*\\listtable{\\list{\\listlevel\\levelnfc23{\\leveltext \\'01\\u8226 ?;}}\\listid1}}"
        "\\pard{\\listtext\\pard\\plain \\u8226\\'95\\tab}\\ls1 a\\par"
        "\\pard{\\pntext\\f1\\'B7\\tab}{\\*\\pn\\pnlvlblt\\pnf1{\\pntxtb\\'B7}}\\qc b\\par"
        "\\pard c\\par}");
    ASSERT_EQ(d.PlainText(), "a\r\nb\r\nc");
    EXPECT_TRUE(d.ParaAt(0).bulleted);
    EXPECT_TRUE(d.ParaAt(3).bulleted);
    EXPECT_EQ(d.ParaAt(3).align, Align::Center);  // \pard inside the marker did not leak out
    EXPECT_FALSE(d.ParaAt(6).bulleted);
}

TEST(RtfReader, DestinationsAndHiddenTextAreNotText) {
    EXPECT_EQ(Plain("{\\rtf1{\\fonttbl{\\f0 Arial;}}{\\stylesheet{\\s0 Normal;}}{\\info{\\title T}}"
                    "{\\*\\generator Writer;}{\\*\\unknownthing x}{\\header h}{\\footnote f}a"
                    "{\\pict\\pngblip 89504e47}{\\object{\\objdata 0102}{\\result{\\pict 00}}}"
                    "{\\*\\bkmkstart m}b{\\v hidden}c{\\*\\shppict{\\pict 01}}{\\nonshppict{\\pict 02}}d}"),
              "abcd");
}

TEST(RtfReader, FieldsKeepTheirVisibleText) {
    EXPECT_EQ(Plain("{\\rtf1 See {\\field{\\*\\fldinst HYPERLINK \"http://x.org\"}{\\fldrslt{\\ul the site}}}."
                    " {\\field{\\fldinst PAGE}{\\fldrslt 3}}}"),
              "See the site. 3");
}

// Some writers mark destinations every reader knows as ignorable; only the
// ones this reader does not know are skipped.
TEST(RtfReader, StarredDestinationsTheReaderKnowsAreRead) {
    EXPECT_EQ(Plain("{\\rtf1 See {\\field{\\*\\fldinst HYPERLINK \"http://x.org\"}{\\*\\fldrslt{\\ul the site}}}."
                    " {\\*\\unknown gone}{\\*\\b gone too}{\\*\\fonttbl{\\f0 Arial;}}{\\*\\info{\\title T}}end}"),
              "See the site. end");
    const RichDocument d = LoadRtf("{\\rtf1{\\*\\colortbl;\\red255\\green0\\blue0;}{\\*\\fldrslt\\cf1 red}}");
    EXPECT_EQ(d.PlainText(), "red");
    EXPECT_EQ(d.CharAt(0).color, 0x0000FFu);
}

TEST(RtfReader, TablesSeparateCellsByTabAndEndRowsWithALineBreak) {
    const std::string rtf =
        "{\\rtf1\\trowd\\cellx1000\\cellx2000\\pard\\intbl A1\\cell B1\\cell\\row"
        "\\trowd\\cellx1000\\cellx2000\\pard\\intbl A2\\cell\\cell\\row\\pard after\\par}";
    EXPECT_EQ(Plain(rtf), "A1\tB1\r\nA2\t\r\nafter");
}

TEST(RtfReader, SpecialCharactersAndSymbols) {
    EXPECT_EQ(Plain("{\\rtf1 a\\tab b\\~c\\-d\\_e\\{\\}\\\\\\emdash\\endash\\bullet\\lquote\\rquote"
                    "\\ldblquote\\rdblquote}"),
              "a\tb\u00A0cd\u2011e{}\\\u2014\u2013\u2022\u2018\u2019\u201C\u201D");
    // Control characters in the text never reach the document.
    EXPECT_EQ(Plain("{\\rtf1 a\\'0d\\'0ab\\u13?c\x01"
                    "d}"),
              "abcd");
}

// Every word of the keyword table is found, and words that only resemble one are not.
TEST(RtfReader, EveryKeywordIsFoundAndNearMissesAreIgnored) {
    for (const char* word :
         {"ul", "uld", "uldash", "uldashd", "uldashdd", "uldb", "ulhwave", "ulldash", "ulth", "ulthd", "ulthdash",
          "ulthdashd", "ulthdashdd", "ulthldash", "ululdbwave", "ulw", "ulwave"}) {
        SCOPED_TRACE(word);
        const RichDocument d = LoadRtf(std::string("{\\rtf1 a\\") + word + " b\\ulnone c}");
        ASSERT_EQ(d.PlainText(), "abc");
        EXPECT_FALSE(d.CharAt(0).underline);
        EXPECT_TRUE(d.CharAt(1).underline);
        EXPECT_FALSE(d.CharAt(2).underline);
    }
    for (const char* word :
         {"stylesheet", "info",     "pict",       "object",  "shp",       "shpgrp",  "shppict",   "nonshppict",
          "do",         "header",   "headerl",    "headerr", "headerf",   "footer",  "footerl",   "footerr",
          "footerf",    "footnote", "annotation", "atnid",   "atnauthor", "fldinst", "listtable", "listoverridetable",
          "revtbl",     "rsidtbl",  "filetbl",    "xe",      "tc",        "tcn",     "template",  "userprops",
          "bkmkstart",  "bkmkend",  "ftnsep",     "ftnsepc", "ftncn",     "aftnsep", "aftnsepc",  "aftncn",
          "pnseclvl",   "txe"}) {
        SCOPED_TRACE(word);
        EXPECT_EQ(Plain(std::string("{\\rtf1 a{\\") + word + " gone}b}"), "ab");
    }
    EXPECT_EQ(Plain("{\\rtf1 \\emspace\\enspace\\qmspace\\zwj\\zwnj\\ltrmark\\rtlmark\\page x\\sect y}"),
              "\u2003\u2002\u2005\u200D\u200C\u200E\u200F\r\nx\r\ny");
    // Prefixes, extensions and other cases of known words are unknown words.
    const RichDocument d = LoadRtf("{\\rtf1\\bb\\ulx\\pa\\parx\\Par\\fsx20\\infox\\picture a{\\headers b}}");
    EXPECT_EQ(d.PlainText(), "ab");
    EXPECT_FALSE(d.CharAt(0).bold);
    EXPECT_FALSE(d.CharAt(0).underline);
    EXPECT_EQ(d.CharAt(0).sizePoints, 12);
}

// Text arrives in runs that end at every kind of token and at 8-bit bytes.
TEST(RtfReader, TextRunsEndAtEveryToken) {
    EXPECT_EQ(Plain("{\\rtf1\\ansi ab\\\\cd\\{ef\\}gh\\'e4ij{kl}mn\\tab op\xe4qr\x01st\tuv\xe4\x02}"),
              "ab\\cd{ef}gh\u00E4ijklmn\top\u00E4qrst\tuv\u00E4");
    // A raw double-byte character between ASCII runs, and a lead byte cut off by a group.
    EXPECT_EQ(Plain(Doc("\\fcharset134",
                        "\\f0 ab\xd6\xd0"
                        "cd\xce\xc4"
                        "e{\xd6}f")),
              "ab\u4E2Dcd\u6587"
              "e\uFFFDf");
    // The attributes change exactly at the run's end.
    const RichDocument d = LoadRtf("{\\rtf1 ab{\\b cd\xe4}ef}");
    EXPECT_EQ(d.PlainText(),
              "abcd\u00E4"
              "ef");
    for (int pos = 0; pos < d.Length(); ++pos) EXPECT_EQ(d.CharAt(pos).bold, pos >= 2 && pos <= 4) << pos;
}

TEST(RtfReader, UnicodeWithFallbackSkipCounts) {
    EXPECT_EQ(Plain("{\\rtf1 \\u20013?\\u25991?}"), "中文");
    EXPECT_EQ(Plain("{\\rtf1\\uc2 \\u20013\\'d6\\'d0x}"), "中x");
    EXPECT_EQ(Plain("{\\rtf1\\uc0 \\u233 x}"), "éx");
    // \uc is group state; a group end stops skipping.
    EXPECT_EQ(Plain("{\\rtf1{\\uc3 a}\\u233 xy}"), "aéy");
    EXPECT_EQ(Plain("{\\rtf1{\\uc5\\u233}zz}"), "ézz");
    // Negative values are the upper half of the 16-bit range.
    EXPECT_EQ(Plain("{\\rtf1 \\u-3?}"), "\uFFFD");
    EXPECT_EQ(Plain("{\\rtf1 \\u-1280?}"), "\uFB00");
}

TEST(RtfReader, SurrogatePairsFormOneUnit) {
    const RichDocument d = LoadRtf("{\\rtf1 a\\u-10179?\\u-8704?b}");
    EXPECT_EQ(d.PlainText(), "a\U0001F600b");
    EXPECT_EQ(d.Length(), 4);
    EXPECT_EQ(d.UnitLength(1), 2);
    EXPECT_EQ(d.UnitText(1), "\U0001F600");
    // Unpaired halves become the replacement character, one position each.
    const RichDocument lone = LoadRtf("{\\rtf1 \\u-10179?x\\u-8704?}");
    EXPECT_EQ(lone.PlainText(), "\uFFFDx\uFFFD");
    EXPECT_EQ(lone.Length(), 3);
}

TEST(RtfReader, HexBytesThroughTheDocumentCodePage) {
    EXPECT_EQ(Plain("{\\rtf1\\ansi Gr\\'f6\\'dfe}"), "Größe");
    EXPECT_EQ(Plain("{\\rtf1\\ansi\\ansicpg1251 \\'cf\\'f0\\'e8}"), "При");
    EXPECT_EQ(Plain("{\\rtf1\\mac \\'8a}"), "ä");
    // Raw 8-bit text is decoded the same way.
    EXPECT_EQ(Plain("{\\rtf1\\ansi Gr\xf6\xdf"
                    "e}"),
              "Größe");
}

TEST(RtfReader, HexBytesThroughTheFontCharset) {
    EXPECT_EQ(Plain(Doc("\\fcharset204", "\\f0 \\'cf\\'f0\\'e8\\'e2\\'e5\\'f2")), "Привет");
    EXPECT_EQ(Plain(Doc("\\fcharset238", "\\f0 \\'b9")), "ą");
    // \cpg names the code page directly.
    EXPECT_EQ(Plain(Doc("\\cpg1253", "\\f0 \\'e1")), "α");
    // A font without charset uses the document's code page.
    EXPECT_EQ(Plain(Doc("", "\\f0 \\'cf", "\\ansi\\ansicpg1251")), "П");
}

TEST(RtfReader, DoubleByteCodePages) {
    const RichDocument gb = LoadRtf(Doc("\\fcharset134", "\\f0 \\'d6\\'d0\\'ce\\'c4!"));
    EXPECT_EQ(gb.PlainText(), "中文!");
    EXPECT_EQ(gb.Length(), 3);  // a Chinese character is one position
    EXPECT_EQ(Plain(Doc("\\fcharset136", "\\f0 \\'a4\\'a4\\'a4\\'e5")), "中文");
    EXPECT_EQ(Plain(Doc("\\fcharset129", "\\f0 \\'c7\\'d1\\'b1\\'b9")), "한국");
    // Shift-JIS trail bytes may be brace or backslash (escaped) or plain ASCII.
    EXPECT_EQ(Plain(Doc("\\fcharset128", "\\f0 \\'93\\'fa\\'96\\'7b\\'8c\\'ea\\'83\\'5c\\'83A")), "日本語ソア");
    EXPECT_EQ(Plain(Doc("", "\\f0 \\'d6\\'d0", "\\ansi\\ansicpg936")), "中");
}

TEST(RtfReader, InvalidCodePageBytesBecomeReplacementCharacters) {
    // A lead byte cut off by a paragraph, a lone lead byte at the end, an undefined byte.
    EXPECT_EQ(Plain(Doc("\\fcharset134", "\\f0 \\'d6\\par x\\'d6")), "\uFFFD\r\nx\uFFFD");
    EXPECT_EQ(Plain("{\\rtf1\\ansi\\ansicpg1253 \\'aa}"), "\uFFFD");
    // Unknown code pages fall back to 1252.
    EXPECT_EQ(Plain("{\\rtf1\\ansi\\ansicpg99999 \\'e4}"), "ä");
}

TEST(RtfReader, UnicodeDestinationPairs) {
    EXPECT_EQ(Plain("{\\rtf1 {\\upr{\\f0 ansi text}{\\*\\ud{\\f0 \\u20013?}}}!}"), "中!");
}

TEST(RtfReader, TextThatIsNotRtfLoadsAsPlainText) {
    EXPECT_EQ(Plain("line one\nline two\r\nthree"), "line one\r\nline two\r\nthree");
    EXPECT_EQ(LoadRtf("a\r\nb").LineCount(), 2);
    EXPECT_EQ(Plain("caf\xe9"), "café");  // not UTF-8: read as 1252
    EXPECT_EQ(Plain("caf\xc3\xa9"), "café");
    EXPECT_EQ(Plain(""), "");
}

TEST(RtfReader, MalformedInputStillGivesADocument) {
    EXPECT_EQ(Plain("{\\rtf1 open {\\b groups"), "open groups");
    EXPECT_EQ(Plain("{\\rtf1 a}}} trailing {\\b x}"), "a");
    EXPECT_EQ(Plain("{\\rtf1 a\\bin999999 }"), "a");
    EXPECT_EQ(Plain("{\\rtf1 a\\"), "a");

    std::string deep = "{\\rtf1 a";
    for (int i = 0; i < 100000; ++i) deep += "{\\b ";
    deep += "x";
    for (int i = 0; i < 100000; ++i) deep += "}";
    deep += "z}";
    const RichDocument d = LoadRtf(deep);
    // Content too deep to be real is dropped, the rest stays in step.
    EXPECT_EQ(d.PlainText(), "az");
    EXPECT_FALSE(d.CharAt(1).bold);
}

TEST(RtfReader, RunsAreFoundInAnyOrder) {
    std::string rtf = "{\\rtf1 ";
    for (int i = 0; i < 200; ++i) rtf += (i % 2 ? "{\\b x}" : "y");
    rtf += "}";
    const RichDocument d = LoadRtf(rtf);
    ASSERT_EQ(d.Length(), 200);
    // Backwards and jumping: the position hint must never give a stale run.
    for (int i = 199; i >= 0; i -= 7) EXPECT_EQ(d.CharAt(i).bold, i % 2 == 1) << i;
    for (int i : {5, 150, 3, 199, 0, 100}) EXPECT_EQ(d.CharAt(i).bold, i % 2 == 1) << i;
}

// The text is held one byte a unit until the first unit above U+00FF; what
// came before must survive the switch unchanged, positions included.
TEST(RtfReader, TextKeepsEveryUnitWhenItWidensMidDocument) {
    const std::string run(40, 'x');
    const RichDocument doc = LoadRtf("{\\rtf1 Gr\\'fc\\'dfe\tz\x01y\\par " + run + "\\u8364? \\'e9nd\x02\\par last}");
    ASSERT_EQ(doc.LineCount(), 3);
    EXPECT_EQ(doc.LineText(0), "Gr\xc3\xbc\xc3\x9f" "e\tzy");
    EXPECT_EQ(doc.LineText(1), run + "\xe2\x82\xac \xc3\xa9nd");
    EXPECT_EQ(doc.LineText(2), "last");
    const int euro = doc.LineStart(1) + static_cast<int>(run.size());
    EXPECT_EQ(doc.UnitText(euro), "\xe2\x82\xac");
    EXPECT_EQ(doc.UnitText(2), "\xc3\xbc");
    EXPECT_EQ(doc.Length(), 8 + 2 + 40 + 5 + 2 + 4);
    EXPECT_EQ(doc.UnitLength(doc.LineStart(1) - 2), 2);

    // The same text that never widens reads the same way.
    const RichDocument narrow = LoadRtf("{\\rtf1 Gr\\'fc\\'dfe\tz\x01y\\par " + run + "}");
    EXPECT_EQ(narrow.PlainText(), "Gr\xc3\xbc\xc3\x9f" "e\tzy\r\n" + run);
    EXPECT_FALSE(narrow.LineIsBlank(1));
}
