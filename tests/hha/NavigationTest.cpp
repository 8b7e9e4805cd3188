// The binary contents (#TOCIDX) and keyword index ($WWKeywordLinks), read
// back with the reader in NavRead.cpp.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "hha/HhaHelpFiles.h"
#include "hha/HhaNavigation.h"
#include "hha/HhaProject.h"
#include "support/Error.h"
#include "tests/hha/ChmRead.h"
#include "tests/hha/GenProject.h"
#include "tests/hha/HhaTestUtil.h"
#include "tests/hha/NavRead.h"
#include "tests/support/TestSupport.h"

using namespace hhatest;
using qb::hha::Topic;

namespace {

// Topic tables for pages "/t<i>.html" titled "Title <i>".
struct Tables {
    std::vector<Topic> topics;
    qb::hha::StringTable strings;
    HelpTables Build() {
        qb::hha::TopicTables t = qb::hha::BuildTopicTables(topics, strings);
        return {t.topics, t.urltbl, t.urlstr, strings.Bytes()};
    }
};

}  // namespace

TEST(BinaryToc, TreeOfEntriesAcrossBlocks) {
    // Enough entries that some would straddle a 4 KB block; levels that
    // rise by more than one still hang below the nearest shallower entry.
    Tables tables;
    std::vector<qb::hha::TocItem> items;
    std::vector<std::string> expected;
    std::vector<int> open;  // levels of the entries the next one may hang below
    for (int i = 0; i < 600; ++i) {
        int level = i % 7 == 0 ? 0 : i % 7 == 3 ? 3 : (i % 7 == 4 ? 1 : 1 + (i % 2));
        while (!open.empty() && open.back() >= level) open.pop_back();
        int depth = static_cast<int>(open.size());
        open.push_back(level);
        qb::hha::TocItem item;
        item.level = level;
        std::string name = "Entry " + std::to_string(i) + (i % 5 == 0 ? " without page" : "");
        if (i % 5 == 0) {
            item.nameText = tables.strings.Add(name);
            expected.push_back(std::to_string(depth) + "|" + name + "|");
        } else {
            item.topic = static_cast<std::int64_t>(tables.topics.size());
            tables.topics.push_back({"/t" + std::to_string(i) + ".html", name, true});
            expected.push_back(std::to_string(depth) + "|" + name + "|t" + std::to_string(i) + ".html");
        }
        items.push_back(item);
    }
    qb::hha::TocIdx toc = qb::hha::BuildTocIdx(items);
    ASSERT_GT(toc.bytes.size(), 3u * 0x1000);
    for (std::size_t i = 0; i < items.size(); ++i)
        if (items[i].topic >= 0) tables.topics[static_cast<std::size_t>(items[i].topic)].tocEntry = toc.entryOffsets[i];
    EXPECT_EQ(expected, DecodeTocIdx(toc.bytes, tables.Build()));
}

TEST(BinaryToc, SingleEntryAndNone) {
    Tables tables;
    tables.topics.push_back({"/a.html", "A", true});
    qb::hha::TocIdx toc = qb::hha::BuildTocIdx({qb::hha::TocItem{2, 0, 0}});
    tables.topics[0].tocEntry = toc.entryOffsets[0];
    EXPECT_EQ(std::vector<std::string>{"0|A|a.html"}, DecodeTocIdx(toc.bytes, tables.Build()));
    EXPECT_TRUE(qb::hha::BuildTocIdx({}).bytes.empty());
}

TEST(KeywordIndex, SortedNestedAndSplitOverIndexBlocks) {
    Tables tables;
    for (int i = 0; i < 50; ++i) tables.topics.push_back({"/t" + std::to_string(i) + ".html", "", false});
    std::vector<qb::hha::KeywordItem> items;
    // Top-level keywords in reverse order, each with two sub-keywords; long
    // enough that the listing needs more than one level of index blocks.
    for (int i = 2999; i >= 0; --i) {
        std::string name = (i % 2 ? "Keyword " : "keyword ") + std::to_string(100000 + i) + " with a longer text";
        items.push_back({name, 1, {static_cast<std::uint32_t>(i % 50), static_cast<std::uint32_t>((i + 1) % 50)}, ""});
        if (i % 1000 == 0) {
            items.push_back({"Zeta sub", 2, {3}, ""});
            items.push_back({"alpha sub", 2, {}, "See there"});
        }
    }
    qb::hha::KeywordLinks links = qb::hha::BuildKeywordLinks(items, 0x407, 1252);
    EXPECT_EQ(items.size(), links.keywords);
    const std::string btree = links.BTreeBytes();
    std::vector<std::string> lines = DecodeKeywordBTree(btree, tables.Build());
    ASSERT_EQ(items.size(), lines.size());
    EXPECT_EQ(3u, static_cast<unsigned>(btree[0x2A]));  // listing, two index levels
    EXPECT_EQ("0|keyword 100000 with a longer text|0|t0.html,t1.html", lines[0]);
    EXPECT_EQ("1|keyword 100000 with a longer text, Zeta sub|35|t3.html", lines[1]);
    EXPECT_EQ("1|keyword 100000 with a longer text, alpha sub|35|see:See there", lines[2]);
    EXPECT_EQ("0|Keyword 100001 with a longer text|0|t1.html,t2.html", lines[3]);
    EXPECT_EQ("0|Keyword 102999 with a longer text|0|t49.html,t0.html", lines.back());
    // The map names the first keyword of each listing block.
    std::uint32_t listing = hhatest::Dword(btree, 0x1A) + 1;
    ASSERT_EQ(2 + 6 * listing, links.map.size());
    EXPECT_EQ(0u, hhatest::Dword(links.map, 2));
    EXPECT_GT(hhatest::Dword(links.map, 8), 0u);
    EXPECT_EQ(32u, links.property.size());
}

TEST(KeywordIndex, TextsAndLimits) {
    EXPECT_EQ("a & b <c> \xC3\xA4 \xE2\x82\xAC &unknown; &#;",
              qb::hha::DecodeEntities("a &amp; b &lt;c&gt; &auml; &#x20AC; &unknown; &#;"));
    EXPECT_EQ("6100e400ac203dd800de", qbtest::HexBytes(qb::hha::Utf16Le("a\xC3\xA4\xE2\x82\xAC\xF0\x9F\x98\x80")));
    EXPECT_EQ("fdff", qbtest::HexBytes(qb::hha::Utf16Le("\xC3")));  // cut-off sequence
    // No keywords: a header and no blocks.
    qb::hha::KeywordLinks none = qb::hha::BuildKeywordLinks({}, 0x409, 1252);
    EXPECT_EQ(0x4Cu, none.BTreeBytes().size());
    EXPECT_EQ(0xFFFFFFFFu, Dword(none.BTreeBytes(), 0x1A));
}

TEST(NativeNavigation, ContentsAndIndexReadBack) {
    qbtest::TempDir dir;
    GenProject p = MakeProject(dir.path(), 12);
    // An index with unsorted, nested, multi-page and cross-reference keywords.
    std::string hhk =
        "<HTML><BODY>\r\n<UL>\r\n"
        "<LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"zebra\">"
        "<param name=\"Local\" value=\"P1.html\"></OBJECT>\r\n"
        "<LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"\xC3\x84pfel &amp; Birnen\">"
        "<param name=\"Name\" value=\"First\"><param name=\"Local\" value=\"P2.html\">"
        "<param name=\"Name\" value=\"Second\"><param name=\"Local\" value=\"0\\P11.html\"></OBJECT>\r\n"
        "<UL><LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"sub\">"
        "<param name=\"Local\" value=\"img\\logo.png\"></OBJECT></UL>\r\n"
        "<LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"apple\">"
        "<param name=\"See Also\" value=\"zebra\"></OBJECT>\r\n</UL></BODY></HTML>\r\n";
    qbtest::WriteFile(p.folder + "Help.hhk", hhk);
    CompileRun run = Compile(p.hhp);
    ASSERT_EQ(1, run.result) << ::testing::PrintToString(run.log);

    auto files = ReadWithChmlib(p.chm);
    HelpTables tables{files["/#TOPICS"], files["/#URLTBL"], files["/#URLSTR"], files["/#STRINGS"]};

    // Contents: names decoded, pages and nesting as the contents file has them.
    std::vector<std::string> expected;
    std::vector<int> levels;
    for (const auto& e : qb::hha::ParseSitemap(p.hhcText)) {
        std::string local = e.Param("Local");
        std::replace(local.begin(), local.end(), '\\', '/');
        while (!levels.empty() && levels.back() >= e.level) levels.pop_back();
        expected.push_back(std::to_string(levels.size()) + "|" + qb::hha::DecodeEntities(e.Param("Name")) + "|" +
                           local.substr(2));
        levels.push_back(e.level);
    }
    ASSERT_TRUE(files.count("/#TOCIDX"));
    EXPECT_EQ(expected, DecodeTocIdx(files["/#TOCIDX"], tables));

    ASSERT_TRUE(files.count("/$WWKeywordLinks/BTree"));
    std::vector<std::string> keywords = {"0|apple|0|see:zebra", "0|zebra|0|P1.html",
                                         "0|\xC3\x84pfel & Birnen|0|P2.html,0/P11.html",
                                         "1|\xC3\x84pfel & Birnen, sub|16|img/logo.png"};
    EXPECT_EQ(keywords, DecodeKeywordBTree(files["/$WWKeywordLinks/BTree"], tables));

    // #SYSTEM: keyword links flagged; codes 7 and 11 carry the ids of the
    // index and contents files' topics.
    auto system = SystemRecords(files["/#SYSTEM"]);
    ASSERT_EQ(36u, system[4].size());
    EXPECT_EQ(1u, Dword(system[4], 12));
    ASSERT_TRUE(system.count(7) && system.count(11));
    std::uint32_t topicCount = static_cast<std::uint32_t>(tables.topics.size() / 16);
    std::map<std::string, std::uint32_t> idOf;
    for (std::uint32_t t = 0; t < topicCount; ++t) idOf.emplace(tables.Url(t), tables.UrlId(t));
    EXPECT_EQ(idOf.at("Help.hhk"), Dword(system[7], 0));
    EXPECT_EQ(idOf.at("Help.hhc"), Dword(system[11], 0));

    // An independent reader rebuilds both from the binary forms (it writes
    // names without character references, which the sitemap files have).
    std::string toc = dir / "toc.hhc", idx = dir / "idx.hhk";
    RunCommand("chmls extracttoc '" + p.chm + "' '" + toc + "' > /dev/null 2>&1");
    RunCommand("chmls extractindex '" + p.chm + "' '" + idx + "' > /dev/null 2>&1");
    EXPECT_NE(std::string::npos, qbtest::ReadFile(toc).find("\"Caption 11 & more\"")) << qbtest::ReadFile(toc);
    std::string index = qbtest::ReadFile(idx);
    EXPECT_LT(index.find("\"apple\""), index.find("\"zebra\"")) << index;
    EXPECT_NE(std::string::npos, index.find("0/P11.html")) << index;
}

TEST(NativeNavigation, BinaryTocOnlyWhenAsked) {
    qbtest::TempDir dir;
    GenProject p = MakeProject(dir.path(), 3);
    std::string text = qbtest::ReadFile(p.hhp);
    text.replace(text.find("Binary TOC=Yes"), 14, "Binary TOC=No\r\nBinary Index=No");
    qbtest::WriteFile(p.hhp, text);
    ASSERT_EQ(1, Compile(p.hhp).result);
    auto files = ReadWithChmlib(p.chm);
    EXPECT_FALSE(files.count("/#TOCIDX"));
    EXPECT_FALSE(files.count("/$WWKeywordLinks/BTree"));
    auto system = SystemRecords(files["/#SYSTEM"]);
    EXPECT_FALSE(system.count(7) || system.count(11));
    EXPECT_EQ(0u, Dword(system[4], 12));
    // Every topic still points at a stored page.
    for (std::size_t t = 0; t < files["/#TOPICS"].size() / 16; ++t) {
        HelpTables tables{files["/#TOPICS"], files["/#URLTBL"], files["/#URLSTR"], files["/#STRINGS"]};
        EXPECT_TRUE(files.count("/" + tables.Url(static_cast<std::uint32_t>(t))));
    }
}

// Keywords longer than a block holds are shortened at a character boundary
// instead of failing the compile: one long caption, and a deep nesting of
// captions whose full path is long.
TEST(KeywordIndex, LongKeywordsAreShortened) {
    Tables tables;
    tables.topics.push_back({"/t0.html", "", false});
    const std::string emoji = "\xF0\x9F\x98\x80";
    std::vector<qb::hha::KeywordItem> items = {{std::string(1100, 'k'), 1, {0}, ""},
                                               {std::string(239, 'e') + emoji + "tail", 1, {0}, ""}};
    for (int level = 1; level <= 25; ++level)
        items.push_back({std::string(39, static_cast<char>('a' + level % 26)) + "Z", level, {0}, ""});
    qb::hha::KeywordLinks links;
    ASSERT_NO_THROW(links = qb::hha::BuildKeywordLinks(items, 0x409, 1252));
    EXPECT_EQ(1252u, Dword(links.BTreeBytes(), 0x30));
    std::vector<std::string> lines = DecodeKeywordBTree(links.BTreeBytes(), tables.Build());
    ASSERT_EQ(items.size(), lines.size());
    std::map<std::string, std::string> byFirst;  // first letters -> decoded line
    for (const auto& l : lines) byFirst[l.substr(2, 3)] = l;
    EXPECT_EQ("0|" + std::string(240, 'k') + "|0|t0.html", byFirst["kkk"]);
    // The emoji would be cut in half: it goes whole.
    EXPECT_EQ("0|" + std::string(239, 'e') + "|0|t0.html", byFirst["eee"]);
    // The deepest keyword keeps its own name; its ancestors are cut.
    auto found = std::find_if(lines.begin(), lines.end(), [](const std::string& l) { return l.rfind("24|", 0) == 0; });
    ASSERT_NE(lines.end(), found);
    const std::string& deepest = *found;
    const std::string own = std::string(39, static_cast<char>('a' + 25 % 26)) + "Z";
    const std::size_t bar = deepest.find('|', 3);
    const std::string text = deepest.substr(3, bar - 3);
    EXPECT_LE(text.size(), 480u);
    EXPECT_EQ(own, text.substr(text.size() - own.size()));
    EXPECT_EQ(std::to_string(text.size() - own.size()), deepest.substr(bar + 1, deepest.find('|', bar + 1) - bar - 1));
}

// A "See Also" value too long for a block is shortened at a character
// boundary, beside the longest keyword, instead of failing the compile.
TEST(KeywordIndex, LongSeeAlsoIsShortened) {
    Tables tables;
    tables.topics.push_back({"/t0.html", "", false});
    const std::string seeAlso = std::string(499, 's') + "\xF0\x9F\x98\x80" + std::string(2000, 't');
    std::vector<qb::hha::KeywordItem> items = {{std::string(1100, 'k'), 1, {}, seeAlso}, {"plain", 1, {0}, ""}};
    qb::hha::KeywordLinks links;
    ASSERT_NO_THROW(links = qb::hha::BuildKeywordLinks(items, 0x409, 1252));
    std::vector<std::string> lines = DecodeKeywordBTree(links.BTreeBytes(), tables.Build());
    ASSERT_EQ(2u, lines.size());
    // The emoji would be cut in half: it goes whole.
    EXPECT_EQ("0|" + std::string(240, 'k') + "|0|see:" + std::string(499, 's'), lines[0]);
    EXPECT_EQ("0|plain|0|t0.html", lines[1]);
}

TEST(NativeNavigation, UntitledPageGoesByItsFirstContentsEntryWhateverTheCase) {
    // Pages are found by name without regard to case; the first entry that
    // opens a page names it, a page's own title wins over any entry.
    qbtest::TempDir dir;
    qbtest::WriteFile(dir / "a.html", "<html><body>no title here</body></html>");
    qbtest::WriteFile(dir / "b.html", "<html><head><title>B page</title></head><body>b</body></html>");
    qbtest::WriteFile(dir / "c.html", "<html><body>untitled, in no entry</body></html>");
    auto entry = [](const std::string& name, const std::string& local) {
        return "<LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"" + name +
               "\"><param name=\"Local\" value=\"" + local + "\"></OBJECT>\r\n";
    };
    qbtest::WriteFile(dir / "t.hhc", "<HTML><BODY><UL>\r\n" + entry("Zed", "B.html") +
                                         entry("First &amp; name", "A.HTML") + entry("Second name", "a.html") +
                                         entry("Bee", "b.html") + "</UL></BODY></HTML>\r\n");
    qbtest::WriteFile(dir / "t.hhp",
                      "[OPTIONS]\r\nBinary TOC=Yes\r\nCompiled file=t.chm\r\nContents file=t.hhc\r\n"
                      "Language=0x409 English\r\n[FILES]\r\na.html\r\nb.html\r\nc.html\r\n");
    ASSERT_EQ(1, Compile(dir / "t.hhp").result);
    auto files = ReadWithChmlib(dir / "t.chm");
    HelpTables tables{files["/#TOPICS"], files["/#URLTBL"], files["/#URLSTR"], files["/#STRINGS"]};
    std::map<std::string, std::string> firstTitle;  // page -> title of its first topic
    for (std::uint32_t t = 0; t < files["/#TOPICS"].size() / 16; ++t)
        firstTitle.emplace(tables.Url(t), tables.Title(t));
    EXPECT_EQ("First & name", firstTitle["a.html"]);
    EXPECT_EQ("B page", firstTitle["b.html"]);
    EXPECT_EQ("", firstTitle["c.html"]);
}
